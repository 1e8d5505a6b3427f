#pragma once

#include <QCursor>

#include <string_view>

namespace velmora {

// The program's own cursors by their names ("INSERE_AU_DESSUS" ...), drawn
// once for the screen's pixel ratio so they stay crisp on dense screens.
// A name without a picture gives the arrow.
QCursor program_cursor(std::string_view name);

} // namespace velmora
