#include "cli_support.h"
#include "commands.h"
#include "terminal_progress.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace velmora::cli;

constexpr std::array commands = {
    tcommand{"apply", "apply IN OUT [STEP...]",
             "open IN (a picture or new:WIDTHxHEIGHT[:RRGGBB]), run the steps, write OUT", run_apply},
    tcommand{"convert", "convert IN OUT [OPTION...]",
             "convert between picture formats (layers kept between .psd and .vlm)", run_convert},
    tcommand{"filter", "filter NAME [KEY=VALUE...] IN OUT | --list",
             "run one filter or colour adjustment on IN's current layer", run_filter},
    tcommand{"info", "info FILE", "print a picture's size, kind and layers", run_info},
};

void print_usage(std::FILE* out)
{
    std::fprintf(out, "usage: velmora-cli COMMAND [ARGUMENTS]\n       velmora-cli --help | --version\n\ncommands:\n");
    for (const tcommand& command : commands)
        std::fprintf(out, "  %-40.*s %.*s\n", int(command.usage.size()), command.usage.data(),
                     int(command.summary.size()), command.summary.data());
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        print_usage(stderr);
        return exit_usage;
    }
    const std::string& name = arguments.front();
    if (name == "--help" || name == "-h") {
        print_usage(stdout);
        return exit_ok;
    }
    if (name == "--version") {
        std::printf("velmora-cli %s\n", VELMORA_VERSION);
        return exit_ok;
    }
    velmora::cli::tterminal_progress progress;
    if (::isatty(STDERR_FILENO))
        velmora::set_progress_view(&progress);
    for (const tcommand& command : commands)
        if (command.name == name) {
            const int status = command.run(targuments(arguments).subspan(1));
            velmora::set_progress_view(nullptr);
            return status;
        }
    std::fprintf(stderr, "velmora-cli: unknown command '%s'\n\n", name.c_str());
    print_usage(stderr);
    return exit_usage;
}
