#include "shell/main_window.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Velmora");
    velmora::tmain_window window;
    window.show();
    return QApplication::exec();
}
