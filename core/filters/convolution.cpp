#include "filters/convolution.h"

#include "document/rounding.h"
#include "filters/filter_framework.h"
#include "filters/row_blocks.h"
#include "shell/catalogue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
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

// Two pixels, eight channels, in one vector: lanes never mix, so each
// channel's sum still runs over the cells in order.
using vfloat8 = float __attribute__((vector_size(8 * sizeof(float))));
using vint8 = std::int32_t __attribute__((vector_size(8 * sizeof(std::int32_t))));

[[gnu::always_inline]] inline vfloat8 load8(const float* p)
{
    vfloat8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void store_rounded8(vfloat8 sum, std::uint8_t* out, bool with_alpha)
{
    const vfloat8 low = {-1, -1, -1, -1, -1, -1, -1, -1};
    const vfloat8 high = {256, 256, 256, 256, 256, 256, 256, 256};
    sum = sum < low ? low : sum;
    sum = sum > high ? high : sum;
    constexpr float shift = 12582912.0f;
    const vfloat8 rounded = (sum + shift) - shift;
    const vint8 zero = {0, 0, 0, 0, 0, 0, 0, 0};
    const vint8 top = {255, 255, 255, 255, 255, 255, 255, 255};
    vint8 v = __builtin_convertvector(rounded, vint8);
    v = v < zero ? zero : v;
    v = v > top ? top : v;
    for (int k = 0; k < 8; ++k)
        if (with_alpha || (k & 3) != 3)
            out[k] = std::uint8_t(v[k]);
}

// Source rows as floats, each converted once for all the cells that read it.
struct tfloat_rows {
    std::vector<float> data;
    std::vector<std::int32_t> row_of; // which source row each slot holds
    std::int32_t width = 0;
    std::int32_t slots = 0;

    void reset(std::int32_t w, std::int32_t count)
    {
        width = w;
        slots = count;
        data.resize(std::size_t(w) * 4 * std::size_t(count));
        row_of.assign(std::size_t(count), -1);
    }
    const float* row(const Tfbitmap& source, std::int32_t y)
    {
        const std::int32_t slot = y % slots;
        float* out = data.data() + std::size_t(slot) * 4 * std::size_t(width);
        if (row_of[std::size_t(slot)] != y) {
            const std::uint8_t* in = source.row(y);
            for (std::int32_t i = 0; i < 4 * width; ++i)
                out[i] = in[i];
            row_of[std::size_t(slot)] = y;
        }
        return out;
    }
};

template <std::int32_t Radius>
[[gnu::always_inline]] inline void convolve_rows_body(const float* weights, const Tfbitmap& source,
                                                      Tfbitmap& destination, bool with_alpha, std::int32_t first,
                                                      std::int32_t last)
{
    constexpr std::int32_t side = 2 * Radius + 1;
    // Cells of weight 0 add nothing to a sum of products of non-negative
    // bytes (at most a zero's sign), so they are left out.
    std::int32_t cell_row[side * side], cell_column[side * side];
    float cell_weight[side * side];
    std::int32_t cells = 0;
    for (std::int32_t j = 0; j < side; ++j)
        for (std::int32_t i = 0; i < side; ++i)
            if (weights[j * side + i] != 0.0f) {
                cell_row[cells] = j;
                cell_column[cells] = i;
                cell_weight[cells] = weights[j * side + i];
                ++cells;
            }
    const std::int32_t width = source.width();
    const std::int32_t height = source.height();
    tfloat_rows rows;
    rows.reset(width, side);
    for (std::int32_t y = first; y < last; ++y) {
        std::uint8_t* out = destination.row(y);
        if (y < Radius || y >= height - Radius || width < 2 * Radius + 2) {
            for (std::int32_t x = 0; x < width; ++x)
                store_rounded(window_sum(weights, Radius, source, x, y), out + 4 * x, with_alpha);
            continue;
        }
        const float* lines[side];
        for (std::int32_t j = 0; j < side; ++j)
            lines[j] = rows.row(source, y - Radius + j);
        for (std::int32_t x = 0; x < Radius; ++x)
            store_rounded(window_sum(weights, Radius, source, x, y), out + 4 * x, with_alpha);
        std::int32_t x = Radius;
        for (; x + 2 <= width - Radius; x += 2) {
            vfloat8 sum = {0, 0, 0, 0, 0, 0, 0, 0};
            for (std::int32_t c = 0; c < cells; ++c)
                sum += cell_weight[c] * load8(lines[cell_row[c]] + 4 * (x - Radius + cell_column[c]));
            store_rounded8(sum, out + 4 * x, with_alpha);
        }
        for (; x < width; ++x)
            store_rounded(window_sum(weights, Radius, source, x, y), out + 4 * x, with_alpha);
    }
}

// When every weight is a small multiple of 1 / 2^shift, each float product
// and partial sum is exact (numerators stay far below 2^24), so the float sum
// equals the integer sum of numerators over 2^shift whatever the order: the
// same bytes come out of 16-bit integer lanes, four pixels per vector.
struct tinteger_kernel {
    std::int32_t shift = 0;
    std::int32_t cells = 0;
    std::int32_t cell_row[25] = {};
    std::int32_t cell_column[25] = {};
    std::int16_t numerator[25] = {};
};

bool integer_kernel(const float* weights, std::int32_t side, tinteger_kernel& out)
{
    for (std::int32_t shift = 0; shift <= 8; ++shift) {
        const float scale = float(1 << shift);
        std::int32_t total = 0;
        out = {};
        out.shift = shift;
        bool whole = true;
        for (std::int32_t c = 0; c < side * side && whole; ++c) {
            const float n = weights[c] * scale;
            if (n != std::trunc(n) || std::fabs(n) > 128) {
                whole = false;
                break;
            }
            total += std::abs(std::int32_t(n));
            if (n != 0) {
                out.cell_row[out.cells] = c / side;
                out.cell_column[out.cells] = c % side;
                out.numerator[out.cells] = std::int16_t(n);
                ++out.cells;
            }
        }
        if (whole && total <= 128) // |sum| <= 128 * 255 fits 16 bits
            return true;
    }
    return false;
}

using vshort16 = std::int16_t __attribute__((vector_size(16 * sizeof(std::int16_t))));
using vbyte16 = std::uint8_t __attribute__((vector_size(16)));

template <std::int32_t Radius>
[[gnu::always_inline]] inline void integer_rows_body(const tinteger_kernel& kernel, const float* weights,
                                                     const Tfbitmap& source, Tfbitmap& destination, bool with_alpha,
                                                     std::int32_t first, std::int32_t last)
{
    const std::int32_t width = source.width();
    const std::int32_t height = source.height();
    const std::int16_t shift = std::int16_t(kernel.shift);
    const std::int16_t half = std::int16_t(kernel.shift > 0 ? 1 << (kernel.shift - 1) : 0);
    const std::int16_t low_mask = std::int16_t((1 << kernel.shift) - 1);
    for (std::int32_t y = first; y < last; ++y) {
        std::uint8_t* out = destination.row(y);
        if (y < Radius || y >= height - Radius || width < 2 * Radius + 4) {
            for (std::int32_t x = 0; x < width; ++x)
                store_rounded(window_sum(weights, Radius, source, x, y), out + 4 * x, with_alpha);
            continue;
        }
        for (std::int32_t x = 0; x < Radius; ++x)
            store_rounded(window_sum(weights, Radius, source, x, y), out + 4 * x, with_alpha);
        std::int32_t x = Radius;
        for (; x + 4 <= width - Radius; x += 4) {
            vshort16 sum = {};
            for (std::int32_t c = 0; c < kernel.cells; ++c) {
                vbyte16 bytes;
                std::memcpy(&bytes, source.row(y - Radius + kernel.cell_row[c]) + 4 * (x - Radius + kernel.cell_column[c]),
                            sizeof bytes);
                sum += kernel.numerator[c] * __builtin_convertvector(bytes, vshort16);
            }
            // Round sum / 2^shift to nearest, halves to even.
            vshort16 q = sum >> shift;
            if (kernel.shift > 0) {
                const vshort16 rest = sum & low_mask;
                const vshort16 odd = q & std::int16_t(1);
                q -= (rest > half) | ((rest == half) & (odd != std::int16_t(0))); // masks are -1

            }
            const vshort16 zero = {};
            const vshort16 top = zero + std::int16_t(255);
            q = q < zero ? zero : q;
            q = q > top ? top : q;
            const vbyte16 packed = __builtin_convertvector(q, vbyte16);
            std::uint8_t* o = out + 4 * x;
            if (with_alpha) {
                std::memcpy(o, &packed, sizeof packed);
            } else {
                vbyte16 old;
                std::memcpy(&old, o, sizeof old);
                const vbyte16 alpha_lanes = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
                const vbyte16 merged = (old & alpha_lanes) | (packed & ~alpha_lanes);
                std::memcpy(o, &merged, sizeof merged);
            }
        }
        for (; x < width; ++x)
            store_rounded(window_sum(weights, Radius, source, x, y), out + 4 * x, with_alpha);
    }
}

template <std::int32_t Radius>
void integer_rows_portable(const tinteger_kernel& kernel, const float* weights, const Tfbitmap& source,
                           Tfbitmap& destination, bool with_alpha, std::int32_t first, std::int32_t last)
{
    integer_rows_body<Radius>(kernel, weights, source, destination, with_alpha, first, last);
}

#if defined(__x86_64__)
template <std::int32_t Radius>
[[gnu::target("avx2")]] void integer_rows_avx2(const tinteger_kernel& kernel, const float* weights,
                                               const Tfbitmap& source, Tfbitmap& destination, bool with_alpha,
                                               std::int32_t first, std::int32_t last)
{
    integer_rows_body<Radius>(kernel, weights, source, destination, with_alpha, first, last);
}
#endif

using tinteger_rows = void (*)(const tinteger_kernel&, const float*, const Tfbitmap&, Tfbitmap&, bool, std::int32_t,
                               std::int32_t);

tinteger_rows pick_integer_rows(std::int32_t radius)
{
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return radius == 1 ? integer_rows_avx2<1> : integer_rows_avx2<2>;
#endif
    return radius == 1 ? integer_rows_portable<1> : integer_rows_portable<2>;
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
    tinteger_kernel exact;
    if (!selection && integer_kernel(weights.data(), side, exact)) {
        const tinteger_rows rows = pick_integer_rows(radius);
        rows_with_progress(visited.top, visited.bottom, std::int64_t(visited.width()) * side * side,
                           [&](std::int32_t first, std::int32_t last) {
            rows(exact, weights.data(), source, destination, with_alpha, first, last);
        });
        return;
    }
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
