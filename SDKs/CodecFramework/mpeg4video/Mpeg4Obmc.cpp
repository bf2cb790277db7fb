// Overlapped block motion compensation of P-VOP luma. Every luma sample of an inter block is a
// weighted sum of the predictions by its own vector and by the vectors of the blocks above or
// below and left or right of it. The block to the right belongs to a macroblock the stream gives
// later, so the macroblock loop predicts only the chroma of an inter macroblock and keeps its luma
// residual; the luma follows in one pass once every vector of the VOP is recorded. Intra and
// field-predicted macroblocks are decoded in place as without it.
#include <algorithm>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "primitives/VideoCoding.h"

namespace UMC::mpeg4 {

namespace {

MotionVector BlockVector(const Mpeg4MacroblockInfo& m, int32_t block) {
    return {m.mv[block][0], m.mv[block][1]};
}

// The vector that block `block` of the macroblock at (column, row) lends a neighbour whose own
// vector is `own`: its own vector outside the VOP and for intra macroblocks, zero for not-coded
// ones.
MotionVector Remote(const Mpeg4VopState& d, int32_t column, int32_t row, int32_t block,
                    MotionVector own) {
    if (column < 0 || column >= d.mbWidth || row < 0) return own;
    const Mpeg4MacroblockInfo& m = d.info[row * d.mbWidth + column];
    if (m.type == MPEG4_MB_INTRA || m.type == MPEG4_MB_INTRA_Q) return own;
    if (m.notCoded) return {0, 0};
    return BlockVector(m, block);
}

}  // namespace

bool OverlappedVop(const MPEG4DecoderState& s) {
    return !s.vol.obmcDisable && !s.vol.shortVideoHeader && s.vop.codingType == MPEG4_VOP_P &&
           s.dec.obmcPending && s.dec.obmcResidual;
}

int16_t* DeferLuma(MPEG4DecoderState& s, int32_t index, int32_t cbp) {
    Mpeg4VopState& d = s.dec;
    if (!(cbp >> 2)) {
        d.obmcPending[index] = kObmcPending;
        return nullptr;
    }
    int16_t* residual = d.obmcResidual + ptrdiff_t(index) * 256;
    std::fill(residual, residual + 256, int16_t(0));
    d.obmcPending[index] = kObmcPendingResidual;
    return residual;
}

void PredictOverlappedLuma(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    const MPEG4FrameBuffer& cur = *d.current;
    for (int32_t index = 0; index < d.mbCount; ++index) {
        const uint8_t pending = d.obmcPending[index];
        if (pending == kObmcDone) continue;
        d.obmcPending[index] = kObmcDone;
        const int32_t column = index % d.mbWidth, row = index / d.mbWidth;
        const Mpeg4MacroblockInfo& m = d.info[index];
        const int16_t* residual = d.obmcResidual + ptrdiff_t(index) * 256;
        for (int32_t b = 0; b < 4; ++b) {
            const int32_t bx = b & 1, by = b >> 1;
            const MotionVector own = BlockVector(m, b);
            // Above, below, left, right. The macroblock below lends nothing: its blocks use
            // their own vector instead.
            const MotionVector v[5] = {
                own,
                by ? BlockVector(m, b - 2) : Remote(d, column, row - 1, b + 2, own),
                by ? own : BlockVector(m, b + 2),
                bx ? BlockVector(m, b - 1) : Remote(d, column - 1, row, b + 1, own),
                bx ? Remote(d, column + 1, row, b - 1, own) : BlockVector(m, b + 1),
            };
            const int32_t x = column * 16 + bx * 8, y = row * 16 + by * 8;
            uint8_t* dst = cur.y + ptrdiff_t(y) * cur.yPitch + x;
            PredictOverlappedBlock(s, *d.forward, x, y, v, s.vop.roundingType, dst, cur.yPitch);
            if (pending == kObmcPendingResidual)
                vcAddResidual8x8(residual + by * 128 + bx * 8, 32, dst, cur.yPitch);
        }
    }
}

}  // namespace UMC::mpeg4
