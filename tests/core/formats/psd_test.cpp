#include "formats/psd_export.h"
#include "formats/psd_import.h"

#include "document/composite.h"
#include "document/error.h"
#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "shell/progress.h"
#include "format_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace velmora {
namespace {

using namespace velmora::test;
using bytes = std::vector<std::uint8_t>;

TEST(UnpackBits, DecodesRunsLiteralsAndStopsAtTheEnds)
{
    struct tcase {
        bytes packed;
        std::size_t length;
        bytes expected;
    };
    const tcase cases[] = {
        {{0xFE, 0x41, 0x01, 0x42, 0x43}, 5, {0x41, 0x41, 0x41, 0x42, 0x43}},
        {{0x80, 0x00, 0x07}, 1, {0x07}},                   // 0x80 is no operation
        {{0x03, 0x01, 0x02}, 4, {0x01, 0x02, 0x00, 0x00}}, // literal cut short, rest stays zero
        {{0xF9, 0x05}, 3, {0x05, 0x05, 0x05}},             // output beyond the row is dropped
        {{0xFF}, 2, {0x00, 0x00}},                         // run without its byte
        {{}, 4, {}},                                       // no input, no row
    };
    for (const tcase& c : cases)
        EXPECT_EQ(unpack_bits(c.packed, c.length), c.expected);
}

// A layered document exercising everything a PSD layer can carry.
tdocument sample_document()
{
    tdocument doc = create_document("sample");
    add_background(doc, random_bitmap(9, 7, 1), "Arrière-plan");
    const struct {
        std::int32_t w, h, left, top;
        std::uint8_t mode;
        std::int32_t opacity;
        const char* name;
    } layers[] = {
        {4, 3, 2, 1, multiply, 128, "Calque ✓ 1"}, {5, 5, -2, -3, screen, 255, "screen"},
        {3, 2, 6, 5, overlay, 40, "overlay"},      {2, 2, 1, 1, hard_light, 255, ""},
        {9, 7, 0, 0, difference, 200, "diff"},     {1, 1, 8, 6, exclusion, 255, "excl"},
        {6, 4, 10, 2, average, 77, "average, partly outside"},
    };
    unsigned seed = 10;
    for (const auto& l : layers)
        add_layer(doc, random_bitmap(l.w, l.h, seed++, true), l.name, l.opacity, l.left, l.top, l.mode);
    doc.layers[2]->visible = 0;
    doc.layers[3]->preserve_transparency = 1;
    // An enabled mask smaller than its layer, and a disabled one.
    auto mask = std::make_unique<tcalque>();
    mask->bitmap = random_bitmap(3, 2, 99);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 3; ++x) {
            std::uint8_t* p = mask->bitmap.pixel(x, y);
            p[0] = p[1] = p[2];
        }
    mask->left = 3;
    mask->top = 1;
    doc.layers[1]->mask = std::move(mask);
    doc.layers[1]->mask_enabled = 1;
    doc.layers[5]->mask = clone_layer(*doc.layers[1]->mask);
    doc.layers[5]->mask_enabled = 0;
    return doc;
}

void expect_same_layers(const tdocument& a, const tdocument& b)
{
    ASSERT_EQ(a.layers.size(), b.layers.size());
    for (std::size_t i = 0; i < a.layers.size(); ++i) {
        SCOPED_TRACE("layer " + std::to_string(i));
        const tcalque& x = *a.layers[i];
        const tcalque& y = *b.layers[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.left, y.left);
        EXPECT_EQ(x.top, y.top);
        EXPECT_EQ(int(x.blend_mode), int(y.blend_mode));
        EXPECT_EQ(x.opacity, y.opacity);
        EXPECT_EQ(int(x.visible), int(y.visible));
        EXPECT_EQ(int(x.preserve_transparency), int(y.preserve_transparency));
        EXPECT_TRUE(same_pixels(x.bitmap, y.bitmap));
        ASSERT_EQ(bool(x.mask), bool(y.mask));
        if (x.mask) {
            EXPECT_EQ(int(x.mask_enabled), int(y.mask_enabled));
            EXPECT_EQ(x.mask->left, y.mask->left);
            EXPECT_EQ(x.mask->top, y.mask->top);
            EXPECT_TRUE(same_pixels(x.mask->bitmap, y.mask->bitmap, false));
        }
    }
}

TEST(PsdRoundTrip, KeepsNamesModesOpacityVisibilityPositionsAndMasks)
{
    tdocument doc = sample_document();
    doc.layers[4]->name = "Layer 1"; // what the reader calls an unnamed first upper layer
    tdocument back = create_document("back");
    ASSERT_TRUE(read_psd_layers(back, build_psd(doc)));
    expect_same_layers(doc, back);
    EXPECT_EQ(back.current_layer, std::int32_t(back.layers.size()) - 1);
    EXPECT_TRUE(same_pixels(flatten_image(doc), flatten_image(back), false));
}

TEST(PsdRoundTrip, FlatReaderShowsTheCompositeOfALayeredFile)
{
    const tdocument doc = sample_document();
    EXPECT_TRUE(same_pixels(read_psd_flat(build_psd(doc)), flatten_image(doc), false));
}

TEST(PsdImport, ProgressFollowsTheFilePositionAndEndsOnEveryPath)
{
    struct trecorder : tprogress_view {
        std::vector<std::string> texts;
        std::vector<int> positions;
        void show_text(const std::string& text) override { texts.push_back(text); }
        void show_gauge(gauge_style, int position) override { positions.push_back(position); }
    } recorder;
    set_progress_view(&recorder);
    const bytes file = build_psd(sample_document());
    tdocument doc = create_document("d");
    read_psd_layers(doc, file);
    ASSERT_FALSE(recorder.texts.empty());
    EXPECT_NE(recorder.texts.front().find("@ch_loading"), std::string::npos);
    EXPECT_TRUE(std::is_sorted(recorder.positions.begin(), recorder.positions.end() - 1));
    EXPECT_GT(std::count_if(recorder.positions.begin(), recorder.positions.end(), [](int p) { return p > 0 && p < 100; }), 2);
    EXPECT_EQ(recorder.positions[recorder.positions.size() - 2], 100);
    EXPECT_EQ(recorder.texts.back(), ""); // ended
    recorder.texts.clear();
    EXPECT_THROW(read_psd_layers(doc, bytes(file.begin(), file.begin() + 300)), velmora_error);
    EXPECT_EQ(recorder.texts.back(), "");
    set_progress_view(nullptr);
}

TEST(PsdExport, OneLayerDocumentIsItsFlatImage)
{
    tdocument doc = create_document("one");
    add_background(doc, random_bitmap(5, 3, 4), "Background");
    const bytes file = build_psd(doc);
    ASSERT_EQ(file.size(), 26u + 4 + 4 + 4 + 4 + 2 + 3 * 5 * 3);
    tbyte_reader in(file, "x");
    in.seek(34);
    EXPECT_EQ(in.u32(), 4u); // layer and mask length: only the global mask length follows
    EXPECT_EQ(in.u32(), 0u);
    EXPECT_EQ(in.u16(), 0u); // raw composite
    EXPECT_EQ(file[44], doc.layers[0]->bitmap.pixel(0, 0)[red_byte]);
    EXPECT_EQ(file[44 + 15], doc.layers[0]->bitmap.pixel(0, 0)[green_byte]);
}

TEST(PsdExport, LayerRecordsAndLengthsAsLaidOut)
{
    tdocument doc = create_document("two");
    add_background(doc, random_bitmap(10, 10, 1), "Background");
    add_layer(doc, random_bitmap(4, 3, 2, true), "", 128, -3, -2, normal);
    const bytes file = build_psd(doc);
    tbyte_reader in(file, "x");
    in.seek(34);
    const std::uint32_t section = in.u32();
    const std::uint32_t info = in.u32();
    const std::size_t info_start = in.position();
    EXPECT_EQ(in.s16(), 2);
    EXPECT_EQ(section, info + 4 + 4); // layer info length field, layer info, global mask length
    // Record 2: the 4 x 3 layer at (-3, -2).
    in.seek(info_start + 2);
    for (int record = 0; record < 2; ++record) {
        const std::int32_t top = in.s32(), left = in.s32(), bottom = in.s32(), right = in.s32();
        ASSERT_EQ(in.u16(), 4u);
        const std::uint32_t plane = record == 0 ? 102 : 14;
        for (std::int16_t id : {0, 1, 2, -1}) {
            EXPECT_EQ(in.s16(), id);
            EXPECT_EQ(in.u32(), plane);
        }
        EXPECT_EQ(in.tag4(), "8BIM");
        EXPECT_EQ(in.tag4(), "norm");
        const std::uint8_t opacity = in.u8();
        in.u8();
        const std::uint8_t flags = in.u8();
        in.u8();
        if (record == 1) {
            EXPECT_EQ(top, -2);
            EXPECT_EQ(left, -3);
            EXPECT_EQ(bottom, 1);
            EXPECT_EQ(right, 1);
            EXPECT_EQ(opacity, 0x80);
            EXPECT_EQ(flags, 0); // visible
        }
        in.skip(in.u32());
    }
    const std::size_t channel_data = 4 * 102 + 4 * 14;
    EXPECT_EQ(info, (in.position() - info_start) + channel_data + ((in.position() - info_start + channel_data) % 2));
    // The flattened picture follows the layer section.
    in.seek(34 + 4 + section);
    EXPECT_EQ(in.u16(), 0u);
    EXPECT_EQ(in.remaining(), 3u * 10 * 10);
}

// Builds small PSD files the way other writers lay them out.
struct tpsd_builder {
    std::uint16_t channels = 3, depth = 8, mode = 3;
    std::int32_t width = 2, height = 2;
    tbyte_writer out{true};

    void header(std::span<const std::uint8_t> mode_data = {})
    {
        out.text("8BPS");
        out.u16(1);
        out.zeros(6);
        out.u16(channels);
        out.u32(std::uint32_t(height));
        out.u32(std::uint32_t(width));
        out.u16(depth);
        out.u16(mode);
        out.u32(std::uint32_t(mode_data.size()));
        out.bytes(mode_data);
        out.u32(0);
    }
    // A raw composite of per-channel sample lists.
    void composite(const std::vector<bytes>& planes)
    {
        out.u32(0);
        out.u16(0);
        for (const bytes& p : planes)
            out.bytes(p);
    }
};

struct tfixture_layer {
    std::int32_t top, left, bottom, right;
    std::vector<std::pair<std::int16_t, bytes>> channels; // raw samples per channel
    std::string key = "norm";
    std::uint8_t flags = 0;
    std::string name;
    std::uint32_t divider = 0;
};

bytes layered_file(const std::vector<tfixture_layer>& layers, bool negative_count = false)
{
    tpsd_builder b;
    b.width = 4;
    b.height = 4;
    b.header();
    tbyte_writer& o = b.out;
    const std::size_t section = o.grow(4);
    const std::size_t info = o.grow(4);
    o.s16(std::int16_t(negative_count ? -int(layers.size()) : int(layers.size())));
    for (const auto& l : layers) {
        o.s32(l.top);
        o.s32(l.left);
        o.s32(l.bottom);
        o.s32(l.right);
        o.u16(std::uint16_t(l.channels.size()));
        for (const auto& [id, data] : l.channels) {
            o.s16(id);
            o.u32(std::uint32_t(data.size() + 2));
        }
        o.text("8BIM");
        o.text(l.key);
        o.u8(255);
        o.u8(0);
        o.u8(l.flags);
        o.u8(0);
        const std::size_t extra = o.grow(4);
        o.u32(0);
        o.u32(0);
        o.u8(std::uint8_t(l.name.size()));
        o.text(l.name);
        o.zeros((l.name.size() + 4) / 4 * 4 - 1 - l.name.size());
        if (l.divider) {
            o.text("8BIMlsct");
            o.u32(4);
            o.u32(l.divider);
        }
        o.patch_u32(extra, std::uint32_t(o.position() - extra - 4));
    }
    for (const auto& l : layers)
        for (const auto& [id, data] : l.channels) {
            o.u16(0);
            o.bytes(data);
        }
    o.patch_u32(info, std::uint32_t(o.position() - info - 4));
    o.u32(0);
    o.patch_u32(section, std::uint32_t(o.position() - section - 4));
    return o.buffer();
}

TEST(PsdImport, ChannelsCountsDividersAndUnknownModes)
{
    const bytes red(16, 200), green(16, 100), blue(16, 50), alpha(16, 60), mask(4, 9);
    const std::vector<tfixture_layer> layers = {
        {0, 0, 4, 4, {{0, red}, {1, green}, {2, blue}}, "norm", 0, "bottom"},
        {0, 0, 0, 0, {}, "norm", 0, "group", 1},          // folder record: skipped
        {1, 1, 3, 3, {{-2, mask}, {0, bytes(4, 1)}, {1, bytes(4, 2)}, {2, bytes(4, 3)}, {-1, bytes(4, 4)}},
         "xxxx", 2, "masked"},                            // mask channel without mask data is skipped
        {0, 0, 4, 4, {{-1, alpha}, {0, red}, {1, green}, {2, blue}}, "mul ", 0, "transparent"},
        {0, 0, 0, 0, {}, "norm", 0, "</Layer group>", 3}, // divider: skipped
    };
    for (bool negative : {false, true}) {
        SCOPED_TRACE(negative ? "negative count" : "positive count");
        tdocument doc = create_document("d");
        ASSERT_TRUE(read_psd_layers(doc, layered_file(layers, negative)));
        ASSERT_EQ(doc.layers.size(), 3u);
        EXPECT_EQ(doc.layers[0]->name, "bottom"); // opaque and full size: it is the background
        EXPECT_EQ(doc.layers[0]->bitmap.pixel(3, 3)[red_byte], 200);
        EXPECT_EQ(doc.layers[0]->bitmap.pixel(3, 3)[alpha_byte], 255);
        const tcalque& masked = *doc.layers[1];
        EXPECT_EQ(masked.blend_mode, normal); // unknown key
        EXPECT_EQ(masked.visible, 0);
        EXPECT_EQ(masked.bitmap.pixel(1, 1)[blue_byte], 3);
        EXPECT_EQ(masked.bitmap.pixel(1, 1)[alpha_byte], 4);
        EXPECT_EQ(doc.layers[2]->blend_mode, multiply);
        EXPECT_EQ(doc.layers[2]->bitmap.pixel(0, 0)[alpha_byte], 60);
    }
}

TEST(PsdImport, FilesOfEarlierVersionsShowTheirLayers)
{
    // Earlier versions wrote every layer with flags 2, no extra data and no composite image.
    tpsd_builder b;
    b.width = 2, b.height = 1;
    b.header();
    tbyte_writer& o = b.out;
    const std::size_t section = o.grow(4);
    const std::size_t info = o.grow(4);
    o.s16(2);
    for (int layer = 0; layer < 2; ++layer) {
        o.s32(0), o.s32(0), o.s32(1), o.s32(2);
        o.u16(4);
        for (std::int16_t id : {0, 1, 2, -1})
            o.s16(id), o.u32(2 + 2);
        o.text("8BIMnorm");
        o.u8(layer ? 128 : 255), o.u8(0), o.u8(2), o.u8(0);
        o.u32(0);
    }
    for (int layer = 0; layer < 2; ++layer)
        for (int channel = 0; channel < 4; ++channel)
            o.u16(0), o.u8(std::uint8_t(channel == 3 ? 255 : 40 * layer + channel)), o.u8(channel == 3 ? 255 : 9);
    o.patch_u32(info, std::uint32_t(o.position() - info - 4));
    o.u32(0);
    o.patch_u32(section, std::uint32_t(o.position() - section - 4));
    tdocument doc = create_document("old");
    ASSERT_TRUE(read_psd_layers(doc, o.buffer()));
    ASSERT_EQ(doc.layers.size(), 2u);
    EXPECT_EQ(doc.layers[0]->name, "Background");
    EXPECT_EQ(doc.layers[1]->name, "Layer 1");
    EXPECT_EQ(doc.layers[1]->visible, 1);
    EXPECT_EQ(doc.layers[1]->opacity, 128);
    // Without a composite image the flat reader shows the layers flattened.
    const Tfbitmap flat = read_psd_flat(o.buffer());
    EXPECT_EQ(flat.pixel(0, 0)[red_byte], (0 + 40 + 1) / 2); // 0 under 40 at opacity 128
}

TEST(PsdImport, TransparentBottomLayerGetsAWhiteBackgroundBelowIt)
{
    const std::vector<tfixture_layer> layers = {{1, 1, 3, 3, {{0, bytes(4, 7)}}, "norm", 0, ""}};
    tdocument doc = create_document("d");
    ASSERT_TRUE(read_psd_layers(doc, layered_file(layers)));
    ASSERT_EQ(doc.layers.size(), 2u);
    EXPECT_EQ(doc.layers[0]->name, "Background");
    EXPECT_EQ(doc.width(), 4);
    EXPECT_EQ(doc.layers[0]->bitmap.pixel(0, 0)[red_byte], 255);
    EXPECT_EQ(doc.layers[1]->name, "Layer 1");
    EXPECT_EQ(doc.layers[1]->left, 1);
    EXPECT_EQ(doc.layers[1]->bitmap.pixel(0, 0)[red_byte], 7);
    EXPECT_EQ(doc.layers[1]->bitmap.pixel(0, 0)[green_byte], 0);
}

TEST(PsdImport, FlatFilesInEachColourMode)
{
    struct tcase {
        const char* what;
        std::uint16_t channels, depth, mode;
        std::vector<bytes> planes;
        bytes mode_data;
        std::array<std::uint8_t, 3> rgb; // of pixel 1
    };
    bytes palette(768, 0);
    palette[5] = 10, palette[256 + 5] = 20, palette[512 + 5] = 30;
    const tcase cases[] = {
        {"grey", 1, 8, 1, {{0, 77, 0, 0}}, {}, {77, 77, 77}},
        {"grey with alpha", 2, 8, 1, {{0, 78, 0, 0}, {0, 0, 0, 0}}, {}, {78, 78, 78}},
        {"rgb", 3, 8, 3, {{0, 1, 0, 0}, {0, 2, 0, 0}, {0, 3, 0, 0}}, {}, {1, 2, 3}},
        {"rgb 16-bit", 3, 16, 3,
         {{0, 0, 0xFF, 0xFF, 0, 0, 0, 0}, {0, 0, 0x80, 0x80, 0, 0, 0, 0}, {0, 0, 0x01, 0x00, 0, 0, 0, 0}},
         {}, {255, 128, 1}},
        {"cmyk (stored inverted)", 4, 8, 4, {{0, 255, 0, 0}, {0, 0, 0, 0}, {0, 255, 0, 0}, {0, 128, 0, 0}}, {},
         {128, 0, 128}},
        {"indexed", 1, 8, 2, {{0, 5, 0, 0}}, palette, {10, 20, 30}},
        {"bitmap", 1, 1, 0, {{0x40, 0x00}}, {}, {0, 0, 0}},
    };
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.what);
        tpsd_builder b;
        b.channels = c.channels;
        b.depth = c.depth;
        b.mode = c.mode;
        b.height = c.mode == 0 ? 2 : 1;
        b.width = c.mode == 0 ? 2 : 4;
        b.header(c.mode_data);
        b.composite(c.planes);
        tdocument doc = create_document("flat");
        ASSERT_TRUE(read_psd_layers(doc, b.out.buffer()));
        ASSERT_EQ(doc.layers.size(), 1u);
        const std::uint8_t* p = doc.layers[0]->bitmap.pixel(1, 0);
        EXPECT_EQ(p[red_byte], c.rgb[0]);
        EXPECT_EQ(p[green_byte], c.rgb[1]);
        EXPECT_EQ(p[blue_byte], c.rgb[2]);
        EXPECT_TRUE(same_pixels(read_psd_flat(b.out.buffer()), doc.layers[0]->bitmap, false));
    }
}

TEST(PsdImport, RefusesWhatItCannotShowAndSaysWhy)
{
    tdocument doc = create_document("d");
    EXPECT_FALSE(read_psd_layers(doc, bytes{'G', 'I', 'F', '8', '9', 'a'}));
    struct tcase {
        const char* what;
        std::uint16_t channels, depth, mode;
        std::int32_t width;
    };
    const tcase refused[] = {
        {"lab", 3, 8, 9, 2}, {"32-bit", 3, 32, 3, 2}, {"multichannel", 2, 8, 7, 2}, {"zero width", 3, 8, 3, 0},
        {"too wide", 3, 8, 3, 40000},
    };
    for (const tcase& c : refused) {
        SCOPED_TRACE(c.what);
        tpsd_builder b;
        b.channels = c.channels, b.depth = c.depth, b.mode = c.mode, b.width = c.width;
        b.header();
        b.composite({bytes(64, 0), bytes(64, 0), bytes(64, 0)});
        try {
            read_psd_layers(doc, b.out.buffer());
            ADD_FAILURE() << "accepted";
        } catch (const velmora_error& e) {
            EXPECT_EQ(e.key(), "@ch_problem_with_psd_file");
        }
    }
    // Every truncation inside the layer section fails cleanly.
    const tdocument sample = sample_document();
    const bytes good = build_psd(sample);
    const std::size_t layers_end = good.size() - 2 - 3 * std::size_t(sample.width() * sample.height());
    for (std::size_t n : {std::size_t(10), std::size_t(30), std::size_t(60), std::size_t(200), layers_end / 2,
                          layers_end - 1}) {
        const bytes cut(good.begin(), good.begin() + std::ptrdiff_t(n));
        EXPECT_THROW(read_psd_layers(doc, cut), velmora_error) << n;
    }
}

TEST(PsdImport, FileFromImageMagick)
{
    // Made with ImageMagick 6.9 (16 bits a channel; its first image is the composite, not a layer):
    // convert -size 6x4 xc:'#204080' \( -size 3x2 xc:'#ff0000' -set label red \)
    //         \( -size 2x2 xc:'#00ff00' -set label green -page +4+2 \) psd_from_imagemagick.psd
    const bytes file = read_whole_file(data_file("psd_from_imagemagick.psd"));
    tdocument doc = create_document("im");
    ASSERT_TRUE(read_psd_layers(doc, file));
    ASSERT_EQ(doc.layers.size(), 3u);
    EXPECT_EQ(doc.layers[0]->name, "Background"); // the layers do not cover the document
    const tcalque& red = *doc.layers[1];
    const tcalque& green = *doc.layers[2];
    EXPECT_EQ(red.name, "red");
    EXPECT_EQ(red.rect(), (trect{4, 2, 7, 4}));
    EXPECT_EQ(red.bitmap.pixel(0, 0)[red_byte], 255);
    EXPECT_EQ(red.bitmap.pixel(0, 0)[green_byte], 0);
    EXPECT_EQ(green.name, "green");
    EXPECT_EQ(green.rect(), (trect{4, 2, 6, 4}));
    EXPECT_EQ(green.bitmap.pixel(1, 1)[green_byte], 255);
    const Tfbitmap composite = read_psd_flat(file);
    EXPECT_EQ(composite.pixel(0, 0)[blue_byte], 0x80);
    EXPECT_EQ(composite.pixel(0, 0)[green_byte], 0x40);
}

// Other programs' readers see our layers, names and composite.
TEST(PsdExport, OtherReadersSeeLayersNamesAndComposite)
{
    const tdocument doc = sample_document();
    scratch_folder folder;
    const std::string file = folder.file("sample.psd");
    write_psd(doc, file);
    const std::string expected_rgb = rgb_bytes(flatten_image(doc));
    if (have_program(imagemagick)) {
        EXPECT_EQ(run_command(std::string(imagemagick) + " '" + file + "[0]' -depth 8 rgb:-"), expected_rgb);
        const std::string labels = run_command(std::string(imagemagick) + " '" + file + "' -format '%l|' info:");
        EXPECT_NE(labels.find("screen|overlay|"), std::string::npos) << labels;
    }
    if (have_pillow()) {
        // Pillow cannot parse records with a mask channel, so it gets the same layers without masks.
        tdocument plain = sample_document();
        for (auto& layer : plain.layers)
            layer->mask.reset();
        write_psd(plain, file);
        const std::string script = "from PIL import Image; im = Image.open('" + file +
                                   "'); print('|'.join(l[0] for l in im.layers)); "
                                   "import sys; sys.stdout.flush(); sys.stdout.buffer.write(im.convert('RGB').tobytes())";
        const std::string out = run_command(std::string(system_python) + " -c \"" + script + "\"");
        const std::size_t eol = out.find('\n');
        ASSERT_NE(eol, std::string::npos);
        EXPECT_EQ(out.substr(eol + 1), rgb_bytes(flatten_image(plain)));
        EXPECT_NE(out.substr(0, eol).find("screen|overlay|"), std::string::npos) << out.substr(0, eol);
    }
}

} // namespace
} // namespace velmora
