#pragma once

#include "document/document.h"
#include "document/kernel_set.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A square kernel of radius 1 or 2. weights[i][j]: column offset i = dx + r,
// row offset j = dy + r; divisor is what the cells were divided by.
struct tnoyau_de_convolution {
    std::int32_t radius = 1;
    std::vector<std::vector<float>> weights;
    float divisor = 1;

    float weight(std::int32_t dx, std::int32_t dy) const
    {
        return weights[std::size_t(dx + radius)][std::size_t(dy + radius)];
    }
};

// A kernel from rows of cells listed top to bottom, left to right, divided by `divisor`.
tnoyau_de_convolution make_kernel(std::int32_t radius, std::span<const float> cells_by_row, float divisor = 1);

// The fixed kernels of Sharpen, Edge Enhancement and Edge Detection.
const tnoyau_de_convolution& sharpen_kernel();
const tnoyau_de_convolution& edge_enhancement_kernel();
const tnoyau_de_convolution& edge_detection_kernel();

// Each visited destination pixel becomes the weighted sum of the source pixels
// of the kernel's square that lie inside the raster (single precision, in cell
// order, not renormalised at borders), rounded and clamped. With a selection
// only its extent is visited and the result mixed by coverage with the
// source. Shows "@ch_convolving". Source and destination have one size.
void convolve(const tnoyau_de_convolution& kernel, const Tfbitmap& source, Tfbitmap& destination,
              bool with_alpha, const tselection* selection = nullptr, std::int32_t left = 0, std::int32_t top = 0,
              tkernel_set set = tkernel_set::best);

// The fixed 3x3 passes: border pixels repeat, result rounded, no selection.
void soften_pass(const Tfbitmap& source, Tfbitmap& destination, bool with_alpha);
void box_blur_pass(const Tfbitmap& source, Tfbitmap& destination, bool with_alpha);

// The custom convolution's 25 cells: text of Edit1..Edit25, cell N in grid
// column (N - 1) / 5 and row (N - 1) % 5.
using tkernel_cells = std::array<std::string, 25>;
inline constexpr std::int32_t kernel_size_3 = 0; // "3*3"
inline constexpr std::int32_t kernel_size_5 = 1; // "5*5"

// A cell counts when it is made only of digits, "-" and "." and reads as a
// number; anything else (empty, "-", "1-2") counts as 0.
bool parse_kernel_cell(std::string_view text, float& value);
// The binomial 3x3 in the middle of the grid, every other cell empty.
tkernel_cells default_kernel_cells();

struct tcustom_kernel {
    tnoyau_de_convolution kernel;
    float sum = 0; // of the valid cells read
};
// With "3*3" only the nine inner cells are read. Weights are cells / sum, or
// cells / 1 when the sum is 0.
tcustom_kernel build_custom_kernel(const tkernel_cells& cells, std::int32_t kernel_size);

} // namespace velmora
