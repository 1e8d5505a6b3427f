#include "shell/ini_file.h"

#include "shell/catalogue.h"
#include "shell/paths.h"

#include <vector>

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

bool valid_name(std::string_view name, std::string_view forbidden)
{
    return !trim(name).empty() && name.find_first_of(forbidden) == std::string_view::npos;
}

} // namespace

std::optional<std::string> ini_read(const std::string& path, std::string_view section, std::string_view key)
{
    std::string content;
    if (!read_settings_file(path, content))
        return std::nullopt;
    const tlocation where = locate(split_lines(content), section, key);
    if (!where.key_found)
        return std::nullopt;
    return std::string(where.raw_value);
}

bool ini_store(const std::string& path, std::string_view section, std::string_view key,
               std::optional<std::string_view> value)
{
    if (!valid_name(section, "[]\r\n") || !valid_name(key, "=[\r\n") ||
        (value && value->find_first_of("\r\n") != std::string_view::npos))
        return false;
    std::string content;
    struct stat existing {};
    // A file that exists but cannot be read must not be replaced by one holding a single value.
    if (!read_settings_file(path, content) && ::stat(path.c_str(), &existing) == 0)
        return false;
    const std::vector<std::string_view> lines = split_lines(content);
    const tlocation where = locate(lines, section, key);
    if (!value && !where.key_found)
        return true;
    const std::string entry = value ? std::string(key) + "=" + std::string(*value) + "\n" : std::string();

    std::string updated;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (where.key_found && index == where.key_line) {
            updated += entry;
            continue;
        }
        updated.append(lines[index]);
        updated += '\n';
        if (!where.key_found && where.section_found && index == where.insert_after)
            updated += entry;
    }
    if (!where.section_found) {
        if (!updated.empty())
            updated += '\n';
        updated += "[" + std::string(section) + "]\n" + entry;
    }
    return store_settings_file(path, updated);
}

} // namespace velmora
