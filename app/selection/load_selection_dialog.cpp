#include "selection/load_selection_dialog.h"

#include "selection/selection_commands.h"
#include "shell/catalogue.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velmora {

TForm16::TForm16(const tdocument& doc, QWidget* parent) : ttranslated_dialog(parent), doc_(doc)
{
    setObjectName("TForm16");
    setWindowTitle("Load Selection");
    auto* column = new QVBoxLayout(this);
    column->setSizeConstraint(QLayout::SetFixedSize);

    auto* row = new QHBoxLayout;
    auto* choices = new QVBoxLayout;
    entries_ = new QComboBox(this);
    entries_->setObjectName("ComboBox1");
    const QString entry = QString::fromStdString(translate("@ch_selection"));
    for (std::size_t i = 0; i < doc.saved_selections.size(); ++i)
        entries_->addItem(entry + QString::number(i + 1));
    choices->addWidget(entries_);

    auto* group = new QGroupBox(" Operation ", this);
    group->setObjectName("RadioGroup1");
    auto* buttons = new QVBoxLayout(group);
    operations_ = new QButtonGroup(this);
    const char* captions[] = {"New selection", "Add to selection", "Substract from selection",
                              "Intersect with selection"};
    for (int i = 0; i < 4; ++i) {
        auto* button = new QRadioButton(captions[i], group);
        button->setObjectName(QString("RadioGroup1Item%1").arg(i));
        operations_->addButton(button, i);
        buttons->addWidget(button);
    }
    operations_->button(0)->setChecked(true);
    choices->addWidget(group);
    row->addLayout(choices);

    preview_ = new QLabel(this);
    preview_->setObjectName("Image1");
    preview_->setFixedSize(load_preview_side, load_preview_side);
    preview_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    row->addWidget(preview_, 0, Qt::AlignTop);
    column->addLayout(row);

    auto* actions = new QHBoxLayout;
    auto* ok = new QPushButton("&OK", this);
    ok->setObjectName("BitBtn1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", this);
    cancel->setObjectName("BitBtn2");
    connect(ok, &QPushButton::clicked, this, &TForm16::accept);
    connect(cancel, &QPushButton::clicked, this, &TForm16::reject);
    actions->addStretch();
    actions->addWidget(ok);
    actions->addWidget(cancel);
    column->addLayout(actions);

    connect(entries_, &QComboBox::currentIndexChanged, this, &TForm16::draw_preview);
    draw_preview();
}

std::size_t TForm16::chosen_index() const
{
    return std::size_t(std::max(0, entries_->currentIndex()));
}

tcombine_operation TForm16::operation() const
{
    return tcombine_operation(operations_->checkedId());
}

void TForm16::draw_preview()
{
    if (chosen_index() >= doc_.saved_selections.size())
        return;
    // The preview box stands for the image, whatever part of it the view shows.
    const Tfbitmap picture = load_preview(*doc_.saved_selections[chosen_index()], doc_.width(), doc_.height());
    const QImage image(picture.bits(), picture.width(), picture.height(), qsizetype(picture.stride()),
                       QImage::Format_ARGB32);
    preview_->setPixmap(QPixmap::fromImage(image));
}

} // namespace velmora
