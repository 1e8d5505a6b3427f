#include "document/layer_dialogs.h"

#include "document/image_window.h"
#include "document/layer_operations.h"
#include "document/layers_palette.h"
#include "shell/catalogue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace velmora {

namespace {

QLabel* label(QWidget* parent, const char* name, const char* caption)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    return l;
}

QSlider* make_opacity_slider(QWidget* parent, const char* name)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(name);
    slider->setRange(0, 255);
    return slider;
}

QString percent_text(int opacity)
{
    return QString::number(opacity_percent(opacity)) + " %";
}

// An opacity slider with its percentage label beside it.
QHBoxLayout* slider_row(QSlider* slider, QLabel* percent)
{
    auto* row = new QHBoxLayout;
    row->addWidget(slider, 1);
    row->addWidget(percent);
    return row;
}

} // namespace

TForm10::TForm10(TForm2* image, QWidget* parent)
    : ttranslated_dialog(parent), image_(image), previous_current_(image->document().current_layer)
{
    setObjectName("TForm10");
    setWindowTitle("New Layer");
    tdocument& doc = image_->document();
    append_transparent_layer(doc, translate("@ch_new_layer"), 255, normal);
    set_current_layer(doc, previous_current_);

    auto* form = new QFormLayout;
    name_ = new QLineEdit("New Layer", this);
    name_->setObjectName("Edit1");
    form->addRow(label(this, "Label1", "Layer Name:"), name_);
    opacity_ = make_opacity_slider(this, "TrackBar1");
    opacity_->setValue(255);
    opacity_label_ = label(this, "Label4", "");
    form->addRow(label(this, "Label2", "Opacity:"), slider_row(opacity_, opacity_label_));
    blend_mode_ = new QComboBox(this);
    blend_mode_->setObjectName("ComboBox1");
    fill_blend_modes(blend_mode_);
    form->addRow(label(this, "Label3", "Blend mode:"), blend_mode_);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(ok_cancel_buttons(this));
    show_opacity();

    connect(name_, &QLineEdit::textEdited, this, [this](const QString& name) { added_layer().name = name.toStdString(); });
    connect(opacity_, &QSlider::valueChanged, this, [this](int opacity) {
        added_layer().opacity = opacity;
        show_opacity();
        image_->recomposite_all();
    });
    connect(blend_mode_, &QComboBox::activated, this, [this](int mode) {
        added_layer().blend_mode = std::uint8_t(mode);
        image_->recomposite_all();
    });
    image_->recomposite_all();
}

tcalque& TForm10::added_layer()
{
    return *image_->document().layers.back();
}

void TForm10::show_opacity()
{
    opacity_label_->setText(percent_text(opacity_->value()));
}

void TForm10::accept()
{
    tdocument& doc = image_->document();
    set_current_layer(doc, std::int32_t(doc.layers.size()) - 1);
    doc.mask_editing = 0;
    image_->recomposite_all();
    ttranslated_dialog::accept();
}

void TForm10::reject()
{
    tdocument& doc = image_->document();
    doc.layers.pop_back();
    doc.current_layer = -1; // the removed layer: nothing left to unselect
    set_current_layer(doc, previous_current_);
    image_->recomposite_all();
    ttranslated_dialog::reject();
}

TForm18::TForm18(TForm2* image, QWidget* parent) : ttranslated_dialog(parent), image_(image)
{
    setObjectName("TForm18");
    setWindowTitle("Layer Properties");
    const tcalque& current = layer();
    original_ = {current.name, current.left, current.top, current.opacity, current.preserve_transparency};

    auto* form = new QFormLayout;
    name_ = new QLineEdit(QString::fromStdString(current.name), this);
    name_->setObjectName("Edit1");
    form->addRow(label(this, "Label1", "Name:"), name_);
    const auto position = [this](const char* name, std::int32_t value) {
        auto* spin = new QSpinBox(this);
        spin->setObjectName(name);
        spin->setRange(std::numeric_limits<std::int32_t>::min() / 2, std::numeric_limits<std::int32_t>::max() / 2);
        spin->setValue(value);
        return spin;
    };
    left_ = position("SpinEdit1", current.left);
    top_ = position("SpinEdit2", current.top);
    form->addRow(label(this, "Label2", "Left :"), left_);
    form->addRow(label(this, "Label3", "Top :"), top_);
    opacity_ = make_opacity_slider(this, "TrackBar1");
    opacity_->setValue(current.opacity);
    opacity_label_ = label(this, "Label5", "");
    opacity_label_->setText(percent_text(current.opacity));
    form->addRow(label(this, "Label4", "Opacity:"), slider_row(opacity_, opacity_label_));
    preserve_ = new QCheckBox("Preserve transparency", this);
    preserve_->setObjectName("CheckBox1");
    preserve_->setChecked(current.preserve_transparency);
    form->addRow(preserve_);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(ok_cancel_buttons(this));

    connect(name_, &QLineEdit::textEdited, this, &TForm18::apply);
    connect(left_, &QSpinBox::valueChanged, this, &TForm18::apply);
    connect(top_, &QSpinBox::valueChanged, this, &TForm18::apply);
    connect(opacity_, &QSlider::valueChanged, this, &TForm18::apply);
    connect(preserve_, &QCheckBox::toggled, this, &TForm18::apply);
}

tcalque& TForm18::layer()
{
    return image_->document().current_layer_record();
}

void TForm18::apply()
{
    tcalque& current = layer();
    current.name = name_->text().toStdString();
    current.left = current.press_left = left_->value();
    current.top = current.press_top = top_->value();
    current.opacity = opacity_->value();
    current.preserve_transparency = preserve_->isChecked() ? 1 : 0;
    opacity_label_->setText(percent_text(current.opacity));
    image_->recomposite_all();
}

void TForm18::reject()
{
    tcalque& current = layer();
    current.name = original_.name;
    current.left = current.press_left = original_.left;
    current.top = current.press_top = original_.top;
    current.opacity = original_.opacity;
    current.preserve_transparency = original_.preserve_transparency;
    image_->recomposite_all();
    ttranslated_dialog::reject();
}

} // namespace velmora
