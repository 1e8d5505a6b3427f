#include "tools/brush.h"

#include "document/rounding.h"
#include "selection/selection.h"
#include "tools/paint_rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velmora {

void tbrush_shape::set_colour(TColor colour)
{
    const trgb c = split_color(colour);
    red = c.red;
    green = c.green;
    blue = c.blue;
}

float brush_falloff(float d, float inner, float radius)
{
    if (d <= inner)
        return 1.0f;
    if (d > radius)
        return 0.0f;
    // The smoothstep 1 - 3t^2 + 2t^3 of t = (d - q) / (R - q), expanded in d.
    const float q = inner, r = radius;
    const float m = (r - q) * (r - q) * (r - q);
    const float value = 2 * d * d * d / m - 3 * (r + q) * d * d / m + 6 * q * r * d / m +
                        r * r * (3 * q - r) / ((r - q) * (r - q) * (q - r));
    // The expanded form drifts a few ulps past its ends (-1e-7 at d = R).
    return std::clamp(value, 0.0f, 1.0f);
}

tbrush_shape make_brush_table(std::int32_t side, std::int32_t centre, std::int32_t radius, float softness,
                              tbrush_kind kind)
{
    tbrush_shape shape;
    shape.size = side;
    shape.table.resize(std::size_t(side) * std::size_t(side));
    const auto r = float(radius);
    const float inner = kind == tbrush_kind::round ? 0.9f * r * (1 - softness) : r - r * softness;
    for (std::int32_t j = 0; j < side; ++j)
        for (std::int32_t i = 0; i < side; ++i) {
            const std::int32_t di = i - centre, dj = j - centre;
            const float d = kind == tbrush_kind::round ? std::sqrt(float(di * di + dj * dj))
                                                       : float(std::max(std::abs(di), std::abs(dj)));
            shape.table[std::size_t(j) * std::size_t(side) + std::size_t(i)] = brush_falloff(d, inner, r);
        }
    return shape;
}

namespace {

float softness_of(const tbrush_settings& settings)
{
    return float(settings.softness) / 50;
}

float opacity_of(std::int32_t opacity)
{
    return float(opacity) / 255;
}

} // namespace

tbrush_shape build_brush(const tbrush_settings& settings)
{
    const std::int32_t r = settings.size / 2;
    return make_brush_table(2 * r + 1, r, r, softness_of(settings), settings.kind);
}

tbrush_preview build_brush_preview(const tbrush_settings& settings)
{
    const auto odd = [](std::int32_t side) { return side % 2 == 0 ? side + 1 : side; };
    tbrush_preview preview;
    std::int32_t side = odd(settings.size);
    if (side >= 99) {
        side = odd(side / 4);
        preview.ratio = "1:4";
    } else if (side >= 50) {
        side = odd(side / 2);
        preview.ratio = "1:2";
    } else {
        preview.ratio = "1:1";
    }
    const std::int32_t r = settings.size / 2;
    preview.shape = make_brush_table(side, side / 2, r * side / (2 * r + 1), softness_of(settings), settings.kind);
    return preview;
}

void draw_brush_preview(Tfbitmap& image, const tbrush_preview& preview, std::int32_t opacity, TColor colour)
{
    const tbrush_shape& shape = preview.shape;
    const std::int32_t cx = image.width() / 2, cy = image.height() / 2, h = shape.size / 2;
    const float o = opacity_of(opacity);
    const trgb c = split_color(colour);
    const float goal[3] = {float(c.blue), float(c.green), float(c.red)};
    for (std::int32_t y = std::max(cy - h, 0); y <= std::min(cy + h, image.height() - 1); ++y)
        for (std::int32_t x = std::max(cx - h, 0); x <= std::min(cx + h, image.width() - 1); ++x) {
            const float u = o * shape.cell(x - (cx - h), y - (cy - h));
            std::uint8_t* p = image.pixel(x, y);
            for (int channel = 0; channel < 3; ++channel)
                p[channel] = round_channel(p[channel] + (goal[channel] - p[channel]) * u);
        }
}

trect paint_dab(const tpaint_target& target, const tbrush_shape& brush, std::int32_t opacity, float x, float y)
{
    Tfbitmap& bitmap = *target.bitmap;
    const Tfbitmap& base = *target.base;
    Tfbitmap& coverage = *target.coverage;
    if (brush.empty() || base.width() != bitmap.width() || base.height() != bitmap.height() ||
        coverage.width() != bitmap.width() || coverage.height() != bitmap.height())
        return {};
    const std::int32_t r = brush.size / 2;
    const auto x0 = std::int32_t(round_half_even(x - float(r)));
    const auto y0 = std::int32_t(round_half_even(y - float(r)));
    const auto x_end = std::int32_t(round_half_even(x + float(r)));
    const auto y_end = std::int32_t(round_half_even(y + float(r)));
    trect area{std::max(x0, 0), std::max(y0, 0), std::min({x_end, x0 + brush.size - 1, bitmap.width() - 1}) + 1,
               std::min({y_end, y0 + brush.size - 1, bitmap.height() - 1}) + 1};
    const tselection* selection = target.selection;
    // Pixels outside the selection's raster are never painted.
    if (selection)
        area = intersect(area, selection_extent_on_target(*selection, bitmap, target.left, target.top));
    if (area.empty())
        return {};

    const float o = opacity_of(opacity);
    const float colour[3] = {float(brush.blue), float(brush.green), float(brush.red)};
    for (std::int32_t row = area.top; row < area.bottom; ++row) {
        std::uint8_t* p = bitmap.pixel(area.left, row);
        const std::uint8_t* b = base.pixel(area.left, row);
        std::uint8_t* k = coverage.pixel(area.left, row);
        const std::uint8_t* s =
            selection ? selection->mask.pixel(area.left + target.left - selection->left,
                                              row + target.top - selection->top)
                      : nullptr;
        for (std::int32_t column = area.left; column < area.right; ++column, p += 4, b += 4, k += 4) {
            const float e = brush.cell(column - x0, row - y0);
            float a = o;
            if (s) {
                a = o * (float(s[red_byte]) / 255);
                s += 4;
            }
            const float h = a * e;
            const float c = 1 - float(k[red_byte]) / 255;
            // The stroke's coverage after this dab, of which the opacity is the ceiling.
            const float reach = h + (a - h) * c;
            const float base_alpha = b[alpha_byte];
            const float dab_alpha = base_alpha + (255 - base_alpha) * h;
            const float full_alpha = base_alpha + (255 - base_alpha) * a;
            if (target.alpha_allowed && p[alpha_byte] < 255) {
                if (p[alpha_byte] == 0) {
                    for (int channel = 0; channel < 3; ++channel)
                        p[channel] = std::uint8_t(colour[channel]);
                } else {
                    // Paint laid over the base pixel, weighted by what each
                    // brings to the new alpha: a first dab over a partly
                    // transparent pixel shows its colour at once.
                    const float paint = reach * 255;
                    const float kept = base_alpha * (1 - reach);
                    if (paint + kept > 0)
                        for (int channel = 0; channel < 3; ++channel)
                            p[channel] = round_channel((colour[channel] * paint + b[channel] * kept) / (paint + kept));
                }
                p[alpha_byte] = round_channel(dab_alpha + (full_alpha - dab_alpha) * c);
            } else {
                for (int channel = 0; channel < 3; ++channel) {
                    const float dab = b[channel] + (colour[channel] - b[channel]) * h;
                    const float full = b[channel] + (colour[channel] - b[channel]) * a;
                    p[channel] = round_channel(dab + (full - dab) * c);
                }
            }
            const std::uint8_t remaining = round_channel((1 - e) * float(k[red_byte]));
            k[blue_byte] = k[green_byte] = k[red_byte] = remaining;
        }
    }
    return area;
}

void stroke_segment(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, double spacing,
                    tdab_point& last, const std::function<void(float x, float y)>& dab)
{
    const auto sample = [&](float x, float y) {
        if (std::sqrt((x - last.x) * (x - last.x) + (y - last.y) * (y - last.y)) > spacing) {
            dab(x, y);
            last = {x, y};
        }
    };
    // Always from the smaller to the larger coordinate, whichever way the pointer went.
    if (x1 == x2) {
        for (std::int32_t y = std::min(y1, y2); y <= std::max(y1, y2); ++y)
            sample(float(x1), float(y));
    } else if (std::abs(x2 - x1) < std::abs(y2 - y1)) {
        for (std::int32_t y = std::min(y1, y2); y <= std::max(y1, y2); ++y)
            sample(float(y - y1) * float(x2 - x1) / float(y2 - y1) + float(x1), float(y));
    } else {
        for (std::int32_t x = std::min(x1, x2); x <= std::max(x1, x2); ++x)
            sample(float(x), float(x - x1) * float(y2 - y1) / float(x2 - x1) + float(y1));
    }
}

double dab_spacing(const tbrush_shape& brush, std::int32_t spacing_percent)
{
    return brush.size * (spacing_percent / 100.0);
}

std::int32_t classic_preview_radius(const tbrush_shape& brush, double zoom)
{
    return std::int32_t(brush.size * zoom / 2);
}

trect draw_realtime_preview(Tfbitmap& view, const tbrush_shape& brush, std::int32_t opacity, TColor colour,
                            std::int32_t x, std::int32_t y, double zoom)
{
    if (brush.empty())
        return {};
    const auto hz = std::int32_t(brush.size * zoom / 2);
    const trect area = intersect({x - hz, y - hz, x + hz + 1, y + hz + 1}, view.bounds());
    if (area.empty())
        return {};
    const float o = opacity_of(opacity);
    const trgb c = split_color(colour);
    const float goal[3] = {float(c.blue), float(c.green), float(c.red)};
    const auto cell_index = [&](std::int32_t offset) {
        return std::min(std::int32_t(offset / zoom), brush.size - 1);
    };
    for (std::int32_t vy = area.top; vy < area.bottom; ++vy) {
        std::uint8_t* p = view.pixel(area.left, vy);
        const std::int32_t row = cell_index(vy - (y - hz));
        for (std::int32_t vx = area.left; vx < area.right; ++vx, p += 4) {
            const float u = o * brush.cell(cell_index(vx - (x - hz)), row);
            for (int channel = 0; channel < 3; ++channel)
                p[channel] = round_channel(p[channel] + (goal[channel] - p[channel]) * u);
        }
    }
    return area;
}

} // namespace velmora
