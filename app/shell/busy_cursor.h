#pragma once

#include <QApplication>

namespace velmora {

// The hourglass while something long runs; restored on every way out.
class tbusy_cursor {
public:
    tbusy_cursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~tbusy_cursor() { QApplication::restoreOverrideCursor(); }
    tbusy_cursor(const tbusy_cursor&) = delete;
    tbusy_cursor& operator=(const tbusy_cursor&) = delete;
};

} // namespace velmora
