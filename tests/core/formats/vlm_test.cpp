#include "formats/vlm_format.h"

#include "document/error.h"
#include "format_test_support.h"
#include "formats/vlm_thumbnail.h"
#include "shell/progress.h"

#include <gtest/gtest.h>

#include <bzlib.h>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/resource.h>

namespace velmora {
namespace {

using test::random_bitmap;
using test::same_pixels;
using test::scratch_folder;
using test::solid_bitmap;

std::uint16_t le16(const std::vector<std::uint8_t>& f, std::size_t at)
{
    return std::uint16_t(f[at] | f[at + 1] << 8);
}

std::uint32_t le32(const std::vector<std::uint8_t>& f, std::size_t at)
{
    return std::uint32_t(f[at]) | std::uint32_t(f[at + 1]) << 8 | std::uint32_t(f[at + 2]) << 16 |
           std::uint32_t(f[at + 3]) << 24;
}

void put32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        f[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

std::string text_at(const std::vector<std::uint8_t>& f, std::size_t at, std::size_t n)
{
    return std::string(f.begin() + std::ptrdiff_t(at), f.begin() + std::ptrdiff_t(at + n));
}

std::size_t bmp_size(std::int32_t w, std::int32_t h, int bits)
{
    return 54 + ((std::size_t(w) * std::size_t(bits / 8) + 3) & ~std::size_t(3)) * std::size_t(h);
}

tdocument one_layer_document(std::int32_t w = 3, std::int32_t h = 2)
{
    tdocument doc = create_document("small");
    add_background(doc, random_bitmap(w, h, 7), "Background");
    return doc;
}

Tfbitmap grey(std::int32_t w, std::int32_t h, std::uint8_t level)
{
    return solid_bitmap(w, h, level, level, level, 255);
}

// Everything the file can carry, with awkward values: negative positions, a
// mask placed apart from its layer, texts at their capacity, a full path.
tdocument rich_document()
{
    tdocument doc = create_document("rich");
    add_background(doc, random_bitmap(7, 5, 1), "Background");
    tcalque& masked = add_layer(doc, random_bitmap(4, 3, 2, true), std::string(62, 'n'), 128, -2, 3, multiply);
    masked.mask = std::make_unique<tcalque>();
    masked.mask->bitmap = random_bitmap(5, 2, 3);
    masked.mask->left = -7;
    masked.mask->top = 9;
    masked.mask_enabled = 1;
    masked.preserve_transparency = 1;
    tcalque& text = add_layer(doc, random_bitmap(2, 6, 4, true), "Caf\xC3\xA9 \xE2\x82\xAC", 255, 40, -30, average);
    text.visible = 0;
    text.text.is_text = 1;
    text.text.text = std::string(1022, 'x');
    text.text.font_name = std::string(64, 'F');
    text.text.size = -12;
    text.text.angle = 270;
    text.text.underline = 1;
    text.text.italic = 1;
    text.text.invert = 1;
    text.text.opacity = 77;
    text.text.colour = 0x00D06148;
    set_current_layer(doc, 1);
    doc.mask_editing = 1;
    doc.selection.left = -1;
    doc.selection.top = 2;
    doc.selection.mask = grey(3, 3, 200);
    doc.has_selection = 1;
    for (int i = 0; i < 2; ++i) {
        auto saved = std::make_unique<tselection>();
        saved->left = i;
        saved->top = 10 * i;
        saved->mask = grey(2 + i, 1, std::uint8_t(50 + i));
        doc.saved_selections.push_back(std::move(saved));
    }
    doc.path_count = path_capacity;
    for (int i = 0; i < path_capacity; ++i)
        doc.path_points[std::size_t(i)] = {i * 0.5 - 3, 1e6 / (i + 1)};
    return doc;
}

void expect_same_document(const tdocument& a, const tdocument& b)
{
    ASSERT_EQ(a.layers.size(), b.layers.size());
    for (std::size_t i = 0; i < a.layers.size(); ++i) {
        SCOPED_TRACE("layer " + std::to_string(i));
        const tcalque& x = *a.layers[i];
        const tcalque& y = *b.layers[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.left, y.left);
        EXPECT_EQ(x.top, y.top);
        EXPECT_EQ(x.blend_mode, y.blend_mode);
        EXPECT_EQ(x.opacity, y.opacity);
        EXPECT_EQ(x.visible, y.visible);
        EXPECT_EQ(x.preserve_transparency, y.preserve_transparency);
        EXPECT_EQ(x.mask_enabled, y.mask_enabled);
        EXPECT_EQ(x.selected, y.selected);
        EXPECT_TRUE(same_pixels(x.bitmap, y.bitmap));
        ASSERT_EQ(bool(x.mask), bool(y.mask));
        if (x.mask) {
            EXPECT_EQ(x.mask->left, y.mask->left);
            EXPECT_EQ(x.mask->top, y.mask->top);
            EXPECT_TRUE(same_pixels(x.mask->bitmap, y.mask->bitmap));
        }
        EXPECT_EQ(x.text.is_text, y.text.is_text);
        if (x.text.is_text) {
            EXPECT_EQ(x.text.text, y.text.text);
            EXPECT_EQ(x.text.font_name, y.text.font_name);
            EXPECT_EQ(x.text.size, y.text.size);
            EXPECT_EQ(x.text.angle, y.text.angle);
            EXPECT_EQ(x.text.underline, y.text.underline);
            EXPECT_EQ(x.text.bold, y.text.bold);
            EXPECT_EQ(x.text.italic, y.text.italic);
            EXPECT_EQ(x.text.strikeout, y.text.strikeout);
            EXPECT_EQ(x.text.invert, y.text.invert);
            EXPECT_EQ(x.text.opacity, y.text.opacity);
            EXPECT_EQ(x.text.colour, y.text.colour);
        }
    }
    EXPECT_EQ(a.current_layer, b.current_layer);
    EXPECT_EQ(a.mask_editing, b.mask_editing);
    EXPECT_EQ(a.has_selection, b.has_selection);
    if (a.has_selection) {
        EXPECT_EQ(a.selection.left, b.selection.left);
        EXPECT_EQ(a.selection.top, b.selection.top);
        EXPECT_TRUE(same_pixels(a.selection.mask, b.selection.mask));
    }
    ASSERT_EQ(a.saved_selections.size(), b.saved_selections.size());
    for (std::size_t i = 0; i < a.saved_selections.size(); ++i) {
        EXPECT_EQ(a.saved_selections[i]->left, b.saved_selections[i]->left);
        EXPECT_EQ(a.saved_selections[i]->top, b.saved_selections[i]->top);
        EXPECT_TRUE(same_pixels(a.saved_selections[i]->mask, b.saved_selections[i]->mask));
    }
    ASSERT_EQ(a.path_count, b.path_count);
    for (int i = 0; i < a.path_count; ++i) {
        EXPECT_EQ(a.path_points[std::size_t(i)].x, b.path_points[std::size_t(i)].x);
        EXPECT_EQ(a.path_points[std::size_t(i)].y, b.path_points[std::size_t(i)].y);
    }
}

TEST(vlm_layout, one_layer_document_is_header_record_stream_and_selection_head)
{
    const tdocument doc = one_layer_document();
    const auto f = encode_vlm(doc, {});
    const std::size_t stream = bmp_size(3, 2, 24);
    ASSERT_EQ(f.size(), 784 + 100 + stream + 4);

    EXPECT_EQ(text_at(f, 0, 216), std::string(vlm_identification));
    EXPECT_EQ(text_at(f, 216, 40), std::string(40, ' '));
    EXPECT_EQ(text_at(f, 256, 256), std::string(256, '\0')); // no signature
    EXPECT_EQ(f[512], 1);
    EXPECT_EQ(le16(f, 514), 3);
    EXPECT_EQ(le16(f, 516), 2);
    EXPECT_EQ(le16(f, 518), 1);
    EXPECT_EQ(le16(f, 520), 0);
    EXPECT_EQ(f[523], 1); // selection block always written
    EXPECT_EQ(f[524], 0);
    EXPECT_EQ(f[525], 0);
    EXPECT_EQ(le32(f, 528), 0u);
    EXPECT_EQ(le32(f, 532), 0u);
    EXPECT_EQ(f[552], 0);

    EXPECT_EQ(le32(f, 784 + 92), stream);
    EXPECT_EQ(le32(f, 784 + 96), 0u);
    EXPECT_EQ(f[784 + 84], 255); // opacity
    const std::vector<std::uint8_t> bmp = save_bmp(doc.layers[0]->bitmap, bmp_depth::bits24);
    EXPECT_TRUE(std::equal(bmp.begin(), bmp.end(), f.begin() + 884));
    const std::size_t head = 884 + stream;
    EXPECT_EQ(le16(f, head), 0);   // no selection records
    EXPECT_EQ(f[head + 2], 0);     // no current selection
    EXPECT_EQ(f[head + 3], 1);     // outline visible
}

TEST(vlm_layout, compressed_streams_are_bzip2_with_block_size_9)
{
    const tdocument doc = rich_document();
    tvlm_write_options options;
    options.compressed = true;
    const auto f = encode_vlm(doc, options);
    EXPECT_EQ(f[524], 1);
    EXPECT_EQ(text_at(f, 884, 4), "BZh9");
    // Fed row by row, yet the same bytes as compressing the whole BMP at once.
    std::vector<std::uint8_t> bmp = save_bmp(doc.layers[0]->bitmap, bmp_depth::bits24);
    std::vector<std::uint8_t> once(bmp.size() + 1000);
    auto once_size = static_cast<unsigned int>(once.size());
    ASSERT_EQ(BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(once.data()), &once_size,
                                       reinterpret_cast<char*>(bmp.data()), static_cast<unsigned int>(bmp.size()), 9,
                                       0, 0),
              BZ_OK);
    ASSERT_EQ(le32(f, 784 + 92), once_size);
    EXPECT_TRUE(std::equal(once.begin(), once.begin() + once_size, f.begin() + 884));
    // The mask follows layer 1's stream.
    const std::size_t layer1 = 884 + le32(f, 784 + 92);
    const std::size_t mask = layer1 + 100 + le32(f, layer1 + 92);
    EXPECT_NE(le32(f, layer1 + 96), 0u);
    EXPECT_EQ(text_at(f, mask, 4), "BZh9");
}

TEST(vlm_layout, mask_stream_follows_its_layer_and_keeps_its_own_place)
{
    tdocument doc = rich_document();
    // A mask on the background is never written.
    doc.layers[0]->mask = std::make_unique<tcalque>();
    doc.layers[0]->mask->bitmap = grey(7, 5, 9);
    const auto f = encode_vlm(doc, {});
    EXPECT_EQ(f[784 + 88], 0);
    EXPECT_EQ(le32(f, 784 + 96), 0u);

    const std::size_t layer1 = 884 + bmp_size(7, 5, 24);
    EXPECT_EQ(std::int32_t(le32(f, layer1 + 0)), 3);  // top
    EXPECT_EQ(std::int32_t(le32(f, layer1 + 4)), -2); // left
    EXPECT_EQ(std::int32_t(le32(f, layer1 + 12)), -7); // mask left
    EXPECT_EQ(std::int32_t(le32(f, layer1 + 16)), 9);  // mask top
    EXPECT_EQ(f[layer1 + 88], 1);
    EXPECT_EQ(le32(f, layer1 + 92), bmp_size(4, 3, 32));
    EXPECT_EQ(le32(f, layer1 + 96), bmp_size(5, 2, 32));
    const std::size_t mask = layer1 + 100 + bmp_size(4, 3, 32);
    const std::vector<std::uint8_t> bmp = save_bmp(doc.layers[1]->mask->bitmap, bmp_depth::bits32);
    EXPECT_TRUE(std::equal(bmp.begin(), bmp.end(), f.begin() + std::ptrdiff_t(mask)));

    const tdocument back = decode_vlm(f);
    EXPECT_FALSE(back.layers[0]->mask);
    ASSERT_TRUE(back.layers[1]->mask);
    EXPECT_EQ(back.layers[1]->mask->left, -7);
    EXPECT_EQ(back.layers[1]->mask->top, 9);
}

class vlm_round_trip : public ::testing::TestWithParam<bool> {};

TEST_P(vlm_round_trip, rich_document_comes_back_whole)
{
    const tdocument doc = rich_document();
    tvlm_write_options options;
    options.compressed = GetParam();
    options.include_thumbnail = true;
    options.view.selection_visible = 0;
    options.view.path_state = {-0.25, 1e300};
    const auto f = encode_vlm(doc, options);
    tvlm_view_state view;
    const tdocument back = decode_vlm(f, &view);
    expect_same_document(doc, back);
    EXPECT_EQ(view.selection_visible, 0);
    EXPECT_EQ(view.path_state[0], -0.25);
    EXPECT_EQ(view.path_state[1], 1e300);
    EXPECT_EQ(back.layers[2]->name, "Caf\xC3\xA9 \xE2\x82\xAC"); // through the 8-bit code page
}

INSTANTIATE_TEST_SUITE_P(compression, vlm_round_trip, ::testing::Values(false, true));

TEST(vlm_files, rasters_without_pixels_round_trip)
{
    tdocument doc = one_layer_document();
    add_layer(doc, Tfbitmap(0, 3), "no columns", 255, 0, 0, normal);
    add_layer(doc, Tfbitmap(5, 0), "no rows", 255, 0, 0, normal);
    for (bool compressed : {false, true}) {
        tvlm_write_options options;
        options.compressed = compressed;
        expect_same_document(doc, decode_vlm(encode_vlm(doc, options)));
    }
    scratch_folder folder;
    write_vlm_snapshot(doc, folder.file("snap"), {});
    tdocument loaded = one_layer_document();
    std::vector<Tfbitmap> spare;
    read_vlm_snapshot(loaded, folder.file("snap"), spare);
    expect_same_document(doc, loaded);
}

TEST(vlm_layout, fields_at_their_capacity)
{
    tdocument doc = rich_document();
    doc.layers[1]->name = std::string(62, 'a') + "overflow";
    doc.layers[2]->text.text = std::string(300, 't');
    tvlm_write_options options;
    options.signature = tvlm_signature{std::string(65, 'A') + "12345", "(c) us"};
    const auto f = encode_vlm(doc, options);

    EXPECT_EQ(text_at(f, 256, 7), "Author:");
    EXPECT_EQ(text_at(f, 263, 65), std::string(65, 'A'));
    EXPECT_EQ(text_at(f, 328, 16), ".Copyright info:");
    EXPECT_EQ(text_at(f, 344, 167), "(c) us" + std::string(161, ' '));
    EXPECT_EQ(f[511], '.');

    const tdocument back = decode_vlm(f);
    EXPECT_EQ(back.layers[1]->name, std::string(62, 'a'));

    // Path block of 32772 bytes, then one text record of 1108 bytes ending the file.
    const std::size_t text = f.size() - 1108;
    const std::size_t path = text - 32772;
    EXPECT_EQ(le32(f, path), 2048u);
    EXPECT_EQ(f[552], 1);
    EXPECT_EQ(le16(f, text), 2);      // layer index
    EXPECT_EQ(f[text + 2], 0x01);     // 300, high byte first
    EXPECT_EQ(f[text + 3], 0x2C);
    EXPECT_EQ(f[text + 1026], 0x00);  // 64-character font name
    EXPECT_EQ(f[text + 1027], 64);
    EXPECT_EQ(back.layers[2]->text.text, std::string(300, 't'));
}

TEST(vlm_layout, selections_store_current_first_and_count_all)
{
    const tdocument doc = rich_document();
    const auto f = encode_vlm(doc, {});
    const tdocument back = decode_vlm(f);
    std::size_t at = 784;
    for (int i = 0; i < 3; ++i)
        at += 100 + le32(f, at + 92) + le32(f, at + 96);
    EXPECT_EQ(le16(f, at), 3);
    EXPECT_EQ(f[at + 2], 1);
    EXPECT_EQ(std::int32_t(le32(f, at + 4)), -1); // current selection first
    ASSERT_EQ(back.saved_selections.size(), 2u);
    EXPECT_EQ(back.saved_selections[1]->top, 10);
}

TEST(vlm_layout, path_block_is_always_full_size)
{
    tdocument doc = one_layer_document();
    const std::size_t without = encode_vlm(doc, {}).size();
    doc.path_count = 1;
    doc.path_points[0] = {2.5, -1};
    doc.path_points[1] = {9, 9}; // beyond the count: written as zeros
    const auto f = encode_vlm(doc, {});
    ASSERT_EQ(f.size(), without + 32772);
    EXPECT_EQ(f[525], 1);
    EXPECT_EQ(le32(f, without), 1u);
    EXPECT_EQ(text_at(f, without + 4 + 16, 16), std::string(16, '\0'));
    EXPECT_EQ(decode_vlm(f).path_points[0].x, 2.5);
}

TEST(vlm_thumbnail, size_follows_the_orientation)
{
    struct tcase {
        std::int32_t w, h, tw, th;
    } cases[] = {{300, 200, 150, 100}, {200, 300, 75, 112}, {100, 100, 150, 150},
                 {1000, 1, 150, 1},    {301, 2, 150, 1},    {3, 700, 1, 112}};
    for (const tcase& c : cases) {
        const tvlm_size size = vlm_thumbnail_size(c.w, c.h);
        EXPECT_EQ(size.width, c.tw) << c.w << "x" << c.h;
        EXPECT_EQ(size.height, c.th) << c.w << "x" << c.h;
    }
}

TEST(vlm_thumbnail, stored_preview_is_read_back_and_missing_one_gives_placeholder)
{
    scratch_folder folder;
    tdocument doc = create_document("thumb");
    add_background(doc, grey(450, 300, 90), "Background");
    tvlm_write_options options;
    options.include_thumbnail = true;
    write_vlm(doc, folder.file("with.vlm"), options);
    write_vlm(doc, folder.file("without.vlm"), {});

    Tfbitmap thumbnail;
    ASSERT_TRUE(read_vlm_thumbnail(folder.file("with.vlm"), thumbnail));
    EXPECT_EQ(thumbnail.width(), 150);
    EXPECT_EQ(thumbnail.height(), 100);
    EXPECT_NEAR(thumbnail.pixel(75, 50)[green_byte], 90, 1);

    EXPECT_FALSE(read_vlm_thumbnail(folder.file("without.vlm"), thumbnail, 0x102030));
    EXPECT_EQ(thumbnail.width(), 150);
    EXPECT_EQ(thumbnail.height(), 112);
    EXPECT_EQ(thumbnail.pixel(0, 0)[red_byte], 0x30);

    // A preview offset pointing past the end also gives the placeholder.
    auto bytes = test::run_command("cat " + folder.file("with.vlm"));
    std::vector<std::uint8_t> f(bytes.begin(), bytes.end());
    put32(f, 528, std::uint32_t(f.size() - 10));
    std::ofstream(folder.file("bad.vlm"), std::ios::binary).write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
    EXPECT_FALSE(read_vlm_thumbnail(folder.file("bad.vlm"), thumbnail));
    EXPECT_THROW(read_vlm_thumbnail(folder.file("absent.vlm"), thumbnail), velmora_error);
}

TEST(vlm_files, size_and_snapshot_background_read_only_what_they_need)
{
    scratch_folder folder;
    const tdocument doc = rich_document();
    write_vlm_snapshot(doc, folder.file("snap"), {});
    const tvlm_size size = read_vlm_size(folder.file("snap"));
    EXPECT_EQ(size.width, 7);
    EXPECT_EQ(size.height, 5);
    Tfbitmap background;
    read_vlm_background(folder.file("snap"), background);
    EXPECT_TRUE(same_pixels(background, doc.layers[0]->bitmap));
    // The snapshot is the same file an uncompressed save writes.
    const std::string snapshot = test::run_command("cat " + folder.file("snap"));
    const auto encoded = encode_vlm(doc, {});
    EXPECT_EQ(snapshot, std::string(encoded.begin(), encoded.end()));
    // Large enough for the background to be packed beside the other streams.
    tdocument large = create_document("large");
    add_background(large, random_bitmap(601, 700, 8), "Background");
    add_layer(large, random_bitmap(300, 200, 9, true), "top", 255, 5, 5, normal);
    write_vlm_snapshot(large, folder.file("large"), {});
    const auto large_encoded = encode_vlm(large, {});
    EXPECT_TRUE(test::run_command("cat " + folder.file("large")) ==
                std::string(large_encoded.begin(), large_encoded.end()));
    EXPECT_TRUE(same_pixels(decode_vlm(large_encoded).layers[0]->bitmap, large.layers[0]->bitmap));
    tdocument reloaded = one_layer_document();
    std::vector<Tfbitmap> spare;
    read_vlm_snapshot(reloaded, folder.file("large"), spare);
    expect_same_document(large, reloaded);
    EXPECT_THROW(write_vlm_snapshot(doc, folder.file("snap"), {}), velmora_error); // never overwrites

    tvlm_write_options packed;
    packed.compressed = true;
    write_vlm(doc, folder.file("packed.vlm"), packed);
    EXPECT_THROW(read_vlm_background(folder.file("packed.vlm"), background), velmora_error);
}

TEST(vlm_files, snapshot_loads_into_spare_rasters_and_hands_back_the_replaced_ones)
{
    scratch_folder folder;
    const tdocument rich = rich_document();
    tvlm_view_state stored;
    stored.selection_visible = 0;
    write_vlm_snapshot(rich, folder.file("snap"), stored);

    tdocument doc = rich_document();
    doc.layers[0]->bitmap.pixel(6, 4)[red_byte] ^= 0xFF;
    std::vector<Tfbitmap> spare;
    spare.emplace_back(4, 3); // the size of layer 1
    const std::uint8_t* reused = spare.back().bits();
    const std::uint8_t* replaced = doc.layers[0]->bitmap.bits();
    const tvlm_view_state view = read_vlm_snapshot(doc, folder.file("snap"), spare);
    expect_same_document(rich, doc);
    EXPECT_EQ(view.selection_visible, 0);
    EXPECT_EQ(doc.layers[1]->bitmap.bits(), reused);
    // Three layers, one mask, the current selection and two saved ones.
    ASSERT_EQ(spare.size(), 7u);
    EXPECT_EQ(spare[0].bits(), replaced);

    auto bytes = test::run_command("cat " + folder.file("snap"));
    bytes.resize(bytes.size() - 1);
    std::ofstream(folder.file("cut"), std::ios::binary) << bytes;
    const tcalque* before = doc.layers[0].get();
    EXPECT_THROW(read_vlm_snapshot(doc, folder.file("cut"), spare), velmora_error);
    EXPECT_EQ(doc.layers[0].get(), before);
    expect_same_document(rich, doc);
}

void expect_read_error(const std::vector<std::uint8_t>& f, const tvlm_read_limits& limits = {})
{
    try {
        decode_vlm(f, nullptr, limits);
        ADD_FAILURE() << "damaged file accepted";
    } catch (const velmora_error& error) {
        EXPECT_EQ(error.key(), "@ch_read_error") << error.what();
    }
}

TEST(vlm_damage, every_truncation_is_refused)
{
    for (bool compressed : {false, true}) {
        tvlm_write_options options;
        options.compressed = compressed;
        tdocument doc = rich_document();
        doc.path_count = 0;
        const auto f = encode_vlm(doc, options);
        for (std::size_t n = 0; n < f.size(); n += (n < 1200 ? 1 : 97)) {
            SCOPED_TRACE(n);
            expect_read_error(std::vector<std::uint8_t>(f.begin(), f.begin() + std::ptrdiff_t(n)));
        }
    }
}

TEST(vlm_damage, lying_counts_and_sizes_are_refused)
{
    const auto good = encode_vlm(rich_document(), {});
    struct tcase {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        int bytes;
    } cases[] = {
        {"layer count", 518, 65535, 2},
        {"current layer", 520, 3, 2},
        {"no layers", 518, 0, 2},
        {"header width", 514, 8, 2},
        {"not ours", 512, 0, 1},
        {"compression byte", 524, 2, 1},
        {"stream beyond the file", 784 + 92, 0xFFFFFFFF, 4},
        {"name length", 784 + 20, 63, 1},
        {"text count", 552, 2, 1},
    };
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = good;
        for (int i = 0; i < c.bytes; ++i)
            f[c.at + std::size_t(i)] = std::uint8_t(c.value >> (8 * i));
        expect_read_error(f);
    }

    // Path count above 2048 and a text record naming a missing layer.
    auto f = good;
    const std::size_t text = f.size() - 1108;
    const std::size_t path = text - 32772;
    put32(f, path, 2049);
    expect_read_error(f);
    f = good;
    f[text] = 9;
    expect_read_error(f);
    f = good;
    f[text + 2] = 0x04; // 1022 + 256 characters
    expect_read_error(f);
}

TEST(vlm_damage, flipped_bytes_never_crash)
{
    tdocument doc = rich_document();
    doc.path_count = 3;
    for (bool compressed : {false, true}) {
        tvlm_write_options options;
        options.compressed = compressed;
        const auto good = encode_vlm(doc, options);
        // Each compressed decode sets up a bzip2 decoder: fewer, sparser flips there.
        const std::size_t near = compressed ? 3 : 1;
        const std::size_t far = compressed ? 101 : 13;
        for (std::size_t at = 0; at < good.size(); at += (at < 1400 ? near : far)) {
            auto f = good;
            f[at] ^= 0xA5;
            try {
                decode_vlm(f);
            } catch (const velmora_error&) {
            }
        }
    }
}

TEST(vlm_damage, bzip2_bomb_stops_at_the_limit_before_unpacking)
{
    // A 2000 x 2000 zero picture packs into a few hundred bytes.
    Tfbitmap blank(2000, 2000);
    blank.fill_pixels(0, 0, 0, 0);
    tdocument doc = one_layer_document();
    add_layer(doc, blank, "blank", 255, 0, 0, normal);
    tvlm_write_options options;
    options.compressed = true;
    const auto f = encode_vlm(doc, options);
    ASSERT_LT(f.size(), 4000u);
    tvlm_read_limits limits;
    limits.max_stream_bytes = 1 << 20;
    expect_read_error(f, limits);
    limits = {};
    limits.max_total_bytes = 1 << 20;
    expect_read_error(f, limits);
    EXPECT_EQ(decode_vlm(f).layers[1]->bitmap.width(), 2000); // within the default limits it is a fine file

    // A stream whose BMP header promises far more than the stream delivers.
    std::vector<std::uint8_t> bmp = save_bmp(Tfbitmap(1, 1), bmp_depth::bits32);
    put32(bmp, 18, 20000);
    put32(bmp, 22, 20000);
    std::vector<std::uint8_t> packed(1000);
    auto packed_size = static_cast<unsigned int>(packed.size());
    ASSERT_EQ(BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(packed.data()), &packed_size,
                                       reinterpret_cast<char*>(bmp.data()), static_cast<unsigned int>(bmp.size()), 9,
                                       0, 0),
              BZ_OK);
    auto liar = encode_vlm(one_layer_document(), options);
    const std::size_t stream = le32(liar, 784 + 92);
    liar.erase(liar.begin() + 884, liar.begin() + std::ptrdiff_t(884 + stream));
    liar.insert(liar.begin() + 884, packed.begin(), packed.begin() + packed_size);
    put32(liar, 784 + 92, packed_size);
    expect_read_error(liar);
}

TEST(vlm_files, failed_read_leaves_the_open_document_alone)
{
    scratch_folder folder;
    write_vlm(rich_document(), folder.file("doc.vlm"), {});
    auto bytes = test::run_command("cat " + folder.file("doc.vlm"));
    bytes.resize(bytes.size() - 500);
    std::ofstream(folder.file("cut.vlm"), std::ios::binary) << bytes;

    tdocument doc = one_layer_document();
    doc.file_name = "kept";
    const tcalque* before = doc.layers[0].get();
    EXPECT_THROW(read_vlm(doc, folder.file("cut.vlm")), velmora_error);
    ASSERT_EQ(doc.layers.size(), 1u);
    EXPECT_EQ(doc.layers[0].get(), before);

    doc.modified = 1;
    read_vlm(doc, folder.file("doc.vlm"));
    expect_same_document(rich_document(), doc);
    EXPECT_EQ(doc.file_name, "kept"); // window fields are not the file's
    EXPECT_EQ(doc.modified, 1);
}

TEST(vlm_files, failed_save_keeps_the_file_it_was_replacing)
{
    scratch_folder folder;
    const std::string target = folder.file("keep.vlm");
    write_vlm(one_layer_document(), target, {});
    const std::string original = test::run_command("cat " + target);

    // The disk "fills up" after 64 KiB.
    tdocument big = create_document("big");
    add_background(big, random_bitmap(300, 300, 5), "Background");
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit small = old_limit;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(write_vlm(big, target, {}), velmora_error);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(test::run_command("cat " + target), original);
    EXPECT_EQ(test::run_command("ls -A " + folder.file("")), "keep.vlm\n"); // no temporary left behind
}

TEST(vlm_files, save_and_open_show_their_progress)
{
    struct trecorder : tprogress_view {
        std::vector<std::string> texts;
        std::vector<int> positions;
        void show_text(const std::string& text) override { texts.push_back(text); }
        void show_gauge(gauge_style, int position) override { positions.push_back(position); }
    } recorder;
    scratch_folder folder;
    set_progress_view(&recorder);
    tvlm_write_options options;
    options.show_progress = true;
    options.compressed = true; // opening then unpacks through the file reader's own limits
    options.progress_caption = "Saving VLM format";
    write_vlm(rich_document(), folder.file("p.vlm"), options);
    ASSERT_FALSE(recorder.texts.empty());
    EXPECT_EQ(recorder.texts.front(), "  Saving VLM format");
    EXPECT_EQ(recorder.texts.back(), "");
    EXPECT_NE(std::find(recorder.positions.begin(), recorder.positions.end(), 100), recorder.positions.end());

    recorder.texts.clear();
    tdocument doc = create_document("p");
    const std::string caption = "Loading VLM format";
    read_vlm(doc, folder.file("p.vlm"), &caption);
    set_progress_view(nullptr);
    ASSERT_FALSE(recorder.texts.empty());
    EXPECT_EQ(recorder.texts.front(), "  Loading VLM format");
    expect_same_document(rich_document(), doc);
}

TEST(vlm_text, code_page_conversion)
{
    EXPECT_EQ(utf8_to_cp1252("A\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD"), "A\xE9\x80?");
    EXPECT_EQ(cp1252_to_utf8("A\xE9\x80\x81"), "A\xC3\xA9\xE2\x82\xAC?");
    EXPECT_EQ(utf8_to_cp1252("\xC3"), "?"); // cut sequence
}

} // namespace
} // namespace velmora
