#include "document/document.h"
#include "document/error.h"
#include "document/layer_operations.h"
#include "document/rounding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace velmora {
namespace {

Tfbitmap solid(std::int32_t w, std::int32_t h, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a)
{
    Tfbitmap bitmap(w, h);
    bitmap.fill_pixels(b, g, r, a);
    return bitmap;
}

TEST(Document, NewDocumentHasOneOpaqueBackgroundThatIsCurrentAndSelected)
{
    tdocument doc = create_document("Untitled 1");
    EXPECT_TRUE(doc.layers.empty());
    add_background(doc, 5, 3, make_color(1, 2, 3), "Background");
    ASSERT_EQ(doc.layers.size(), 1u);
    const tcalque& bg = *doc.layers[0];
    EXPECT_EQ(doc.width(), 5);
    EXPECT_EQ(doc.height(), 3);
    EXPECT_EQ(doc.current_layer, 0);
    EXPECT_EQ(bg.selected, 1);
    EXPECT_EQ(bg.preserve_transparency, 1);
    EXPECT_EQ(bg.opacity, 255);
    const std::uint8_t expected[4] = {3, 2, 1, 255};
    EXPECT_EQ(std::memcmp(bg.bitmap.pixel(4, 2), expected, 4), 0);
    EXPECT_EQ(doc.zoom_index, 11);
    EXPECT_FALSE(doc.modified);
}

TEST(Document, AddLayerCopiesAllFourBytesAndBecomesCurrent)
{
    tdocument doc = create_document("d");
    add_background(doc, 4, 4, 0, "Background");
    const Tfbitmap invisible = solid(2, 2, 10, 20, 30, 0);
    tcalque& layer = add_layer(doc, invisible, "ghost", 200, -1, 3, multiply);
    EXPECT_EQ(doc.current_layer, 1);
    EXPECT_EQ(layer.selected, 1);
    EXPECT_EQ(doc.layers[0]->selected, 0);
    EXPECT_EQ(layer.opacity, 200);
    EXPECT_EQ(layer.blend_mode, multiply);
    EXPECT_EQ(layer.preserve_transparency, 0);
    EXPECT_EQ(layer.rect(), (trect{-1, 3, 1, 5}));
    EXPECT_EQ(std::memcmp(layer.bitmap.bits(), invisible.bits(), invisible.byte_size()), 0);
}

TEST(Document, SetCurrentLayerIgnoresAPreviousIndexBeyondTheList)
{
    tdocument doc = create_document("d");
    add_background(doc, 4, 4, 0, "Background");
    add_layer(doc, solid(1, 1, 0, 0, 0, 255), "a", 255, 0, 0, normal);
    doc.current_layer = 7; // as after a deletion
    set_current_layer(doc, 0);
    EXPECT_EQ(doc.layers[0]->selected, 1);
    EXPECT_EQ(doc.layers[1]->selected, 1); // untouched
}

TEST(Document, ExtendLayerToDocumentKeepsOldPixelsAndMakesTheRestTransparent)
{
    tdocument doc = create_document("d");
    add_background(doc, 6, 4, 0, "Background");
    tcalque& layer = add_layer(doc, solid(2, 2, 7, 8, 9, 200), "a", 255, 2, -1, normal);
    extend_layer_to_document(doc, 1);
    EXPECT_EQ(layer.rect(), (trect{0, -1, 6, 4}));
    EXPECT_EQ(layer.bitmap.pixel(2, 0)[alpha_byte], 200);
    EXPECT_EQ(layer.bitmap.pixel(3, 1)[red_byte], 9);
    const std::uint8_t outside[4] = {7, 8, 9, 0}; // the old top-left colour, transparent
    EXPECT_EQ(std::memcmp(layer.bitmap.pixel(0, 0), outside, 4), 0);
    EXPECT_EQ(std::memcmp(layer.bitmap.pixel(5, 4), outside, 4), 0);

    // A layer already covering the document, and the background, stay as they are.
    const Tfbitmap before = layer.bitmap;
    extend_layer_to_document(doc, 1);
    extend_layer_to_document(doc, 0);
    extend_layer_to_document(doc, 5);
    EXPECT_EQ(std::memcmp(layer.bitmap.bits(), before.bits(), before.byte_size()), 0);
    EXPECT_EQ(doc.layers[0]->bitmap.width(), 6);
}

TEST(Document, ExtendWhileMaskEditingGrowsTheMaskWithWhite)
{
    tdocument doc = create_document("d");
    add_background(doc, 4, 4, 0, "Background");
    tcalque& layer = add_layer(doc, solid(4, 4, 0, 0, 0, 255), "a", 255, 0, 0, normal);
    layer.mask = std::make_unique<tcalque>();
    layer.mask->bitmap = solid(2, 2, 0, 0, 0, 255);
    layer.mask->left = 1;
    layer.mask->top = 1;
    doc.mask_editing = 1;
    extend_layer_to_document(doc, 1);
    EXPECT_EQ(layer.mask->rect(), (trect{0, 0, 4, 4}));
    EXPECT_EQ(layer.mask->bitmap.pixel(0, 0)[red_byte], 255);
    EXPECT_EQ(layer.mask->bitmap.pixel(1, 1)[red_byte], 0);
    EXPECT_EQ(layer.bitmap.width(), 4);
}

TEST(Document, GrowLayerAddsTransparentMargins)
{
    tdocument doc = create_document("d");
    add_background(doc, 4, 4, 0, "Background");
    tcalque& layer = add_layer(doc, solid(2, 1, 1, 2, 3, 255), "a", 255, 5, 6, normal);
    grow_layer(doc, layer, 3, 2, layer.left, layer.top);
    EXPECT_EQ(layer.rect(), (trect{2, 4, 10, 9}));
    EXPECT_EQ(layer.bitmap.pixel(3, 2)[alpha_byte], 255);
    EXPECT_EQ(layer.bitmap.pixel(0, 0)[alpha_byte], 0);
    grow_layer(doc, *doc.layers[0], 3, 3, 0, 0);
    EXPECT_EQ(doc.width(), 4);
    EXPECT_THROW(grow_layer(doc, layer, max_raster_side, 0, 0, 0), velmora_error);
}

TEST(LayerOperations, DuplicateNames)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Sky", "Sky (copy)"},          {"Sky (copy)", "Sky (copy2)"},   {"Sky (copy2)", "Sky (copy3)"},
        {"Sky (copy9)", "Sky (copy10)"}, {"A (copy) B", "A (copy) B (copy)"}, {"Sky (copyx)", "Sky (copyx) (copy)"},
        {"", " (copy)"},
    };
    for (auto [name, expected] : cases)
        EXPECT_EQ(duplicate_name(name, " (copy)", " (copy"), expected) << name;
}

TEST(LayerOperations, DuplicateAndDelete)
{
    tdocument doc = create_document("d");
    add_background(doc, 4, 4, 0, "Background");
    tcalque& sky = add_layer(doc, solid(2, 2, 1, 2, 3, 100), "Sky", 40, 1, 2, screen);
    sky.preserve_transparency = 1;
    sky.visible = 0;
    sky.mask = std::make_unique<tcalque>();
    sky.text.is_text = 1;
    add_layer(doc, solid(1, 1, 0, 0, 0, 255), "Top", 255, 0, 0, normal);
    set_current_layer(doc, 1);

    duplicate_layer(doc, "Sky (copy)");
    ASSERT_EQ(doc.layers.size(), 4u);
    EXPECT_EQ(doc.current_layer, 2);
    const tcalque& copy = *doc.layers[2];
    EXPECT_EQ(copy.name, "Sky (copy)");
    EXPECT_EQ(copy.rect(), sky.rect());
    EXPECT_EQ(copy.blend_mode, screen);
    EXPECT_EQ(copy.opacity, 255);
    EXPECT_EQ(copy.preserve_transparency, 1);
    EXPECT_EQ(copy.visible, 1);
    EXPECT_FALSE(copy.mask);
    EXPECT_EQ(copy.text.is_text, 0);
    EXPECT_EQ(std::memcmp(copy.bitmap.bits(), sky.bitmap.bits(), sky.bitmap.byte_size()), 0);
    EXPECT_EQ(doc.layers[1]->selected, 0);
    EXPECT_EQ(doc.layers[3]->name, "Top");

    doc.mask_editing = 1;
    ASSERT_TRUE(delete_current_layer(doc));
    EXPECT_EQ(doc.layers.size(), 3u);
    EXPECT_EQ(doc.current_layer, 1);
    EXPECT_EQ(doc.layers[1]->selected, 1);
    EXPECT_EQ(doc.layers[2]->selected, 0);
    EXPECT_EQ(doc.mask_editing, 0);

    set_current_layer(doc, 0);
    EXPECT_FALSE(delete_current_layer(doc));
    EXPECT_EQ(doc.layers.size(), 3u);
}

TEST(LayerOperations, NewLayerIsTransparentAndGoesAboveTheCurrentOne)
{
    tdocument doc = create_document("d");
    add_background(doc, 5, 3, 0, "Background");
    add_layer(doc, solid(1, 1, 0, 0, 0, 255), "Top", 255, 0, 0, normal);
    set_current_layer(doc, 0);
    add_new_layer(doc, "new layer");
    ASSERT_EQ(doc.layers.size(), 3u);
    EXPECT_EQ(doc.current_layer, 1);
    const tcalque& added = *doc.layers[1];
    EXPECT_EQ(added.rect(), (trect{0, 0, 5, 3}));
    EXPECT_EQ(added.opacity, 255);
    EXPECT_EQ(added.blend_mode, normal);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(added.bitmap.pixel(x, y)[alpha_byte], 0);
    EXPECT_EQ(doc.layers[2]->name, "Top");

    append_layer_copy(doc, "new layer (copy)");
    EXPECT_EQ(doc.layers.back()->name, "new layer (copy)");
    EXPECT_EQ(doc.current_layer, 1);
}

TEST(LayerOperations, ReorderDropFollowsTheHalfRowRule)
{
    struct tcase {
        std::int32_t dragged, target, y, index;
        bool below;
    };
    // Row height 32: y 17 and more is the lower half.
    const tcase cases[] = {
        {1, 3, 5, 3, false}, {3, 1, 5, 2, false}, {3, 1, 20, 1, true}, {1, 3, 20, 2, true},
        {1, 3, 16, 3, false}, {1, 3, 17, 2, true}, // the middle belongs to the upper half
        {3, 0, 5, 1, false},  // onto the background's upper half: just above it
        {3, 0, 20, -1, true}, // its lower half: refused
        {2, 1, 5, -1, false}, {2, 3, 20, -1, true},
        {2, 2, 5, -1, false}, {2, 2, 20, -1, true}, // back onto its own row
        {0, 2, 5, -1, false}, // the background never moves
    };
    for (const tcase& c : cases) {
        const treorder_drop drop = reorder_drop(c.dragged, c.target, c.y, 32);
        EXPECT_EQ(drop.index, c.index) << c.dragged << " onto " << c.target << " at " << c.y;
        if (drop.index >= 0) {
            EXPECT_EQ(drop.below, c.below) << c.dragged << " onto " << c.target << " at " << c.y;
        }
    }

    tdocument doc = create_document("d");
    add_background(doc, 2, 2, 0, "Background");
    for (const char* name : {"A", "B", "C"})
        add_layer(doc, solid(1, 1, 0, 0, 0, 255), name, 255, 0, 0, normal);
    set_current_layer(doc, 1);
    move_layer(doc, 1, 3);
    EXPECT_EQ(doc.layers[1]->name, "B");
    EXPECT_EQ(doc.layers[3]->name, "A");
    EXPECT_EQ(doc.current_layer, 1);
}

TEST(LayerOperations, MasksAreCreatedWhiteAndAppliedWhereTheyLie)
{
    tdocument doc = create_document("d");
    add_background(doc, 400, 300, 0, "Background");
    add_layer(doc, solid(300, 200, 9, 9, 9, 200), "L", 255, 40, 10, normal);
    create_layer_mask(doc);
    const tcalque& layer = *doc.layers[1];
    ASSERT_TRUE(layer.mask);
    EXPECT_EQ(layer.mask->rect(), (trect{40, 10, 340, 210}));
    EXPECT_EQ(layer.mask_enabled, 1);
    EXPECT_EQ(layer.mask->bitmap.pixel(299, 199)[red_byte], 255);
    EXPECT_EQ(layer.mask->bitmap.pixel(0, 0)[alpha_byte], 255);

    // A smaller mask, grey 100, over part of the layer: 200 * 100 / 255 = 78.4.
    layer.mask->bitmap = solid(10, 10, 100, 100, 100, 255);
    layer.mask->left = 35;
    layer.mask->top = 5;
    doc.mask_editing = 1;
    remove_layer_mask(doc, true);
    EXPECT_FALSE(layer.mask);
    EXPECT_EQ(layer.mask_enabled, 0);
    EXPECT_EQ(doc.mask_editing, 0);
    EXPECT_EQ(layer.bitmap.pixel(0, 0)[alpha_byte], 78);
    EXPECT_EQ(layer.bitmap.pixel(4, 4)[alpha_byte], 78);
    EXPECT_EQ(layer.bitmap.pixel(5, 4)[alpha_byte], 200);
    EXPECT_EQ(layer.bitmap.pixel(4, 5)[alpha_byte], 200);
}

TEST(LayerOperations, ApplyingAMaskRoundsLikeTheRule)
{
    tcalque layer;
    layer.bitmap = Tfbitmap(256, 1);
    layer.mask = std::make_unique<tcalque>();
    layer.mask->bitmap = Tfbitmap(256, 1);
    for (int m = 0; m < 256; ++m) {
        for (int a = 0; a < 256; ++a) {
            layer.bitmap.pixel(a, 0)[alpha_byte] = std::uint8_t(a);
            layer.mask->bitmap.pixel(a, 0)[red_byte] = std::uint8_t(m);
        }
        apply_layer_mask(layer);
        for (int a = 0; a < 256; ++a)
            ASSERT_EQ(layer.bitmap.pixel(a, 0)[alpha_byte], round_half_even((long double)a * m / 255)) << a << " " << m;
    }
}

TEST(LayerOperations, ThumbnailsSampleTheLayerOverACheckerboard)
{
    const std::tuple<int, int, int, int> sizes[] = {
        {400, 300, 34, 26}, {300, 400, 20, 26}, {100, 100, 26, 26}, {0, 0, 34, 26}, {100000, 1, 34, 1}};
    for (auto [w, h, tw, th] : sizes) {
        const tthumbnail_size size = thumbnail_size(w, h);
        EXPECT_EQ(size.width, tw) << w << "x" << h;
        EXPECT_EQ(size.height, th) << w << "x" << h;
    }

    tdocument doc = create_document("d");
    add_background(doc, 68, 52, 0, "Background");
    add_layer(doc, solid(34, 52, 1, 2, 3, 255), "Left half", 255, 0, 0, normal);
    const Tfbitmap picture = layer_thumbnail(doc, 1);
    ASSERT_EQ(picture.width(), 34);
    ASSERT_EQ(picture.height(), 26);
    const auto grey = [&](int x, int y) { return picture.pixel(x, y)[red_byte]; };
    EXPECT_EQ(grey(0, 5), 0);    // frame
    EXPECT_EQ(grey(33, 25), 0);  // frame
    EXPECT_EQ(grey(16, 5), 3);   // the layer's colour, document x 32
    EXPECT_EQ(grey(17, 5), 192); // past the layer, square (4, 1): one odd
    EXPECT_EQ(grey(20, 5), 255); // (5, 1): both odd
    EXPECT_EQ(grey(20, 3), 192); // (5, 0): one odd
    EXPECT_EQ(grey(24, 3), 255); // (6, 0): both even

    create_layer_mask(doc);
    doc.layers[1]->mask->bitmap.pixel(0, 0)[red_byte] = 7;
    const Tfbitmap mask = mask_thumbnail(doc, 1);
    EXPECT_EQ(mask.pixel(1, 1)[red_byte], 255); // document (2, 2): white mask
    doc.layers[1]->mask->bitmap.pixel(2, 2)[red_byte] = 7;
    EXPECT_EQ(mask_thumbnail(doc, 1).pixel(1, 1)[red_byte], 7);
    EXPECT_EQ(mask_thumbnail(doc, 1).pixel(20, 5)[red_byte], 255); // off the mask
}

TEST(LayerOperations, OpacityLabelRoundsToAPercent)
{
    EXPECT_EQ(opacity_label("Opacity: ", 255), "Opacity: 100%");
    EXPECT_EQ(opacity_label("Opacity: ", 128), "Opacity: 50%");
    EXPECT_EQ(opacity_label("Opacity: ", 0), "Opacity: 0%");
    EXPECT_EQ(opacity_label("Opacity: ", 100), "Opacity: 39%");
}

TEST(Document, CloneLayerIsDeep)
{
    tcalque layer;
    layer.bitmap = solid(1, 1, 1, 1, 1, 1);
    layer.mask = std::make_unique<tcalque>();
    layer.mask->bitmap = solid(1, 1, 5, 5, 5, 255);
    auto copy = clone_layer(layer);
    copy->mask->bitmap.pixel(0, 0)[0] = 9;
    EXPECT_EQ(layer.mask->bitmap.pixel(0, 0)[0], 5);
}

} // namespace
} // namespace velmora
