#include "formats/open_document.h"

#include "document/composite.h"
#include "document/error.h"
#include "formats/file_io.h"
#include "formats/psd_export.h"
#include "formats/psd_import.h"
#include "shell/catalogue.h"


namespace velmora {

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

bool document_writer_known(const std::string& file_name)
{
    const std::string ext = lower_extension(file_name);
    return ext == ".vlm" || ext == ".psd" || picture_writer_known(ext);
}

void save_document_file(const tdocument& doc, const std::string& file_name, const tflat_settings& flat,
                        const tvlm_write_options& vlm)
{
    const std::string ext = lower_extension(file_name);
    if (ext == ".vlm")
        write_vlm(doc, file_name, vlm);
    else if (ext == ".psd")
        write_psd(doc, file_name);
    else
        write_picture_file(flatten_image(doc), file_name, flat);
}

} // namespace velmora
