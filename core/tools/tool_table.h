#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace velmora {

// The byte ids of the tools, as `current_tool` holds them and the settings
// file stores them.
namespace tool_id {
inline constexpr std::uint8_t move = 0;
inline constexpr std::uint8_t lasso = 1;
inline constexpr std::uint8_t rectangle_select = 2;
inline constexpr std::uint8_t ellipse_select = 3;
inline constexpr std::uint8_t magic_wand = 4;
inline constexpr std::uint8_t vertical_select = 5;
inline constexpr std::uint8_t horizontal_select = 6;
inline constexpr std::uint8_t paintbrush = 7;
inline constexpr std::uint8_t airbrush = 8;
inline constexpr std::uint8_t pencil = 9;
inline constexpr std::uint8_t clone = 10;
inline constexpr std::uint8_t lighten = 11;
inline constexpr std::uint8_t polygonal_lasso = 12;
inline constexpr std::uint8_t eraser = 13;
inline constexpr std::uint8_t text = 14;
inline constexpr std::uint8_t linear_gradient = 15;
inline constexpr std::uint8_t radial_gradient = 16;
inline constexpr std::uint8_t diamond_gradient = 17;
inline constexpr std::uint8_t angle_gradient = 18;
inline constexpr std::uint8_t flood_fill = 19;
inline constexpr std::uint8_t zoom = 20;
inline constexpr std::uint8_t history_brush = 21;
inline constexpr std::uint8_t text_selection = 22;
inline constexpr std::uint8_t define_path = 24;
inline constexpr std::uint8_t insert_vertex = 25;
inline constexpr std::uint8_t delete_vertex = 26;
inline constexpr std::uint8_t modify_tangents = 27;
inline constexpr std::uint8_t move_path = 28;
inline constexpr std::uint8_t move_vertex = 29;
inline constexpr std::uint8_t line = 30;
inline constexpr std::uint8_t rectangle = 31;
inline constexpr std::uint8_t ellipse = 32;
inline constexpr std::uint8_t colour_picker = 33;
inline constexpr std::uint8_t transform_rotate = 34;
inline constexpr std::uint8_t transform_scale = 35;
inline constexpr std::uint8_t transform_skew = 36;
inline constexpr std::uint8_t transform_perspective = 37;
inline constexpr std::uint8_t transform_distort = 38;
inline constexpr std::uint8_t goo_move = 39;
inline constexpr std::uint8_t grow = 40;
inline constexpr std::uint8_t shrink = 41;
inline constexpr std::uint8_t twirl_left = 42;
inline constexpr std::uint8_t twirl_right = 43;
inline constexpr std::uint8_t count = 44; // ids 23 and 44 and above are not used
} // namespace tool_id

// What the tool palette, the options window and the cursor need to know of
// one tool.
struct ttool_info {
    std::uint8_t id;
    std::string_view name_key;      // catalogue key of the tool's name
    std::string_view group;         // group button: "tb0" ... "tb11"
    std::uint8_t button;            // 1-based place in the group's palette; 0 = the group button itself
    std::string_view panel;         // option panel, empty for none
    bool brush_panel;               // the brush panel shows above it
    std::string_view brush_section; // preferences section of the brush values, empty for none
    std::string_view cursor;        // cursor over the image; empty: the tool decides, or the platform's
    bool restored;                  // chosen again at start-up when it was current at closing
};

// A group button of the tool bar, with its pop-out palette (empty for none)
// and the name the status bar shows for the group.
struct ttool_group {
    std::string_view button;
    std::string_view palette;
    std::string_view name_key;
};

std::span<const ttool_info> tool_table();
std::span<const ttool_group> tool_groups();
const ttool_info* find_tool_info(std::uint8_t id);
const ttool_group* find_tool_group(std::string_view button);

// The brush preferences section of a tool, "unknown" for tools without a brush.
std::string_view brush_section(std::uint8_t id);

// The tool chosen at start-up from the stored "last tool selected" id: the
// move tool for -1, for an unknown id and for a tool that is not restored.
std::uint8_t restored_tool(std::int32_t stored_id);

} // namespace velmora
