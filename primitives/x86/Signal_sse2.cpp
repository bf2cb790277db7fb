#include <emmintrin.h>

#include <cmath>
#include <cstring>

#include "primitives/SignalKernels.h"

namespace sp::x86 {
namespace {

using V = __m128;
constexpr int kLanes = 4;
inline V LoadU(const float* p) {
    return _mm_loadu_ps(p);
}
inline void StoreU(float* p, V v) {
    _mm_storeu_ps(p, v);
}
inline V Set1(float x) {
    return _mm_set1_ps(x);
}
inline V Zero() {
    return _mm_setzero_ps();
}
inline V Mul(V a, V b) {
    return _mm_mul_ps(a, b);
}
inline V Add(V a, V b) {
    return _mm_add_ps(a, b);
}
inline V Sub(V a, V b) {
    return _mm_sub_ps(a, b);
}
inline V Reverse(V v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

// NaN to 0, clamp to the int16 range, round to nearest even (the default rounding mode).
inline __m128i ToInt32(const float* p) {
    V x = _mm_loadu_ps(p);
    x = _mm_and_ps(x, _mm_cmpord_ps(x, x));
    x = _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
    return _mm_cvtps_epi32(x);
}
inline void ConvertStore1(const float* s, int16_t* d) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packs_epi32(ToInt32(s), ToInt32(s + 4)));
}
inline void ConvertStore2(const float* l, const float* r, int16_t* d) {
    const __m128i lr = _mm_packs_epi32(ToInt32(l), ToInt32(r));  // l0..l3 r0..r3
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi16(lr, _mm_srli_si128(lr, 8)));
}

}  // namespace

#define SP_VARIANT(name) name##Sse2
#include "primitives/x86/SignalFloatOps.inc"
#undef SP_VARIANT

SpStatus SwapBytes16Sse2(const uint16_t* src, uint16_t* dst, int n) {
    if (!src || !dst) return spStsNullPtrErr;
    if (n < 1) return spStsSizeErr;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)));
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
