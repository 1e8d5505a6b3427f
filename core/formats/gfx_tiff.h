#pragma once

#include "document/error.h"
#include "document/tfbitmap.h"
#include "formats/file_io.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// A TIFF file the fallback reader refuses; the message says why ("TIFF:
// Unsupported compression scheme" ...). The key is the open dispatch's
// "@ch_could_not_parse_the_file".
class EGraphicFormat : public velmora_error {
public:
    explicit EGraphicFormat(const std::string& message) : velmora_error("@ch_could_not_parse_the_file", message) {}
};

// Little-endian, one uncompressed RGB strip, 87.7 pixels per inch, the
// directory right after the pixels. Alpha is dropped.
std::vector<std::uint8_t> build_tiff(const Tfbitmap& picture);
void write_tiff_to(const Tfbitmap& picture, tbyte_sink& sink);
void write_tiff(const Tfbitmap& picture, const std::string& file_name);

// The program's own reader for TIFF files the general reader rejects: both
// byte orders, strips, no compression, LZW or PackBits, 1/4/8/16-bit grey or
// palette, RGB, CMYK and CIE L*a*b*. The result is opaque.
Tfbitmap read_tiff(std::span<const std::uint8_t> data);
Tfbitmap read_tiff(const std::string& file_name);

} // namespace velmora
