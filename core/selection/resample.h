#pragma once

#include "document/tfbitmap.h"

#include <array>
#include <string_view>

namespace velmora {

// The seven resampling kernels, by index.
enum class tresample_filter : std::uint8_t { box, triangle, hermite, bell, b_spline, lanczos3, mitchell };

struct tresample_filter_info {
    std::string_view name; // "Box", "Triangle" ...
    float support;
};
const tresample_filter_info& resample_filter_info(tresample_filter filter);
// The filter of that name, or none.
const tresample_filter_info* find_resample_filter(std::string_view name, tresample_filter* filter);

float resample_kernel(tresample_filter filter, float x);

// Scales `source` into `destination`, whose size the caller has set, in two
// filtered passes (rows, then columns). Weights are not normalised; every
// channel is clamped to 0..255 and rounded after each pass. All four bytes
// are resampled, and the progress display advances per source row and per
// destination column. A zero-sized source leaves a transparent destination.
void resample(const Tfbitmap& source, Tfbitmap& destination, tresample_filter filter);

// The same on blue, green and red only: the source loses its alpha (it is
// made opaque, as a 24-bit picture would be) and the destination is opaque.
// No progress display.
void resample_24(Tfbitmap& source, Tfbitmap& destination, tresample_filter filter);

} // namespace velmora
