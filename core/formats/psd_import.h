#pragma once

#include "document/document.h"

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// Names given to layers the file does not name: the interface passes its
// translated texts; the k-th unnamed upper layer becomes `layer` + " " + k.
struct tpsd_names {
    std::string background = "Background";
    std::string layer = "Layer";
};

// Largest side of a PSD document or layer we accept (the format's own limit).
inline constexpr std::int32_t psd_max_side = 30000;

// Document width and height from the header. Throws
// velmora_error("@ch_problem_with_psd_file") when the header is unreadable.
std::pair<std::int32_t, std::int32_t> read_psd_size(const std::string& file_name);

// Replaces the layers of `doc` by the file's layers. Returns false, leaving the
// document empty, when the file is not a PSD file ("@ch_sign_incorrect").
// Throws velmora_error("@ch_problem_with_psd_file", detail) on anything it
// cannot read; the caller then opens the flattened picture instead.
// The file position drives the progress gauge ("@ch_loading").
bool read_psd_layers(tdocument& doc, const std::string& file_name, const tpsd_names& names = {});
bool read_psd_layers(tdocument& doc, std::span<const std::uint8_t> data, const tpsd_names& names = {});

// The picture a flat reader shows: the file's composite image, or its layers
// flattened when the file has no composite. Throws velmora_error with
// "@ch_could_not_parse_the_file".
Tfbitmap read_psd_flat(std::span<const std::uint8_t> data);

// PackBits: the row is zero-filled to `expected_length`; output beyond it is
// dropped and a run cut short by the end of the input copies what there is.
// An empty input gives an empty row.
std::vector<std::uint8_t> unpack_bits(std::span<const std::uint8_t> packed, std::size_t expected_length);
// The same into `out`; returns how many bytes were produced.
std::size_t unpack_bits(const std::uint8_t* in, std::size_t in_length, std::uint8_t* out, std::size_t out_length);

} // namespace velmora
