// Deinterlacing kernels: plain versions, tables and entries. The top field (even rows) is copied;
// each bottom-field row is rebuilt from the top-field rows around it.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "primitives/ImageKernels.h"
#include "primitives/dispatch/Entry.h"

namespace {

// How far a sample lies outside the range of its two vertical neighbours (0 inside): the
// signature of combing between two fields that show different moments.
int Comb(int cur, int above, int below) {
    const int lo = std::min(above, below), hi = std::max(above, below);
    return cur < lo ? lo - cur : cur > hi ? cur - hi : 0;
}

// Edge-directed interpolation between rows a and b at x: of the directions -d, 0 and +d, the one
// whose two ends differ least; the vertical direction wins ties.
int EdgeDirected(const uint8_t* a, const uint8_t* b, int x, int width, int d) {
    int best = std::abs(a[x] - b[x]);
    int value = (a[x] + b[x] + 1) >> 1;
    for (int k : {-d, d}) {
        const int xa = x + k, xb = x - k;
        if (xa < 0 || xa >= width || xb < 0 || xb >= width) continue;
        const int diff = std::abs(a[xa] - b[xb]);
        if (diff < best) best = diff, value = (a[xa] + b[xb] + 1) >> 1;
    }
    return value;
}

// Runs rebuild(row above, row below, current row, destination row, y) for every bottom-field
// row after copying the top field. The last row of an even height has only the row above.
template <class Rebuild>
void ForEachBottomRow(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                      SpSize roi, Rebuild rebuild) {
    for (int y = 0; y < roi.height; y += 2)
        if (src != dst) std::memmove(dst + y * dstStep, src + y * srcStep, size_t(roi.width));
    for (int y = 1; y < roi.height; y += 2) {
        const uint8_t* above = src + (y - 1) * srcStep;
        const uint8_t* below = y + 1 < roi.height ? src + (y + 1) * srcStep : above;
        rebuild(above, below, src + y * srcStep, dst + y * dstStep, y);
    }
}

void Method2Plain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                  SpSize roi, int weight, int threshold) {
    ForEachBottomRow(src, srcStep, dst, dstStep, roi,
                     [&](const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* d, int) {
                         for (int x = 0; x < roi.width; ++x) {
                             const int cur = c[x];
                             if (Comb(cur, a[x], b[x]) <= threshold) {
                                 d[x] = uint8_t(cur);
                                 continue;
                             }
                             const int mean = (a[x] + b[x] + 1) >> 1;
                             d[x] = uint8_t(cur + (((mean - cur) * weight + 64) >> 7));
                         }
                     });
}

void Method4Plain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                  SpSize roi, int threshold) {
    ForEachBottomRow(src, srcStep, dst, dstStep, roi,
                     [&](const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* d, int) {
                         for (int x = 0; x < roi.width; ++x)
                             d[x] = Comb(c[x], a[x], b[x]) > threshold
                                        ? uint8_t(EdgeDirected(a, b, x, roi.width, 1))
                                        : c[x];
                     });
}

void Method5Plain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                  SpSize roi, int threshold) {
    const int lastEven = (roi.height - 1) & ~1;
    ForEachBottomRow(src, srcStep, dst, dstStep, roi,
                     [&](const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* d, int y) {
                         // The outer taps repeat the nearest top-field row at the picture edges.
                         const uint8_t* a2 = y >= 3 ? src + (y - 3) * srcStep : a;
                         const uint8_t* b2 = y + 3 <= lastEven ? src + (y + 3) * srcStep : b;
                         for (int x = 0; x < roi.width; ++x) {
                             if (Comb(c[x], a[x], b[x]) <= threshold) {
                                 d[x] = c[x];
                                 continue;
                             }
                             const int v = (9 * (a[x] + b[x]) - a2[x] - b2[x] + 8) >> 4;
                             d[x] = uint8_t(std::clamp(v, 0, 255));
                         }
                     });
}

void OtherAPlain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi,
                 ImDeinterlaceState* state) {
    const bool haveHistory = state->frames > 0;
    const uint8_t* hist = state->history;
    const ptrdiff_t hs = state->historyStep;
    // Motion is measured on the source before anything is written (src may be dst).
    auto moved = [&](int x, int y) {
        int m = 0;
        for (int yy = std::max(0, y - 1); yy <= std::min(roi.height - 1, y + 1); ++yy)
            m = std::max(m, std::abs(src[yy * srcStep + x] - hist[yy * hs + x]));
        return m;
    };
    // Each decision reads one column of the source and history rows around the sample, so the
    // history of a bottom-field sample can be replaced (with the source as it came, woven) right
    // after its decision, even when src is dst. Top-field rows are never modified.
    for (int y = 1; y < roi.height; y += 2) {
        const uint8_t* a = src + (y - 1) * srcStep;
        const uint8_t* b = y + 1 < roi.height ? src + (y + 1) * srcStep : a;
        const uint8_t* c = src + y * srcStep;
        uint8_t* d = dst + y * dstStep;
        uint8_t* h = state->history + y * hs;
        for (int x = 0; x < roi.width; ++x) {
            const bool keep = haveHistory && moved(x, y) <= state->threshold;
            const uint8_t cur = c[x];
            d[x] = keep ? cur : uint8_t(EdgeDirected(a, b, x, roi.width, 1));
            h[x] = cur;
        }
    }
    for (int y = 0; y < roi.height; y += 2) {
        const uint8_t* row = src + y * srcStep;
        std::memcpy(state->history + y * hs, row, size_t(roi.width));
        if (src != dst) std::memmove(dst + y * dstStep, row, size_t(roi.width));
    }
    if (state->frames < INT32_MAX) ++state->frames;
}

void OtherBPlain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi,
                 uint16_t sampleDistance) {
    ForEachBottomRow(src, srcStep, dst, dstStep, roi,
                     [&](const uint8_t* a, const uint8_t* b, const uint8_t*, uint8_t* d, int) {
                         for (int x = 0; x < roi.width; ++x)
                             d[x] = uint8_t(EdgeDirected(a, b, x, roi.width, sampleDistance));
                     });
}

}  // namespace

namespace sp::kernels {
constinit const Kernel<DeinterlaceMethod2Fn> deinterlaceMethod2{"imDeinterlaceMethod2",
                                                                Method2Plain};
constinit const Kernel<DeinterlaceThresholdFn> deinterlaceMethod4{"imDeinterlaceMethod4",
                                                                  Method4Plain};
constinit const Kernel<DeinterlaceThresholdFn> deinterlaceMethod5{"imDeinterlaceMethod5",
                                                                  Method5Plain};
constinit const Kernel<DeinterlaceOtherAFn> deinterlaceOtherA{"imDeinterlaceOtherA", OtherAPlain};
constinit const Kernel<DeinterlaceOtherBFn> deinterlaceOtherB{"imDeinterlaceOtherB", OtherBPlain};
}  // namespace sp::kernels

// Every argument is checked here; the implementations behind the entries trust them.
namespace {

// -8 a null plane, -6 a size below 1, -14 a step shorter than a row, -11 a parameter out of range.
SpStatus CheckPlanes(const uint8_t* src, int srcStep, const uint8_t* dst, int dstStep, SpSize roi,
                     bool inRange) {
    if (!src || !dst) return spStsNullPtrErr;
    if (roi.width < 1 || roi.height < 1) return spStsSizeErr;
    if (srcStep < roi.width || dstStep < roi.width) return spStsStepErr;
    return inRange ? spStsNoErr : imStsRangeErr;
}

SpStatus CheckHistory(const ImDeinterlaceState* state, SpSize roi) {
    if (!state || !state->history) return spStsNullPtrErr;
    if (state->size.width != roi.width || state->size.height != roi.height) return spStsSizeErr;
    if (state->historyStep < roi.width) return spStsStepErr;
    return state->threshold < 0 ? imStsRangeErr : spStsNoErr;
}

}  // namespace

using namespace sp::kernels;
using sp::CallChecked;

SpStatus imDeinterlaceMethod2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                              SpSize roi, int weight, int threshold) {
    const bool inRange = weight >= 0 && weight <= 128 && threshold >= 0;
    return CallChecked(deinterlaceMethod2, CheckPlanes(src, srcStep, dst, dstStep, roi, inRange),
                       src, ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep), roi, weight, threshold);
}
SpStatus imDeinterlaceMethod4(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                              SpSize roi, int threshold) {
    return CallChecked(deinterlaceMethod4,
                       CheckPlanes(src, srcStep, dst, dstStep, roi, threshold >= 0), src,
                       ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep), roi, threshold);
}
SpStatus imDeinterlaceMethod5(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                              SpSize roi, int threshold) {
    return CallChecked(deinterlaceMethod5,
                       CheckPlanes(src, srcStep, dst, dstStep, roi, threshold >= 0), src,
                       ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep), roi, threshold);
}
SpStatus imDeinterlaceOtherA(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                             ImDeinterlaceState* state) {
    SpStatus check = CheckPlanes(src, srcStep, dst, dstStep, roi, true);
    if (check == spStsNoErr) check = CheckHistory(state, roi);
    return CallChecked(deinterlaceOtherA, check, src, ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep),
                       roi, state);
}
SpStatus imDeinterlaceOtherB(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                             uint16_t sampleDistance) {
    return CallChecked(deinterlaceOtherB,
                       CheckPlanes(src, srcStep, dst, dstStep, roi, sampleDistance >= 1), src,
                       ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep), roi, sampleDistance);
}
