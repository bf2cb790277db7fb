// AVX2 variants of the synthesis filter bank and the inverse MDCT, and |x|^(4/3) by gathers.
#include <immintrin.h>

#include "primitives/AudioCodingKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::AVX2;
}  // namespace

#include "primitives/x86/FloatVector.inc"

#define SP_VARIANT(name) name##Avx2
#include "primitives/x86/AudioCodingOps.inc"
#undef SP_VARIANT

void AcPow43Avx2(const int16_t* src, float* dst, int n) {
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
}

}  // namespace sp::x86

SP_TARGET_END
