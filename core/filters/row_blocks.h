#pragma once

#include "document/parallel.h"
#include "shell/progress.h"

#include <algorithm>
#include <cstdint>

namespace velmora {

// Runs fn(first, last) over rows [begin, end) in blocks, each block split
// across cores, and advances the progress display by the rows of each block
// from this thread only (the display is not shared between threads). About
// sixteen blocks an image: the gauge moves smoothly enough, and the workers
// are not started anew every few rows.
template <typename Fn>
void rows_with_progress(std::int32_t begin, std::int32_t end, std::int64_t work_per_row, Fn&& fn)
{
    const std::int32_t block = std::max<std::int32_t>(64, (end - begin) / 16);
    for (std::int32_t first = begin; first < end; first += block) {
        const std::int32_t last = std::min(end, first + block);
        parallel_rows(first, last, work_per_row * (last - first), fn);
        progress_step(last - first);
    }
}

} // namespace velmora
