#include "selection/resample.h"

#include "document/rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace velmora {
namespace {

Tfbitmap random_bitmap(std::int32_t w, std::int32_t h, std::uint32_t seed)
{
    std::mt19937 random(seed);
    Tfbitmap b(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                b.pixel(x, y)[c] = std::uint8_t(random());
    return b;
}

// The passes written out pixel by pixel, column by column, as plainly as the
// rules read.
Tfbitmap reference_resample(const Tfbitmap& src, std::int32_t w2, std::int32_t h2, tresample_filter filter)
{
    const float s = resample_filter_info(filter).support;
    const auto pass = [&](std::int32_t size, std::int32_t size2, auto&& sample, auto&& store, std::int32_t lines) {
        const float scale = float(size2) / float(size);
        for (std::int32_t i = 0; i < size2; ++i) {
            const float centre = float(i) / scale;
            const float reach = scale >= 1 ? s : s / scale, f = scale >= 1 ? 1.0f : 1.0f / scale;
            for (std::int32_t line = 0; line < lines; ++line) {
                float sum[4] = {};
                for (auto j = std::int32_t(std::floor(centre - reach)); j <= std::int32_t(std::ceil(centre + reach)); ++j) {
                    const float weight = scale >= 1 ? resample_kernel(filter, centre - float(j))
                                                    : resample_kernel(filter, (centre - float(j)) / f) / f;
                    if (weight == 0)
                        continue;
                    // Mirrored at the edges; a window wider than the source
                    // reflects once more and is then held inside.
                    std::int32_t m = j < 0 ? -j : j;
                    m = m >= size ? 2 * size - 1 - m : m;
                    m = std::clamp(m, 0, size - 1);
                    for (int c = 0; c < 4; ++c)
                        sum[c] += weight * float(sample(m, line)[c]);
                }
                for (int c = 0; c < 4; ++c)
                    store(i, line)[c] = sum[c] > 255 ? 255 : sum[c] < 0 ? 0 : std::uint8_t(round_half_even(sum[c]));
            }
        }
    };
    Tfbitmap work(w2, src.height()), dst(w2, h2);
    pass(src.width(), w2, [&](std::int32_t x, std::int32_t y) { return src.pixel(x, y); },
         [&](std::int32_t x, std::int32_t y) { return work.pixel(x, y); }, src.height());
    pass(src.height(), h2, [&](std::int32_t y, std::int32_t x) { return work.pixel(x, y); },
         [&](std::int32_t y, std::int32_t x) { return dst.pixel(x, y); }, w2);
    return dst;
}

TEST(Resample, MatchesTheRulesForEveryFilterUpAndDown)
{
    const Tfbitmap src = random_bitmap(17, 11, 5);
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{40, 30}, {5, 4}, {17, 11}, {1, 1}, {33, 3}};
    for (int f = 0; f < 7; ++f)
        for (auto [w2, h2] : sizes) {
            Tfbitmap dst(w2, h2);
            resample(src, dst, tresample_filter(f));
            const Tfbitmap expected = reference_resample(src, w2, h2, tresample_filter(f));
            ASSERT_EQ(std::memcmp(dst.bits(), expected.bits(), dst.byte_size()), 0)
                << resample_filter_info(tresample_filter(f)).name << " to " << w2 << " x " << h2;
        }
}

TEST(Resample, EdgeCases)
{
    // One pixel to 3 x 3 with Triangle: nine copies (the edges mirror back onto it).
    Tfbitmap one(1, 1);
    one.fill_pixels(10, 20, 30, 40);
    Tfbitmap nine(3, 3);
    resample(one, nine, tresample_filter::triangle);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(std::memcmp(nine.pixel(x, y), one.pixel(0, 0), 4), 0) << x << "," << y;

    // Same size with Box copies.
    const Tfbitmap src = random_bitmap(9, 7, 1);
    Tfbitmap same(9, 7);
    resample(src, same, tresample_filter::box);
    EXPECT_EQ(std::memcmp(same.bits(), src.bits(), src.byte_size()), 0);

    // Wide kernels on tiny sources stay inside the raster.
    for (int f = 0; f < 7; ++f) {
        Tfbitmap wide(50, 2);
        resample(one, wide, tresample_filter(f));
    }

    // Zero sizes: nothing read or written outside the rasters.
    Tfbitmap empty_destination;
    resample(src, empty_destination, tresample_filter::lanczos3);
    Tfbitmap from_nothing(3, 2);
    resample(Tfbitmap(), from_nothing, tresample_filter::mitchell);
    EXPECT_EQ(from_nothing.pixel(2, 1)[alpha_byte], 0);
}

TEST(Resample, TwentyFourBitsDropsAlpha)
{
    Tfbitmap src = random_bitmap(8, 8, 2);
    Tfbitmap dst(4, 4);
    resample_24(src, dst, tresample_filter::mitchell);
    EXPECT_EQ(src.pixel(3, 3)[alpha_byte], 255);
    EXPECT_EQ(dst.pixel(1, 2)[alpha_byte], 255);
    Tfbitmap with_alpha(4, 4);
    resample(src, with_alpha, tresample_filter::mitchell);
    EXPECT_EQ(std::memcmp(with_alpha.pixel(1, 2), dst.pixel(1, 2), 3), 0);
}

TEST(Resample, FilterNames)
{
    tresample_filter filter{};
    ASSERT_TRUE(find_resample_filter("Lanczos3", &filter));
    EXPECT_EQ(filter, tresample_filter::lanczos3);
    EXPECT_FLOAT_EQ(resample_filter_info(tresample_filter::bell).support, 1.5f);
    EXPECT_EQ(find_resample_filter("Cubic", nullptr), nullptr);
    EXPECT_FLOAT_EQ(resample_kernel(tresample_filter::mitchell, 0), 16.0f / 3 / 6);
    EXPECT_EQ(resample_kernel(tresample_filter::box, -0.5f), 0.0f);
    EXPECT_EQ(resample_kernel(tresample_filter::box, 0.5f), 1.0f);
}

} // namespace
} // namespace velmora
