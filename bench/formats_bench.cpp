// File format speed on a 4000 x 3000 photograph-like picture, side by side in
// one run with ImageMagick's convert (one thread) and libvips (one thread)
// doing the same conversion. The external tools run as processes, so their
// figures include start-up; compare medians as ratios.
//
//   ninja -C build formats_bench && ./build/bench/formats_bench --benchmark_repetitions=3

#include "bench_support.h"
#include "document/composite.h"
#include "formats/file_io.h"
#include "formats/load_picture.h"
#include "formats/output_formats.h"
#include "formats/gfx_tiff.h"
#include "formats/psd_export.h"
#include "formats/psd_import.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using namespace velmora;

constexpr std::int32_t photo_width = 4000;
constexpr std::int32_t photo_height = 3000;
constexpr int psd_layers = 10;

// Smooth shapes with sensor-like noise: compresses like a photograph, not like flat colour.
Tfbitmap make_photo(unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 4.0f);
    Tfbitmap b(photo_width, photo_height);
    const double phase = seed * 0.7;
    for (std::int32_t y = 0; y < photo_height; ++y) {
        std::uint8_t* p = b.row(y);
        for (std::int32_t x = 0; x < photo_width; ++x, p += 4) {
            const double u = x / 400.0, v = y / 300.0;
            const double base[3] = {128 + 90 * std::sin(u + phase) * std::cos(v * 0.7),
                                    128 + 80 * std::sin(u * 0.5 + v + phase), 128 + 100 * std::cos(u * 0.3 - v * 1.3)};
            for (int c = 0; c < 3; ++c)
                p[red_byte - c] = std::uint8_t(std::clamp(base[c] + noise(random), 0.0, 255.0));
            p[alpha_byte] = 255;
        }
    }
    return b;
}

struct tfixture {
    std::string folder;
    std::string ppm, jpg, png, tif, psd;
    bool imagemagick = false;
    bool vips = false;

    tfixture()
    {
        folder = (std::filesystem::temp_directory_path() / ("velmora-formats-bench-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(folder);
        ppm = folder + "/photo.ppm", jpg = folder + "/photo.jpg", png = folder + "/photo.png";
        tif = folder + "/photo.tif", psd = folder + "/layers.psd";
        const Tfbitmap photo = make_photo(1);
        std::string header = "P6\n" + std::to_string(photo_width) + " " + std::to_string(photo_height) + "\n255\n";
        std::vector<std::uint8_t> bytes(header.begin(), header.end());
        for (std::int32_t y = 0; y < photo_height; ++y)
            for (std::int32_t x = 0; x < photo_width; ++x)
                for (int c : {red_byte, green_byte, blue_byte})
                    bytes.push_back(photo.pixel(x, y)[c]);
        write_file_atomically(ppm, bytes);
        write_jpeg(photo, jpg, {90, false, true});
        write_png(photo, png, {});
        write_tiff(photo, tif);
        write_psd(layered_document(), psd);
        imagemagick = ::access("/usr/bin/convert", X_OK) == 0;
        vips = ::access("/usr/bin/vips", X_OK) == 0;
    }
    ~tfixture()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string out(const std::string& name) const { return folder + "/" + name; }

    static tdocument layered_document()
    {
        tdocument doc = create_document("bench");
        add_background(doc, make_photo(1), "Background");
        for (int i = 1; i < psd_layers; ++i) {
            tcalque& layer = add_layer(doc, make_photo(unsigned(i + 1)), "Layer " + std::to_string(i), 200, 0, 0, normal);
            layer.blend_mode = std::uint8_t(i % blend_mode_count);
        }
        return doc;
    }
};

tfixture& fixture()
{
    static tfixture f;
    return f;
}

void run_tool(benchmark::State& state, bool available, const std::string& command)
{
    if (!available) {
        state.SkipWithError("tool not installed");
        return;
    }
    bench::run_external(state, command + " >/dev/null 2>&1");
}

const std::string im = "/usr/bin/convert -limit thread 1 ";
const std::string vips = "VIPS_CONCURRENCY=1 /usr/bin/vips ";

// ---- JPEG decode ----
void BM_jpeg_decode_ours(benchmark::State& state)
{
    fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(load_picture(fixture().jpg));
}
void BM_jpeg_decode_imagemagick(benchmark::State& s) { run_tool(s, fixture().imagemagick, im + fixture().jpg + " null:"); }
void BM_jpeg_decode_vips(benchmark::State& s) { run_tool(s, fixture().vips, vips + "avg " + fixture().jpg); }

// ---- JPEG encode, quality 90 (4:2:0 for all three) ----
void BM_jpeg_encode_ours(benchmark::State& state)
{
    for (auto _ : state)
        write_jpeg(load_picture(fixture().ppm), fixture().out("ours.jpg"), {90, false, true});
}
void BM_jpeg_encode_imagemagick(benchmark::State& s)
{
    run_tool(s, fixture().imagemagick, im + fixture().ppm + " -quality 90 -sampling-factor 2x2 " + fixture().out("im.jpg"));
}
void BM_jpeg_encode_vips(benchmark::State& s)
{
    run_tool(s, fixture().vips, vips + "jpegsave " + fixture().ppm + " " + fixture().out("vips.jpg") + " --Q 90");
}

// ---- PNG decode ----
void BM_png_decode_ours(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(load_picture(fixture().png));
}
void BM_png_decode_imagemagick(benchmark::State& s) { run_tool(s, fixture().imagemagick, im + fixture().png + " null:"); }
void BM_png_decode_vips(benchmark::State& s) { run_tool(s, fixture().vips, vips + "avg " + fixture().png); }

// ---- PNG encode, level 9, all row filters ----
void BM_png_encode_ours(benchmark::State& state)
{
    for (auto _ : state)
        write_png(load_picture(fixture().ppm), fixture().out("ours.png"), {});
}
void BM_png_encode_imagemagick(benchmark::State& s)
{
    run_tool(s, fixture().imagemagick,
             im + fixture().ppm + " -define png:compression-level=9 -define png:compression-filter=5 " +
                 fixture().out("im.png"));
}
void BM_png_encode_vips(benchmark::State& s)
{
    run_tool(s, fixture().vips,
             vips + "pngsave " + fixture().ppm + " " + fixture().out("vips.png") + " --compression 9 --filter all");
}

// ---- TIFF write and read (uncompressed RGB) ----
void BM_tiff_write_ours(benchmark::State& state)
{
    for (auto _ : state)
        write_tiff(load_picture(fixture().ppm), fixture().out("ours.tif"));
}
void BM_tiff_write_imagemagick(benchmark::State& s)
{
    run_tool(s, fixture().imagemagick, im + fixture().ppm + " -compress none " + fixture().out("im.tif"));
}
void BM_tiff_write_vips(benchmark::State& s)
{
    run_tool(s, fixture().vips, vips + "tiffsave " + fixture().ppm + " " + fixture().out("vips.tif"));
}
void BM_tiff_read_ours(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(load_picture(fixture().tif));
}
void BM_tiff_read_imagemagick(benchmark::State& s) { run_tool(s, fixture().imagemagick, im + fixture().tif + " null:"); }
void BM_tiff_read_vips(benchmark::State& s) { run_tool(s, fixture().vips, vips + "avg " + fixture().tif); }

// ---- PSD of 10 full-size layers: write from the layers, read back every layer ----
void BM_psd_write_ours(benchmark::State& state)
{
    const tdocument doc = tfixture::layered_document();
    for (auto _ : state)
        write_psd(doc, fixture().out("ours.psd"));
}
void BM_psd_write_imagemagick(benchmark::State& s)
{
    // ImageMagick writes the same layers from a layered file it has just read;
    // BM_psd_read_imagemagick shows what the reading part costs.
    run_tool(s, fixture().imagemagick, im + fixture().psd + " -compress none " + fixture().out("im.psd"));
}
void BM_psd_read_ours(benchmark::State& state)
{
    for (auto _ : state) {
        tdocument doc = create_document("read");
        benchmark::DoNotOptimize(read_psd_layers(doc, fixture().psd));
    }
}
void BM_psd_read_imagemagick(benchmark::State& s) { run_tool(s, fixture().imagemagick, im + fixture().psd + " null:"); }

} // namespace

// Builds the pictures before anything is timed.
const bool fixture_ready = (fixture(), true);

#define VELMORA_FORMAT_BENCH(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)
VELMORA_FORMAT_BENCH(BM_jpeg_decode_ours);
VELMORA_FORMAT_BENCH(BM_jpeg_decode_imagemagick);
VELMORA_FORMAT_BENCH(BM_jpeg_decode_vips);
VELMORA_FORMAT_BENCH(BM_jpeg_encode_ours);
VELMORA_FORMAT_BENCH(BM_jpeg_encode_imagemagick);
VELMORA_FORMAT_BENCH(BM_jpeg_encode_vips);
VELMORA_FORMAT_BENCH(BM_png_decode_ours);
VELMORA_FORMAT_BENCH(BM_png_decode_imagemagick);
VELMORA_FORMAT_BENCH(BM_png_decode_vips);
VELMORA_FORMAT_BENCH(BM_png_encode_ours);
VELMORA_FORMAT_BENCH(BM_png_encode_imagemagick);
VELMORA_FORMAT_BENCH(BM_png_encode_vips);
VELMORA_FORMAT_BENCH(BM_tiff_write_ours);
VELMORA_FORMAT_BENCH(BM_tiff_write_imagemagick);
VELMORA_FORMAT_BENCH(BM_tiff_write_vips);
VELMORA_FORMAT_BENCH(BM_tiff_read_ours);
VELMORA_FORMAT_BENCH(BM_tiff_read_imagemagick);
VELMORA_FORMAT_BENCH(BM_tiff_read_vips);
VELMORA_FORMAT_BENCH(BM_psd_write_ours);
VELMORA_FORMAT_BENCH(BM_psd_write_imagemagick);
VELMORA_FORMAT_BENCH(BM_psd_read_ours);
VELMORA_FORMAT_BENCH(BM_psd_read_imagemagick);

BENCHMARK_MAIN();
