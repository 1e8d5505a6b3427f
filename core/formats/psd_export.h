#pragma once

#include "document/document.h"
#include "formats/file_io.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The document as a layered PSD file (RGB, 8 bits, raw channels): each layer
// with its position, name, blend mode, opacity, visibility and mask, followed
// by the flattened image so that readers without layer support show the
// picture. A one-layer document is written as its flat image only.
// Throws velmora_error("@ch_error") for layers larger than the format allows.
std::vector<std::uint8_t> build_psd(const tdocument& doc);

void write_psd_to(const tdocument& doc, tbyte_sink& sink);

// build_psd saved atomically to `file_name`; the document is not changed.
void write_psd(const tdocument& doc, const std::string& file_name);

} // namespace velmora
