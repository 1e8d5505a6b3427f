#include "filters/blur.h"

#include "document/rounding.h"
#include "filters/filter_framework.h"
#include "filters/row_blocks.h"
#include "shell/catalogue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace velmora {

tgaussian_kernel gaussian_kernel(float sigma)
{
    tgaussian_kernel kernel;
    double sum = 0;
    for (std::int32_t i = -100; i <= 100; ++i) {
        const double t = double(i) / double(sigma);
        kernel.weights[std::size_t(i + 100)] = float(std::exp(-t * t / 2));
        sum += kernel.weights[std::size_t(i + 100)];
    }
    for (float& w : kernel.weights)
        w = float(w / sum);
    std::int32_t radius = 100;
    double tail = 0;
    while (tail < 1.0 / 510 && radius > 1) {
        tail += 2.0 * kernel.weight(radius);
        --radius;
    }
    kernel.radius = std::uint8_t(radius);
    double kept = 0;
    for (std::int32_t i = -radius; i <= radius; ++i)
        kept += kernel.weight(i);
    for (std::int32_t i = -radius; i <= radius; ++i)
        kernel.weights[std::size_t(i + 100)] = float(kernel.weight(i) / kept);
    return kernel;
}

namespace {

// One pixel's four channels in one vector: each channel's sum is built in
// the order of the taps, exactly as a scalar loop would.
using vdouble = double __attribute__((vector_size(4 * sizeof(double))));
using vint = std::int32_t __attribute__((vector_size(4 * sizeof(std::int32_t))));
using vbyte = std::uint8_t __attribute__((vector_size(4)));

[[gnu::always_inline]] inline vdouble load_pixel(const std::uint8_t* p)
{
    vbyte b;
    std::memcpy(&b, p, sizeof b);
    return __builtin_convertvector(__builtin_convertvector(b, vint), vdouble);
}

// 0 below 0, 255 from 255 up, truncated between.
[[gnu::always_inline]] inline void store_truncated(vdouble s, std::uint8_t* out, bool with_alpha)
{
    const vdouble zero = {0, 0, 0, 0};
    const vdouble top = {255, 255, 255, 255};
    s = s < zero ? zero : s;
    s = s > top ? top : s;
    const vint v = __builtin_convertvector(s, vint);
    out[0] = std::uint8_t(v[0]);
    out[1] = std::uint8_t(v[1]);
    out[2] = std::uint8_t(v[2]);
    if (with_alpha)
        out[3] = std::uint8_t(v[3]);
}

// Vector types lose their alignment as template arguments, so scratch lines
// hold plain doubles, four per pixel, read and written without alignment.
struct tline_scratch {
    std::vector<double> padded;
    std::vector<std::uint8_t> bytes;
    std::vector<double> sums;
};

[[gnu::always_inline]] inline vdouble load_quad(const double* p)
{
    vdouble v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void store_quad(double* p, const vdouble& v)
{
    std::memcpy(p, &v, sizeof v);
}

// taps[t] is w[t - r]; out[p] = sum over t of taps[t] * in[p - (t - r)].
[[gnu::always_inline]] inline void gaussian_row_body(const double* taps, std::int32_t radius, std::uint8_t* pixels,
                                                     std::int32_t n, bool with_alpha, tline_scratch& scratch)
{
    const std::int32_t span = 2 * radius;
    scratch.padded.resize(4 * std::size_t(n + span));
    double* padded = scratch.padded.data();
    for (std::int32_t q = 0; q < n + span; ++q)
        store_quad(padded + 4 * q, load_pixel(pixels + 4 * std::clamp(q - radius, 0, n - 1)));
    std::int32_t p = 0;
    // Four outputs at a time keep four independent sums in flight.
    for (; p + 4 <= n; p += 4) {
        vdouble s0 = {0, 0, 0, 0}, s1 = s0, s2 = s0, s3 = s0;
        const double* base = padded + 4 * (p + span);
        for (std::int32_t t = 0; t <= span; ++t) {
            const double w = taps[t];
            const double* at = base - 4 * t;
            s0 += w * load_quad(at);
            s1 += w * load_quad(at + 4);
            s2 += w * load_quad(at + 8);
            s3 += w * load_quad(at + 12);
        }
        store_truncated(s0, pixels + 4 * p, with_alpha);
        store_truncated(s1, pixels + 4 * (p + 1), with_alpha);
        store_truncated(s2, pixels + 4 * (p + 2), with_alpha);
        store_truncated(s3, pixels + 4 * (p + 3), with_alpha);
    }
    for (; p < n; ++p) {
        vdouble s = {0, 0, 0, 0};
        for (std::int32_t t = 0; t <= span; ++t)
            s += taps[t] * load_quad(padded + 4 * (p + span - t));
        store_truncated(s, pixels + 4 * p, with_alpha);
    }
}

// Columns [x0, x1) of every row: the band is copied out first, so each output
// reads the unmodified horizontal results.
[[gnu::always_inline]] inline void gaussian_band_body(const double* taps, std::int32_t radius, Tfbitmap& bitmap,
                                                      std::int32_t x0, std::int32_t x1, bool with_alpha,
                                                      tline_scratch& scratch)
{
    const std::int32_t w = x1 - x0;
    const std::int32_t h = bitmap.height();
    scratch.bytes.resize(std::size_t(w) * 4 * std::size_t(h));
    for (std::int32_t y = 0; y < h; ++y)
        std::memcpy(scratch.bytes.data() + std::size_t(y) * 4 * std::size_t(w), bitmap.pixel(x0, y),
                    4 * std::size_t(w));
    scratch.sums.resize(4 * std::size_t(w));
    double* sums = scratch.sums.data();
    for (std::int32_t y = 0; y < h; ++y) {
        std::fill(sums, sums + 4 * w, 0.0);
        for (std::int32_t t = 0; t <= 2 * radius; ++t) {
            const std::int32_t source_row = std::clamp(y - (t - radius), 0, h - 1);
            const std::uint8_t* in = scratch.bytes.data() + std::size_t(source_row) * 4 * std::size_t(w);
            const double weight = taps[t];
            for (std::int32_t i = 0; i < w; ++i)
                store_quad(sums + 4 * i, load_quad(sums + 4 * i) + weight * load_pixel(in + 4 * i));
        }
        std::uint8_t* out = bitmap.pixel(x0, y);
        for (std::int32_t i = 0; i < w; ++i)
            store_truncated(load_quad(sums + 4 * i), out + 4 * i, with_alpha);
    }
}

void gaussian_row_portable(const double* taps, std::int32_t radius, std::uint8_t* pixels, std::int32_t n,
                           bool with_alpha, tline_scratch& scratch)
{
    gaussian_row_body(taps, radius, pixels, n, with_alpha, scratch);
}

void gaussian_band_portable(const double* taps, std::int32_t radius, Tfbitmap& bitmap, std::int32_t x0,
                            std::int32_t x1, bool with_alpha, tline_scratch& scratch)
{
    gaussian_band_body(taps, radius, bitmap, x0, x1, with_alpha, scratch);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void gaussian_row_avx2(const double* taps, std::int32_t radius, std::uint8_t* pixels,
                                               std::int32_t n, bool with_alpha, tline_scratch& scratch)
{
    gaussian_row_body(taps, radius, pixels, n, with_alpha, scratch);
}

[[gnu::target("avx2")]] void gaussian_band_avx2(const double* taps, std::int32_t radius, Tfbitmap& bitmap,
                                                std::int32_t x0, std::int32_t x1, bool with_alpha,
                                                tline_scratch& scratch)
{
    gaussian_band_body(taps, radius, bitmap, x0, x1, with_alpha, scratch);
}

bool use_avx2()
{
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}
#else
bool use_avx2() { return false; }
#endif

std::vector<double> kernel_taps(const tgaussian_kernel& kernel)
{
    std::vector<double> taps;
    for (std::int32_t k = -kernel.radius; k <= kernel.radius; ++k)
        taps.push_back(kernel.weight(k));
    return taps;
}

} // namespace

void gaussian_line(const tgaussian_kernel& kernel, std::uint8_t* pixels, std::int32_t n, std::ptrdiff_t stride,
                   bool with_alpha)
{
    const std::vector<double> taps = kernel_taps(kernel);
    std::vector<std::uint8_t> line(std::size_t(n) * 4);
    for (std::int32_t p = 0; p < n; ++p)
        std::memcpy(line.data() + 4 * p, pixels + p * stride, 4);
    tline_scratch scratch;
    gaussian_row_portable(taps.data(), kernel.radius, line.data(), n, with_alpha, scratch);
    for (std::int32_t p = 0; p < n; ++p)
        std::memcpy(pixels + p * stride, line.data() + 4 * p, 4);
}

void gaussian_blur(tdocument& doc, tcalque& target, bool with_alpha, std::int32_t extra_progress, float sigma)
{
    if (with_alpha) {
        const auto margin = std::int32_t(sigma) + 1;
        grow_layer(doc, target, margin, margin, target.left, target.top);
    }
    const tgaussian_kernel kernel = gaussian_kernel(sigma);
    const std::vector<double> taps = kernel_taps(kernel);
    Tfbitmap& bitmap = target.bitmap;
    const std::int32_t width = bitmap.width();
    const std::int32_t height = bitmap.height();
    tprogress_scope progress(translate("@ch_rendering"), height + width + extra_progress);
    if (bitmap.empty())
        return;
    const bool avx2 = use_avx2();
    const std::int64_t taps_count = std::int64_t(taps.size());
    rows_with_progress(0, height, std::int64_t(width) * taps_count, [&](std::int32_t first, std::int32_t last) {
        tline_scratch scratch;
        for (std::int32_t y = first; y < last; ++y) {
            if (avx2)
                gaussian_row_avx2(taps.data(), kernel.radius, bitmap.row(y), width, with_alpha, scratch);
            else
                gaussian_row_portable(taps.data(), kernel.radius, bitmap.row(y), width, with_alpha, scratch);
        }
    });
    // Bands of columns narrow enough that their sums stay in the first cache.
    constexpr std::int32_t band = 128;
    constexpr std::int32_t bands_per_step = 8;
    const std::int32_t bands = (width + band - 1) / band;
    for (std::int32_t first_band = 0; first_band < bands; first_band += bands_per_step) {
        const std::int32_t last_band = std::min(bands, first_band + bands_per_step);
        parallel_rows(first_band, last_band, std::int64_t(last_band - first_band) * band * height * taps_count,
                      [&](std::int32_t first, std::int32_t last) {
            tline_scratch scratch;
            for (std::int32_t b = first; b < last; ++b) {
                const std::int32_t x0 = b * band;
                const std::int32_t x1 = std::min(width, x0 + band);
                if (avx2)
                    gaussian_band_avx2(taps.data(), kernel.radius, bitmap, x0, x1, with_alpha, scratch);
                else
                    gaussian_band_portable(taps.data(), kernel.radius, bitmap, x0, x1, with_alpha, scratch);
            }
        });
        progress_step(std::min(width, last_band * band) - first_band * band);
    }
}

trect blur_rectangle(const Tfbitmap& target, const tadjust_area& area)
{
    return area.selection ? selection_extent_on_target(*area.selection, target, area.left, area.top)
                          : target.bounds();
}

namespace {

// The blur's centre in target coordinates: the target's middle, or the
// middle of the selection's raster.
void blur_centre(std::int32_t width, std::int32_t height, const tadjust_area& area, std::int32_t& cx,
                 std::int32_t& cy)
{
    if (area.selection) {
        cx = area.selection->left + area.selection->mask.width() / 2 - area.left;
        cy = area.selection->top + area.selection->mask.height() / 2 - area.top;
    } else {
        cx = width / 2;
        cy = height / 2;
    }
}

// Writes round(sum / count) to each channel, or with a selection the value
// mixed with the pixel's own by coverage.
template <typename Sum>
void write_average(const Sum* sums, std::int64_t count, const std::uint8_t* before, std::uint8_t* out, int coverage,
                   bool with_alpha)
{
    const int channels = with_alpha ? 4 : 3;
    for (int k = 0; k < channels; ++k) {
        std::int64_t v;
        if (coverage < 0) {
            // round(sum / count) in integers: the sums are whole numbers.
            const auto sum = static_cast<std::int64_t>(sums[k]);
            const std::int64_t q = sum / count;
            const std::int64_t twice_rest = 2 * (sum - q * count);
            v = q + ((twice_rest > count || (twice_rest == count && (q & 1) != 0)) ? 1 : 0);
        } else {
            const long double mean = static_cast<long double>(sums[k]) / count;
            v = round_half_even((mean - before[k]) * (coverage / 255.0L) + before[k]);
        }
        out[k] = std::uint8_t(std::clamp<std::int64_t>(v, 0, 255));
    }
}

// Runs pixel(x, y, coverage) over the processed rectangle; coverage is -1
// without a selection, pixels with coverage 0 are skipped.
template <typename Pixel>
void for_blur_pixels(const Tfbitmap& target, const tadjust_area& area, std::int64_t work_per_pixel, Pixel pixel)
{
    const trect rect = blur_rectangle(target, area);
    tprogress_scope progress(translate("@ch_rendering"), rect.height());
    rows_with_progress(rect.top, rect.bottom, std::int64_t(rect.width()) * work_per_pixel,
                       [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y)
            for (std::int32_t x = rect.left; x < rect.right; ++x) {
                int coverage = -1;
                if (area.selection) {
                    coverage = selection_coverage(*area.selection, x + area.left, y + area.top);
                    if (coverage == 0)
                        continue;
                }
                pixel(x, y, coverage);
            }
    });
}

} // namespace

void motion_blur(Tfbitmap& destination, const Tfbitmap& source, std::int32_t speed, std::int32_t angle,
                 bool with_alpha, const tadjust_area& area)
{
    speed = std::max(speed, 1);
    const double radians = angle * std::numbers::pi / 180.0;
    const auto dxl = std::int32_t(round_half_even(-std::cos(radians) * speed));
    const auto dyl = std::int32_t(round_half_even(std::sin(radians) * speed));
    // The walk is the same from every pixel: list its offsets once. Its
    // values are small integers, exact in any precision.
    const bool y_major = std::abs(dxl) < std::abs(dyl);
    const std::int32_t major = std::max(std::abs(dxl), std::abs(dyl));
    const std::int32_t minor = std::min(std::abs(dxl), std::abs(dyl));
    const std::int32_t step_x = (dxl > 0) - (dxl < 0);
    const std::int32_t step_y = (dyl > 0) - (dyl < 0);
    std::vector<std::pair<std::int32_t, std::int32_t>> walk;
    std::int32_t wx = 0, wy = 0, error = 2 * minor - major;
    for (std::int32_t i = 0; i < speed; ++i) {
        walk.emplace_back(wx, wy);
        while (error >= 0 && major > 0) {
            (y_major ? wx : wy) += y_major ? step_x : step_y;
            error -= 2 * major;
        }
        (y_major ? wy : wx) += y_major ? step_y : step_x;
        error += 2 * minor;
    }
    const trect rect = blur_rectangle(destination, area);
    for_blur_pixels(destination, area, speed, [&](std::int32_t x, std::int32_t y, int coverage) {
        std::int64_t sums[4] = {0, 0, 0, 0};
        std::int64_t count = 0;
        for (const auto& [ox, oy] : walk) {
            const std::int32_t sx = x + ox;
            const std::int32_t sy = y + oy;
            if (sx < rect.left || sx >= rect.right || sy < rect.top || sy >= rect.bottom)
                break;
            const std::uint8_t* p = source.pixel(sx, sy);
            for (int k = 0; k < 4; ++k)
                sums[k] += p[k];
            ++count;
        }
        write_average(sums, count, source.pixel(x, y), destination.pixel(x, y), coverage, with_alpha);
    });
}

void zoom_blur(Tfbitmap& destination, const Tfbitmap& source, std::int32_t samples, bool with_alpha,
               const tadjust_area& area)
{
    std::int32_t cx = 0, cy = 0;
    blur_centre(destination.width(), destination.height(), area, cx, cy);
    const trect rect = blur_rectangle(destination, area);
    const double dw = rect.width() - 1;
    const double dh = rect.height() - 1;
    const auto step = float(std::sqrt(dh * dh + dw * dw) / 2 / 50000);
    std::vector<double> scales;
    for (std::int32_t v = 0; v < samples; ++v)
        scales.push_back(double(1.0f + float(v) * step));
    for_blur_pixels(destination, area, samples, [&](std::int32_t x, std::int32_t y, int coverage) {
        std::int64_t sums[4] = {0, 0, 0, 0};
        std::int64_t count = 0;
        for (const double s : scales) {
            const double sx = (x - cx) * s + cx;
            const double sy = (y - cy) * s + cy;
            if (sx < rect.left || sx > rect.right - 1 || sy < rect.top || sy > rect.bottom - 1)
                continue;
            const std::uint8_t* p =
                source.pixel(round_half_even_non_negative(sx), round_half_even_non_negative(sy));
            for (int k = 0; k < 4; ++k)
                sums[k] += p[k];
            ++count;
        }
        if (count > 0)
            write_average(sums, count, source.pixel(x, y), destination.pixel(x, y), coverage, with_alpha);
    });
}

namespace {

struct tradial_setup {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    std::int32_t samples = 0;
};

tradial_setup radial_setup(std::int32_t width, std::int32_t height, const tadjust_area& area, std::int32_t angle)
{
    tradial_setup setup;
    blur_centre(width, height, area, setup.cx, setup.cy);
    const double mx = std::max(width - setup.cx, setup.cx);
    const double my = std::max(height - setup.cy, setup.cy);
    const double r0 = std::sqrt(mx * mx + my * my);
    const double radians = angle * std::numbers::pi / 180.0;
    setup.samples = std::int32_t(round_half_even(std::sqrt(r0) * 4 * radians + 2));
    return setup;
}

} // namespace

std::int32_t radial_blur_samples(std::int32_t width, std::int32_t height, const tadjust_area& area,
                                 std::int32_t angle)
{
    return radial_setup(width, height, area, angle).samples;
}

namespace {

struct tradial_tables {
    const double* cosines;
    const double* sines;
    const long double* cosines_extended;
    const long double* sines_extended;
    std::int32_t n;
    std::int32_t cx;
    std::int32_t cy;
    trect rect;
};

// Sample positions are first computed in double precision. They stray from
// the extended ones by far less than 1e-9, so only a position that close to
// a whole number (a bound) or a half (a rounding tie) can decide otherwise;
// those few are computed again as written, in extended precision.
constexpr double position_margin = 1e-7;
constexpr double round_shift = 0x1.8p52; // adding it rounds to nearest, ties to even

[[gnu::always_inline]] inline void add_sample(const Tfbitmap& source, std::int32_t px, std::int32_t py,
                                              std::int64_t* sums, std::int64_t& count)
{
    const std::uint8_t* p = source.pixel(px, py);
    for (int c = 0; c < 4; ++c)
        sums[c] += p[c];
    ++count;
}

[[gnu::always_inline]] inline void radial_sample(const tradial_tables& t, const Tfbitmap& source, std::int32_t x,
                                                 std::int32_t y, std::int32_t k, std::int64_t* sums,
                                                 std::int64_t& count)
{
    const auto risky = [](double v, double& nearest) {
        nearest = (v + round_shift) - round_shift;
        const double distance = std::fabs(v - nearest);
        return distance < position_margin || std::fabs(distance - 0.5) < position_margin;
    };
    const double dxd = x - t.cx;
    const double dyd = y - t.cy;
    const double xd = dxd * t.cosines[k] + dyd * t.sines[k] + t.cx;
    const double yd = t.cy - dxd * t.sines[k] + dyd * t.cosines[k];
    double rx, ry;
    if (!risky(xd, rx) && !risky(yd, ry)) {
        if (xd < t.rect.left || xd > t.rect.right - 1 || yd < t.rect.top || yd > t.rect.bottom - 1)
            return;
        add_sample(source, std::int32_t(rx), std::int32_t(ry), sums, count);
        return;
    }
    const long double dx = x - t.cx;
    const long double dy = y - t.cy;
    const long double sx = dx * t.cosines_extended[k] + dy * t.sines_extended[k] + t.cx;
    const long double sy = t.cy - dx * t.sines_extended[k] + dy * t.cosines_extended[k];
    if (sx < t.rect.left || sx > t.rect.right - 1 || sy < t.rect.top || sy > t.rect.bottom - 1)
        return;
    add_sample(source, round_half_even_non_negative(sx), round_half_even_non_negative(sy), sums, count);
}

// Four angles at a time; a group with any position near a bound or a tie
// goes through the one-at-a-time path.
[[gnu::always_inline]] inline void radial_sums_body(const tradial_tables& t, const Tfbitmap& source, std::int32_t x,
                                                    std::int32_t y, std::int64_t* sums, std::int64_t& count)
{
    const double dxd = x - t.cx;
    const double dyd = y - t.cy;
    const vdouble dxv = vdouble{} + dxd, dyv = vdouble{} + dyd;
    const vdouble cxv = vdouble{} + double(t.cx), cyv = vdouble{} + double(t.cy);
    const vdouble left = vdouble{} + double(t.rect.left), right = vdouble{} + double(t.rect.right - 1);
    const vdouble top = vdouble{} + double(t.rect.top), bottom = vdouble{} + double(t.rect.bottom - 1);
    std::int32_t k = 0;
    for (; k + 4 <= t.n; k += 4) {
        const vdouble c = load_quad(t.cosines + k);
        const vdouble s = load_quad(t.sines + k);
        const vdouble xd = dxv * c + dyv * s + cxv;
        const vdouble yd = cyv - dxv * s + dyv * c;
        const vdouble rx = (xd + round_shift) - round_shift;
        const vdouble ry = (yd + round_shift) - round_shift;
        vdouble ex = xd - rx, ey = yd - ry;
        ex = ex < 0 ? -ex : ex;
        ey = ey < 0 ? -ey : ey;
        const vdouble hx = ex - 0.5, hy = ey - 0.5;
        using vmask = std::int64_t __attribute__((vector_size(4 * sizeof(std::int64_t))));
        const vmask risky = (ex < position_margin) | (ey < position_margin) | ((hx < position_margin) & (hx > -position_margin)) |
                            ((hy < position_margin) & (hy > -position_margin));
        if ((risky[0] | risky[1] | risky[2] | risky[3]) != 0) {
            for (std::int32_t j = k; j < k + 4; ++j)
                radial_sample(t, source, x, y, j, sums, count);
            continue;
        }
        const vmask inside = (xd >= left) & (xd <= right) & (yd >= top) & (yd <= bottom);
        for (int lane = 0; lane < 4; ++lane)
            if (inside[lane])
                add_sample(source, std::int32_t(rx[lane]), std::int32_t(ry[lane]), sums, count);
    }
    for (; k < t.n; ++k)
        radial_sample(t, source, x, y, k, sums, count);
}

void radial_sums_portable(const tradial_tables& t, const Tfbitmap& source, std::int32_t x, std::int32_t y,
                          std::int64_t* sums, std::int64_t& count)
{
    radial_sums_body(t, source, x, y, sums, count);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void radial_sums_avx2(const tradial_tables& t, const Tfbitmap& source, std::int32_t x,
                                              std::int32_t y, std::int64_t* sums, std::int64_t& count)
{
    radial_sums_body(t, source, x, y, sums, count);
}
#else
void radial_sums_avx2(const tradial_tables& t, const Tfbitmap& source, std::int32_t x, std::int32_t y,
                      std::int64_t* sums, std::int64_t& count)
{
    radial_sums_body(t, source, x, y, sums, count);
}
#endif

} // namespace

void radial_blur(Tfbitmap& destination, const Tfbitmap& source, std::int32_t angle, bool with_alpha,
                 const tadjust_area& area)
{
    const tradial_setup setup = radial_setup(destination.width(), destination.height(), area, angle);
    const std::int32_t n = std::max(setup.samples, 2);
    const long double radians = angle * std::numbers::pi_v<long double> / 180;
    const long double d = radians / (n - 1);
    std::vector<long double> cosines, sines;
    for (std::int32_t k = 0; k < n; ++k) {
        const long double phi = k * d - (n - 1) * d / 2;
        cosines.push_back(std::cos(phi));
        sines.push_back(std::sin(phi));
    }
    const std::vector<double> cosines_d(cosines.begin(), cosines.end());
    const std::vector<double> sines_d(sines.begin(), sines.end());
    const tradial_tables tables{cosines_d.data(), sines_d.data(), cosines.data(), sines.data(), n, setup.cx, setup.cy,
                                blur_rectangle(destination, area)};
    const auto sums_of = use_avx2() ? radial_sums_avx2 : radial_sums_portable;
    for_blur_pixels(destination, area, n, [&](std::int32_t x, std::int32_t y, int coverage) {
        // Sums of bytes are whole numbers: exact in integers as in extended precision.
        std::int64_t sums[4] = {0, 0, 0, 0};
        std::int64_t count = 0;
        sums_of(tables, source, x, y, sums, count);
        if (count > 0)
            write_average(sums, count, source.pixel(x, y), destination.pixel(x, y), coverage, with_alpha);
    });
}

std::int32_t motion_dial_angle(double dx, double dy)
{
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length == 0)
        return 0;
    double degrees = std::acos(std::clamp(dx / length, -1.0, 1.0)) * 180.0 / std::numbers::pi;
    if (dy > 0)
        degrees = -degrees;
    auto angle = std::int32_t(round_half_even(degrees));
    if (angle < 0)
        angle += 360;
    return angle;
}

} // namespace velmora
