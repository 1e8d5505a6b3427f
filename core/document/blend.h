#pragma once

#include "document/document.h"

#include <cstdint>

namespace velmora {

// Each mode names the value it moves the pixel below toward as the exact
// fraction target = num / den, with den a constant of the mode (1, 2 or 255);
// the mix is round(d + (target - d) * a). `offset` gives num - d * den, the
// distance to move scaled by den. One small pure function per mode; s is the
// layer's channel, d the one below, both ints or vectors of ints (always
// inlined, so vectors never cross a call whose convention depends on the
// instruction set).
struct normal_blend {
    static constexpr int den = 1;
    // s
    template <typename T>
    [[gnu::always_inline]] static constexpr T offset(T s, T d) { return s - d; }
};
struct multiply_blend {
    static constexpr int den = 255;
    // d * s / 255
    template <typename T>
    [[gnu::always_inline]] static constexpr T offset(T s, T d) { return d * s - 255 * d; }
};
struct screen_blend {
    static constexpr int den = 255;
    // 255 - (255 - d) * (255 - s) / 255
    template <typename T>
    [[gnu::always_inline]] static constexpr T offset(T s, T d) { return 255 * 255 - (255 - d) * (255 - s) - 255 * d; }
};
struct overlay_blend {
    static constexpr int den = 255;
    // d < 128 ? 2 * d * s / 255 : 255 - 2 * (255 - d) * (255 - s) / 255
    template <typename T>
    [[gnu::always_inline]] static constexpr T offset(T s, T d)
    {
        return (d < 128 ? 2 * d * s : 255 * 255 - 2 * (255 - d) * (255 - s)) - 255 * d;
    }
};
struct hard_light_blend {
    static constexpr int den = 255;
    // overlay with the test made on s
    template <typename T>
    [[gnu::always_inline]] static constexpr T offset(T s, T d)
    {
        return (s < 128 ? 2 * d * s : 255 * 255 - 2 * (255 - d) * (255 - s)) - 255 * d;
    }
};
struct difference_blend {
    static constexpr int den = 1;
    // |d - s|
    template <typename T>
    [[gnu::always_inline]] static constexpr T offset(T s, T d) { return (d > s ? d - s : s - d) - d; }
};
struct exclusion_blend {
    static constexpr int den = 255;
    // d + s - 2 * d * s / 255
    template <typename T>
    [[gnu::always_inline]] static constexpr T offset(T s, T d) { return 255 * s - 2 * d * s; }
};
struct average_blend {
    static constexpr int den = 2;
    // (d + s) / 2
    template <typename T>
    [[gnu::always_inline]] static constexpr T offset(T s, T d) { return s - d; }
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

// round(d + offset / den * a), halves to even, evaluated without error.
std::uint8_t mix_exact(int offset, int den, int d, float a);

// a / den in double. For den 255 the product is off by at most an ulp, which
// the tie margin of blend_channel_scaled absorbs.
template <typename Mode>
inline double scaled_alpha(float a)
{
    return double(a) * (1.0 / Mode::den);
}

// Adding and taking away 2^52 rounds a double in [0, 2^51) to an integer,
// halves to even, with no branch and no conversion.
inline constexpr double round_shift = 0x1p52;

// The same value as mix_exact, fast. With den 1 or 2 the double arithmetic is
// exact (a has 24 significant bits, offset 9), so halves are seen as halves.
// With den 255 it settles every case that is not within a hair of a half and
// only those go the exact way.
template <typename Mode>
inline std::uint8_t blend_channel_scaled(int s, int d, double a_over_den, float a)
{
    const int offset = Mode::offset(s, d);
    const double r = double(d) + double(offset) * a_over_den; // > -1
    const double rounded = (r + round_shift) - round_shift;
    if constexpr (Mode::den > 2) {
        const double miss = r - rounded;
        if (miss > 0.5 - 1e-7 || miss < -(0.5 - 1e-7)) [[unlikely]]
            return mix_exact(offset, Mode::den, d, a);
    }
    return std::uint8_t(rounded);
}

template <typename Mode>
inline std::uint8_t blend_channel(int s, int d, float a)
{
    return blend_channel_scaled<Mode>(s, d, scaled_alpha<Mode>(a), a);
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
