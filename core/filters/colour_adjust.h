#pragma once

#include "document/document.h"
#include "document/kernel_set.h"

#include <array>
#include <cstdint>

namespace velmora {

// a * b / c computed exactly, rounded to nearest with halves away from zero.
std::int32_t mul_div(std::int32_t a, std::int32_t b, std::int32_t c);

struct thsv {
    std::int32_t hue = 0;        // 0..360, 360 the same as 0
    std::int32_t saturation = 0; // 0..255
    std::int32_t value = 0;      // 0..255
    friend bool operator==(const thsv&, const thsv&) = default;
};

thsv rgb_to_hsv(std::int32_t red, std::int32_t green, std::int32_t blue);
trgb hsv_to_rgb(std::int32_t hue, std::int32_t saturation, std::int32_t value);

// Where an adjustment reads and writes. `source` may be the destination itself
// (in-place commands); otherwise both have one size. With a selection only
// the pixels under its raster are visited and mixed by their coverage.
struct tadjust_area {
    const tselection* selection = nullptr;
    std::int32_t left = 0; // layer position, for the selection
    std::int32_t top = 0;
};

using tlevel_table = std::array<std::uint8_t, 256>;
// clamp(round(i * contrast / 100 + brightness), 0, 255).
tlevel_table contrast_table(std::int32_t contrast, std::int32_t brightness);

// Replaces blue, green and red of every pixel by their tables' entries; alpha
// passes through. `portable` leaves the processor-specific code aside (tests).
void map_levels(Tfbitmap& destination, const Tfbitmap& source, const tlevel_table& blue, const tlevel_table& green,
                const tlevel_table& red, bool portable = false);

enum class tchannel : std::uint8_t { red, green, blue };

void brightness_contrast(Tfbitmap& destination, const Tfbitmap& source, std::int32_t contrast,
                         std::int32_t brightness, const tadjust_area& area = {});
void channel_shift(Tfbitmap& destination, const Tfbitmap& source, tchannel channel, std::int32_t shift,
                   const tadjust_area& area = {});
// Shifts the three channels at once (the colour balance's three sliders).
void colour_balance(Tfbitmap& destination, const Tfbitmap& source, std::int32_t red_shift, std::int32_t green_shift,
                    std::int32_t blue_shift, const tadjust_area& area = {});
// The hue is clamped to 0..360, not wrapped round. `kernels` picks the
// compiled variant of the loop without a selection (tests).
void hsv_adjust(Tfbitmap& destination, const Tfbitmap& source, std::int32_t hue_offset,
                std::int32_t saturation_offset, std::int32_t value_offset, const tadjust_area& area = {},
                tkernel_set kernels = tkernel_set::best);
void invert_colours(Tfbitmap& bitmap, const tadjust_area& area = {});
void desaturate(Tfbitmap& bitmap, const tadjust_area& area = {});
// Turns light pixels (every channel above `threshold`) white, keeping those
// next to a dark one with `keep_dark_shapes`; every pixel becomes opaque
// unless the layer preserves its transparency (`with_alpha` off). The
// selection does not limit it.
void remove_grey(Tfbitmap& destination, const Tfbitmap& source, std::int32_t threshold, bool keep_dark_shapes,
                 bool with_alpha = true);

// The hue dialog's colour strip, 362 x 15 on black: rows 1..6 the spectrum
// (column j = 1..360 at hue j, full saturation and value), rows 8..13 the
// same columns as the offsets would turn them.
Tfbitmap hue_strip(std::int32_t hue_offset, std::int32_t saturation_offset, std::int32_t value_offset);

} // namespace velmora
