#include "formats/gfx_pcx.h"
#include "formats/gfx_tga.h"
#include "formats/gfx_tiff.h"

#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "formats/picture_codecs.h"
#include "format_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>


namespace velmora {
namespace {

using namespace velmora::test;
using bytes = std::vector<std::uint8_t>;

// The P6 references ImageMagick made beside each fixture.
Tfbitmap read_reference_ppm(const std::string& file)
{
    return decode_pnm(read_whole_file(file));
}

// TIFF LZW codes of 9 bits, most significant bit first.
bytes pack_codes(std::initializer_list<std::uint32_t> codes)
{
    bytes out;
    std::uint64_t acc = 0;
    int bits = 0;
    for (std::uint32_t code : codes) {
        acc = acc << 9 | code;
        bits += 9;
        while (bits >= 8) {
            out.push_back(std::uint8_t(acc >> (bits - 8)));
            bits -= 8;
        }
    }
    out.push_back(std::uint8_t(acc << (8 - bits)));
    return out;
}

TEST(TiffWriter, LayoutOfAOnePixelPicture)
{
    Tfbitmap one = solid_bitmap(1, 1, 3, 2, 1);
    const bytes file = build_tiff(one);
    ASSERT_EQ(file.size(), 231u);
    tbyte_reader in(file, "x", false);
    EXPECT_EQ(in.tag4().substr(0, 2), "II");
    in.seek(2);
    EXPECT_EQ(in.u16(), 42);
    EXPECT_EQ(in.u32(), 45u); // odd, right after the pixels
    EXPECT_EQ(in.u32(), 877u);
    EXPECT_EQ(in.u32(), 10u);
    in.seek(30);
    EXPECT_EQ(std::string(file.begin() + 30, file.begin() + 42), std::string("QUORANTEL  \0", 12));
    EXPECT_EQ(file[42], 1); // R, G, B
    EXPECT_EQ(file[44], 3);
    in.seek(45);
    EXPECT_EQ(in.u16(), 15);
    const std::uint16_t tags[] = {254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282, 283, 284, 296, 305};
    for (std::uint16_t tag : tags) {
        EXPECT_EQ(in.u16(), tag);
        in.skip(10);
    }
    EXPECT_EQ(in.u32(), 0u);
    // An odd number of pixels gets no padding before the directory.
    const bytes odd = build_tiff(random_bitmap(3, 1, 1));
    EXPECT_EQ(odd[4], 42 + 9);
}

TEST(TiffWriter, RoundTripsAndOpensInLibtiffReaders)
{
    const Tfbitmap picture = random_bitmap(7, 5, 3);
    scratch_folder folder;
    const std::string file = folder.file("p.tif");
    write_tiff(picture, file);
    EXPECT_TRUE(same_pixels(read_tiff(file), picture, false));
    if (have_program(imagemagick)) {
        EXPECT_EQ(run_command(std::string(imagemagick) + " '" + file + "' -depth 8 rgb:- 2>&1"), rgb_bytes(picture));
    }
    if (have_pillow()) {
        EXPECT_EQ(run_command(std::string(system_python) + " -c \"import sys; from PIL import Image; "
                              "sys.stdout.buffer.write(Image.open('" + file + "').convert('RGB').tobytes())\""),
                  rgb_bytes(picture));
    }
}

TEST(TiffReader, FilesFromImageMagick)
{
    const struct {
        const char* name;
        int tolerance;
    } cases[] = {
        {"tiff_lzw_le", 0},    {"tiff_lzw_be", 0},  {"tiff_packbits", 0}, {"tiff_lzw_predictor", 0},
        {"tiff_strips_be", 0}, {"tiff_palette8", 1}, // colour map entries: high bytes
        {"tiff_grey16", 1},  {"tiff_bilevel", 0},
        {"tiff_cmyk", 1},
        {"tiff_grey4", 15}, // our 4-bit greys are i * 16, ImageMagick's i * 17
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Tfbitmap reference = read_reference_ppm(data_file(std::string(c.name) + ".ppm"));
        const Tfbitmap got = read_tiff(data_file(std::string(c.name) + ".tif"));
        EXPECT_TRUE(same_pixels(got, reference, true, c.tolerance));
        // The general reader (libtiff) reads the same files.
        EXPECT_TRUE(same_pixels(decode_tiff(read_whole_file(data_file(std::string(c.name) + ".tif"))), reference, true, 1));
    }
    EXPECT_TRUE(same_pixels(read_tiff(data_file("tiff_lzw_be.tif")), read_tiff(data_file("tiff_lzw_le.tif"))));
}

// A minimal TIFF: one 8-bit grey strip, with the entries the test asks for.
struct ttiff_builder {
    bool big = false;
    std::vector<std::tuple<std::uint16_t, std::uint16_t, std::uint32_t, std::uint32_t>> entries;
    bytes strip;

    bytes build() const
    {
        tbyte_writer out(big);
        out.text(big ? "MM" : "II");
        out.u16(42);
        out.u32(8);
        out.u16(std::uint16_t(entries.size()));
        const std::uint32_t strip_at = std::uint32_t(8 + 2 + 12 * entries.size() + 4);
        for (auto [tag, type, count, value] : entries) {
            out.u16(tag);
            out.u16(type);
            out.u32(count);
            if (tag == 273)
                value = strip_at;
            if (type == 3 && count == 1) {
                out.u16(std::uint16_t(value));
                out.u16(0);
            } else {
                out.u32(value);
            }
        }
        out.u32(0);
        out.bytes(strip);
        return out.buffer();
    }
};

ttiff_builder grey_tiff(std::uint32_t w, std::uint32_t h, std::uint32_t compression, bytes strip)
{
    ttiff_builder b;
    b.entries = {{256, 3, 1, w}, {257, 3, 1, h}, {258, 3, 1, 8}, {259, 3, 1, compression}, {262, 3, 1, 1},
                 {273, 4, 1, 0}, {279, 4, 1, std::uint32_t(strip.size())}};
    b.strip = std::move(strip);
    return b;
}

TEST(TiffReader, SingleStripWithoutRowsPerStripHoldsAllRows)
{
    for (bool big : {false, true}) {
        ttiff_builder b = grey_tiff(2, 3, 1, {10, 20, 30, 40, 50, 60});
        b.big = big;
        const Tfbitmap p = read_tiff(b.build());
        ASSERT_EQ(p.height(), 3);
        EXPECT_EQ(p.pixel(1, 2)[red_byte], 60);
        EXPECT_EQ(p.pixel(0, 1)[blue_byte], 30);
    }
}

TEST(TiffReader, RefusalsAndBadLzw)
{
    const auto refused = [](ttiff_builder b, const char* message) {
        try {
            read_tiff(b.build());
            ADD_FAILURE() << "accepted, expected " << message;
        } catch (const EGraphicFormat& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    };
    const auto with = [](std::uint16_t tag, std::uint32_t value, std::uint16_t type = 3) {
        ttiff_builder b = grey_tiff(2, 1, 1, {1, 2});
        for (auto& e : b.entries)
            if (std::get<0>(e) == tag)
                e = {tag, type, 1, value};
        if (tag == 277 || tag == 317)
            b.entries.push_back({tag, type, 1, value});
        return b;
    };
    refused(with(256, 0), "TIFF: Illegal image dimensions");
    refused(with(258, 3), "TIFF: Unsupported Bits Per Sample");
    refused(with(262, 4), "TIFF: Unsupported photometric interpretation");
    refused(with(259, 7), "TIFF: Unsupported compression scheme");
    bytes bad_version = grey_tiff(2, 1, 1, {1, 2}).build();
    bad_version[2] = 43;
    EXPECT_THROW(read_tiff(bad_version), EGraphicFormat);
    // Clear (256), 'A' (65), then 300, above the next free code 259.
    EXPECT_THROW(read_tiff(grey_tiff(2, 1, 5, pack_codes({256, 65, 300})).build()), velmora_error);
    // A good LZW strip decodes: clear, 'A', 'B', end.
    const Tfbitmap p = read_tiff(grey_tiff(2, 1, 5, pack_codes({256, 65, 66, 257})).build());
    EXPECT_EQ(p.pixel(0, 0)[red_byte], 65);
    EXPECT_EQ(p.pixel(1, 0)[red_byte], 66);
    // Strips that point outside the file, or promise more rows than they can hold.
    ttiff_builder outside = grey_tiff(2, 1, 1, {1, 2});
    outside.strip.clear();
    EXPECT_THROW(read_tiff(outside.build()), velmora_error);
    EXPECT_THROW(read_tiff(grey_tiff(30000, 30000, 32773, {0x81, 0}).build()), velmora_error);
}

TEST(PcxWriter, RunsHeaderAndClosingByte)
{
    Tfbitmap row = solid_bitmap(200, 1, 10, 20, 200);
    const bytes file = build_pcx(row);
    tbyte_reader in(file, "x", false);
    EXPECT_EQ(in.u8(), 10);
    EXPECT_EQ(in.u8(), 5);
    EXPECT_EQ(in.u8(), 1);
    EXPECT_EQ(in.u8(), 8);
    in.seek(8);
    EXPECT_EQ(in.u16(), 199);
    EXPECT_EQ(in.u16(), 0);
    EXPECT_EQ(in.u16(), 200); // "resolution": the picture's own size
    EXPECT_EQ(in.u16(), 1);
    in.seek(65);
    EXPECT_EQ(in.u8(), 3);
    EXPECT_EQ(in.u16(), 200);
    EXPECT_EQ(in.u16(), 1);
    const bytes red_plane = {0xFF, 200, 0xFF, 200, 0xFF, 200, 0xCB, 200};
    EXPECT_TRUE(std::equal(red_plane.begin(), red_plane.end(), file.begin() + 128));
    EXPECT_EQ(file.size(), 128u + 3 * 8 + 1);
    EXPECT_EQ(file.back(), 0x0C);

    // A lone byte above 191 needs a run header; 191 goes alone; odd widths keep odd line lengths.
    Tfbitmap pair(3, 1);
    pair.fill_pixels(0, 0, 0, 255);
    pair.pixel(0, 0)[red_byte] = 200, pair.pixel(1, 0)[red_byte] = 191, pair.pixel(2, 0)[red_byte] = 7;
    const bytes small = build_pcx(pair);
    EXPECT_EQ(small[66], 3);
    const bytes expected = {0xC1, 200, 191, 7, 0xC3, 0, 0xC3, 0, 0x0C};
    EXPECT_EQ(bytes(small.begin() + 128, small.end()), expected);
}

TEST(TgaWriter, HeaderIdentificationAndTopRowFirst)
{
    Tfbitmap picture = random_bitmap(3, 2, 5);
    const bytes file = build_tga(picture);
    const std::string id = "TARGA-File produced by Quorantel Velmora\x1A";
    EXPECT_EQ(file[0], id.size());
    EXPECT_EQ(file[2], 2);
    EXPECT_EQ(file[7], 24);
    EXPECT_EQ(file[12], 3);
    EXPECT_EQ(file[14], 2);
    EXPECT_EQ(file[16], 24);
    EXPECT_EQ(file[17], 0x20);
    EXPECT_EQ(std::string(file.begin() + 18, file.begin() + 18 + std::ptrdiff_t(id.size())), id);
    const std::size_t pixels = 18 + id.size();
    ASSERT_EQ(file.size(), pixels + 3 * 6);
    EXPECT_EQ(file[pixels], picture.pixel(0, 0)[blue_byte]);
    EXPECT_EQ(file[pixels + 2], picture.pixel(0, 0)[red_byte]);
}

TEST(AtomicSaving, AFailedSaveLeavesTheUsersFileAsItWas)
{
    scratch_folder folder;
    const std::string file = folder.file("keep.tif");
    write_file_atomically(file, bytes{1, 2, 3});
    {
        tatomic_file_sink sink(file);
        sink.write(bytes(3 << 20, 7)); // larger than the buffer: part of it reaches the disk
        sink.patch(1, bytes{9});
        // no commit: as when an encoder throws half way
    }
    EXPECT_EQ(read_whole_file(file), (bytes{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(file).parent_path()),
                            std::filesystem::directory_iterator()),
              1); // no temporary file left behind
    tatomic_file_sink sink(file);
    sink.write(bytes(3 << 20, 7));
    sink.patch(1, bytes{9});
    sink.commit();
    const bytes written = read_whole_file(file);
    ASSERT_EQ(written.size(), std::size_t(3) << 20);
    EXPECT_EQ(written[1], 9);
    try {
        write_tiff(solid_bitmap(2, 2, 0, 0, 0), folder.file("no/such/folder/x.tif"));
        ADD_FAILURE() << "wrote into a missing folder";
    } catch (const velmora_error& e) {
        EXPECT_EQ(e.key(), "@ch_error");
    }
}

TEST(PcxTgaWriters, OtherReadersSeeThePicture)
{
    if (!have_program(imagemagick))
        GTEST_SKIP() << "ImageMagick not installed";
    const Tfbitmap picture = random_bitmap(5, 3, 9);
    scratch_folder folder;
    write_pcx(picture, folder.file("p.pcx"));
    write_tga(picture, folder.file("p.tga"));
    for (const char* name : {"p.pcx", "p.tga"})
        EXPECT_EQ(run_command(std::string(imagemagick) + " '" + folder.file(name) + "' -depth 8 rgb:- 2>&1"),
                  rgb_bytes(picture))
            << name;
}

} // namespace
} // namespace velmora
