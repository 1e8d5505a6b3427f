#pragma once

#include "document/document.h"
#include "selection/selection.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace velmora {

// The layer a filter works on: the current layer, or its mask while the mask
// is being edited. Resolved each time a filter runs.
tcalque& filter_target(tdocument& doc);
// The current layer itself, also while its mask is edited (the colour
// adjustments that never touch a mask).
tcalque& active_layer(tdocument& doc);

// Alpha is filtered only when the target does not preserve transparency.
inline bool process_alpha(const tcalque& target) { return target.preserve_transparency == 0; }

// Writes into `target` (the unfiltered pixels) the filtered copy mixed by
// coverage c: each channel becomes round(u + (f - u) * c / 255); pixels
// without coverage are left alone. Alpha is mixed only with `with_alpha`.
// `filtered` has the size of the target; the layer gives the position.
void blend_by_selection(Tfbitmap& target, const Tfbitmap& filtered, std::int32_t left, std::int32_t top,
                        const tselection& selection, bool with_alpha);

// round(u + (f - u) * c / 255) exactly: the quotient is never a half because
// 255 is odd, so the integer form agrees with every floating evaluation.
inline std::uint8_t mix_by_coverage(std::int32_t unfiltered, std::int32_t filtered, std::int32_t coverage)
{
    return std::uint8_t((510 * unfiltered + 2 * (filtered - unfiltered) * coverage + 255) / 510);
}

// round_half_even for sample positions (0 <= value < 2^31) without a library
// floor or a float-to-integer conversion: adding 1.5 * 2^(mantissa bits)
// rounds to nearest with ties to even, leaving the integer in the low bits.
inline std::int32_t round_half_even_non_negative(long double value)
{
    static_assert(sizeof(long double) >= 10, "x87 extended precision expected");
    const long double shifted = value + 0x1.8p63L;
    std::uint64_t mantissa;
    std::memcpy(&mantissa, &shifted, sizeof mantissa);
    return std::int32_t(mantissa - 0xC000000000000000ull);
}

inline std::int32_t round_half_even_non_negative(double value)
{
    const double shifted = value + 0x1.8p52;
    std::uint64_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    return std::int32_t((bits & ((std::uint64_t(1) << 52) - 1)) - (std::uint64_t(1) << 51));
}

// A filter dialog's hold on its target: the pixels and position at opening,
// restored before each preview and on Cancel.
class tfilter_backup {
public:
    // Takes the copy of the target as the document resolves it now.
    explicit tfilter_backup(tdocument& doc, bool of_active_layer = false);

    tcalque& target() const { return *target_; }
    const Tfbitmap& pixels() const { return pixels_; }
    std::int32_t left() const { return left_; }
    std::int32_t top() const { return top_; }

    // Puts pixels, size and position back as they were at opening.
    void restore() const;

private:
    tcalque* target_;
    Tfbitmap pixels_;
    std::int32_t left_;
    std::int32_t top_;
};

} // namespace velmora
