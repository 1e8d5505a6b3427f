#include "document/image_window.h"

#include "document/composite.h"
#include "selection/selection.h"
#include "shell/busy_cursor.h"
#include "shell/catalogue.h"
#include "shell/cursors.h"
#include "shell/preferences.h"
#include "tools/tool_editor.h"

#include "document/error.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>

#include <cmath>

namespace velmora {

namespace {

constexpr int ruler_thickness = 20;
constexpr int airbrush_interval_ms = 100;

QString text(std::string_view key)
{
    return QString::fromStdString(translate(key));
}

std::uint8_t tool_buttons(Qt::MouseButtons buttons)
{
    return std::uint8_t((buttons & Qt::LeftButton ? mouse_button::left : 0) |
                        (buttons & Qt::RightButton ? mouse_button::right : 0) |
                        (buttons & Qt::MiddleButton ? mouse_button::middle : 0));
}

std::uint8_t tool_modifiers(Qt::KeyboardModifiers modifiers)
{
    return std::uint8_t((modifiers & Qt::ShiftModifier ? modifier_key::shift : 0) |
                        (modifiers & Qt::ControlModifier ? modifier_key::ctrl : 0) |
                        (modifiers & Qt::AltModifier ? modifier_key::alt : 0));
}

// View pixels to the image units composite_view takes, rounded outward.
trect view_to_image_area(const trect& view, double z)
{
    return {std::int32_t(std::floor(view.left / z)), std::int32_t(std::floor(view.top / z)),
            std::int32_t(std::ceil(view.right / z)), std::int32_t(std::ceil(view.bottom / z))};
}

} // namespace

// The client area of an image window: the view, its rulers and frame lines.
class tview_canvas : public QWidget {
public:
    explicit tview_canvas(TForm2* window) : QWidget(window), window_(window)
    {
        setObjectName("image1");
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent*) override { window_->relayout(); }
    void mousePressEvent(QMouseEvent* event) override
    {
        window_->pointer_event(*event, TForm2::tpointer_phase::press);
    }
    void mouseMoveEvent(QMouseEvent* event) override { window_->pointer_event(*event, TForm2::tpointer_phase::move); }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        window_->pointer_event(*event, TForm2::tpointer_phase::release);
    }
    // ALT switches the pencil and the zoom tool's cursors at once.
    void keyPressEvent(QKeyEvent* event) override
    {
        window_->show_tool_cursor(event->modifiers());
        if (!window_->move_layer_by_key(*event))
            QWidget::keyPressEvent(event);
    }
    void keyReleaseEvent(QKeyEvent* event) override
    {
        window_->show_tool_cursor(event->modifiers());
        QWidget::keyReleaseEvent(event);
    }
    void enterEvent(QEnterEvent*) override { emit window_->pointer_entered(); }
    void leaveEvent(QEvent*) override { window_->clear_brush_preview(); }

private:
    void paint_rulers(QPainter& painter);

    TForm2* window_;
};

void tview_canvas::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    const tview_layout& l = window_->layout_;
    const QRect view(l.view_left, l.view_top, l.view_width, l.view_height);
    painter.drawImage(view.topLeft(), window_->view_image());
    // One-pixel black frame lines around the view, hidden along a scrolled
    // axis; filled as rectangles so that they never reach into the view on a
    // scaled screen.
    const int L = l.view_left, T = l.view_top, w = l.view_width, h = l.view_height;
    if (!l.vertical_bar) {
        painter.fillRect(L, T - 1, w, 1, Qt::black);
        painter.fillRect(L - 1, T + h, w + 1, 1, Qt::black);
    }
    if (!l.horizontal_bar) {
        painter.fillRect(L - 1, T - 1, 1, h + 1, Qt::black);
        painter.fillRect(L + w, T - 1, 1, h + 2, Qt::black);
    }
    if (window_->ruler_ > 0)
        paint_rulers(painter);
    if (window_->brush_outline_ && window_->outline_at_) {
        // The brush outline inverts what it crosses, so it shows on any colour.
        const int radius = classic_preview_radius(window_->tools_->state.brush_shape, window_->mapping_.z);
        painter.setClipRect(view);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.setPen(Qt::white);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(view.topLeft() + *window_->outline_at_, radius, radius);
    }
}

void tview_canvas::paint_rulers(QPainter& painter)
{
    const tview_layout& l = window_->layout_;
    const tview_mapping& m = window_->mapping_;
    const int r = window_->ruler_;
    const double per_unit = m.z * window_->document_.resolution / (window_->ruler_in_inches_ ? 1.0 : 2.54);
    const truler_step step = ruler_step(per_unit);
    painter.fillRect(0, 0, width(), r, Qt::white);
    painter.fillRect(0, 0, r, height(), Qt::white);
    painter.setPen(Qt::black);
    QFont font = painter.font();
    font.setPixelSize(9);
    painter.setFont(font);
    // Big ticks with a label every step, a middle tick at half and small ones at quarters.
    const double quarter = std::max(1, step.pixels) / 4.0;
    const auto draw_axis = [&](bool horizontal) {
        const int start = horizontal ? l.view_left : l.view_top;
        const int length = horizontal ? l.view_width : l.view_height;
        const double origin = (horizontal ? m.ox : m.oy) * m.z;
        for (auto i = long(std::floor(origin / quarter));; ++i) {
            const int pos = start + int(std::lround(i * quarter - origin));
            if (pos > start + length)
                break;
            if (pos < start)
                continue;
            const long kind = ((i % 4) + 4) % 4;
            const int tick = kind == 0 ? r : kind == 2 ? r * 40 / 100 : r * 25 / 100;
            if (horizontal)
                painter.drawLine(pos, r - tick, pos, r - 1);
            else
                painter.drawLine(r - tick, pos, r - 1, pos);
            if (kind != 0)
                continue;
            const QString label = QString::number(double(i / 4) * step.units, 'f', step.decimals);
            if (horizontal) {
                painter.drawText(pos + 2, 9, label);
            } else {
                painter.save();
                painter.translate(step.rotated_labels ? 9 : 1, pos + (step.rotated_labels ? -2 : 10));
                painter.rotate(step.rotated_labels ? 270 : 0);
                painter.drawText(0, 0, label);
                painter.restore();
            }
        }
    };
    draw_axis(true);
    draw_axis(false);
    painter.fillRect(0, 0, r, r, Qt::white);
}

TForm2::TForm2(tdocument document, QWidget* parent) : QMdiSubWindow(parent), document_(std::move(document))
{
    setObjectName("TForm2");
    setAttribute(Qt::WA_DeleteOnClose);
    mapping_.z = zoom_factor(document_.zoom_index);
    canvas_ = new tview_canvas(this);
    horizontal_ = new QScrollBar(Qt::Horizontal, canvas_);
    vertical_ = new QScrollBar(Qt::Vertical, canvas_);
    horizontal_->setObjectName("ScrollBarx");
    vertical_->setObjectName("ScrollBary");
    for (QScrollBar* bar : {horizontal_, vertical_}) {
        // Keys go to the view, where the arrows move the layer.
        bar->setFocusPolicy(Qt::NoFocus);
        bar->setSingleStep(5);
        bar->setPageStep(100);
        connect(bar, &QScrollBar::valueChanged, this, &TForm2::scroll_moved);
    }
    setWidget(canvas_);
    airbrush_timer_.setInterval(airbrush_interval_ms);
    connect(&airbrush_timer_, &QTimer::timeout, this, &TForm2::airbrush_tick);
    // Its shortcuts (Ctrl+W ...) would clash with the main window's commands.
    setSystemMenu(nullptr);
    setWindowTitle(caption());
}

TForm2::~TForm2() = default;

QString TForm2::caption() const
{
    return QFileInfo(QString::fromStdString(document_.file_name)).fileName() + text("@ch_a") +
           QString::fromStdString(zoom_percent_text(document_.zoom_index)) + "%";
}

QImage TForm2::view_image() const
{
    if (view_.empty())
        return {};
    return QImage(view_.bits(), view_.width(), view_.height(), qsizetype(view_.stride()), QImage::Format_RGB32);
}

QSize TForm2::zoomed_client_size() const
{
    return {int(std::lround(document_.width() * mapping_.z)), int(std::lround(document_.height() * mapping_.z))};
}

void TForm2::relayout()
{
    if (!canvas_)
        return;
    layout_ = size_view(document_.width(), document_.height(), mapping_.z, canvas_->width(), canvas_->height(), ruler_,
                        mapping_);
    mapping_.ox = std::min(mapping_.ox, float(document_.width() - layout_.view_width / mapping_.z));
    mapping_.oy = std::min(mapping_.oy, float(document_.height() - layout_.view_height / mapping_.z));
    mapping_.ox = std::max(mapping_.ox, 0.0f);
    mapping_.oy = std::max(mapping_.oy, 0.0f);
    {
        const QSignalBlocker block_h(horizontal_);
        const QSignalBlocker block_v(vertical_);
        horizontal_->setVisible(layout_.horizontal_bar);
        vertical_->setVisible(layout_.vertical_bar);
        horizontal_->setGeometry(ruler_, canvas_->height() - scroll_bar_thickness,
                                 canvas_->width() - ruler_ - (layout_.vertical_bar ? scroll_bar_thickness : 0),
                                 scroll_bar_thickness);
        vertical_->setGeometry(canvas_->width() - scroll_bar_thickness, ruler_, scroll_bar_thickness,
                               canvas_->height() - ruler_ - (layout_.horizontal_bar ? scroll_bar_thickness : 0));
        horizontal_->setRange(0, layout_.horizontal_range);
        vertical_->setRange(0, layout_.vertical_range);
        horizontal_->setValue(int(mapping_.ox * mapping_.z));
        vertical_->setValue(int(mapping_.oy * mapping_.z));
    }
    view_.set_size(layout_.view_width, layout_.view_height);
    recomposite_all();
    emit view_moved();
}

void TForm2::scroll_moved()
{
    mapping_.ox = layout_.horizontal_bar
                      ? scroll_origin(horizontal_->value(), mapping_.z, document_.width(), layout_.view_width)
                      : 0.0f;
    mapping_.oy = layout_.vertical_bar
                      ? scroll_origin(vertical_->value(), mapping_.z, document_.height(), layout_.view_height)
                      : 0.0f;
    recomposite_all();
    emit view_moved();
}

void TForm2::navigate_to(QPoint at)
{
    const tsize size = navigator_size(document_.width(), document_.height());
    const tnavigator_jump x = navigator_jump(at.x(), size.width, document_.width(), mapping_.z, layout_.view_width,
                                             layout_.horizontal_range);
    const tnavigator_jump y = navigator_jump(at.y(), size.height, document_.height(), mapping_.z,
                                             layout_.view_height, layout_.vertical_range);
    mapping_.ox = x.origin;
    mapping_.oy = y.origin;
    {
        const QSignalBlocker block_h(horizontal_);
        const QSignalBlocker block_v(vertical_);
        horizontal_->setValue(x.position);
        vertical_->setValue(y.position);
    }
    recomposite_all();
    emit view_moved();
}

tnavigator_view TForm2::navigator_view() const
{
    return {mapping_.z, layout_, horizontal_->value(), vertical_->value()};
}

bool TForm2::move_layer_by_key(const QKeyEvent& event)
{
    if (!tools_ || tools_->state.current_tool != tool_id::move)
        return false;
    const int step = event.modifiers() & Qt::ShiftModifier ? 10 : 1;
    QPoint delta;
    switch (event.key()) {
    case Qt::Key_Left: delta = {-step, 0}; break;
    case Qt::Key_Right: delta = {step, 0}; break;
    case Qt::Key_Up: delta = {0, -step}; break;
    case Qt::Key_Down: delta = {0, step}; break;
    default: return false;
    }
    // The nudge is not a history step of its own.
    ttool_result moved;
    moved.dirty = nudge_current_layer(document_, delta.x(), delta.y());
    show_tool_result(moved, {});
    return true;
}

void TForm2::recomposite(const trect& area)
{
    if (view_.empty())
        return;
    composite_dirty(document_, view_, mapping_, area);
    canvas_->update(layout_.view_left, layout_.view_top, layout_.view_width, layout_.view_height);
}

void TForm2::recomposite_all()
{
    if (view_.empty()) {
        canvas_->update();
        return;
    }
    velmora::recomposite_all(document_, view_, mapping_);
    canvas_->update();
}

void TForm2::draw_ants(std::int32_t phase)
{
    if (view_.empty())
        return;
    const trect painted = draw_marching_ants(document_.outline.view_points, phase, mapping_, view_);
    if (!painted.empty())
        canvas_->update(layout_.view_left + painted.left, layout_.view_top + painted.top, painted.right - painted.left,
                        painted.bottom - painted.top);
}

void TForm2::pointer_event(const QMouseEvent& event, tpointer_phase phase)
{
    if (!tools_)
        return;
    const QPoint at = event.position().toPoint() - QPoint(layout_.view_left, layout_.view_top);
    const bool inside = at.x() >= 0 && at.y() >= 0 && at.x() < layout_.view_width && at.y() < layout_.view_height;
    // Strokes follow the pointer beyond the view; they start only on it.
    if (phase == tpointer_phase::press && !inside)
        return;
    const tpointer_event pointer{{at.x(), at.y()},
                                 tool_buttons(phase == tpointer_phase::move ? event.buttons() : event.button()),
                                 tool_modifiers(event.modifiers())};
    if (phase == tpointer_phase::press)
        clear_brush_preview();
    try {
        const ttool_view view{mapping_, &view_};
        ttool_result result;
        if (phase == tpointer_phase::press)
            result = tools_->press(document_, view, pointer);
        else if (phase == tpointer_phase::move)
            result = tools_->move(document_, view, pointer);
        else
            result = tools_->release(document_, view, pointer);
        show_tool_result(result, at);
    } catch (const velmora_error& error) {
        QMessageBox::warning(this, text("@ch_warning"), text(error.key()));
    } catch (const std::bad_alloc&) {
        QMessageBox::warning(this, text("@ch_warning"), text("@ch_no_mem"));
    }
    if (tools_->state.airbrush_running)
        airbrush_timer_.start();
    else
        airbrush_timer_.stop();
    if (inside) {
        show_tool_cursor(event.modifiers());
        show_brush_preview(at, event.buttons() != Qt::NoButton);
    } else {
        canvas_->unsetCursor();
        clear_brush_preview();
    }
}

void TForm2::airbrush_tick()
{
    if (!tools_ || !tools_->state.airbrush_running) {
        airbrush_timer_.stop();
        return;
    }
    try {
        show_tool_result(tools_->airbrush_tick(document_, {mapping_, &view_}), {});
    } catch (const std::bad_alloc&) {
        airbrush_timer_.stop();
        QMessageBox::warning(this, text("@ch_warning"), text("@ch_no_mem"));
    }
}

void TForm2::show_tool_result(const ttool_result& result, QPoint at)
{
    if (!result.dirty.empty() && !view_.empty()) {
        composite_dirty(document_, view_, mapping_, result.dirty);
        update_view_area({int(std::floor(mapping_.z * (result.dirty.left - mapping_.ox))),
                          int(std::floor(mapping_.z * (result.dirty.top - mapping_.oy))),
                          int(std::ceil(mapping_.z * (result.dirty.right - mapping_.ox))),
                          int(std::ceil(mapping_.z * (result.dirty.bottom - mapping_.oy)))});
    }
    if (result.stop_ants)
        emit ants_requested(false);
    if (!result.history_key.empty())
        record(translate(result.history_key));
    if (result.restart_ants)
        emit ants_requested(true);
    if (result.foreground_changed || result.background_changed)
        emit colours_changed();
    if (result.zoom_index != 0)
        set_zoom(result.zoom_index, QPointF(at));
}

void TForm2::update_view_area(const trect& area)
{
    canvas_->update(QRect(layout_.view_left + area.left - 1, layout_.view_top + area.top - 1,
                          area.right - area.left + 2, area.bottom - area.top + 2));
}

void TForm2::show_tool_cursor(Qt::KeyboardModifiers modifiers)
{
    if (!tools_)
        return;
    const std::string_view name = tools_->cursor(tool_modifiers(modifiers));
    // Only the brush tools in the classic mode name no cursor of their own.
    brush_outline_ = name.empty() && tools_->state.classic_preview && ttool_editor::available(tools_->state.current_tool);
    canvas_->setCursor(brush_outline_ ? QCursor(Qt::BlankCursor) : program_cursor(name));
}

// The classic outline follows the pointer; the realtime dab shows under it
// while no button is held.
void TForm2::show_brush_preview(QPoint at, bool button_held)
{
    if (brush_outline_) {
        const int reach = classic_preview_radius(tools_->state.brush_shape, mapping_.z) + 2;
        for (const std::optional<QPoint>& centre : {outline_at_, std::optional<QPoint>(at)})
            if (centre)
                update_view_area({centre->x() - reach, centre->y() - reach, centre->x() + reach, centre->y() + reach});
        outline_at_ = at;
    }
    const ttool_info* info = find_tool_info(tools_->state.current_tool);
    if (!tools_->state.realtime_preview || button_held || !info || !info->brush_panel ||
        !ttool_editor::available(info->id) || tools_->state.brush_shape.empty() || view_.empty())
        return;
    clear_brush_preview();
    realtime_preview_ = draw_realtime_preview(view_, tools_->state.brush_shape, tools_->state.brush.opacity,
                                              tools_->state.foreground, at.x(), at.y(), mapping_.z);
    update_view_area(realtime_preview_);
}

void TForm2::clear_brush_preview()
{
    if (outline_at_) {
        const int reach = tools_ ? classic_preview_radius(tools_->state.brush_shape, mapping_.z) + 2 : 0;
        update_view_area({outline_at_->x() - reach, outline_at_->y() - reach, outline_at_->x() + reach,
                          outline_at_->y() + reach});
        outline_at_.reset();
    }
    if (realtime_preview_.empty() || view_.empty())
        return;
    composite_view(document_, view_, mapping_, view_to_image_area(realtime_preview_, mapping_.z));
    update_view_area(realtime_preview_);
    realtime_preview_ = {};
}

void TForm2::record(const std::string& name)
{
    const tundo_settings settings{read_bool("undo", "disable_undo_redo", false),
                                  read_bool("undo", "disable_undo_redo_for_big_images", true),
                                  read_bool("undo", "variable_limit", false), read_int("undo", "count_limit", 10)};
    history_.record_action(document_, name, settings);
    emit history_changed();
}

void TForm2::load_history_entry(const std::function<thistory_change()>& step)
{
    try {
        thistory_change change;
        {
            const tbusy_cursor busy;
            change = step();
        }
        // A size change (an undone crop) needs the view laid out again.
        if (change.size_changed)
            relayout();
        else
            recomposite_all();
    } catch (const velmora_error& error) {
        QMessageBox::warning(this, text("@ch_warning"), text(error.key()));
    }
    emit history_changed();
}

void TForm2::undo()
{
    load_history_entry([this] { return history_.undo_action(document_); });
}

void TForm2::redo()
{
    load_history_entry([this] { return history_.redo_action(document_); });
}

void TForm2::go_to(std::int32_t entry)
{
    if (entry == history_.position())
        return;
    load_history_entry([this, entry] { return history_.go_to_entry(document_, entry); });
}

void TForm2::set_zoom(int zoom_index)
{
    set_zoom(zoom_index, QPointF(layout_.view_width / 2.0, layout_.view_height / 2.0));
}

void TForm2::set_zoom(int zoom_index, QPointF focus)
{
    apply_zoom(zoom_index, [&](double previous) {
        mapping_.ox = zoom_origin(mapping_.ox, document_.width(), canvas_->width(), layout_.view_width, focus.x(),
                                  previous, mapping_.z);
        mapping_.oy = zoom_origin(mapping_.oy, document_.height(), canvas_->height(), layout_.view_height,
                                  focus.y(), previous, mapping_.z);
    });
}

void TForm2::set_zoom_centred(int zoom_index)
{
    apply_zoom(zoom_index, [this](double) {
        mapping_.ox = slider_origin(document_.width(), mapping_.z);
        mapping_.oy = slider_origin(document_.height(), mapping_.z);
    });
}

void TForm2::apply_zoom(int zoom_index, const std::function<void(double previous)>& place_origin)
{
    if (zoom_index < zoom_index_min || zoom_index > zoom_index_max)
        return;
    const double previous = mapping_.z;
    document_.zoom_index = zoom_index;
    mapping_.z = zoom_factor(zoom_index);
    derive_view_outline(document_);
    place_origin(previous);
    if (tools_ && tools_->state.zoom_resizes_window)
        fit_window_to_zoom();
    relayout();
    setWindowTitle(caption());
    emit zoom_changed();
}

// The zoom tool's "Resize window": along each axis where the zoomed image is
// narrower than the workspace, the window takes the image's zoomed size.
void TForm2::fit_window_to_zoom()
{
    const QMdiArea* area = mdiArea();
    if (!area)
        return;
    const QSize extra = size() - widget()->size() + QSize(ruler_, ruler_);
    const QSize image = zoomed_client_size();
    const QSize workspace = area->viewport()->size();
    resize(image.width() < workspace.width() ? image.width() + extra.width() : width(),
           image.height() < workspace.height() ? image.height() + extra.height() : height());
}

void TForm2::set_rulers_visible(bool visible)
{
    const int change = (visible ? ruler_thickness : 0) - ruler_;
    ruler_ = visible ? ruler_thickness : 0;
    ruler_in_inches_ = read_int("language", "unit", 0) == 1;
    // A view that fits keeps fitting: the window grows or shrinks by the rulers.
    if (change != 0 && !layout_.horizontal_bar && !layout_.vertical_bar && isVisible())
        resize(size() + QSize(change, change));
    relayout();
}

void TForm2::closeEvent(QCloseEvent* event)
{
    if (document_.modified) {
        const QString name = QString::fromStdString(document_.file_name).toLower();
        const QString question = QString::fromStdString(fill_placeholders(translate("@ch_save_before_closing"),
                                                                          {name.toStdString()}));
        // Saving comes with the file dialogs; until then a modified image can
        // be closed without saving or kept open.
        const auto answer = QMessageBox::question(this, text("@ch_warning"), question,
                                                  QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::No) {
            event->ignore();
            return;
        }
    }
    QMdiSubWindow::closeEvent(event);
}

} // namespace velmora
