#include "selection/load_selection_dialog.h"

#include "shell/catalogue.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace velmora;

class tst_load_selection : public QObject {
    Q_OBJECT

private slots:
    void lists_entries_and_previews_the_chosen_one();
    void speaks_french();
};

namespace {

tdocument document_with_two_saved()
{
    tdocument doc = create_document("test");
    add_background(doc, 160, 80, 0x00FFFFFF, "background");
    for (const std::int32_t left : {41, 121}) {
        auto saved = std::make_unique<tselection>(tselection{left, 21, "", Tfbitmap(20, 20)});
        saved->mask.fill_pixels(255, 255, 255, 255);
        doc.saved_selections.push_back(std::move(saved));
    }
    return doc;
}

int preview_grey(const TForm16& dialog, int x, int y)
{
    return qRed(dialog.findChild<QLabel*>("Image1")->pixmap().toImage().pixel(x, y));
}

} // namespace

// Entry 1 lies at (20, 10) of the 80 x 40 preview, entry 2 at (60, 10).
void tst_load_selection::lists_entries_and_previews_the_chosen_one()
{
    const tdocument doc = document_with_two_saved();
    TForm16 dialog(doc);
    auto* entries = dialog.findChild<QComboBox*>("ComboBox1");
    QCOMPARE(entries->count(), 2);
    QCOMPARE(entries->itemText(1), QString::fromStdString(translate("@ch_selection")) + "2");
    QCOMPARE(dialog.chosen_index(), std::size_t(0));
    QCOMPARE(dialog.operation(), tcombine_operation::replace);
    QCOMPARE(dialog.findChild<QLabel*>("Image1")->pixmap().size(), QSize(80, 40));
    QCOMPARE(preview_grey(dialog, 25, 15), 255);
    QCOMPARE(preview_grey(dialog, 65, 15), 0);

    entries->setCurrentIndex(1);
    dialog.findChild<QRadioButton*>("RadioGroup1Item3")->setChecked(true);
    QCOMPARE(dialog.chosen_index(), std::size_t(1));
    QCOMPARE(dialog.operation(), tcombine_operation::intersect);
    QCOMPARE(preview_grey(dialog, 25, 15), 0);
    QCOMPARE(preview_grey(dialog, 65, 15), 255);
    QVERIFY(dialog.findChild<QPushButton*>("BitBtn1")->isDefault());
}

void tst_load_selection::speaks_french()
{
    const tdocument doc = document_with_two_saved();
    TForm16 dialog(doc);
    QVERIFY(apply_window_table(&dialog, language_french));
    QCOMPARE(dialog.windowTitle(), QString("Charger une sélection"));
    QCOMPARE(dialog.findChild<QRadioButton*>("RadioGroup1Item2")->text(), QString("Soustraire de la sélection"));
    QCOMPARE(dialog.findChild<QPushButton*>("BitBtn2")->text(), QString("&Annuler"));
}

QTEST_MAIN(tst_load_selection)
#include "tst_load_selection.moc"
