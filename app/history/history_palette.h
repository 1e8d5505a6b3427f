#pragma once

#include "shell/translation.h"

#include <QWidget>

class QToolButton;
class QTreeWidget;

namespace velmora {

class TForm2;
class thistory;

// Fills a list with one row per history entry, oldest first: the action's
// name and, in a second column, the time it was recorded.
void fill_history_list(QTreeWidget* list, const thistory& history);

// The History palette's contents: the steps of the active image; choosing
// one goes back or forward to it.
class thistory_palette : public QWidget {
    Q_OBJECT

public:
    explicit thistory_palette(QWidget* parent = nullptr);

    // Shows the history of `image`, or an empty, disabled list for none.
    void show_history(TForm2* image);
    QTreeWidget* list() const { return list_; }

private:
    QTreeWidget* list_ = nullptr;
    QToolButton* dates_ = nullptr;
    TForm2* image_ = nullptr;
};

// The Undo/Redo History dialog: every step, the current one selected;
// choosing a row goes there, Cancel returns to where the dialog started.
class TForm25 : public ttranslated_dialog {
    Q_OBJECT

public:
    explicit TForm25(TForm2* image, QWidget* parent = nullptr);

    void reject() override;

private:
    TForm2* image_;
    int start_;
    QTreeWidget* list_ = nullptr;
};

} // namespace velmora
