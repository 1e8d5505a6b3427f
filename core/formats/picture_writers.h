#pragma once

#include "document/tfbitmap.h"
#include "formats/output_formats.h"

#include <string>

namespace velmora {

// The settings every flat writer may need, as the preferences hold them.
struct tflat_settings {
    tjpeg_settings jpeg;
    tpng_settings png;
    tgif_settings gif;
};

// Whether write_picture_file has a writer for this lower-cased extension.
bool picture_writer_known(const std::string& extension);

// Writes a flattened picture by the lower-cased extension of `file_name`:
// JPEG, PNG and GIF with their settings, BMP (32 bits), TIFF, PCX, TGA, and
// the Windows icon. Throws velmora_error("@ch_error_file_format_unknown") for
// any other extension and "@ch_error" when the file cannot be written.
void write_picture_file(const Tfbitmap& flat, const std::string& file_name, const tflat_settings& settings);

} // namespace velmora
