#pragma once

namespace velmora {

// Which compiled variant of a pixel loop runs. `best` is the fastest this
// processor has; the others ask for one set (tests compare them), falling
// back to a simpler one the processor lacks. Every set gives the same bytes.
enum class tkernel_set { best, portable, avx2, avx512 };

#if defined(__x86_64__)
inline bool avx2_allowed(tkernel_set set)
{
    static const bool available = __builtin_cpu_supports("avx2");
    return set != tkernel_set::portable && available;
}

// The AVX-512 parts our kernels use: 16-bit lanes, byte permutes, float
// reduction and range.
inline bool avx512_allowed(tkernel_set set)
{
    static const bool available = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                  __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vbmi");
    return (set == tkernel_set::best || set == tkernel_set::avx512) && available;
}
#endif

} // namespace velmora
