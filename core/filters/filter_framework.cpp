#include "filters/filter_framework.h"

#include "document/error.h"

#include <algorithm>

namespace velmora {

tcalque& filter_target(tdocument& doc)
{
    tcalque& layer = active_layer(doc);
    if (doc.mask_editing && layer.mask)
        return *layer.mask;
    return layer;
}

tcalque& active_layer(tdocument& doc)
{
    if (!doc.valid_layer(doc.current_layer))
        throw velmora_error("@ch_error", "no current layer");
    return doc.current_layer_record();
}

void blend_by_selection(Tfbitmap& target, const Tfbitmap& filtered, std::int32_t left, std::int32_t top,
                        const tselection& selection, bool with_alpha)
{
    const trect visited = selection_extent_on_target(selection, target, left, top);
    const int channels = with_alpha ? 4 : 3;
    for (std::int32_t y = visited.top; y < visited.bottom; ++y) {
        std::uint8_t* out = target.row(y);
        const std::uint8_t* in = filtered.row(y);
        const std::uint8_t* coverage = selection.mask.row(y + top - selection.top);
        for (std::int32_t x = visited.left; x < visited.right; ++x) {
            const int c = coverage[4 * (x + left - selection.left) + red_byte];
            if (c == 0)
                continue;
            for (int k = 0; k < channels; ++k)
                out[4 * x + k] = mix_by_coverage(out[4 * x + k], in[4 * x + k], c);
        }
    }
}

tfilter_backup::tfilter_backup(tdocument& doc, bool of_active_layer)
    : target_(of_active_layer ? &active_layer(doc) : &filter_target(doc)), pixels_(target_->bitmap),
      left_(target_->left), top_(target_->top)
{
}

void tfilter_backup::restore() const
{
    target_->bitmap = pixels_;
    target_->left = left_;
    target_->top = top_;
}

} // namespace velmora
