#pragma once

#include "shell/translation.h"

class QCheckBox;
class QRadioButton;

namespace velmora {

// The native format's options, asked before Save As writes a .vlm file.
class TForm24 : public ttranslated_dialog {
    Q_OBJECT

public:
    explicit TForm24(QWidget* parent = nullptr);

    bool compressed() const;
    bool include_thumbnail() const;

    // Stores both choices.
    void accept() override;

private:
    QCheckBox* thumbnail_ = nullptr;
    QRadioButton* compressed_ = nullptr;
    QRadioButton* uncompressed_ = nullptr;
};

} // namespace velmora
