#pragma once

#include "tools/brush.h"

#include <QWidget>

#include <cstdint>
#include <map>
#include <string>

class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;

namespace velmora {

class ttool_editor;
class tnavigator;

// The options window's contents: the brush panel Panel9 and one option panel
// per tool family; the current tool's panel shows, below the brush panel when
// the tool paints with the brush. The controls change the editor's tool state.
class ttool_options : public QWidget {
    Q_OBJECT

public:
    ttool_options(ttool_editor& editor, QWidget* parent = nullptr);

    // Shows the panels of the editor's current tool and its brush values.
    void show_current_tool();
    // Draws the brush preview again, in the foreground colour.
    void draw_preview();
    // The zoom tool's navigator, which follows the active image.
    tnavigator* navigator() const { return navigator_; }

private:
    QWidget* add_panel(const char* name);
    void build_brush_panel();
    void build_pen_panel();
    void build_picker_panel();
    void build_zoom_panel();
    tbrush_settings panel_values() const;
    void brush_edited();
    void spacing_edited();
    void show_brush_values();

    ttool_editor& editor_;
    QWidget* brush_panel_ = nullptr;
    std::map<std::string, QWidget*, std::less<>> panels_;
    QSlider* size_ = nullptr;
    QSlider* softness_ = nullptr;
    QSlider* opacity_ = nullptr;
    QToolButton* round_ = nullptr;
    QLineEdit* spacing_ = nullptr;
    QLabel* size_label_ = nullptr;
    QLabel* softness_label_ = nullptr;
    QLabel* opacity_label_ = nullptr;
    QLabel* preview_ = nullptr;
    QLabel* ratio_ = nullptr;
    tnavigator* navigator_ = nullptr;
};

} // namespace velmora
