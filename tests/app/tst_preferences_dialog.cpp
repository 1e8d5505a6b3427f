#include "shell/catalogue.h"
#include "shell/main_window.h"
#include "shell/preferences.h"
#include "shell/preferences_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace velmora;

class tst_preferences_dialog : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;

    static QString tab_text(TForm14& dialog, int page)
    {
        auto* pages = dialog.findChild<QTabWidget*>("PageControl1");
        return pages->tabText(page);
    }

    static QString menu_title(tmain_window& window, const char* name)
    {
        return window.findChild<QMenu*>(name)->title();
    }

private slots:
    void init()
    {
        QVERIFY(home_.isValid());
        // Settings, associations and the language all go to a throw-away home.
        qputenv("VELMORA_HOME", home_.filePath("settings").toUtf8());
        qputenv("XDG_CONFIG_HOME", home_.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home_.filePath("data").toUtf8());
        QDir(home_.path()).removeRecursively();
        QDir().mkpath(home_.path());
    }

    void shows_english_captions_with_the_product_name()
    {
        TForm14 dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QString("Preferences"));
        QCOMPARE(dialog.findChild<QCheckBox*>("CheckBox1")->text(), QString("Velmora Fonts"));
        QCOMPARE(dialog.findChild<QRadioButton*>("RadioButton6")->text(), QString("Velmora colordialog"));
        const QStringList expected = {"Fonts", "File Associations", "Undo/Redo", "VLM Signature", "Language, Units",
                                      "General", "Customization"};
        for (int page = 0; page < expected.size(); ++page)
            QCOMPARE(tab_text(dialog, page), expected[page]);
        QCOMPARE(dialog.findChild<QTreeWidget*>("ListView1")->topLevelItemCount(), 14);
        QCOMPARE(dialog.findChild<QPushButton*>("OKButton")->text(), QString("OK"));
        // Buttons whose work belongs to other windows stay disabled until it is wired.
        auto* empty_undo = dialog.findChild<QPushButton*>("Button1");
        QVERIFY(!empty_undo->isEnabled());
        int emptied = 0;
        dialog.set_empty_undo_handler([&] { ++emptied; });
        QVERIFY(empty_undo->isEnabled());
        empty_undo->click();
        QCOMPARE(emptied, 1);
    }

    void ok_stores_every_page_and_cancel_changes_nothing()
    {
        {
            TForm14 dialog;
            dialog.findChild<QCheckBox*>("CheckBox1")->setChecked(true);
            dialog.reject();
        }
        QVERIFY(!prefs_file_exists());

        write_bool("undo", "disable_undo_redo", true);
        TForm14 dialog;
        QSignalSpy reenabled(&dialog, &TForm14::undo_reenabled);
        dialog.show_page(TForm14::vlm_signature);
        dialog.findChild<QCheckBox*>("CheckBox1")->setChecked(true);
        dialog.findChild<QCheckBox*>("CheckBox2")->setChecked(true);
        dialog.findChild<QSpinBox*>("SpinEdit1")->setValue(25);
        dialog.findChild<QCheckBox*>("CheckBox4")->setChecked(false);
        dialog.findChild<QLineEdit*>("Edit1")->setText(QString::fromUtf8("Zoë = artist"));
        dialog.findChild<QPlainTextEdit*>("Memo1")->setPlainText("(c) 2026\nAll rights reserved");
        dialog.findChild<QRadioButton*>("RadioButton2")->setChecked(true);
        dialog.findChild<QRadioButton*>("RadioButton7")->setChecked(true);
        dialog.findChild<QRadioButton*>("RadioButton9")->setChecked(true);
        dialog.findChild<QCheckBox*>("CheckBox8")->setChecked(false);
        dialog.accept();

        QVERIFY(read_bool("fonts", "use_designer_fonts", false));
        QVERIFY(read_bool("undo", "variable_limit", false));
        QCOMPARE(read_int("undo", "count_limit", 10), 25);
        QVERIFY(!read_bool("undo", "disable_undo_redo", true));
        QCOMPARE(reenabled.count(), 1);
        QCOMPARE(read_string("vlm", "author", ""), std::string("Zoë = artist"));
        QCOMPARE(read_string("vlm", "copyright_info", ""), std::string("(c) 2026\nAll rights reserved"));
        QCOMPARE(read_int("language", "unit", 0), 1);
        QVERIFY(!read_bool("colordialog", "use_velmora_one", true));
        QVERIFY(read_bool("brushes", "realtime_preview", false));
        QVERIFY(read_bool("save_flat", "dontshow", false));
        QVERIFY(!read_bool("save_quality", "dontshow", true));
        QCOMPARE(read_int("options", "onglet", -1), int(TForm14::vlm_signature));

        // A second opening shows what was stored.
        TForm14 again;
        QCOMPARE(again.findChild<QSpinBox*>("SpinEdit1")->value(), 25);
        QVERIFY(again.findChild<QRadioButton*>("RadioButton2")->isChecked());
        QVERIFY(!again.findChild<QCheckBox*>("CheckBox8")->isChecked());
    }

    void checking_a_format_associates_it()
    {
        TForm14 dialog;
        dialog.set_program_path("/usr/bin/velmora");
        dialog.findChild<QTreeWidget*>("ListView1")->topLevelItem(8)->setCheckState(0, Qt::Checked);
        dialog.accept();
        QFile list(home_.filePath("config/mimeapps.list"));
        QVERIFY(list.open(QIODevice::ReadOnly));
        QVERIFY(list.readAll().contains("image/png=velmora.desktop;"));
        TForm14 again;
        QCOMPARE(again.findChild<QTreeWidget*>("ListView1")->topLevelItem(8)->checkState(0), Qt::Checked);
        QCOMPARE(again.findChild<QTreeWidget*>("ListView1")->topLevelItem(0)->checkState(0), Qt::Unchecked);
    }

    void table_sets_hints_and_spares_what_the_user_typed()
    {
        QWidget window;
        window.setObjectName("TForm14");
        auto* typed = new QLineEdit("my name", &window);
        typed->setObjectName("label6"); // a table row names it (in other case), but the user owns its text
        auto* shown = new QLineEdit(&window);
        shown->setObjectName("Label7");
        shown->setReadOnly(true);
        auto* hinted = new QCheckBox(&window);
        hinted->setObjectName("checkbox6");
        QVERIFY(apply_window_table(&window, language_french));
        QCOMPARE(window.windowTitle(), QString::fromUtf8("Préférences"));
        QCOMPARE(typed->text(), QString("my name"));
        QCOMPARE(shown->text(), QString::fromUtf8("Droits d'auteur :"));
        QCOMPARE(hinted->text(), QString::fromUtf8("Aperçu dynamique"));
        QCOMPARE(hinted->toolTip(), QString::fromUtf8("Affiche la taille de la brosse sous le pointeur"));
        QVERIFY(!apply_window_table(&window, language_french, "NoSuchWindow"));
    }

    void choosing_french_translates_open_windows_and_later_dialogs()
    {
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(menu_title(window, "Fichier1"), QString("&File"));

        {
            TForm14 dialog(&window);
            dialog.findChild<QListWidget*>("LanguageList")->setCurrentRow(language_french);
            dialog.accept();
        }
        QCOMPARE(active_language(), language_french);
        QCOMPARE(read_language(), language_french);
        QCOMPARE(menu_title(window, "Fichier1"), QString("&Fichier"));
        QCOMPARE(menu_title(window, "Aide1"), QString("&Aide"));
        QCOMPARE(QString::fromStdString(translate("@ch_warning")), QString("Avertissement"));

        TForm14 dialog(&window);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Préférences"));
        QCOMPARE(dialog.findChild<QCheckBox*>("CheckBox1")->text(), QString("Polices Velmora"));
        QCOMPARE(dialog.findChild<QListWidget*>("LanguageList")->currentRow(), int(language_french));

        dialog.findChild<QListWidget*>("LanguageList")->setCurrentRow(language_english);
        dialog.accept();
        QCOMPARE(menu_title(window, "Fichier1"), QString("&File"));
        QCOMPARE(read_language(), language_english);
    }

    void stored_language_is_applied_at_the_next_start()
    {
        switch_language(language_french);
        // A new run starts in English until it reads the stored choice.
        chaines().set_active_language(language_english);
        tips().set_active_language(language_english);
        tmain_window window;
        apply_stored_language();
        QCOMPARE(active_language(), language_french);
        QCOMPARE(QString::fromStdString(translate_tip("@tip9")).left(12), QString("Avec le cray"));
        QCOMPARE(menu_title(window, "Edition1"), QString::fromUtf8("&Édition"));
        switch_language(language_english);
        QCOMPARE(menu_title(window, "Edition1"), QString("&Edit"));
    }
};

QTEST_MAIN(tst_preferences_dialog)
#include "tst_preferences_dialog.moc"
