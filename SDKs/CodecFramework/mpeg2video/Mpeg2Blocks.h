// Coefficient decoding of one 8x8 block: the VLC loop with inverse quantisation and the mismatch
// parity in one pass, then the inverse transform chosen by the position of the last coefficient.
// Intra and non-intra blocks share the loop; they differ in the first code, the quantiser formula
// and where the result goes (pixels, or a residual added to the prediction).
#pragma once

#include <cstdint>
#include <cstring>

#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoderBase.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2BitReader.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2Tables.h"
#include "primitives/VideoCoding.h"

namespace UMC {

inline int Mpeg2Saturate(int v) {
    return v < -2048 ? -2048 : (v > 2047 ? 2047 : v);
}

// Run and level after the 6-bit escape code. MPEG-1 levels take 8 bits, or 16 when the first
// byte is 0x00 or 0x80; MPEG-2 levels take 12 bits. False for a forbidden level. At most 22 bits
// are read, which the cache holds after a refill together with the escape code.
template <bool kMpeg1>
inline bool ReadEscapedCoefficient(Mpeg2BitCache& bs, int& run, int& level) {
    run = int(bs.Get(6));
    if constexpr (kMpeg1) {
        level = int(bs.Get(8));
        if (level == 0)
            level = int(bs.Get(8));
        else if (level == 128)
            level = int(bs.Get(8)) - 256;
        else if (level > 128)
            level -= 256;
        return level != 0;
    } else {
        level = int(bs.Get(12));
        if (level >= 2048) level -= 4096;
        return level != 0 && level != -2048;
    }
}

// Where the coefficient loop ended: the last scan position written and the parity sum of the
// dequantised values (the intra DC included).
struct Mpeg2BlockEnd {
    int last = 0;
    int sum = 0;
};

// Coefficients up to the end-of-block code into blk (all zero on entry, but blk[0] of an intra
// block, which holds the DC). A non-intra block may open with the short code "1s" (run 0, level
// +-1). False on an invalid code or a position past 63.
template <bool kMpeg1, bool kIntra>
inline bool DecodeCoefficients(Mpeg2BitCache& bs, const Mpeg2VlcTable& table, const uint8_t* scan,
                               const uint8_t* W, int q, int16_t* blk, Mpeg2BlockEnd& end) {
    int i = kIntra ? 0 : -1;
    int sum = kIntra ? blk[0] : 0;
    int last = 0;
    bool first = !kIntra;
    for (;;) {
        bs.Refill();
        const uint32_t w = bs.Peek32();
        int run, level;
        if (!kIntra && first && (w >> 31)) {
            run = 0;
            level = (w >> 30) & 1 ? -1 : 1;
            bs.Skip(2);
        } else {
            const Mpeg2VlcEntry& e = table.Lookup(w);
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
                if (!ReadEscapedCoefficient<kMpeg1>(bs, run, level)) return false;
            }
        }
        first = false;
        i += run + 1;
        if (i > 63) return false;
        const int idx = scan[i];
        int v;
        if constexpr (kIntra) {
            v = level * W[idx] * q;
            v = kMpeg1 ? v / 8 : v / 16;
        } else {
            v = (2 * level + (level > 0 ? 1 : -1)) * W[idx] * q;
            v = kMpeg1 ? v / 16 : v / 32;
        }
        // MPEG-1 oddification: an even result moves one step toward zero.
        if (kMpeg1 && v && !(v & 1)) v -= v > 0 ? 1 : -1;
        v = Mpeg2Saturate(v);
        blk[idx] = int16_t(v);
        sum += v;
        last = i;
    }
    end.last = last;
    end.sum = sum;
    return true;
}

// Runs a block decoder on a register-held cache of the context's reader and hands the position
// back whatever the outcome.
template <typename Decode>
inline bool WithBitCache(Mpeg2BitReader& reader, Decode decode) {
    Mpeg2BitCache bs(reader);
    const bool ok = decode(bs);
    bs.Store(reader);
    return ok;
}

// Intra block of colour component cc (0 Y, 1 Cb, 2 Cr): DC differential, AC coefficients (none
// in a D picture), inverse quantisation and mismatch control; written as pixels.
template <bool kMpeg1>
inline bool DecodeIntraBlock(Mpeg2ThreadContext& ctx, const Mpeg2VlcTables& vlc,
                             const Mpeg2VlcTable& table, int cc, int dcShift, bool dcOnly,
                             uint8_t* dst, int dstStep) {
    return WithBitCache(ctx.bs, [&](Mpeg2BitCache& bs) {
        int16_t* blk = ctx.block;
        std::memset(blk, 0, sizeof(ctx.block));
        const Mpeg2VlcEntry& de = vlc.dcSize[cc ? 1 : 0].Lookup(bs.Peek32());
        if (!de.len) return false;
        bs.Skip(de.len);
        const int size = de.value;
        int diff = 0;
        if (size) {
            const int v = int(bs.Get(size));
            diff = v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
        }
        ctx.dcPred[cc] += diff;
        if (kMpeg1)
            blk[0] = int16_t(ctx.dcPred[cc] * 8);
        else
            blk[0] = int16_t(Mpeg2Saturate(ctx.dcPred[cc] << dcShift));
        Mpeg2BlockEnd end;
        if (!dcOnly) {
            if (!DecodeCoefficients<kMpeg1, true>(bs, table, ctx.scan, ctx.matrix[cc ? 2 : 0],
                                                  ctx.quantScale, blk, end))
                return false;
            if (!kMpeg1 && !(end.sum & 1)) blk[63] ^= 1;
        }
        if (bs.BitsLeft() < 0) return false;
        // The flat DC shortcut truncates DC / 8; it is exact only for multiples of 8 (intra DC
        // precision 8 bits). Finer DC values take the transform, which rounds and sees the
        // mismatch-control change of coefficient 63.
        if (end.last == 0 && !(blk[0] & 7))
            vcInverseDct8x8ToPixels(blk, dst, dstStep, vcIdctHintDcOnly);
        else
            vcInverseDct8x8Store(blk, dst, dstStep);
        return true;
    });
}

// Non-intra block of a luma (chroma false) or chroma component, added to the prediction that
// the picture already holds at dst.
template <bool kMpeg1>
inline bool DecodeInterBlock(Mpeg2ThreadContext& ctx, const Mpeg2VlcTable& table, bool chroma,
                             uint8_t* dst, int dstStep) {
    return WithBitCache(ctx.bs, [&](Mpeg2BitCache& bs) {
        int16_t* blk = ctx.block;
        std::memset(blk, 0, sizeof(ctx.block));
        Mpeg2BlockEnd end;
        if (!DecodeCoefficients<kMpeg1, false>(bs, table, ctx.scan, ctx.matrix[chroma ? 3 : 1],
                                               ctx.quantScale, blk, end))
            return false;
        if (bs.BitsLeft() < 0) return false;
        // DC only: (DC + 4) >> 3 everywhere, except for a tie (DC % 8 == 4), which the
        // mismatch-control change of coefficient 63 breaks differently per pixel.
        if (end.last == 0 && (kMpeg1 || (blk[0] & 7) != 4)) {
            vcAddConstant8x8(int16_t((blk[0] + 4) >> 3), dst, dstStep);
            return true;
        }
        if (!kMpeg1 && !(end.sum & 1)) blk[63] ^= 1;
        if (end.last < 10 && !blk[63])
            vcInverseDct8x8Reduced(blk, ctx.residual);
        else
            vcInverseDct8x8(blk, ctx.residual);
        vcAddResidual8x8(ctx.residual, 16, dst, dstStep);
        return true;
    });
}

}  // namespace UMC
