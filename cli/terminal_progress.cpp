#include "terminal_progress.h"

#include <cstdio>

namespace velmora::cli {

void tterminal_progress::show_text(const std::string& text)
{
    text_ = text;
    draw();
}

void tterminal_progress::show_gauge(gauge_style style, int position)
{
    style_ = style;
    position_ = position;
    draw();
}

void tterminal_progress::draw() const
{
    constexpr int width = 30;
    if (style_ == gauge_style::plain) {
        // The operation ended: clear the line.
        std::fprintf(stderr, "\r\033[K");
        return;
    }
    std::string bar(width, ' ');
    if (style_ == gauge_style::percent)
        bar.replace(0, std::size_t(position_ * width / 100), std::size_t(position_ * width / 100), '#');
    else
        bar = std::string(width, '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%\033[K", text_.c_str(), bar.c_str(), position_);
    std::fflush(stderr);
}

} // namespace velmora::cli
