// Compositing speed on a 4000 x 3000 document with 10 full-size layers (every
// blend mode, partial alpha, two enabled masks), against a plain memcpy pass
// over the same bytes as the bandwidth floor. One thread, like the memcpy.

#include "document/composite.h"
#include "document/parallel.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace velmora;

constexpr std::int32_t doc_width = 4000;
constexpr std::int32_t doc_height = 3000;

Tfbitmap noise(std::mt19937& random, std::int32_t w, std::int32_t h, bool partial_alpha)
{
    Tfbitmap b(w, h);
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* p = b.row(y);
        for (std::int32_t x = 0; x < w; ++x, p += 4) {
            const std::uint32_t r = random();
            std::memcpy(p, &r, 3);
            // Soft-edged strokes: a band of opaque pixels fading out, the rest empty.
            const int phase = (x + 3 * y) % 256;
            p[alpha_byte] = partial_alpha ? std::uint8_t(phase < 96 ? 255 : phase < 192 ? 255 - (phase - 96) * 2 : 0)
                                          : 255;
        }
    }
    return b;
}

const tdocument& bench_document()
{
    static const tdocument doc = [] {
        max_worker_threads = 1;
        std::mt19937 random(1);
        tdocument d = create_document("bench");
        add_background(d, noise(random, doc_width, doc_height, false), "Background");
        for (int i = 0; i < 10; ++i) {
            tcalque& layer = add_layer(d, noise(random, doc_width, doc_height, i % 3 != 0), "layer", 128 + 12 * i,
                                       0, 0, std::uint8_t(i % blend_mode_count));
            if (i == 4 || i == 7) {
                layer.mask = std::make_unique<tcalque>();
                layer.mask->bitmap = noise(random, doc_width, doc_height, false);
                layer.mask_enabled = 1;
            }
        }
        return d;
    }();
    return doc;
}

void BM_flatten_image(benchmark::State& state)
{
    const tdocument& doc = bench_document();
    for (auto _ : state) {
        Tfbitmap flat = flatten_image(doc);
        benchmark::DoNotOptimize(flat.bits());
    }
}
BENCHMARK(BM_flatten_image)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The floor: one memcpy of every layer's bytes and of the output.
void BM_memcpy_all_layer_bytes(benchmark::State& state)
{
    const tdocument& doc = bench_document();
    std::vector<std::uint8_t> sink(doc.layers[0]->bitmap.byte_size());
    for (auto _ : state) {
        for (const auto& layer : doc.layers)
            std::memcpy(sink.data(), layer->bitmap.bits(), layer->bitmap.byte_size());
        std::memcpy(sink.data(), doc.layers[0]->bitmap.bits(), sink.size());
        benchmark::DoNotOptimize(sink.data());
    }
}
BENCHMARK(BM_memcpy_all_layer_bytes)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_composite_view(benchmark::State& state)
{
    const tdocument& doc = bench_document();
    const int zoom_index = int(state.range(0));
    Tfbitmap view(std::int32_t(state.range(1)), std::int32_t(state.range(2)));
    const tview_mapping mapping{zoom_factor(zoom_index), 0.0f, 0.0f};
    for (auto _ : state) {
        recomposite_all(doc, view, mapping);
        benchmark::DoNotOptimize(view.bits());
    }
}
// Zoom index (8 is 33 %), view width and height.
BENCHMARK(BM_composite_view)
    ->Args({zoom_index_100, 1024, 768})
    ->Args({8, 1024, 768})
    ->Args({zoom_index_100, 1600, 1000})
    ->Args({8, 1600, 1000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
