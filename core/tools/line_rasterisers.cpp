#include "tools/line_rasterisers.h"

#include "selection/selection.h"
#include "tools/paint_rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velmora {

const std::array<float, 256>& wu_gamma()
{
    static const std::array<float, 256> table = [] {
        std::array<float, 256> values{};
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = float(std::pow(float(i) / 255, 1.2f));
        return values;
    }();
    return table;
}

namespace {

// The strength at document pixel (x, y) once the selection has weighted it.
float weighted(const tline_target& target, std::int32_t x, std::int32_t y, float strength)
{
    return target.selection ? strength * (float(selection_coverage(*target.selection, x, y)) / 255) : strength;
}

// The document pixel (x, y) of the target, null outside it or outside the
// selection's raster.
std::uint8_t* target_pixel(const tline_target& target, std::int32_t x, std::int32_t y)
{
    if (const tselection* selection = target.selection) {
        const std::int64_t sx = std::int64_t(x) - selection->left, sy = std::int64_t(y) - selection->top;
        if (sx < 0 || sy < 0 || sx >= selection->mask.width() || sy >= selection->mask.height())
            return nullptr;
    }
    const std::int64_t lx = std::int64_t(x) - target.left, ly = std::int64_t(y) - target.top;
    if (lx < 0 || ly < 0 || lx >= target.bitmap->width() || ly >= target.bitmap->height())
        return nullptr;
    return target.bitmap->pixel(std::int32_t(lx), std::int32_t(ly));
}

// Moves a pixel toward the colour by s; transparent pixels take the colour
// itself when `exact_on_transparent`.
void mix_pixel(const tline_target& target, std::uint8_t* p, float s, bool exact_on_transparent)
{
    const float colour[3] = {float(target.colour.blue), float(target.colour.green), float(target.colour.red)};
    const std::uint8_t alpha = p[alpha_byte];
    for (int channel = 0; channel < 3; ++channel)
        p[channel] = exact_on_transparent && alpha == 0 ? std::uint8_t(colour[channel])
                                                        : round_channel(p[channel] + (colour[channel] - p[channel]) * s);
    if (target.alpha_allowed)
        p[alpha_byte] = round_channel(alpha + (255 - float(alpha)) * s);
}

// Ends further out than any pointer can reach are pulled in, so that a
// line's walk stays bounded; nearer ends keep the slope exact.
void bound_ends(const tline_target& target, std::int32_t& x0, std::int32_t& y0, std::int32_t& x1, std::int32_t& y1)
{
    constexpr std::int32_t reach = 1 << 20;
    for (std::int32_t* x : {&x0, &x1})
        *x = std::clamp(*x, target.left - reach, target.left + target.bitmap->width() + reach);
    for (std::int32_t* y : {&y0, &y1})
        *y = std::clamp(*y, target.top - reach, target.top + target.bitmap->height() + reach);
}

} // namespace

void plot_pixel(const tline_target& target, std::int32_t x, std::int32_t y, float strength)
{
    const std::int32_t doc_x = x + target.left, doc_y = y + target.top;
    if (std::uint8_t* p = target_pixel(target, doc_x, doc_y))
        mix_pixel(target, p, weighted(target, doc_x, doc_y, strength), false);
}

void plain_line(const tline_target& target, float intensity, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                std::int32_t y1)
{
    bound_ends(target, x0, y0, x1, y1);
    const std::int32_t dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const std::int32_t sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    const bool along_x = dx >= dy;
    const std::int32_t major = std::max(dx, dy), minor = std::min(dx, dy);
    std::int32_t e = 2 * minor - major;
    std::int32_t x = x0, y = y0;
    for (std::int32_t i = 0; i <= major; ++i) {
        if (std::uint8_t* p = target_pixel(target, x, y))
            mix_pixel(target, p, weighted(target, x, y, intensity), true);
        if (e >= 0) {
            (along_x ? y : x) += along_x ? sy : sx;
            e += 2 * minor - 2 * major;
        } else {
            e += 2 * minor;
        }
        (along_x ? x : y) += along_x ? sx : sy;
    }
}

void wu_line(const tline_target& target, float intensity, bool include_end, std::int32_t x0, std::int32_t y0,
             std::int32_t x1, std::int32_t y1)
{
    bound_ends(target, x0, y0, x1, y1);
    if (x0 == x1 || y0 == y1) {
        plain_line(target, intensity, x0, y0, x1, y1);
        return;
    }
    const auto& gamma = wu_gamma();
    const auto paint = [&](std::int32_t x, std::int32_t y, float weight) {
        if (std::uint8_t* p = target_pixel(target, x, y))
            mix_pixel(target, p, weighted(target, x, y, intensity * weight), false);
    };
    paint(x0, y0, 1.0f);
    const std::int32_t sx = x1 > x0 ? 1 : -1, sy = y1 > y0 ? 1 : -1;
    const std::int32_t dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const bool along_x = dx >= dy;
    const std::int32_t major = std::max(dx, dy), minor = std::min(dx, dy);
    // A 45 degree line wraps the adjust to 0 and steps the minor axis every time.
    const auto adjust = std::uint16_t(std::int64_t(minor) * 65536 / major);
    std::uint16_t error = 0;
    std::int32_t x = x0, y = y0;
    for (std::int32_t i = include_end ? 0 : 1; i < major; ++i) {
        const auto next = std::uint16_t(error + adjust);
        if (next <= error)
            (along_x ? y : x) += along_x ? sy : sx;
        (along_x ? x : y) += along_x ? sx : sy;
        const std::int32_t w = next >> 8;
        paint(x, y, gamma[std::size_t(255 - w)]);
        if (along_x)
            paint(x, y + sy, gamma[std::size_t(w)]);
        else
            paint(x + sx, y, gamma[std::size_t(w)]);
        error = next;
    }
}

} // namespace velmora
