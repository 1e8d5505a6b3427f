#include "filters/colour_adjust.h"

#include "document/rounding.h"
#include "filters/filter_framework.h"
#include "filter_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

namespace velmora {
namespace {

using namespace test;

TEST(ColourAdjust, ContrastTable)
{
    struct tcase {
        int contrast, brightness, in, out;
    };
    const tcase cases[] = {
        {200, 0, 128, 255}, {200, 0, 100, 200}, {200, 0, 0, 0}, // scales toward 0 and clamps
        {150, 0, 1, 2},     {150, 0, 3, 4},                      // 1.5 -> 2, 4.5 -> 4: halves to even
        {100, 0, 77, 77},   {0, 7, 200, 7},   {0, 300, 9, 255}, {0, -5, 250, 0}, {50, 10, 5, 12},
    };
    for (const tcase& c : cases)
        EXPECT_EQ(contrast_table(c.contrast, c.brightness)[std::size_t(c.in)], c.out)
            << c.contrast << ' ' << c.brightness << ' ' << c.in;
}

// Both look-up paths, across widths that end inside a vector and in place.
TEST(ColourAdjust, LevelTablesOnEveryPath)
{
    std::mt19937 random(3);
    tlevel_table tables[3];
    for (tlevel_table& table : tables)
        for (std::uint8_t& level : table)
            level = std::uint8_t(random() & 255);
    for (const std::int32_t width : {1, 15, 16, 17, 45})
        for (const bool portable : {false, true})
            for (const bool in_place : {false, true}) {
                const Tfbitmap source = random_bitmap(width, 3, std::uint32_t(width));
                Tfbitmap out = in_place ? source : random_bitmap(width, 3, 99);
                map_levels(out, in_place ? out : source, tables[0], tables[1], tables[2], portable);
                for (std::int32_t y = 0; y < 3; ++y)
                    for (std::int32_t x = 0; x < width; ++x) {
                        const std::uint8_t* p = source.pixel(x, y);
                        const std::uint8_t* q = out.pixel(x, y);
                        ASSERT_TRUE(q[blue_byte] == tables[0][p[blue_byte]] && q[green_byte] == tables[1][p[green_byte]] &&
                                    q[red_byte] == tables[2][p[red_byte]] && q[alpha_byte] == p[alpha_byte])
                            << "width " << width << " portable " << portable << " in place " << in_place << " x " << x;
                    }
            }
}

TEST(ColourAdjust, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(mul_div(1, 1, 2), 1);
    EXPECT_EQ(mul_div(-1, 1, 2), -1);
    EXPECT_EQ(mul_div(3, 1, 2), 2);
    EXPECT_EQ(mul_div(-3, 1, 2), -2);
    EXPECT_EQ(mul_div(5, 1, 4), 1);
    EXPECT_EQ(mul_div(-128, 60, 255), -30);
    EXPECT_EQ(mul_div(1, 1, -2), -1);
}

TEST(ColourAdjust, HsvConversions)
{
    struct tcase {
        int r, g, b, h, s, v;
    };
    const tcase to_hsv[] = {
        {255, 0, 0, 0, 255, 255},   {0, 255, 0, 120, 255, 255}, {0, 0, 255, 240, 255, 255},
        {255, 0, 128, 330, 255, 255}, {90, 90, 90, 0, 0, 90},   {0, 0, 0, 0, 0, 0},
        {200, 100, 50, 20, 191, 200}, // MulDiv(150, 255, 200) = 191.25; MulDiv(50, 60, 150) = 20
    };
    for (const tcase& c : to_hsv)
        EXPECT_EQ(rgb_to_hsv(c.r, c.g, c.b), (thsv{c.h, c.s, c.v})) << c.r << ' ' << c.g << ' ' << c.b;
    const tcase to_rgb[] = {
        {255, 0, 0, 0, 255, 255},   {255, 0, 0, 360, 255, 255}, {255, 255, 0, 60, 255, 255},
        {0, 255, 255, 180, 255, 255}, {77, 77, 77, 200, 0, 77},
        {100, 40, 41, 359, 155, 100}, // sector 5: p = 100 - 15500 / 255, q = 100 - 155 * 100 * 59 / 15300
    };
    for (const tcase& c : to_rgb)
        EXPECT_EQ(hsv_to_rgb(c.h, c.s, c.v), (trgb{std::uint8_t(c.r), std::uint8_t(c.g), std::uint8_t(c.b)}))
            << c.h << ' ' << c.s << ' ' << c.v;
    // Primaries, secondaries and greys come back exactly.
    for (const trgb rgb : {trgb{255, 0, 0}, trgb{0, 255, 255}, trgb{255, 0, 255}, trgb{128, 128, 128},
                           trgb{0, 200, 0}, trgb{60, 60, 0}}) {
        const thsv hsv = rgb_to_hsv(rgb.red, rgb.green, rgb.blue);
        EXPECT_EQ(hsv_to_rgb(hsv.hue, hsv.saturation, hsv.value), rgb);
    }
}

Tfbitmap one_pixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255)
{
    Tfbitmap bitmap(1, 1);
    bitmap.fill_pixels(b, g, r, a);
    return bitmap;
}

trgb adjusted_reference(const std::uint8_t* p, int dh, int ds, int dv)
{
    const thsv hsv = rgb_to_hsv(p[red_byte], p[green_byte], p[blue_byte]);
    return hsv_to_rgb(std::clamp(hsv.hue + dh, 0, 360), std::clamp(hsv.saturation + ds, 0, 255),
                      std::clamp(hsv.value + dv, 0, 255));
}

constexpr tkernel_set every_kernel_set[] = {tkernel_set::avx512, tkernel_set::avx2, tkernel_set::portable};

// Each compiled variant of the loop against the integer routines on every
// colour: every (V, delta) and (delta, hue difference) the divisions see.
TEST(ColourAdjust, HsvAdjustOnEveryColour)
{
    Tfbitmap all(4096, 4096);
    for (std::int32_t y = 0; y < 4096; ++y)
        for (std::int32_t x = 0; x < 4096; ++x) {
            const std::uint32_t colour = std::uint32_t(y) * 4096 + std::uint32_t(x);
            std::uint8_t* p = all.pixel(x, y);
            p[0] = std::uint8_t(colour);
            p[1] = std::uint8_t(colour >> 8);
            p[2] = std::uint8_t(colour >> 16);
            p[3] = std::uint8_t(x * 7);
        }
    struct toffsets {
        int h, s, v;
    };
    for (const toffsets o : {toffsets{0, 0, 0}, toffsets{100, -30, 45}, toffsets{-180, 255, -17}}) {
        Tfbitmap expected(4096, 4096);
        for (std::int32_t y = 0; y < 4096; ++y)
            for (std::int32_t x = 0; x < 4096; ++x) {
                const trgb rgb = adjusted_reference(all.pixel(x, y), o.h, o.s, o.v);
                std::uint8_t* q = expected.pixel(x, y);
                q[red_byte] = rgb.red;
                q[green_byte] = rgb.green;
                q[blue_byte] = rgb.blue;
                q[alpha_byte] = all.pixel(x, y)[alpha_byte];
            }
        for (const tkernel_set set : every_kernel_set) {
            Tfbitmap out(4096, 4096);
            hsv_adjust(out, all, o.h, o.s, o.v, {}, set);
            for (std::int32_t y = 0; y < 4096; ++y)
                ASSERT_EQ(std::memcmp(out.row(y), expected.row(y), 4 * 4096), 0)
                    << "row " << y << " offsets " << o.h << ' ' << o.s << ' ' << o.v << " set " << int(set);
        }
    }
}

// Every (hue, saturation, value) the conversion back can meet: the 360 pure
// hues at full saturation and value, lowered by every pair of offsets. The
// row is not a multiple of the vector width, so the tail is checked too.
TEST(ColourAdjust, HsvAdjustReachesEveryTriple)
{
    Tfbitmap hues(360, 1);
    for (int c = 0; c < 6 * 256; ++c) {
        const int x = c % 256, sextant = c / 256;
        const int rgb[6][3] = {{255, x, 0}, {x, 255, 0}, {0, 255, x}, {0, x, 255}, {x, 0, 255}, {255, 0, x}};
        const auto [r, g, b] = rgb[sextant];
        const thsv hsv = rgb_to_hsv(r, g, b);
        if (hsv.hue < 360) {
            std::uint8_t* p = hues.pixel(hsv.hue, 0);
            p[red_byte] = std::uint8_t(r);
            p[green_byte] = std::uint8_t(g);
            p[blue_byte] = std::uint8_t(b);
            p[alpha_byte] = 255;
        }
    }
    for (std::int32_t h = 0; h < 360; ++h) {
        const std::uint8_t* p = hues.pixel(h, 0);
        ASSERT_EQ(rgb_to_hsv(p[red_byte], p[green_byte], p[blue_byte]), (thsv{h, 255, 255}));
    }
    Tfbitmap out(360, 1);
    for (const tkernel_set set : every_kernel_set)
        for (int ds = -255; ds <= 0; ++ds)
            for (int dv = -255; dv <= 0; ++dv) {
                hsv_adjust(out, hues, 0, ds, dv, {}, set);
                for (std::int32_t h = 0; h < 360; ++h) {
                    const trgb rgb = hsv_to_rgb(h, 255 + ds, 255 + dv);
                    const std::uint8_t* q = out.pixel(h, 0);
                    ASSERT_TRUE(q[red_byte] == rgb.red && q[green_byte] == rgb.green && q[blue_byte] == rgb.blue)
                        << "hue " << h << " saturation " << 255 + ds << " value " << 255 + dv << " set "
                        << int(set);
                }
            }
}

TEST(ColourAdjust, HueStrip)
{
    const Tfbitmap strip = hue_strip(180, -255, 0);
    EXPECT_EQ(strip.width(), 362);
    EXPECT_EQ(strip.height(), 15);
    EXPECT_EQ(strip.pixel(0, 3)[red_byte], 0);    // the black frame
    EXPECT_EQ(strip.pixel(120, 7)[green_byte], 0); // the black line between
    EXPECT_EQ(strip.pixel(120, 3)[green_byte], 255); // hue 120 is green
    EXPECT_EQ(strip.pixel(120, 3)[red_byte], 0);
    EXPECT_EQ(strip.pixel(120, 10)[red_byte], 255); // saturation 0: white
    EXPECT_EQ(strip.pixel(120, 10)[blue_byte], 255);
    const Tfbitmap turned = hue_strip(180, 0, 0);
    EXPECT_EQ(turned.pixel(120, 10)[red_byte], 255); // 120 + 180 = 300: magenta
    EXPECT_EQ(turned.pixel(120, 10)[green_byte], 0);
    EXPECT_EQ(turned.pixel(120, 10)[blue_byte], 255);
}

TEST(ColourAdjust, PixelCases)
{
    Tfbitmap magenta = one_pixel(255, 0, 255); // hue 300
    hsv_adjust(magenta, Tfbitmap(magenta), 180, 0, 0);
    EXPECT_EQ(magenta.pixel(0, 0)[red_byte], 255); // clamped at 360 = red, not wrapped to 120
    EXPECT_EQ(magenta.pixel(0, 0)[green_byte], 0);
    EXPECT_EQ(magenta.pixel(0, 0)[blue_byte], 0);

    Tfbitmap sums(766, 1); // every sum of three channels
    for (int sum = 0; sum < 766; ++sum) {
        std::uint8_t* p = sums.pixel(sum, 0);
        p[0] = std::uint8_t(std::min(sum, 255));
        p[1] = std::uint8_t(std::clamp(sum - 255, 0, 255));
        p[2] = std::uint8_t(std::max(sum - 510, 0));
        p[3] = 0;
    }
    desaturate(sums);
    for (int sum = 0; sum < 766; ++sum)
        ASSERT_EQ(sums.pixel(sum, 0)[1], round_half_even(sum / 3.0L)) << sum;

    Tfbitmap grey = one_pixel(10, 20, 31, 99);
    desaturate(grey);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(grey.pixel(0, 0)[k], 20); // round(61 / 3)
    EXPECT_EQ(grey.pixel(0, 0)[alpha_byte], 99);

    Tfbitmap shifted = one_pixel(250, 3, 100, 7);
    colour_balance(shifted, Tfbitmap(shifted), 10, -10, 0);
    EXPECT_EQ(shifted.pixel(0, 0)[red_byte], 255);
    EXPECT_EQ(shifted.pixel(0, 0)[green_byte], 0);
    EXPECT_EQ(shifted.pixel(0, 0)[blue_byte], 100);
    EXPECT_EQ(shifted.pixel(0, 0)[alpha_byte], 7);
}

TEST(ColourAdjust, InvertTwiceRestoresAndKeepsAlpha)
{
    const Tfbitmap original = random_bitmap(17, 5, 9);
    Tfbitmap bitmap = original;
    invert_colours(bitmap);
    EXPECT_EQ(bitmap.pixel(3, 2)[0], 255 - original.pixel(3, 2)[0]);
    EXPECT_EQ(bitmap.pixel(3, 2)[alpha_byte], original.pixel(3, 2)[alpha_byte]);
    invert_colours(bitmap);
    EXPECT_TRUE(same_pixels(bitmap, original));
}

TEST(ColourAdjust, RemoveGreyLevelsKeepsLightPixelsBesideDarkShapes)
{
    // Row 0: light, light, black; row 1: light, light, light. Tolerance 200.
    Tfbitmap source(3, 2);
    source.fill_pixels(230, 220, 210, 40);
    source.pixel(2, 0)[0] = source.pixel(2, 0)[1] = source.pixel(2, 0)[2] = 0;
    source.pixel(0, 1)[1] = 200; // not light: a channel equal to the tolerance
    Tfbitmap out = source;
    remove_grey(out, source, 200, true);
    EXPECT_EQ(out.pixel(0, 0)[0], 255); // only light neighbours (0, 1 is not dark either)
    EXPECT_EQ(out.pixel(1, 0)[0], 230); // next to the black pixel
    EXPECT_EQ(out.pixel(1, 1)[0], 230);
    EXPECT_EQ(out.pixel(0, 1)[1], 200);
    EXPECT_EQ(out.pixel(2, 0)[0], 0);
    remove_grey(out, source, 200, false);
    EXPECT_EQ(out.pixel(1, 0)[0], 255);
    EXPECT_EQ(out.pixel(0, 1)[1], 200);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(out.pixel(x, y)[alpha_byte], 255);
}

// Each adjustment against its formula applied pixel by pixel, with a
// selection partly off the layer and the layer away from the origin.
TEST(ColourAdjust, SelectionMixMatchesThePlainFormula)
{
    using tmap = std::function<trgb(trgb)>;
    using trun = std::function<void(Tfbitmap&, const Tfbitmap&, const tadjust_area&)>;
    const tlevel_table table = contrast_table(137, -20);
    const auto desaturated = [](trgb c) {
        const auto g = std::uint8_t(round_half_even((c.red + c.green + c.blue) / 3.0L));
        return trgb{g, g, g};
    };
    struct tcase {
        const char* name;
        trun run;
        tmap map;
        bool exact_mean; // desaturate mixes toward the unrounded mean
    };
    const tcase cases[] = {
        {"contrast", [](Tfbitmap& d, const Tfbitmap& s, const tadjust_area& a) { brightness_contrast(d, s, 137, -20, a); },
         [&](trgb c) { return trgb{table[c.red], table[c.green], table[c.blue]}; }, false},
        {"balance", [](Tfbitmap& d, const Tfbitmap& s, const tadjust_area& a) { colour_balance(d, s, 40, -70, 100, a); },
         [](trgb c) {
             return trgb{std::uint8_t(std::clamp(c.red + 40, 0, 255)), std::uint8_t(std::clamp(c.green - 70, 0, 255)),
                         std::uint8_t(std::clamp(c.blue + 100, 0, 255))};
         }, false},
        {"hsv", [](Tfbitmap& d, const Tfbitmap& s, const tadjust_area& a) { hsv_adjust(d, s, 100, -30, 45, a); },
         [](trgb c) {
             const thsv hsv = rgb_to_hsv(c.red, c.green, c.blue);
             return hsv_to_rgb(std::clamp(hsv.hue + 100, 0, 360), std::clamp(hsv.saturation - 30, 0, 255),
                               std::clamp(hsv.value + 45, 0, 255));
         }, false},
        {"invert", [](Tfbitmap& d, const Tfbitmap&, const tadjust_area& a) { invert_colours(d, a); },
         [](trgb c) { return trgb{std::uint8_t(255 - c.red), std::uint8_t(255 - c.green), std::uint8_t(255 - c.blue)}; },
         false},
        {"desaturate", [](Tfbitmap& d, const Tfbitmap&, const tadjust_area& a) { desaturate(d, a); }, desaturated, true},
    };
    const Tfbitmap source = random_bitmap(41, 30, 11); // odd: the last pixel goes alone
    const tselection selection = random_selection(-4, 9, 30, 40, 12);
    for (const tcase& c : cases) {
        for (const bool with_selection : {false, true}) {
            Tfbitmap out = source;
            const tadjust_area area{with_selection ? &selection : nullptr, 5, 3};
            c.run(out, source, area);
            for (std::int32_t y = 0; y < 30; ++y)
                for (std::int32_t x = 0; x < 41; ++x) {
                    const std::uint8_t* u = source.pixel(x, y);
                    const trgb before{u[red_byte], u[green_byte], u[blue_byte]};
                    const trgb mapped = c.map(before);
                    const int m = with_selection ? selection_coverage(selection, x + 5, y + 3) : 255;
                    const long double mean = (u[0] + u[1] + u[2]) / 3.0L;
                    const int want[3] = {mapped.blue, mapped.green, mapped.red};
                    for (int k = 0; k < 3; ++k) {
                        const long double goal = c.exact_mean && with_selection ? mean : want[k];
                        const auto expected =
                            m == 255 && !c.exact_mean ? want[k] : round_half_even((goal - u[k]) * (m / 255.0L) + u[k]);
                        ASSERT_EQ(out.pixel(x, y)[k], expected) << c.name << ' ' << x << ',' << y << " k" << k;
                    }
                    ASSERT_EQ(out.pixel(x, y)[alpha_byte], u[alpha_byte]);
                }
        }
    }
}

} // namespace
} // namespace velmora
