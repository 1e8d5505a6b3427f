#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The settings file "prefs.cfg" (see paths.h for where it lives), in the INI
// layout: "[section]" lines, then "key=value" lines. Sections and keys are
// matched without regard to case; of two equal keys the first counts. Every call
// opens and releases the file, so what one part writes the next part reads.
//
// Reading never fails: a missing file, section or key, or a value that is not a
// number where a number is read, gives the default.
std::string read_string(std::string_view section, std::string_view key, std::string_view default_value);
std::int32_t read_int(std::string_view section, std::string_view key, std::int32_t default_value);
double read_float(std::string_view section, std::string_view key, double default_value);
bool read_bool(std::string_view section, std::string_view key, bool default_value);

// Writers store at once. Numbers use "." whatever the locale. A failure shows the
// "@ch_cant_save_prefs" warning once per run (set_settings_failure_handler) and
// returns false; the value is lost and the program goes on.
bool write_string(std::string_view section, std::string_view key, std::string_view value);
bool write_int(std::string_view section, std::string_view key, std::int32_t value);
bool write_float(std::string_view section, std::string_view key, double value);
bool write_bool(std::string_view section, std::string_view key, bool value);

// Whether the settings file exists (at start-up: a first run associates .vlm files).
bool prefs_file_exists();

// How the user is told that the settings cannot be written: the interface
// shows a message box; without a handler the report is dropped.
using tsettings_failure_handler = std::function<void(const std::string& title, const std::string& text)>;
void set_settings_failure_handler(tsettings_failure_handler handler);
// Reports that `path` could not be written, the first time in a run only.
void report_settings_write_failure(const std::string& path);
// Forgets that a report was made, as a new run would (for tests).
void reset_settings_failure_report();

// Recent files: section "recent", keys "0" to "7".
inline constexpr int recent_file_slots = 8;

struct trecent_file {
    int slot;
    std::string path;
    std::string caption; // "&" + (slot + 1) + " " + path, for File > Reopen
};

// Reads the next slot to write from the settings, as at start-up: the number of
// consecutive non-empty keys from "0", modulo 8.
void init_recent_files();
int next_recent_slot();
// Called after every successful open. A path already listed (ignoring case)
// changes nothing.
void add_recent_file(const std::string& path);
std::vector<trecent_file> list_recent_files();

} // namespace velmora
