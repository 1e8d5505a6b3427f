#include "document/image_window.h"
#include "modal_answerer.h"
#include "history/history_icons.h"
#include "history/history_palette.h"
#include "shell/catalogue.h"
#include "shell/instance_channel.h"
#include "shell/main_window.h"
#include "shell/progress.h"
#include "shell/translation.h"

#include <fstream>
#include <functional>

#include <QDialogButtonBox>
#include <QDockWidget>
#include <QLibraryInfo>
#include <QPushButton>
#include <QFile>
#include <QMenu>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace velmora;

class tst_main_window : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(home_.isValid());
        qputenv("VELMORA_HOME", home_.path().toUtf8());
    }

    void frame_has_menus_palettes_and_status_bar()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList menus;
        for (QAction* action : window.menuBar()->actions())
            menus << action->text();
        QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Image", "&Layers", "&Select", "&Filter", "&View", "&Help"}));
        for (const char* name : {"Toolbar_palette", "Toolbar_size", "toolbar_color", "Toolbar_layers", "toolbar_selection"})
            QVERIFY2(window.palette(name) && window.palette(name)->isFloating(), name);
        QVERIFY(window.statusBar()->isVisible());
    }

    void long_work_shows_in_the_status_bar()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* gauge = window.statusBar()->findChild<QProgressBar*>();
        auto* label = window.statusBar()->findChild<QLabel*>();
        QVERIFY(gauge && label);
        progress_begin("Filtering...");
        progress_set_total(3);
        progress_step();
        QCOMPARE(label->text(), QString("  Filtering..."));
        QVERIFY(gauge->isVisible());
        QCOMPARE(gauge->value(), 33);
        progress_step();
        QCOMPARE(gauge->value(), 67);
        progress_end();
        QVERIFY(!gauge->isVisible());
        QCOMPARE(label->text(), QString());
    }

    void command_states_follow_the_windows()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto enabled = [&](const char* handler) { return window.command_action(handler)->isEnabled(); };
        QVERIFY(enabled("Nouvelleimage1Click"));
        QVERIFY(!enabled("Fermer1Click"));
        QVERIFY(!enabled("Tile1Click"));
        QVERIFY(!enabled("Zoomin1Click"));
        QVERIFY(!enabled("Batchconvert1Click")); // not built: never enabled

        window.create_image("one", 64, 48, 0x00FFFFFF, 96);
        window.refresh_command_states();
        QVERIFY(enabled("Fermer1Click"));
        QVERIFY(!enabled("Fermertout1Click"));
        QVERIFY(enabled("Zoomin1Click"));
        QVERIFY(!enabled("mergedownClick"));

        window.create_image("two", 64, 48, 0x00FFFFFF, 96);
        window.refresh_command_states();
        QVERIFY(enabled("Fermertout1Click"));

        window.command_action("Fermertout1Click")->trigger();
        QTRY_COMPARE(window.image_windows().size(), 0);
        QVERIFY(!enabled("Fermer1Click"));
    }

    void new_image_dialog_creates_a_document_and_refuses_zero()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Answers the dialogs as they come: a zero width first, then 300 x 200.
        int step = 0;
        tmodal_answerer answer([&](QWidget* modal) {
            if (step == 0) {
                modal->findChild<QLineEdit*>("Edit2")->setText("0");
            } else if (step == 1 && !answer.messages.isEmpty()) {
                modal->findChild<QLineEdit*>("Edit2")->setText("300");
                modal->findChild<QLineEdit*>("Edit3")->setText("200");
            } else {
                return;
            }
            ++step;
            QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
        });
        window.command_action("Nouvelleimage1Click")->trigger();
        const QString refusal = answer.messages.value(0);
        QCOMPARE(refusal, QString("Image dimensions must be positive."));
        QCOMPARE(window.image_windows().size(), 1);
        const TForm2* image = window.image_windows().front();
        QCOMPARE(image->document().width(), 300);
        QCOMPARE(image->document().height(), 200);
        QCOMPARE(image->document().layers.size(), std::size_t(1));
        QVERIFY(!image->document().modified);
        QCOMPARE(image->windowTitle(), QString("New Image-1 at 100%"));
    }

    void zoom_commands_change_the_view()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TForm2* image = window.create_image("photo.jpg", 200, 100, 0x000000FF, 96);
        window.mdi_area()->setActiveSubWindow(image);
        window.command_action("Zoomin1Click")->trigger();
        QCOMPARE(image->document().zoom_index, 12);
        QCOMPARE(image->windowTitle(), QString("photo.jpg at 200%"));
        window.command_action("Zoomout1Click")->trigger();
        window.command_action("Zoomout1Click")->trigger();
        QCOMPARE(image->windowTitle(), QString("photo.jpg at 66.7%"));
        // The view shows the red background wherever it reaches.
        const Tfbitmap& view = image->view_bitmap();
        QVERIFY(!view.empty());
        QCOMPARE(int(view.pixel(0, 0)[2]), 255);
        QCOMPARE(int(view.pixel(view.width() - 1, view.height() - 1)[0]), 0);
        window.command_action("Viewat1001Click")->trigger();
        QCOMPARE(image->document().zoom_index, 11);
    }

    void exit_closes_and_stores_the_palettes()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.command_action("Showlayers1Click")->trigger();
        QVERIFY(!window.palette("Toolbar_layers")->isVisible());
        window.command_action("Quittr1Click")->trigger();
        QVERIFY(!window.isVisible());

        tmain_window again;
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QVERIFY(!again.palette("Toolbar_layers")->isVisible());
        QVERIFY(!again.command_action("Showlayers1Click")->isChecked());
    }

    void files_open_once_and_bad_files_are_reported()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Tfbitmap pixels(30, 20);
        pixels.fill_pixels(0, 0, 255, 255);
        const QString picture = home_.filePath("red.bmp");
        const std::vector<std::uint8_t> bytes = save_bmp(pixels, bmp_depth::bits24);
        std::ofstream(picture.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        const QString garbage = home_.filePath("broken.png");
        std::ofstream(garbage.toStdString()) << "not a picture";

        tmodal_answerer answer;
        const QStringList& messages = answer.messages;
        TForm2* image = window.open_file(picture);
        QVERIFY(image);
        QCOMPARE(image->document().width(), 30);
        QVERIFY(!image->view_bitmap().empty());
        QCOMPARE(int(image->view_bitmap().pixel(0, 0)[2]), 255);
        QCOMPARE(window.open_file(picture), image);
        QVERIFY(!window.open_file(garbage));

        // File > Reopen lists the opened file; once it has vanished it says so.
        auto* reopen = window.findChild<QMenu*>("N1");
        emit reopen->aboutToShow();
        QCOMPARE(reopen->actions().size(), 1);
        QCOMPARE(reopen->actions().front()->text(), "&1 " + picture);
        QFile::remove(picture);
        reopen->actions().front()->trigger();
        QCOMPARE(window.image_windows().size(), 1);
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages[0], QString("The file \"red.bmp\" is already opened."));
        QVERIFY(messages[1].contains("not .PNG format"));
        QCOMPARE(messages[2], QString("Could not open the document because the file could not be found."));
    }

    void save_writes_the_native_file_and_it_opens_again()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TForm2* image = window.create_image("layers", 40, 30, 0x00FF0000, 96);
        Tfbitmap green(10, 10);
        green.fill_pixels(0, 255, 0, 128);
        add_layer(image->document(), green, "Green", 200, 5, 6, multiply);
        const QString file = home_.filePath("layers.vlm");
        image->document().file_name = file.toStdString();
        image->document().saved_once = 1;
        image->document().modified = 1;
        window.refresh_command_states();
        QVERIFY(window.command_action("Enregistrer1Click")->isEnabled());
        window.command_action("Enregistrer1Click")->trigger();
        QVERIFY(QFileInfo::exists(file));
        QVERIFY(!image->document().modified);
        window.command_action("Fermer1Click")->trigger();
        QTRY_COMPARE(window.image_windows().size(), 0);

        TForm2* again = window.open_file(file);
        QVERIFY(again);
        const tdocument& doc = again->document();
        QCOMPARE(doc.layers.size(), std::size_t(2));
        QCOMPARE(QString::fromStdString(doc.layers[1]->name), QString("Green"));
        QCOMPARE(doc.layers[1]->blend_mode, std::uint8_t(multiply));
        QCOMPARE(doc.layers[1]->left, 5);
        QVERIFY(!doc.modified);
    }

    void undo_and_redo_walk_the_history()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TForm2* image = window.create_image("steps", 20, 10, 0x00FFFFFF, 96);
        window.refresh_command_states();
        QVERIFY(!window.command_action("Undo1Click")->isEnabled());

        Tfbitmap black(20, 10);
        black.fill_pixels(0, 0, 0, 255);
        add_layer(image->document(), black, "Black", 255, 0, 0, normal);
        image->record("Add Layer");
        image->recomposite_all();
        QVERIFY(image->document().modified);
        QAction* undo = window.command_action("Undo1Click");
        QVERIFY(undo->isEnabled());
        QCOMPARE(undo->text(), QString("&Undo \"Add Layer\""));
        auto* palette = window.palette("toolbar_selection")->findChild<QTreeWidget*>("history");
        QCOMPARE(palette->topLevelItemCount(), 2);

        undo->trigger();
        QCOMPARE(image->document().layers.size(), std::size_t(1));
        QCOMPARE(int(image->view_bitmap().pixel(0, 0)[0]), 255);
        QVERIFY(window.command_action("Redo1Click")->isEnabled());
        QCOMPARE(palette->currentItem(), palette->topLevelItem(0));

        window.command_action("Redo1Click")->trigger();
        QCOMPARE(image->document().layers.size(), std::size_t(2));
        QCOMPARE(int(image->view_bitmap().pixel(0, 0)[0]), 0);

        // Choosing the first step in the palette goes back there.
        palette->setCurrentItem(palette->topLevelItem(0));
        QCOMPARE(image->document().layers.size(), std::size_t(1));
    }

    void merge_commands_refuse_or_merge_and_record()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TForm2* image = window.create_image("merge", 8, 8, 0x00FFFFFF, 96);
        Tfbitmap grey(8, 8);
        grey.fill_pixels(100, 100, 100, 255);
        add_layer(image->document(), grey, "Normal", 255, 0, 0, normal);
        add_layer(image->document(), grey, "Screen", 255, 0, 0, screen);
        image->record("Layers");
        window.refresh_command_states();

        tmodal_answerer answer;
        window.command_action("mergedownClick")->trigger(); // Screen onto a Normal upper layer
        QVERIFY(answer.messages.value(0).startsWith("You can merge 2 layers only if"));
        QCOMPARE(image->document().layers.size(), std::size_t(3));

        // Duplicate, then delete the copy after its question.
        window.command_action("ToolbarButton9712Click")->trigger();
        QCOMPARE(image->document().layers.size(), std::size_t(4));
        QCOMPARE(QString::fromStdString(image->document().current_layer_record().name), QString("Screen (copy)"));
        window.command_action("ToolbarButton9711Click")->trigger();
        QCOMPARE(answer.messages.value(1), QString("Delete the layer \"Screen (copy)\" ?"));
        QCOMPARE(image->document().layers.size(), std::size_t(3));

        window.command_action("Mergelayers1Click")->trigger();
        QCOMPARE(image->document().layers.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(image->history().entries().back().name), QString("Merge All Layers"));
        window.command_action("Undo1Click")->trigger();
        QCOMPARE(image->document().layers.size(), std::size_t(3));
    }

    void invert_runs_from_the_menu_as_one_step()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TForm2* image = window.create_image("colours", 8, 8, 0x000000FF, 96);
        window.refresh_command_states();
        QVERIFY(window.command_action("Invert1Click")->isEnabled());
        window.command_action("Invert1Click")->trigger();
        const std::uint8_t* pixel = image->document().layers[0]->bitmap.pixel(3, 3);
        QCOMPARE(int(pixel[2]), 0);
        QCOMPARE(int(pixel[1]), 255);
        QCOMPARE(int(image->view_bitmap().pixel(3, 3)[0]), 255);
        QCOMPARE(image->history().entries().size(), std::size_t(2));
        window.command_action("Undo1Click")->trigger();
        QCOMPARE(int(image->document().layers[0]->bitmap.pixel(3, 3)[2]), 255);
    }

    void french_reaches_qt_own_buttons()
    {
        switch_language(language_french);
        QDialogButtonBox french(QDialogButtonBox::Cancel);
        QString cancel = french.button(QDialogButtonBox::Cancel)->text();
        switch_language(language_english);
        QDialogButtonBox english(QDialogButtonBox::Cancel);
        QCOMPARE(english.button(QDialogButtonBox::Cancel)->text().remove('&'), QString("Cancel"));
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_fr.qm"))
            QSKIP("Qt's French translations are not installed");
        QCOMPARE(cancel.remove('&'), QString("Annuler"));
    }

    void a_second_start_hands_its_files_over()
    {
        tinstance_channel running;
        QStringList received;
        QVERIFY(running.listen([&](const QStringList& files) { received = files; }));
        const QString file = home_.filePath("handed.txt");
        std::ofstream(file.toStdString()) << "x";
        tinstance_channel second;
        QVERIFY(second.hand_over(existing_files({file, home_.path(), home_.filePath("missing.png")})));
        QTRY_COMPARE(received, QStringList{file});
    }

    void history_rows_show_the_icon_of_their_action()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TForm2* image = window.create_image("icons", 20, 10, 0x00FFFFFF, 96);
        image->record(translate("@ch_pinceau"));
        image->record("Something else");
        auto* palette = window.palette("toolbar_selection")->findChild<QTreeWidget*>("history");
        QCOMPARE(palette->topLevelItemCount(), 3);

        const QImage generic = history_action_icon(0).pixmap(16).toImage();
        const QImage brush = palette->topLevelItem(1)->icon(0).pixmap(16).toImage();
        QVERIFY(!palette->topLevelItem(1)->icon(0).isNull());
        QVERIFY(brush != generic);
        QCOMPARE(brush, history_action_icon(5).pixmap(16).toImage());
        QCOMPARE(palette->topLevelItem(2)->icon(0).pixmap(16).toImage(), generic);

        // The 2x picture is drawn at its own size, not scaled up from 16 pixels.
        const QPixmap sharp = history_action_icon(5).pixmap(QSize(16, 16), 2.0);
        QCOMPARE(sharp.size(), QSize(32, 32));

        // The Undo/Redo History dialog shows the same icons.
        TForm25 dialog(image);
        auto* steps = dialog.findChild<QTreeWidget*>("ListView1");
        QCOMPARE(steps->topLevelItem(1)->icon(0).pixmap(16).toImage(), brush);
    }

private:
    QTemporaryDir home_;
};

QTEST_MAIN(tst_main_window)
#include "tst_main_window.moc"
