#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <vector>

namespace velmora {

// 0x00BBGGRR, red in the low byte. Values with the top bit set name interface
// colours and never reach pixels.
using TColor = std::uint32_t;

struct trgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const trgb&, const trgb&) = default;
};

trgb split_color(TColor colour);
TColor make_color(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
// The grey (k, k, k) of a colour, k = round((R + G + B) / 3): what layer
// masks are painted with.
TColor grey_colour(TColor colour);
// The palette-relative form text drawing accepts.
std::uint32_t palette_rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

struct trect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;  // exclusive
    std::int32_t bottom = 0; // exclusive
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    friend bool operator==(const trect&, const trect&) = default;
};

trect intersect(const trect& a, const trect& b);

// Byte offsets inside a pixel.
inline constexpr int blue_byte = 0;
inline constexpr int green_byte = 1;
inline constexpr int red_byte = 2;
inline constexpr int alpha_byte = 3;

// Largest side and pixel count a raster may have. Anything larger is refused
// before memory is touched, whatever asked for it (a dialog, a file header).
inline constexpr std::int32_t max_raster_side = 100000;
inline constexpr std::int64_t max_raster_pixels = std::int64_t(1) << 29;

// Throws velmora_error("@ch_no_mem") for negative, oversized or overflowing sizes.
void check_raster_size(std::int64_t width, std::int64_t height);

// A 32-bit raster: bytes blue, green, red, alpha per pixel, not premultiplied.
// Rows are reached through the row table: row(0) is the top row. Grey rasters
// (masks, selection coverage) carry the level in all three colour bytes and are
// read through the red byte. The row table is rebuilt by every operation that
// reallocates, so it is never stale.
class Tfbitmap {
public:
    Tfbitmap() = default;
    Tfbitmap(std::int32_t width, std::int32_t height); // contents undefined
    Tfbitmap(const Tfbitmap& other);
    Tfbitmap& operator=(const Tfbitmap& other);
    Tfbitmap(Tfbitmap&& other) noexcept;
    Tfbitmap& operator=(Tfbitmap&& other) noexcept;
    ~Tfbitmap() = default;

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }
    trect bounds() const { return {0, 0, width_, height_}; }
    std::size_t stride() const { return std::size_t(width_) * 4; }
    std::size_t byte_size() const { return stride() * std::size_t(height_); }

    // Reallocates; the pixels are undefined afterwards.
    void set_size(std::int32_t width, std::int32_t height);
    void set_width(std::int32_t width) { set_size(width, height_); }
    void set_height(std::int32_t height) { set_size(width_, height); }

    std::uint8_t* row(std::int32_t y) { return rows_[std::size_t(y)]; }
    const std::uint8_t* row(std::int32_t y) const { return rows_[std::size_t(y)]; }
    std::uint8_t* pixel(std::int32_t x, std::int32_t y) { return row(y) + 4 * std::size_t(x); }
    const std::uint8_t* pixel(std::int32_t x, std::int32_t y) const { return row(y) + 4 * std::size_t(x); }
    std::uint8_t* bits() { return pixels_.get(); }
    const std::uint8_t* bits() const { return pixels_.get(); }

    // Rebuilds the row table from the pixel memory.
    void update_rows();

    // Writes blue, green and red; alpha stays as it was.
    void fill_rect(const trect& rect, TColor colour);
    void fill(TColor colour) { fill_rect(bounds(), colour); }
    // Writes all four bytes.
    void fill_pixels(std::uint8_t blue, std::uint8_t green, std::uint8_t red, std::uint8_t alpha);

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    struct tfree_pixels {
        void operator()(std::uint8_t* pixels) const;
    };
    std::unique_ptr<std::uint8_t, tfree_pixels> pixels_;
    std::vector<std::uint8_t*> rows_;
};

void make_opaque(Tfbitmap& bitmap);
void make_transparent(Tfbitmap& bitmap);

// Windows BMP streams: BITMAPFILEHEADER, BITMAPINFOHEADER, bottom-up rows.
// Saving writes 24 bits (rows padded to 4 bytes, alpha dropped) or 32 bits.
enum class bmp_depth { bits24 = 24, bits32 = 32 };
void save_bmp(const Tfbitmap& bitmap, std::ostream& out, bmp_depth depth);
std::vector<std::uint8_t> save_bmp(const Tfbitmap& bitmap, bmp_depth depth);
// Loads an uncompressed 24- or 32-bit BMP stream (bottom-up or top-down).
// 24-bit pixels get alpha 255. Throws velmora_error("@ch_read_error") on
// anything it cannot trust; `data` must hold the whole stream.
Tfbitmap load_bmp(std::span<const std::uint8_t> data);

} // namespace velmora
