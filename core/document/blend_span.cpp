#include "document/blend_span.h"

#include "document/blend.h"

#include <array>
#include <cstring>

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
[[gnu::always_inline]] inline void lane_alpha(const vint& pixels, const float* mask, float factor, vfloat& a)
{
    a = __builtin_convertvector((pixels >> 24) & 255, vfloat) * factor;
    if (mask) {
        vfloat level;
        std::memcpy(&level, mask, sizeof level);
        a = level >= 0.0f ? level * a / 255.0f : a;
    }
}

template <typename Mode>
[[gnu::always_inline]] inline void blend_span_body(const std::uint32_t* src, const float* mask, float factor,
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
        if (mask && mask[i] >= 0.0f)
            a = masked_alpha(a, std::uint8_t(mask[i]));
        if (a == 0.0f)
            continue;
        std::uint8_t* q = dst + 4 * i;
        const double a_over_den = scaled_alpha<Mode>(a);
        for (int c = 0; c < 3; ++c)
            q[c] = blend_channel_scaled<Mode>(p[c], q[c], a_over_den, a);
    }
}

template <typename Mode>
void blend_span_portable(const std::uint32_t* src, const float* mask, float factor, std::uint8_t* dst,
                         std::int32_t count)
{
    blend_span_body<Mode>(src, mask, factor, dst, count);
}

#if defined(__x86_64__)
template <typename Mode>
[[gnu::target("avx2")]] void blend_span_avx2(const std::uint32_t* src, const float* mask, float factor,
                                             std::uint8_t* dst, std::int32_t count)
{
    blend_span_body<Mode>(src, mask, factor, dst, count);
}
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

} // namespace

tblend_span blend_span_for(std::uint8_t mode, tkernel_set set)
{
    const std::size_t index = mode < blend_mode_count ? mode : std::size_t(normal);
#if defined(__x86_64__)
    if (avx2_allowed(set))
        return tspan_set<avx2_kernel>::spans[index];
#else
    (void)set;
#endif
    return tspan_set<portable_kernel>::spans[index];
}

} // namespace velmora
