// The entry tables of the MPEG-4 kernels (for the variant tests and benchmarks) and the layout of
// the dequantisation set-up that every variant reads.
#pragma once

#include <cstring>

#include "primitives/MPEG4Coding.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::mpeg4 {

struct QuantSpec {
    uint16_t weights[64];  // raster order; 16 everywhere for the H.263 method
    int32_t bitsPerPixel;
    int32_t matrix;  // 1: MPEG method
    char tag[4];     // "RAMC" intra, "SAMC" non-intra
};
static_assert(sizeof(QuantSpec) + 15 <= kVcQuantMatrixSpecSize);

// The quarter-sample interpolation of a width x height block (width 8 or 16, height up to 16).
void QuarterPelPlain(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                     int width, int height, int index, int rounding);

// The overlapped block motion compensation weights (raster order).
extern const uint8_t kObmcOwnWeight[64];
extern const uint8_t kObmcVerticalWeight[64];
extern const uint8_t kObmcHorizontalWeight[64];

inline const QuantSpec* AlignedSpec(const void* buffer) {
    const uintptr_t a = (reinterpret_cast<uintptr_t>(buffer) + 15) & ~uintptr_t(15);
    return reinterpret_cast<const QuantSpec*>(a);
}
inline constexpr char kIntraTag[4] = {'R', 'A', 'M', 'C'};
inline constexpr char kInterTag[4] = {'S', 'A', 'M', 'C'};

// The largest quantiser for a bit depth.
inline int MaxQuant(int bitsPerPixel) {
    return bitsPerPixel > 8 ? (31 << (bitsPerPixel - 8)) < 2047 ? (31 << (bitsPerPixel - 8)) : 2047
                            : 31;
}

// An entry's call: the check's status when it failed, else the implementation runs.
template <class Fn, class... Args>
SpStatus Call(const Kernel<Fn>& kernel, SpStatus check, Args... args) {
    if (check != spStsNoErr) return check;
    kernel.Current()(args...);
    return spStsNoErr;
}

}  // namespace sp::mpeg4

// A variant-list entry that exists only where the x86 variants are built.
#if SP_HAVE_X86_VARIANTS
#define SP_MPEG4_X86(isa, fn) \
    { sp::Isa::isa, sp::x86::fn }
#else
#define SP_MPEG4_X86(isa, fn) \
    { sp::Isa::SSE2, nullptr }
#endif

namespace sp::kernels {

// Every implementation trusts its entry's argument checks (a set-up arrives aligned, tagged and
// with the quantiser in its range). The coefficient decoders return only what the data decides:
// 0, or vcStsVlcErr / vcStsIntraDcErr for a bit pattern that is no code; the others return
// nothing.
using DecodeIntraCoefsFn = SpStatus(const uint8_t**, int*, int16_t*, int*, int, int, int);
using DecodeInterCoefsFn = SpStatus(const uint8_t**, int*, int16_t*, int*, int, int,
                                    const mpeg4::QuantSpec*, int);
using DecodeIntraBlockH263Fn = SpStatus(const uint8_t**, int*, int16_t*, int*, int, int);
using DecodeInterBlockH263Fn = SpStatus(const uint8_t**, int*, int16_t*, int*, int);
using DequantIntraFn = void(int16_t*, int, const mpeg4::QuantSpec*, int, int);
using AverageIntoFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t);
using QuarterPel16x16Fn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
using QuarterPelWidthFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
using ObmcFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, const VcMotionVector*,
                    const VcMotionVector*, const VcMotionVector*, const VcMotionVector*,
                    const VcMotionVector*, int);
using DeringBlockFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);

extern const Kernel<DecodeIntraCoefsFn> decodeIntraCoefsMpeg4;
extern const Kernel<DecodeInterCoefsFn> decodeInterCoefsMpeg4;
extern const Kernel<DecodeIntraBlockH263Fn> decodeIntraBlockH263;
extern const Kernel<DecodeInterBlockH263Fn> decodeInterBlockH263;
extern const Kernel<DequantIntraFn> dequantIntraMpeg4;
extern const Kernel<AverageIntoFn> averageInto8x8;
extern const Kernel<AverageIntoFn> averageInto16x16;
extern const Kernel<QuarterPel16x16Fn> predictQuarterPel16x16;
extern const Kernel<QuarterPelWidthFn> predictQuarterPelWidth8;
extern const Kernel<QuarterPelWidthFn> predictQuarterPelWidth16;
extern const Kernel<QuarterPel16x16Fn> predictQuarterPelAverage16x16;
extern const Kernel<QuarterPelWidthFn> predictQuarterPelAverageWidth8;
extern const Kernel<QuarterPelWidthFn> predictQuarterPelAverageWidth16;
extern const Kernel<QuarterPel16x16Fn> predictQuarterPelFour8x8;
extern const Kernel<QuarterPel16x16Fn> predictQuarterPelAverageFour8x8;
extern const Kernel<ObmcFn> obmcBlock8x8;
extern const Kernel<ObmcFn> obmcBlock8x8QuarterPel;
extern const Kernel<DeringBlockFn> deringBlock8x8;

}  // namespace sp::kernels

// SIMD variants: intra dequantisation, averaging and the quarter-sample predictions (the VLC
// decoders are serial by nature).
namespace sp::x86 {
void DequantIntraMpeg4Sse2(int16_t*, int, const mpeg4::QuantSpec*, int, int);
void DequantIntraMpeg4Avx2(int16_t*, int, const mpeg4::QuantSpec*, int, int);
void AverageInto8x8Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t);
void AverageInto16x16Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t);
void AverageInto16x16Avx2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t);
void QuarterPel16x16Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPel16x16Ssse3(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPel16x16Avx2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPelWidth8Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelWidth8Ssse3(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelWidth8Avx2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelWidth16Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelWidth16Ssse3(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelWidth16Avx2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelAverage16x16Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPelAverage16x16Ssse3(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPelAverage16x16Avx2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPelAverageWidth8Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelAverageWidth8Ssse3(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelAverageWidth8Avx2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelAverageWidth16Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelAverageWidth16Ssse3(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelAverageWidth16Avx2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, int);
void QuarterPelFour8x8Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPelFour8x8Ssse3(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPelFour8x8Avx2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPelAverageFour8x8Sse2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPelAverageFour8x8Ssse3(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
void QuarterPelAverageFour8x8Avx2(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);
}  // namespace sp::x86
