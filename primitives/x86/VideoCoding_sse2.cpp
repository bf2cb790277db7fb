// SSE2 video coding kernels: the shared prediction and inverse DCT bodies, the eight-wide
// predictions (no wider set predicts them faster), block copies, residual and constant addition.
#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <type_traits>

#include "primitives/VideoCodingIdct.h"
#include "primitives/VideoCodingKernels.h"

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::SSE2;
}  // namespace

#define SP_VARIANT(name) name##Sse2
#include "primitives/x86/VideoCodingOps.inc"
#include "primitives/x86/VideoCodingStartCode.inc"

SP_VC_PREDICT(Predict8x4, 8, 4, false)
SP_VC_PREDICT(Predict8x8, 8, 8, false)
SP_VC_PREDICT(PredictAverage8x4, 8, 4, true)
SP_VC_PREDICT(PredictAverage8x8, 8, 8, true)
#undef SP_VC_PREDICT
#undef SP_VARIANT

void CopyBlock8x8Sse2(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep) {
    for (int y = 0; y < 8; ++y, src += srcStep, dst += dstStep) Store8(dst, Load8(src));
}

void CopyBlock16x16Sse2(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep) {
    for (int y = 0; y < 16; ++y, src += srcStep, dst += dstStep) Store16(dst, Load16(src));
}

void AddResidual8x8Sse2(const int16_t* residual, ptrdiff_t residualStep, uint8_t* dst,
                        ptrdiff_t dstStep) {
    const uint8_t* res = reinterpret_cast<const uint8_t*>(residual);
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < 8; y += 2, res += 2 * residualStep, dst += 2 * dstStep) {
        const __m128i r0 = Load16(res), r1 = Load16(res + residualStep);
        const __m128i d = LoadRows(dst, dstStep);
        // Pixels are 0..255, so the saturating add only clips what the pack clamps anyway.
        const __m128i s0 = _mm_adds_epi16(_mm_unpacklo_epi8(d, zero), r0);
        const __m128i s1 = _mm_adds_epi16(_mm_unpackhi_epi8(d, zero), r1);
        StoreRows(dst, dstStep, _mm_packus_epi16(s0, s1));
    }
}

void AddConstant8x8Sse2(int16_t value, uint8_t* dst, ptrdiff_t dstStep) {
    const __m128i v = _mm_set1_epi16(value), zero = _mm_setzero_si128();
    for (int y = 0; y < 8; y += 2, dst += 2 * dstStep) {
        const __m128i d = LoadRows(dst, dstStep);
        const __m128i s0 = _mm_adds_epi16(_mm_unpacklo_epi8(d, zero), v);
        const __m128i s1 = _mm_adds_epi16(_mm_unpackhi_epi8(d, zero), v);
        StoreRows(dst, dstStep, _mm_packus_epi16(s0, s1));
    }
}

}  // namespace sp::x86
