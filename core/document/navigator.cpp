#include "document/navigator.h"

#include "document/blend.h"
#include "document/blend_span.h"
#include "document/rounding.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace velmora {

namespace {

// Document column or row sampled by each navigator column or row.
std::vector<std::int32_t> sample_positions(std::int32_t navigator_size, std::int32_t doc_size)
{
    std::vector<std::int32_t> positions(static_cast<std::size_t>(navigator_size));
    for (std::int32_t i = 0; i < navigator_size; ++i)
        positions[std::size_t(i)] = std::int32_t(std::int64_t(i) * doc_size / navigator_size);
    return positions;
}

struct tnavigator_layer {
    const tcalque* layer = nullptr;
    tblend_span blend = nullptr;
    float factor = 0;
    std::int32_t first = 0; // navigator columns [first, last) inside the layer
    std::int32_t last = 0;
};

void draw_content(const tdocument& doc, Tfbitmap& picture)
{
    const std::vector<std::int32_t> columns = sample_positions(picture.width(), doc.width());
    const std::vector<std::int32_t> rows = sample_positions(picture.height(), doc.height());
    std::vector<tnavigator_layer> uppers;
    for (std::size_t i = 1; i < doc.layers.size(); ++i) {
        const tcalque& layer = *doc.layers[i];
        tnavigator_layer u{&layer, blend_span_for(layer.blend_mode), opacity_factor(layer.opacity)};
        // Sampled columns only grow, so those inside the layer form one run.
        u.first = std::int32_t(std::lower_bound(columns.begin(), columns.end(), layer.left) - columns.begin());
        u.last = std::int32_t(std::lower_bound(columns.begin(), columns.end(), layer.left + layer.bitmap.width()) -
                              columns.begin());
        if (u.last > u.first)
            uppers.push_back(u);
    }
    const Tfbitmap& background = doc.layers.front()->bitmap;
    std::vector<std::uint32_t> gathered(columns.size());
    for (std::int32_t y = 0; y < picture.height(); ++y) {
        const std::int32_t doc_y = rows[std::size_t(y)];
        std::uint8_t* out = picture.row(y);
        const std::uint8_t* source = background.row(doc_y);
        for (std::size_t x = 0; x < columns.size(); ++x) {
            std::memcpy(out + 4 * x, source + 4 * std::size_t(columns[x]), 3);
            out[4 * x + alpha_byte] = 255;
        }
        for (const tnavigator_layer& u : uppers) {
            const std::int32_t layer_y = doc_y - u.layer->top;
            if (layer_y < 0 || layer_y >= u.layer->bitmap.height())
                continue;
            const std::uint8_t* layer_row = u.layer->bitmap.row(layer_y);
            for (std::int32_t x = u.first; x < u.last; ++x)
                std::memcpy(&gathered[std::size_t(x - u.first)],
                            layer_row + 4 * std::size_t(columns[std::size_t(x)] - u.layer->left), 4);
            u.blend(gathered.data(), nullptr, u.factor, out + 4 * std::size_t(u.first), u.last - u.first);
        }
    }
}

// The border reads as raised: light right and bottom edges drawn last, over
// the shadowed corners they share with the top and left edges.
void draw_border(Tfbitmap& picture, TColor shadow, TColor light)
{
    const std::int32_t w = picture.width();
    const std::int32_t h = picture.height();
    picture.fill_rect({0, 0, w, 1}, shadow);
    picture.fill_rect({0, 0, 1, h}, shadow);
    picture.fill_rect({w - 1, 0, w, h}, light);
    picture.fill_rect({0, h - 1, w, h}, light);
}

} // namespace

Tfbitmap navigator_picture(const tdocument& doc, TColor shadow, TColor light)
{
    const tsize size = navigator_size(doc.width(), doc.height());
    Tfbitmap picture(size.width, size.height);
    const trgb fill = split_color(light);
    picture.fill_pixels(fill.blue, fill.green, fill.red, 255);
    if (doc.width() > 0 && doc.height() > 0)
        draw_content(doc, picture);
    draw_border(picture, shadow, light);
    return picture;
}

trect navigator_frame(std::int32_t doc_width, std::int32_t doc_height, const tnavigator_view& view)
{
    const tsize size = navigator_size(doc_width, doc_height);
    const tview_layout& l = view.layout;
    if (!l.horizontal_bar && !l.vertical_bar)
        return {1, 1, size.width - 1, size.height - 1};
    // Zoomed pixels to navigator pixels along the side that fixed the
    // navigator's size, in one division so whole results stay whole.
    const bool tall = doc_height >= doc_width;
    const long double divisor = (long double)view.z * (tall ? doc_height : doc_width);
    const std::int32_t side = tall ? size.height : size.width;
    const auto at = [=](std::int32_t zoomed) { return std::int32_t((long double)zoomed * side / divisor); };
    // A view much smaller than a navigator pixel still shows as a small box.
    const auto span = [](std::int32_t first, std::int32_t last, std::int32_t limit) {
        last = std::min(std::max(last, first + 2), limit);
        return std::pair{std::max(0, std::min(first, last - 2)), last};
    };
    const auto [left, right] = span(at(view.scroll_x), at(view.scroll_x + l.view_width), size.width);
    const auto [top, bottom] = span(at(view.scroll_y), at(view.scroll_y + l.view_height), size.height);
    return {left, top, right, bottom};
}

tnavigator_jump navigator_jump(std::int32_t at, std::int32_t navigator_size, std::int32_t doc_size, double z,
                               std::int32_t view_size, std::int32_t range)
{
    const long double centred = (long double)z * at * doc_size / navigator_size - view_size / 2.0L;
    const auto position = std::int32_t(std::clamp<std::int64_t>(round_half_even(centred), 0, std::max(range, 0)));
    // Rounding the origin could pass the last column by up to half a pixel.
    const long double last = std::max(0.0L, doc_size - (long double)view_size / z);
    return {position, float(std::min((long double)round_half_even((long double)position / z), last))};
}

float slider_origin(std::int32_t doc_size, double z)
{
    return float(std::max<std::int64_t>(round_half_even(((long double)doc_size * z - doc_size) / (2 * z)), 0));
}

} // namespace velmora
