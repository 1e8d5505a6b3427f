#pragma once

#include "shell/new_image.h"
#include "shell/translation.h"

#include <QColor>

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace velmora {

// What the user asked for.
struct tnew_image_request {
    std::string name;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double pixels_per_inch = 96;
    tnew_image_fill fill = tnew_image_fill::white;
    TColor custom_colour = 0x00FFFFFF;
};

// The New Image dialog.
class TForm7 : public ttranslated_dialog {
    Q_OBJECT

public:
    // `initial_size` is the clipboard picture's size when it holds one.
    TForm7(int counter, double screen_ppi, QSize initial_size, QWidget* parent = nullptr);

    tnew_image_request request() const;

    void accept() override;

private:
    void update_caption();
    void unit_changed(QComboBox* units, QLineEdit* field, int& previous);
    void resolution_unit_changed();
    double ppi() const;
    void choose_colour();

    QLineEdit* name_ = nullptr;
    QLineEdit* width_ = nullptr;
    QLineEdit* height_ = nullptr;
    QLineEdit* resolution_ = nullptr;
    QComboBox* width_unit_ = nullptr;
    QComboBox* height_unit_ = nullptr;
    QComboBox* resolution_unit_ = nullptr;
    QButtonGroup* fill_ = nullptr;
    QPushButton* swatch_ = nullptr;
    TColor custom_colour_ = 0x00FFFFFF;
    int width_unit_index_ = 0;
    int height_unit_index_ = 0;
    int resolution_unit_index_ = 0;
};

} // namespace velmora
