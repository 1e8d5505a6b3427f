#include "shell/layer_steps.h"

#include "document/composite.h"
#include "document/error.h"
#include "document/layer_operations.h"
#include "shell/catalogue.h"

namespace velmora {

namespace {

std::int32_t last_layer(const tdocument& doc)
{
    return std::int32_t(doc.layers.size()) - 1;
}

// The current layer, refused when it is the background.
tcalque& upper_layer(tdocument& doc, const tapply_step& step)
{
    if (doc.current_layer <= 0 || !doc.valid_layer(doc.current_layer))
        throw velmora_error("@ch_error", "step '" + step.name + "' needs a current layer above the background");
    return doc.current_layer_record();
}

std::string copy_name(const tdocument& doc)
{
    return duplicate_name(doc.current_layer_record().name, translate("@ch_copy"), translate("@ch_copy_incomplet"));
}

} // namespace

bool run_layer_step(tdocument& doc, const tapply_step& step)
{
    if (doc.layers.empty())
        return false;
    if (step.is({"ToolbarButton971Click", "new-layer"})) {
        step.allow_only({"name"});
        add_new_layer(doc, std::string(step.text("name").value_or(translate("@ch_new_layer"))));
    } else if (step.is({"NewLayer1Click", "new-layer-dialog"})) {
        step.allow_only({"name", "opacity", "blend"});
        append_transparent_layer(doc, std::string(step.text("name").value_or(translate("@ch_new_layer"))),
                                 step.integer("opacity", 255, 0, 255),
                                 std::uint8_t(step.integer("blend", normal, 0, average)));
    } else if (step.is({"ToolbarButton9712Click", "duplicate-layer"})) {
        step.allow_only({});
        duplicate_layer(doc, copy_name(doc));
    } else if (step.is({"ToolbarButton9711Click", "delete-layer"})) {
        step.allow_only({});
        upper_layer(doc, step);
        delete_current_layer(doc);
    } else if (step.is({"LayerOptions1Click", "layer-options"})) {
        step.allow_only({"name", "left", "top", "opacity", "preserve"});
        tcalque& layer = upper_layer(doc, step);
        layer.name = step.text("name").value_or(layer.name);
        layer.left = layer.press_left = step.integer("left", layer.left, -1000000000, 1000000000);
        layer.top = layer.press_top = step.integer("top", layer.top, -1000000000, 1000000000);
        layer.opacity = step.integer("opacity", layer.opacity, 0, 255);
        layer.preserve_transparency = std::uint8_t(step.integer("preserve", layer.preserve_transparency, 0, 1));
    } else if (step.is({"select-layer"})) {
        step.allow_only({"index"});
        for (auto& layer : doc.layers)
            layer->selected = 0;
        doc.mask_editing = 0;
        set_current_layer(doc, step.integer("index", doc.current_layer, 0, last_layer(doc)));
    } else if (step.is({"move-layer"})) {
        step.allow_only({"to"});
        upper_layer(doc, step);
        move_layer(doc, doc.current_layer, step.integer("to", doc.current_layer, 1, last_layer(doc)));
    } else if (step.is({"opacity"})) {
        step.allow_only({"value"});
        upper_layer(doc, step).opacity = step.integer("value", 255, 0, 255);
    } else if (step.is({"blend-mode"})) {
        step.allow_only({"mode"});
        upper_layer(doc, step).blend_mode = std::uint8_t(step.integer("mode", normal, 0, average));
    } else if (step.is({"preserve-transparency"})) {
        step.allow_only({"value"});
        upper_layer(doc, step).preserve_transparency = std::uint8_t(step.integer("value", 1, 0, 1));
    } else if (step.is({"visibility"})) {
        step.allow_only({"index", "visible"});
        const std::int32_t index = step.integer("index", doc.current_layer, 1, last_layer(doc));
        doc.layers[std::size_t(index)]->visible = std::uint8_t(step.integer("visible", 1, 0, 1));
    } else if (step.is({"CreateLayerMask1Click", "create-mask"})) {
        step.allow_only({});
        upper_layer(doc, step);
        create_layer_mask(doc);
    } else if (step.is({"DisableLayerMask3Click", "disable-mask"})) {
        step.allow_only({});
        tcalque& layer = upper_layer(doc, step);
        if (!layer.mask)
            throw velmora_error("@ch_error", "the current layer has no mask");
        layer.mask_enabled ^= 1;
    } else if (step.is({"RemoveLayerMask2Click", "remove-mask"})) {
        step.allow_only({"apply"});
        if (!upper_layer(doc, step).mask)
            throw velmora_error("@ch_error", "the current layer has no mask");
        remove_layer_mask(doc, step.integer("apply", 0, 0, 1) == 1);
    } else if (step.is({"mergedownClick", "merge-down"})) {
        step.allow_only({});
        upper_layer(doc, step);
        if (!merge_down(doc))
            throw velmora_error(merge_refused_key, "");
    } else if (step.is({"Mergelayers1Click", "merge-all"})) {
        step.allow_only({});
        merge_all_layers(doc);
    } else {
        return false;
    }
    return true;
}

} // namespace velmora
