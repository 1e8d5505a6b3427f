#pragma once

#include "document/document.h"
#include "document/view.h"
#include "tools/brush.h"
#include "tools/tool_table.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

namespace mouse_button {
inline constexpr std::uint8_t left = 1;
inline constexpr std::uint8_t right = 2;
inline constexpr std::uint8_t middle = 4;
} // namespace mouse_button

namespace modifier_key {
inline constexpr std::uint8_t shift = 1;
inline constexpr std::uint8_t ctrl = 2;
inline constexpr std::uint8_t alt = 4;
} // namespace modifier_key

// A pointer event over the image view. `buttons` is the button pressed or
// released, or for a move the buttons held.
struct tpointer_event {
    tpoint view; // view pixels
    std::uint8_t buttons = 0;
    std::uint8_t modifiers = 0;
};

// "Result" of the colour picker's options.
enum class tpicker_mode : std::uint8_t { point, average_3x3, average_5x5 };

struct tpencil_options {
    std::int32_t opacity = 100; // percent
    bool antialiased = true;
};

// The tool state the main window holds for the whole program: the current
// tool and its options, the colours, the brush and the pointer's history.
struct ttool_state {
    std::uint8_t current_tool = tool_id::move;
    TColor foreground = 0x000000;
    TColor background = 0xFFFFFF;
    tbrush_settings brush;
    tbrush_shape brush_shape; // the brush the tools paint with; empty until a brush tool is chosen
    tpencil_options pencil;
    tpicker_mode picker = tpicker_mode::point;
    bool zoom_resizes_window = false; // the zoom tool's "Resize window" box
    bool realtime_preview = false; // preferences "brushes"
    bool classic_preview = false;

    tpoint press_point;    // view pixels
    tpoint previous_point; // view pixels
    tdab_point last_dab;   // target-local
    std::uint8_t stroke_button = 0; // the button that started the stroke under way, 0 for none
    bool airbrush_running = false;  // the airbrush timer should tick
};

// What one event changed, for the window to show and record.
struct ttool_result {
    trect dirty;                   // document pixels to composite again
    std::string_view history_key;  // catalogue text of the step to record, empty for none
    bool foreground_changed = false;
    bool background_changed = false;
    bool stop_ants = false;        // a stroke started: the outline stops marching
    bool restart_ants = false;     // a stroke ended: the outline marches again
    std::int32_t zoom_index = 0;   // zoom to this level around the pointer, 0 for none
};

// The view the events happened over.
struct ttool_view {
    tview_mapping mapping;
    const Tfbitmap* bitmap = nullptr; // the displayed composite, sampled by the colour picker
};

// The tool half of the headless editor: the image window forwards its mouse
// events and the airbrush timer here, then composites `dirty`, records
// `history_key` (translated) and refreshes what the result names. Events
// that arrive while one is being handled are dropped, not nested.
class ttool_editor {
public:
    ttool_state state;

    // Makes `id` current and loads its brush preferences when it paints with
    // the brush. The caller has resolved a pending transformation first.
    void choose_tool(std::uint8_t id);
    // The brush panel changed; the values are stored under the current tool's
    // section only when the user changed them.
    void set_brush(const tbrush_settings& settings, bool from_user);
    // Whether a tool object exists for `id` (the palette disables the others).
    static bool available(std::uint8_t id);

    ttool_result press(tdocument& doc, const ttool_view& view, const tpointer_event& event);
    ttool_result move(tdocument& doc, const ttool_view& view, const tpointer_event& event);
    ttool_result release(tdocument& doc, const ttool_view& view, const tpointer_event& event);
    // The airbrush timer, every 100 ms while state.airbrush_running.
    ttool_result airbrush_tick(tdocument& doc, const ttool_view& view);

    // The cursor over the image for the modifier keys held now; empty when
    // the brush outline replaces it or the platform's own cursor is meant.
    std::string_view cursor(std::uint8_t modifiers) const;

private:
    template <typename Step>
    ttool_result run(tdocument& doc, const ttool_view& view, Step step);
    bool busy_ = false;
};

// The brush values a tool starts with before the user changes them.
tbrush_settings default_brush(std::uint8_t tool);
// The brush values stored for a tool (defaults when none are), the other
// fields kept from `current`.
tbrush_settings load_brush_preferences(std::uint8_t tool, const tbrush_settings& current);
void store_brush_preferences(std::uint8_t tool, const tbrush_settings& settings);

// "Options: " and the tool's name, in the active language.
std::string options_caption(std::uint8_t tool);

// The spacing edit's text: false for text that is not a whole number (the
// spacing keeps its value); an empty text leaves it unchanged.
bool parse_spacing(std::string_view text, std::int32_t& spacing);

// Recomposites the view pixels that show document rectangle `dirty`.
void composite_dirty(const tdocument& doc, Tfbitmap& view, const tview_mapping& mapping, const trect& dirty);

} // namespace velmora
