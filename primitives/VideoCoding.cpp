#include "primitives/VideoCoding.h"

#include <algorithm>
#include <cstring>

#include "primitives/VideoCodingIdct.h"
#include "primitives/VideoCodingKernels.h"
#include "primitives/dispatch/Entry.h"

namespace {

using sp::kernels::PredictFn;

uint8_t ClampPixel(int v) {
    return uint8_t(std::clamp(v, 0, 255));
}
int16_t Saturate16(int32_t v) {
    return int16_t(std::clamp(v, -32768, 32767));
}

template <int W, int H>
void CopyBlockPlain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep) {
    for (int y = 0; y < H; ++y) std::memcpy(dst + y * dstStep, src + y * srcStep, W);
}

void AddResidual8x8Plain(const int16_t* residual, ptrdiff_t residualStep, uint8_t* dst,
                         ptrdiff_t dstStep) {
    for (int y = 0; y < 8; ++y) {
        const int16_t* r = residual + y * (residualStep / 2);
        uint8_t* d = dst + y * dstStep;
        for (int x = 0; x < 8; ++x) d[x] = ClampPixel(d[x] + r[x]);
    }
}

void AddConstant8x8Plain(int16_t value, uint8_t* dst, ptrdiff_t dstStep) {
    for (int y = 0; y < 8; ++y) {
        uint8_t* d = dst + y * dstStep;
        for (int x = 0; x < 8; ++x) d[x] = ClampPixel(d[x] + value);
    }
}

// One of the eight prediction routines: interpolation type T, rounding R (0 up, 1 down).
template <int W, int H, int T, int R, bool Average>
void PredictRoutine(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep) {
    for (int y = 0; y < H; ++y) {
        const uint8_t* a = ref + ptrdiff_t(y) * refStep;
        const uint8_t* c = a + refStep;
        uint8_t* d = dst + ptrdiff_t(y) * dstStep;
        for (int x = 0; x < W; ++x) {
            int p;
            if constexpr (T == 0)
                p = a[x];
            else if constexpr (T == 1)
                p = (a[x] + a[x + 1] + 1 - R) >> 1;
            else if constexpr (T == 2)
                p = (a[x] + c[x] + 1 - R) >> 1;
            else
                p = (a[x] + a[x + 1] + c[x] + c[x + 1] + 2 - R) >> 2;
            if constexpr (Average) p = (d[x] + p + 1) >> 1;
            d[x] = uint8_t(p);
        }
    }
}

using Routine = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t);

// Indexed by (rounding & 1) + (type & 3) * 2; a full-sample copy ignores the rounding.
template <int W, int H, bool Average>
constexpr Routine* kRoutines[8] = {
    PredictRoutine<W, H, 0, 0, Average>, PredictRoutine<W, H, 0, 0, Average>,
    PredictRoutine<W, H, 1, 0, Average>, PredictRoutine<W, H, 1, 1, Average>,
    PredictRoutine<W, H, 2, 0, Average>, PredictRoutine<W, H, 2, 1, Average>,
    PredictRoutine<W, H, 3, 0, Average>, PredictRoutine<W, H, 3, 1, Average>};

template <int W, int H, bool Average>
void PredictPlain(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep, int type,
                  int rounding) {
    kRoutines<W, H, Average>[(rounding & 1) + (type & 3) * 2](ref, refStep, dst, dstStep);
}

// One 1-D pass: in[u * inStride] -> out[x * outStride], rounded by shift and saturated.
void Idct1d(const int16_t* in, int inStride, int16_t* out, int outStride, int shift) {
    using namespace sp::vc;
    int32_t X[8];
    for (int u = 0; u < 8; ++u) X[u] = in[u * inStride];
    for (int x = 0; x < 4; ++x) {
        const int16_t* ke = kIdctEven[x];
        const int16_t* ko = kIdctOdd[x];
        // |sum| < 2^31 for any 16-bit input: the weights of one output add up to < 2.65 * 2^14.
        const int32_t e =
            (1 << (shift - 1)) + ke[0] * X[0] + ke[1] * X[2] + ke[2] * X[4] + ke[3] * X[6];
        const int32_t o = ko[0] * X[1] + ko[1] * X[3] + ko[2] * X[5] + ko[3] * X[7];
        out[x * outStride] = Saturate16((e + o) >> shift);
        out[(7 - x) * outStride] = Saturate16((e - o) >> shift);
    }
}

// Vertical pass on every column, then horizontal pass on every row.
void Idct8x8(const int16_t* in, int16_t* out) {
    int16_t t[64];
    for (int j = 0; j < 8; ++j) Idct1d(in + j, 8, t + j, 8, sp::vc::kIdctShift1);
    for (int i = 0; i < 8; ++i) Idct1d(t + 8 * i, 1, out + 8 * i, 1, sp::vc::kIdctShift2);
}

void InverseDct8x8Plain(const int16_t* coefficients, int16_t* out) {
    int16_t r[64];
    Idct8x8(coefficients, r);
    std::memcpy(out, r, sizeof(r));
}

// Zero terms add nothing, so the full transform of the 4x4 corner is the reduced result.
void Corner4x4(const int16_t* coefficients, int16_t* block) {
    std::memset(block, 0, 64 * sizeof(int16_t));
    for (int i = 0; i < 4; ++i) std::memcpy(block + 8 * i, coefficients + 8 * i, 8);
}

void InverseDct8x8ReducedPlain(const int16_t* coefficients, int16_t* out) {
    int16_t c[64];
    Corner4x4(coefficients, c);
    Idct8x8(c, out);
}

// The corner and coefficient 63: what a sparse block holds after the last coefficient's
// parity change.
void CornerAndLast(const int16_t* coefficients, int16_t* block) {
    Corner4x4(coefficients, block);
    block[63] = coefficients[63];
}

void InverseDct8x8SparsePlain(const int16_t* coefficients, int16_t* out) {
    int16_t c[64];
    CornerAndLast(coefficients, c);
    Idct8x8(c, out);
}

void StorePixels(const int16_t* r, uint8_t* dst, ptrdiff_t dstStep) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) dst[y * dstStep + x] = ClampPixel(r[8 * y + x]);
}

void InverseDct8x8ToPixelsPlain(const int16_t* coefficients, uint8_t* dst, ptrdiff_t dstStep,
                                int hint) {
    if (hint == vcIdctHintDcOnly) {
        const uint8_t v = ClampPixel(coefficients[0] / 8);
        for (int y = 0; y < 8; ++y) std::memset(dst + y * dstStep, v, 8);
        return;
    }
    int16_t r[64];
    if (hint > 0 && hint <= vcIdctHintReducedMax) {
        int16_t c[64];
        Corner4x4(coefficients, c);
        Idct8x8(c, r);
    } else {
        Idct8x8(coefficients, r);
    }
    StorePixels(r, dst, dstStep);
}

void InverseDct8x8StorePlain(const int16_t* coefficients, uint8_t* dst, ptrdiff_t dstStep) {
    int16_t r[64];
    Idct8x8(coefficients, r);
    StorePixels(r, dst, dstStep);
}

void InverseDct8x8SparseStorePlain(const int16_t* coefficients, uint8_t* dst, ptrdiff_t dstStep) {
    int16_t c[64], r[64];
    CornerAndLast(coefficients, c);
    Idct8x8(c, r);
    StorePixels(r, dst, dstStep);
}

void InverseDct8x8AddPlain(const int16_t* coefficients, uint8_t* dst, ptrdiff_t dstStep) {
    int16_t r[64];
    Idct8x8(coefficients, r);
    AddResidual8x8Plain(r, 16, dst, dstStep);
}

void InverseDct8x8SparseAddPlain(const int16_t* coefficients, uint8_t* dst, ptrdiff_t dstStep) {
    int16_t c[64], r[64];
    CornerAndLast(coefficients, c);
    Idct8x8(c, r);
    AddResidual8x8Plain(r, 16, dst, dstStep);
}

}  // namespace

namespace sp::kernels {

// clang-format off
#if SP_HAVE_X86_VARIANTS
#define SP_VC_ALL(Name) \
    {{Isa::SSE2, x86::Name##Sse2}, {Isa::SSSE3, x86::Name##Ssse3}, {Isa::AVX2, x86::Name##Avx2}}
#define SP_VC_SSE2_AVX2(Name) {{Isa::SSE2, x86::Name##Sse2}, {Isa::AVX2, x86::Name##Avx2}}
#define SP_VC_SSE2(Name) {{Isa::SSE2, x86::Name##Sse2}}
#else
#define SP_VC_ALL(Name) {}
#define SP_VC_SSE2_AVX2(Name) {}
#define SP_VC_SSE2(Name) {}
#endif
// clang-format on

constinit const Kernel<CopyBlockFn> copyBlock8x8{"vcCopyBlock8x8", CopyBlockPlain<8, 8>,
                                                 SP_VC_SSE2(CopyBlock8x8)};
constinit const Kernel<CopyBlockFn> copyBlock16x16{"vcCopyBlock16x16", CopyBlockPlain<16, 16>,
                                                   SP_VC_SSE2(CopyBlock16x16)};
constinit const Kernel<AddResidualFn> addResidual8x8{"vcAddResidual8x8", AddResidual8x8Plain,
                                                     SP_VC_SSE2_AVX2(AddResidual8x8)};
constinit const Kernel<AddConstantFn> addConstant8x8{"vcAddConstant8x8", AddConstant8x8Plain,
                                                     SP_VC_SSE2(AddConstant8x8)};
constinit const Kernel<PredictFn> predict8x4{"vcPredict8x4", PredictPlain<8, 4, false>,
                                             SP_VC_SSE2(Predict8x4)};
constinit const Kernel<PredictFn> predict8x8{"vcPredict8x8", PredictPlain<8, 8, false>,
                                             SP_VC_SSE2(Predict8x8)};
constinit const Kernel<PredictFn> predict16x8{"vcPredict16x8", PredictPlain<16, 8, false>,
                                              SP_VC_ALL(Predict16x8)};
constinit const Kernel<PredictFn> predict16x16{"vcPredict16x16", PredictPlain<16, 16, false>,
                                               SP_VC_ALL(Predict16x16)};
constinit const Kernel<PredictFn> predictAverage8x4{"vcPredictAverage8x4", PredictPlain<8, 4, true>,
                                                    SP_VC_SSE2(PredictAverage8x4)};
constinit const Kernel<PredictFn> predictAverage8x8{"vcPredictAverage8x8", PredictPlain<8, 8, true>,
                                                    SP_VC_SSE2(PredictAverage8x8)};
constinit const Kernel<PredictFn> predictAverage16x8{
    "vcPredictAverage16x8", PredictPlain<16, 8, true>, SP_VC_ALL(PredictAverage16x8)};
constinit const Kernel<PredictFn> predictAverage16x16{
    "vcPredictAverage16x16", PredictPlain<16, 16, true>, SP_VC_ALL(PredictAverage16x16)};
constinit const Kernel<IdctFn> inverseDct8x8{"vcInverseDct8x8", InverseDct8x8Plain,
                                             SP_VC_ALL(InverseDct8x8)};
constinit const Kernel<IdctFn> inverseDct8x8Reduced{
    "vcInverseDct8x8Reduced", InverseDct8x8ReducedPlain, SP_VC_ALL(InverseDct8x8Reduced)};
constinit const Kernel<IdctToPixelsFn> inverseDct8x8ToPixels{
    "vcInverseDct8x8ToPixels", InverseDct8x8ToPixelsPlain, SP_VC_ALL(InverseDct8x8ToPixels)};
constinit const Kernel<IdctStoreFn> inverseDct8x8Store{
    "vcInverseDct8x8Store", InverseDct8x8StorePlain, SP_VC_ALL(InverseDct8x8Store)};
constinit const Kernel<IdctFn> inverseDct8x8Sparse{
    "vcInverseDct8x8Sparse", InverseDct8x8SparsePlain, SP_VC_ALL(InverseDct8x8Sparse)};
constinit const Kernel<IdctStoreFn> inverseDct8x8SparseStore{"vcInverseDct8x8SparseStore",
                                                             InverseDct8x8SparseStorePlain,
                                                             SP_VC_ALL(InverseDct8x8SparseStore)};
constinit const Kernel<IdctStoreFn> inverseDct8x8Add{"vcInverseDct8x8Add", InverseDct8x8AddPlain,
                                                     SP_VC_ALL(InverseDct8x8Add)};
constinit const Kernel<IdctStoreFn> inverseDct8x8SparseAdd{
    "vcInverseDct8x8SparseAdd", InverseDct8x8SparseAddPlain, SP_VC_ALL(InverseDct8x8SparseAdd)};

#undef SP_VC_ALL
#undef SP_VC_SSE2
#undef SP_VC_SSE2_AVX2

}  // namespace sp::kernels

using namespace sp::kernels;
using sp::CallChecked;

// Every argument is checked here; the implementations behind the entries trust them.
namespace {

SpStatus CheckBlock(const void* src, int srcStep, const void* dst, int dstStep) {
    if (!src || !dst) return spStsNullPtrErr;
    if (srcStep < 1 || dstStep < 1) return spStsStepErr;
    return spStsNoErr;
}

}  // namespace

SpStatus vcCopyBlock8x8(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep) {
    return CallChecked(copyBlock8x8, CheckBlock(src, srcStep, dst, dstStep), src,
                       ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep));
}
SpStatus vcCopyBlock16x16(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep) {
    return CallChecked(copyBlock16x16, CheckBlock(src, srcStep, dst, dstStep), src,
                       ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep));
}
SpStatus vcAddResidual8x8(const int16_t* residual, int residualStep, uint8_t* dst, int dstStep) {
    // A residual row must start on a 16-bit value.
    const SpStatus check = (residualStep & 1) && residual && dst
                               ? spStsStepErr
                               : CheckBlock(residual, residualStep, dst, dstStep);
    return CallChecked(addResidual8x8, check, residual, ptrdiff_t(residualStep), dst,
                       ptrdiff_t(dstStep));
}
SpStatus vcAddConstant8x8(int16_t value, uint8_t* dst, int dstStep) {
    return CallChecked(addConstant8x8, CheckBlock(dst, 1, dst, dstStep), value, dst,
                       ptrdiff_t(dstStep));
}

#define SP_VC_PREDICT_ENTRY(Name, kernel)                                                \
    SpStatus Name(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,  \
                  int rounding) {                                                        \
        return CallChecked(kernel, CheckBlock(ref, refStep, dst, dstStep), ref,          \
                           ptrdiff_t(refStep), dst, ptrdiff_t(dstStep), type, rounding); \
    }
SP_VC_PREDICT_ENTRY(vcPredict8x4, predict8x4)
SP_VC_PREDICT_ENTRY(vcPredict8x8, predict8x8)
SP_VC_PREDICT_ENTRY(vcPredict16x8, predict16x8)
SP_VC_PREDICT_ENTRY(vcPredict16x16, predict16x16)
SP_VC_PREDICT_ENTRY(vcPredictAverage8x4, predictAverage8x4)
SP_VC_PREDICT_ENTRY(vcPredictAverage8x8, predictAverage8x8)
SP_VC_PREDICT_ENTRY(vcPredictAverage16x8, predictAverage16x8)
SP_VC_PREDICT_ENTRY(vcPredictAverage16x16, predictAverage16x16)
#undef SP_VC_PREDICT_ENTRY

SpStatus vcInverseDct8x8(const int16_t* coefficients, int16_t* out) {
    return CallChecked(inverseDct8x8, CheckBlock(coefficients, 1, out, 1), coefficients, out);
}
SpStatus vcInverseDct8x8Reduced(const int16_t* coefficients, int16_t* out) {
    return CallChecked(inverseDct8x8Reduced, CheckBlock(coefficients, 1, out, 1), coefficients,
                       out);
}
SpStatus vcInverseDct8x8ToPixels(const int16_t* coefficients, uint8_t* dst, int dstStep, int hint) {
    return CallChecked(inverseDct8x8ToPixels, CheckBlock(coefficients, 1, dst, dstStep),
                       coefficients, dst, ptrdiff_t(dstStep), hint);
}
SpStatus vcInverseDct8x8Store(const int16_t* coefficients, uint8_t* dst, int dstStep) {
    return CallChecked(inverseDct8x8Store, CheckBlock(coefficients, 1, dst, dstStep), coefficients,
                       dst, ptrdiff_t(dstStep));
}
SpStatus vcInverseDct8x8Sparse(const int16_t* coefficients, int16_t* out) {
    return CallChecked(inverseDct8x8Sparse, CheckBlock(coefficients, 1, out, 1), coefficients, out);
}
SpStatus vcInverseDct8x8SparseStore(const int16_t* coefficients, uint8_t* dst, int dstStep) {
    return CallChecked(inverseDct8x8SparseStore, CheckBlock(coefficients, 1, dst, dstStep),
                       coefficients, dst, ptrdiff_t(dstStep));
}
SpStatus vcInverseDct8x8Add(const int16_t* coefficients, uint8_t* dst, int dstStep) {
    return CallChecked(inverseDct8x8Add, CheckBlock(coefficients, 1, dst, dstStep), coefficients,
                       dst, ptrdiff_t(dstStep));
}
SpStatus vcInverseDct8x8SparseAdd(const int16_t* coefficients, uint8_t* dst, int dstStep) {
    return CallChecked(inverseDct8x8SparseAdd, CheckBlock(coefficients, 1, dst, dstStep),
                       coefficients, dst, ptrdiff_t(dstStep));
}
