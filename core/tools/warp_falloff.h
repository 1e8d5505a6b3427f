#pragma once

#include <array>

namespace velmora {

// How strongly the deform tools move a pixel at a tenth-of-a-percent step of
// the brush radius: entry i is ((1 + cos(pi * sqrt(i / 100))) / 2) ^ 0.7, in
// single precision. Built once, on first use.
const std::array<float, 100>& warp_falloff();

} // namespace velmora
