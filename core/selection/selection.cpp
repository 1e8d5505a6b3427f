#include "selection/selection.h"

namespace velmora {

std::uint8_t selection_coverage(const tselection& selection, std::int32_t x, std::int32_t y)
{
    const std::int64_t sx = std::int64_t(x) - selection.left;
    const std::int64_t sy = std::int64_t(y) - selection.top;
    if (sx < 0 || sy < 0 || sx >= selection.mask.width() || sy >= selection.mask.height())
        return 0;
    return selection.mask.pixel(std::int32_t(sx), std::int32_t(sy))[red_byte];
}

trect selection_extent_on_target(const tselection& selection, const Tfbitmap& target, std::int32_t left,
                                 std::int32_t top)
{
    const trect extent{selection.left - left, selection.top - top, selection.left - left + selection.mask.width(),
                       selection.top - top + selection.mask.height()};
    const trect visited = intersect(extent, target.bounds());
    return visited.empty() ? trect{} : visited;
}

bool selection_touches_layer(const tdocument& doc, const tcalque& layer)
{
    const tselection* selection = active_selection(doc);
    if (doc.mask_editing || !selection)
        return true;
    const trect visited = selection_extent_on_target(*selection, layer.bitmap, layer.left, layer.top);
    for (std::int32_t y = visited.top; y < visited.bottom; ++y) {
        const std::uint8_t* pixels = layer.bitmap.row(y);
        const std::uint8_t* coverage = selection->mask.row(y + layer.top - selection->top);
        for (std::int32_t x = visited.left; x < visited.right; ++x)
            if (pixels[4 * x + alpha_byte] != 0 && coverage[4 * (x + layer.left - selection->left) + red_byte] != 0)
                return true;
    }
    return false;
}

} // namespace velmora
