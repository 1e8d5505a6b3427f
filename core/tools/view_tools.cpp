#include "document/rounding.h"
#include "tools/tool_registry.h"

#include <algorithm>

namespace velmora {

namespace {

// The averaged block around (x, y): rows y - reach .. y + reach and the same
// columns, cut at the view's edges; the 5 by 5 block stops one pixel short of
// the last row and column. The pixel under the pointer counts once more.
TColor sample_view(const Tfbitmap& view, std::int32_t x, std::int32_t y, tpicker_mode mode)
{
    const std::uint8_t* centre = view.pixel(x, y);
    if (mode == tpicker_mode::point)
        return make_color(centre[red_byte], centre[green_byte], centre[blue_byte]);
    const std::int32_t reach = mode == tpicker_mode::average_3x3 ? 1 : 2;
    const std::int32_t last_x = view.width() - reach, last_y = view.height() - reach;
    std::int64_t sum[3] = {centre[blue_byte], centre[green_byte], centre[red_byte]};
    std::int64_t count = 1;
    for (std::int32_t row = std::max(0, y - reach); row <= std::min(y + reach, last_y); ++row)
        for (std::int32_t column = std::max(0, x - reach); column <= std::min(x + reach, last_x); ++column) {
            const std::uint8_t* p = view.pixel(column, row);
            for (int channel = 0; channel < 3; ++channel)
                sum[channel] += p[channel];
            ++count;
        }
    const auto average = [&](int channel) {
        return std::uint8_t(round_half_even((long double)sum[channel] / count));
    };
    return make_color(average(red_byte), average(green_byte), average(blue_byte));
}

class tcolour_picker_tool : public ttool {
public:
    void press(ttool_context& context, const tpointer_event& event) const override { pick_colour(context, event); }

    void move(ttool_context& context, const tpointer_event& event) const override
    {
        if (event.buttons & (mouse_button::left | mouse_button::right))
            pick_colour(context, event);
    }
};

// One zoom level in on a left press, out on a right press or with ALT,
// centred on the pointer.
class tzoom_tool : public ttool {
public:
    void press(ttool_context& context, const tpointer_event& event) const override
    {
        const std::int32_t level = context.doc.zoom_index;
        if (zooms_out(event.buttons, event.modifiers)) {
            if (level > zoom_index_min)
                context.result.zoom_index = level - 1;
        } else if (event.buttons & mouse_button::left) {
            if (level < zoom_index_max)
                context.result.zoom_index = level + 1;
        }
    }

    std::string_view cursor(const ttool_state&, std::uint8_t modifiers) const override
    {
        return modifiers & modifier_key::alt ? "ZOOMOUT" : "ZOOMIN";
    }

private:
    static bool zooms_out(std::uint8_t buttons, std::uint8_t modifiers)
    {
        return (buttons & mouse_button::right) || ((buttons & mouse_button::left) && (modifiers & modifier_key::alt));
    }
};

} // namespace

void pick_colour(ttool_context& context, const tpointer_event& event)
{
    const Tfbitmap* view = context.view.bitmap;
    const tpoint at = event.view;
    if (!view || at.x < 0 || at.y < 0 || at.x >= view->width() || at.y >= view->height())
        return;
    const TColor colour = sample_view(*view, at.x, at.y, context.state.picker);
    if (event.buttons & mouse_button::left) {
        context.state.foreground = colour;
        context.result.foreground_changed = true;
    } else if (event.buttons & mouse_button::right) {
        context.state.background = colour;
        context.result.background_changed = true;
    }
}

void register_view_tools(ttool_registry& registry)
{
    registry[tool_id::colour_picker] = std::make_unique<tcolour_picker_tool>();
    registry[tool_id::zoom] = std::make_unique<tzoom_tool>();
}

} // namespace velmora
