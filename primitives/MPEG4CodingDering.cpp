// Deringing post-filter of ISO/IEC 14496-2 Annex F.3.2: per-block thresholds and the
// binary-index 3x3 smoothing with its clipping.
#include <algorithm>

#include "primitives/MPEG4Coding.h"
#include "primitives/MPEG4CodingKernels.h"

namespace sp::mpeg4 {
namespace {

void DeringBlockPlain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                      int quant, int threshold) {
    const int maxDiff = quant / 2;
    // Binary index of the block and its one-sample surround.
    uint8_t bin[10][10];
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) bin[y][x] = src[(y - 1) * srcStep + x - 1] >= threshold;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint8_t* p = src + y * srcStep + x;
            int ones = 0;
            for (int dy = 0; dy < 3; ++dy)
                for (int dx = 0; dx < 3; ++dx) ones += bin[y + dy][x + dx];
            int v = *p;
            if (ones == 0 || ones == 9) {
                const int sum = p[-srcStep - 1] + 2 * p[-srcStep] + p[-srcStep + 1] + 2 * p[-1] +
                                4 * p[0] + 2 * p[1] + p[srcStep - 1] + 2 * p[srcStep] +
                                p[srcStep + 1];
                v = std::clamp((sum + 8) >> 4, *p - maxDiff, *p + maxDiff);
            }
            dst[y * dstStep + x] = uint8_t(v);
        }
}

}  // namespace
}  // namespace sp::mpeg4

namespace sp::kernels {
constinit const Kernel<DeringBlockFn> deringBlock8x8{"vcDeringBlock8x8",
                                                     sp::mpeg4::DeringBlockPlain};
}  // namespace sp::kernels

SpStatus vcDeringBlock8x8(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, int quant,
                          int threshold) {
    SpStatus check = spStsNoErr;
    if (!src || !dst)
        check = spStsNullPtrErr;
    else if (quant < 1 || quant > 31)
        check = vcStsQuantErr;
    return sp::mpeg4::Call(sp::kernels::deringBlock8x8, check, src, ptrdiff_t(srcStep), dst,
                           ptrdiff_t(dstStep), quant, threshold);
}

SpStatus vcDeringThreshold(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                           uint8_t* minMax, int count, int* thresholds) {
    if (!src || !thresholds) return spStsNullPtrErr;
    if (count != 1 && count != 4) return vcStsRangeErr;
    int lo[4], hi[4], range[4];
    int widest = 0;
    for (int k = 0; k < count; ++k) {
        const uint8_t* b = src + (k >> 1) * 8 * srcStep + (k & 1) * 8;
        lo[k] = 255, hi[k] = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                lo[k] = std::min<int>(lo[k], b[y * srcStep + x]);
                hi[k] = std::max<int>(hi[k], b[y * srcStep + x]);
            }
        thresholds[k] = (hi[k] + lo[k] + 1) / 2;
        range[k] = hi[k] - lo[k];
        if (range[k] > range[widest]) widest = k;
        if (minMax) minMax[2 * k] = uint8_t(lo[k]), minMax[2 * k + 1] = uint8_t(hi[k]);
        if (dst)
            for (int y = 0; y < 8; ++y)
                std::copy(b + y * srcStep, b + y * srcStep + 8,
                          dst + (k >> 1) * 8 * dstStep + (k & 1) * 8 + y * dstStep);
    }
    // Flat blocks of a macroblock with a strong edge somewhere follow that edge's threshold;
    // in a macroblock without one, threshold 0 puts every sample on one side: all are smoothed
    // within the clipping.
    const int maxRange = range[widest], widestThr = thresholds[widest];
    for (int k = 0; k < count; ++k) {
        if (range[k] < 32 && maxRange >= 64) thresholds[k] = widestThr;
        if (maxRange < 64) thresholds[k] = 0;
    }
    return spStsNoErr;
}
