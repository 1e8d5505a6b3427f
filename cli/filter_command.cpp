#include "cli_support.h"
#include "commands.h"

#include "document/error.h"
#include "filters/filter_registry.h"
#include "formats/open_document.h"
#include "shell/catalogue.h"

#include <cstdio>

namespace velmora::cli {

// filter NAME [key=value...] IN OUT: one filter of the registry on the current
// layer of IN; filter --list: every filter with its parameters.
int run_filter(targuments arguments)
{
    if (arguments.size() == 1 && arguments[0] == "--list") {
        std::fputs(describe_filters().c_str(), stdout);
        return exit_ok;
    }
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: velmora-cli filter NAME [KEY=VALUE...] IN OUT\n"
                             "       velmora-cli filter --list\n");
        return exit_usage;
    }
    const tfilter* filter = find_filter(arguments[0]);
    if (!filter)
        return fail("unknown filter '" + arguments[0] + "' (velmora-cli filter --list shows them)");
    return run_reporting_failures([&] {
        tfilter_values values = default_values(*filter);
        for (const std::string& pair : arguments.subspan(1, arguments.size() - 3)) {
            const std::size_t equals = pair.find('=');
            if (equals == std::string::npos)
                throw velmora_error("@ch_error", "'" + pair + "' is not KEY=VALUE");
            set_value(*filter, values, std::string_view(pair).substr(0, equals),
                      std::string_view(pair).substr(equals + 1));
        }
        tdocument doc = open_source(arguments[arguments.size() - 2]);
        velmora::run_filter(doc, *filter, values);
        save_document_file(doc, arguments.back());
    });
}

} // namespace velmora::cli
