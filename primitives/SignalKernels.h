// The entry tables of the vector utilities (for the variant tests and benchmarks).
#pragma once

#include "primitives/Signal.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::kernels {

using Zero8uFn = SpStatus(uint8_t*, int);
using Zero16sFn = SpStatus(int16_t*, int);
using Zero32fFn = SpStatus(float*, int);
using Copy32fFn = SpStatus(const float*, float*, int);
using MulC32fInPlaceFn = SpStatus(float, float*, int);
using MulC32fFn = SpStatus(const float*, float, float*, int);
using AddProductC32fFn = SpStatus(const float*, float, float*, int);
using Binary32fFn = SpStatus(const float*, const float*, float*, int);  // a, b, dst
using InPlace32fFn = SpStatus(const float*, float*, int);               // a, srcDst
using DotProduct32fFn = SpStatus(const float*, const float*, int, float*);
using Flip32Fn = SpStatus(const float*, float*, int);
using MulC16sScaledInPlaceFn = SpStatus(int16_t, int16_t*, int, int);
using MulC16sScaledFn = SpStatus(const int16_t*, int16_t, int16_t*, int, int);
using Add16sScaledFn = SpStatus(const int16_t*, const int16_t*, int16_t*, int, int);
using Deinterleave32Fn = SpStatus(const float*, int, int, float* const*);
using FloatToInt16InterleaveFn = SpStatus(const float* const*, int, int, int16_t*);
using SwapBytes16Fn = SpStatus(const uint16_t*, uint16_t*, int);

extern const Kernel<Zero8uFn> zero8u;
extern const Kernel<Zero16sFn> zero16s;
extern const Kernel<Zero32fFn> zero32f;
extern const Kernel<Copy32fFn> copy32f;
extern const Kernel<MulC32fInPlaceFn> mulC32fInPlace;
extern const Kernel<MulC32fFn> mulC32f;
extern const Kernel<AddProductC32fFn> addProductC32f;
extern const Kernel<Binary32fFn> mul32f;
extern const Kernel<InPlace32fFn> mul32fInPlace;
extern const Kernel<Binary32fFn> add32f;
extern const Kernel<InPlace32fFn> add32fInPlace;
extern const Kernel<InPlace32fFn> sub32fInPlace;
extern const Kernel<Binary32fFn> addProduct32f;
extern const Kernel<DotProduct32fFn> dotProduct32f;
extern const Kernel<Flip32Fn> flip32;
extern const Kernel<MulC16sScaledInPlaceFn> mulC16sScaledInPlace;
extern const Kernel<MulC16sScaledFn> mulC16sScaled;
extern const Kernel<Add16sScaledFn> add16sScaled;
extern const Kernel<Deinterleave32Fn> deinterleave32;
extern const Kernel<FloatToInt16InterleaveFn> floatToInt16Interleave;
extern const Kernel<SwapBytes16Fn> swapBytes16;

}  // namespace sp::kernels

namespace sp::x86 {
#define SP_SIGNAL_X86_VARIANTS(Isa)                                       \
    SpStatus MulC32fInPlace##Isa(float, float*, int);                     \
    SpStatus MulC32f##Isa(const float*, float, float*, int);              \
    SpStatus AddProductC32f##Isa(const float*, float, float*, int);       \
    SpStatus Mul32f##Isa(const float*, const float*, float*, int);        \
    SpStatus Mul32fInPlace##Isa(const float*, float*, int);               \
    SpStatus Add32f##Isa(const float*, const float*, float*, int);        \
    SpStatus Add32fInPlace##Isa(const float*, float*, int);               \
    SpStatus Sub32fInPlace##Isa(const float*, float*, int);               \
    SpStatus AddProduct32f##Isa(const float*, const float*, float*, int); \
    SpStatus DotProduct32f##Isa(const float*, const float*, int, float*); \
    SpStatus Flip32##Isa(const float*, float*, int);                      \
    SpStatus FloatToInt16Interleave##Isa(const float* const*, int, int, int16_t*);
SP_SIGNAL_X86_VARIANTS(Sse2)
SP_SIGNAL_X86_VARIANTS(Avx2)
#undef SP_SIGNAL_X86_VARIANTS
SpStatus SwapBytes16Avx2(const uint16_t*, uint16_t*, int);
}  // namespace sp::x86
