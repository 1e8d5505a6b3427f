#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

namespace velmora {

struct tdocument;
struct trect;

// Zoom factors in thousandths, index 1..21 (index 11 is 100 %).
inline constexpr std::array<int, 21> zoom_table = {25,   50,   62,   83,   125,  167,  250,  333,  500,  667,  1000,
                                                   2000, 3000, 4000, 5000, 6000, 7000, 8000, 12000, 16000, 20000};
inline constexpr int zoom_index_min = 1;
inline constexpr int zoom_index_max = 21;

inline double zoom_factor(int zoom_index)
{
    return zoom_table[std::size_t(zoom_index - 1)] / 1000.0;
}

// How the view bitmap maps onto the image: factor z and the image point (ox,
// oy) shown at the view's top-left pixel.
struct tview_mapping {
    double z = 1.0;
    float ox = 0.0f;
    float oy = 0.0f;

    double image_x(double view_x) const { return view_x / z + ox; }
    double image_y(double view_y) const { return view_y / z + oy; }
    std::int32_t view_x(double image_x) const { return std::int32_t(z * (image_x - ox)); }
    std::int32_t view_y(double image_y) const { return std::int32_t(z * (image_y - oy)); }
};

inline constexpr int scroll_bar_thickness = 16;

// Where the view sits in its window's client area and which scroll bars show.
struct tview_layout {
    std::int32_t view_left = 0;
    std::int32_t view_top = 0;
    std::int32_t view_width = 0;
    std::int32_t view_height = 0;
    bool horizontal_bar = false;
    bool vertical_bar = false;
    std::int32_t horizontal_range = 0; // zoomed size - view size
    std::int32_t vertical_range = 0;
};

// Lays out the view of a document of doc_width x doc_height at factor z in a
// client area of client_width x client_height, rulers of `ruler` pixels
// (0 when hidden) left of and above it. Resets the origin coordinates that
// no longer scroll.
tview_layout size_view(std::int32_t doc_width, std::int32_t doc_height, double z, std::int32_t client_width,
                       std::int32_t client_height, std::int32_t ruler, tview_mapping& mapping);

// The origin after a scroll bar moved to `position`, kept inside the image.
float scroll_origin(std::int32_t position, double z, std::int32_t doc_size, std::int32_t view_size);

// The origin on one axis after a zoom from factor previous to factor z that
// keeps the image point under `focus` (view pixels) near the view's centre.
float zoom_origin(float origin, std::int32_t doc_size, std::int32_t client_size, std::int32_t view_size, double focus,
                  double previous, double z);

// The largest zoom of the table, at most 100 %, at which the image fits.
int zoom_to_fit(std::int32_t width, std::int32_t height, std::int32_t client_width, std::int32_t client_height);

// The zoom as the caption shows it: "66.7" for index 10, "6.2" for index 3.
std::string zoom_percent_text(int zoom_index);

// Ruler graduation: pixels between labelled ticks and the units they stand for.
struct truler_step {
    std::int32_t pixels = 0;
    double units = 0;
    int decimals = 0;
    bool rotated_labels = false;
};

// pixels_per_unit = z * resolution, divided by 2.54 for centimetres.
truler_step ruler_step(double pixels_per_unit);

// Size of the navigator thumbnail for a document.
struct tsize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const tsize&, const tsize&) = default;
};
tsize navigator_size(std::int32_t doc_width, std::int32_t doc_height);

// The arrow keys with the move tool: moves the current layer above the
// background, or its mask while the mask is edited, by dx, dy pixels.
// Returns the document area to composite again, empty when nothing moved.
trect nudge_current_layer(tdocument& doc, std::int32_t dx, std::int32_t dy);

} // namespace velmora
