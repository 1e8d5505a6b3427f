#pragma once

#include "document/document.h"

namespace velmora {

// Merges the current layer into the one below it (see merge_layers); leaves
// mask editing. False, changing nothing, when it was refused or there is no
// layer below.
bool merge_down(tdocument& doc);

// Flattens every visible layer into an opaque background, which becomes the
// only and current layer.
void merge_all_layers(tdocument& doc);

} // namespace velmora
