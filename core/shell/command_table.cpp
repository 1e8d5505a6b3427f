#include "shell/command_table.h"

#include <array>

namespace velmora {

bool command_allowed(tcommand_rule rule, const tcommand_state& s)
{
    const bool image = s.image_windows > 0;
    const bool upper = image && s.current_layer > 0;
    switch (rule) {
    case tcommand_rule::always: return true;
    case tcommand_rule::image: return image;
    case tcommand_rule::several_images: return s.image_windows > 1;
    case tcommand_rule::modified: return image && s.modified;
    case tcommand_rule::selection: return image && s.has_selection;
    case tcommand_rule::saved_selections: return image && s.has_saved_selections;
    case tcommand_rule::not_mask_editing: return image && !s.mask_editing;
    case tcommand_rule::several_layers: return image && s.layer_count > 1;
    case tcommand_rule::upper_layer: return upper;
    case tcommand_rule::upper_layer_without_mask: return upper && !s.current_layer_has_mask;
    case tcommand_rule::upper_layer_with_mask: return upper && s.current_layer_has_mask;
    case tcommand_rule::can_undo: return image && s.can_undo;
    case tcommand_rule::can_redo: return image && s.can_redo;
    case tcommand_rule::several_history_entries: return image && s.history_entries > 1;
    case tcommand_rule::zoom_in: return image && s.zoom_index <= 20;
    case tcommand_rule::zoom_out: return image && s.zoom_index > 1;
    }
    return false;
}

namespace {

using enum tcommand_rule;

constexpr tcommand submenu(std::string_view component, std::string_view parent, tcommand_rule rule = always)
{
    return {component, parent, {}, {}, rule, false};
}

constexpr std::array commands = {
    // File
    submenu("Fichier1", {}),
    tcommand{"Nouvelleimage1", "Fichier1", "Nouvelleimage1Click", "Ctrl+N"},
    tcommand{"Ouvirr1", "Fichier1", "Ouvirr1Click", "Ctrl+O"},
    submenu("N1", "Fichier1"),
    submenu("Import1", "Fichier1"),
    tcommand{"Slectionnerlasource1", "Import1", "Slectionnerlasource1Click", {}},
    tcommand{"TWAIN1", "Import1", "TWAIN1Click", {}},
    tcommand{"Enregistrer1", "Fichier1", "Enregistrer1Click", "Ctrl+S", modified},
    tcommand{"Exporteren1", "Fichier1", "Exporteren1Click", "Ctrl+Shift+S", image},
    tcommand{"SavefortheaWeb1", "Fichier1", "SavefortheaWeb1Click", "Ctrl+Shift+W", image},
    submenu("Export1", "Fichier1", image),
    tcommand{"ExportTransparentGIF1", "Export1", "ExportTransparentGIF1Click", {}, image},
    tcommand{"WindowsIcon1", "Export1", "WindowsIcon1Click", {}, image},
    tcommand{"Fermer1", "Fichier1", "Fermer1Click", "Ctrl+W", image},
    tcommand{"Fermertout1", "Fichier1", "Fermertout1Click", {}, several_images},
    tcommand{"Batchconvert1", "Fichier1", "Batchconvert1Click", {}},
    tcommand{"Print1", "Fichier1", "Print1Click", "Ctrl+P", image},
    submenu("Preferences1", "Fichier1"),
    tcommand{"Interface1", "Preferences1", "Interface1Click", {}},
    tcommand{"LanguageUnits1", "Preferences1", "LanguageUnits1Click", {}},
    tcommand{"FileAssociations1", "Preferences1", "FileAssociations1Click", {}},
    tcommand{"UndoRedo1", "Preferences1", "UndoRedo1Click", {}},
    tcommand{"Fonts1", "Preferences1", "Fonts1Click", {}},
    tcommand{"VLMSignature1", "Preferences1", "VLMSignature1Click", {}},
    tcommand{"AdvancedSettings1", "Preferences1", "AdvancedSettings1Click", {}},
    tcommand{"Quittr1", "Fichier1", "Quittr1Click", "Ctrl+Q"},
    // Edit
    submenu("Edition1", {}),
    tcommand{"Undo1", "Edition1", "Undo1Click", "Ctrl+Z", can_undo},
    tcommand{"Redo1", "Edition1", "Redo1Click", "Ctrl+Shift+Z", can_redo},
    tcommand{"History1", "Edition1", "History1Click", {}, several_history_entries},
    tcommand{"Cut1", "Edition1", "Cut1Click", "Ctrl+X", image},
    tcommand{"Copy1", "Edition1", "Copy1Click", "Ctrl+C", image},
    tcommand{"CopyMerged1", "Edition1", "CopyMerged1Click", "Ctrl+Shift+C", image},
    submenu("Paste1", "Edition1"),
    tcommand{"Asnewlayer1", "Paste1", "Asnewlayer1Click", "Ctrl+V", image},
    tcommand{"Asnewimage1", "Paste1", "Asnewimage1Click", "Ctrl+Shift+V"},
    tcommand{"Inselection1", "Paste1", "Inselection1Click", {}, selection},
    tcommand{"N1Delete1", "Edition1", "N1Delete1Click", {}, image},
    tcommand{"Fill1", "Edition1", "Fill1Click", {}, image},
    // Image
    submenu("Imageuiiu1", {}),
    submenu("Adjust1", "Imageuiiu1", image),
    tcommand{"Luminosit1", "Adjust1", "Luminosit1Click", {}, image},
    tcommand{"Teintes1", "Adjust1", "Teintes1Click", {}, not_mask_editing},
    tcommand{"HueSaturationandLightness1", "Adjust1", "HueSaturationandLightness1Click", {}, not_mask_editing},
    tcommand{"Desaturate1", "Adjust1", "Desaturate1Click", {}, not_mask_editing},
    tcommand{"Invert1", "Adjust1", "Invert1Click", "Ctrl+I", image},
    tcommand{"Taille1", "Imageuiiu1", "Taille1Click", {}, image},
    tcommand{"Crop1", "Imageuiiu1", "Crop1Click", {}, selection},
    submenu("Rotate1", "Imageuiiu1", image),
    tcommand{"N90horaire1", "Rotate1", "N90horaire1Click", {}, image},
    tcommand{"N90horaire2", "Rotate1", "N90horaire2Click", {}, image},
    tcommand{"N90horaire3", "Rotate1", "N90horaire3Click", {}, image},
    tcommand{"Libre1", "Rotate1", "Libre1Click", {}, image},
    submenu("Flip1", "Imageuiiu1", image),
    tcommand{"Axehorizontal1", "Flip1", "Axehorizontal1Click", {}, image},
    tcommand{"Axevertical1", "Flip1", "Axevertical1Click", {}, image},
    tcommand{"Informations1", "Imageuiiu1", "Informations1Click", {}, image},
    // Layers
    submenu("Layer1", {}),
    tcommand{"NewLayer1", "Layer1", "NewLayer1Click", {}, image},
    tcommand{"DuplicateLayer1", "Layer1", "ToolbarButton9712Click", {}, image},
    tcommand{"DeleteLayer1", "Layer1", "ToolbarButton9711Click", {}, upper_layer},
    tcommand{"LayerOptions1", "Layer1", "LayerOptions1Click", {}, upper_layer},
    submenu("Rotate2", "Layer1", upper_layer),
    tcommand{"N1801", "Rotate2", "N1801Click", {}, upper_layer},
    tcommand{"N90CW1", "Rotate2", "N90CW1Click", {}, upper_layer},
    tcommand{"N90CCW1", "Rotate2", "N90CCW1Click", {}, upper_layer},
    tcommand{"Other1", "Rotate2", "Other1Click", {}, upper_layer},
    submenu("Flip2", "Layer1", upper_layer),
    tcommand{"Horizontal1", "Flip2", "Horizontal1Click", {}, upper_layer},
    tcommand{"Vertical1", "Flip2", "Vertical1Click", {}, upper_layer},
    tcommand{"CreateLayerMask1", "Layer1", "CreateLayerMask1Click", {}, upper_layer_without_mask},
    tcommand{"DisableLayerMask3", "Layer1", "DisableLayerMask3Click", {}, upper_layer_with_mask},
    tcommand{"RemoveLayerMask2", "Layer1", "RemoveLayerMask2Click", {}, upper_layer_with_mask},
    tcommand{"Mergelayers1", "Layer1", "Mergelayers1Click", {}, several_layers},
    tcommand{"mergedown", "Layer1", "mergedownClick", "Ctrl+E", upper_layer},
    // Select
    submenu("Slection1", {}),
    tcommand{"SelectAll1", "Slection1", "SelectAll1Click", "Ctrl+A", image},
    tcommand{"Deselect1", "Slection1", "Deselect1Click", "Ctrl+D", image},
    tcommand{"Invert2", "Slection1", "Invert2Click", "Ctrl+Shift+I", image},
    tcommand{"Gettheselection1", "Slection1", "Gettheselection1Click", "Ctrl+G", image},
    tcommand{"Savetheselection1", "Slection1", "Savetheselection1Click", {}, selection},
    tcommand{"Loadtheselection1", "Slection1", "Loadtheselection1Click", {}, saved_selections},
    tcommand{"Hideshow1", "Slection1", "Hideshow1Click", "Ctrl+H", image, true},
    // Filter
    submenu("Filtres1", {}),
    submenu("Blur1", "Filtres1", image),
    tcommand{"Soften1", "Blur1", "Soften1Click", {}, image},
    tcommand{"GaussianBlur1", "Blur1", "GaussianBlur1Click", {}, image},
    tcommand{"Pagecurl1", "Blur1", "Button4Click", {}, image},
    tcommand{"RadialBlur1", "Blur1", "RadialBlur1Click", {}, image},
    tcommand{"ZoomBlur1", "Blur1", "ZoomBlur1Click", {}, image},
    submenu("Render1", "Filtres1", image),
    tcommand{"DropshadowII1", "Render1", "DropshadowII1Click", {}, image},
    tcommand{"Glow1", "Render1", "Glow1Click", {}, image},
    tcommand{"InnerBevel1", "Render1", "InnerBevel1Click", {}, image},
    submenu("Distort1", "Filtres1", image),
    tcommand{"whirl1", "Distort1", "whirl1Click", {}, image},
    tcommand{"pinch1", "Distort1", "pinch1Click", {}, image},
    tcommand{"wave1", "Distort1", "wave1Click", {}, image},
    submenu("PolarCoordinates1", "Distort1", image),
    tcommand{"RectangulartoPolarCoordinates1", "PolarCoordinates1", "RectangulartoPolarCoordinates1Click", {}, image},
    tcommand{"PolartoRectangularCoordinates1", "PolarCoordinates1", "PolartoRectangularCoordinates1Click", {}, image},
    submenu("Texture1", "Filtres1", image),
    tcommand{"Clouds1", "Texture1", "Clouds1Click", {}, image},
    tcommand{"canvas1", "Texture1", "canvas1Click", {}, image},
    tcommand{"Nightvision1", "Texture1", "Nightvision1Click", {}, image},
    tcommand{"RandomRectangles1", "Texture1", "RandomRectangles1Click", {}, image},
    submenu("Sharpen1", "Filtres1", image),
    tcommand{"Sharpen2", "Sharpen1", "Sharpen2Click", {}, image},
    tcommand{"EdgeEnhancement1", "Sharpen1", "EdgeEnhancement1Click", {}, image},
    tcommand{"Edgedetection1", "Sharpen1", "Edgedetection1Click", {}, image},
    submenu("LightEffects1", "Filtres1", image),
    tcommand{"lensflare1", "LightEffects1", "lensflare1Click", {}, image},
    tcommand{"Neonglow1", "LightEffects1", "Neonglow1Click", {}, image},
    tcommand{"supernovae1", "LightEffects1", "supernovae1Click", {}, image},
    submenu("Stylize1", "Filtres1", image),
    tcommand{"Wind1", "Stylize1", "Wind1Click", {}, image},
    tcommand{"t1", "Stylize1", "t1Click", {}, image},
    submenu("Advanced1", "Filtres1", image),
    tcommand{"CustomConvolution1", "Advanced1", "CustomConvolution1Click", {}, image},
    tcommand{"suppressgreylevel1", "Advanced1", "suppressgreylevel1Click", {}, image},
    // View
    submenu("Fentre1", {}),
    tcommand{"Tile1", "Fentre1", "Tile1Click", {}, image},
    tcommand{"Cascade1", "Fentre1", "Cascade1Click", {}, image},
    tcommand{"Showtoolbar1", "Fentre1", "Showtoolbar1Click", "F7", always, true},
    submenu("Windows1", "Fentre1"),
    tcommand{"showColor1", "Windows1", "showColor1Click", "F8", always, true},
    tcommand{"Showsize1", "Windows1", "Showsize1Click", "F9", always, true},
    tcommand{"Showlayers1", "Windows1", "Showlayers1Click", "F11", always, true},
    tcommand{"Showselection1", "Windows1", "Showselection1Click", "F12", always, true},
    tcommand{"Zoomin1", "Fentre1", "Zoomin1Click", "Ctrl+Up", zoom_in},
    tcommand{"Zoomout1", "Fentre1", "Zoomout1Click", "Ctrl+Down", zoom_out},
    tcommand{"Viewat1001", "Fentre1", "Viewat1001Click", "F2", image},
    tcommand{"Showruler1", "Fentre1", "Showruler1Click", "Ctrl+R", always, true},
    tcommand{"Options1", "Fentre1", "Options1Click", {}},
    // Help
    submenu("Aide1", {}),
    tcommand{"Index1", "Aide1", "Index1Click", "F1"},
    submenu("Tutorials1", "Aide1"),
    tcommand{"Tipoftheday1", "Aide1", "Tipoftheday1Click", {}},
    tcommand{"About2", "Aide1", "About2Click", {}},
};

} // namespace

std::span<const tcommand> command_table()
{
    return commands;
}

const tcommand* find_command(std::string_view handler)
{
    for (const tcommand& command : commands)
        if (!handler.empty() && command.handler == handler)
            return &command;
    return nullptr;
}

} // namespace velmora
