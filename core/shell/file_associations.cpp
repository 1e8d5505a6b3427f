#include "shell/file_associations.h"

#include "shell/catalogue.h"
#include "shell/ini_file.h"
#include "shell/paths.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace velmora {

namespace {

struct tmime_entry {
    const char* extension;
    const char* type;
    bool ours; // the system's MIME database may not know it: our package declares it
};

// Where the shared MIME database has a type it is used; the others are declared
// by our own package so that the desktop can map the extension at all.
constexpr tmime_entry mime_table[] = {
    {"vlm", "application/x-velmora", true},     {"psd", "image/vnd.adobe.photoshop", false},
    {"psp", "image/x-paintshoppro", true},      {"jpg", "image/jpeg", false},
    {"jpeg", "image/jpeg", false},              {"gif", "image/gif", false},
    {"bmp", "image/bmp", false},                {"rle", "image/rle", false},
    {"dib", "image/bmp", false},                {"tga", "image/x-tga", false},
    {"vst", "image/x-tga", false},              {"icb", "image/x-tga", false},
    {"vda", "image/x-tga", false},              {"win", "image/x-tga", true},
    {"tif", "image/tiff", false},               {"tiff", "image/tiff", false},
    {"png", "image/png", false},                {"pcx", "image/vnd.zbrush.pcx", false},
    {"scr", "image/vnd.zbrush.pcx", true},      {"pcc", "image/vnd.zbrush.pcx", true},
    {"pcd", "image/x-photo-cd", false},         {"cel", "image/x-autodesk-cel", true},
    {"pic", "image/x-autodesk-cel", true},      {"bw", "image/x-sgi", true},
    {"rgb", "image/x-rgb", false},              {"sgi", "image/x-sgi", false},
    {"rgba", "image/x-sgi", true},              {"ppm", "image/x-portable-pixmap", false},
    {"pbm", "image/x-portable-bitmap", false},  {"pgm", "image/x-portable-graymap", false},
};

constexpr std::string_view defaults_section = "Default Applications";

std::string environment_folder(const char* name, const char* fallback_under_home)
{
    const char* value = std::getenv(name);
    if (value && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "/tmp") + "/" + fallback_under_home;
}

std::string data_home()
{
    return environment_folder("XDG_DATA_HOME", ".local/share");
}

std::vector<std::string> split_list(std::string_view list)
{
    std::vector<std::string> items;
    while (!list.empty()) {
        const std::size_t end = std::min(list.find(';'), list.size());
        if (end > 0)
            items.emplace_back(list.substr(0, end));
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return items;
}

std::string join_list(const std::vector<std::string>& items)
{
    std::string list;
    for (const std::string& item : items)
        list += item + ";";
    return list;
}

bool names_us(const std::string& item)
{
    return ascii_lower(item) == desktop_file_id;
}

// Inside a quoted Exec argument ", `, $ and \ take a backslash; the value's own
// escaping then doubles every backslash.
std::string exec_argument(const std::string& path)
{
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string escaped;
    for (char c : quoted) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

bool write_desktop_entry(const std::string& program_path)
{
    std::set<std::string> types;
    for (const tmime_entry& entry : mime_table)
        types.insert(entry.type);
    const std::string mime_list = join_list({types.begin(), types.end()});
    std::string program = program_path;
    program.erase(std::remove_if(program.begin(), program.end(), [](char c) { return c == '\n' || c == '\r'; }),
                  program.end());
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Velmora\n"
                              "GenericName=Image Editor\n"
                              "Comment=Edit pictures with layers, brushes and filters\n"
                              "Exec=" + exec_argument(program) + " %F\n"
                              "Terminal=false\n"
                              "Categories=Graphics;2DGraphics;RasterGraphics;\n"
                              "MimeType=" + mime_list + "\n";
    return store_settings_file(desktop_entry_path(), entry);
}

bool write_mime_package()
{
    std::string package = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    std::string current;
    for (const tmime_entry& entry : mime_table) {
        if (!entry.ours)
            continue;
        if (current != entry.type) {
            if (!current.empty())
                package += "  </mime-type>\n";
            current = entry.type;
            package += "  <mime-type type=\"" + current + "\">\n";
            if (current == "application/x-velmora")
                package += "    <comment>Velmora layered image</comment>\n";
        }
        package += "    <glob pattern=\"*." + std::string(entry.extension) + "\"/>\n";
    }
    if (!current.empty())
        package += "  </mime-type>\n";
    package += "</mime-info>\n";
    return store_settings_file(mime_package_path(), package);
}

} // namespace

const std::vector<tassociation_row>& association_rows()
{
    static const std::vector<tassociation_row> rows = {
        {"VLM", {"vlm"}},
        {"PSD", {"psd"}},
        {"PSP", {"psp"}},
        {"JPG/JPEG", {"jpg", "jpeg"}},
        {"GIF", {"gif"}},
        {"BMP/RLE/DIB", {"bmp", "rle", "dib"}},
        {"TGA/VST/ICB/VDA/WIN", {"tga", "vst", "icb", "vda", "win"}},
        {"TIF/TIFF", {"tif", "tiff"}},
        {"PNG", {"png"}},
        {"PCX/PCC/SCR", {"pcx", "scr", "pcc"}},
        {"PCD", {"pcd"}},
        {"Autodesk", {"cel", "pic"}},
        {"Silicon Graphics", {"bw", "rgb", "sgi", "rgba"}},
        {"portable pixel maps", {"ppm", "pbm", "pgm"}},
    };
    return rows;
}

std::string mime_type_of_extension(std::string_view extension)
{
    const std::string lowered = ascii_lower(extension);
    for (const tmime_entry& entry : mime_table)
        if (lowered == entry.extension)
            return entry.type;
    return {};
}

std::string mimeapps_list_path()
{
    return environment_folder("XDG_CONFIG_HOME", ".config") + "/mimeapps.list";
}

std::string desktop_entry_path()
{
    return data_home() + "/applications/" + std::string(desktop_file_id);
}

std::string mime_package_path()
{
    return data_home() + "/mime/packages/velmora.xml";
}

bool has_file_association(std::size_t row)
{
    if (row >= association_rows().size())
        return false;
    for (const std::string& extension : association_rows()[row].extensions) {
        const auto defaults = ini_read(mimeapps_list_path(), defaults_section, mime_type_of_extension(extension));
        if (!defaults)
            continue;
        const auto items = split_list(*defaults);
        if (std::any_of(items.begin(), items.end(), names_us))
            return true;
    }
    return false;
}

bool set_file_association(std::size_t row, bool on, const std::string& program_path)
{
    if (row >= association_rows().size())
        return false;
    const std::string type = mime_type_of_extension(association_rows()[row].extensions.front());
    const std::string list_path = mimeapps_list_path();
    const auto defaults = ini_read(list_path, defaults_section, type);
    std::vector<std::string> others = split_list(defaults.value_or(""));
    const bool named = std::any_of(others.begin(), others.end(), names_us);
    others.erase(std::remove_if(others.begin(), others.end(), names_us), others.end());

    if (on) {
        if (!write_desktop_entry(program_path) || !write_mime_package())
            return false;
        // Our entry goes first so that it is the default; the user's other choices stay behind it.
        others.insert(others.begin(), std::string(desktop_file_id));
        return ini_store(list_path, defaults_section, type, join_list(others));
    }
    if (!named)
        return true;
    if (others.empty())
        return ini_store(list_path, defaults_section, type, std::nullopt);
    return ini_store(list_path, defaults_section, type, join_list(others));
}

} // namespace velmora
