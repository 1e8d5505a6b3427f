#include "formats/output_formats.h"

#include "formats/file_io.h"
#include "formats/picture_codecs.h"
#include "format_test_support.h"

#include <gtest/gtest.h>

#include <set>

namespace velmora {
namespace {

using namespace velmora::test;
using bytes = std::vector<std::uint8_t>;

std::size_t colour_count(const Tfbitmap& b)
{
    std::set<std::uint32_t> seen;
    for (std::int32_t y = 0; y < b.height(); ++y)
        for (std::int32_t x = 0; x < b.width(); ++x) {
            const std::uint8_t* p = b.pixel(x, y);
            seen.insert(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16);
        }
    return seen.size();
}

double mean_error(const Tfbitmap& a, const Tfbitmap& b)
{
    double sum = 0;
    for (std::int32_t y = 0; y < a.height(); ++y)
        for (std::int32_t x = 0; x < a.width(); ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(a.pixel(x, y)[c]) - int(b.pixel(x, y)[c]));
    return sum / (3.0 * a.width() * a.height());
}

// A smooth picture, as photographs are, with a few hundred distinct colours.
Tfbitmap gradient(std::int32_t w, std::int32_t h)
{
    Tfbitmap b(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            std::uint8_t* p = b.pixel(x, y);
            p[red_byte] = std::uint8_t(x * 255 / (w - 1));
            p[green_byte] = std::uint8_t(y * 255 / (h - 1));
            p[blue_byte] = std::uint8_t((x + y) * 255 / (w + h - 2));
            p[alpha_byte] = 255;
        }
    return b;
}

Tfbitmap few_colours(std::int32_t w, std::int32_t h, int count)
{
    Tfbitmap b(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const int i = (x + y * w) % count;
            std::uint8_t* p = b.pixel(x, y);
            p[red_byte] = std::uint8_t(i % 256), p[green_byte] = std::uint8_t(i / 256 * 100), p[blue_byte] = std::uint8_t(i * 13);
            p[alpha_byte] = 255;
        }
    return b;
}

TEST(Encoders, RoundTripThroughOurDecoders)
{
    const Tfbitmap photo = gradient(64, 48);
    const Tfbitmap exact = few_colours(33, 17, 200);
    struct tcase {
        const char* what;
        Tfbitmap picture;
        bytes file;
        Tfbitmap (*decode)(std::span<const std::uint8_t>);
        double max_mean_error;
        std::size_t max_colours;
    };
    const auto png = [](std::span<const std::uint8_t> d) { return decode_png(d); };
    const auto gif = [](std::span<const std::uint8_t> d) { return decode_gif(d); };
    const auto jpeg = [](std::span<const std::uint8_t> d) { return decode_jpeg(d); };
    const tcase cases[] = {
        {"png true colour", photo, build_png(photo, {true, false, false, 0}), png, 0, 1u << 24},
        {"png exact palette", exact, build_png(exact, {false, false, true, 3}), png, 0, 200},
        {"png 256 nearest", photo, build_png(photo, {false, true, false, 0}), png, 4, 256},
        {"png 256 burkes", photo, build_png(photo, {false, true, false, 6}), png, 4, 256},
        {"gif optimal", exact, encode_gif(exact, apply_gif_settings({})), gif, 0, 200},
        {"gif 8 colours sierra", photo, encode_gif(photo, apply_gif_settings({false, true, 1, 3, 0})), gif, 30, 8},
        {"jpeg 90", photo, encode_jpeg(photo, {90, false, true}), jpeg, 2, 1u << 24},
        {"jpeg 90 progressive", photo, encode_jpeg(photo, {90, true, true}), jpeg, 2, 1u << 24},
    };
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.what);
        const Tfbitmap back = c.decode(c.file);
        ASSERT_EQ(back.width(), c.picture.width());
        EXPECT_LE(mean_error(back, c.picture), c.max_mean_error);
        EXPECT_LE(colour_count(back), c.max_colours);
    }
    // Progressive files really are progressive (SOF2), baseline ones are not.
    const bytes progressive = encode_jpeg(photo, {90, true, true});
    const auto has_marker = [](const bytes& f, std::uint8_t marker) {
        for (std::size_t i = 0; i + 1 < f.size(); ++i)
            if (f[i] == 0xFF && f[i + 1] == marker)
                return true;
        return false;
    };
    EXPECT_TRUE(has_marker(progressive, 0xC2));
    EXPECT_FALSE(has_marker(encode_jpeg(photo, {90, false, true}), 0xC2));
    // The exact palette is written as a palette (colour type 3) of exactly its colours.
    const bytes exact_png = build_png(exact, {false, false, true, 0});
    EXPECT_EQ(exact_png[25], 3);
}

TEST(Encoders, PngSettingsFollowTheColourCount)
{
    const tpng_settings stored{true, false, false, 4};
    EXPECT_EQ(settle_png_settings(few_colours(20, 20, 200), stored), (tpng_settings{false, false, true, 4}));
    EXPECT_EQ(settle_png_settings(few_colours(20, 20, 300), {false, false, true, 4}),
              (tpng_settings{true, false, false, 4}));
    EXPECT_EQ(settle_png_settings(few_colours(20, 20, 300), {false, true, false, 2}),
              (tpng_settings{false, true, false, 2}));
}

TEST(Encoders, GifSettingsChoosePaletteSizeAndDither)
{
    const struct {
        tgif_settings settings;
        int colours;
        bool black_and_white;
    } cases[] = {
        {{true, false, 3, 0, 0}, 256, false}, {{false, true, 0, 1, 0}, 2, true},
        {{false, true, 1, 1, 0}, 8, false},   {{false, true, 6, 1, 0}, 256, false},
    };
    for (const auto& c : cases) {
        const tgif_encoding e = apply_gif_settings(c.settings);
        EXPECT_EQ(e.colours, c.colours);
        EXPECT_EQ(e.black_and_white, c.black_and_white);
    }
    EXPECT_EQ(apply_gif_settings({false, true, 0, 4, 1}).dither, dither_mode::jarvis);
    EXPECT_TRUE(apply_gif_settings({false, true, 0, 4, 1}).lzw);
    // nb_colors 0 writes black and white only.
    const Tfbitmap back = decode_gif(encode_gif(gradient(40, 30), apply_gif_settings({false, true, 0, 1, 0})));
    for (std::int32_t y = 0; y < back.height(); ++y)
        for (std::int32_t x = 0; x < back.width(); ++x) {
            const int v = back.pixel(x, y)[red_byte];
            ASSERT_TRUE(v == 0 || v == 255);
            EXPECT_EQ(back.pixel(x, y)[green_byte], v);
        }
}

TEST(ColourReduction, ErrorDiffusionKeepsTheMeanLevel)
{
    // A flat 30 % grey reduced to black and white: every diffusion kernel must come out
    // about 30 % white; nearest matching makes it all black.
    Tfbitmap grey(60, 60);
    grey.fill_pixels(77, 77, 77, 255);
    for (int mode = 0; mode < dither_mode_count; ++mode) {
        SCOPED_TRACE(mode);
        const tpalette_picture p = map_to_palette(grey, {{0, 0, 0}, {255, 255, 255}}, dither_from_index(mode));
        double white = 0;
        for (std::uint8_t i : p.indexes)
            white += i;
        white /= double(p.indexes.size());
        if (mode == 0)
            EXPECT_EQ(white, 0.0);
        else
            EXPECT_NEAR(white, 77.0 / 255, 0.02);
    }
}

TEST(ColourReduction, OptimalPaletteSizeAndExactColours)
{
    const Tfbitmap photo = gradient(80, 60);
    for (std::size_t n : {2u, 8u, 64u, 256u}) {
        const auto palette = optimal_palette(photo, n);
        EXPECT_LE(palette.size(), n);
        EXPECT_GE(palette.size(), n / 2);
    }
    const Tfbitmap exact = few_colours(10, 10, 5);
    EXPECT_EQ(optimal_palette(exact, 256).size(), 5u);
    EXPECT_FALSE(list_colours(few_colours(30, 30, 257), 256).has_value());
}

TEST(Encoders, TransparentExportsTakeTheirKeyFromTheRightCorner)
{
    Tfbitmap picture = few_colours(6, 4, 7);
    picture.fill_rect({0, 3, 6, 4}, make_color(10, 20, 30)); // bottom row: the GIF key
    picture.pixel(3, 0)[red_byte] = 10, picture.pixel(3, 0)[green_byte] = 20, picture.pixel(3, 0)[blue_byte] = 30;
    const Tfbitmap gif = decode_gif(build_transparent_gif(picture));
    EXPECT_EQ(gif.pixel(0, 3)[alpha_byte], 0);
    EXPECT_EQ(gif.pixel(3, 0)[alpha_byte], 0);
    EXPECT_EQ(gif.pixel(1, 0)[alpha_byte], 255);
    EXPECT_EQ(build_transparent_gif(picture)[4], '9'); // GIF89a

    const Tfbitmap png = decode_png(build_transparent_png(picture));
    const std::uint8_t* key = picture.pixel(0, 0);
    for (std::int32_t y = 0; y < picture.height(); ++y)
        for (std::int32_t x = 0; x < picture.width(); ++x) {
            const bool is_key = std::equal(key, key + 3, picture.pixel(x, y));
            EXPECT_EQ(png.pixel(x, y)[alpha_byte], is_key ? 0 : 255);
        }
}

TEST(Encoders, FilesOpenInOtherPrograms)
{
    if (!have_program(imagemagick))
        GTEST_SKIP() << "ImageMagick not installed";
    scratch_folder folder;
    const Tfbitmap photo = gradient(64, 48);
    Tfbitmap icon_source = few_colours(300, 200, 50);
    icon_source.fill_rect({0, 150, 300, 200}, make_color(1, 2, 3));
    const struct {
        const char* name;
        bytes file;
    } files[] = {
        {"a.png", build_png(photo, {})},
        {"b.gif", encode_gif(photo, apply_gif_settings({}))},
        {"c.jpg", encode_jpeg(photo, {90, true, true})},
        {"d.ico", build_icon(icon_source)},
    };
    for (const auto& f : files) {
        write_file_atomically(folder.file(f.name), f.file);
        const std::string info = run_command(std::string(imagemagick) + " '" + folder.file(f.name) +
                                             "' -format '%w %h %[pixel:p{0,0}]' info: 2>&1");
        const std::string expected_size = std::string(f.name) == "d.ico" ? "256 171 " : "64 48 ";
        EXPECT_EQ(info.substr(0, expected_size.size()), expected_size) << f.name << ": " << info;
    }
    // The icon's bottom band is transparent.
    const std::string alpha = run_command(std::string(imagemagick) + " '" + folder.file("d.ico") +
                                          "' -format '%[fx:p{10,170}.a] %[fx:p{10,10}.a]' info:");
    EXPECT_EQ(alpha, "0 1");
}

} // namespace
} // namespace velmora
