#include "document/blend.h"
#include "document/navigator.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

constexpr TColor shadow = 0x00808080;
constexpr TColor light = 0x00F0F0F0;

std::uint32_t colour_at(const Tfbitmap& picture, std::int32_t x, std::int32_t y)
{
    const std::uint8_t* p = picture.pixel(x, y);
    return make_color(p[red_byte], p[green_byte], p[blue_byte]);
}

TEST(Navigator, EmptyDocumentShowsTheBorderAroundTheWindowColour)
{
    const tdocument doc = create_document("empty");
    const Tfbitmap picture = navigator_picture(doc, shadow, light);
    ASSERT_EQ(picture.width(), 120);
    ASSERT_EQ(picture.height(), 110);
    EXPECT_EQ(colour_at(picture, 0, 50), shadow);
    EXPECT_EQ(colour_at(picture, 50, 0), shadow);
    EXPECT_EQ(colour_at(picture, 119, 0), light); // the light edges cover the shared corners
    EXPECT_EQ(colour_at(picture, 0, 109), light);
    EXPECT_EQ(colour_at(picture, 60, 55), light);
}

// The content samples the document at x * width / navigator width and mixes
// every upper layer in, hidden or not, as if it had no mask.
TEST(Navigator, ContentBlendsAHiddenLayerAndIgnoresItsMask)
{
    tdocument doc = create_document("nav");
    Tfbitmap background(240, 120);
    for (std::int32_t y = 0; y < background.height(); ++y)
        for (std::int32_t x = 0; x < background.width(); ++x) {
            std::uint8_t* p = background.pixel(x, y);
            p[blue_byte] = std::uint8_t(x);
            p[green_byte] = std::uint8_t(y * 2);
            p[red_byte] = std::uint8_t(x + y);
        }
    add_background(doc, background, "Background");
    Tfbitmap upper(41, 31);
    for (std::int32_t y = 0; y < upper.height(); ++y)
        for (std::int32_t x = 0; x < upper.width(); ++x) {
            std::uint8_t* p = upper.pixel(x, y);
            p[blue_byte] = std::uint8_t(200 - x);
            p[green_byte] = std::uint8_t(60 + y);
            p[red_byte] = 90;
            p[alpha_byte] = std::uint8_t(x * 6);
        }
    tcalque& layer = add_layer(doc, upper, "upper", 128, 11, 20, multiply);
    layer.visible = 0;
    layer.mask = std::make_unique<tcalque>();
    layer.mask->bitmap = Tfbitmap(41, 31);
    layer.mask->bitmap.fill_pixels(0, 0, 0, 255); // would hide the whole layer
    layer.mask->left = 11;
    layer.mask->top = 20;
    layer.mask_enabled = 1;

    const Tfbitmap picture = navigator_picture(doc, shadow, light);
    ASSERT_EQ(picture.width(), 120);
    ASSERT_EQ(picture.height(), 60);
    int mixed = 0;
    for (std::int32_t y = 1; y < picture.height() - 1; ++y)
        for (std::int32_t x = 1; x < picture.width() - 1; ++x) {
            const std::int32_t dx = x * 2, dy = y * 2;
            const std::uint8_t* below = background.pixel(dx, dy);
            std::uint8_t expected[3] = {below[0], below[1], below[2]};
            const std::int32_t lx = dx - 11, ly = dy - 20;
            if (lx >= 0 && lx < upper.width() && ly >= 0 && ly < upper.height()) {
                const std::uint8_t* s = upper.pixel(lx, ly);
                const float a = pixel_alpha(s[alpha_byte], opacity_factor(128));
                for (int c = 0; c < 3; ++c)
                    expected[c] = blend_channel(multiply, s[c], expected[c], a);
                mixed += expected[0] != below[0];
            }
            const std::uint8_t* got = picture.pixel(x, y);
            ASSERT_EQ(got[0], expected[0]) << x << "," << y;
            ASSERT_EQ(got[1], expected[1]) << x << "," << y;
            ASSERT_EQ(got[2], expected[2]) << x << "," << y;
        }
    EXPECT_GT(mixed, 100);
}

TEST(Navigator, FrameFollowsTheScrollBars)
{
    const auto view = [](std::int32_t w, std::int32_t h, double z, std::int32_t sx, std::int32_t sy) {
        tview_mapping m{z};
        return tnavigator_view{z, size_view(w, h, z, 500, 400, 0, m), sx, sy};
    };
    const struct {
        const char* what;
        std::int32_t width, height;
        tnavigator_view view;
        trect frame;
    } cases[] = {
        {"fits: 1 pixel inside the edge", 100, 50, view(100, 50, 1.0, 0, 0), {1, 1, 119, 59}},
        // 100 x 100 at 2000 %: the view is 484 x 384 of 2000 x 2000, 110 / 2000 per zoomed pixel.
        {"both bars at the start", 100, 100, view(100, 100, 20.0, 0, 0), {0, 0, 26, 21}},
        {"both bars scrolled", 100, 100, view(100, 100, 20.0, 1000, 400), {55, 22, 81, 43}},
        {"only the width scrolls: full height", 800, 100, view(800, 100, 1.0, 0, 0), {0, 0, 72, 15}},
        // A view far smaller than a navigator pixel, scrolled to the end.
        {"at least 2 pixels, inside the navigator", 5000, 5000, view(5000, 5000, 20.0, 99516, 0), {108, 0, 110, 2}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(navigator_frame(c.width, c.height, c.view), c.frame) << c.what;
}

TEST(Navigator, ClickCentresTheViewWithinTheScrollRange)
{
    // 100 x 100 at 2000 % in a 484-pixel view: 1516 pixels to scroll, 110-pixel navigator.
    const struct {
        std::int32_t at;
        tnavigator_jump jump;
    } cases[] = {
        {55, {758, 38.0f}},    // the centre: 2000 * 55 / 110 - 242, origin round(37.9)
        {0, {0, 0.0f}},        // before the start: the bar stops at 0
        {110, {1516, 75.8f}},  // past the end: the origin stops at the last column
    };
    for (const auto& c : cases)
        EXPECT_EQ(navigator_jump(c.at, 110, 100, 20.0, 484, 1516), c.jump) << c.at;
    // An axis without a scroll bar stays at the start.
    EXPECT_EQ(navigator_jump(30, 110, 100, 1.0, 100, 0), (tnavigator_jump{0, 0.0f}));
}

TEST(Navigator, SliderOriginCentresTheImage)
{
    EXPECT_EQ(slider_origin(100, 20.0), 48.0f); // 47.5: halves go to the even neighbour
    EXPECT_EQ(slider_origin(18, 2.0), 4.0f);    // 4.5
    EXPECT_EQ(slider_origin(101, 3.0), 34.0f);
    EXPECT_EQ(slider_origin(100, 1.0), 0.0f);
    EXPECT_EQ(slider_origin(100, 0.5), 0.0f); // never before the start
}

TEST(Navigator, ArrowKeysMoveTheCurrentLayerOrItsMask)
{
    tdocument doc = create_document("keys");
    add_background(doc, 50, 40, 0x00FFFFFF, "Background");
    Tfbitmap pixels(10, 10);
    pixels.fill_pixels(0, 0, 255, 255);
    tcalque& layer = add_layer(doc, pixels, "upper", 255, 5, 5, normal);

    EXPECT_EQ(nudge_current_layer(doc, 10, 0), (trect{5, 5, 25, 15}));
    EXPECT_EQ(layer.left, 15);
    EXPECT_EQ(doc.modified, 1);
    // Partly out of the document: only the part inside is composited again.
    EXPECT_EQ(nudge_current_layer(doc, 0, -10), (trect{15, 0, 25, 15}));
    EXPECT_EQ(layer.top, -5);

    // While the mask is edited the mask moves and the layer stays.
    doc.mask_editing = 1;
    EXPECT_TRUE(nudge_current_layer(doc, 1, 1).empty()); // no mask: nothing to move
    layer.mask = std::make_unique<tcalque>();
    layer.mask->bitmap = Tfbitmap(10, 10);
    layer.mask->left = 15;
    layer.mask->top = 5;
    EXPECT_EQ(nudge_current_layer(doc, -1, 0), (trect{14, 5, 25, 15}));
    EXPECT_EQ(layer.mask->left, 14);
    EXPECT_EQ(layer.left, 15);

    // The background never moves.
    doc.mask_editing = 0;
    set_current_layer(doc, 0);
    EXPECT_TRUE(nudge_current_layer(doc, 1, 0).empty());
    EXPECT_EQ(doc.layers[0]->left, 0);
}

} // namespace
} // namespace velmora
