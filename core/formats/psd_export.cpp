#include "formats/psd_export.h"

#include "document/composite.h"
#include "document/error.h"
#include "document/parallel.h"
#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "formats/psd_common.h"
#include "formats/psd_import.h"

#include <algorithm>

namespace velmora {

namespace {

// One channel plane: byte `byte` of every pixel, rows top to bottom.
void write_plane(tbyte_writer& out, const Tfbitmap& bitmap, int byte)
{
    const std::int32_t w = bitmap.width(), h = bitmap.height();
    const std::size_t at = out.grow(std::size_t(w) * std::size_t(h));
    std::uint8_t* plane = out.at(at);
    parallel_rows(0, h, std::int64_t(w) * h, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const std::uint8_t* src = bitmap.row(y) + byte;
            std::uint8_t* dst = plane + std::size_t(y) * std::size_t(w);
            for (std::int32_t x = 0; x < w; ++x)
                dst[x] = src[4 * std::size_t(x)];
        }
    });
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

std::vector<std::uint8_t> build_psd(const tdocument& doc)
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

    tbyte_writer out(true);
    out.reserve(std::size_t(estimate));
    out.text("8BPS");
    out.u16(1);
    out.zeros(6);
    out.u16(3);
    out.u32(std::uint32_t(doc.height()));
    out.u32(std::uint32_t(doc.width()));
    out.u16(8);
    out.u16(3);
    out.u32(0); // colour mode data
    out.u32(0); // image resources
    const std::size_t section_at = out.grow(4);
    const bool layered = doc.layers.size() > 1;
    if (layered) {
        const std::size_t info_at = out.grow(4);
        out.s16(std::int16_t(doc.layers.size()));
        for (const auto& layer : doc.layers)
            layer_record(out, *layer);
        for (const auto& layer : doc.layers) {
            for (int byte : {red_byte, green_byte, blue_byte, alpha_byte}) {
                out.u16(0);
                write_plane(out, layer->bitmap, byte);
            }
            if (writes_mask(*layer)) {
                out.u16(0);
                write_plane(out, layer->mask->bitmap, red_byte);
            }
        }
        if ((out.position() - info_at - 4) % 2)
            out.u8(0);
        out.patch_u32(info_at, std::uint32_t(out.position() - info_at - 4));
    }
    out.u32(0); // global layer mask information
    out.patch_u32(section_at, std::uint32_t(out.position() - section_at - 4));

    // The flattened picture, for readers that do not composite layers themselves.
    const Tfbitmap flat = layered ? flatten_image(doc) : Tfbitmap();
    const Tfbitmap& composite = layered ? flat : background;
    out.u16(0);
    for (int byte : {red_byte, green_byte, blue_byte})
        write_plane(out, composite, byte);
    return std::move(out.buffer());
}

void write_psd(const tdocument& doc, const std::string& file_name)
{
    const std::vector<std::uint8_t> bytes = build_psd(doc);
    write_file_atomically(file_name, bytes);
}

} // namespace velmora
