#pragma once

#include "document/document.h"
#include "document/view.h"
#include "history/history.h"

#include <QMdiSubWindow>

#include <functional>

class QScrollBar;

namespace velmora {

class tview_canvas;

// An image window: owns one document, its history and its view, and shows the
// document at one of the zoom levels with scroll bars, rulers and frame lines.
class TForm2 : public QMdiSubWindow {
    Q_OBJECT

public:
    explicit TForm2(tdocument document, QWidget* parent = nullptr);
    ~TForm2() override;

    tdocument& document() { return document_; }
    const tdocument& document() const { return document_; }
    thistory& history() { return history_; }
    const thistory& history() const { return history_; }
    const tview_mapping& mapping() const { return mapping_; }
    const tview_layout& layout() const { return layout_; }
    const Tfbitmap& view_bitmap() const { return view_; }

    // The caption: file name without folder, " at ", the zoom and "%".
    QString caption() const;

    // Applies `zoom_index`, keeping the image point under `focus` (view
    // pixels) near the view's centre.
    void set_zoom(int zoom_index, QPointF focus);
    void set_zoom(int zoom_index);
    void set_rulers_visible(bool visible);
    bool rulers_visible() const { return ruler_ > 0; }

    // Records one completed change under `name` with the stored undo settings.
    void record(const std::string& name);
    // Steps through the history; a snapshot that cannot be read is reported
    // and leaves the document as it was.
    void undo();
    void redo();
    void go_to(std::int32_t entry);

    // Paints one frame of the selection's marching ants into the view.
    void draw_ants(std::int32_t phase);

    // Recomputes the view pixels that show `area` (image units) and repaints them.
    void recomposite(const trect& area);
    void recomposite_all();

    // Client size that shows the whole image at the current zoom, when it fits.
    QSize zoomed_client_size() const;

    // The view as it is on screen, for the canvas.
    QImage view_image() const;

signals:
    void zoom_changed();
    void history_changed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class tview_canvas;
    void relayout();
    void scroll_moved();
    void load_history_entry(const std::function<thistory_change()>& step);

    tdocument document_;
    thistory history_;
    tview_mapping mapping_;
    tview_layout layout_;
    Tfbitmap view_;
    int ruler_ = 0;
    bool ruler_in_inches_ = false;
    tview_canvas* canvas_ = nullptr;
    QScrollBar* horizontal_ = nullptr;
    QScrollBar* vertical_ = nullptr;
};

} // namespace velmora
