#pragma once

#include "document/document.h"
#include "shell/command_table.h"
#include "selection/selection.h"
#include "shell/progress.h"
#include "tools/tool_editor.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <map>
#include <optional>
#include <string_view>

class QDockWidget;
class QLabel;
class QLocalServer;
class QMdiArea;
class QMenu;
class QProgressBar;

namespace velmora {

class TForm2;
class TForm14;
class tfull_screen_view;
class thistory_palette;
class tlayers_palette;
class ttool_options;
class ttool_palette;

// The editor's frame: the menu bar built from the command table, the image
// windows in an MDI area, the five palettes and the status bar.
class tmain_window : public QMainWindow, private tprogress_view {
    Q_OBJECT

public:
    explicit tmain_window(QWidget* parent = nullptr);
    ~tmain_window() override;

    QMdiArea* mdi_area() const { return mdi_area_; }
    TForm2* active_image() const;
    QList<TForm2*> image_windows() const;
    QAction* command_action(std::string_view handler) const;
    QDockWidget* palette(std::string_view name) const;
    tlayers_palette* layers_palette() const { return layers_palette_; }
    ttool_palette* tool_palette() const { return tool_palette_; }
    ttool_editor& tool_editor() { return tool_editor_; }

    // Makes `id` the current tool: its buttons, option panels and caption.
    void choose_tool(std::uint8_t id);

    // What the enabled-when rules see now.
    tcommand_state command_state() const;
    // Enables and checks every menu command as the rules and palettes say.
    void refresh_command_states();

    // Creates an image window for a new document filled with `fill` (what
    // File > New does after its dialog); returns it.
    TForm2* create_image(const std::string& name, std::int32_t width, std::int32_t height, TColor fill,
                         double pixels_per_inch);

    // Opens files named on the command line or handed over by another start
    // of the program: at once when the window is showing, otherwise once it is.
    void open_files(const QStringList& files);
    // Opens one file in a new image window, or activates the window that
    // already shows it; reports failures in a message box.
    TForm2* open_file(const QString& file_name);

public slots:
    void Nouvelleimage1Click();
    void Ouvirr1Click();
    void Enregistrer1Click();
    void Exporteren1Click();
    void ToolbarButton9712Click();
    void ToolbarButton9711Click();
    void mergedownClick();
    void Mergelayers1Click();
    void NewLayer1Click();
    void SelectAll1Click();
    void Deselect1Click();
    void Invert2Click();
    void Gettheselection1Click();
    void Savetheselection1Click();
    void Loadtheselection1Click();
    void Hideshow1Click();
    void LayerOptions1Click();
    void CreateLayerMask1Click();
    void DisableLayerMask3Click();
    void RemoveLayerMask2Click();
    void Undo1Click();
    void Redo1Click();
    void History1Click();
    void Fermer1Click();
    void Fermertout1Click();
    void Quittr1Click();
    void Tile1Click();
    void Cascade1Click();
    void Showtoolbar1Click();
    void showColor1Click();
    void Showsize1Click();
    void Showlayers1Click();
    void Showselection1Click();
    void Zoomin1Click();
    void Zoomout1Click();
    void Viewat1001Click();
    void Showruler1Click();
    void Options1Click();
    void Interface1Click();
    void LanguageUnits1Click();
    void FileAssociations1Click();
    void UndoRedo1Click();
    void Fonts1Click();
    void VLMSignature1Click();
    void AdvancedSettings1Click();
    void full_screen();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build_menus();
    void build_palettes();
    void fill_tool_palette(QWidget* palette);
    // The tools' state at start-up and closing: the last tool, the colours,
    // the brush cursor modes.
    void restore_tool_state();
    void store_tool_state() const;
    void follow_mask_editing();
    void read_brush_cursor_modes();
    void connect_tools(TForm2* window);
    void build_status_bar();
    void restore_palettes();
    void store_palettes() const;
    TForm2* add_image_window(tdocument document);
    void toggle_palette(std::string_view name);
    void fill_reopen_menu();
    void show_captions(const tcommand_state& state);
    // Writes the image's document as a .vlm file, asking for the format's
    // options first when `ask_options`; false when cancelled or failed.
    bool save_native(TForm2* image, const QString& file, bool ask_options);
    void add_program_fonts();
    void show_preferences(int page);
    // A Filter or Image > Adjust command, through the filter registry.
    void run_filter(std::string_view handler);
    void empty_undo_stacks(TForm14* dialog);
    // A Select menu command on the active image: busy cursor, the work, a
    // fresh view, and the history step under `label` unless it is empty.
    void run_selection_command(const std::function<void(tdocument&)>& command, std::string_view label);

    // tprogress_view, on the status bar
    void show_text(const std::string& text) override;
    void show_gauge(gauge_style style, int position) override;
    void pump() override;

    QMdiArea* mdi_area_ = nullptr;
    std::map<std::string, QAction*, std::less<>> actions_;   // by handler
    std::map<std::string, QMenu*, std::less<>> menus_;       // by component
    std::map<std::string, QDockWidget*, std::less<>> palettes_;
    QLabel* status_text_ = nullptr;
    QWidget* full_screen_button_ = nullptr;
    thistory_palette* history_palette_ = nullptr;
    tlayers_palette* layers_palette_ = nullptr;
    QProgressBar* gauge_ = nullptr;
    ttool_editor tool_editor_;
    struct tcolour_pair {
        TColor foreground = 0;
        TColor background = 0;
    };
    std::optional<tcolour_pair> colours_before_mask_;
    ttool_palette* tool_palette_ = nullptr;
    ttool_options* tool_options_ = nullptr;
    int new_image_counter_ = 1;
    bool shown_ = false;
    QList<int> added_fonts_;
    QStringList pending_files_;
    tselection_state selection_state_;
    QTimer ants_timer_;
};

} // namespace velmora
