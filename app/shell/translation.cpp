#include "shell/translation.h"

#include "shell/catalogue.h"
#include "shell/preferences.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QDockWidget>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTranslator>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velmora {

namespace {

QString caption_text(const std::string& text)
{
    if (placeholders_of(text).empty())
        return QString::fromStdString(text);
    return QString::fromStdString(fill_placeholders(text, {product_name}));
}

// A page of a tab widget sits in the tab widget's stack.
QTabWidget* tab_of_page(QWidget* widget)
{
    if (!widget || !qobject_cast<QStackedWidget*>(widget->parentWidget()))
        return nullptr;
    return qobject_cast<QTabWidget*>(widget->parentWidget()->parentWidget());
}

void set_caption(QObject* object, const QString& text)
{
    if (auto* action = qobject_cast<QAction*>(object)) {
        action->setText(text);
    } else if (auto* menu = qobject_cast<QMenu*>(object)) {
        menu->setTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(object)) {
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
        group->setTitle(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(object)) {
        // What the user typed is not ours to translate.
        if (edit->isReadOnly())
            edit->setText(text);
    } else if (auto* dock = qobject_cast<QDockWidget*>(object)) {
        dock->setWindowTitle(text);
    } else if (auto* tree = qobject_cast<QTreeWidget*>(object)) {
        tree->headerItem()->setText(0, text);
    } else if (auto* page = qobject_cast<QWidget*>(object); QTabWidget* tabs = tab_of_page(page)) {
        tabs->setTabText(tabs->indexOf(page), text);
    }
}

void set_hint(QObject* object, const QString& text)
{
    if (auto* action = qobject_cast<QAction*>(object)) {
        action->setToolTip(text);
        action->setStatusTip(text);
    } else if (auto* widget = qobject_cast<QWidget*>(object)) {
        widget->setToolTip(text);
    }
}

// Component names are matched without regard to case, the first object of a
// name winning, as the tables were written for.
QHash<QString, QObject*> components_by_name(QWidget* window)
{
    QHash<QString, QObject*> components;
    components.insert(window->objectName().toLower(), window);
    for (QObject* child : window->findChildren<QObject*>()) {
        const QString name = child->objectName().toLower();
        if (!name.isEmpty() && !components.contains(name))
            components.insert(name, child);
    }
    return components;
}

} // namespace

bool apply_window_table(QWidget* window, unsigned language, std::string_view table_name)
{
    if (!window)
        return false;
    const std::string name = table_name.empty() ? window->objectName().toStdString() : std::string(table_name);
    const twindow_table* table = window_table(name);
    if (!table)
        return false;
    const QHash<QString, QObject*> components = components_by_name(window);
    for (const twindow_table::ttranslation& row : table->translations(language)) {
        const QString text = caption_text(row.text);
        if (row.kind == twindow_table::target::window_caption) {
            window->setWindowTitle(text);
            continue;
        }
        QObject* component = components.value(QString::fromStdString(row.component).toLower());
        if (!component)
            continue;
        if (row.kind == twindow_table::target::hint)
            set_hint(component, text);
        else
            set_caption(component, text);
    }
    return true;
}

bool apply_window_table(QWidget* window)
{
    return apply_window_table(window, window_language());
}

QDialogButtonBox* ok_cancel_buttons(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OKButton");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("CancelButton");
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

tlanguage_notifier& tlanguage_notifier::instance()
{
    static tlanguage_notifier notifier;
    return notifier;
}

namespace {

// Qt's own texts (the buttons of message boxes, the file dialogs) in the
// interface language, where the system has Qt's translations.
void use_qt_translations(std::uint8_t language)
{
    static QTranslator qt_texts;
    QCoreApplication::removeTranslator(&qt_texts);
    if (language == language_french &&
        qt_texts.load("qtbase_fr", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt_texts);
}

} // namespace

void switch_language(std::uint8_t language, QProgressBar* progress)
{
    use_qt_translations(language);
    tlanguage_steps steps;
    steps.progress = [progress](int position) {
        progress->setValue(position);
        progress->repaint();
        QApplication::processEvents();
    };
    steps.apply_main_window = [] {
        for (QWidget* window : QApplication::topLevelWidgets())
            apply_window_table(window);
    };
    steps.refresh_image_windows = [] { emit tlanguage_notifier::instance().language_changed(); };
    set_language(language, progress != nullptr, steps);
}

void apply_stored_language()
{
    switch_language(read_language());
}

void install_settings_failure_message(QWidget* parent)
{
    QPointer<QWidget> owner(parent);
    set_settings_failure_handler([owner](const std::string& title, const std::string& text) {
        QMessageBox::warning(owner, QString::fromStdString(title), QString::fromStdString(text));
    });
}

void ttranslated_dialog::showEvent(QShowEvent* event)
{
    apply_window_table(this);
    QDialog::showEvent(event);
}

ttranslation_window::ttranslation_window(QWidget* parent) : QDialog(parent)
{
    setObjectName("FormTranslation");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar1");
    progress_->setRange(0, 100);
    progress_->setMinimumWidth(240);
    layout->addWidget(progress_);
}

} // namespace velmora
