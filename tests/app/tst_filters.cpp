#include "filters/filter_dialogs.h"

#include "document/document.h"
#include "document/image_window.h"
#include "shell/catalogue.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

using namespace velmora;

class tst_filters : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void slider_previews_and_cancel_restores();
    void ok_records_one_step();
    void refused_selection_changes_nothing();
    void contrast_box_and_previews_while_dragging();
    void remove_grey_levels_is_modeless();
    void cleanupTestCase();

private:
    static tdocument upper_layer_document();
    QString home_;
};

void tst_filters::initTestCase()
{
    // Dialog settings go to a scratch folder, never the user's.
    home_ = QDir::temp().filePath(QString("velmora-tst-filters-%1").arg(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(home_.toStdString());
    ::setenv("VELMORA_HOME", home_.toLocal8Bit().constData(), 1);
}

tdocument tst_filters::upper_layer_document()
{
    tdocument doc = create_document("test");
    add_background(doc, 40, 30, 0x00FFFFFF, "background");
    Tfbitmap pixels(20, 10);
    pixels.fill_pixels(0, 0, 0, 0);
    for (std::int32_t y = 2; y < 8; ++y)
        for (std::int32_t x = 5; x < 15; ++x)
            pixels.pixel(x, y)[0] = pixels.pixel(x, y)[1] = pixels.pixel(x, y)[2] = pixels.pixel(x, y)[3] = 255;
    add_layer(doc, pixels, "layer", 255, 7, 4, normal);
    return doc;
}

// Opens the Gaussian blur dialog, moves its slider (preview on release),
// checks the previewed layer, then cancels: pixels and place come back.
void tst_filters::slider_previews_and_cancel_restores()
{
    tdocument doc = upper_layer_document();
    tcalque& layer = doc.current_layer_record();
    const Tfbitmap before = layer.bitmap;
    int repaints = 0;
    int records = 0;
    const tfilter_host host{doc, [&] { ++repaints; }, [&](const std::string&) { ++records; }};
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<tfilter_dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), QString("TForm37"));
        QCOMPARE(dialog->windowTitle(), QString("Gaussian Blur"));
        QSlider* slider = dialog->findChild<QSlider*>("trackbar1");
        QVERIFY(slider);
        QCOMPARE(slider->value(), 20);
        QCOMPARE(dialog->findChild<QLineEdit*>("Edit1")->text(), QString("2"));
        // The first preview comes from the timer once the dialog is painted.
        QTRY_VERIFY(layer.bitmap.width() == 20 + 2 * 3);
        slider->setSliderDown(true);
        slider->setValue(45); // dragging: no preview yet
        QCOMPARE(dialog->findChild<QLineEdit*>("Edit1")->text(), QString("4.5"));
        QCOMPARE(layer.bitmap.width(), 20 + 2 * 3);
        slider->setSliderDown(false); // released: sigma 4.5 grows by 5
        QCOMPARE(layer.bitmap.width(), 20 + 2 * 5);
        QCOMPARE(layer.left, 7 - 5);
        QVERIFY(layer.bitmap.pixel(5 + 5, 2 + 5)[3] > 0);   // spread outward
        QVERIFY(layer.bitmap.pixel(5 + 5, 2 + 5)[3] < 255); // a soft edge
        dialog->type_value("sigma", "abc"); // refused: the slider stays
        QCOMPARE(slider->value(), 45);
        dialog->type_value("sigma", "500"); // clamped to the range
        QCOMPARE(slider->value(), 1000);
        checked = true;
        dialog->reject();
    });
    QVERIFY(!run_filter_command(nullptr, "GaussianBlur1Click", host));
    QVERIFY(checked);
    QCOMPARE(records, 0);
    QVERIFY(repaints > 0);
    QCOMPARE(layer.left, 7);
    QCOMPARE(layer.top, 4);
    QCOMPARE(layer.bitmap.width(), before.width());
    QVERIFY(std::equal(before.bits(), before.bits() + before.byte_size(), layer.bitmap.bits()));
}

void tst_filters::ok_records_one_step()
{
    tdocument doc = upper_layer_document();
    tcalque& layer = doc.current_layer_record();
    std::vector<std::string> labels;
    const tfilter_host host{doc, [] {}, [&](const std::string& label) { labels.push_back(label); }};
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<tfilter_dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->type_value("brightness", "-55");
        dialog->accept();
    });
    QVERIFY(run_filter_command(nullptr, "Luminosit1Click", host));
    QCOMPARE(int(labels.size()), 1);
    QCOMPARE(QString::fromStdString(labels[0]), QString::fromStdString(translate("@ch_brightness")));
    QCOMPARE(int(layer.bitmap.pixel(6, 3)[0]), 200);

    QVERIFY(run_filter_command(nullptr, "Invert1Click", host)); // no dialog
    QCOMPARE(int(labels.size()), 2);
    QCOMPARE(int(layer.bitmap.pixel(6, 3)[0]), 55);
    QVERIFY(!run_filter_command(nullptr, "SelectAll1Click", host));
}

void tst_filters::refused_selection_changes_nothing()
{
    tdocument doc = upper_layer_document();
    doc.selection.mask.set_size(3, 3);
    doc.selection.mask.fill_pixels(255, 255, 255, 255);
    doc.has_selection = 1; // over the layer's transparent corner
    const Tfbitmap before = doc.current_layer_record().bitmap;
    int records = 0;
    const tfilter_host host{doc, [] {}, [&](const std::string&) { ++records; }};
    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box && !qobject_cast<tfilter_dialog*>(box)); // the warning, not the dialog
        QCOMPARE(box->windowTitle(), QString::fromStdString(translate("@ch_warning")));
        box->close();
    });
    QVERIFY(!run_filter_command(nullptr, "GaussianBlur1Click", host));
    QCOMPARE(records, 0);
    QVERIFY(std::equal(before.bits(), before.bits() + before.byte_size(), doc.current_layer_record().bitmap.bits()));
}

// The contrast box shows the slider's position / 4 and takes numbers on that
// scale; dragging previews at once with the latest position.
void tst_filters::contrast_box_and_previews_while_dragging()
{
    tdocument doc = upper_layer_document();
    tcalque& layer = doc.current_layer_record();
    int previews = 0;
    const tfilter_host host{doc, [&] { ++previews; }, [](const std::string&) {}};
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<tfilter_dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QSlider* contrast = dialog->slider("contrast");
        QLineEdit* box = dialog->edit("contrast");
        QCOMPARE(box->text(), QString("25"));
        QTRY_VERIFY(previews > 0); // the first preview
        contrast->setSliderDown(true);
        contrast->setValue(50); // 50 / 4 = 12.5: halves to even
        QCOMPARE(box->text(), QString("12"));
        contrast->setValue(54);
        QCOMPARE(box->text(), QString("14"));
        const int before = previews;
        QTRY_COMPARE(previews, before + 1); // one preview for both moves, with the latest position
        QCOMPARE(int(layer.bitmap.pixel(6, 3)[0]), 138); // 255 * 0.54 = 137.7
        contrast->setSliderDown(false);
        dialog->type_value("contrast", "50"); // on the box's scale: position 200
        QCOMPARE(contrast->value(), 200);
        QCOMPARE(box->text(), QString("50"));
        QCOMPARE(int(layer.bitmap.pixel(6, 3)[0]), 255);
        dialog->type_value("contrast", "101"); // clamped to the slider's end
        QCOMPARE(contrast->value(), 400);
        QCOMPARE(box->text(), QString("100"));
        dialog->reject();
    });
    QVERIFY(!run_filter_command(nullptr, "Luminosit1Click", host));

    // Gaussian blur keeps waiting for the release.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<tfilter_dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QTRY_VERIFY(layer.bitmap.width() == 20 + 2 * 3);
        QSlider* slider = dialog->slider("sigma");
        slider->setSliderDown(true);
        slider->setValue(45);
        QTest::qWait(50);
        QCOMPARE(layer.bitmap.width(), 20 + 2 * 3);
        dialog->reject();
    });
    QVERIFY(!run_filter_command(nullptr, "GaussianBlur1Click", host));
}

// "Remove gray levels" leaves the other windows usable, applies to the
// window it was opened on, and lets go safely when that window goes.
void tst_filters::remove_grey_levels_is_modeless()
{
    QWidget frame;
    const auto open_window = [&frame] {
        tdocument doc = create_document("test");
        add_background(doc, 8, 6, 0x00C8C8C8, "background"); // grey 200
        auto* image = new TForm2(std::move(doc), &frame);
        return image;
    };
    const auto open_dialog = [&frame](TForm2* image) -> tfilter_dialog* {
        const tfilter_host host{image->document(), [image] { image->recomposite_all(); },
                                [image](const std::string& label) { image->record(label); }};
        if (run_filter_command(&frame, "suppressgreylevel1Click", host))
            return nullptr; // nothing changes before OK
        auto* dialog = frame.findChild<tfilter_dialog*>("TForm12");
        return dialog && !dialog->isModal() && dialog->isVisible() ? dialog : nullptr;
    };
    const auto grey_at = [](TForm2* image) { return int(image->document().layers[0]->bitmap.pixel(3, 3)[0]); };

    // OK records one step on the image window it was opened on.
    TForm2* image = open_window();
    tfilter_dialog* dialog = open_dialog(image);
    QVERIFY(dialog);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    const std::size_t steps = image->history().entries().size();
    QSlider* tolerance = dialog->slider("tolerance");
    tolerance->setSliderDown(true);
    tolerance->setValue(150); // previews while dragging
    QTRY_COMPARE(grey_at(image), 255);
    tolerance->setSliderDown(false);
    dialog->accept();
    QTRY_VERIFY(!frame.findChild<tfilter_dialog*>("TForm12"));
    QCOMPARE(image->history().entries().size(), steps + 1);
    QCOMPARE(image->history().entries().back().name, translate("@ch_remove_gray_levels"));
    delete image;

    // Closing the image window cancels the dialog first: the preview is undone
    // while the document is still there.
    image = open_window();
    dialog = open_dialog(image);
    QVERIFY(dialog);
    dialog->slider("tolerance")->setValue(150);
    QCOMPARE(grey_at(image), 255);
    int seen_at_close = -1;
    connect(dialog, &QDialog::finished, this, [&] { seen_at_close = grey_at(image); });
    QVERIFY(image->close());
    QCOMPARE(seen_at_close, 200);
    QTRY_VERIFY(!frame.findChild<tfilter_dialog*>("TForm12"));

    // Another command records a step: the dialog lets go, the document keeps its state.
    image = open_window();
    dialog = open_dialog(image);
    QVERIFY(dialog);
    dialog->slider("tolerance")->setValue(150);
    image->record("other");
    QTRY_VERIFY(!frame.findChild<tfilter_dialog*>("TForm12"));
    QCOMPARE(grey_at(image), 255);

    // The window destroyed under the dialog: the dialog goes without touching it.
    dialog = open_dialog(image);
    QVERIFY(dialog);
    const QPointer<tfilter_dialog> watched = dialog;
    delete image;
    QVERIFY(watched.isNull());
}

void tst_filters::cleanupTestCase()
{
    ::unsetenv("VELMORA_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(home_.toStdString(), ignored);
}

QTEST_MAIN(tst_filters)
#include "tst_filters.moc"
