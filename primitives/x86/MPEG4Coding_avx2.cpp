#include <immintrin.h>

#include "primitives/MPEG4CodingKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {

using V = __m256i;
constexpr int kLanes = 16;
#define SP_MM(op) _mm256_##op
#define SP_MM_SI(op) _mm256_##op##_si256

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

}  // namespace

#define SP_VARIANT(name) name##Avx2
#include "primitives/x86/MPEG4CodingOps.inc"
#include "primitives/x86/MPEG4CodingQuarterPel.inc"
#undef SP_VARIANT
#undef SP_MM_SI
#undef SP_MM

}  // namespace sp::x86

SP_TARGET_END
