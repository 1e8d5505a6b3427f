#pragma once

#include "document/document.h"
#include "filters/convolution.h"
#include "shell/apply_step.h"

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class tparam_kind : std::uint8_t {
    integer, // whole numbers in [minimum, maximum]
    real,    // decimal numbers in [minimum, maximum]
    flag,    // 0 or 1
    text,    // free text, checked by the filter
};

// One parameter of a filter: how the command line names it, the label the
// dialog shows beside its control, its range and default, and where the
// dialog keeps it between runs (empty: not kept).
struct tfilter_param {
    std::string_view key;
    std::string_view caption;
    tparam_kind kind = tparam_kind::integer;
    double minimum = 0;
    double maximum = 0;
    double default_value = 0;
    std::string_view preference_key = {};
    std::string_view default_text = {};
    std::string_view help = {};
    std::string_view control = {}; // the dialog's slider, spin edit or check box
    std::string_view edit = {};    // the edit box mirroring a slider
    // The edit box shows round(value / edit_divisor) and takes numbers on that scale.
    std::int32_t edit_divisor = 1;
};

struct tfilter_values {
    std::map<std::string, double, std::less<>> numbers;
    std::map<std::string, std::string, std::less<>> texts;

    double number(std::string_view key) const;
    std::int32_t integer(std::string_view key) const { return std::int32_t(number(key)); }
    const std::string& text(std::string_view key) const;
};

// What a run function gets: the target as it is to be filtered (its pixels
// equal `source` when the run starts) and the parameter values.
struct tfilter_job {
    tdocument& doc;
    tcalque& target;
    const Tfbitmap& source;
    const tfilter_values& values;
};

enum class tfilter_layer : std::uint8_t {
    target,       // the layer, or its mask while the mask is edited
    active_layer, // always the layer itself
};

// One filter or adjustment command.
struct tfilter {
    std::string_view name;      // command-line name: "gaussian-blur"
    std::string_view handler;   // menu handler: "GaussianBlur1Click"
    std::string_view label_key; // history label and menu text: "@ch_gaussian_blur"
    std::string_view dialog;    // window name of its dialog, empty when it has none
    std::string_view preference_section;
    std::span<const tfilter_param> params;
    tfilter_layer layer = tfilter_layer::target;
    bool needs_touching_selection = false; // refuses a selection over no pixel of the layer
    bool moves_layer = false;              // may grow the layer and shift its position
    void (*run)(const tfilter_job& job) = nullptr;
    // Checks values that depend on each other before a run; throws velmora_error("@ch_error").
    void (*check)(const tfilter_values& values) = nullptr;
    // The dialog's first preview runs this long after it shows; -1: the
    // dialog shows no preview and OK computes.
    std::int32_t preview_delay_ms = -1;
    bool preview_while_dragging = false; // otherwise the preview waits for the slider's release
    bool modeless = false;               // the dialog leaves the other windows usable
};

std::span<const tfilter> filter_registry();
// By command-line name or menu handler; null when unknown.
const tfilter* find_filter(std::string_view name_or_handler);
const tfilter_param* find_param(const tfilter& filter, std::string_view key);

tfilter_values default_values(const tfilter& filter);
// The defaults overridden by what the dialog stored last time.
tfilter_values stored_values(const tfilter& filter);
void store_values(const tfilter& filter, const tfilter_values& values);

// Sets one value from text. Throws velmora_error("@ch_error") naming the
// problem for an unknown key, a text that is not a number of the right kind,
// or a number outside the range.
void set_value(const tfilter& filter, tfilter_values& values, std::string_view key, std::string_view text);
// Clamps a number into the parameter's range (and to a whole number for integers).
double clamp_value(const tfilter_param& param, double value);

// The layer the filter works on, resolved now.
tcalque& filter_layer(tdocument& doc, const tfilter& filter);

// Throws velmora_error("@ch_empty_selection") when the filter needs a
// selection over some pixel of its layer and the document's has none there.
void check_filter_selection(tdocument& doc, const tfilter& filter);

// Runs a filter once to completion on the document (no dialog, no history).
// The caller recomposites and records filter.label_key.
void run_filter(tdocument& doc, const tfilter& filter, const tfilter_values& values);

// A filter dialog's session: holds the backup taken when it opened, restores
// it before every preview, and either keeps the last preview (commit) or puts
// pixels and position back (cancel, also when destroyed unfinished).
class tfilter_session {
public:
    // Throws like check_filter_selection; nothing is changed then.
    tfilter_session(tdocument& doc, const tfilter& filter);
    ~tfilter_session();
    tfilter_session(const tfilter_session&) = delete;
    tfilter_session& operator=(const tfilter_session&) = delete;

    const tfilter& filter() const { return filter_; }
    tcalque& target() const;
    // Computes the filter from the pixels at opening with these values.
    void preview(const tfilter_values& values);
    // Back to the pixels at opening without closing (a preview turned off).
    void restore();
    bool previewed() const { return previewed_; }
    // Keeps what the target holds; returns the history label in the active
    // language. With `compute` the filter runs first (OK with no preview shown).
    std::string commit(const tfilter_values& values, bool compute);
    void cancel();
    // The document is gone: drops the backup without writing anything back.
    void abandon();
    bool open() const { return open_; }

private:
    tdocument& doc_;
    const tfilter& filter_;
    struct tbackup;
    std::unique_ptr<tbackup> backup_;
    bool previewed_ = false;
    bool open_ = true;
};

// The custom convolution dialog's grid as the preferences keep it: section
// "custom convolution", "kernel size" (0 = 3*3, 1 = 5*5) and "1".."25".
struct tcustom_convolution_settings {
    std::int32_t kernel_size = kernel_size_5;
    tkernel_cells cells = default_kernel_cells();
};
tcustom_convolution_settings read_custom_convolution_settings();
void store_custom_convolution_settings(const tcustom_convolution_settings& settings);
// The grid as the command line writes it: the cells of the kernel row by row,
// top row first, separated by "/" (9 cells for 3*3, 25 for 5*5).
std::string kernel_text(const tcustom_convolution_settings& settings);
// Throws velmora_error("@ch_error") when the number of cells does not fit the size.
tcustom_convolution_settings kernel_from_text(std::string_view text, std::int32_t side);

// "name key=value ..." lines describing every filter, for --list.
std::string describe_filters();

// Runs one step of the form NAME[:key=value,...] if NAME is a filter; false
// when it is not one (the caller tries its other steps).
bool run_filter_step(tdocument& doc, const tapply_step& step);

} // namespace velmora
