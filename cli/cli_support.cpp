#include "cli_support.h"

#include "document/error.h"
#include "formats/open_document.h"
#include "shell/catalogue.h"

#include <charconv>
#include <cstdio>
#include <new>

namespace velmora::cli {

int fail(const std::string& message)
{
    std::fprintf(stderr, "velmora-cli: %s\n", message.c_str());
    return exit_failure;
}

int run_reporting_failures(const std::function<void()>& work)
{
    try {
        work();
    } catch (const velmora_error& error) {
        const bool catalogued = error.key().starts_with("@ch_") && error.key() != "@ch_error";
        return fail(catalogued ? translate(error.key()) + " (" + error.what() + ")" : error.what());
    } catch (const std::bad_alloc&) {
        return fail(translate("@ch_no_mem"));
    }
    return exit_ok;
}

namespace {

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
                   translate("@ch_background"));
    return doc;
}

} // namespace

tdocument open_source(const std::string& source)
{
    constexpr std::string_view new_prefix = "new:";
    if (source.starts_with(new_prefix))
        return new_source(std::string_view(source).substr(new_prefix.size()));
    return open_document_file(source);
}

} // namespace velmora::cli
