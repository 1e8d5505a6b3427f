#include "filters/convolution.h"

#include "document/rounding.h"
#include "filters/filter_framework.h"
#include "filters/row_blocks.h"
#include "shell/catalogue.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace velmora {

tnoyau_de_convolution make_kernel(std::int32_t radius, std::span<const float> cells_by_row, float divisor)
{
    const std::size_t side = std::size_t(2 * radius + 1);
    tnoyau_de_convolution kernel{radius, std::vector<std::vector<float>>(side, std::vector<float>(side)), divisor};
    for (std::size_t j = 0; j < side; ++j)
        for (std::size_t i = 0; i < side; ++i)
            kernel.weights[i][j] = cells_by_row[j * side + i] / divisor;
    return kernel;
}

const tnoyau_de_convolution& sharpen_kernel()
{
    static const float cells[] = {0, -0.5f, 0, -0.5f, 3, -0.5f, 0, -0.5f, 0};
    static const tnoyau_de_convolution kernel = make_kernel(1, cells);
    return kernel;
}

const tnoyau_de_convolution& edge_enhancement_kernel()
{
    static const float cells[] = {-1, -1, -1, -1, 9, -1, -1, -1, -1};
    static const tnoyau_de_convolution kernel = make_kernel(1, cells);
    return kernel;
}

const tnoyau_de_convolution& edge_detection_kernel()
{
    static const float cells[] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
    static const tnoyau_de_convolution kernel = make_kernel(1, cells);
    return kernel;
}

namespace {

// One pixel's four channels travel in one vector, so every channel's sum is
// built in exactly the order the cells are visited.
using vfloat = float __attribute__((vector_size(4 * sizeof(float))));
using vint = std::int32_t __attribute__((vector_size(4 * sizeof(std::int32_t))));

[[gnu::always_inline]] inline vfloat load_pixel(const std::uint8_t* p)
{
    const vint v = {p[0], p[1], p[2], p[3]};
    return __builtin_convertvector(v, vfloat);
}

// The sum over the window clipped to the raster.
[[gnu::always_inline]] inline vfloat window_sum(const float* weights, std::int32_t radius, const Tfbitmap& source,
                                                std::int32_t x, std::int32_t y)
{
    const std::int32_t side = 2 * radius + 1;
    const std::int32_t x0 = std::max(0, x - radius);
    const std::int32_t x1 = std::min(source.width() - 1, x + radius);
    const std::int32_t y0 = std::max(0, y - radius);
    const std::int32_t y1 = std::min(source.height() - 1, y + radius);
    vfloat sum = {0, 0, 0, 0};
    for (std::int32_t sy = y0; sy <= y1; ++sy) {
        const std::uint8_t* row = source.row(sy);
        const float* w = weights + (sy - y + radius) * side;
        for (std::int32_t sx = x0; sx <= x1; ++sx)
            sum += w[sx - x + radius] * load_pixel(row + 4 * sx);
    }
    return sum;
}

[[gnu::always_inline]] inline void store_rounded(vfloat sum, std::uint8_t* out, bool with_alpha)
{
    // Clamp first so the rounding trick stays in its exact range.
    const vfloat low = {-1, -1, -1, -1};
    const vfloat high = {256, 256, 256, 256};
    sum = sum < low ? low : sum;
    sum = sum > high ? high : sum;
    constexpr float shift = 12582912.0f; // 1.5 * 2^23: adding it rounds to nearest, ties to even
    const vfloat rounded = (sum + shift) - shift;
    const vint zero = {0, 0, 0, 0};
    const vint top = {255, 255, 255, 255};
    vint v = __builtin_convertvector(rounded, vint);
    v = v < zero ? zero : v;
    v = v > top ? top : v;
    out[0] = std::uint8_t(v[0]);
    out[1] = std::uint8_t(v[1]);
    out[2] = std::uint8_t(v[2]);
    if (with_alpha)
        out[3] = std::uint8_t(v[3]);
}

template <std::int32_t Radius>
void convolve_rows_body(const float* weights, const Tfbitmap& source, Tfbitmap& destination, bool with_alpha,
                        std::int32_t first, std::int32_t last)
{
    constexpr std::int32_t side = 2 * Radius + 1;
    float w[side * side];
    std::memcpy(w, weights, sizeof w);
    const std::int32_t width = source.width();
    const std::int32_t height = source.height();
    for (std::int32_t y = first; y < last; ++y) {
        std::uint8_t* out = destination.row(y);
        const bool inner_row = y >= Radius && y < height - Radius;
        for (std::int32_t x = 0; x < width; ++x) {
            vfloat sum;
            if (inner_row && x >= Radius && x < width - Radius) {
                sum = vfloat{0, 0, 0, 0};
                for (std::int32_t j = 0; j < side; ++j) {
                    const std::uint8_t* row = source.row(y + j - Radius) + 4 * (x - Radius);
                    for (std::int32_t i = 0; i < side; ++i)
                        sum += w[j * side + i] * load_pixel(row + 4 * i);
                }
            } else {
                sum = window_sum(w, Radius, source, x, y);
            }
            store_rounded(sum, out + 4 * x, with_alpha);
        }
    }
}

template <std::int32_t Radius>
void convolve_rows_portable(const float* weights, const Tfbitmap& source, Tfbitmap& destination, bool with_alpha,
                            std::int32_t first, std::int32_t last)
{
    convolve_rows_body<Radius>(weights, source, destination, with_alpha, first, last);
}

#if defined(__x86_64__)
template <std::int32_t Radius>
[[gnu::target("avx2")]] void convolve_rows_avx2(const float* weights, const Tfbitmap& source,
                                                Tfbitmap& destination, bool with_alpha, std::int32_t first,
                                                std::int32_t last)
{
    convolve_rows_body<Radius>(weights, source, destination, with_alpha, first, last);
}
#endif

using trows_kernel = void (*)(const float*, const Tfbitmap&, Tfbitmap&, bool, std::int32_t, std::int32_t);

trows_kernel pick_rows_kernel(std::int32_t radius)
{
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return radius == 1 ? convolve_rows_avx2<1> : convolve_rows_avx2<2>;
#endif
    return radius == 1 ? convolve_rows_portable<1> : convolve_rows_portable<2>;
}

} // namespace

void convolve(const tnoyau_de_convolution& kernel, const Tfbitmap& source, Tfbitmap& destination, bool with_alpha,
              const tselection* selection, std::int32_t left, std::int32_t top)
{
    const std::int32_t radius = kernel.radius == 2 ? 2 : 1;
    const std::int32_t side = 2 * radius + 1;
    std::vector<float> weights(std::size_t(side * side));
    for (std::int32_t j = 0; j < side; ++j)
        for (std::int32_t i = 0; i < side; ++i)
            weights[std::size_t(j * side + i)] = kernel.weights[std::size_t(i)][std::size_t(j)];

    const trect visited =
        selection ? selection_extent_on_target(*selection, destination, left, top) : destination.bounds();
    tprogress_scope progress(translate("@ch_convolving"), visited.height());
    if (!selection) {
        const trows_kernel rows = pick_rows_kernel(radius);
        rows_with_progress(visited.top, visited.bottom, std::int64_t(visited.width()) * side * side,
                           [&](std::int32_t first, std::int32_t last) {
            rows(weights.data(), source, destination, with_alpha, first, last);
        });
        return;
    }
    const int channels = with_alpha ? 4 : 3;
    rows_with_progress(visited.top, visited.bottom, std::int64_t(visited.width()) * side * side,
                       [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const std::uint8_t* coverage = selection->mask.row(y + top - selection->top);
            const std::uint8_t* in = source.row(y);
            std::uint8_t* out = destination.row(y);
            for (std::int32_t x = visited.left; x < visited.right; ++x) {
                const int c = coverage[4 * (x + left - selection->left) + red_byte];
                if (c == 0) {
                    std::memcpy(out + 4 * x, in + 4 * x, std::size_t(channels));
                    continue;
                }
                const vfloat sum = window_sum(weights.data(), radius, source, x, y);
                const double m = c / 255.0;
                for (int k = 0; k < channels; ++k) {
                    const double u = in[4 * x + k];
                    const std::int64_t v = round_half_even((double(sum[k]) - u) * m + u);
                    out[4 * x + k] = std::uint8_t(std::clamp<std::int64_t>(v, 0, 255));
                }
            }
        }
    });
}

namespace {

template <bool Soften>
void fixed_pass(const Tfbitmap& source, Tfbitmap& destination, bool with_alpha)
{
    // Box blur weighs 1/9 as a single-precision float; sums in extended precision.
    const long double ninth = static_cast<long double>(1.0f / 9.0f);
    const std::int32_t width = source.width();
    const std::int32_t height = source.height();
    const int channels = with_alpha ? 4 : 3;
    parallel_rows(0, height, std::int64_t(width) * height * 9, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const std::uint8_t* rows[3] = {source.row(std::max(y - 1, 0)), source.row(y),
                                           source.row(std::min(y + 1, height - 1))};
            std::uint8_t* out = destination.row(y);
            for (std::int32_t x = 0; x < width; ++x) {
                const std::int32_t cols[3] = {std::max(x - 1, 0), x, std::min(x + 1, width - 1)};
                for (int k = 0; k < channels; ++k) {
                    if constexpr (Soften) {
                        // 2/16 on each neighbour, 0 on the centre: the sum of
                        // eight bytes over 8 is exact, its rounding too.
                        int sum = 0;
                        for (int j = 0; j < 3; ++j)
                            for (int i = 0; i < 3; ++i)
                                if (i != 1 || j != 1)
                                    sum += rows[j][4 * cols[i] + k];
                        out[4 * x + k] = std::uint8_t(round_half_even(sum / 8.0L));
                    } else {
                        long double sum = 0;
                        for (int j = 0; j < 3; ++j)
                            for (int i = 0; i < 3; ++i)
                                sum += ninth * rows[j][4 * cols[i] + k];
                        out[4 * x + k] = std::uint8_t(std::min<std::int64_t>(round_half_even(sum), 255));
                    }
                }
            }
        }
    });
}

} // namespace

void soften_pass(const Tfbitmap& source, Tfbitmap& destination, bool with_alpha)
{
    fixed_pass<true>(source, destination, with_alpha);
}

void box_blur_pass(const Tfbitmap& source, Tfbitmap& destination, bool with_alpha)
{
    fixed_pass<false>(source, destination, with_alpha);
}

bool parse_kernel_cell(std::string_view text, float& value)
{
    value = 0;
    if (text.empty() || text == "-")
        return false;
    if (text.find_first_not_of("0123456789-.") != std::string_view::npos)
        return false;
    // Decimal point whatever the locale: from_chars does not look at it.
    float parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc{} || end != text.data() + text.size())
        return false;
    value = parsed;
    return true;
}

tkernel_cells default_kernel_cells()
{
    tkernel_cells cells{};
    // Edit7..9, Edit12..14, Edit17..19: the grid's middle, column by column.
    constexpr char middle[3][3] = {{'1', '2', '1'}, {'2', '4', '2'}, {'1', '2', '1'}};
    for (std::size_t column = 0; column < 3; ++column)
        for (std::size_t row = 0; row < 3; ++row)
            cells[(column + 1) * 5 + row + 1] = std::string(1, middle[column][row]);
    return cells;
}

tcustom_kernel build_custom_kernel(const tkernel_cells& cells, std::int32_t kernel_size)
{
    const std::int32_t radius = kernel_size == kernel_size_3 ? 1 : 2;
    const std::int32_t side = 2 * radius + 1;
    std::vector<float> values(std::size_t(side * side), 0.0f); // by row
    float sum = 0;
    for (std::int32_t column = 0; column < side; ++column)
        for (std::int32_t row = 0; row < side; ++row) {
            const std::int32_t grid_column = column + 2 - radius;
            const std::int32_t grid_row = row + 2 - radius;
            float value = 0;
            if (parse_kernel_cell(cells[std::size_t(grid_column * 5 + grid_row)], value))
                sum += value;
            values[std::size_t(row * side + column)] = value;
        }
    const float divisor = sum == 0 ? 1.0f : sum;
    return {make_kernel(radius, values, divisor), sum};
}

} // namespace velmora
