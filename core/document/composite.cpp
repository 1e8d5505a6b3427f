#include "document/composite.h"

#include "document/blend.h"
#include "document/blend_span.h"
#include "document/parallel.h"
#include "document/rounding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// Which raster column each view column samples, and the run of view columns
// [first, last) inside the raster (columns only grow with x, so they form one
// run); contiguous when neighbouring view columns sample neighbouring raster
// columns there.
struct tcolumn_sampling {
    std::vector<std::int32_t> columns; // -1 outside
    std::int32_t first = 0;
    std::int32_t last = 0;
    bool contiguous = false;
};

tcolumn_sampling sample_columns(const tview_mapping& m, std::int32_t x0, std::int32_t x1, std::int32_t left,
                                std::int32_t width)
{
    tcolumn_sampling s;
    s.columns.resize(std::size_t(x1 - x0));
    for (std::int32_t x = x0; x < x1; ++x)
        s.columns[std::size_t(x - x0)] = sample_index(x / m.z + (double(m.ox) - left), width);
    const auto inside = [](std::int32_t column) { return column >= 0; };
    s.first = std::int32_t(std::find_if(s.columns.begin(), s.columns.end(), inside) - s.columns.begin());
    s.last = std::int32_t(std::find_if_not(s.columns.begin() + s.first, s.columns.end(), inside) - s.columns.begin());
    s.contiguous = s.last > s.first && s.columns[std::size_t(s.last - 1)] - s.columns[std::size_t(s.first)] ==
                                           s.last - 1 - s.first;
    return s;
}

// Everything the row loop needs about one layer for one view area, computed
// once before the rows are mixed.
struct tlayer_sampling {
    const tcalque* layer = nullptr;
    const tcalque* mask = nullptr;
    tblend_span blend = nullptr;
    float factor = 0;
    tcolumn_sampling columns;
    tcolumn_sampling mask_columns;
    double row_offset = 0; // layer row = truncate(y / z + row_offset)
    double mask_row_offset = 0;
};

tlayer_sampling sample_layer(const tcalque& layer, const tview_mapping& m, std::int32_t x0, std::int32_t x1)
{
    tlayer_sampling s;
    s.layer = &layer;
    s.blend = blend_span_for(layer.blend_mode);
    s.factor = opacity_factor(layer.opacity);
    s.columns = sample_columns(m, x0, x1, layer.left, layer.bitmap.width());
    s.row_offset = double(m.oy) - layer.top;
    if (layer.has_active_mask()) {
        s.mask = layer.mask.get();
        s.mask_columns = sample_columns(m, x0, x1, s.mask->left, s.mask->bitmap.width());
        s.mask_row_offset = double(m.oy) - s.mask->top;
    }
    return s;
}

// Rows are mixed in chunks of this many view pixels.
constexpr std::int32_t chunk_pixels = 256;

// The raster rows one view row samples: this row, and the row the next view
// row will sample, fetched ahead while this one mixes (the rows of several
// layers take turns, too many streams for the hardware to foresee). Either is
// null outside the raster.
struct trow_pair {
    const std::uint8_t* row = nullptr;
    const std::uint8_t* next = nullptr;
};

trow_pair sampled_rows(const Tfbitmap& raster, double row_offset, double z, std::int32_t y)
{
    const std::int32_t row = sample_index(y / z + row_offset, raster.height());
    const std::int32_t next = sample_index((y + 1) / z + row_offset, raster.height());
    return {row >= 0 ? raster.row(row) : nullptr, next >= 0 && next != row ? raster.row(next) : nullptr};
}

// Copies row[columns[i]] to out[i] for i < count, the pixels of a zoomed
// view's row, and fetches the same columns of `next` ahead, into the second
// level cache: a zoomed-out view row spans many image rows' worth of lines.
void gather_pixels_portable(const std::uint32_t* row, const std::uint32_t* next, const std::int32_t* columns,
                            std::int32_t count, std::uint32_t* out)
{
    for (std::int32_t i = 0; i < count; ++i) {
        __builtin_prefetch(next + columns[i], 0, 2);
        out[i] = row[columns[i]];
    }
}

#if defined(__x86_64__)
// Sixteen pixels per gather; four fetches ahead per sixteen pixels reach
// every cache line down to a third of full size.
[[gnu::target("avx512f")]] void gather_pixels_avx512(const std::uint32_t* row, const std::uint32_t* next,
                                                      const std::int32_t* columns, std::int32_t count,
                                                      std::uint32_t* out)
{
    for (std::int32_t i = 0; i < count; i += 16) {
        const auto inside = __mmask16(count - i >= 16 ? 0xFFFF : (1u << (count - i)) - 1);
        const __m512i index = _mm512_maskz_loadu_epi32(inside, columns + i);
        for (std::int32_t k = i; k < std::min(i + 16, count); k += 4)
            __builtin_prefetch(next + columns[k], 0, 2);
        _mm512_mask_storeu_epi32(out + i, inside,
                                 _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), inside, index, row, 4));
    }
}
#endif

// The pixels view columns [from, to) sample from `rows`, all inside the
// raster: the row itself where the columns are contiguous, else gathered into
// `scratch`. The same columns of the next row are fetched ahead.
const std::uint32_t* sampled_pixels(const tcolumn_sampling& s, const trow_pair& rows, std::int32_t from,
                                    std::int32_t to, std::vector<std::uint32_t>& scratch)
{
    const std::int32_t* columns = s.columns.data();
    const auto* row = reinterpret_cast<const std::uint32_t*>(rows.row);
    if (s.contiguous) {
        if (rows.next) {
            const auto line = [](const std::uint8_t* p) { return std::uintptr_t(p) & ~std::uintptr_t(63); };
            const std::uintptr_t end = line(rows.next + 4 * std::size_t(columns[to - 1]));
            for (std::uintptr_t p = line(rows.next + 4 * std::size_t(columns[from])); p <= end; p += 64)
                __builtin_prefetch(reinterpret_cast<const void*>(p));
        }
        return row + columns[from];
    }
    scratch.resize(std::size_t(to - from));
    auto gather = gather_pixels_portable;
#if defined(__x86_64__)
    if (avx512_allowed(tkernel_set::best))
        gather = gather_pixels_avx512;
#endif
    gather(row, rows.next ? reinterpret_cast<const std::uint32_t*>(rows.next) : row, columns + from, to - from,
           scratch.data());
    return scratch.data();
}

// Per-thread working rows: a layer's and its mask's sampled pixels.
struct tspan_scratch {
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint32_t> mask;
};

// Mixes the layer into view row y, whose pixel x0 is at `out`.
void mix_layer_row(const tlayer_sampling& s, std::uint8_t* out, double z, std::int32_t y, tspan_scratch& scratch)
{
    const trow_pair rows = sampled_rows(s.layer->bitmap, s.row_offset, z, y);
    if (!rows.row)
        return;
    // The mask acts on view columns [mask_from, mask_to) of the layer's run.
    trow_pair mask_rows;
    std::int32_t mask_from = s.columns.last, mask_to = s.columns.last;
    if (s.mask) {
        mask_rows = sampled_rows(s.mask->bitmap, s.mask_row_offset, z, y);
        if (mask_rows.row) {
            mask_from = std::clamp(s.mask_columns.first, s.columns.first, s.columns.last);
            mask_to = std::clamp(s.mask_columns.last, mask_from, s.columns.last);
        }
    }
    for (std::int32_t from = s.columns.first; from < s.columns.last; from += chunk_pixels) {
        const std::int32_t to = std::min(from + chunk_pixels, s.columns.last);
        const std::uint32_t* pixels = sampled_pixels(s.columns, rows, from, to, scratch.pixels);
        const std::int32_t masked_from = std::clamp(mask_from, from, to);
        const std::int32_t masked_to = std::clamp(mask_to, masked_from, to);
        const std::uint32_t* levels =
            masked_to > masked_from ? sampled_pixels(s.mask_columns, mask_rows, masked_from, masked_to, scratch.mask)
                                    : nullptr;
        // Unmasked, masked and unmasked again.
        const std::int32_t bounds[4] = {from, masked_from, masked_to, to};
        for (int part = 0; part < 3; ++part)
            if (bounds[part + 1] > bounds[part])
                s.blend(pixels + (bounds[part] - from), part == 1 ? levels : nullptr, s.factor,
                        out + 4 * std::size_t(bounds[part]), bounds[part + 1] - bounds[part]);
    }
}

enum class talpha_output { untouched, opaque };

// Copies blue, green and red of `count` background pixels into the view
// (alpha 255 for a full-size result, else the view's alpha stays).
void copy_background(const std::uint32_t* pixels, std::uint8_t* out, std::int32_t count, talpha_output alpha_output)
{
    const std::uint32_t kept = alpha_output == talpha_output::opaque ? 0 : 0xFF000000u;
    const std::uint32_t added = alpha_output == talpha_output::opaque ? 0xFF000000u : 0;
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint32_t below;
        std::memcpy(&below, out + 4 * std::size_t(i), 4);
        const std::uint32_t pixel = (pixels[i] & 0x00FFFFFFu) | (below & kept) | added;
        std::memcpy(out + 4 * std::size_t(i), &pixel, 4);
    }
}

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
    const tcolumn_sampling background_columns = sample_columns(m, x0, x1, 0, background.width());
    std::vector<tlayer_sampling> samplings;
    samplings.reserve(uppers.size());
    for (const tcalque* layer : uppers)
        samplings.push_back(sample_layer(*layer, m, x0, x1));

    const std::int64_t work = std::int64_t(x1 - x0) * (y1 - y0) * std::int64_t(uppers.size() + 1);
    parallel_rows(y0, y1, work, [&](std::int32_t first, std::int32_t last) {
        tspan_scratch scratch;
        for (std::int32_t y = first; y < last; ++y) {
            std::uint8_t* out = dst.row(y) + 4 * std::size_t(x0);
            const trow_pair rows = sampled_rows(background, double(m.oy), m.z, y);
            if (rows.row)
                for (std::int32_t from = background_columns.first; from < background_columns.last;
                     from += chunk_pixels) {
                    const std::int32_t to = std::min(from + chunk_pixels, background_columns.last);
                    copy_background(sampled_pixels(background_columns, rows, from, to, scratch.pixels),
                                    out + 4 * std::size_t(from), to - from, alpha_output);
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
