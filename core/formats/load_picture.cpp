#include "formats/load_picture.h"

#include "document/error.h"
#include "document/parallel.h"
#include "formats/file_io.h"
#include "formats/gfx_tiff.h"
#include "formats/picture_codecs.h"
#include "formats/psd_import.h"

#include <array>
#include <string_view>
#include <utility>

namespace velmora {

namespace {

using tdecoder = Tfbitmap (*)(std::span<const std::uint8_t>, const tload_options&);

Tfbitmap read_png_on_white(std::span<const std::uint8_t> data, const tload_options&)
{
    Tfbitmap picture = decode_png(data);
    // c * a / 255 + 255 - a, rounded: 255 is odd, so the sum never ends in exactly one half.
    parallel_rows(0, picture.height(), std::int64_t(picture.width()) * picture.height(),
                  [&](std::int32_t first, std::int32_t last) {
                      for (std::int32_t y = first; y < last; ++y) {
                          std::uint8_t* p = picture.row(y);
                          for (std::int32_t x = 0; x < picture.width(); ++x, p += 4) {
                              const unsigned a = p[alpha_byte];
                              if (a != 255)
                                  for (int c = 0; c < 3; ++c)
                                      p[c] = std::uint8_t((p[c] * a + 255 * (255 - a) + 127) / 255);
                              p[alpha_byte] = 255;
                          }
                      }
                  });
    return picture;
}

Tfbitmap read_tiff_either(std::span<const std::uint8_t> data, const tload_options&)
{
    try {
        return decode_tiff(data);
    } catch (const velmora_error& general) {
        try {
            return read_tiff(data);
        } catch (const velmora_error& own) {
            throw velmora_error("@ch_could_not_parse_the_file",
                                std::string(general.what()) + "; " + std::string(own.what()));
        }
    }
}

template <Tfbitmap (*decode)(std::span<const std::uint8_t>)>
Tfbitmap plain(std::span<const std::uint8_t> data, const tload_options&)
{
    return decode(data);
}

Tfbitmap read_jpeg(std::span<const std::uint8_t> data, const tload_options& options)
{
    return decode_jpeg(data, options.jpeg_smoothing);
}

Tfbitmap read_unsupported(std::span<const std::uint8_t>, const tload_options&)
{
    throw velmora_error("@ch_could_not_parse_the_file", "Paint Shop Pro files are not supported");
}

constexpr std::array<std::pair<std::string_view, tdecoder>, 29> readers = {{
    {".jpeg", read_jpeg},
    {".jpg", read_jpeg},
    {".gif", plain<decode_gif>},
    {".png", read_png_on_white},
    {".tif", read_tiff_either},
    {".tiff", read_tiff_either},
    {".bmp", plain<decode_bmp>},
    {".rle", plain<decode_bmp>},
    {".dib", plain<decode_bmp>},
    {".pcd", plain<decode_pcd>},
    {".pcx", plain<decode_pcx>},
    {".pcc", plain<decode_pcx>},
    {".scr", plain<decode_pcx>},
    {".tga", plain<decode_tga>},
    {".vst", plain<decode_tga>},
    {".icb", plain<decode_tga>},
    {".vda", plain<decode_tga>},
    {".win", plain<decode_tga>},
    {".psp", read_unsupported},
    {".cel", plain<decode_cel>},
    {".pic", plain<decode_cel>},
    {".bw", plain<decode_sgi>},
    {".rgb", plain<decode_sgi>},
    {".rgba", plain<decode_sgi>},
    {".sgi", plain<decode_sgi>},
    {".ppm", plain<decode_pnm>},
    {".pgm", plain<decode_pnm>},
    {".pbm", plain<decode_pnm>},
    {".psd", plain<read_psd_flat>},
}};

tdecoder find_reader(const std::string& extension)
{
    for (const auto& [ext, decoder] : readers)
        if (ext == extension)
            return decoder;
    return nullptr;
}

} // namespace

bool picture_extension_known(const std::string& extension)
{
    return find_reader(extension) != nullptr;
}

Tfbitmap decode_picture(std::span<const std::uint8_t> data, const std::string& extension, const tload_options& options)
{
    const tdecoder decoder = find_reader(extension);
    if (!decoder)
        throw velmora_error("@ch_error_file_format_unknown", extension);
    try {
        return decoder(data, options);
    } catch (const std::bad_alloc&) {
        throw velmora_error("@ch_no_mem", "reading a " + extension + " picture");
    }
}

Tfbitmap load_picture(const std::string& file_name, const tload_options& options)
{
    const std::string extension = lower_extension(file_name);
    if (!picture_extension_known(extension))
        throw velmora_error("@ch_error_file_format_unknown", file_name);
    return decode_picture(tfile_view(file_name).bytes(), extension, options);
}

} // namespace velmora
