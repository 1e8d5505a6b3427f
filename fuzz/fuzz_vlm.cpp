// libFuzzer harness for the native layered file reader.
// Run: fuzz_vlm -max_total_time=60 -rss_limit_mb=1024 CORPUS_DIR
// An empty first corpus folder is first filled with a few
// small files of our own writer (plain, compressed, with preview, path and
// text), so that the fuzzer starts from well-formed input.

#include "document/error.h"
#include "formats/vlm_format.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace velmora;

tdocument seed_document(bool with_path)
{
    tdocument doc = create_document("seed");
    Tfbitmap background(5, 4);
    background.fill_pixels(10, 20, 30, 255);
    add_background(doc, std::move(background), "Background");
    Tfbitmap pixels(3, 2);
    pixels.fill_pixels(200, 100, 50, 128);
    tcalque& layer = add_layer(doc, pixels, "Layer", 200, -1, 2, multiply);
    layer.mask = std::make_unique<tcalque>();
    layer.mask->bitmap = Tfbitmap(2, 2);
    layer.mask->bitmap.fill_pixels(90, 90, 90, 255);
    layer.mask_enabled = 1;
    layer.text.is_text = 1;
    layer.text.text = "Hello";
    layer.text.font_name = "Sans";
    doc.selection.mask = Tfbitmap(2, 1);
    doc.selection.mask.fill_pixels(255, 255, 255, 255);
    doc.has_selection = 1;
    auto saved = std::make_unique<tselection>();
    saved->mask = Tfbitmap(1, 1);
    saved->mask.fill_pixels(7, 7, 7, 255);
    doc.saved_selections.push_back(std::move(saved));
    if (with_path) {
        doc.path_count = 4;
        for (int i = 0; i < 4; ++i)
            doc.path_points[std::size_t(i)] = {i * 1.5, i * 2.0};
    }
    return doc;
}

void write_seed(const std::filesystem::path& folder, const char* name, const tvlm_write_options& options,
                bool with_path)
{
    const std::vector<std::uint8_t> bytes = encode_vlm(seed_document(with_path), options);
    if (std::FILE* file = std::fopen((folder / name).c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    namespace fs = std::filesystem;
    // Only the first corpus folder, the one libFuzzer writes to; the others
    // (fixtures, regressions) are read only.
    for (int i = 1; i < *argc; ++i) {
        const std::string arg = (*argv)[i];
        if (arg.empty() || arg[0] == '-')
            continue;
        std::error_code error;
        if (fs::is_directory(arg, error) && fs::is_empty(arg, error)) {
            tvlm_write_options options;
            write_seed(arg, "plain.vlm", options, false);
            options.compressed = true;
            write_seed(arg, "compressed.vlm", options, false);
            options.compressed = false;
            options.include_thumbnail = true;
            options.signature = tvlm_signature{"Author", "Copyright"};
            write_seed(arg, "preview_and_path.vlm", options, true);
        }
        break;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Small enough that a bzip2 bomb shows as a refusal, not as the fuzzer's
    // memory limit; the reader's own checks are the same at any limit.
    velmora::tvlm_read_limits limits;
    limits.max_stream_bytes = std::uint64_t(16) << 20;
    limits.max_total_bytes = std::uint64_t(64) << 20;
    try {
        velmora::tvlm_view_state view;
        velmora::decode_vlm({data, size}, &view, limits);
    } catch (const velmora::velmora_error&) {
    }
    return 0;
}
