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

// The palette's new layer: a transparent layer of the document's size at
// (0, 0), opacity 255, Normal, placed just above the current layer and made
// current; mask editing ends.
void add_new_layer(tdocument& doc, std::string name);

// Layers > New Layer...: a transparent layer of the document's size at
// (0, 0) with the given opacity and blend mode, on top of the stack and
// made current.
tcalque& append_transparent_layer(tdocument& doc, std::string name, std::int32_t opacity, std::uint8_t blend_mode);

// Appends a copy of the current layer on top of the stack (pixels, position,
// blend mode; full opacity, visible): what dropping a row on the duplicate
// button does (the preserve-transparency flag comes along, as with the
// duplicate command). The current layer stays the same.
void append_layer_copy(tdocument& doc, std::string name);

// Where a row dragged from index `dragged` lands when dropped on row
// `target` at height `y` inside it: the new index and whether it goes below
// the target's layer. `index` is -1 when the drop is refused.
struct treorder_drop {
    std::int32_t index = -1;
    bool below = false;
};
treorder_drop reorder_drop(std::int32_t dragged, std::int32_t target, std::int32_t y, std::int32_t row_height);

// Moves layer `from` to index `to`; the current layer keeps its number.
void move_layer(tdocument& doc, std::int32_t from, std::int32_t to);

// Gives the current upper layer a white opaque mask of its size and place
// when it has none, and enables it.
void create_layer_mask(tdocument& doc);
// Multiplies the layer's alpha by its mask's red value wherever they overlap.
void apply_layer_mask(tcalque& layer);
// Drops the current layer's mask, applying it first when asked; ends mask
// editing.
void remove_layer_mask(tdocument& doc, bool apply);

// The Layers palette's thumbnails: the size for a document, 34 x 26 at most.
struct tthumbnail_size {
    std::int32_t width = 34;
    std::int32_t height = 26;
};
tthumbnail_size thumbnail_size(std::int32_t document_width, std::int32_t document_height);
// The layer's pixels (no blending) over a checkerboard, with a black frame.
Tfbitmap layer_thumbnail(const tdocument& doc, std::int32_t index);
// The mask's red values as grey (white off the mask), with a black frame.
// The disabled cross is the palette's to draw.
Tfbitmap mask_thumbnail(const tdocument& doc, std::int32_t index);

// An opacity 0..255 in percent, rounded.
std::int32_t opacity_percent(std::int32_t opacity);
// "Opacity: " + the opacity in percent + "%", as the palette's label reads.
std::string opacity_label(std::string_view opacity_text, std::int32_t opacity);

} // namespace velmora
