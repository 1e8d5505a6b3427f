#pragma once

#include "document/tfbitmap.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// What the text tool needs to edit a text layer again.
struct ttext_layer_attributes {
    std::uint8_t is_text = 0;
    std::string text;
    std::string font_name;
    std::int16_t size = 0;
    std::uint16_t angle = 0;
    std::uint8_t underline = 0;
    std::uint8_t bold = 0;
    std::uint8_t italic = 0;
    std::uint8_t invert = 0;
    std::uint8_t strikeout = 0;
    std::uint8_t opacity = 255;
    TColor colour = 0;
};

// Blend mode bytes; any value above `average` composites as `normal`.
enum blend_mode : std::uint8_t {
    normal = 0,
    multiply = 1,
    screen = 2,
    overlay = 3,
    hard_light = 4,
    difference = 5,
    exclusion = 6,
    average = 7,
};
inline constexpr int blend_mode_count = 8;

// One layer. A mask is itself a tcalque of which only bitmap, left and top count.
struct tcalque {
    std::string name;
    Tfbitmap bitmap;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::uint8_t blend_mode = normal;
    std::int32_t opacity = 255;
    std::uint8_t preserve_transparency = 0;
    std::uint8_t visible = 1;
    std::uint8_t mask_enabled = 0;
    std::unique_ptr<tcalque> mask;
    ttext_layer_attributes text;
    std::uint8_t selected = 0;
    std::int32_t press_left = 0;
    std::int32_t press_top = 0;

    trect rect() const { return {left, top, left + bitmap.width(), top + bitmap.height()}; }
    bool has_active_mask() const { return mask_enabled && mask; }
};

// Deep copy of a layer, mask included.
std::unique_ptr<tcalque> clone_layer(const tcalque& layer);

void tcalque_clear(tcalque& layer);

// A selection mask placed in the document: red byte 0 = not selected.
struct tselection {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::string name;
    Tfbitmap mask;
};

struct tpath_point {
    double x = 0;
    double y = 0;
};

inline constexpr int path_capacity = 2048;

struct tpoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const tpoint&, const tpoint&) = default;
};

// The corners or vertices of the selection shape being drawn, in document
// coordinates, numbered from 1. A full list takes no further point.
inline constexpr std::int32_t drag_point_capacity = 10000;
struct tdrag_points {
    std::int32_t count = 0;
    std::array<tpoint, drag_point_capacity> points{}; // points[i] is point i + 1

    tpoint& operator[](std::int32_t number) { return points.at(std::size_t(number - 1)); }
    const tpoint& operator[](std::int32_t number) const { return points.at(std::size_t(number - 1)); }
    // False, storing nothing, when the list is full.
    bool add(tpoint point)
    {
        if (count == drag_point_capacity)
            return false;
        points[std::size_t(count++)] = point;
        return true;
    }
};

// The selection's border as the marching ants walk it, rebuilt from the
// coverage raster whenever the selection or the zoom changes.
struct tselection_outline {
    std::vector<tpoint> points;      // border pixels, document coordinates, row-major
    std::vector<tpoint> view_points; // the same border in the whole zoomed image's coordinates
};
inline constexpr int zoom_index_100 = 11;

// The state of one open image. The image window owns one; nothing here knows
// about windows.
struct tdocument {
    std::vector<std::unique_ptr<tcalque>> layers; // 0 = background
    std::int32_t current_layer = 0;
    std::uint8_t mask_editing = 0;
    std::string file_name;
    std::uint8_t modified = 0;
    std::uint8_t vlm_compressed = 0;
    float resolution = 96.0f;
    std::int32_t zoom_index = zoom_index_100;
    tselection selection;
    std::uint8_t has_selection = 0;
    std::vector<std::unique_ptr<tselection>> saved_selections;
    tselection_outline outline;
    tdrag_points drag_points;
    std::uint8_t polygon_ready = 1;
    std::int32_t path_count = 0;
    std::array<tpath_point, path_capacity> path_points{}; // slot i holds vertex i + 1
    std::uint8_t saved_once = 0;
    std::uint8_t transform_pending = 0;
    // The painting tools' current stroke: the target as it was when the stroke
    // began, and per pixel the transparency the stroke may still use (red
    // byte, 255 = untouched). The next press starts a new stroke while
    // stroke_reset_pending is set.
    Tfbitmap stroke_base;
    Tfbitmap stroke_coverage;
    std::uint8_t stroke_reset_pending = 1;
    // The pointer's last position over the view (view pixels), where the
    // airbrush sprays at each tick.
    std::int32_t airbrush_x = 0;
    std::int32_t airbrush_y = 0;

    std::int32_t width() const { return layers.empty() ? 0 : layers.front()->bitmap.width(); }
    std::int32_t height() const { return layers.empty() ? 0 : layers.front()->bitmap.height(); }
    trect bounds() const { return {0, 0, width(), height()}; }
    bool valid_layer(std::int32_t index) const { return index >= 0 && std::size_t(index) < layers.size(); }
    tcalque& current_layer_record() { return *layers.at(std::size_t(current_layer)); }
    const tcalque& current_layer_record() const { return *layers.at(std::size_t(current_layer)); }
};

// A document with every state at its initial value and no layers yet.
tdocument create_document(std::string name, std::int32_t zoom_index = zoom_index_100);

// Appends the opaque background: `pixels` becomes its bitmap, made opaque.
void add_background(tdocument& doc, Tfbitmap pixels, std::string name);
// Appends a new opaque background of the given size filled with `colour`.
void add_background(tdocument& doc, std::int32_t width, std::int32_t height, TColor colour, std::string name);

// Appends a layer holding a copy of `source` (all four bytes) on top of the
// stack and makes it current.
tcalque& add_layer(tdocument& doc, const Tfbitmap& source, std::string name, std::int32_t opacity,
                   std::int32_t left, std::int32_t top, std::uint8_t blend_mode);

void set_current_layer(tdocument& doc, std::int32_t index);
void forget_text(tdocument& doc, std::int32_t index);

// Enlarges the paint target of a layer (its mask while mask editing) so that it
// covers the document as well as its old area; new pixels are transparent.
void extend_layer_to_document(tdocument& doc, std::int32_t index);

// Surrounds an upper layer with transparent margins for filters that spread
// pixels outward; left and top become the given ones minus the margins.
void grow_layer(tdocument& doc, tcalque& layer, std::int32_t margin_x, std::int32_t margin_y,
                std::int32_t left, std::int32_t top);

} // namespace velmora
