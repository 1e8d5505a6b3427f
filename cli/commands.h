#pragma once

#include <span>
#include <string>
#include <string_view>

namespace velmora::cli {

using targuments = std::span<const std::string>;

// One command of velmora-cli: its name, its usage line and what it does.
struct tcommand {
    std::string_view name;
    std::string_view usage;
    std::string_view summary;
    int (*run)(targuments arguments);
};

int run_apply(targuments arguments);
int run_convert(targuments arguments);
int run_filter(targuments arguments);
int run_info(targuments arguments);

} // namespace velmora::cli
