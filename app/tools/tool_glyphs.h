#pragma once

#include <QIcon>

#include <cstdint>

namespace velmora {

// The picture of a tool on its palette button and on its group button.
QIcon tool_glyph(std::uint8_t id);

} // namespace velmora
