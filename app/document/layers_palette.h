#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QScrollArea;
class QToolButton;

namespace velmora {

class TForm2;
class tlayer_rows;
class tmask_thumbnail;
class topacity_slider;

// Fills a blend-mode list in the order of the blend-mode bytes.
void fill_blend_modes(QComboBox* list);

// The Layers palette's contents: one row per layer of the active image, top
// layer first, with the controls of the current layer below them. Changes
// that have a menu command go through it (`command_requested`); the rest
// (rows, visibility, opacity, blend mode, preserve transparency, the new
// layer button, mask editing, drags) act here on the image's document.
class tlayers_palette : public QWidget {
    Q_OBJECT

public:
    static constexpr int row_height = 32;

    explicit tlayers_palette(QWidget* parent = nullptr);

    // Shows the layers of `image` (none for null) and rebuilds.
    void show_image(TForm2* image);
    TForm2* image() const { return image_; }
    // Rebuilds rows, thumbnails and controls from the document; does
    // nothing while the palette is hidden.
    void rebuild_layers_palette();
    // "Layers of " + the file name without folder and extension.
    QString caption() const;

    // Makes `row` (a layer index) current, or with `ctrl` toggles its
    // selected flag.
    void select_layer_row(std::int32_t row, bool ctrl);
    // Starts editing the current layer's mask.
    void edit_mask();
    // Opens the layer pop-up menu at `global` (not shown while under test).
    QMenu* layer_menu();
    QMenu* mask_menu();

    tlayer_rows* rows() const { return rows_; }
    QToolButton* new_button() const { return new_button_; }
    QToolButton* duplicate_button() const { return duplicate_button_; }
    QToolButton* delete_button() const { return delete_button_; }
    QToolButton* mask_button() const { return mask_button_; }

signals:
    // A command of the menus, by its handler name.
    void command_requested(const QString& handler);
    void caption_changed();
    // The current layer or mask editing changed without a history step.
    void current_layer_changed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    friend class tlayer_rows;
    friend class tmask_thumbnail;
    void load_controls();
    void set_opacity(int opacity);
    void commit_opacity();
    void set_blend_mode(int mode);
    void set_preserve_transparency(bool preserve);
    void toggle_visibility(std::int32_t row);
    void new_layer();
    // Drops the dragged current layer onto the row at `target` (pointer at
    // `y` inside it), or onto a button under `global`.
    void drop_row(std::int32_t dragged, QPoint global);
    QAction* command_item(QMenu* menu, const char* name, const QString& caption, const char* handler, bool enabled);

    QPointer<TForm2> image_;
    QScrollArea* scroll_ = nullptr;
    tlayer_rows* rows_ = nullptr;
    QComboBox* blend_mode_ = nullptr;
    QLabel* opacity_label_ = nullptr;
    topacity_slider* opacity_ = nullptr;
    QCheckBox* preserve_ = nullptr;
    tmask_thumbnail* mask_ = nullptr;
    QToolButton* new_button_ = nullptr;
    QToolButton* duplicate_button_ = nullptr;
    QToolButton* delete_button_ = nullptr;
    QToolButton* mask_button_ = nullptr;
    std::int32_t recorded_opacity_ = -1;
};

} // namespace velmora
