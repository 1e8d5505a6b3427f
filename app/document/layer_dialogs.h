#pragma once

#include "document/document.h"
#include "shell/translation.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

namespace velmora {

class TForm2;

// Layers > New Layer...: a transparent layer is added on top as the dialog
// opens, and the name, opacity and blend mode act on it at once. OK makes it
// current; Cancel removes it and brings the previous current layer back.
class TForm10 : public ttranslated_dialog {
    Q_OBJECT

public:
    explicit TForm10(TForm2* image, QWidget* parent = nullptr);

    void accept() override;
    void reject() override;

    QLineEdit* name_edit() const { return name_; }
    QSlider* opacity_slider() const { return opacity_; }
    QComboBox* blend_mode_list() const { return blend_mode_; }

private:
    tcalque& added_layer();
    void show_opacity();

    TForm2* image_;
    std::int32_t previous_current_;
    QLineEdit* name_ = nullptr;
    QSlider* opacity_ = nullptr;
    QLabel* opacity_label_ = nullptr;
    QComboBox* blend_mode_ = nullptr;
};

// Layers > Layer Options...: the current layer's name, position, opacity and
// preserve-transparency flag, applied as they change; Cancel puts back what
// the layer had when the dialog opened.
class TForm18 : public ttranslated_dialog {
    Q_OBJECT

public:
    explicit TForm18(TForm2* image, QWidget* parent = nullptr);

    void reject() override;

    QLineEdit* name_edit() const { return name_; }
    QSpinBox* left_edit() const { return left_; }
    QSpinBox* top_edit() const { return top_; }
    QSlider* opacity_slider() const { return opacity_; }
    QCheckBox* preserve_box() const { return preserve_; }

private:
    tcalque& layer();
    void apply();

    struct tlayer_properties {
        std::string name;
        std::int32_t left = 0;
        std::int32_t top = 0;
        std::int32_t opacity = 255;
        std::uint8_t preserve_transparency = 0;
    };
    TForm2* image_;
    tlayer_properties original_;
    QLineEdit* name_ = nullptr;
    QSpinBox* left_ = nullptr;
    QSpinBox* top_ = nullptr;
    QSlider* opacity_ = nullptr;
    QLabel* opacity_label_ = nullptr;
    QCheckBox* preserve_ = nullptr;
};

} // namespace velmora
