#include "reference_composite.h"

#include "document/blend.h"
#include "document/blend_span.h"
#include "document/composite.h"
#include "document/layer_operations.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

namespace velmora {
namespace {

TEST(Blend, TableOfCases)
{
    const struct {
        std::uint8_t mode;
        int s, d;
        float a;
        int expected;
    } cases[] = {
        {normal, 200, 10, 1.0f, 200},      {normal, 200, 10, 0.0f, 10},      {normal, 100, 0, 0.5f, 50},
        {normal, 1, 0, 0.5f, 0},           {normal, 3, 0, 0.5f, 2},          {multiply, 128, 200, 1.0f, 100},
        {multiply, 255, 77, 1.0f, 77},     {screen, 0, 77, 1.0f, 77},        {screen, 255, 3, 1.0f, 255},
        {overlay, 255, 127, 1.0f, 254},    {overlay, 0, 128, 1.0f, 1},       {hard_light, 127, 255, 1.0f, 254},
        {hard_light, 128, 0, 1.0f, 1},     {average, 1, 0, 1.0f, 0},         {average, 3, 0, 1.0f, 2},
        // Difference and Exclusion as their names promise.
        {difference, 200, 100, 1.0f, 100}, {difference, 100, 200, 1.0f, 100}, {difference, 200, 100, 0.5f, 100},
        {exclusion, 255, 100, 1.0f, 155},  {exclusion, 0, 100, 1.0f, 100},   {exclusion, 128, 128, 1.0f, 127},
        {7 + 5, 200, 10, 1.0f, 200}, // beyond the list: Normal
    };
    for (const auto& c : cases)
        EXPECT_EQ(blend_channel(c.mode, c.s, c.d, c.a), c.expected)
            << "mode " << int(c.mode) << " s " << c.s << " d " << c.d << " a " << c.a;
}

TEST(Blend, EveryModeLeavesDAtZeroAlphaAndMatchesTheFormulas)
{
    std::mt19937 random(7);
    for (int mode = 0; mode < blend_mode_count; ++mode)
        for (int d = 0; d < 256; d += 5)
            for (int s = 0; s < 256; s += 3) {
                ASSERT_EQ(blend_channel(std::uint8_t(mode), s, d, 0.0f), d);
                const float a = pixel_alpha(std::uint8_t(random()), opacity_factor(std::int32_t(random() % 256)));
                ASSERT_EQ(blend_channel(std::uint8_t(mode), s, d, a), reference::blend(std::uint8_t(mode), s, d, a))
                    << mode << " " << s << " " << d << " " << a;
            }
}

TEST(Blend, ExactTiesRoundToEven)
{
    // a = 0.5 exactly: 1 * 0.5 is a tie for every mode whose target is d + 1.
    EXPECT_EQ(mix_exact(1, 1, 0, 0.5f), 0);
    EXPECT_EQ(mix_exact(3, 1, 0, 0.5f), 2);
    EXPECT_EQ(mix_exact(1, 1, 3, 0.5f), 4);
    EXPECT_EQ(mix_exact(255, 255, 2, 0.5f), 2);
    // A tie in a mode that divides by 255, through the fast path.
    EXPECT_EQ(blend_channel<multiply_blend>(255, 5, 0.5f), 5); // 5 + 0 * 0.5
    EXPECT_EQ(blend_channel<screen_blend>(0, 5, 0.5f), 5);
    EXPECT_EQ(blend_channel<exclusion_blend>(255, 0, 0.5f), 128); // 0 + 255 * 0.5 = 127.5
}

TEST(BlendSpan, EveryKernelSetGivesTheScalarFormulasBytes)
{
    std::mt19937 random(11);
    constexpr std::int32_t count = 1003; // not a multiple of any vector width
    std::vector<std::uint32_t> src(count), mask(count);
    std::vector<std::uint8_t> below(4 * count);
    for (std::int32_t i = 0; i < count; ++i) {
        src[std::size_t(i)] = std::uint32_t(random());
        if (i % 5 == 0)
            src[std::size_t(i)] &= 0x00FFFFFF; // transparent
        if (i % 7 == 0)
            src[std::size_t(i)] |= 0xFF000000; // opaque
        mask[std::size_t(i)] = std::uint32_t(random());
        for (int c = 0; c < 4; ++c)
            below[4 * std::size_t(i) + std::size_t(c)] = std::uint8_t(random());
    }
    const float factors[] = {opacity_factor(255), opacity_factor(128), opacity_factor(1), 0.5f / 255.0f};
    for (int mode = 0; mode < blend_mode_count; ++mode)
        for (float factor : factors)
            for (const std::uint32_t* levels : std::array<const std::uint32_t*, 2>{nullptr, mask.data()}) {
                std::vector<std::uint8_t> expected = below;
                for (std::int32_t i = 0; i < count; ++i) {
                    const auto* p = reinterpret_cast<const std::uint8_t*>(&src[std::size_t(i)]);
                    float a = pixel_alpha(p[alpha_byte], factor);
                    if (levels)
                        a = masked_alpha(a, std::uint8_t(levels[i] >> 16));
                    for (int c = 0; c < 3; ++c) {
                        std::uint8_t& d = expected[4 * std::size_t(i) + std::size_t(c)];
                        d = reference::blend(std::uint8_t(mode), p[c], d, a);
                    }
                }
                for (tkernel_set set : {tkernel_set::portable, tkernel_set::avx2, tkernel_set::avx512}) {
                    std::vector<std::uint8_t> out = below;
                    blend_span_for(std::uint8_t(mode), set)(src.data(), levels, factor, out.data(), count);
                    ASSERT_EQ(out, expected) << "mode " << mode << " factor " << factor << " mask " << bool(levels)
                                             << " set " << int(set);
                }
            }
}

// Every pair of channel values, through every mode and kernel set, at
// alphas that make exact halves (a = 1/2, 1/4 ...) and at ordinary ones.
TEST(BlendSpan, EveryChannelPairAgainstTheReference)
{
    std::vector<std::uint32_t> src(65536);
    std::vector<std::uint8_t> below(4 * src.size());
    for (std::uint32_t i = 0; i < src.size(); ++i) {
        const std::uint32_t s = i & 255, d = i >> 8;
        src[i] = s | (d << 8) | ((s ^ d) << 16) | (std::uint32_t(255 - (i * 7) % 256) << 24);
        const std::uint32_t pixel_below = d | (s << 8) | ((255 - s) << 16) | 0x5A000000u;
        std::memcpy(&below[4 * std::size_t(i)], &pixel_below, 4);
    }
    for (int mode = 0; mode < blend_mode_count; ++mode)
        for (const float factor : {opacity_factor(255), opacity_factor(200), 0.5f / 255.0f, 0.25f / 255.0f}) {
            std::vector<std::uint8_t> expected = below;
            for (std::size_t i = 0; i < src.size(); ++i) {
                const auto* p = reinterpret_cast<const std::uint8_t*>(&src[i]);
                const float a = pixel_alpha(p[alpha_byte], factor);
                for (std::size_t c = 0; c < 3; ++c)
                    expected[4 * i + c] = reference::blend(std::uint8_t(mode), p[c], expected[4 * i + c], a);
            }
            for (tkernel_set set : {tkernel_set::portable, tkernel_set::avx2, tkernel_set::avx512}) {
                std::vector<std::uint8_t> out = below;
                blend_span_for(std::uint8_t(mode), set)(src.data(), nullptr, factor, out.data(),
                                                        std::int32_t(src.size()));
                ASSERT_EQ(out, expected) << "mode " << mode << " factor " << factor << " set " << int(set);
            }
        }
}

// A layer of random pixels; about a third fully transparent, a third opaque.
Tfbitmap random_pixels(std::mt19937& random, std::int32_t w, std::int32_t h)
{
    Tfbitmap b(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            std::uint8_t* p = b.pixel(x, y);
            for (int c = 0; c < 3; ++c)
                p[c] = std::uint8_t(random());
            const unsigned kind = random() % 3;
            p[alpha_byte] = kind == 0 ? 0 : kind == 1 ? 255 : std::uint8_t(random());
        }
    return b;
}

tdocument random_document(std::uint32_t seed, bool masks)
{
    std::mt19937 random(seed);
    tdocument doc = create_document("random");
    add_background(doc, random_pixels(random, 37, 23), "Background");
    for (int mode = 0; mode < blend_mode_count; ++mode) {
        const std::int32_t w = 5 + std::int32_t(random() % 40), h = 5 + std::int32_t(random() % 30);
        tcalque& layer = add_layer(doc, random_pixels(random, w, h), "layer", std::int32_t(random() % 256),
                                   std::int32_t(random() % 50) - 15, std::int32_t(random() % 40) - 12,
                                   std::uint8_t(mode));
        layer.visible = random() % 5 != 0;
        if (masks && mode % 2 == 0) {
            layer.mask = std::make_unique<tcalque>();
            layer.mask->bitmap = random_pixels(random, w - 2, h + 3);
            layer.mask->left = layer.left + 2;
            layer.mask->top = layer.top - 1;
            layer.mask_enabled = random() % 4 != 0;
        }
    }
    return doc;
}

TEST(Composite, FlattenMatchesTheReferenceForEveryModeWithAndWithoutMasks)
{
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        const tdocument doc = random_document(seed, seed % 2 == 0);
        const Tfbitmap flat = flatten_image(doc);
        for (std::int32_t y = 0; y < doc.height(); ++y)
            for (std::int32_t x = 0; x < doc.width(); ++x) {
                std::uint8_t expected[3];
                reference::view_pixel(doc, tview_mapping{}, x, y, expected);
                ASSERT_EQ(std::memcmp(flat.pixel(x, y), expected, 3), 0) << "seed " << seed << " at " << x << "," << y;
                ASSERT_EQ(flat.pixel(x, y)[alpha_byte], 255);
            }
    }
}

// Recomposites a view of at most max_width x max_height and compares every
// pixel, alpha and the pixels beyond the image included, with the reference.
void expect_view_matches_reference(const tdocument& doc, const tview_mapping& m, std::int32_t max_width,
                                   std::int32_t max_height)
{
    Tfbitmap view(std::min(int(doc.width() * m.z) + 3, max_width), std::min(int(doc.height() * m.z) + 3, max_height));
    view.fill_pixels(1, 2, 3, 4);
    Tfbitmap expected = view;
    recomposite_all(doc, view, m);
    const std::int32_t x1 = std::min(std::int32_t(doc.width() * m.z), view.width() - 1);
    const std::int32_t y1 = std::min(std::int32_t(doc.height() * m.z), view.height() - 1);
    for (std::int32_t y = 0; y <= y1; ++y)
        for (std::int32_t x = 0; x <= x1; ++x)
            reference::view_pixel(doc, m, x, y, expected.pixel(x, y));
    for (std::int32_t y = 0; y < view.height(); ++y)
        for (std::int32_t x = 0; x < view.width(); ++x)
            ASSERT_EQ(std::memcmp(view.pixel(x, y), expected.pixel(x, y), 4), 0)
                << "zoom " << m.z << " origin " << m.ox << "," << m.oy << " at " << x << "," << y;
}

TEST(Composite, ViewMatchesTheReferenceAtEveryZoomAndSeveralOrigins)
{
    const tdocument doc = random_document(42, true);
    const std::pair<float, float> origins[] = {{0.0f, 0.0f}, {3.0f, 2.0f}, {0.4f, 1.7f}, {-0.6f, -0.3f}};
    for (int zoom = zoom_index_min; zoom <= zoom_index_max; ++zoom)
        for (auto [ox, oy] : origins)
            expect_view_matches_reference(doc, tview_mapping{zoom_factor(zoom), ox, oy}, 160, 120);
}

// Rows wider than the pieces they are mixed in, with masks that start and
// end inside a piece.
TEST(Composite, WideRowsMatchTheReference)
{
    std::mt19937 random(5);
    tdocument doc = create_document("wide");
    add_background(doc, random_pixels(random, 1100, 4), "Background");
    for (int mode = 0; mode < blend_mode_count; ++mode) {
        tcalque& layer = add_layer(doc, random_pixels(random, 700, 5), "layer", 60 + 25 * mode, 41 * mode - 37, -1,
                                   std::uint8_t(mode));
        if (mode % 3 == 0) {
            layer.mask = std::make_unique<tcalque>();
            layer.mask->bitmap = random_pixels(random, 300, 3);
            layer.mask->left = layer.left + 211 + 50 * mode;
            layer.mask->top = 1;
            layer.mask_enabled = 1;
        }
    }
    const Tfbitmap flat = flatten_image(doc);
    for (std::int32_t y = 0; y < doc.height(); ++y)
        for (std::int32_t x = 0; x < doc.width(); ++x) {
            std::uint8_t expected[3];
            reference::view_pixel(doc, tview_mapping{}, x, y, expected);
            ASSERT_EQ(std::memcmp(flat.pixel(x, y), expected, 3), 0) << x << "," << y;
        }
    for (const int zoom : {zoom_index_100, 8, 10, 13})
        expect_view_matches_reference(doc, tview_mapping{zoom_factor(zoom), 1.5f, 0.0f}, 1400, 20);
}

TEST(Composite, PartialRectangleTouchesOnlyItsPixels)
{
    const tdocument doc = random_document(3, true);
    Tfbitmap view(doc.width(), doc.height());
    view.fill_pixels(9, 9, 9, 9);
    composite_view(doc, view, tview_mapping{}, {10, 5, 20, 8});
    const Tfbitmap full = flatten_image(doc);
    for (std::int32_t y = 0; y < view.height(); ++y)
        for (std::int32_t x = 0; x < view.width(); ++x) {
            const bool inside = x >= 10 && x <= 20 && y >= 5 && y <= 8;
            if (inside)
                ASSERT_EQ(std::memcmp(view.pixel(x, y), full.pixel(x, y), 3), 0) << x << "," << y;
            else
                ASSERT_EQ(view.pixel(x, y)[0], 9) << x << "," << y;
        }
}

tdocument plain_document(std::int32_t w, std::int32_t h, TColor colour)
{
    tdocument doc = create_document("plain");
    add_background(doc, w, h, colour, "Background");
    return doc;
}

Tfbitmap solid(std::int32_t w, std::int32_t h, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a)
{
    Tfbitmap bitmap(w, h);
    bitmap.fill_pixels(b, g, r, a);
    return bitmap;
}

TEST(Composite, VisibilityPlacementAndMaskRules)
{
    tdocument doc = plain_document(100, 4, make_color(10, 10, 10));
    doc.layers[0]->visible = 0; // the background shows regardless
    tcalque& hidden = add_layer(doc, solid(100, 4, 200, 200, 200, 255), "hidden", 255, 0, 0, normal);
    hidden.visible = 0;
    add_layer(doc, solid(60, 4, 0, 0, 250, 255), "shifted", 255, -50, 0, normal);
    tcalque& masked = add_layer(doc, solid(20, 4, 0, 250, 0, 255), "masked", 255, 70, 0, normal);
    masked.mask = std::make_unique<tcalque>();
    masked.mask->bitmap = solid(10, 4, 0, 0, 0, 255); // hides only the left half
    masked.mask->left = 70;
    masked.mask_enabled = 1;
    add_layer(doc, solid(5, 5, 255, 255, 255, 255), "outside", 255, 500, 500, normal);

    const Tfbitmap flat = flatten_image(doc);
    EXPECT_EQ(flat.pixel(5, 0)[red_byte], 250);   // columns 50.. of the shifted layer
    EXPECT_EQ(flat.pixel(10, 0)[red_byte], 10);   // beyond it: background
    EXPECT_EQ(flat.pixel(75, 0)[green_byte], 10); // under the mask
    EXPECT_EQ(flat.pixel(85, 0)[green_byte], 250); // beyond the mask: unmasked
}

TEST(Merge, DownIsRefusedBetweenUpperLayersUnlessBothAreNormal)
{
    tdocument doc = plain_document(4, 4, make_color(100, 100, 100));
    add_layer(doc, solid(4, 4, 50, 50, 50, 255), "normal", 255, 0, 0, normal);
    add_layer(doc, solid(4, 4, 128, 128, 128, 255), "multiply", 255, 0, 0, multiply);
    EXPECT_FALSE(merge_layers(doc, 1));
    EXPECT_EQ(doc.layers.size(), 3u);

    // Onto the background it is done with the layer's own mode.
    doc.layers.erase(doc.layers.begin() + 1);
    set_current_layer(doc, 1);
    ASSERT_TRUE(merge_layers(doc, 0));
    ASSERT_EQ(doc.layers.size(), 1u);
    EXPECT_EQ(doc.current_layer, 0);
    EXPECT_EQ(doc.layers[0]->bitmap.pixel(0, 0)[red_byte], 50); // 100 * 128 / 255 = 50.2
    EXPECT_EQ(doc.layers[0]->bitmap.pixel(0, 0)[alpha_byte], 255);
}

TEST(Merge, TwoHalfTransparentLayersCombineTheirCoverage)
{
    tdocument doc = plain_document(10, 10, make_color(0, 0, 0));
    add_layer(doc, solid(4, 4, 0, 0, 200, 255), "lower", 128, 2, 3, normal);
    add_layer(doc, solid(4, 2, 0, 0, 100, 255), "upper", 128, 4, 2, normal);
    ASSERT_TRUE(merge_layers(doc, 1));
    const tcalque& merged = *doc.layers[1];
    EXPECT_EQ(merged.rect(), (trect{2, 2, 8, 7}));
    EXPECT_EQ(merged.opacity, 255);
    EXPECT_EQ(doc.current_layer, 1);

    const float a = float(255 / 255.0 * 128 / 255.0);
    const long double v = (long double)a + a - (long double)a * a;
    // Overlap at document (4, 3).
    const std::uint8_t* both = merged.bitmap.pixel(2, 1);
    EXPECT_EQ(both[alpha_byte], round_half_even(v * 255));
    EXPECT_EQ(both[red_byte], round_half_even((100 * (long double)a + 200 * (long double)a * (1 - (long double)a)) / v));
    // Upper only at document (6, 2), lower only at (2, 3), neither at (6, 6).
    EXPECT_EQ(merged.bitmap.pixel(4, 0)[alpha_byte], 128);
    EXPECT_EQ(merged.bitmap.pixel(4, 0)[red_byte], 100);
    EXPECT_EQ(merged.bitmap.pixel(0, 1)[alpha_byte], 128);
    EXPECT_EQ(merged.bitmap.pixel(4, 4)[alpha_byte], 0);
}

TEST(Merge, DownUsesTheCurrentLayerAndAllFlattensEveryVisibleLayer)
{
    tdocument doc = random_document(9, true);
    doc.layers[1]->visible = 1; // merging into the background does not look at visibility
    doc.layers[1]->mask_enabled = 0;
    const Tfbitmap expected = flatten_image(doc);
    const std::size_t count = doc.layers.size();

    set_current_layer(doc, 0);
    EXPECT_FALSE(merge_down(doc)); // nothing below the background
    set_current_layer(doc, 1);     // onto the background: always allowed
    doc.mask_editing = 1;
    ASSERT_TRUE(merge_down(doc));
    EXPECT_EQ(doc.layers.size(), count - 1);
    EXPECT_EQ(doc.current_layer, 0);
    EXPECT_EQ(doc.mask_editing, 0);

    doc.layers[1]->text.is_text = 1;
    doc.layers[0]->text.is_text = 1;
    merge_all_layers(doc);
    ASSERT_EQ(doc.layers.size(), 1u);
    EXPECT_EQ(doc.current_layer, 0);
    EXPECT_EQ(doc.layers[0]->selected, 1);
    EXPECT_EQ(doc.layers[0]->text.is_text, 0);
    const Tfbitmap& merged = doc.layers[0]->bitmap;
    for (std::int32_t y = 0; y < merged.height(); ++y)
        for (std::int32_t x = 0; x < merged.width(); ++x) {
            ASSERT_EQ(std::memcmp(merged.pixel(x, y), expected.pixel(x, y), 3), 0) << x << "," << y;
            ASSERT_EQ(merged.pixel(x, y)[alpha_byte], 255);
        }
}

TEST(RepaintViewPixel, MixesEveryLayerAsNormal)
{
    tdocument doc = plain_document(4, 4, make_color(100, 100, 100));
    tcalque& layer = add_layer(doc, solid(4, 4, 0, 0, 200, 255), "difference", 255, 0, 0, difference);
    layer.visible = 0;
    Tfbitmap view = flatten_image(doc);
    repaint_view_pixel(doc, view, tview_mapping{}, 1, 1);
    EXPECT_EQ(view.pixel(1, 1)[red_byte], 200);
    EXPECT_EQ(view.pixel(2, 2)[red_byte], 100);
}

} // namespace
} // namespace velmora
