#pragma once

#include "selection/selection.h"
#include "shell/translation.h"

#include <cstddef>

class QButtonGroup;
class QComboBox;
class QLabel;

namespace velmora {

// Load Selection: which saved selection of `doc` to combine into the current
// one and how, with a preview of the chosen entry. The document needs at
// least one saved selection and must outlive the dialog.
class TForm16 : public ttranslated_dialog {
    Q_OBJECT

public:
    explicit TForm16(const tdocument& doc, QWidget* parent = nullptr);

    // The chosen saved selection, 0-based.
    std::size_t chosen_index() const;
    tcombine_operation operation() const;

private:
    void draw_preview();

    const tdocument& doc_;
    QComboBox* entries_ = nullptr;
    QButtonGroup* operations_ = nullptr;
    QLabel* preview_ = nullptr;
};

} // namespace velmora
