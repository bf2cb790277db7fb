#include <immintrin.h>

#include "primitives/AudioCodingKernels.h"
#include "primitives/Memory.h"
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
constexpr int kLanesLog2 = 3;
inline void Transpose(V (&r)[8]) {
    const V t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const V t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const V t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const V t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const V s0 = _mm256_shuffle_ps(t0, t2, 0x44), s1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const V s2 = _mm256_shuffle_ps(t1, t3, 0x44), s3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const V s4 = _mm256_shuffle_ps(t4, t6, 0x44), s5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const V s6 = _mm256_shuffle_ps(t5, t7, 0x44), s7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    r[0] = _mm256_permute2f128_ps(s0, s4, 0x20);
    r[1] = _mm256_permute2f128_ps(s1, s5, 0x20);
    r[2] = _mm256_permute2f128_ps(s2, s6, 0x20);
    r[3] = _mm256_permute2f128_ps(s3, s7, 0x20);
    r[4] = _mm256_permute2f128_ps(s0, s4, 0x31);
    r[5] = _mm256_permute2f128_ps(s1, s5, 0x31);
    r[6] = _mm256_permute2f128_ps(s2, s6, 0x31);
    r[7] = _mm256_permute2f128_ps(s3, s7, 0x31);
}

}  // namespace

#define SP_VARIANT(name) name##Avx2
#include "primitives/x86/AudioCodingOps.inc"
#undef SP_VARIANT

SpStatus AcPow43Avx2(const int16_t* src, float* dst, int n) {
    if (!src || !dst) return spStsNullPtrErr;
    if (n < 1) return spStsSizeErr;
    const float* table = ac::Pow43Table();
    const __m256i last = _mm256_set1_epi32(ac::kPow43TableSize - 1);
    const __m256i signBit = _mm256_set1_epi32(int32_t(0x80000000u));
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i x =
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
        const __m256i ax = _mm256_abs_epi32(x);
        if (_mm256_movemask_epi8(_mm256_cmpgt_epi32(ax, last)) != 0) break;  // rare: plain path
        const __m256 v = _mm256_i32gather_ps(table, ax, 4);
        _mm256_storeu_ps(dst + i,
                         _mm256_or_ps(v, _mm256_castsi256_ps(_mm256_and_si256(x, signBit))));
    }
    for (; i < n; ++i) {
        const int x = src[i];
        const int ax = x < 0 ? -x : x;
        const float v = ax < ac::kPow43TableSize ? table[ax] : ac::Pow43Direct(ax);
        dst[i] = x < 0 ? -v : v;
    }
    return spStsNoErr;
}

}  // namespace sp::x86

SP_TARGET_END
