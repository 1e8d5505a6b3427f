#pragma once

#include "document/document.h"

#include <string>
#include <string_view>

namespace velmora {

// The name of a copy of a layer named `name`: `copy` (" (copy)") appended,
// or the number after `incomplete` (" (copy") counted up: Sky, Sky (copy),
// Sky (copy2) ... Sky (copy10). A name holding `incomplete` anywhere but at
// its end gets `copy` appended too.
std::string duplicate_name(std::string_view name, std::string_view copy, std::string_view incomplete);

// Inserts a copy of the current layer just above it (pixels, position, blend
// mode and preserve-transparency flag; full opacity, visible, no mask, no
// text) and makes it current.
void duplicate_layer(tdocument& doc, std::string name);

// Removes the current layer when it is above the background; the layer below
// becomes current and mask editing ends. False when there was nothing to delete.
bool delete_current_layer(tdocument& doc);

// Merges the current layer into the one below it (see merge_layers); leaves
// mask editing. False, changing nothing, when it was refused or there is no
// layer below.
bool merge_down(tdocument& doc);

// Flattens every visible layer into an opaque background, which becomes the
// only and current layer.
void merge_all_layers(tdocument& doc);

} // namespace velmora
