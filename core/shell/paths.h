#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The folder of the user's settings: $VELMORA_HOME when set (tests, portable
// use), else $XDG_CONFIG_HOME/velmora, else ~/.config/velmora. Read from the
// environment on every call, so a test can point it elsewhere.
std::string settings_folder();
// "prefs.cfg" and "language" in that folder.
std::string prefs_path();
std::string language_path();

// Reads a whole file; false when it cannot be opened or read.
bool read_settings_file(const std::string& path, std::string& content);

// Replaces `path` with `content` without ever leaving a half-written file: the
// text goes to a temporary file in the same folder, is flushed to disk and
// renamed over the target. Creates the folder when missing. A target whose
// owner may not write it is left alone. False on any failure.
bool store_settings_file(const std::string& path, std::string_view content);

} // namespace velmora
