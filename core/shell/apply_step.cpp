#include "shell/apply_step.h"

#include "document/error.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace velmora {

bool parse_number(std::string_view text, double& value)
{
    if (text.empty())
        return false;
    if (text.front() == '+')
        text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && std::isfinite(value);
}

std::vector<std::string_view> split_list(std::string_view text, char separator)
{
    std::vector<std::string_view> items;
    while (!text.empty()) {
        const std::size_t end = text.find(separator);
        items.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return items;
}

bool tapply_step::is(std::initializer_list<std::string_view> names) const
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::optional<std::string_view> tapply_step::text(std::string_view key) const
{
    for (const auto& [k, v] : values)
        if (k == key)
            return v;
    return std::nullopt;
}

std::int32_t tapply_step::integer(std::string_view key, std::int32_t fallback, std::int32_t minimum,
                                  std::int32_t maximum) const
{
    const std::optional<std::string_view> value_text = text(key);
    if (!value_text)
        return fallback;
    const std::string where = "'" + std::string(key) + "' of step '" + name + "'";
    double value = 0;
    if (!parse_number(*value_text, value) || value != std::trunc(value))
        throw velmora_error("@ch_error", "'" + std::string(*value_text) + "' is not a whole number for " + where);
    if (value < minimum || value > maximum)
        throw velmora_error("@ch_error", std::string(*value_text) + " is outside " + std::to_string(minimum) + ".." +
                                             std::to_string(maximum) + " for " + where);
    return std::int32_t(value);
}

void tapply_step::allow_only(std::initializer_list<std::string_view> known) const
{
    for (const auto& [key, value] : values)
        if (std::find(known.begin(), known.end(), key) == known.end())
            throw velmora_error("@ch_error", "unknown parameter '" + key + "' of step '" + name + "'");
}

tapply_step parse_apply_step(std::string_view text)
{
    tapply_step step;
    const std::size_t colon = text.find(':');
    step.name = text.substr(0, colon);
    if (colon == std::string_view::npos)
        return step;
    for (const std::string_view pair : split_list(text.substr(colon + 1), ',')) {
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos)
            throw velmora_error("@ch_error", "'" + std::string(pair) + "' is not key=value");
        step.values.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
    }
    return step;
}

} // namespace velmora
