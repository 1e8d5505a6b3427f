#pragma once

#include "filters/filter_registry.h"
#include "shell/translation.h"

#include <QTimer>

#include <functional>
#include <map>
#include <string>
#include <string_view>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

namespace velmora {

// What a filter command needs of the image window it works in.
struct tfilter_host {
    tdocument& doc;
    std::function<void()> repaint;                   // recomposite the whole document and repaint
    std::function<void(const std::string&)> record; // one history step with this label (thumbnails too)
};

// A filter dialog built from the filter's parameters: a slider with its edit
// box per number, a check box per flag, "Preview", OK and Cancel. Previews
// restore the pixels at opening first; the first one runs from a one-shot
// timer once the dialog is painted, later ones on slider release (or, for
// the filters that say so, while the slider is dragged, at most one waiting
// with the latest values), on a value typed and confirmed with Enter, and on
// ticking Preview.
class tfilter_dialog : public ttranslated_dialog {
    Q_OBJECT

public:
    tfilter_dialog(tfilter_session& session, std::function<void()> repaint, QWidget* parent = nullptr);

    tfilter_values values() const { return values_; }
    bool preview_checked() const;
    // Whether the target does not show these values yet (OK must compute).
    bool needs_compute() const { return !preview_checked() || !shown_ || shown_values_ != values_.numbers; }
    // Sets a value as the user would by typing it and pressing Enter.
    void type_value(std::string_view key, const QString& text);
    QSlider* slider(std::string_view key) const;
    QLineEdit* edit(std::string_view key) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void add_number(const tfilter_param& param, int row);
    void add_flag(const tfilter_param& param, int row);
    void value_changed(const tfilter_param& param, double value, bool preview_now);
    void preview();
    void add_dial();
    void update_strip();
    static QString edit_text(const tfilter_param& param, double value);
    static int to_position(const tfilter_param& param, double value);
    static double from_position(const tfilter_param& param, int position);

    tfilter_session& session_;
    std::function<void()> repaint_;
    tfilter_values values_;
    QCheckBox* preview_box_ = nullptr;
    QTimer first_preview_;
    QTimer drag_preview_;
    std::map<std::string, QSlider*, std::less<>> sliders_;
    std::map<std::string, QLineEdit*, std::less<>> edits_;
    std::map<std::string, QSpinBox*, std::less<>> spins_;
    QWidget* dial_ = nullptr;  // the motion blur's direction
    QLabel* strip_ = nullptr;  // the hue dialog's spectra
    bool syncing_ = false;
    bool shown_ = false;
    std::map<std::string, double, std::less<>> shown_values_;
};

// The custom convolution dialog: kernel size, the 5 x 5 grid of cells, the
// sum and Preview; the grid is kept in the preferences on OK.
class TForm35 : public ttranslated_dialog {
    Q_OBJECT

public:
    TForm35(tfilter_session& session, std::function<void()> repaint, QWidget* parent = nullptr);

    tfilter_values values() const;
    bool preview_checked() const;
    bool needs_compute() const { return !preview_checked() || shown_ != values().texts; }
    QLineEdit* cell(int number) const { return cells_[std::size_t(number - 1)]; } // Edit1..Edit25
    QComboBox* size_box() const { return size_; }
    QString sum_text() const;
    void store() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    tcustom_convolution_settings settings() const;
    void apply_size();
    void cells_changed();
    void preview();

    tfilter_session& session_;
    std::function<void()> repaint_;
    QComboBox* size_ = nullptr;
    std::array<QLineEdit*, 25> cells_{};
    QLabel* sum_ = nullptr;
    QCheckBox* preview_box_ = nullptr;
    QTimer first_preview_;
    std::map<std::string, std::string, std::less<>> shown_;
};

// Runs the filter command of a menu handler ("GaussianBlur1Click",
// "Invert1Click" ...) on the host's document: its dialog when it has one,
// the busy cursor while pixels are computed, the messages of refused or
// failed runs, and one history step when it completes. Returns whether the
// document changed; false also for handlers that are not filters and for a
// modeless dialog, which records its step when it is confirmed later. A
// modeless dialog is cancelled when the image window holding the document
// closes, and let go without touching the document when another command
// changes it or the window is destroyed.
bool run_filter_command(QWidget* parent, std::string_view handler, const tfilter_host& host);

} // namespace velmora
