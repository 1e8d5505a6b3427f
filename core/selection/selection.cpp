#include "selection/selection.h"

#include "document/error.h"
#include "document/rounding.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

namespace velmora {

std::uint8_t selection_coverage(const tselection& selection, std::int32_t x, std::int32_t y)
{
    const std::int64_t sx = std::int64_t(x) - selection.left;
    const std::int64_t sy = std::int64_t(y) - selection.top;
    if (sx < 0 || sy < 0 || sx >= selection.mask.width() || sy >= selection.mask.height())
        return 0;
    return selection.mask.pixel(std::int32_t(sx), std::int32_t(sy))[red_byte];
}

trect selection_extent_on_target(const tselection& selection, const Tfbitmap& target, std::int32_t left,
                                 std::int32_t top)
{
    const trect extent{selection.left - left, selection.top - top, selection.left - left + selection.mask.width(),
                       selection.top - top + selection.mask.height()};
    const trect visited = intersect(extent, target.bounds());
    return visited.empty() ? trect{} : visited;
}

bool selection_touches_layer(const tdocument& doc, const tcalque& layer)
{
    const tselection* selection = active_selection(doc);
    if (doc.mask_editing || !selection)
        return true;
    const trect visited = selection_extent_on_target(*selection, layer.bitmap, layer.left, layer.top);
    for (std::int32_t y = visited.top; y < visited.bottom; ++y) {
        const std::uint8_t* pixels = layer.bitmap.row(y);
        const std::uint8_t* coverage = selection->mask.row(y + layer.top - selection->top);
        for (std::int32_t x = visited.left; x < visited.right; ++x)
            if (pixels[4 * x + alpha_byte] != 0 && coverage[4 * (x + layer.left - selection->left) + red_byte] != 0)
                return true;
    }
    return false;
}

namespace {

bool inside_outline(const Tfbitmap& mask, std::int32_t x, std::int32_t y)
{
    return x >= 0 && y >= 0 && x < mask.width() && y < mask.height() &&
           mask.pixel(x, y)[red_byte] >= outline_threshold;
}

// 1 for every pixel of the row inside the outline, 0 elsewhere.
void inside_row(const std::uint8_t* pixels, std::int32_t width, std::uint8_t* inside)
{
    for (std::int32_t x = 0; x < width; ++x)
        inside[x] = pixels[4 * x + red_byte] >= outline_threshold;
}

void set_grey(std::uint8_t* pixel, std::uint8_t grey)
{
    pixel[blue_byte] = grey;
    pixel[green_byte] = grey;
    pixel[red_byte] = grey;
}

// Appends the x of every non-zero byte of `flags`, in order, as points of row y.
void append_flagged(const std::uint8_t* flags, std::int32_t width, std::int32_t left, std::int32_t y,
                    std::vector<tpoint>& points)
{
    std::int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        std::uint64_t word;
        std::memcpy(&word, flags + x, sizeof word);
        if (word == 0)
            continue;
        for (std::int32_t i = 0; i < 8; ++i)
            if (flags[x + i])
                points.push_back({left + x + i, y});
    }
    for (; x < width; ++x)
        if (flags[x])
            points.push_back({left + x, y});
}

// Drops every point equal to an earlier one, keeping the order.
void remove_repeated_points(std::vector<tpoint>& points)
{
    if (points.empty())
        return;
    std::int32_t min_x = INT32_MAX, min_y = INT32_MAX, max_x = INT32_MIN, max_y = INT32_MIN;
    for (const tpoint& p : points) {
        min_x = std::min(min_x, p.x);
        max_x = std::max(max_x, p.x);
        min_y = std::min(min_y, p.y);
        max_y = std::max(max_y, p.y);
    }
    const auto span = std::size_t(std::int64_t(max_x) - min_x + 1);
    std::vector<std::uint64_t> seen((span * std::size_t(std::int64_t(max_y) - min_y + 1) + 63) / 64);
    std::size_t kept = 0;
    for (const tpoint& p : points) {
        const std::size_t bit = std::size_t(p.y - min_y) * span + std::size_t(p.x - min_x);
        const std::uint64_t flag = std::uint64_t(1) << (bit % 64);
        if (seen[bit / 64] & flag)
            continue;
        seen[bit / 64] |= flag;
        points[kept++] = p;
    }
    points.resize(kept);
}

} // namespace

void create_selection_mask(tdocument& doc, std::int32_t width, std::int32_t height, bool with_margin,
                           std::uint8_t fill_grey, std::int32_t left, std::int32_t top)
{
    doc.outline.points.clear();
    doc.outline.view_points.clear();
    doc.selection.mask = Tfbitmap();
    if (width <= 0 || height <= 0) {
        doc.has_selection = 0;
        return;
    }
    const std::int32_t margin = with_margin ? 3 : 0;
    check_raster_size(std::int64_t(width) + 2 * margin, std::int64_t(height) + 2 * margin);
    doc.selection.mask = Tfbitmap(width + 2 * margin, height + 2 * margin);
    doc.selection.mask.fill_pixels(fill_grey, fill_grey, fill_grey, 255);
    doc.selection.left = left - margin;
    doc.selection.top = top - margin;
}

void discard_selection(tdocument& doc)
{
    create_selection_mask(doc, 0, 0, false, 0, 0, 0);
    doc.drag_points.count = 0;
}

void build_selection_outline(tdocument& doc)
{
    const tselection& selection = doc.selection;
    const Tfbitmap& mask = selection.mask;
    std::vector<tpoint>& points = doc.outline.points;
    points.clear();
    const std::int32_t width = mask.width();
    const std::int32_t height = mask.height();
    if (width > 0 && height > 0) {
        // Three rows of inside flags roll down the raster; a border pixel is
        // inside and not surrounded by inside pixels on all four sides.
        std::vector<std::uint8_t> flags(4 * std::size_t(width));
        std::uint8_t* above = flags.data();
        std::uint8_t* current = above + width;
        std::uint8_t* below = current + width;
        std::uint8_t* border = below + width;
        inside_row(mask.row(0), width, current);
        for (std::int32_t y = 0; y < height; ++y) {
            const std::int32_t document_y = y + selection.top;
            if (y + 1 < height)
                inside_row(mask.row(y + 1), width, below);
            if (y == 0 || y + 1 == height || width < 3) {
                append_flagged(current, width, selection.left, document_y, points);
            } else {
                border[0] = current[0];
                for (std::int32_t x = 1; x + 1 < width; ++x)
                    border[x] = current[x] & ((above[x] & below[x] & current[x - 1] & current[x + 1]) ^ 1);
                border[width - 1] = current[width - 1];
                append_flagged(border, width, selection.left, document_y, points);
            }
            std::swap(above, current);
            std::swap(current, below);
        }
    }
    derive_view_outline(doc);
    doc.has_selection = 1;
}

void derive_view_outline(tdocument& doc)
{
    const std::vector<tpoint>& points = doc.outline.points;
    std::vector<tpoint>& view = doc.outline.view_points;
    view.clear();
    const tselection& selection = doc.selection;
    const Tfbitmap& mask = selection.mask;
    const double z = zoom_factor(doc.zoom_index);
    const auto last_x = std::int32_t(doc.width() * z - 1);
    const auto last_y = std::int32_t(doc.height() * z - 1);
    // Keeps the outline of a selection lying within the image on the image,
    // so that edges on its last row and column show.
    const bool clamped = selection.left >= -2 && selection.top >= -2 &&
                         std::int64_t(selection.left) + mask.width() <= std::int64_t(last_x) + 2 &&
                         std::int64_t(selection.top) + mask.height() <= std::int64_t(last_y) + 2;
    const auto add = [&](double x, double y) {
        auto vx = std::int32_t(x);
        auto vy = std::int32_t(y);
        if (clamped) {
            vx = std::max(0, std::min(vx, last_x));
            vy = std::max(0, std::min(vy, last_y));
        }
        view.push_back({vx, vy});
    };
    if (z <= 1) {
        view.reserve(points.size());
        for (const tpoint& p : points)
            add(z * p.x, z * p.y);
        if (z < 1)
            remove_repeated_points(view);
        return;
    }
    const auto n = std::int32_t(z);
    view.reserve(points.size() * std::size_t(n + 1));
    for (const tpoint& p : points) {
        const std::int32_t x = p.x - selection.left;
        const std::int32_t y = p.y - selection.top;
        const double zx = z * p.x;
        const double zy = z * p.y;
        if (!inside_outline(mask, x, y - 1))
            for (std::int32_t k = 0; k <= n; ++k)
                add(zx + k, zy);
        if (!inside_outline(mask, x, y + 1))
            for (std::int32_t k = 0; k <= n; ++k)
                add(zx + k, z * (p.y + 1));
        if (!inside_outline(mask, x - 1, y))
            for (std::int32_t k = 1; k <= n; ++k)
                add(zx, zy + k);
        if (!inside_outline(mask, x + 1, y))
            for (std::int32_t k = 0; k < n; ++k)
                add(z * (p.x + 1), zy + k);
    }
}

void refresh_selection_outline(tdocument& doc)
{
    if (active_selection(doc)) {
        build_selection_outline(doc);
    } else {
        doc.outline.points.clear();
        doc.outline.view_points.clear();
    }
}

trect draw_marching_ants(const std::vector<tpoint>& view_points, std::int32_t phase, const tview_mapping& mapping,
                         Tfbitmap& view)
{
    const auto count = std::int32_t(view_points.size());
    const auto shift_x = std::int32_t(round_half_even((long double)mapping.z * mapping.ox));
    const auto shift_y = std::int32_t(round_half_even((long double)mapping.z * mapping.oy));
    const std::int32_t start = phase >= 0 && phase < count ? phase : 0;
    trect painted{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (std::int32_t i = 0; i < count; ++i) {
        const tpoint& p = view_points[std::size_t(i < count - start ? start + i : start + i - count)];
        const std::int64_t x = std::int64_t(p.x) - shift_x;
        const std::int64_t y = std::int64_t(p.y) - shift_y;
        if (x < 0 || y < 0 || x >= view.width() || y >= view.height())
            continue;
        const bool black = i < 8 || (i - 8) / 9 % 2 == 1;
        set_grey(view.pixel(std::int32_t(x), std::int32_t(y)), black ? 0 : 255);
        painted.left = std::min(painted.left, std::int32_t(x));
        painted.top = std::min(painted.top, std::int32_t(y));
        painted.right = std::max(painted.right, std::int32_t(x) + 1);
        painted.bottom = std::max(painted.bottom, std::int32_t(y) + 1);
    }
    return painted.empty() ? trect{} : painted;
}

namespace {

// The union raster of two placed coverage rasters; every colour byte of the
// result is combine(s, c), s and c being 0 where their raster does not reach.
template <typename Combine>
tselection combine_rasters(const tselection& saved, const tselection& current, Combine combine)
{
    const trect s{saved.left, saved.top, saved.left + saved.mask.width(), saved.top + saved.mask.height()};
    const trect c{current.left, current.top, current.left + current.mask.width(),
                  current.top + current.mask.height()};
    const trect u{std::min(s.left, c.left), std::min(s.top, c.top), std::max(s.right, c.right),
                  std::max(s.bottom, c.bottom)};
    check_raster_size(std::int64_t(u.right) - u.left, std::int64_t(u.bottom) - u.top);
    tselection result{u.left, u.top, current.name, Tfbitmap(u.width(), u.height())};
    for (std::int32_t y = u.top; y < u.bottom; ++y) {
        const std::uint8_t* s_row = y >= s.top && y < s.bottom ? saved.mask.row(y - s.top) : nullptr;
        const std::uint8_t* c_row = y >= c.top && y < c.bottom ? current.mask.row(y - c.top) : nullptr;
        std::uint8_t* out = result.mask.row(y - u.top);
        for (std::int32_t x = u.left; x < u.right; ++x, out += 4) {
            const std::uint8_t* s_pixel = s_row && x >= s.left && x < s.right ? s_row + 4 * (x - s.left) : nullptr;
            const std::uint8_t* c_pixel = c_row && x >= c.left && x < c.right ? c_row + 4 * (x - c.left) : nullptr;
            for (const int channel : {blue_byte, green_byte, red_byte})
                out[channel] = std::uint8_t(combine(s_pixel ? s_pixel[channel] : 0, c_pixel ? c_pixel[channel] : 0));
            out[alpha_byte] = 255;
        }
    }
    return result;
}

} // namespace

void combine_saved_selection(tdocument& doc, std::size_t index, tcombine_operation operation)
{
    if (index >= doc.saved_selections.size())
        throw velmora_error("@ch_error", "no saved selection " + std::to_string(index + 1));
    const tselection& saved = *doc.saved_selections[index];
    if (operation == tcombine_operation::replace) {
        doc.selection.mask = saved.mask;
        doc.selection.left = saved.left;
        doc.selection.top = saved.top;
        return;
    }
    tselection empty;
    if (!active_selection(doc)) {
        empty.mask = Tfbitmap(doc.width(), doc.height());
        empty.mask.fill_pixels(0, 0, 0, 255);
    }
    const tselection& current = active_selection(doc) ? doc.selection : empty;
    if (operation == tcombine_operation::add)
        doc.selection = combine_rasters(saved, current, [](int s, int c) { return std::min(255, s + c); });
    else if (operation == tcombine_operation::subtract)
        doc.selection = combine_rasters(saved, current, [](int s, int c) { return std::max(0, c - s); });
    else
        doc.selection = combine_rasters(saved, current, [](int s, int c) { return std::min(s, c); });
}

bool clip_selection_to_layer(tdocument& doc, const tcalque& layer)
{
    tselection& selection = doc.selection;
    Tfbitmap& mask = selection.mask;
    // The layer's columns in raster coordinates.
    const std::int64_t layer_left = std::int64_t(layer.left) - selection.left;
    const auto first = std::int32_t(std::clamp<std::int64_t>(layer_left, 0, mask.width()));
    const auto end = std::int32_t(std::clamp<std::int64_t>(layer_left + layer.bitmap.width(), first, mask.width()));
    trect kept{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (std::int32_t y = 0; y < mask.height(); ++y) {
        std::uint8_t* coverage = mask.row(y);
        const std::int64_t layer_y = std::int64_t(y) + selection.top - layer.top;
        const bool on_layer = layer_y >= 0 && layer_y < layer.bitmap.height();
        for (std::int32_t x = 0; x < mask.width(); ++x) {
            std::uint8_t* pixel = coverage + 4 * x;
            if (!on_layer || x < first || x >= end ||
                layer.bitmap.pixel(std::int32_t(x - layer_left), std::int32_t(layer_y))[alpha_byte] == 0) {
                set_grey(pixel, 0);
            } else if (pixel[red_byte] != 0) {
                kept.left = std::min(kept.left, x);
                kept.top = std::min(kept.top, y);
                kept.right = std::max(kept.right, x + 1);
                kept.bottom = std::max(kept.bottom, y + 1);
            }
        }
    }
    if (kept.empty())
        return false;
    if (kept == mask.bounds())
        return true;
    Tfbitmap cropped(kept.width(), kept.height());
    for (std::int32_t y = 0; y < cropped.height(); ++y)
        std::memcpy(cropped.row(y), mask.pixel(kept.left, kept.top + y), cropped.stride());
    mask = std::move(cropped);
    selection.left += kept.left;
    selection.top += kept.top;
    return true;
}

} // namespace velmora
