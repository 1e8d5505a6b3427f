#pragma once

#include "document/document.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The native layered file (.vlm): a 784-byte header, one block per layer
// (background first), the selection block, an optional thumbnail, an optional
// path block and one record per text layer. Numbers are little-endian except
// the two text lengths of a text record. Pixels are whole BMP file images,
// 24 bits for the background and 32 bits for everything else, each one a
// bzip2 stream when the header says the file is compressed.

inline constexpr std::size_t vlm_header_size = 784;
inline constexpr std::size_t vlm_layer_record_size = 100;
inline constexpr std::size_t vlm_selection_head_size = 4;
inline constexpr std::size_t vlm_selection_record_size = 16;
inline constexpr std::size_t vlm_path_block_size = 4 + 16 * std::size_t(path_capacity);
inline constexpr std::size_t vlm_text_record_size = 1108;
inline constexpr std::size_t vlm_name_capacity = 62;
inline constexpr std::size_t vlm_text_capacity = 1022;
inline constexpr std::size_t vlm_font_capacity = 64;
inline constexpr std::size_t vlm_author_capacity = 65;
inline constexpr std::size_t vlm_copyright_capacity = 167;
inline constexpr std::size_t vlm_max_text_records = 255;
inline constexpr std::int32_t vlm_thumbnail_long_side = 150;
inline constexpr std::int32_t vlm_thumbnail_portrait_height = 112;

// The fixed sentence at the start of every file we write (216 characters,
// then 40 spaces). Readers ignore it.
extern const char vlm_identification[];

// Window state that travels with the document in the file but lives outside
// tdocument: the selection outline's visibility (the inverse of the "Hide the
// selection" check) and the two values of the vector tools' state, stored and
// given back verbatim.
struct tvlm_view_state {
    std::uint8_t selection_visible = 1;
    std::array<double, 2> path_state{};
};

struct tvlm_signature {
    std::string author;    // first 65 characters kept
    std::string copyright; // first 167 characters kept
};

struct tvlm_write_options {
    bool compressed = false;
    bool show_progress = false;
    // The caller passes the text of "@ch_saving_vlm" in the active language.
    std::string progress_caption = "@ch_saving_vlm";
    bool include_thumbnail = false;
    std::optional<tvlm_signature> signature; // "include_signature" on
    tvlm_view_state view;
};

// How much a reader may unpack from bzip2 streams before it gives up. The
// default is what the biggest raster the editor accepts needs.
struct tvlm_read_limits {
    std::uint64_t max_stream_bytes = 54 + std::uint64_t(max_raster_pixels) * 4;
    std::uint64_t max_total_bytes = std::uint64_t(1) << 36;
};

// The file's bytes in memory.
std::vector<std::uint8_t> encode_vlm(const tdocument& doc, const tvlm_write_options& options);

// Saves the document atomically: a temporary file beside the target, flushed
// to disk, then renamed over it, so a failed save leaves the old file intact.
// Throws velmora_error("@ch_error") when the file cannot be written and
// ("@ch_no_mem") when memory runs out.
void write_vlm(const tdocument& doc, const std::string& file_name, const tvlm_write_options& options);

// An undo snapshot: uncompressed, no thumbnail, no progress, written straight
// into a new file with one sequential write (no temporary, no flush to disk:
// snapshots die with the program). Fails when the file already exists.
void write_vlm_snapshot(const tdocument& doc, const std::string& file_name, const tvlm_view_state& view);

// Decodes a whole file into a new document (layers, current layer, mask
// editing, selection, saved selections, path; every other field at its
// initial value). Validates every count, size and offset against the data
// before allocating. Throws velmora_error("@ch_read_error") on anything it
// cannot trust.
tdocument decode_vlm(std::span<const std::uint8_t> data, tvlm_view_state* view = nullptr,
                     const tvlm_read_limits& limits = {});

// Replaces the content of `doc` with the file's, only once the whole file has
// been read: on failure `doc` is left exactly as it was. File name, modified
// flag, resolution, zoom and the other window fields are kept. Returns the
// window state stored in the file. With a caption (the text of
// "@ch_loading_vlm"), the progress display follows the bytes read.
tvlm_view_state read_vlm(tdocument& doc, const std::string& file_name, const std::string* progress_caption = nullptr);

// Loads an undo snapshot like read_vlm, with the same all-or-nothing
// guarantee, reading pixels straight from the file into rasters taken from
// `spare` where the sizes match (new ones otherwise). Afterwards `spare` holds
// the rasters of the content that was replaced, for the next load, so that
// stepping through the history touches no fresh memory.
// Throws velmora_error("@ch_read_error").
tvlm_view_state read_vlm_snapshot(tdocument& doc, const std::string& file_name, std::vector<Tfbitmap>& spare);

struct tvlm_size {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Width and height from the header, for the opener to size the new window.
tvlm_size read_vlm_size(const std::string& file_name);

// Fills `thumbnail` with the stored preview and returns true. When there is
// none or it cannot be read, fills it with a 150 x 112 placeholder of
// `face_colour` (opaque) and returns false: the interface then writes the
// text of "@ch_no_thumbnail" at 4, 4. Throws velmora_error
// ("@ch_file_unavailable") only when the file cannot be opened.
bool read_vlm_thumbnail(const std::string& file_name, Tfbitmap& thumbnail, TColor face_colour = 0xF0F0F0);

// Loads the background layer of an uncompressed file (an undo snapshot) into
// `target` without reading the rest. Throws velmora_error("@ch_read_error").
void read_vlm_background(const std::string& file_name, Tfbitmap& target);

// Size of the preview for a document of the given size: 150 wide for
// landscape and square documents, 112 high for portrait ones.
tvlm_size vlm_thumbnail_size(std::int32_t width, std::int32_t height);

// Text conversion between the program's UTF-8 and the 8-bit code page
// (Windows-1252) that names and texts use in the file. Characters the code
// page lacks become '?'.
std::string utf8_to_cp1252(const std::string& text);
std::string cp1252_to_utf8(const std::string& bytes);

} // namespace velmora
