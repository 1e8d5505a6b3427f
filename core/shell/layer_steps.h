#pragma once

#include "document/document.h"
#include "shell/apply_step.h"

namespace velmora {

// Runs a Layers step of `velmora-cli apply`, by its menu handler or its alias:
// new-layer[:name=] (the palette's button), new-layer-dialog[:name=,opacity=,
// blend=] (Layers > New Layer...), duplicate-layer, delete-layer,
// layer-options[:name=,left=,top=,opacity=,preserve=], select-layer:index=,
// move-layer:to=, opacity:value=, blend-mode:mode=, preserve-transparency:
// value=, visibility:index=,visible=, create-mask, disable-mask (toggles),
// remove-mask[:apply=0|1], merge-down, merge-all. Layer indexes count from 0,
// the background. False when the step is none of them; throws velmora_error
// with the catalogue's message for a step that cannot run. Records no history.
bool run_layer_step(tdocument& doc, const tapply_step& step);

} // namespace velmora
