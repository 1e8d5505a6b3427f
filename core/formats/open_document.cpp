#include "formats/open_document.h"

#include "document/error.h"
#include "formats/psd_import.h"
#include "formats/vlm_format.h"
#include "shell/catalogue.h"

#include <algorithm>
#include <filesystem>

namespace velmora {

namespace {

std::string lower_extension(const std::string& file_name)
{
    std::string ext = std::filesystem::path(file_name).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

} // namespace

tdocument open_document_file(const std::string& file_name, const tload_options& options)
{
    const std::string ext = lower_extension(file_name);
    tdocument doc = create_document(file_name);
    if (ext == ".vlm") {
        read_vlm(doc, file_name);
        doc.modified = 0;
        return doc;
    }
    if (ext == ".psd") {
        const tpsd_names names{translate("@ch_background"), translate("@ch_layer")};
        try {
            if (!read_psd_layers(doc, file_name, names))
                throw velmora_error("@ch_sign_incorrect", file_name);
            doc.modified = 0;
            return doc;
        } catch (const velmora_error& error) {
            if (error.key() != "@ch_problem_with_psd_file")
                throw;
        }
        doc = create_document(file_name);
    }
    add_background(doc, load_picture(file_name, options), translate("@ch_background"));
    return doc;
}

} // namespace velmora
