#include "cli_support.h"
#include "commands.h"

#include "document/error.h"
#include "filters/filter_registry.h"
#include "formats/open_document.h"
#include "selection/selection_commands.h"
#include "shell/layer_steps.h"
#include "tools/tool_steps.h"

namespace velmora::cli {

// apply IN OUT STEP...: opens IN, runs each step through the editor's own
// entry points, and writes OUT.
int run_apply(targuments arguments)
{
    if (arguments.size() < 2)
        return fail("usage: velmora-cli apply IN OUT [STEP...]");
    return run_reporting_failures([&] {
        tdocument doc = open_source(arguments[0]);
        for (const std::string& text : arguments.subspan(2)) {
            const tapply_step step = parse_apply_step(text);
            if (!run_filter_step(doc, step) && !run_tool_step(doc, step) && !run_layer_step(doc, step) &&
                !run_selection_step(doc, step))
                throw velmora_error("@ch_error", "unknown step '" + step.name + "'");
        }
        save_document_file(doc, arguments[1]);
    });
}

} // namespace velmora::cli
