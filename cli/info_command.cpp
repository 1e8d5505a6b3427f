#include "cli_support.h"
#include "commands.h"

#include "document/error.h"
#include "formats/file_io.h"
#include "formats/load_picture.h"
#include "formats/psd_import.h"
#include "formats/vlm_format.h"

#include <array>
#include <cstdio>
#include <filesystem>

namespace velmora::cli {

namespace {

constexpr std::array<const char*, 8> mode_names = {"Normal",     "Multiply",  "Screen",    "Overlay",
                                                   "Hard Light", "Difference", "Exclusion", "Average"};

void print_layers(const tdocument& doc)
{
    std::printf("layers: %zu\n", doc.layers.size());
    for (std::size_t i = 0; i < doc.layers.size(); ++i) {
        const tcalque& l = *doc.layers[i];
        std::printf("  %zu \"%s\" %dx%d at %d,%d %s opacity %d%s", i, l.name.c_str(), l.bitmap.width(),
                    l.bitmap.height(), l.left, l.top, mode_names[l.blend_mode < 8 ? l.blend_mode : 0], l.opacity,
                    l.visible ? "" : " hidden");
        if (l.mask)
            std::printf(" mask %dx%d at %d,%d%s", l.mask->bitmap.width(), l.mask->bitmap.height(), l.mask->left,
                        l.mask->top, l.mask_enabled ? "" : " (disabled)");
        std::printf("\n");
    }
}

// What only the native format keeps: text layers, selections, the path.
void print_vlm_extras(const tdocument& doc)
{
    for (std::size_t i = 0; i < doc.layers.size(); ++i)
        if (doc.layers[i]->text.is_text)
            std::printf("  %zu text \"%s\" font \"%s\" size %d\n", i, doc.layers[i]->text.text.c_str(),
                        doc.layers[i]->text.font_name.c_str(), int(doc.layers[i]->text.size));
    if (doc.has_selection)
        std::printf("selection: %dx%d at %d,%d\n", doc.selection.mask.width(), doc.selection.mask.height(),
                    doc.selection.left, doc.selection.top);
    else
        std::printf("selection: none\n");
    std::printf("saved selections: %zu\n", doc.saved_selections.size());
    for (const auto& saved : doc.saved_selections)
        std::printf("  %dx%d at %d,%d\n", saved->mask.width(), saved->mask.height(), saved->left, saved->top);
    std::printf("path vertices: %d\n", doc.path_count);
}

bool has_transparency(const Tfbitmap& picture)
{
    for (std::int32_t y = 0; y < picture.height(); ++y)
        for (std::int32_t x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y)[alpha_byte] != 255)
                return true;
    return false;
}

} // namespace

int run_info(targuments arguments)
{
    if (arguments.size() != 1)
        return fail("usage: velmora-cli info FILE");
    const std::string& file = arguments[0];
    const std::string ext = lower_extension(file);
    return run_reporting_failures([&] {
        std::error_code ignored;
        const auto bytes = std::filesystem::file_size(file, ignored);
        std::printf("file: %s\nbytes: %llu\n", file.c_str(), static_cast<unsigned long long>(bytes));
        bool layered = ext == ".vlm" || ext == ".psd";
        if (layered) {
            tdocument doc = create_document(file);
            try {
                if (ext == ".vlm")
                    read_vlm(doc, file);
                else if (!read_psd_layers(doc, file))
                    throw velmora_error("@ch_sign_incorrect", file);
            } catch (const velmora_error& e) {
                if (e.key() != "@ch_problem_with_psd_file")
                    throw;
                // As the editor does: the flattened picture when the layers cannot be read.
                std::printf("layers: unreadable (%s)\n", e.what());
                layered = false;
            }
            if (layered) {
                std::printf("kind: layered image\nsize: %d x %d\n", doc.width(), doc.height());
                print_layers(doc);
                if (ext == ".vlm")
                    print_vlm_extras(doc);
            }
        }
        if (!layered) {
            const Tfbitmap picture = load_picture(file);
            std::printf("kind: flat image\nsize: %d x %d\ntransparency: %s\n", picture.width(), picture.height(),
                        has_transparency(picture) ? "yes" : "no");
        }
    });
}

} // namespace velmora::cli
