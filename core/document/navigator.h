#pragma once

#include "document/document.h"
#include "document/view.h"

#include <cstdint>

namespace velmora {

// The zoom tool's navigator: the whole document in a thumbnail of
// navigator_size, a red frame around the part the view shows, and the
// arithmetic of clicking on it and of its zoom slider.

// The thumbnail: each pixel samples the document pixel at (x * width /
// navigator width, y * height / navigator height), every upper layer mixed
// in with its mode and opacity whether visible or not and without its mask;
// the outermost ring is a 3D border, `shadow` on the left and top, `light`
// on the right and bottom. An empty document shows the border around `light`.
Tfbitmap navigator_picture(const tdocument& doc, TColor shadow, TColor light);

// What the view shows now, as the navigator needs it.
struct tnavigator_view {
    double z = 1.0;
    tview_layout layout;
    std::int32_t scroll_x = 0; // scroll bar positions, zoomed pixels
    std::int32_t scroll_y = 0;
};

// The red frame over the navigator: the visible area when a scroll bar shows
// (at least 2 pixels wide and high, kept inside the navigator), otherwise the
// ring 1 pixel inside the edge.
trect navigator_frame(std::int32_t doc_width, std::int32_t doc_height, const tnavigator_view& view);

// One axis of a click on the navigator at `at` (navigator pixels): the scroll
// position that centres the view there, kept within the bar's range, and the
// image origin it gives.
struct tnavigator_jump {
    std::int32_t position = 0;
    float origin = 0;
    friend bool operator==(const tnavigator_jump&, const tnavigator_jump&) = default;
};
tnavigator_jump navigator_jump(std::int32_t at, std::int32_t navigator_size, std::int32_t doc_size, double z,
                               std::int32_t view_size, std::int32_t range);

// The origin on one axis when the navigator's slider sets factor z: the view
// centred on the image, never before its start.
float slider_origin(std::int32_t doc_size, double z);

} // namespace velmora
