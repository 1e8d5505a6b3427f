#include "shell/preferences_dialog.h"

#include "shell/catalogue.h"
#include "shell/file_associations.h"
#include "shell/preferences.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velmora {

namespace {

// Widgets get their names here and their texts from the window's translation table.
template <typename Widget>
Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel* note(QWidget* parent, const char* name)
{
    auto* label = named(new QLabel(parent), name);
    label->setWordWrap(true);
    return label;
}

QWidget* add_page(QTabWidget* pages, const char* name)
{
    auto* page = named(new QWidget(pages), name);
    pages->addTab(page, QString());
    new QVBoxLayout(page);
    return page;
}

QVBoxLayout* layout_of(QWidget* page)
{
    return static_cast<QVBoxLayout*>(page->layout());
}

// The desktop re-reads its MIME and application lists only when told.
void refresh_desktop_databases()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString mime = QStandardPaths::findExecutable("update-mime-database");
    if (!mime.isEmpty())
        QProcess::startDetached(mime, {data + "/mime"});
    const QString desktop = QStandardPaths::findExecutable("update-desktop-database");
    if (!desktop.isEmpty())
        QProcess::startDetached(desktop, {data + "/applications"});
}

} // namespace

TForm14::TForm14(QWidget* parent) : ttranslated_dialog(parent)
{
    setObjectName("TForm14");
    auto* layout = new QVBoxLayout(this);
    pages_ = named(new QTabWidget(this), "PageControl1");
    layout->addWidget(pages_);
    build_fonts_page();
    build_associations_page();
    build_undo_page();
    build_signature_page();
    build_language_page();
    build_general_page();
    build_customization_page();

    auto* buttons = new QDialogButtonBox(this);
    named(buttons->addButton(QString(), QDialogButtonBox::AcceptRole), "OKButton")->setDefault(true);
    named(buttons->addButton(QString(), QDialogButtonBox::RejectRole), "CancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &TForm14::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TForm14::reject);
    layout->addWidget(buttons);

    program_path_ = QCoreApplication::applicationFilePath();
    load();
    apply_window_table(this);
}

// A button that runs an action of another window; disabled until that action is given.
QPushButton* TForm14::handler_button(QWidget* page, const char* name, const std::function<void()>& handler)
{
    auto* button = named(new QPushButton(page), name);
    button->setEnabled(false);
    connect(button, &QPushButton::clicked, this, [&handler] {
        if (handler)
            handler();
    });
    layout_of(page)->addWidget(button, 0, Qt::AlignLeft);
    return button;
}

void TForm14::build_fonts_page()
{
    QWidget* page = add_page(pages_, "TabSheet1");
    use_designer_fonts_ = named(new QCheckBox(page), "CheckBox1");
    layout_of(page)->addWidget(use_designer_fonts_);
    layout_of(page)->addWidget(note(page, "Label1"));
    layout_of(page)->addStretch();
}

void TForm14::build_associations_page()
{
    QWidget* page = add_page(pages_, "TabSheet2");
    layout_of(page)->addWidget(note(page, "Label2"));
    formats_ = named(new QTreeWidget(page), "ListView1");
    formats_->setColumnCount(1);
    formats_->setRootIsDecorated(false);
    for (const tassociation_row& row : association_rows()) {
        auto* item = new QTreeWidgetItem(formats_, {QString::fromStdString(row.caption)});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    }
    layout_of(page)->addWidget(formats_);
    layout_of(page)->addWidget(note(page, "Label3"));
}

void TForm14::build_undo_page()
{
    QWidget* page = add_page(pages_, "TabSheet3");
    layout_of(page)->addWidget(note(page, "Label4"));
    empty_undo_ = handler_button(page, "Button1", empty_undo_handler_);

    auto* group = named(new QGroupBox(page), "GroupBox1");
    auto* group_layout = new QVBoxLayout(group);
    auto* limit_row = new QHBoxLayout;
    variable_limit_ = named(new QCheckBox(group), "CheckBox2");
    count_limit_ = named(new QSpinBox(group), "SpinEdit1");
    count_limit_->setRange(1, 9999);
    limit_row->addWidget(variable_limit_);
    limit_row->addWidget(count_limit_);
    limit_row->addWidget(named(new QLabel(group), "Label5"));
    limit_row->addStretch();
    group_layout->addLayout(limit_row);
    no_undo_for_big_images_ = named(new QCheckBox(group), "CheckBox3");
    disable_undo_ = named(new QCheckBox(group), "CheckBox4");
    group_layout->addWidget(no_undo_for_big_images_);
    group_layout->addWidget(disable_undo_);
    connect(variable_limit_, &QCheckBox::toggled, count_limit_, &QSpinBox::setEnabled);
    layout_of(page)->addWidget(group);
    layout_of(page)->addStretch();
}

void TForm14::build_signature_page()
{
    QWidget* page = add_page(pages_, "TabSheet4");
    include_signature_ = named(new QCheckBox(page), "CheckBox5");
    layout_of(page)->addWidget(include_signature_);
    layout_of(page)->addWidget(named(new QLabel(page), "Label6"));
    author_ = named(new QLineEdit(page), "Edit1");
    layout_of(page)->addWidget(author_);
    layout_of(page)->addWidget(named(new QLabel(page), "Label7"));
    copyright_ = named(new QPlainTextEdit(page), "Memo1");
    layout_of(page)->addWidget(copyright_);
    layout_of(page)->addWidget(note(page, "Label8"));
}

void TForm14::build_language_page()
{
    QWidget* page = add_page(pages_, "TabSheet5");
    layout_of(page)->addWidget(note(page, "Label9"));
    auto* group = named(new QGroupBox(page), "ListBox1");
    auto* group_layout = new QVBoxLayout(group);
    languages_ = named(new QListWidget(group), "LanguageList");
    // Each language is offered under its own name.
    languages_->addItems({"English", QString::fromUtf8("Français")});
    group_layout->addWidget(languages_);
    layout_of(page)->addWidget(group);
    auto* unit_row = new QHBoxLayout;
    unit_row->addWidget(named(new QLabel(page), "Label10"));
    unit_cm_ = named(new QRadioButton(page), "RadioButton1");
    unit_inch_ = named(new QRadioButton(page), "RadioButton2");
    unit_row->addWidget(unit_cm_);
    unit_row->addWidget(unit_inch_);
    unit_row->addStretch();
    layout_of(page)->addLayout(unit_row);
}

void TForm14::build_general_page()
{
    QWidget* page = add_page(pages_, "TabSheet6");
    auto add_group = [&](const char* name) {
        auto* group = named(new QGroupBox(page), name);
        new QVBoxLayout(group);
        layout_of(page)->addWidget(group);
        return group;
    };
    auto add_radio = [](QGroupBox* group, const char* name) {
        auto* radio = named(new QRadioButton(group), name);
        group->layout()->addWidget(radio);
        return radio;
    };

    QGroupBox* toolbar = add_group("GroupBox2");
    toolbar_background_ = new QButtonGroup(this);
    toolbar_background_->addButton(add_radio(toolbar, "RadioButton3"), 0);
    toolbar_background_->addButton(add_radio(toolbar, "RadioButton4"), 1);
    QRadioButton* custom = add_radio(toolbar, "RadioButton5");
    toolbar_background_->addButton(custom, 2);
    connect(custom, &QRadioButton::clicked, this, &TForm14::choose_custom_background);

    QGroupBox* colour = add_group("GroupBox3");
    velmora_colordialog_ = add_radio(colour, "RadioButton6");
    system_colordialog_ = add_radio(colour, "RadioButton7");

    QGroupBox* brushes = add_group("GroupBox4");
    classic_preview_ = named(new QCheckBox(brushes), "CheckBox6");
    brushes->layout()->addWidget(classic_preview_);
    standard_preview_ = add_radio(brushes, "RadioButton8");
    realtime_preview_ = add_radio(brushes, "RadioButton9");

    QGroupBox* menus = add_group("GroupBox5");
    classic_menus_ = add_radio(menus, "RadioButton10");
    xp_menus_ = add_radio(menus, "RadioButton11");
    layout_of(page)->addStretch();
}

void TForm14::build_customization_page()
{
    QWidget* page = add_page(pages_, "TabSheet7");
    show_tips_ = named(new QCheckBox(page), "CheckBox7");
    warn_flat_save_ = named(new QCheckBox(page), "CheckBox8");
    warn_gif_reduction_ = named(new QCheckBox(page), "CheckBox9");
    layout_of(page)->addWidget(show_tips_);
    layout_of(page)->addWidget(warn_flat_save_);
    layout_of(page)->addWidget(warn_gif_reduction_);
    reset_toolbars_ = handler_button(page, "Button2", reset_toolbars_handler_);
    layout_of(page)->addStretch();
}

void TForm14::load()
{
    use_designer_fonts_->setChecked(read_bool("fonts", "use_designer_fonts", false));

    associated_.clear();
    for (int row = 0; row < formats_->topLevelItemCount(); ++row) {
        associated_.push_back(has_file_association(static_cast<std::size_t>(row)));
        formats_->topLevelItem(row)->setCheckState(0, associated_.back() ? Qt::Checked : Qt::Unchecked);
    }

    variable_limit_->setChecked(read_bool("undo", "variable_limit", false));
    count_limit_->setValue(read_int("undo", "count_limit", 10));
    count_limit_->setEnabled(variable_limit_->isChecked());
    no_undo_for_big_images_->setChecked(read_bool("undo", "disable_undo_redo_for_big_images", true));
    disable_undo_->setChecked(read_bool("undo", "disable_undo_redo", false));

    include_signature_->setChecked(read_bool("vlm", "include_signature", false));
    author_->setText(QString::fromStdString(read_string("vlm", "author", "")));
    copyright_->setPlainText(QString::fromStdString(read_string("vlm", "copyright_info", "")));

    languages_->setCurrentRow(active_language());
    (read_int("language", "unit", 0) == 1 ? unit_inch_ : unit_cm_)->setChecked(true);

    const int background = read_int("toolbar_background", "index", 1);
    if (QAbstractButton* button = toolbar_background_->button(background))
        button->setChecked(true);
    else
        toolbar_background_->button(1)->setChecked(true);
    custom_background_ = QString::fromStdString(read_string("toolbar_background", "custom", ""));
    (read_bool("colordialog", "use_velmora_one", true) ? velmora_colordialog_ : system_colordialog_)->setChecked(true);
    classic_preview_->setChecked(read_bool("brushes", "classic_preview", false));
    (read_bool("brushes", "realtime_preview", false) ? realtime_preview_ : standard_preview_)->setChecked(true);
    (read_int("style", "menus", 0) == 1 ? xp_menus_ : classic_menus_)->setChecked(true);

    show_tips_->setChecked(read_bool("tips", "show_on_startup", false));
    // The settings remember "don't show"; the boxes ask "show".
    warn_flat_save_->setChecked(!read_bool("save_flat", "dontshow", false));
    warn_gif_reduction_->setChecked(!read_bool("save_quality", "dontshow", false));
}

void TForm14::store()
{
    write_bool("fonts", "use_designer_fonts", use_designer_fonts_->isChecked());

    bool associations_changed = false;
    for (int row = 0; row < formats_->topLevelItemCount(); ++row) {
        const bool checked = formats_->topLevelItem(row)->checkState(0) == Qt::Checked;
        if (checked == associated_[static_cast<std::size_t>(row)])
            continue;
        set_file_association(static_cast<std::size_t>(row), checked, program_path_.toStdString());
        associations_changed = true;
    }
    if (associations_changed)
        refresh_desktop_databases();

    const bool undo_was_disabled = read_bool("undo", "disable_undo_redo", false);
    write_bool("undo", "variable_limit", variable_limit_->isChecked());
    write_int("undo", "count_limit", count_limit_->value());
    write_bool("undo", "disable_undo_redo_for_big_images", no_undo_for_big_images_->isChecked());
    write_bool("undo", "disable_undo_redo", disable_undo_->isChecked());

    write_bool("vlm", "include_signature", include_signature_->isChecked());
    write_string("vlm", "author", author_->text().toStdString());
    write_string("vlm", "copyright_info", copyright_->toPlainText().toStdString());

    write_int("language", "unit", unit_inch_->isChecked() ? 1 : 0);

    write_int("toolbar_background", "index", toolbar_background_->checkedId());
    write_string("toolbar_background", "custom", custom_background_.toStdString());
    write_bool("colordialog", "use_velmora_one", velmora_colordialog_->isChecked());
    write_bool("brushes", "classic_preview", classic_preview_->isChecked());
    write_bool("brushes", "realtime_preview", realtime_preview_->isChecked());
    write_int("style", "menus", xp_menus_->isChecked() ? 1 : 0);

    write_bool("tips", "show_on_startup", show_tips_->isChecked());
    write_bool("save_flat", "dontshow", !warn_flat_save_->isChecked());
    write_bool("save_quality", "dontshow", !warn_gif_reduction_->isChecked());

    write_int("options", "onglet", current_page());

    if (undo_was_disabled && !disable_undo_->isChecked())
        emit undo_reenabled();
}

void TForm14::accept()
{
    store();
    const int chosen = languages_->currentRow();
    if (chosen >= 0 && static_cast<unsigned>(chosen) < language_count && chosen != active_language()) {
        const auto language = static_cast<std::uint8_t>(chosen);
        ttranslation_window window(this);
        apply_window_table(&window, language);
        window.show();
        QApplication::processEvents();
        switch_language(language, window.progress_bar());
    }
    emit preferences_applied();
    QDialog::accept();
}

void TForm14::choose_custom_background()
{
    const QString file = QFileDialog::getOpenFileName(this, QString(), custom_background_,
                                                      "Pictures (*.bmp *.png *.jpg *.jpeg *.gif *.vlm)");
    if (!file.isEmpty())
        custom_background_ = file;
    else if (custom_background_.isEmpty())
        toolbar_background_->button(1)->setChecked(true);
}

void TForm14::show_page(int index)
{
    if (index >= 0 && index < pages_->count())
        pages_->setCurrentIndex(index);
}

int TForm14::current_page() const
{
    return pages_->currentIndex();
}

void TForm14::set_empty_undo_handler(std::function<void()> handler)
{
    empty_undo_handler_ = std::move(handler);
    empty_undo_->setEnabled(static_cast<bool>(empty_undo_handler_));
}

void TForm14::set_reset_toolbars_handler(std::function<void()> handler)
{
    reset_toolbars_handler_ = std::move(handler);
    reset_toolbars_->setEnabled(static_cast<bool>(reset_toolbars_handler_));
}

bool open_preferences(QWidget* parent, int page, const std::function<void(TForm14&)>& prepare)
{
    TForm14 dialog(parent);
    dialog.show_page(page);
    if (prepare)
        prepare(dialog);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace velmora
