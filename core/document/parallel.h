#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace velmora {

// How many cores one operation may use; 0 means all of them. Benchmarks set 1
// to measure single-threaded speed.
inline std::atomic<int> max_worker_threads{0};

// Runs fn(first_row, end_row) over [begin, end) split into bands, one per
// core, when the work is large enough to pay for the threads; results are
// the same as one call over the whole range as long as bands are independent.
template <typename Fn>
void parallel_rows(std::int32_t begin, std::int32_t end, std::int64_t work, Fn&& fn)
{
    constexpr std::int64_t min_work_per_thread = 1 << 16;
    const std::int32_t rows = end - begin;
    const int limit = max_worker_threads.load(std::memory_order_relaxed);
    const auto cores = std::int64_t(limit > 0 ? unsigned(limit) : std::max(1u, std::thread::hardware_concurrency()));
    const auto bands = std::int32_t(std::min<std::int64_t>({cores, work / min_work_per_thread, rows}));
    if (bands <= 1) {
        if (rows > 0)
            fn(begin, end);
        return;
    }
    std::vector<std::jthread> helpers;
    helpers.reserve(std::size_t(bands - 1));
    for (std::int32_t band = 1; band < bands; ++band) {
        const std::int32_t first = begin + std::int32_t(std::int64_t(rows) * band / bands);
        const std::int32_t last = begin + std::int32_t(std::int64_t(rows) * (band + 1) / bands);
        helpers.emplace_back([&fn, first, last] { fn(first, last); });
    }
    fn(begin, begin + std::int32_t(rows / bands));
}

} // namespace velmora
