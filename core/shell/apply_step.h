#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

// Reads a decimal number (an optional sign, digits, a fraction, an exponent)
// filling the whole text; false for anything else or a non-finite value.
bool parse_number(std::string_view text, double& value);

// The items of a list written with `separator` between them ("a,b,c");
// nothing for an empty text, and a separator at the end adds no item.
std::vector<std::string_view> split_list(std::string_view text, char separator);

// One step of `velmora-cli apply`: NAME[:key=value,...]. Each subsystem runs
// the steps whose names it knows and reads their values through this record,
// so every step refuses bad values with the same messages.
struct tapply_step {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;

    // True when the step is called by one of the given names (a menu
    // handler, a readable alias).
    bool is(std::initializer_list<std::string_view> names) const;
    std::optional<std::string_view> text(std::string_view key) const;
    // The whole number under `key`, `fallback` when absent; throws
    // velmora_error("@ch_error") when it is not a whole number in range.
    std::int32_t integer(std::string_view key, std::int32_t fallback, std::int32_t minimum,
                         std::int32_t maximum) const;
    // Throws velmora_error("@ch_error") naming the first key not in `known`.
    void allow_only(std::initializer_list<std::string_view> known) const;
};

// Splits NAME[:key=value,...]; throws velmora_error("@ch_error") when a
// value is not written key=value.
tapply_step parse_apply_step(std::string_view text);

} // namespace velmora
