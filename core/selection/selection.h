#pragma once

#include "document/document.h"
#include "document/view.h"

#include <cstdint>
#include <vector>

namespace velmora {

// The current selection as painting and filters see it: null when the
// document has none.
inline const tselection* active_selection(const tdocument& doc)
{
    return doc.has_selection && !doc.selection.mask.empty() ? &doc.selection : nullptr;
}

// Coverage 0..255 of document pixel (x, y): the red byte of the selection's
// raster there, 0 outside it.
std::uint8_t selection_coverage(const tselection& selection, std::int32_t x, std::int32_t y);

// How strongly document pixel (x, y) is selected, 0..255: fully everywhere
// while nothing is selected, else the selection's coverage there.
inline std::uint8_t selection_weight(const tdocument& doc, std::int32_t x, std::int32_t y)
{
    const tselection* selection = active_selection(doc);
    return selection ? selection_coverage(*selection, x, y) : 255;
}

// The pixels of a target placed at (left, top) that lie under the selection's
// raster, in target coordinates (empty when they do not meet).
trect selection_extent_on_target(const tselection& selection, const Tfbitmap& target, std::int32_t left,
                                 std::int32_t top);

// The empty-selection test: true in mask-edit mode or without a selection;
// otherwise whether some selected document pixel lies over a pixel of `layer`
// with non-zero alpha.
bool selection_touches_layer(const tdocument& doc, const tcalque& layer);

// Selection state shared by every document; the application holds one.
struct tselection_state {
    // Combine mode chosen at a selection tool's press; neither means replace.
    bool add = false;
    bool subtract = false;
    bool ellipse = false;      // the drag points hold an ellipse's box, not a polygon
    bool single_pixel = false; // an added or subtracted rectangle covers one pixel
    std::int32_t ants_phase = 53;
};

// The grey a selection tool draws its shape with, in place or into a new
// raster alike: 255 selects, 0 in subtract mode. Subtracting while nothing is
// selected therefore leaves a present but empty selection, whatever the tool.
inline std::uint8_t selection_shape_grey(const tselection_state& state)
{
    return state.subtract ? 0 : 255;
}

// Coverage levels from this one up are inside the outline.
inline constexpr std::uint8_t outline_threshold = 128;

// Replaces the coverage raster by one of width x height at (left, top), or
// (width + 6) x (height + 6) at (left - 3, top - 3) with a margin, every
// pixel grey `fill_grey` with alpha 255; both outline lists are emptied. The
// selection-present flag is left to build_selection_outline. A width or
// height of 0 removes the selection instead: no raster, no outline, flag
// cleared. With fill_grey 0 the caller stops the ants and recomposites the
// view first, which takes the old outline off the screen.
void create_selection_mask(tdocument& doc, std::int32_t width, std::int32_t height, bool with_margin,
                           std::uint8_t fill_grey, std::int32_t left, std::int32_t top);

// Removes the selection and empties the drag-point list. Repainting is the
// caller's.
void discard_selection(tdocument& doc);

// Outlines the coverage raster and sets the selection-present flag. A border
// pixel has a level of 128 or more and lies on the raster's edge or next to
// a pixel (left, right, above, below) below 128. The caller stops the ants
// before and restarts them afterwards unless the selection is hidden.
void build_selection_outline(tdocument& doc);

// Refills the view outline from the outline for the document's zoom: points
// scaled and deduplicated below 100 %, copied at 100 %, pixel edges facing
// unselected pixels above it; clamped into the zoomed image when the raster
// lies within it. Called after a zoom change, with the ants stopped.
void derive_view_outline(tdocument& doc);

// The outline after the content of a document was replaced (a file loaded,
// a history step): rebuilt from the raster when a selection is present,
// empty otherwise.
void refresh_selection_outline(tdocument& doc);

// The phase after one tick of the ants timer over `count` points.
inline std::int32_t next_ants_phase(std::int32_t phase, std::int32_t count)
{
    return phase + 1 >= count ? 0 : phase + 1;
}

// Paints one frame of marching ants into `view`: from point `phase` (0 when
// past the end) round the list, a run of 8 black points, then 9 white and 9
// black in turn, each shifted by the view's origin and skipped outside the
// view. Returns the rectangle it painted for the window to repaint (empty
// when nothing was visible). Recompositing the view erases the ants.
trect draw_marching_ants(const std::vector<tpoint>& view_points, std::int32_t phase, const tview_mapping& mapping,
                         Tfbitmap& view);

enum class tcombine_operation : std::uint8_t { replace = 0, add = 1, subtract = 2, intersect = 3 };

// Combines saved selection `index` (0-based) into the current one: a copy of
// it for replace; otherwise a new raster over the union of both rectangles
// holding, per colour byte, min(255, S + C), max(0, C - S) or min(S, C),
// where a raster that does not cover a pixel counts as 0 (without a
// selection C is an empty raster of the image's size at (0, 0)). Alpha stays
// 255. Not outlined: the caller calls build_selection_outline. Throws
// velmora_error("@ch_error") for an index that names no saved selection.
void combine_saved_selection(tdocument& doc, std::size_t index, tcombine_operation operation);

// Clears the coverage outside `layer` and over its transparent pixels, then
// crops the raster to what stays selected (no copy when it is already
// tight). False, leaving an all-0 raster of the old size, when nothing stays.
bool clip_selection_to_layer(tdocument& doc, const tcalque& layer);

} // namespace velmora
