#pragma once

#include "document/tfbitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Uncompressed 24-bit true colour, top row first, with our identification
// text and no footer. Alpha is dropped.
std::vector<std::uint8_t> build_tga(const Tfbitmap& picture);
void write_tga(const Tfbitmap& picture, const std::string& file_name);

} // namespace velmora
