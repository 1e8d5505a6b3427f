#include "editor_session.h"

#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

using namespace velmora;

class tst_navigator : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { session_.use_private_settings(); }

    void init()
    {
        window_ = session_.open_window();
        image_ = window_->create_image("nav", 200, 150, 0x00FFFFFF, 96);
        navigator_ = window_->findChild<QWidget*>("navigator");
        QVERIFY(navigator_);
    }

    void cleanup() { session_.close_window(); }

    void zoom_tool_shows_the_navigator()
    {
        window_->choose_tool(tool_id::move);
        QVERIFY(!navigator_->isVisible());
        window_->choose_tool(tool_id::zoom);
        QVERIFY(navigator_->isVisible());
        // 200 x 150 shows 120 x 90: the white image, the light right edge of
        // the 3D border, and, as the whole image is in view, the red frame 1
        // pixel inside the edge.
        const QImage picture = navigator_->grab().toImage();
        QCOMPARE(picture.pixelColor(60, 45), QColor(Qt::white));
        QCOMPARE(picture.pixelColor(119, 40), navigator_->palette().color(QPalette::Base));
        QCOMPARE(picture.pixelColor(1, 40), QColor(Qt::red));
        QCOMPARE(picture.pixelColor(118, 88), QColor(Qt::red));
        QCOMPARE(window_->findChild<QLabel*>("navigator_zoom")->text(), QString("100%"));
    }

    void dragging_scrolls_a_zoomed_in_image()
    {
        window_->choose_tool(tool_id::zoom);
        image_->set_zoom(21);
        QVERIFY(image_->layout().horizontal_bar && image_->layout().vertical_bar);
        // A press near the corner scrolls to the start.
        QTest::mousePress(navigator_, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(image_->mapping().ox, 0.0f);
        QCOMPARE(image_->mapping().oy, 0.0f);
        QMouseEvent drag(QEvent::MouseMove, QPointF(60, 45), navigator_->mapToGlobal(QPointF(60, 45)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(navigator_, &drag);
        QTest::mouseRelease(navigator_, Qt::LeftButton, {}, QPoint(60, 45));
        // The navigator's centre is the image's: the view is centred on (100, 75).
        const double z = image_->mapping().z;
        QVERIFY(std::abs(image_->mapping().ox + image_->layout().view_width / z / 2 - 100) <= 0.5);
        QVERIFY(std::abs(image_->mapping().oy + image_->layout().view_height / z / 2 - 75) <= 0.5);
        const auto* bar = image_->findChild<QScrollBar*>("ScrollBarx");
        QVERIFY(std::abs(bar->value() - image_->mapping().ox * z) <= z / 2);
    }

    void slider_and_buttons_set_the_zoom()
    {
        window_->choose_tool(tool_id::zoom);
        auto* slider = window_->findChild<QSlider*>("navigator_slider");
        QCOMPARE(slider->value(), 11);
        slider->setValue(15);
        QCOMPARE(image_->document().zoom_index, 15);
        QVERIFY(image_->windowTitle().endsWith("500%"));
        QCOMPARE(window_->findChild<QLabel*>("navigator_zoom")->text(), QString("500%"));
        // Centred on the image: (200 * 5 - 200) / 10 and (150 * 5 - 150) / 10.
        QCOMPARE(image_->mapping().ox, 80.0f);
        QCOMPARE(image_->mapping().oy, 60.0f);
        QTest::mouseClick(window_->findChild<QToolButton*>("navigator_zoom_in"), Qt::LeftButton);
        QCOMPARE(image_->document().zoom_index, 16);
        // Zooming from elsewhere moves the slider.
        image_->set_zoom(9);
        QCOMPARE(slider->value(), 9);
        QCOMPARE(window_->findChild<QLabel*>("navigator_zoom")->text(), QString("50%"));
    }

    void resize_window_box_fits_the_window_to_the_zoom()
    {
        window_->choose_tool(tool_id::zoom);
        image_->set_zoom(11);
        const QSize before = image_->size();
        image_->set_zoom(12); // 200 %: the window keeps its size
        QCOMPARE(image_->size(), before);
        window_->findChild<QCheckBox*>("resize_window")->setChecked(true);
        image_->set_zoom(13);
        QCOMPARE(image_->widget()->size(), image_->zoomed_client_size());
    }

    void closing_the_last_image_clears_the_navigator()
    {
        window_->choose_tool(tool_id::zoom);
        auto* slider = window_->findChild<QSlider*>("navigator_slider");
        QVERIFY(slider->isEnabled());
        image_->close();
        QTRY_VERIFY(window_->image_windows().isEmpty());
        QVERIFY(!slider->isEnabled());
        QCOMPARE(window_->findChild<QLabel*>("navigator_zoom")->text(), QString());
    }

    void arrow_keys_move_an_upper_layer()
    {
        Tfbitmap red(10, 10);
        red.fill_pixels(0, 0, 255, 255);
        tcalque& layer = add_layer(image_->document(), red, "red", 255, 5, 5, normal);
        image_->recomposite_all();
        QWidget* canvas = image_->findChild<QWidget*>("image1");

        window_->choose_tool(tool_id::paintbrush);
        QTest::keyClick(canvas, Qt::Key_Right);
        QCOMPARE(layer.left, 5); // only the move tool moves layers

        window_->choose_tool(tool_id::move);
        QTest::keyClick(canvas, Qt::Key_Right);
        QTest::keyClick(canvas, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(layer.left, 6);
        QCOMPARE(layer.top, 15);
        QCOMPARE(image_->view_bitmap().pixel(6, 15)[blue_byte], 0);   // the layer's new corner
        QCOMPARE(image_->view_bitmap().pixel(5, 5)[blue_byte], 255);  // the background again

        set_current_layer(image_->document(), 0);
        QTest::keyClick(canvas, Qt::Key_Left);
        QCOMPARE(image_->document().layers[0]->left, 0);
    }

private:
    teditor_session session_;
    tmain_window* window_ = nullptr;
    TForm2* image_ = nullptr;
    QWidget* navigator_ = nullptr;
};

QTEST_MAIN(tst_navigator)
#include "tst_navigator.moc"
