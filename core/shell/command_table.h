#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace velmora {

// When a menu command can be used, judged as its menu opens.
enum class tcommand_rule : std::uint8_t {
    always,
    image,                    // an image window is open
    several_images,           // more than one
    modified,                 // the active document has unsaved changes
    selection,                // the active document has a selection
    saved_selections,         // ... has saved selections
    not_mask_editing,         // an image, and its layer mask is not being painted
    several_layers,           // an image with more than one layer
    upper_layer,              // the current layer is above the background
    upper_layer_without_mask, // ... and has no mask
    upper_layer_with_mask,    // ... and has one
    can_undo,
    can_redo,
    several_history_entries,
    zoom_in,  // an image below the largest zoom
    zoom_out, // an image above the smallest zoom
};

// What the rules look at.
struct tcommand_state {
    int image_windows = 0;
    bool modified = false;
    bool has_selection = false;
    bool has_saved_selections = false;
    int layer_count = 0;
    int current_layer = 0;
    bool current_layer_has_mask = false;
    bool mask_editing = false;
    int zoom_index = 11;
    bool can_undo = false;
    bool can_redo = false;
    int history_entries = 0;
};

bool command_allowed(tcommand_rule rule, const tcommand_state& state);

// One entry of the menu bar: `component` names the menu item (its caption
// comes from the main window's translation table under that name), `parent`
// the menu it sits in (empty for the top menus), `handler` the command it runs
// (empty for a submenu), `shortcut` in the portable text form ("Ctrl+Shift+S").
struct tcommand {
    std::string_view component;
    std::string_view parent;
    std::string_view handler;
    std::string_view shortcut;
    tcommand_rule rule = tcommand_rule::always;
    bool checkable = false;
};

// Every menu command, in menu order (a parent before its children).
std::span<const tcommand> command_table();

// The entry running `handler`, or none.
const tcommand* find_command(std::string_view handler);

} // namespace velmora
