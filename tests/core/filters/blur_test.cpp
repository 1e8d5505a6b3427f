#include "filters/blur.h"

#include "filters/filter_framework.h"
#include "filter_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include "document/rounding.h"

namespace velmora {
namespace {

using namespace test;

TEST(GaussianBlur, KernelRadiusIsCutAtHalfAGreyLevel)
{
    struct tcase {
        float sigma;
        int radius;
    };
    for (const tcase c : {tcase{1.0f, 2}, {2.0f, 5}, {10.0f, 30}, {50.0f, 99}, {100.0f, 99}}) {
        const tgaussian_kernel kernel = gaussian_kernel(c.sigma);
        EXPECT_EQ(kernel.radius, c.radius) << c.sigma;
        double sum = 0;
        for (int i = -kernel.radius; i <= kernel.radius; ++i)
            sum += kernel.weight(i);
        EXPECT_NEAR(sum, 1.0, 1e-6);
        EXPECT_EQ(kernel.weight(-1), kernel.weight(1));
    }
}

// Both passes the plain way: double sums over the taps in order, border
// pixel repeated, truncated, rows before columns.
Tfbitmap reference_gaussian(const Tfbitmap& source, float sigma, bool with_alpha)
{
    const tgaussian_kernel kernel = gaussian_kernel(sigma);
    const int r = kernel.radius;
    Tfbitmap rows = source;
    const auto line = [&](auto value_at, auto write, std::int32_t n) {
        std::vector<std::uint8_t> out(std::size_t(n) * 4);
        for (std::int32_t p = 0; p < n; ++p)
            for (int k = 0; k < 4; ++k) {
                double s = 0;
                for (int t = -r; t <= r; ++t)
                    s += double(kernel.weight(t)) * value_at(std::clamp(p - t, 0, n - 1), k);
                out[std::size_t(4 * p + k)] = s < 0 ? 0 : s >= 255 ? 255 : std::uint8_t(s);
            }
        for (std::int32_t p = 0; p < n; ++p)
            for (int k = 0; k < (with_alpha ? 4 : 3); ++k)
                write(p, k, out[std::size_t(4 * p + k)]);
    };
    for (std::int32_t y = 0; y < source.height(); ++y)
        line([&](std::int32_t x, int k) { return rows.pixel(x, y)[k]; },
             [&](std::int32_t x, int k, std::uint8_t v) { rows.pixel(x, y)[k] = v; }, source.width());
    for (std::int32_t x = 0; x < source.width(); ++x)
        line([&](std::int32_t y, int k) { return rows.pixel(x, y)[k]; },
             [&](std::int32_t y, int k, std::uint8_t v) { rows.pixel(x, y)[k] = v; }, source.height());
    return rows;
}

TEST(GaussianBlur, MatchesThePlainPassesAndGrowsUpperLayers)
{
    for (const float sigma : {1.0f, 2.5f, 7.0f}) {
        for (const bool with_alpha : {false, true}) {
            tdocument doc = create_document("t");
            add_background(doc, 8, 8, 0, "bg");
            // Wider than one band of columns so the band seams are covered.
            const Tfbitmap pixels = random_bitmap(300, 21, 51);
            tcalque& layer = add_layer(doc, pixels, "l", 255, 4, -3, normal);
            gaussian_blur(doc, layer, with_alpha, 0, sigma);
            const std::int32_t m = with_alpha ? std::int32_t(sigma) + 1 : 0;
            EXPECT_EQ(layer.left, 4 - m);
            EXPECT_EQ(layer.top, -3 - m);
            Tfbitmap grown = pixels;
            if (m > 0) {
                grown = uniform_bitmap(300 + 2 * m, 21 + 2 * m, 0, 0);
                for (std::int32_t y = 0; y < 21; ++y)
                    std::copy_n(pixels.row(y), 4 * 300, grown.pixel(m, y + m));
            }
            EXPECT_TRUE(same_pixels(layer.bitmap, reference_gaussian(grown, sigma, with_alpha)))
                << sigma << ' ' << with_alpha;
        }
    }
}

TEST(GaussianBlur, TheBackgroundNeverGrows)
{
    tdocument doc = create_document("t");
    add_background(doc, random_bitmap(9, 6, 3), "bg");
    gaussian_blur(doc, *doc.layers[0], true, 0, 3.0f);
    EXPECT_EQ(doc.layers[0]->bitmap.width(), 9);
    EXPECT_EQ(doc.layers[0]->left, 0);
}

TEST(MotionBlur, AveragesAlongTheWalkAndStopsAtTheEdge)
{
    Tfbitmap row(5, 3);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            row.pixel(x, y)[0] = row.pixel(x, y)[1] = row.pixel(x, y)[2] = row.pixel(x, y)[3] =
                std::uint8_t(30 * x + 50 * y);
    Tfbitmap out = row;
    motion_blur(out, row, 3, 0, false); // angle 0: toward decreasing x
    EXPECT_EQ(out.pixel(4, 0)[0], 90);  // (120 + 90 + 60) / 3
    EXPECT_EQ(out.pixel(1, 0)[0], 15);  // (30 + 0) / 2: the walk left the layer
    EXPECT_EQ(out.pixel(0, 0)[0], 0);
    EXPECT_EQ(out.pixel(4, 0)[3], 120); // alpha untouched
    motion_blur(out, row, 3, 90, true); // angle 90: the pixels below
    EXPECT_EQ(out.pixel(2, 0)[0], 110); // (60 + 110 + 160) / 3
    EXPECT_EQ(out.pixel(2, 0)[3], 110);
    EXPECT_EQ(out.pixel(2, 1)[0], 135); // (110 + 160) / 2
}

// The three sampling blurs the plain way, pixel by pixel, straight from
// their formulas (the walk with its float error term, the scales in single
// precision, the arc in extended precision).
Tfbitmap reference_sampling_blur(const Tfbitmap& source, int kind, int setting, const tadjust_area& area)
{
    Tfbitmap out = source;
    const trect rect = blur_rectangle(source, area);
    std::int32_t cx = source.width() / 2, cy = source.height() / 2;
    if (area.selection) {
        cx = area.selection->left + area.selection->mask.width() / 2 - area.left;
        cy = area.selection->top + area.selection->mask.height() / 2 - area.top;
    }
    const auto inside = [&](long double x, long double y) {
        return x >= rect.left && x <= rect.right - 1 && y >= rect.top && y <= rect.bottom - 1;
    };
    for (std::int32_t y = rect.top; y < rect.bottom; ++y)
        for (std::int32_t x = rect.left; x < rect.right; ++x) {
            const int coverage = area.selection ? selection_coverage(*area.selection, x + area.left, y + area.top) : 255;
            if (coverage == 0)
                continue;
            long double sums[4] = {0, 0, 0, 0};
            int count = 0;
            const auto add = [&](std::int32_t sx, std::int32_t sy) {
                for (int k = 0; k < 4; ++k)
                    sums[k] += source.pixel(sx, sy)[k];
                ++count;
            };
            if (kind == 0) { // motion, speed `setting`, angle 30
                const double a = 30 * std::numbers::pi / 180;
                const auto dxl = std::int32_t(round_half_even(-std::cos(a) * setting));
                const auto dyl = std::int32_t(round_half_even(std::sin(a) * setting));
                const bool y_major = std::abs(dxl) < std::abs(dyl);
                const int major = std::max(std::abs(dxl), std::abs(dyl));
                const int minor = std::min(std::abs(dxl), std::abs(dyl));
                float error = 2.0f * minor - major;
                std::int32_t wx = x, wy = y;
                while (wx >= rect.left && wx < rect.right && wy >= rect.top && wy < rect.bottom && count < setting) {
                    add(wx, wy);
                    while (error >= 0) {
                        (y_major ? wx : wy) += y_major ? (dxl > 0) - (dxl < 0) : (dyl > 0) - (dyl < 0);
                        error -= 2.0f * major;
                    }
                    (y_major ? wy : wx) += y_major ? (dyl > 0) - (dyl < 0) : (dxl > 0) - (dxl < 0);
                    error += 2.0f * minor;
                }
            } else if (kind == 1) { // zoom, `setting` samples
                const double dw = rect.width() - 1, dh = rect.height() - 1;
                const auto k = float(std::sqrt(dh * dh + dw * dw) / 2 / 50000);
                for (int v = 0; v < setting; ++v) {
                    const float scale = 1 + float(v) * k;
                    const double sx = (x - cx) * double(scale) + cx, sy = (y - cy) * double(scale) + cy;
                    if (inside(sx, sy))
                        add(std::int32_t(round_half_even(sx)), std::int32_t(round_half_even(sy)));
                }
            } else { // radial, `setting` degrees
                const int n = radial_blur_samples(source.width(), source.height(), area, setting);
                const long double a = setting * std::numbers::pi_v<long double> / 180, d = a / (n - 1);
                for (int k = 0; k < n; ++k) {
                    const long double phi = k * d - (n - 1) * d / 2;
                    const long double c = std::cos(phi), s = std::sin(phi);
                    const long double sx = (x - cx) * c + (y - cy) * s + cx, sy = cy - (x - cx) * s + (y - cy) * c;
                    if (inside(sx, sy))
                        add(std::int32_t(round_half_even(sx)), std::int32_t(round_half_even(sy)));
                }
            }
            if (count == 0)
                continue;
            for (int k = 0; k < 4; ++k) {
                const long double mean = sums[k] / count, u = source.pixel(x, y)[k];
                out.pixel(x, y)[k] = std::uint8_t(round_half_even(area.selection ? (mean - u) * (coverage / 255.0L) + u : mean));
            }
        }
    return out;
}

TEST(SamplingBlurs, MatchTheirPlainFormulas)
{
    const Tfbitmap source = random_bitmap(37, 29, 131);
    const tselection selection = random_selection(3, -2, 30, 25, 132);
    for (const bool with_selection : {false, true}) {
        const tadjust_area area{with_selection ? &selection : nullptr, 2, 1};
        Tfbitmap out = source;
        motion_blur(out, source, 9, 30, true, area);
        EXPECT_TRUE(same_pixels(out, reference_sampling_blur(source, 0, 9, area))) << "motion " << with_selection;
        out = source;
        zoom_blur(out, source, 2 * 60 + 5, true, area);
        EXPECT_TRUE(same_pixels(out, reference_sampling_blur(source, 1, 125, area))) << "zoom " << with_selection;
        out = source;
        radial_blur(out, source, 50, true, area);
        EXPECT_TRUE(same_pixels(out, reference_sampling_blur(source, 2, 50, area))) << "radial " << with_selection;
    }
}

TEST(MotionBlur, DialAngle)
{
    struct tcase {
        double dx, dy;
        int angle;
    };
    for (const tcase c : {tcase{0, 0, 0}, {10, 0, 0}, {0, -10, 90}, {-10, 0, 180}, {0, 10, 270}, {10, 10, 315},
                          {-3, -3, 135}, {10, 0.1, 359}})
        EXPECT_EQ(motion_dial_angle(c.dx, c.dy), c.angle) << c.dx << ',' << c.dy;
}

TEST(ZoomAndRadialBlur, CentreStaysAndUniformStaysUniform)
{
    const Tfbitmap source = random_bitmap(31, 21, 61);
    for (const bool radial : {false, true}) {
        Tfbitmap out = source;
        if (radial)
            radial_blur(out, source, 40, true);
        else
            zoom_blur(out, source, 2 * 50 + 5, true);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(out.pixel(15, 10)[k], source.pixel(15, 10)[k]) << radial;
        EXPECT_FALSE(same_pixels(out, source));
        const Tfbitmap flat = uniform_bitmap(31, 21, 77, 33);
        out = flat;
        if (radial)
            radial_blur(out, flat, 360, true);
        else
            zoom_blur(out, flat, 205, true);
        EXPECT_TRUE(same_pixels(out, flat)) << radial;
    }
    EXPECT_EQ(radial_blur_samples(100, 100, {}, 15), 11);
}

TEST(ZoomAndRadialBlur, SelectionLimitsTheRectangleAndMovesTheCentre)
{
    const Tfbitmap source = random_bitmap(30, 20, 71);
    tselection selection;
    selection.left = 10; // document coordinates; the layer sits at (4, 2)
    selection.top = 5;
    selection.mask = uniform_bitmap(9, 7, 255);
    for (const bool radial : {false, true}) {
        Tfbitmap out = source;
        const tadjust_area area{&selection, 4, 2};
        if (radial)
            radial_blur(out, source, 90, false, area);
        else
            zoom_blur(out, source, 105, false, area);
        for (std::int32_t y = 0; y < 20; ++y)
            for (std::int32_t x = 0; x < 30; ++x) {
                const bool inside = x >= 6 && x < 15 && y >= 3 && y < 10;
                if (!inside || (x == 10 && y == 6)) { // outside, or the centre (10 + 4, 5 + 3) - (4, 2)
                    for (int k = 0; k < 4; ++k)
                        ASSERT_EQ(out.pixel(x, y)[k], source.pixel(x, y)[k]) << x << ',' << y;
                }
            }
    }
}

} // namespace
} // namespace velmora
