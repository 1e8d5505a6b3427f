#include "cli_support.h"
#include "commands.h"

#include "document/error.h"
#include "formats/file_io.h"
#include "formats/open_document.h"

#include <array>
#include <charconv>
#include <string_view>

namespace velmora::cli {

namespace {

constexpr std::string_view convert_usage =
    "usage: velmora-cli convert IN OUT [--quality=1..100] [--progressive] [--no-smoothing]\n"
    "       [--png=true|reduce|exact] [--dither=0..6] [--gif-colours=2|8|16|32|64|128|256]";

bool parse_number(std::string_view text, int low, int high, int& value)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= low && value <= high;
}

// The encoders' settings from --name=value options; anything unknown or out of range is refused.
bool parse_options(targuments options, tflat_settings& s, tload_options& load, std::string& error)
{
    for (const std::string& option : options) {
        const std::size_t eq = option.find('=');
        const std::string_view name = std::string_view(option).substr(0, eq);
        const std::string_view value = eq == std::string::npos ? std::string_view() : std::string_view(option).substr(eq + 1);
        int n = 0;
        if (name == "--quality" && parse_number(value, 1, 100, n)) {
            s.jpeg.quality = n;
        } else if (name == "--progressive" && eq == std::string::npos) {
            s.jpeg.progressive = true;
        } else if (name == "--no-smoothing" && eq == std::string::npos) {
            load.jpeg_smoothing = false;
            s.jpeg.smoothing = false;
        } else if (name == "--png" && (value == "true" || value == "reduce" || value == "exact")) {
            s.png.ra1 = value == "true";
            s.png.ra2 = value == "reduce";
            s.png.ra3 = value == "exact";
        } else if (name == "--dither" && parse_number(value, 0, 6, n)) {
            s.png.dithermode = n;
            s.gif.dither = n;
        } else if (name == "--gif-colours" || name == "--gif-colors") {
            static constexpr std::array counts = {2, 8, 16, 32, 64, 128, 256};
            int index = -1;
            for (std::size_t i = 0; i < counts.size(); ++i)
                if (parse_number(value, counts[i], counts[i], n))
                    index = int(i);
            if (index < 0) {
                error = "bad value for --gif-colours: " + std::string(value);
                return false;
            }
            s.gif.ra1 = index == 6;
            s.gif.ra2 = index != 6;
            s.gif.nb_colors = index;
        } else {
            error = "unknown or invalid option '" + option + "'";
            return false;
        }
    }
    return true;
}

} // namespace

int run_convert(targuments arguments)
{
    if (arguments.size() < 2)
        return fail(std::string(convert_usage));
    tflat_settings settings;
    tload_options load;
    std::string error;
    if (!parse_options(arguments.subspan(2), settings, load, error))
        return fail(error + "\n" + std::string(convert_usage));
    const std::string& in = arguments[0];
    const std::string& out = arguments[1];
    if (!document_writer_known(out))
        return fail("no writer for '" + lower_extension(out) + "' files");
    return run_reporting_failures([&] { save_document_file(open_document_file(in, load), out, settings); });
}

} // namespace velmora::cli
