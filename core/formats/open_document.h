#pragma once

#include "document/document.h"
#include "formats/load_picture.h"

#include <string>

namespace velmora {

// Opens a file as a document, the reader chosen by the lower-cased
// extension: the layers of .vlm and .psd files, one opaque background for
// every flat picture. A PSD whose layers cannot be read falls back to its
// flattened image. The document is named after the file and is not
// modified. Throws velmora_error with the reader's message key.
tdocument open_document_file(const std::string& file_name, const tload_options& options = {});

} // namespace velmora
