#pragma once

// Pieces the PSD reader and writer share.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::psd {

// Blend mode keys by our mode index. Average has no key of its own: it is
// written as "norm" and kept in our own tagged block.
inline constexpr std::array<std::string_view, 8> blend_keys = {"norm", "mul ", "scrn", "over",
                                                               "hLit", "diff", "smud", "norm"};
// Our tagged block holding the mode byte, for modes the format cannot name.
inline constexpr std::string_view own_blend_key = "vlBm";

inline constexpr std::uint8_t flag_protect_transparency = 0x01;
inline constexpr std::uint8_t flag_hidden = 0x02;
inline constexpr std::uint8_t mask_flag_disabled = 0x02;

std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);
std::string latin1_to_utf8(std::string_view text);
// Characters outside Latin-1 become '?'.
std::string utf8_to_latin1(std::string_view text);

} // namespace velmora::psd
