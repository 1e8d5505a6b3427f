#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The format rows of the File Associations page, in list order. A row covers
// several extensions; the first is its main one.
struct tassociation_row {
    std::string caption;
    std::vector<std::string> extensions;
};
const std::vector<tassociation_row>& association_rows();

// The MIME type the desktop knows an extension by ("png" -> "image/png").
std::string mime_type_of_extension(std::string_view extension);

// Associations live in the freedesktop places: the user's mimeapps.list
// ($XDG_CONFIG_HOME, else ~/.config) names the default program of a MIME type,
// velmora.desktop and a MIME package for the types the system may lack go under
// $XDG_DATA_HOME (else ~/.local/share).
inline constexpr std::string_view desktop_file_id = "velmora.desktop";
std::string mimeapps_list_path();
std::string desktop_entry_path();
std::string mime_package_path();

// Checked when the user's defaults name this program for any extension of the row.
bool has_file_association(std::size_t row);

// On: makes this program the default for the row's main extension (writing the
// desktop entry with `program_path` and the MIME package). Off: removes this
// program from the main extension's default when it is named there. False when
// a file cannot be written or the row does not exist.
bool set_file_association(std::size_t row, bool on, const std::string& program_path);

} // namespace velmora
