// The entry tables of the video coding kernels (for the variant tests and benchmarks).
#pragma once

#include "primitives/VideoCoding.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::kernels {

using CopyBlockFn = SpStatus(const uint8_t*, int, uint8_t*, int);
using AddResidualFn = SpStatus(const int16_t*, int, uint8_t*, int);
using AddConstantFn = SpStatus(int16_t, uint8_t*, int);
using PredictFn = SpStatus(const uint8_t*, int, uint8_t*, int, int, int);
using IdctFn = SpStatus(const int16_t*, int16_t*);
using IdctToPixelsFn = SpStatus(const int16_t*, uint8_t*, int, int);
using IdctStoreFn = SpStatus(const int16_t*, uint8_t*, int);

extern const Kernel<CopyBlockFn> copyBlock8x8;
extern const Kernel<CopyBlockFn> copyBlock16x16;
extern const Kernel<AddResidualFn> addResidual8x8;
extern const Kernel<AddConstantFn> addConstant8x8;
extern const Kernel<PredictFn> predict8x4;
extern const Kernel<PredictFn> predict8x8;
extern const Kernel<PredictFn> predict16x8;
extern const Kernel<PredictFn> predict16x16;
extern const Kernel<PredictFn> predictAverage8x4;
extern const Kernel<PredictFn> predictAverage8x8;
extern const Kernel<PredictFn> predictAverage16x8;
extern const Kernel<PredictFn> predictAverage16x16;
extern const Kernel<IdctFn> inverseDct8x8;
extern const Kernel<IdctFn> inverseDct8x8Reduced;
extern const Kernel<IdctToPixelsFn> inverseDct8x8ToPixels;
extern const Kernel<IdctStoreFn> inverseDct8x8Store;

}  // namespace sp::kernels

// SIMD variants, registered where they beat the next lower set. SSE2: every kernel. SSSE3 and
// AVX2: the 16-wide predictions (four-sample interpolation gains) and the inverse DCTs; AVX2 also
// residual addition.
namespace sp::x86 {
#define SP_VC_DECLARE_PREDICT(Isa, W, H)                                          \
    SpStatus Predict##W##x##H##Isa(const uint8_t*, int, uint8_t*, int, int, int); \
    SpStatus PredictAverage##W##x##H##Isa(const uint8_t*, int, uint8_t*, int, int, int);
#define SP_VC_DECLARE_IDCT(Isa)                                              \
    SpStatus InverseDct8x8##Isa(const int16_t*, int16_t*);                   \
    SpStatus InverseDct8x8Reduced##Isa(const int16_t*, int16_t*);            \
    SpStatus InverseDct8x8ToPixels##Isa(const int16_t*, uint8_t*, int, int); \
    SpStatus InverseDct8x8Store##Isa(const int16_t*, uint8_t*, int);
SP_VC_DECLARE_PREDICT(Sse2, 8, 4)
SP_VC_DECLARE_PREDICT(Sse2, 8, 8)
SP_VC_DECLARE_PREDICT(Sse2, 16, 8)
SP_VC_DECLARE_PREDICT(Sse2, 16, 16)
SP_VC_DECLARE_PREDICT(Ssse3, 16, 8)
SP_VC_DECLARE_PREDICT(Ssse3, 16, 16)
SP_VC_DECLARE_PREDICT(Avx2, 16, 8)
SP_VC_DECLARE_PREDICT(Avx2, 16, 16)
SP_VC_DECLARE_IDCT(Sse2)
SP_VC_DECLARE_IDCT(Ssse3)
SP_VC_DECLARE_IDCT(Avx2)
#undef SP_VC_DECLARE_PREDICT
#undef SP_VC_DECLARE_IDCT
SpStatus CopyBlock8x8Sse2(const uint8_t*, int, uint8_t*, int);
SpStatus CopyBlock16x16Sse2(const uint8_t*, int, uint8_t*, int);
SpStatus AddResidual8x8Sse2(const int16_t*, int, uint8_t*, int);
SpStatus AddResidual8x8Avx2(const int16_t*, int, uint8_t*, int);
SpStatus AddConstant8x8Sse2(int16_t, uint8_t*, int);
}  // namespace sp::x86
