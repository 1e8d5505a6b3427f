#include "formats/psd_import.h"

#include "document/composite.h"
#include "document/error.h"
#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "formats/psd_common.h"
#include "shell/progress.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace velmora {

namespace {

constexpr const char* problem_key = "@ch_problem_with_psd_file";

enum colour_mode : std::uint16_t {
    mode_bitmap = 0,
    mode_grey = 1,
    mode_indexed = 2,
    mode_rgb = 3,
    mode_cmyk = 4,
    mode_multichannel = 7,
    mode_duotone = 8,
    mode_lab = 9,
};

struct theader {
    std::uint16_t channels = 0;
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::uint16_t depth = 0;
    std::uint16_t mode = 0;
    std::array<std::uint8_t, 768> palette{};
};

bool has_signature(std::span<const std::uint8_t> data)
{
    return data.size() >= 4 && std::memcmp(data.data(), "8BPS", 4) == 0;
}

// Reads and checks the header and the colour mode data. Colour modes we cannot
// show faithfully are refused rather than read as something they are not.
theader read_header(tbyte_reader& in)
{
    theader h;
    in.skip(4);
    const std::uint16_t version = in.u16();
    if (version != 1)
        in.fail("unsupported version " + std::to_string(version));
    in.skip(6);
    h.channels = in.u16();
    const std::uint32_t height = in.u32();
    const std::uint32_t width = in.u32();
    h.depth = in.u16();
    h.mode = in.u16();
    if (h.channels < 1 || h.channels > 56)
        in.fail("bad channel count");
    if (width < 1 || height < 1 || width > std::uint32_t(psd_max_side) || height > std::uint32_t(psd_max_side))
        in.fail("bad image size");
    h.width = std::int32_t(width);
    h.height = std::int32_t(height);
    if (std::int64_t(h.width) * h.height > max_raster_pixels)
        in.fail("image too large");
    const bool depth_ok = h.mode == mode_bitmap ? h.depth == 1 : (h.depth == 8 || h.depth == 16);
    switch (h.mode) {
    case mode_bitmap:
    case mode_grey:
    case mode_duotone:
    case mode_rgb:
    case mode_cmyk:
        break;
    case mode_indexed:
        if (h.depth != 8)
            in.fail("indexed images must have 8 bits");
        break;
    default:
        in.fail("colour mode " + std::to_string(h.mode) + " is not supported");
    }
    if (!depth_ok)
        in.fail(std::to_string(h.depth) + "-bit channels are not supported");
    const std::uint32_t mode_data = in.u32();
    auto bytes = in.bytes(mode_data);
    if (h.mode == mode_indexed) {
        if (bytes.size() < 768)
            in.fail("indexed image without its colour table");
        std::copy_n(bytes.begin(), 768, h.palette.begin());
    }
    return h;
}

// Bytes of one row of one channel as stored.
std::size_t row_bytes(const theader& h, std::int32_t width)
{
    return h.depth == 1 ? (std::size_t(width) + 7) / 8 : std::size_t(width) * (h.depth / 8);
}

// One channel turned into 8-bit samples, width * height of them.
struct tplane {
    std::vector<std::uint8_t> samples;
    bool present = false;
};

void to_eight_bits(const theader& h, const std::uint8_t* row, std::int32_t width, std::uint8_t* out)
{
    if (h.depth == 8) {
        std::memcpy(out, row, std::size_t(width));
    } else if (h.depth == 16) {
        // Nearest 8-bit value: v / 257 rounded; 65535 / 257 has no exact halves.
        for (std::int32_t x = 0; x < width; ++x) {
            const unsigned v = unsigned(row[2 * x]) << 8 | row[2 * x + 1];
            out[x] = std::uint8_t((2 * v + 257) / 514);
        }
    } else {
        for (std::int32_t x = 0; x < width; ++x)
            out[x] = (row[x >> 3] >> (7 - (x & 7)) & 1) ? 0 : 255;
    }
}

void undo_prediction(const theader& h, std::uint8_t* row, std::size_t bytes)
{
    if (h.depth == 16) {
        for (std::size_t i = 2; i + 1 < bytes; i += 2) {
            const unsigned prev = unsigned(row[i - 2]) << 8 | row[i - 1];
            const unsigned cur = (unsigned(row[i]) << 8 | row[i + 1]) + prev;
            row[i] = std::uint8_t(cur >> 8);
            row[i + 1] = std::uint8_t(cur);
        }
    } else {
        for (std::size_t i = 1; i < bytes; ++i)
            row[i] = std::uint8_t(row[i] + row[i - 1]);
    }
}

// Decodes `rows` rows of `width` samples stored with compression `compression`
// from `in` (which must not read past `end`). For RLE the caller gives the
// row byte counts already read.
void decode_rows(const theader& h, tbyte_reader& in, std::size_t end, std::uint16_t compression,
                 std::span<const std::uint16_t> counts, std::int32_t width, std::int32_t rows, std::uint8_t* out)
{
    const std::size_t stored = row_bytes(h, width);
    std::vector<std::uint8_t> row(stored);
    const auto limit = [&](std::uint64_t n) {
        if (in.position() + n > end)
            in.fail("channel data longer than its length");
    };
    if (compression == 0) {
        limit(std::uint64_t(stored) * std::uint64_t(rows));
        for (std::int32_t y = 0; y < rows; ++y)
            to_eight_bits(h, in.bytes(stored).data(), width, out + std::size_t(y) * std::size_t(width));
    } else if (compression == 1) {
        for (std::int32_t y = 0; y < rows; ++y) {
            limit(counts[std::size_t(y)]);
            auto packed = in.bytes(counts[std::size_t(y)]);
            std::fill(row.begin(), row.end(), 0);
            unpack_bits(packed.data(), packed.size(), row.data(), row.size());
            to_eight_bits(h, row.data(), width, out + std::size_t(y) * std::size_t(width));
        }
    } else if (compression == 2 || compression == 3) {
        const std::uint64_t total = std::uint64_t(stored) * std::uint64_t(rows);
        std::vector<std::uint8_t> raw(total);
        auto packed = in.bytes(end - std::min(end, in.position()));
        z_stream z{};
        if (inflateInit(&z) != Z_OK)
            in.fail("zlib");
        z.next_in = const_cast<Bytef*>(packed.data());
        z.avail_in = uInt(packed.size());
        z.next_out = raw.data();
        z.avail_out = uInt(raw.size());
        const int status = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        if (status != Z_STREAM_END && z.avail_out != 0)
            in.fail("bad zip data");
        for (std::int32_t y = 0; y < rows; ++y) {
            std::uint8_t* r = raw.data() + std::size_t(y) * stored;
            if (compression == 3)
                undo_prediction(h, r, stored);
            to_eight_bits(h, r, width, out + std::size_t(y) * std::size_t(width));
        }
    } else {
        in.fail("unknown compression " + std::to_string(compression));
    }
}

// Smallest number of stored bytes that can describe `rows` rows: refuses
// sizes that a short channel could never fill before memory is committed.
std::uint64_t least_bytes(const theader& h, std::uint16_t compression, std::int32_t width, std::int32_t rows)
{
    const std::uint64_t stored = row_bytes(h, width);
    if (compression == 0)
        return stored * std::uint64_t(rows);
    if (compression == 1)
        return std::uint64_t(rows) * (2 + 2 * ((stored + 127) / 128));
    return 8; // zlib: checked by inflating into a buffer of the promised size
}

std::vector<std::uint16_t> read_counts(tbyte_reader& in, std::size_t n)
{
    if (std::uint64_t(n) * 2 > in.remaining())
        in.fail("the file ends early");
    std::vector<std::uint16_t> counts(n);
    for (auto& c : counts)
        c = in.u16();
    return counts;
}

// One channel of a layer: compression word and data within [start, end).
tplane read_channel(const theader& h, tbyte_reader& in, std::size_t end, std::int32_t width, std::int32_t height)
{
    tplane plane;
    if (end - in.position() < 2) // an empty channel: keeps the layer's defaults
        return plane;
    const std::uint16_t compression = in.u16();
    if (width <= 0 || height <= 0)
        return plane;
    if (least_bytes(h, compression, width, height) > end - in.position())
        in.fail("channel data too short for its layer");
    std::vector<std::uint16_t> counts;
    if (compression == 1)
        counts = read_counts(in, std::size_t(height));
    plane.samples.resize(std::size_t(width) * std::size_t(height));
    decode_rows(h, in, end, compression, counts, width, height, plane.samples.data());
    plane.present = true;
    return plane;
}

struct tchannel_info {
    std::int16_t id = 0;
    std::uint32_t length = 0;
};

struct tlayer_record {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;
    std::vector<tchannel_info> channels;
    std::string blend_key;
    std::uint8_t opacity = 255;
    std::uint8_t flags = 0;
    bool has_mask = false;
    std::int32_t mask_top = 0, mask_left = 0, mask_bottom = 0, mask_right = 0;
    std::uint8_t mask_default = 0;
    std::uint8_t mask_flags = 0;
    std::string name;
    std::optional<std::string> unicode_name;
    std::optional<std::uint8_t> own_blend;
    bool divider = false;
    bool no_extra_data = false;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
};

void check_rect(tbyte_reader& in, std::int32_t top, std::int32_t left, std::int32_t bottom, std::int32_t right)
{
    const std::int64_t w = std::int64_t(right) - left;
    const std::int64_t h = std::int64_t(bottom) - top;
    if (w < 0 || h < 0 || w > psd_max_side || h > psd_max_side)
        in.fail("bad layer rectangle");
}

void read_tagged_blocks(tbyte_reader& in, std::size_t end, tlayer_record& record)
{
    while (end - in.position() >= 12) {
        const std::string signature = in.tag4();
        if (signature != "8BIM" && signature != "8B64")
            break;
        const std::string key = in.tag4();
        const std::uint32_t length = in.u32();
        if (length > end - in.position())
            break;
        const std::size_t block_end = in.position() + length;
        if (key == "luni" && length >= 4) {
            const std::uint32_t count = in.u32();
            if (std::uint64_t(count) * 2 <= block_end - in.position()) {
                std::u16string name;
                for (std::uint32_t i = 0; i < count; ++i)
                    name += char16_t(in.u16());
                while (!name.empty() && name.back() == 0)
                    name.pop_back();
                record.unicode_name = psd::utf16_to_utf8(name);
            }
        } else if ((key == "lsct" || key == "lsdk") && length >= 4) {
            const std::uint32_t type = in.u32();
            record.divider = type >= 1 && type <= 3;
        } else if (key == psd::own_blend_key && length >= 1) {
            record.own_blend = in.u8();
        }
        in.seek(block_end);
    }
}

tlayer_record read_record(tbyte_reader& in, std::size_t end)
{
    tlayer_record r;
    r.top = in.s32();
    r.left = in.s32();
    r.bottom = in.s32();
    r.right = in.s32();
    check_rect(in, r.top, r.left, r.bottom, r.right);
    const std::uint16_t channel_count = in.u16();
    if (channel_count > 56 || std::size_t(channel_count) * 6 > end - in.position())
        in.fail("bad layer channel count");
    r.channels.resize(channel_count);
    for (auto& c : r.channels) {
        c.id = in.s16();
        c.length = in.u32();
    }
    if (in.tag4() != "8BIM")
        in.fail("bad blend mode signature");
    r.blend_key = in.tag4();
    r.opacity = in.u8();
    in.u8(); // clipping
    r.flags = in.u8();
    in.u8();
    const std::uint32_t extra = in.u32();
    if (extra > end - in.position())
        in.fail("layer record longer than its section");
    const std::size_t extra_end = in.position() + extra;
    r.no_extra_data = extra == 0;
    if (extra >= 4) {
        const std::uint32_t mask_length = in.u32();
        if (mask_length > extra_end - in.position())
            in.fail("bad layer mask data");
        const std::size_t mask_end = in.position() + mask_length;
        if (mask_length >= 18) {
            r.mask_top = in.s32();
            r.mask_left = in.s32();
            r.mask_bottom = in.s32();
            r.mask_right = in.s32();
            check_rect(in, r.mask_top, r.mask_left, r.mask_bottom, r.mask_right);
            r.mask_default = in.u8();
            r.mask_flags = in.u8();
            r.has_mask = true;
        }
        in.seek(mask_end);
        if (extra_end - in.position() >= 4) {
            const std::uint32_t ranges = in.u32();
            if (ranges > extra_end - in.position())
                in.fail("bad blending ranges");
            in.skip(ranges);
        }
        if (extra_end - in.position() >= 1) {
            const std::uint8_t n = in.u8();
            const std::size_t padded = (std::size_t(n) + 4) / 4 * 4 - 1; // with the length byte: a multiple of 4
            if (n > extra_end - in.position())
                in.fail("bad layer name");
            auto bytes = in.bytes(n);
            r.name = psd::latin1_to_utf8(std::string(bytes.begin(), bytes.end()));
            in.seek(std::min(extra_end, in.position() + (padded - n)));
        }
        read_tagged_blocks(in, extra_end, r);
    }
    in.seek(extra_end);
    return r;
}

struct tprogress_tracker {
    std::size_t total = 0;
    int shift = 0;
    bool shown = false;
    void start(std::size_t size)
    {
        shown = true;
        total = size;
        while ((size >> shift) > 0x7FFFFFF)
            ++shift;
        progress_set_total(std::int32_t(size >> shift));
    }
    void at(std::size_t position) const
    {
        if (shown)
            progress_set_position(std::int32_t(position >> shift));
    }
};

Tfbitmap pixels_from_planes(const theader& h, std::int32_t width, std::int32_t height,
                            std::span<const tplane* const> colour, const tplane* alpha)
{
    Tfbitmap bitmap(width, height);
    bitmap.fill_pixels(0, 0, 0, 255);
    const auto present = [](const tplane* p) { return p && p->present; };
    const auto src_row = [&](const tplane* p, std::int32_t y) {
        return p->samples.data() + std::size_t(y) * std::size_t(width);
    };
    const auto scatter = [&](const tplane* p, std::initializer_list<int> targets) {
        if (!present(p))
            return;
        for (std::int32_t y = 0; y < height; ++y) {
            const std::uint8_t* src = src_row(p, y);
            std::uint8_t* out = bitmap.row(y);
            for (int byte : targets)
                for (std::int32_t x = 0; x < width; ++x)
                    out[4 * std::size_t(x) + std::size_t(byte)] = src[x];
        }
    };
    switch (h.mode) {
    case mode_rgb:
        scatter(colour[0], {red_byte});
        scatter(colour[1], {green_byte});
        scatter(colour[2], {blue_byte});
        break;
    case mode_cmyk: {
        // Stored inverted (255 = no ink): R = (255 - C)(255 - K) / 255 becomes c * k / 255, rounded.
        static const std::vector<std::uint8_t> table = [] {
            std::vector<std::uint8_t> t(256 * 256);
            for (int a = 0; a < 256; ++a)
                for (int b = 0; b < 256; ++b)
                    t[std::size_t(a * 256 + b)] = std::uint8_t((2 * a * b + 255) / 510);
            return t;
        }();
        for (std::int32_t y = 0; y < height; ++y) {
            std::uint8_t* out = bitmap.row(y);
            const std::uint8_t* k = present(colour[3]) ? src_row(colour[3], y) : nullptr;
            for (int c = 0; c < 3; ++c) {
                const std::uint8_t* v = present(colour[std::size_t(c)]) ? src_row(colour[std::size_t(c)], y) : nullptr;
                for (std::int32_t x = 0; x < width; ++x)
                    out[4 * std::size_t(x) + std::size_t(red_byte - c)] =
                        table[std::size_t((v ? v[x] : 255) * 256 + (k ? k[x] : 255))];
            }
        }
        break;
    }
    case mode_indexed:
        if (present(colour[0]))
            for (std::int32_t y = 0; y < height; ++y) {
                const std::uint8_t* src = src_row(colour[0], y);
                std::uint8_t* out = bitmap.row(y);
                for (std::int32_t x = 0; x < width; ++x, out += 4) {
                    out[red_byte] = h.palette[src[x]];
                    out[green_byte] = h.palette[256 + std::size_t(src[x])];
                    out[blue_byte] = h.palette[512 + std::size_t(src[x])];
                }
            }
        break;
    default: // grey, duotone, bitmap
        scatter(colour[0], {red_byte, green_byte, blue_byte});
    }
    scatter(alpha, {alpha_byte});
    return bitmap;
}

int colour_channel_count(const theader& h)
{
    return h.mode == mode_rgb ? 3 : h.mode == mode_cmyk ? 4 : 1;
}

std::uint8_t blend_from_key(const std::string& key)
{
    for (std::size_t i = 0; i < 7; ++i)
        if (psd::blend_keys[i] == key)
            return std::uint8_t(i);
    return normal;
}

struct tread_layers {
    std::vector<std::unique_ptr<tcalque>> layers;
    bool had_layer_info = false;
};

// The layer information block: count, records, channel data.
void read_layer_info(const theader& h, tbyte_reader& in, std::size_t end, tread_layers& result,
                     const tprogress_tracker& progress)
{
    result.had_layer_info = true;
    const std::int16_t count = in.s16();
    const int n = count < 0 ? -int(count) : int(count);
    if (std::uint64_t(n) * 34 > end - in.position())
        in.fail("more layers than the section holds");
    std::vector<tlayer_record> records;
    records.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i)
        records.push_back(read_record(in, end));
    // Earlier versions of this program flagged every layer 2, meaning visible, and wrote
    // no extra data at all; no other writer leaves every layer hidden and unnamed.
    const bool earlier_writer = std::all_of(records.begin(), records.end(), [](const tlayer_record& r) {
        return r.flags == psd::flag_hidden && r.no_extra_data;
    });
    if (earlier_writer)
        for (tlayer_record& r : records)
            r.flags = 0;
    progress.at(in.position());

    // Layers whose channels carry no data must not allocate without bound.
    std::uint64_t budget = std::uint64_t(in.size()) * 64 + std::uint64_t(h.width) * std::uint64_t(h.height) * 2;
    for (const tlayer_record& r : records) {
        std::array<tplane, 4> colour;
        tplane alpha, mask;
        for (const tchannel_info& c : r.channels) {
            if (c.length > end - in.position())
                in.fail("channel data beyond its section");
            const std::size_t channel_end = in.position() + c.length;
            if (!r.divider) {
                if (c.id >= 0 && c.id < colour_channel_count(h))
                    colour[std::size_t(c.id)] = read_channel(h, in, channel_end, r.width(), r.height());
                else if (c.id == -1)
                    alpha = read_channel(h, in, channel_end, r.width(), r.height());
                else if (c.id == -2 && r.has_mask)
                    mask = read_channel(h, in, channel_end, r.mask_right - r.mask_left, r.mask_bottom - r.mask_top);
            }
            in.seek(channel_end);
            progress.at(in.position());
        }
        if (r.divider)
            continue;
        const std::uint64_t pixels = std::uint64_t(std::max(r.width(), 1)) * std::uint64_t(std::max(r.height(), 1));
        if (pixels > budget)
            in.fail("layers larger than the file can describe");
        budget -= pixels;

        auto layer = std::make_unique<tcalque>();
        tcalque_clear(*layer);
        const tplane* colour_planes[4] = {&colour[0], &colour[1], &colour[2], &colour[3]};
        if (r.width() > 0 && r.height() > 0) {
            layer->bitmap = pixels_from_planes(h, r.width(), r.height(), colour_planes, &alpha);
        } else {
            // An empty layer keeps its place in the stack as one transparent pixel.
            layer->bitmap = Tfbitmap(1, 1);
            layer->bitmap.fill_pixels(0, 0, 0, 0);
        }
        layer->left = r.left;
        layer->top = r.top;
        layer->opacity = r.opacity;
        layer->visible = (r.flags & psd::flag_hidden) ? 0 : 1;
        layer->preserve_transparency = (r.flags & psd::flag_protect_transparency) ? 1 : 0;
        layer->blend_mode = blend_from_key(r.blend_key);
        if (r.own_blend && *r.own_blend < blend_mode_count)
            layer->blend_mode = *r.own_blend;
        layer->name = r.unicode_name ? *r.unicode_name : r.name;
        if (r.has_mask && mask.present) {
            auto m = std::make_unique<tcalque>();
            tcalque_clear(*m);
            const std::int32_t mw = r.mask_right - r.mask_left, mh = r.mask_bottom - r.mask_top;
            // Outside its rectangle a mask takes its default colour; ours does not act there,
            // so a dark default is made explicit over the layer's area.
            trect area{r.mask_left, r.mask_top, r.mask_right, r.mask_bottom};
            if (r.mask_default != 255 && r.width() > 0 && r.height() > 0) {
                area.left = std::min(area.left, r.left);
                area.top = std::min(area.top, r.top);
                area.right = std::max(area.right, r.right);
                area.bottom = std::max(area.bottom, r.bottom);
            }
            m->bitmap = Tfbitmap(area.width(), area.height());
            const std::uint8_t d = r.mask_default;
            m->bitmap.fill_pixels(d, d, d, 255);
            for (std::int32_t y = 0; y < mh; ++y) {
                std::uint8_t* out = m->bitmap.pixel(r.mask_left - area.left, y + r.mask_top - area.top);
                const std::uint8_t* src = mask.samples.data() + std::size_t(y) * std::size_t(mw);
                for (std::int32_t x = 0; x < mw; ++x, out += 4)
                    out[0] = out[1] = out[2] = src[x];
            }
            m->left = area.left;
            m->top = area.top;
            layer->mask = std::move(m);
            layer->mask_enabled = (r.mask_flags & psd::mask_flag_disabled) ? 0 : 1;
        }
        result.layers.push_back(std::move(layer));
    }
}

// Reads everything up to the image data; on return `in` stands at the
// composite image's compression word.
tread_layers read_layer_section(const theader& h, tbyte_reader& in, const tprogress_tracker& progress)
{
    tread_layers result;
    const std::uint32_t resources = in.u32();
    in.skip(resources);
    progress.at(in.position());
    const std::uint32_t section = in.u32();
    if (section > in.remaining())
        in.fail("layer section beyond the end of the file");
    const std::size_t section_end = in.position() + section;
    if (section >= 4) {
        const std::uint32_t info = in.u32();
        if (info > section_end - in.position())
            in.fail("layer information beyond its section");
        const std::size_t info_end = in.position() + info;
        if (info >= 2)
            read_layer_info(h, in, info_end, result, progress);
        in.seek(info_end);
        if (section_end - in.position() >= 4) {
            const std::uint32_t global_mask = in.u32();
            in.seek(std::min<std::uint64_t>(section_end, in.position() + std::uint64_t(global_mask)));
        }
        // 16-bit files keep their layers in a tagged block after the global mask.
        while (result.layers.empty() && section_end - in.position() >= 12) {
            const std::string signature = in.tag4();
            const std::string key = in.tag4();
            const std::uint32_t length = in.u32();
            if ((signature != "8BIM" && signature != "8B64") || length > section_end - in.position())
                break;
            const std::size_t block_end = in.position() + length;
            if ((key == "Lr16" || key == "Layr") && length >= 2)
                read_layer_info(h, in, block_end, result, progress);
            in.seek(std::min(section_end, block_end + (length & 3 ? 4 - (length & 3) : 0)));
        }
    }
    in.seek(section_end);
    return result;
}

Tfbitmap read_composite(const theader& h, tbyte_reader& in)
{
    const std::uint16_t compression = in.u16();
    const std::size_t end = in.size();
    const std::int32_t w = h.width, hh = h.height;
    const int needed = std::min<int>(colour_channel_count(h), h.channels);
    std::vector<std::uint16_t> counts;
    if (compression == 1) {
        counts = read_counts(in, std::size_t(h.channels) * std::size_t(hh));
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < std::size_t(needed) * std::size_t(hh); ++i)
            total += counts[i];
        if (total > end - in.position())
            in.fail("composite image data too short");
    } else if (least_bytes(h, compression, w, hh) * std::uint64_t(needed) > end - in.position()) {
        in.fail("composite image data too short");
    }
    std::array<tplane, 4> planes;
    for (int c = 0; c < needed; ++c) {
        planes[std::size_t(c)].samples.resize(std::size_t(w) * std::size_t(hh));
        planes[std::size_t(c)].present = true;
        const std::span<const std::uint16_t> rows =
            compression == 1 ? std::span<const std::uint16_t>(counts).subspan(std::size_t(c) * std::size_t(hh))
                             : std::span<const std::uint16_t>();
        // Zip composites are one stream for all channels; only raw and RLE occur in practice.
        if (compression > 1)
            in.fail("compressed composite image not supported");
        decode_rows(h, in, end, compression, rows, w, hh, planes[std::size_t(c)].samples.data());
    }
    const tplane* colour[4] = {&planes[0], &planes[1], &planes[2], &planes[3]};
    return pixels_from_planes(h, w, hh, colour, nullptr);
}

bool layer_can_be_background(const tcalque& layer, std::int32_t width, std::int32_t height)
{
    if (layer.left != 0 || layer.top != 0 || layer.bitmap.width() != width || layer.bitmap.height() != height ||
        layer.opacity != 255 || layer.blend_mode != normal || !layer.visible || layer.mask)
        return false;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* p = layer.bitmap.row(y);
        for (std::int32_t x = 0; x < width; ++x)
            if (p[4 * x + alpha_byte] != 255)
                return false;
    }
    return true;
}

void clear_document_layers(tdocument& doc)
{
    doc.layers.clear();
    doc.current_layer = 0;
    doc.mask_editing = 0;
}

template <typename Fn>
auto as_problem(Fn&& fn)
{
    try {
        return fn();
    } catch (const velmora_error& e) {
        if (e.key() == problem_key)
            throw;
        throw velmora_error(problem_key, e.what());
    } catch (const std::bad_alloc&) {
        throw velmora_error(problem_key, "not enough memory");
    } catch (const std::length_error&) {
        throw velmora_error(problem_key, "not enough memory");
    }
}

// Every PSD file carries its composite image, whose run-length row table and
// rows alone take far more than a byte per 4096 pixels; a small file naming a
// canvas of hundreds of millions of pixels would only make us draw a huge
// blank picture, so it is refused.
void refuse_unjustified_canvas(const theader& h, tbyte_reader& in, std::size_t file_size)
{
    if (std::uint64_t(h.width) * std::uint64_t(h.height) > std::uint64_t(file_size) * 4096)
        in.fail("the canvas is far larger than the file could describe");
}

} // namespace

std::size_t unpack_bits(const std::uint8_t* in, std::size_t in_length, std::uint8_t* out, std::size_t out_length)
{
    std::size_t i = 0, o = 0;
    while (i < in_length && o < out_length) {
        const auto n = static_cast<std::int8_t>(in[i++]);
        if (n == -128)
            continue;
        if (n < 0) {
            if (i >= in_length)
                break;
            const std::size_t run = std::min<std::size_t>(std::size_t(1 - n), out_length - o);
            std::memset(out + o, in[i++], run);
            o += run;
        } else {
            const std::size_t run = std::min({std::size_t(n) + 1, in_length - i, out_length - o});
            std::memcpy(out + o, in + i, run);
            o += run;
            i += std::size_t(n) + 1;
        }
    }
    return o;
}

std::vector<std::uint8_t> unpack_bits(std::span<const std::uint8_t> packed, std::size_t expected_length)
{
    if (packed.empty())
        return {};
    std::vector<std::uint8_t> row(expected_length, 0);
    unpack_bits(packed.data(), packed.size(), row.data(), row.size());
    return row;
}

std::pair<std::int32_t, std::int32_t> read_psd_size(const std::string& file_name)
{
    const std::vector<std::uint8_t> data = read_whole_file(file_name);
    tbyte_reader in(data, problem_key);
    if (!has_signature(data))
        in.fail("not a PSD file");
    in.seek(14);
    const std::int32_t height = in.s32();
    const std::int32_t width = in.s32();
    return {width, height};
}

bool read_psd_layers(tdocument& doc, const std::string& file_name, const tpsd_names& names)
{
    std::optional<tfile_view> file;
    try {
        file.emplace(file_name);
    } catch (const velmora_error& e) {
        throw velmora_error(problem_key, e.what());
    }
    return read_psd_layers(doc, file->bytes(), names);
}

bool read_psd_layers(tdocument& doc, std::span<const std::uint8_t> data, const tpsd_names& names)
{
    clear_document_layers(doc);
    if (!has_signature(data))
        return false;
    tprogress_scope scope("@ch_loading");
    tprogress_tracker progress;
    progress.start(data.size());
    as_problem([&] {
        tbyte_reader in(data, problem_key);
        const theader h = read_header(in);
        refuse_unjustified_canvas(h, in, data.size());
        tread_layers read = read_layer_section(h, in, progress);
        if (read.had_layer_info && read.layers.empty())
            in.fail("the layer section holds no layer");
        if (read.layers.empty()) {
            add_background(doc, read_composite(h, in), names.background);
        } else {
            if (!layer_can_be_background(*read.layers.front(), h.width, h.height)) {
                // Our stack always starts with an opaque background of the document's size.
                add_background(doc, h.width, h.height, make_color(255, 255, 255), names.background);
            } else {
                read.layers.front()->preserve_transparency = 1;
            }
            for (auto& layer : read.layers)
                doc.layers.push_back(std::move(layer));
            // Unnamed layers are called as our own new layers would be.
            for (std::size_t k = 0; k < doc.layers.size(); ++k)
                if (doc.layers[k]->name.empty())
                    doc.layers[k]->name = k == 0 ? names.background : names.layer + " " + std::to_string(k);
        }
        progress.at(data.size());
        return 0;
    });
    for (auto& layer : doc.layers)
        layer->selected = 0;
    set_current_layer(doc, std::int32_t(doc.layers.size()) - 1);
    doc.has_selection = 0;
    doc.selection = tselection{};
    return true;
}

Tfbitmap read_psd_flat(std::span<const std::uint8_t> data)
{
    constexpr const char* key = "@ch_could_not_parse_the_file";
    tbyte_reader in(data, key);
    if (!has_signature(data))
        in.fail("not a PSD file");
    try {
        const theader h = read_header(in);
        refuse_unjustified_canvas(h, in, data.size());
        const tread_layers read = [&] {
            tprogress_tracker quiet;
            return read_layer_section(h, in, quiet);
        }();
        if (in.remaining() >= 2)
            return read_composite(h, in);
        // Files written without a composite image: show their layers flattened.
        tdocument doc = create_document("psd");
        if (!read_psd_layers(doc, data))
            in.fail("not a PSD file");
        return flatten_image(doc);
    } catch (const velmora_error& e) {
        if (e.key() == key)
            throw;
        throw velmora_error(key, e.what());
    } catch (const std::bad_alloc&) {
        throw velmora_error(key, "not enough memory");
    }
}

} // namespace velmora
