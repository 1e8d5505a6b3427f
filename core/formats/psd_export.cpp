#include "formats/psd_export.h"

#include "document/composite.h"
#include "document/error.h"
#include "document/parallel.h"
#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "formats/psd_common.h"
#include "formats/psd_import.h"

#include <algorithm>
#include <array>

namespace velmora {

namespace {

constexpr std::uint8_t raw_compression[2] = {0, 0};

// One channel plane: byte `byte` of every pixel, rows top to bottom, a band
// of rows at a time through `buffer`.
void write_plane(tbyte_sink& sink, const Tfbitmap& bitmap, int byte, std::vector<std::uint8_t>& buffer)
{
    const std::int32_t w = bitmap.width(), h = bitmap.height();
    if (w == 0 || h == 0)
        return;
    const std::int32_t band = std::max<std::int32_t>(1, std::int32_t(buffer.size() / std::size_t(w)));
    if (buffer.size() < std::size_t(w))
        buffer.resize(std::size_t(w));
    for (std::int32_t top = 0; top < h; top += band) {
        const std::int32_t count = std::min(band, h - top);
        parallel_rows(top, top + count, std::int64_t(w) * count, [&](std::int32_t first, std::int32_t last) {
            for (std::int32_t y = first; y < last; ++y) {
                const std::uint8_t* src = bitmap.row(y) + byte;
                std::uint8_t* dst = buffer.data() + std::size_t(y - top) * std::size_t(w);
                for (std::int32_t x = 0; x < w; ++x)
                    dst[x] = src[4 * std::size_t(x)];
            }
        });
        sink.write(std::span<const std::uint8_t>(buffer.data(), std::size_t(w) * std::size_t(count)));
    }
}

void check_side(const Tfbitmap& bitmap)
{
    if (bitmap.width() > psd_max_side || bitmap.height() > psd_max_side)
        throw velmora_error("@ch_error", "PSD files hold at most " + std::to_string(psd_max_side) + " pixels a side");
}

void tagged_block(tbyte_writer& out, std::string_view key, const std::vector<std::uint8_t>& data)
{
    out.text("8BIM");
    out.text(key);
    const std::size_t padded = (data.size() + 3) / 4 * 4;
    out.u32(std::uint32_t(padded));
    out.bytes(data);
    out.zeros(padded - data.size());
}

bool writes_mask(const tcalque& layer)
{
    return layer.mask && !layer.mask->bitmap.empty();
}

void layer_record(tbyte_writer& out, const tcalque& layer)
{
    const Tfbitmap& b = layer.bitmap;
    const std::uint32_t plane = std::uint32_t(b.width()) * std::uint32_t(b.height());
    out.s32(layer.top);
    out.s32(layer.left);
    out.s32(layer.top + b.height());
    out.s32(layer.left + b.width());
    const bool mask = writes_mask(layer);
    out.u16(mask ? 5 : 4);
    for (std::int16_t id : {0, 1, 2, -1}) {
        out.s16(id);
        out.u32(plane + 2);
    }
    if (mask) {
        out.s16(-2);
        out.u32(std::uint32_t(layer.mask->bitmap.width()) * std::uint32_t(layer.mask->bitmap.height()) + 2);
    }
    out.text("8BIM");
    const std::uint8_t mode = layer.blend_mode < blend_mode_count ? layer.blend_mode : std::uint8_t(normal);
    out.text(psd::blend_keys[mode]);
    out.u8(std::uint8_t(std::clamp(layer.opacity, 0, 255)));
    out.u8(0);
    std::uint8_t flags = 0;
    if (layer.preserve_transparency)
        flags |= psd::flag_protect_transparency;
    if (!layer.visible)
        flags |= psd::flag_hidden;
    out.u8(flags);
    out.u8(0);

    const std::size_t extra_at = out.grow(4);
    const std::size_t extra_start = out.position();
    if (mask) {
        const tcalque& m = *layer.mask;
        out.u32(20);
        out.s32(m.top);
        out.s32(m.left);
        out.s32(m.top + m.bitmap.height());
        out.s32(m.left + m.bitmap.width());
        out.u8(255); // outside its rectangle our mask lets the layer show
        out.u8(layer.mask_enabled ? 0 : psd::mask_flag_disabled);
        out.zeros(2);
    } else {
        out.u32(0);
    }
    out.u32(0); // blending ranges
    std::string name = psd::utf8_to_latin1(layer.name);
    if (name.size() > 255)
        name.resize(255);
    out.u8(std::uint8_t(name.size()));
    out.text(name);
    out.zeros((name.size() + 4) / 4 * 4 - 1 - name.size());

    const std::u16string wide = psd::utf8_to_utf16(layer.name);
    tbyte_writer unicode(true);
    unicode.u32(std::uint32_t(wide.size()));
    for (char16_t c : wide)
        unicode.u16(c);
    tagged_block(out, "luni", unicode.buffer());
    if (layer.blend_mode == average)
        tagged_block(out, psd::own_blend_key, {layer.blend_mode, 0, 0, 0});
    out.patch_u32(extra_at, std::uint32_t(out.position() - extra_start));
}

} // namespace

void write_psd_to(const tdocument& doc, tbyte_sink& sink)
{
    if (doc.layers.empty())
        throw velmora_error("@ch_error", "the document has no layer");
    const Tfbitmap& background = doc.layers.front()->bitmap;
    std::uint64_t estimate = 64 + std::uint64_t(background.width()) * std::uint64_t(background.height()) * 3;
    for (const auto& layer : doc.layers) {
        check_side(layer->bitmap);
        if (layer->mask)
            check_side(layer->mask->bitmap);
        estimate += std::uint64_t(layer->bitmap.width()) * std::uint64_t(layer->bitmap.height()) * 4 + 256;
    }
    if (doc.layers.size() > 0x7FFF)
        throw velmora_error("@ch_error", "PSD files hold at most 32767 layers");
    if (estimate > 0xFFFFFFFFull)
        throw velmora_error("@ch_error", "the layers hold more than a PSD file can");

    tbyte_writer head(true);
    head.text("8BPS");
    head.u16(1);
    head.zeros(6);
    head.u16(3);
    head.u32(std::uint32_t(doc.height()));
    head.u32(std::uint32_t(doc.width()));
    head.u16(8);
    head.u16(3);
    head.u32(0); // colour mode data
    head.u32(0); // image resources
    const std::uint64_t section_at = sink.position() + head.position();
    head.grow(4);
    const bool layered = doc.layers.size() > 1;
    const std::uint64_t info_at = sink.position() + head.position();
    if (layered) {
        head.grow(4);
        head.s16(std::int16_t(doc.layers.size()));
        for (const auto& layer : doc.layers)
            layer_record(head, *layer);
    }
    sink.write(head.buffer());
    std::vector<std::uint8_t> buffer(std::size_t(1) << 20);
    if (layered) {
        for (const auto& layer : doc.layers) {
            for (int byte : {red_byte, green_byte, blue_byte, alpha_byte}) {
                sink.write(raw_compression);
                write_plane(sink, layer->bitmap, byte, buffer);
            }
            if (writes_mask(*layer)) {
                sink.write(raw_compression);
                write_plane(sink, layer->mask->bitmap, red_byte, buffer);
            }
        }
        if ((sink.position() - info_at - 4) % 2)
            sink.write(std::array<std::uint8_t, 1>{0});
        tbyte_writer length(true);
        length.u32(std::uint32_t(sink.position() - info_at - 4));
        sink.patch(info_at, length.buffer());
    }
    static constexpr std::uint8_t no_global_mask[4] = {0, 0, 0, 0};
    sink.write(no_global_mask);
    tbyte_writer section(true);
    section.u32(std::uint32_t(sink.position() - section_at - 4));
    sink.patch(section_at, section.buffer());

    // The flattened picture, for readers that do not composite layers themselves.
    const Tfbitmap flat = layered ? flatten_image(doc) : Tfbitmap();
    const Tfbitmap& composite = layered ? flat : background;
    sink.write(raw_compression);
    for (int byte : {red_byte, green_byte, blue_byte})
        write_plane(sink, composite, byte, buffer);
}

std::vector<std::uint8_t> build_psd(const tdocument& doc)
{
    tvector_sink sink;
    write_psd_to(doc, sink);
    return std::move(sink.data);
}

void write_psd(const tdocument& doc, const std::string& file_name)
{
    tatomic_file_sink sink(file_name);
    write_psd_to(doc, sink);
    sink.commit();
}

} // namespace velmora
