#pragma once

#include "shell/translation.h"

#include <cstdint>
#include <functional>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;

namespace velmora {

// The Preferences dialog: seven pages in the order of the File > Preferences
// commands. OK stores every value and applies it; Cancel changes nothing.
class TForm14 : public ttranslated_dialog {
    Q_OBJECT

public:
    enum page { fonts, file_associations, undo_redo, vlm_signature, language_units, general, customization };

    explicit TForm14(QWidget* parent = nullptr);

    void show_page(int index);
    int current_page() const;

    // Actions that belong to other windows; their buttons stay disabled until set.
    void set_empty_undo_handler(std::function<void()> handler);
    void set_reset_toolbars_handler(std::function<void()> handler);

    // Stores everything, switches the language when another was chosen, closes.
    void accept() override;

    // The program written into the desktop entry when a format is associated.
    void set_program_path(const QString& path) { program_path_ = path; }

signals:
    // After OK has stored everything (rulers, brushes and menus re-read their settings).
    void preferences_applied();
    // "Disable undo/redo feature" was on and is now off: a fresh initial state is due.
    void undo_reenabled();

private:
    QPushButton* handler_button(QWidget* page, const char* name, const std::function<void()>& handler);
    void build_fonts_page();
    void build_associations_page();
    void build_undo_page();
    void build_signature_page();
    void build_language_page();
    void build_general_page();
    void build_customization_page();
    void load();
    void store();
    void choose_custom_background();

    QTabWidget* pages_ = nullptr;
    QCheckBox* use_designer_fonts_ = nullptr;
    QTreeWidget* formats_ = nullptr;
    std::vector<bool> associated_;
    QPushButton* empty_undo_ = nullptr;
    QCheckBox* variable_limit_ = nullptr;
    QSpinBox* count_limit_ = nullptr;
    QCheckBox* no_undo_for_big_images_ = nullptr;
    QCheckBox* disable_undo_ = nullptr;
    QCheckBox* include_signature_ = nullptr;
    QLineEdit* author_ = nullptr;
    QPlainTextEdit* copyright_ = nullptr;
    QListWidget* languages_ = nullptr;
    QRadioButton* unit_cm_ = nullptr;
    QRadioButton* unit_inch_ = nullptr;
    QButtonGroup* toolbar_background_ = nullptr;
    QString custom_background_;
    QRadioButton* velmora_colordialog_ = nullptr;
    QRadioButton* system_colordialog_ = nullptr;
    QCheckBox* classic_preview_ = nullptr;
    QRadioButton* standard_preview_ = nullptr;
    QRadioButton* realtime_preview_ = nullptr;
    QRadioButton* classic_menus_ = nullptr;
    QRadioButton* xp_menus_ = nullptr;
    QCheckBox* show_tips_ = nullptr;
    QCheckBox* warn_flat_save_ = nullptr;
    QCheckBox* warn_gif_reduction_ = nullptr;
    QPushButton* reset_toolbars_ = nullptr;
    std::function<void()> empty_undo_handler_;
    std::function<void()> reset_toolbars_handler_;
    QString program_path_;
};

// Shows the Preferences dialog centred on `page`, modally; true when confirmed.
// `prepare` may connect the dialog's signals and handlers before it shows.
bool open_preferences(QWidget* parent, int page, const std::function<void(TForm14&)>& prepare = {});

} // namespace velmora
