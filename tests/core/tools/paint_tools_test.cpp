#include "tools/tool_editor.h"

#include "../shell/settings_home.h"
#include "document/composite.h"
#include "document/error.h"
#include "document/layer_operations.h"
#include "document/rounding.h"
#include "history/history.h"
#include "shell/catalogue.h"
#include "shell/preferences.h"
#include "tools/tool_steps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr TColor white = 0xFFFFFF;

// A 64 x 48 document with a grey background, and an editor at 100 % zoom.
class paint_tools_test : public ::testing::Test {
protected:
    paint_tools_test()
    {
        add_background(doc_, 64, 48, make_color(200, 200, 200), "Background");
        editor_.state.foreground = 0x000000;
        editor_.state.background = white;
    }

    void choose(std::uint8_t tool, std::int32_t size, std::int32_t softness, std::int32_t opacity)
    {
        editor_.choose_tool(tool);
        tbrush_settings brush = editor_.state.brush;
        brush.size = size;
        brush.softness = softness;
        brush.opacity = opacity;
        editor_.set_brush(brush, false);
    }

    // Press, moves through the points and release with the left button.
    std::vector<ttool_result> drag(std::initializer_list<tpoint> points, std::uint8_t modifiers = 0)
    {
        std::vector<ttool_result> results;
        results.push_back(editor_.press(doc_, view_, {*points.begin(), mouse_button::left, modifiers}));
        for (auto point = points.begin() + 1; point != points.end(); ++point)
            results.push_back(editor_.move(doc_, view_, {*point, mouse_button::left, modifiers}));
        results.push_back(editor_.release(doc_, view_, {*(points.end() - 1), mouse_button::left, modifiers}));
        return results;
    }

    tcalque& add_transparent_layer()
    {
        Tfbitmap pixels(64, 48);
        pixels.fill_pixels(255, 255, 255, 0);
        return add_layer(doc_, pixels, "Layer", 255, 0, 0, normal);
    }

    const std::uint8_t* pixel(std::int32_t x, std::int32_t y, std::int32_t layer = 0) const
    {
        return doc_.layers[std::size_t(layer)]->bitmap.pixel(x, y);
    }

    testing::tsettings_home home_;
    tdocument doc_ = create_document("doc");
    ttool_editor editor_;
    ttool_view view_;
};

TEST_F(paint_tools_test, ClickIsOneDabAndOneHistoryStep)
{
    std::string pattern = (fs::temp_directory_path() / "velmora-tools-test-XXXXXX").string();
    const fs::path parent = ::mkdtemp(pattern.data());
    {
        ttemp_folder folder(parent);
        thistory history(folder);
        history.record_action(doc_, "Initial State", {});
        choose(tool_id::paintbrush, 9, 0, 128);
        for (const ttool_result& result : drag({{20, 20}})) {
            if (!result.history_key.empty())
                history.record_action(doc_, translate(result.history_key), {});
        }
        ASSERT_EQ(history.entries().size(), 2u);
        EXPECT_EQ(history.entries()[1].name, "Paintbrush");
    }
    fs::remove_all(parent);
    // One dab at opacity 128 moves the centre 128/255 of the way, once.
    EXPECT_EQ(pixel(20, 20)[red_byte], round_half_even(200 - 200 * 128 / 255.0L));
    EXPECT_EQ(pixel(25, 20)[red_byte], 200);
    EXPECT_EQ(doc_.stroke_reset_pending, 1);
}

TEST_F(paint_tools_test, PassesOfOneStrokeNeverExceedTheOpacityButANewStrokePaintsAgain)
{
    choose(tool_id::paintbrush, 9, 0, 128);
    editor_.state.brush.spacing = 0;
    const std::vector<ttool_result> results = drag({{10, 20}, {30, 20}, {10, 20}, {30, 20}});
    const auto once = round_half_even(200 - 200 * 128 / 255.0L);
    for (std::int32_t x = 10; x <= 30; ++x)
        EXPECT_EQ(pixel(x, 20)[red_byte], once) << x;
    EXPECT_TRUE(results.front().stop_ants);
    EXPECT_TRUE(results.back().restart_ants);
    EXPECT_EQ(results.back().history_key, "@ch_pinceau");
    // The first move's walk starts at the pressed dab and dabs from x = 11.
    EXPECT_EQ(results[1].dirty, (trect{7, 16, 35, 25}));

    drag({{20, 20}});
    EXPECT_EQ(pixel(20, 20)[red_byte], round_half_even(once - once * 128 / 255.0L));
}

TEST_F(paint_tools_test, TransparentPixelsGetExactlyThePaintColour)
{
    add_transparent_layer();
    editor_.state.foreground = make_color(10, 120, 230);
    choose(tool_id::paintbrush, 20, 60, 200);
    drag({{30, 24}});
    const tbrush_shape& brush = editor_.state.brush_shape;
    int painted = 0;
    for (std::int32_t y = 0; y < 48; ++y)
        for (std::int32_t x = 0; x < 64; ++x) {
            const std::uint8_t* p = pixel(x, y, 1);
            if (p[alpha_byte] == 0)
                continue;
            ++painted;
            EXPECT_EQ(make_color(p[red_byte], p[green_byte], p[blue_byte]), make_color(10, 120, 230));
            const float cell = brush.cell(x - 20, y - 14);
            EXPECT_EQ(p[alpha_byte], round_half_even(255 * ((200 / 255.0f) * cell)));
        }
    EXPECT_GT(painted, 100);
}

TEST_F(paint_tools_test, EraserPaintsTheBackgroundColour)
{
    choose(tool_id::eraser, 1, 0, 255);
    drag({{5, 5}});
    EXPECT_EQ(pixel(5, 5)[red_byte], 255);
    EXPECT_EQ(pixel(5, 5)[alpha_byte], 255);

    add_transparent_layer();
    editor_.state.background = make_color(0, 0, 90);
    choose(tool_id::eraser, 1, 0, 100);
    drag({{6, 6}});
    EXPECT_EQ(pixel(6, 6, 1)[blue_byte], 90);
    EXPECT_EQ(pixel(6, 6, 1)[alpha_byte], round_half_even(255 * (100 / 255.0f)));
}

TEST_F(paint_tools_test, AirbrushHeldStillConvergesToTheOpacity)
{
    choose(tool_id::airbrush, 9, 100, 128);
    editor_.press(doc_, view_, {{20, 20}, mouse_button::left, 0});
    EXPECT_TRUE(editor_.state.airbrush_running);
    const std::uint8_t after_press = pixel(20, 20)[red_byte];
    const auto limit = round_half_even(200 - 200 * 128 / 255.0L);
    EXPECT_GT(after_press, limit);
    std::uint8_t previous = after_press;
    for (int tick = 0; tick < 60; ++tick) {
        const ttool_result result = editor_.airbrush_tick(doc_, view_);
        EXPECT_FALSE(result.dirty.empty());
        EXPECT_LE(pixel(20, 20)[red_byte], previous);
        EXPECT_GE(pixel(20, 20)[red_byte], limit);
        previous = pixel(20, 20)[red_byte];
    }
    EXPECT_EQ(previous, limit);
    const ttool_result released = editor_.release(doc_, view_, {{20, 20}, mouse_button::left, 0});
    EXPECT_FALSE(editor_.state.airbrush_running);
    EXPECT_EQ(released.history_key, "@ch_airbrush");
    EXPECT_TRUE(editor_.airbrush_tick(doc_, view_).dirty.empty());
}

TEST_F(paint_tools_test, PencilLinesWithAndWithoutAntiAliasing)
{
    const auto changed = [&] {
        int count = 0;
        for (std::int32_t y = 0; y < 48; ++y)
            for (std::int32_t x = 0; x < 64; ++x)
                count += pixel(x, y)[red_byte] != 200;
        return count;
    };
    editor_.choose_tool(tool_id::pencil);
    editor_.state.pencil.antialiased = false;
    const std::vector<ttool_result> results = drag({{0, 0}, {10, 4}});
    EXPECT_EQ(changed(), 11);
    EXPECT_EQ(results.back().history_key, "@ch_crayon");

    add_background(doc_ = create_document("doc"), 64, 48, make_color(200, 200, 200), "Background");
    editor_.state.pencil.antialiased = true;
    drag({{0, 0}, {10, 4}});
    EXPECT_GE(changed(), 11);
    EXPECT_LE(changed(), 21);

    // A move of one pixel diagonally plots only the new pixel.
    add_background(doc_ = create_document("doc"), 64, 48, make_color(200, 200, 200), "Background");
    editor_.press(doc_, view_, {{10, 10}, mouse_button::left, 0});
    const std::uint8_t at_press = pixel(10, 10)[red_byte];
    editor_.move(doc_, view_, {{11, 11}, mouse_button::left, 0});
    EXPECT_EQ(changed(), 2);
    EXPECT_EQ(pixel(10, 10)[red_byte], at_press);
    EXPECT_EQ(pixel(11, 11)[red_byte], 0);
}

TEST_F(paint_tools_test, PencilWithAltPicksAColourAndPaintsNothing)
{
    Tfbitmap view(64, 48);
    recomposite_all(doc_, view, {});
    view.pixel(3, 4)[red_byte] = 17;
    view_.bitmap = &view;
    editor_.choose_tool(tool_id::pencil);
    EXPECT_EQ(editor_.cursor(modifier_key::alt), "PIPETTE");
    EXPECT_EQ(editor_.cursor(0), "CRAYON");
    const std::vector<ttool_result> results = drag({{3, 4}}, modifier_key::alt);
    EXPECT_TRUE(results.front().foreground_changed);
    EXPECT_EQ(editor_.state.foreground, make_color(17, 200, 200));
    EXPECT_EQ(pixel(3, 4)[red_byte], 200);
    EXPECT_TRUE(results.back().history_key.empty());
}

TEST_F(paint_tools_test, PreserveTransparencyKeepsAlpha)
{
    tcalque& layer = add_transparent_layer();
    for (std::int32_t x = 0; x < 64; ++x)
        layer.bitmap.pixel(x, 10)[alpha_byte] = std::uint8_t(x * 4);
    layer.preserve_transparency = 1;
    choose(tool_id::paintbrush, 40, 0, 255);
    editor_.state.brush.spacing = 0;
    drag({{0, 10}, {63, 10}});
    for (std::int32_t x = 0; x < 64; ++x) {
        EXPECT_EQ(pixel(x, 10, 1)[alpha_byte], x * 4) << x;
        EXPECT_EQ(pixel(x, 10, 1)[red_byte], 0) << x;
    }
    EXPECT_EQ(pixel(5, 30, 1)[alpha_byte], 0);
}

TEST_F(paint_tools_test, PaintingGrowsASmallLayerToTheDocument)
{
    Tfbitmap pixels(20, 10);
    pixels.fill_pixels(0, 0, 255, 255);
    add_layer(doc_, pixels, "Small", 255, 20, 20, normal);
    choose(tool_id::paintbrush, 1, 0, 255);
    drag({{2, 3}});
    const tcalque& layer = *doc_.layers[1];
    EXPECT_EQ(layer.rect(), (trect{0, 0, 64, 48}));
    EXPECT_EQ(layer.bitmap.pixel(25, 25)[red_byte], 255);
    EXPECT_EQ(layer.bitmap.pixel(25, 25)[alpha_byte], 255);
    EXPECT_EQ(layer.bitmap.pixel(50, 40)[alpha_byte], 0);
    EXPECT_EQ(layer.bitmap.pixel(2, 3)[alpha_byte], 255);
    EXPECT_EQ(layer.bitmap.pixel(2, 3)[red_byte], 0);
}

TEST_F(paint_tools_test, StrokesOutsideTheSelectionChangeNothing)
{
    doc_.has_selection = 1;
    doc_.selection.left = 0;
    doc_.selection.top = 0;
    doc_.selection.mask.set_size(32, 48);
    doc_.selection.mask.fill_pixels(255, 255, 255, 255);
    const Tfbitmap before = doc_.layers[0]->bitmap;
    choose(tool_id::paintbrush, 9, 0, 255);
    drag({{45, 10}, {60, 40}});
    editor_.choose_tool(tool_id::pencil);
    drag({{45, 10}, {60, 40}});
    EXPECT_EQ(std::memcmp(before.bits(), doc_.layers[0]->bitmap.bits(), before.byte_size()), 0);

    choose(tool_id::paintbrush, 9, 0, 255);
    drag({{33, 10}});
    EXPECT_EQ(pixel(31, 10)[red_byte], 0);
    EXPECT_EQ(pixel(32, 10)[red_byte], 200);
}

TEST_F(paint_tools_test, MaskEditingPaintsGreyIntoTheMask)
{
    tcalque& layer = add_transparent_layer();
    layer.mask = std::make_unique<tcalque>();
    layer.mask->bitmap.set_size(64, 48);
    layer.mask->bitmap.fill_pixels(255, 255, 255, 255);
    layer.mask_enabled = 1;
    doc_.mask_editing = 1;
    editor_.state.foreground = make_color(64, 64, 64);
    choose(tool_id::paintbrush, 1, 0, 255);
    drag({{7, 8}});
    EXPECT_EQ(layer.mask->bitmap.pixel(7, 8)[red_byte], 64);
    EXPECT_EQ(layer.mask->bitmap.pixel(7, 8)[blue_byte], 64);
    EXPECT_EQ(layer.mask->bitmap.pixel(7, 8)[alpha_byte], 255);
    EXPECT_EQ(layer.bitmap.pixel(7, 8)[alpha_byte], 0);
    EXPECT_EQ(doc_.mask_editing, 1);
}

TEST_F(paint_tools_test, DirtyRectangleRecompositesLikeTheWholeView)
{
    add_transparent_layer();
    const tview_mapping mapping{2.0, 3.5f, 1.0f};
    view_.mapping = mapping;
    Tfbitmap view(80, 60), reference(80, 60);
    recomposite_all(doc_, view, mapping);
    choose(tool_id::paintbrush, 7, 20, 255);
    const std::vector<ttool_result> results = drag({{20, 20}, {40, 30}});
    for (const ttool_result& result : results)
        composite_dirty(doc_, view, mapping, result.dirty);
    recomposite_all(doc_, reference, mapping);
    for (std::int32_t y = 0; y < 60; ++y)
        for (std::int32_t x = 0; x < 80; ++x)
            ASSERT_EQ(std::memcmp(view.pixel(x, y), reference.pixel(x, y), 3), 0) << x << "," << y;
}

TEST(ColourPicker, AveragesCountThePointerTwiceAndTheFiveByFiveStopsShort)
{
    tdocument doc = create_document("doc");
    add_background(doc, 8, 8, 0, "Background");
    Tfbitmap view(8, 8);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x)
            view.pixel(x, y)[red_byte] = std::uint8_t(10 * x + y);
    ttool_editor editor;
    editor.choose_tool(tool_id::colour_picker);
    const ttool_view picked_view{{}, &view};
    const auto pick = [&](tpicker_mode mode, tpoint at, std::uint8_t button) {
        editor.state.picker = mode;
        const ttool_result result = editor.press(doc, picked_view, {at, button, 0});
        EXPECT_TRUE(result.history_key.empty());
        return button == mouse_button::left ? editor.state.foreground : editor.state.background;
    };
    const auto red_of = [](TColor colour) { return int(split_color(colour).red); };
    EXPECT_EQ(red_of(pick(tpicker_mode::point, {3, 2}, mouse_button::left)), 32);
    // Corner twice plus (0,1), (1,0), (1,1): (0 + 0 + 1 + 10 + 11) / 5.
    EXPECT_EQ(red_of(pick(tpicker_mode::average_3x3, {0, 0}, mouse_button::right)),
              round_half_even(22 / 5.0L));
    // Bottom-right corner, 5 by 5: rows and columns 5..6 only, so the corner counts once.
    const long double sum = 77 + (55 + 56 + 65 + 66);
    EXPECT_EQ(red_of(pick(tpicker_mode::average_5x5, {7, 7}, mouse_button::left)),
              round_half_even(sum / 5));
}

TEST(ZoomTool, StepsOneLevelWithinTheTable)
{
    tdocument doc = create_document("doc");
    add_background(doc, 8, 8, 0, "Background");
    ttool_editor editor;
    editor.choose_tool(tool_id::zoom);
    EXPECT_EQ(editor.press(doc, {}, {{4, 4}, mouse_button::left, 0}).zoom_index, 12);
    EXPECT_EQ(editor.press(doc, {}, {{4, 4}, mouse_button::right, 0}).zoom_index, 10);
    EXPECT_EQ(editor.press(doc, {}, {{4, 4}, mouse_button::left, modifier_key::alt}).zoom_index, 10);
    doc.zoom_index = zoom_index_max;
    EXPECT_EQ(editor.press(doc, {}, {{4, 4}, mouse_button::left, 0}).zoom_index, 0);
    doc.zoom_index = zoom_index_min;
    EXPECT_EQ(editor.press(doc, {}, {{4, 4}, mouse_button::right, 0}).zoom_index, 0);
    EXPECT_EQ(editor.cursor(0), "ZOOMIN");
    EXPECT_EQ(editor.cursor(modifier_key::alt), "ZOOMOUT");
}

TEST(ToolPreferences, BrushValuesPerToolWithTheirDefaults)
{
    testing::tsettings_home home;
    ttool_editor editor;
    const struct {
        std::uint8_t tool;
        std::int32_t softness;
        std::int32_t opacity;
        std::int32_t percent;
    } cases[] = {{tool_id::paintbrush, 40, 255, 100}, {tool_id::airbrush, 65, 255, 100}, {tool_id::lighten, 40, 100, 39}};
    for (const auto& c : cases) {
        editor.choose_tool(c.tool);
        EXPECT_EQ(editor.state.brush.size, 40);
        EXPECT_EQ(editor.state.brush.softness, c.softness);
        EXPECT_EQ(editor.state.brush.opacity, c.opacity);
        EXPECT_EQ(opacity_percent(editor.state.brush.opacity), c.percent);
        EXPECT_EQ(editor.state.brush_shape.size, 41);
    }
    EXPECT_FALSE(prefs_file_exists());

    editor.choose_tool(tool_id::airbrush);
    tbrush_settings changed = editor.state.brush;
    changed.size = 12;
    editor.set_brush(changed, true);
    EXPECT_EQ(read_int("airbrush", "size", 0), 12);
    EXPECT_EQ(read_int("airbrush", "blur", 0), 65);
    editor.choose_tool(tool_id::pencil);
    EXPECT_TRUE(editor.state.brush_shape.empty());
    editor.choose_tool(tool_id::airbrush);
    EXPECT_EQ(editor.state.brush.size, 12);
    EXPECT_EQ(brush_section(tool_id::pencil), "unknown");
    EXPECT_EQ(options_caption(tool_id::paintbrush), "Options: Paintbrush");
}

TEST(ToolTable, StartUpRestoresOnlyToolsWithTheirOwnButton)
{
    const struct {
        std::int32_t stored;
        std::uint8_t chosen;
    } cases[] = {{-1, 0}, {7, 7}, {39, 39}, {17, 0}, {18, 0}, {31, 0}, {32, 0}, {34, 0}, {38, 0}, {23, 0}, {44, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(restored_tool(c.stored), c.chosen) << c.stored;
    for (const std::uint8_t id : {tool_id::paintbrush, tool_id::airbrush, tool_id::pencil, tool_id::eraser,
                                  tool_id::zoom, tool_id::colour_picker})
        EXPECT_TRUE(ttool_editor::available(id)) << int(id);
    EXPECT_FALSE(ttool_editor::available(tool_id::clone));
    EXPECT_EQ(tool_table().size(), 43u);
}

TEST(ToolSteps, StrokeStepPaintsAndRefusesBadValues)
{
    tdocument doc = create_document("doc");
    add_background(doc, 32, 32, white, "Background");
    EXPECT_TRUE(run_tool_step(doc, parse_apply_step("stroke:tool=7,points=4/4;28/4,size=3,softness=0,colour=ff0000")));
    EXPECT_EQ(doc.layers[0]->bitmap.pixel(16, 4)[red_byte], 255);
    EXPECT_EQ(doc.layers[0]->bitmap.pixel(16, 4)[green_byte], 0);
    EXPECT_TRUE(run_tool_step(doc, parse_apply_step("stroke:tool=9,points=0/10;31/10,antialias=0")));
    EXPECT_EQ(doc.layers[0]->bitmap.pixel(20, 10)[green_byte], 0);
    EXPECT_FALSE(run_tool_step(doc, parse_apply_step("flip")));
    for (const char* bad : {"stroke:tool=7,points=1/1,size=500", "stroke:tool=10,points=1/1",
                            "stroke:tool=7,points=1/1,colour=red", "stroke:tool=7,points=1;1",
                            "stroke:tool=7,points=1/1,shape=star", "stroke:tool=7", "stroke:tool=7,points=1/1,pressure=3"})
        EXPECT_THROW(run_tool_step(doc, parse_apply_step(bad)), velmora_error) << bad;
}

} // namespace
} // namespace velmora
