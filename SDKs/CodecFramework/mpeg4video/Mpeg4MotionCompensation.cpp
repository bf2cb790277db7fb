#include <algorithm>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"
#include "primitives/MPEG4Coding.h"
#include "primitives/VideoCoding.h"

namespace UMC::mpeg4 {

namespace {

struct Plane {
    const uint8_t* origin;
    int32_t pitch;
    int32_t width, height;  // padded extent
    int32_t border;
};

// Limits one coordinate of a block so that it lies inside the padded reference. Beyond the
// picture every sample repeats the edge, so a block moved back to the limit (and its half-sample
// position, which interpolates equal samples there, dropped) predicts exactly the same values.
void Clamp(int32_t& position, int32_t& fraction, int32_t extent, int32_t border, int32_t size) {
    const int32_t low = -border, high = extent + border - size;
    if (position < low) {
        position = low;
        fraction = 0;
    } else if (position > high || (position == high && fraction)) {
        position = high;
        fraction = 0;
    }
}

using PredictFn = SpStatus (*)(const uint8_t*, int, uint8_t*, int, int, int);

// Where a half-sample prediction reads: the clamped block and its interpolation type.
struct HalfSource {
    const uint8_t* src;
    int type;
};

// The source of a size x size block at (x, y) displaced by mv (half samples).
HalfSource LocateHalf(const Plane& p, int32_t x, int32_t y, MotionVector mv, int32_t size) {
    int32_t ix = x + (mv.x >> 1), iy = y + (mv.y >> 1);
    int32_t hx = mv.x & 1, hy = mv.y & 1;
    Clamp(ix, hx, p.width, p.border, size);
    Clamp(iy, hy, p.height, p.border, size);
    return {p.origin + ptrdiff_t(iy) * p.pitch + ix, hx | (hy << 1)};
}

void PredictHalf(const Plane& p, HalfSource at, int32_t size, uint8_t* dst, int32_t dstPitch,
                 int32_t rounding, Blend blend) {
    PredictFn fn;
    if (size == 16)
        fn = blend == Blend::Average ? vcPredictAverage16x16 : vcPredict16x16;
    else
        fn = blend == Blend::Average ? vcPredictAverage8x8 : vcPredict8x8;
    fn(at.src, p.pitch, dst, dstPitch, at.type, rounding);
}

void PredictHalf(const Plane& p, int32_t x, int32_t y, MotionVector mv, int32_t size, uint8_t* dst,
                 int32_t dstPitch, int32_t rounding, Blend blend) {
    PredictHalf(p, LocateHalf(p, x, y, mv, size), size, dst, dstPitch, rounding, blend);
}

// Asks the cache for the rows an 8x8 chroma prediction reads (nine with a vertical half).
void PrefetchChroma(const Plane& p, HalfSource at) {
#if defined(__GNUC__)
    const int rows = at.type & 2 ? 9 : 8;
    for (int i = 0; i < rows; ++i) __builtin_prefetch(at.src + ptrdiff_t(i) * p.pitch);
#else
    (void)p, (void)at;
#endif
}

void Planes(const MPEG4DecoderState& s, const MPEG4FrameBuffer& f, Plane planes[3]) {
    int32_t width = 0, height = 0;
    PaddedExtent(s, f, width, height);
    planes[0] = {f.y, f.yPitch, width, height, 16};
    planes[1] = {f.u, f.uvPitch, (width + 1) / 2, (height + 1) / 2, 8};
    planes[2] = {f.v, f.uvPitch, (width + 1) / 2, (height + 1) / 2, 8};
}

// Quarter-sample luma prediction of a size x size block.
void PredictQuarter(const Plane& p, int32_t x, int32_t y, MotionVector mv, int32_t size,
                    uint8_t* dst, int32_t dstPitch, int32_t rounding, Blend blend) {
    int32_t ix = x + (mv.x >> 2), iy = y + (mv.y >> 2);
    int32_t qx = mv.x & 3, qy = mv.y & 3;
    Clamp(ix, qx, p.width, p.border, size);
    Clamp(iy, qy, p.height, p.border, size);
    const uint8_t* src = p.origin + ptrdiff_t(iy) * p.pitch + ix;
    const int index = qx + 4 * qy;
    const bool average = blend == Blend::Average;
    if (size == 16)
        (average ? vcPredictQuarterPelAverage16x16 : vcPredictQuarterPel16x16)(
            src, p.pitch, dst, dstPitch, index, rounding);
    else
        (average ? vcPredictQuarterPelAverageWidth8 : vcPredictQuarterPelWidth8)(
            src, p.pitch, dst, dstPitch, index, rounding, 8);
}

// Four 8x8 luma blocks with one vector at once, when none of them needs clamping (a clamped block
// moves on its own, so the blocks would no longer lie side by side); false otherwise.
bool PredictFourAlike(const Plane& p, int32_t x, int32_t y, MotionVector mv, uint8_t* dst,
                      int32_t dstPitch, int32_t rounding, Blend blend, bool quarter) {
    const int32_t shift = quarter ? 2 : 1, mask = quarter ? 3 : 1;
    int32_t ix = x + (mv.x >> shift), iy = y + (mv.y >> shift);
    int32_t fx = mv.x & mask, fy = mv.y & mask;
    const int32_t cx = ix, cy = iy, gx = fx, gy = fy;
    Clamp(ix, fx, p.width, p.border, 16);
    Clamp(iy, fy, p.height, p.border, 16);
    if (ix != cx || iy != cy || fx != gx || fy != gy) return false;
    const uint8_t* src = p.origin + ptrdiff_t(iy) * p.pitch + ix;
    const bool average = blend == Blend::Average;
    if (quarter)
        (average ? vcPredictQuarterPelAverageFour8x8 : vcPredictQuarterPelFour8x8)(
            src, p.pitch, dst, dstPitch, fx + 4 * fy, rounding);
    else  // half-sample blocks see no area edges: one 16x16 prediction is the same
        (average ? vcPredictAverage16x16 : vcPredict16x16)(src, p.pitch, dst, dstPitch,
                                                           fx | (fy << 1), rounding);
    return true;
}

void PredictLuma(const Plane& p, int32_t x, int32_t y, MotionVector mv, int32_t size, uint8_t* dst,
                 int32_t dstPitch, int32_t rounding, Blend blend, bool quarter) {
    if (quarter)
        PredictQuarter(p, x, y, mv, size, dst, dstPitch, rounding, blend);
    else
        PredictHalf(p, x, y, mv, size, dst, dstPitch, rounding, blend);
}

void PredictChroma(const Plane planes[3], const MPEG4FrameBuffer& cur, int32_t column, int32_t row,
                   const MotionVector luma[4], bool fourVectors, bool quarter, int32_t rounding,
                   Blend blend) {
    const MotionVector c =
        fourVectors ? ChromaVector4(luma, quarter) : ChromaVector(luma[0], quarter);
    const ptrdiff_t chromaOffset = ptrdiff_t(row) * 8 * cur.uvPitch + column * 8;
    const int32_t x = column * 8, y = row * 8;
    PredictHalf(planes[1], x, y, c, 8, cur.u + chromaOffset, cur.uvPitch, rounding, blend);
    PredictHalf(planes[2], x, y, c, 8, cur.v + chromaOffset, cur.uvPitch, rounding, blend);
}

}  // namespace

void PredictMacroblock(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref, int32_t column,
                       int32_t row, const MotionVector luma[4], bool fourVectors, int32_t rounding,
                       Blend blend) {
    const MPEG4FrameBuffer& cur = *s.dec.current;
    Plane planes[3];
    Planes(s, ref, planes);
    const int32_t x = column * 16, y = row * 16;
    uint8_t* dstY = cur.y + ptrdiff_t(y) * cur.yPitch + x;
    const bool quarter = s.vol.quarterSample != 0;
    // The chroma blocks lie at the vector, where the prefetch ahead of the loop does not reach:
    // their rows load while the luma is predicted.
    const MotionVector c =
        fourVectors ? ChromaVector4(luma, quarter) : ChromaVector(luma[0], quarter);
    const HalfSource u = LocateHalf(planes[1], x / 2, y / 2, c, 8);
    const HalfSource v = LocateHalf(planes[2], x / 2, y / 2, c, 8);
    PrefetchChroma(planes[1], u);
    PrefetchChroma(planes[2], v);
    const auto alike = [&] {
        for (int b = 1; b < 4; ++b)
            if (luma[b].x != luma[0].x || luma[b].y != luma[0].y) return false;
        return true;
    };
    if (!fourVectors) {
        PredictLuma(planes[0], x, y, luma[0], 16, dstY, cur.yPitch, rounding, blend, quarter);
    } else if (!alike() || !PredictFourAlike(planes[0], x, y, luma[0], dstY, cur.yPitch, rounding,
                                             blend, quarter)) {
        for (int b = 0; b < 4; ++b) {
            const int32_t bx = (b & 1) * 8, by = (b >> 1) * 8;
            PredictLuma(planes[0], x + bx, y + by, luma[b], 8,
                        dstY + ptrdiff_t(by) * cur.yPitch + bx, cur.yPitch, rounding, blend,
                        quarter);
        }
    }
    const ptrdiff_t chromaOffset = ptrdiff_t(row) * 8 * cur.uvPitch + column * 8;
    PredictHalf(planes[1], u, 8, cur.u + chromaOffset, cur.uvPitch, rounding, blend);
    PredictHalf(planes[2], v, 8, cur.v + chromaOffset, cur.uvPitch, rounding, blend);
}

void PredictMacroblockChroma(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref,
                             int32_t column, int32_t row, const MotionVector luma[4],
                             bool fourVectors, int32_t rounding, Blend blend) {
    Plane planes[3];
    Planes(s, ref, planes);
    PredictChroma(planes, *s.dec.current, column, row, luma, fourVectors, s.vol.quarterSample != 0,
                  rounding, blend);
}

void PredictOverlappedBlock(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref, int32_t x,
                            int32_t y, const MotionVector v[5], int32_t rounding, uint8_t* dst,
                            int32_t dstPitch) {
    Plane planes[3];
    Planes(s, ref, planes);
    const Plane& p = planes[0];
    const bool quarter = s.vol.quarterSample != 0;
    const int32_t shift = quarter ? 2 : 1, mask = quarter ? 3 : 1;
    // The kernel takes every vector from the co-located block: each is clamped as a block of its
    // own and turned back into a displacement.
    VcMotionVector clamped[5];
    for (int k = 0; k < 5; ++k) {
        int32_t ix = x + (v[k].x >> shift), iy = y + (v[k].y >> shift);
        int32_t fx = v[k].x & mask, fy = v[k].y & mask;
        Clamp(ix, fx, p.width, p.border, 8);
        Clamp(iy, fy, p.height, p.border, 8);
        clamped[k] = {int16_t((ix - x) * (1 << shift) + fx), int16_t((iy - y) * (1 << shift) + fy)};
    }
    const uint8_t* src = p.origin + ptrdiff_t(y) * p.pitch + x;
    (quarter ? vcObmcBlock8x8QuarterPel : vcObmcBlock8x8)(src, p.pitch, dst, dstPitch, &clamped[0],
                                                          &clamped[1], &clamped[2], &clamped[3],
                                                          &clamped[4], rounding);
}

void PredictFieldMacroblock(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref, int32_t column,
                            int32_t row, const MotionVector field[2], const int32_t select[2],
                            int32_t rounding, Blend blend) {
    const MPEG4FrameBuffer& cur = *s.dec.current;
    int32_t width = 0, height = 0;
    PaddedExtent(s, ref, width, height);
    const bool quarter = s.vol.quarterSample != 0;
    for (int f = 0; f < 2; ++f) {
        const int32_t sel = select[f] & 1;
        // The selected reference field and the current macroblock's field, as planes of their own.
        const Plane luma{ref.y + sel * ref.yPitch, 2 * ref.yPitch, width, height / 2, 8};
        uint8_t* dstY = cur.y + ptrdiff_t(row * 16 + f) * cur.yPitch + column * 16;
        const MotionVector mv = field[f];
        int32_t ix = column * 16 + (quarter ? mv.x >> 2 : mv.x >> 1);
        int32_t iy = row * 8 + (quarter ? mv.y >> 2 : mv.y >> 1);
        int32_t fx = quarter ? mv.x & 3 : mv.x & 1, fy = quarter ? mv.y & 3 : mv.y & 1;
        Clamp(ix, fx, luma.width, 16, 16);
        Clamp(iy, fy, luma.height, luma.border, 8);
        const uint8_t* src = luma.origin + ptrdiff_t(iy) * luma.pitch + ix;
        const bool average = blend == Blend::Average;
        if (quarter)
            (average ? vcPredictQuarterPelAverageWidth16 : vcPredictQuarterPelWidth16)(
                src, luma.pitch, dstY, 2 * cur.yPitch, fx + 4 * fy, rounding, 8);
        else
            (average ? vcPredictAverage16x8 : vcPredict16x8)(src, luma.pitch, dstY, 2 * cur.yPitch,
                                                             fx | (fy << 1), rounding);
        // Chroma: the field's own vector, 8x4 per field.
        const MotionVector c = ChromaVector(mv, quarter);
        for (int plane = 0; plane < 2; ++plane) {
            const uint8_t* base = (plane ? ref.v : ref.u) + sel * ref.uvPitch;
            uint8_t* dst =
                (plane ? cur.v : cur.u) + ptrdiff_t(row * 8 + f) * cur.uvPitch + column * 8;
            int32_t cx = column * 8 + (c.x >> 1), cy = row * 4 + (c.y >> 1);
            int32_t hx = c.x & 1, hy = c.y & 1;
            Clamp(cx, hx, (width + 1) / 2, 8, 8);
            Clamp(cy, hy, (height + 1) / 4, 4, 4);
            const uint8_t* src = base + ptrdiff_t(cy) * 2 * ref.uvPitch + cx;
            (blend == Blend::Average ? vcPredictAverage8x4 : vcPredict8x4)(
                src, 2 * ref.uvPitch, dst, 2 * cur.uvPitch, hx | (hy << 1), rounding);
        }
    }
}

namespace {

void PrefetchMacroblock(const MPEG4FrameBuffer* f, int32_t column, int32_t row) {
#if defined(__GNUC__)
    if (!f || column >= f->mbWidth || row >= f->mbHeight) return;
    const uint8_t* y = f->y + ptrdiff_t(row) * 16 * f->yPitch + column * 16;
    for (int i = 0; i < 16; ++i) __builtin_prefetch(y + ptrdiff_t(i) * f->yPitch);
    const ptrdiff_t chroma = ptrdiff_t(row) * 8 * f->uvPitch + column * 8;
    for (int i = 0; i < 8; ++i) {
        __builtin_prefetch(f->u + chroma + ptrdiff_t(i) * f->uvPitch);
        __builtin_prefetch(f->v + chroma + ptrdiff_t(i) * f->uvPitch);
    }
#else
    (void)f, (void)column, (void)row;
#endif
}

}  // namespace

void PrefetchAhead(const Mpeg4VopState& d, int32_t index, bool backward) {
    // Four macroblocks (64 bytes of luma) ahead: measured on 720p streams, two and eight did no
    // better.
    const int32_t column = index % d.mbWidth + 4, row = index / d.mbWidth;
    PrefetchMacroblock(d.forward, column, row);
    PrefetchMacroblock(d.current, column, row);
    if (backward) PrefetchMacroblock(d.backward, column, row);
}

void CopyMacroblock(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref, int32_t column,
                    int32_t row) {
    const MPEG4FrameBuffer& cur = *s.dec.current;
    const ptrdiff_t lumaOffset = ptrdiff_t(row) * 16 * cur.yPitch + column * 16;
    const ptrdiff_t chromaOffset = ptrdiff_t(row) * 8 * cur.uvPitch + column * 8;
    vcCopyBlock16x16(ref.y + lumaOffset, ref.yPitch, cur.y + lumaOffset, cur.yPitch);
    vcCopyBlock8x8(ref.u + chromaOffset, ref.uvPitch, cur.u + chromaOffset, cur.uvPitch);
    vcCopyBlock8x8(ref.v + chromaOffset, ref.uvPitch, cur.v + chromaOffset, cur.uvPitch);
}

}  // namespace UMC::mpeg4
