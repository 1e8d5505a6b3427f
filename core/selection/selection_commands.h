#pragma once

#include "document/document.h"
#include "selection/selection.h"
#include "shell/apply_step.h"

#include <string_view>

namespace velmora {

// The Select menu's work on a document. Each command leaves the outline
// built; the window stops the ants and recomposites before it, restarts the
// ants afterwards unless the selection is hidden, and records the history
// step under the label given with the command.

// Selects the whole image: a white raster of the image's size at (0, 0),
// outlined by its top and bottom rows, then its left and right columns.
inline constexpr std::string_view select_all_label = "@ch_select_all";
void select_all(tdocument& doc);

// Removes the selection. Recorded even when nothing was selected.
inline constexpr std::string_view deselect_label = "@ch_deselect";
void deselect(tdocument& doc);

// Selects what was not selected, within the image: the raster becomes the
// image's size at (0, 0), 255 minus the old coverage where the old raster
// reached, 255 elsewhere. Without a selection the whole image is selected.
inline constexpr std::string_view inverse_selection_label = "@ch_inverse_selection";
void inverse_selection(tdocument& doc);

// The alpha of `layer` (the current layer, or the one being transformed)
// becomes the coverage, cropped to its selected part. A transparent layer
// leaves a present but empty selection. The free transformation calls it
// silently: no busy cursor, no recompositing, no ants, no history.
inline constexpr std::string_view get_selection_label = "@ch_get_selection";
void get_selection_from_layer(tdocument& doc, const tcalque& layer);

// Appends a copy of the current selection to the saved selections; false,
// doing nothing, without a selection. Not recorded.
bool save_selection(tdocument& doc);

// Combines saved selection `index` (0-based) into the current one and
// outlines the result. Throws velmora_error("@ch_error") for an index that
// names no saved selection.
inline constexpr std::string_view load_selection_label = "@ch_load_selection";
void load_selection(tdocument& doc, std::size_t index, tcombine_operation operation);

// The Load Selection dialog's preview: the scale that brings the longer side
// of a picture of width x height (a side of 0 counting as 60) to 80 pixels,
// and the preview's size at that scale.
inline constexpr std::int32_t load_preview_side = 80;
double load_preview_scale(std::int32_t width, std::int32_t height);
tsize load_preview_size(std::int32_t width, std::int32_t height);
// Black, with the saved raster reduced by the scale (triangle filter) drawn
// at its scaled place.
Tfbitmap load_preview(const tselection& saved, std::int32_t width, std::int32_t height);

// Runs a Select menu step of `velmora-cli apply` (select-all, deselect,
// inverse, get-selection, save-selection, load-selection:index=N,operation=
// new|add|subtract|intersect or 0..3); false when the step is none of them.
// Throws velmora_error("@ch_error") for a value it refuses. Records no history.
bool run_selection_step(tdocument& doc, const tapply_step& step);

} // namespace velmora
