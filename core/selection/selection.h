#pragma once

#include "document/document.h"

#include <cstdint>

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

} // namespace velmora
