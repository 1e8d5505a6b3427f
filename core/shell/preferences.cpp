#include "shell/preferences.h"

#include "shell/catalogue.h"
#include "shell/paths.h"

#include <charconv>
#include <cmath>
#include <sys/stat.h>

namespace velmora {

namespace {

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool same_name(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ascii_lower(a) == ascii_lower(b);
}

// Line breaks would end the value early and backslashes carry the escapes, so
// those three are written as "\n", "\r" and "\\". Any other backslash reads as
// itself, which keeps hand-written values such as "c:\tmp" as they were.
std::string encode_value(std::string_view value)
{
    std::string encoded;
    for (char c : value) {
        if (c == '\\')
            encoded += "\\\\";
        else if (c == '\n')
            encoded += "\\n";
        else if (c == '\r')
            encoded += "\\r";
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
            if (next == '\\' || next == 'n' || next == 'r') {
                decoded += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
                ++at;
                continue;
            }
        }
        decoded += value[at];
    }
    return decoded;
}

std::vector<std::string_view> split_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            lines.push_back(text);
            break;
        }
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Where a section and a key sit in the file's lines. Only the first section of a
// name counts, as only the first of equal keys in it does.
struct tlocation {
    bool section_found = false;
    std::size_t insert_after = 0; // last non-blank line of the section
    bool key_found = false;
    std::size_t key_line = 0;
    std::string_view raw_value;
};

tlocation locate(const std::vector<std::string_view>& lines, std::string_view section, std::string_view key)
{
    tlocation where;
    bool inside = false;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const std::string_view line = trim(lines[index]);
        if (!line.empty() && line.front() == '[') {
            if (inside)
                break;
            const std::size_t close = line.find(']');
            // A header without its closing bracket opens a section nobody can name.
            if (close != std::string_view::npos && same_name(trim(line.substr(1, close - 1)), section)) {
                inside = true;
                where.section_found = true;
                where.insert_after = index;
            }
            continue;
        }
        if (!inside || line.empty())
            continue;
        where.insert_after = index;
        if (line.front() == ';' || where.key_found)
            continue;
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && same_name(trim(line.substr(0, equals)), key)) {
            where.key_found = true;
            where.key_line = index;
            where.raw_value = trim(line.substr(equals + 1));
        }
    }
    return where;
}

bool read_raw(std::string_view section, std::string_view key, std::string& value)
{
    std::string content;
    if (!read_settings_file(prefs_path(), content))
        return false;
    const tlocation where = locate(split_lines(content), section, key);
    if (!where.key_found)
        return false;
    value = decode_value(where.raw_value);
    return true;
}

bool valid_name(std::string_view name, std::string_view forbidden)
{
    return !trim(name).empty() && name.find_first_of(forbidden) == std::string_view::npos;
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
    std::string_view digits = trim(value);
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
    std::string_view text = trim(value);
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
    if (!valid_name(section, "[]\r\n") || !valid_name(key, "=[\r\n"))
        return false;
    std::string content;
    struct stat existing {};
    // A file that exists but cannot be read must not be replaced by one holding a single value.
    if (!read_settings_file(path, content) && ::stat(path.c_str(), &existing) == 0) {
        report_settings_write_failure(path);
        return false;
    }
    const std::vector<std::string_view> lines = split_lines(content);
    const tlocation where = locate(lines, section, key);
    const std::string entry = std::string(key) + "=" + encode_value(value);

    std::string updated;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (where.key_found && index == where.key_line) {
            updated += entry + "\n";
            continue;
        }
        updated.append(lines[index]);
        updated += '\n';
        if (!where.key_found && where.section_found && index == where.insert_after)
            updated += entry + "\n";
    }
    if (!where.section_found) {
        if (!updated.empty())
            updated += '\n';
        updated += "[" + std::string(section) + "]\n" + entry + "\n";
    }
    if (store_settings_file(path, updated))
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
        if (same_name(read_string("recent", std::to_string(key), ""), path))
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
