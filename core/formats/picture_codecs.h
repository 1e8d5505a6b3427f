#pragma once

#include "document/tfbitmap.h"

#include <cstdint>
#include <span>

namespace velmora {

// Decoders of the published picture formats. Each takes the whole file and
// returns a 32-bit picture (alpha 255 unless the file carries transparency),
// or throws velmora_error("@ch_could_not_parse_the_file", detail). Sizes are
// validated against check_raster_size's limits before anything is allocated.

// `smoothing`: the codec's block smoothing of progressive images.
Tfbitmap decode_jpeg(std::span<const std::uint8_t> data, bool smoothing = true);
// Keeps the file's transparency; load_picture draws it onto white.
Tfbitmap decode_png(std::span<const std::uint8_t> data);
// The first image of the file on its logical screen; outside that image and
// at the transparent index the picture is transparent.
Tfbitmap decode_gif(std::span<const std::uint8_t> data);
// Everything libtiff reads: strips, tiles, LZW, Deflate, PackBits, JPEG,
// palettes, grey, 16-bit samples, alpha. First directory only.
Tfbitmap decode_tiff(std::span<const std::uint8_t> data);
// Windows and OS/2 bitmaps: 1/4/8/16/24/32-bit, RLE4/RLE8, bit fields, both row orders.
Tfbitmap decode_bmp(std::span<const std::uint8_t> data);
// ZSoft PCX: 1-bit, 16-colour planes, 256 colours with palette, 24 and 32-bit planes.
Tfbitmap decode_pcx(std::span<const std::uint8_t> data);
// Truevision TGA: colour-mapped, true colour, grey, run-length, both origins.
Tfbitmap decode_tga(std::span<const std::uint8_t> data);
// Silicon Graphics images: verbatim and RLE, 8 and 16-bit, 1 to 4 channels.
Tfbitmap decode_sgi(std::span<const std::uint8_t> data);
// Portable bitmap, greymap and pixmap: P1 to P6, up to 16-bit samples.
Tfbitmap decode_pnm(std::span<const std::uint8_t> data);
// Autodesk Animator CEL/PIC with its 0x9119 header and 6-bit palette.
Tfbitmap decode_cel(std::span<const std::uint8_t> data);
// Kodak Photo CD at its base resolution (768 x 512), turned upright.
Tfbitmap decode_pcd(std::span<const std::uint8_t> data);

} // namespace velmora
