// The entry tables of the video coding kernels (for the variant tests and benchmarks). The
// implementations behind an entry trust it: pointers are valid, steps positive (the residual step
// even), so they return nothing.
#pragma once

#include <cstddef>

#include "primitives/VideoCoding.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::kernels {

using CopyBlockFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t);
using AddResidualFn = void(const int16_t*, ptrdiff_t, uint8_t*,
                           ptrdiff_t);  // residual step in bytes
using AddConstantFn = void(int16_t, uint8_t*, ptrdiff_t);
using PredictFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
using IdctFn = void(const int16_t*, int16_t*);
using IdctToPixelsFn = void(const int16_t*, uint8_t*, ptrdiff_t, int);
using IdctStoreFn = void(const int16_t*, uint8_t*, ptrdiff_t);
// The offset of the first complete start code in [data, data + size), or size.
using FindStartCodeFn = size_t(const uint8_t*, size_t);

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
extern const Kernel<IdctFn> inverseDct8x8Sparse;
extern const Kernel<IdctStoreFn> inverseDct8x8SparseStore;
extern const Kernel<IdctStoreFn> inverseDct8x8Add;
extern const Kernel<IdctStoreFn> inverseDct8x8SparseAdd;
extern const Kernel<FindStartCodeFn> findStartCode;

}  // namespace sp::kernels

// SIMD variants, registered where they beat the next lower set. SSE2: every kernel. SSSE3 and
// AVX2: the 16-wide predictions (four-sample interpolation gains) and the inverse DCTs; AVX2 also
// residual addition. The start-code search: SSE2 and AVX2.
namespace sp::x86 {
using kernels::IdctFn;
using kernels::IdctStoreFn;
using kernels::IdctToPixelsFn;
using kernels::PredictFn;
#define SP_VC_DECLARE_PREDICT(Isa, W, H) \
    PredictFn Predict##W##x##H##Isa;     \
    PredictFn PredictAverage##W##x##H##Isa;
#define SP_VC_DECLARE_IDCT(Isa)                \
    IdctFn InverseDct8x8##Isa;                 \
    IdctFn InverseDct8x8Reduced##Isa;          \
    IdctToPixelsFn InverseDct8x8ToPixels##Isa; \
    IdctStoreFn InverseDct8x8Store##Isa;       \
    IdctFn InverseDct8x8Sparse##Isa;           \
    IdctStoreFn InverseDct8x8SparseStore##Isa; \
    IdctStoreFn InverseDct8x8Add##Isa;         \
    IdctStoreFn InverseDct8x8SparseAdd##Isa;
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
kernels::CopyBlockFn CopyBlock8x8Sse2;
kernels::CopyBlockFn CopyBlock16x16Sse2;
kernels::AddResidualFn AddResidual8x8Sse2;
kernels::AddResidualFn AddResidual8x8Avx2;
kernels::AddConstantFn AddConstant8x8Sse2;
kernels::FindStartCodeFn FindStartCodeSse2;
kernels::FindStartCodeFn FindStartCodeAvx2;
}  // namespace sp::x86
