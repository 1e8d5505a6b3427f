#include "filters/filter_framework.h"

#include "document/rounding.h"
#include "filter_test_support.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace test;

TEST(FilterFramework, MixByCoverageIsTheRoundedFormulaOverEveryByte)
{
    for (int u = 0; u < 256; ++u)
        for (int f = 0; f < 256; ++f)
            for (int c = 0; c < 256; ++c) {
                const auto expected = round_half_even(u + (f - u) * (c / 255.0L));
                ASSERT_EQ(mix_by_coverage(u, f, c), expected) << u << ' ' << f << ' ' << c;
            }
    EXPECT_EQ(mix_by_coverage(0, 255, 128), 128);
}

TEST(FilterFramework, BlendBySelectionMixesOnlyCoveredPixelsAtTheLayersPlace)
{
    const Tfbitmap before = random_bitmap(9, 7, 1);
    const Tfbitmap filtered = random_bitmap(9, 7, 2);
    const tselection selection = random_selection(-3, 4, 10, 9, 3);
    for (const bool with_alpha : {false, true}) {
        Tfbitmap target = before;
        blend_by_selection(target, filtered, 2, 1, selection, with_alpha);
        for (std::int32_t y = 0; y < 7; ++y)
            for (std::int32_t x = 0; x < 9; ++x) {
                const int c = selection_coverage(selection, x + 2, y + 1);
                for (int k = 0; k < 4; ++k) {
                    const int u = before.pixel(x, y)[k];
                    const int f = filtered.pixel(x, y)[k];
                    const int expected = (k == alpha_byte && !with_alpha) || c == 0 ? u : mix_by_coverage(u, f, c);
                    ASSERT_EQ(target.pixel(x, y)[k], expected) << x << ',' << y << " channel " << k;
                }
            }
    }
}

TEST(FilterFramework, EmptySelectionTest)
{
    tdocument doc = create_document("t");
    add_background(doc, 10, 10, 0, "bg");
    Tfbitmap layer_pixels = uniform_bitmap(6, 6, 50, 0);
    layer_pixels.pixel(5, 5)[alpha_byte] = 1; // one visible pixel at document (8, 7)
    tcalque& layer = add_layer(doc, layer_pixels, "l", 255, 3, 2, normal);
    EXPECT_TRUE(selection_touches_layer(doc, layer)); // no selection
    doc.has_selection = 1;
    doc.selection.left = 0;
    doc.selection.top = 0;
    doc.selection.mask = uniform_bitmap(8, 10, 255);
    EXPECT_FALSE(selection_touches_layer(doc, layer)); // covers x 0..7: misses (8, 7)
    doc.selection.left = 1;
    EXPECT_TRUE(selection_touches_layer(doc, layer));
    doc.selection.mask.pixel(7, 7)[red_byte] = 0;
    EXPECT_FALSE(selection_touches_layer(doc, layer));
    doc.mask_editing = 1;
    EXPECT_TRUE(selection_touches_layer(doc, layer));
}

TEST(FilterFramework, TargetIsTheMaskWhileEditingIt)
{
    tdocument doc = two_layer_document(0, 0, 4);
    tcalque& layer = doc.current_layer_record();
    EXPECT_EQ(&filter_target(doc), &layer);
    layer.mask = std::make_unique<tcalque>();
    layer.mask->bitmap = uniform_bitmap(13, 11, 255);
    doc.mask_editing = 1;
    EXPECT_EQ(&filter_target(doc), layer.mask.get());
    EXPECT_EQ(&active_layer(doc), &layer);
}

} // namespace
} // namespace velmora

namespace velmora {
namespace {

TEST(FilterFramework, FastRoundingAgreesWithTheProgramsRounding)
{
    for (const long double v : {0.0L, 0.5L, 1.5L, 2.5L, 2.4999999L, 2.5000001L, 3.0L, 7.5L, 1234.5L, 99999.49L, 0.49999999999L,
                               3999.5L, 4000.5L, 2147483646.5L}) {
        EXPECT_EQ(round_half_even_non_negative(v), round_half_even(v)) << double(v);
        EXPECT_EQ(round_half_even_non_negative(double(v)), round_half_even(double(v))) << double(v);
    }
}

} // namespace
} // namespace velmora
