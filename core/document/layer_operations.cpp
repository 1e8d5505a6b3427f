#include "document/layer_operations.h"

#include "document/composite.h"

namespace velmora {

bool merge_down(tdocument& doc)
{
    if (doc.current_layer <= 0 || !doc.valid_layer(doc.current_layer))
        return false;
    if (!merge_layers(doc, doc.current_layer - 1))
        return false;
    doc.mask_editing = 0;
    return true;
}

void merge_all_layers(tdocument& doc)
{
    if (doc.layers.empty())
        return;
    Tfbitmap flat = flatten_image(doc);
    doc.layers.resize(1);
    doc.layers.front()->bitmap = std::move(flat);
    doc.mask_editing = 0;
    doc.current_layer = 0;
    set_current_layer(doc, 0);
    forget_text(doc, 0);
}

} // namespace velmora
