#pragma once

#include "document/document.h"

namespace velmora {

// The preview stored in a native file: the flattened document resampled with
// Lanczos3 to vlm_thumbnail_size; opaque.
Tfbitmap make_vlm_thumbnail(const tdocument& doc);

} // namespace velmora
