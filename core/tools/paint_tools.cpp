#include "selection/selection.h"
#include "tools/line_rasterisers.h"
#include "tools/tool_registry.h"

#include <cstdlib>

namespace velmora {

namespace {

bool holds(const tpointer_event& event, std::uint8_t button)
{
    return (event.buttons & button) != 0;
}

// The paintbrush, the airbrush and the eraser: the brush engine with the
// foreground colour, or the background colour for the eraser.
class tbrush_tool : public ttool {
public:
    explicit tbrush_tool(std::uint8_t id) : id_(id) {}

    void press(ttool_context& context, const tpointer_event& event) const override
    {
        if (!holds(event, mouse_button::left))
            return;
        ttool_state& state = context.state;
        tcalque& target = begin_paint(context, true);
        if (state.brush_shape.empty())
            state.brush_shape = build_brush(state.brush);
        state.brush_shape.set_colour(id_ == tool_id::eraser ? state.background : state.foreground);
        const tpoint point = context.image_pixel(event.view);
        const tpoint local{point.x - target.left, point.y - target.top};
        dab(context, float(local.x), float(local.y));
        state.last_dab = {double(local.x), double(local.y)};
        state.stroke_button = mouse_button::left;
        remember_pointer(context, event);
        if (id_ == tool_id::airbrush)
            state.airbrush_running = true;
    }

    void move(ttool_context& context, const tpointer_event& event) const override
    {
        remember_pointer(context, event);
        ttool_state& state = context.state;
        if (state.stroke_button != mouse_button::left || !holds(event, mouse_button::left))
            return;
        forget_target_text(context.doc);
        const tcalque& target = paint_target(context.doc);
        const tpoint from = context.image_pixel(state.previous_point);
        const tpoint to = context.image_pixel(event.view);
        stroke_segment(from.x - target.left, from.y - target.top, to.x - target.left, to.y - target.top,
                       dab_spacing(state.brush_shape, state.brush.spacing), state.last_dab,
                       [&](float x, float y) { dab(context, x, y); });
    }

    void release(ttool_context& context, const tpointer_event& event) const override
    {
        if (context.state.stroke_button != mouse_button::left || !holds(event, mouse_button::left))
            return;
        context.state.airbrush_running = false;
        end_stroke(context);
    }

    void tick(ttool_context& context) const override
    {
        if (id_ != tool_id::airbrush || context.state.stroke_button != mouse_button::left)
            return;
        const tcalque& target = paint_target(context.doc);
        const tpoint point = context.image_pixel({context.doc.airbrush_x, context.doc.airbrush_y});
        dab(context, float(point.x - target.left), float(point.y - target.top));
    }

    std::string_view cursor(const ttool_state& state, std::uint8_t modifiers) const override
    {
        return state.classic_preview ? std::string_view() : ttool::cursor(state, modifiers);
    }

private:
    static void remember_pointer(ttool_context& context, const tpointer_event& event)
    {
        context.doc.airbrush_x = event.view.x;
        context.doc.airbrush_y = event.view.y;
    }

    static void dab(ttool_context& context, float x, float y)
    {
        tdocument& doc = context.doc;
        tcalque& target = paint_target(doc);
        const tpaint_target paint{&target.bitmap,       target.left,          target.top,
                                  alpha_allowed(doc, target), &doc.stroke_base, &doc.stroke_coverage,
                                  active_selection(doc)};
        const trect touched = paint_dab(paint, context.state.brush_shape, context.state.brush.opacity, x, y);
        if (!touched.empty())
            context.add_dirty({touched.left + target.left, touched.top + target.top, touched.right + target.left,
                               touched.bottom + target.top});
    }

    std::uint8_t id_;
};

// The pencil: one-pixel lines, hard or anti-aliased, without the brush; a
// colour picker while ALT is held.
class tpencil_tool : public ttool {
public:
    void press(ttool_context& context, const tpointer_event& event) const override
    {
        if (event.modifiers & modifier_key::alt) {
            pick_colour(context, event);
            return;
        }
        if (!holds(event, mouse_button::left))
            return;
        const tcalque& target = begin_paint(context, false);
        const tpoint point = context.image_pixel(event.view);
        plot_pixel(line_target(context), point.x - target.left, point.y - target.top, strength(context));
        context.add_dirty({point.x, point.y, point.x + 1, point.y + 1});
        context.state.stroke_button = mouse_button::left;
    }

    void move(ttool_context& context, const tpointer_event& event) const override
    {
        if (event.modifiers & modifier_key::alt) {
            if (event.buttons & (mouse_button::left | mouse_button::right))
                pick_colour(context, event);
            return;
        }
        if (context.state.stroke_button != mouse_button::left || !holds(event, mouse_button::left))
            return;
        forget_target_text(context.doc);
        const tline_target line = line_target(context);
        const tpoint from = context.image_pixel(context.state.previous_point);
        const tpoint to = context.image_pixel(event.view);
        if (std::abs(to.x - from.x) > 1 || std::abs(to.y - from.y) > 1) {
            if (context.state.pencil.antialiased)
                wu_line(line, strength(context), true, from.x, from.y, to.x, to.y);
            else
                plain_line(line, strength(context), from.x, from.y, to.x, to.y);
        } else {
            plot_pixel(line, to.x - line.left, to.y - line.top, strength(context));
        }
        context.add_dirty({std::min(from.x, to.x) - 2, std::min(from.y, to.y) - 2, std::max(from.x, to.x) + 3,
                           std::max(from.y, to.y) + 3});
    }

    // A stroke that painted is recorded even when ALT went down meanwhile.
    void release(ttool_context& context, const tpointer_event& event) const override
    {
        if (context.state.stroke_button == mouse_button::left && holds(event, mouse_button::left))
            end_stroke(context);
    }

    std::string_view cursor(const ttool_state& state, std::uint8_t modifiers) const override
    {
        return modifiers & modifier_key::alt ? "PIPETTE" : ttool::cursor(state, modifiers);
    }

private:
    static float strength(const ttool_context& context) { return float(context.state.pencil.opacity) / 100; }

    static tline_target line_target(ttool_context& context)
    {
        tcalque& target = paint_target(context.doc);
        return {&target.bitmap, target.left, target.top, alpha_allowed(context.doc, target),
                split_color(context.state.foreground), active_selection(context.doc)};
    }
};

} // namespace

void register_paint_tools(ttool_registry& registry)
{
    for (const std::uint8_t id : {tool_id::paintbrush, tool_id::airbrush, tool_id::eraser})
        registry[id] = std::make_unique<tbrush_tool>(id);
    registry[tool_id::pencil] = std::make_unique<tpencil_tool>();
}

} // namespace velmora
