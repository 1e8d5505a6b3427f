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
#include <numeric>
#include <utility>

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

template <typename Vector, typename T>
[[gnu::always_inline]] inline Vector load_lanes(const T* p)
{
    Vector v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Writes the channel bytes of a vector of pixels, keeping the destination's
// alpha bytes when alpha is not processed.
template <typename Bytes>
[[gnu::always_inline]] inline void store_bytes(const Bytes& bytes, std::uint8_t* out, bool with_alpha)
{
    Bytes merged = bytes;
    if (!with_alpha) {
        Bytes alpha = {};
        for (std::size_t k = 3; k < sizeof(Bytes); k += 4)
            alpha[k] = 255;
        merged = (load_lanes<Bytes>(out) & alpha) | (bytes & ~alpha);
    }
    std::memcpy(out, &merged, sizeof merged);
}

// Rounds sums to nearest, ties to even, clamps them to bytes and stores them.
template <typename Ints, typename Bytes, typename Vector>
[[gnu::always_inline]] inline void store_rounded(Vector sum, std::uint8_t* out, bool with_alpha)
{
    // Clamp first so the rounding trick stays in its exact range.
    sum = sum < -1.0f ? Vector{} - 1.0f : sum;
    sum = sum > 256.0f ? Vector{} + 256.0f : sum;
    constexpr float shift = 12582912.0f; // 1.5 * 2^23: adding it rounds to nearest, ties to even
    Ints v = __builtin_convertvector((sum + shift) - shift, Ints);
    v = v < 0 ? Ints{} : v;
    v = v > 255 ? Ints{} + 255 : v;
    store_bytes(__builtin_convertvector(v, Bytes), out, with_alpha);
}

using vbyte4 = std::uint8_t __attribute__((vector_size(4)));

[[gnu::always_inline]] inline void store_pixel(vfloat sum, std::uint8_t* out, bool with_alpha)
{
    store_rounded<vint, vbyte4>(sum, out, with_alpha);
}

// Source rows in the lanes' element type, each converted once for all the
// cells that read it.
template <typename T>
struct trow_cache {
    std::vector<T> data;
    std::vector<std::int32_t> row_of; // which source row each slot holds
    std::int32_t width = 0;
    std::int32_t slots = 0;

    trow_cache(std::int32_t w, std::int32_t count)
        : data(std::size_t(w) * 4 * std::size_t(count)), row_of(std::size_t(count), -1), width(w), slots(count)
    {
    }
    const T* row(const Tfbitmap& source, std::int32_t y)
    {
        const std::int32_t slot = y % slots;
        T* out = data.data() + std::size_t(slot) * 4 * std::size_t(width);
        if (row_of[std::size_t(slot)] != y) {
            const std::uint8_t* in = source.row(y);
            for (std::int32_t i = 0; i < 4 * width; ++i)
                out[i] = T(in[i]);
            row_of[std::size_t(slot)] = y;
        }
        return out;
    }
};

// Integer lanes widen the source bytes as they load them: nothing to convert.
template <>
struct trow_cache<std::uint8_t> {
    trow_cache(std::int32_t, std::int32_t) {}
    static const std::uint8_t* row(const Tfbitmap& source, std::int32_t y) { return source.row(y); }
};

// The cells that take part, in the order they are visited.
template <typename Weight>
struct tcells {
    std::int32_t count = 0;
    std::int32_t row[25] = {};
    std::int32_t column[25] = {};
    Weight weight[25] = {};

    void add(std::int32_t cell, std::int32_t side, Weight w)
    {
        row[count] = cell / side;
        column[count] = cell % side;
        weight[count] = w;
        ++count;
    }
};

// Two or four pixels of single-precision sums.
template <typename Vector, typename Ints, typename Bytes>
struct tfloat_lanes {
    using value = float;
    using vector = Vector;
    static constexpr std::int32_t pixels = sizeof(Bytes) / 4;
    // Cells of weight 0 add nothing to a sum of products of non-negative
    // bytes but at most a zero's sign, which rounds to the same byte, so
    // they are left out.
    tcells<float> cells;

    explicit tfloat_lanes(const float* weights, std::int32_t side)
    {
        for (std::int32_t c = 0; c < side * side; ++c)
            if (weights[c] != 0.0f)
                cells.add(c, side, weights[c]);
    }
    [[gnu::always_inline]] static vector load(const float* p) { return load_lanes<vector>(p); }
    [[gnu::always_inline]] void store(vector sum, std::uint8_t* out, bool with_alpha) const
    {
        store_rounded<Ints, Bytes>(sum, out, with_alpha);
    }
};

using vfloat8 = float __attribute__((vector_size(8 * sizeof(float))));
using vfloat16 = float __attribute__((vector_size(16 * sizeof(float))));
using vint8 = std::int32_t __attribute__((vector_size(8 * sizeof(std::int32_t))));
using vint16 = std::int32_t __attribute__((vector_size(16 * sizeof(std::int32_t))));
using vbyte8 = std::uint8_t __attribute__((vector_size(8)));
using vbyte16 = std::uint8_t __attribute__((vector_size(16)));
using tfloat_lanes2 = tfloat_lanes<vfloat8, vint8, vbyte8>;
using tfloat_lanes4 = tfloat_lanes<vfloat16, vint16, vbyte16>;

// When every weight is a small multiple of 1 / 2^shift, each float product
// and partial sum is exact (numerators stay far below 2^24), so the float sum
// equals the integer sum of numerators over 2^shift whatever the order: the
// same bytes come out of 16-bit integer lanes, four or eight pixels per
// vector. Lanes add modulo 2^16 and the sum is read signed, or unsigned when
// no weight is negative, which leaves room for kernels such as the 5x5
// binomial over 256.
template <typename Signed, typename Unsigned, typename Bytes>
struct tshort_lanes {
    using value = std::uint8_t;
    using vector = Unsigned;
    static constexpr std::int32_t pixels = sizeof(Bytes) / 4;
    tcells<std::uint16_t> cells;
    std::int16_t shift = 0;
    bool non_negative = true; // every weight

    [[gnu::always_inline]] static vector load(const std::uint8_t* p)
    {
        const Bytes bytes = load_lanes<Bytes>(p);
        if constexpr (sizeof(vector) == 64)
            return interleave_zeros(bytes, std::make_index_sequence<sizeof(vector)>{});
        else
            return __builtin_convertvector(bytes, vector);
    }
    // GCC converts 32 bytes to 16-bit lanes half by half; a shuffle with
    // zero bytes becomes one zero-extending load.
    template <std::size_t... I>
    [[gnu::always_inline]] static vector interleave_zeros(const Bytes& bytes, std::index_sequence<I...>)
    {
        const auto widened = __builtin_shufflevector(bytes, Bytes{}, (I % 2 ? sizeof(Bytes) : I / 2)...);
        return load_lanes<vector>(&widened);
    }

    [[gnu::always_inline]] void store(vector sum, std::uint8_t* out, bool with_alpha) const
    {
        Signed q;
        if (non_negative) {
            const vector u = divided(sum);
            q = (Signed)(u > std::uint16_t(255) ? vector{} + std::uint16_t(255) : u);
        } else {
            q = divided((Signed)sum);
            q = q < std::int16_t(0) ? Signed{} : q;
            q = q > std::int16_t(255) ? Signed{} + std::int16_t(255) : q;
        }
        store_bytes(__builtin_convertvector(q, Bytes), out, with_alpha);
    }
    // sum / 2^shift to nearest, halves to even: the floor of (sum + half
    // - 1) / 2^shift, of one more when the floor of sum / 2^shift is odd.
    template <typename Lanes16>
    [[gnu::always_inline]] Lanes16 divided(Lanes16 sum) const
    {
        if (shift == 0)
            return sum;
        Lanes16 bits, below_half;
        for (std::size_t k = 0; k < sizeof(Lanes16) / sizeof(std::int16_t); ++k) {
            bits[k] = shift;
            below_half[k] = (1 << (shift - 1)) - 1;
        }
        return (sum + below_half + ((sum >> bits) & 1)) >> bits;
    }
};

using vshort16 = std::int16_t __attribute__((vector_size(16 * sizeof(std::int16_t))));
using vshort32 = std::int16_t __attribute__((vector_size(32 * sizeof(std::int16_t))));
using vushort16 = std::uint16_t __attribute__((vector_size(16 * sizeof(std::uint16_t))));
using vushort32 = std::uint16_t __attribute__((vector_size(32 * sizeof(std::uint16_t))));
using vbyte32 = std::uint8_t __attribute__((vector_size(32)));
using tshort_lanes4 = tshort_lanes<vshort16, vushort16, vbyte16>;
using tshort_lanes8 = tshort_lanes<vshort32, vushort32, vbyte32>;

template <typename Lanes>
bool integer_kernel(const float* weights, std::int32_t side, Lanes& out)
{
    for (std::int32_t shift = 0; shift <= 8; ++shift) {
        const float scale = float(1 << shift);
        std::int32_t total = 0;
        out = {};
        out.shift = std::int16_t(shift);
        bool whole = true;
        for (std::int32_t c = 0; c < side * side && whole; ++c) {
            const float n = weights[c] * scale;
            if (n != std::trunc(n) || std::fabs(n) > 128) {
                whole = false;
                break;
            }
            total += std::abs(std::int32_t(n));
            out.non_negative = out.non_negative && n >= 0;
            if (n != 0)
                out.cells.add(c, side, std::uint16_t(std::int32_t(n)));
        }
        // The sum and its rounding fit 16 bits, signed or not.
        if (whole && total * 255 + (1 << shift >> 1) <= (out.non_negative ? 65535 : 32767))
            return true;
    }
    return false;
}

// A kernel that is a column of integer weights times a row of them: the
// column's sums come first, once per source column, then the row's over
// them. Modulo 2^16 this is the same sum as cell by cell, so the bytes are
// too; and a window the raster clips is the same sum as one reaching over
// zero pixels, so border pixels take the lanes like the others.
template <typename Short>
struct tseparable_lanes : Short {
    std::uint16_t column_weight[5] = {}; // by source row offset
    std::uint16_t row_weight[5] = {};    // by source column offset
};

template <std::size_t First, typename V, std::size_t... I>
[[gnu::always_inline]] inline V take_lanes(const V& low, const V& high, std::index_sequence<I...>)
{
    return __builtin_shufflevector(low, high, (First + I)...);
}

// The pixels `Offset` pixels after those of `middle`, from three vectors of
// 16-bit lanes in a row (four lanes a pixel).
template <std::int32_t Offset, typename V>
[[gnu::always_inline]] inline V pixels_from(const V& before, const V& middle, const V& after)
{
    constexpr std::size_t lanes = sizeof(V) / sizeof(std::uint16_t);
    if constexpr (Offset == 0)
        return middle;
    else if constexpr (Offset < 0)
        return take_lanes<lanes + 4 * Offset>(before, middle, std::make_index_sequence<lanes>{});
    else
        return take_lanes<4 * Offset>(middle, after, std::make_index_sequence<lanes>{});
}

template <std::int32_t Radius, typename V, std::size_t... I>
[[gnu::always_inline]] inline V row_sum(const std::uint16_t* weights, const V& before, const V& middle,
                                        const V& after, std::index_sequence<I...>)
{
    V sum = {};
    ((sum += weights[I] * pixels_from<std::int32_t(I) - Radius>(before, middle, after)), ...);
    return sum;
}

// Every row of [first, last): the column sums of the row go into a line of
// vectors with a vector of zero pixels at each end, and the row's sums are
// taken over that line a vector at a time, each with its two neighbours.
template <std::int32_t Radius, typename Short>
[[gnu::always_inline]] inline void separable_rows(const tseparable_lanes<Short>& lanes, const Tfbitmap& source,
                                                  Tfbitmap& destination, bool with_alpha, std::int32_t first,
                                                  std::int32_t last)
{
    using vector = typename Short::vector;
    constexpr std::int32_t step = Short::pixels;
    constexpr std::int32_t values = 4 * step; // 16-bit lanes in a vector
    static_assert(step >= Radius);
    const std::int32_t width = source.width();
    const std::int32_t height = source.height();
    const std::int32_t blocks = (width + step - 1) / step;
    // The zeros past the row's end stay zeros.
    std::vector<std::uint16_t> line(std::size_t(blocks + 2) * values);
    std::uint16_t* sums = line.data() + values;
    for (std::int32_t y = first; y < last; ++y) {
        const std::uint8_t* rows[5];
        std::uint16_t weights[5];
        std::int32_t count = 0;
        for (std::int32_t j = 0; j <= 2 * Radius; ++j)
            if (const std::int32_t sy = y - Radius + j; sy >= 0 && sy < height && lanes.column_weight[j] != 0) {
                rows[count] = source.row(sy);
                weights[count] = lanes.column_weight[j];
                ++count;
            }
        // The row that comes into the window next, fetched while this one is summed.
        const std::uint8_t* next_row = source.row(std::min(y + Radius + 1, height - 1));
        constexpr std::int32_t in_flight = 4;
        std::int32_t i = 0;
        for (; i + in_flight * values <= 4 * width; i += in_flight * values) {
            for (std::int32_t k = 0; k < in_flight * values; k += 64)
                __builtin_prefetch(next_row + i + k);
            vector sum[in_flight] = {};
            for (std::int32_t c = 0; c < count; ++c)
                for (std::int32_t k = 0; k < in_flight; ++k)
                    sum[k] += weights[c] * Short::load(rows[c] + i + k * values);
            std::memcpy(sums + i, sum, sizeof sum);
        }
        for (; i < 4 * width; ++i) {
            std::uint16_t sum = 0;
            for (std::int32_t c = 0; c < count; ++c)
                sum = std::uint16_t(sum + weights[c] * rows[c][i]);
            sums[i] = sum;
        }

        std::uint8_t* out = destination.row(y);
        vector before = load_lanes<vector>(line.data());
        vector middle = load_lanes<vector>(sums);
        for (std::int32_t b = 0; b < blocks; ++b) {
            const vector after = load_lanes<vector>(sums + (b + 1) * values);
            const vector sum = row_sum<Radius>(lanes.row_weight, before, middle, after,
                                               std::make_index_sequence<2 * Radius + 1>{});
            std::uint8_t* pixels = out + 4 * b * step;
            if ((b + 1) * step <= width) {
                lanes.store(sum, pixels, with_alpha);
            } else {
                std::uint8_t last_pixels[4 * step] = {};
                const std::size_t bytes = std::size_t(4 * (width - b * step));
                std::memcpy(last_pixels, pixels, bytes); // their alpha bytes may stay
                lanes.store(sum, last_pixels, with_alpha);
                std::memcpy(pixels, last_pixels, bytes);
            }
            before = middle;
            middle = after;
        }
    }
}

// Factors the cells of `flat` as a column times a row of integers, when they are one.
template <typename Short>
bool separable_kernel(const Short& flat, std::int32_t side, tseparable_lanes<Short>& out)
{
    if (flat.cells.count == 0)
        return false;
    std::int32_t n[5][5] = {}; // [row][column], as signed integers
    for (std::int32_t c = 0; c < flat.cells.count; ++c)
        n[flat.cells.row[c]][flat.cells.column[c]] = std::int16_t(flat.cells.weight[c]);
    const std::int32_t pivot_row = flat.cells.row[0];
    const std::int32_t pivot_column = flat.cells.column[0];
    const std::int32_t pivot = n[pivot_row][pivot_column];
    std::int32_t divisor = 0; // of the column, so that the row's factors stay whole
    for (std::int32_t j = 0; j < side; ++j)
        divisor = std::gcd(divisor, n[j][pivot_column]);
    std::int32_t column[5], row[5];
    for (std::int32_t j = 0; j < side; ++j)
        column[j] = n[j][pivot_column] / divisor;
    for (std::int32_t i = 0; i < side; ++i) {
        if (n[pivot_row][i] * divisor % pivot != 0)
            return false;
        row[i] = n[pivot_row][i] * divisor / pivot;
    }
    for (std::int32_t j = 0; j < side; ++j)
        for (std::int32_t i = 0; i < side; ++i)
            if (n[j][i] != column[j] * row[i])
                return false;
    static_cast<Short&>(out) = flat;
    for (std::int32_t i = 0; i < side; ++i) {
        out.row_weight[i] = std::uint16_t(row[i]);
        out.column_weight[i] = std::uint16_t(column[i]);
    }
    return true;
}

// N vectors of pixels from source column x0 on: cell after cell, so that
// each cell's row and weight are fetched once for the chunk while every
// lane's sum still runs over the cells in order.
template <std::int32_t N, typename Lanes>
[[gnu::always_inline]] inline void chunk(const Lanes& lanes, const typename Lanes::value* const* lines,
                                         std::int32_t x0, std::uint8_t* out, bool with_alpha)
{
    using vector = typename Lanes::vector;
    constexpr std::int32_t stride = 4 * Lanes::pixels;
    vector sum[N];
    for (std::int32_t k = 0; k < N; ++k)
        sum[k] = vector{};
    for (std::int32_t c = 0; c < lanes.cells.count; ++c) {
        const typename Lanes::value* p = lines[lanes.cells.row[c]] + 4 * (x0 + lanes.cells.column[c]);
        const auto w = lanes.cells.weight[c];
        for (std::int32_t k = 0; k < N; ++k)
            sum[k] += w * Lanes::load(p + k * stride);
    }
    for (std::int32_t k = 0; k < N; ++k)
        lanes.store(sum[k], out + k * stride, with_alpha);
}

template <std::int32_t Radius, typename Lanes>
[[gnu::always_inline]] inline void window_rows(const Lanes& lanes, const float* weights, const Tfbitmap& source,
                                               Tfbitmap& destination, bool with_alpha, std::int32_t first,
                                               std::int32_t last)
{
    constexpr std::int32_t side = 2 * Radius + 1;
    constexpr std::int32_t step = Lanes::pixels;
    const std::int32_t width = source.width();
    const std::int32_t height = source.height();
    trow_cache<typename Lanes::value> rows(width, side);
    for (std::int32_t y = first; y < last; ++y) {
        std::uint8_t* out = destination.row(y);
        if (y < Radius || y >= height - Radius || width <= 2 * Radius) {
            for (std::int32_t x = 0; x < width; ++x)
                store_pixel(window_sum(weights, Radius, source, x, y), out + 4 * x, with_alpha);
            continue;
        }
        const typename Lanes::value* lines[side];
        for (std::int32_t j = 0; j < side; ++j)
            lines[j] = rows.row(source, y - Radius + j);
        for (std::int32_t x = 0; x < Radius; ++x)
            store_pixel(window_sum(weights, Radius, source, x, y), out + 4 * x, with_alpha);
        std::int32_t x = Radius;
        for (; x + 8 * step <= width - Radius; x += 8 * step)
            chunk<8>(lanes, lines, x - Radius, out + 4 * x, with_alpha);
        for (; x + step <= width - Radius; x += step)
            chunk<1>(lanes, lines, x - Radius, out + 4 * x, with_alpha);
        for (; x < width; ++x)
            store_pixel(window_sum(weights, Radius, source, x, y), out + 4 * x, with_alpha);
    }
}

template <std::int32_t Radius, typename Lanes>
[[gnu::always_inline]] inline void rows_body(const Lanes& lanes, const float* weights, const Tfbitmap& source,
                                             Tfbitmap& destination, bool with_alpha, std::int32_t first,
                                             std::int32_t last)
{
    if constexpr (requires { lanes.row_weight; })
        separable_rows<Radius>(lanes, source, destination, with_alpha, first, last);
    else
        window_rows<Radius>(lanes, weights, source, destination, with_alpha, first, last);
}

template <typename Lanes>
using trows = void (*)(const Lanes&, const float*, const Tfbitmap&, Tfbitmap&, bool, std::int32_t, std::int32_t);

template <std::int32_t Radius, typename Lanes>
void rows_portable(const Lanes& lanes, const float* weights, const Tfbitmap& source, Tfbitmap& destination,
                   bool with_alpha, std::int32_t first, std::int32_t last)
{
    rows_body<Radius>(lanes, weights, source, destination, with_alpha, first, last);
}

#if defined(__x86_64__)
template <std::int32_t Radius, typename Lanes>
[[gnu::target("avx2")]] void rows_avx2(const Lanes& lanes, const float* weights, const Tfbitmap& source,
                                       Tfbitmap& destination, bool with_alpha, std::int32_t first, std::int32_t last)
{
    rows_body<Radius>(lanes, weights, source, destination, with_alpha, first, last);
}
#endif

#if defined(__x86_64__)
template <std::int32_t Radius, typename Lanes>
[[gnu::target("avx512f,avx512bw")]] void rows_avx512(const Lanes& lanes, const float* weights, const Tfbitmap& source,
                                                     Tfbitmap& destination, bool with_alpha, std::int32_t first,
                                                     std::int32_t last)
{
    rows_body<Radius>(lanes, weights, source, destination, with_alpha, first, last);
}
#endif

template <typename Lanes>
trows<Lanes> pick_rows(std::int32_t radius, tkernel_set set)
{
#if defined(__x86_64__)
    if (avx2_allowed(set))
        return radius == 1 ? rows_avx2<1, Lanes> : rows_avx2<2, Lanes>;
#endif
    return radius == 1 ? rows_portable<1, Lanes> : rows_portable<2, Lanes>;
}

// Only the 16-bit and float parts of AVX-512, fewer than avx512_allowed asks for.
bool avx512_available(tkernel_set set)
{
#if defined(__x86_64__)
    static const bool available = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return available && (set == tkernel_set::best || set == tkernel_set::avx512);
#else
    return false;
#endif
}

} // namespace

void convolve(const tnoyau_de_convolution& kernel, const Tfbitmap& source, Tfbitmap& destination, bool with_alpha,
              const tselection* selection, std::int32_t left, std::int32_t top, tkernel_set set)
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
        const auto run_rows = [&](const auto& lanes, const auto rows) {
            rows_with_progress(visited.top, visited.bottom, std::int64_t(visited.width()) * side * side,
                               [&](std::int32_t first, std::int32_t last) {
                rows(lanes, weights.data(), source, destination, with_alpha, first, last);
            });
        };
        const auto run = [&](const auto& lanes) { run_rows(lanes, pick_rows<std::decay_t<decltype(lanes)>>(radius, set)); };
        const auto run_wide = [&](const auto& lanes) {
            using tlanes = std::decay_t<decltype(lanes)>;
            run_rows(lanes, radius == 1 ? rows_avx512<1, tlanes> : rows_avx512<2, tlanes>);
        };
        tshort_lanes8 wide;
        tshort_lanes4 exact;
        tseparable_lanes<tshort_lanes8> wide_separable;
        tseparable_lanes<tshort_lanes4> separable;
        if (avx512_available(set) && integer_kernel(weights.data(), side, wide)) {
            if (separable_kernel(wide, side, wide_separable))
                run_wide(wide_separable);
            else
                run_wide(wide);
        } else if (integer_kernel(weights.data(), side, exact)) {
            if (separable_kernel(exact, side, separable))
                run(separable);
            else
                run(exact);
        }
        else if (avx512_available(set))
            run_rows(tfloat_lanes4(weights.data(), side),
                     radius == 1 ? rows_avx512<1, tfloat_lanes4> : rows_avx512<2, tfloat_lanes4>);
        else
            run(tfloat_lanes2(weights.data(), side));
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
