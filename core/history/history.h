#pragma once

#include "document/document.h"
#include "formats/vlm_format.h"
#include "history/temp_folder.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <string>
#include <vector>

namespace velmora {

// The undo settings (preferences section "undo"), read by the caller at each
// recording and passed in.
struct tundo_settings {
    bool disable_undo_redo = false;
    bool disable_undo_redo_for_big_images = true;
    bool variable_limit = false;
    std::int32_t count_limit = 10;
};

// Above this many pixels (width x height of the background) nothing is
// recorded while "disable_undo_redo_for_big_images" is on.
inline constexpr std::int64_t big_image_pixels = 4000000;

// One history entry: the action's display text, its snapshot file and the
// time of day it was recorded (fraction of a day).
struct trecord_action {
    std::string name;
    std::string file;
    double time = 0;
};

// What an undo, redo or jump changed, for the window to repaint: the view is
// recomposited whole in every case; when the size changed, the view size and
// scroll bars are recomputed too, and the Layers palette is rebuilt.
struct thistory_change {
    bool size_changed = false;
    tvlm_view_state view; // outline visibility and vector tool values from the snapshot
};

// The linear, snapshot-based undo history of one document. The image window
// owns one beside its document and:
// - calls record_action once after every completed change (and once with the
//   text of "@ch_initial_state" when the document is created or opened);
// - enables Undo/Redo from can_undo/can_redo, calls undo_action, redo_action
//   or go_to_entry and then recomposites and repaints as the result says;
// - calls clear_history when the document is flattened into a single-layer
//   file; the destructor removes the remaining snapshots when it closes.
// Snapshots are whole documents in the native format, uncompressed, in the
// program's private temporary folder.
class thistory {
public:
    thistory();                                // snapshots in ttemp_folder::program()
    explicit thistory(ttemp_folder& folder);
    ~thistory();
    thistory(const thistory&) = delete;
    thistory& operator=(const thistory&) = delete;

    const std::vector<trecord_action>& entries() const { return entries_; }
    // The entry the document equals now; -1 while the history is empty.
    std::int32_t position() const { return position_; }
    bool busy() const { return busy_; }

    // Sets doc.modified, then records a snapshot unless the settings say not
    // to (disabled; above 4,000,000 pixels; the cap reached: old entries are
    // never evicted) or a recording is under way. Drops the redo tail first.
    // Never throws: a snapshot that cannot be written is simply not kept.
    // Returns whether an entry was added.
    bool record_action(tdocument& doc, const std::string& name, const tundo_settings& settings,
                       const tvlm_view_state& view = {});

    // `text_window_open`: the text tool's window is showing.
    bool can_undo(const tdocument& doc, bool text_window_open = false) const;
    bool can_redo(const tdocument& doc, bool text_window_open = false) const;

    // Loads the neighbouring snapshot into `doc`, keeping the current layer
    // index when it is still valid. On a missing or damaged snapshot throws
    // velmora_error("@ch_read_error") and leaves both the document and the
    // position as they were.
    thistory_change undo_action(tdocument& doc);
    thistory_change redo_action(tdocument& doc);
    // Lands on entry `index` (0-based), loading its snapshot.
    thistory_change go_to_entry(tdocument& doc, std::int32_t index);

    // Deletes every snapshot and empties the history (position -1).
    void clear_history();

private:
    thistory_change load_entry(tdocument& doc, std::int32_t index);
    void drop_last_entry();

    ttemp_folder* folder_;
    std::vector<trecord_action> entries_;
    std::int32_t position_ = -1;
    bool busy_ = false;
    // The rasters the last undo or redo replaced, reused by the next one;
    // released as soon as the user changes the document again.
    std::vector<Tfbitmap> spare_;
};

// The History palette's small icon for an action, by its catalogue key. The
// palette compares each entry's name with the texts of these keys in the
// active language; any other name shows icon 0.
struct thistory_icon {
    std::string_view key;
    int icon;
};
std::span<const thistory_icon> history_icons();
int history_icon(std::string_view key);

// The background of a snapshot, read straight from its file (the history
// brush's source). Throws velmora_error("@ch_read_error").
void read_snapshot_background(Tfbitmap& target, const std::string& file_name);

} // namespace velmora
