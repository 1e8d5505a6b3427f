#pragma once

#include "document/document.h"

#include <cstdint>

namespace velmora {

// The value a blend mode moves the pixel below toward, as the exact fraction
// num / den (den is 1, 2 or 255). The mix is then round(d + (target - d) * a).
struct tblend_target {
    std::int32_t num;
    std::int32_t den;
};

// One small pure function per mode; s is the layer's channel, d the one below.
struct normal_blend {
    // s
    static constexpr tblend_target target(int s, int) { return {s, 1}; }
};
struct multiply_blend {
    // d * s / 255
    static constexpr tblend_target target(int s, int d) { return {d * s, 255}; }
};
struct screen_blend {
    // 255 - (255 - d) * (255 - s) / 255
    static constexpr tblend_target target(int s, int d) { return {255 * 255 - (255 - d) * (255 - s), 255}; }
};
struct overlay_blend {
    // d < 128 ? 2 * d * s / 255 : 255 - 2 * (255 - d) * (255 - s) / 255
    static constexpr tblend_target target(int s, int d)
    {
        return d < 128 ? tblend_target{2 * d * s, 255} : tblend_target{255 * 255 - 2 * (255 - d) * (255 - s), 255};
    }
};
struct hard_light_blend {
    // overlay with the test made on s
    static constexpr tblend_target target(int s, int d)
    {
        return s < 128 ? tblend_target{2 * d * s, 255} : tblend_target{255 * 255 - 2 * (255 - d) * (255 - s), 255};
    }
};
struct difference_blend {
    // |d - s|
    static constexpr tblend_target target(int s, int d) { return {d > s ? d - s : s - d, 1}; }
};
struct exclusion_blend {
    // d + s - 2 * d * s / 255
    static constexpr tblend_target target(int s, int d) { return {255 * (d + s) - 2 * d * s, 255}; }
};
struct average_blend {
    // (d + s) / 2
    static constexpr tblend_target target(int s, int d) { return {d + s, 2}; }
};

// Calls fn.template operator()<Mode>() with the functor of `mode`; values
// beyond the list composite as Normal.
template <typename Fn>
decltype(auto) with_blend_mode(std::uint8_t mode, Fn&& fn)
{
    switch (mode) {
    case multiply: return fn.template operator()<multiply_blend>();
    case screen: return fn.template operator()<screen_blend>();
    case overlay: return fn.template operator()<overlay_blend>();
    case hard_light: return fn.template operator()<hard_light_blend>();
    case difference: return fn.template operator()<difference_blend>();
    case exclusion: return fn.template operator()<exclusion_blend>();
    case average: return fn.template operator()<average_blend>();
    default: return fn.template operator()<normal_blend>();
    }
}

// round(d + (target - d) * a), halves to even, evaluated without error.
std::uint8_t mix_exact(tblend_target target, int d, float a);

// The same value, fast: double arithmetic settles every case that is not
// within a hair of a half, and only those go the exact way.
inline std::uint8_t mix(tblend_target target, int d, float a)
{
    const double t = double(target.num) / double(target.den);
    const double r = double(d) + (t - double(d)) * double(a);
    const double whole = double(std::int32_t(r)); // r >= 0
    const double fraction = r - whole;
    if (fraction < 0.5 - 1e-7)
        return std::uint8_t(whole);
    if (fraction > 0.5 + 1e-7)
        return std::uint8_t(whole + 1);
    return mix_exact(target, d, a);
}

template <typename Mode>
inline std::uint8_t blend_channel(int s, int d, float a)
{
    return mix(Mode::target(s, d), d, a);
}

std::uint8_t blend_channel(std::uint8_t mode, int s, int d, float a);

// Effective-alpha factor of a layer: opacity / 255 / 255 as a 32-bit float.
inline float opacity_factor(std::int32_t opacity)
{
    return float(double(opacity) / 255.0 / 255.0);
}

// a of a pixel with alpha byte `alpha` on a layer with the given factor.
inline float pixel_alpha(std::uint8_t alpha, float factor)
{
    return float(alpha) * factor;
}

// a further scaled by the red byte of an enabled mask.
inline float masked_alpha(float a, std::uint8_t mask_level)
{
    return float(mask_level) * a / 255.0f;
}

} // namespace velmora
