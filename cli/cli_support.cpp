#include "cli_support.h"

#include "document/composite.h"
#include "document/error.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace velmora::cli {

int fail(const std::string& message)
{
    std::fprintf(stderr, "velmora-cli: %s\n", message.c_str());
    return exit_failure;
}

std::string extension_of(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty())
        ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

namespace {

std::vector<std::uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw velmora_error("@ch_file_unavailable", path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    const std::filesystem::path target(path);
    std::filesystem::path temporary = target;
    temporary += ".velmora-part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.flush();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw velmora_error("@ch_error", path);
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw velmora_error("@ch_error", path);
    }
}

bool parse_int(std::string_view text, std::int32_t& value, int base = 10)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end;
}

// new:WIDTHxHEIGHT[:RRGGBB]
tdocument new_source(std::string_view spec)
{
    const std::string_view size = spec.substr(0, spec.find(':'));
    const std::size_t x = size.find('x');
    std::int32_t width = 0, height = 0, rgb = 0xFFFFFF;
    const bool size_ok = x != std::string_view::npos && parse_int(size.substr(0, x), width) &&
                         parse_int(size.substr(x + 1), height) && width > 0 && height > 0;
    const bool colour_ok = size.size() == spec.size() ||
                           (spec.size() - size.size() == 7 && parse_int(spec.substr(size.size() + 1), rgb, 16));
    if (!size_ok || !colour_ok)
        throw velmora_error("@ch_error", "expected new:WIDTHxHEIGHT[:RRGGBB], got new:" + std::string(spec));
    tdocument doc = create_document("new");
    add_background(doc, width, height, make_color(std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb)),
                   "Background");
    return doc;
}

} // namespace

tdocument open_source(const std::string& source)
{
    constexpr std::string_view new_prefix = "new:";
    if (source.starts_with(new_prefix))
        return new_source(std::string_view(source).substr(new_prefix.size()));
    if (extension_of(source) != "bmp")
        throw velmora_error("@ch_error_file_format_unknown", source);
    tdocument doc = create_document(source);
    add_background(doc, load_bmp(read_file(source)), "Background");
    return doc;
}

void write_flat_picture(const tdocument& doc, const std::string& path)
{
    if (extension_of(path) != "bmp")
        throw velmora_error("@ch_error_file_format_unknown", path);
    write_file_atomically(path, save_bmp(flatten_image(doc), bmp_depth::bits24));
}

} // namespace velmora::cli
