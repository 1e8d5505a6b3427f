#include "document/layers_palette.h"

#include "document/image_window.h"
#include "document/layer_operations.h"
#include "document/rounding.h"
#include "shell/busy_cursor.h"
#include "shell/catalogue.h"
#include "shell/cursors.h"
#include "shell/translation.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QSlider>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <array>

namespace velmora {

namespace {

QString text(std::string_view key)
{
    return QString::fromStdString(translate(key));
}

// Wraps a thumbnail without copying; the picture must outlive the image.
QImage picture_image(const Tfbitmap& picture)
{
    return QImage(picture.bits(), picture.width(), picture.height(), int(picture.stride()), QImage::Format_ARGB32);
}

// The buttons' glyphs, drawn rather than shipped: a page, two pages, a cross
// and a framed disc.
QIcon glyph(int kind)
{
    return QIcon(drawn_picture(16, [kind](QPainter& painter) {
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::white);
        switch (kind) {
        case 0: painter.drawRect(QRectF(3.5, 1.5, 10, 13)); break;
        case 1:
            painter.drawRect(QRectF(1.5, 1.5, 9, 11));
            painter.drawRect(QRectF(5.5, 4.5, 9, 11));
            break;
        case 2:
            painter.setPen(QPen(QColor(160, 0, 0), 2));
            painter.drawLine(QPointF(3, 3), QPointF(12, 12));
            painter.drawLine(QPointF(12, 3), QPointF(3, 12));
            break;
        default:
            painter.drawRect(QRectF(1.5, 1.5, 13, 13));
            painter.setBrush(Qt::black);
            painter.drawEllipse(QPointF(8, 8), 4, 4);
        }
    }));
}

} // namespace

void fill_blend_modes(QComboBox* list)
{
    static constexpr std::array<const char*, blend_mode_count> keys = {
        "@ch_normal", "@ch_multiply", "@ch_screen", "@ch_overlay", "@ch_hardlight", "@ch_difference", "@ch_exclusion",
        nullptr};
    list->clear();
    for (const char* key : keys)
        list->addItem(key ? text(key) : QStringLiteral("Average"));
}

// The rows: painted rather than built from widgets, so that a rebuild of
// many layers costs a repaint. Presses select, toggle visibility, open the
// pop-up menu or start a drag.
class tlayer_rows : public QWidget {
public:
    explicit tlayer_rows(tlayers_palette* palette) : QWidget(palette), palette_(palette)
    {
        setObjectName("layer_rows");
        setMouseTracking(false);
    }

    // Thumbnails of every layer (and the mask), taken from the document.
    void rebuild()
    {
        thumbnails_.clear();
        const TForm2* image = palette_->image();
        if (image)
            for (std::size_t i = 0; i < image->document().layers.size(); ++i)
                thumbnails_.push_back(layer_thumbnail(image->document(), std::int32_t(i)));
        setMinimumHeight(std::max<int>(1, int(thumbnails_.size()) * 31 + 1));
        update();
    }

    std::int32_t row_at(int y) const
    {
        const int count = int(thumbnails_.size());
        if (count == 0 || y < 0)
            return -1;
        const int from_top = std::min(y / 31, count - 1);
        return count - from_top - 1;
    }
    int row_top(std::int32_t row) const { return (int(thumbnails_.size()) - row - 1) * 31; }
    static QRect visibility_box(int top) { return {3, top + (tlayers_palette::row_height - 16) / 2, 16, 16}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const TForm2* image = palette_->image();
        if (!image)
            return;
        const tdocument& doc = image->document();
        QPainter painter(this);
        const int width = this->width() - 5;
        for (std::size_t i = 0; i < thumbnails_.size() && i < doc.layers.size(); ++i) {
            const auto row = std::int32_t(i);
            const tcalque& layer = *doc.layers[i];
            const int top = row_top(row);
            const QRect area(0, top, width, tlayers_palette::row_height);
            const bool current = row == doc.current_layer;
            QColor background = palette().color(QPalette::Window);
            QColor ink = palette().color(QPalette::WindowText);
            if (current && !doc.mask_editing) {
                background = palette().color(QPalette::Highlight);
                ink = Qt::white;
            } else if (layer.selected || current) {
                background = QColor(0x80, 0x80, 0x80);
                ink = Qt::black;
            }
            painter.fillRect(area, background);
            painter.setPen(palette().color(QPalette::Mid));
            painter.drawRect(area.adjusted(0, 0, -1, -1));
            if (row > 0) {
                const QRect box = visibility_box(top);
                painter.fillRect(box, QColor(0xC0, 0xC0, 0xC0));
                painter.setPen(Qt::black);
                painter.drawRect(box.adjusted(0, 0, -1, -1));
                if (layer.visible) {
                    painter.drawLine(box.left() + 3, box.top() + 8, box.left() + 6, box.top() + 11);
                    painter.drawLine(box.left() + 6, box.top() + 11, box.left() + 12, box.top() + 4);
                }
            }
            const Tfbitmap& thumbnail = thumbnails_[i];
            const int thumbnail_top = top + (tlayers_palette::row_height - thumbnail.height()) / 2;
            painter.drawImage(QPoint(25, thumbnail_top), picture_image(thumbnail));
            int text_right = area.right() - 4;
            if (layer.text.is_text) {
                const QRect mark(area.right() - 20, top + 7, 16, 18);
                painter.setPen(ink);
                QFont bold = font();
                bold.setBold(true);
                painter.setFont(bold);
                painter.drawText(mark, Qt::AlignCenter, QStringLiteral("T"));
                painter.setFont(font());
                text_right = mark.left() - 2;
            }
            painter.setPen(ink);
            painter.drawText(QRect(25 + 34 + 6, top, text_right - 65, tlayers_palette::row_height),
                             Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(layer.name) + "  ");
        }
    }

    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip) {
            const auto* help = static_cast<QHelpEvent*>(event);
            const std::int32_t row = row_at(help->pos().y());
            if (row > 0 && visibility_box(row_top(row)).contains(help->pos()))
                QToolTip::showText(help->globalPos(), text("@ch_visibility_on_off"), this);
            else
                QToolTip::hideText();
            return true;
        }
        return QWidget::event(event);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        const std::int32_t row = row_at(event->position().toPoint().y());
        if (row < 0 || !palette_->image())
            return;
        press_ = event->position().toPoint();
        pressed_row_ = row;
        dragging_ = false;
        if (event->button() == Qt::LeftButton) {
            if (row > 0 && visibility_box(row_top(row)).contains(press_)) {
                pressed_row_ = -1;
                palette_->toggle_visibility(row);
                return;
            }
            palette_->select_layer_row(row, event->modifiers() & Qt::ControlModifier);
        } else if (event->button() == Qt::RightButton) {
            pressed_row_ = -1;
            palette_->select_layer_row(row, false);
            palette_->layer_menu()->popup(event->globalPosition().toPoint());
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (pressed_row_ <= 0 || !(event->buttons() & Qt::LeftButton))
            return;
        const QPoint at = event->position().toPoint();
        if (!dragging_ && (at - press_).manhattanLength() <= 5)
            return;
        dragging_ = true;
        const std::int32_t target = rect().contains(at) ? row_at(at.y()) : -1;
        if (target < 0) {
            setCursor(Qt::ArrowCursor);
            return;
        }
        const treorder_drop drop = reorder_drop(pressed_row_, target, at.y() - row_top(target), tlayers_palette::row_height);
        if (drop.index < 0)
            setCursor(Qt::ForbiddenCursor);
        else
            setCursor(program_cursor(drop.below ? "INSERE_EN_DESSOUS" : "INSERE_AU_DESSUS"));
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const bool dropped = dragging_ && event->button() == Qt::LeftButton;
        const std::int32_t dragged = pressed_row_;
        dragging_ = false;
        pressed_row_ = -1;
        unsetCursor();
        if (dropped)
            palette_->drop_row(dragged, event->globalPosition().toPoint());
    }

private:
    tlayers_palette* palette_;
    std::vector<Tfbitmap> thumbnails_;
    QPoint press_;
    std::int32_t pressed_row_ = -1;
    bool dragging_ = false;
};

// The mask thumbnail: its panel takes the highlight colour while the mask is
// edited; a cross marks a disabled mask.
class tmask_thumbnail : public QWidget {
public:
    explicit tmask_thumbnail(tlayers_palette* palette) : QWidget(palette), palette_(palette)
    {
        setObjectName("mask_panel");
        setFixedSize(40, 32);
    }

    void rebuild()
    {
        const TForm2* image = palette_->image();
        picture_ = image ? mask_thumbnail(image->document(), image->document().current_layer) : Tfbitmap();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const TForm2* image = palette_->image();
        if (!image || picture_.empty())
            return;
        const tdocument& doc = image->document();
        const tcalque& layer = doc.current_layer_record();
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(doc.mask_editing ? QPalette::Highlight : QPalette::Window));
        const QPoint corner((width() - picture_.width()) / 2, (height() - picture_.height()) / 2);
        painter.drawImage(corner, picture_image(picture_));
        if (!layer.mask_enabled) {
            const QRect area(corner, QSize(picture_.width(), picture_.height()));
            if (layer.mask) {
                painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
                painter.setPen(Qt::white);
            } else {
                painter.setPen(Qt::black);
            }
            painter.drawLine(area.topLeft(), area.bottomRight());
            painter.drawLine(area.topRight(), area.bottomLeft());
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            palette_->edit_mask();
        else if (event->button() == Qt::RightButton)
            palette_->mask_menu()->popup(event->globalPosition().toPoint());
    }

private:
    tlayers_palette* palette_;
    Tfbitmap picture_;
};

// The opacity slider: a click jumps to the clicked value, and `committed`
// fires once the mouse button or key is released.
class topacity_slider : public QSlider {
public:
    std::function<void()> committed;

    explicit topacity_slider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
    {
        setObjectName("trackbar1");
        setRange(0, 255);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && width() > 0)
            setValue(int(round_half_even((long double)event->position().x() / width() * 255)));
        QSlider::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QSlider::mouseReleaseEvent(event);
        committed();
    }
    void keyReleaseEvent(QKeyEvent* event) override
    {
        QSlider::keyReleaseEvent(event);
        committed();
    }
};

tlayers_palette::tlayers_palette(QWidget* parent) : QWidget(parent)
{
    setObjectName("layers_palette");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(3);

    auto* mode_row = new QHBoxLayout;
    blend_mode_ = new QComboBox(this);
    blend_mode_->setObjectName("blendmode");
    fill_blend_modes(blend_mode_);
    connect(blend_mode_, &QComboBox::activated, this, &tlayers_palette::set_blend_mode);
    mode_row->addWidget(blend_mode_, 1);
    column->addLayout(mode_row);

    auto* opacity_row = new QHBoxLayout;
    opacity_label_ = new QLabel(this);
    opacity_label_->setObjectName("opacity_label");
    opacity_ = new topacity_slider(this);
    opacity_->committed = [this] { commit_opacity(); };
    connect(opacity_, &QSlider::valueChanged, this, &tlayers_palette::set_opacity);
    opacity_row->addWidget(opacity_label_);
    opacity_row->addWidget(opacity_, 1);
    column->addLayout(opacity_row);

    preserve_ = new QCheckBox("Preserve Transparency", this);
    preserve_->setObjectName("CheckBox4");
    connect(preserve_, &QCheckBox::clicked, this, &tlayers_palette::set_preserve_transparency);
    column->addWidget(preserve_);

    rows_ = new tlayer_rows(this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(rows_);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column->addWidget(scroll_, 1);

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const char* hint, int kind) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setIcon(glyph(kind));
        b->setAutoRaise(true);
        buttons->addWidget(b);
        return b;
    };
    new_button_ = button("ToolbarButton971", "Create a new layer", 0);
    duplicate_button_ = button("ToolbarButton9712", "Duplicate the current layer", 1);
    mask_button_ = button("creemaskbutton", "Create layer mask", 3);
    delete_button_ = button("ToolbarButton9711", "Delete the current layer", 2);
    buttons->addStretch(1);
    mask_ = new tmask_thumbnail(this);
    buttons->addWidget(mask_);
    column->addLayout(buttons);
    connect(new_button_, &QToolButton::clicked, this, &tlayers_palette::new_layer);
    connect(duplicate_button_, &QToolButton::clicked, this, [this] { emit command_requested("ToolbarButton9712Click"); });
    connect(delete_button_, &QToolButton::clicked, this, [this] { emit command_requested("ToolbarButton9711Click"); });
    connect(mask_button_, &QToolButton::clicked, this, [this] { emit command_requested("CreateLayerMask1Click"); });
    apply_window_table(this, window_language(), "Form1");
    rebuild_layers_palette();
}

void tlayers_palette::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    rebuild_layers_palette();
}

void tlayers_palette::show_image(TForm2* image)
{
    image_ = image;
    rebuild_layers_palette();
}

QString tlayers_palette::caption() const
{
    if (!image_ || image_->document().file_name.empty())
        return text("@ch_layers");
    return text("@ch_layers_of") + QFileInfo(QString::fromStdString(image_->document().file_name)).completeBaseName();
}

void tlayers_palette::rebuild_layers_palette()
{
    if (!isVisible())
        return;
    tbusy_cursor busy;
    rows_->rebuild();
    load_controls();
    emit caption_changed();
}

void tlayers_palette::load_controls()
{
    const bool has_image = image_ && image_->document().valid_layer(image_->document().current_layer);
    const tcalque* layer = has_image ? &image_->document().current_layer_record() : nullptr;
    const bool upper = has_image && image_->document().current_layer > 0;
    for (QWidget* control : std::initializer_list<QWidget*>{blend_mode_, opacity_label_, opacity_, preserve_})
        control->setEnabled(upper);
    new_button_->setEnabled(has_image);
    duplicate_button_->setEnabled(has_image);
    delete_button_->setEnabled(upper);
    mask_button_->setEnabled(upper && !layer->mask);
    const QSignalBlocker block_mode(blend_mode_);
    const QSignalBlocker block_opacity(opacity_);
    blend_mode_->setCurrentIndex(layer && layer->blend_mode < blend_mode_count ? int(layer->blend_mode) : int(normal));
    opacity_->setValue(layer ? layer->opacity : 255);
    recorded_opacity_ = opacity_->value();
    opacity_label_->setText(QString::fromStdString(opacity_label(translate("@ch_opacity"), opacity_->value())));
    preserve_->setChecked(layer && layer->preserve_transparency);
    mask_->setVisible(upper && layer->mask);
    mask_->rebuild();
}

void tlayers_palette::select_layer_row(std::int32_t row, bool ctrl)
{
    if (!image_ || !image_->document().valid_layer(row))
        return;
    tdocument& doc = image_->document();
    if (ctrl) {
        if (row != doc.current_layer && row > 0 && doc.current_layer > 0)
            doc.layers[std::size_t(row)]->selected ^= 1;
    } else {
        doc.mask_editing = 0;
        for (auto& layer : doc.layers)
            layer->selected = 0;
        set_current_layer(doc, row);
        load_controls();
    }
    rows_->update();
    emit current_layer_changed();
}

void tlayers_palette::edit_mask()
{
    if (!image_ || image_->document().current_layer <= 0 || !image_->document().current_layer_record().mask)
        return;
    image_->document().mask_editing = 1;
    rows_->update();
    mask_->update();
    emit current_layer_changed();
}

QAction* tlayers_palette::command_item(QMenu* menu, const char* name, const QString& caption, const char* handler,
                                       bool enabled)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, [this, handler] { emit command_requested(handler); });
    return action;
}

QMenu* tlayers_palette::layer_menu()
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const tcalque* layer = image_ ? &image_->document().current_layer_record() : nullptr;
    const bool upper = layer && image_->document().current_layer > 0;
    command_item(menu, "PopupDuplicateLayer", "Duplicate layer", "ToolbarButton9712Click", duplicate_button_->isEnabled());
    command_item(menu, "PopupDeleteLayer", "Delete layer", "ToolbarButton9711Click", delete_button_->isEnabled());
    command_item(menu, "PopupLayerOptions", "Layer options...", "LayerOptions1Click", upper);
    command_item(menu, "PopupCreateMask", "Create layer mask", "CreateLayerMask1Click", upper && !layer->mask);
    command_item(menu, "PopupDisableMask", text(layer && !layer->mask_enabled ? "@ch_enable_mask" : "@ch_disable_mask"),
                 "DisableLayerMask3Click", upper && layer->mask);
    command_item(menu, "PopupRemoveMask", "Remove layer mask", "RemoveLayerMask2Click", upper && layer->mask);
    apply_window_table(menu, window_language(), "Form1");
    return menu;
}

QMenu* tlayers_palette::mask_menu()
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const tcalque* layer = image_ ? &image_->document().current_layer_record() : nullptr;
    const bool with_mask = layer && image_->document().current_layer > 0 && layer->mask;
    command_item(menu, "PopupDisableMask", text(layer && !layer->mask_enabled ? "@ch_enable_mask" : "@ch_disable_mask"),
                 "DisableLayerMask3Click", with_mask);
    command_item(menu, "PopupRemoveMask", "Remove layer mask", "RemoveLayerMask2Click", with_mask);
    apply_window_table(menu, window_language(), "Form1");
    return menu;
}

void tlayers_palette::set_opacity(int opacity)
{
    if (!image_ || image_->document().current_layer <= 0)
        return;
    tcalque& layer = image_->document().current_layer_record();
    layer.opacity = opacity;
    opacity_label_->setText(QString::fromStdString(opacity_label(translate("@ch_opacity"), opacity)));
    image_->recomposite(layer.rect());
}

void tlayers_palette::commit_opacity()
{
    if (!image_ || image_->document().current_layer <= 0 || opacity_->value() == recorded_opacity_)
        return;
    recorded_opacity_ = opacity_->value();
    image_->record(translate("@ch_opacite_change"));
}

void tlayers_palette::set_blend_mode(int mode)
{
    if (!image_ || image_->document().current_layer <= 0)
        return;
    image_->document().current_layer_record().blend_mode = std::uint8_t(mode);
    image_->recomposite_all();
    image_->record(translate("@ch_change_blend_mode"));
}

void tlayers_palette::set_preserve_transparency(bool preserve)
{
    if (!image_ || image_->document().current_layer <= 0)
        return;
    image_->document().current_layer_record().preserve_transparency = preserve ? 1 : 0;
    image_->record(translate("@ch_layer_options"));
}

void tlayers_palette::toggle_visibility(std::int32_t row)
{
    if (!image_ || row <= 0 || !image_->document().valid_layer(row))
        return;
    tcalque& layer = *image_->document().layers[std::size_t(row)];
    layer.visible ^= 1;
    image_->recomposite(layer.rect());
    rows_->update();
}

void tlayers_palette::new_layer()
{
    if (!image_)
        return;
    add_new_layer(image_->document(), translate("@ch_new_layer"));
    image_->record(translate("@ch_add_layer"));
    rebuild_layers_palette();
}

void tlayers_palette::drop_row(std::int32_t dragged, QPoint global)
{
    if (!image_ || !image_->document().valid_layer(dragged))
        return;
    tdocument& doc = image_->document();
    const auto over = [&](const QWidget* widget) { return widget->rect().contains(widget->mapFromGlobal(global)); };
    if (over(delete_button_)) {
        if (!delete_current_layer(doc))
            return;
        image_->recomposite_all();
        image_->record(translate("@ch_delete_layer"));
    } else if (over(duplicate_button_)) {
        append_layer_copy(doc, duplicate_name(doc.current_layer_record().name, translate("@ch_copy"),
                                              translate("@ch_copy_incomplet")));
        image_->recomposite_all();
        image_->record(translate("@ch_duplicate_layer"));
    } else if (over(rows_)) {
        const QPoint at = rows_->mapFromGlobal(global);
        const std::int32_t target = rows_->row_at(at.y());
        const treorder_drop drop = reorder_drop(dragged, target, at.y() - rows_->row_top(target), row_height);
        if (target < 0 || drop.index < 0)
            return;
        move_layer(doc, dragged, drop.index);
        image_->recomposite_all();
        image_->record(translate("@ch_exchange_layers"));
    } else {
        return;
    }
    rebuild_layers_palette();
}

} // namespace velmora
