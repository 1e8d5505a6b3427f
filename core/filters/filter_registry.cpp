#include "filters/filter_registry.h"

#include "document/error.h"
#include "filters/blur.h"
#include "filters/colour_adjust.h"
#include "filters/filter_framework.h"
#include "shell/apply_step.h"
#include "shell/catalogue.h"
#include "shell/preferences.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace velmora {

double tfilter_values::number(std::string_view key) const
{
    const auto it = numbers.find(key);
    if (it == numbers.end())
        throw velmora_error("@ch_error", "no value for '" + std::string(key) + "'");
    return it->second;
}

const std::string& tfilter_values::text(std::string_view key) const
{
    const auto it = texts.find(key);
    if (it == texts.end())
        throw velmora_error("@ch_error", "no value for '" + std::string(key) + "'");
    return it->second;
}

namespace {

tadjust_area area_of(const tfilter_job& job)
{
    return {active_selection(job.doc), job.target.left, job.target.top};
}

bool is_background(const tdocument& doc, const tcalque& layer)
{
    return !doc.layers.empty() && doc.layers.front().get() == &layer;
}

void run_soften(const tfilter_job& job)
{
    const bool alpha = process_alpha(job.target);
    const tselection* selection = active_selection(job.doc);
    if (!selection) {
        soften_pass(job.source, job.target.bitmap, alpha);
        return;
    }
    Tfbitmap softened = job.source;
    soften_pass(job.source, softened, alpha);
    blend_by_selection(job.target.bitmap, softened, job.target.left, job.target.top, *selection, alpha);
}

void run_gaussian_blur(const tfilter_job& job)
{
    const auto sigma = float(job.values.number("sigma"));
    const bool alpha = process_alpha(job.target);
    const tselection* selection = active_selection(job.doc);
    if (!selection) {
        gaussian_blur(job.doc, job.target, alpha, 0, sigma);
        return;
    }
    // Blur a copy, let the target grow as the copy did, then mix by coverage.
    tcalque scratch;
    scratch.preserve_transparency = job.target.preserve_transparency;
    scratch.bitmap = job.source;
    scratch.left = job.target.left;
    scratch.top = job.target.top;
    const bool background = is_background(job.doc, job.target);
    gaussian_blur(job.doc, scratch, !background, 0, sigma);
    if (!background && scratch.bitmap.width() != job.target.bitmap.width()) {
        const std::int32_t mx = (scratch.bitmap.width() - job.target.bitmap.width()) / 2;
        const std::int32_t my = (scratch.bitmap.height() - job.target.bitmap.height()) / 2;
        grow_layer(job.doc, job.target, mx, my, job.target.left, job.target.top);
    }
    blend_by_selection(job.target.bitmap, scratch.bitmap, job.target.left, job.target.top, *selection, alpha);
}

void run_motion_blur(const tfilter_job& job)
{
    const std::int32_t speed = job.values.integer("speed");
    const bool alpha = process_alpha(job.target);
    if (alpha && job.doc.current_layer > 0 && !is_background(job.doc, job.target)) {
        grow_layer(job.doc, job.target, speed, speed, job.target.left, job.target.top);
        const Tfbitmap grown = job.target.bitmap;
        motion_blur(job.target.bitmap, grown, speed, job.values.integer("angle"), alpha, area_of(job));
        return;
    }
    motion_blur(job.target.bitmap, job.source, speed, job.values.integer("angle"), alpha, area_of(job));
}

void run_radial_blur(const tfilter_job& job)
{
    radial_blur(job.target.bitmap, job.source, job.values.integer("angle"), process_alpha(job.target), area_of(job));
}

void run_zoom_blur(const tfilter_job& job)
{
    zoom_blur(job.target.bitmap, job.source, 2 * job.values.integer("speed") + 5, process_alpha(job.target),
              area_of(job));
}

template <const tnoyau_de_convolution& (*Kernel)()>
void run_fixed_convolution(const tfilter_job& job)
{
    convolve(Kernel(), job.source, job.target.bitmap, process_alpha(job.target), active_selection(job.doc),
             job.target.left, job.target.top);
}

void run_custom_convolution(const tfilter_job& job)
{
    const tcustom_convolution_settings settings =
        kernel_from_text(job.values.text("kernel"), job.values.integer("size"));
    const tcustom_kernel custom = build_custom_kernel(settings.cells, settings.kernel_size);
    convolve(custom.kernel, job.source, job.target.bitmap, process_alpha(job.target), active_selection(job.doc),
             job.target.left, job.target.top);
}

void check_custom_convolution(const tfilter_values& values)
{
    kernel_from_text(values.text("kernel"), values.integer("size"));
}

void run_remove_grey(const tfilter_job& job)
{
    remove_grey(job.target.bitmap, job.source, job.values.integer("tolerance"), job.values.integer("keep-dark") != 0,
                process_alpha(job.target));
}

void run_brightness_contrast(const tfilter_job& job)
{
    brightness_contrast(job.target.bitmap, job.source, job.values.integer("contrast"),
                        job.values.integer("brightness"), area_of(job));
}

void run_colour_balance(const tfilter_job& job)
{
    colour_balance(job.target.bitmap, job.source, job.values.integer("red"), job.values.integer("green"),
                   job.values.integer("blue"), area_of(job));
}

void run_hue_saturation(const tfilter_job& job)
{
    hsv_adjust(job.target.bitmap, job.source, job.values.integer("hue"), job.values.integer("saturation"),
               job.values.integer("brightness"), area_of(job));
}

void run_desaturate(const tfilter_job& job)
{
    desaturate(job.target.bitmap, area_of(job));
}

void run_invert(const tfilter_job& job)
{
    invert_colours(job.target.bitmap, area_of(job));
}

using enum tparam_kind;

constexpr tfilter_param gaussian_params[] = {
    {"sigma", "Radius:", real, 1.0, 100.0, 2.0, {}, {}, "standard deviation in pixels", "trackbar1", "Edit1"},
};
constexpr tfilter_param motion_params[] = {
    {"angle", "Direction (\xC2\xB0)", integer, -1000000, 1000000, 0, "angle", {}, "degrees, counter-clockwise", "angleedit"},
    {"speed", "Speed:", integer, 1, 100, 10, "speed", {}, "length of the trail in pixels", "Speed", "Edit1"},
};
constexpr tfilter_param radial_params[] = {
    {"angle", "Rotation Speed:", integer, 1, 360, 15, {}, {}, "arc in degrees", "TrackBar1", "Edit1"},
};
constexpr tfilter_param zoom_params[] = {
    {"speed", "Speed:", integer, 1, 100, 10, {}, {}, "2 x speed + 5 samples", "TrackBar1", "Edit1"},
};
constexpr tfilter_param custom_params[] = {
    {"size", "Convolution Kernel Size:", integer, 3, 5, 5, {}, {}, "3 or 5"},
    {"kernel", "", text, 0, 0, 0, {}, "0/0/0/0/0/0/1/2/1/0/0/2/4/2/0/0/1/2/1/0/0/0/0/0/0",
     "cells row by row separated by /"},
};
constexpr tfilter_param remove_grey_params[] = {
    {"tolerance", "Tolerance:", integer, 0, 255, 255, {}, {}, "channels above it are light", "TrackBar2", "Edit2"},
    {"keep-dark", "Maintain darker shapes", flag, 0, 1, 0, {}, {}, "keep light pixels next to dark ones", "CheckBox2"},
};
constexpr tfilter_param brightness_params[] = {
    {"brightness", "Brightness:", integer, -255, 255, 0, {}, {}, "added to each channel", "TrackBar1", "Edit1"},
    {"contrast", "Constrast:", integer, 0, 400, 100, {}, {}, "percentage, scales toward 0", "TrackBar2", "Edit2", 4},
};
constexpr tfilter_param balance_params[] = {
    {"red", "Red", integer, -100, 100, 0, {}, {}, "shift of red (negative: cyan)", "TrackBar1", "Edit1"},
    {"green", "Green", integer, -100, 100, 0, {}, {}, "shift of green (negative: magenta)", "TrackBar2", "Edit2"},
    {"blue", "Blue", integer, -100, 100, 0, {}, {}, "shift of blue (negative: yellow)", "TrackBar3", "Edit3"},
};
constexpr tfilter_param hsv_params[] = {
    {"hue", "Hue:", integer, -180, 180, 0, {}, {}, "degrees, clamped at 0 and 360", "Mousebar1", "Edit1"},
    {"saturation", "Saturation:", integer, -255, 255, 0, {}, {}, "", "Mousebar2", "Edit2"},
    {"brightness", "Brightness:", integer, -255, 255, 0, {}, {}, "", "Mousebar3", "Edit3"},
};

constexpr auto target = tfilter_layer::target;
constexpr auto layer_itself = tfilter_layer::active_layer;

const tfilter registry[] = {
    {"soften", "Soften1Click", "@ch_soften", {}, {}, {}, target, true, false, run_soften},
    {"gaussian-blur", "GaussianBlur1Click", "@ch_gaussian_blur", "TForm37", {}, gaussian_params, target, true, true,
     run_gaussian_blur, nullptr, 50},
    {"motion-blur", "Button4Click", "@ch_motion_blur", "TForm38", "motion blur", motion_params, target, false, true,
     run_motion_blur, nullptr, 2},
    {"radial-blur", "RadialBlur1Click", "@ch_radial_blur", "TForm39", {}, radial_params, target, false, false,
     run_radial_blur},
    {"zoom-blur", "ZoomBlur1Click", "@ch_zoom_blur", "TForm17", {}, zoom_params, target, false, false,
     run_zoom_blur},
    {"sharpen", "Sharpen2Click", "@ch_sharpen", {}, {}, {}, target, false, false,
     run_fixed_convolution<sharpen_kernel>},
    {"edge-enhancement", "EdgeEnhancement1Click", "@ch_edge_enhancement", {}, {}, {}, target, false, false,
     run_fixed_convolution<edge_enhancement_kernel>},
    {"edge-detection", "Edgedetection1Click", "@ch_edge_detection", {}, {}, {}, target, false, false,
     run_fixed_convolution<edge_detection_kernel>},
    {"custom-convolution", "CustomConvolution1Click", "@ch_custom_convolution", "TForm35", "custom convolution",
     custom_params, target, false, false, run_custom_convolution, check_custom_convolution, 10},
    {"remove-grey-levels", "suppressgreylevel1Click", "@ch_remove_gray_levels", "TForm12", {}, remove_grey_params,
     target, false, false, run_remove_grey, nullptr, 10, true, true},
    {"brightness-contrast", "Luminosit1Click", "@ch_brightness", "TForm5", {}, brightness_params, target, false,
     false, run_brightness_contrast, nullptr, 10, true},
    {"colour-balance", "Teintes1Click", "@ch_color_balance", "TForm9", {}, balance_params, layer_itself, false,
     false, run_colour_balance, nullptr, 10, true},
    {"hue-saturation", "HueSaturationandLightness1Click", "@ch_hue_and_saturation", "TForm13", {}, hsv_params,
     layer_itself, false, false, run_hue_saturation, nullptr, 10},
    {"desaturate", "Desaturate1Click", "@ch_desaturate", {}, {}, {}, layer_itself, false, false, run_desaturate},
    {"invert", "Invert1Click", "@ch_invert", {}, {}, {}, target, false, false, run_invert},
};

std::string format_number(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.10g", value);
    return buffer;
}

void restore_target(tcalque& target, const Tfbitmap& pixels, std::int32_t left, std::int32_t top)
{
    target.bitmap = pixels;
    target.left = left;
    target.top = top;
}

} // namespace

std::span<const tfilter> filter_registry()
{
    return registry;
}

const tfilter* find_filter(std::string_view name_or_handler)
{
    for (const tfilter& filter : registry)
        if (filter.name == name_or_handler || filter.handler == name_or_handler)
            return &filter;
    return nullptr;
}

const tfilter_param* find_param(const tfilter& filter, std::string_view key)
{
    for (const tfilter_param& param : filter.params)
        if (param.key == key)
            return &param;
    return nullptr;
}

tfilter_values default_values(const tfilter& filter)
{
    tfilter_values values;
    for (const tfilter_param& param : filter.params) {
        if (param.kind == text)
            values.texts[std::string(param.key)] = std::string(param.default_text);
        else
            values.numbers[std::string(param.key)] = param.default_value;
    }
    return values;
}

tfilter_values stored_values(const tfilter& filter)
{
    tfilter_values values = default_values(filter);
    if (filter.preference_section.empty())
        return values;
    for (const tfilter_param& param : filter.params) {
        if (param.preference_key.empty())
            continue;
        const std::string key(param.key);
        switch (param.kind) {
        case integer:
            values.numbers[key] = clamp_value(
                param, read_int(filter.preference_section, param.preference_key, std::int32_t(param.default_value)));
            break;
        case real:
            values.numbers[key] =
                clamp_value(param, read_float(filter.preference_section, param.preference_key, param.default_value));
            break;
        case flag:
            values.numbers[key] = read_bool(filter.preference_section, param.preference_key, param.default_value != 0);
            break;
        case text:
            values.texts[key] = read_string(filter.preference_section, param.preference_key, param.default_text);
            break;
        }
    }
    return values;
}

void store_values(const tfilter& filter, const tfilter_values& values)
{
    if (filter.preference_section.empty())
        return;
    for (const tfilter_param& param : filter.params) {
        if (param.preference_key.empty())
            continue;
        switch (param.kind) {
        case integer: write_int(filter.preference_section, param.preference_key, values.integer(param.key)); break;
        case real: write_float(filter.preference_section, param.preference_key, values.number(param.key)); break;
        case flag: write_bool(filter.preference_section, param.preference_key, values.number(param.key) != 0); break;
        case text: write_string(filter.preference_section, param.preference_key, values.text(param.key)); break;
        }
    }
}

double clamp_value(const tfilter_param& param, double value)
{
    if (param.kind == text)
        return value;
    if (param.kind != real)
        value = std::trunc(value);
    return std::clamp(value, param.minimum, param.maximum);
}

void set_value(const tfilter& filter, tfilter_values& values, std::string_view key, std::string_view value_text)
{
    const tfilter_param* param = find_param(filter, key);
    std::string where = "'";
    where.append(key).append("' of filter '").append(filter.name).append("'");
    if (!param)
        throw velmora_error("@ch_error", "unknown parameter " + where);
    if (param->kind == text) {
        values.texts[std::string(key)] = std::string(value_text);
        return;
    }
    double value = 0;
    if (!parse_number(value_text, value))
        throw velmora_error("@ch_error", "'" + std::string(value_text) + "' is not a number for " + where);
    if (param->kind != real && value != std::trunc(value))
        throw velmora_error("@ch_error", "'" + std::string(value_text) + "' is not a whole number for " + where);
    if (value < param->minimum || value > param->maximum)
        throw velmora_error("@ch_error", std::string(value_text) + " is outside " + format_number(param->minimum) +
                                             ".." + format_number(param->maximum) + " for " + where);
    values.numbers[std::string(key)] = value;
}

tcalque& filter_layer(tdocument& doc, const tfilter& filter)
{
    return filter.layer == tfilter_layer::active_layer ? active_layer(doc) : filter_target(doc);
}

void check_filter_selection(tdocument& doc, const tfilter& filter)
{
    if (filter.needs_touching_selection && !selection_touches_layer(doc, filter_layer(doc, filter)))
        throw velmora_error("@ch_empty_selection", "the selection covers no pixel of the layer");
}

void run_filter(tdocument& doc, const tfilter& filter, const tfilter_values& values)
{
    check_filter_selection(doc, filter);
    if (filter.check)
        filter.check(values);
    tcalque& target = filter_layer(doc, filter);
    const Tfbitmap source = target.bitmap;
    const std::int32_t left = target.left;
    const std::int32_t top = target.top;
    try {
        filter.run({doc, target, source, values});
    } catch (...) {
        // Out of memory half-way: the layer goes back to what it was.
        restore_target(target, source, left, top);
        throw;
    }
}

struct tfilter_session::tbackup {
    tcalque* target;
    Tfbitmap pixels;
    std::int32_t left;
    std::int32_t top;
};

tfilter_session::tfilter_session(tdocument& doc, const tfilter& filter) : doc_(doc), filter_(filter)
{
    check_filter_selection(doc, filter);
    tcalque& target = filter_layer(doc, filter);
    backup_ = std::make_unique<tbackup>(tbackup{&target, target.bitmap, target.left, target.top});
}

tfilter_session::~tfilter_session()
{
    try {
        cancel();
    } catch (...) {
        // Copying the backup back failed for memory: nothing more can be done here.
    }
}

tcalque& tfilter_session::target() const
{
    return *backup_->target;
}

void tfilter_session::restore()
{
    if (backup_)
        restore_target(*backup_->target, backup_->pixels, backup_->left, backup_->top);
}

void tfilter_session::preview(const tfilter_values& values)
{
    if (!open_)
        return;
    restore();
    if (filter_.check)
        filter_.check(values);
    try {
        filter_.run({doc_, *backup_->target, backup_->pixels, values});
    } catch (...) {
        restore();
        throw;
    }
    previewed_ = true;
}

std::string tfilter_session::commit(const tfilter_values& values, bool compute)
{
    if (compute)
        preview(values);
    open_ = false;
    backup_.reset();
    return translate(filter_.label_key);
}

void tfilter_session::cancel()
{
    if (!open_)
        return;
    restore();
    abandon();
}

void tfilter_session::abandon()
{
    open_ = false;
    backup_.reset();
}

tcustom_convolution_settings read_custom_convolution_settings()
{
    tcustom_convolution_settings settings;
    constexpr std::string_view section = "custom convolution";
    settings.kernel_size = read_int(section, "kernel size", kernel_size_5) == kernel_size_3 ? kernel_size_3
                                                                                             : kernel_size_5;
    for (std::size_t n = 0; n < settings.cells.size(); ++n)
        settings.cells[n] = read_string(section, std::to_string(n + 1), settings.cells[n]);
    return settings;
}

void store_custom_convolution_settings(const tcustom_convolution_settings& settings)
{
    constexpr std::string_view section = "custom convolution";
    write_int(section, "kernel size", settings.kernel_size);
    for (std::size_t n = 0; n < settings.cells.size(); ++n)
        write_string(section, std::to_string(n + 1), settings.cells[n]);
}

std::string kernel_text(const tcustom_convolution_settings& settings)
{
    const std::int32_t side = settings.kernel_size == kernel_size_3 ? 3 : 5;
    const std::int32_t offset = (5 - side) / 2;
    std::string out;
    for (std::int32_t row = 0; row < side; ++row)
        for (std::int32_t column = 0; column < side; ++column) {
            if (row + column > 0)
                out += '/';
            out += settings.cells[std::size_t((column + offset) * 5 + row + offset)];
        }
    return out;
}

tcustom_convolution_settings kernel_from_text(std::string_view text, std::int32_t side)
{
    if (side != 3 && side != 5)
        throw velmora_error("@ch_error", "the kernel size is 3 or 5, not " + std::to_string(side));
    std::vector<std::string_view> cells;
    for (std::size_t start = 0;;) {
        const std::size_t slash = text.find('/', start);
        cells.push_back(text.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos)
            break;
        start = slash + 1;
    }
    if (cells.size() != std::size_t(side * side))
        throw velmora_error("@ch_error", "a " + std::to_string(side) + "x" + std::to_string(side) + " kernel needs " +
                                             std::to_string(side * side) + " cells separated by /, not " +
                                             std::to_string(cells.size()));
    tcustom_convolution_settings settings;
    settings.kernel_size = side == 3 ? kernel_size_3 : kernel_size_5;
    settings.cells = {};
    const std::int32_t offset = (5 - side) / 2;
    for (std::int32_t row = 0; row < side; ++row)
        for (std::int32_t column = 0; column < side; ++column)
            settings.cells[std::size_t((column + offset) * 5 + row + offset)] = cells[std::size_t(row * side + column)];
    return settings;
}

std::string describe_filters()
{
    std::ostringstream out;
    for (const tfilter& filter : registry) {
        out << filter.name << "  (" << filter.handler << ", \"" << translate(filter.label_key) << "\")\n";
        for (const tfilter_param& param : filter.params) {
            out << "    " << param.key << '=';
            if (param.kind == text)
                out << param.default_text;
            else
                out << format_number(param.default_value) << "  [" << format_number(param.minimum) << ".."
                    << format_number(param.maximum) << (param.kind == real ? ", decimal" : "") << ']';
            if (!param.help.empty())
                out << "  " << param.help;
            out << '\n';
        }
    }
    return out.str();
}

bool run_filter_step(tdocument& doc, const tapply_step& step)
{
    const tfilter* filter = find_filter(step.name);
    if (!filter)
        return false;
    tfilter_values values = default_values(*filter);
    for (const auto& [key, value] : step.values)
        set_value(*filter, values, key, value);
    run_filter(doc, *filter, values);
    return true;
}

} // namespace velmora
