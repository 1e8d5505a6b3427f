#include "formats/vlm_thumbnail.h"

#include "document/composite.h"
#include "document/rounding.h"
#include "formats/vlm_format.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace velmora {

namespace {

constexpr float lanczos3_support = 3.0f;

float sinc(float t)
{
    if (t == 0.0f)
        return 1.0f;
    const float x = std::numbers::pi_v<float> * t;
    return std::sin(x) / x;
}

float lanczos3(float x)
{
    const float a = std::fabs(x);
    if (a < lanczos3_support)
        return sinc(a) * sinc(a / 3.0f);
    return 0.0f;
}

struct tcontribution {
    std::int32_t index;
    float weight;
};

// For each destination index, the source samples it mixes. Indices beyond an
// edge mirror back into the source; very small sources can mirror past the
// other edge, so the result is clamped as well.
std::vector<std::vector<tcontribution>> contributions(std::int32_t source_size, std::int32_t destination_size)
{
    std::vector<std::vector<tcontribution>> result(static_cast<std::size_t>(destination_size));
    const float scale = float(destination_size) / float(source_size);
    for (std::int32_t i = 0; i < destination_size; ++i) {
        const float centre = float(i) / scale;
        const bool shrinking = scale < 1.0f;
        const float width = shrinking ? lanczos3_support / scale : lanczos3_support;
        const float f = 1.0f / scale;
        const auto left = std::int32_t(std::floor(centre - width));
        const auto right = std::int32_t(std::ceil(centre + width));
        auto& list = result[std::size_t(i)];
        list.reserve(std::size_t(right - left + 1));
        for (std::int32_t j = left; j <= right; ++j) {
            const float weight =
                shrinking ? lanczos3((centre - float(j)) / f) / f : lanczos3(centre - float(j));
            if (weight == 0.0f)
                continue;
            std::int32_t n = j < 0 ? -j : (j >= source_size ? 2 * source_size - 1 - j : j);
            n = std::clamp(n, 0, source_size - 1);
            list.push_back({n, weight});
        }
    }
    return result;
}

std::uint8_t to_byte(float value)
{
    if (value > 255.0f)
        return 255;
    if (value < 0.0f)
        return 0;
    return std::uint8_t(round_half_even(static_cast<long double>(value)));
}

} // namespace

void resample_lanczos3(const Tfbitmap& source, Tfbitmap& destination)
{
    const std::int32_t w = source.width();
    const std::int32_t h = source.height();
    const std::int32_t w2 = destination.width();
    const std::int32_t h2 = destination.height();
    if (w2 == 0 || h2 == 0)
        return;
    if (w == 0 || h == 0) {
        destination.fill_pixels(0, 0, 0, 0);
        return;
    }

    Tfbitmap work(w2, h);
    const auto columns = contributions(w, w2);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* src = source.row(y);
        std::uint8_t* dst = work.row(y);
        for (std::int32_t i = 0; i < w2; ++i, dst += 4) {
            float sum[4] = {0, 0, 0, 0};
            for (const tcontribution& c : columns[std::size_t(i)]) {
                const std::uint8_t* p = src + 4 * std::size_t(c.index);
                for (int k = 0; k < 4; ++k)
                    sum[k] += c.weight * float(p[k]);
            }
            for (int k = 0; k < 4; ++k)
                dst[k] = to_byte(sum[k]);
        }
    }

    const auto rows = contributions(h, h2);
    for (std::int32_t j = 0; j < h2; ++j) {
        std::uint8_t* dst = destination.row(j);
        const auto& list = rows[std::size_t(j)];
        for (std::int32_t x = 0; x < w2; ++x, dst += 4) {
            float sum[4] = {0, 0, 0, 0};
            for (const tcontribution& c : list) {
                const std::uint8_t* p = work.pixel(x, c.index);
                for (int k = 0; k < 4; ++k)
                    sum[k] += c.weight * float(p[k]);
            }
            for (int k = 0; k < 4; ++k)
                dst[k] = to_byte(sum[k]);
        }
    }
}

Tfbitmap make_vlm_thumbnail(const tdocument& doc)
{
    const Tfbitmap flat = flatten_image(doc);
    const tvlm_size size = vlm_thumbnail_size(flat.width(), flat.height());
    Tfbitmap thumbnail(size.width, size.height);
    resample_lanczos3(flat, thumbnail);
    return thumbnail;
}

} // namespace velmora
