// Undo snapshots and compressed native files, each beside its floor:
// - record_action on a 2000 x 2000 document with three layers and a mask,
//   against one plain write of as many bytes into the same folder;
// - undo (reload + recomposite) against a plain read of the snapshot plus the
//   same recomposite;
// - a compressed save and open of a 12-megapixel photo against `bzip2 -9` and
//   `bunzip2` on the same BMP bytes.
// Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// and compare medians.

#include "bench_support.h"
#include "document/composite.h"
#include "document/error.h"
#include "formats/vlm_format.h"
#include "formats/vlm_thumbnail.h"
#include "history/history.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

namespace {

using namespace velmora;

// Smooth shapes with a little grain, compressing about as a photograph does.
Tfbitmap photo_like(std::int32_t w, std::int32_t h, unsigned seed, bool with_alpha)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> grain(-6, 6);
    Tfbitmap b(w, h);
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* p = b.row(y);
        for (std::int32_t x = 0; x < w; ++x, p += 4) {
            const double u = x / double(w);
            const double v = y / double(h);
            const int base[3] = {int(120 + 100 * std::sin(6 * u + 2 * v)), int(90 + 80 * std::cos(4 * v - 3 * u)),
                                 int(128 + 90 * std::sin(9 * u * v))};
            for (int c = 0; c < 3; ++c)
                p[c] = std::uint8_t(std::clamp(base[c] + grain(random), 0, 255));
            p[3] = with_alpha ? std::uint8_t(std::clamp(int(255 * u) + grain(random), 0, 255)) : 255;
        }
    }
    return b;
}

tdocument layered_document()
{
    tdocument doc = create_document("bench");
    add_background(doc, photo_like(2000, 2000, 1, false), "Background");
    tcalque& masked = add_layer(doc, photo_like(2000, 2000, 2, true), "Masked", 200, 0, 0, multiply);
    masked.mask = std::make_unique<tcalque>();
    masked.mask->bitmap = photo_like(2000, 2000, 3, false);
    masked.mask_enabled = 1;
    add_layer(doc, photo_like(2000, 2000, 4, true), "Top", 128, 0, 0, normal);
    return doc;
}

struct tfixture {
    ttemp_folder folder{ttemp_folder::default_parent()};
    tdocument doc = layered_document();
    tdocument photo = [] {
        tdocument d = create_document("photo");
        add_background(d, photo_like(4000, 3000, 5, false), "Background");
        return d;
    }();
    std::string snapshot = (folder.path() / "reference-snapshot").string();
    std::size_t snapshot_size = 0;
    std::string photo_bmp = (folder.path() / "photo.bmp").string();
    std::string photo_vlm = (folder.path() / "photo.vlm").string();

    tfixture()
    {
        write_vlm_snapshot(doc, snapshot, {});
        snapshot_size = std::filesystem::file_size(snapshot);
        const std::vector<std::uint8_t> bmp = save_bmp(photo.layers[0]->bitmap, bmp_depth::bits24);
        std::ofstream(photo_bmp, std::ios::binary)
            .write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
        tvlm_write_options options;
        options.compressed = true;
        write_vlm(photo, photo_vlm, options);
        if (std::system(("bzip2 -9 -k -f " + photo_bmp).c_str()) != 0)
            std::abort();
    }
};

tfixture& fixture()
{
    static tfixture f;
    return f;
}

void bm_record_action(benchmark::State& state)
{
    tfixture& f = fixture();
    thistory history(f.folder);
    for (auto _ : state) {
        history.record_action(f.doc, "step", {});
        state.PauseTiming();
        history.clear_history();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(f.snapshot_size));
}
BENCHMARK(bm_record_action)->Unit(benchmark::kMillisecond)->UseRealTime();

void bm_plain_write_same_bytes(benchmark::State& state)
{
    tfixture& f = fixture();
    std::vector<std::uint8_t> bytes(f.snapshot_size, 0x5A);
    const std::string name = (f.folder.path() / "plain").string();
    for (auto _ : state) {
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                std::abort();
            done += std::size_t(n);
        }
        ::close(fd);
        state.PauseTiming();
        ::unlink(name.c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(f.snapshot_size));
}
BENCHMARK(bm_plain_write_same_bytes)->Unit(benchmark::kMillisecond)->UseRealTime();

void bm_undo_and_recomposite(benchmark::State& state)
{
    tfixture& f = fixture();
    thistory history(f.folder);
    tdocument doc = layered_document();
    history.record_action(doc, "Initial State", {});
    history.record_action(doc, "step", {});
    Tfbitmap view(doc.width(), doc.height());
    for (auto _ : state) {
        history.go_to_entry(doc, 0);
        recomposite_all(doc, view, {});
        benchmark::DoNotOptimize(view.bits());
    }
}
BENCHMARK(bm_undo_and_recomposite)->Unit(benchmark::kMillisecond)->UseRealTime();

void bm_plain_read_and_recomposite(benchmark::State& state)
{
    tfixture& f = fixture();
    std::vector<std::uint8_t> buffer(f.snapshot_size);
    Tfbitmap view(f.doc.width(), f.doc.height());
    for (auto _ : state) {
        const int fd = ::open(f.snapshot.c_str(), O_RDONLY);
        std::size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::read(fd, buffer.data() + done, buffer.size() - done);
            if (n <= 0)
                std::abort();
            done += std::size_t(n);
        }
        ::close(fd);
        recomposite_all(f.doc, view, {});
        benchmark::DoNotOptimize(view.bits());
    }
}
BENCHMARK(bm_plain_read_and_recomposite)->Unit(benchmark::kMillisecond)->UseRealTime();

void bm_recomposite_only(benchmark::State& state)
{
    tfixture& f = fixture();
    Tfbitmap view(f.doc.width(), f.doc.height());
    for (auto _ : state) {
        recomposite_all(f.doc, view, {});
        benchmark::DoNotOptimize(view.bits());
    }
}
BENCHMARK(bm_recomposite_only)->Unit(benchmark::kMillisecond)->UseRealTime();

void bm_vlm_write_compressed_12mp(benchmark::State& state)
{
    tfixture& f = fixture();
    tvlm_write_options options;
    options.compressed = true;
    const std::string name = (f.folder.path() / "out.vlm").string();
    for (auto _ : state)
        write_vlm(f.photo, name, options);
}
BENCHMARK(bm_vlm_write_compressed_12mp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void bm_bzip2_cli_12mp(benchmark::State& state)
{
    tfixture& f = fixture();
    bench::run_external(state, "bzip2 -9 -c " + f.photo_bmp + " > " + (f.folder.path() / "out.bz2").string());
}
BENCHMARK(bm_bzip2_cli_12mp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void bm_vlm_read_compressed_12mp(benchmark::State& state)
{
    tfixture& f = fixture();
    tdocument doc = create_document("read");
    for (auto _ : state)
        read_vlm(doc, f.photo_vlm);
}
BENCHMARK(bm_vlm_read_compressed_12mp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void bm_bunzip2_cli_12mp(benchmark::State& state)
{
    tfixture& f = fixture();
    bench::run_external(state, "bunzip2 -c " + f.photo_bmp + ".bz2 > /dev/null");
}
BENCHMARK(bm_bunzip2_cli_12mp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void bm_preview_12mp(benchmark::State& state)
{
    tfixture& f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(make_vlm_thumbnail(f.photo).bits());
}
BENCHMARK(bm_preview_12mp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
