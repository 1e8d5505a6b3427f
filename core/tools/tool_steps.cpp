#include "tools/tool_steps.h"

#include "document/error.h"
#include "tools/tool_editor.h"

#include <charconv>
#include <vector>

namespace velmora {

namespace {

// Far enough outside any document to start a stroke off the edge, near
// enough that a walk between two points stays short.
constexpr std::int32_t point_limit = 2 * max_raster_side;

std::int32_t parse_coordinate(std::string_view text, std::string_view whole)
{
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < -point_limit ||
        value > point_limit)
        throw velmora_error("@ch_error", "'" + std::string(whole) + "' is not a list of X/Y points");
    return value;
}

std::vector<tpoint> parse_points(std::string_view text)
{
    std::vector<tpoint> points;
    for (const std::string_view pair : split_list(text, ';')) {
        const std::size_t slash = pair.find('/');
        if (slash == std::string_view::npos)
            throw velmora_error("@ch_error", "'" + std::string(pair) + "' is not an X/Y point");
        points.push_back({parse_coordinate(pair.substr(0, slash), pair), parse_coordinate(pair.substr(slash + 1), pair)});
    }
    if (points.empty())
        throw velmora_error("@ch_error", "a stroke needs points=X/Y;...");
    return points;
}

TColor parse_colour(const tapply_step& step, std::string_view key, TColor fallback)
{
    const auto text = step.text(key);
    if (!text)
        return fallback;
    std::uint32_t rgb = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), rgb, 16);
    if (text->size() != 6 || error != std::errc() || end != text->data() + text->size())
        throw velmora_error("@ch_error", "'" + std::string(*text) + "' is not a colour rrggbb for " + std::string(key));
    return make_color(std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb));
}

tbrush_kind parse_shape(const tapply_step& step)
{
    const auto text = step.text("shape");
    if (!text || *text == "round")
        return tbrush_kind::round;
    if (*text == "square")
        return tbrush_kind::square;
    throw velmora_error("@ch_error", "'" + std::string(*text) + "' is not round or square for shape");
}

} // namespace

bool run_tool_step(tdocument& doc, const tapply_step& step)
{
    if (!step.is({"stroke"}))
        return false;
    step.allow_only({"tool", "points", "size", "softness", "opacity", "colour", "background", "spacing", "shape",
                     "antialias", "ticks"});
    const auto tool = std::uint8_t(step.integer("tool", tool_id::paintbrush, 0, tool_id::count - 1));
    if (tool != tool_id::paintbrush && tool != tool_id::airbrush && tool != tool_id::pencil && tool != tool_id::eraser)
        throw velmora_error("@ch_error", "tool " + std::to_string(tool) + " cannot stroke");
    const auto points_text = step.text("points");
    const std::vector<tpoint> points = parse_points(points_text.value_or(""));

    ttool_editor editor;
    editor.state.current_tool = tool;
    editor.state.foreground = parse_colour(step, "colour", editor.state.foreground);
    editor.state.background = parse_colour(step, "background", editor.state.background);
    if (tool == tool_id::pencil) {
        editor.state.pencil.opacity = step.integer("opacity", 100, 1, 100);
        editor.state.pencil.antialiased = step.integer("antialias", 1, 0, 1) != 0;
    } else {
        const tbrush_settings defaults = default_brush(tool);
        tbrush_settings brush;
        brush.size = step.integer("size", defaults.size, brush_size_min, brush_size_max);
        brush.softness = step.integer("softness", defaults.softness, 0, brush_softness_max);
        brush.opacity = step.integer("opacity", defaults.opacity, brush_opacity_min, brush_opacity_max);
        brush.spacing = step.integer("spacing", defaults.spacing, 0, 1000);
        brush.kind = parse_shape(step);
        editor.set_brush(brush, false);
    }
    const std::int32_t ticks = step.integer("ticks", 1, 0, 1000);

    // Document pixels are view pixels at 100 % with the view at the image's corner.
    const ttool_view view;
    const auto spray = [&] {
        for (std::int32_t i = 0; tool == tool_id::airbrush && i < ticks; ++i)
            editor.airbrush_tick(doc, view);
    };
    editor.press(doc, view, {points.front(), mouse_button::left, 0});
    spray();
    for (std::size_t i = 1; i < points.size(); ++i) {
        editor.move(doc, view, {points[i], mouse_button::left, 0});
        spray();
    }
    editor.release(doc, view, {points.back(), mouse_button::left, 0});
    return true;
}

} // namespace velmora
