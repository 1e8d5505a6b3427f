#pragma once

#include <string>

#include <QIcon>

namespace velmora {

// The small picture of a history step's action family (0 for a generic
// step; numbers without a picture of their own also show 0). Drawn once in
// vector form at 16 and 32 pixels, so it stays sharp on high-density screens.
QIcon history_action_icon(int number);

// The icon number for a step's name: the name is compared with the texts of
// the recorded actions in the active language; anything else is 0.
int history_icon_for_name(const std::string& name);

} // namespace velmora
