#include <immintrin.h>

#include <cmath>
#include <cstring>

#include "primitives/SignalKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {

using V = __m256;
constexpr int kLanes = 8;
inline V LoadU(const float* p) {
    return _mm256_loadu_ps(p);
}
inline void StoreU(float* p, V v) {
    _mm256_storeu_ps(p, v);
}
inline V Set1(float x) {
    return _mm256_set1_ps(x);
}
inline V Zero() {
    return _mm256_setzero_ps();
}
inline V Mul(V a, V b) {
    return _mm256_mul_ps(a, b);
}
inline V Add(V a, V b) {
    return _mm256_add_ps(a, b);
}
inline V Sub(V a, V b) {
    return _mm256_sub_ps(a, b);
}
inline V Reverse(V v) {
    const V halves = _mm256_permute2f128_ps(v, v, 1);
    return _mm256_permute_ps(halves, _MM_SHUFFLE(0, 1, 2, 3));
}

// NaN to 0, clamp to the int16 range, round to nearest even (the default rounding mode).
inline __m256i ToInt32(const float* p) {
    V x = _mm256_loadu_ps(p);
    x = _mm256_and_ps(x, _mm256_cmp_ps(x, x, _CMP_ORD_Q));
    x = _mm256_min_ps(_mm256_max_ps(x, _mm256_set1_ps(-32768.0f)), _mm256_set1_ps(32767.0f));
    return _mm256_cvtps_epi32(x);
}
inline void ConvertStore1(const float* s, int16_t* d) {
    // packs works per 128-bit lane: a0-3 b0-3 a4-7 b4-7, put back in order.
    const __m256i p = _mm256_packs_epi32(ToInt32(s), ToInt32(s + 8));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                        _mm256_permute4x64_epi64(p, _MM_SHUFFLE(3, 1, 2, 0)));
}
inline void ConvertStore2(const float* l, const float* r, int16_t* d) {
    // Per lane: l0-3 r0-3 (low lane), l4-7 r4-7 (high lane); interleave within each lane.
    const __m256i p = _mm256_packs_epi32(ToInt32(l), ToInt32(r));
    const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0,
                                           1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_shuffle_epi8(p, order));
}

}  // namespace

#define SP_VARIANT(name) name##Avx2
#include "primitives/x86/SignalFloatOps.inc"
#undef SP_VARIANT

SpStatus SwapBytes16Avx2(const uint16_t* src, uint16_t* dst, int n) {
    if (!src || !dst) return spStsNullPtrErr;
    if (n < 1) return spStsSizeErr;
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1,
                                          0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_shuffle_epi8(v, swap));
    }
    for (; i < n; ++i) {
        uint16_t v;
        std::memcpy(&v, src + i, 2);
        v = uint16_t((v >> 8) | (v << 8));
        std::memcpy(dst + i, &v, 2);
    }
    return spStsNoErr;
}

}  // namespace sp::x86

SP_TARGET_END
