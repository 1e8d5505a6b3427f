#pragma once

#include <cmath>
#include <cstdint>

namespace velmora {

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4). Every rule of the program that says "round" means this one.
inline std::int64_t round_half_even(long double value)
{
    const long double floor_value = std::floor(value);
    const long double fraction = value - floor_value;
    auto result = static_cast<std::int64_t>(floor_value);
    if (fraction > 0.5L || (fraction == 0.5L && (result & 1) != 0))
        ++result;
    return result;
}

} // namespace velmora
