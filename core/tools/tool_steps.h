#pragma once

#include "document/document.h"
#include "shell/apply_step.h"

namespace velmora {

// Runs a painting step of `velmora-cli apply` through the tools' own press,
// move and release (no history is recorded):
//   stroke:tool=7|8|9|13,points=X/Y;X/Y;...,size=,softness=,opacity=,
//          colour=rrggbb,background=rrggbb,spacing=,shape=round|square,
//          antialias=0|1,ticks=
// Points are document pixels; the airbrush (8) sprays `ticks` times at each
// point; the pencil's (9) opacity is a percentage. Returns false for a step
// it does not know; throws velmora_error("@ch_error") for a bad value.
bool run_tool_step(tdocument& doc, const tapply_step& step);

} // namespace velmora
