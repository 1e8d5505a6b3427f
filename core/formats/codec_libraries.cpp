// The decoders that sit on libjpeg, libpng, giflib and libtiff.

#include "formats/picture_codecs.h"

#include "document/error.h"
#include "formats/jpeg_support.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

namespace velmora {

namespace {

constexpr const char* parse_key = "@ch_could_not_parse_the_file";

[[noreturn]] void refuse(const std::string& detail)
{
    throw velmora_error(parse_key, detail);
}

void check_size(std::int64_t width, std::int64_t height)
{
    if (width <= 0 || height <= 0 || width > max_raster_side || height > max_raster_side ||
        width * height > max_raster_pixels)
        refuse("picture size " + std::to_string(width) + " x " + std::to_string(height) + " beyond the limit");
}

// ---- JPEG ----

void jpeg_quiet(j_common_ptr, int) {}

struct tjpeg_decompressor {
    jpeg_decompress_struct info{};
    tjpeg_error error{};
    bool created = false;
    ~tjpeg_decompressor()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

// Rows are decoded straight into the picture; anything the library reports
// comes back through the jump and leaves as an exception from this frame.
bool jpeg_run(tjpeg_decompressor& d, std::span<const std::uint8_t> data, bool smoothing, Tfbitmap& picture,
              std::string& failure)
{
    d.info.err = jpeg_std_error(&d.error.manager);
    d.error.manager.error_exit = jpeg_fail;
    d.error.manager.emit_message = jpeg_quiet;
    if (setjmp(d.error.jump)) {
        failure = d.error.message;
        return false;
    }
    jpeg_create_decompress(&d.info);
    d.created = true;
    jpeg_mem_src(&d.info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d.info, TRUE);
    const bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
    d.info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    d.info.do_block_smoothing = smoothing ? TRUE : FALSE;
    if (std::int64_t(d.info.image_width) * d.info.image_height > max_raster_pixels ||
        d.info.image_width > unsigned(max_raster_side) || d.info.image_height > unsigned(max_raster_side)) {
        failure = "picture size beyond the limit";
        return false;
    }
    jpeg_start_decompress(&d.info);
    picture.set_size(std::int32_t(d.info.output_width), std::int32_t(d.info.output_height));
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = picture.row(std::int32_t(d.info.output_scanline));
        jpeg_read_scanlines(&d.info, &row, 1);
    }
    if (cmyk) {
        // Adobe writes CMYK inverted (255 = no ink), which makes R = C * K / 255.
        const bool inverted = d.info.saw_Adobe_marker;
        for (std::int32_t y = 0; y < picture.height(); ++y) {
            std::uint8_t* p = picture.row(y);
            for (std::int32_t x = 0; x < picture.width(); ++x, p += 4) {
                unsigned c = p[0], m = p[1], yy = p[2], k = p[3];
                if (!inverted)
                    c = 255 - c, m = 255 - m, yy = 255 - yy, k = 255 - k;
                p[red_byte] = std::uint8_t((2 * c * k + 255) / 510);
                p[green_byte] = std::uint8_t((2 * m * k + 255) / 510);
                p[blue_byte] = std::uint8_t((2 * yy * k + 255) / 510);
                p[alpha_byte] = 255;
            }
        }
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

// ---- PNG ----

struct tpng_reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::span<const std::uint8_t> data;
    std::size_t position = 0;
    std::string failure;
    ~tpng_reader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void png_read_memory(png_structp png, png_bytep out, png_size_t length)
{
    auto* reader = static_cast<tpng_reader*>(png_get_io_ptr(png));
    if (length > reader->data.size() - reader->position)
        png_error(png, "the file ends early");
    std::memcpy(out, reader->data.data() + reader->position, length);
    reader->position += length;
}

void png_fail(png_structp png, png_const_charp message)
{
    auto* reader = static_cast<tpng_reader*>(png_get_error_ptr(png));
    reader->failure = message;
    png_longjmp(png, 1);
}

void png_quiet(png_structp, png_const_charp) {}

bool png_run(tpng_reader& r, Tfbitmap& picture, std::vector<png_bytep>& rows)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_set_read_fn(r.png, &r, png_read_memory);
    png_set_user_limits(r.png, std::uint32_t(max_raster_side), std::uint32_t(max_raster_side));
    png_read_info(r.png, r.info);
    const png_uint_32 width = png_get_image_width(r.png, r.info);
    const png_uint_32 height = png_get_image_height(r.png, r.info);
    if (std::int64_t(width) * height > max_raster_pixels) {
        r.failure = "picture size beyond the limit";
        return false;
    }
    const int colour = png_get_color_type(r.png, r.info);
    png_set_expand(r.png); // palette to RGB, low grey depths to 8 bits, tRNS to alpha
    png_set_scale_16(r.png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(r.png);
    png_set_bgr(r.png);
    png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    picture.set_size(std::int32_t(width), std::int32_t(height));
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = picture.row(std::int32_t(y));
    png_read_image(r.png, rows.data());
    png_read_end(r.png, nullptr);
    return true;
}

// ---- TIFF ----

struct tmemory_file {
    std::span<const std::uint8_t> data;
    toff_t position = 0;
};

tsize_t tiff_read(thandle_t handle, tdata_t out, tsize_t size)
{
    auto* f = static_cast<tmemory_file*>(handle);
    if (size < 0 || f->position >= f->data.size())
        return 0;
    const auto n = std::min<toff_t>(toff_t(size), f->data.size() - f->position);
    std::memcpy(out, f->data.data() + f->position, std::size_t(n));
    f->position += n;
    return tsize_t(n);
}

tsize_t tiff_write(thandle_t, tdata_t, tsize_t)
{
    return -1;
}

toff_t tiff_seek(thandle_t handle, toff_t offset, int whence)
{
    auto* f = static_cast<tmemory_file*>(handle);
    toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->position : f->data.size();
    f->position = base + offset;
    return f->position;
}

int tiff_close(thandle_t)
{
    return 0;
}

toff_t tiff_size(thandle_t handle)
{
    return static_cast<tmemory_file*>(handle)->data.size();
}

int tiff_map(thandle_t, tdata_t*, toff_t*)
{
    return 0;
}

void tiff_unmap(thandle_t, tdata_t, toff_t) {}

int tiff_error(TIFF*, void* user, const char* module, const char* format, va_list args)
{
    char message[512];
    std::vsnprintf(message, sizeof message, format, args);
    if (user)
        *static_cast<std::string*>(user) = std::string(module ? module : "libtiff") + ": " + message;
    return 1;
}

int tiff_warning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

} // namespace

Tfbitmap decode_jpeg(std::span<const std::uint8_t> data, bool smoothing)
{
    Tfbitmap picture;
    std::string failure;
    {
        tjpeg_decompressor d;
        if (!jpeg_run(d, data, smoothing, picture, failure))
            refuse("JPEG: " + failure);
    }
    return picture;
}

Tfbitmap decode_png(std::span<const std::uint8_t> data)
{
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0)
        refuse("PNG: no PNG signature");
    tpng_reader r;
    r.data = data;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, png_fail, png_quiet);
    if (!r.png)
        throw std::bad_alloc();
    r.info = png_create_info_struct(r.png);
    if (!r.info)
        throw std::bad_alloc();
    Tfbitmap picture;
    std::vector<png_bytep> rows;
    if (!png_run(r, picture, rows))
        refuse("PNG: " + r.failure);
    return picture;
}

Tfbitmap decode_gif(std::span<const std::uint8_t> data)
{
    tmemory_file file{data, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(
        &file,
        [](GifFileType* g, GifByteType* out, int n) -> int {
            return int(tiff_read(static_cast<tmemory_file*>(g->UserData), out, n));
        },
        &error);
    if (!gif)
        refuse(std::string("GIF: ") + GifErrorString(error));
    struct tcloser {
        GifFileType* gif;
        ~tcloser() { DGifCloseFile(gif, nullptr); }
    } closer{gif};
    const auto fail = [&] {
        const char* text = GifErrorString(gif->Error);
        refuse(std::string("GIF: ") + (text ? text : "read error"));
    };

    int transparent = -1;
    GifRecordType record;
    do {
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            fail();
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* extension = nullptr;
            if (DGifGetExtension(gif, &code, &extension) == GIF_ERROR)
                fail();
            if (code == GRAPHICS_EXT_FUNC_CODE && extension && extension[0] >= 4 && (extension[1] & 1))
                transparent = extension[4];
            while (extension) {
                if (DGifGetExtensionNext(gif, &extension) == GIF_ERROR)
                    fail();
            }
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR)
                fail();
            const GifImageDesc& d = gif->Image;
            const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
            if (!map)
                refuse("GIF: no colour table");
            if (d.Width <= 0 || d.Height <= 0)
                refuse("GIF: empty image");
            const std::int64_t screen_w = std::max<std::int64_t>(gif->SWidth, std::int64_t(d.Left) + d.Width);
            const std::int64_t screen_h = std::max<std::int64_t>(gif->SHeight, std::int64_t(d.Top) + d.Height);
            check_size(screen_w, screen_h);
            Tfbitmap picture{std::int32_t(screen_w), std::int32_t(screen_h)};
            picture.fill_pixels(255, 255, 255, 0);
            std::vector<GifPixelType> line(std::size_t(d.Width));
            std::vector<std::int32_t> order;
            if (d.Interlace) {
                for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
                    for (std::int32_t y = start; y < d.Height; y += step)
                        order.push_back(y);
            } else {
                for (std::int32_t y = 0; y < d.Height; ++y)
                    order.push_back(y);
            }
            for (std::int32_t y : order) {
                if (DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR)
                    fail();
                std::uint8_t* out = picture.pixel(d.Left, d.Top + y);
                for (std::int32_t x = 0; x < d.Width; ++x, out += 4) {
                    const int index = line[std::size_t(x)];
                    if (index == transparent)
                        continue;
                    if (index >= map->ColorCount) {
                        out[0] = out[1] = out[2] = 0;
                    } else {
                        out[red_byte] = map->Colors[index].Red;
                        out[green_byte] = map->Colors[index].Green;
                        out[blue_byte] = map->Colors[index].Blue;
                    }
                    out[alpha_byte] = 255;
                }
            }
            return picture;
        }
    } while (record != TERMINATE_RECORD_TYPE);
    refuse("GIF: no image");
}

Tfbitmap decode_tiff(std::span<const std::uint8_t> data)
{
    tmemory_file file{data, 0};
    std::string failure = "libtiff: cannot read the file";
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiff_error, &failure);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiff_warning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(max_raster_pixels) * 4);
    TIFF* tiff = TIFFClientOpenExt("picture", "rm", &file, tiff_read, tiff_write, tiff_seek, tiff_close, tiff_size,
                                   tiff_map, tiff_unmap, options);
    TIFFOpenOptionsFree(options);
    if (!tiff)
        refuse("TIFF: " + failure);
    struct tcloser {
        TIFF* tiff;
        ~tcloser() { TIFFClose(tiff); }
    } closer{tiff};
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    check_size(width, height);
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tiff, message))
        refuse(std::string("TIFF: ") + message);
    Tfbitmap picture{std::int32_t(width), std::int32_t(height)};
    // Read as 0xAABBGGRR words straight into the picture, then swap red and blue.
    if (!TIFFReadRGBAImageOriented(tiff, width, height, reinterpret_cast<std::uint32_t*>(picture.bits()),
                                   ORIENTATION_TOPLEFT, 0))
        refuse("TIFF: " + failure);
    std::uint16_t extra_count = 0;
    std::uint16_t* extra = nullptr;
    // The RGBA interface premultiplies unassociated alpha and keeps associated alpha as it is:
    // either way the colours come back premultiplied.
    const bool premultiplied = TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extra_count, &extra) && extra_count > 0 &&
                               (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
    for (std::int32_t y = 0; y < picture.height(); ++y) {
        std::uint8_t* p = picture.row(y);
        for (std::int32_t x = 0; x < picture.width(); ++x, p += 4) {
            std::swap(p[0], p[2]);
            const unsigned a = p[alpha_byte];
            if (premultiplied && a != 0 && a != 255)
                for (int c = 0; c < 3; ++c)
                    p[c] = std::uint8_t(std::min(255u, (p[c] * 255u + a / 2) / a));
        }
    }
    return picture;
}

} // namespace velmora
