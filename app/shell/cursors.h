#pragma once

#include <QCursor>
#include <QPixmap>

#include <functional>
#include <string_view>

class QPainter;

namespace velmora {

// The program's own cursors by their names ("INSERE_AU_DESSUS" ...), drawn
// once for the screen's pixel ratio so they stay crisp on dense screens.
// A name without a picture gives the arrow.
QCursor program_cursor(std::string_view name);

// A transparent picture of `side` x `side` logical pixels painted by `draw`
// (antialiased) at the screen's pixel ratio: cursors and tool glyphs.
QPixmap drawn_picture(int side, const std::function<void(QPainter&)>& draw);

} // namespace velmora
