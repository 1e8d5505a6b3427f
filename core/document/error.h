#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

// A failure the user is told about: `key` is the catalogue key of the message
// ("@ch_read_error", "@ch_no_mem" ...), `detail` says what exactly went wrong
// for logs, tests and the command line.
class velmora_error : public std::runtime_error {
public:
    velmora_error(std::string key, const std::string& detail)
        : std::runtime_error(detail.empty() ? key : key + ": " + detail), key_(std::move(key)) {}

    const std::string& key() const noexcept { return key_; }

private:
    std::string key_;
};

} // namespace velmora
