#pragma once

#include "document/document.h"
#include "document/navigator.h"
#include "document/view.h"
#include "history/history.h"

#include <QMdiSubWindow>
#include <QTimer>

#include <functional>
#include <optional>

class QKeyEvent;
class QMouseEvent;
class QScrollBar;

namespace velmora {

class ttool_editor;
struct ttool_result;
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
    // Applies `zoom_index` with the view centred on the image, as the
    // navigator's slider does.
    void set_zoom_centred(int zoom_index);
    // Centres the view on navigator point `at` (navigator pixels).
    void navigate_to(QPoint at);
    // The view's zoom, layout and scroll positions, for the navigator.
    tnavigator_view navigator_view() const;
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

    // Recomputes the view pixels that show `area` (document pixels) and
    // repaints them.
    void recomposite(const trect& area);
    void recomposite_all();

    // Client size that shows the whole image at the current zoom, when it fits.
    QSize zoomed_client_size() const;

    // The view as it is on screen, for the canvas.
    QImage view_image() const;

    // The main window's tools, which the view's mouse events drive.
    void set_tool_editor(ttool_editor* editor) { tools_ = editor; }

signals:
    void zoom_changed();
    // The visible part of the image changed: scrolled, resized or zoomed.
    void view_moved();
    void history_changed();
    // A tool picked a foreground or background colour.
    void colours_changed();
    // A stroke began (false) or ended (true): the selection outline stops or
    // marches again.
    void ants_requested(bool marching);
    // The pointer came over the view: pop-out palettes and hints go away.
    void pointer_entered();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class tview_canvas;
    void relayout();
    void fit_window_to_zoom();
    void scroll_moved();
    // Sets the zoom, lets `place_origin` (given the previous factor) choose
    // the origin, then lays the view out again.
    void apply_zoom(int zoom_index, const std::function<void(double previous)>& place_origin);
    // The arrow keys with the move tool; false for keys it leaves to others.
    bool move_layer_by_key(const QKeyEvent& event);
    void load_history_entry(const std::function<thistory_change()>& step);

    enum class tpointer_phase { press, move, release };
    void pointer_event(const QMouseEvent& event, tpointer_phase phase);
    void airbrush_tick();
    // Composites, records and signals what a tool reported.
    void show_tool_result(const ttool_result& result, QPoint at);
    void show_tool_cursor(Qt::KeyboardModifiers modifiers);
    void show_brush_preview(QPoint at, bool button_held);
    void clear_brush_preview();
    // Repaints view rectangle `area` (view pixels) on the canvas.
    void update_view_area(const trect& area);

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

    ttool_editor* tools_ = nullptr;
    QTimer airbrush_timer_;
    trect realtime_preview_;           // view pixels holding the live dab
    bool brush_outline_ = false;       // the classic outline replaces the cursor
    std::optional<QPoint> outline_at_; // where it is drawn, view pixels
};

} // namespace velmora
