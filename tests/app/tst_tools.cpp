#include "editor_session.h"
#include "shell/preferences.h"
#include "tools/tool_palette.h"

#include <QDockWidget>
#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>

using namespace velmora;

namespace {

QWidget* canvas_of(TForm2* image)
{
    return image->findChild<QWidget*>("image1");
}

// A view point of the image window's canvas, from a point of the view.
QPoint on_view(TForm2* image, int x, int y)
{
    return {image->layout().view_left + x, image->layout().view_top + y};
}

const std::uint8_t* pixel(TForm2* image, int x, int y)
{
    return image->document().layers[0]->bitmap.pixel(x, y);
}

} // namespace

class tst_tools : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { session_.use_private_settings(); }

    void init()
    {
        window_ = session_.open_window();
        image_ = window_->create_image("tools", 60, 40, 0x00FFFFFF, 96);
        QCOMPARE(image_->mapping().z, 1.0);
    }

    void cleanup() { session_.close_window(); }

    void paintbrush_stroke_is_one_step_that_undo_takes_back()
    {
        ttool_palette* tools = window_->tool_palette();
        QToolButton* paintbrush = tools->tool_button(tool_id::paintbrush);
        // Hovering the group pops its palette out beside it, the current tool left out.
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(tools->group_button("tb2"), &enter);
        QVERIFY(tools->pop_out("Tderoule2")->isVisible());
        QApplication::sendEvent(paintbrush, &enter);
        QCOMPARE(window_->statusBar()->findChild<QLabel*>()->text(), QString("  Paint tools : Paintbrush"));
        QVERIFY(paintbrush->isEnabled());
        QVERIFY(!tools->tool_button(tool_id::clone)->isEnabled());
        QTest::mouseClick(paintbrush, Qt::LeftButton);
        QCOMPARE(int(window_->tool_editor().state.current_tool), int(tool_id::paintbrush));
        QVERIFY(!tools->pop_out("Tderoule2")->isVisible());
        QVERIFY(tools->group_button("tb2")->isChecked());
        QCOMPARE(window_->palette("Toolbar_size")->windowTitle(), QString("Options: Paintbrush"));
        QWidget* options = window_->palette("Toolbar_size")->widget();
        QVERIFY(options->findChild<QWidget*>("Panel9")->isVisibleTo(options));
        QVERIFY(options->findChild<QWidget*>("options_panel_brushfade")->isVisibleTo(options));
        window_->tool_editor().state.foreground = 0x000000;

        const std::size_t steps = image_->history().entries().size();
        QWidget* canvas = canvas_of(image_);
        QTest::mousePress(canvas, Qt::LeftButton, {}, on_view(image_, 10, 20));
        QTest::mouseMove(canvas, on_view(image_, 30, 20));
        QTest::mouseMove(canvas, on_view(image_, 50, 20));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, on_view(image_, 50, 20));
        // The stroke painted along its path, not beyond the brush.
        for (const int x : {10, 30, 40, 50})
            QVERIFY2(pixel(image_, x, 20)[red_byte] < 128, qPrintable(QString("x = %1").arg(x)));
        QCOMPARE(int(pixel(image_, 30, 0)[red_byte]), 255);
        // The view shows it.
        QVERIFY(qRed(image_->view_image().pixel(40, 20)) < 128);
        QCOMPARE(image_->history().entries().size(), steps + 1);
        QCOMPARE(image_->history().entries().back().name, std::string("Paintbrush"));

        window_->command_action("Undo1Click")->trigger();
        QCOMPARE(int(pixel(image_, 40, 20)[red_byte]), 255);
        QCOMPARE(qRed(image_->view_image().pixel(40, 20)), 255);
    }

    void brush_panel_follows_the_tool_and_stores_user_changes()
    {
        ttool_palette* tools = window_->tool_palette();
        QTest::mouseClick(tools->tool_button(tool_id::airbrush), Qt::LeftButton);
        QCOMPARE(window_->palette("Toolbar_size")->windowTitle(), QString("Options: Airbrush"));
        QWidget* options = window_->palette("Toolbar_size")->widget();
        auto* size = options->findChild<QSlider*>("pensize");
        QCOMPARE(size->value(), 40);
        QCOMPARE(options->findChild<QSlider*>("brushblur")->value(), 65);
        QCOMPARE(options->findChild<QSlider*>("TrackBar2")->value(), 255);
        QCOMPARE(options->findChild<QLabel*>("Label13")->text(), QString("65"));
        QCOMPARE(options->findChild<QLabel*>("Label14")->text(), QString("100"));
        QCOMPARE(options->findChild<QLabel*>("Label38")->text(), QString("1:1"));
        QVERIFY(!options->findChild<QWidget*>("options_panel_brushfade")->isVisibleTo(options));
        QCOMPARE(tools->group_button("tb2")->property("Tag").toInt(), 2);

        size->setValue(60);
        QCOMPARE(options->findChild<QLabel*>("Label12")->text(), QString("60"));
        QCOMPARE(options->findChild<QLabel*>("Label38")->text(), QString("1:2"));
        QCOMPARE(read_int("airbrush", "size", 0), 60);
        QCOMPARE(window_->tool_editor().state.brush_shape.size, 61);

        // Another brush tool has its own values; coming back restores these.
        tools->group_button("tb2")->click();
        QCOMPARE(int(window_->tool_editor().state.current_tool), int(tool_id::airbrush));
        QTest::mouseClick(tools->tool_button(tool_id::eraser), Qt::LeftButton);
        QCOMPARE(size->value(), 40);
        QCOMPARE(options->findChild<QSlider*>("brushblur")->value(), 40);
        QTest::mouseClick(tools->tool_button(tool_id::airbrush), Qt::LeftButton);
        QCOMPARE(size->value(), 60);
    }

    void colour_picker_sets_the_colours_from_the_view()
    {
        window_->create_image("picked", 30, 20, 0x00336699, 96);
        TForm2* image = window_->active_image();
        window_->tool_palette()->group_button("tb8")->click();
        QCOMPARE(int(window_->tool_editor().state.current_tool), int(tool_id::colour_picker));
        QWidget* options = window_->palette("Toolbar_size")->widget();
        QVERIFY(options->findChild<QWidget*>("options_panel_picker")->isVisibleTo(options));
        QVERIFY(!options->findChild<QWidget*>("Panel9")->isVisibleTo(options));

        QTest::mouseClick(canvas_of(image), Qt::LeftButton, {}, on_view(image, 5, 5));
        QCOMPARE(window_->tool_editor().state.foreground, TColor(0x00336699));
        QTest::mouseClick(canvas_of(image), Qt::RightButton, {}, on_view(image, 5, 5));
        QCOMPARE(window_->tool_editor().state.background, TColor(0x00336699));
        QCOMPARE(image->history().entries().size(), std::size_t(1));
    }

    void last_tool_and_colours_come_back_at_start_up()
    {
        QTest::mouseClick(window_->tool_palette()->tool_button(tool_id::pencil), Qt::LeftButton);
        window_->tool_editor().state.foreground = 0x00102030;
        window_->close();
        session_.window = std::make_unique<tmain_window>();
        window_ = session_.window.get();
        QCOMPARE(int(window_->tool_editor().state.current_tool), int(tool_id::pencil));
        QCOMPARE(window_->tool_editor().state.foreground, TColor(0x00102030));
        QToolButton* group = window_->tool_palette()->group_button("tb2");
        QVERIFY(group->isChecked());
        QCOMPARE(group->property("Tag").toInt(), 3);
        QCOMPARE(window_->palette("Toolbar_size")->windowTitle(), QString("Options: Pen"));
    }

private:
    teditor_session session_;
    tmain_window* window_ = nullptr;
    TForm2* image_ = nullptr;
};

QTEST_MAIN(tst_tools)
#include "tst_tools.moc"
