#pragma once

#include "document/kernel_set.h"

#include <cstdint>

namespace velmora {

// Mixes `count` layer pixels into the pixels below with one blend mode.
// src holds the layer's pixels (B, G, R, A as one little-endian word);
// factor is the layer's opacity factor, so a pixel's alpha is
// pixel_alpha(A, factor); mask, when given, holds the mask pixel of each
// pixel (its level in the red byte); dst holds the pixels below, of which
// blue, green and red are rewritten.
using tblend_span = void (*)(const std::uint32_t* src, const std::uint32_t* mask, float factor, std::uint8_t* dst,
                             std::int32_t count);

// The span function of `mode` (Normal beyond the list) from the kernel set
// asked for.
tblend_span blend_span_for(std::uint8_t mode, tkernel_set set = tkernel_set::best);

} // namespace velmora
