#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// How the progress of a long operation is shown: the editor's status bar, the
// command line's bar on standard error, or a test's recorder.
class tprogress_view {
public:
    enum class gauge_style { plain, percent, indeterminate };

    virtual ~tprogress_view() = default;
    // Panel 0 of the status bar.
    virtual void show_text(const std::string& text) = 0;
    // Panel 1: a plain panel, a gauge at `position` (0..100), or a moving bar.
    virtual void show_gauge(gauge_style style, int position) = 0;
    // Lets pending interface events run so the gauge repaints.
    virtual void pump() {}
};

// The one progress display of the program. Only one operation runs at a time.
// With no view installed the calls only keep count.
void set_progress_view(tprogress_view* view);

void progress_begin(const std::string& text);
void progress_set_total(std::int32_t total);
void progress_add_total(std::int32_t steps);
void progress_step(std::int32_t steps = 1);
void progress_set_position(std::int32_t counter);
void progress_end();
void progress_indeterminate(bool on);
void status_text(const std::string& text, const std::string& detail = {});

// Gauge position shown for `counter` steps of `total` (rounded half to even).
int progress_percent(std::int32_t counter, std::int32_t total);

// Ends the progress display on every exit path of a long operation.
class tprogress_scope {
public:
    explicit tprogress_scope(const std::string& text, std::int32_t total = 0);
    ~tprogress_scope();
    tprogress_scope(const tprogress_scope&) = delete;
    tprogress_scope& operator=(const tprogress_scope&) = delete;
};

} // namespace velmora
