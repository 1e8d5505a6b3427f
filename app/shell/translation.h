#pragma once

#include <QDialog>
#include <QObject>

#include <cstdint>
#include <functional>
#include <string_view>

class QDialogButtonBox;
class QProgressBar;
class QWidget;

namespace velmora {

// Applies the translation table named `table` (by default the window's
// objectName) to `window` and its children, found by objectName: captions of
// menus, actions, buttons, labels, group boxes, tab pages and docks, the
// window's own caption ("%Form%") and hints. Edit boxes change only when
// read-only. "%s" in a caption receives the product name. Returns false when no
// table has that name.
bool apply_window_table(QWidget* window, unsigned language, std::string_view table = {});
// The same in the language every window currently speaks.
bool apply_window_table(QWidget* window);

// Told when the interface language changes, so that windows can rebuild the
// titles they compose from catalogue texts ("Layers of " + name ...).
class tlanguage_notifier : public QObject {
    Q_OBJECT

public:
    static tlanguage_notifier& instance();

signals:
    void language_changed();
};

// Switches the interface language: catalogues, every open top-level window
// with a table, the stored choice. With a progress bar, it moves through 0, 20,
// 40 and 100 and repaints at each step.
void switch_language(std::uint8_t language, QProgressBar* progress = nullptr);

// At start-up: the stored language, without progress display.
void apply_stored_language();

// Shows the "@ch_cant_save_prefs" warning in a message box over `parent` when
// the settings cannot be written (once per run; see preferences.h).
void install_settings_failure_message(QWidget* parent);

// A dialog that takes the main window's language each time it is shown.
class ttranslated_dialog : public QDialog {
    Q_OBJECT

public:
    using QDialog::QDialog;

protected:
    void showEvent(QShowEvent* event) override;
};

// The OK and Cancel buttons of a dialog, named "OKButton" and "CancelButton"
// for the translation tables, wired to accept and reject.
QDialogButtonBox* ok_cancel_buttons(QDialog* dialog);

// The small window shown while the language switches ("Translation...").
class ttranslation_window : public QDialog {
    Q_OBJECT

public:
    explicit ttranslation_window(QWidget* parent = nullptr);
    QProgressBar* progress_bar() const { return progress_; }

private:
    QProgressBar* progress_ = nullptr;
};

} // namespace velmora
