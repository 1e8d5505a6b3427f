#include "selection/selection.h"
#include "selection/selection_commands.h"

#include "document/error.h"
#include "filters/filter_registry.h"
#include "formats/vlm_format.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <unistd.h>

namespace velmora {
namespace {

constexpr std::int32_t zoom_50 = 9;
constexpr std::int32_t zoom_400 = 14;

tdocument make_document(std::int32_t width, std::int32_t height, std::int32_t zoom_index = zoom_index_100)
{
    tdocument doc = create_document("test", zoom_index);
    add_background(doc, width, height, 0xFFFFFF, "Background");
    return doc;
}

std::uint8_t grey(const Tfbitmap& mask, std::int32_t x, std::int32_t y)
{
    return mask.pixel(x, y)[red_byte];
}

void set_grey(Tfbitmap& mask, std::int32_t x, std::int32_t y, std::uint8_t level)
{
    std::uint8_t* p = mask.pixel(x, y);
    p[blue_byte] = p[green_byte] = p[red_byte] = level;
}

// Gives `doc` a selection of the given rows of levels at (left, top), outlined.
void select_levels(tdocument& doc, std::int32_t left, std::int32_t top,
                   const std::vector<std::vector<std::uint8_t>>& rows)
{
    create_selection_mask(doc, std::int32_t(rows[0].size()), std::int32_t(rows.size()), false, 0, left, top);
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t x = 0; x < rows[y].size(); ++x)
            set_grey(doc.selection.mask, std::int32_t(x), std::int32_t(y), rows[y][x]);
    build_selection_outline(doc);
}

tselection saved_rectangle(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                           std::uint8_t level)
{
    tselection s{left, top, "", Tfbitmap(width, height)};
    s.mask.fill_pixels(level, level, level, 255);
    return s;
}

// The border rule read literally, pixel by pixel.
std::vector<tpoint> reference_outline(const tselection& s)
{
    const Tfbitmap& m = s.mask;
    const auto in = [&](std::int32_t x, std::int32_t y) {
        return x >= 0 && y >= 0 && x < m.width() && y < m.height() && grey(m, x, y) >= 128;
    };
    std::vector<tpoint> points;
    for (std::int32_t y = 0; y < m.height(); ++y)
        for (std::int32_t x = 0; x < m.width(); ++x)
            if (in(x, y) && (x == 0 || y == 0 || x == m.width() - 1 || y == m.height() - 1 || !in(x - 1, y) ||
                             !in(x + 1, y) || !in(x, y - 1) || !in(x, y + 1)))
                points.push_back({x + s.left, y + s.top});
    return points;
}

TEST(SelectionOutline, WeightCountsEveryLevelButOutlineStartsAt128)
{
    tdocument doc = make_document(20, 20);
    EXPECT_EQ(selection_weight(doc, 3, 3), 255); // nothing selected
    select_levels(doc, 2, 1,
                  {{127, 0, 128, 0, 0},
                   {0, 0, 0, 0, 0},
                   {0, 255, 255, 255, 0},
                   {0, 255, 255, 255, 0},
                   {0, 255, 255, 255, 0}});
    EXPECT_TRUE(doc.has_selection);
    EXPECT_EQ(selection_weight(doc, 2, 1), 127);
    EXPECT_EQ(selection_weight(doc, 4, 1), 128);
    EXPECT_EQ(selection_weight(doc, 1, 1), 0);  // left of the raster
    EXPECT_EQ(selection_weight(doc, 7, 6), 0);  // right of it
    const std::vector<tpoint> expected = {{4, 1}, {3, 3}, {4, 3}, {5, 3}, {3, 4}, {5, 4}, {3, 5}, {4, 5}, {5, 5}};
    EXPECT_EQ(doc.outline.points, expected);
    EXPECT_EQ(doc.outline.view_points, expected); // copied at 100 %
}

TEST(SelectionOutline, MatchesTheBorderRuleOnRandomRasters)
{
    std::mt19937 random(7);
    const std::uint8_t levels[] = {0, 127, 128, 255};
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {2, 5}, {3, 3}, {17, 11}, {64, 40}}) {
        tdocument doc = make_document(30, 30);
        create_selection_mask(doc, w, h, false, 0, -4, 6);
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x)
                set_grey(doc.selection.mask, x, y, levels[random() % 4]);
        build_selection_outline(doc);
        EXPECT_EQ(doc.outline.points, reference_outline(doc.selection)) << w << " x " << h;
    }
}

TEST(SelectionOutline, SinglePixelAtZoom4GivesTheFourEdgesOfItsSquare)
{
    tdocument doc = make_document(10, 10, zoom_400);
    select_levels(doc, 4, 4, {{0, 0, 0}, {0, 255, 0}, {0, 0, 0}});
    const std::vector<tpoint> expected = {
        {20, 20}, {21, 20}, {22, 20}, {23, 20}, {24, 20}, // above
        {20, 24}, {21, 24}, {22, 24}, {23, 24}, {24, 24}, // below
        {20, 21}, {20, 22}, {20, 23}, {20, 24},           // left
        {24, 20}, {24, 21}, {24, 22}, {24, 23},           // right
    };
    EXPECT_EQ(doc.outline.view_points, expected);
}

TEST(SelectionOutline, ClampsToTheZoomedImageOnlyWhenTheRasterLiesWithinIt)
{
    // The image's bottom-right pixel selected at 400 %: its right and lower
    // edges lie at 40, one past the zoomed image.
    for (const bool margin : {false, true}) {
        tdocument doc = make_document(10, 10, zoom_400);
        create_selection_mask(doc, 10, 10, margin, 0, 0, 0);
        set_grey(doc.selection.mask, 9 - doc.selection.left, 9 - doc.selection.top, 255);
        build_selection_outline(doc);
        std::int32_t max_x = 0, max_y = 0;
        for (const tpoint& p : doc.outline.view_points) {
            max_x = std::max(max_x, p.x);
            max_y = std::max(max_y, p.y);
        }
        EXPECT_EQ(max_x, margin ? 40 : 39);
        EXPECT_EQ(max_y, margin ? 40 : 39);
    }
}

TEST(SelectionOutline, BelowFullSizeDropsRepeatedPointsKeepingTheFirst)
{
    // Every order of outline points, also the select-all one that is not
    // row-major, against a plain search of the list so far.
    std::mt19937 random(3);
    for (int round = 0; round < 3; ++round) {
        tdocument doc = make_document(37, 23, zoom_50);
        if (round == 0) {
            select_all(doc);
        } else {
            create_selection_mask(doc, 37, 23, round == 2, 0, 0, 0);
            for (std::int32_t y = 0; y < doc.selection.mask.height(); ++y)
                for (std::int32_t x = 0; x < doc.selection.mask.width(); ++x)
                    set_grey(doc.selection.mask, x, y, random() % 3 ? 255 : 0);
            build_selection_outline(doc);
        }
        std::vector<tpoint> expected;
        for (const tpoint& p : doc.outline.points) {
            const tpoint q{std::int32_t(0.5 * p.x), std::int32_t(0.5 * p.y)};
            if (std::find(expected.begin(), expected.end(), q) == expected.end())
                expected.push_back(q);
        }
        EXPECT_EQ(doc.outline.view_points, expected) << round;
    }
}

TEST(SelectionModel, MarginRasterKeepsItsNegativePlace)
{
    tdocument doc = make_document(8, 8);
    create_selection_mask(doc, 8, 8, true, 0, 0, 0);
    EXPECT_EQ(doc.selection.left, -3);
    EXPECT_EQ(doc.selection.top, -3);
    EXPECT_EQ(doc.selection.mask.width(), 14);
    set_grey(doc.selection.mask, 3, 3, 77);
    build_selection_outline(doc);
    EXPECT_EQ(selection_weight(doc, 0, 0), 77);
    EXPECT_EQ(selection_weight(doc, 1, 0), 0);
}

TEST(SelectionModel, DiscardingRemovesEverythingAlsoWhenNothingWasSelected)
{
    tdocument doc = make_document(8, 8);
    deselect(doc);
    EXPECT_FALSE(doc.has_selection);
    select_all(doc);
    ASSERT_TRUE(doc.drag_points.add({1, 2}));
    deselect(doc);
    EXPECT_FALSE(doc.has_selection);
    EXPECT_TRUE(doc.selection.mask.empty());
    EXPECT_TRUE(doc.outline.points.empty());
    EXPECT_TRUE(doc.outline.view_points.empty());
    EXPECT_EQ(doc.drag_points.count, 0);
    EXPECT_EQ(selection_weight(doc, 4, 4), 255);
}

TEST(SelectionModel, FullDragPointListTakesNoMorePoint)
{
    tdocument doc = make_document(2, 2);
    for (std::int32_t i = 1; i <= drag_point_capacity; ++i)
        ASSERT_TRUE(doc.drag_points.add({i, -i}));
    EXPECT_FALSE(doc.drag_points.add({0, 0}));
    EXPECT_EQ(doc.drag_points.count, drag_point_capacity);
    EXPECT_EQ(doc.drag_points[drag_point_capacity], (tpoint{drag_point_capacity, -drag_point_capacity}));
}

TEST(SelectionModel, MarchingAntsRunFromThePhaseAndWrap)
{
    std::vector<tpoint> points;
    for (std::int32_t i = 0; i < 30; ++i)
        points.push_back({i, 1});
    points.push_back({5, 9}); // below the view
    Tfbitmap view(20, 3);
    view.fill_pixels(100, 100, 100, 255);
    // Point 25 starts the first black run; the origin shifts the points 2
    // pixels left, so points 0, 1 and 22 onwards fall outside.
    const tview_mapping mapping{1.0, 2.0f, 0.0f};
    const trect painted = draw_marching_ants(points, 25, mapping, view);
    // Run position of points 0..30 from point 25: 6, 7, 8 ... 29, then 0 .. 5 for 25 .. 30.
    const std::string runs = "BBBBBBBBWWWWWWWWWBBBBBBBBBWWWWW"; // by run position
    for (std::int32_t x = 0; x < 20; ++x) {
        const std::int32_t point = x + 2;
        const std::size_t position = std::size_t((point - 25 + 31) % 31);
        EXPECT_EQ(grey(view, x, 1), runs[position] == 'B' ? 0 : 255) << x;
        EXPECT_EQ(grey(view, x, 0), 100);
    }
    EXPECT_EQ(painted, (trect{0, 1, 20, 2}));
    EXPECT_EQ(draw_marching_ants({{50, 50}}, 0, mapping, view), trect{});
}

TEST(SelectionCommands, SelectAllOutlinesTheImageBorder)
{
    tdocument doc = make_document(4, 3);
    select_all(doc);
    EXPECT_TRUE(doc.has_selection);
    EXPECT_EQ(doc.selection.mask.bounds(), (trect{0, 0, 4, 3}));
    const std::vector<tpoint> expected = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 2}, {1, 2},
                                          {2, 2}, {3, 2}, {0, 1}, {3, 1}};
    EXPECT_EQ(doc.outline.points, expected);
    tdocument line = make_document(3, 1);
    select_all(line);
    EXPECT_EQ(line.outline.points, (std::vector<tpoint>{{0, 0}, {1, 0}, {2, 0}}));
}

TEST(SelectionCommands, InverseKeepsOnlyTheImage)
{
    tdocument doc = make_document(10, 8);
    inverse_selection(doc); // nothing selected: everything becomes selected
    EXPECT_EQ(selection_weight(doc, 9, 7), 255);
    create_selection_mask(doc, 6, 6, false, 200, -2, -2);
    build_selection_outline(doc);
    inverse_selection(doc);
    const tselection& s = doc.selection;
    EXPECT_EQ(s.left, 0);
    EXPECT_EQ(s.top, 0);
    EXPECT_EQ(s.mask.bounds(), (trect{0, 0, 10, 8}));
    EXPECT_EQ(grey(s.mask, 3, 3), 55);
    EXPECT_EQ(grey(s.mask, 4, 3), 255);
    EXPECT_EQ(grey(s.mask, 0, 4), 255);
    EXPECT_EQ(s.mask.pixel(3, 3)[alpha_byte], 255);
}

TEST(SelectionCommands, CombiningWithSavedSelections)
{
    struct tcase {
        tcombine_operation operation;
        std::uint8_t only_s, only_c, both, neither;
    };
    // S: 4 x 4 of 200 at (0, 0); C: 4 x 4 of 100 at (2, 3); both cover
    // (2..3, 3); nobody covers (5, 0) and (0, 6).
    for (const tcase& c : {tcase{tcombine_operation::add, 200, 100, 255, 0},
                           tcase{tcombine_operation::subtract, 0, 100, 0, 0},
                           tcase{tcombine_operation::intersect, 0, 0, 100, 0}}) {
        tdocument doc = make_document(20, 20);
        doc.saved_selections.push_back(std::make_unique<tselection>(saved_rectangle(0, 0, 4, 4, 200)));
        create_selection_mask(doc, 4, 4, false, 100, 2, 3);
        build_selection_outline(doc);
        load_selection(doc, 0, c.operation);
        const tselection& s = doc.selection;
        EXPECT_EQ(s.left, 0);
        EXPECT_EQ(s.top, 0);
        EXPECT_EQ(s.mask.bounds(), (trect{0, 0, 6, 7}));
        EXPECT_EQ(selection_weight(doc, 0, 0), c.only_s);
        EXPECT_EQ(selection_weight(doc, 4, 5), c.only_c);
        EXPECT_EQ(selection_weight(doc, 3, 3), c.both);
        EXPECT_EQ(selection_weight(doc, 5, 0), c.neither);
        EXPECT_EQ(selection_weight(doc, 0, 6), c.neither);
    }
}

TEST(SelectionCommands, CombiningDisjointRectangles)
{
    tdocument doc = make_document(20, 20);
    doc.saved_selections.push_back(std::make_unique<tselection>(saved_rectangle(1, 1, 2, 2, 255)));
    doc.saved_selections.push_back(std::make_unique<tselection>(saved_rectangle(6, 5, 3, 2, 255)));
    load_selection(doc, 0, tcombine_operation::replace);
    EXPECT_EQ(doc.selection.mask.bounds(), (trect{0, 0, 2, 2}));
    load_selection(doc, 1, tcombine_operation::add);
    EXPECT_EQ((trect{doc.selection.left, doc.selection.top, 0, 0}), (trect{1, 1, 0, 0}));
    EXPECT_EQ(doc.selection.mask.bounds(), (trect{0, 0, 8, 6}));
    EXPECT_EQ(selection_weight(doc, 2, 2), 255);
    EXPECT_EQ(selection_weight(doc, 7, 5), 255);
    EXPECT_EQ(selection_weight(doc, 8, 1), 0); // top-right corner of the union
    EXPECT_EQ(selection_weight(doc, 1, 6), 0); // bottom-left corner

    // Subtracting what does not overlap changes nothing of C; the rest is 0.
    tdocument other = make_document(20, 20);
    other.saved_selections.push_back(std::make_unique<tselection>(saved_rectangle(10, 10, 2, 2, 255)));
    create_selection_mask(other, 3, 3, false, 180, 0, 0);
    build_selection_outline(other);
    load_selection(other, 0, tcombine_operation::subtract);
    EXPECT_EQ(other.selection.mask.bounds(), (trect{0, 0, 12, 12}));
    for (std::int32_t y = 0; y < 12; ++y)
        for (std::int32_t x = 0; x < 12; ++x)
            EXPECT_EQ(selection_weight(other, x, y), x < 3 && y < 3 ? 180 : 0) << x << ',' << y;

    // Adding without a selection starts from an empty raster of the image.
    tdocument fresh = make_document(5, 4);
    fresh.saved_selections.push_back(std::make_unique<tselection>(saved_rectangle(3, 3, 4, 4, 90)));
    load_selection(fresh, 0, tcombine_operation::add);
    EXPECT_EQ(fresh.selection.mask.bounds(), (trect{0, 0, 7, 7}));
    EXPECT_EQ(selection_weight(fresh, 0, 0), 0);
    EXPECT_EQ(selection_weight(fresh, 4, 4), 90);
    EXPECT_THROW(load_selection(fresh, 1, tcombine_operation::add), velmora_error);
}

TEST(SelectionCommands, GetTheSelectionFromALayersAlpha)
{
    tdocument doc = make_document(10, 10);
    Tfbitmap pixels(6, 5);
    pixels.fill_pixels(0, 0, 0, 0);
    add_layer(doc, pixels, "Empty", 255, 2, 2, normal);
    get_selection_from_layer(doc, doc.current_layer_record());
    EXPECT_TRUE(doc.has_selection);
    EXPECT_TRUE(doc.outline.points.empty());
    for (std::int32_t y = 0; y < 10; ++y)
        for (std::int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(selection_weight(doc, x, y), 0);

    pixels.pixel(1, 2)[alpha_byte] = 30;
    pixels.pixel(3, 3)[alpha_byte] = 255;
    add_layer(doc, pixels, "Two pixels", 255, -1, 4, normal);
    get_selection_from_layer(doc, doc.current_layer_record());
    const tselection& s = doc.selection;
    EXPECT_EQ((trect{s.left, s.top, s.left + s.mask.width(), s.top + s.mask.height()}), (trect{0, 6, 3, 8}));
    EXPECT_EQ(selection_weight(doc, 0, 6), 30);
    EXPECT_EQ(selection_weight(doc, 2, 7), 255);
    EXPECT_EQ(doc.outline.points, (std::vector<tpoint>{{2, 7}}));
}

TEST(SelectionCommands, ClippingToALayer)
{
    tdocument doc = make_document(10, 10);
    Tfbitmap pixels(4, 4);
    pixels.fill_pixels(0, 0, 0, 255);
    pixels.pixel(0, 0)[alpha_byte] = 0;
    add_layer(doc, pixels, "Layer", 255, 3, 3, normal);
    create_selection_mask(doc, 10, 10, false, 255, 0, 0);
    ASSERT_TRUE(clip_selection_to_layer(doc, doc.current_layer_record()));
    EXPECT_EQ(doc.selection.left, 3);
    EXPECT_EQ(doc.selection.mask.bounds(), (trect{0, 0, 4, 4}));
    EXPECT_EQ(grey(doc.selection.mask, 0, 0), 0);
    EXPECT_EQ(grey(doc.selection.mask, 1, 0), 255);
    const std::uint8_t* tight = doc.selection.mask.bits();
    ASSERT_TRUE(clip_selection_to_layer(doc, doc.current_layer_record()));
    EXPECT_EQ(doc.selection.mask.bits(), tight); // already tight: no copy
    create_selection_mask(doc, 2, 2, false, 255, 0, 0);
    EXPECT_FALSE(clip_selection_to_layer(doc, doc.current_layer_record()));
    EXPECT_EQ(doc.selection.mask.bounds(), (trect{0, 0, 2, 2}));
}

TEST(SelectionCommands, SavingNeedsASelection)
{
    tdocument doc = make_document(5, 5);
    EXPECT_FALSE(save_selection(doc));
    EXPECT_TRUE(doc.saved_selections.empty());
    create_selection_mask(doc, 2, 2, false, 255, 1, 1);
    build_selection_outline(doc);
    EXPECT_TRUE(save_selection(doc));
    ASSERT_EQ(doc.saved_selections.size(), 1u);
    EXPECT_EQ(doc.saved_selections[0]->left, 1);
    EXPECT_NE(doc.saved_selections[0]->mask.bits(), doc.selection.mask.bits());
}

TEST(SelectionCommands, LoadPreview)
{
    EXPECT_DOUBLE_EQ(load_preview_scale(160, 80), 0.5);
    EXPECT_DOUBLE_EQ(load_preview_scale(0, 30), 80.0 / 60);
    EXPECT_EQ(load_preview_size(160, 80), (tsize{80, 40}));
    EXPECT_EQ(load_preview_size(90, 200), (tsize{36, 80}));
    EXPECT_EQ(load_preview_size(0, 0), (tsize{80, 80}));
    // A white 20 x 20 raster at (41, 21) of a 160 x 80 picture: 10 x 10 at
    // (round(20.5), round(10.5)) = (20, 10).
    const Tfbitmap preview = load_preview(saved_rectangle(41, 21, 20, 20, 255), 160, 80);
    ASSERT_EQ(preview.bounds(), (trect{0, 0, 80, 40}));
    EXPECT_EQ(grey(preview, 19, 15), 0);
    EXPECT_EQ(grey(preview, 20, 15), 255);
    EXPECT_EQ(grey(preview, 29, 10), 255);
    EXPECT_EQ(grey(preview, 30, 15), 0);
    EXPECT_EQ(grey(preview, 25, 9), 0);
    EXPECT_EQ(preview.pixel(25, 15)[alpha_byte], 255);
}

TEST(SelectionCommands, LoadingASnapshotRebuildsTheOutline)
{
    tdocument doc = make_document(6, 6);
    select_levels(doc, 1, 1, {{255, 255}, {255, 255}});
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("velmora-selection-test-" + std::to_string(::getpid()))).string();
    write_vlm_snapshot(doc, file, {});
    tdocument loaded = make_document(6, 6, zoom_400);
    std::vector<Tfbitmap> spare;
    read_vlm_snapshot(loaded, file, spare);
    std::filesystem::remove(file);
    EXPECT_EQ(loaded.outline.points, doc.outline.points);
    EXPECT_EQ(loaded.outline.view_points.size(), 4u * (5 + 4)); // four pixels, one edge across and one down each
}

tapply_step step(const std::string& text)
{
    return parse_apply_step(text);
}

TEST(SelectionSteps, RunTheSelectMenu)
{
    tdocument doc = make_document(8, 8);
    EXPECT_TRUE(run_selection_step(doc, step("select-all")));
    EXPECT_TRUE(doc.has_selection);
    EXPECT_TRUE(run_selection_step(doc, step("Savetheselection1Click")));
    EXPECT_TRUE(run_selection_step(doc, step("Deselect1Click")));
    EXPECT_FALSE(doc.has_selection);
    EXPECT_TRUE(run_selection_step(doc, step("load-selection:index=1,operation=intersect")));
    EXPECT_TRUE(doc.has_selection); // an empty image-sized C intersected: nothing
    EXPECT_EQ(selection_weight(doc, 3, 3), 0);
    EXPECT_TRUE(run_selection_step(doc, step("Invert2Click")));
    EXPECT_EQ(selection_weight(doc, 3, 3), 255);
    EXPECT_TRUE(run_selection_step(doc, step("Loadtheselection1Click:operation=2")));
    EXPECT_EQ(selection_weight(doc, 3, 3), 0);
    EXPECT_TRUE(run_selection_step(doc, step("get-selection")));
    EXPECT_EQ(selection_weight(doc, 3, 3), 255); // the opaque background
    EXPECT_FALSE(run_selection_step(doc, step("select-everything")));

    for (const char* refused : {"load-selection:index=2", "load-selection:operation=xor",
                                "load-selection:operation=4", "select-all:size=2"})
        EXPECT_THROW(run_selection_step(doc, step(refused)), velmora_error) << refused;
    tdocument none = make_document(4, 4);
    EXPECT_THROW(run_selection_step(none, step("load-selection")), velmora_error);
}

TEST(SelectionSteps, FilterAfterASelectionStepStaysInside)
{
    tdocument doc = make_document(6, 6);
    Tfbitmap pixels(2, 3);
    pixels.fill_pixels(0, 0, 0, 255);
    add_layer(doc, pixels, "Shape", 255, 1, 2, normal);
    ASSERT_TRUE(run_selection_step(doc, step("get-selection")));
    set_current_layer(doc, 0);
    ASSERT_TRUE(run_filter_step(doc, step("invert")));
    const Tfbitmap& background = doc.layers[0]->bitmap;
    for (std::int32_t y = 0; y < 6; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            EXPECT_EQ(background.pixel(x, y)[red_byte], x >= 1 && x < 3 && y >= 2 && y < 5 ? 0 : 255)
                << x << ',' << y;
}

} // namespace
} // namespace velmora
