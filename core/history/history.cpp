#include "history/history.h"

#include "document/error.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <unistd.h>

namespace velmora {

namespace {

double time_of_day()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    const auto fraction = std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(seconds)).count();
    return (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction) / 86400.0;
}

void remove_file(const std::string& file)
{
    ::unlink(file.c_str());
}

} // namespace

thistory::thistory() : thistory(ttemp_folder::program()) {}

thistory::thistory(ttemp_folder& folder) : folder_(&folder) {}

thistory::~thistory()
{
    clear_history();
}

bool thistory::record_action(tdocument& doc, const std::string& name, const tundo_settings& settings,
                             const tvlm_view_state& view)
{
    // Set even when nothing is recorded: the document did change.
    doc.modified = 1;
    spare_.clear();
    if (settings.disable_undo_redo)
        return false;
    if (settings.disable_undo_redo_for_big_images &&
        std::int64_t(doc.width()) * std::int64_t(doc.height()) > big_image_pixels)
        return false;
    if (settings.variable_limit && std::int64_t(entries_.size()) >= std::int64_t(settings.count_limit))
        return false;
    if (busy_ || doc.layers.empty())
        return false;
    busy_ = true;
    bool recorded = false;
    try {
        while (position_ < std::int32_t(entries_.size()) - 1)
            drop_last_entry();
        trecord_action entry{name, folder_->next_snapshot_name(), time_of_day()};
        entries_.push_back(entry);
        ++position_;
        try {
            write_vlm_snapshot(doc, entry.file, view);
            recorded = true;
        } catch (...) {
            // The entry stays so that undo still reaches the state before this
            // change; moving forward onto it reports the missing snapshot.
        }
    } catch (...) {
    }
    busy_ = false;
    return recorded;
}

bool thistory::can_undo(const tdocument& doc, bool text_window_open) const
{
    return !doc.transform_pending && !text_window_open && position_ > 0;
}

bool thistory::can_redo(const tdocument& doc, bool text_window_open) const
{
    return !doc.transform_pending && !text_window_open && position_ >= 0 &&
           position_ < std::int32_t(entries_.size()) - 1;
}

thistory_change thistory::load_entry(tdocument& doc, std::int32_t index)
{
    if (index < 0 || index >= std::int32_t(entries_.size()))
        throw velmora_error("@ch_read_error", "no history entry " + std::to_string(index));
    const std::int32_t remembered = doc.current_layer;
    const std::int32_t old_width = doc.width();
    const std::int32_t old_height = doc.height();
    thistory_change change;
    try {
        change.view = read_vlm_snapshot(doc, entries_[std::size_t(index)].file, spare_);
    } catch (const velmora_error& error) {
        if (error.key() == "@ch_no_mem")
            throw;
        throw velmora_error("@ch_read_error", error.what());
    }
    position_ = index;
    if (doc.valid_layer(remembered))
        set_current_layer(doc, remembered);
    change.size_changed = doc.width() != old_width || doc.height() != old_height;
    return change;
}

thistory_change thistory::undo_action(tdocument& doc)
{
    return load_entry(doc, position_ - 1);
}

thistory_change thistory::redo_action(tdocument& doc)
{
    return load_entry(doc, position_ + 1);
}

thistory_change thistory::go_to_entry(tdocument& doc, std::int32_t index)
{
    return load_entry(doc, index);
}

void thistory::drop_last_entry()
{
    remove_file(entries_.back().file);
    entries_.pop_back();
}

void thistory::clear_history()
{
    while (!entries_.empty())
        drop_last_entry();
    position_ = -1;
    spare_.clear();
}

std::span<const thistory_icon> history_icons()
{
    static constexpr thistory_icon icons[] = {
        {"@ch_rectangle_select", 1},  {"@ch_lasso_select", 2},      {"@ch_lasso_polygonal", 3},
        {"@ch_magic_wand", 4},        {"@ch_pinceau", 5},           {"@ch_crayon", 6},
        {"@ch_add_text_layer", 7},    {"@ch_segment", 8},           {"@ch_tampon", 9},
        {"@ch_transformation", 11},   {"@ch_fill", 12},             {"@ch_degrade_angle", 13},
        {"@ch_degrade_losange", 14},  {"@ch_degrade_linear", 15},   {"@ch_move", 16},
        {"@ch_move_selection", 16},   {"@ch_move_layer", 16},       {"@ch_degrade_radial", 17},
        {"@ch_circle_select", 19},    {"@ch_vertical_select", 20},  {"@ch_horizontal_select", 21},
        {"@ch_eclaircit", 22},        {"@ch_history_brush", 23},    {"@ch_draw_quad", 24},
        {"@ch_draw_circle", 25},      {"@ch_grow", 26},             {"@ch_shrink", 27},
        {"@ch_twirl_ccw", 28},        {"@ch_twirl_cw", 29},         {"@ch_airbrush", 32},
        {"@ch_gomme", 33},            {"@ch_doigt", 34},            {"@ch_goo_move", 34},
        {"@ch_add_text_selection", 35}, {"@ch_move_curve", 36},     {"@ch_delete_vertex", 37},
        {"@ch_move_vertex", 38},      {"@ch_arrange_vertex", 39},   {"@ch_insert_vertex", 40},
        {"@ch_define_vertex", 41},
    };
    return icons;
}

int history_icon(std::string_view key)
{
    for (const thistory_icon& entry : history_icons())
        if (entry.key == key)
            return entry.icon;
    return 0;
}

void read_snapshot_background(Tfbitmap& target, const std::string& file_name)
{
    read_vlm_background(file_name, target);
}

} // namespace velmora
