#include "document/blend_span.h"

#include "document/blend.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velmora {

namespace {

// Four pixels go through together, each channel in its own vector. The
// arithmetic is blend_channel_scaled's, lane by lane, so the bytes are the
// same; the body is compiled once for any x86-64 and once more for AVX2.
// Four lanes: four doubles fill an AVX2 register, and wider vectors make the
// compiler split comparisons into scalar code.
constexpr int lanes = 4;
using vint = std::int32_t __attribute__((vector_size(lanes * sizeof(std::int32_t))));
using vfloat = float __attribute__((vector_size(lanes * sizeof(float))));
using vdouble = double __attribute__((vector_size(lanes * sizeof(double))));
using vlong = std::int64_t __attribute__((vector_size(lanes * sizeof(std::int64_t))));

// Whether any lane of a comparison result is set, by halving the vector.
template <typename V>
[[gnu::always_inline]] inline bool any_lane(const V& v)
{
    const V half = v | __builtin_shufflevector(v, v, 2, 3, 0, 1);
    return (half[0] | half[1]) != 0;
}

// Vectors travel by reference: by value their calling convention would
// depend on the instruction set.
template <typename Mode>
[[gnu::always_inline]] inline void mix_lanes(const vint& s, const vint& d, const vdouble& a_over_den, vlong& near_half,
                                             vint& out)
{
    const vint offset = Mode::offset(s, d);
    const vdouble r = __builtin_convertvector(d, vdouble) + __builtin_convertvector(offset, vdouble) * a_over_den;
    const vdouble rounded = (r + round_shift) - round_shift;
    if constexpr (Mode::den > 2) {
        const vdouble miss = r - rounded;
        near_half |= (miss > 0.5 - 1e-7) | (miss < -(0.5 - 1e-7));
    }
    out = __builtin_convertvector(rounded, vint);
}

// The effective alpha of a vector of pixels, as pixel_alpha and masked_alpha give it.
[[gnu::always_inline]] inline void lane_alpha(const vint& pixels, const std::uint32_t* mask, float factor, vfloat& a)
{
    a = __builtin_convertvector((pixels >> 24) & 255, vfloat) * factor;
    if (mask) {
        vint levels;
        std::memcpy(&levels, mask, sizeof levels);
        a = __builtin_convertvector((levels >> 16) & 255, vfloat) * a / 255.0f;
    }
}

template <typename Mode>
[[gnu::always_inline]] inline void blend_span_body(const std::uint32_t* src, const std::uint32_t* mask, float factor,
                                                   std::uint8_t* dst, std::int32_t count)
{
    std::int32_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        vint s;
        std::memcpy(&s, src + i, sizeof s);
        vfloat a;
        lane_alpha(s, mask ? mask + i : nullptr, factor, a);
        const vint visible = a != 0.0f;
        if (!any_lane(visible))
            continue;
        vint below;
        std::memcpy(&below, dst + 4 * i, sizeof below);
        const vdouble a_over_den = __builtin_convertvector(a, vdouble) * (1.0 / Mode::den);
        vlong near_half = {};
        vint blue, green, red;
        mix_lanes<Mode>(s & 255, below & 255, a_over_den, near_half, blue);
        mix_lanes<Mode>((s >> 8) & 255, (below >> 8) & 255, a_over_den, near_half, green);
        mix_lanes<Mode>((s >> 16) & 255, (below >> 16) & 255, a_over_den, near_half, red);
        const vint mixed = (below & ~0xFFFFFF) | (red << 16) | (green << 8) | blue;
        const vint out = visible ? mixed : below;
        std::memcpy(dst + 4 * i, &out, sizeof out);
        if constexpr (Mode::den > 2) {
            if (any_lane(near_half)) [[unlikely]] {
                // Within a hair of a half the exact evaluation decides.
                for (int lane = 0; lane < lanes; ++lane) {
                    if (!near_half[lane] || !visible[lane])
                        continue;
                    const auto* p = reinterpret_cast<const std::uint8_t*>(src + i + lane);
                    const auto* d = reinterpret_cast<const std::uint8_t*>(&below) + 4 * lane;
                    std::uint8_t* q = dst + 4 * (i + lane);
                    for (int c = 0; c < 3; ++c)
                        q[c] = blend_channel_scaled<Mode>(p[c], d[c], a_over_den[lane], a[lane]);
                }
            }
        }
    }
    for (; i < count; ++i) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(src + i);
        float a = pixel_alpha(p[alpha_byte], factor);
        if (mask)
            a = masked_alpha(a, std::uint8_t(mask[i] >> 16));
        if (a == 0.0f)
            continue;
        std::uint8_t* q = dst + 4 * i;
        const double a_over_den = scaled_alpha<Mode>(a);
        for (int c = 0; c < 3; ++c)
            q[c] = blend_channel_scaled<Mode>(p[c], q[c], a_over_den, a);
    }
}

template <typename Mode>
void blend_span_portable(const std::uint32_t* src, const std::uint32_t* mask, float factor, std::uint8_t* dst,
                         std::int32_t count)
{
    blend_span_body<Mode>(src, mask, factor, dst, count);
}

#if defined(__x86_64__)
template <typename Mode>
[[gnu::target("avx2")]] void blend_span_avx2(const std::uint32_t* src, const std::uint32_t* mask, float factor,
                                             std::uint8_t* dst, std::int32_t count)
{
    blend_span_body<Mode>(src, mask, factor, dst, count);
}
#endif

// Clang refuses to pass 512-bit vectors to the blend modes' offset functions,
// which are shared with the scalar kernels and carry no AVX-512 target; there
// the AVX2 kernel serves.
#if defined(__x86_64__) && !defined(__clang__)
#define VELMORA_BLEND_AVX512 1

// Sixteen pixels per step in float lanes. A channel byte k becomes the float
// 2^23 + k with one byte permute; there the float grid is the integers, so a
// fused multiply-add of an exact offset (an integer below 2^24) by a / den
// onto 2^23 + d rounds d + offset * a / den once, halves to even, and leaves
// the result in the low byte. For den 1 and 2 a / den is exact and so is the
// result. For den 255 the sum is taken with a / 255 rounded down and rounded
// up; where the two disagree the exact way decides, pixel by pixel.
#define VELMORA_AVX512_BLEND gnu::target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi")

using vint16 = std::int32_t __attribute__((vector_size(16 * sizeof(std::int32_t))));
using vuint16 = std::uint32_t __attribute__((vector_size(16 * sizeof(std::uint32_t))));
using vfloat16 = float __attribute__((vector_size(16 * sizeof(float))));

constexpr float two_23 = 0x1p23f;

// Byte c of each pixel as the float 2^23 + byte: the other three bytes come
// from the second table (0x00 at index 64, 0x4B at 65).
template <int c>
constexpr auto biased_index = [] {
    std::array<std::uint8_t, 64> index{};
    for (std::size_t i = 0; i < index.size(); ++i)
        index[i] = std::uint8_t(i % 4 == 0 ? i + c : i % 4 == 3 ? 65 : 64);
    return index;
}();

template <int c>
[[VELMORA_AVX512_BLEND, gnu::always_inline]] inline vfloat16 biased_channel(const vuint16& pixels)
{
    const __m512i exponent = _mm512_set1_epi32(0x4B00);
    return vfloat16(_mm512_permutex2var_epi8(__m512i(pixels), _mm512_loadu_si512(biased_index<c>.data()), exponent));
}

// Products and quotients in a chosen rounding direction, through the
// zero-masking forms: GCC 12 warns about the undefined source of the others.
// The mask -1 is every lane, as the unmasked forms pass it.
constexpr int every_lane = -1;

template <int direction>
[[VELMORA_AVX512_BLEND, gnu::always_inline]] inline vfloat16 rounded_product(const vfloat16& x, const vfloat16& y)
{
    return _mm512_maskz_mul_round_ps(every_lane, x, y, direction | _MM_FROUND_NO_EXC);
}

template <int direction>
[[VELMORA_AVX512_BLEND, gnu::always_inline]] inline vfloat16 rounded_quotient(const vfloat16& x, const vfloat16& y)
{
    return _mm512_maskz_div_round_ps(every_lane, x, y, direction | _MM_FROUND_NO_EXC);
}

// The mixed channel c in the low byte of each lane (above it the float's
// exponent); lanes whose rounding is uncertain join `unsure`.
template <typename Mode, int c>
[[VELMORA_AVX512_BLEND, gnu::always_inline]] inline vuint16 mix_channel(const vuint16& s, const vuint16& d,
                                                                         const vfloat16& a_low, const vfloat16& a_high,
                                                                         __mmask16& unsure)
{
    const vfloat16 d_biased = biased_channel<c>(d);
    const vfloat16 offset = Mode::offset(biased_channel<c>(s) - two_23, d_biased - two_23);
    const vuint16 low = vuint16(_mm512_fmadd_ps(offset, a_low, d_biased));
    if constexpr (Mode::den > 2) {
        const vuint16 high = vuint16(_mm512_fmadd_ps(offset, a_high, d_biased));
        unsure |= _mm512_cmpneq_epi32_mask(__m512i(low), __m512i(high));
    }
    return low;
}

template <typename Mode>
[[VELMORA_AVX512_BLEND]] void blend_span_avx512(const std::uint32_t* src, const std::uint32_t* mask, float factor,
                                                std::uint8_t* dst, std::int32_t count)
{
    const vfloat16 zero = {};
    // 1 / den rounded down and up: a times them, rounded the same ways, bound a / den.
    const vfloat16 inverse_low = rounded_quotient<_MM_FROUND_TO_NEG_INF>(zero + 1.0f, zero + float(Mode::den));
    const vfloat16 inverse_high = rounded_quotient<_MM_FROUND_TO_POS_INF>(zero + 1.0f, zero + float(Mode::den));
    for (std::int32_t i = 0; i < count; i += 16) {
        const auto inside = __mmask16(count - i >= 16 ? 0xFFFF : (1u << (count - i)) - 1);
        const vuint16 s = vuint16(_mm512_maskz_loadu_epi32(inside, src + i));
        vfloat16 a = __builtin_convertvector(vint16(s >> 24), vfloat16) * factor;
        if (mask) {
            const vuint16 levels = vuint16(_mm512_maskz_loadu_epi32(inside, mask + i));
            a = __builtin_convertvector(vint16((levels >> 16) & 255), vfloat16) * a / 255.0f;
        }
        const __mmask16 visible = _mm512_mask_cmp_ps_mask(inside, a, zero, _CMP_NEQ_OQ);
        if (visible == 0)
            continue;
        std::uint8_t* out = dst + 4 * std::size_t(i);
        const vuint16 below = vuint16(_mm512_maskz_loadu_epi32(visible, out));
        vfloat16 a_low = a, a_high = a;
        if constexpr (Mode::den == 2) {
            a_low = a_high = a * 0.5f;
        } else if constexpr (Mode::den > 2) {
            a_low = rounded_product<_MM_FROUND_TO_NEG_INF>(a, inverse_low);
            a_high = rounded_product<_MM_FROUND_TO_POS_INF>(a, inverse_high);
        }
        __mmask16 unsure = 0;
        const vuint16 blue = mix_channel<Mode, 0>(s, below, a_low, a_high, unsure);
        const vuint16 green = mix_channel<Mode, 1>(s, below, a_low, a_high, unsure);
        const vuint16 red = mix_channel<Mode, 2>(s, below, a_low, a_high, unsure);
        const vuint16 mixed = ((blue & 0xFFu) | (green << 8) | (red << 16)) | (below & 0xFF000000u);
        _mm512_mask_storeu_epi32(out, visible, __m512i(mixed));
        for (unsure &= visible; unsure != 0; unsure = __mmask16(unsure & (unsure - 1))) {
            const int lane = __builtin_ctz(unsure);
            const auto* p = reinterpret_cast<const std::uint8_t*>(src + i + lane);
            for (int c = 0; c < 3; ++c)
                out[4 * lane + c] = blend_channel<Mode>(p[c], std::uint8_t(below[lane] >> (8 * c)), a[lane]);
        }
    }
}
#undef VELMORA_AVX512_BLEND
#endif

// Indexed by blend mode.
template <template <typename> typename Kernel>
struct tspan_set {
    static constexpr std::array<tblend_span, blend_mode_count> spans = {
        Kernel<normal_blend>::run,     Kernel<multiply_blend>::run,   Kernel<screen_blend>::run,
        Kernel<overlay_blend>::run,    Kernel<hard_light_blend>::run, Kernel<difference_blend>::run,
        Kernel<exclusion_blend>::run,  Kernel<average_blend>::run,
    };
};

template <typename Mode>
struct portable_kernel {
    static constexpr tblend_span run = blend_span_portable<Mode>;
};

#if defined(__x86_64__)
template <typename Mode>
struct avx2_kernel {
    static constexpr tblend_span run = blend_span_avx2<Mode>;
};
#endif

#if VELMORA_BLEND_AVX512
template <typename Mode>
struct avx512_kernel {
    static constexpr tblend_span run = blend_span_avx512<Mode>;
};
#endif

} // namespace

tblend_span blend_span_for(std::uint8_t mode, tkernel_set set)
{
    const std::size_t index = mode < blend_mode_count ? mode : std::size_t(normal);
#if VELMORA_BLEND_AVX512
    if (avx512_allowed(set))
        return tspan_set<avx512_kernel>::spans[index];
#endif
#if defined(__x86_64__)
    if (avx2_allowed(set))
        return tspan_set<avx2_kernel>::spans[index];
#else
    (void)set;
#endif
    return tspan_set<portable_kernel>::spans[index];
}

} // namespace velmora
