// Quarter-sample prediction and overlapped block motion compensation (plain versions and entry
// tables).
#include <algorithm>

#include "primitives/MPEG4Coding.h"
#include "primitives/MPEG4CodingKernels.h"
#include "primitives/VideoCoding.h"

namespace sp::mpeg4 {

namespace {

uint8_t Clip255(int v) {
    return uint8_t(std::clamp(v, 0, 255));
}

// Position c of a line of n + 1 samples (0..n), mirrored at both ends with the edge repeated.
int Mirror(int c, int n) {
    return c < 0 ? -1 - c : c > n ? 2 * n + 1 - c : c;
}

// Half-sample value between positions c and c + 1 of a line of n + 1 samples.
template <class Line>
int HalfSample(const Line& at, int c, int n, int rounding) {
    auto p = [&](int k) { return int(at(Mirror(k, n))); };
    const int sum = 20 * (p(c) + p(c + 1)) - 6 * (p(c - 1) + p(c + 2)) + 3 * (p(c - 2) + p(c + 3)) -
                    (p(c - 3) + p(c + 4));
    return Clip255((sum + 16 - rounding) >> 5);
}

// One line position at fraction f (0..3 quarters) past c.
template <class Line>
int QuarterSample(const Line& at, int c, int n, int f, int rounding) {
    if (f == 0) return at(c);
    const int half = HalfSample(at, c, n, rounding);
    if (f == 2) return half;
    return (int(at(f == 1 ? c : c + 1)) + half + 1 - rounding) >> 1;
}

}  // namespace

void QuarterPelPlain(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                     int width, int height, int index, int rounding) {
    const int fx = index & 3, fy = (index >> 2) & 3;
    rounding &= 1;
    // Horizontal stage over the height + 1 rows of the block's area, then vertical.
    uint8_t rows[17][16];
    for (int r = 0; r <= height; ++r) {
        const uint8_t* line = ref + r * refStep;
        auto at = [line](int c) { return line[c]; };
        for (int c = 0; c < width; ++c)
            rows[r][c] = uint8_t(QuarterSample(at, c, width, fx, rounding));
    }
    for (int c = 0; c < width; ++c) {
        auto at = [&rows, c](int r) { return rows[r][c]; };
        for (int r = 0; r < height; ++r)
            dst[r * dstStep + c] = uint8_t(QuarterSample(at, r, height, fy, rounding));
    }
}

namespace {

// The prediction of a width x height block, averaged into dst when Average.
template <bool Average>
void QuarterPelInto(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                    int width, int height, int index, int rounding) {
    if (!Average)
        return QuarterPelPlain(ref, refStep, dst, dstStep, width, height, index, rounding);
    uint8_t prediction[16 * 16];
    QuarterPelPlain(ref, refStep, prediction, 16, width, height, index, rounding);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            uint8_t& d = dst[r * dstStep + c];
            d = uint8_t((d + prediction[r * 16 + c] + 1) >> 1);
        }
}

template <bool Average>
void QuarterPel16x16Plain(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                          int index, int rounding) {
    QuarterPelInto<Average>(ref, refStep, dst, dstStep, 16, 16, index, rounding);
}

template <int Width, bool Average>
void QuarterPelWidthPlain(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                          int index, int rounding, int height) {
    QuarterPelInto<Average>(ref, refStep, dst, dstStep, Width, height, index, rounding);
}

// Four 8x8 blocks of a 16x16 area, each at the same position.
template <bool Average>
void QuarterPelFour8x8Plain(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                            int index, int rounding) {
    for (int b = 0; b < 4; ++b) {
        const int x = (b & 1) * 8, y = (b >> 1) * 8;
        QuarterPelInto<Average>(ref + y * refStep + x, refStep, dst + y * dstStep + x, dstStep, 8,
                                8, index, rounding);
    }
}

// The five predictions of OBMC go through the dispatched prediction kernels; only the
// weighting is done here.
void HalfPel8x8(const uint8_t* ref, ptrdiff_t step, VcMotionVector v, int rounding, uint8_t* out) {
    vcPredict8x8(ref + (v.dy >> 1) * step + (v.dx >> 1), int(step), out, 8,
                 (v.dx & 1) + 2 * (v.dy & 1), rounding);
}

void QuarterPel8x8(const uint8_t* ref, ptrdiff_t step, VcMotionVector v, int rounding,
                   uint8_t* out) {
    sp::kernels::predictQuarterPelWidth8.Current()(ref + (v.dy >> 2) * step + (v.dx >> 2), step,
                                                   out, 8, (v.dx & 3) + 4 * (v.dy & 3), rounding,
                                                   8);
}

template <bool Quarter>
void ObmcPlain(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
               const VcMotionVector* own, const VcMotionVector* above, const VcMotionVector* below,
               const VcMotionVector* left, const VcMotionVector* right, int rounding) {
    rounding &= 1;
    uint8_t pred[5][64];
    const VcMotionVector* vectors[5] = {own, above, below, left, right};
    for (int k = 0; k < 5; ++k) {
        if (Quarter)
            QuarterPel8x8(ref, refStep, *vectors[k], rounding, pred[k]);
        else
            HalfPel8x8(ref, refStep, *vectors[k], rounding, pred[k]);
    }
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            const int i = r * 8 + c;
            const int vertical = r < 4 ? 1 : 2, horizontal = c < 4 ? 3 : 4;
            dst[r * dstStep + c] = uint8_t((pred[0][i] * kObmcOwnWeight[i] +
                                            pred[vertical][i] * kObmcVerticalWeight[i] +
                                            pred[horizontal][i] * kObmcHorizontalWeight[i] + 4) >>
                                           3);
        }
}

}  // namespace

// Weights of ISO/IEC 14496-2 7.6.6 (the H.263 Annex F matrices); the three sum to 8.
const uint8_t kObmcOwnWeight[64] = {
    4, 5, 5, 5, 5, 5, 5, 4,  //
    5, 5, 5, 5, 5, 5, 5, 5,  //
    5, 5, 6, 6, 6, 6, 5, 5,  //
    5, 5, 6, 6, 6, 6, 5, 5,  //
    5, 5, 6, 6, 6, 6, 5, 5,  //
    5, 5, 6, 6, 6, 6, 5, 5,  //
    5, 5, 5, 5, 5, 5, 5, 5,  //
    4, 5, 5, 5, 5, 5, 5, 4,
};
const uint8_t kObmcVerticalWeight[64] = {
    2, 2, 2, 2, 2, 2, 2, 2,  //
    1, 1, 2, 2, 2, 2, 1, 1,  //
    1, 1, 1, 1, 1, 1, 1, 1,  //
    1, 1, 1, 1, 1, 1, 1, 1,  //
    1, 1, 1, 1, 1, 1, 1, 1,  //
    1, 1, 1, 1, 1, 1, 1, 1,  //
    1, 1, 2, 2, 2, 2, 1, 1,  //
    2, 2, 2, 2, 2, 2, 2, 2,
};
const uint8_t kObmcHorizontalWeight[64] = {
    2, 1, 1, 1, 1, 1, 1, 2,  //
    2, 2, 1, 1, 1, 1, 2, 2,  //
    2, 2, 1, 1, 1, 1, 2, 2,  //
    2, 2, 1, 1, 1, 1, 2, 2,  //
    2, 2, 1, 1, 1, 1, 2, 2,  //
    2, 2, 1, 1, 1, 1, 2, 2,  //
    2, 2, 1, 1, 1, 1, 2, 2,  //
    2, 1, 1, 1, 1, 1, 1, 2,
};

}  // namespace sp::mpeg4

namespace sp::kernels {

#define SP_MPEG4_QPEL_KERNEL(Fn, kernel, name, plain, variant)                   \
    constinit const Kernel<Fn> kernel{                                           \
        name,                                                                    \
        plain,                                                                   \
        {SP_MPEG4_X86(SSE2, variant##Sse2), SP_MPEG4_X86(SSSE3, variant##Ssse3), \
         SP_MPEG4_X86(AVX2, variant##Avx2)}};
SP_MPEG4_QPEL_KERNEL(QuarterPel16x16Fn, predictQuarterPel16x16, "vcPredictQuarterPel16x16",
                     sp::mpeg4::QuarterPel16x16Plain<false>, QuarterPel16x16)
SP_MPEG4_QPEL_KERNEL(QuarterPelWidthFn, predictQuarterPelWidth8, "vcPredictQuarterPelWidth8",
                     (sp::mpeg4::QuarterPelWidthPlain<8, false>), QuarterPelWidth8)
SP_MPEG4_QPEL_KERNEL(QuarterPelWidthFn, predictQuarterPelWidth16, "vcPredictQuarterPelWidth16",
                     (sp::mpeg4::QuarterPelWidthPlain<16, false>), QuarterPelWidth16)
SP_MPEG4_QPEL_KERNEL(QuarterPel16x16Fn, predictQuarterPelAverage16x16,
                     "vcPredictQuarterPelAverage16x16", sp::mpeg4::QuarterPel16x16Plain<true>,
                     QuarterPelAverage16x16)
SP_MPEG4_QPEL_KERNEL(QuarterPelWidthFn, predictQuarterPelAverageWidth8,
                     "vcPredictQuarterPelAverageWidth8", (sp::mpeg4::QuarterPelWidthPlain<8, true>),
                     QuarterPelAverageWidth8)
SP_MPEG4_QPEL_KERNEL(QuarterPelWidthFn, predictQuarterPelAverageWidth16,
                     "vcPredictQuarterPelAverageWidth16",
                     (sp::mpeg4::QuarterPelWidthPlain<16, true>), QuarterPelAverageWidth16)
SP_MPEG4_QPEL_KERNEL(QuarterPel16x16Fn, predictQuarterPelFour8x8, "vcPredictQuarterPelFour8x8",
                     sp::mpeg4::QuarterPelFour8x8Plain<false>, QuarterPelFour8x8)
SP_MPEG4_QPEL_KERNEL(QuarterPel16x16Fn, predictQuarterPelAverageFour8x8,
                     "vcPredictQuarterPelAverageFour8x8", sp::mpeg4::QuarterPelFour8x8Plain<true>,
                     QuarterPelAverageFour8x8)
#undef SP_MPEG4_QPEL_KERNEL

constinit const Kernel<ObmcFn> obmcBlock8x8{"vcObmcBlock8x8", sp::mpeg4::ObmcPlain<false>};
constinit const Kernel<ObmcFn> obmcBlock8x8QuarterPel{"vcObmcBlock8x8QuarterPel",
                                                      sp::mpeg4::ObmcPlain<true>};

}  // namespace sp::kernels

// Every argument is checked here; the implementations behind the entries trust them.
namespace {

SpStatus CheckQuarterPel(const uint8_t* ref, const uint8_t* dst, int height = 8) {
    if (!ref || !dst) return spStsNullPtrErr;
    // One row has too few neighbours to mirror the 8-tap filter into.
    if (height < 2 || height > 16) return spStsSizeErr;
    return spStsNoErr;
}

}  // namespace

using namespace sp::kernels;
using sp::mpeg4::Call;

#define SP_MPEG4_QPEL_ENTRY(name, kernel)                                                \
    SpStatus name(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int index, \
                  int rounding) {                                                        \
        return Call(kernel, CheckQuarterPel(ref, dst), ref, ptrdiff_t(refStep), dst,     \
                    ptrdiff_t(dstStep), index, rounding);                                \
    }
#define SP_MPEG4_QPEL_WIDTH_ENTRY(name, kernel)                                              \
    SpStatus name(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int index,     \
                  int rounding, int height) {                                                \
        return Call(kernel, CheckQuarterPel(ref, dst, height), ref, ptrdiff_t(refStep), dst, \
                    ptrdiff_t(dstStep), index, rounding, height);                            \
    }
SP_MPEG4_QPEL_ENTRY(vcPredictQuarterPel16x16, predictQuarterPel16x16)
SP_MPEG4_QPEL_ENTRY(vcPredictQuarterPelAverage16x16, predictQuarterPelAverage16x16)
SP_MPEG4_QPEL_ENTRY(vcPredictQuarterPelFour8x8, predictQuarterPelFour8x8)
SP_MPEG4_QPEL_ENTRY(vcPredictQuarterPelAverageFour8x8, predictQuarterPelAverageFour8x8)
SP_MPEG4_QPEL_WIDTH_ENTRY(vcPredictQuarterPelWidth8, predictQuarterPelWidth8)
SP_MPEG4_QPEL_WIDTH_ENTRY(vcPredictQuarterPelWidth16, predictQuarterPelWidth16)
SP_MPEG4_QPEL_WIDTH_ENTRY(vcPredictQuarterPelAverageWidth8, predictQuarterPelAverageWidth8)
SP_MPEG4_QPEL_WIDTH_ENTRY(vcPredictQuarterPelAverageWidth16, predictQuarterPelAverageWidth16)
#undef SP_MPEG4_QPEL_ENTRY
#undef SP_MPEG4_QPEL_WIDTH_ENTRY

namespace {

SpStatus CheckObmc(const uint8_t* ref, const uint8_t* dst, const VcMotionVector* own,
                   const VcMotionVector* above, const VcMotionVector* below,
                   const VcMotionVector* left, const VcMotionVector* right) {
    return !ref || !dst || !own || !above || !below || !left || !right ? spStsNullPtrErr
                                                                       : spStsNoErr;
}

}  // namespace

SpStatus vcObmcBlock8x8(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                        const VcMotionVector* own, const VcMotionVector* above,
                        const VcMotionVector* below, const VcMotionVector* left,
                        const VcMotionVector* right, int rounding) {
    return Call(obmcBlock8x8, CheckObmc(ref, dst, own, above, below, left, right), ref,
                ptrdiff_t(refStep), dst, ptrdiff_t(dstStep), own, above, below, left, right,
                rounding);
}
SpStatus vcObmcBlock8x8QuarterPel(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                                  const VcMotionVector* own, const VcMotionVector* above,
                                  const VcMotionVector* below, const VcMotionVector* left,
                                  const VcMotionVector* right, int rounding) {
    return Call(obmcBlock8x8QuarterPel, CheckObmc(ref, dst, own, above, below, left, right), ref,
                ptrdiff_t(refStep), dst, ptrdiff_t(dstStep), own, above, below, left, right,
                rounding);
}
