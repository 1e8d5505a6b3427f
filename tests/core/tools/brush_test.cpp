#include "tools/brush.h"

#include "document/layer_operations.h"
#include "document/rounding.h"
#include "tools/line_rasterisers.h"
#include "tools/paint_rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace velmora {
namespace {

TEST(PaintRounding, MatchesRoundHalfEvenOnHalvesTheirNeighboursAndRandomValues)
{
    for (int twice = 0; twice <= 510; ++twice) {
        const float half = float(twice) / 2;
        for (const float v : {half, std::nextafter(half, -1.0f), std::nextafter(half, 256.0f)})
            ASSERT_EQ(round_channel(v), round_half_even(v)) << v;
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(0.0f, 255.0f);
    for (int i = 0; i < 1000000; ++i) {
        const float v = value(random);
        ASSERT_EQ(round_channel(v), round_half_even(v)) << v;
    }
}

tbrush_settings brush_of(std::int32_t size, std::int32_t softness, tbrush_kind kind = tbrush_kind::round)
{
    tbrush_settings settings;
    settings.size = size;
    settings.softness = softness;
    settings.kind = kind;
    return settings;
}

TEST(BuildBrush, SizeOneIsOneFullCellAtAnySoftness)
{
    for (const auto kind : {tbrush_kind::round, tbrush_kind::square})
        for (const std::int32_t softness : {0, 37, 100}) {
            const tbrush_shape brush = build_brush(brush_of(1, softness, kind));
            ASSERT_EQ(brush.size, 1);
            EXPECT_EQ(brush.cell(0, 0), 1.0f);
        }
}

TEST(BuildBrush, RoundBrushIsFullInsideTheInnerRadiusAndEmptyBeyondTheRadius)
{
    // r = 20, s = 0.74: inner radius 0.9 * 20 * 0.26 = 4.68.
    const tbrush_shape brush = build_brush(brush_of(40, 37));
    ASSERT_EQ(brush.size, 41);
    for (std::int32_t j = 0; j < 41; ++j)
        for (std::int32_t i = 0; i < 41; ++i) {
            const double d = std::hypot(i - 20, j - 20);
            const float value = brush.cell(i, j);
            if (d <= 4.68)
                EXPECT_EQ(value, 1.0f) << i << "," << j;
            else if (d > 20)
                EXPECT_EQ(value, 0.0f) << i << "," << j;
            else
                EXPECT_TRUE(value >= 0.0f && value < 1.0f) << i << "," << j << " " << value;
        }
}

TEST(BuildBrush, FullSoftnessLeavesEvenTheCentreBelowOne)
{
    // Radius 10, inner radius -9: the centre is the smoothstep at t = 9/19.
    const tbrush_shape brush = build_brush(brush_of(20, 100));
    const double t = 9.0 / 19;
    EXPECT_NEAR(brush.cell(10, 10), 1 - 3 * t * t + 2 * t * t * t, 1e-5);
    EXPECT_NEAR(brush.cell(10, 10), 0.540, 1e-3);
    const tbrush_shape square = build_brush(brush_of(20, 100, tbrush_kind::square));
    for (const float value : square.table)
        EXPECT_LT(value, 1.0f);
}

TEST(BuildBrush, SquareBrushFallsOffByTheLargerAxisDistance)
{
    const tbrush_shape brush = build_brush(brush_of(10, 25, tbrush_kind::square)); // r = 5, inner 2.5
    EXPECT_EQ(brush.cell(0, 5), brush.cell(0, 0));
    EXPECT_EQ(brush.cell(3, 7), 1.0f);
    EXPECT_GT(brush.cell(1, 1), 0.0f);
    EXPECT_LT(brush.cell(1, 1), brush.cell(2, 2));
    EXPECT_EQ(brush.cell(1, 1), brush.cell(1, 8));
}

TEST(BrushPreview, SideAndRatioFollowTheSize)
{
    const struct {
        std::int32_t size;
        std::int32_t side;
        const char* ratio;
    } cases[] = {{40, 41, "1:1"}, {49, 49, "1:1"}, {60, 31, "1:2"}, {120, 31, "1:4"}, {200, 51, "1:4"}};
    for (const auto& c : cases) {
        const tbrush_preview preview = build_brush_preview(brush_of(c.size, 0));
        EXPECT_EQ(preview.shape.size, c.side) << c.size;
        EXPECT_EQ(preview.ratio, c.ratio) << c.size;
    }
}

TEST(BrushPreview, DrawsTheCentredTableScaledByTheOpacity)
{
    Tfbitmap image(45, 45);
    image.fill_pixels(255, 255, 255, 255);
    const tbrush_preview preview = build_brush_preview(brush_of(40, 0));
    draw_brush_preview(image, preview, 128, 0x000000);
    // Full cells drop by 128/255 of the way to black: 255 - 128 = 127.
    EXPECT_EQ(image.pixel(22, 22)[red_byte], 127);
    EXPECT_EQ(image.pixel(0, 0)[red_byte], 255);
    EXPECT_EQ(opacity_percent(255), 100);
    EXPECT_EQ(opacity_percent(100), 39);
}

// A one-pixel target with its stroke rasters, painted with a one-cell brush.
struct tsingle_pixel {
    Tfbitmap bitmap{1, 1};
    Tfbitmap base;
    Tfbitmap coverage{1, 1};
    tbrush_shape brush = build_brush(brush_of(1, 0));

    explicit tsingle_pixel(std::uint8_t grey, std::uint8_t alpha)
    {
        bitmap.fill_pixels(grey, grey, grey, alpha);
        base = bitmap;
        coverage.fill_pixels(255, 255, 255, 255);
        brush.set_colour(0x000000);
    }
    const std::uint8_t* dab(std::int32_t opacity)
    {
        paint_dab({&bitmap, 0, 0, true, &base, &coverage, nullptr}, brush, opacity, 0, 0);
        return bitmap.pixel(0, 0);
    }
};

TEST(PaintDab, RepeatedDabsOfOneStrokeStopAtTheOpacity)
{
    tsingle_pixel target(200, 255);
    EXPECT_EQ(target.dab(128)[red_byte], round_half_even(200 - 200 * 128 / 255.0L));
    EXPECT_EQ(target.dab(128)[red_byte], 100);
    EXPECT_EQ(target.dab(128)[alpha_byte], 255);
}

TEST(PaintDab, TransparentPixelTakesTheColourExactly)
{
    tsingle_pixel target(200, 0);
    target.brush.set_colour(make_color(10, 20, 30));
    const std::uint8_t* p = target.dab(100);
    EXPECT_EQ(p[red_byte], 10);
    EXPECT_EQ(p[green_byte], 20);
    EXPECT_EQ(p[blue_byte], 30);
    EXPECT_EQ(p[alpha_byte], round_half_even(255 * (100 / 255.0f)));
}

TEST(PaintDab, PartlyTransparentPixelShowsThePaintAfterOneDab)
{
    tsingle_pixel full(200, 128);
    const std::uint8_t* p = full.dab(255);
    EXPECT_EQ(p[red_byte], 0);
    EXPECT_EQ(p[alpha_byte], 255);
    // Half the paint over a half-covered pixel: alpha 128 + 127 / 2, the
    // colour weighted by what each brings to it.
    tsingle_pixel half(200, 128);
    p = half.dab(128);
    const long double reach = 128 / 255.0L;
    const long double kept = 128 * (1 - reach);
    EXPECT_EQ(p[alpha_byte], round_half_even(128 + 127 * reach));
    EXPECT_NEAR(p[red_byte], 200 * kept / (kept + 255 * reach), 1.0);
}

TEST(PaintDab, SkipsPixelsOutsideTheSelectionRasterAndWeightsThoseInside)
{
    Tfbitmap bitmap(4, 1);
    bitmap.fill_pixels(200, 200, 200, 255);
    Tfbitmap base = bitmap, coverage(4, 1);
    coverage.fill_pixels(255, 255, 255, 255);
    tselection selection;
    selection.left = 1; // covers document columns 1 and 2
    selection.mask.set_size(2, 1);
    selection.mask.fill_pixels(255, 255, 255, 255);
    selection.mask.pixel(1, 0)[red_byte] = 0;
    tbrush_shape brush = build_brush(brush_of(4, 0, tbrush_kind::square)); // 5 x 5, all 1
    brush.set_colour(0x000000);
    const trect touched = paint_dab({&bitmap, 0, 0, true, &base, &coverage, &selection}, brush, 255, 1, 0);
    EXPECT_EQ(touched, (trect{1, 0, 3, 1}));
    EXPECT_EQ(bitmap.pixel(0, 0)[red_byte], 200);
    EXPECT_EQ(bitmap.pixel(1, 0)[red_byte], 0);
    EXPECT_EQ(bitmap.pixel(2, 0)[red_byte], 200);
    EXPECT_EQ(bitmap.pixel(3, 0)[red_byte], 200);
}

TEST(StrokeSegment, SpacesDabsAlongTheWholeWalk)
{
    const tbrush_shape brush = build_brush(brush_of(40, 0));
    const double spacing = dab_spacing(brush, 15);
    EXPECT_DOUBLE_EQ(spacing, 41 * 0.15);
    tdab_point last{0, 0};
    std::vector<tdab_point> dabs;
    const auto record = [&](float x, float y) { dabs.push_back({x, y}); };
    stroke_segment(0, 0, 20, 10, spacing, last, record);
    stroke_segment(20, 10, 40, 0, spacing, last, record);
    ASSERT_GE(dabs.size(), 5u);
    tdab_point previous{0, 0};
    for (const tdab_point& dab : dabs) {
        EXPECT_GT(std::hypot(dab.x - previous.x, dab.y - previous.y), spacing);
        previous = dab;
    }
    EXPECT_EQ(last.x, dabs.back().x);
    // Without spacing every sample that moved is dabbed: 11 columns, the first is the last dab.
    tdab_point start{0, 0};
    dabs.clear();
    stroke_segment(0, 0, 10, 0, 0, start, record);
    EXPECT_EQ(dabs.size(), 10u);
}

TEST(RealtimePreview, DrawsTheZoomedDabIntoTheViewOnly)
{
    Tfbitmap view(40, 40);
    view.fill_pixels(255, 255, 255, 255);
    tbrush_shape brush = build_brush(brush_of(4, 0, tbrush_kind::square));
    const trect changed = draw_realtime_preview(view, brush, 255, 0x000000, 2, 2, 4.0);
    EXPECT_EQ(classic_preview_radius(brush, 4.0), 10);
    EXPECT_EQ(changed, (trect{0, 0, 13, 13}));
    EXPECT_EQ(view.pixel(12, 12)[red_byte], 0);
    EXPECT_EQ(view.pixel(13, 13)[red_byte], 255);
}

// Changed pixels of a white 16 x 16 raster after a line is drawn on it.
template <typename Draw>
std::vector<std::pair<int, int>> painted_by(Draw draw)
{
    Tfbitmap bitmap(16, 16);
    bitmap.fill_pixels(255, 255, 255, 255);
    draw(tline_target{&bitmap, 0, 0, true, trgb{}, nullptr});
    std::vector<std::pair<int, int>> painted;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (bitmap.pixel(x, y)[red_byte] != 255)
                painted.emplace_back(x, y);
    return painted;
}

TEST(Lines, PlainLinePaintsBothEnds)
{
    const auto painted = painted_by([](const tline_target& t) { plain_line(t, 1.0f, 0, 0, 10, 4); });
    EXPECT_EQ(painted.size(), 11u);
    EXPECT_NE(std::find(painted.begin(), painted.end(), std::pair(0, 0)), painted.end());
    EXPECT_NE(std::find(painted.begin(), painted.end(), std::pair(10, 4)), painted.end());
    // An end far outside the raster keeps the slope: only the part inside is painted.
    const auto long_line = painted_by([](const tline_target& t) { plain_line(t, 1.0f, 0, 0, 1000, 500); });
    EXPECT_EQ(long_line.size(), 16u);
    EXPECT_NE(std::find(long_line.begin(), long_line.end(), std::pair(10, 5)), long_line.end());
}

TEST(Lines, WuLinePaintsTheStartThenOnePairPerStep)
{
    Tfbitmap bitmap(16, 16);
    bitmap.fill_pixels(255, 255, 255, 255);
    const tline_target target{&bitmap, 0, 0, true, trgb{}, nullptr};
    wu_line(target, 1.0f, true, 0, 0, 10, 4);
    int touched = 0;
    for (int x = 1; x <= 10; ++x) {
        // Column x holds the pixel on the line and its neighbour below, and their weights add up to about one.
        int in_column = 0, darkness = 0;
        for (int y = 0; y < 16; ++y)
            if (bitmap.pixel(x, y)[red_byte] != 255) {
                ++in_column;
                darkness += 255 - bitmap.pixel(x, y)[red_byte];
            }
        EXPECT_LE(in_column, 2) << x;
        EXPECT_GT(darkness, 180) << x;
        touched += in_column;
    }
    EXPECT_EQ(bitmap.pixel(0, 0)[red_byte], 0);
    EXPECT_GE(touched, 10);

    EXPECT_EQ(wu_gamma()[255], 1.0f);
    EXPECT_EQ(wu_gamma()[0], 0.0f);
    const auto diagonal = painted_by([](const tline_target& t) { wu_line(t, 1.0f, true, 2, 2, 9, 9); });
    EXPECT_EQ(diagonal.size(), 8u);
    for (const auto& [x, y] : diagonal)
        EXPECT_EQ(x, y);
    const auto short_end = painted_by([](const tline_target& t) { wu_line(t, 1.0f, false, 2, 2, 9, 9); });
    EXPECT_EQ(short_end.size(), 7u);
}

TEST(Lines, PlotPixelMixesByStrengthAndRaisesAlpha)
{
    Tfbitmap bitmap(2, 1);
    bitmap.fill_pixels(200, 200, 200, 100);
    tline_target target{&bitmap, 0, 0, true, trgb{}, nullptr};
    plot_pixel(target, 0, 0, 0.5f);
    plot_pixel(target, 5, 0, 0.5f); // outside: nothing
    EXPECT_EQ(bitmap.pixel(0, 0)[red_byte], 100);
    EXPECT_EQ(bitmap.pixel(0, 0)[alpha_byte], round_half_even(100 + 155 * 0.5L));
    target.alpha_allowed = false;
    plot_pixel(target, 1, 0, 0.5f);
    EXPECT_EQ(bitmap.pixel(1, 0)[alpha_byte], 100);
}

} // namespace
} // namespace velmora
