#include "document/view.h"

#include "document/document.h"
#include "document/rounding.h"

#include <algorithm>
#include <charconv>

namespace velmora {

tview_layout size_view(std::int32_t doc_width, std::int32_t doc_height, double z, std::int32_t client_width,
                       std::int32_t client_height, std::int32_t ruler, tview_mapping& mapping)
{
    const auto zoomed_width = std::int32_t(doc_width * z);
    const auto zoomed_height = std::int32_t(doc_height * z);
    const bool wide = zoomed_width > client_width;
    const bool tall = zoomed_height > client_height;
    tview_layout layout;
    layout.horizontal_bar = wide;
    layout.vertical_bar = tall;
    if (wide && tall) {
        layout.view_width = client_width - ruler - scroll_bar_thickness;
        layout.view_height = client_height - ruler - scroll_bar_thickness;
    } else if (wide) {
        layout.view_width = std::min(zoomed_width, client_width - ruler - scroll_bar_thickness);
        layout.view_height = zoomed_height;
        mapping.oy = 0;
    } else if (tall) {
        layout.view_width = zoomed_width;
        layout.view_height = std::min(zoomed_height, client_height - ruler - scroll_bar_thickness);
        mapping.ox = 0;
    } else {
        layout.view_width = zoomed_width;
        layout.view_height = zoomed_height;
        mapping.ox = 0;
        mapping.oy = 0;
    }
    layout.view_width = std::max(layout.view_width, 0);
    layout.view_height = std::max(layout.view_height, 0);
    // A scrolled axis starts right after the ruler; the other is centred.
    layout.view_left = wide ? ruler : ruler + std::max(0, (client_width - ruler - layout.view_width) / 2);
    layout.view_top = tall ? ruler : ruler + std::max(0, (client_height - ruler - layout.view_height) / 2);
    if (wide)
        layout.horizontal_range = std::max(0, zoomed_width - layout.view_width);
    if (tall)
        layout.vertical_range = std::max(0, zoomed_height - layout.view_height);
    return layout;
}

float scroll_origin(std::int32_t position, double z, std::int32_t doc_size, std::int32_t view_size)
{
    return float(std::min(std::max(position / z, 0.0), doc_size - view_size / z));
}

float zoom_origin(float origin, std::int32_t doc_size, std::int32_t client_size, std::int32_t view_size, double focus,
                  double previous, double z)
{
    if (std::int32_t(doc_size * z) < client_size)
        return 0;
    const double centred = focus / previous + origin - (view_size - scroll_bar_thickness) / z / 2;
    return float(std::max(0.0, std::min(doc_size - (client_size - scroll_bar_thickness) / z, centred)));
}

int zoom_to_fit(std::int32_t width, std::int32_t height, std::int32_t client_width, std::int32_t client_height)
{
    int index = 11;
    while (index > zoom_index_min &&
           (round_half_even((long double)width * zoom_factor(index)) > client_width ||
            round_half_even((long double)height * zoom_factor(index)) > client_height))
        --index;
    return index;
}

std::string zoom_percent_text(int zoom_index)
{
    // Four significant digits at most, "." whatever the locale.
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, zoom_table[std::size_t(zoom_index - 1)] / 10.0,
                                      std::chars_format::general, 4);
    return std::string(text, result.ptr);
}

truler_step ruler_step(double p)
{
    const auto step = [](long double pixels) { return std::int32_t(round_half_even(pixels)); };
    if (p < 5)
        return {step(8 * p), 8, 0, false};
    if (p < 20)
        return {step(4 * p), 4, 0, false};
    if (p < 40)
        return {step(2 * p), 2, 0, false};
    if (p < 120)
        return {step(p), 1, 0, false};
    if (p < 200)
        return {step(p / 2), 0.5, 2, true};
    if (p < 350)
        return {step(p / 4), 0.25, 2, true};
    return {step(p / 6), 1.0 / 6, 2, true};
}

tsize navigator_size(std::int32_t doc_width, std::int32_t doc_height)
{
    if (doc_width <= 0 || doc_height <= 0)
        return {120, 110};
    if (doc_height >= doc_width)
        return {std::int32_t(round_half_even(110.0L * doc_width / doc_height)), 110};
    return {120, std::int32_t(round_half_even(120.0L * doc_height / doc_width))};
}

trect nudge_current_layer(tdocument& doc, std::int32_t dx, std::int32_t dy)
{
    if (doc.current_layer < 1 || std::size_t(doc.current_layer) >= doc.layers.size())
        return {};
    tcalque& layer = doc.current_layer_record();
    tcalque* moved = doc.mask_editing ? layer.mask.get() : &layer;
    if (!moved || (dx == 0 && dy == 0))
        return {};
    const trect before = moved->rect();
    moved->left += dx;
    moved->top += dy;
    const trect after = moved->rect();
    // Nothing records the move in the history, but the document has changed.
    doc.modified = 1;
    return intersect(doc.bounds(), {std::min(before.left, after.left), std::min(before.top, after.top),
                                    std::max(before.right, after.right), std::max(before.bottom, after.bottom)});
}

} // namespace velmora
