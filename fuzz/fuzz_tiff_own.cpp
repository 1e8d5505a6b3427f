// libFuzzer harness for our own TIFF reader (read_tiff), the fallback that
// load_picture reaches only when libtiff refuses a file.

#include "document/error.h"
#include "formats/gfx_tiff.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        velmora::read_tiff(std::span<const std::uint8_t>(data, size));
    } catch (const velmora::velmora_error&) {
    }
    return 0;
}
