// Outlining a soft 4000 x 3000 flower-shaped selection with 90 lobes (a long
// border, as a careful lasso leaves) and deriving its view outline at 100 %,
// 25 % and 400 %, beside one plain read of the same raster (the floor any
// outline pass pays).

#include "document/rounding.h"
#include "selection/selection.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using namespace velmora;

constexpr std::int32_t width = 4000;
constexpr std::int32_t height = 3000;

tdocument flower_document()
{
    tdocument doc = create_document("flower");
    add_background(doc, width, height, 0xFFFFFF, "Background");
    create_selection_mask(doc, width, height, true, 0, 0, 0);
    Tfbitmap& mask = doc.selection.mask;
    const double cx = width / 2.0, cy = height / 2.0;
    for (std::int32_t y = 0; y < mask.height(); ++y)
        for (std::int32_t x = 0; x < mask.width(); ++x) {
            const double dx = x + doc.selection.left + 0.5 - cx, dy = y + doc.selection.top + 0.5 - cy;
            const double edge = 1100 + 250 * std::sin(90 * std::atan2(dy, dx));
            // Anti-aliased: a one-pixel ramp across the edge.
            const double coverage = std::clamp(edge - std::hypot(dx, dy) + 0.5, 0.0, 1.0);
            const auto level = std::uint8_t(round_half_even(coverage * 255));
            std::uint8_t* p = mask.pixel(x, y);
            p[blue_byte] = p[green_byte] = p[red_byte] = level;
        }
    return doc;
}

tdocument& flower()
{
    static tdocument doc = flower_document();
    return doc;
}

void BM_outline(benchmark::State& state)
{
    tdocument& doc = flower();
    doc.zoom_index = std::int32_t(state.range(0));
    for (auto _ : state) {
        build_selection_outline(doc);
        benchmark::DoNotOptimize(doc.outline.view_points.data());
    }
    state.counters["points"] = double(doc.outline.points.size());
    state.counters["view_points"] = double(doc.outline.view_points.size());
}
BENCHMARK(BM_outline)->ArgName("zoom_index")->Arg(11)->Arg(7)->Arg(14)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_derive_only(benchmark::State& state)
{
    tdocument& doc = flower();
    doc.zoom_index = std::int32_t(state.range(0));
    build_selection_outline(doc);
    for (auto _ : state) {
        derive_view_outline(doc);
        benchmark::DoNotOptimize(doc.outline.view_points.data());
    }
}
BENCHMARK(BM_derive_only)->ArgName("zoom_index")->Arg(11)->Arg(7)->Arg(14)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_read_raster_floor(benchmark::State& state)
{
    const Tfbitmap& mask = flower().selection.mask;
    for (auto _ : state) {
        std::uint32_t sum = 0;
        for (std::int32_t y = 0; y < mask.height(); ++y) {
            const std::uint8_t* row = mask.row(y);
            for (std::int32_t x = 0; x < mask.width(); ++x)
                sum += row[4 * x + red_byte];
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_read_raster_floor)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
