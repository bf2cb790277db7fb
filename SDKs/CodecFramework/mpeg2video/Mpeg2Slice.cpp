// Slice and macroblock decoding: macroblock addressing and skipping, motion vectors and
// motion-compensated prediction, coefficient decoding with inverse quantisation, and
// reconstruction into the current frame slot.
#include <cstdlib>
#include <cstring>

#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoderBase.h"
#include "primitives/VideoCoding.h"

namespace UMC {

namespace {

// Slice result for a slice in which errors were found.
constexpr Status kSliceDamaged = 2;

inline int Saturate(int v) {
    return v < -2048 ? -2048 : (v > 2047 ? 2047 : v);
}

// Prediction of a w x h block (w 8 or 16, h 4, 8 or 16) from a reference plane, after checking that
// the whole area read (with the extra interpolation row and column) lies inside the plane.
inline bool PredictBlock(const uint8_t* plane, size_t planeSize, ptrdiff_t baseOffset, int refStep,
                         uint8_t* dst, int dstStep, int x, int y, int mvx, int mvy, int w, int h,
                         bool average) {
    const int type = (mvx & 1) | ((mvy & 1) << 1);
    const ptrdiff_t first =
        baseOffset + ptrdiff_t(y + (mvy >> 1)) * refStep + ptrdiff_t(x + (mvx >> 1));
    const ptrdiff_t last = first + ptrdiff_t(h - 1 + (type >> 1)) * refStep + (w - 1 + (type & 1));
    if (first < 0 || last >= ptrdiff_t(planeSize)) return false;
    const uint8_t* src = plane + first;
    if (w == 16) {
        if (h == 16)
            average ? vcPredictAverage16x16(src, refStep, dst, dstStep, type, 0)
                    : vcPredict16x16(src, refStep, dst, dstStep, type, 0);
        else
            average ? vcPredictAverage16x8(src, refStep, dst, dstStep, type, 0)
                    : vcPredict16x8(src, refStep, dst, dstStep, type, 0);
    } else if (h == 4) {
        average ? vcPredictAverage8x4(src, refStep, dst, dstStep, type, 0)
                : vcPredict8x4(src, refStep, dst, dstStep, type, 0);
    } else {
        for (int part = 0; part < h; part += 8) {
            average ? vcPredictAverage8x8(src, refStep, dst, dstStep, type, 0)
                    : vcPredict8x8(src, refStep, dst, dstStep, type, 0);
            src += ptrdiff_t(8) * refStep;
            dst += ptrdiff_t(8) * dstStep;
        }
    }
    return true;
}

// Everything about the picture that the macroblock loop reads, gathered once per slice.
struct PictureView {
    uint8_t* cur[3];
    const uint8_t* ref[2][3];  // forward, backward reference planes
    const uint8_t* curAsRef[3];
    size_t planeSize[3];
    int pitch[2];
    int bottom;  // field picture: 1 for the bottom field
    bool secondField;
    int codingType;
};

}  // namespace

// The slice header: position, quantiser scale and the per-slice resets.
Status MPEG2VideoDecoderBase::FindSlice(Mpeg2ThreadContext& ctx) {
    Mpeg2BitReader& bs = ctx.bs;
    int code = bs.FindStartCode();
    if (code < 1 || code > 0xAF) return STATUS_NOT_ENOUGH_DATA;
    bs.Skip(32);
    int row = code - 1;
    if (m_height > 2800) {
        int ext = int(bs.Get(3));
        if (code > 128) return STATUS_INVALID_STREAM;
        row += ext << 7;
    }
    if (row >= m_mbRows && m_streamType != MPEG1_VIDEO) return STATUS_INVALID_STREAM;
    if (row >= m_mbRows) return STATUS_INVALID_STREAM;
    if (m_scalableMode == 0) {
        bs.Skip(7);  // priority_breakpoint
        return STATUS_UNSUPPORTED;
    }
    int q = int(bs.Get(5));
    if (q == 0) return STATUS_INVALID_STREAM;
    if (m_streamType == MPEG1_VIDEO)
        ctx.quantScale = q;
    else
        ctx.quantScale = m_qScaleType ? kMpeg2NonLinearQuantiser[q] : 2 * q;
    // Slice extension and extra information: 9 bits while the leading bit is 1, then a 0 bit.
    while (bs.Get1()) {
        bs.Skip(8);
        if (bs.BitsLeft() < 0) return STATUS_INVALID_STREAM;
    }
    ctx.mbRow = row;
    ctx.mbCol = -1;
    std::memset(ctx.pmv, 0, sizeof(ctx.pmv));
    ctx.dcPred[0] = ctx.dcPred[1] = ctx.dcPred[2] = m_dcReset;
    ctx.motionType = m_pictureStructure == 3 ? 2 : 1;
    ctx.prevMbType = 0;
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::DecodeSlice(Mpeg2ThreadContext& ctx) {
    if (m_streamType == MPEG1_VIDEO) return DecodeSliceMpeg1(ctx);
    const bool field = m_pictureStructure != 3;
    if (m_chromaFormat == 2) {
        if (m_codingType == 1) return DecodeSliceIntra<2>(ctx);
        return field ? DecodeSliceMpeg2<2, true>(ctx) : DecodeSliceMpeg2<2, false>(ctx);
    }
    if (m_chromaFormat == 1 || m_chromaFormat == 3) {
        if (m_codingType == 1) return DecodeSliceIntra<1>(ctx);
        return field ? DecodeSliceMpeg2<1, true>(ctx) : DecodeSliceMpeg2<1, false>(ctx);
    }
    return STATUS_INVALID_STREAM;
}

Status MPEG2VideoDecoderBase::DecodeSliceMpeg1(Mpeg2ThreadContext& ctx) {
    if (m_codingType == 1) return DecodeSliceBody<1, false, true, true>(ctx);
    return DecodeSliceBody<1, false, false, true>(ctx);
}

template <int kChroma>
Status MPEG2VideoDecoderBase::DecodeSliceIntra(Mpeg2ThreadContext& ctx) {
    if (m_pictureStructure != 3) return DecodeSliceBody<kChroma, true, true, false>(ctx);
    return DecodeSliceBody<kChroma, false, true, false>(ctx);
}

template <int kChroma, bool kField>
Status MPEG2VideoDecoderBase::DecodeSliceMpeg2(Mpeg2ThreadContext& ctx) {
    return DecodeSliceBody<kChroma, kField, false, false>(ctx);
}

namespace {

// One component of a motion vector (ISO/IEC 13818-2 7.6.3.1). Returns false on an invalid code.
inline bool DecodeMotionComponent(Mpeg2BitReader& bs, const Mpeg2VlcTable& table, int rsize,
                                  int pred, int& out) {
    uint32_t w = bs.Peek32();
    int delta;
    if (w >> 31) {
        bs.Skip(1);
        delta = 0;
    } else {
        const Mpeg2VlcEntry& e = table.Lookup(w);
        if (!e.len) return false;
        bs.Skip(e.len);
        int code = e.value;
        bool negative = bs.Get1() != 0;
        if (rsize > 0) {
            int residual = int(bs.Get(rsize));
            delta = ((code - 1) << rsize) + residual + 1;
        } else {
            delta = code;
        }
        if (negative) delta = -delta;
    }
    const int low = -16 << rsize, high = (16 << rsize) - 1, range = 32 << rsize;
    int v = pred + delta;
    if (v < low) v += range;
    if (v > high) v -= range;
    out = v;
    return true;
}

inline int ReadDmv(Mpeg2BitReader& bs) {
    if (!bs.Get1()) return 0;
    return bs.Get1() ? -1 : 1;
}

}  // namespace

template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
Status MPEG2VideoDecoderBase::DecodeSliceBody(Mpeg2ThreadContext& ctx) {
    Mpeg2BitReader& bs = ctx.bs;
    const int mbWidth = m_mbWidth;
    const int pitch = m_lumaPitch, cpitch = m_chromaPitch;
    const int stepY = kField ? 2 * pitch : pitch;
    const int stepC = kField ? 2 * cpitch : cpitch;
    const int bottom = kField ? (m_pictureStructure == 2 ? 1 : 0) : 0;
    const int codingType = m_dPicture ? 4 : m_codingType;
    const int chromaMbHeight = kChroma == 1 ? 8 : 16;
    const int numBlocks = kChroma == 1 ? 6 : 8;
    const bool mpeg1 = kMpeg1;
    const size_t planeSize[3] = {m_lumaSize, m_chromaSize, m_chromaSize};
    const FrameSlot& curSlot = m_slots[m_curSlot];
    uint8_t* const cur[3] = {curSlot.planes[0], curSlot.planes[1], curSlot.planes[2]};
    const uint8_t* ref[2][3];
    for (int p = 0; p < 3; ++p) {
        ref[0][p] = m_slots[m_fwdRef].planes[p];
        ref[1][p] = m_slots[m_bwdRef].planes[p];
    }
    const Mpeg2VlcTable& mbTypeTable = m_vlc.macroblockType[codingType == 4 ? 0 : codingType - 1];
    const Mpeg2VlcTable& intraTable = m_vlc.coefficients[m_intraVlcFormat];
    const Mpeg2VlcTable& interTable = m_vlc.coefficients[0];
    const int dcShift = m_dcShift;
    const bool secondField = kField && m_fieldFlag == 1;
    const int fullPel[2] = {mpeg1 ? m_fullPel[0] : 0, mpeg1 ? m_fullPel[1] : 0};

    // Reference plane for direction s and field select sel (frame prediction: sel -1).
    auto refPlanes = [&](int s, int sel) -> const uint8_t* const* {
        if (kField && codingType == 2 && secondField && sel != bottom)
            return reinterpret_cast<const uint8_t* const*>(cur);
        return ref[s];
    };

    // Prediction of one part of the macroblock in luma coordinates (x, y) of the reference's row
    // grid; w x h luma samples; the chroma part follows from the chroma format.
    auto predictPart = [&](const uint8_t* const* planes, int sel, uint8_t* const* dst, int dstStepY,
                           int dstStepC, int x, int y, int mvx, int mvy, int w, int h,
                           bool average) -> bool {
        const int rs = sel < 0 ? pitch : 2 * pitch;
        const int rsc = sel < 0 ? cpitch : 2 * cpitch;
        const int off = sel > 0 ? pitch : 0;
        const int offc = sel > 0 ? cpitch : 0;
        if (!PredictBlock(planes[0], planeSize[0], off, rs, dst[0], dstStepY, x, y, mvx, mvy, w, h,
                          average))
            return false;
        const int cx = x >> 1, cy = kChroma == 1 ? y >> 1 : y;
        const int cmvx = mvx / 2, cmvy = kChroma == 1 ? mvy / 2 : mvy;
        const int cw = w >> 1, ch = kChroma == 1 ? h >> 1 : h;
        return PredictBlock(planes[1], planeSize[1], offc, rsc, dst[1], dstStepC, cx, cy, cmvx,
                            cmvy, cw, ch, average) &&
               PredictBlock(planes[2], planeSize[2], offc, rsc, dst[2], dstStepC, cx, cy, cmvx,
                            cmvy, cw, ch, average);
    };

    // Motion compensation of the current macroblock for direction s.
    auto motionCompensate = [&](int s, bool average, uint8_t* const* dst, int mbX, int mbY,
                                int motionType) -> bool {
        int mvx = ctx.mv[0][s][0], mvy = ctx.mv[0][s][1];
        if (mpeg1 && fullPel[s]) {
            mvx *= 2;
            mvy *= 2;
        }
        if (!kField) {
            if (motionType == 2)
                return predictPart(ref[s], -1, dst, stepY, stepC, mbX, mbY, mvx, mvy, 16, 16,
                                   average);
            uint8_t* half[3] = {dst[0] + pitch, dst[1] + cpitch, dst[2] + cpitch};
            if (motionType == 1) {
                return predictPart(ref[s], ctx.fieldSelect[0][s], dst, 2 * pitch, 2 * cpitch, mbX,
                                   mbY >> 1, mvx, ctx.mv[0][s][1], 16, 8, average) &&
                       predictPart(ref[s], ctx.fieldSelect[1][s], half, 2 * pitch, 2 * cpitch, mbX,
                                   mbY >> 1, ctx.mv[1][s][0], ctx.mv[1][s][1], 16, 8, average);
            }
            // Dual prime: same-parity predictions, then the opposite-parity ones averaged in.
            const int* dm = ctx.dmv;
            const int m0 = m_topFieldFirst ? 1 : 3, m1 = m_topFieldFirst ? 3 : 1;
            const int vx = mvx, vy = mvy;
            const int ox0 = ((vx * m0 + (vx > 0)) >> 1) + dm[0];
            const int oy0 = ((vy * m0 + (vy > 0)) >> 1) + dm[1] - 1;
            const int ox1 = ((vx * m1 + (vx > 0)) >> 1) + dm[0];
            const int oy1 = ((vy * m1 + (vy > 0)) >> 1) + dm[1] + 1;
            return predictPart(ref[0], 0, dst, 2 * pitch, 2 * cpitch, mbX, mbY >> 1, vx, vy, 16, 8,
                               false) &&
                   predictPart(ref[0], 1, half, 2 * pitch, 2 * cpitch, mbX, mbY >> 1, vx, vy, 16, 8,
                               false) &&
                   predictPart(ref[0], 1, dst, 2 * pitch, 2 * cpitch, mbX, mbY >> 1, ox0, oy0, 16,
                               8, true) &&
                   predictPart(ref[0], 0, half, 2 * pitch, 2 * cpitch, mbX, mbY >> 1, ox1, oy1, 16,
                               8, true);
        } else {
            if (motionType == 1) {
                int sel = ctx.fieldSelect[0][s];
                return predictPart(refPlanes(s, sel), sel, dst, stepY, stepC, mbX, mbY, mvx, mvy,
                                   16, 16, average);
            }
            if (motionType == 2) {
                const int chromaHalf = kChroma == 1 ? 4 : 8;
                uint8_t* lower[3] = {dst[0] + 8 * stepY, dst[1] + chromaHalf * stepC,
                                     dst[2] + chromaHalf * stepC};
                int sel0 = ctx.fieldSelect[0][s], sel1 = ctx.fieldSelect[1][s];
                return predictPart(refPlanes(s, sel0), sel0, dst, stepY, stepC, mbX, mbY, mvx, mvy,
                                   16, 8, average) &&
                       predictPart(refPlanes(s, sel1), sel1, lower, stepY, stepC, mbX, mbY + 8,
                                   ctx.mv[1][s][0], ctx.mv[1][s][1], 16, 8, average);
            }
            const int opp = 1 - bottom;
            const int ox = ((mvx + (mvx > 0)) >> 1) + ctx.dmv[0];
            const int oy = ((mvy + (mvy > 0)) >> 1) + ctx.dmv[1] + (bottom ? 1 : -1);
            return predictPart(refPlanes(0, bottom), bottom, dst, stepY, stepC, mbX, mbY, mvx, mvy,
                               16, 16, false) &&
                   predictPart(refPlanes(0, opp), opp, dst, stepY, stepC, mbX, mbY, ox, oy, 16, 16,
                               true);
        }
    };

    // Motion vectors of one direction into ctx.mv / ctx.pmv (ISO/IEC 13818-2 6.2.5.2, 7.6.3).
    auto readVectors = [&](int s, int motionType, bool concealment) -> bool {
        const int rx = m_rsize[s][0], ry = m_rsize[s][1];
        const Mpeg2VlcTable& mc = m_vlc.motionCode;
        if (mpeg1) {
            int x, y;
            if (!DecodeMotionComponent(bs, mc, rx, ctx.pmv[0][s][0], x) ||
                !DecodeMotionComponent(bs, mc, ry, ctx.pmv[0][s][1], y))
                return false;
            ctx.mv[0][s][0] = ctx.pmv[0][s][0] = ctx.pmv[1][s][0] = x;
            ctx.mv[0][s][1] = ctx.pmv[0][s][1] = ctx.pmv[1][s][1] = y;
            return true;
        }
        bool fieldFormat = kField || motionType == 1 || motionType == 3;
        if (!kField && concealment) fieldFormat = false;
        const bool dual = motionType == 3 && !concealment;
        const bool two =
            !concealment && ((!kField && motionType == 1) || (kField && motionType == 2));
        if (!two) {
            if (kField && !dual) ctx.fieldSelect[0][s] = int(bs.Get1());
            int x, y;
            if (!DecodeMotionComponent(bs, mc, rx, ctx.pmv[0][s][0], x)) return false;
            if (dual) ctx.dmv[0] = ReadDmv(bs);
            const int predY = (!kField && fieldFormat) ? ctx.pmv[0][s][1] >> 1 : ctx.pmv[0][s][1];
            if (!DecodeMotionComponent(bs, mc, ry, predY, y)) return false;
            if (dual) ctx.dmv[1] = ReadDmv(bs);
            ctx.mv[0][s][0] = x;
            ctx.mv[0][s][1] = y;
            ctx.pmv[0][s][0] = ctx.pmv[1][s][0] = x;
            ctx.pmv[0][s][1] = ctx.pmv[1][s][1] = (!kField && fieldFormat) ? y * 2 : y;
            return true;
        }
        for (int r = 0; r < 2; ++r) {
            ctx.fieldSelect[r][s] = int(bs.Get1());
            int x, y;
            if (!DecodeMotionComponent(bs, mc, rx, ctx.pmv[r][s][0], x)) return false;
            const int predY = kField ? ctx.pmv[r][s][1] : ctx.pmv[r][s][1] >> 1;
            if (!DecodeMotionComponent(bs, mc, ry, predY, y)) return false;
            ctx.mv[r][s][0] = ctx.pmv[r][s][0] = x;
            ctx.mv[r][s][1] = y;
            ctx.pmv[r][s][1] = kField ? y : y * 2;
        }
        return true;
    };

    // Intra block: DC, AC, inverse quantisation and mismatch control; written as pixels.
    auto intraBlock = [&](int blockIndex, uint8_t* dst, int dstStep) -> bool {
        Mpeg2BitCache bs(ctx.bs);
        struct WriteBack {
            Mpeg2BitReader& to;
            const Mpeg2BitCache& from;
            ~WriteBack() { from.Store(to); }
        } writeBack{ctx.bs, bs};
        int16_t* blk = ctx.block;
        std::memset(blk, 0, sizeof(ctx.block));
        const int cc = blockIndex < 4 ? 0 : (blockIndex & 1) + 1;
        const Mpeg2VlcEntry& de = m_vlc.dcSize[cc ? 1 : 0].Lookup(bs.Peek32());
        if (!de.len) return false;
        bs.Skip(de.len);
        const int size = de.value;
        int diff = 0;
        if (size) {
            int v = int(bs.Get(size));
            diff = v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
        }
        ctx.dcPred[cc] += diff;
        if (mpeg1) {
            blk[0] = int16_t(ctx.dcPred[cc] * 8);
        } else {
            blk[0] = int16_t(Saturate(ctx.dcPred[cc] << dcShift));
        }
        int last = 0;
        if (codingType != 4) {
            const uint8_t* W = ctx.matrix[cc ? 2 : 0];
            const uint8_t* scan = ctx.scan;
            const int q = ctx.quantScale;
            const Mpeg2VlcTable& table = mpeg1 ? interTable : intraTable;
            int sum = blk[0];
            int i = 0;
            for (;;) {
                bs.Refill();
                uint32_t w = bs.Peek32();
                const Mpeg2VlcEntry& e = table.Lookup(w);
                if (!e.len) return false;
                int run, level;
                if (e.value >= 0) {
                    run = e.value & 63;
                    level = e.value >> 6;
                    if ((w << e.len) >> 31) level = -level;
                    bs.Skip(e.len + 1);
                } else if (e.value == kVlcEndOfBlock) {
                    bs.Skip(e.len);
                    break;
                } else {
                    bs.Skip(6);
                    run = int(bs.Get(6));
                    if (mpeg1) {
                        level = int(bs.Get(8));
                        if (level == 0)
                            level = int(bs.Get(8));
                        else if (level == 128)
                            level = int(bs.Get(8)) - 256;
                        else if (level > 128)
                            level -= 256;
                        if (level == 0) return false;
                    } else {
                        level = int(bs.Get(12));
                        if (level >= 2048) level -= 4096;
                        if (level == 0 || level == -2048) return false;
                    }
                }
                i += run + 1;
                if (i > 63) return false;
                const int idx = scan[i];
                int v;
                if (mpeg1) {
                    v = (level * q * W[idx]) / 8;
                    if (v && !(v & 1)) v -= v > 0 ? 1 : -1;
                } else {
                    v = (level * W[idx] * q) / 16;
                }
                v = Saturate(v);
                blk[idx] = int16_t(v);
                sum += v;
                last = i;
            }
            if (!mpeg1 && !(sum & 1)) blk[63] ^= 1;
        } else {
            // D pictures: DC only.
        }
        if (bs.BitsLeft() < 0) return false;
        // The flat DC shortcut truncates DC / 8; it is exact only for multiples of 8 (intra DC
        // precision 8 bits). Finer DC values take the transform, which rounds and sees the
        // mismatch-control change of coefficient 63.
        if (last == 0 && !(blk[0] & 7))
            vcInverseDct8x8ToPixels(blk, dst, dstStep, vcIdctHintDcOnly);
        else
            vcInverseDct8x8Store(blk, dst, dstStep);
        return true;
    };

    // Non-intra block added to the prediction already in the picture.
    auto interBlock = [&](int blockIndex, uint8_t* dst, int dstStep) -> bool {
        Mpeg2BitCache bs(ctx.bs);
        struct WriteBack {
            Mpeg2BitReader& to;
            const Mpeg2BitCache& from;
            ~WriteBack() { from.Store(to); }
        } writeBack{ctx.bs, bs};
        int16_t* blk = ctx.block;
        std::memset(blk, 0, sizeof(ctx.block));
        const int cc = blockIndex < 4 ? 0 : 1;
        const uint8_t* W = ctx.matrix[cc ? 3 : 1];
        const uint8_t* scan = ctx.scan;
        const int q = ctx.quantScale;
        int sum = 0;
        int i = -1;
        int last = 0;
        bool first = true;
        for (;;) {
            bs.Refill();
            uint32_t w = bs.Peek32();
            int run, level;
            if (first && (w >> 31)) {
                run = 0;
                level = (w >> 30) & 1 ? -1 : 1;
                bs.Skip(2);
            } else {
                const Mpeg2VlcEntry& e = interTable.Lookup(w);
                if (!e.len) return false;
                if (e.value >= 0) {
                    run = e.value & 63;
                    level = e.value >> 6;
                    if ((w << e.len) >> 31) level = -level;
                    bs.Skip(e.len + 1);
                } else if (e.value == kVlcEndOfBlock) {
                    bs.Skip(e.len);
                    break;
                } else {
                    bs.Skip(6);
                    run = int(bs.Get(6));
                    if (mpeg1) {
                        level = int(bs.Get(8));
                        if (level == 0)
                            level = int(bs.Get(8));
                        else if (level == 128)
                            level = int(bs.Get(8)) - 256;
                        else if (level > 128)
                            level -= 256;
                        if (level == 0) return false;
                    } else {
                        level = int(bs.Get(12));
                        if (level >= 2048) level -= 4096;
                        if (level == 0 || level == -2048) return false;
                    }
                }
            }
            first = false;
            i += run + 1;
            if (i > 63) return false;
            const int idx = scan[i];
            const int sign = level > 0 ? 1 : -1;
            int v;
            if (mpeg1) {
                v = ((2 * level + sign) * q * W[idx]) / 16;
                if (v && !(v & 1)) v -= sign;
            } else {
                v = ((2 * level + sign) * W[idx] * q) / 32;
            }
            v = Saturate(v);
            blk[idx] = int16_t(v);
            sum += v;
            last = i;
        }
        if (bs.BitsLeft() < 0) return false;
        // DC only: (DC + 4) >> 3 everywhere, except for a tie (DC % 8 == 4), which the
        // mismatch-control change of coefficient 63 breaks differently per pixel.
        if (last == 0 && (mpeg1 || (blk[0] & 7) != 4)) {
            vcAddConstant8x8(int16_t((blk[0] + 4) >> 3), dst, dstStep);
            return true;
        }
        if (!mpeg1 && !(sum & 1)) blk[63] ^= 1;
        if (last < 10 && !blk[63])
            vcInverseDct8x8Reduced(blk, ctx.residual);
        else
            vcInverseDct8x8(blk, ctx.residual);
        vcAddResidual8x8(ctx.residual, 16, dst, dstStep);
        return true;
    };

    // Destination pointers of macroblock (row, col) in the current picture.
    auto mbDest = [&](int row, int col, uint8_t** d) {
        const ptrdiff_t yOff =
            ptrdiff_t(bottom) * pitch + ptrdiff_t(row) * 16 * stepY + ptrdiff_t(col) * 16;
        const ptrdiff_t cOff = ptrdiff_t(bottom) * cpitch +
                               ptrdiff_t(row) * chromaMbHeight * stepC + ptrdiff_t(col) * 8;
        d[0] = cur[0] + yOff;
        d[1] = cur[1] + cOff;
        d[2] = cur[2] + cOff;
    };

    // Skipped macroblock at (row, col).
    auto skipMacroblock = [&](int row, int col) -> bool {
        ctx.dcPred[0] = ctx.dcPred[1] = ctx.dcPred[2] = m_dcReset;
        uint8_t* d[3];
        mbDest(row, col, d);
        const int x = col * 16, y = row * 16;
        if (codingType == 2) {
            std::memset(ctx.pmv, 0, sizeof(ctx.pmv));
            if (!kField) return predictPart(ref[0], -1, d, stepY, stepC, x, y, 0, 0, 16, 16, false);
            return predictPart(ref[0], bottom, d, stepY, stepC, x, y, 0, 0, 16, 16, false);
        }
        // B: the previous macroblock's directions and vectors with frame (field) motion.
        const int t = ctx.prevMbType;
        if (t & kMbIntra || !(t & (kMbForward | kMbBackward))) return false;
        // A skipped macroblock of a field picture predicts from the field of its own parity,
        // whatever field the macroblock before it chose.
        for (int s = 0; s < 2; ++s) {
            ctx.mv[0][s][0] = ctx.pmv[0][s][0];
            ctx.mv[0][s][1] = ctx.pmv[0][s][1];
            ctx.fieldSelect[0][s] = bottom;
        }
        const int motionType = kField ? 1 : 2;
        bool ok = true;
        if (t & kMbForward) ok = motionCompensate(0, false, d, x, y, motionType);
        if (ok && (t & kMbBackward))
            ok = motionCompensate(1, (t & kMbForward) != 0, d, x, y, motionType);
        return ok;
    };

    Status sliceStatus = STATUS_OK;
    for (;;) {
        // macroblock_address_increment
        int increment = 0;
        for (;;) {
            uint32_t w = bs.Peek32();
            if ((w >> 21) == 0) return sliceStatus;  // only stuffing or the slice's end remain
            if (w >> 31) {
                bs.Skip(1);
                increment += 1;
                break;
            }
            const Mpeg2VlcEntry& e = m_vlc.addressIncrement.Lookup(w);
            if (!e.len) return kSliceDamaged;
            bs.Skip(e.len);
            if (e.value == 34) {
                increment += 33;
                continue;
            }
            if (e.value == 35) continue;  // MPEG-1 macroblock stuffing
            increment += e.value;
            break;
        }
        if (ctx.mbCol < 0) {
            ctx.mbCol = increment - 1;
        } else {
            int skipped = increment - 1;
            if (kIntraOnly) {
                ctx.mbCol += skipped;
            } else {
                if (!mpeg1) {
                    int left = mbWidth - 1 - ctx.mbCol;
                    if (skipped > left) skipped = left;
                }
                for (int k = 0; k < skipped; ++k) {
                    ++ctx.mbCol;
                    if (ctx.mbCol >= mbWidth) {  // MPEG-1 slices may run on into the next row
                        ctx.mbCol = 0;
                        if (++ctx.mbRow >= m_mbRows) return kSliceDamaged;
                    }
                    if (!skipMacroblock(ctx.mbRow, ctx.mbCol)) return kSliceDamaged;
                }
            }
            ++ctx.mbCol;
        }
        if (mpeg1) {
            while (ctx.mbCol >= mbWidth) {
                ctx.mbCol -= mbWidth;
                if (++ctx.mbRow >= m_mbRows) return kSliceDamaged;
            }
        } else if (ctx.mbCol >= mbWidth) {
            return STATUS_INVALID_STREAM;
        }

        // macroblock_modes
        int mbType;
        if (codingType == 4) {
            if (!bs.Get1()) return kSliceDamaged;
            mbType = kMbIntra;
        } else {
            const Mpeg2VlcEntry& e = mbTypeTable.Lookup(bs.Peek32());
            if (!e.len) return STATUS_INVALID_STREAM;
            bs.Skip(e.len);
            mbType = e.value;
        }
        int motionType = kField ? 1 : 2;
        ctx.dctType = 0;
        if (!mpeg1) {
            if (kField) {
                if (mbType & (kMbForward | kMbBackward)) {
                    motionType = int(bs.Get(2));
                    if (!motionType) return kSliceDamaged;
                }
            } else if (!m_framePredFrameDct) {
                if (mbType & (kMbForward | kMbBackward)) {
                    motionType = int(bs.Get(2));
                    if (!motionType) return kSliceDamaged;
                }
                if (mbType & (kMbIntra | kMbPattern)) ctx.dctType = int(bs.Get1());
            }
        }
        if (mbType & kMbQuant) {
            int q = int(bs.Get(5));
            if (!q) return kSliceDamaged;
            ctx.quantScale = mpeg1 ? q : (m_qScaleType ? kMpeg2NonLinearQuantiser[q] : 2 * q);
        }

        uint8_t* d[3];
        mbDest(ctx.mbRow, ctx.mbCol, d);
        const int x = ctx.mbCol * 16, y = ctx.mbRow * 16;
        // Block destinations: frame or field DCT.
        uint8_t* bd[8];
        int bstep[8];
        {
            const int ls = ctx.dctType ? 2 * stepY : stepY;
            const ptrdiff_t lo = ctx.dctType ? stepY : 8 * stepY;
            bd[0] = d[0];
            bd[1] = d[0] + 8;
            bd[2] = d[0] + lo;
            bd[3] = d[0] + lo + 8;
            bstep[0] = bstep[1] = bstep[2] = bstep[3] = ls;
            if (kChroma == 1) {
                bd[4] = d[1];
                bd[5] = d[2];
                bstep[4] = bstep[5] = stepC;
            } else {
                const int cs = ctx.dctType ? 2 * stepC : stepC;
                const ptrdiff_t co = ctx.dctType ? stepC : 8 * stepC;
                bd[4] = d[1];
                bd[5] = d[2];
                bd[6] = d[1] + co;
                bd[7] = d[2] + co;
                bstep[4] = bstep[5] = bstep[6] = bstep[7] = cs;
            }
        }

        if (mbType & kMbIntra) {
            if (!mpeg1 && m_concealmentVectors) {
                if (!readVectors(0, kField ? 1 : 2, true)) return kSliceDamaged;
                bs.Skip(1);  // marker
            } else {
                std::memset(ctx.pmv, 0, sizeof(ctx.pmv));
            }
            for (int b = 0; b < numBlocks; ++b)
                if (!intraBlock(b, bd[b], bstep[b])) return kSliceDamaged;
            if (codingType == 4 && !bs.Get1()) return kSliceDamaged;  // end_of_macroblock
            ctx.prevMbType = mbType;
        } else if (!kIntraOnly) {
            ctx.dcPred[0] = ctx.dcPred[1] = ctx.dcPred[2] = m_dcReset;
            if (mbType & kMbForward) {
                if (!readVectors(0, motionType, false)) return kSliceDamaged;
            }
            if (mbType & kMbBackward) {
                if (!readVectors(1, motionType, false)) return kSliceDamaged;
            }
            if (motionType == 3 && (codingType != 2 || (mbType & kMbBackward)))
                return kSliceDamaged;  // dual prime exists only in P pictures
            bool ok = true;
            if (!(mbType & (kMbForward | kMbBackward))) {
                // P picture, no motion: zero vector from the same-parity field or the frame.
                std::memset(ctx.pmv, 0, sizeof(ctx.pmv));
                if (!kField)
                    ok = predictPart(ref[0], -1, d, stepY, stepC, x, y, 0, 0, 16, 16, false);
                else
                    ok = predictPart(ref[0], bottom, d, stepY, stepC, x, y, 0, 0, 16, 16, false);
                motionType = kField ? 1 : 2;
                ctx.fieldSelect[0][0] = bottom;
            } else {
                if (mbType & kMbForward) ok = motionCompensate(0, false, d, x, y, motionType);
                if (ok && (mbType & kMbBackward))
                    ok = motionCompensate(1, (mbType & kMbForward) != 0, d, x, y, motionType);
            }
            if (!ok) return STATUS_INVALID_STREAM;
            int cbp = 0;
            if (mbType & kMbPattern) {
                const Mpeg2VlcEntry& e = m_vlc.codedBlockPattern.Lookup(bs.Peek32());
                if (!e.len) return kSliceDamaged;
                bs.Skip(e.len);
                cbp = e.value;
                if (kChroma == 2) cbp = (cbp << 2) | int(bs.Get(2));
                for (int b = 0; b < numBlocks; ++b)
                    if ((cbp >> (numBlocks - 1 - b)) & 1)
                        if (!interBlock(b, bd[b], bstep[b])) return kSliceDamaged;
            }
            ctx.prevMbType = mbType;
        } else {
            return kSliceDamaged;
        }
        if (bs.BitsLeft() < 0) return kSliceDamaged;
        if (bs.BitsLeft() == 0) return sliceStatus;
    }
}

}  // namespace UMC
