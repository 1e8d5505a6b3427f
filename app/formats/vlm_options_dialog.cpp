#include "formats/vlm_options_dialog.h"

#include "shell/preferences.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velmora {

TForm24::TForm24(QWidget* parent) : ttranslated_dialog(parent)
{
    setObjectName("TForm24");
    setWindowTitle("VLM Format Options");
    auto* column = new QVBoxLayout(this);
    thumbnail_ = new QCheckBox("Include thumbnail", this);
    thumbnail_->setObjectName("CheckBox1");
    thumbnail_->setChecked(read_bool("vlm", "preview", true));
    column->addWidget(thumbnail_);

    auto* compression = new QGroupBox("Compression", this);
    compression->setObjectName("RadioGroup1");
    auto* choices = new QVBoxLayout(compression);
    compressed_ = new QRadioButton("Compressed", compression);
    compressed_->setObjectName("RadioButton1");
    uncompressed_ = new QRadioButton("Uncompressed", compression);
    uncompressed_->setObjectName("RadioButton2");
    choices->addWidget(compressed_);
    choices->addWidget(uncompressed_);
    // The stored value is the radio index: 0 compressed, 1 uncompressed.
    (read_int("vlm", "compressed", 0) == 0 ? compressed_ : uncompressed_)->setChecked(true);
    column->addWidget(compression);

    auto* note = new QLabel("VLM Compression preserves the quality of your image.", this);
    note->setObjectName("Label1");
    note->setWordWrap(true);
    column->addWidget(note);

    column->addWidget(ok_cancel_buttons(this));
}

bool TForm24::compressed() const
{
    return compressed_->isChecked();
}

bool TForm24::include_thumbnail() const
{
    return thumbnail_->isChecked();
}

void TForm24::accept()
{
    write_bool("vlm", "preview", include_thumbnail());
    write_int("vlm", "compressed", compressed() ? 0 : 1);
    ttranslated_dialog::accept();
}

} // namespace velmora
