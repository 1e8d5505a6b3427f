#include "document/tfbitmap.h"

#include "document/error.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>

namespace velmora {

trgb split_color(TColor colour)
{
    return {std::uint8_t(colour & 0xFF), std::uint8_t((colour >> 8) & 0xFF), std::uint8_t((colour >> 16) & 0xFF)};
}

TColor make_color(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return TColor(red) | (TColor(green) << 8) | (TColor(blue) << 16);
}

TColor grey_colour(TColor colour)
{
    const trgb c = split_color(colour);
    // A third never ends in a half, so adding one before dividing rounds exactly.
    const auto k = std::uint8_t((c.red + c.green + c.blue + 1) / 3);
    return make_color(k, k, k);
}

std::uint32_t palette_rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return 0x02000000u + std::uint32_t(blue) * 65536u + std::uint32_t(green) * 256u + red;
}

trect intersect(const trect& a, const trect& b)
{
    trect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.empty())
        return {};
    return r;
}

void check_raster_size(std::int64_t width, std::int64_t height)
{
    if (width < 0 || height < 0 || width > max_raster_side || height > max_raster_side ||
        width * height > max_raster_pixels)
        throw velmora_error("@ch_no_mem", "raster of " + std::to_string(width) + " x " + std::to_string(height) +
                                              " pixels is beyond what the editor handles");
}

namespace {

// Large rasters are placed on huge pages where the system offers them: the
// first touch of a layer-sized buffer then costs a few hundred page faults
// instead of tens of thousands.
std::uint8_t* allocate_pixels(std::size_t bytes)
{
    constexpr std::size_t huge_page = std::size_t(2) << 20;
    const std::size_t alignment = bytes >= huge_page ? huge_page : 64;
    const std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
    void* pixels = std::aligned_alloc(alignment, rounded);
    if (!pixels)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (alignment == huge_page)
        madvise(pixels, rounded, MADV_HUGEPAGE);
#endif
    return static_cast<std::uint8_t*>(pixels);
}

} // namespace

void Tfbitmap::tfree_pixels::operator()(std::uint8_t* pixels) const
{
    std::free(pixels);
}

Tfbitmap::Tfbitmap(std::int32_t width, std::int32_t height)
{
    set_size(width, height);
}

Tfbitmap::Tfbitmap(const Tfbitmap& other)
{
    *this = other;
}

Tfbitmap& Tfbitmap::operator=(const Tfbitmap& other)
{
    if (this == &other)
        return *this;
    set_size(other.width_, other.height_);
    if (!empty())
        std::memcpy(pixels_.get(), other.pixels_.get(), byte_size());
    return *this;
}

Tfbitmap::Tfbitmap(Tfbitmap&& other) noexcept
{
    *this = std::move(other);
}

Tfbitmap& Tfbitmap::operator=(Tfbitmap&& other) noexcept
{
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    pixels_ = std::move(other.pixels_);
    rows_ = std::move(other.rows_);
    other.rows_.clear();
    return *this;
}

void Tfbitmap::set_size(std::int32_t width, std::int32_t height)
{
    check_raster_size(width, height);
    if (width == width_ && height == height_ && (pixels_ || width == 0 || height == 0))
        return;
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    try {
        // Rows of no pixels still get a row table (into a token buffer), so
        // that loops over the rows of a 0 x h raster stay valid.
        pixels_.reset(bytes ? allocate_pixels(bytes) : height > 0 ? allocate_pixels(4) : nullptr);
    } catch (const std::bad_alloc&) {
        throw velmora_error("@ch_no_mem", "cannot allocate " + std::to_string(width) + " x " +
                                              std::to_string(height) + " pixels");
    }
    width_ = width;
    height_ = height;
    update_rows();
}

void Tfbitmap::update_rows()
{
    rows_.clear();
    if (!pixels_)
        return;
    rows_.resize(std::size_t(height_));
    for (std::int32_t y = 0; y < height_; ++y)
        rows_[std::size_t(y)] = pixels_.get() + std::size_t(y) * stride();
}

void Tfbitmap::fill_rect(const trect& rect, TColor colour)
{
    const trect area = intersect(rect, bounds());
    const trgb c = split_color(colour);
    for (std::int32_t y = area.top; y < area.bottom; ++y) {
        std::uint8_t* p = pixel(area.left, y);
        for (std::int32_t x = area.left; x < area.right; ++x, p += 4) {
            p[blue_byte] = c.blue;
            p[green_byte] = c.green;
            p[red_byte] = c.red;
        }
    }
}

void Tfbitmap::fill_pixels(std::uint8_t blue, std::uint8_t green, std::uint8_t red, std::uint8_t alpha)
{
    const std::uint32_t value = std::uint32_t(blue) | (std::uint32_t(green) << 8) | (std::uint32_t(red) << 16) |
                                (std::uint32_t(alpha) << 24);
    for (std::int32_t y = 0; y < height_; ++y) {
        std::uint8_t* p = row(y);
        for (std::int32_t x = 0; x < width_; ++x, p += 4)
            std::memcpy(p, &value, 4);
    }
}

namespace {

void set_alpha(Tfbitmap& bitmap, std::uint8_t alpha)
{
    for (std::int32_t y = 0; y < bitmap.height(); ++y) {
        std::uint8_t* p = bitmap.row(y) + alpha_byte;
        for (std::int32_t x = 0; x < bitmap.width(); ++x, p += 4)
            *p = alpha;
    }
}

constexpr std::size_t file_header_size = 14;
constexpr std::size_t info_header_size = 40;

void put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

std::uint32_t get32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

std::uint16_t get16(const std::uint8_t* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::size_t bmp_row_size(std::int32_t width, int bits)
{
    return (std::size_t(width) * std::size_t(bits / 8) + 3) & ~std::size_t(3);
}

[[noreturn]] void bad_bmp(const std::string& why)
{
    throw velmora_error("@ch_read_error", "BMP stream: " + why);
}

} // namespace

void make_opaque(Tfbitmap& bitmap)
{
    set_alpha(bitmap, 255);
}

void make_transparent(Tfbitmap& bitmap)
{
    set_alpha(bitmap, 0);
}

std::vector<std::uint8_t> save_bmp(const Tfbitmap& bitmap, bmp_depth depth)
{
    const int bits = int(depth);
    const std::size_t row_size = bmp_row_size(bitmap.width(), bits);
    const std::size_t image_size = row_size * std::size_t(bitmap.height());
    const std::size_t offset = file_header_size + info_header_size;
    std::vector<std::uint8_t> out(offset + image_size, 0);

    std::uint8_t* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, std::uint32_t(out.size()));
    put32(h + 10, std::uint32_t(offset));
    std::uint8_t* info = h + file_header_size;
    put32(info + 0, std::uint32_t(info_header_size));
    put32(info + 4, std::uint32_t(bitmap.width()));
    put32(info + 8, std::uint32_t(bitmap.height()));
    put16(info + 12, 1);
    put16(info + 14, std::uint16_t(bits));
    put32(info + 16, 0); // BI_RGB
    put32(info + 20, std::uint32_t(image_size));
    put32(info + 24, 3780); // 96 pixels per inch
    put32(info + 28, 3780);

    for (std::int32_t y = 0; y < bitmap.height(); ++y) {
        const std::uint8_t* src = bitmap.row(y);
        std::uint8_t* dst = out.data() + offset + std::size_t(bitmap.height() - 1 - y) * row_size;
        if (depth == bmp_depth::bits32) {
            std::memcpy(dst, src, bitmap.stride());
        } else {
            for (std::int32_t x = 0; x < bitmap.width(); ++x, src += 4, dst += 3)
                std::memcpy(dst, src, 3);
        }
    }
    return out;
}

void save_bmp(const Tfbitmap& bitmap, std::ostream& out, bmp_depth depth)
{
    const std::vector<std::uint8_t> bytes = save_bmp(bitmap, depth);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Tfbitmap load_bmp(std::span<const std::uint8_t> data)
{
    if (data.size() < file_header_size + info_header_size || data[0] != 'B' || data[1] != 'M')
        bad_bmp("no BMP header");
    const std::uint8_t* info = data.data() + file_header_size;
    const std::uint32_t header_size = get32(info);
    if (header_size < info_header_size || header_size > data.size() - file_header_size)
        bad_bmp("bad information header size");
    const auto width = std::int32_t(get32(info + 4));
    const auto raw_height = std::int32_t(get32(info + 8));
    const std::uint16_t bits = get16(info + 14);
    const std::uint32_t compression = get32(info + 16);
    if (width < 0 || raw_height == INT32_MIN)
        bad_bmp("bad dimensions");
    const bool top_down = raw_height < 0;
    const std::int32_t height = top_down ? -raw_height : raw_height;
    if (bits != 24 && bits != 32)
        bad_bmp("unsupported depth " + std::to_string(bits));
    // Bit fields are accepted for 32 bits only when they describe the plain B, G, R, A layout.
    if (compression != 0 && !(compression == 3 && bits == 32 && header_size >= 52 &&
                              get32(info + 40) == 0x00FF0000 && get32(info + 44) == 0x0000FF00 &&
                              get32(info + 48) == 0x000000FF))
        bad_bmp("unsupported compression");
    try {
        check_raster_size(width, height);
    } catch (const velmora_error&) {
        bad_bmp("dimensions beyond the limit");
    }
    const std::uint32_t offset = get32(data.data() + 10);
    const std::size_t row_size = bmp_row_size(width, bits);
    if (offset < file_header_size + header_size || offset > data.size() ||
        (row_size != 0 && (data.size() - offset) / row_size < std::size_t(height)))
        bad_bmp("pixel data truncated");

    Tfbitmap bitmap(width, height);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::int32_t file_row = top_down ? y : height - 1 - y;
        const std::uint8_t* src = data.data() + offset + std::size_t(file_row) * row_size;
        std::uint8_t* dst = bitmap.row(y);
        if (bits == 32) {
            std::memcpy(dst, src, bitmap.stride());
        } else {
            for (std::int32_t x = 0; x < width; ++x, src += 3, dst += 4) {
                std::memcpy(dst, src, 3);
                dst[alpha_byte] = 255;
            }
        }
    }
    return bitmap;
}

} // namespace velmora
