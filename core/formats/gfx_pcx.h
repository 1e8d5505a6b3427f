#pragma once

#include "document/tfbitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Version 5, three run-length encoded 8-bit planes per row, closed by the
// byte 12 with no palette behind it. Alpha is dropped.
std::vector<std::uint8_t> build_pcx(const Tfbitmap& picture);
void write_pcx(const Tfbitmap& picture, const std::string& file_name);

} // namespace velmora
