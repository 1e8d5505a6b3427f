#include "document/composite.h"

#include "document/blend.h"
#include "document/blend_span.h"
#include "document/parallel.h"
#include "document/rounding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace velmora {

namespace {

// Index into a raster of `size` for a view coordinate mapped to `position`;
// -1 outside. Truncation is toward zero, so a position less than one pixel
// before the edge still samples the first column or row.
std::int32_t sample_index(double position, std::int32_t size)
{
    if (!(position > -1.0) || position >= double(size))
        return -1;
    return std::int32_t(position);
}

// Everything the row loop needs about one layer for one view area, computed
// once before the rows are mixed.
struct tlayer_sampling {
    const tcalque* layer = nullptr;
    const tcalque* mask = nullptr;
    tblend_span blend = nullptr;
    float factor = 0;
    std::vector<std::int32_t> columns;      // layer column per view column, -1 outside
    std::vector<std::int32_t> mask_columns; // the same for the mask
    // View columns [first, last) that fall inside the layer (columns only
    // grow with x, so they form one run), and whether neighbouring view
    // columns sample neighbouring layer columns there.
    std::int32_t first = 0;
    std::int32_t last = 0;
    bool contiguous = false;
    double row_offset = 0; // layer row = truncate(y / z + row_offset)
    double mask_row_offset = 0;
};

std::vector<std::int32_t> sample_columns(const tview_mapping& m, std::int32_t x0, std::int32_t x1, std::int32_t left,
                                         std::int32_t width)
{
    std::vector<std::int32_t> columns(std::size_t(x1 - x0));
    for (std::int32_t x = x0; x < x1; ++x)
        columns[std::size_t(x - x0)] = sample_index(x / m.z + (double(m.ox) - left), width);
    return columns;
}

tlayer_sampling sample_layer(const tcalque& layer, const tview_mapping& m, std::int32_t x0, std::int32_t x1)
{
    tlayer_sampling s;
    s.layer = &layer;
    s.blend = blend_span_for(layer.blend_mode);
    s.factor = opacity_factor(layer.opacity);
    s.columns = sample_columns(m, x0, x1, layer.left, layer.bitmap.width());
    s.row_offset = double(m.oy) - layer.top;
    const auto inside = [](std::int32_t column) { return column >= 0; };
    s.first = std::int32_t(std::find_if(s.columns.begin(), s.columns.end(), inside) - s.columns.begin());
    s.last = std::int32_t(std::find_if_not(s.columns.begin() + s.first, s.columns.end(), inside) - s.columns.begin());
    s.contiguous = s.last > s.first && s.columns[std::size_t(s.last - 1)] - s.columns[std::size_t(s.first)] ==
                                           s.last - 1 - s.first;
    if (layer.has_active_mask()) {
        s.mask = layer.mask.get();
        s.mask_columns = sample_columns(m, x0, x1, s.mask->left, s.mask->bitmap.width());
        s.mask_row_offset = double(m.oy) - s.mask->top;
    }
    return s;
}

// Per-thread working rows: a layer's sampled pixels and mask levels.
struct tspan_scratch {
    std::vector<std::uint32_t> pixels;
    std::vector<float> mask;
};

// Mixes the layer into view row y, whose pixel x0 is at `out`.
void mix_layer_row(const tlayer_sampling& s, std::uint8_t* out, double z, std::int32_t y, tspan_scratch& scratch)
{
    const Tfbitmap& src = s.layer->bitmap;
    const std::int32_t ly = sample_index(y / z + s.row_offset, src.height());
    if (ly < 0 || s.first >= s.last)
        return;
    const auto count = std::size_t(s.last - s.first);
    const std::int32_t* columns = s.columns.data() + s.first;
    const std::uint8_t* src_row = src.row(ly);
    // At 100 % the layer's own row serves; otherwise its sampled pixels are gathered.
    const std::uint32_t* pixels = scratch.pixels.data();
    if (s.contiguous) {
        pixels = reinterpret_cast<const std::uint32_t*>(src_row) + columns[0];
    } else {
        scratch.pixels.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            std::memcpy(&scratch.pixels[i], src_row + 4 * std::size_t(columns[i]), 4);
        pixels = scratch.pixels.data();
    }
    const float* mask = nullptr;
    if (s.mask) {
        const std::int32_t my = sample_index(y / z + s.mask_row_offset, s.mask->bitmap.height());
        if (my >= 0) {
            const std::uint8_t* mask_row = s.mask->bitmap.row(my);
            const std::int32_t* mask_columns = s.mask_columns.data() + s.first;
            scratch.mask.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                scratch.mask[i] = mask_columns[i] >= 0 ? float(mask_row[4 * std::size_t(mask_columns[i]) + red_byte])
                                                       : -1.0f;
            mask = scratch.mask.data();
        }
    }
    s.blend(pixels, mask, s.factor, out + 4 * std::size_t(s.first), std::int32_t(count));
}

enum class talpha_output { untouched, opaque };

// Fills dst's view area [x0, x1) x [y0, y1) from the background and mixes the
// given upper layers over it, row by row so that each view row stays in the
// cache while every layer passes over it. The view's alpha is left alone; a
// full-size result gets alpha 255 on the way.
void composite_area(const tdocument& doc, const std::vector<const tcalque*>& uppers, Tfbitmap& dst,
                    const tview_mapping& m, std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1,
                    talpha_output alpha_output = talpha_output::untouched)
{
    if (x1 <= x0 || y1 <= y0 || doc.layers.empty())
        return;
    const Tfbitmap& background = doc.layers.front()->bitmap;
    const std::vector<std::int32_t> background_columns = sample_columns(m, x0, x1, 0, background.width());
    std::vector<tlayer_sampling> samplings;
    samplings.reserve(uppers.size());
    for (const tcalque* layer : uppers)
        samplings.push_back(sample_layer(*layer, m, x0, x1));

    const std::int64_t work = std::int64_t(x1 - x0) * (y1 - y0) * std::int64_t(uppers.size() + 1);
    parallel_rows(y0, y1, work, [&](std::int32_t first, std::int32_t last) {
        tspan_scratch scratch;
        for (std::int32_t y = first; y < last; ++y) {
            std::uint8_t* out = dst.row(y) + 4 * std::size_t(x0);
            const std::int32_t iy = sample_index(y / m.z + double(m.oy), background.height());
            if (iy >= 0) {
                const std::uint8_t* src = background.row(iy);
                for (std::int32_t x = 0; x < x1 - x0; ++x) {
                    const std::int32_t ix = background_columns[std::size_t(x)];
                    if (ix < 0)
                        continue;
                    if (alpha_output == talpha_output::opaque) {
                        std::uint32_t pixel;
                        std::memcpy(&pixel, src + 4 * std::size_t(ix), 4);
                        pixel |= 0xFF000000u;
                        std::memcpy(out + 4 * std::size_t(x), &pixel, 4);
                    } else {
                        std::memcpy(out + 4 * std::size_t(x), src + 4 * std::size_t(ix), 3);
                    }
                }
            }
            for (const tlayer_sampling& s : samplings)
                mix_layer_row(s, out, m.z, y, scratch);
        }
    });
}

std::vector<const tcalque*> visible_uppers(const tdocument& doc)
{
    std::vector<const tcalque*> uppers;
    for (std::size_t i = 1; i < doc.layers.size(); ++i)
        if (doc.layers[i]->visible)
            uppers.push_back(doc.layers[i].get());
    return uppers;
}

} // namespace

void composite_view(const tdocument& doc, Tfbitmap& view, const tview_mapping& m, const trect& area)
{
    const std::int32_t x0 = std::max(std::int32_t(area.left * m.z), 0);
    const std::int32_t y0 = std::max(std::int32_t(area.top * m.z), 0);
    const std::int32_t x1 = std::min(std::int32_t(area.right * m.z), view.width() - 1);
    const std::int32_t y1 = std::min(std::int32_t(area.bottom * m.z), view.height() - 1);
    // The last row and column named are included.
    composite_area(doc, visible_uppers(doc), view, m, x0, x1 + 1, y0, y1 + 1);
}

void recomposite_all(const tdocument& doc, Tfbitmap& view, const tview_mapping& m)
{
    composite_view(doc, view, m, doc.bounds());
}

Tfbitmap flatten_image(const tdocument& doc)
{
    Tfbitmap flat(doc.width(), doc.height());
    composite_area(doc, visible_uppers(doc), flat, tview_mapping{}, 0, flat.width(), 0, flat.height(),
                   talpha_output::opaque);
    return flat;
}

namespace {

// Upper layer mixed over the background at full size, whatever its visibility.
void merge_into_background(tdocument& doc)
{
    const tcalque& upper = *doc.layers[1];
    Tfbitmap merged(doc.width(), doc.height());
    composite_area(doc, {&upper}, merged, tview_mapping{}, 0, merged.width(), 0, merged.height(),
                   talpha_output::opaque);
    doc.layers[0]->bitmap = std::move(merged);
}

std::uint8_t round_byte(long double value)
{
    return std::uint8_t(round_half_even(value));
}

// Two upper layers: the result covers both rectangles and keeps their
// combined coverage in its alpha; masks and visibility are not consulted.
void merge_two_uppers(tcalque& lower, const tcalque& upper)
{
    const trect lr = lower.rect(), ur = upper.rect();
    const trect r{std::min(lr.left, ur.left), std::min(lr.top, ur.top), std::max(lr.right, ur.right),
                  std::max(lr.bottom, ur.bottom)};
    Tfbitmap merged(r.width(), r.height());
    merged.fill_pixels(0, 0, 0, 0);

    for (std::int32_t y = 0; y < lower.bitmap.height(); ++y) {
        const std::uint8_t* p = lower.bitmap.row(y);
        std::uint8_t* q = merged.pixel(lr.left - r.left, lr.top - r.top + y);
        for (std::int32_t x = 0; x < lower.bitmap.width(); ++x, p += 4, q += 4) {
            std::memcpy(q, p, 3);
            q[alpha_byte] = round_byte((long double)p[alpha_byte] * lower.opacity / 255);
        }
    }
    for (std::int32_t y = 0; y < upper.bitmap.height(); ++y) {
        const std::uint8_t* u = upper.bitmap.row(y);
        const std::int32_t doc_y = ur.top + y;
        const bool row_in_lower = doc_y >= lr.top && doc_y < lr.bottom;
        std::uint8_t* q = merged.pixel(ur.left - r.left, doc_y - r.top);
        for (std::int32_t x = 0; x < upper.bitmap.width(); ++x, u += 4, q += 4) {
            const std::int32_t doc_x = ur.left + x;
            if (!row_in_lower || doc_x < lr.left || doc_x >= lr.right) {
                std::memcpy(q, u, 3);
                q[alpha_byte] = round_byte((long double)u[alpha_byte] * upper.opacity / 255);
                continue;
            }
            const std::uint8_t* l = lower.bitmap.pixel(doc_x - lr.left, doc_y - lr.top);
            const float a_l = float(l[alpha_byte] / 255.0 * lower.opacity / 255.0);
            const float a_u = float(u[alpha_byte] / 255.0 * upper.opacity / 255.0);
            const long double v = (long double)a_l + a_u - (long double)a_l * a_u;
            if (v == 0) {
                q[alpha_byte] = 0;
                continue;
            }
            for (int c = 0; c < 3; ++c)
                q[c] = round_byte((u[c] * (long double)a_u + l[c] * (long double)a_l * (1 - (long double)a_u)) / v);
            q[alpha_byte] = round_byte(v * 255);
        }
    }
    lower.bitmap = std::move(merged);
    lower.left = r.left;
    lower.top = r.top;
}

} // namespace

bool merge_layers(tdocument& doc, std::int32_t lower)
{
    if (lower < 0 || !doc.valid_layer(lower + 1))
        return false;
    tcalque& below = *doc.layers[std::size_t(lower)];
    const tcalque& above = *doc.layers[std::size_t(lower) + 1];
    if (lower > 0 && (below.blend_mode != normal || above.blend_mode != normal))
        return false;
    if (lower == 0)
        merge_into_background(doc);
    else
        merge_two_uppers(below, above);
    below.opacity = 255;
    forget_text(doc, lower);
    doc.layers.erase(doc.layers.begin() + lower + 1);
    set_current_layer(doc, std::max(doc.current_layer - 1, 0));
    return true;
}

void repaint_view_pixel(const tdocument& doc, Tfbitmap& view, const tview_mapping& m, std::int32_t x, std::int32_t y)
{
    if (doc.layers.empty())
        return;
    const auto ix = std::int32_t(round_half_even(x / m.z + m.ox));
    const auto iy = std::int32_t(round_half_even(y / m.z + m.oy));
    if (ix < 0 || iy < 0 || ix >= doc.width() || iy >= doc.height())
        return;
    std::array<std::uint8_t, 3> colour;
    std::memcpy(colour.data(), doc.layers[0]->bitmap.pixel(ix, iy), 3);
    for (std::size_t i = 1; i < doc.layers.size(); ++i) {
        const tcalque& layer = *doc.layers[i];
        const std::int32_t lx = ix - layer.left, ly = iy - layer.top;
        if (lx < 0 || ly < 0 || lx >= layer.bitmap.width() || ly >= layer.bitmap.height())
            continue;
        const std::uint8_t* p = layer.bitmap.pixel(lx, ly);
        float a = pixel_alpha(p[alpha_byte], opacity_factor(layer.opacity));
        if (layer.has_active_mask()) {
            const tcalque& mask = *layer.mask;
            const std::int32_t mx = ix - mask.left, my = iy - mask.top;
            if (mx >= 0 && my >= 0 && mx < mask.bitmap.width() && my < mask.bitmap.height())
                a = masked_alpha(a, mask.bitmap.pixel(mx, my)[red_byte]);
        }
        for (int c = 0; c < 3; ++c)
            colour[std::size_t(c)] = blend_channel<normal_blend>(p[c], colour[std::size_t(c)], a);
    }
    if (x >= 0 && y >= 0 && x < view.width() && y < view.height())
        std::memcpy(view.pixel(x, y), colour.data(), 3);
}

} // namespace velmora
