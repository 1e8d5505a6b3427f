#include "tools/tool_editor.h"

#include "document/composite.h"
#include "selection/selection.h"
#include "shell/catalogue.h"
#include "shell/preferences.h"
#include "tools/tool_registry.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace velmora {

namespace {

const ttool_registry& registry()
{
    static const ttool_registry tools = [] {
        ttool_registry built;
        register_paint_tools(built);
        register_view_tools(built);
        return built;
    }();
    return tools;
}

trect unite(const trect& a, const trect& b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

} // namespace

const ttool* find_tool(std::uint8_t id)
{
    return id < tool_id::count ? registry()[id].get() : nullptr;
}

void ttool_context::add_dirty(const trect& rect)
{
    result.dirty = unite(result.dirty, intersect(rect, doc.bounds()));
}

std::string_view ttool::cursor(const ttool_state& state, std::uint8_t) const
{
    const ttool_info* info = find_tool_info(state.current_tool);
    return info ? info->cursor : std::string_view();
}

tcalque& paint_target(tdocument& doc)
{
    tcalque& layer = doc.current_layer_record();
    return doc.mask_editing && layer.mask ? *layer.mask : layer;
}

bool alpha_allowed(const tdocument& doc, const tcalque& target)
{
    return !doc.mask_editing && !target.preserve_transparency;
}

void forget_target_text(tdocument& doc)
{
    if (!doc.mask_editing)
        forget_text(doc, doc.current_layer);
}

tcalque& begin_paint(ttool_context& context, bool stroke)
{
    tdocument& doc = context.doc;
    forget_target_text(doc);
    if (!paint_target(doc).preserve_transparency)
        extend_layer_to_document(doc, doc.current_layer);
    tcalque& target = paint_target(doc);
    if (stroke && doc.stroke_reset_pending) {
        doc.stroke_base = target.bitmap;
        doc.stroke_coverage.set_size(target.bitmap.width(), target.bitmap.height());
        doc.stroke_coverage.fill_pixels(255, 255, 255, 255);
        doc.stroke_reset_pending = 0;
    }
    context.result.stop_ants = true;
    return target;
}

void end_stroke(ttool_context& context)
{
    context.doc.stroke_reset_pending = 1;
    context.state.stroke_button = 0;
    context.result.restart_ants = true;
    if (const ttool_info* info = find_tool_info(context.state.current_tool))
        context.result.history_key = info->name_key;
}

void ttool_editor::choose_tool(std::uint8_t id)
{
    state.brush_shape = {};
    state.current_tool = id;
    state.stroke_button = 0;
    state.airbrush_running = false;
    const ttool_info* info = find_tool_info(id);
    if (info && info->brush_panel)
        set_brush(load_brush_preferences(id, state.brush), false);
}

void ttool_editor::set_brush(const tbrush_settings& settings, bool from_user)
{
    state.brush = settings;
    state.brush_shape = build_brush(settings);
    if (from_user)
        store_brush_preferences(state.current_tool, settings);
}

bool ttool_editor::available(std::uint8_t id)
{
    return find_tool(id) != nullptr;
}

template <typename Step>
ttool_result ttool_editor::run(tdocument& doc, const ttool_view& view, Step step)
{
    ttool_result result;
    const ttool* tool = find_tool(state.current_tool);
    if (busy_ || !tool || !doc.valid_layer(doc.current_layer))
        return result;
    struct tbusy_guard {
        bool& busy;
        explicit tbusy_guard(bool& flag) : busy(flag) { busy = true; }
        ~tbusy_guard() { busy = false; }
    } guard(busy_);
    ttool_context context{doc, state, view, result};
    step(*tool, context);
    return result;
}

ttool_result ttool_editor::press(tdocument& doc, const ttool_view& view, const tpointer_event& event)
{
    return run(doc, view, [&](const ttool& tool, ttool_context& context) {
        state.press_point = state.previous_point = event.view;
        tool.press(context, event);
    });
}

ttool_result ttool_editor::move(tdocument& doc, const ttool_view& view, const tpointer_event& event)
{
    return run(doc, view, [&](const ttool& tool, ttool_context& context) {
        tool.move(context, event);
        state.previous_point = event.view;
    });
}

ttool_result ttool_editor::release(tdocument& doc, const ttool_view& view, const tpointer_event& event)
{
    return run(doc, view, [&](const ttool& tool, ttool_context& context) { tool.release(context, event); });
}

ttool_result ttool_editor::airbrush_tick(tdocument& doc, const ttool_view& view)
{
    if (!state.airbrush_running)
        return {};
    return run(doc, view, [&](const ttool& tool, ttool_context& context) { tool.tick(context); });
}

std::string_view ttool_editor::cursor(std::uint8_t modifiers) const
{
    const ttool* tool = find_tool(state.current_tool);
    if (tool)
        return tool->cursor(state, modifiers);
    const ttool_info* info = find_tool_info(state.current_tool);
    return info ? info->cursor : std::string_view();
}

tbrush_settings default_brush(std::uint8_t tool)
{
    tbrush_settings settings;
    settings.size = 40;
    settings.softness = tool == tool_id::airbrush ? 65 : 40;
    settings.opacity = tool == tool_id::lighten ? 100 : 255;
    return settings;
}

tbrush_settings load_brush_preferences(std::uint8_t tool, const tbrush_settings& current)
{
    const std::string_view section = brush_section(tool);
    const tbrush_settings defaults = default_brush(tool);
    tbrush_settings settings = current;
    settings.size = std::clamp(read_int(section, "size", defaults.size), brush_size_min, brush_size_max);
    settings.softness = std::clamp(read_int(section, "blur", defaults.softness), 0, brush_softness_max);
    settings.opacity =
        std::clamp(read_int(section, "opacity", defaults.opacity), brush_opacity_min, brush_opacity_max);
    return settings;
}

void store_brush_preferences(std::uint8_t tool, const tbrush_settings& settings)
{
    const std::string_view section = brush_section(tool);
    write_int(section, "size", settings.size);
    write_int(section, "blur", settings.softness);
    write_int(section, "opacity", settings.opacity);
}

std::string options_caption(std::uint8_t tool)
{
    const ttool_info* info = find_tool_info(tool);
    return translate("@ch_options") + (info ? translate(info->name_key) : std::string());
}

bool parse_spacing(std::string_view text, std::int32_t& spacing)
{
    if (text.empty())
        return true;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    spacing = value;
    return true;
}

void composite_dirty(const tdocument& doc, Tfbitmap& view, const tview_mapping& mapping, const trect& dirty)
{
    if (dirty.empty() || view.empty())
        return;
    // composite_view takes image units measured from the view's corner.
    const trect area{std::int32_t(std::floor(dirty.left - double(mapping.ox))),
                     std::int32_t(std::floor(dirty.top - double(mapping.oy))),
                     std::int32_t(std::ceil(dirty.right - double(mapping.ox))),
                     std::int32_t(std::ceil(dirty.bottom - double(mapping.oy)))};
    composite_view(doc, view, mapping, area);
}

} // namespace velmora
