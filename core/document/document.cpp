#include "document/document.h"

#include <algorithm>
#include <cstring>

namespace velmora {

void tcalque_clear(tcalque& layer)
{
    layer.mask_enabled = 0;
    layer.mask.reset();
}

std::unique_ptr<tcalque> clone_layer(const tcalque& layer)
{
    auto copy = std::make_unique<tcalque>();
    copy->name = layer.name;
    copy->bitmap = layer.bitmap;
    copy->left = layer.left;
    copy->top = layer.top;
    copy->blend_mode = layer.blend_mode;
    copy->opacity = layer.opacity;
    copy->preserve_transparency = layer.preserve_transparency;
    copy->visible = layer.visible;
    copy->mask_enabled = layer.mask_enabled;
    if (layer.mask)
        copy->mask = clone_layer(*layer.mask);
    copy->text = layer.text;
    copy->selected = layer.selected;
    copy->press_left = layer.press_left;
    copy->press_top = layer.press_top;
    return copy;
}

tdocument create_document(std::string name, std::int32_t zoom_index)
{
    tdocument doc;
    doc.file_name = std::move(name);
    doc.zoom_index = zoom_index;
    return doc;
}

void add_background(tdocument& doc, Tfbitmap pixels, std::string name)
{
    auto layer = std::make_unique<tcalque>();
    tcalque_clear(*layer);
    layer->name = std::move(name);
    layer->bitmap = std::move(pixels);
    layer->preserve_transparency = 1;
    make_opaque(layer->bitmap);
    doc.layers.insert(doc.layers.begin(), std::move(layer));
    set_current_layer(doc, 0);
}

void add_background(tdocument& doc, std::int32_t width, std::int32_t height, TColor colour, std::string name)
{
    Tfbitmap pixels(width, height);
    pixels.fill(colour);
    add_background(doc, std::move(pixels), std::move(name));
}

tcalque& add_layer(tdocument& doc, const Tfbitmap& source, std::string name, std::int32_t opacity,
                   std::int32_t left, std::int32_t top, std::uint8_t blend_mode)
{
    auto layer = std::make_unique<tcalque>();
    tcalque_clear(*layer);
    layer->name = std::move(name);
    layer->bitmap = source;
    layer->opacity = opacity;
    layer->left = layer->press_left = left;
    layer->top = layer->press_top = top;
    layer->blend_mode = blend_mode;
    doc.layers.push_back(std::move(layer));
    set_current_layer(doc, std::int32_t(doc.layers.size()) - 1);
    return *doc.layers.back();
}

void set_current_layer(tdocument& doc, std::int32_t index)
{
    if (doc.valid_layer(doc.current_layer))
        doc.layers[std::size_t(doc.current_layer)]->selected = 0;
    doc.current_layer = index;
    if (doc.valid_layer(index))
        doc.layers[std::size_t(index)]->selected = 1;
}

void forget_text(tdocument& doc, std::int32_t index)
{
    if (doc.valid_layer(index))
        doc.layers[std::size_t(index)]->text.is_text = 0;
}

void extend_layer_to_document(tdocument& doc, std::int32_t index)
{
    if (index <= 0 || !doc.valid_layer(index))
        return;
    tcalque& layer = *doc.layers[std::size_t(index)];
    const bool on_mask = doc.mask_editing && layer.mask;
    tcalque& target = on_mask ? *layer.mask : layer;
    const Tfbitmap& old = target.bitmap;
    const std::int64_t doc_w = doc.width(), doc_h = doc.height();
    const std::int64_t left = target.left, top = target.top, w = old.width(), h = old.height();
    if (left <= 0 && top <= 0 && left + w >= doc_w && top + h >= doc_h)
        return;

    const std::int64_t extra_left = std::max<std::int64_t>(left, 0);
    const std::int64_t extra_right = std::max<std::int64_t>(doc_w - w - left, 0);
    const std::int64_t extra_top = std::max<std::int64_t>(top, 0);
    const std::int64_t extra_bottom = std::max<std::int64_t>(doc_h - h - top, 0);
    check_raster_size(w + extra_left + extra_right, h + extra_top + extra_bottom);

    Tfbitmap grown(std::int32_t(w + extra_left + extra_right), std::int32_t(h + extra_top + extra_bottom));
    std::uint8_t fill[4] = {255, 255, 255, 0};
    if (!on_mask && !old.empty())
        std::memcpy(fill, old.pixel(0, 0), 3);
    grown.fill_pixels(fill[blue_byte], fill[green_byte], fill[red_byte], 0);
    for (std::int32_t y = 0; y < old.height(); ++y)
        std::memcpy(grown.pixel(std::int32_t(extra_left), std::int32_t(y + extra_top)), old.row(y), old.stride());

    target.bitmap = std::move(grown);
    target.left = std::min(target.left, 0);
    target.top = std::min(target.top, 0);
}

void grow_layer(tdocument& doc, tcalque& layer, std::int32_t margin_x, std::int32_t margin_y, std::int32_t left,
                std::int32_t top)
{
    if (!doc.layers.empty() && doc.layers.front().get() == &layer)
        return;
    margin_x = std::max(margin_x, 0);
    margin_y = std::max(margin_y, 0);
    const Tfbitmap& old = layer.bitmap;
    const std::int64_t new_w = std::int64_t(old.width()) + 2 * std::int64_t(margin_x);
    const std::int64_t new_h = std::int64_t(old.height()) + 2 * std::int64_t(margin_y);
    check_raster_size(new_w, new_h);
    Tfbitmap grown{std::int32_t(new_w), std::int32_t(new_h)};
    grown.fill_pixels(0, 0, 0, 0);
    for (std::int32_t y = 0; y < old.height(); ++y)
        std::memcpy(grown.pixel(margin_x, y + margin_y), old.row(y), old.stride());
    layer.bitmap = std::move(grown);
    layer.left = left - margin_x;
    layer.top = top - margin_y;
}

} // namespace velmora
