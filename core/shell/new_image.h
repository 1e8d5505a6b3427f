#pragma once

#include "document/tfbitmap.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

// The arithmetic of the New Image dialog; the dialog shows and forwards.

enum class tsize_unit : std::uint8_t { pixels = 0, centimetres = 1, inches = 2 };
enum class tresolution_unit : std::uint8_t { per_inch = 0, per_centimetre = 1 };

// Pixels per inch of a resolution entered in `unit`.
double pixels_per_inch(double resolution, tresolution_unit unit);

// A length entered in `unit` in pixels (unrounded).
double to_pixels(double value, tsize_unit unit, double ppi);

// The same length in `unit`, as the field shows it after a unit change:
// whole pixels, or two decimals.
std::string length_text(double pixels, tsize_unit unit, double ppi);

// "1.5" style numbers as the dialogs show them ("." whatever the locale).
std::string decimal_text(double value, int decimals);

// Parses a number typed in a field; none for empty or non-numeric text.
std::optional<double> parse_decimal(const std::string& text);

// Whole pixels of a field's value, rounded half to even; none when it cannot
// make an image side (negative, non-numeric, beyond what a raster may hold).
std::optional<std::int32_t> pixel_size(const std::string& text, tsize_unit unit, double ppi);

// The dialog caption: the title, then " (" + size label + " " + estimated
// size + ")" for width * height * 3 bytes; just the title when a size is
// unknown. Labels are the catalogue's texts.
struct tsize_labels {
    std::string title; // "New Image"
    std::string size;  // "Size: "
    std::string megabytes, kilobytes, bytes;
};
std::string new_image_caption(std::optional<std::int32_t> width, std::optional<std::int32_t> height,
                              const tsize_labels& labels);

enum class tnew_image_fill : std::uint8_t { white, background_colour, custom };

// What the dialog remembers between uses, under "newimage".
struct tnew_image_defaults {
    std::int32_t width = 640;
    std::int32_t height = 480;
    tnew_image_fill fill = tnew_image_fill::white;
    TColor custom_colour = 0x00FFFFFF;
};
tnew_image_defaults read_new_image_defaults();
void write_new_image_defaults(const tnew_image_defaults& defaults);

} // namespace velmora
