#include "filters/filter_dialogs.h"

#include "shell/busy_cursor.h"

#include "document/error.h"
#include "document/image_window.h"
#include "document/rounding.h"
#include "filters/blur.h"
#include "filters/colour_adjust.h"
#include "shell/catalogue.h"
#include "shell/preferences.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <new>
#include <numbers>

namespace velmora {

namespace {

QString text(std::string_view key)
{
    return QString::fromStdString(translate(key));
}

QString shortest(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return QString::fromLatin1(buffer);
}

QString name_of(std::string_view name)
{
    return QString::fromUtf8(name.data(), qsizetype(name.size()));
}

// Messages of a filter that refused or failed; the document is as it was.
void report(QWidget* parent, const velmora_error& error)
{
    if (error.key() == "@ch_empty_selection")
        QMessageBox::warning(parent, text("@ch_warning"), text(error.key()));
    else
        QMessageBox::critical(parent, text("@ch_error"), error.key() == "@ch_error" ? QString::fromStdString(error.what())
                                                                                    : text(error.key()));
}

// The motion blur's round dial: a knob 25 pixels from the centre toward the
// angle, counter-clockwise; dragging with the left button sets the angle.
class tmotion_dial : public QWidget {
public:
    tmotion_dial(QWidget* parent, std::function<int()> angle, std::function<void(int)> drag,
                 std::function<void()> release)
        : QWidget(parent), angle_(std::move(angle)), drag_(std::move(drag)), release_(std::move(release))
    {
        setObjectName("Image1");
        setFixedSize(70, 70);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(width() / 2.0, height() / 2.0);
        painter.setBrush(palette().base());
        painter.drawEllipse(centre, 32, 32);
        const double radians = -angle_() * std::numbers::pi / 180.0;
        const QPointF knob = centre + 25 * QPointF(std::cos(radians), std::sin(radians));
        painter.setBrush(palette().text());
        painter.drawEllipse(knob, 4, 4);
    }
    void mousePressEvent(QMouseEvent* event) override { follow(event); }
    void mouseMoveEvent(QMouseEvent* event) override { follow(event); }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            release_();
    }

private:
    void follow(QMouseEvent* event)
    {
        if (!(event->buttons() & Qt::LeftButton))
            return;
        const QPointF offset = event->position() - QPointF(width() / 2.0, height() / 2.0);
        drag_(motion_dial_angle(offset.x(), offset.y()));
        update();
    }

    std::function<int()> angle_;
    std::function<void(int)> drag_;
    std::function<void()> release_;
};

} // namespace

tfilter_dialog::tfilter_dialog(tfilter_session& session, std::function<void()> repaint, QWidget* parent)
    : ttranslated_dialog(parent), session_(session), repaint_(std::move(repaint)),
      values_(stored_values(session.filter()))
{
    const tfilter& filter = session.filter();
    setObjectName(name_of(filter.dialog));
    setWindowTitle(text(filter.label_key));
    setModal(!filter.modeless);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    int row = 0;
    for (const tfilter_param& param : filter.params) {
        if (param.kind == tparam_kind::flag)
            add_flag(param, row);
        else if (param.kind != tparam_kind::text)
            add_number(param, row);
        ++row;
    }
    if (filter.dialog == "TForm38")
        add_dial();
    if (filter.dialog == "TForm13") {
        strip_ = new QLabel(this);
        strip_->setObjectName("Image1");
        layout->addWidget(strip_);
        update_strip();
    }
    if (filter.preview_delay_ms >= 0) {
        preview_box_ = new QCheckBox("Preview", this);
        preview_box_->setObjectName("CheckBox1");
        const bool checked = filter.preference_section.empty() ||
                             read_bool(filter.preference_section, "preview", true);
        preview_box_->setChecked(checked);
        connect(preview_box_, &QCheckBox::toggled, this, [this](bool on) {
            if (on) {
                preview();
            } else {
                session_.restore();
                shown_ = false;
                repaint_();
            }
        });
        layout->addWidget(preview_box_);
        first_preview_.setSingleShot(true);
        first_preview_.setInterval(filter.preview_delay_ms);
        connect(&first_preview_, &QTimer::timeout, this, &tfilter_dialog::preview);
        drag_preview_.setSingleShot(true);
        connect(&drag_preview_, &QTimer::timeout, this, &tfilter_dialog::preview);
    }
    layout->addWidget(ok_cancel_buttons(this));
}

void tfilter_dialog::add_number(const tfilter_param& param, int row)
{
    auto* grid = static_cast<QGridLayout*>(layout()->itemAt(0)->layout());
    auto* label = new QLabel(name_of(param.caption), this);
    label->setObjectName(QString("Label%1").arg(row + 1));
    grid->addWidget(label, row, 0);
    const std::string key(param.key);
    const double value = values_.number(key);
    if (param.maximum - param.minimum > 100000) {
        // An unbounded number (the motion blur's angle): a spin edit.
        auto* spin = new QSpinBox(this);
        spin->setObjectName(name_of(param.control));
        spin->setRange(int(param.minimum), int(param.maximum));
        spin->setSingleStep(10);
        spin->setValue(int(value));
        spins_[key] = spin;
        connect(spin, &QSpinBox::valueChanged, this, [this, &param](int v) {
            if (dial_)
                dial_->update();
            if (!syncing_)
                value_changed(param, v, true);
        });
        grid->addWidget(spin, row, 1, 1, 2);
        return;
    }
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(name_of(param.control));
    slider->setRange(to_position(param, param.minimum), to_position(param, param.maximum));
    slider->setValue(to_position(param, value));
    auto* edit = new QLineEdit(edit_text(param, value), this);
    edit->setObjectName(name_of(param.edit));
    edit->setMaximumWidth(70);
    sliders_[key] = slider;
    edits_[key] = edit;
    connect(slider, &QSlider::valueChanged, this, [this, &param, slider, edit](int position) {
        if (syncing_)
            return;
        const double v = from_position(param, position);
        edit->setText(edit_text(param, v));
        if (!slider->isSliderDown()) {
            value_changed(param, v, true);
            return;
        }
        // While the thumb is dragged the preview waits for the release, or
        // follows it with one preview at a time of the latest position.
        value_changed(param, v, false);
        if (session_.filter().preview_while_dragging && !drag_preview_.isActive())
            drag_preview_.start();
    });
    connect(slider, &QSlider::sliderReleased, this, &tfilter_dialog::preview);
    connect(edit, &QLineEdit::returnPressed, this, [this, &param, key] { type_value(key, edits_[key]->text()); });
    grid->addWidget(slider, row, 1);
    grid->addWidget(edit, row, 2);
}

void tfilter_dialog::add_flag(const tfilter_param& param, int row)
{
    auto* grid = static_cast<QGridLayout*>(layout()->itemAt(0)->layout());
    auto* box = new QCheckBox(name_of(param.caption), this);
    box->setObjectName(name_of(param.control));
    box->setChecked(values_.number(param.key) != 0);
    // A flag takes effect with the next preview the sliders ask for.
    connect(box, &QCheckBox::toggled, this, [this, &param](bool on) { value_changed(param, on ? 1 : 0, false); });
    grid->addWidget(box, row, 0, 1, 3);
}

QString tfilter_dialog::edit_text(const tfilter_param& param, double value)
{
    if (param.edit_divisor == 1)
        return shortest(value);
    return QString::number(round_half_even((long double)(value) / param.edit_divisor));
}

int tfilter_dialog::to_position(const tfilter_param& param, double value)
{
    return int(std::lround(param.kind == tparam_kind::real ? value * 10 : value));
}

double tfilter_dialog::from_position(const tfilter_param& param, int position)
{
    return param.kind == tparam_kind::real ? position / 10.0 : position;
}

void tfilter_dialog::type_value(std::string_view key, const QString& typed)
{
    const tfilter_param* param = find_param(session_.filter(), key);
    QLineEdit* box = edit(key);
    if (!param || !box)
        return;
    box->setText(typed);
    bool number = false;
    const double parsed = typed.trimmed().toDouble(&number) * param->edit_divisor;
    const double current = values_.number(key);
    if (!number || !std::isfinite(parsed)) {
        box->setText(edit_text(*param, current)); // not a number: the slider keeps its place
        return;
    }
    // The slider's steps decide: a tenth for decimals, whole numbers otherwise.
    const double value = from_position(*param, to_position(*param, clamp_value(*param, parsed)));
    syncing_ = true;
    slider(key)->setValue(to_position(*param, value));
    syncing_ = false;
    box->setText(edit_text(*param, value));
    value_changed(*param, value, true);
}

QSlider* tfilter_dialog::slider(std::string_view key) const
{
    const auto it = sliders_.find(key);
    return it == sliders_.end() ? nullptr : it->second;
}

QLineEdit* tfilter_dialog::edit(std::string_view key) const
{
    const auto it = edits_.find(key);
    return it == edits_.end() ? nullptr : it->second;
}

bool tfilter_dialog::preview_checked() const
{
    return preview_box_ && preview_box_->isChecked();
}

void tfilter_dialog::add_dial()
{
    const auto spin = spins_.find(std::string_view("angle"));
    if (spin == spins_.end())
        return;
    QSpinBox* box = spin->second;
    dial_ = new tmotion_dial(
        this, [box] { return box->value(); },
        [this, box](int angle) {
            // Dragging only turns the knob; the preview waits for the release.
            syncing_ = true;
            box->setValue(angle);
            syncing_ = false;
            values_.numbers["angle"] = angle;
        },
        [this] { preview(); });
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, dial_, 0, Qt::AlignHCenter);
}

void tfilter_dialog::update_strip()
{
    if (!strip_)
        return;
    const Tfbitmap strip =
        hue_strip(values_.integer("hue"), values_.integer("saturation"), values_.integer("brightness"));
    const QImage image(strip.bits(), strip.width(), strip.height(), qsizetype(strip.stride()), QImage::Format_ARGB32);
    strip_->setPixmap(QPixmap::fromImage(image.copy()));
}

void tfilter_dialog::value_changed(const tfilter_param& param, double value, bool preview_now)
{
    values_.numbers[std::string(param.key)] = value;
    update_strip();
    if (preview_now)
        preview();
}

void tfilter_dialog::showEvent(QShowEvent* event)
{
    ttranslated_dialog::showEvent(event);
    if (preview_checked() && !event->spontaneous())
        first_preview_.start();
}

void tfilter_dialog::preview()
{
    first_preview_.stop();
    drag_preview_.stop();
    if (!preview_checked())
        return;
    try {
        tbusy_cursor busy;
        session_.preview(values_);
        shown_ = true;
        shown_values_ = values_.numbers;
    } catch (const velmora_error& error) {
        report(this, error);
    } catch (const std::bad_alloc&) {
        QMessageBox::critical(this, text("@ch_error"), text("@ch_no_mem"));
    }
    repaint_();
}

TForm35::TForm35(tfilter_session& session, std::function<void()> repaint, QWidget* parent)
    : ttranslated_dialog(parent), session_(session), repaint_(std::move(repaint))
{
    setObjectName("TForm35");
    setWindowTitle(text(session.filter().label_key));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* size_row = new QHBoxLayout;
    auto* size_label = new QLabel("Convolution Kernel Size:", this);
    size_label->setObjectName("Label1");
    size_ = new QComboBox(this);
    size_->setObjectName("ComboBox1");
    size_->addItems({"3*3", "5*5"});
    size_row->addWidget(size_label);
    size_row->addWidget(size_);
    layout->addLayout(size_row);
    auto* grid = new QGridLayout;
    const tcustom_convolution_settings stored = read_custom_convolution_settings();
    auto* validator = new QRegularExpressionValidator(QRegularExpression("[0-9.\\-]*"), this);
    for (int n = 0; n < 25; ++n) {
        auto* cell = new QLineEdit(QString::fromStdString(stored.cells[std::size_t(n)]), this);
        cell->setObjectName(QString("Edit%1").arg(n + 1));
        cell->setValidator(validator);
        cell->setMaximumWidth(50);
        grid->addWidget(cell, n % 5, n / 5); // Edit N: column (N - 1) / 5, row (N - 1) % 5
        cells_[std::size_t(n)] = cell;
        connect(cell, &QLineEdit::textChanged, this, &TForm35::cells_changed);
    }
    layout->addLayout(grid);
    sum_ = new QLabel(this);
    sum_->setObjectName("Label3");
    layout->addWidget(sum_);
    preview_box_ = new QCheckBox("Preview", this);
    preview_box_->setObjectName("CheckBox1");
    preview_box_->setChecked(true);
    connect(preview_box_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) {
            preview();
        } else {
            session_.restore();
            shown_.clear();
            repaint_();
        }
    });
    layout->addWidget(preview_box_);
    layout->addWidget(ok_cancel_buttons(this));
    size_->setCurrentIndex(stored.kernel_size == kernel_size_3 ? 0 : 1);
    connect(size_, &QComboBox::currentIndexChanged, this, [this] {
        apply_size();
        cells_changed();
    });
    apply_size();
    sum_->setText(sum_text());
    first_preview_.setSingleShot(true);
    first_preview_.setInterval(session.filter().preview_delay_ms);
    connect(&first_preview_, &QTimer::timeout, this, &TForm35::preview);
}

tcustom_convolution_settings TForm35::settings() const
{
    tcustom_convolution_settings settings;
    settings.kernel_size = size_->currentIndex() == 0 ? kernel_size_3 : kernel_size_5;
    for (std::size_t n = 0; n < 25; ++n)
        settings.cells[n] = cells_[n]->text().toStdString();
    return settings;
}

void TForm35::apply_size()
{
    const bool small = size_->currentIndex() == 0;
    for (int n = 0; n < 25; ++n) {
        const int column = n / 5, row = n % 5;
        const bool outer = column == 0 || column == 4 || row == 0 || row == 4;
        if (!outer)
            continue;
        if (small) {
            const QSignalBlocker quiet(cells_[std::size_t(n)]);
            cells_[std::size_t(n)]->clear(); // switching back to 5*5 shows them empty
        }
        cells_[std::size_t(n)]->setVisible(!small);
    }
}

QString TForm35::sum_text() const
{
    const tcustom_convolution_settings s = settings();
    return text("@ch_sum") + shortest(build_custom_kernel(s.cells, s.kernel_size).sum);
}

tfilter_values TForm35::values() const
{
    const tcustom_convolution_settings s = settings();
    tfilter_values values = default_values(session_.filter());
    values.numbers["size"] = s.kernel_size == kernel_size_3 ? 3 : 5;
    values.texts["kernel"] = kernel_text(s);
    return values;
}

bool TForm35::preview_checked() const
{
    return preview_box_->isChecked();
}

void TForm35::store() const
{
    store_custom_convolution_settings(settings());
}

void TForm35::cells_changed()
{
    sum_->setText(sum_text());
    preview();
}

void TForm35::showEvent(QShowEvent* event)
{
    ttranslated_dialog::showEvent(event);
    if (preview_checked() && !event->spontaneous())
        first_preview_.start();
}

void TForm35::preview()
{
    first_preview_.stop();
    if (!preview_checked())
        return;
    try {
        tbusy_cursor busy;
        session_.preview(values());
        shown_ = values().texts;
    } catch (const velmora_error& error) {
        report(this, error);
    }
    repaint_();
}

namespace {

// Shows the dialog; on OK keeps (or computes) the result and returns the
// history label, on any other close restores the layer and returns nothing.
void store_dialog_values(const tfilter& filter, const tfilter_dialog& dialog)
{
    store_values(filter, dialog.values());
    if (!filter.preference_section.empty())
        write_bool(filter.preference_section, "preview", dialog.preview_checked());
}

// The image window that holds `doc`, among the windows below `parent`.
TForm2* window_of(QWidget* parent, const tdocument& doc)
{
    if (!parent)
        return nullptr;
    for (TForm2* image : parent->findChildren<TForm2*>())
        if (&image->document() == &doc)
            return image;
    return nullptr;
}

// Cancels the dialog when the window it watches is about to close, while
// the document is still there to be restored.
class tclose_watch : public QObject {
public:
    tclose_watch(QObject* window, QDialog* dialog) : QObject(dialog), dialog_(dialog) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && dialog_->isVisible())
            dialog_->reject();
        return QObject::eventFilter(watched, event);
    }

private:
    QDialog* dialog_;
};

void open_modeless(QWidget* parent, const tfilter& filter, const tfilter_host& host)
{
    auto session = std::make_shared<tfilter_session>(host.doc, filter);
    auto* dialog = new tfilter_dialog(*session, host.repaint, parent);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, session, host, &filter](int result) {
        dialog->deleteLater();
        if (!session->open())
            return;
        try {
            if (result != QDialog::Accepted) {
                session->cancel();
                host.repaint();
                return;
            }
            store_dialog_values(filter, *dialog);
            std::string label;
            {
                tbusy_cursor busy;
                label = session->commit(dialog->values(), dialog->needs_compute());
            }
            host.repaint();
            host.record(label);
        } catch (const velmora_error& error) {
            report(dialog, error);
        } catch (const std::bad_alloc&) {
            QMessageBox::critical(dialog, text("@ch_error"), text("@ch_no_mem"));
        }
    });
    if (TForm2* window = window_of(parent, host.doc)) {
        new tclose_watch(window, dialog);
        // Another command changed the document (its layers may be gone): the
        // dialog lets go of it as it now is.
        QObject::connect(window, &TForm2::history_changed, dialog, [dialog, session] {
            if (!session->open())
                return;
            session->abandon();
            dialog->close();
        });
        QObject::connect(window, &QObject::destroyed, dialog, [dialog, session] {
            session->abandon();
            delete dialog;
        });
    }
    dialog->show();
}

template <typename Dialog, typename Store>
std::string run_dialog(Dialog& dialog, tfilter_session& session, const tfilter_host& host, Store store)
{
    if (dialog.exec() != QDialog::Accepted) {
        session.cancel();
        host.repaint();
        return {};
    }
    store();
    std::string label;
    {
        tbusy_cursor busy;
        // What the target holds is the last preview; without one (or with
        // Preview unticked) the filter runs now with the settings shown.
        label = session.commit(dialog.values(), dialog.needs_compute());
    }
    host.repaint();
    return label;
}

} // namespace

bool run_filter_command(QWidget* parent, std::string_view handler, const tfilter_host& host)
{
    const tfilter* filter = find_filter(handler);
    if (!filter)
        return false;
    try {
        std::string label;
        if (filter->dialog.empty()) {
            {
                tbusy_cursor busy;
                run_filter(host.doc, *filter, default_values(*filter));
            }
            host.repaint();
            label = translate(filter->label_key);
        } else {
            if (filter->modeless) {
                open_modeless(parent, *filter, host);
                return false;
            }
            tfilter_session session(host.doc, *filter);
            if (filter->dialog == "TForm35") {
                TForm35 dialog(session, host.repaint, parent);
                label = run_dialog(dialog, session, host, [&dialog] { dialog.store(); });
            } else {
                tfilter_dialog dialog(session, host.repaint, parent);
                label = run_dialog(dialog, session, host, [&dialog, filter] { store_dialog_values(*filter, dialog); });
            }
            if (label.empty())
                return false;
        }
        host.record(label);
        return true;
    } catch (const velmora_error& error) {
        report(parent, error);
    } catch (const std::bad_alloc&) {
        QMessageBox::critical(parent, text("@ch_error"), text("@ch_no_mem"));
    }
    host.repaint();
    return false;
}

} // namespace velmora
