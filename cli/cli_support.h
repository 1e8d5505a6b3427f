#pragma once

#include "document/document.h"

#include <functional>
#include <string>

namespace velmora::cli {

inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

// Prints "velmora-cli: " + message on standard error and returns exit_failure.
int fail(const std::string& message);

// Runs a command's work and returns exit_ok, or reports what stopped it (the
// catalogue's message with the details, or "@ch_no_mem") and returns
// exit_failure.
int run_reporting_failures(const std::function<void()>& work);

// Opens `source`: a picture file, or new:WIDTHxHEIGHT[:RRGGBB] for a blank image.
tdocument open_source(const std::string& source);

} // namespace velmora::cli
