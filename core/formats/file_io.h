#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The whole file in memory. Throws velmora_error("@ch_file_unavailable") when
// it cannot be opened or read.
std::vector<std::uint8_t> read_whole_file(const std::string& file_name);

// Writes `bytes` to a temporary file beside `file_name`, flushes it and renames
// it over the target, so a failed save never leaves half a file where the
// user's file was. Throws velmora_error("@ch_error") on failure.
void write_file_atomically(const std::string& file_name, std::span<const std::uint8_t> bytes);

// Lower-cased extension with its dot (".jpg"), empty when there is none.
std::string lower_extension(const std::string& file_name);

} // namespace velmora
