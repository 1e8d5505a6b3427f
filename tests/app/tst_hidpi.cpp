#include "document/image_window.h"
#include "shell/main_window.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace velmora;

// On a screen of device-pixel ratio 2 the view shows every image pixel at
// 100 % as a 2 x 2 block of exactly its colour.
class tst_hidpi : public QObject {
    Q_OBJECT

private slots:
    void view_is_pixel_exact_at_a_whole_ratio()
    {
        QTemporaryDir home;
        qputenv("VELMORA_HOME", home.path().toUtf8());
        tmain_window window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TForm2* image = window.create_image("pixels", 9, 7, 0x00FFFFFF, 96);
        Tfbitmap& pixels = image->document().layers[0]->bitmap;
        for (std::int32_t y = 0; y < 7; ++y)
            for (std::int32_t x = 0; x < 9; ++x)
                pixels.pixel(x, y)[red_byte] = std::uint8_t(x * 25 + y);
        image->set_zoom(11);
        image->recomposite_all();
        const QImage shown = image->widget()->grab().toImage();
        QCOMPARE(shown.devicePixelRatio(), 2.0);
        const QPoint origin = QPoint(image->layout().view_left, image->layout().view_top) * 2;
        for (int y = 0; y < 7 * 2; ++y)
            for (int x = 0; x < 9 * 2; ++x)
                QVERIFY2(qRed(shown.pixel(origin + QPoint(x, y))) == pixels.pixel(x / 2, y / 2)[red_byte],
                         qPrintable(QString("device pixel %1, %2").arg(x).arg(y)));
        image->document().modified = 0;
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    tst_hidpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"
