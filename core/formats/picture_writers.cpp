#include "formats/picture_writers.h"

#include "document/error.h"
#include "formats/file_io.h"
#include "formats/gfx_pcx.h"
#include "formats/gfx_tga.h"
#include "formats/gfx_tiff.h"

#include <array>
#include <string_view>
#include <utility>

namespace velmora {

namespace {

using twriter = std::vector<std::uint8_t> (*)(const Tfbitmap&, const tflat_settings&);

constexpr std::array<std::pair<std::string_view, twriter>, 10> writers = {{
    {".jpg", [](const Tfbitmap& b, const tflat_settings& s) { return encode_jpeg(b, s.jpeg); }},
    {".jpeg", [](const Tfbitmap& b, const tflat_settings& s) { return encode_jpeg(b, s.jpeg); }},
    {".png", [](const Tfbitmap& b, const tflat_settings& s) { return build_png(b, s.png); }},
    {".gif", [](const Tfbitmap& b, const tflat_settings& s) { return encode_gif(b, apply_gif_settings(s.gif)); }},
    {".bmp", [](const Tfbitmap& b, const tflat_settings&) { return save_bmp(b, bmp_depth::bits32); }},
    {".tif", [](const Tfbitmap& b, const tflat_settings&) { return build_tiff(b); }},
    {".tiff", [](const Tfbitmap& b, const tflat_settings&) { return build_tiff(b); }},
    {".pcx", [](const Tfbitmap& b, const tflat_settings&) { return build_pcx(b); }},
    {".tga", [](const Tfbitmap& b, const tflat_settings&) { return build_tga(b); }},
    {".ico", [](const Tfbitmap& b, const tflat_settings&) { return build_icon(b); }},
}};

twriter find_writer(const std::string& extension)
{
    for (const auto& [ext, writer] : writers)
        if (ext == extension)
            return writer;
    return nullptr;
}

} // namespace

bool picture_writer_known(const std::string& extension)
{
    return find_writer(extension) != nullptr;
}

void write_picture_file(const Tfbitmap& flat, const std::string& file_name, const tflat_settings& settings)
{
    const twriter writer = find_writer(lower_extension(file_name));
    if (!writer)
        throw velmora_error("@ch_error_file_format_unknown", file_name);
    write_file_atomically(file_name, writer(flat, settings));
}

} // namespace velmora
