// Filter speed on a 4000 x 3000 photograph-like picture, single-threaded,
// side by side in one run with ImageMagick (one thread) and libvips (one
// thread) blurring the same picture, and with one plain read+write pass over
// the picture as the floor for the per-pixel filters. The external tools run
// as processes reading their own memory-mapped formats (.mpc, .v); their
// "read" rows measure that overhead, to subtract before taking ratios.
//
//   ninja -C build filters_bench
//   ./build/bench/filters_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include "bench_support.h"
#include "document/parallel.h"
#include "filters/blur.h"
#include "filters/colour_adjust.h"
#include "filters/convolution.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using namespace velmora;

constexpr std::int32_t photo_width = 4000;
constexpr std::int32_t photo_height = 3000;

// Smooth shapes with sensor-like noise.
Tfbitmap make_photo()
{
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0.0f, 4.0f);
    Tfbitmap b(photo_width, photo_height);
    for (std::int32_t y = 0; y < photo_height; ++y) {
        std::uint8_t* p = b.row(y);
        for (std::int32_t x = 0; x < photo_width; ++x, p += 4) {
            const double u = x / 400.0, v = y / 300.0;
            const double base[3] = {128 + 90 * std::sin(u) * std::cos(v * 0.7), 128 + 80 * std::sin(u * 0.5 + v),
                                    128 + 100 * std::cos(u * 0.3 - v * 1.3)};
            for (int c = 0; c < 3; ++c)
                p[red_byte - c] = std::uint8_t(std::clamp(base[c] + noise(random), 0.0, 255.0));
            p[alpha_byte] = 255;
        }
    }
    return b;
}

struct tfixture {
    Tfbitmap photo = make_photo();
    Tfbitmap out{photo_width, photo_height};
    std::string folder;
    bool imagemagick = false;
    bool vips = false;

    tfixture()
    {
        max_worker_threads = 1;
        folder = (std::filesystem::temp_directory_path() / ("velmora-filters-bench-" + std::to_string(::getpid())))
                     .string();
        std::filesystem::create_directories(folder);
        {
            std::ofstream ppm(folder + "/photo.ppm", std::ios::binary);
            ppm << "P6\n" << photo_width << ' ' << photo_height << "\n255\n";
            std::vector<char> row(std::size_t(photo_width) * 3);
            for (std::int32_t y = 0; y < photo_height; ++y) {
                for (std::int32_t x = 0; x < photo_width; ++x)
                    for (int c = 0; c < 3; ++c)
                        row[std::size_t(3 * x + c)] = char(photo.pixel(x, y)[red_byte - c]);
                ppm.write(row.data(), std::streamsize(row.size()));
            }
        }
        imagemagick = std::system(("convert " + folder + "/photo.ppm " + folder + "/photo.mpc >/dev/null 2>&1").c_str()) == 0;
        vips = std::system(("vips copy " + folder + "/photo.ppm " + folder + "/photo.v >/dev/null 2>&1").c_str()) == 0;
    }
    ~tfixture()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

tfixture& fixture()
{
    static tfixture f;
    return f;
}

void set_pixels(benchmark::State& state)
{
    state.SetBytesProcessed(std::int64_t(state.iterations()) * photo_width * photo_height * 4);
}

// The floor: every byte read once and written once.
void BM_read_write_pass(benchmark::State& state)
{
    tfixture& f = fixture();
    for (auto _ : state) {
        std::memcpy(f.out.bits(), f.photo.bits(), f.photo.byte_size());
        benchmark::ClobberMemory();
    }
    set_pixels(state);
}

void BM_invert(benchmark::State& state)
{
    tfixture& f = fixture();
    for (auto _ : state)
        invert_colours(f.out);
    set_pixels(state);
}

void BM_brightness_contrast(benchmark::State& state)
{
    tfixture& f = fixture();
    for (auto _ : state)
        brightness_contrast(f.out, f.photo, 130, 12);
    set_pixels(state);
}

// The same tables without the processor-specific look-ups.
void BM_brightness_contrast_portable(benchmark::State& state)
{
    tfixture& f = fixture();
    for (auto _ : state) {
        const tlevel_table table = contrast_table(130, 12);
        map_levels(f.out, f.photo, table, table, table, true);
    }
    set_pixels(state);
}

void BM_hue_saturation(benchmark::State& state)
{
    tfixture& f = fixture();
    max_worker_threads = int(state.range(0)); // the editor uses every core
    for (auto _ : state)
        hsv_adjust(f.out, f.photo, 30, -20, 10);
    max_worker_threads = 1;
    set_pixels(state);
}

void BM_desaturate(benchmark::State& state)
{
    tfixture& f = fixture();
    std::memcpy(f.out.bits(), f.photo.bits(), f.photo.byte_size());
    for (auto _ : state)
        desaturate(f.out);
    set_pixels(state);
}

void run_convolution(benchmark::State& state, const tnoyau_de_convolution& kernel)
{
    tfixture& f = fixture();
    max_worker_threads = int(state.range(0)); // the editor uses every core
    for (auto _ : state)
        convolve(kernel, f.photo, f.out, true);
    max_worker_threads = 1;
    set_pixels(state);
}

void BM_sharpen(benchmark::State& state)
{
    run_convolution(state, sharpen_kernel());
}

// Cells / 10: no power of two divides them, so the float engine runs.
void BM_custom_5x5(benchmark::State& state)
{
    std::vector<float> cells(25);
    std::mt19937 random(5);
    for (float& c : cells)
        c = float(std::int32_t(random() % 9) - 2);
    run_convolution(state, make_kernel(2, cells, 10));
}

// The binomial 1 4 6 4 1 by itself, over 256: every weight exact in 16-bit lanes.
void BM_custom_5x5_binomial(benchmark::State& state)
{
    std::vector<float> cells(25);
    const float row[5] = {1, 4, 6, 4, 1};
    for (std::size_t j = 0; j < 5; ++j)
        for (std::size_t i = 0; i < 5; ++i)
            cells[j * 5 + i] = row[i] * row[j];
    run_convolution(state, make_kernel(2, cells, 256));
}

// What the Custom Convolution dialog opens with: the 3 x 3 binomial in the middle of the 5 x 5 grid.
void BM_custom_default(benchmark::State& state)
{
    run_convolution(state, build_custom_kernel(default_kernel_cells(), kernel_size_5).kernel);
}

void BM_gaussian_blur(benchmark::State& state)
{
    tfixture& f = fixture();
    tdocument doc = create_document("bench");
    add_background(doc, 1, 1, 0, "bg");
    tcalque& layer = *doc.layers[0];
    for (auto _ : state) {
        layer.bitmap = f.photo; // one pass, inside the figure
        gaussian_blur(doc, layer, false, 0, float(state.range(0)));
    }
    set_pixels(state);
}

void BM_motion_blur(benchmark::State& state)
{
    tfixture& f = fixture();
    max_worker_threads = int(state.range(0)); // the editor uses every core
    for (auto _ : state)
        motion_blur(f.out, f.photo, 10, 0, true);
    max_worker_threads = 1;
    set_pixels(state);
}

void BM_radial_blur(benchmark::State& state)
{
    tfixture& f = fixture();
    max_worker_threads = int(state.range(0)); // the editor uses every core
    for (auto _ : state)
        radial_blur(f.out, f.photo, 15, true);
    max_worker_threads = 1;
    set_pixels(state);
}

void BM_zoom_blur(benchmark::State& state)
{
    tfixture& f = fixture();
    max_worker_threads = int(state.range(0)); // the editor uses every core
    for (auto _ : state)
        zoom_blur(f.out, f.photo, 2 * 10 + 5, true);
    max_worker_threads = 1;
    set_pixels(state);
}

void run_tool(benchmark::State& state, bool available, const std::string& command)
{
    if (!available) {
        state.SkipWithError("tool not installed");
        return;
    }
    bench::run_external(state, command + " >/dev/null 2>&1");
    set_pixels(state);
}

const std::string im = "MAGICK_THREAD_LIMIT=1 convert -limit thread 1 ";
const std::string vips = "VIPS_CONCURRENCY=1 vips ";

void BM_imagemagick_read(benchmark::State& s)
{
    run_tool(s, fixture().imagemagick, im + fixture().folder + "/photo.mpc null:");
}

void BM_imagemagick_blur(benchmark::State& s)
{
    run_tool(s, fixture().imagemagick,
             im + fixture().folder + "/photo.mpc -blur 0x" + std::to_string(s.range(0)) + " null:");
}

void BM_vips_copy(benchmark::State& s)
{
    run_tool(s, fixture().vips, vips + "copy " + fixture().folder + "/photo.v " + fixture().folder + "/copy.v");
}

void BM_vips_gaussblur(benchmark::State& s)
{
    run_tool(s, fixture().vips,
             vips + "gaussblur " + fixture().folder + "/photo.v " + fixture().folder + "/blur.v " +
                 std::to_string(s.range(0)));
}

} // namespace

BENCHMARK(BM_read_write_pass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_invert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_brightness_contrast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_brightness_contrast_portable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_hue_saturation)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_desaturate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_sharpen)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_custom_5x5)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_custom_5x5_binomial)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_custom_default)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_gaussian_blur)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_imagemagick_blur)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_imagemagick_read)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_vips_gaussblur)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_vips_copy)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_motion_blur)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_radial_blur)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_zoom_blur)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
