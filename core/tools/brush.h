#pragma once

#include "document/document.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

enum class tbrush_kind : std::uint8_t { round, square };

// The brush panel's values, as the controls hold them.
struct tbrush_settings {
    std::int32_t size = 40;     // pensize, 1..200
    std::int32_t softness = 37; // brushblur, 0..100
    std::int32_t opacity = 255; // TrackBar2, 1..255
    tbrush_kind kind = tbrush_kind::round;
    std::int32_t spacing = 15; // FlatEdit4, percent of the brush side between dabs
};

inline constexpr std::int32_t brush_size_min = 1;
inline constexpr std::int32_t brush_size_max = 200;
inline constexpr std::int32_t brush_softness_max = 100;
inline constexpr std::int32_t brush_opacity_min = 1;
inline constexpr std::int32_t brush_opacity_max = 255;

// A square table of coverage values 0..1 and the colour it paints with.
struct tbrush_shape {
    std::vector<float> table; // size x size, row by row
    std::int32_t size = 0;    // side n = 2r + 1
    std::int32_t red = 0;
    std::int32_t green = 0;
    std::int32_t blue = 0;

    float cell(std::int32_t column, std::int32_t row) const
    {
        return table[std::size_t(row) * std::size_t(size) + std::size_t(column)];
    }
    bool empty() const { return size == 0; }
    void set_colour(TColor colour);
};

// Coverage of a cell at distance d (in cells) from the centre of a brush of
// radius R with inner radius q: 1 inside q, 0 beyond R, a smoothstep between.
float brush_falloff(float d, float inner, float radius);

// A table of side n whose cells fall off from centre c over radius R.
tbrush_shape make_brush_table(std::int32_t side, std::int32_t centre, std::int32_t radius, float softness,
                              tbrush_kind kind);

// What the brush panel shows for a set of values: the preview table and its
// side, and the ratio text under it ("1:1", "1:2", "1:4").
struct tbrush_preview {
    tbrush_shape shape;
    std::string ratio;
};

// The brush the tools paint with, built from the panel's values; its colour
// is set by the press (the foreground, or the background for the eraser).
tbrush_shape build_brush(const tbrush_settings& settings);
tbrush_preview build_brush_preview(const tbrush_settings& settings);

// Draws the preview table, centred and scaled by the opacity, over `image`
// (already filled with the panel's colour) in `colour`.
void draw_brush_preview(Tfbitmap& image, const tbrush_preview& preview, std::int32_t opacity, TColor colour);

// Where a dab paints: the target raster placed at (left, top) in the document,
// the stroke's rasters (document's stroke_base and stroke_coverage, the
// target's size) and the selection that limits it (null for none).
struct tpaint_target {
    Tfbitmap* bitmap = nullptr;
    std::int32_t left = 0;
    std::int32_t top = 0;
    bool alpha_allowed = true;
    const Tfbitmap* base = nullptr;
    Tfbitmap* coverage = nullptr;
    const tselection* selection = nullptr;
};

// Composites one dab of `brush` centred on target-local (x, y) with opacity
// 1..255. Within one stroke a pixel never moves further toward the colour
// than the opacity allows, however often it is painted. Returns the touched
// target pixels (empty when the dab missed the target).
trect paint_dab(const tpaint_target& target, const tbrush_shape& brush, std::int32_t opacity, float x, float y);

// The last dab of a stroke, in target-local pixels; spacing is measured from it.
struct tdab_point {
    double x = 0;
    double y = 0;
};

// Walks from (x1, y1) to (x2, y2) (target-local, whole pixels) one step at a
// time along the longer axis and calls dab(x, y) wherever the walk is further
// than `spacing` pixels from the last dab, which then moves there.
void stroke_segment(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, double spacing,
                    tdab_point& last, const std::function<void(float x, float y)>& dab);

// The dab spacing in pixels for a brush: its side times the spacing percent.
double dab_spacing(const tbrush_shape& brush, std::int32_t spacing_percent);

// "classic_preview": the radius, in view pixels, of the outline drawn around
// the pointer instead of a cursor.
std::int32_t classic_preview_radius(const tbrush_shape& brush, double zoom);

// "realtime_preview": draws a dab of the brush at view point (x, y) straight
// into the view at zoom z, scaled by the opacity, without touching the image.
// Returns the view pixels it changed, to be composited again when the pointer
// moves on.
trect draw_realtime_preview(Tfbitmap& view, const tbrush_shape& brush, std::int32_t opacity, TColor colour,
                            std::int32_t x, std::int32_t y, double zoom);

} // namespace velmora
