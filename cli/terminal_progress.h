#pragma once

#include "shell/progress.h"

#include <string>

namespace velmora::cli {

// The progress of long work as a bar on standard error, redrawn in place.
// Installed only when standard error is a terminal.
class tterminal_progress : public tprogress_view {
public:
    void show_text(const std::string& text) override;
    void show_gauge(gauge_style style, int position) override;

private:
    void draw() const;

    std::string text_;
    gauge_style style_ = gauge_style::plain;
    int position_ = 0;
};

} // namespace velmora::cli
