#pragma once

#include "document/document.h"

namespace velmora {

// Two-pass Lanczos3 resampler on 32-bit rasters (all four bytes resampled):
// kernels and sums in single precision, no normalisation of the weights, edge
// samples mirrored, each pass clamped to 0..255 and rounded half to even.
// `destination` must already have its size. Kept here until the shared
// resampler takes it over.
void resample_lanczos3(const Tfbitmap& source, Tfbitmap& destination);

// The preview stored in a native file: the flattened document resampled to
// vlm_thumbnail_size.
Tfbitmap make_vlm_thumbnail(const tdocument& doc);

} // namespace velmora
