#include "document/blend.h"

#include <cmath>

namespace velmora {

std::uint8_t mix_exact(int offset, int den, int d, float a)
{
    if (a == 0.0f)
        return std::uint8_t(d);
    // a = mantissa * 2^-shift exactly, mantissa below 2^24.
    int exponent = 0;
    const double fraction = std::frexp(double(a), &exponent);
    const auto mantissa = static_cast<std::int64_t>(std::ldexp(fraction, 24));
    const int shift = 24 - exponent;
    if (shift > 100)
        return std::uint8_t(d); // the move is far below half a level
    __extension__ using int128 = __int128;
    // value = (d * den * 2^shift + offset * mantissa) / (den * 2^shift)
    const int128 denominator = int128(den) << shift;
    const int128 numerator = (int128(d) * den << shift) + int128(offset) * mantissa;
    int128 quotient = numerator / denominator;
    int128 remainder = numerator % denominator;
    if (remainder < 0) {
        remainder += denominator;
        --quotient;
    }
    if (2 * remainder > denominator || (2 * remainder == denominator && (quotient & 1) != 0))
        ++quotient;
    return std::uint8_t(quotient);
}

std::uint8_t blend_channel(std::uint8_t mode, int s, int d, float a)
{
    return with_blend_mode(mode, [&]<typename Mode>() { return blend_channel<Mode>(s, d, a); });
}

} // namespace velmora
