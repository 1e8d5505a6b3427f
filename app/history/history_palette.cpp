#include "history/history_palette.h"

#include "document/image_window.h"
#include "history/history_icons.h"
#include "shell/catalogue.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTime>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velmora {

void fill_history_list(QTreeWidget* list, const thistory& history)
{
    const QSignalBlocker quiet(list);
    list->clear();
    for (const trecord_action& entry : history.entries()) {
        const QTime time = QTime(0, 0).addMSecs(int(entry.time * 24 * 60 * 60 * 1000));
        auto* row = new QTreeWidgetItem(
            {QString::fromStdString(entry.name), QLocale().toString(time, QLocale::ShortFormat)});
        row->setIcon(0, history_action_icon(history_icon_for_name(entry.name)));
        list->addTopLevelItem(row);
    }
    if (QTreeWidgetItem* current = list->topLevelItem(history.position())) {
        list->setCurrentItem(current);
        list->scrollToItem(current);
    }
}

namespace {

QTreeWidget* history_list(QWidget* parent, const char* name)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setColumnCount(2);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    return list;
}

} // namespace

thistory_palette::thistory_palette(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    list_ = history_list(this, "history");
    list_->setColumnHidden(1, true);
    column->addWidget(list_);
    dates_ = new QToolButton(this);
    dates_->setObjectName("show_dates");
    dates_->setText("Show/hide action dates");
    dates_->setCheckable(true);
    column->addWidget(dates_);
    connect(dates_, &QToolButton::toggled, this, [this](bool on) { list_->setColumnHidden(1, !on); });
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (image_ && item)
            image_->go_to(list_->indexOfTopLevelItem(item));
    });
    show_history(nullptr);
}

void thistory_palette::show_history(TForm2* image)
{
    image_ = image;
    setEnabled(image != nullptr);
    if (image)
        fill_history_list(list_, image->history());
    else
        list_->clear();
}

TForm25::TForm25(TForm2* image, QWidget* parent)
    : ttranslated_dialog(parent), image_(image), start_(image->history().position())
{
    setObjectName("TForm25");
    setWindowTitle("Undo/Redo History");
    auto* column = new QVBoxLayout(this);
    list_ = history_list(this, "ListView1");
    list_->setHeaderHidden(false);
    list_->setHeaderLabels({"List of Actions"});
    list_->setColumnHidden(1, true);
    column->addWidget(list_);
    fill_history_list(list_, image->history());
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item)
            image_->go_to(list_->indexOfTopLevelItem(item));
    });
    column->addWidget(ok_cancel_buttons(this));
}

void TForm25::reject()
{
    image_->go_to(start_);
    ttranslated_dialog::reject();
}

} // namespace velmora
