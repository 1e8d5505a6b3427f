#include "formats/output_formats.h"

#include "document/error.h"
#include "document/rounding.h"
#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "formats/jpeg_support.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include <gif_lib.h>
#include <png.h>

namespace velmora {

namespace {

[[noreturn]] void encoder_failure(const std::string& detail)
{
    throw velmora_error("@ch_error", detail);
}

// ---- JPEG ----

struct tjpeg_compressor {
    jpeg_compress_struct info{};
    tjpeg_error error{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    bool created = false;
    ~tjpeg_compressor()
    {
        if (created)
            jpeg_destroy_compress(&info);
        std::free(buffer);
    }
};

bool jpeg_run(tjpeg_compressor& c, const Tfbitmap& picture, const tjpeg_settings& settings)
{
    c.info.err = jpeg_std_error(&c.error.manager);
    c.error.manager.error_exit = jpeg_fail;
    if (setjmp(c.error.jump))
        return false;
    jpeg_create_compress(&c.info);
    c.created = true;
    jpeg_mem_dest(&c.info, &c.buffer, &c.size);
    c.info.image_width = JDIMENSION(picture.width());
    c.info.image_height = JDIMENSION(picture.height());
    c.info.input_components = 4;
    c.info.in_color_space = JCS_EXT_BGRA;
    jpeg_set_defaults(&c.info);
    jpeg_set_quality(&c.info, std::clamp(settings.quality, 1, 100), TRUE);
    if (settings.progressive)
        jpeg_simple_progression(&c.info);
    jpeg_start_compress(&c.info, TRUE);
    while (c.info.next_scanline < c.info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.row(std::int32_t(c.info.next_scanline)));
        jpeg_write_scanlines(&c.info, &row, 1);
    }
    jpeg_finish_compress(&c.info);
    return true;
}

// ---- PNG ----

struct tpng_writer {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<std::uint8_t> out;
    std::string failure;
    ~tpng_writer() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

void png_write_memory(png_structp png, png_bytep data, png_size_t length)
{
    auto* writer = static_cast<tpng_writer*>(png_get_io_ptr(png));
    writer->out.insert(writer->out.end(), data, data + length);
}

void png_flush_memory(png_structp) {}

void png_fail(png_structp png, png_const_charp message)
{
    static_cast<tpng_writer*>(png_get_error_ptr(png))->failure = message;
    png_longjmp(png, 1);
}

void png_quiet(png_structp, png_const_charp) {}

// A PNG of RGB rows (3 bytes a pixel) or palette indexes (1 byte).
struct tpng_image {
    std::int32_t width = 0, height = 0;
    bool paletted = false;
    std::vector<trgb> palette;
    std::vector<std::uint8_t> rows;
    const trgb* key = nullptr; // transparent colour of a true-colour image
};

bool png_run(tpng_writer& w, const tpng_image& image)
{
    if (setjmp(png_jmpbuf(w.png)))
        return false;
    png_set_write_fn(w.png, &w, png_write_memory, png_flush_memory);
    png_set_compression_level(w.png, 9);
    png_set_filter(w.png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_set_IHDR(w.png, w.info, png_uint_32(image.width), png_uint_32(image.height), 8,
                 image.paletted ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    std::vector<png_color> palette;
    if (image.paletted) {
        for (const trgb& c : image.palette)
            palette.push_back({c.red, c.green, c.blue});
        png_set_PLTE(w.png, w.info, palette.data(), int(palette.size()));
    }
    png_color_16 key{};
    if (image.key) {
        key.red = image.key->red;
        key.green = image.key->green;
        key.blue = image.key->blue;
        png_set_tRNS(w.png, w.info, nullptr, 0, &key);
    }
    png_write_info(w.png, w.info);
    const std::size_t stride = std::size_t(image.width) * (image.paletted ? 1 : 3);
    for (std::int32_t y = 0; y < image.height; ++y)
        png_write_row(w.png, image.rows.data() + std::size_t(y) * stride);
    png_write_end(w.png, w.info);
    return true;
}

std::vector<std::uint8_t> encode_png(const tpng_image& image)
{
    tpng_writer w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w, png_fail, png_quiet);
    if (!w.png)
        throw std::bad_alloc();
    w.info = png_create_info_struct(w.png);
    if (!w.info)
        throw std::bad_alloc();
    if (!png_run(w, image))
        encoder_failure("PNG: " + w.failure);
    return std::move(w.out);
}

tpng_image true_colour(const Tfbitmap& picture)
{
    tpng_image image;
    image.width = picture.width();
    image.height = picture.height();
    image.rows.resize(std::size_t(image.width) * std::size_t(image.height) * 3);
    std::uint8_t* dst = image.rows.data();
    for (std::int32_t y = 0; y < picture.height(); ++y) {
        const std::uint8_t* p = picture.row(y);
        for (std::int32_t x = 0; x < picture.width(); ++x, p += 4, dst += 3) {
            dst[0] = p[red_byte];
            dst[1] = p[green_byte];
            dst[2] = p[blue_byte];
        }
    }
    return image;
}

tpng_image paletted(tpalette_picture reduced)
{
    tpng_image image;
    image.width = reduced.width;
    image.height = reduced.height;
    image.paletted = true;
    image.palette = std::move(reduced.palette);
    image.rows = std::move(reduced.indexes);
    return image;
}

// ---- GIF ----

int gif_write_memory(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

std::vector<std::uint8_t> gif_file(const tpalette_picture& image, int transparent_index)
{
    if (image.width > 0xFFFF || image.height > 0xFFFF)
        encoder_failure("GIF files hold at most 65535 pixels a side");
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, gif_write_memory, &error);
    if (!gif)
        encoder_failure(std::string("GIF: ") + GifErrorString(error));
    int size = 2;
    while (size < int(image.palette.size()))
        size *= 2;
    ColorMapObject* map = GifMakeMapObject(size, nullptr);
    if (!map) {
        EGifCloseFile(gif, &error);
        throw std::bad_alloc();
    }
    for (int i = 0; i < size; ++i) {
        const trgb c = std::size_t(i) < image.palette.size() ? image.palette[std::size_t(i)] : trgb{};
        map->Colors[i] = {c.red, c.green, c.blue};
    }
    bool ok = true;
    EGifSetGifVersion(gif, transparent_index >= 0);
    ok = ok && EGifPutScreenDesc(gif, image.width, image.height, 8, 0, map) != GIF_ERROR;
    if (ok && transparent_index >= 0) {
        const GifByteType control[4] = {0x01, 0, 0, GifByteType(transparent_index)};
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) != GIF_ERROR;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) != GIF_ERROR;
    for (std::int32_t y = 0; ok && y < image.height; ++y)
        ok = EGifPutLine(gif, const_cast<GifPixelType*>(image.indexes.data() + std::size_t(y) * std::size_t(image.width)),
                         image.width) != GIF_ERROR;
    const int last_error = gif->Error;
    GifFreeMapObject(map);
    ok = EGifCloseFile(gif, &error) != GIF_ERROR && ok;
    if (!ok)
        encoder_failure(std::string("GIF: ") + GifErrorString(last_error ? last_error : error));
    return out;
}

void check_not_empty(const Tfbitmap& picture)
{
    if (picture.empty())
        encoder_failure("empty picture");
}

} // namespace

std::vector<std::uint8_t> encode_jpeg(const Tfbitmap& picture, const tjpeg_settings& settings)
{
    check_not_empty(picture);
    if (picture.width() > 65500 || picture.height() > 65500)
        encoder_failure("JPEG files hold at most 65500 pixels a side");
    tjpeg_compressor c;
    if (!jpeg_run(c, picture, settings))
        encoder_failure(std::string("JPEG: ") + c.error.message);
    return std::vector<std::uint8_t>(c.buffer, c.buffer + c.size);
}

void write_jpeg(const Tfbitmap& picture, const std::string& file_name, const tjpeg_settings& settings)
{
    write_file_atomically(file_name, encode_jpeg(picture, settings));
}

tpng_settings settle_png_settings(const Tfbitmap& picture, tpng_settings stored)
{
    if (list_colours(picture, 256)) {
        stored.ra1 = false;
        stored.ra2 = false;
        stored.ra3 = true;
    } else if (stored.ra3) {
        stored.ra1 = true;
        stored.ra2 = false;
        stored.ra3 = false;
    }
    return stored;
}

std::vector<std::uint8_t> build_png(const Tfbitmap& picture, const tpng_settings& settings)
{
    check_not_empty(picture);
    if (settings.ra1)
        return encode_png(true_colour(picture));
    const dither_mode dither = dither_from_index(settings.dithermode);
    const auto exact = settings.ra3 && !settings.ra2 ? list_colours(picture, 256) : std::nullopt;
    if (exact)
        return encode_png(paletted(map_to_palette(picture, *exact, dither)));
    return encode_png(paletted(map_to_palette(picture, optimal_palette(picture, 256), dither)));
}

void write_png(const Tfbitmap& picture, const std::string& file_name, const tpng_settings& settings)
{
    write_file_atomically(file_name, build_png(picture, settings));
}

tgif_encoding apply_gif_settings(const tgif_settings& settings)
{
    tgif_encoding encoding;
    if (!settings.ra1 && settings.ra2) {
        const int index = std::clamp(settings.nb_colors, 0, 6);
        encoding.black_and_white = index == 0;
        encoding.colours = index == 0 ? 2 : 1 << (index + 2);
    }
    encoding.dither = dither_from_index(settings.dither);
    encoding.lzw = settings.compression == 1;
    return encoding;
}

std::vector<std::uint8_t> encode_gif(const Tfbitmap& picture, const tgif_encoding& encoding)
{
    check_not_empty(picture);
    std::vector<trgb> palette = encoding.black_and_white
                                    ? std::vector<trgb>{{0, 0, 0}, {255, 255, 255}}
                                    : optimal_palette(picture, std::size_t(std::clamp(encoding.colours, 2, 256)));
    return gif_file(map_to_palette(picture, std::move(palette), encoding.dither), -1);
}

void write_gif(const Tfbitmap& picture, const std::string& file_name, const tgif_settings& settings)
{
    write_file_atomically(file_name, encode_gif(picture, apply_gif_settings(settings)));
}

namespace {

trgb colour_at(const Tfbitmap& picture, std::int32_t x, std::int32_t y)
{
    const std::uint8_t* p = picture.pixel(x, y);
    return {p[red_byte], p[green_byte], p[blue_byte]};
}

// The picture reduced to 255 colours plus one transparent entry (the last)
// that exactly the pixels of the key colour take.
tpalette_picture with_transparent_key(const Tfbitmap& picture, trgb key, int& transparent_index)
{
    tpalette_picture reduced = map_to_palette(picture, optimal_palette(picture, 255), dither_mode::nearest);
    transparent_index = int(reduced.palette.size());
    reduced.palette.push_back(key);
    for (std::int32_t y = 0; y < picture.height(); ++y) {
        const std::uint8_t* p = picture.row(y);
        std::uint8_t* dst = reduced.indexes.data() + std::size_t(y) * std::size_t(picture.width());
        for (std::int32_t x = 0; x < picture.width(); ++x, p += 4)
            if (p[red_byte] == key.red && p[green_byte] == key.green && p[blue_byte] == key.blue)
                dst[x] = std::uint8_t(transparent_index);
    }
    return reduced;
}

// Box-filtered shrink so that neither side exceeds `limit`.
Tfbitmap shrink_to(const Tfbitmap& picture, std::int32_t limit)
{
    const std::int32_t w = picture.width(), h = picture.height();
    if (w <= limit && h <= limit)
        return picture;
    const long double scale = static_cast<long double>(limit) / std::max(w, h);
    const auto nw = std::int32_t(std::max<std::int64_t>(1, round_half_even(w * scale)));
    const auto nh = std::int32_t(std::max<std::int64_t>(1, round_half_even(h * scale)));
    Tfbitmap out(nw, nh);
    for (std::int32_t y = 0; y < nh; ++y) {
        const std::int32_t y0 = std::int32_t(std::int64_t(y) * h / nh), y1 = std::int32_t(std::int64_t(y + 1) * h / nh);
        for (std::int32_t x = 0; x < nw; ++x) {
            const std::int32_t x0 = std::int32_t(std::int64_t(x) * w / nw), x1 = std::int32_t(std::int64_t(x + 1) * w / nw);
            std::uint64_t sum[4] = {0, 0, 0, 0}, n = 0;
            for (std::int32_t sy = y0; sy < std::max(y1, y0 + 1); ++sy)
                for (std::int32_t sx = x0; sx < std::max(x1, x0 + 1); ++sx, ++n)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += picture.pixel(sx, sy)[c];
            for (int c = 0; c < 4; ++c)
                out.pixel(x, y)[c] = std::uint8_t((2 * sum[c] + n) / (2 * n));
        }
    }
    return out;
}

} // namespace

std::vector<std::uint8_t> build_transparent_gif(const Tfbitmap& picture)
{
    check_not_empty(picture);
    int transparent = -1;
    const tpalette_picture reduced =
        with_transparent_key(picture, colour_at(picture, 0, picture.height() - 1), transparent);
    return gif_file(reduced, transparent);
}

std::vector<std::uint8_t> build_transparent_png(const Tfbitmap& picture)
{
    check_not_empty(picture);
    tpng_image image = true_colour(picture);
    const trgb key = colour_at(picture, 0, 0);
    image.key = &key;
    return encode_png(image);
}

std::vector<std::uint8_t> build_icon(const Tfbitmap& source)
{
    check_not_empty(source);
    // The key colour is taken before shrinking, so the picture's own corner decides.
    const trgb key = colour_at(source, 0, source.height() - 1);
    const Tfbitmap picture = shrink_to(source, 256);
    const std::int32_t w = picture.width(), h = picture.height();
    int transparent = -1;
    tpalette_picture reduced = with_transparent_key(picture, key, transparent);
    const std::size_t xor_stride = (std::size_t(w) + 3) / 4 * 4;
    const std::size_t and_stride = (std::size_t(w) + 31) / 32 * 4;
    const std::size_t image_size = 40 + 256 * 4 + (xor_stride + and_stride) * std::size_t(h);
    tbyte_writer out(false);
    out.u16(0);
    out.u16(1);
    out.u16(1);
    out.u8(std::uint8_t(w == 256 ? 0 : w));
    out.u8(std::uint8_t(h == 256 ? 0 : h));
    out.u8(0);
    out.u8(0);
    out.u16(1);
    out.u16(8);
    out.u32(std::uint32_t(image_size));
    out.u32(22);
    out.u32(40);
    out.s32(w);
    out.s32(2 * h);
    out.u16(1);
    out.u16(8);
    out.u32(0);
    out.u32(std::uint32_t((xor_stride + and_stride) * std::size_t(h)));
    out.u32(0);
    out.u32(0);
    out.u32(256);
    out.u32(0);
    for (std::size_t i = 0; i < 256; ++i) {
        // The transparent entry is black so that the screen shows through unchanged.
        const trgb c = i < reduced.palette.size() && int(i) != transparent ? reduced.palette[i] : trgb{};
        out.u8(c.blue);
        out.u8(c.green);
        out.u8(c.red);
        out.u8(0);
    }
    for (std::int32_t y = h - 1; y >= 0; --y) {
        out.bytes(std::span<const std::uint8_t>(reduced.indexes.data() + std::size_t(y) * std::size_t(w), std::size_t(w)));
        out.zeros(xor_stride - std::size_t(w));
    }
    for (std::int32_t y = h - 1; y >= 0; --y) {
        const std::size_t at = out.grow(and_stride);
        for (std::int32_t x = 0; x < w; ++x)
            if (reduced.indexes[std::size_t(y) * std::size_t(w) + std::size_t(x)] == transparent)
                out.at(at)[std::size_t(x) / 8] |= std::uint8_t(0x80 >> (x % 8));
    }
    return std::move(out.buffer());
}

} // namespace velmora
