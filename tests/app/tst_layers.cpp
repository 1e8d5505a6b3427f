#include "document/layer_dialogs.h"
#include "document/layers_palette.h"
#include "editor_session.h"
#include "modal_answerer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

using namespace velmora;

namespace {

// A mouse event straight to `widget`, with `buttons` held.
void send_mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

std::string last_step(const TForm2* image)
{
    return image->history().entries().back().name;
}

} // namespace

class tst_layers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { session_.use_private_settings(); }

    void init()
    {
        window_ = session_.open_window();
        window_->palette("Toolbar_layers")->show();
        palette_ = window_->layers_palette();
        image_ = window_->create_image("layers", 40, 30, 0x00FFFFFF, 96);
    }

    void cleanup() { session_.close_window(); }

    void controls_follow_the_current_layer()
    {
        auto* blend = palette_->findChild<QComboBox*>("blendmode");
        auto* preserve = palette_->findChild<QCheckBox*>("CheckBox4");
        QVERIFY(!palette_->delete_button()->isEnabled());
        QVERIFY(!palette_->mask_button()->isEnabled());
        QVERIFY(!blend->isEnabled());
        QVERIFY(palette_->new_button()->isEnabled());
        QVERIFY(palette_->duplicate_button()->isEnabled());

        palette_->new_button()->click();
        const tdocument& doc = image_->document();
        QCOMPARE(doc.layers.size(), std::size_t(2));
        QCOMPARE(doc.current_layer, 1);
        QCOMPARE(last_step(image_), std::string("Add New Layer"));
        QVERIFY(palette_->delete_button()->isEnabled());
        QVERIFY(palette_->mask_button()->isEnabled());
        QVERIFY(blend->isEnabled());
        QCOMPARE(window_->palette("Toolbar_layers")->windowTitle(), QString("Layers of layers"));

        blend->activated(multiply);
        QCOMPARE(int(doc.layers[1]->blend_mode), int(multiply));
        QCOMPARE(last_step(image_), std::string("Change Blend Mode"));
        preserve->click();
        QCOMPARE(int(doc.layers[1]->preserve_transparency), 1);
        QCOMPARE(last_step(image_), std::string("Layer options"));

        // The slider acts at once and records on release.
        auto* opacity = palette_->findChild<QSlider*>("trackbar1");
        const std::size_t steps = image_->history().entries().size();
        opacity->setValue(128);
        QCOMPARE(doc.layers[1]->opacity, 128);
        QCOMPARE(palette_->findChild<QLabel*>("opacity_label")->text(), QString("Opacity: 50%"));
        QCOMPARE(image_->history().entries().size(), steps);
        QTest::mouseClick(opacity, Qt::LeftButton, {}, QPoint(0, opacity->height() / 2));
        QCOMPARE(doc.layers[1]->opacity, 0);
        QCOMPARE(last_step(image_), std::string("Adjust Layer Opacity"));

        // Mask: the button creates it and disables itself; the menu toggles it.
        palette_->mask_button()->click();
        QVERIFY(doc.layers[1]->mask);
        QVERIFY(!palette_->mask_button()->isEnabled());
        QCOMPARE(last_step(image_), std::string("Create layer mask"));
        QCOMPARE(window_->command_action("DisableLayerMask3Click")->text(), QString("&Disable Layer Mask"));
        window_->command_action("DisableLayerMask3Click")->trigger();
        QCOMPARE(int(doc.layers[1]->mask_enabled), 0);
        QCOMPARE(window_->command_action("DisableLayerMask3Click")->text(), QString("&Enable Layer Mask"));
        // Editing the mask paints in greys; leaving it brings the colours back.
        ttool_state& tools = window_->tool_editor().state;
        tools.foreground = make_color(255, 0, 0);
        tools.background = make_color(0, 0, 255);
        palette_->edit_mask();
        QCOMPARE(int(doc.mask_editing), 1);
        QCOMPARE(tools.foreground, make_color(85, 85, 85));
        QCOMPARE(tools.background, make_color(85, 85, 85));
        palette_->select_layer_row(0, false);
        QCOMPARE(int(doc.mask_editing), 0);
        QCOMPARE(tools.foreground, make_color(255, 0, 0));
        QCOMPARE(tools.background, make_color(0, 0, 255));
        QCOMPARE(doc.current_layer, 0);
        QVERIFY(!palette_->delete_button()->isEnabled());

        palette_->select_layer_row(1, false);
        tmodal_answerer answer;
        window_->command_action("RemoveLayerMask2Click")->trigger();
        QCOMPARE(answer.messages.value(0), QString("Apply mask to layer before removing it ?"));
        QVERIFY(!doc.layers[1]->mask);
        QCOMPARE(last_step(image_), std::string("Delete layer mask"));
    }

    void opacity_repaints_the_layer_where_the_view_shows_it()
    {
        tdocument& doc = image_->document();
        Tfbitmap red(20, 30);
        red.fill_pixels(0, 0, 255, 255);
        add_layer(doc, red, "Red", 255, 20, 0, normal);
        image_->set_zoom(17); // 600 %: the view scrolls
        auto* horizontal = image_->findChild<QScrollBar*>("ScrollBarx");
        QVERIFY(horizontal->isVisible());
        horizontal->setValue(horizontal->maximum());
        const Tfbitmap& view = image_->view_bitmap();
        const std::int32_t x = view.width() - 1;
        QCOMPARE(int(view.pixel(x, 0)[1]), 0); // the red layer fills the view's right edge
        palette_->show_image(image_);
        palette_->findChild<QSlider*>("trackbar1")->setValue(0);
        QCOMPARE(int(view.pixel(x, 0)[1]), 255);
    }

    void rows_toggle_visibility_and_reorder_by_dragging()
    {
        tdocument& doc = image_->document();
        Tfbitmap red(40, 30);
        red.fill_pixels(0, 0, 255, 255);
        add_layer(doc, red, "A", 255, 0, 0, normal);
        add_layer(doc, red, "B", 255, 0, 0, normal);
        image_->record("Layers");
        auto* rows = palette_->findChild<QWidget*>("layer_rows");
        // Rows top layer first, 31 pixels apart: B at 0, A at 31, the background at 62.
        const std::size_t steps = image_->history().entries().size();
        send_mouse(rows, QEvent::MouseButtonPress, {10, 31 + 16}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(int(doc.layers[1]->visible), 0);
        QCOMPARE(image_->history().entries().size(), steps);

        // Drag A onto the upper half of B's row: A goes to the top.
        send_mouse(rows, QEvent::MouseButtonPress, {80, 31 + 16}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(doc.current_layer, 1);
        send_mouse(rows, QEvent::MouseMove, {80, 20}, Qt::NoButton, Qt::LeftButton);
        send_mouse(rows, QEvent::MouseMove, {80, 5}, Qt::NoButton, Qt::LeftButton);
        send_mouse(rows, QEvent::MouseButtonRelease, {80, 5}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(QString::fromStdString(doc.layers[2]->name), QString("A"));
        QCOMPARE(QString::fromStdString(doc.layers[1]->name), QString("B"));
        QCOMPARE(doc.current_layer, 1);
        QCOMPARE(last_step(image_), std::string("Exchange Layer Superposition Order"));

        // Dropping the current row on the delete button deletes it without asking.
        send_mouse(rows, QEvent::MouseButtonPress, {80, 16}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(doc.current_layer, 2);
        const QPoint on_delete = rows->mapFrom(palette_, palette_->delete_button()->geometry().center());
        send_mouse(rows, QEvent::MouseMove, on_delete, Qt::NoButton, Qt::LeftButton);
        send_mouse(rows, QEvent::MouseButtonRelease, on_delete, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(doc.layers.size(), std::size_t(2));
        QCOMPARE(last_step(image_), std::string("Delete Layer"));
    }

    void new_layer_dialog_acts_live_and_cancel_removes_it()
    {
        tdocument& doc = image_->document();
        std::size_t layers_while_open = 0;
        {
            tmodal_answerer cancel([&](QWidget* modal) {
                layers_while_open = doc.layers.size();
                qobject_cast<QDialog*>(modal)->reject();
            });
            window_->command_action("NewLayer1Click")->trigger();
        }
        QCOMPARE(layers_while_open, std::size_t(2));
        QCOMPARE(doc.layers.size(), std::size_t(1));
        QCOMPARE(doc.current_layer, 0);
        QCOMPARE(int(doc.layers[0]->selected), 1);

        tmodal_answerer accept([&](QWidget* modal) {
            auto* dialog = qobject_cast<TForm10*>(modal);
            QTest::keyClicks(dialog->name_edit(), "Sky");
            dialog->opacity_slider()->setValue(100);
            dialog->accept();
        });
        window_->command_action("NewLayer1Click")->trigger();
        QCOMPARE(doc.layers.size(), std::size_t(2));
        QCOMPARE(doc.current_layer, 1);
        QCOMPARE(QString::fromStdString(doc.layers[1]->name), QString("New LayerSky"));
        QCOMPARE(doc.layers[1]->opacity, 100);
        QCOMPARE(last_step(image_), std::string("new layer"));
    }

    void layer_options_apply_live_and_cancel_restores()
    {
        tdocument& doc = image_->document();
        Tfbitmap red(10, 10);
        red.fill_pixels(0, 0, 255, 255);
        add_layer(doc, red, "Red", 255, 0, 0, normal);
        image_->recomposite_all();
        window_->refresh_command_states();
        std::int32_t left_while_open = 0;
        int red_while_open = 0;
        {
            tmodal_answerer cancel([&](QWidget* modal) {
                auto* dialog = qobject_cast<TForm18*>(modal);
                dialog->left_edit()->setValue(20);
                left_while_open = doc.layers[1]->left;
                red_while_open = image_->view_bitmap().pixel(25, 5)[1]; // green 0 once moved there
                dialog->opacity_slider()->setValue(0);
                dialog->reject();
            });
            window_->command_action("LayerOptions1Click")->trigger();
        }
        QCOMPARE(left_while_open, 20);
        QCOMPARE(red_while_open, 0);
        QCOMPARE(doc.layers[1]->left, 0);
        QCOMPARE(doc.layers[1]->opacity, 255);
        QCOMPARE(int(image_->view_bitmap().pixel(25, 5)[1]), 255); // white again

        tmodal_answerer accept([&](QWidget* modal) {
            auto* dialog = qobject_cast<TForm18*>(modal);
            dialog->name_edit()->setText("Renamed");
            dialog->name_edit()->textEdited("Renamed");
            dialog->accept();
        });
        window_->command_action("LayerOptions1Click")->trigger();
        QCOMPARE(QString::fromStdString(doc.layers[1]->name), QString("Renamed"));
        QCOMPARE(last_step(image_), std::string("Layer options"));
    }

    void select_menu_selects_saves_loads_and_shows_ants()
    {
        tdocument& doc = image_->document();
        window_->refresh_command_states();
        QVERIFY(!window_->command_action("Savetheselection1Click")->isEnabled());
        QVERIFY(!window_->command_action("Loadtheselection1Click")->isEnabled());
        window_->command_action("SelectAll1Click")->trigger();
        QVERIFY(doc.has_selection);
        QCOMPARE(last_step(image_), std::string("Select All"));
        // The ants run along the image's border: the corner turns black or white.
        QTRY_VERIFY(image_->view_bitmap().pixel(0, 0)[0] == 0);

        QVERIFY(window_->command_action("Savetheselection1Click")->isEnabled());
        window_->command_action("Savetheselection1Click")->trigger();
        QCOMPARE(doc.saved_selections.size(), std::size_t(1));
        window_->command_action("Deselect1Click")->trigger();
        QVERIFY(!doc.has_selection);
        QCOMPARE(last_step(image_), std::string("Deselect"));
        QCOMPARE(int(image_->view_bitmap().pixel(0, 0)[0]), 255); // ants gone with the selection

        tmodal_answerer load([](QWidget* modal) { qobject_cast<QDialog*>(modal)->accept(); });
        window_->command_action("Loadtheselection1Click")->trigger();
        QVERIFY(doc.has_selection);
        QCOMPARE(doc.selection.mask.width(), 40);
        QCOMPARE(last_step(image_), std::string("Load Selection"));

        window_->command_action("Invert2Click")->trigger();
        QVERIFY(doc.outline.points.empty()); // everything was selected: nothing is
        window_->command_action("Undo1Click")->trigger();
        QVERIFY(!doc.outline.points.empty()); // the outline comes back with the step

        window_->command_action("Hideshow1Click")->trigger();
        QTest::qWait(120);
        QCOMPARE(int(image_->view_bitmap().pixel(0, 0)[0]), 255);
    }

private:
    teditor_session session_;
    tmain_window* window_ = nullptr;
    tlayers_palette* palette_ = nullptr;
    TForm2* image_ = nullptr;
};

QTEST_MAIN(tst_layers)
#include "tst_layers.moc"
