#include "selection/selection_commands.h"

#include "document/error.h"
#include "document/rounding.h"
#include "selection/resample.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace velmora {

void select_all(tdocument& doc)
{
    const std::int32_t width = doc.width();
    const std::int32_t height = doc.height();
    create_selection_mask(doc, width, height, false, 255, 0, 0);
    std::vector<tpoint>& points = doc.outline.points;
    points.reserve(2 * (std::size_t(width) + std::size_t(height)));
    for (const std::int32_t y : {0, height - 1}) {
        for (std::int32_t x = 0; x < width; ++x)
            points.push_back({x, y});
        if (height == 1)
            break;
    }
    for (const std::int32_t x : {0, width - 1}) {
        for (std::int32_t y = 1; y + 1 < height; ++y)
            points.push_back({x, y});
        if (width == 1)
            break;
    }
    derive_view_outline(doc);
    doc.has_selection = 1;
}

void deselect(tdocument& doc)
{
    discard_selection(doc);
}

void inverse_selection(tdocument& doc)
{
    tselection old;
    if (active_selection(doc))
        old = std::move(doc.selection);
    create_selection_mask(doc, doc.width(), doc.height(), false, 255, 0, 0);
    Tfbitmap& mask = doc.selection.mask;
    const trect reached = intersect(
        {old.left, old.top, old.left + old.mask.width(), old.top + old.mask.height()}, mask.bounds());
    for (std::int32_t y = reached.top; y < reached.bottom; ++y) {
        std::uint8_t* out = mask.pixel(reached.left, y);
        const std::uint8_t* in = old.mask.pixel(reached.left - old.left, y - old.top);
        for (std::int32_t x = reached.left; x < reached.right; ++x, out += 4, in += 4)
            for (const int channel : {blue_byte, green_byte, red_byte})
                out[channel] = std::uint8_t(255 - in[channel]);
    }
    build_selection_outline(doc);
}

void get_selection_from_layer(tdocument& doc, const tcalque& layer)
{
    const Tfbitmap& pixels = layer.bitmap;
    create_selection_mask(doc, pixels.width(), pixels.height(), false, 0, layer.left, layer.top);
    Tfbitmap& mask = doc.selection.mask;
    for (std::int32_t y = 0; y < mask.height(); ++y) {
        std::uint8_t* out = mask.row(y);
        const std::uint8_t* in = pixels.row(y);
        for (std::int32_t x = 0; x < mask.width(); ++x, out += 4, in += 4)
            out[blue_byte] = out[green_byte] = out[red_byte] = in[alpha_byte];
    }
    clip_selection_to_layer(doc, layer);
    build_selection_outline(doc);
}

bool save_selection(tdocument& doc)
{
    const tselection* selection = active_selection(doc);
    if (!selection)
        return false;
    doc.saved_selections.push_back(std::make_unique<tselection>(*selection));
    return true;
}

void load_selection(tdocument& doc, std::size_t index, tcombine_operation operation)
{
    combine_saved_selection(doc, index, operation);
    build_selection_outline(doc);
}

namespace {

std::int32_t preview_side(std::int32_t side)
{
    return side == 0 ? 60 : side;
}

std::int32_t scaled(std::int32_t value, double scale)
{
    return std::int32_t(round_half_even((long double)value * scale));
}

} // namespace

double load_preview_scale(std::int32_t width, std::int32_t height)
{
    return double(load_preview_side) / std::max(preview_side(width), preview_side(height));
}

tsize load_preview_size(std::int32_t width, std::int32_t height)
{
    const double scale = load_preview_scale(width, height);
    return {std::max(1, scaled(preview_side(width), scale)), std::max(1, scaled(preview_side(height), scale))};
}

Tfbitmap load_preview(const tselection& saved, std::int32_t width, std::int32_t height)
{
    const double scale = load_preview_scale(width, height);
    const tsize size = load_preview_size(width, height);
    Tfbitmap preview(size.width, size.height);
    preview.fill_pixels(0, 0, 0, 255);
    Tfbitmap reduced(scaled(saved.mask.width(), scale), scaled(saved.mask.height(), scale));
    if (reduced.empty())
        return preview;
    resample(saved.mask, reduced, tresample_filter::triangle);
    const std::int32_t left = scaled(saved.left, scale);
    const std::int32_t top = scaled(saved.top, scale);
    const trect drawn =
        intersect({left, top, left + reduced.width(), top + reduced.height()}, preview.bounds());
    for (std::int32_t y = drawn.top; y < drawn.bottom; ++y) {
        std::uint8_t* out = preview.pixel(drawn.left, y);
        const std::uint8_t* in = reduced.pixel(drawn.left - left, y - top);
        for (std::int32_t x = drawn.left; x < drawn.right; ++x, out += 4, in += 4) {
            std::memcpy(out, in, 3);
            out[alpha_byte] = 255;
        }
    }
    return preview;
}

namespace {

tcombine_operation step_operation(const tapply_step& step)
{
    static constexpr std::string_view names[] = {"new", "add", "subtract", "intersect"};
    const std::optional<std::string_view> text = step.text("operation");
    if (text) {
        const auto* named = std::find(std::begin(names), std::end(names), *text);
        if (named != std::end(names))
            return tcombine_operation(named - std::begin(names));
    }
    return tcombine_operation(step.integer("operation", 0, 0, 3));
}

} // namespace

bool run_selection_step(tdocument& doc, const tapply_step& step)
{
    if (step.is({"load-selection", "Loadtheselection1Click"})) {
        step.allow_only({"index", "operation"});
        if (doc.saved_selections.empty())
            throw velmora_error("@ch_error", "step '" + step.name + "' needs a saved selection");
        const std::int32_t count = std::int32_t(std::min<std::size_t>(doc.saved_selections.size(), INT32_MAX));
        const std::int32_t index = step.integer("index", 1, 1, count);
        load_selection(doc, std::size_t(index - 1), step_operation(step));
        return true;
    }
    using tcommand = void (*)(tdocument&);
    static constexpr std::pair<std::array<std::string_view, 2>, tcommand> commands[] = {
        {{"select-all", "SelectAll1Click"}, select_all},
        {{"deselect", "Deselect1Click"}, deselect},
        {{"inverse", "Invert2Click"}, inverse_selection},
        {{"get-selection", "Gettheselection1Click"},
         [](tdocument& d) { get_selection_from_layer(d, d.current_layer_record()); }},
        {{"save-selection", "Savetheselection1Click"}, [](tdocument& d) { save_selection(d); }},
    };
    for (const auto& [names, command] : commands) {
        if (step.name != names[0] && step.name != names[1])
            continue;
        step.allow_only({});
        command(doc);
        return true;
    }
    return false;
}

} // namespace velmora
