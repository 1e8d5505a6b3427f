#include "document/error.h"
#include "document/rounding.h"
#include "document/tfbitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace velmora {
namespace {

TEST(Rounding, HalvesGoToTheEvenNeighbour)
{
    const struct {
        long double value;
        std::int64_t expected;
    } cases[] = {{2.5L, 2}, {3.5L, 4}, {0.5L, 0}, {1.5L, 2}, {-0.5L, 0}, {-1.5L, -2}, {-2.5L, -2},
                 {2.4999L, 2}, {2.5001L, 3}, {-2.6L, -3}, {254.5L, 254}, {255.5L, 256}};
    for (const auto& c : cases)
        EXPECT_EQ(round_half_even(c.value), c.expected) << double(c.value);
}

TEST(Colour, SplitAndBuild)
{
    const trgb c = split_color(13656392); // the default foreground
    EXPECT_EQ(c, (trgb{0x48, 0x61, 0xD0}));
    EXPECT_EQ(make_color(0x48, 0x61, 0xD0), 13656392u);
    EXPECT_EQ(palette_rgb(1, 2, 3), 0x02030201u);
}

TEST(Tfbitmap, RowTableFollowsEverySizeChange)
{
    Tfbitmap b(3, 2);
    EXPECT_EQ(b.row(1), b.row(0) + 12);
    b.set_height(5);
    EXPECT_EQ(b.row(4), b.row(0) + 48);
    b.set_size(0, 0);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.bits(), nullptr);

    // No columns but rows: every row loop still works, and so does a BMP round trip.
    Tfbitmap thin(0, 3);
    make_opaque(thin);
    thin.fill(0);
    EXPECT_EQ(load_bmp(save_bmp(thin, bmp_depth::bits32)).height(), 3);
}

TEST(Tfbitmap, CopyIsDeepAndMoveEmptiesTheSource)
{
    Tfbitmap a(2, 2);
    a.fill_pixels(1, 2, 3, 4);
    Tfbitmap b = a;
    b.pixel(1, 1)[0] = 99;
    EXPECT_EQ(a.pixel(1, 1)[0], 1);
    Tfbitmap c = std::move(b);
    EXPECT_EQ(c.pixel(1, 1)[0], 99);
    EXPECT_TRUE(b.empty());
}

TEST(Colour, GreyIsTheRoundedMeanOfTheChannels)
{
    for (int sum = 0; sum <= 765; ++sum) {
        const auto red = std::uint8_t(std::min(sum, 255));
        const auto green = std::uint8_t(std::min(sum - red, 255));
        const auto blue = std::uint8_t(sum - red - green);
        const auto k = std::uint8_t(round_half_even((long double)sum / 3));
        ASSERT_EQ(grey_colour(make_color(red, green, blue)), make_color(k, k, k)) << sum;
    }
    EXPECT_EQ(grey_colour(make_color(255, 0, 0)), make_color(85, 85, 85));
}

TEST(Tfbitmap, FillWritesColourOnlyAndOpacityHelpersWriteAlphaOnly)
{
    Tfbitmap b(3, 2);
    b.fill_pixels(0, 0, 0, 7);
    b.fill_rect({1, 0, 3, 1}, make_color(10, 20, 30));
    const std::uint8_t expected_filled[4] = {30, 20, 10, 7};
    EXPECT_EQ(std::memcmp(b.pixel(2, 0), expected_filled, 4), 0);
    EXPECT_EQ(b.pixel(0, 0)[red_byte], 0);
    make_opaque(b);
    EXPECT_EQ(b.pixel(2, 1)[alpha_byte], 255);
    EXPECT_EQ(b.pixel(2, 0)[red_byte], 10);
    make_transparent(b);
    EXPECT_EQ(b.pixel(0, 1)[alpha_byte], 0);

    Tfbitmap one(1, 1);
    one.fill_pixels(1, 2, 3, 4);
    make_opaque(one);
    const std::uint8_t expected_one[4] = {1, 2, 3, 255};
    EXPECT_EQ(std::memcmp(one.pixel(0, 0), expected_one, 4), 0);
    Tfbitmap nothing;
    make_opaque(nothing);
}

TEST(Tfbitmap, HostileSizesAreRefused)
{
    const std::int64_t big = std::numeric_limits<std::int32_t>::max();
    const std::pair<std::int64_t, std::int64_t> sizes[] = {
        {-1, 5}, {5, -1}, {big, 1}, {1, big}, {70000, 70000}, {max_raster_side + 1, 1}};
    for (auto [w, h] : sizes)
        EXPECT_THROW(check_raster_size(w, h), velmora_error) << w << " x " << h;
    EXPECT_THROW(Tfbitmap(-3, 4), velmora_error);
    EXPECT_NO_THROW(check_raster_size(0, 0));
}

Tfbitmap gradient(std::int32_t w, std::int32_t h)
{
    Tfbitmap b(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            std::uint8_t* p = b.pixel(x, y);
            p[0] = std::uint8_t(x * 40);
            p[1] = std::uint8_t(y * 70);
            p[2] = std::uint8_t(x + y);
            p[3] = std::uint8_t(200 - x);
        }
    return b;
}

TEST(Bmp, ThirtyTwoBitRoundTripKeepsEveryByte)
{
    const Tfbitmap b = gradient(3, 2);
    const Tfbitmap back = load_bmp(save_bmp(b, bmp_depth::bits32));
    ASSERT_EQ(back.width(), 3);
    ASSERT_EQ(back.height(), 2);
    EXPECT_EQ(std::memcmp(back.bits(), b.bits(), b.byte_size()), 0);
}

TEST(Bmp, TwentyFourBitStreamHasThePublishedLayout)
{
    const Tfbitmap b = gradient(3, 2);
    const std::vector<std::uint8_t> bytes = save_bmp(b, bmp_depth::bits24);
    // Rows of 9 bytes padded to 12, bottom row first.
    ASSERT_EQ(bytes.size(), 54u + 2 * 12);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(std::memcmp(&bytes[54], b.pixel(0, 1), 3), 0);
    EXPECT_EQ(std::memcmp(&bytes[54 + 12], b.pixel(0, 0), 3), 0);
    const Tfbitmap back = load_bmp(bytes);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(std::memcmp(back.pixel(x, y), b.pixel(x, y), 3), 0);
            EXPECT_EQ(back.pixel(x, y)[alpha_byte], 255);
        }
}

TEST(Bmp, DamagedStreamsFailCleanly)
{
    const std::vector<std::uint8_t> good = save_bmp(gradient(3, 2), bmp_depth::bits24);
    auto with = [&](std::size_t offset, std::uint32_t value) {
        std::vector<std::uint8_t> bad = good;
        std::memcpy(&bad[offset], &value, 4);
        return bad;
    };
    const std::vector<std::vector<std::uint8_t>> damaged = {
        {},
        std::vector<std::uint8_t>(good.begin(), good.end() - 1), // truncated pixels
        std::vector<std::uint8_t>(good.begin(), good.begin() + 30),
        with(18, 0x7FFFFFFF),        // width
        with(22, 0x80000000),        // height INT32_MIN
        with(18, 100000),            // claims more rows than present
        with(10, 0xFFFFFFF0),        // pixel offset beyond the stream
        with(14, 0xFFFFFFFF),        // header size
        with(30, 1),                 // RLE8 compression
    };
    for (std::size_t i = 0; i < damaged.size(); ++i)
        EXPECT_THROW(load_bmp(damaged[i]), velmora_error) << "case " << i;
}

} // namespace
} // namespace velmora
