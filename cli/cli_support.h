#pragma once

#include "document/document.h"

#include <string>

namespace velmora::cli {

inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

// Prints "velmora-cli: " + message on standard error and returns exit_failure.
int fail(const std::string& message);

// Lower-cased extension of a path, without the dot.
std::string extension_of(const std::string& path);

// Writes the flattened document to `path`, the format chosen by extension.
void write_flat_picture(const tdocument& doc, const std::string& path);

// Opens `source`: a picture file, or new:WIDTHxHEIGHT[:RRGGBB] for a blank image.
tdocument open_source(const std::string& source);

} // namespace velmora::cli
