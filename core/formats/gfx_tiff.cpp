#include "formats/gfx_tiff.h"

#include "document/parallel.h"
#include "document/rounding.h"
#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "formats/psd_import.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>

namespace velmora {

namespace {

enum tiff_type : std::uint16_t { type_byte = 1, type_ascii = 2, type_short = 3, type_long = 4, type_rational = 5 };

} // namespace

void write_tiff_to(const Tfbitmap& picture, tbyte_sink& sink)
{
    const std::int32_t w = picture.width(), h = picture.height();
    const std::uint64_t pixel_bytes = std::uint64_t(w) * std::uint64_t(h) * 3;
    if (pixel_bytes + 256 > 0xFFFFFFFFull)
        throw velmora_error("@ch_error", "the picture is too large for a TIFF file");
    // Every offset is taken from the position where its item is written.
    tbyte_writer out(false);
    out.text("II");
    out.u16(42);
    const std::size_t directory_at = out.grow(4);
    const std::uint32_t x_resolution = std::uint32_t(out.position());
    out.u32(877);
    out.u32(10);
    const std::uint32_t y_resolution = std::uint32_t(out.position());
    out.u32(877);
    out.u32(10);
    const std::uint32_t bits_per_sample = std::uint32_t(out.position());
    out.u16(8);
    out.u16(8);
    out.u16(8);
    const std::uint32_t software = std::uint32_t(out.position());
    // NUL-terminated as TIFF readers expect; the field keeps its 12 bytes.
    out.text("QUORANTEL  ");
    out.u8(0);
    const std::uint32_t strip = std::uint32_t(out.position());
    out.patch_u32(directory_at, std::uint32_t(strip + pixel_bytes));
    sink.write(out.buffer());

    // The pixels go out a band of rows at a time through one buffer.
    const std::int32_t band = std::max<std::int32_t>(1, std::int32_t((std::size_t(1) << 20) / (std::size_t(w) * 3 + 1)));
    std::vector<std::uint8_t> rows(std::size_t(w) * 3 * std::size_t(std::min(band, h)));
    for (std::int32_t top = 0; top < h; top += band) {
        const std::int32_t count = std::min(band, h - top);
        parallel_rows(top, top + count, std::int64_t(w) * count, [&](std::int32_t first, std::int32_t last) {
            for (std::int32_t y = first; y < last; ++y) {
                const std::uint8_t* p = picture.row(y);
                std::uint8_t* dst = rows.data() + std::size_t(y - top) * std::size_t(w) * 3;
                for (std::int32_t x = 0; x < w; ++x, p += 4, dst += 3) {
                    dst[0] = p[red_byte];
                    dst[1] = p[green_byte];
                    dst[2] = p[blue_byte];
                }
            }
        });
        sink.write(std::span<const std::uint8_t>(rows.data(), std::size_t(w) * 3 * std::size_t(count)));
    }

    tbyte_writer dir(false);
    dir.u16(15);
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
        dir.u16(tag);
        dir.u16(type);
        dir.u32(count);
        if (type == type_short && count == 1) {
            dir.u16(std::uint16_t(value));
            dir.u16(0);
        } else {
            dir.u32(value);
        }
    };
    // Sides beyond 65535 do not fit a SHORT; the field type says which one is used.
    const auto side_type = [](std::int32_t side) { return side > 0xFFFF ? type_long : type_short; };
    entry(254, type_long, 1, 0);
    entry(256, side_type(w), 1, std::uint32_t(w));
    entry(257, side_type(h), 1, std::uint32_t(h));
    entry(258, type_short, 3, bits_per_sample);
    entry(259, type_short, 1, 1);
    entry(262, type_short, 1, 2);
    entry(273, type_long, 1, strip);
    entry(277, type_short, 1, 3);
    entry(278, type_long, 1, std::uint32_t(h));
    entry(279, type_long, 1, std::uint32_t(pixel_bytes));
    entry(282, type_rational, 1, x_resolution);
    entry(283, type_rational, 1, y_resolution);
    entry(284, type_short, 1, 1);
    entry(296, type_short, 1, 2);
    entry(305, type_ascii, 12, software);
    dir.u32(0);
    sink.write(dir.buffer());
}

std::vector<std::uint8_t> build_tiff(const Tfbitmap& picture)
{
    tvector_sink sink;
    write_tiff_to(picture, sink);
    return std::move(sink.data);
}

void write_tiff(const Tfbitmap& picture, const std::string& file_name)
{
    tatomic_file_sink sink(file_name);
    write_tiff_to(picture, sink);
    sink.commit();
}

Tfbitmap read_tiff(const std::string& file_name)
{
    return read_tiff(tfile_view(file_name).bytes());
}

namespace {

struct tentry {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint32_t value = 0; // the value field as a 32-bit number in file order
    std::size_t field = 0;   // file position of the value field
};

std::size_t type_size(std::uint16_t type)
{
    switch (type) {
    case type_byte:
    case type_ascii:
    case 6:
    case 7:
        return 1;
    case type_short:
    case 8:
        return 2;
    case type_long:
    case 9:
    case 11:
        return 4;
    default:
        return 8;
    }
}

class ttiff_parser {
public:
    explicit ttiff_parser(std::span<const std::uint8_t> data) : in_(data, "@ch_could_not_parse_the_file", false) {}

    Tfbitmap parse();

private:
    tbyte_reader in_;
    std::map<std::uint16_t, tentry> entries_;

    [[noreturn]] static void refuse(const std::string& message) { throw EGraphicFormat(message); }

    bool has(std::uint16_t tag) const { return entries_.count(tag) != 0; }

    // One value: BYTE from the first byte of the field, SHORT from its first
    // two bytes, anything else from all four.
    std::uint32_t value(std::uint16_t tag, std::uint32_t missing = 0)
    {
        const auto it = entries_.find(tag);
        if (it == entries_.end())
            return missing;
        return array(tag).at(0);
    }

    // All values of an entry. Values that fit in the field are stored there,
    // larger arrays at the offset the field holds; each element by its type.
    std::vector<std::uint32_t> array(std::uint16_t tag)
    {
        const tentry& e = entries_.at(tag);
        const std::size_t size = type_size(e.type);
        if (e.count == 0)
            refuse("TIFF: empty field " + std::to_string(tag));
        if (std::uint64_t(e.count) * size > in_.size())
            refuse("TIFF: field " + std::to_string(tag) + " longer than the file");
        const std::size_t saved = in_.position();
        in_.seek(std::uint64_t(e.count) * size <= 4 ? e.field : e.value);
        std::vector<std::uint32_t> values(e.count);
        for (auto& v : values)
            v = size == 1 ? in_.u8() : size == 2 ? in_.u16() : in_.u32();
        in_.seek(saved);
        return values;
    }

    // Samples are shifted down to 8 bits; 16-bit ones by rounding v / 257.
    static std::uint8_t sample16(std::uint32_t v) { return std::uint8_t((2 * v + 257) / 514); }
};

struct tlayout {
    enum kind { palette, grey_alpha, rgb, cmyk, lab, ycbcr } kind = palette;
    int samples = 1;
    int bits = 8;
};

std::vector<std::uint8_t> lzw_decode(tbyte_reader& in, std::span<const std::uint8_t> data, std::size_t expected)
{
    std::vector<std::uint8_t> out;
    out.reserve(expected);
    // The table as (prefix code, last byte, length); strings are rebuilt backwards.
    std::vector<std::uint16_t> prefix(4096);
    std::vector<std::uint8_t> suffix(4096), first(4096);
    std::vector<std::uint16_t> length(4096);
    for (int i = 0; i < 256; ++i) {
        suffix[std::size_t(i)] = first[std::size_t(i)] = std::uint8_t(i);
        length[std::size_t(i)] = 1;
    }
    std::uint32_t next = 258, width = 9;
    int previous = -1;
    std::uint64_t bit = 0;
    const std::uint64_t bits = std::uint64_t(data.size()) * 8;
    std::vector<std::uint8_t> string(4096);
    const auto emit = [&](std::uint32_t code) {
        const std::size_t n = length[code];
        std::uint32_t c = code;
        for (std::size_t i = n; i-- > 0;) {
            string[i] = suffix[c];
            c = prefix[c];
        }
        const std::size_t room = expected - out.size();
        out.insert(out.end(), string.begin(), string.begin() + std::ptrdiff_t(std::min(n, room)));
    };
    while (out.size() < expected && bit + width <= bits) {
        std::uint32_t code = 0;
        for (std::uint32_t k = 0; k < width; ++k, ++bit)
            code = code << 1 | ((data[std::size_t(bit >> 3)] >> (7 - (bit & 7))) & 1);
        if (code == 256) {
            next = 258;
            width = 9;
            previous = -1;
            continue;
        }
        if (code == 257)
            break;
        if (previous < 0) {
            if (code > 255)
                in.fail("TIF LZW: invalid opcode.");
            emit(code);
            previous = int(code);
            continue;
        }
        if (code > next || (code == next && next >= 4096))
            in.fail("TIF LZW: invalid opcode.");
        const std::uint8_t head = code < next ? first[code] : first[std::size_t(previous)];
        if (next < 4096) {
            prefix[next] = std::uint16_t(previous);
            suffix[next] = head;
            first[next] = first[std::size_t(previous)];
            length[next] = std::uint16_t(length[std::size_t(previous)] + 1);
            ++next;
        }
        emit(code);
        previous = int(code);
        if (next + 1 >= (1u << width) && width < 12)
            ++width;
    }
    out.resize(expected, 0);
    return out;
}

Tfbitmap ttiff_parser::parse()
{
    if (in_.size() < 8)
        refuse("TIFF: file too short");
    const bool big = in_.data()[0] == 'M' && in_.data()[1] == 'M';
    in_.set_big_endian(big);
    in_.seek(2);
    if (in_.u16() != 42)
        refuse("TIFF: Unsupported version");
    in_.seek(in_.u32());
    const std::uint16_t count = in_.u16();
    if (std::uint64_t(count) * 12 > in_.remaining())
        refuse("TIFF: directory beyond the end of the file");
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint16_t tag = in_.u16();
        tentry e;
        e.type = in_.u16();
        e.count = in_.u32();
        e.field = in_.position();
        e.value = in_.u32();
        entries_.emplace(tag, e);
    }

    const std::uint32_t predictor = value(317);
    const std::uint32_t photometric = value(262);
    const int samples = std::max<int>(1, int(std::min<std::uint32_t>(value(277), 64)));
    const std::uint32_t compression = value(259, 1);
    const std::vector<std::uint32_t> bits_array = has(258) ? array(258) : std::vector<std::uint32_t>{1};
    const std::uint32_t width = value(256), height = value(257);
    if (width == 0 || height == 0)
        refuse("TIFF: Illegal image dimensions");
    if (width > std::uint32_t(max_raster_side) || height > std::uint32_t(max_raster_side) ||
        std::uint64_t(width) * height > std::uint64_t(max_raster_pixels))
        refuse("TIFF: image too large");
    const std::uint32_t bits = bits_array[0];

    tlayout layout;
    layout.samples = samples;
    layout.bits = int(bits);
    std::array<std::uint8_t, 3 * 256> palette{}; // red, green, blue blocks
    if (samples == 1 || samples == 2) {
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16)
            refuse("TIFF: Unsupported Bits Per Sample");
        const std::size_t n = bits == 1 ? 2 : bits == 4 ? 16 : 256;
        if (photometric == 3 && bits != 16 && samples == 1) {
            if (!has(320) || entries_.at(320).count < 3 * n)
                refuse("TIFF: palette without its colour map");
            const std::vector<std::uint32_t> map = array(320);
            for (std::size_t i = 0; i < 3 * n; ++i)
                palette[(i / n) * 256 + i % n] = std::uint8_t(map[i] >> 8);
        } else if (photometric == 0 || photometric == 1) {
            // Grey levels as the file's bits give them, white at zero for photometric 0.
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint8_t level = bits == 1 ? std::uint8_t(i * 255) : bits == 4 ? std::uint8_t(i * 16)
                                                                                          : std::uint8_t(i);
                const std::size_t at = photometric == 0 ? n - 1 - i : i;
                palette[at] = palette[256 + at] = palette[512 + at] = level;
            }
        } else {
            refuse("TIFF: Unsupported photometric interpretation");
        }
        if (samples == 2 && bits < 8)
            refuse("TIFF: Unsupported Bits Per Sample");
        layout.kind = samples == 1 ? tlayout::palette : tlayout::grey_alpha;
    } else if (samples == 3 || samples == 4) {
        if (bits != 8 && bits != 16)
            refuse("TIFF: Unsupported Bits Per Sample");
        if (photometric == 2)
            layout.kind = tlayout::rgb;
        else if (samples == 3 && photometric == 8)
            layout.kind = tlayout::lab;
        else if (samples == 3 && photometric == 6 && has(530) && array(530) == std::vector<std::uint32_t>{1, 1})
            layout.kind = tlayout::ycbcr; // sub-sampled rows are laid out differently: refused below
        else if (samples == 4 && photometric == 5)
            layout.kind = tlayout::cmyk;
        else
            refuse("TIFF: Unsupported photometric interpretation");
    } else {
        refuse("TIFF: Unsupported samples per pixel");
    }
    if (compression != 1 && compression != 5 && compression != 32773)
        refuse("TIFF: Unsupported compression scheme");
    if (has(284) && value(284) == 2 && samples > 1)
        refuse("TIFF: separate planes are not supported");

    const std::uint64_t bits_per_pixel = std::uint64_t(bits) * std::uint64_t(samples);
    const std::uint64_t bytes_per_row = (bits_per_pixel * width + 7) / 8;
    std::vector<std::uint32_t> offsets = has(273) ? array(273) : std::vector<std::uint32_t>{};
    if (offsets.empty())
        refuse("TIFF: no strips");
    std::vector<std::uint32_t> byte_counts = has(279) ? array(279) : std::vector<std::uint32_t>{};
    std::vector<std::uint32_t> rows_per_strip = has(278) ? array(278) : std::vector<std::uint32_t>{height};
    if (offsets.size() == 1)
        rows_per_strip = {height};

    Tfbitmap picture{std::int32_t(width), std::int32_t(height)};
    picture.fill_pixels(0, 0, 0, 255);
    const std::size_t sample_bytes = bits == 16 ? 2 : 1;
    const auto sample = [&](const std::uint8_t* row, std::size_t index) -> std::uint8_t {
        if (sample_bytes == 1)
            return row[index];
        const std::uint32_t v = big ? (std::uint32_t(row[2 * index]) << 8 | row[2 * index + 1])
                                    : (std::uint32_t(row[2 * index + 1]) << 8 | row[2 * index]);
        return sample16(v);
    };
    const auto undo_predictor = [&](std::uint8_t* row) {
        const std::size_t count = std::size_t(width) * std::size_t(samples);
        if (sample_bytes == 1) {
            for (std::size_t i = std::size_t(samples); i < count; ++i)
                row[i] = std::uint8_t(row[i] + row[i - std::size_t(samples)]);
            return;
        }
        for (std::size_t i = std::size_t(samples); i < count; ++i) {
            std::uint8_t* cur = row + 2 * i;
            const std::uint8_t* prev = row + 2 * (i - std::size_t(samples));
            const int hi = big ? 0 : 1, lo = 1 - hi;
            const std::uint32_t v = ((std::uint32_t(cur[hi]) << 8 | cur[lo]) + (std::uint32_t(prev[hi]) << 8 | prev[lo]));
            cur[hi] = std::uint8_t(v >> 8);
            cur[lo] = std::uint8_t(v);
        }
    };
    const auto lab_channel = [](double v) { return std::uint8_t(std::clamp<std::int64_t>(round_half_even(255.0L * v), 0, 255)); };

    std::uint32_t y = 0;
    for (std::size_t s = 0; s < offsets.size() && y < height; ++s) {
        const std::uint32_t strip_rows = std::min(height - y, s < rows_per_strip.size() ? rows_per_strip[s]
                                                                                         : rows_per_strip.back());
        if (strip_rows == 0)
            continue;
        const std::uint64_t expected = std::uint64_t(strip_rows) * bytes_per_row;
        std::vector<std::uint8_t> buffer;
        if (compression == 1) {
            in_.seek(offsets[s]);
            auto raw = in_.bytes(expected);
            buffer.assign(raw.begin(), raw.end());
        } else {
            if (s >= byte_counts.size())
                refuse("TIFF: strip without its byte count");
            in_.seek(offsets[s]);
            auto packed = in_.bytes(byte_counts[s]);
            if (compression == 5) {
                // LZW output per code is bounded: refuse strips that could not fill their rows.
                if (expected > std::uint64_t(packed.size()) * 4096)
                    refuse("TIFF: strip too short for its rows");
                buffer = lzw_decode(in_, packed, std::size_t(expected));
            } else {
                if (expected > std::uint64_t(packed.size()) * 64 + 128)
                    refuse("TIFF: strip too short for its rows");
                buffer.assign(std::size_t(expected), 0);
                unpack_bits(packed.data(), packed.size(), buffer.data(), buffer.size());
            }
        }
        for (std::uint32_t r = 0; r < strip_rows; ++r, ++y) {
            std::uint8_t* row = buffer.data() + std::size_t(r) * std::size_t(bytes_per_row);
            // Horizontal differencing is defined on whole samples of 8 or 16 bits only.
            if (predictor == 2 && bits >= 8)
                undo_predictor(row);
            std::uint8_t* out = picture.row(std::int32_t(y));
            for (std::uint32_t x = 0; x < width; ++x, out += 4) {
                const std::size_t i = std::size_t(x) * std::size_t(samples);
                switch (layout.kind) {
                case tlayout::palette:
                case tlayout::grey_alpha: {
                    std::size_t index;
                    if (bits == 1)
                        index = (row[x >> 3] >> (7 - (x & 7))) & 1;
                    else if (bits == 4)
                        index = (row[x >> 1] >> (x & 1 ? 0 : 4)) & 15;
                    else
                        index = sample(row, i);
                    out[red_byte] = palette[index];
                    out[green_byte] = palette[256 + index];
                    out[blue_byte] = palette[512 + index];
                    break;
                }
                case tlayout::rgb:
                    out[red_byte] = sample(row, i);
                    out[green_byte] = sample(row, i + 1);
                    out[blue_byte] = sample(row, i + 2);
                    break;
                case tlayout::cmyk: {
                    const unsigned k = sample(row, i + 3);
                    for (int c = 0; c < 3; ++c) {
                        const unsigned v = sample(row, i + std::size_t(c));
                        const unsigned ink = v + k - (2 * v * k + 255) / 510;
                        out[red_byte - c] = std::uint8_t(255 - std::min(ink, 255u));
                    }
                    break;
                }
                case tlayout::lab: {
                    const double l = sample(row, i) / 2.56;
                    const double a = std::int8_t(sample(row, i + 1)), b = std::int8_t(sample(row, i + 2));
                    double X, Y, Z;
                    if (l < 7.9996) {
                        Y = l / 903.3;
                        X = Y + a / 3893.5;
                        Z = Y - b / 1557.4;
                    } else {
                        const double f = (l + 16) / 116;
                        X = std::pow(f + a / 500, 3);
                        Y = f * f * f;
                        Z = std::pow(f - b / 200, 3);
                    }
                    out[red_byte] = lab_channel(2.998 * X - 1.458 * Y - 0.541 * Z);
                    out[green_byte] = lab_channel(-0.952 * X + 1.893 * Y + 0.059 * Z);
                    out[blue_byte] = lab_channel(0.099 * X - 0.198 * Y + 1.099 * Z);
                    break;
                }
                case tlayout::ycbcr: {
                    const double Y = sample(row, i), cb = sample(row, i + 1) - 128.0, cr = sample(row, i + 2) - 128.0;
                    out[red_byte] = lab_channel((Y + 1.402 * cr) / 255);
                    out[green_byte] = lab_channel((Y - 0.344136 * cb - 0.714136 * cr) / 255);
                    out[blue_byte] = lab_channel((Y + 1.772 * cb) / 255);
                    break;
                }
                }
            }
        }
    }
    if (y < height)
        refuse("TIFF: the strips hold fewer rows than the image");
    return picture;
}

} // namespace

Tfbitmap read_tiff(std::span<const std::uint8_t> data)
{
    try {
        return ttiff_parser(data).parse();
    } catch (const std::bad_alloc&) {
        throw EGraphicFormat("TIFF: not enough memory");
    }
}

} // namespace velmora
