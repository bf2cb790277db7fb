#include "SDKs/CodecFramework/mpeg4video/Mpeg4PostFilter.h"

#include <algorithm>

#include "primitives/MPEG4Coding.h"
#include "primitives/Memory.h"

namespace UMC::mpeg4 {

namespace {

// Strip by strip, so the edges are filtered while the rows are still in the cache: the edge above
// strip k once it is copied, then the vertical edges of the strip above it.
void DeblockPlane(const uint8_t* src, int32_t srcPitch, uint8_t* dst, int32_t dstPitch,
                  int32_t width, int32_t height, int32_t quant, int32_t thr1, int32_t thr2) {
    const int32_t strips = height / 8;
    auto verticalEdges = [&](int32_t strip) {
        uint8_t* row = dst + ptrdiff_t(strip) * 8 * dstPitch;
        for (int32_t x = 8; x < width; x += 8)
            vcDeblockVerticalEdge(row + x, dstPitch, quant, thr1, thr2);
    };
    for (int32_t k = 0; k < strips; ++k) {
        const ptrdiff_t offset = ptrdiff_t(k) * 8;
        spCopyRegion8u(src + offset * srcPitch, srcPitch, dst + offset * dstPitch, dstPitch,
                       SpSize{width, 8});
        if (k == 0) continue;
        uint8_t* edge = dst + offset * dstPitch;
        for (int32_t x = 0; x < width; x += 8)
            vcDeblockHorizontalEdge(edge + x, dstPitch, quant, thr1, thr2);
        verticalEdges(k - 1);
    }
    if (strips > 0) verticalEdges(strips - 1);
    // Chroma rows below the last whole strip are copied as they are.
    if (const int32_t rest = height - strips * 8; rest > 0) {
        const ptrdiff_t offset = ptrdiff_t(strips) * 8;
        spCopyRegion8u(src + offset * srcPitch, srcPitch, dst + offset * dstPitch, dstPitch,
                       SpSize{width, rest});
    }
}

void DeringPlane(const uint8_t* src, int32_t srcPitch, uint8_t* dst, int32_t dstPitch,
                 int32_t width, int32_t height, int32_t quant, bool luma) {
    spCopyRegion8u(src, srcPitch, dst, dstPitch, SpSize{width, height});
    auto block = [&](int32_t x, int32_t y, int threshold) {
        const ptrdiff_t s = ptrdiff_t(y) * srcPitch + x, d = ptrdiff_t(y) * dstPitch + x;
        vcDeringBlock8x8(src + s, srcPitch, dst + d, dstPitch, quant, threshold);
    };
    // Luma macroblocks share their thresholds' flat-block rule; chroma blocks stand alone.
    const int32_t step = luma ? 16 : 8;
    for (int32_t y = 0; y + 8 <= height; y += step)
        for (int32_t x = 0; x + 8 <= width; x += step) {
            const uint8_t* at = src + ptrdiff_t(y) * srcPitch + x;
            if (luma && x + 16 <= width && y + 16 <= height) {
                int thresholds[4] = {};
                vcDeringThreshold(at, srcPitch, nullptr, 0, nullptr, 4, thresholds);
                for (int b = 0; b < 4; ++b) block(x + (b & 1) * 8, y + (b >> 1) * 8, thresholds[b]);
                continue;
            }
            for (int32_t by = y; by < y + step && by + 8 <= height; by += 8)
                for (int32_t bx = x; bx < x + step && bx + 8 <= width; bx += 8) {
                    int threshold = 0;
                    vcDeringThreshold(src + ptrdiff_t(by) * srcPitch + bx, srcPitch, nullptr, 0,
                                      nullptr, 1, &threshold);
                    block(bx, by, threshold);
                }
        }
}

// Filters the enabled planes of src into dst with filter(plane, from, fromPitch, to, toPitch,
// width, height) and copies the others. The area is the luma size rounded up to 8 (chroma: half).
template <class Filter>
void FilterPlanes(const MPEG4FrameBuffer& src, MPEG4FrameBuffer& dst, int32_t width, int32_t height,
                  const uint8_t enabled[3], Filter filter) {
    const int32_t w = std::min((width + 7) & ~7, src.mbWidth * 16);
    const int32_t h = std::min((height + 7) & ~7, src.mbHeight * 16);
    const uint8_t* from[3] = {src.y, src.u, src.v};
    uint8_t* to[3] = {dst.y, dst.u, dst.v};
    for (int p = 0; p < 3; ++p) {
        const int32_t pw = p ? w / 2 : w, ph = p ? h / 2 : h;
        const int32_t srcPitch = p ? src.uvPitch : src.yPitch;
        const int32_t dstPitch = p ? dst.uvPitch : dst.yPitch;
        if (enabled[p])
            filter(p, from[p], srcPitch, to[p], dstPitch, pw, ph);
        else
            spCopyRegion8u(from[p], srcPitch, to[p], dstPitch, SpSize{pw, ph});
    }
}

}  // namespace

void DeringFrame(const MPEG4FrameBuffer& src, MPEG4FrameBuffer& dst, int32_t width, int32_t height,
                 const Mpeg4PostFilterSettings& settings, int32_t quant) {
    quant = std::clamp(quant, 1, 31);
    FilterPlanes(
        src, dst, width, height, settings.dering,
        [&](int p, const uint8_t* from, int32_t fromPitch, uint8_t* to, int32_t toPitch, int32_t w,
            int32_t h) { DeringPlane(from, fromPitch, to, toPitch, w, h, quant, p == 0); });
}

void DeblockFrame(const MPEG4FrameBuffer& src, MPEG4FrameBuffer& dst, int32_t width, int32_t height,
                  const Mpeg4PostFilterSettings& settings, int32_t quant) {
    quant = std::clamp(quant, 1, 31);
    FilterPlanes(src, dst, width, height, settings.deblock,
                 [&](int, const uint8_t* from, int32_t fromPitch, uint8_t* to, int32_t toPitch,
                     int32_t w, int32_t h) {
                     DeblockPlane(from, fromPitch, to, toPitch, w, h, quant, settings.thr1,
                                  settings.thr2);
                 });
}

}  // namespace UMC::mpeg4
