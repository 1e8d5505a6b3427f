#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace velmora {

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

} // namespace velmora
