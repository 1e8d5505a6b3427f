#include "shell/preferences.h"

#include "shell/catalogue.h"
#include "shell/ini_file.h"
#include "shell/paths.h"

#include <charconv>
#include <cmath>
#include <sys/stat.h>

namespace velmora {

namespace {

// Line breaks would end the value early, spaces at either end would be trimmed
// away and backslashes carry the escapes, so those are written as "\n", "\r",
// "\s" and "\\". Any other backslash reads as itself, which keeps hand-written
// values such as "c:\tmp" as they were.
std::string encode_value(std::string_view value)
{
    const std::size_t first = value.find_first_not_of(' ');
    const std::size_t last = value.find_last_not_of(' ');
    std::string encoded;
    for (std::size_t at = 0; at < value.size(); ++at) {
        const char c = value[at];
        const bool edge = first == std::string_view::npos || at < first || at > last;
        if (c == '\\')
            encoded += "\\\\";
        else if (c == '\n')
            encoded += "\\n";
        else if (c == '\r')
            encoded += "\\r";
        else if (edge && c == ' ')
            encoded += "\\s";
        else
            encoded += c;
    }
    return encoded;
}

std::string decode_value(std::string_view value)
{
    std::string decoded;
    for (std::size_t at = 0; at < value.size(); ++at) {
        if (value[at] == '\\' && at + 1 < value.size()) {
            const char next = value[at + 1];
            const std::string_view escapes = "\\nrs";
            if (escapes.find(next) != std::string_view::npos) {
                decoded += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 's' ? ' ' : '\\';
                ++at;
                continue;
            }
        }
        decoded += value[at];
    }
    return decoded;
}

bool read_raw(std::string_view section, std::string_view key, std::string& value)
{
    const std::optional<std::string> stored = ini_read(prefs_path(), section, key);
    if (!stored)
        return false;
    value = decode_value(*stored);
    return true;
}

tsettings_failure_handler& failure_handler()
{
    static tsettings_failure_handler handler;
    return handler;
}

bool& failure_reported()
{
    static bool reported = false;
    return reported;
}

int& recent_slot()
{
    static int slot = -1;
    return slot;
}

} // namespace

std::string read_string(std::string_view section, std::string_view key, std::string_view default_value)
{
    std::string value;
    if (read_raw(section, key, value))
        return value;
    return std::string(default_value);
}

std::int32_t read_int(std::string_view section, std::string_view key, std::int32_t default_value)
{
    std::string value;
    if (!read_raw(section, key, value))
        return default_value;
    std::string_view digits = value;
    int base = 10;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty() || digits.front() == '-' || digits.front() == '+')
        return default_value;
    std::int64_t magnitude = 0;
    const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (error != std::errc() || stop != digits.data() + digits.size())
        return default_value;
    const std::int64_t number = negative ? -magnitude : magnitude;
    if (number < INT32_MIN || number > INT32_MAX)
        return default_value;
    return static_cast<std::int32_t>(number);
}

double read_float(std::string_view section, std::string_view key, double default_value)
{
    std::string value;
    if (!read_raw(section, key, value))
        return default_value;
    std::string_view text = value;
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double number = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || stop != text.data() + text.size() || !std::isfinite(number))
        return default_value;
    return number;
}

bool read_bool(std::string_view section, std::string_view key, bool default_value)
{
    return read_int(section, key, default_value ? 1 : 0) != 0;
}

bool write_string(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string path = prefs_path();
    if (ini_store(path, section, key, encode_value(value)))
        return true;
    report_settings_write_failure(path);
    return false;
}

bool write_int(std::string_view section, std::string_view key, std::int32_t value)
{
    return write_string(section, key, std::to_string(value));
}

bool write_float(std::string_view section, std::string_view key, double value)
{
    char buffer[64];
    // to_chars ignores the locale: the decimal separator is always ".".
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return write_string(section, key, std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

bool write_bool(std::string_view section, std::string_view key, bool value)
{
    return write_string(section, key, value ? "1" : "0");
}

bool prefs_file_exists()
{
    struct stat existing {};
    return ::stat(prefs_path().c_str(), &existing) == 0;
}

void set_settings_failure_handler(tsettings_failure_handler handler)
{
    failure_handler() = std::move(handler);
}

void report_settings_write_failure(const std::string& path)
{
    if (failure_reported())
        return;
    failure_reported() = true;
    if (failure_handler())
        failure_handler()(translate("@ch_warning"), fill_placeholders(translate("@ch_cant_save_prefs"), {ascii_lower(path)}));
}

void reset_settings_failure_report()
{
    failure_reported() = false;
}

void init_recent_files()
{
    int filled = 0;
    while (filled < recent_file_slots && !read_string("recent", std::to_string(filled), "").empty())
        ++filled;
    recent_slot() = filled % recent_file_slots;
}

int next_recent_slot()
{
    if (recent_slot() < 0)
        init_recent_files();
    return recent_slot();
}

void add_recent_file(const std::string& path)
{
    if (path.empty())
        return;
    const int slot = next_recent_slot();
    for (int key = 0; key < recent_file_slots; ++key)
        if (ascii_lower(read_string("recent", std::to_string(key), "")) == ascii_lower(path))
            return;
    write_string("recent", std::to_string(slot), path);
    recent_slot() = (slot + 1) % recent_file_slots;
}

std::vector<trecent_file> list_recent_files()
{
    std::vector<trecent_file> files;
    for (int key = 0; key < recent_file_slots; ++key) {
        std::string path = read_string("recent", std::to_string(key), "");
        if (path.empty())
            continue;
        std::string caption = "&" + std::to_string(key + 1) + " " + path;
        files.push_back({key, std::move(path), std::move(caption)});
    }
    return files;
}

} // namespace velmora
