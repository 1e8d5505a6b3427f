#include "filters/colour_adjust.h"

#include "document/parallel.h"
#include "document/rounding.h"
#include "filters/filter_framework.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velmora {

std::int32_t mul_div(std::int32_t a, std::int32_t b, std::int32_t c)
{
    const std::int64_t product = std::int64_t(a) * b;
    const std::int64_t magnitude = (2 * std::llabs(product) + std::llabs(c)) / (2 * std::llabs(std::int64_t(c)));
    return std::int32_t((product < 0) != (c < 0) ? -magnitude : magnitude);
}

thsv rgb_to_hsv(std::int32_t red, std::int32_t green, std::int32_t blue)
{
    const std::int32_t value = std::max({red, green, blue});
    const std::int32_t delta = value - std::min({red, green, blue});
    thsv hsv{0, value > 0 ? mul_div(delta, 255, value) : 0, value};
    if (hsv.saturation == 0)
        return hsv;
    if (value == red)
        hsv.hue = mul_div(green - blue, 60, delta);
    else if (value == green)
        hsv.hue = mul_div(blue - red, 60, delta) + 120;
    else
        hsv.hue = mul_div(red - green, 60, delta) + 240;
    if (hsv.hue < 0)
        hsv.hue += 360;
    return hsv;
}

trgb hsv_to_rgb(std::int32_t hue, std::int32_t saturation, std::int32_t value)
{
    const auto rgb = [](std::int32_t r, std::int32_t g, std::int32_t b) {
        return trgb{std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)};
    };
    if (saturation == 0)
        return rgb(value, value, value);
    if (hue == 360)
        hue = 0;
    const std::int32_t f = hue % 60;
    const std::int32_t p = value - saturation * value / 255;
    const std::int32_t q = value - saturation * value * f / 15300;
    const std::int32_t t = value - saturation * value * (60 - f) / 15300;
    switch (hue / 60) {
    case 0: return rgb(value, t, p);
    case 1: return rgb(q, value, p);
    case 2: return rgb(p, value, t);
    case 3: return rgb(p, q, value);
    case 4: return rgb(t, p, value);
    case 5: return rgb(value, p, q);
    default: return rgb(0, 0, 0);
    }
}

tlevel_table contrast_table(std::int32_t contrast, std::int32_t brightness)
{
    tlevel_table table{};
    for (int i = 0; i < 256; ++i) {
        const std::int64_t level = round_half_even((long double)(i) * contrast / 100 + brightness);
        table[std::size_t(i)] = std::uint8_t(std::clamp<std::int64_t>(level, 0, 255));
    }
    return table;
}

namespace {

// Eight pixels at a time in float lanes. Every division here has a numerator
// below 2^24 and a quotient below 256, so the float quotient lies within
// 2e-5 of the true one while a non-integral quotient is at least 1/15300 from
// an integer and a non-half one at least 1/510 from a half: truncating or
// rounding it gives exactly the integer routines' results (the tests check
// every colour).
using vi8 = std::int32_t __attribute__((vector_size(8 * sizeof(std::int32_t))));
using vf8 = float __attribute__((vector_size(8 * sizeof(float))));

[[gnu::always_inline]] inline vf8 as_float(const vi8& v)
{
    return __builtin_convertvector(v, vf8);
}

// floor(a / b) for a >= 0, b > 0.
[[gnu::always_inline]] inline vi8 quotient(const vi8& a, const vi8& b)
{
    return __builtin_convertvector(as_float(a) / as_float(b), vi8);
}

// mul_div(a, b, c) for c > 0: halves away from zero.
[[gnu::always_inline]] inline vi8 mul_div_lanes(const vi8& a, std::int32_t b, const vi8& c)
{
    const vi8 product = a * b;
    const vi8 magnitude = product < 0 ? -product : product;
    const vi8 rounded = __builtin_convertvector(as_float(magnitude) / as_float(c) + 0.5f, vi8);
    return product < 0 ? -rounded : rounded;
}

[[gnu::always_inline]] inline vi8 clamp_lanes(const vi8& v, std::int32_t low, std::int32_t high)
{
    const vi8 lo = v < low ? low + vi8{} : v;
    return lo > high ? high + vi8{} : lo;
}

[[gnu::always_inline]] inline void hsv_lanes(const std::uint8_t* in, std::uint8_t* out, std::int32_t dh, std::int32_t ds,
                                             std::int32_t dv)
{
    vi8 pixels;
    std::memcpy(&pixels, in, sizeof pixels);
    const vi8 b = pixels & 255;
    const vi8 g = (pixels >> 8) & 255;
    const vi8 r = (pixels >> 16) & 255;
    const vi8 gb_max = g > b ? g : b;
    const vi8 v = r > gb_max ? r : gb_max;
    const vi8 gb_min = g < b ? g : b;
    const vi8 delta = v - (r < gb_min ? r : gb_min);
    const vi8 one = vi8{} + 1;
    // Saturation is 0 exactly when delta is (delta * 255 / v < 0.5 needs delta = 0).
    const vi8 s = mul_div_lanes(delta, 255, v > 0 ? v : one);
    const vi8 safe_delta = delta > 0 ? delta : one;
    vi8 h = v == r ? mul_div_lanes(g - b, 60, safe_delta)
                   : (v == g ? mul_div_lanes(b - r, 60, safe_delta) + 120 : mul_div_lanes(r - g, 60, safe_delta) + 240);
    h = s == 0 ? vi8{} : h;
    h = h < 0 ? h + 360 : h;

    vi8 hue = clamp_lanes(h + dh, 0, 360);
    const vi8 sat = clamp_lanes(s + ds, 0, 255);
    const vi8 val = clamp_lanes(v + dv, 0, 255);
    hue = hue == 360 ? vi8{} : hue;
    const vi8 sector = quotient(hue, vi8{} + 60);
    const vi8 f = hue - 60 * sector;
    const vi8 sv = sat * val;
    const vi8 p = val - quotient(sv, vi8{} + 255);
    const vi8 q = val - quotient(sv * f, vi8{} + 15300);
    const vi8 t = val - quotient(sv * (60 - f), vi8{} + 15300);
    vi8 red = sector == 0 ? val : sector == 1 ? q : sector == 2 ? p : sector == 3 ? p : sector == 4 ? t : val;
    vi8 green = sector == 0 ? t : sector == 1 ? val : sector == 2 ? val : sector == 3 ? q : p;
    vi8 blue = sector == 0 ? p : sector == 1 ? p : sector == 2 ? t : sector == 3 ? val : sector == 4 ? val : q;
    red = sat == 0 ? val : red;
    green = sat == 0 ? val : green;
    blue = sat == 0 ? val : blue;
    const vi8 result = (pixels & ~0xFFFFFF) | (red << 16) | (green << 8) | blue;
    std::memcpy(out, &result, sizeof result);
}

[[gnu::always_inline]] inline void hsv_row_body(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                                                std::int32_t dh, std::int32_t ds, std::int32_t dv)
{
    std::int32_t x = 0;
    for (; x + 8 <= width; x += 8)
        hsv_lanes(in + 4 * x, out + 4 * x, dh, ds, dv);
    for (; x < width; ++x) {
        const std::uint8_t* p = in + 4 * x;
        const thsv hsv = rgb_to_hsv(p[red_byte], p[green_byte], p[blue_byte]);
        const trgb rgb = hsv_to_rgb(std::clamp(hsv.hue + dh, 0, 360), std::clamp(hsv.saturation + ds, 0, 255),
                                    std::clamp(hsv.value + dv, 0, 255));
        std::uint8_t* q = out + 4 * x;
        q[red_byte] = rgb.red;
        q[green_byte] = rgb.green;
        q[blue_byte] = rgb.blue;
        q[alpha_byte] = p[alpha_byte];
    }
}

void hsv_row_portable(const std::uint8_t* in, std::uint8_t* out, std::int32_t width, std::int32_t dh,
                      std::int32_t ds, std::int32_t dv)
{
    hsv_row_body(in, out, width, dh, ds, dv);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void hsv_row_avx2(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                                          std::int32_t dh, std::int32_t ds, std::int32_t dv)
{
    hsv_row_body(in, out, width, dh, ds, dv);
}

// Thirty-two pixels per step in 16-bit lanes, every division exact in
// integers. Divisions by V and by delta (1..255) multiply by floor(65535 / d)
// from a table: the high half of the product is the quotient or one less,
// and the remainder tells which. Constant divisions multiply by rounded-up
// reciprocals that are exact over their ranges. S V f / 15300 needs 22 bits:
// with S V = 255 P + b and P f = 60 A + B it is A plus one when
// 255 B + b f >= 15300 (that sum stays below 30600).
#define VELMORA_AVX512_HSV gnu::target("avx512f,avx512bw,avx512vbmi"), gnu::always_inline

constexpr auto reciprocal_table = [] {
    std::array<std::uint16_t, 256> table{};
    for (std::size_t d = 1; d < table.size(); ++d)
        table[d] = std::uint16_t(65535 / d);
    return table;
}();

// By sector, where V and the middle value go: bits 0 and 1 for red, 2 and 3
// for green, 4 and 5 for blue; the third channel takes p.
constexpr std::array<std::uint16_t, 32> sector_roles = {1 | 8, 4 | 2, 4 | 32, 16 | 8, 16 | 2, 1 | 32};

// Byte c of each of 32 pixels into the low byte of a 16-bit lane.
template <int c>
constexpr auto channel_index = [] {
    std::array<std::uint8_t, 64> index{};
    for (std::size_t i = 0; i < index.size(); ++i)
        index[i] = std::uint8_t(4 * (i / 2) + c);
    return index;
}();

// Back again: blue and green from the bytes of one vector, red from the
// other (alpha positions are not used).
constexpr auto pixel_index = [] {
    std::array<std::uint8_t, 64> index{};
    for (std::size_t i = 0; i < index.size(); ++i)
        index[i] = std::uint8_t(i % 4 == 2 ? 64 + 2 * (i / 4) : 2 * (i / 4) + i % 4);
    return index;
}();

struct thsv_tables {
    __m512i reciprocal[8];
    __m512i roles;
};

[[VELMORA_AVX512_HSV]] inline __m512i words(std::uint16_t v)
{
    return _mm512_set1_epi16(std::int16_t(v));
}

[[VELMORA_AVX512_HSV]] inline __m512i reciprocal_of(__m512i d, const thsv_tables& t)
{
    const __mmask32 bit6 = _mm512_test_epi16_mask(d, words(64));
    const __mmask32 bit7 = _mm512_test_epi16_mask(d, words(128));
    const __m512i q0 = _mm512_permutex2var_epi16(t.reciprocal[0], d, t.reciprocal[1]);
    const __m512i q1 = _mm512_permutex2var_epi16(t.reciprocal[2], d, t.reciprocal[3]);
    const __m512i q2 = _mm512_permutex2var_epi16(t.reciprocal[4], d, t.reciprocal[5]);
    const __m512i q3 = _mm512_permutex2var_epi16(t.reciprocal[6], d, t.reciprocal[7]);
    return _mm512_mask_blend_epi16(bit7, _mm512_mask_blend_epi16(bit6, q0, q1), _mm512_mask_blend_epi16(bit6, q2, q3));
}

// floor(n / d) for d in 1..255.
[[VELMORA_AVX512_HSV]] inline __m512i divide(__m512i n, __m512i d, const thsv_tables& t)
{
    const __m512i q = _mm512_mulhi_epu16(n, reciprocal_of(d, t));
    const __m512i r = _mm512_sub_epi16(n, _mm512_mullo_epi16(q, d));
    return _mm512_mask_add_epi16(q, _mm512_cmpge_epu16_mask(r, d), q, words(1));
}

[[VELMORA_AVX512_HSV]] inline __m512i clamp_byte(__m512i v)
{
    return _mm512_min_epi16(_mm512_max_epi16(v, _mm512_setzero_si512()), words(255));
}

template <int c>
[[VELMORA_AVX512_HSV]] inline __m512i channel_words(__m512i low, __m512i high)
{
    return _mm512_maskz_permutex2var_epi8(0x5555555555555555ull, low, _mm512_loadu_si512(channel_index<c>.data()),
                                          high);
}

// The channel whose role bits start at `shift`.
[[VELMORA_AVX512_HSV]] inline __m512i place(__m512i roles, int shift, __m512i v, __m512i middle, __m512i p)
{
    const __mmask32 gets_v = _mm512_test_epi16_mask(roles, words(std::uint16_t(1 << shift)));
    const __mmask32 gets_middle = _mm512_test_epi16_mask(roles, words(std::uint16_t(2 << shift)));
    return _mm512_mask_mov_epi16(_mm512_mask_mov_epi16(p, gets_v, v), gets_middle, middle);
}

[[VELMORA_AVX512_HSV]] inline void hsv_step(__m512i& low, __m512i& high, __m512i dh, __m512i ds, __m512i dv,
                                            const thsv_tables& t)
{
    const __m512i one = words(1);
    const __m512i b = channel_words<blue_byte>(low, high);
    const __m512i g = channel_words<green_byte>(low, high);
    const __m512i r = channel_words<red_byte>(low, high);

    const __m512i v = _mm512_max_epu16(r, _mm512_max_epu16(g, b));
    const __m512i delta = _mm512_sub_epi16(v, _mm512_min_epu16(r, _mm512_min_epu16(g, b)));
    const __mmask32 red_max = _mm512_cmpeq_epi16_mask(v, r);
    const __mmask32 green_max = _kandn_mask32(red_max, _mm512_cmpeq_epi16_mask(v, g));
    const __m512i diff = _mm512_mask_blend_epi16(
        red_max, _mm512_mask_blend_epi16(green_max, _mm512_sub_epi16(r, g), _mm512_sub_epi16(b, r)),
        _mm512_sub_epi16(g, b));
    // Halves away from zero: round(x / d) = floor((x + floor(d / 2)) / d) for x >= 0.
    // A grey pixel has delta 0 and so a turn of 0 from red: hue 0.
    const __m512i turn = divide(
        _mm512_add_epi16(_mm512_mullo_epi16(_mm512_abs_epi16(diff), words(60)), _mm512_srli_epi16(delta, 1)),
        _mm512_max_epu16(delta, one), t);
    const __m512i saturation =
        divide(_mm512_add_epi16(_mm512_mullo_epi16(delta, words(255)), _mm512_srli_epi16(v, 1)),
               _mm512_max_epu16(v, one), t);
    const __m512i base =
        _mm512_maskz_mov_epi16(_knot_mask32(red_max), _mm512_mask_blend_epi16(green_max, words(240), words(120)));
    __m512i hue = _mm512_mask_sub_epi16(_mm512_add_epi16(base, turn), _mm512_movepi16_mask(diff), base, turn);
    hue = _mm512_min_epu16(hue, _mm512_add_epi16(hue, words(360)));

    // Clamped to 0..360 where 360 is 0: whatever leaves 0..359 becomes 0.
    hue = _mm512_add_epi16(hue, dh);
    hue = _mm512_maskz_mov_epi16(_mm512_cmplt_epu16_mask(hue, words(360)), hue);
    const __m512i sat = clamp_byte(_mm512_add_epi16(saturation, ds));
    const __m512i val = clamp_byte(_mm512_add_epi16(v, dv));

    const __m512i sector = _mm512_mulhi_epu16(hue, words(1093));
    const __m512i f = _mm512_sub_epi16(hue, _mm512_mullo_epi16(sector, words(60)));
    // The middle channel is q (with f) in odd sectors, t (with 60 - f) in even ones.
    const __m512i weight =
        _mm512_mask_blend_epi16(_mm512_test_epi16_mask(sector, one), _mm512_sub_epi16(words(60), f), f);
    const __m512i sv = _mm512_mullo_epi16(sat, val);
    const __m512i p_term = _mm512_srli_epi16(_mm512_mulhi_epu16(sv, words(0x8081)), 7);
    const __m512i rest = _mm512_sub_epi16(sv, _mm512_mullo_epi16(p_term, words(255)));
    const __m512i pw = _mm512_mullo_epi16(p_term, weight);
    const __m512i sixtieths = _mm512_srli_epi16(_mm512_mulhi_epu16(pw, words(34953)), 5);
    const __m512i left = _mm512_sub_epi16(pw, _mm512_mullo_epi16(sixtieths, words(60)));
    const __m512i carry = _mm512_add_epi16(_mm512_mullo_epi16(left, words(255)), _mm512_mullo_epi16(rest, weight));
    const __m512i middle_term =
        _mm512_mask_add_epi16(sixtieths, _mm512_cmpge_epu16_mask(carry, words(15300)), sixtieths, one);
    const __m512i middle = _mm512_sub_epi16(val, middle_term);
    const __m512i p = _mm512_sub_epi16(val, p_term);

    const __m512i roles = _mm512_permutexvar_epi16(sector, t.roles);
    const __m512i red = place(roles, 0, val, middle, p);
    const __m512i green = place(roles, 2, val, middle, p);
    const __m512i blue_green = _mm512_or_si512(place(roles, 4, val, middle, p), _mm512_slli_epi16(green, 8));
    const __m512i spread = _mm512_loadu_si512(pixel_index.data());
    const __m512i spread_high = _mm512_add_epi8(spread, _mm512_set1_epi8(32));
    constexpr __mmask64 colour = 0x7777777777777777ull;
    low = _mm512_mask_blend_epi8(colour, low, _mm512_permutex2var_epi8(blue_green, spread, red));
    high = _mm512_mask_blend_epi8(colour, high, _mm512_permutex2var_epi8(blue_green, spread_high, red));
}

[[gnu::target("avx512f,avx512bw,avx512vbmi")]] void hsv_row_avx512(const std::uint8_t* in, std::uint8_t* out,
                                                                     std::int32_t width, std::int32_t dh,
                                                                     std::int32_t ds, std::int32_t dv)
{
    thsv_tables t;
    for (std::size_t k = 0; k < 8; ++k)
        t.reciprocal[k] = _mm512_loadu_si512(reciprocal_table.data() + 32 * k);
    t.roles = _mm512_loadu_si512(sector_roles.data());
    const __m512i hue_offset = _mm512_set1_epi16(std::int16_t(dh));
    const __m512i saturation_offset = _mm512_set1_epi16(std::int16_t(ds));
    const __m512i value_offset = _mm512_set1_epi16(std::int16_t(dv));
    std::int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        __m512i low = _mm512_loadu_si512(in + 4 * x);
        __m512i high = _mm512_loadu_si512(in + 4 * x + 64);
        hsv_step(low, high, hue_offset, saturation_offset, value_offset, t);
        _mm512_storeu_si512(out + 4 * x, low);
        _mm512_storeu_si512(out + 4 * x + 64, high);
    }
    if (x < width) {
        const std::int32_t n = width - x;
        const auto low_lanes = __mmask16(n >= 16 ? 0xFFFF : (1u << n) - 1);
        const auto high_lanes = __mmask16(n > 16 ? (1u << (n - 16)) - 1 : 0);
        __m512i low = _mm512_maskz_loadu_epi32(low_lanes, in + 4 * x);
        __m512i high = _mm512_maskz_loadu_epi32(high_lanes, in + 4 * x + 64);
        hsv_step(low, high, hue_offset, saturation_offset, value_offset, t);
        _mm512_mask_storeu_epi32(out + 4 * x, low_lanes, low);
        _mm512_mask_storeu_epi32(out + 4 * x + 64, high_lanes, high);
    }
}
#undef VELMORA_AVX512_HSV
#endif

// Eight pixels per step, each channel in its own vector of lanes, for the
// mappings of Color Balance, Invert and Desaturate; alpha passes through.
struct tshift_lanes {
    std::int32_t blue, green, red;
    [[gnu::always_inline]] void operator()(vi8& b, vi8& g, vi8& r) const
    {
        b = clamp_lanes(b + blue, 0, 255);
        g = clamp_lanes(g + green, 0, 255);
        r = clamp_lanes(r + red, 0, 255);
    }
};

struct tinvert_lanes {
    [[gnu::always_inline]] void operator()(vi8& b, vi8& g, vi8& r) const
    {
        b = 255 - b;
        g = 255 - g;
        r = 255 - r;
    }
};

struct tgrey_lanes {
    // round(sum / 3) = (2 sum + 3) / 6 = ((2 sum + 3) * 10923) >> 16 for sums up to 765.
    [[gnu::always_inline]] void operator()(vi8& b, vi8& g, vi8& r) const
    {
        b = g = r = ((2 * (b + g + r) + 3) * 10923) >> 16;
    }
};

template <typename Op>
[[gnu::always_inline]] inline void channel_step(const std::uint8_t* from, std::uint8_t* to, const Op& op)
{
    vi8 pixels;
    std::memcpy(&pixels, from, sizeof pixels);
    vi8 b = pixels & 255;
    vi8 g = (pixels >> 8) & 255;
    vi8 r = (pixels >> 16) & 255;
    op(b, g, r);
    const vi8 result = (pixels & ~0xFFFFFF) | (r << 16) | (g << 8) | b;
    std::memcpy(to, &result, sizeof result);
}

template <typename Op>
[[gnu::always_inline]] inline void channel_row_body(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                                                    const Op& op)
{
    std::int32_t x = 0;
    for (; x + 8 <= width; x += 8)
        channel_step(in + 4 * x, out + 4 * x, op);
    if (x < width) {
        std::uint8_t last[32] = {};
        std::memcpy(last, in + 4 * x, 4 * std::size_t(width - x));
        channel_step(last, last, op);
        std::memcpy(out + 4 * x, last, 4 * std::size_t(width - x));
    }
}

template <typename Op>
void channel_row_portable(const std::uint8_t* in, std::uint8_t* out, std::int32_t width, const Op& op)
{
    channel_row_body(in, out, width, op);
}

#if defined(__x86_64__)
template <typename Op>
[[gnu::target("avx2")]] void channel_row_avx2(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                                              const Op& op)
{
    channel_row_body(in, out, width, op);
}
#endif

template <typename Op>
void map_channel_lanes(Tfbitmap& destination, const Tfbitmap& source, const Op& op)
{
    auto row = channel_row_portable<Op>;
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2"))
        row = channel_row_avx2<Op>;
#endif
    parallel_rows(0, destination.height(), std::int64_t(destination.width()) * destination.height(),
                  [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y)
            row(source.row(y), destination.row(y), destination.width(), op);
    });
}

// Table look-ups row by row; `tables` lists blue, green and red.
void level_rows_portable(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                         const tlevel_table* const* tables)
{
    const tlevel_table& blue = *tables[0];
    const tlevel_table& green = *tables[1];
    const tlevel_table& red = *tables[2];
    for (std::int32_t x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, in + 4 * x, 4);
        pixel = (pixel & 0xFF000000u) | std::uint32_t(red[(pixel >> 16) & 255]) << 16 |
                std::uint32_t(green[(pixel >> 8) & 255]) << 8 | blue[pixel & 255];
        std::memcpy(out + 4 * x, &pixel, 4);
    }
}

#if defined(__x86_64__)
// Sixteen pixels per step: each 256-byte table sits in four registers, two
// byte permutes pick from its lower and upper halves by the low seven bits
// of every byte, the top bit chooses between them.
[[gnu::target("avx512f,avx512bw,avx512vbmi"), gnu::always_inline]] inline __m512i look_up_levels(__m512i pixels, const __m512i (&quarters)[3][4])
{
    constexpr __mmask64 channel[3] = {0x1111111111111111ull, 0x2222222222222222ull, 0x4444444444444444ull};
    const __mmask64 upper = _mm512_movepi8_mask(pixels);
    __m512i result = pixels;
    for (int k = 0; k < 3; ++k) {
        const __m512i low = _mm512_permutex2var_epi8(quarters[k][0], pixels, quarters[k][1]);
        const __m512i high = _mm512_permutex2var_epi8(quarters[k][2], pixels, quarters[k][3]);
        result = _mm512_mask_mov_epi8(result, channel[k] & ~upper, low);
        result = _mm512_mask_mov_epi8(result, channel[k] & upper, high);
    }
    return result;
}

[[gnu::target("avx512f,avx512bw,avx512vbmi")]] void level_rows_vbmi(const std::uint8_t* in, std::uint8_t* out,
                                                                      std::int32_t width,
                                                                      const tlevel_table* const* tables)
{
    __m512i quarters[3][4];
    for (int k = 0; k < 3; ++k)
        for (int q = 0; q < 4; ++q)
            quarters[k][q] = _mm512_loadu_si512(tables[k]->data() + 64 * q);
    const std::size_t bytes = 4 * std::size_t(width);
    std::size_t i = 0;
    for (; i + 64 <= bytes; i += 64)
        _mm512_storeu_si512(out + i, look_up_levels(_mm512_loadu_si512(in + i), quarters));
    if (i < bytes) {
        const __mmask64 inside = (__mmask64{1} << (bytes - i)) - 1;
        _mm512_mask_storeu_epi8(out + i, inside, look_up_levels(_mm512_maskz_loadu_epi8(inside, in + i), quarters));
    }
}
#endif

} // namespace

void map_levels(Tfbitmap& destination, const Tfbitmap& source, const tlevel_table& blue, const tlevel_table& green,
                const tlevel_table& red, bool portable)
{
    auto row = level_rows_portable;
#if defined(__x86_64__)
    if (!portable && __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw"))
        row = level_rows_vbmi;
#endif
    const tlevel_table* const tables[3] = {&blue, &green, &red};
    parallel_rows(0, destination.height(), std::int64_t(destination.width()) * destination.height(),
                  [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y)
            row(source.row(y), destination.row(y), destination.width(), tables);
    });
}

namespace {

// Runs map(in, out) over the pixels an adjustment visits; `map` writes
// blue, green and red of `out`, the mix by coverage follows.
template <typename Map>
void map_pixels(Tfbitmap& destination, const Tfbitmap& source, const tadjust_area& area, Map map)
{
    const trect visited = area.selection
                              ? selection_extent_on_target(*area.selection, destination, area.left, area.top)
                              : destination.bounds();
    parallel_rows(visited.top, visited.bottom, std::int64_t(visited.width()) * visited.height(),
                  [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const std::uint8_t* in = source.row(y);
            std::uint8_t* out = destination.row(y);
            if (!area.selection) {
                for (std::int32_t x = visited.left; x < visited.right; ++x)
                    map(in + 4 * x, out + 4 * x);
                continue;
            }
            const tselection& selection = *area.selection;
            const std::uint8_t* coverage = selection.mask.row(y + area.top - selection.top);
            for (std::int32_t x = visited.left; x < visited.right; ++x) {
                const int c = coverage[4 * (x + area.left - selection.left) + red_byte];
                if (c == 0)
                    continue;
                std::uint8_t mapped[4];
                map(in + 4 * x, mapped);
                for (int k = 0; k < 3; ++k)
                    out[4 * x + k] = mix_by_coverage(in[4 * x + k], mapped[k], c);
            }
        }
    });
}

void apply_tables(Tfbitmap& destination, const Tfbitmap& source, const tlevel_table& blue,
                  const tlevel_table& green, const tlevel_table& red, const tadjust_area& area)
{
    map_pixels(destination, source, area, [&](const std::uint8_t* in, std::uint8_t* out) {
        out[blue_byte] = blue[in[blue_byte]];
        out[green_byte] = green[in[green_byte]];
        out[red_byte] = red[in[red_byte]];
    });
}

} // namespace

void brightness_contrast(Tfbitmap& destination, const Tfbitmap& source, std::int32_t contrast,
                         std::int32_t brightness, const tadjust_area& area)
{
    const tlevel_table table = contrast_table(contrast, brightness);
    if (!area.selection)
        map_levels(destination, source, table, table, table);
    else
        apply_tables(destination, source, table, table, table, area);
}

namespace {

tlevel_table shift_table(std::int32_t shift)
{
    tlevel_table table{};
    for (int i = 0; i < 256; ++i)
        table[std::size_t(i)] = std::uint8_t(std::clamp(i + shift, 0, 255));
    return table;
}

} // namespace

void channel_shift(Tfbitmap& destination, const Tfbitmap& source, tchannel channel, std::int32_t shift,
                   const tadjust_area& area)
{
    colour_balance(destination, source, channel == tchannel::red ? shift : 0, channel == tchannel::green ? shift : 0,
                   channel == tchannel::blue ? shift : 0, area);
}

void colour_balance(Tfbitmap& destination, const Tfbitmap& source, std::int32_t red_shift, std::int32_t green_shift,
                    std::int32_t blue_shift, const tadjust_area& area)
{
    if (!area.selection) {
        map_channel_lanes(destination, source, tshift_lanes{blue_shift, green_shift, red_shift});
        return;
    }
    apply_tables(destination, source, shift_table(blue_shift), shift_table(green_shift), shift_table(red_shift),
                 area);
}

void hsv_adjust(Tfbitmap& destination, const Tfbitmap& source, std::int32_t hue_offset,
                std::int32_t saturation_offset, std::int32_t value_offset, const tadjust_area& area,
                tkernel_set kernels)
{
    if (!area.selection) {
        auto row = hsv_row_portable;
#if defined(__x86_64__)
        if (avx512_allowed(kernels))
            row = hsv_row_avx512;
        else if (avx2_allowed(kernels))
            row = hsv_row_avx2;
#else
        (void)kernels;
#endif
        parallel_rows(0, destination.height(), std::int64_t(destination.width()) * destination.height() * 8,
                      [&](std::int32_t first, std::int32_t last) {
            for (std::int32_t y = first; y < last; ++y)
                row(source.row(y), destination.row(y), destination.width(), hue_offset, saturation_offset,
                    value_offset);
        });
        return;
    }
    map_pixels(destination, source, area, [&](const std::uint8_t* in, std::uint8_t* out) {
        const thsv hsv = rgb_to_hsv(in[red_byte], in[green_byte], in[blue_byte]);
        const trgb rgb = hsv_to_rgb(std::clamp(hsv.hue + hue_offset, 0, 360),
                                    std::clamp(hsv.saturation + saturation_offset, 0, 255),
                                    std::clamp(hsv.value + value_offset, 0, 255));
        out[red_byte] = rgb.red;
        out[green_byte] = rgb.green;
        out[blue_byte] = rgb.blue;
    });
}

void invert_colours(Tfbitmap& bitmap, const tadjust_area& area)
{
    if (!area.selection) {
        map_channel_lanes(bitmap, bitmap, tinvert_lanes{});
        return;
    }
    map_pixels(bitmap, bitmap, area, [](const std::uint8_t* in, std::uint8_t* out) {
        for (int k = 0; k < 3; ++k)
            out[k] = std::uint8_t(255 - in[k]);
    });
}

void desaturate(Tfbitmap& bitmap, const tadjust_area& area)
{
    // round(sum / 3): a third is never a half, so (2 sum + 3) / 6 is exact.
    if (!area.selection) {
        map_channel_lanes(bitmap, bitmap, tgrey_lanes{});
        return;
    }
    // Each channel moves toward the unrounded mean: round((sum / 3 - c) * m + c),
    // again never a half (765 is odd).
    const trect visited = selection_extent_on_target(*area.selection, bitmap, area.left, area.top);
    const tselection& selection = *area.selection;
    for (std::int32_t y = visited.top; y < visited.bottom; ++y) {
        std::uint8_t* row = bitmap.row(y);
        const std::uint8_t* coverage = selection.mask.row(y + area.top - selection.top);
        for (std::int32_t x = visited.left; x < visited.right; ++x) {
            const int m = coverage[4 * (x + area.left - selection.left) + red_byte];
            if (m == 0)
                continue;
            std::uint8_t* p = row + 4 * x;
            const int sum = p[0] + p[1] + p[2];
            for (int k = 0; k < 3; ++k) {
                const int n = (sum - 3 * p[k]) * m + 765 * p[k];
                p[k] = std::uint8_t((2 * n + 765) / 1530);
            }
        }
    }
}

void remove_grey(Tfbitmap& destination, const Tfbitmap& source, std::int32_t threshold, bool keep_dark_shapes,
                 bool with_alpha)
{
    const auto light = [threshold](const std::uint8_t* p) {
        return p[0] > threshold && p[1] > threshold && p[2] > threshold;
    };
    const auto dark = [threshold](const std::uint8_t* p) {
        return p[0] < threshold && p[1] < threshold && p[2] < threshold;
    };
    const std::int32_t w = source.width();
    const std::int32_t h = source.height();
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* out = destination.row(y);
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint8_t* p = source.pixel(x, y);
            bool whiten = light(p);
            if (whiten && keep_dark_shapes) {
                for (std::int32_t ny = std::max(y - 1, 0); whiten && ny <= std::min(y + 1, h - 1); ++ny)
                    for (std::int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, w - 1); ++nx)
                        if ((nx != x || ny != y) && dark(source.pixel(nx, ny))) {
                            whiten = false;
                            break;
                        }
            }
            std::uint8_t* q = out + 4 * x;
            if (whiten) {
                q[0] = q[1] = q[2] = 255;
            } else {
                q[0] = p[0];
                q[1] = p[1];
                q[2] = p[2];
            }
            q[alpha_byte] = with_alpha ? 255 : p[alpha_byte];
        }
    }
}

Tfbitmap hue_strip(std::int32_t hue_offset, std::int32_t saturation_offset, std::int32_t value_offset)
{
    Tfbitmap strip(362, 15);
    strip.fill_pixels(0, 0, 0, 255);
    const std::int32_t saturation = std::clamp(255 + saturation_offset, 0, 255);
    const std::int32_t value = std::clamp(255 + value_offset, 0, 255);
    for (std::int32_t j = 1; j <= 360; ++j) {
        const trgb reference = hsv_to_rgb(j, 255, 255);
        const trgb adjusted = hsv_to_rgb((j + hue_offset + 360) % 360, saturation, value);
        for (std::int32_t y = 1; y <= 13; ++y) {
            if (y == 7)
                continue;
            const trgb& c = y < 7 ? reference : adjusted;
            std::uint8_t* p = strip.pixel(j, y);
            p[red_byte] = c.red;
            p[green_byte] = c.green;
            p[blue_byte] = c.blue;
        }
    }
    return strip;
}

} // namespace velmora
