#include "shell/new_image_dialog.h"

#include "shell/catalogue.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

namespace velmora {

namespace {

QString text(std::string_view key)
{
    return QString::fromStdString(translate(key));
}

QComboBox* unit_list(const char* name, QStringList units, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->addItems(units);
    return list;
}

void show_swatch(QPushButton* swatch, TColor colour)
{
    const trgb c = split_color(colour);
    swatch->setStyleSheet(QString("background-color: rgb(%1, %2, %3)").arg(c.red).arg(c.green).arg(c.blue));
}

} // namespace

TForm7::TForm7(int counter, double screen_ppi, QSize initial_size, QWidget* parent) : ttranslated_dialog(parent)
{
    setObjectName("TForm7");
    const tnew_image_defaults defaults = read_new_image_defaults();
    custom_colour_ = defaults.custom_colour;
    const int width = initial_size.width() > 0 ? initial_size.width() : defaults.width;
    const int height = initial_size.height() > 0 ? initial_size.height() : defaults.height;

    auto* grid = new QGridLayout(this);
    const auto add_label = [&](const char* caption, int row) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QString("Label%1").arg(row + 1));
        grid->addWidget(label, row, 0);
    };
    add_label("Name:", 0);
    name_ = new QLineEdit(text("@ch_new_image") + "-" + QString::number(counter), this);
    name_->setObjectName("Edit1");
    grid->addWidget(name_, 0, 1, 1, 2);

    const QStringList size_units{"pixels", "cm", "inches"};
    add_label("Width:", 1);
    width_ = new QLineEdit(QString::number(width), this);
    width_->setObjectName("Edit2");
    width_unit_ = unit_list("ComboBox1", size_units, this);
    grid->addWidget(width_, 1, 1);
    grid->addWidget(width_unit_, 1, 2);
    add_label("Height:", 2);
    height_ = new QLineEdit(QString::number(height), this);
    height_->setObjectName("Edit3");
    height_unit_ = unit_list("ComboBox2", size_units, this);
    grid->addWidget(height_, 2, 1);
    grid->addWidget(height_unit_, 2, 2);
    add_label("Resolution:", 3);
    resolution_ = new QLineEdit(QString::fromStdString(decimal_text(screen_ppi, 2)), this);
    resolution_->setObjectName("Edit4");
    resolution_unit_ = unit_list("ComboBox3", {"pixels/inch", "pixels/cm"}, this);
    grid->addWidget(resolution_, 3, 1);
    grid->addWidget(resolution_unit_, 3, 2);

    add_label("Fill with:", 4);
    fill_ = new QButtonGroup(this);
    const char* fills[] = {"White", "Background color", "Custom:"};
    for (int i = 0; i < 3; ++i) {
        auto* button = new QRadioButton(fills[i], this);
        button->setObjectName(QString("RadioButton%1").arg(i + 1));
        fill_->addButton(button, i);
        grid->addWidget(button, 4 + i, 1);
    }
    fill_->button(int(defaults.fill))->setChecked(true);
    swatch_ = new QPushButton(this);
    swatch_->setObjectName("Shape1");
    swatch_->setFixedSize(40, 20);
    show_swatch(swatch_, custom_colour_);
    grid->addWidget(swatch_, 6, 2);
    connect(swatch_, &QPushButton::clicked, this, &TForm7::choose_colour);

    grid->addWidget(ok_cancel_buttons(this), 7, 0, 1, 3);

    for (QLineEdit* field : {width_, height_, resolution_})
        connect(field, &QLineEdit::textEdited, this, &TForm7::update_caption);
    connect(width_unit_, &QComboBox::currentIndexChanged, this,
            [this] { unit_changed(width_unit_, width_, width_unit_index_); });
    connect(height_unit_, &QComboBox::currentIndexChanged, this,
            [this] { unit_changed(height_unit_, height_, height_unit_index_); });
    connect(resolution_unit_, &QComboBox::currentIndexChanged, this, &TForm7::resolution_unit_changed);
    resolution_->setEnabled(false);
    resolution_unit_->setEnabled(false);
    update_caption();
}

double TForm7::ppi() const
{
    const std::optional<double> value = parse_decimal(resolution_->text().toStdString());
    return pixels_per_inch(value && *value > 0 ? *value : 96.0, tresolution_unit(resolution_unit_->currentIndex()));
}

void TForm7::update_caption()
{
    const auto width = pixel_size(width_->text().toStdString(), tsize_unit(width_unit_->currentIndex()), ppi());
    const auto height = pixel_size(height_->text().toStdString(), tsize_unit(height_unit_->currentIndex()), ppi());
    const tsize_labels labels{translate("@ch_new_image"), translate("@ch_taille"), translate("@ch_mo"),
                              translate("@ch_ko"), translate("@ch_octets")};
    setWindowTitle(QString::fromStdString(new_image_caption(width, height, labels)));
}

void TForm7::unit_changed(QComboBox* units, QLineEdit* field, int& previous)
{
    const std::optional<double> value = parse_decimal(field->text().toStdString());
    if (value) {
        const double pixels = to_pixels(*value, tsize_unit(previous), ppi());
        field->setText(QString::fromStdString(length_text(pixels, tsize_unit(units->currentIndex()), ppi())));
    }
    previous = units->currentIndex();
    const bool physical = width_unit_->currentIndex() != 0 || height_unit_->currentIndex() != 0;
    resolution_->setEnabled(physical);
    resolution_unit_->setEnabled(physical);
    update_caption();
}

void TForm7::resolution_unit_changed()
{
    const std::optional<double> value = parse_decimal(resolution_->text().toStdString());
    if (value) {
        const bool to_cm = resolution_unit_->currentIndex() == int(tresolution_unit::per_centimetre);
        const bool changed = resolution_unit_->currentIndex() != resolution_unit_index_;
        if (changed)
            resolution_->setText(QString::fromStdString(decimal_text(to_cm ? *value / 2.54 : *value * 2.54, 2)));
    }
    resolution_unit_index_ = resolution_unit_->currentIndex();
    update_caption();
}

void TForm7::choose_colour()
{
    const trgb c = split_color(custom_colour_);
    const QColor chosen = QColorDialog::getColor(QColor(c.red, c.green, c.blue), this);
    if (!chosen.isValid())
        return;
    custom_colour_ = make_color(std::uint8_t(chosen.red()), std::uint8_t(chosen.green()), std::uint8_t(chosen.blue()));
    show_swatch(swatch_, custom_colour_);
    fill_->button(int(tnew_image_fill::custom))->setChecked(true);
}

tnew_image_request TForm7::request() const
{
    tnew_image_request r;
    r.name = name_->text().isEmpty() ? translate("@ch_new_image") : name_->text().toStdString();
    r.pixels_per_inch = ppi();
    r.width = pixel_size(width_->text().toStdString(), tsize_unit(width_unit_->currentIndex()), r.pixels_per_inch)
                  .value_or(0);
    r.height = pixel_size(height_->text().toStdString(), tsize_unit(height_unit_->currentIndex()), r.pixels_per_inch)
                   .value_or(0);
    r.fill = tnew_image_fill(fill_->checkedId());
    r.custom_colour = custom_colour_;
    return r;
}

void TForm7::accept()
{
    const tnew_image_request r = request();
    if (r.width <= 0 || r.height <= 0) {
        QMessageBox::warning(this, text("@ch_warning"), text("@ch_bouffon_dimension_nulle"));
        return;
    }
    write_new_image_defaults({r.width, r.height, r.fill, r.custom_colour});
    ttranslated_dialog::accept();
}

} // namespace velmora
