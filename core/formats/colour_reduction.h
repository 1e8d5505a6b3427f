#pragma once

#include "document/tfbitmap.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

// The dither modes of the PNG and GIF options, in the order of their lists.
enum class dither_mode : std::uint8_t {
    nearest = 0,         // "Nearest color matching"
    floyd_steinberg = 1, // "Floyd Steinberg Error Diffusion"
    stucki = 2,
    sierra = 3,
    jarvis = 4,          // "Jarvis, Judice and Ninke Error Diffusion"
    stevenson_arce = 5,
    burkes = 6,
};
inline constexpr int dither_mode_count = 7;

dither_mode dither_from_index(int index); // out-of-range indexes mean nearest

struct tpalette_picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<trgb> palette;          // at most 256 entries
    std::vector<std::uint8_t> indexes;  // width * height, rows top to bottom
};

// The distinct colours of `picture` (alpha ignored) when there are at most
// `limit` of them, in order of first appearance; nothing when there are more.
std::optional<std::vector<trgb>> list_colours(const Tfbitmap& picture, std::size_t limit);

// An optimal palette of at most `count` colours (median cut on a 5-bit
// histogram, each entry the mean of the colours it stands for). A picture with
// no more than `count` colours gets exactly its own colours.
std::vector<trgb> optimal_palette(const Tfbitmap& picture, std::size_t count);

// Maps every pixel to `palette` with the dither mode; exact colours of the
// palette always map to themselves when no error is carried to them.
tpalette_picture map_to_palette(const Tfbitmap& picture, std::vector<trgb> palette, dither_mode dither);

} // namespace velmora
