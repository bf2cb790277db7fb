// Coefficient decoding of one 8x8 block: the VLC loop with inverse quantisation and the mismatch
// parity in one pass, then the inverse transform chosen by the position of the last coefficient.
// Intra and non-intra blocks share the loop; they differ in the first code, the quantiser formula
// and where the result goes (pixels, or a residual added to the prediction).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoderBase.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2BitReader.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2Tables.h"
#include "primitives/VideoCoding.h"
#include "primitives/VideoCodingKernels.h"

namespace UMC {

// Zeroes a 64-coefficient block with eight 16-byte stores: a plain memset of 128 bytes becomes a
// string instruction whose start-up costs more than the stores.
inline void ClearBlock(int16_t* blk) {
#if defined(__SSE2__) || defined(_M_X64)
    // Written out: the compiler turns a loop of them back into the memset.
    const __m128i zero = _mm_setzero_si128();
    __m128i* p = reinterpret_cast<__m128i*>(blk);
    _mm_storeu_si128(p, zero);
    _mm_storeu_si128(p + 1, zero);
    _mm_storeu_si128(p + 2, zero);
    _mm_storeu_si128(p + 3, zero);
    _mm_storeu_si128(p + 4, zero);
    _mm_storeu_si128(p + 5, zero);
    _mm_storeu_si128(p + 6, zero);
    _mm_storeu_si128(p + 7, zero);
#else
    std::memset(blk, 0, 64 * sizeof(int16_t));
#endif
}

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

// Where the coefficient loop ended: the last scan position written and the parity of the sum of
// the dequantised values (the intra DC included).
struct Mpeg2BlockEnd {
    int last = 0;
    int parity = 0;
};

// Coefficients up to the end-of-block code into blk (all zero on entry, but blk[0] of an intra
// block, which holds the DC). `first` decodes the first code (a non-intra block passes the table
// in which "1s" is run 0, level +-1), `table` the rest. The inverse quantisation works on the
// level's magnitude, so truncation toward zero is a shift, and the sign goes on last; the parity
// of the sum is that of the magnitudes. False on an invalid code or a position past 63.
template <bool kMpeg1, bool kIntra>
inline bool DecodeCoefficients(Mpeg2BitCache& bs, const Mpeg2CoefficientTable& first,
                               const Mpeg2CoefficientTable& table, const uint8_t* scan,
                               const uint8_t* W, int q, int16_t* blk, Mpeg2BlockEnd& end) {
    constexpr int kBits = Mpeg2CoefficientTable::kBits;
    constexpr int kShift = (kMpeg1 ? 3 : 4) + (kIntra ? 0 : 1);
    int i = kIntra ? 0 : -1;
    int parity = kIntra ? blk[0] : 0;
    int last = 0;
    const Mpeg2CoefficientTable::Entry* fast = first.fast;
    for (;;) {
        bs.Refill();
        const uint32_t w = bs.Peek32();
        const Mpeg2CoefficientTable::Entry e = fast[w >> (32 - kBits)];
        fast = table.fast;
        int run, magnitude, negative;
        if (e.run < kCoefficientEnd) [[likely]] {
            run = e.run;
            magnitude = e.level;
            negative = e.negative;
            bs.Skip(e.len);
        } else if (e.run == kCoefficientEnd) {
            bs.Skip(e.len);
            break;
        } else {
            // Escape and the codes longer than the one-lookup width.
            const Mpeg2VlcEntry& g = table.general->Lookup(w);
            if (!g.len) return false;
            int level;
            if (g.value >= 0) {
                run = g.value & 63;
                level = (w << g.len) >> 31 ? -(g.value >> 6) : g.value >> 6;
                bs.Skip(g.len + 1);
            } else if (g.value == kVlcEndOfBlock) {
                bs.Skip(g.len);
                break;
            } else {
                bs.Skip(6);
                if (!ReadEscapedCoefficient<kMpeg1>(bs, run, level)) return false;
            }
            negative = level < 0;
            magnitude = negative ? -level : level;
        }
        i += run + 1;
        if (i > 63) return false;
        const int idx = scan[i];
        int m = ((kIntra ? magnitude : 2 * magnitude + 1) * W[idx] * q) >> kShift;
        // MPEG-1 oddification: an even result moves one step toward zero.
        if (kMpeg1 && m) m = (m - 1) | 1;
        m = std::min(m, 2047 + negative);
        parity ^= m;
        blk[idx] = int16_t(negative ? -m : m);
        last = i;
    }
    end.last = last;
    end.parity = parity & 1;
    return true;
}

// Runs a block decoder on a register-held copy of a macroblock's cache and hands the position
// back whatever the outcome. The copy keeps the coefficient loop's window in registers.
template <typename Decode>
inline bool WithBitCache(Mpeg2BitCache& cache, Decode decode) {
    Mpeg2BitCache bs = cache;
    const bool ok = decode(bs);
    cache = bs;
    return ok;
}

// The kernels of block reconstruction and prediction, taken from their tables once per slice:
// the slice decoder's arguments are valid by construction, so the entries' checks are skipped.
struct Mpeg2Kernels {
    sp::kernels::IdctToPixelsFn* idctToPixels = sp::kernels::inverseDct8x8ToPixels.Current();
    sp::kernels::IdctStoreFn* idctStore = sp::kernels::inverseDct8x8Store.Current();
    sp::kernels::IdctStoreFn* idctSparseStore = sp::kernels::inverseDct8x8SparseStore.Current();
    sp::kernels::IdctStoreFn* idctAdd = sp::kernels::inverseDct8x8Add.Current();
    sp::kernels::IdctStoreFn* idctSparseAdd = sp::kernels::inverseDct8x8SparseAdd.Current();
    sp::kernels::AddConstantFn* addConstant = sp::kernels::addConstant8x8.Current();
    // [average][type] for 16x16, 16x8, 8x8 and 8x4 blocks.
    sp::kernels::PredictFn* predict16x16[2] = {sp::kernels::predict16x16.Current(),
                                               sp::kernels::predictAverage16x16.Current()};
    sp::kernels::PredictFn* predict16x8[2] = {sp::kernels::predict16x8.Current(),
                                              sp::kernels::predictAverage16x8.Current()};
    sp::kernels::PredictFn* predict8x8[2] = {sp::kernels::predict8x8.Current(),
                                             sp::kernels::predictAverage8x8.Current()};
    sp::kernels::PredictFn* predict8x4[2] = {sp::kernels::predict8x4.Current(),
                                             sp::kernels::predictAverage8x4.Current()};
};

// Intra block of colour component cc (0 Y, 1 Cb, 2 Cr): DC differential, AC coefficients (none
// in a D picture), inverse quantisation and mismatch control; written as pixels.
template <bool kMpeg1>
inline bool DecodeIntraBlock(Mpeg2ThreadContext& ctx, Mpeg2BitCache& cache, const Mpeg2Kernels& k,
                             const Mpeg2VlcTables& vlc, const Mpeg2CoefficientTable& table, int cc,
                             int dcShift, bool dcOnly, uint8_t* dst, ptrdiff_t dstStep) {
    return WithBitCache(cache, [&](Mpeg2BitCache& bs) {
        int16_t* blk = ctx.block;
        ClearBlock(blk);
        bs.Refill();  // the DC size and differential take at most 21 bits
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
            if (!DecodeCoefficients<kMpeg1, true>(bs, table, table, ctx.scan,
                                                  ctx.matrix[cc ? 2 : 0], ctx.quantScale, blk, end))
                return false;
            if (!kMpeg1 && !end.parity) blk[63] ^= 1;
        }
        if (bs.BitsLeft() < 0) return false;
        // The flat DC shortcut truncates DC / 8; it is exact only for multiples of 8 (intra DC
        // precision 8 bits). Finer DC values take the transform, which rounds and sees the
        // mismatch-control change of coefficient 63. The first ten scan positions lie in the 4x4
        // corner, so a block ending there holds only the corner and coefficient 63.
        if (end.last == 0 && !(blk[0] & 7))
            k.idctToPixels(blk, dst, dstStep, vcIdctHintDcOnly);
        else if (end.last < 10)
            k.idctSparseStore(blk, dst, dstStep);
        else
            k.idctStore(blk, dst, dstStep);
        return true;
    });
}

// Non-intra block of a luma (chroma false) or chroma component, added to the prediction that
// the picture already holds at dst.
template <bool kMpeg1>
inline bool DecodeInterBlock(Mpeg2ThreadContext& ctx, Mpeg2BitCache& cache, const Mpeg2Kernels& k,
                             const Mpeg2VlcTables& vlc, bool chroma, uint8_t* dst,
                             ptrdiff_t dstStep) {
    return WithBitCache(cache, [&](Mpeg2BitCache& bs) {
        int16_t* blk = ctx.block;
        ClearBlock(blk);
        Mpeg2BlockEnd end;
        if (!DecodeCoefficients<kMpeg1, false>(bs, vlc.coefficientCodes[2], vlc.coefficientCodes[0],
                                               ctx.scan, ctx.matrix[chroma ? 3 : 1], ctx.quantScale,
                                               blk, end))
            return false;
        if (bs.BitsLeft() < 0) return false;
        // DC only: (DC + 4) >> 3 everywhere, except for a tie (DC % 8 == 4), which the
        // mismatch-control change of coefficient 63 breaks differently per pixel.
        if (end.last == 0 && (kMpeg1 || (blk[0] & 7) != 4)) {
            k.addConstant(int16_t((blk[0] + 4) >> 3), dst, dstStep);
            return true;
        }
        if (!kMpeg1 && !end.parity) blk[63] ^= 1;
        if (end.last < 10)  // the corner, and coefficient 63 when the parity set it
            k.idctSparseAdd(blk, dst, dstStep);
        else
            k.idctAdd(blk, dst, dstStep);
        return true;
    });
}

}  // namespace UMC
