#include "selection/resample.h"

#include "document/parallel.h"
#include "shell/progress.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace velmora {

namespace {

constexpr std::array<tresample_filter_info, 7> filters = {{
    {"Box", 0.5f},
    {"Triangle", 1.0f},
    {"Hermite", 1.0f},
    {"Bell", 1.5f},
    {"B-Spline", 2.0f},
    {"Lanczos3", 3.0f},
    {"Mitchell", 2.0f},
}};

float sinc(float t)
{
    if (t == 0.0f)
        return 1.0f;
    const float x = std::numbers::pi_v<float> * t;
    return std::sin(x) / x;
}

// Source indices and weights that make one destination pixel.
struct tcontributors {
    std::vector<std::int32_t> index;
    std::vector<float> weight;
    std::vector<std::size_t> first; // per destination pixel, into index/weight; one extra at the end
};

// Reflects an index that falls outside 0..size-1 back inside: -j before the
// start, 2 * size - 1 - j after the end. Windows wider than the source (a
// few pixels scaled with a wide kernel) can reflect past the other edge;
// those are held at it rather than read outside the raster.
std::int32_t mirror(std::int32_t j, std::int32_t size)
{
    if (j < 0)
        j = -j;
    if (j >= size)
        j = 2 * size - 1 - j;
    return std::clamp(j, 0, size - 1);
}

tcontributors contributors(std::int32_t source_size, std::int32_t destination_size, tresample_filter filter)
{
    const float support = resample_filter_info(filter).support;
    const float scale = float(destination_size) / float(source_size);
    tcontributors c;
    c.first.reserve(std::size_t(destination_size) + 1);
    for (std::int32_t i = 0; i < destination_size; ++i) {
        c.first.push_back(c.index.size());
        const float centre = float(i) / scale;
        const float reach = scale >= 1.0f ? support : support / scale;
        const float stretch = scale >= 1.0f ? 1.0f : 1.0f / scale;
        const auto left = std::int32_t(std::floor(centre - reach));
        const auto right = std::int32_t(std::ceil(centre + reach));
        for (std::int32_t j = left; j <= right; ++j) {
            const float weight = scale >= 1.0f ? resample_kernel(filter, centre - float(j))
                                               : resample_kernel(filter, (centre - float(j)) / stretch) / stretch;
            if (weight == 0.0f)
                continue;
            c.index.push_back(mirror(j, source_size));
            c.weight.push_back(weight);
        }
    }
    c.first.push_back(c.index.size());
    return c;
}

// Four channels of one pixel, in single precision.
using tpixel4 = float __attribute__((vector_size(16)));

tpixel4 load_pixel(const std::uint8_t* p)
{
    return tpixel4{float(p[0]), float(p[1]), float(p[2]), float(p[3])};
}

// Clamps to 0..255 and rounds halves to even: adding and taking away 2^23
// rounds a float below 2^22 to an integer, halves to even.
void store_pixel(const tpixel4& sum, std::uint8_t* out, int channels)
{
    const tpixel4 clamped = sum > 255.0f ? 255.0f : (sum < 0.0f ? 0.0f : sum);
    const tpixel4 rounded = (clamped + 8388608.0f) - 8388608.0f;
    for (int c = 0; c < channels; ++c)
        out[c] = std::uint8_t(rounded[c]);
}

// Both passes; `channels` is 4, or 3 to leave alpha alone.
void resample_passes(const Tfbitmap& source, Tfbitmap& destination, tresample_filter filter, int channels,
                     bool show_progress)
{
    const std::int32_t w = source.width(), h = source.height();
    const std::int32_t w2 = destination.width(), h2 = destination.height();
    if (destination.empty())
        return;
    if (source.empty()) {
        destination.fill_pixels(0, 0, 0, 0);
        return;
    }
    if (show_progress) {
        progress_set_total(h + w2);
        progress_set_position(0);
    }

    // Rows: source w x h into work w2 x h.
    const tcontributors across = contributors(w, w2, filter);
    Tfbitmap work(w2, h);
    if (channels == 3)
        work.fill_pixels(0, 0, 0, 255);
    parallel_rows(0, h, std::int64_t(w2) * h * 8, [&](std::int32_t first, std::int32_t last) {
        std::vector<tpixel4> row(static_cast<std::size_t>(w));
        for (std::int32_t y = first; y < last; ++y) {
            const std::uint8_t* src = source.row(y);
            for (std::int32_t x = 0; x < w; ++x)
                row[std::size_t(x)] = load_pixel(src + 4 * std::size_t(x));
            std::uint8_t* out = work.row(y);
            for (std::int32_t i = 0; i < w2; ++i) {
                tpixel4 sum = {0, 0, 0, 0};
                for (std::size_t k = across.first[std::size_t(i)]; k < across.first[std::size_t(i) + 1]; ++k)
                    sum += across.weight[k] * row[std::size_t(across.index[k])];
                store_pixel(sum, out + 4 * std::size_t(i), channels);
            }
        }
    });
    if (show_progress)
        progress_step(h);

    // Columns: work w2 x h into destination w2 x h2. Each destination row adds
    // its source rows in window order, so every pixel sums in the same order
    // as a column-by-column pass would.
    const tcontributors down = contributors(h, h2, filter);
    parallel_rows(0, h2, std::int64_t(w2) * h2 * 8, [&](std::int32_t first, std::int32_t last) {
        std::vector<tpixel4> sums(static_cast<std::size_t>(w2));
        for (std::int32_t y = first; y < last; ++y) {
            std::fill(sums.begin(), sums.end(), tpixel4{0, 0, 0, 0});
            for (std::size_t k = down.first[std::size_t(y)]; k < down.first[std::size_t(y) + 1]; ++k) {
                const std::uint8_t* src = work.row(down.index[k]);
                const float weight = down.weight[k];
                for (std::size_t x = 0; x < std::size_t(w2); ++x)
                    sums[x] += weight * load_pixel(src + 4 * x);
            }
            std::uint8_t* out = destination.row(y);
            for (std::int32_t x = 0; x < w2; ++x)
                store_pixel(sums[std::size_t(x)], out + 4 * std::size_t(x), channels);
        }
    });
    if (show_progress) {
        progress_step(w2);
        progress_set_position(0);
    }
}

} // namespace

const tresample_filter_info& resample_filter_info(tresample_filter filter)
{
    return filters[std::size_t(filter)];
}

const tresample_filter_info* find_resample_filter(std::string_view name, tresample_filter* filter)
{
    for (std::size_t i = 0; i < filters.size(); ++i)
        if (filters[i].name == name) {
            if (filter)
                *filter = tresample_filter(i);
            return &filters[i];
        }
    return nullptr;
}

float resample_kernel(tresample_filter filter, float x)
{
    const float a = std::fabs(x);
    switch (filter) {
    case tresample_filter::box: return x > -0.5f && x <= 0.5f ? 1.0f : 0.0f;
    case tresample_filter::triangle: return a < 1.0f ? 1.0f - a : 0.0f;
    case tresample_filter::hermite: return a < 1.0f ? (2.0f * a - 3.0f) * a * a + 1.0f : 0.0f;
    case tresample_filter::bell:
        if (a < 0.5f)
            return 0.75f - a * a;
        if (a < 1.5f)
            return 0.5f * (a - 1.5f) * (a - 1.5f);
        return 0.0f;
    case tresample_filter::b_spline:
        if (a < 1.0f)
            return 0.5f * a * a * a - a * a + 2.0f / 3.0f;
        if (a < 2.0f)
            return (2.0f - a) * (2.0f - a) * (2.0f - a) / 6.0f;
        return 0.0f;
    case tresample_filter::lanczos3: return a < 3.0f ? sinc(a) * sinc(a / 3.0f) : 0.0f;
    case tresample_filter::mitchell:
        if (a < 1.0f)
            return (7.0f * a * a * a - 12.0f * a * a + 16.0f / 3.0f) / 6.0f;
        if (a < 2.0f)
            return (-(7.0f / 3.0f) * a * a * a + 12.0f * a * a - 20.0f * a + 32.0f / 3.0f) / 6.0f;
        return 0.0f;
    }
    return 0.0f;
}

void resample(const Tfbitmap& source, Tfbitmap& destination, tresample_filter filter)
{
    resample_passes(source, destination, filter, 4, true);
}

void resample_24(Tfbitmap& source, Tfbitmap& destination, tresample_filter filter)
{
    make_opaque(source);
    resample_passes(source, destination, filter, 3, false);
    make_opaque(destination);
}

} // namespace velmora
