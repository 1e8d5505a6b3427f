#include "shell/main_window.h"

#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

namespace velmora {

tmain_window::tmain_window(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("Form1");
    setWindowTitle("Quorantel Velmora");
    mdi_area_ = new QMdiArea(this);
    mdi_area_->setObjectName("mdi_area");
    setCentralWidget(mdi_area_);
    statusBar()->setObjectName("sb");
    build_menus();
    resize(1024, 720);
}

void tmain_window::build_menus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName("Fichier1");
    QAction* exit = file->addAction(tr("E&xit"), this, &tmain_window::Quittr1Click);
    exit->setObjectName("Quittr1");
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    const char* const other_menus[][2] = {{"&Edit", "Edition1"},    {"&Image", "Imageuiiu1"}, {"&Layers", "Layer1"},
                                          {"&Select", "Slection1"}, {"&Filter", "Filtres1"},  {"&View", "Fentre1"},
                                          {"&Help", "Aide1"}};
    for (const auto& [caption, name] : other_menus)
        menuBar()->addMenu(tr(caption))->setObjectName(name);
}

void tmain_window::Quittr1Click()
{
    close();
}

} // namespace velmora
