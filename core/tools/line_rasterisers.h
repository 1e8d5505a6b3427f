#pragma once

#include "document/document.h"

#include <array>
#include <cstdint>

namespace velmora {

// The pencil's and the line tool's drawing target: a raster placed at (left,
// top) in the document, the paint colour and the selection that limits and
// weights it (null for none).
struct tline_target {
    Tfbitmap* bitmap = nullptr;
    std::int32_t left = 0;
    std::int32_t top = 0;
    bool alpha_allowed = true;
    trgb colour;
    const tselection* selection = nullptr;
};

// Intensity of the anti-aliased line's pixels: entry i = (i / 255)^1.2.
const std::array<float, 256>& wu_gamma();

// Moves target-local pixel (x, y) toward the colour by `strength` 0..1 (times
// the selection's weight there); nothing outside the target or the selection.
void plot_pixel(const tline_target& target, std::int32_t x, std::int32_t y, float strength);

// An aliased line between two document points, both ends included. Only
// the pixels inside the target (and the selection's raster) are painted; the
// line keeps its slope wherever its ends lie.
void plain_line(const tline_target& target, float intensity, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                std::int32_t y1);

// An anti-aliased line between two document points with a 16-bit error
// accumulator; the end pixel is painted only with `include_end`.
void wu_line(const tline_target& target, float intensity, bool include_end, std::int32_t x0, std::int32_t y0,
             std::int32_t x1, std::int32_t y1);

} // namespace velmora
