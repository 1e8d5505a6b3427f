#pragma once

// The compositing rules written as plainly as possible, for checking the fast
// paths against: extended precision, one pixel at a time, no tables.

#include "document/blend.h"
#include "document/document.h"
#include "document/rounding.h"
#include "document/view.h"

namespace velmora::reference {

inline std::uint8_t blend(std::uint8_t mode, int s_byte, int d_byte, float a)
{
    const long double s = s_byte, d = d_byte, x = a;
    long double target = s;
    switch (mode) {
    case multiply: target = d * s / 255; break;
    case screen: target = 255 - (255 - d) * (255 - s) / 255; break;
    case overlay: target = d < 128 ? 2 * d * s / 255 : 255 - 2 * (255 - d) * (255 - s) / 255; break;
    case hard_light: target = s < 128 ? 2 * d * s / 255 : 255 - 2 * (255 - d) * (255 - s) / 255; break;
    case difference: target = d > s ? d - s : s - d; break;
    case exclusion: target = d + s - 2 * d * s / 255; break;
    case average: target = (d + s) / 2; break;
    default: break;
    }
    return std::uint8_t(round_half_even(d + (target - d) * x));
}

inline long trunc_index(double v)
{
    return long(v); // toward zero
}

// View pixel (x, y) of the document as the rules describe it.
inline void view_pixel(const tdocument& doc, const tview_mapping& m, int x, int y, std::uint8_t out[3])
{
    const Tfbitmap& bg = doc.layers[0]->bitmap;
    // Coordinates in double, as the view maps them: truncation is
    // discontinuous, so the same expression must be evaluated the same way.
    const double fx = x / m.z, fy = y / m.z;
    const long ix = trunc_index(fx + double(m.ox)), iy = trunc_index(fy + double(m.oy));
    // Where the background does not reach, layers still mix over what the view held.
    if (fx + double(m.ox) > -1 && fy + double(m.oy) > -1 && ix < bg.width() && iy < bg.height())
        for (int c = 0; c < 3; ++c)
            out[c] = bg.pixel(int(ix), int(iy))[c];
    for (std::size_t i = 1; i < doc.layers.size(); ++i) {
        const tcalque& l = *doc.layers[i];
        if (!l.visible)
            continue;
        const double px = fx + (double(m.ox) - l.left), py = fy + (double(m.oy) - l.top);
        if (px <= -1 || py <= -1 || trunc_index(px) >= l.bitmap.width() || trunc_index(py) >= l.bitmap.height())
            continue;
        const std::uint8_t* p = l.bitmap.pixel(int(trunc_index(px)), int(trunc_index(py)));
        if (p[alpha_byte] == 0)
            continue;
        float a = float(p[alpha_byte]) * float(double(l.opacity) / 255.0 / 255.0);
        if (l.mask_enabled && l.mask) {
            const tcalque& mk = *l.mask;
            const double mx = fx + (double(m.ox) - mk.left), my = fy + (double(m.oy) - mk.top);
            if (mx > -1 && my > -1 && trunc_index(mx) < mk.bitmap.width() && trunc_index(my) < mk.bitmap.height())
                a = float(mk.bitmap.pixel(int(trunc_index(mx)), int(trunc_index(my)))[red_byte]) * a / 255.0f;
        }
        for (int c = 0; c < 3; ++c)
            out[c] = blend(l.blend_mode, p[c], out[c], a);
    }
}

} // namespace velmora::reference
