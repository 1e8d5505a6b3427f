#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora {

inline constexpr unsigned language_count = 2;
inline constexpr std::uint8_t language_english = 0;
inline constexpr std::uint8_t language_french = 1;
inline constexpr std::uint8_t default_language = language_english;
// Any index not below language_count asks for the active language; this one says so on purpose.
inline constexpr unsigned active_language_index = 255;

inline constexpr std::string_view product_name = "Velmora";

// Lower case for keys and names: ASCII letters only, other bytes unchanged.
std::string ascii_lower(std::string_view text);

// A keyed catalogue: rows of a key and one text per language. Keys are compared
// without regard to case and the first of several rows with one key is the one
// always met.
class tcatalogue {
public:
    struct trow {
        std::string key;
        std::array<std::string, language_count> text;
    };

    // With `fallback`, an empty text in the asked language gives the default language's.
    tcatalogue(std::vector<trow> rows, bool fallback);

    // The text of `key`, or the key lower-cased when no row has it.
    std::string lookup(std::string_view key, unsigned language = active_language_index) const;
    bool contains(std::string_view key) const;

    std::uint8_t active_language() const { return active_; }
    void set_active_language(std::uint8_t language);

    const std::vector<trow>& rows() const { return rows_; }

private:
    std::vector<trow> rows_;
    std::unordered_map<std::string, std::size_t> first_row_;
    bool fallback_;
    std::uint8_t active_ = default_language;
};

// Reads a catalogue table: tab-separated lines, the first naming the columns
// (key, then one text per language). Lines with too few columns are skipped.
std::vector<tcatalogue::trow> parse_catalogue_table(std::string_view text);

// The message catalogue (fallback to English) and the tips of the day (no fallback).
tcatalogue& chaines();
tcatalogue& tips();

std::string translate(std::string_view key, unsigned language = active_language_index);
std::string translate_tip(std::string_view key, unsigned language = active_language_index);

// The interface language: the one the message catalogue speaks.
std::uint8_t active_language();

// Fills printf-like placeholders ("%s", "%d", "%5.1f" ...) in order with the
// given texts; "%%" stands for "%". Missing values leave nothing.
std::string fill_placeholders(std::string_view text, std::initializer_list<std::string_view> values);
// The placeholders of a text in order, for checking that translations keep them.
std::vector<std::string> placeholders_of(std::string_view text);

// Per-window translation tables: rows of (component name, text per language).
// "%Form%" names the window's own caption; a ".Hint" row gives the hint of the
// component on the row before; components on the DoNot list stay untouched.
class twindow_table {
public:
    struct trow {
        std::string component;
        std::array<std::string, language_count> text;
    };
    enum class target { caption, window_caption, hint };
    struct ttranslation {
        target kind;
        std::string component; // empty for the window caption
        std::string text;
    };

    twindow_table(std::string window, std::vector<trow> rows, std::vector<std::string> donot);

    const std::string& window() const { return window_; }
    const std::vector<trow>& rows() const { return rows_; }
    const std::vector<std::string>& donot() const { return donot_; }
    bool is_donot(std::string_view component) const;

    // What applying the table in `language` sets, in table order. Empty texts
    // are set as they are: window tables have no fallback.
    std::vector<ttranslation> translations(unsigned language = active_language_index) const;

private:
    std::string window_;
    std::vector<trow> rows_;
    std::vector<std::string> donot_;
};

// The table of a window by its name ("Form1" for the main window, "TForm14" ...),
// or null when the window has none.
const twindow_table* window_table(std::string_view window);
std::vector<std::string> window_table_names();

// The language the window tables are applied in; every dialog takes it when shown.
std::uint8_t window_language();

// What the interface does at each step of a language switch. Unset steps are skipped.
struct tlanguage_steps {
    std::function<void(int)> progress;           // moves the progress bar and lets it repaint
    std::function<void()> apply_main_window;     // re-applies the main window's table and caption
    std::function<void()> refresh_image_windows; // rebuilds image and palette titles
    std::function<void()> after_store;           // texts set once the language is stored
};

// Switches every catalogue and window to `language` and stores it for the next run.
// With `show_progress`, steps.progress receives 0, 20, 40 and 100.
void set_language(std::uint8_t language, bool show_progress, const tlanguage_steps& steps = {});

// The language stored for this user (0 when none is stored or it cannot be read).
std::uint8_t read_language();
// Stores the active language; false (and the settings warning) when it cannot be written.
bool write_language();

} // namespace velmora
