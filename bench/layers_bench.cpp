// The Layers palette's rebuild on a 4000 x 3000 document of 50 layers: what
// it computes is one thumbnail per layer and the current layer's mask
// thumbnail (the rows themselves are painted, not built).

#include "document/layer_operations.h"

#include <benchmark/benchmark.h>

namespace {

using namespace velmora;

const tdocument& bench_document()
{
    static const tdocument doc = [] {
        tdocument d = create_document("bench");
        add_background(d, 4000, 3000, 0x336699, "Background");
        Tfbitmap half(2000, 3000);
        half.fill_pixels(10, 20, 30, 128);
        for (int i = 0; i < 49; ++i)
            add_layer(d, half, "layer", 255, i * 40, 0, normal);
        create_layer_mask(d);
        return d;
    }();
    return doc;
}

void BM_layers_palette_thumbnails(benchmark::State& state)
{
    const tdocument& doc = bench_document();
    for (auto _ : state) {
        for (std::size_t i = 0; i < doc.layers.size(); ++i)
            benchmark::DoNotOptimize(layer_thumbnail(doc, std::int32_t(i)));
        benchmark::DoNotOptimize(mask_thumbnail(doc, doc.current_layer));
    }
}
BENCHMARK(BM_layers_palette_thumbnails)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
