#include <immintrin.h>

#include "primitives/MPEG4CodingKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {

using V = __m256i;
constexpr int kLanes = 16;
inline V Load16(const int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
}
inline void Store16(int16_t* p, V v) {
    _mm256_storeu_si256(reinterpret_cast<V*>(p), v);
}
inline V Set16(int16_t x) {
    return _mm256_set1_epi16(x);
}
inline V Set32Of16(int x) {
    return _mm256_set1_epi32(x);
}
inline V Add16(V a, V b) {
    return _mm256_add_epi16(a, b);
}
inline V Sub16(V a, V b) {
    return _mm256_sub_epi16(a, b);
}
inline V Min16(V a, V b) {
    return _mm256_min_epi16(a, b);
}
inline V Max16(V a, V b) {
    return _mm256_max_epi16(a, b);
}
inline V MulLo16(V a, V b) {
    return _mm256_mullo_epi16(a, b);
}
inline V MulHi16(V a, V b) {
    return _mm256_mulhi_epi16(a, b);
}
inline V CmpGt16(V a, V b) {
    return _mm256_cmpgt_epi16(a, b);
}
inline V CmpEq16(V a, V b) {
    return _mm256_cmpeq_epi16(a, b);
}
inline V And(V a, V b) {
    return _mm256_and_si256(a, b);
}
inline V AndNot(V a, V b) {
    return _mm256_andnot_si256(a, b);
}
inline V Or(V a, V b) {
    return _mm256_or_si256(a, b);
}
// Unpacking works per 128-bit half; Packs32 packs per half too, so the lane order comes back.
inline V ProductsLo(V lo, V hi) {
    return _mm256_unpacklo_epi16(lo, hi);
}
inline V ProductsHi(V lo, V hi) {
    return _mm256_unpackhi_epi16(lo, hi);
}
inline V Srai32(V a, int n) {
    return _mm256_srai_epi32(a, n);
}
inline V Add32(V a, V b) {
    return _mm256_add_epi32(a, b);
}
inline V Packs32(V a, V b) {
    return _mm256_packs_epi32(a, b);
}
inline int HorizontalSum16(V v) {
    __m128i x = _mm_add_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = _mm_add_epi16(x, _mm_srli_si128(x, 8));
    x = _mm_add_epi16(x, _mm_srli_si128(x, 4));
    x = _mm_add_epi16(x, _mm_srli_si128(x, 2));
    return int16_t(_mm_cvtsi128_si32(x));
}
inline V LoadRows(const uint8_t* p, ptrdiff_t step) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + step));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1);
}
inline void StoreRows(uint8_t* p, ptrdiff_t step, V v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + step), _mm256_extracti128_si256(v, 1));
}
inline V AvgU8(V a, V b) {
    return _mm256_avg_epu8(a, b);
}

}  // namespace

#define SP_VARIANT(name) name##Avx2
#include "primitives/x86/MPEG4CodingOps.inc"
#include "primitives/x86/MPEG4CodingQuarterPel.inc"
#undef SP_VARIANT

}  // namespace sp::x86

SP_TARGET_END
