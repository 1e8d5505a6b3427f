#include "shell/main_window.h"

#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QtTest>

class tst_main_window : public QObject {
    Q_OBJECT

private slots:
    void frame_has_menus_mdi_area_and_status_bar()
    {
        velmora::tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList menus;
        for (QAction* action : window.menuBar()->actions())
            menus << action->text();
        QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Image", "&Layers", "&Select", "&Filter", "&View", "&Help"}));
        QVERIFY(window.mdi_area() != nullptr);
        QVERIFY(window.statusBar()->isVisible());
    }

    void exit_command_closes_the_window()
    {
        velmora::tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* exit = window.findChild<QAction*>("Quittr1");
        QVERIFY(exit);
        exit->trigger();
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(tst_main_window)
#include "tst_main_window.moc"
