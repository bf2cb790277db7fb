// AVX2 video coding kernels: the shared prediction and inverse DCT bodies, plus residual addition
// on two rows per register.
#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <type_traits>

#include "primitives/VideoCodingIdct.h"
#include "primitives/VideoCodingKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::AVX2;
}  // namespace

#define SP_VARIANT(name) name##Avx2
#include "primitives/x86/VideoCodingOps.inc"
#include "primitives/x86/VideoCodingStartCode.inc"
#undef SP_VC_PREDICT
#undef SP_VARIANT

void AddResidual8x8Avx2(const int16_t* residual, ptrdiff_t residualStep, uint8_t* dst,
                        ptrdiff_t dstStep) {
    const uint8_t* res = reinterpret_cast<const uint8_t*>(residual);
    for (int y = 0; y < 8; y += 2, res += 2 * residualStep, dst += 2 * dstStep) {
        const __m256i d = _mm256_cvtepu8_epi16(LoadRows(dst, dstStep));
        // Pixels are 0..255, so the saturating add only clips what the pack clamps anyway.
        const __m256i s =
            _mm256_adds_epi16(d, Join<__m256i>(Load16(res), Load16(res + residualStep)));
        StoreRows(dst, dstStep,
                  _mm_packus_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1)));
    }
}

}  // namespace sp::x86

SP_TARGET_END
