// Resampling a 4000 x 3000 photo to half and to double size with Lanczos3
// and Mitchell, ours single-threaded and on every core, and ImageMagick's
// convert limited to one thread on the same pixels in the same run (its time
// includes reading a raw PPM; BM_imagemagick_read_only measures that part).

#include "bench_support.h"
#include "document/parallel.h"
#include "selection/resample.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

using namespace velmora;

constexpr std::int32_t source_width = 4000;
constexpr std::int32_t source_height = 3000;

// Smooth gradients with grain, more like a photo than pure noise.
const Tfbitmap& photo()
{
    static const Tfbitmap picture = [] {
        std::mt19937 random(3);
        Tfbitmap b(source_width, source_height);
        for (std::int32_t y = 0; y < source_height; ++y)
            for (std::int32_t x = 0; x < source_width; ++x) {
                std::uint8_t* p = b.pixel(x, y);
                const int grain = int(random() % 17) - 8;
                p[0] = std::uint8_t(std::clamp(int(128 + 100 * std::sin(x / 300.0)) + grain, 0, 255));
                p[1] = std::uint8_t(std::clamp(int(128 + 100 * std::cos(y / 200.0)) + grain, 0, 255));
                p[2] = std::uint8_t(std::clamp((x + y) / 30 + grain, 0, 255));
                p[3] = 255;
            }
        return b;
    }();
    return picture;
}

const std::string& photo_ppm()
{
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() / "velmora-resample-bench.ppm").string();
        std::ofstream out(file, std::ios::binary);
        out << "P6\n" << source_width << " " << source_height << "\n255\n";
        const Tfbitmap& b = photo();
        for (std::int32_t y = 0; y < source_height; ++y)
            for (std::int32_t x = 0; x < source_width; ++x) {
                const std::uint8_t* p = b.pixel(x, y);
                const char rgb[3] = {char(p[2]), char(p[1]), char(p[0])};
                out.write(rgb, 3);
            }
        return file;
    }();
    return path;
}

void BM_resample(benchmark::State& state)
{
    const auto filter = tresample_filter(state.range(0));
    const auto percent = std::int32_t(state.range(1));
    max_worker_threads = int(state.range(2));
    Tfbitmap destination(source_width * percent / 100, source_height * percent / 100);
    for (auto _ : state) {
        resample(photo(), destination, filter);
        benchmark::DoNotOptimize(destination.bits());
    }
    max_worker_threads = 0;
    state.SetLabel(std::string(resample_filter_info(filter).name) + (state.range(2) == 1 ? " 1 thread" : " all cores"));
}

void resample_arguments(benchmark::internal::Benchmark* b)
{
    for (auto filter : {tresample_filter::lanczos3, tresample_filter::mitchell})
        for (int percent : {50, 200})
            for (int threads : {1, 0})
                b->Args({int(filter), percent, threads});
}
BENCHMARK(BM_resample)->Apply(resample_arguments)->Unit(benchmark::kMillisecond)->UseRealTime();

void run(benchmark::State& state, const std::string& command)
{
    photo_ppm();
    bench::run_external(state, command);
}

// The reference programs: each filter down to 50 % and up to 200 %, three
// runs each (a run reads the whole picture).
void reference_arguments(benchmark::internal::Benchmark* b)
{
    for (auto filter : {tresample_filter::lanczos3, tresample_filter::mitchell})
        for (int percent : {50, 200})
            b->Args({int(filter), percent});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
}

void BM_imagemagick_resize(benchmark::State& state)
{
    const char* filter = state.range(0) == int(tresample_filter::lanczos3) ? "Lanczos" : "Mitchell";
    const auto percent = state.range(1);
    const std::string size =
        std::to_string(source_width * percent / 100) + "x" + std::to_string(source_height * percent / 100) + "!";
    run(state, "convert -limit thread 1 " + photo_ppm() + " -filter " + filter + " -resize " + size + " null:");
    state.SetLabel(std::string(filter) + " 1 thread, with reading");
}
BENCHMARK(BM_imagemagick_resize)->Apply(reference_arguments);

void BM_vips_resize(benchmark::State& state)
{
    const char* kernel = state.range(0) == int(tresample_filter::lanczos3) ? "lanczos3" : "mitchell";
    const std::string scale = state.range(1) == 50 ? "0.5" : "2";
    run(state, "VIPS_CONCURRENCY=1 vips resize " + photo_ppm() + " /tmp/velmora-bench-resized.v " + scale +
                   " --kernel " + kernel);
    state.SetLabel(std::string(kernel) + " 1 thread, with reading");
}
BENCHMARK(BM_vips_resize)->Apply(reference_arguments);

void BM_vips_read_only(benchmark::State& state)
{
    run(state, "VIPS_CONCURRENCY=1 vips copy " + photo_ppm() + " /tmp/velmora-bench-resized.v");
}
BENCHMARK(BM_vips_read_only)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_imagemagick_read_only(benchmark::State& state)
{
    run(state, "convert -limit thread 1 " + photo_ppm() + " null:");
}
BENCHMARK(BM_imagemagick_read_only)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
