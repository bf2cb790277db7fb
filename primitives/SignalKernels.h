// The entry tables of the vector utilities (for the variant tests and benchmarks).
#pragma once

#include "primitives/Signal.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::kernels {

// The implementations trust the entries' checks and return nothing.
using Zero8uFn = void(uint8_t*, int);
using Zero16sFn = void(int16_t*, int);
using Zero32fFn = void(float*, int);
using Copy32fFn = void(const float*, float*, int);
using MulC32fInPlaceFn = void(float, float*, int);
using MulC32fFn = void(const float*, float, float*, int);
using AddProductC32fFn = void(const float*, float, float*, int);
using Binary32fFn = void(const float*, const float*, float*, int);  // a, b, dst
using InPlace32fFn = void(const float*, float*, int);               // a, srcDst
using DotProduct32fFn = void(const float*, const float*, int, float*);
using Flip32Fn = void(const float*, float*, int);
using MulC16sScaledInPlaceFn = void(int16_t, int16_t*, int, int);
using MulC16sScaledFn = void(const int16_t*, int16_t, int16_t*, int, int);
using Add16sScaledFn = void(const int16_t*, const int16_t*, int16_t*, int, int);
using Deinterleave32Fn = void(const float*, int, int, float* const*);
using FloatToInt16InterleaveFn = void(const float* const*, int, int, int16_t*);
using SwapBytes16Fn = void(const uint16_t*, uint16_t*, int);

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
#define SP_SIGNAL_X86_VARIANTS(Isa)                                   \
    void MulC32fInPlace##Isa(float, float*, int);                     \
    void MulC32f##Isa(const float*, float, float*, int);              \
    void AddProductC32f##Isa(const float*, float, float*, int);       \
    void Mul32f##Isa(const float*, const float*, float*, int);        \
    void Mul32fInPlace##Isa(const float*, float*, int);               \
    void Add32f##Isa(const float*, const float*, float*, int);        \
    void Add32fInPlace##Isa(const float*, float*, int);               \
    void Sub32fInPlace##Isa(const float*, float*, int);               \
    void AddProduct32f##Isa(const float*, const float*, float*, int); \
    void DotProduct32f##Isa(const float*, const float*, int, float*); \
    void Flip32##Isa(const float*, float*, int);                      \
    void FloatToInt16Interleave##Isa(const float* const*, int, int, int16_t*);
SP_SIGNAL_X86_VARIANTS(Sse2)
SP_SIGNAL_X86_VARIANTS(Avx2)
#undef SP_SIGNAL_X86_VARIANTS
void SwapBytes16Avx2(const uint16_t*, uint16_t*, int);
}  // namespace sp::x86
