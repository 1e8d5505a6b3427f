// libFuzzer harness for one picture reader, chosen at build time by
// VELMORA_FUZZ_EXTENSION (".bmp", ".tga" ...). Every input must either decode
// or fail with velmora_error; anything else (a crash, a sanitizer report, an
// other exception) is a finding.

#include "document/error.h"
#include "formats/load_picture.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        velmora::decode_picture(std::span<const std::uint8_t>(data, size), VELMORA_FUZZ_EXTENSION);
    } catch (const velmora::velmora_error&) {
    }
    return 0;
}
