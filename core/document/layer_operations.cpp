#include "document/layer_operations.h"

#include "document/composite.h"
#include "document/rounding.h"

#include <algorithm>
#include <charconv>

namespace velmora {

std::string duplicate_name(std::string_view name, std::string_view copy, std::string_view incomplete)
{
    std::string result(name);
    if (name.ends_with(copy)) {
        result.insert(result.size() - 1, "2");
        return result;
    }
    const std::size_t start = name.rfind(incomplete);
    if (start != std::string_view::npos && name.ends_with(')')) {
        const std::string_view digits = name.substr(start + incomplete.size(), name.size() - 1 - start - incomplete.size());
        unsigned number = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (!digits.empty() && error == std::errc() && end == digits.data() + digits.size())
            return std::string(name.substr(0, start + incomplete.size())) + std::to_string(number + 1) + ")";
    }
    return result + std::string(copy);
}

namespace {

// A copy of `original` as duplicating makes it: pixels, position, blend mode
// and preserve-transparency flag; full opacity, visible, no mask, no text.
std::unique_ptr<tcalque> layer_copy(const tcalque& original, std::string name)
{
    auto copy = std::make_unique<tcalque>();
    copy->name = std::move(name);
    copy->bitmap = original.bitmap;
    copy->left = copy->press_left = original.left;
    copy->top = copy->press_top = original.top;
    copy->blend_mode = original.blend_mode;
    copy->preserve_transparency = original.preserve_transparency;
    return copy;
}

// A layer of the document's size at (0, 0), every pixel transparent black.
std::unique_ptr<tcalque> transparent_layer(const tdocument& doc, std::string name)
{
    auto layer = std::make_unique<tcalque>();
    tcalque_clear(*layer);
    layer->name = std::move(name);
    layer->bitmap = Tfbitmap(doc.width(), doc.height());
    layer->bitmap.fill_pixels(0, 0, 0, 0);
    return layer;
}

} // namespace

void duplicate_layer(tdocument& doc, std::string name)
{
    if (!doc.valid_layer(doc.current_layer))
        return;
    const std::int32_t index = doc.current_layer + 1;
    doc.layers.insert(doc.layers.begin() + index, layer_copy(doc.current_layer_record(), std::move(name)));
    set_current_layer(doc, index);
}

bool delete_current_layer(tdocument& doc)
{
    const std::int32_t index = doc.current_layer;
    if (index <= 0 || !doc.valid_layer(index) || doc.layers.size() < 2)
        return false;
    doc.layers.erase(doc.layers.begin() + index);
    doc.current_layer = -1; // the deleted one: nothing left to unselect
    set_current_layer(doc, index - 1);
    doc.mask_editing = 0;
    return true;
}

bool merge_down(tdocument& doc)
{
    if (doc.current_layer <= 0 || !doc.valid_layer(doc.current_layer))
        return false;
    if (!merge_layers(doc, doc.current_layer - 1))
        return false;
    doc.mask_editing = 0;
    return true;
}

void merge_all_layers(tdocument& doc)
{
    if (doc.layers.empty())
        return;
    Tfbitmap flat = flatten_image(doc);
    doc.layers.resize(1);
    doc.layers.front()->bitmap = std::move(flat);
    doc.mask_editing = 0;
    doc.current_layer = 0;
    set_current_layer(doc, 0);
    forget_text(doc, 0);
}

void add_new_layer(tdocument& doc, std::string name)
{
    if (doc.layers.empty())
        return;
    const std::int32_t index = doc.current_layer + 1;
    doc.layers.insert(doc.layers.begin() + index, transparent_layer(doc, std::move(name)));
    set_current_layer(doc, index);
    doc.mask_editing = 0;
}

tcalque& append_transparent_layer(tdocument& doc, std::string name, std::int32_t opacity, std::uint8_t blend_mode)
{
    auto layer = transparent_layer(doc, std::move(name));
    layer->opacity = opacity;
    layer->blend_mode = blend_mode;
    doc.layers.push_back(std::move(layer));
    set_current_layer(doc, std::int32_t(doc.layers.size()) - 1);
    return *doc.layers.back();
}

void append_layer_copy(tdocument& doc, std::string name)
{
    if (doc.valid_layer(doc.current_layer))
        doc.layers.push_back(layer_copy(doc.current_layer_record(), std::move(name)));
}

treorder_drop reorder_drop(std::int32_t dragged, std::int32_t target, std::int32_t y, std::int32_t row_height)
{
    // A row dropped back onto itself stays where it was.
    if (dragged <= 0 || dragged == target)
        return {};
    if (2 * y > row_height) {
        const std::int32_t index = dragged < target ? target - 1 : target;
        return index != dragged && index > 0 ? treorder_drop{index, true} : treorder_drop{};
    }
    const std::int32_t index = dragged >= target ? target + 1 : target;
    return index != dragged ? treorder_drop{index, false} : treorder_drop{};
}

void move_layer(tdocument& doc, std::int32_t from, std::int32_t to)
{
    if (!doc.valid_layer(from) || !doc.valid_layer(to) || from == to)
        return;
    auto layer = std::move(doc.layers[std::size_t(from)]);
    doc.layers.erase(doc.layers.begin() + from);
    doc.layers.insert(doc.layers.begin() + to, std::move(layer));
}

void create_layer_mask(tdocument& doc)
{
    if (doc.current_layer <= 0 || !doc.valid_layer(doc.current_layer))
        return;
    tcalque& layer = doc.current_layer_record();
    if (!layer.mask) {
        auto mask = std::make_unique<tcalque>();
        tcalque_clear(*mask);
        mask->bitmap = Tfbitmap(layer.bitmap.width(), layer.bitmap.height());
        mask->bitmap.fill_pixels(255, 255, 255, 255);
        mask->left = layer.left;
        mask->top = layer.top;
        layer.mask = std::move(mask);
    }
    layer.mask_enabled = 1;
}

void apply_layer_mask(tcalque& layer)
{
    if (!layer.mask)
        return;
    const tcalque& mask = *layer.mask;
    const trect area = intersect(layer.rect(), mask.rect());
    for (std::int32_t y = area.top; y < area.bottom; ++y) {
        std::uint8_t* pixels = layer.bitmap.row(y - layer.top);
        const std::uint8_t* grey = mask.bitmap.row(y - mask.top);
        for (std::int32_t x = area.left; x < area.right; ++x) {
            std::uint8_t& alpha = pixels[4 * (x - layer.left) + alpha_byte];
            // alpha * m / 255 never lies halfway between integers (255 is odd),
            // so adding 127 before dividing rounds it exactly.
            alpha = std::uint8_t((alpha * grey[4 * (x - mask.left) + red_byte] + 127) / 255);
        }
    }
}

void remove_layer_mask(tdocument& doc, bool apply)
{
    if (!doc.valid_layer(doc.current_layer))
        return;
    tcalque& layer = doc.current_layer_record();
    if (apply)
        apply_layer_mask(layer);
    layer.mask_enabled = 0;
    layer.mask.reset();
    doc.mask_editing = 0;
}

tthumbnail_size thumbnail_size(std::int32_t document_width, std::int32_t document_height)
{
    if (document_width <= 0 || document_height <= 0)
        return {};
    // Extreme proportions still get a one-pixel-wide picture.
    const auto side = [](long double value) { return std::int32_t(std::max<std::int64_t>(1, round_half_even(value))); };
    if (document_height >= document_width)
        return {side((long double)document_width * 26 / document_height), 26};
    return {34, side((long double)document_height * 34 / document_width)};
}

namespace {

// Runs `inner(x, y, document_x, document_y)` for every pixel inside the
// one-pixel black frame of a thumbnail of `doc`, which it returns.
template <class Inner>
Tfbitmap thumbnail(const tdocument& doc, Inner inner)
{
    const tthumbnail_size size = thumbnail_size(doc.width(), doc.height());
    Tfbitmap picture(size.width, size.height);
    picture.fill_pixels(0, 0, 0, 255);
    const std::int64_t w = doc.width();
    const std::int64_t h = doc.height();
    for (std::int32_t y = 1; y < size.height - 1; ++y) {
        std::uint8_t* out = picture.row(y);
        const auto document_y = std::int32_t(y * h / size.height);
        for (std::int32_t x = 1; x < size.width - 1; ++x)
            inner(out + 4 * x, x, y, std::int32_t(x * w / size.width), document_y);
    }
    return picture;
}

void set_grey(std::uint8_t* pixel, std::uint8_t grey)
{
    pixel[blue_byte] = pixel[green_byte] = pixel[red_byte] = grey;
}

} // namespace

Tfbitmap layer_thumbnail(const tdocument& doc, std::int32_t index)
{
    const tcalque& layer = *doc.layers.at(std::size_t(index));
    return thumbnail(doc, [&](std::uint8_t* out, std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy) {
        const std::int32_t lx = dx - layer.left;
        const std::int32_t ly = dy - layer.top;
        if (lx >= 0 && ly >= 0 && lx < layer.bitmap.width() && ly < layer.bitmap.height()) {
            const std::uint8_t* pixel = layer.bitmap.pixel(lx, ly);
            if (pixel[alpha_byte] != 0) {
                std::copy_n(pixel, 3, out);
                return;
            }
        }
        set_grey(out, ((x / 4) % 2 != (y / 4) % 2) ? 192 : 255);
    });
}

Tfbitmap mask_thumbnail(const tdocument& doc, std::int32_t index)
{
    const tcalque& layer = *doc.layers.at(std::size_t(index));
    return thumbnail(doc, [&](std::uint8_t* out, std::int32_t, std::int32_t, std::int32_t dx, std::int32_t dy) {
        const tcalque* mask = layer.mask.get();
        const std::int32_t mx = mask ? dx - mask->left : -1;
        const std::int32_t my = mask ? dy - mask->top : -1;
        const bool on_mask = mask && mx >= 0 && my >= 0 && mx < mask->bitmap.width() && my < mask->bitmap.height();
        set_grey(out, on_mask ? mask->bitmap.pixel(mx, my)[red_byte] : 255);
    });
}

std::int32_t opacity_percent(std::int32_t opacity)
{
    return std::int32_t(round_half_even((long double)opacity / 255 * 100));
}

std::string opacity_label(std::string_view opacity_text, std::int32_t opacity)
{
    return std::string(opacity_text) + std::to_string(opacity_percent(opacity)) + "%";
}

} // namespace velmora
