// Slice and macroblock decoding: macroblock addressing and skipping, motion vectors and
// motion-compensated prediction, coefficient decoding with inverse quantisation, and
// reconstruction into the current frame slot.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoderBase.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2Blocks.h"
#include "primitives/VideoCoding.h"

namespace UMC {

namespace {

// Slice result for a slice in which errors were found.
constexpr Status kSliceDamaged = 2;

// Asks for the cache line 64 bytes to the right of each of `rows` rows from p on, unless the
// last call for this plane (`line`) asked for the same lines: a line holds four macroblocks'
// luma rows, so most calls are repeats. Prefetches never fault, so the addresses need no bounds.
template <bool kWrite>
inline void Prefetch(const uint8_t* p, ptrdiff_t step, int rows, uintptr_t& line) {
    uintptr_t a = uintptr_t(p) + 64;
    if ((a >> 6) == line) return;
    line = a >> 6;
    for (int r = 0; r < rows; ++r, a += uintptr_t(step))
        __builtin_prefetch(reinterpret_cast<const void*>(a), kWrite ? 1 : 0);
}

// Prediction of a w x h block (w 8 or 16, h 4, 8 or 16) from a reference plane, after checking that
// the whole area read (with the extra interpolation row and column) lies inside the plane.
inline bool PredictBlock(const Mpeg2Kernels& k, const uint8_t* plane, size_t planeSize,
                         ptrdiff_t baseOffset, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                         int x, int y, int mvx, int mvy, int w, int h, bool average,
                         uintptr_t& prefetched) {
    const int type = (mvx & 1) | ((mvy & 1) << 1);
    const ptrdiff_t first = baseOffset + ptrdiff_t(y + (mvy >> 1)) * refStep + (x + (mvx >> 1));
    const ptrdiff_t last = first + ptrdiff_t(h - 1 + (type >> 1)) * refStep + (w - 1 + (type & 1));
    if (first < 0 || last >= ptrdiff_t(planeSize)) return false;
    const uint8_t* src = plane + first;
    // The next macroblocks mostly move like this one: ask for the reference rows they will read.
    Prefetch<false>(src, refStep, h + 1, prefetched);
    // The type indexes the kernels' routine table; rounding is always half up.
    if (w == 16) {
        (h == 16 ? k.predict16x16 : k.predict16x8)[average](src, refStep, dst, dstStep, type, 0);
    } else if (h == 4) {
        k.predict8x4[average](src, refStep, dst, dstStep, type, 0);
    } else {
        for (int part = 0; part < h; part += 8) {
            k.predict8x8[average](src, refStep, dst, dstStep, type, 0);
            src += 8 * refStep;
            dst += 8 * dstStep;
        }
    }
    return true;
}

}  // namespace

// The slice header: position, quantiser scale and the per-slice resets.
Status MPEG2VideoDecoderBase::FindSlice(Mpeg2ThreadContext& ctx) {
    Mpeg2BitReader& bs = ctx.bs;
    int code = bs.FindStartCode();
    if (code < 1 || code > 0xAF) return STATUS_NOT_ENOUGH_DATA;
    bs.Skip(32);
    int row = code - 1;
    if (m_sequence.height > 2800) {
        int ext = int(bs.Get(3));
        if (code > 128) return STATUS_INVALID_STREAM;
        row += ext << 7;
    }
    if (row >= m_picture.mbRows) return STATUS_INVALID_STREAM;
    if (m_sequence.scalableMode == 0) {
        bs.Skip(7);  // priority_breakpoint
        return STATUS_UNSUPPORTED;
    }
    int q = int(bs.Get(5));
    if (q == 0) return STATUS_INVALID_STREAM;
    if (m_sequence.streamType == MPEG1_VIDEO)
        ctx.quantScale = q;
    else
        ctx.quantScale = m_picture.coding.qScaleType ? kMpeg2NonLinearQuantiser[q] : 2 * q;
    // Slice extension and extra information: 9 bits while the leading bit is 1, then a 0 bit.
    while (bs.Get1()) {
        bs.Skip(8);
        if (bs.BitsLeft() < 0) return STATUS_INVALID_STREAM;
    }
    ctx.mbRow = row;
    ctx.mbCol = -1;
    std::memset(ctx.pmv, 0, sizeof(ctx.pmv));
    ctx.dcPred[0] = ctx.dcPred[1] = ctx.dcPred[2] = m_picture.dcReset;
    ctx.motionType = m_picture.IsFrame() ? kMotionFrame : kMotionField;
    ctx.prevMbType = 0;
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::DecodeSlice(Mpeg2ThreadContext& ctx) {
    if (m_sequence.streamType == MPEG1_VIDEO) return DecodeSliceMpeg1(ctx);
    const bool field = !m_picture.IsFrame();
    const bool intra = m_picture.codingType == I_PICTURE;
    if (m_sequence.chromaFormat == CHROMA_422) {
        if (intra) return DecodeSliceIntra<2>(ctx);
        return field ? DecodeSliceMpeg2<2, true>(ctx) : DecodeSliceMpeg2<2, false>(ctx);
    }
    if (m_sequence.chromaFormat == CHROMA_420 || m_sequence.chromaFormat == CHROMA_444) {
        if (intra) return DecodeSliceIntra<1>(ctx);
        return field ? DecodeSliceMpeg2<1, true>(ctx) : DecodeSliceMpeg2<1, false>(ctx);
    }
    return STATUS_INVALID_STREAM;
}

Status MPEG2VideoDecoderBase::DecodeSliceMpeg1(Mpeg2ThreadContext& ctx) {
    if (m_picture.codingType == I_PICTURE) return DecodeSliceBody<1, false, true, true>(ctx);
    return DecodeSliceBody<1, false, false, true>(ctx);
}

template <int kChroma>
Status MPEG2VideoDecoderBase::DecodeSliceIntra(Mpeg2ThreadContext& ctx) {
    if (!m_picture.IsFrame()) return DecodeSliceBody<kChroma, true, true, false>(ctx);
    return DecodeSliceBody<kChroma, false, true, false>(ctx);
}

template <int kChroma, bool kField>
Status MPEG2VideoDecoderBase::DecodeSliceMpeg2(Mpeg2ThreadContext& ctx) {
    return DecodeSliceBody<kChroma, kField, false, false>(ctx);
}

namespace {

// One component of a motion vector (ISO/IEC 13818-2 7.6.3.1). Returns false on an invalid code.
// motion_code (at most 11 bits), its sign and a residual of at most 14 bits all lie in one 32-bit
// window, so the reader moves once.
inline bool DecodeMotionComponent(Mpeg2BitReader& bs, const Mpeg2VlcTable& table, int rsize,
                                  int pred, int& out) {
    const uint32_t w = bs.Peek32();
    int delta;
    if (w >> 31) {
        bs.Skip(1);
        delta = 0;
    } else {
        const Mpeg2VlcEntry& e = table.Lookup(w);
        if (!e.len) return false;
        const uint32_t rest = w << e.len;  // sign, then the residual
        const int code = e.value;
        delta = rsize > 0 ? ((code - 1) << rsize) + int((rest << 1) >> (32 - rsize)) + 1 : code;
        if (rest >> 31) delta = -delta;
        bs.Skip(e.len + 1 + rsize);
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

// What the macroblock modes decide, and where the macroblock and its blocks lie in the picture.
// Left uninitialised: ReadModes and Locate fill what each macroblock uses, and zeroing it costs a
// string store per macroblock.
struct Mpeg2Macroblock {
    int type;
    Mpeg2MotionType motionType;
    int x, y;  // luma position on the picture's (or field's) row grid
    uint8_t* dst[3];
    uint8_t* blockDst[8];
    int blockStep[8];
};

// The macroblock loop of one slice, specialised by chroma format, picture structure, intra-only
// pictures and MPEG-1. Each step reads one part of the macroblock syntax; the picture's constants
// are gathered once per slice.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
class Mpeg2SliceDecoder {
public:
    Mpeg2SliceDecoder(const MPEG2VideoDecoderBase& dec, Mpeg2ThreadContext& ctx);
    Status Run();

private:
    static constexpr int kBlocks = kChroma == 1 ? 6 : 8;
    static constexpr int kChromaMbHeight = kChroma == 1 ? 8 : 16;

    // The steps, in stream order.
    int ReadAddressIncrement();
    Status Advance(int increment);
    Status ReadModes(Mpeg2Macroblock& mb);
    void Locate(Mpeg2Macroblock& mb) const;
    Status DecodeIntra(const Mpeg2Macroblock& mb);
    Status DecodeNonIntra(Mpeg2Macroblock& mb);
    bool ReadVectors(int s, Mpeg2MotionType motionType, bool concealment);
    bool Predict(Mpeg2Macroblock& mb);
    int ReadCodedBlockPattern();
    bool DecodeCodedBlocks(const Mpeg2Macroblock& mb, int cbp);

    // Skipped macroblocks and motion compensation.
    bool SkipMacroblock(int row, int col);
    void Destination(int row, int col, uint8_t** d) const;
    const uint8_t* const* ReferencePlanes(int s, int sel) const;
    bool PredictPart(const uint8_t* const* planes, int sel, uint8_t* const* dst, int dstStepY,
                     int dstStepC, int x, int y, int mvx, int mvy, int w, int h,
                     bool average) const;
    bool MotionCompensate(int s, bool average, uint8_t* const* dst, int x, int y,
                          Mpeg2MotionType motionType) const;

    const MPEG2VideoDecoderBase& m_dec;
    Mpeg2ThreadContext& m_ctx;
    Mpeg2BitReader& m_bs;
    const int m_mbWidth, m_mbRows;
    const int m_pitch, m_cpitch;           // of the references
    const int m_dpitch, m_dcpitch;         // of the picture written (Mpeg2PictureTarget)
    const int m_stepY, m_stepC;            // row steps: doubled in a field picture
    const int m_bottom;                    // field picture: 1 for the bottom field
    const PictureCodingType m_codingType;  // D_PICTURE as read
    const bool m_secondField;
    const int m_dcShift;
    const int m_fullPel[2];
    const size_t m_planeSize[3];
    uint8_t* m_cur[3];
    uint8_t* m_strip[3];
    const int m_stripRow;
    const uint8_t* m_ref[2][3];  // forward, backward
    const Mpeg2VlcTable& m_mbTypeTable;
    const Mpeg2CoefficientTable& m_intraTable;
    const Mpeg2Kernels m_kernels;
    // The last line prefetched per reference plane (0..2) and picture plane (3..5).
    mutable uintptr_t m_prefetched[6] = {};
};

template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::Mpeg2SliceDecoder(
    const MPEG2VideoDecoderBase& dec, Mpeg2ThreadContext& ctx)
    : m_dec(dec),
      m_ctx(ctx),
      m_bs(ctx.bs),
      m_mbWidth(dec.m_sequence.mbWidth),
      m_mbRows(std::min(dec.m_picture.mbRows, ctx.rowLimit)),
      m_pitch(dec.m_lumaPitch),
      m_cpitch(dec.m_chromaPitch),
      m_dpitch(dec.m_target.pitch[0]),
      m_dcpitch(dec.m_target.pitch[1]),
      m_stepY(kField ? 2 * m_dpitch : m_dpitch),
      m_stepC(kField ? 2 * m_dcpitch : m_dcpitch),
      m_bottom(kField && dec.m_picture.coding.structure == PS_BOTTOM_FIELD ? 1 : 0),
      m_codingType(dec.m_picture.header.codingType),
      m_secondField(kField && dec.m_fieldFlag == kSecondField),
      m_dcShift(dec.m_picture.dcShift),
      m_fullPel{kMpeg1 && dec.m_picture.header.fullPel[0],
                kMpeg1 && dec.m_picture.header.fullPel[1]},
      m_planeSize{dec.m_lumaSize, dec.m_chromaSize, dec.m_chromaSize},
      m_stripRow(dec.m_target.stripRow),
      m_mbTypeTable(dec.m_vlc.macroblockType[dec.m_picture.codingType - 1]),
      m_intraTable(dec.m_vlc.coefficientCodes[kMpeg1 ? 0 : dec.m_picture.coding.intraVlcFormat]) {
    for (int p = 0; p < 3; ++p) {
        m_cur[p] = dec.m_target.planes[p];
        m_strip[p] = dec.m_target.strip[p];
        m_ref[0][p] = dec.m_slots[dec.m_fwdRef].planes[p];
        m_ref[1][p] = dec.m_slots[dec.m_bwdRef].planes[p];
    }
}

template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
Status Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::Run() {
    for (;;) {
        const int increment = ReadAddressIncrement();
        if (increment == 0) return STATUS_OK;  // only stuffing or the slice's end remain
        if (increment < 0) return kSliceDamaged;
        Status st = Advance(increment);
        if (st != STATUS_OK) return st;
        Mpeg2Macroblock mb;
        st = ReadModes(mb);
        if (st != STATUS_OK) return st;
        Locate(mb);
        if (mb.type & kMbIntra)
            st = DecodeIntra(mb);
        else if (!kIntraOnly)
            st = DecodeNonIntra(mb);
        else
            st = kSliceDamaged;
        if (st != STATUS_OK) return st;
        m_ctx.prevMbType = mb.type;
        ++m_ctx.mbDone;
        if (m_bs.BitsLeft() < 0) return kSliceDamaged;
        if (m_bs.BitsLeft() == 0) return STATUS_OK;
    }
}

// macroblock_address_increment with its escapes (and MPEG-1 stuffing): the increment, 0 when
// only zeros remain (the slice's end), -1 for an invalid code.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
int Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::ReadAddressIncrement() {
    int increment = 0;
    for (;;) {
        const uint32_t w = m_bs.Peek32();
        if ((w >> 21) == 0) return 0;
        if (w >> 31) {
            m_bs.Skip(1);
            return increment + 1;
        }
        const Mpeg2VlcEntry& e = m_dec.m_vlc.addressIncrement.Lookup(w);
        if (!e.len) return -1;
        m_bs.Skip(e.len);
        if (e.value == 34)
            increment += 33;
        else if (e.value != 35)
            return increment + e.value;
    }
}

// Moves to the next coded macroblock, reconstructing the skipped ones on the way.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
Status Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::Advance(int increment) {
    Mpeg2ThreadContext& ctx = m_ctx;
    if (ctx.mbCol < 0) {
        ctx.mbCol = increment - 1;
    } else {
        int skipped = increment - 1;
        if (kIntraOnly) {
            ctx.mbCol += skipped;
        } else {
            if (!kMpeg1) skipped = std::min(skipped, m_mbWidth - 1 - ctx.mbCol);
            for (int k = 0; k < skipped; ++k) {
                if (++ctx.mbCol >= m_mbWidth) {  // MPEG-1 slices may run on into the next row
                    ctx.mbCol = 0;
                    if (++ctx.mbRow >= m_mbRows) return kSliceDamaged;
                }
                if (!SkipMacroblock(ctx.mbRow, ctx.mbCol)) return kSliceDamaged;
                ++ctx.mbDone;
            }
        }
        ++ctx.mbCol;
    }
    if (kMpeg1) {
        while (ctx.mbCol >= m_mbWidth) {
            ctx.mbCol -= m_mbWidth;
            if (++ctx.mbRow >= m_mbRows) return kSliceDamaged;
        }
    } else if (ctx.mbCol >= m_mbWidth) {
        return STATUS_INVALID_STREAM;
    }
    return STATUS_OK;
}

// macroblock_type, frame/field motion type, dct_type and quantiser_scale_code.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
Status Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::ReadModes(Mpeg2Macroblock& mb) {
    Mpeg2BitReader& bs = m_bs;
    if (m_codingType == D_PICTURE) {
        if (!bs.Get1()) return kSliceDamaged;
        mb.type = kMbIntra;
    } else {
        const Mpeg2VlcEntry& e = m_mbTypeTable.Lookup(bs.Peek32());
        if (!e.len) return STATUS_INVALID_STREAM;
        bs.Skip(e.len);
        mb.type = e.value;
    }
    mb.motionType = kField ? kMotionField : kMotionFrame;
    m_ctx.dctType = 0;
    if (!kMpeg1 && (kField || !m_dec.m_picture.coding.framePredFrameDct)) {
        if (mb.type & (kMbForward | kMbBackward)) {
            const int code = int(bs.Get(2));
            if (!code) return kSliceDamaged;
            mb.motionType = Mpeg2MotionType(code);
        }
        if (!kField && (mb.type & (kMbIntra | kMbPattern))) m_ctx.dctType = int(bs.Get1());
    }
    if (mb.type & kMbQuant) {
        const int q = int(bs.Get(5));
        if (!q) return kSliceDamaged;
        m_ctx.quantScale =
            kMpeg1 ? q : (m_dec.m_picture.coding.qScaleType ? kMpeg2NonLinearQuantiser[q] : 2 * q);
    }
    return STATUS_OK;
}

// The macroblock's position and its blocks' destinations under frame or field DCT.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
void Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::Locate(Mpeg2Macroblock& mb) const {
    Destination(m_ctx.mbRow, m_ctx.mbCol, mb.dst);
    // The picture rows that the next macroblocks write.
    Prefetch<true>(mb.dst[0], m_stepY, 16, m_prefetched[3]);
    Prefetch<true>(mb.dst[1], m_stepC, kChromaMbHeight, m_prefetched[4]);
    Prefetch<true>(mb.dst[2], m_stepC, kChromaMbHeight, m_prefetched[5]);
    mb.x = m_ctx.mbCol * 16;
    mb.y = m_ctx.mbRow * 16;
    const bool fieldDct = m_ctx.dctType != 0;
    const int ls = fieldDct ? 2 * m_stepY : m_stepY;
    const ptrdiff_t lo = fieldDct ? m_stepY : 8 * m_stepY;
    mb.blockDst[0] = mb.dst[0];
    mb.blockDst[1] = mb.dst[0] + 8;
    mb.blockDst[2] = mb.dst[0] + lo;
    mb.blockDst[3] = mb.dst[0] + lo + 8;
    mb.blockStep[0] = mb.blockStep[1] = mb.blockStep[2] = mb.blockStep[3] = ls;
    mb.blockDst[4] = mb.dst[1];
    mb.blockDst[5] = mb.dst[2];
    if (kChroma == 1) {
        mb.blockStep[4] = mb.blockStep[5] = m_stepC;
    } else {
        const int cs = fieldDct ? 2 * m_stepC : m_stepC;
        const ptrdiff_t co = fieldDct ? m_stepC : 8 * m_stepC;
        mb.blockDst[6] = mb.dst[1] + co;
        mb.blockDst[7] = mb.dst[2] + co;
        mb.blockStep[4] = mb.blockStep[5] = mb.blockStep[6] = mb.blockStep[7] = cs;
    }
}

// Intra macroblock: concealment vectors or the vector predictors' reset, then every block.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
Status Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::DecodeIntra(
    const Mpeg2Macroblock& mb) {
    Mpeg2ThreadContext& ctx = m_ctx;
    if (!kMpeg1 && m_dec.m_picture.coding.concealmentVectors) {
        if (!ReadVectors(0, kField ? kMotionField : kMotionFrame, true)) return kSliceDamaged;
        m_bs.Skip(1);  // marker
    } else {
        std::memset(ctx.pmv, 0, sizeof(ctx.pmv));
    }
    const bool dcOnly = m_codingType == D_PICTURE;
    // One cache for the macroblock's blocks; the reader takes the position back after them.
    Mpeg2BitCache cache(m_bs);
    bool ok = true;
    for (int b = 0; b < kBlocks && ok; ++b) {
        const int cc = b < 4 ? 0 : (b & 1) + 1;
        ok = DecodeIntraBlock<kMpeg1>(ctx, cache, m_kernels, m_dec.m_vlc, m_intraTable, cc,
                                      m_dcShift, dcOnly, mb.blockDst[b], mb.blockStep[b]);
    }
    cache.Store(m_bs);
    if (!ok) return kSliceDamaged;
    if (dcOnly && !m_bs.Get1()) return kSliceDamaged;  // end_of_macroblock
    return STATUS_OK;
}

// Non-intra macroblock: vectors, prediction, then the coded blocks added to it.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
Status Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::DecodeNonIntra(Mpeg2Macroblock& mb) {
    m_ctx.dcPred[0] = m_ctx.dcPred[1] = m_ctx.dcPred[2] = m_dec.m_picture.dcReset;
    if ((mb.type & kMbForward) && !ReadVectors(0, mb.motionType, false)) return kSliceDamaged;
    if ((mb.type & kMbBackward) && !ReadVectors(1, mb.motionType, false)) return kSliceDamaged;
    if (mb.motionType == kMotionDualPrime && (m_codingType != P_PICTURE || (mb.type & kMbBackward)))
        return kSliceDamaged;  // dual prime exists only in P pictures
    if (!Predict(mb)) return STATUS_INVALID_STREAM;
    if (!(mb.type & kMbPattern)) return STATUS_OK;
    const int cbp = ReadCodedBlockPattern();
    if (cbp < 0 || !DecodeCodedBlocks(mb, cbp)) return kSliceDamaged;
    return STATUS_OK;
}

// Motion vectors of one direction into ctx.mv / ctx.pmv (ISO/IEC 13818-2 6.2.5.2, 7.6.3).
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
bool Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::ReadVectors(int s,
                                                                         Mpeg2MotionType motionType,
                                                                         bool concealment) {
    Mpeg2BitReader& bs = m_bs;
    Mpeg2ThreadContext& ctx = m_ctx;
    const int rx = m_dec.m_picture.rsize[s][0], ry = m_dec.m_picture.rsize[s][1];
    const Mpeg2VlcTable& mc = m_dec.m_vlc.motionCode;
    if (kMpeg1) {
        int x, y;
        if (!DecodeMotionComponent(bs, mc, rx, ctx.pmv[0][s][0], x) ||
            !DecodeMotionComponent(bs, mc, ry, ctx.pmv[0][s][1], y))
            return false;
        ctx.mv[0][s][0] = ctx.pmv[0][s][0] = ctx.pmv[1][s][0] = x;
        ctx.mv[0][s][1] = ctx.pmv[0][s][1] = ctx.pmv[1][s][1] = y;
        return true;
    }
    bool fieldFormat = kField || motionType == kMotionField || motionType == kMotionDualPrime;
    if (!kField && concealment) fieldFormat = false;
    const bool dual = motionType == kMotionDualPrime && !concealment;
    const bool two = !concealment && ((!kField && motionType == kMotionField) ||
                                      (kField && motionType == kMotion16x8));
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
}

// The prediction of a non-intra macroblock into the picture.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
bool Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::Predict(Mpeg2Macroblock& mb) {
    const int t = mb.type;
    if (t & (kMbForward | kMbBackward)) {
        if ((t & kMbForward) && !MotionCompensate(0, false, mb.dst, mb.x, mb.y, mb.motionType))
            return false;
        return !(t & kMbBackward) ||
               MotionCompensate(1, (t & kMbForward) != 0, mb.dst, mb.x, mb.y, mb.motionType);
    }
    // P picture, no motion: zero vector from the same-parity field or the frame.
    std::memset(m_ctx.pmv, 0, sizeof(m_ctx.pmv));
    mb.motionType = kField ? kMotionField : kMotionFrame;
    m_ctx.fieldSelect[0][0] = m_bottom;
    return PredictPart(m_ref[0], kField ? m_bottom : -1, mb.dst, m_stepY, m_stepC, mb.x, mb.y, 0, 0,
                       16, 16, false);
}

// coded_block_pattern (two more bits for 4:2:2), -1 for an invalid code.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
int Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::ReadCodedBlockPattern() {
    const Mpeg2VlcEntry& e = m_dec.m_vlc.codedBlockPattern.Lookup(m_bs.Peek32());
    if (!e.len) return -1;
    m_bs.Skip(e.len);
    if (kChroma == 2) return (e.value << 2) | int(m_bs.Get(2));
    return e.value;
}

// The blocks that the pattern selects, from its most significant bit.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
bool Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::DecodeCodedBlocks(
    const Mpeg2Macroblock& mb, int cbp) {
    Mpeg2BitCache cache(m_bs);
    bool ok = true;
    for (int b = 0; b < kBlocks && ok; ++b)
        if ((cbp >> (kBlocks - 1 - b)) & 1)
            ok = DecodeInterBlock<kMpeg1>(m_ctx, cache, m_kernels, m_dec.m_vlc, b >= 4,
                                          mb.blockDst[b], mb.blockStep[b]);
    cache.Store(m_bs);
    return ok;
}

// Skipped macroblock at (row, col): a zero-vector copy in a P picture, the previous
// macroblock's prediction again in a B picture.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
bool Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::SkipMacroblock(int row, int col) {
    Mpeg2ThreadContext& ctx = m_ctx;
    ctx.dcPred[0] = ctx.dcPred[1] = ctx.dcPred[2] = m_dec.m_picture.dcReset;
    uint8_t* d[3];
    Destination(row, col, d);
    const int x = col * 16, y = row * 16;
    if (m_codingType == P_PICTURE) {
        std::memset(ctx.pmv, 0, sizeof(ctx.pmv));
        return PredictPart(m_ref[0], kField ? m_bottom : -1, d, m_stepY, m_stepC, x, y, 0, 0, 16,
                           16, false);
    }
    const int t = ctx.prevMbType;
    if (t & kMbIntra || !(t & (kMbForward | kMbBackward))) return false;
    // A skipped macroblock of a field picture predicts from the field of its own parity,
    // whatever field the macroblock before it chose.
    for (int s = 0; s < 2; ++s) {
        ctx.mv[0][s][0] = ctx.pmv[0][s][0];
        ctx.mv[0][s][1] = ctx.pmv[0][s][1];
        ctx.fieldSelect[0][s] = m_bottom;
    }
    const Mpeg2MotionType motionType = kField ? kMotionField : kMotionFrame;
    if ((t & kMbForward) && !MotionCompensate(0, false, d, x, y, motionType)) return false;
    return !(t & kMbBackward) || MotionCompensate(1, (t & kMbForward) != 0, d, x, y, motionType);
}

// Destination pointers of macroblock (row, col) in the current picture.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
void Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::Destination(int row, int col,
                                                                         uint8_t** d) const {
    uint8_t* const* base = m_cur;
    if (row >= m_stripRow) {
        base = m_strip;
        row -= m_stripRow;
    }
    const ptrdiff_t yOff =
        ptrdiff_t(m_bottom) * m_dpitch + ptrdiff_t(row) * 16 * m_stepY + ptrdiff_t(col) * 16;
    const ptrdiff_t cOff = ptrdiff_t(m_bottom) * m_dcpitch +
                           ptrdiff_t(row) * kChromaMbHeight * m_stepC + ptrdiff_t(col) * 8;
    d[0] = base[0] + yOff;
    d[1] = base[1] + cOff;
    d[2] = base[2] + cOff;
}

// Reference planes for direction s and field select sel: the second field of a P picture may
// predict from the first field of its own frame.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
const uint8_t* const* Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::ReferencePlanes(
    int s, int sel) const {
    if (kField && m_codingType == P_PICTURE && m_secondField && sel != m_bottom)
        return const_cast<const uint8_t* const*>(m_cur);
    return m_ref[s];
}

// Prediction of one part of the macroblock in luma coordinates (x, y) of the reference's row
// grid; w x h luma samples; the chroma part follows from the chroma format. sel -1 is frame
// prediction, else the reference field.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
bool Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::PredictPart(
    const uint8_t* const* planes, int sel, uint8_t* const* dst, int dstStepY, int dstStepC, int x,
    int y, int mvx, int mvy, int w, int h, bool average) const {
    const int rs = sel < 0 ? m_pitch : 2 * m_pitch;
    const int rsc = sel < 0 ? m_cpitch : 2 * m_cpitch;
    const int off = sel > 0 ? m_pitch : 0;
    const int offc = sel > 0 ? m_cpitch : 0;
    if (!PredictBlock(m_kernels, planes[0], m_planeSize[0], off, rs, dst[0], dstStepY, x, y, mvx,
                      mvy, w, h, average, m_prefetched[0]))
        return false;
    const int cx = x >> 1, cy = kChroma == 1 ? y >> 1 : y;
    const int cmvx = mvx / 2, cmvy = kChroma == 1 ? mvy / 2 : mvy;
    const int cw = w >> 1, ch = kChroma == 1 ? h >> 1 : h;
    return PredictBlock(m_kernels, planes[1], m_planeSize[1], offc, rsc, dst[1], dstStepC, cx, cy,
                        cmvx, cmvy, cw, ch, average, m_prefetched[1]) &&
           PredictBlock(m_kernels, planes[2], m_planeSize[2], offc, rsc, dst[2], dstStepC, cx, cy,
                        cmvx, cmvy, cw, ch, average, m_prefetched[2]);
}

// Motion compensation of the current macroblock for direction s: frame, field, 16x8 or dual
// prime, averaged into what dst holds when average is set.
template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
bool Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>::MotionCompensate(
    int s, bool average, uint8_t* const* dst, int mbX, int mbY, Mpeg2MotionType motionType) const {
    const Mpeg2ThreadContext& ctx = m_ctx;
    int mvx = ctx.mv[0][s][0], mvy = ctx.mv[0][s][1];
    if (kMpeg1 && m_fullPel[s]) {
        mvx *= 2;
        mvy *= 2;
    }
    const int pitch = m_dpitch, cpitch = m_dcpitch;  // field lines of the frame written
    if (!kField) {
        if (motionType == kMotionFrame)
            return PredictPart(m_ref[s], -1, dst, m_stepY, m_stepC, mbX, mbY, mvx, mvy, 16, 16,
                               average);
        uint8_t* half[3] = {dst[0] + pitch, dst[1] + cpitch, dst[2] + cpitch};
        if (motionType == kMotionField) {
            return PredictPart(m_ref[s], ctx.fieldSelect[0][s], dst, 2 * pitch, 2 * cpitch, mbX,
                               mbY >> 1, mvx, ctx.mv[0][s][1], 16, 8, average) &&
                   PredictPart(m_ref[s], ctx.fieldSelect[1][s], half, 2 * pitch, 2 * cpitch, mbX,
                               mbY >> 1, ctx.mv[1][s][0], ctx.mv[1][s][1], 16, 8, average);
        }
        // Dual prime: same-parity predictions, then the opposite-parity ones averaged in.
        const int* dm = ctx.dmv;
        const int m0 = m_dec.m_picture.coding.topFieldFirst ? 1 : 3,
                  m1 = m_dec.m_picture.coding.topFieldFirst ? 3 : 1;
        const int vx = mvx, vy = mvy;
        const int ox0 = ((vx * m0 + (vx > 0)) >> 1) + dm[0];
        const int oy0 = ((vy * m0 + (vy > 0)) >> 1) + dm[1] - 1;
        const int ox1 = ((vx * m1 + (vx > 0)) >> 1) + dm[0];
        const int oy1 = ((vy * m1 + (vy > 0)) >> 1) + dm[1] + 1;
        return PredictPart(m_ref[0], 0, dst, 2 * pitch, 2 * cpitch, mbX, mbY >> 1, vx, vy, 16, 8,
                           false) &&
               PredictPart(m_ref[0], 1, half, 2 * pitch, 2 * cpitch, mbX, mbY >> 1, vx, vy, 16, 8,
                           false) &&
               PredictPart(m_ref[0], 1, dst, 2 * pitch, 2 * cpitch, mbX, mbY >> 1, ox0, oy0, 16, 8,
                           true) &&
               PredictPart(m_ref[0], 0, half, 2 * pitch, 2 * cpitch, mbX, mbY >> 1, ox1, oy1, 16, 8,
                           true);
    }
    if (motionType == kMotionField) {
        const int sel = ctx.fieldSelect[0][s];
        return PredictPart(ReferencePlanes(s, sel), sel, dst, m_stepY, m_stepC, mbX, mbY, mvx, mvy,
                           16, 16, average);
    }
    if (motionType == kMotion16x8) {
        const int chromaHalf = kChroma == 1 ? 4 : 8;
        uint8_t* lower[3] = {dst[0] + 8 * m_stepY, dst[1] + chromaHalf * m_stepC,
                             dst[2] + chromaHalf * m_stepC};
        const int sel0 = ctx.fieldSelect[0][s], sel1 = ctx.fieldSelect[1][s];
        return PredictPart(ReferencePlanes(s, sel0), sel0, dst, m_stepY, m_stepC, mbX, mbY, mvx,
                           mvy, 16, 8, average) &&
               PredictPart(ReferencePlanes(s, sel1), sel1, lower, m_stepY, m_stepC, mbX, mbY + 8,
                           ctx.mv[1][s][0], ctx.mv[1][s][1], 16, 8, average);
    }
    const int opp = 1 - m_bottom;
    const int ox = ((mvx + (mvx > 0)) >> 1) + ctx.dmv[0];
    const int oy = ((mvy + (mvy > 0)) >> 1) + ctx.dmv[1] + (m_bottom ? 1 : -1);
    return PredictPart(ReferencePlanes(0, m_bottom), m_bottom, dst, m_stepY, m_stepC, mbX, mbY, mvx,
                       mvy, 16, 16, false) &&
           PredictPart(ReferencePlanes(0, opp), opp, dst, m_stepY, m_stepC, mbX, mbY, ox, oy, 16,
                       16, true);
}

}  // namespace

template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
Status MPEG2VideoDecoderBase::DecodeSliceBody(Mpeg2ThreadContext& ctx) {
    return Mpeg2SliceDecoder<kChroma, kField, kIntraOnly, kMpeg1>(*this, ctx).Run();
}

}  // namespace UMC
