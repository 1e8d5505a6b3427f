#include "shell/progress.h"

#include "document/rounding.h"

namespace velmora {

namespace {

struct tprogress_state {
    tprogress_view* view = nullptr;
    std::int32_t total = 0;
    std::int32_t counter = 0;
    int shown_position = -1;
};

tprogress_state& state()
{
    static tprogress_state progress;
    return progress;
}

void show_position()
{
    tprogress_state& progress = state();
    const int position = progress_percent(progress.counter, progress.total);
    // Repainting the gauge is the slow part: only tell the view when the figure moves.
    if (position == progress.shown_position)
        return;
    progress.shown_position = position;
    if (progress.view) {
        progress.view->show_gauge(tprogress_view::gauge_style::percent, position);
        progress.view->pump();
    }
}

} // namespace

void set_progress_view(tprogress_view* view)
{
    state().view = view;
}

int progress_percent(std::int32_t counter, std::int32_t total)
{
    // A step before any total is set shows an empty gauge rather than dividing by zero.
    if (total <= 0)
        return 0;
    const std::int64_t position = round_half_even(static_cast<long double>(counter) * 100.0L / total);
    if (position < 0)
        return 0;
    if (position > 100)
        return 100;
    return static_cast<int>(position);
}

void progress_begin(const std::string& text)
{
    tprogress_state& progress = state();
    progress.counter = 0;
    progress.total = 0;
    progress.shown_position = 0;
    if (progress.view) {
        progress.view->show_text("  " + text);
        progress.view->show_gauge(tprogress_view::gauge_style::percent, 0);
        progress.view->pump();
    }
}

void progress_set_total(std::int32_t total)
{
    state().total = total;
}

void progress_add_total(std::int32_t steps)
{
    tprogress_state& progress = state();
    const std::int64_t sum = static_cast<std::int64_t>(progress.total) + steps;
    progress.total = sum > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(sum);
}

void progress_step(std::int32_t steps)
{
    tprogress_state& progress = state();
    const std::int64_t sum = static_cast<std::int64_t>(progress.counter) + steps;
    progress.counter = sum > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(sum);
    show_position();
}

void progress_set_position(std::int32_t counter)
{
    state().counter = counter;
    show_position();
}

void progress_end()
{
    tprogress_state& progress = state();
    progress.counter = 0;
    progress.total = 0;
    progress.shown_position = -1;
    if (progress.view) {
        progress.view->show_text({});
        progress.view->show_gauge(tprogress_view::gauge_style::plain, 0);
    }
}

void progress_indeterminate(bool on)
{
    tprogress_state& progress = state();
    progress.shown_position = -1;
    if (!progress.view)
        return;
    progress.view->show_gauge(on ? tprogress_view::gauge_style::indeterminate : tprogress_view::gauge_style::plain, 0);
    progress.view->pump();
}

void status_text(const std::string& text, const std::string& detail)
{
    if (tprogress_view* view = state().view)
        view->show_text(detail.empty() ? "  " + text : "  " + text + " : " + detail);
}

tprogress_scope::tprogress_scope(const std::string& text, std::int32_t total)
{
    progress_begin(text);
    if (total > 0)
        progress_set_total(total);
}

tprogress_scope::~tprogress_scope()
{
    progress_end();
}

} // namespace velmora
