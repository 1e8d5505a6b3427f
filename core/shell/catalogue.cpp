#include "shell/catalogue.h"

#include "shell/embedded_data.h"
#include "shell/paths.h"
#include "shell/preferences.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace velmora {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t at = text.find(separator);
        if (at == std::string_view::npos) {
            fields.push_back(text);
            return fields;
        }
        fields.push_back(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
}

// Calls `each` with the fields of every line after the first (the column names).
template <typename Each>
void for_each_data_line(std::string_view text, Each each)
{
    bool header = true;
    for (std::string_view line : split(text, '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (header) {
            header = false;
            continue;
        }
        if (line.empty())
            continue;
        each(split(line, '\t'));
    }
}

// The texts of a table line, one per language, from column `first` on.
std::array<std::string, language_count> texts_from(const std::vector<std::string_view>& fields, std::size_t first)
{
    std::array<std::string, language_count> texts;
    for (unsigned language = 0; language < language_count; ++language)
        texts[language] = fields[first + language];
    return texts;
}

std::uint8_t valid_language(unsigned language)
{
    return language < language_count ? static_cast<std::uint8_t>(language) : default_language;
}

std::uint8_t& window_language_state()
{
    static std::uint8_t language = default_language;
    return language;
}

struct twindow_tables {
    std::map<std::string, twindow_table, std::less<>> by_name;
};

const twindow_tables& all_window_tables()
{
    static const twindow_tables tables = [] {
        std::map<std::string, std::vector<twindow_table::trow>, std::less<>> rows;
        for_each_data_line(embedded::catalogue_windows_tsv(), [&](const std::vector<std::string_view>& fields) {
            if (fields.size() >= 2 + language_count)
                rows[std::string(fields[0])].push_back({std::string(fields[1]), texts_from(fields, 2)});
        });
        std::map<std::string, std::vector<std::string>, std::less<>> donot;
        for_each_data_line(embedded::catalogue_donot_tsv(), [&](const std::vector<std::string_view>& fields) {
            if (fields.size() >= 2)
                donot[std::string(fields[0])].emplace_back(fields[1]);
        });
        twindow_tables result;
        for (auto& [window, window_rows] : rows)
            result.by_name.emplace(window, twindow_table(window, std::move(window_rows), std::move(donot[window])));
        return result;
    }();
    return tables;
}

} // namespace

std::string ascii_lower(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lowered;
}

tcatalogue::tcatalogue(std::vector<trow> rows, bool fallback) : rows_(std::move(rows)), fallback_(fallback)
{
    // emplace keeps the first row of a key: later duplicates are never met.
    for (std::size_t index = 0; index < rows_.size(); ++index)
        first_row_.emplace(ascii_lower(rows_[index].key), index);
}

std::string tcatalogue::lookup(std::string_view key, unsigned language) const
{
    const unsigned chosen = language < language_count ? language : active_;
    std::string lowered = ascii_lower(key);
    const auto found = first_row_.find(lowered);
    if (found == first_row_.end())
        return lowered;
    const trow& row = rows_[found->second];
    if (row.text[chosen].empty() && fallback_)
        return row.text[default_language];
    return row.text[chosen];
}

bool tcatalogue::contains(std::string_view key) const
{
    return first_row_.count(ascii_lower(key)) != 0;
}

void tcatalogue::set_active_language(std::uint8_t language)
{
    active_ = valid_language(language);
}

std::vector<tcatalogue::trow> parse_catalogue_table(std::string_view text)
{
    std::vector<tcatalogue::trow> rows;
    for_each_data_line(text, [&](const std::vector<std::string_view>& fields) {
        if (fields.size() >= 1 + language_count)
            rows.push_back({std::string(fields[0]), texts_from(fields, 1)});
    });
    return rows;
}

tcatalogue& chaines()
{
    static tcatalogue catalogue(parse_catalogue_table(embedded::catalogue_chaines_tsv()), true);
    return catalogue;
}

tcatalogue& tips()
{
    static tcatalogue catalogue(parse_catalogue_table(embedded::catalogue_tips_tsv()), false);
    return catalogue;
}

std::string translate(std::string_view key, unsigned language)
{
    return chaines().lookup(key, language);
}

std::string translate_tip(std::string_view key, unsigned language)
{
    return tips().lookup(key, language);
}

std::uint8_t active_language()
{
    return chaines().active_language();
}

namespace {

// Length of the conversion at text[at] (which is '%'), 0 when it is not one.
std::size_t placeholder_length(std::string_view text, std::size_t at)
{
    std::size_t end = at + 1;
    // Flags as the format syntax knows them: only left alignment.
    while (end < text.size() && text[end] == '-')
        ++end;
    while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.'))
        ++end;
    if (end < text.size() && std::string_view("sdiuxXfgeEcp").find(text[end]) != std::string_view::npos)
        return end + 1 - at;
    return 0;
}

} // namespace

std::string fill_placeholders(std::string_view text, std::initializer_list<std::string_view> values)
{
    std::string filled;
    const std::string_view* next = values.begin();
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            filled += text[at];
            continue;
        }
        if (at + 1 < text.size() && text[at + 1] == '%') {
            filled += '%';
            ++at;
            continue;
        }
        const std::size_t length = placeholder_length(text, at);
        if (length == 0) {
            filled += '%';
            continue;
        }
        if (next != values.end())
            filled += *next++;
        at += length - 1;
    }
    return filled;
}

std::vector<std::string> placeholders_of(std::string_view text)
{
    std::vector<std::string> found;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%')
            continue;
        if (at + 1 < text.size() && text[at + 1] == '%') {
            ++at;
            continue;
        }
        if (const std::size_t length = placeholder_length(text, at)) {
            found.emplace_back(text.substr(at, length));
            at += length - 1;
        }
    }
    return found;
}

twindow_table::twindow_table(std::string window, std::vector<trow> rows, std::vector<std::string> donot)
    : window_(std::move(window)), rows_(std::move(rows)), donot_(std::move(donot))
{
}

bool twindow_table::is_donot(std::string_view component) const
{
    const std::string lowered = ascii_lower(component);
    return std::any_of(donot_.begin(), donot_.end(),
                       [&](const std::string& name) { return ascii_lower(name) == lowered; });
}

std::vector<twindow_table::ttranslation> twindow_table::translations(unsigned language) const
{
    const unsigned chosen = language < language_count ? language : window_language();
    std::vector<ttranslation> result;
    const trow* previous = nullptr;
    for (const trow& row : rows_) {
        const std::string& text = row.text[chosen];
        if (row.component == "%Form%") {
            result.push_back({target::window_caption, {}, text});
        } else if (row.component == ".Hint") {
            // The hint belongs to the component of the row before; a hint after a
            // hint or after the caption row has nobody to go to.
            if (previous && previous->component != "%Form%" && previous->component != ".Hint" &&
                !is_donot(previous->component))
                result.push_back({target::hint, previous->component, text});
        } else if (!is_donot(row.component)) {
            result.push_back({target::caption, row.component, text});
        }
        previous = &row;
    }
    return result;
}

const twindow_table* window_table(std::string_view window)
{
    const auto& tables = all_window_tables().by_name;
    const auto found = tables.find(window);
    return found == tables.end() ? nullptr : &found->second;
}

std::vector<std::string> window_table_names()
{
    std::vector<std::string> names;
    for (const auto& [name, table] : all_window_tables().by_name)
        names.push_back(name);
    return names;
}

std::uint8_t window_language()
{
    return window_language_state();
}

void set_language(std::uint8_t language, bool show_progress, const tlanguage_steps& steps)
{
    language = valid_language(language);
    auto progress = [&](int position) {
        if (show_progress && steps.progress)
            steps.progress(position);
    };
    progress(0);
    tips().set_active_language(language);
    progress(20);
    chaines().set_active_language(language);
    progress(40);
    window_language_state() = language;
    if (steps.apply_main_window)
        steps.apply_main_window();
    if (steps.refresh_image_windows)
        steps.refresh_image_windows();
    write_language();
    progress(100);
    if (steps.after_store)
        steps.after_store();
}

std::uint8_t read_language()
{
    std::string content;
    if (!read_settings_file(language_path(), content))
        return default_language;
    const auto first = content.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return default_language;
    const auto last = content.find_last_not_of(" \t\r\n");
    unsigned value = 0;
    const char* begin = content.data() + first;
    const char* end = content.data() + last + 1;
    const auto [stop, error] = std::from_chars(begin, end, value);
    // A damaged or foreign value must not pick a language that does not exist.
    if (error != std::errc() || stop != end || value >= language_count)
        return default_language;
    return static_cast<std::uint8_t>(value);
}

bool write_language()
{
    const std::string path = language_path();
    if (store_settings_file(path, std::to_string(active_language()) + "\n"))
        return true;
    report_settings_write_failure(path);
    return false;
}

} // namespace velmora
