#pragma once

#include <cstdint>

namespace velmora {

// Mixes `count` layer pixels into the pixels below with one blend mode.
// src holds the layer's pixels (B, G, R, A as one little-endian word);
// factor is the layer's opacity factor, so a pixel's alpha is
// pixel_alpha(A, factor); mask, when given, holds the mask level of each
// pixel, negative where the mask does not act; dst holds the pixels below, of
// which blue, green and red are rewritten.
using tblend_span = void (*)(const std::uint32_t* src, const float* mask, float factor, std::uint8_t* dst,
                             std::int32_t count);

enum class tkernel_set { best, portable, avx2 };

// The span function of `mode` (Normal beyond the list), from the fastest
// kernel set this processor runs, or from the one asked for. Every set gives
// the same bytes; `avx2` falls back to portable where it is not available.
tblend_span blend_span_for(std::uint8_t mode, tkernel_set set = tkernel_set::best);

} // namespace velmora
