#pragma once

#include "document/tfbitmap.h"
#include "formats/colour_reduction.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The encoders behind Save As and File > Export. Each takes the flattened
// document (alpha ignored unless said otherwise) and never changes it; the
// settings are those of the "jpeg", "png" and "gif" preferences, read by the
// caller. The write_ functions save atomically and throw velmora_error on
// failure.

struct tjpeg_settings {
    int quality = 90;         // "quality", 1..100
    bool progressive = false; // "progressive"
    bool smoothing = true;    // "lissage": a decoding option; the encoded file does not depend on it
};

std::vector<std::uint8_t> encode_jpeg(const Tfbitmap& picture, const tjpeg_settings& settings);
void write_jpeg(const Tfbitmap& picture, const std::string& file_name, const tjpeg_settings& settings);

struct tpng_settings {
    bool ra1 = true;  // true colours
    bool ra2 = false; // 256 colours with the dither mode
    bool ra3 = false; // exact palette, when the picture has at most 256 colours
    int dithermode = 0;
    friend bool operator==(const tpng_settings&, const tpng_settings&) = default;
};

// What write_png stores before it encodes: the exact palette becomes the
// choice for pictures of at most 256 colours; a stored exact palette falls
// back to true colours when the picture has more.
tpng_settings settle_png_settings(const Tfbitmap& picture, tpng_settings stored);

// All five row filters, compression level 9.
std::vector<std::uint8_t> build_png(const Tfbitmap& picture, const tpng_settings& settings);
void write_png(const Tfbitmap& picture, const std::string& file_name, const tpng_settings& settings);

struct tgif_settings {
    bool ra1 = true;   // optimal 256-colour palette
    bool ra2 = false;  // custom number of colours from nb_colors
    int nb_colors = 0; // 0 two colours (black and white), 1..6: 8 .. 256 colours
    int dither = 0;
    int compression = 0; // 0 RLE, 1 LZW: both are written as LZW, which every reader expects
};

// What the GIF encoder is asked to do.
struct tgif_encoding {
    int colours = 256;
    bool black_and_white = false;
    dither_mode dither = dither_mode::nearest;
    bool lzw = false;
};

tgif_encoding apply_gif_settings(const tgif_settings& settings);
std::vector<std::uint8_t> encode_gif(const Tfbitmap& picture, const tgif_encoding& encoding);
void write_gif(const Tfbitmap& picture, const std::string& file_name, const tgif_settings& settings);

// GIF89a whose transparent colour is the bottom-left pixel's, with the
// encoder's own defaults (optimal palette, no dither).
std::vector<std::uint8_t> build_transparent_gif(const Tfbitmap& picture);
// 24-bit PNG with the top-left pixel's colour as its transparent colour key.
std::vector<std::uint8_t> build_transparent_png(const Tfbitmap& picture);
// A 256-colour Windows icon, transparent where the bottom-left pixel's colour
// is; pictures larger than 256 pixels a side are shrunk to fit first.
std::vector<std::uint8_t> build_icon(const Tfbitmap& picture);

} // namespace velmora
