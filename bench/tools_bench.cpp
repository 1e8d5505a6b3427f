// Brush dabs per second on one core: a 200-pixel soft round brush stroked
// across the top layer of a 4000 x 3000 document with 10 layers, each dab
// followed by the recomposite of its dirty rectangle into a 1024 x 768 view,
// at 25 %, 100 % and 400 %. The dab alone is timed too, to show the split.

#include "document/composite.h"
#include "document/parallel.h"
#include "tools/tool_editor.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

namespace {

using namespace velmora;

constexpr std::int32_t doc_width = 4000;
constexpr std::int32_t doc_height = 3000;
constexpr std::int32_t view_width = 1024;
constexpr std::int32_t view_height = 768;

Tfbitmap noise(std::mt19937& random, bool partial_alpha)
{
    Tfbitmap b(doc_width, doc_height);
    for (std::int32_t y = 0; y < doc_height; ++y) {
        std::uint8_t* p = b.row(y);
        for (std::int32_t x = 0; x < doc_width; ++x, p += 4) {
            const std::uint32_t r = random();
            std::memcpy(p, &r, 3);
            const int phase = (x + 3 * y) % 256;
            p[alpha_byte] = partial_alpha ? std::uint8_t(phase < 128 ? 255 : 255 - (phase - 128) * 2) : 255;
        }
    }
    return b;
}

tdocument& bench_document()
{
    static tdocument doc = [] {
        std::mt19937 random(1);
        tdocument d = create_document("bench");
        add_background(d, noise(random, false), "Background");
        for (int i = 0; i < 10; ++i)
            add_layer(d, noise(random, i % 3 != 0), "layer", 128 + 12 * i, 0, 0, std::uint8_t(i % blend_mode_count));
        return d;
    }();
    return doc;
}

// Strokes back and forth across the view in one stroke, one dab per move.
void stroke(benchmark::State& state, bool recomposite)
{
    max_worker_threads = 1;
    tdocument& doc = bench_document();
    const int zoom_index = int(state.range(0));
    const double z = zoom_factor(zoom_index);
    ttool_view view;
    view.mapping = {z, z < 1 ? 0.0f : 1000.0f, z < 1 ? 0.0f : 1000.0f};
    Tfbitmap view_bitmap(view_width, view_height);
    recomposite_all(doc, view_bitmap, view.mapping);

    ttool_editor editor;
    editor.state.current_tool = tool_id::paintbrush;
    tbrush_settings brush;
    brush.size = 200;
    brush.softness = 40;
    brush.opacity = 200;
    editor.set_brush(brush, false);
    // One dab per move: a step just over the spacing of 15 % of 201 pixels.
    const std::int32_t step = 31;
    const auto to_view = [&](double doc_x, double doc_y) {
        return tpoint{view.mapping.view_x(doc_x), view.mapping.view_y(doc_y)};
    };
    const double left = view.mapping.ox, right = left + std::min(view_width / z, double(doc_width));
    const double y = view.mapping.oy + std::min(view_height / z, double(doc_height)) / 2;
    double x = left;
    int direction = 1;
    editor.press(doc, view, {to_view(x, y), mouse_button::left, 0});
    std::int64_t dabs = 0;
    for (auto _ : state) {
        if (x + direction * step < left || x + direction * step > right)
            direction = -direction;
        x += direction * step;
        const ttool_result result = editor.move(doc, view, {to_view(x, y), mouse_button::left, 0});
        if (recomposite)
            composite_dirty(doc, view_bitmap, view.mapping, result.dirty);
        benchmark::DoNotOptimize(view_bitmap.bits());
        ++dabs;
    }
    editor.release(doc, view, {to_view(x, y), mouse_button::left, 0});
    state.counters["dabs_per_s"] = benchmark::Counter(double(dabs), benchmark::Counter::kIsRate);
    max_worker_threads = 0;
}

void BM_dab_and_recomposite(benchmark::State& state)
{
    stroke(state, true);
}
BENCHMARK(BM_dab_and_recomposite)->Arg(7)->Arg(11)->Arg(14)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_dab_only(benchmark::State& state)
{
    stroke(state, false);
}
BENCHMARK(BM_dab_only)->Arg(11)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
