#pragma once

#include <cmath>
#include <cstdint>

namespace velmora {

// round_half_even of a single-precision intermediate in 0..255, at pixel-loop
// speed: the processor's default rounding (to nearest, ties to even) gives
// exactly the same result, and nothing in the program changes that mode.
inline std::uint8_t round_channel(float value)
{
    return std::uint8_t(std::lrint(value));
}

} // namespace velmora
