#pragma once

#include "document/document.h"
#include "formats/load_picture.h"
#include "formats/picture_writers.h"
#include "formats/vlm_format.h"

#include <string>

namespace velmora {

// Opens a file as a document, the reader chosen by the lower-cased
// extension: the layers of .vlm and .psd files, one opaque background for
// every flat picture. A PSD whose layers cannot be read falls back to its
// flattened image. The document is named after the file and is not
// modified. Throws velmora_error with the reader's message key.
tdocument open_document_file(const std::string& file_name, const tload_options& options = {});

// Whether a file of this name can be written (.vlm, .psd or a flat format).
bool document_writer_known(const std::string& file_name);

// Writes the document by the lower-cased extension: with its layers to .vlm
// and .psd, flattened to every other format. The document is not changed.
void save_document_file(const tdocument& doc, const std::string& file_name, const tflat_settings& flat = {},
                        const tvlm_write_options& vlm = {});

} // namespace velmora
