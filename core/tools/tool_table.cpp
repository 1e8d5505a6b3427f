#include "tools/tool_table.h"

#include <algorithm>
#include <array>

namespace velmora {

namespace {

using namespace tool_id;

constexpr std::array<ttool_info, 43> tools{{
    // id, name, group, button, panel, brush panel, brush section, cursor, restored
    {move, "@ch_move", "tb0", 0, "options_panel_move", false, "", "DEPLACE", true},
    {lasso, "@ch_lasso_select", "tb1", 1, "options_panel_selection", false, "", "LASSO", true},
    {polygonal_lasso, "@ch_lasso_polygonal", "tb1", 2, "options_panel_selection", false, "", "LASSO_POLYGONAL", true},
    {rectangle_select, "@ch_rectangle_select", "tb1", 3, "options_panel_selection", false, "", "SELECT", true},
    {ellipse_select, "@ch_circle_select", "tb1", 4, "options_panel_selection", false, "", "SELECT", true},
    {magic_wand, "@ch_magic_wand", "tb1", 5, "options_panel_magicwand", false, "", "MAGICWAND", true},
    {vertical_select, "@ch_vertical_select", "tb1", 6, "options_panel_selectdecoupe", false, "", "", true},
    {horizontal_select, "@ch_horizontal_select", "tb1", 7, "options_panel_selectdecoupe", false, "", "", true},
    {paintbrush, "@ch_pinceau", "tb2", 1, "options_panel_brushfade", true, "paintbrush", "PRECIS", true},
    {airbrush, "@ch_airbrush", "tb2", 2, "", true, "airbrush", "PRECIS", true},
    {pencil, "@ch_crayon", "tb2", 3, "options_panel_pen", false, "", "CRAYON", true},
    {eraser, "@ch_gomme", "tb2", 4, "", true, "gomme", "PRECIS", true},
    {history_brush, "@ch_history_brush", "tb2", 5, "options_panel_history_brush", true, "historybrush", "PRECIS",
     true},
    {text, "@ch_text", "tb3", 1, "options_panel_nooptions", false, "", "", true},
    {text_selection, "@ch_text_selection", "tb3", 2, "options_panel_nooptions", false, "", "", true},
    {clone, "@ch_tampon", "tb4", 1, "options_panel_tampon", true, "tampon", "PRECIS", true},
    {lighten, "@ch_eclaircit", "tb4", 2, "options_panel_dodge", true, "lighten", "PRECIS", true},
    {line, "@ch_segment", "tb5", 1, "options_panel_segment", false, "", "PRECIS", true},
    {rectangle, "@ch_draw_quad", "tb5", 2, "options_panel_carre", false, "", "PRECIS", false},
    {ellipse, "@ch_draw_circle", "tb5", 3, "options_panel_circle", false, "", "PRECIS", false},
    {flood_fill, "@ch_fill", "tb6", 1, "options_panel_floodfill", false, "", "FILL", true},
    {linear_gradient, "@ch_degrade_linear", "tb6", 2, "options_panel_gradientfill", false, "", "DEGRADE", true},
    {radial_gradient, "@ch_degrade_radial", "tb6", 3, "options_panel_gradientfill", false, "", "DEGRADE", true},
    {diamond_gradient, "@ch_degrade_losange", "tb6", 4, "options_panel_gradientfill", false, "", "DEGRADE", false},
    {angle_gradient, "@ch_degrade_angle", "tb6", 5, "options_panel_gradientfill", false, "", "DEGRADE", false},
    {define_path, "@ch_vector_define", "tb7", 1, "options_panel_vectorial", false, "", "DEGRADE", true},
    {insert_vertex, "@ch_vector_plus", "tb7", 2, "options_panel_vectorial", false, "", "", true},
    {delete_vertex, "@ch_vector_moins", "tb7", 3, "options_panel_vectorial", false, "", "", true},
    {modify_tangents, "@ch_vector_arrange", "tb7", 4, "options_panel_vectorial", false, "", "", true},
    {move_path, "@ch_vector_move", "tb7", 5, "options_panel_vectorial", false, "", "", true},
    {move_vertex, "@ch_vector_movepoint", "tb7", 6, "options_panel_vectorial", false, "", "", true},
    {colour_picker, "@ch_pipette", "tb8", 0, "options_panel_picker", false, "", "PIPETTE", true},
    {zoom, "@ch_zoom", "tb9", 0, "options_panel_zoom", false, "", "ZOOMIN", true},
    {transform_scale, "@ch_transform_scale", "tb10", 1, "options_panel_transform", false, "", "", false},
    {transform_rotate, "@ch_transform_rotate", "tb10", 2, "options_panel_transform", false, "", "", false},
    {transform_skew, "@ch_transform_skew", "tb10", 3, "options_panel_transform", false, "", "", false},
    {transform_perspective, "@ch_transform_perspective", "tb10", 4, "options_panel_transform", false, "", "", false},
    {transform_distort, "@ch_transform_distort", "tb10", 5, "options_panel_transform", false, "", "", false},
    {grow, "@ch_grow", "tb11", 1, "options_panel_goo", false, "", "", true},
    {shrink, "@ch_shrink", "tb11", 2, "options_panel_goo", false, "", "", true},
    {goo_move, "@ch_move", "tb11", 3, "options_panel_goo", false, "", "", true},
    {twirl_left, "@ch_twirl_cw", "tb11", 4, "options_panel_goo", false, "", "", true},
    {twirl_right, "@ch_twirl_ccw", "tb11", 5, "options_panel_goo", false, "", "", true},
}};

constexpr std::array<ttool_group, 12> groups{{
    {"tb0", "", "@ch_move"},
    {"tb1", "Tderoule1", "@ch_select_tools"},
    {"tb2", "Tderoule2", "@ch_paint_tools"},
    {"tb3", "Tderoule3", "@ch_text"},
    {"tb4", "Tderoule4", "@ch_retouch_tools"},
    {"tb5", "Tderoule5", "@ch_shapes"},
    {"tb6", "Tderoule6", "@ch_fill_tools"},
    {"tb7", "Tderoule9", "@ch_vector_tools"},
    {"tb8", "", "@ch_pick_color"},
    {"tb9", "", "@ch_zoom"},
    {"tb10", "Tderoule7", "@ch_transform_tools"},
    {"tb11", "Tderoule8", "@ch_deform_tools"},
}};

} // namespace

std::span<const ttool_info> tool_table()
{
    return tools;
}

std::span<const ttool_group> tool_groups()
{
    return groups;
}

const ttool_info* find_tool_info(std::uint8_t id)
{
    const auto found = std::find_if(tools.begin(), tools.end(), [id](const ttool_info& tool) { return tool.id == id; });
    return found == tools.end() ? nullptr : &*found;
}

const ttool_group* find_tool_group(std::string_view button)
{
    const auto found =
        std::find_if(groups.begin(), groups.end(), [button](const ttool_group& group) { return group.button == button; });
    return found == groups.end() ? nullptr : &*found;
}

std::string_view brush_section(std::uint8_t id)
{
    const ttool_info* tool = find_tool_info(id);
    return tool && !tool->brush_section.empty() ? tool->brush_section : "unknown";
}

std::uint8_t restored_tool(std::int32_t stored_id)
{
    if (stored_id < 0 || stored_id >= tool_id::count)
        return tool_id::move;
    const ttool_info* tool = find_tool_info(std::uint8_t(stored_id));
    return tool && tool->restored ? tool->id : tool_id::move;
}

} // namespace velmora
