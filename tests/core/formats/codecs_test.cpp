#include "formats/load_picture.h"
#include "formats/picture_codecs.h"

#include "document/error.h"
#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "format_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

namespace velmora {
namespace {

using namespace velmora::test;
using bytes = std::vector<std::uint8_t>;

// ImageMagick's decoding of a fixture, written by make_codec_fixtures.sh as RGBA PAM.
Tfbitmap read_reference(const std::string& file)
{
    const bytes data = read_whole_file(file);
    const std::string text(data.begin(), data.end());
    const std::size_t end = text.find("ENDHDR\n");
    std::istringstream header(text.substr(0, end));
    std::string key;
    int w = 0, h = 0;
    while (header >> key) {
        if (key == "WIDTH")
            header >> w;
        else if (key == "HEIGHT")
            header >> h;
    }
    const std::uint8_t* s = data.data() + end + 7;
    Tfbitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, s += 4) {
            std::uint8_t* p = b.pixel(x, y);
            p[red_byte] = s[0], p[green_byte] = s[1], p[blue_byte] = s[2], p[alpha_byte] = s[3];
        }
    return b;
}

// Colours count only where the reference is not fully transparent.
::testing::AssertionResult same_picture(const Tfbitmap& got, const Tfbitmap& expected, int tolerance,
                                        int colour_from_alpha = 1)
{
    if (got.width() != expected.width() || got.height() != expected.height())
        return ::testing::AssertionFailure() << "size " << got.width() << "x" << got.height() << " expected "
                                             << expected.width() << "x" << expected.height();
    for (std::int32_t y = 0; y < got.height(); ++y)
        for (std::int32_t x = 0; x < got.width(); ++x) {
            const std::uint8_t* a = got.pixel(x, y);
            const std::uint8_t* b = expected.pixel(x, y);
            for (int c = b[alpha_byte] < colour_from_alpha ? 3 : 0; c < 4; ++c)
                if (std::abs(int(a[c]) - int(b[c])) > tolerance)
                    return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") byte " << c << ": "
                                                         << int(a[c]) << " expected " << int(b[c]);
        }
    return ::testing::AssertionSuccess();
}

struct tfixture {
    const char* name;
    int tolerance = 0;
    int colour_from_alpha = 1; // colours below this alpha are not compared
};

const tfixture fixtures[] = {
    {"codec_im_1bit.bmp"}, {"codec_im_4bit.bmp"}, {"codec_im_8bit.bmp"}, {"codec_im_rle8.bmp"},
    {"codec_im_16bit.bmp", 1}, // 5 and 6-bit fields widened by rounding {"codec_im_32bit_alpha.bmp"}, {"codec_im_os2.bmp"}, {"codec_pillow.bmp"},
    {"codec_pillow_p16.bmp"}, {"codec_im_palette.pcx"}, {"codec_im_mono.pcx"}, {"codec_im_24bit.pcx"},
    {"codec_pillow.pcx"}, {"codec_pillow_grey.pcx"}, {"codec_im_mapped.tga"}, {"codec_im_rle.tga"},
    {"codec_im_grey.tga"}, {"codec_im_alpha.tga"}, {"codec_pillow.tga"}, {"codec_pillow_rle_alpha.tga"},
    {"codec_im_rle.sgi"}, {"codec_im_16bit.sgi"}, {"codec_im_grey.bw"}, {"codec_pillow.sgi"},
    {"codec_pillow_rgba.sgi"}, {"codec_im_plain.pbm"}, {"codec_im_plain.pgm"}, {"codec_im_plain.ppm"},
    {"codec_im_raw.pbm"}, {"codec_im_raw.pgm"}, {"codec_im_16bit.ppm"}, {"codec_im_interlaced.gif"},
    {"codec_im_transparent.gif"}, {"codec_im_palette.png"}, {"codec_im_grey16.png", 1},
    {"codec_im_adam7_alpha.png"}, {"codec_im_baseline.jpg"}, {"codec_im_grey.jpg"},
    {"codec_im_cmyk.jpg", 2}, {"codec_pillow_progressive.jpg"}, {"codec_im_tiled_zip_alpha.tif", 2, 64}, // libtiff hands colours premultiplied
    {"codec_im_16bit_lzw.tif"},
};

Tfbitmap decode_fixture(const std::string& name)
{
    const bytes data = read_whole_file(data_file(name));
    const std::string ext = lower_extension(name);
    // PNG is compared before load_picture draws it onto white.
    return ext == ".png" ? decode_png(data) : decode_picture(data, ext);
}

TEST(PictureCodecs, FilesFromOtherWritersDecodeAsImageMagickDecodesThem)
{
    for (const tfixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(same_picture(decode_fixture(f.name), read_reference(data_file(std::string(f.name) + ".ref.pam")),
                                 f.tolerance, f.colour_from_alpha));
    }
}

TEST(PictureCodecs, DamagedFilesFailWithTheParseMessage)
{
    for (const tfixture& f : fixtures) {
        const bytes data = read_whole_file(data_file(f.name));
        const std::string ext = lower_extension(f.name);
        for (std::size_t n : {std::size_t(0), std::size_t(5), std::size_t(20), data.size() / 3, data.size() / 2,
                              data.size() - 1}) {
            if (n >= data.size())
                continue;
            bytes cut(data.begin(), data.begin() + std::ptrdiff_t(n));
            // Flip a byte of the header too: neither may crash or read out of bounds.
            for (bool flip : {false, true}) {
                if (flip && cut.size() > 12)
                    cut[cut.size() / 4] ^= 0x5A;
                try {
                    decode_picture(cut, ext);
                } catch (const velmora_error& e) {
                    EXPECT_EQ(e.key(), "@ch_could_not_parse_the_file") << f.name << " cut at " << n;
                }
            }
        }
    }
}

TEST(PictureCodecs, SizesBeyondTheLimitAreRefusedBeforeAllocating)
{
    // A BMP header promising 90000 x 90000 pixels of 24 bits, and nothing behind it.
    tbyte_writer bmp(false);
    bmp.text("BM");
    bmp.u32(54);
    bmp.u32(0);
    bmp.u32(54);
    bmp.u32(40);
    bmp.s32(90000);
    bmp.s32(90000);
    bmp.u16(1);
    bmp.u16(8);
    bmp.zeros(24);
    const bytes pnm = {'P', '6', ' ', '9', '0', '0', '0', '0', ' ', '9', '0', '0', '0', '0', ' ', '2', '5', '5', '\n'};
    for (const auto& [data, ext] : {std::pair{bmp.buffer(), ".bmp"}, std::pair{pnm, ".ppm"}}) {
        try {
            decode_picture(data, ext);
            ADD_FAILURE() << ext << " accepted";
        } catch (const velmora_error& e) {
            EXPECT_EQ(e.key(), "@ch_could_not_parse_the_file") << ext;
        }
    }
}

TEST(PictureCodecs, HandMadeLayoutsOtherWritersRarelyProduce)
{
    // Top-down 32-bit BMP with bit fields.
    tbyte_writer bmp(false);
    bmp.text("BM");
    bmp.u32(0);
    bmp.u32(0);
    bmp.u32(14 + 40 + 12);
    bmp.u32(40);
    bmp.s32(2);
    bmp.s32(-2);
    bmp.u16(1);
    bmp.u16(32);
    bmp.u32(3);
    bmp.zeros(20);
    bmp.u32(0x000000FF); // red in the low byte
    bmp.u32(0x0000FF00);
    bmp.u32(0x00FF0000);
    for (std::uint32_t v : {0x0000000Au, 0x00000014u, 0x001E0000u, 0x00002800u})
        bmp.u32(v);
    const Tfbitmap b = decode_picture(bmp.buffer(), ".bmp");
    EXPECT_EQ(b.pixel(0, 0)[red_byte], 10);
    EXPECT_EQ(b.pixel(1, 0)[red_byte], 20);
    EXPECT_EQ(b.pixel(0, 1)[blue_byte], 30);
    EXPECT_EQ(b.pixel(1, 1)[green_byte], 40);

    // Animator CEL: 0x9119 header, 6-bit palette.
    tbyte_writer cel(false);
    cel.u16(0x9119);
    cel.u16(2);
    cel.u16(1);
    cel.zeros(4);
    cel.u8(8);
    cel.u8(0);
    cel.zeros(32 - 12);
    bytes palette(768, 0);
    palette[3] = 63, palette[4] = 21, palette[5] = 0;
    cel.bytes(palette);
    cel.u8(0);
    cel.u8(1);
    const Tfbitmap c = decode_picture(cel.buffer(), ".cel");
    EXPECT_EQ(c.pixel(1, 0)[red_byte], 255);
    EXPECT_EQ(c.pixel(1, 0)[green_byte], 85);
    EXPECT_EQ(c.pixel(0, 0)[red_byte], 0);

    // A 16-bit greymap with maximum 1000: samples scaled to 8 bits and rounded.
    const std::string pgm = std::string("P5 2 1 1000\n") + char(0x01) + char(0xF4) + char(0x03) + char(0xE8);
    const Tfbitmap g = decode_picture(bytes(pgm.begin(), pgm.end()), ".pgm");
    EXPECT_EQ(g.pixel(0, 0)[red_byte], 128); // 500 * 255 / 1000 = 127.5, to even
    EXPECT_EQ(g.pixel(1, 0)[red_byte], 255);
}

TEST(LoadPicture, DispatchByLowerCasedExtension)
{
    scratch_folder folder;
    const auto copy = [&](const std::string& from, const std::string& to) {
        std::filesystem::copy_file(data_file(from), folder.file(to));
        return folder.file(to);
    };
    // Upper-case extension, PNG drawn onto white.
    const Tfbitmap png = load_picture(copy("codec_im_adam7_alpha.png", "A.PNG"));
    const Tfbitmap ref = read_reference(data_file("codec_im_adam7_alpha.png.ref.pam"));
    for (std::int32_t x = 0; x < png.width(); ++x) {
        const std::uint8_t* p = png.pixel(x, 0);
        const std::uint8_t* r = ref.pixel(x, 0);
        EXPECT_EQ(p[alpha_byte], 255);
        EXPECT_EQ(p[red_byte], (r[red_byte] * r[alpha_byte] + 255 * (255 - r[alpha_byte]) + 127) / 255);
    }
    // Extensions of the general reader read by content of their family.
    EXPECT_EQ(load_picture(copy("codec_im_rle.tga", "b.vda")).width(), 7);
    EXPECT_EQ(load_picture(copy("codec_im_rle.sgi", "c.rgb")).width(), 7);

    const auto fails_with = [](const std::string& file, const std::string& key) {
        try {
            load_picture(file);
            ADD_FAILURE() << file << " read";
        } catch (const velmora_error& e) {
            EXPECT_EQ(e.key(), key) << file;
        }
    };
    fails_with(copy("codec_im_rle.tga", "d.xyz"), "@ch_error_file_format_unknown");
    fails_with(copy("codec_im_rle.tga", "e.psp"), "@ch_could_not_parse_the_file");
    fails_with(copy("codec_im_rle.tga", "f.jpg"), "@ch_could_not_parse_the_file");
    fails_with(folder.file("missing.png"), "@ch_file_unavailable");
}

TEST(LoadPicture, TiffRefusedByTheGeneralReaderGoesToOurOwn)
{
    // An uncompressed strip whose byte count understates it: libtiff stops, our reader reads the rows.
    tbyte_writer t(false);
    t.text("II");
    t.u16(42);
    t.u32(8);
    const std::uint16_t tags[][4] = {{256, 3, 1, 2}, {257, 3, 1, 2}, {258, 3, 1, 8}, {259, 3, 1, 1},
                                     {262, 3, 1, 1}, {273, 4, 1, 0}, {279, 4, 1, 1}};
    t.u16(7);
    for (const auto& e : tags) {
        t.u16(e[0]);
        t.u16(e[1]);
        t.u32(e[2]);
        if (e[0] == 273)
            t.u32(8 + 2 + 7 * 12 + 4);
        else
            t.u32(e[3]);
    }
    t.u32(0);
    t.bytes(bytes{11, 22, 33, 44});
    scratch_folder folder;
    const std::string file = folder.file("short.tif");
    write_file_atomically(file, t.buffer());
    const Tfbitmap p = load_picture(file);
    EXPECT_EQ(p.pixel(1, 1)[red_byte], 44);
}

TEST(PictureCodecs, PhotoCdBaseImageLayoutAndOrientation)
{
    // Base image at 0x30000: per pair of rows two luma rows, then 384 C1 and 384 C2 samples.
    bytes pcd(0x30000 + 768 * 512 * 3 / 2, 0);
    std::memcpy(pcd.data() + 0x800, "PCD_IPI", 7);
    for (std::size_t pair = 0; pair < 256; ++pair) {
        std::uint8_t* p = pcd.data() + 0x30000 + pair * 768 * 3;
        std::memset(p, 100, 2 * 768);
        std::memset(p + 2 * 768, 156, 384); // neutral chroma
        std::memset(p + 2 * 768 + 384, 137, 384);
    }
    pcd[0x30000 + 2 * 768 + 384 + 383] = 187; // C2 of the last two columns of rows 0 and 1: redder
    Tfbitmap p = decode_picture(pcd, ".pcd");
    ASSERT_EQ(p.width(), 768);
    EXPECT_EQ(p.pixel(0, 0)[red_byte], 136); // 1.3584 * 100, rounded
    EXPECT_EQ(p.pixel(0, 0)[blue_byte], 136);
    EXPECT_EQ(p.pixel(767, 1)[red_byte], 227); // 135.84 + 1.8215 * 50
    EXPECT_EQ(p.pixel(767, 1)[green_byte], 89); // 135.84 - 0.509 * 91.075
    pcd[0xE02] = 1; // scanned a quarter turn round: shown upright
    p = decode_picture(pcd, ".pcd");
    ASSERT_EQ(p.width(), 512);
    ASSERT_EQ(p.height(), 768);
    EXPECT_EQ(p.pixel(1, 0)[red_byte], 227);
}

} // namespace
} // namespace velmora
