#include "document/view.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(View, LayoutCases)
{
    tview_mapping m{zoom_factor(21), 5.0f, 7.0f};
    // 100 x 100 at 2000 % in 500 x 400: both bars, the view loses their thickness.
    tview_layout both = size_view(100, 100, m.z, 500, 400, 0, m);
    EXPECT_TRUE(both.horizontal_bar && both.vertical_bar);
    EXPECT_EQ(both.view_width, 484);
    EXPECT_EQ(both.view_height, 384);
    EXPECT_EQ(both.horizontal_range, 2000 - 484);
    EXPECT_EQ(m.ox, 5.0f);

    // Fits: centred, origin back to 0.
    tview_layout fits = size_view(100, 50, 1.0, 500, 400, 0, m);
    EXPECT_FALSE(fits.horizontal_bar || fits.vertical_bar);
    EXPECT_EQ(fits.view_left, 200);
    EXPECT_EQ(fits.view_top, 175);
    EXPECT_EQ(m.ox, 0.0f);
    EXPECT_EQ(m.oy, 0.0f);

    // Only the width exceeds: horizontal bar, centred vertically, oy reset.
    m = {1.0, 3.0f, 4.0f};
    tview_layout wide = size_view(800, 100, 1.0, 500, 400, 20, m);
    EXPECT_TRUE(wide.horizontal_bar);
    EXPECT_FALSE(wide.vertical_bar);
    EXPECT_EQ(wide.view_width, 500 - 20 - 16);
    EXPECT_EQ(wide.view_height, 100);
    EXPECT_EQ(wide.view_left, 20);
    EXPECT_EQ(m.ox, 3.0f);
    EXPECT_EQ(m.oy, 0.0f);
}

TEST(View, ScrollingStopsAtTheLastColumn)
{
    const double z = zoom_factor(13); // 300 %
    EXPECT_EQ(scroll_origin(100000, z, 640, 484), float(640 - 484 / z));
    EXPECT_EQ(scroll_origin(-5, z, 640, 484), 0.0f);
    EXPECT_EQ(scroll_origin(300, z, 640, 484), float(100.0));
}

TEST(View, ZoomKeepsTheFocusNearTheCentre)
{
    // Small enough to fit: no origin.
    EXPECT_EQ(zoom_origin(10, 100, 500, 100, 50, 1.0, 2.0), 0.0f);
    // 1000 px at 200 % in a 500 px client, focus at the view's middle.
    const float o = zoom_origin(0, 1000, 500, 484, 242, 1.0, 2.0);
    EXPECT_FLOAT_EQ(o, float(242 / 1.0 - (484 - 16) / 2.0 / 2));
    EXPECT_EQ(zoom_origin(0, 1000, 500, 484, 5000, 1.0, 2.0), float(1000 - (500 - 16) / 2.0));
}

TEST(View, ZoomToFitAndCaption)
{
    EXPECT_EQ(zoom_to_fit(5000, 4000, 1000, 700), 6);
    EXPECT_EQ(zoom_to_fit(640, 480, 1000, 700), 11);
    EXPECT_EQ(zoom_to_fit(100000, 100000, 10, 10), 1);
    EXPECT_EQ(zoom_percent_text(10), "66.7");
    EXPECT_EQ(zoom_percent_text(3), "6.2");
    EXPECT_EQ(zoom_percent_text(11), "100");
    EXPECT_EQ(zoom_percent_text(21), "2000");
}

TEST(View, RulerStepTable)
{
    const struct {
        double p;
        std::int32_t pixels;
        double units;
    } cases[] = {{96 / 2.54, 76, 2}, {4, 32, 8}, {10, 40, 4}, {96, 96, 1}, {150, 75, 0.5}, {300, 75, 0.25},
                 {600, 100, 1.0 / 6}};
    for (const auto& c : cases) {
        const truler_step step = ruler_step(c.p);
        EXPECT_EQ(step.pixels, c.pixels) << c.p;
        EXPECT_DOUBLE_EQ(step.units, c.units) << c.p;
        EXPECT_EQ(step.rotated_labels, c.p >= 120) << c.p;
    }
}

TEST(View, NavigatorSize)
{
    EXPECT_EQ(navigator_size(0, 0), (tsize{120, 110}));
    EXPECT_EQ(navigator_size(100, 200), (tsize{55, 110}));
    EXPECT_EQ(navigator_size(200, 100), (tsize{120, 60}));
    EXPECT_EQ(navigator_size(300, 300), (tsize{110, 110}));
}

} // namespace
} // namespace velmora
