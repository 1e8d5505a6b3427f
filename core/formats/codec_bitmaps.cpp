// Our own decoders of the simpler picture formats.

#include "formats/picture_codecs.h"

#include "document/error.h"
#include "document/rounding.h"
#include "formats/byte_io.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace velmora {

namespace {

constexpr const char* parse_key = "@ch_could_not_parse_the_file";

[[noreturn]] void refuse(const std::string& detail)
{
    throw velmora_error(parse_key, detail);
}

Tfbitmap new_picture(std::int64_t width, std::int64_t height, const char* format)
{
    if (width <= 0 || height <= 0 || width > max_raster_side || height > max_raster_side ||
        width * height > max_raster_pixels)
        refuse(std::string(format) + ": picture size " + std::to_string(width) + " x " + std::to_string(height) +
               " beyond the limit");
    Tfbitmap picture{std::int32_t(width), std::int32_t(height)};
    picture.fill_pixels(0, 0, 0, 255);
    return picture;
}

void put_rgb(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255)
{
    p[red_byte] = r;
    p[green_byte] = g;
    p[blue_byte] = b;
    p[alpha_byte] = a;
}

struct tcolour {
    std::uint8_t r = 0, g = 0, b = 0;
};

// ---- BMP ----

// A channel described by a bit mask, scaled to 8 bits.
struct tmask_channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;
    explicit tmask_channel(std::uint32_t m = 0) : mask(m)
    {
        if (mask) {
            shift = std::countr_zero(mask);
            max = mask >> shift;
        }
    }
    std::uint8_t get(std::uint32_t v, std::uint8_t missing = 0) const
    {
        if (!mask)
            return missing;
        const std::uint64_t raw = (v & mask) >> shift;
        return std::uint8_t((raw * 510 + max) / (2 * std::uint64_t(max)));
    }
};

Tfbitmap bmp_rle(tbyte_reader& in, std::int32_t width, std::int32_t height, bool four_bits,
                 const std::vector<tcolour>& palette, bool top_down)
{
    // Pixels a run skips are left transparent, as the format intends.
    Tfbitmap picture = new_picture(width, height, "BMP");
    picture.fill_pixels(0, 0, 0, 0);
    std::int32_t x = 0, y = 0;
    const auto plot = [&](std::uint32_t index) {
        if (x < width && y < height) {
            const tcolour c = index < palette.size() ? palette[index] : tcolour{};
            put_rgb(picture.pixel(x, top_down ? y : height - 1 - y), c.r, c.g, c.b);
        }
        ++x;
    };
    while (in.remaining() >= 2 && y < height) {
        const std::uint8_t count = in.u8(), value = in.u8();
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                plot(four_bits ? (i & 1 ? value & 15 : value >> 4) : value);
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += in.u8();
            y += in.u8();
        } else {
            const std::size_t bytes = four_bits ? (std::size_t(value) + 1) / 2 : value;
            auto literal = in.bytes(bytes);
            for (int i = 0; i < value; ++i)
                plot(four_bits ? (i & 1 ? literal[std::size_t(i / 2)] & 15 : literal[std::size_t(i / 2)] >> 4)
                               : literal[std::size_t(i)]);
            if (bytes & 1)
                in.skip(1);
        }
    }
    return picture;
}

} // namespace

Tfbitmap decode_bmp(std::span<const std::uint8_t> data)
{
    tbyte_reader in(data, parse_key, false);
    if (data.size() < 26 || data[0] != 'B' || data[1] != 'M')
        refuse("BMP: no BMP header");
    in.seek(10);
    const std::uint32_t offset = in.u32();
    const std::uint32_t header_size = in.u32();
    std::int64_t width = 0, height = 0;
    std::uint16_t bits = 0;
    std::uint32_t compression = 0, colours_used = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};
    if (header_size == 12) {
        width = in.u16();
        height = in.s16();
        in.u16();
        bits = in.u16();
    } else if (header_size >= 40 && header_size <= 124) {
        width = in.s32();
        height = in.s32();
        in.u16();
        bits = in.u16();
        compression = in.u32();
        in.skip(12);
        colours_used = in.u32();
        in.skip(4);
        // Bit masks follow a 40-byte header, or are part of the longer ones.
        if (compression == 3 || compression == 6) {
            const int n = compression == 6 || header_size >= 56 ? 4 : 3;
            for (int i = 0; i < n; ++i)
                masks[i] = in.u32();
        } else if (header_size >= 56) {
            in.skip(12);
            masks[3] = in.u32();
        }
    } else {
        refuse("BMP: unknown header size " + std::to_string(header_size));
    }
    const bool top_down = height < 0;
    height = top_down ? -height : height;
    if (width <= 0 || height <= 0 || width > max_raster_side || height > max_raster_side)
        refuse("BMP: bad dimensions");
    if (compression == 0 && bits == 24 && header_size >= 40) {
        try {
            return load_bmp(data);
        } catch (const velmora_error& e) {
            refuse(std::string("BMP: ") + e.what());
        }
    }

    std::vector<tcolour> palette;
    if (bits <= 8) {
        if (bits != 1 && bits != 4 && bits != 8)
            refuse("BMP: unsupported depth");
        std::size_t count = colours_used ? colours_used : std::size_t(1) << bits;
        count = std::min<std::size_t>(count, 256);
        in.seek(14 + std::uint64_t(header_size));
        const std::size_t entry = header_size == 12 ? 3 : 4;
        if (count * entry > in.remaining())
            refuse("BMP: palette beyond the end of the file");
        for (std::size_t i = 0; i < count; ++i) {
            auto e = in.bytes(entry);
            palette.push_back({e[2], e[1], e[0]});
        }
    } else if (bits != 16 && bits != 24 && bits != 32) {
        refuse("BMP: unsupported depth");
    }
    in.seek(offset);
    if (compression == 1 || compression == 2) {
        if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4))
            refuse("BMP: run-length data of the wrong depth");
        if (std::uint64_t(width) * std::uint64_t(height) > std::uint64_t(in.remaining()) * 255 * 2)
            refuse("BMP: run-length data too short");
        return bmp_rle(in, std::int32_t(width), std::int32_t(height), compression == 2, palette, top_down);
    }
    if (compression != 0 && compression != 3 && compression != 6)
        refuse("BMP: unsupported compression " + std::to_string(compression));
    const std::uint64_t row_size = (std::uint64_t(width) * bits + 31) / 32 * 4;
    if (row_size * std::uint64_t(height) > in.remaining())
        refuse("BMP: pixel data truncated");
    Tfbitmap picture = new_picture(width, height, "BMP");
    if (compression == 0) {
        if (bits == 16)
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        else if (bits == 32)
            masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }
    const tmask_channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    for (std::int64_t row = 0; row < height; ++row) {
        const std::uint8_t* src = data.data() + offset + std::size_t(row) * std::size_t(row_size);
        std::uint8_t* out = picture.row(std::int32_t(top_down ? row : height - 1 - row));
        for (std::int64_t x = 0; x < width; ++x, out += 4) {
            if (bits <= 8) {
                const std::size_t bit = std::size_t(x) * bits;
                const unsigned index = (src[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                const tcolour c = index < palette.size() ? palette[index] : tcolour{};
                put_rgb(out, c.r, c.g, c.b);
            } else if (bits == 24) {
                put_rgb(out, src[3 * x + 2], src[3 * x + 1], src[3 * x]);
            } else {
                const std::uint32_t v = bits == 16 ? std::uint32_t(src[2 * x] | src[2 * x + 1] << 8)
                                                   : std::uint32_t(src[4 * x]) | std::uint32_t(src[4 * x + 1]) << 8 |
                                                         std::uint32_t(src[4 * x + 2]) << 16 |
                                                         std::uint32_t(src[4 * x + 3]) << 24;
                put_rgb(out, red.get(v), green.get(v), blue.get(v), alpha.get(v, 255));
            }
        }
    }
    return picture;
}

// ---- PCX ----

Tfbitmap decode_pcx(std::span<const std::uint8_t> data)
{
    tbyte_reader in(data, parse_key, false);
    if (data.size() < 128 || data[0] != 10)
        refuse("PCX: no PCX header");
    in.seek(1);
    const std::uint8_t version = in.u8();
    const std::uint8_t encoding = in.u8();
    const std::uint8_t bits = in.u8();
    const std::int32_t xmin = in.u16(), ymin = in.u16(), xmax = in.u16(), ymax = in.u16();
    in.seek(16);
    auto header_palette = in.bytes(48);
    in.seek(65);
    const std::uint8_t planes = in.u8();
    const std::uint16_t bytes_per_line = in.u16();
    const std::int64_t width = std::int64_t(xmax) - xmin + 1, height = std::int64_t(ymax) - ymin + 1;
    const bool mono = bits == 1 && planes == 1, ega = bits == 1 && planes >= 2 && planes <= 4,
               indexed = bits == 8 && planes == 1, nibbles = bits == 4 && planes == 1,
               true_colour = bits == 8 && (planes == 3 || planes == 4);
    if (!(mono || ega || indexed || nibbles || true_colour))
        refuse("PCX: unsupported layout " + std::to_string(bits) + " bits x " + std::to_string(planes) + " planes");
    if (width <= 0 || height <= 0 || std::uint64_t(bytes_per_line) * 8 < std::uint64_t(width) * bits)
        refuse("PCX: bad dimensions");
    const std::size_t line = std::size_t(bytes_per_line) * planes;
    if (encoding == 0 && std::uint64_t(line) * std::uint64_t(height) > data.size() - 128)
        refuse("PCX: pixel data truncated");
    if (std::uint64_t(line) * std::uint64_t(height) > (std::uint64_t(data.size()) - 128) * 63)
        refuse("PCX: pixel data too short");
    Tfbitmap picture = new_picture(width, height, "PCX");

    std::array<tcolour, 256> palette{};
    if (mono) {
        palette[1] = {255, 255, 255};
    } else if (ega || nibbles) {
        for (std::size_t i = 0; i < 16; ++i)
            palette[i] = {header_palette[3 * i], header_palette[3 * i + 1], header_palette[3 * i + 2]};
        // Version 3 files carry no palette: the default EGA colours.
        if (version == 3)
            for (std::size_t i = 0; i < 16; ++i) {
                const std::uint8_t hi = (i & 8) ? 255 : 170, lo = (i & 8) ? 85 : 0;
                palette[i] = {(i & 4) ? hi : lo, (i & 2) ? hi : lo, (i & 1) ? hi : lo};
                if (i == 6)
                    palette[i].g = 85;
            }
    } else if (indexed) {
        if (data.size() < 128 + 769 || data[data.size() - 769] != 0x0C)
            refuse("PCX: 256-colour file without its palette");
        const std::uint8_t* p = data.data() + data.size() - 768;
        for (std::size_t i = 0; i < 256; ++i)
            palette[i] = {p[3 * i], p[3 * i + 1], p[3 * i + 2]};
    }

    in.seek(128);
    std::vector<std::uint8_t> row(line);
    std::size_t carry = 0; // a run may cross into the next line
    std::uint8_t carry_byte = 0;
    for (std::int64_t y = 0; y < height; ++y) {
        std::size_t filled = 0;
        if (encoding == 0) {
            auto raw = in.bytes(line);
            std::copy(raw.begin(), raw.end(), row.begin());
            filled = line;
        }
        while (filled < line) {
            if (carry) {
                const std::size_t n = std::min(carry, line - filled);
                std::memset(row.data() + filled, carry_byte, n);
                filled += n;
                carry -= n;
                continue;
            }
            if (in.at_end()) {
                std::fill(row.begin() + std::ptrdiff_t(filled), row.end(), 0);
                break;
            }
            const std::uint8_t b = in.u8();
            if ((b & 0xC0) == 0xC0) {
                carry = b & 0x3F;
                carry_byte = in.at_end() ? 0 : in.u8();
            } else {
                row[filled++] = b;
            }
        }
        std::uint8_t* out = picture.row(std::int32_t(y));
        for (std::int64_t x = 0; x < width; ++x, out += 4) {
            const std::size_t xi = std::size_t(x);
            if (true_colour) {
                put_rgb(out, row[xi], row[bytes_per_line + xi], row[2 * std::size_t(bytes_per_line) + xi],
                        planes == 4 ? row[3 * std::size_t(bytes_per_line) + xi] : 255);
                continue;
            }
            unsigned index = 0;
            if (indexed)
                index = row[xi];
            else if (nibbles)
                index = (row[xi / 2] >> (xi & 1 ? 0 : 4)) & 15;
            else
                for (unsigned p = 0; p < planes; ++p)
                    index |= ((row[p * bytes_per_line + xi / 8] >> (7 - xi % 8)) & 1u) << p;
            put_rgb(out, palette[index].r, palette[index].g, palette[index].b);
        }
    }
    return picture;
}

// ---- TGA ----

Tfbitmap decode_tga(std::span<const std::uint8_t> data)
{
    tbyte_reader in(data, parse_key, false);
    if (data.size() < 18)
        refuse("TGA: file too short");
    const std::uint8_t id_length = in.u8(), map_type = in.u8(), type = in.u8();
    const std::uint16_t map_first = in.u16(), map_length = in.u16();
    const std::uint8_t map_bits = in.u8();
    in.skip(4);
    const std::int64_t width = in.u16(), height = in.u16();
    const std::uint8_t depth = in.u8(), descriptor = in.u8();
    const int base = type & 7;
    const bool rle = type & 8;
    if ((base != 1 && base != 2 && base != 3) || type > 11 || map_type > 1)
        refuse("TGA: unsupported image type " + std::to_string(type));
    if ((base == 1 && (map_type != 1 || (depth != 8 && depth != 16))) ||
        (base == 2 && depth != 15 && depth != 16 && depth != 24 && depth != 32) ||
        (base == 3 && depth != 8 && depth != 16))
        refuse("TGA: unsupported depth " + std::to_string(depth));
    in.skip(id_length);
    std::vector<std::array<std::uint8_t, 4>> map;
    if (map_type == 1) {
        if (map_bits != 15 && map_bits != 16 && map_bits != 24 && map_bits != 32)
            refuse("TGA: unsupported colour map entry size");
        const std::size_t entry = (map_bits + 7) / 8;
        if (std::size_t(map_length) * entry > in.remaining())
            refuse("TGA: colour map beyond the end of the file");
        for (std::uint16_t i = 0; i < map_length; ++i) {
            auto e = in.bytes(entry);
            if (entry == 2) {
                const unsigned v = e[0] | e[1] << 8;
                map.push_back({std::uint8_t(((v >> 10) & 31) * 255 / 31), std::uint8_t(((v >> 5) & 31) * 255 / 31),
                               std::uint8_t((v & 31) * 255 / 31), 255});
            } else {
                map.push_back({e[2], e[1], e[0], entry == 4 ? e[3] : std::uint8_t(255)});
            }
        }
    }
    const std::size_t bytes = (depth + 7) / 8;
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
    if (!rle && pixels * bytes > in.remaining())
        refuse("TGA: pixel data truncated");
    if (rle && pixels > std::uint64_t(in.remaining()) * 128)
        refuse("TGA: run-length data too short");
    Tfbitmap picture = new_picture(width, height, "TGA");
    const bool alpha = (descriptor & 15) != 0 && (depth == 32 || depth == 16);
    const bool top = descriptor & 0x20, right_to_left = descriptor & 0x10;
    const auto convert = [&](const std::uint8_t* s, std::uint8_t* out) {
        if (base == 1) {
            const unsigned index = (bytes == 2 ? unsigned(s[0] | s[1] << 8) : s[0]) - map_first;
            if (index < map.size())
                put_rgb(out, map[index][0], map[index][1], map[index][2], map[index][3]);
            else
                put_rgb(out, 0, 0, 0);
        } else if (base == 3) {
            put_rgb(out, s[bytes - 1], s[bytes - 1], s[bytes - 1], bytes == 2 ? s[0] : 255);
        } else if (bytes == 2) {
            const unsigned v = s[0] | s[1] << 8;
            put_rgb(out, std::uint8_t(((v >> 10) & 31) * 255 / 31), std::uint8_t(((v >> 5) & 31) * 255 / 31),
                    std::uint8_t((v & 31) * 255 / 31), alpha ? ((v & 0x8000) ? 255 : 0) : 255);
        } else {
            put_rgb(out, s[2], s[1], s[0], bytes == 4 && alpha ? s[3] : 255);
        }
    };
    std::uint64_t done = 0;
    std::size_t run = 0;
    bool repeat = false;
    std::array<std::uint8_t, 4> value{};
    while (done < pixels) {
        const std::uint8_t* s;
        if (rle) {
            if (run == 0) {
                if (in.at_end())
                    break; // a short run-length stream leaves the rest black
                const std::uint8_t header = in.u8();
                run = (header & 0x7F) + 1u;
                repeat = header & 0x80;
                if (repeat) {
                    auto v = in.bytes(bytes);
                    std::copy(v.begin(), v.end(), value.begin());
                }
            }
            if (!repeat) {
                auto v = in.bytes(bytes);
                std::copy(v.begin(), v.end(), value.begin());
            }
            --run;
            s = value.data();
        } else {
            s = in.bytes(bytes).data();
        }
        const std::int64_t row = std::int64_t(done / std::uint64_t(width));
        const std::int64_t col = std::int64_t(done % std::uint64_t(width));
        convert(s, picture.pixel(std::int32_t(right_to_left ? width - 1 - col : col),
                                 std::int32_t(top ? row : height - 1 - row)));
        ++done;
    }
    return picture;
}

// ---- SGI ----

Tfbitmap decode_sgi(std::span<const std::uint8_t> data)
{
    tbyte_reader in(data, parse_key, true);
    if (data.size() < 512 || in.u16() != 474)
        refuse("SGI: no SGI header");
    const std::uint8_t storage = in.u8(), bpc = in.u8();
    const std::uint16_t dimension = in.u16();
    const std::int64_t width = in.u16();
    const std::int64_t height = dimension == 1 ? 1 : in.u16();
    if (dimension == 1)
        in.u16();
    const std::uint16_t z_raw = in.u16();
    const int channels = dimension == 3 ? int(z_raw) : 1;
    if (storage > 1 || (bpc != 1 && bpc != 2) || dimension < 1 || dimension > 3 || channels < 1)
        refuse("SGI: unsupported layout");
    in.seek(104);
    if (in.u32() != 0)
        refuse("SGI: colour-mapped images are not supported");
    const int used = std::min(channels, 4);
    const std::uint64_t row_bytes = std::uint64_t(width) * bpc;
    const std::uint64_t rows = std::uint64_t(height) * std::uint64_t(channels);
    if (width <= 0 || height <= 0)
        refuse("SGI: bad dimensions");
    if (storage == 0 && rows * row_bytes > data.size() - 512)
        refuse("SGI: pixel data truncated");
    if (storage == 1 && rows * 8 > data.size() - 512)
        refuse("SGI: run-length tables truncated");
    if (storage == 1 && std::uint64_t(width) * std::uint64_t(height) > std::uint64_t(data.size()) * 128)
        refuse("SGI: run-length data too short");
    Tfbitmap picture = new_picture(width, height, "SGI");
    std::vector<std::uint8_t> line(static_cast<std::size_t>(row_bytes));
    const auto sample = [&](std::size_t x) -> std::uint8_t {
        return bpc == 1 ? line[x] : std::uint8_t((2 * (unsigned(line[2 * x]) << 8 | line[2 * x + 1]) + 257) / 514);
    };
    for (int c = 0; c < used; ++c) {
        for (std::int64_t y = 0; y < height; ++y) {
            const std::uint64_t index = std::uint64_t(c) * std::uint64_t(height) + std::uint64_t(y);
            if (storage == 0) {
                in.seek(512 + index * row_bytes);
                auto raw = in.bytes(row_bytes);
                std::copy(raw.begin(), raw.end(), line.begin());
            } else {
                in.seek(512 + index * 4);
                const std::uint32_t start = in.u32();
                in.seek(512 + rows * 4 + index * 4);
                const std::uint32_t length = in.u32();
                in.seek(start);
                auto packed = in.bytes(length);
                std::fill(line.begin(), line.end(), 0);
                std::size_t i = 0, o = 0;
                const std::size_t step = bpc;
                const auto next = [&]() -> unsigned {
                    if (i + step > packed.size())
                        return 0;
                    const unsigned v = step == 1 ? packed[i] : unsigned(packed[i] << 8 | packed[i + 1]);
                    i += step;
                    return v;
                };
                while (i + step <= packed.size()) {
                    const unsigned header = next();
                    const unsigned count = header & 0x7F;
                    if (count == 0)
                        break;
                    if (header & 0x80) {
                        for (unsigned k = 0; k < count && o + step <= line.size(); ++k, o += step) {
                            const unsigned v = next();
                            line[o] = std::uint8_t(step == 1 ? v : v >> 8);
                            if (step == 2)
                                line[o + 1] = std::uint8_t(v);
                        }
                    } else {
                        const unsigned v = next();
                        for (unsigned k = 0; k < count && o + step <= line.size(); ++k, o += step) {
                            line[o] = std::uint8_t(step == 1 ? v : v >> 8);
                            if (step == 2)
                                line[o + 1] = std::uint8_t(v);
                        }
                    }
                }
            }
            // Rows are stored bottom first.
            std::uint8_t* out = picture.row(std::int32_t(height - 1 - y));
            for (std::int64_t x = 0; x < width; ++x, out += 4) {
                const std::uint8_t v = sample(std::size_t(x));
                if (channels <= 2 && c == 0)
                    out[0] = out[1] = out[2] = v;
                else if (channels == 2 || c == 3)
                    out[alpha_byte] = v;
                else
                    out[red_byte - c] = v;
            }
        }
    }
    return picture;
}

// ---- PNM ----

Tfbitmap decode_pnm(std::span<const std::uint8_t> data)
{
    if (data.size() < 3 || data[0] != 'P' || data[1] < '1' || data[1] > '6')
        refuse("PNM: no P1 to P6 header");
    const int kind = data[1] - '0';
    std::size_t i = 2;
    const auto skip_space = [&] {
        while (i < data.size()) {
            if (data[i] == '#') {
                while (i < data.size() && data[i] != '\n' && data[i] != '\r')
                    ++i;
            } else if (std::strchr(" \t\r\n\v\f", data[i]) && data[i] != 0) {
                ++i;
            } else {
                break;
            }
        }
    };
    const auto number = [&]() -> std::uint64_t {
        skip_space();
        if (i >= data.size() || data[i] < '0' || data[i] > '9')
            refuse("PNM: number expected");
        std::uint64_t v = 0;
        while (i < data.size() && data[i] >= '0' && data[i] <= '9') {
            v = v * 10 + std::uint64_t(data[i++] - '0');
            if (v > 0xFFFFFFFFull)
                refuse("PNM: number too large");
        }
        return v;
    };
    const std::uint64_t width = number(), height = number();
    const bool bitmap = kind == 1 || kind == 4;
    const std::uint64_t max = bitmap ? 1 : number();
    if (max < 1 || max > 65535)
        refuse("PNM: bad maximum value");
    const int samples = (kind == 3 || kind == 6) ? 3 : 1;
    const bool binary = kind >= 4;
    if (binary)
        ++i; // the single white-space character before the raster
    const std::size_t sample_bytes = max > 255 ? 2 : 1;
    if (width == 0 || height == 0 || width > std::uint64_t(max_raster_side) || height > std::uint64_t(max_raster_side))
        refuse("PNM: bad dimensions");
    const std::uint64_t needed = kind == 4 ? (width + 7) / 8 * height
                                           : width * height * std::uint64_t(samples) * (binary ? sample_bytes : 2);
    if (needed > data.size() - std::min(i, data.size()))
        refuse("PNM: pixel data truncated");
    Tfbitmap picture = new_picture(std::int64_t(width), std::int64_t(height), "PNM");
    // Scales a sample to 8 bits, rounding halves to even.
    const auto scale = [max](std::uint64_t v) -> std::uint8_t {
        if (v > max)
            v = max;
        return max == 255 ? std::uint8_t(v) : std::uint8_t(round_half_even(static_cast<long double>(v) * 255 / max));
    };
    const auto ascii = [&]() -> std::uint64_t {
        if (kind != 1)
            return number();
        skip_space();
        if (i >= data.size() || (data[i] != '0' && data[i] != '1'))
            refuse("PNM: bit expected");
        return std::uint64_t(data[i++] - '0');
    };
    if (binary && kind != 4 && max == 255) {
        // The common case, straight from the bytes.
        const std::uint8_t* src = data.data() + i;
        for (std::uint64_t y = 0; y < height; ++y) {
            std::uint8_t* out = picture.row(std::int32_t(y));
            for (std::uint64_t x = 0; x < width; ++x, out += 4, src += samples) {
                out[red_byte] = src[0];
                out[green_byte] = src[samples == 3 ? 1 : 0];
                out[blue_byte] = src[samples == 3 ? 2 : 0];
            }
        }
        return picture;
    }
    for (std::uint64_t y = 0; y < height; ++y) {
        std::uint8_t* out = picture.row(std::int32_t(y));
        const std::size_t row_start = i;
        for (std::uint64_t x = 0; x < width; ++x, out += 4) {
            std::uint8_t v[3];
            if (kind == 4) {
                const bool black = (data[row_start + x / 8] >> (7 - x % 8)) & 1;
                v[0] = v[1] = v[2] = black ? 0 : 255;
            } else {
                for (int s = 0; s < samples; ++s) {
                    std::uint64_t raw;
                    if (!binary) {
                        raw = ascii();
                    } else if (sample_bytes == 1) {
                        raw = data[i++];
                    } else {
                        raw = std::uint64_t(data[i]) << 8 | data[i + 1];
                        i += 2;
                    }
                    v[s] = kind == 1 ? (raw ? 0 : 255) : scale(raw);
                }
                if (samples == 1)
                    v[1] = v[2] = v[0];
            }
            put_rgb(out, v[0], v[1], v[2]);
        }
        if (kind == 4)
            i = row_start + std::size_t((width + 7) / 8);
    }
    return picture;
}

// ---- Autodesk CEL/PIC ----

Tfbitmap decode_cel(std::span<const std::uint8_t> data)
{
    tbyte_reader in(data, parse_key, false);
    if (data.size() < 32 + 768 || in.u16() != 0x9119)
        refuse("CEL: no Animator header");
    const std::int64_t width = in.u16(), height = in.u16();
    in.skip(4);
    const std::uint8_t depth = in.u8(), compression = in.u8();
    if (depth != 8 || compression != 0)
        refuse("CEL: only uncompressed 8-bit pictures are supported");
    in.seek(32);
    auto palette = in.bytes(768);
    if (std::uint64_t(width) * std::uint64_t(height) > in.remaining())
        refuse("CEL: pixel data truncated");
    Tfbitmap picture = new_picture(width, height, "CEL");
    const auto level = [](std::uint8_t v) { return std::uint8_t(std::min(63, int(v)) * 255 / 63); };
    for (std::int64_t y = 0; y < height; ++y) {
        auto row = in.bytes(std::uint64_t(width));
        std::uint8_t* out = picture.row(std::int32_t(y));
        for (std::int64_t x = 0; x < width; ++x, out += 4) {
            const std::size_t c = row[std::size_t(x)];
            put_rgb(out, level(palette[3 * c]), level(palette[3 * c + 1]), level(palette[3 * c + 2]));
        }
    }
    return picture;
}

// ---- Kodak Photo CD ----

Tfbitmap decode_pcd(std::span<const std::uint8_t> data)
{
    constexpr std::size_t base_offset = 0x30000;
    constexpr std::int32_t w = 768, h = 512;
    if (data.size() < 0x800 + 7 || std::memcmp(data.data() + 0x800, "PCD_IPI", 7) != 0)
        refuse("PCD: no Photo CD signature");
    if (data.size() < base_offset + std::size_t(w) * h * 3 / 2)
        refuse("PCD: base image truncated");
    Tfbitmap picture = new_picture(w, h, "PCD");
    // Photo YCC to RGB, as Kodak specifies it for 8-bit components.
    const auto clamp = [](double v) { return std::uint8_t(std::clamp<std::int64_t>(round_half_even(v), 0, 255)); };
    const std::uint8_t* p = data.data() + base_offset;
    for (std::int32_t y = 0; y < h; y += 2, p += 3 * w) {
        const std::uint8_t* luma0 = p;
        const std::uint8_t* luma1 = p + w;
        const std::uint8_t* c1 = p + 2 * w;
        const std::uint8_t* c2 = p + 2 * w + w / 2;
        for (std::int32_t x = 0; x < w; ++x) {
            const double cb = 2.2179 * (c1[x / 2] - 156), cr = 1.8215 * (c2[x / 2] - 137);
            for (int r = 0; r < 2; ++r) {
                const double l = 1.3584 * (r ? luma1 : luma0)[x];
                put_rgb(picture.pixel(x, y + r), clamp(l + cr), clamp(l - 0.194 * cb - 0.509 * cr), clamp(l + cb));
            }
        }
    }
    // The orientation of the scan is kept in the image pack attributes.
    const int rotation = data[0xE02] & 3;
    if (rotation == 0)
        return picture;
    const bool quarter = rotation != 2;
    Tfbitmap turned = new_picture(quarter ? h : w, quarter ? w : h, "PCD");
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            std::int32_t tx = x, ty = y;
            if (rotation == 1)
                tx = y, ty = w - 1 - x; // a quarter turn anticlockwise
            else if (rotation == 2)
                tx = w - 1 - x, ty = h - 1 - y;
            else
                tx = h - 1 - y, ty = x;
            std::memcpy(turned.pixel(tx, ty), picture.pixel(x, y), 4);
        }
    return turned;
}

} // namespace velmora
