#pragma once

#include "document/tfbitmap.h"

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

struct tload_options {
    // The "jpeg" / "lissage" preference: block smoothing of progressive JPEG files.
    bool jpeg_smoothing = true;
};

// Whether load_picture has a reader for this lower-cased extension (".jpg").
bool picture_extension_known(const std::string& extension);

// Reads a flat picture, the reader chosen by the lower-cased extension alone.
// PNG files are drawn onto white; other formats keep the transparency they
// carry. TIFF files that the general reader refuses go to our own reader.
// Throws velmora_error with "@ch_error_file_format_unknown" for an extension
// without reader, "@ch_file_unavailable" when the file cannot be read and
// "@ch_could_not_parse_the_file" when its contents cannot be decoded.
Tfbitmap load_picture(const std::string& file_name, const tload_options& options = {});
// The same on a file already in memory; `extension` as picture_extension_known takes it.
Tfbitmap decode_picture(std::span<const std::uint8_t> data, const std::string& extension,
                        const tload_options& options = {});

} // namespace velmora
