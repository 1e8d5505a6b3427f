#include "document/layer_operations.h"

#include "document/composite.h"

#include <charconv>

namespace velmora {

std::string duplicate_name(std::string_view name, std::string_view copy, std::string_view incomplete)
{
    std::string result(name);
    if (name.ends_with(copy)) {
        result.insert(result.size() - 1, "2");
        return result;
    }
    const std::size_t start = name.rfind(incomplete);
    if (start != std::string_view::npos && name.ends_with(')')) {
        const std::string_view digits = name.substr(start + incomplete.size(), name.size() - 1 - start - incomplete.size());
        unsigned number = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (!digits.empty() && error == std::errc() && end == digits.data() + digits.size())
            return std::string(name.substr(0, start + incomplete.size())) + std::to_string(number + 1) + ")";
    }
    return result + std::string(copy);
}

void duplicate_layer(tdocument& doc, std::string name)
{
    if (!doc.valid_layer(doc.current_layer))
        return;
    const tcalque& original = doc.current_layer_record();
    auto copy = std::make_unique<tcalque>();
    copy->name = std::move(name);
    copy->bitmap = original.bitmap;
    copy->left = copy->press_left = original.left;
    copy->top = copy->press_top = original.top;
    copy->blend_mode = original.blend_mode;
    copy->preserve_transparency = original.preserve_transparency;
    const std::int32_t index = doc.current_layer + 1;
    doc.layers.insert(doc.layers.begin() + index, std::move(copy));
    set_current_layer(doc, index);
}

bool delete_current_layer(tdocument& doc)
{
    const std::int32_t index = doc.current_layer;
    if (index <= 0 || !doc.valid_layer(index) || doc.layers.size() < 2)
        return false;
    doc.layers.erase(doc.layers.begin() + index);
    doc.current_layer = -1; // the deleted one: nothing left to unselect
    set_current_layer(doc, index - 1);
    doc.mask_editing = 0;
    return true;
}

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
