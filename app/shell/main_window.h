#pragma once

#include <QMainWindow>

class QMdiArea;

namespace velmora {

// The editor's frame: the menu bar, the image windows in an MDI area and the
// status bar.
class tmain_window : public QMainWindow {
    Q_OBJECT

public:
    explicit tmain_window(QWidget* parent = nullptr);

    QMdiArea* mdi_area() const { return mdi_area_; }

public slots:
    void Quittr1Click();

private:
    void build_menus();

    QMdiArea* mdi_area_ = nullptr;
};

} // namespace velmora
