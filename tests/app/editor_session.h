#pragma once

#include "document/image_window.h"
#include "shell/main_window.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// What an editor test starts from: settings in a private folder and a fresh
// main window for each test function.
struct teditor_session {
    QTemporaryDir home;
    std::unique_ptr<velmora::tmain_window> window;

    // From initTestCase.
    void use_private_settings()
    {
        QVERIFY(home.isValid());
        qputenv("VELMORA_HOME", home.path().toUtf8());
    }

    // From init: the main window, shown.
    velmora::tmain_window* open_window()
    {
        window = std::make_unique<velmora::tmain_window>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            QTest::qFail("the main window does not show", __FILE__, __LINE__);
        return window.get();
    }

    // From cleanup: closes it without asking about unsaved images.
    void close_window()
    {
        for (velmora::TForm2* image : window->image_windows())
            image->document().modified = 0;
        window.reset();
    }
};
