#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Files in the INI layout ("[section]" lines, then "key=value" lines): the
// settings file, and the freedesktop files that carry file associations.
// Sections and keys are matched without regard to case; only the first section
// of a name is read, and in it the first of equal keys. Lines that are neither
// (comments, junk) are kept as they are when the file is rewritten.

// The value of `key`, trimmed of surrounding blanks; nullopt when the file, the
// section or the key is missing.
std::optional<std::string> ini_read(const std::string& path, std::string_view section, std::string_view key);

// Sets `key` to `value` (written as is), or removes it when `value` is nullopt,
// and rewrites the file atomically. False when the names cannot be stored or
// the file cannot be read back or written.
bool ini_store(const std::string& path, std::string_view section, std::string_view key,
               std::optional<std::string_view> value);

} // namespace velmora
