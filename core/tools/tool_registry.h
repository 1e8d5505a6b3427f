#pragma once

#include "tools/tool_editor.h"

#include <array>
#include <memory>

namespace velmora {

// What a tool sees of the editor while it handles one event: the document,
// the program's tool state, the view and the result it fills in.
struct ttool_context {
    tdocument& doc;
    ttool_state& state;
    const ttool_view& view;
    ttool_result& result;

    double image_x(std::int32_t view_x) const { return view.mapping.image_x(view_x); }
    double image_y(std::int32_t view_y) const { return view.mapping.image_y(view_y); }
    // The document pixel under a view point.
    tpoint image_pixel(const tpoint& view_point) const
    {
        return {std::int32_t(image_x(view_point.x)), std::int32_t(image_y(view_point.y))};
    }
    void add_dirty(const trect& rect);
};

// One tool, registered under its id. Tools keep no state of their own.
class ttool {
public:
    virtual ~ttool() = default;
    virtual void press(ttool_context& context, const tpointer_event& event) const = 0;
    virtual void move(ttool_context&, const tpointer_event&) const {}
    virtual void release(ttool_context&, const tpointer_event&) const {}
    virtual void tick(ttool_context&) const {}
    // The table's cursor unless the tool says otherwise.
    virtual std::string_view cursor(const ttool_state& state, std::uint8_t modifiers) const;
};

using ttool_registry = std::array<std::unique_ptr<ttool>, tool_id::count>;

const ttool* find_tool(std::uint8_t id);

void register_paint_tools(ttool_registry& registry);
void register_view_tools(ttool_registry& registry);

// The raster the tools paint: the current layer, or its mask while mask editing.
tcalque& paint_target(tdocument& doc);

// The common start of a press that changes pixels: the layer stops being a
// text layer, grows to the document unless its transparency is preserved,
// and with `stroke` the stroke's rasters start afresh when a new stroke is due.
// The marching ants stop.
tcalque& begin_paint(ttool_context& context, bool stroke);
// Whether a tool may change the target's alpha (never a mask's).
bool alpha_allowed(const tdocument& doc, const tcalque& target);
// The layer stops being a text layer (not in mask editing, where the mask is painted).
void forget_target_text(tdocument& doc);

// The common end of a stroke: the next press starts a new one, the ants march
// again and one history step is recorded under the tool's name.
void end_stroke(ttool_context& context);

// Samples the displayed view at the pointer into the foreground (left button)
// or background (right button) colour.
void pick_colour(ttool_context& context, const tpointer_event& event);

} // namespace velmora
