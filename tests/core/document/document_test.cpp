#include "document/document.h"
#include "document/error.h"
#include "document/layer_operations.h"

#include <gtest/gtest.h>

#include <cstring>

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
