#include "tools/tool_options.h"

#include "document/rounding.h"
#include "shell/catalogue.h"
#include "tools/navigator.h"
#include "tools/tool_editor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <tuple>
#include <utility>

namespace velmora {

namespace {

constexpr int preview_side = 56;

template <typename Widget>
Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

QSlider* track_bar(QWidget* parent, const char* name, int minimum, int maximum)
{
    auto* slider = named(new QSlider(Qt::Horizontal, parent), name);
    slider->setRange(minimum, maximum);
    return slider;
}

// The shape buttons' pictures: a filled disc or square.
QIcon shape_icon(tbrush_kind kind)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    if (kind == tbrush_kind::round)
        painter.drawEllipse(QRectF(2, 2, 12, 12));
    else
        painter.drawRect(QRectF(2, 2, 12, 12));
    return QIcon(pixmap);
}

// The opacity as its label shows it, in percent of 255.
QString opacity_percent(int opacity)
{
    return QString::number(round_half_even((long double)opacity / 255 * 100));
}

} // namespace

ttool_options::ttool_options(ttool_editor& editor, QWidget* parent) : QWidget(parent), editor_(editor)
{
    setObjectName("tool_options");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);
    build_brush_panel();
    // The panels of the tools that exist; the paintbrush's is empty for now.
    add_panel("options_panel_brushfade");
    build_zoom_panel();
    build_pen_panel();
    build_picker_panel();
    column->addStretch();
    show_current_tool();
}

QWidget* ttool_options::add_panel(const char* name)
{
    auto* panel = named(new QWidget(this), name);
    layout()->addWidget(panel);
    panel->hide();
    panels_.emplace(name, panel);
    return panel;
}

void ttool_options::build_brush_panel()
{
    brush_panel_ = named(new QWidget(this), "Panel9");
    layout()->addWidget(brush_panel_);
    auto* grid = new QGridLayout(brush_panel_);
    grid->setContentsMargins(0, 0, 0, 0);
    size_ = track_bar(brush_panel_, "pensize", brush_size_min, brush_size_max);
    softness_ = track_bar(brush_panel_, "brushblur", 0, brush_softness_max);
    opacity_ = track_bar(brush_panel_, "TrackBar2", brush_opacity_min, brush_opacity_max);
    size_label_ = named(new QLabel(brush_panel_), "Label12");
    softness_label_ = named(new QLabel(brush_panel_), "Label13");
    opacity_label_ = named(new QLabel(brush_panel_), "Label14");
    const std::tuple<const char*, const char*, QSlider*, QLabel*> rows[] = {
        {"size_caption", "Size:", size_, size_label_},
        {"softness_caption", "Softness:", softness_, softness_label_},
        {"opacity_caption", "Opacity:", opacity_, opacity_label_},
    };
    int row = 0;
    for (const auto& [name, caption, slider, value] : rows) {
        grid->addWidget(named(new QLabel(caption, brush_panel_), name), row, 0);
        grid->addWidget(slider, row, 1);
        value->setMinimumWidth(24);
        grid->addWidget(value, row, 2);
        connect(slider, &QSlider::valueChanged, this, &ttool_options::brush_edited);
        ++row;
    }

    round_ = named(new QToolButton(brush_panel_), "FlatButton8");
    auto* square = named(new QToolButton(brush_panel_), "FlatButton7");
    auto* shapes = new QButtonGroup(brush_panel_);
    for (auto [button, kind] : {std::pair{round_, tbrush_kind::round}, std::pair{square, tbrush_kind::square}}) {
        button->setCheckable(true);
        button->setIcon(shape_icon(kind));
        shapes->addButton(button);
    }
    round_->setChecked(true);
    connect(shapes, &QButtonGroup::buttonClicked, this, &ttool_options::brush_edited);
    spacing_ = named(new QLineEdit("15", brush_panel_), "FlatEdit4");
    spacing_->setMaximumWidth(40);
    connect(spacing_, &QLineEdit::editingFinished, this, &ttool_options::spacing_edited);
    auto* shape_row = new QHBoxLayout;
    shape_row->addWidget(round_);
    shape_row->addWidget(square);
    shape_row->addWidget(named(new QLabel("Spacing:", brush_panel_), "spacing_caption"));
    shape_row->addWidget(spacing_);
    shape_row->addStretch();
    grid->addLayout(shape_row, row++, 0, 1, 3);

    preview_ = named(new QLabel(brush_panel_), "sizepreview");
    preview_->setFixedSize(preview_side, preview_side);
    ratio_ = named(new QLabel(brush_panel_), "Label38");
    auto* preview_row = new QHBoxLayout;
    preview_row->addWidget(preview_);
    preview_row->addWidget(ratio_);
    preview_row->addStretch();
    grid->addLayout(preview_row, row, 0, 1, 3);
}

void ttool_options::build_pen_panel()
{
    QWidget* panel = add_panel("options_panel_pen");
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* opacity = named(new QSpinBox(panel), "SpinEdit5");
    opacity->setRange(1, 100);
    opacity->setValue(editor_.state.pencil.opacity);
    auto* antialiased = named(new QCheckBox("Anti-aliased", panel), "CheckBox1");
    antialiased->setChecked(editor_.state.pencil.antialiased);
    row->addWidget(named(new QLabel("Opacity:", panel), "pen_opacity_caption"));
    row->addWidget(opacity);
    row->addWidget(antialiased);
    row->addStretch();
    connect(opacity, &QSpinBox::valueChanged, this, [this](int value) { editor_.state.pencil.opacity = value; });
    connect(antialiased, &QCheckBox::toggled, this, [this](bool on) { editor_.state.pencil.antialiased = on; });
}

void ttool_options::build_picker_panel()
{
    QWidget* panel = add_panel("options_panel_picker");
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* result = named(new QGroupBox("Result", panel), "RadioGroup1");
    auto* choices = new QVBoxLayout(result);
    const std::pair<tpicker_mode, const char*> modes[] = {{tpicker_mode::point, "Point Sample"},
                                                          {tpicker_mode::average_3x3, "3 by 3 Average"},
                                                          {tpicker_mode::average_5x5, "5 by 5 Average"}};
    int item = 1;
    for (const auto& [mode, caption] : modes) {
        auto* button = new QRadioButton(caption, result);
        button->setObjectName(QString("RadioGroup1Item%1").arg(item++));
        button->setChecked(mode == editor_.state.picker);
        choices->addWidget(button);
        connect(button, &QRadioButton::toggled, this, [this, mode = mode](bool on) {
            if (on)
                editor_.state.picker = mode;
        });
    }
    row->addWidget(result);
    row->addStretch();
}

void ttool_options::build_zoom_panel()
{
    QWidget* panel = add_panel("options_panel_zoom");
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    navigator_ = new tnavigator(panel);
    row->addWidget(navigator_);
    auto* resize = new QCheckBox("Resize window", panel);
    resize->setObjectName("resize_window");
    resize->setChecked(editor_.state.zoom_resizes_window);
    connect(resize, &QCheckBox::toggled, this, [this](bool on) { editor_.state.zoom_resizes_window = on; });
    row->addWidget(resize, 0, Qt::AlignTop);
    row->addStretch();
}

void ttool_options::show_current_tool()
{
    const ttool_info* info = find_tool_info(editor_.state.current_tool);
    const bool brush = info && info->brush_panel;
    for (const auto& [name, panel] : panels_)
        panel->setVisible(info && info->panel == name);
    brush_panel_->setVisible(brush);
    if (!brush)
        return;
    const tbrush_settings& values = editor_.state.brush;
    {
        const QSignalBlocker block_size(size_);
        const QSignalBlocker block_softness(softness_);
        const QSignalBlocker block_opacity(opacity_);
        size_->setValue(values.size);
        softness_->setValue(values.softness);
        opacity_->setValue(values.opacity);
    }
    show_brush_values();
    draw_preview();
}

tbrush_settings ttool_options::panel_values() const
{
    tbrush_settings values = editor_.state.brush;
    values.size = size_->value();
    values.softness = softness_->value();
    values.opacity = opacity_->value();
    values.kind = round_->isChecked() ? tbrush_kind::round : tbrush_kind::square;
    return values;
}

void ttool_options::brush_edited()
{
    editor_.set_brush(panel_values(), true);
    show_brush_values();
    draw_preview();
}

void ttool_options::spacing_edited()
{
    std::int32_t spacing = editor_.state.brush.spacing;
    const QString entered = spacing_->text().trimmed();
    if (!parse_spacing(entered.toStdString(), spacing)) {
        // The spacing keeps its value; the edit shows it again.
        spacing_->setText(QString::number(editor_.state.brush.spacing));
        QMessageBox::warning(this, QString::fromStdString(translate("@ch_error")),
                             QString("'%1' is not a valid integer value").arg(entered));
        return;
    }
    editor_.state.brush.spacing = spacing;
}

void ttool_options::show_brush_values()
{
    size_label_->setText(QString::number(size_->value()));
    softness_label_->setText(QString::number(softness_->value()));
    opacity_label_->setText(opacity_percent(opacity_->value()));
}

void ttool_options::draw_preview()
{
    const tbrush_settings values = panel_values();
    const tbrush_preview preview = build_brush_preview(values);
    const QColor face = palette().color(QPalette::Window);
    Tfbitmap image(preview_side, preview_side);
    image.fill_pixels(std::uint8_t(face.blue()), std::uint8_t(face.green()), std::uint8_t(face.red()), 255);
    draw_brush_preview(image, preview, values.opacity, editor_.state.foreground);
    preview_->setPixmap(QPixmap::fromImage(
        QImage(image.bits(), image.width(), image.height(), qsizetype(image.stride()), QImage::Format_RGB32).copy()));
    ratio_->setText(QString::fromStdString(preview.ratio));
}

} // namespace velmora
