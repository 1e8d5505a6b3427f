#include "shell/new_image.h"

#include "document/rounding.h"
#include "shell/preferences.h"

#include <charconv>

namespace velmora {

double pixels_per_inch(double resolution, tresolution_unit unit)
{
    return unit == tresolution_unit::per_centimetre ? resolution * 2.54 : resolution;
}

double to_pixels(double value, tsize_unit unit, double ppi)
{
    switch (unit) {
    case tsize_unit::centimetres: return value / 2.54 * ppi;
    case tsize_unit::inches: return value * ppi;
    case tsize_unit::pixels: break;
    }
    return value;
}

std::string decimal_text(double value, int decimals)
{
    long double scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const double rounded = double(round_half_even((long double)value * scale) / scale);
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

std::string length_text(double pixels, tsize_unit unit, double ppi)
{
    switch (unit) {
    case tsize_unit::centimetres: return decimal_text(pixels / ppi * 2.54, 2);
    case tsize_unit::inches: return decimal_text(pixels / ppi, 2);
    case tsize_unit::pixels: break;
    }
    return decimal_text(pixels, 0);
}

std::optional<double> parse_decimal(const std::string& text)
{
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> pixel_size(const std::string& text, tsize_unit unit, double ppi)
{
    const std::optional<double> value = parse_decimal(text);
    if (!value)
        return std::nullopt;
    const double pixels = to_pixels(*value, unit, ppi);
    if (!(pixels >= 0) || pixels > max_raster_side)
        return std::nullopt;
    return std::int32_t(round_half_even(pixels));
}

std::string new_image_caption(std::optional<std::int32_t> width, std::optional<std::int32_t> height,
                              const tsize_labels& labels)
{
    if (!width || !height)
        return labels.title;
    const double bytes = double(*width) * double(*height) * 3;
    std::string size;
    if (bytes >= 1048576)
        size = decimal_text(bytes / 1048576, 1) + labels.megabytes;
    else if (bytes >= 1024)
        size = decimal_text(bytes / 1024, 0) + labels.kilobytes;
    else
        size = decimal_text(bytes, 0) + labels.bytes;
    return labels.title + " (" + labels.size + " " + size + ")";
}

tnew_image_defaults read_new_image_defaults()
{
    tnew_image_defaults d;
    d.width = read_int("newimage", "default_width", 640);
    d.height = read_int("newimage", "default_height", 480);
    if (d.width <= 0)
        d.width = 640;
    if (d.height <= 0)
        d.height = 480;
    if (read_bool("newimage", "custom", false))
        d.fill = tnew_image_fill::custom;
    else if (read_bool("newimage", "background", false))
        d.fill = tnew_image_fill::background_colour;
    d.custom_colour = TColor(read_int("newimage", "color", 0x00FFFFFF)) & 0x00FFFFFF;
    return d;
}

void write_new_image_defaults(const tnew_image_defaults& d)
{
    write_int("newimage", "default_width", d.width);
    write_int("newimage", "default_height", d.height);
    write_bool("newimage", "white", d.fill == tnew_image_fill::white);
    write_bool("newimage", "background", d.fill == tnew_image_fill::background_colour);
    write_bool("newimage", "custom", d.fill == tnew_image_fill::custom);
    write_int("newimage", "color", std::int32_t(d.custom_colour));
}

} // namespace velmora
