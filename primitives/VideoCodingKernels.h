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
