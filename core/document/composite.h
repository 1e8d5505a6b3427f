#pragma once

#include "document/document.h"
#include "document/view.h"

namespace velmora {

// Recomputes the view pixels that show the image rectangle `area` (image
// units measured from the view's top-left corner; the whole image is
// 0, 0, width, height). Only blue, green and red of the view are written.
void composite_view(const tdocument& doc, Tfbitmap& view, const tview_mapping& mapping, const trect& area);
void recomposite_all(const tdocument& doc, Tfbitmap& view, const tview_mapping& mapping);

// The document at full size with every visible layer mixed in; alpha 255.
Tfbitmap flatten_image(const tdocument& doc);

// Why merge_layers refused, as its catalogue key.
inline constexpr const char* merge_refused_key = "@ch_merge_2_layers_imply_normal_blend_mode";

// Merges layer lower + 1 into `lower` and removes it. Returns false, changing
// nothing, when both are upper layers and either is not Normal.
bool merge_layers(tdocument& doc, std::int32_t lower);

// Rewrites one view pixel from the layers, every layer mixed as Normal.
void repaint_view_pixel(const tdocument& doc, Tfbitmap& view, const tview_mapping& mapping, std::int32_t x,
                        std::int32_t y);

} // namespace velmora
