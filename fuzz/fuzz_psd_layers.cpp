// libFuzzer harness for the layered PSD reader (read_psd_layers), which the
// flat PSD reader of fuzz_psd does not reach for files with a composite image.

#include "document/error.h"
#include "formats/psd_import.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    velmora::tdocument doc = velmora::create_document("fuzz");
    try {
        velmora::read_psd_layers(doc, std::span<const std::uint8_t>(data, size));
    } catch (const velmora::velmora_error&) {
    }
    return 0;
}
