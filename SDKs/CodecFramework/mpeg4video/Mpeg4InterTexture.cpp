#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"
#include "primitives/MPEG4Coding.h"
#include "primitives/VideoCoding.h"

namespace UMC::mpeg4 {

namespace {

// The cheapest inverse transform that is exact for the coefficients present: count is the scan
// index of the last coded one.
void InverseTransform(int16_t* block, int count, int scan) {
    if (scan == vcScanAlternateVertical) {
        if (count <= 5 && block[16] == 0 && block[24] == 0)
            vcInverseDct8x8Top2x2(block);
        else if (count <= 9)
            vcInverseDct8x8Top4x4(block);
        else
            vcInverseDct8x8Full(block);
        return;
    }
    if (count <= 4 && block[16] == 0)
        vcInverseDct8x8Top2x2(block);
    else if (count <= 13 && block[32] == 0)
        vcInverseDct8x8Top4x4(block);
    else
        vcInverseDct8x8Full(block);
}

}  // namespace

namespace {

// Stores an 8x8 residual block (DC only when count is 0) at dst, step elements per row.
void StoreResidual(const int16_t* block, int count, int16_t* dst, int step) {
    const int16_t dc = int16_t((block[0] + 4) >> 3);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) dst[r * step + c] = count == 0 ? dc : block[r * 8 + c];
}

}  // namespace

bool DecodeInterTexture(MPEG4DecoderState& s, int32_t column, int32_t row, int32_t cbp,
                        int32_t quant, bool fieldDct, bool reversible, int16_t* lumaResidual) {
    if (cbp == 0) return true;
    uint8_t* dst[6];
    int32_t pitch[6];
    BlockDestinations(*s.dec.current, column, row, fieldDct, dst, pitch);
    int16_t* block = s.dec.block;
    const int scan = s.vop.alternateVerticalScan ? vcScanAlternateVertical : vcScanZigzag;
    for (int b = 0; b < 6; ++b) {
        if (!((cbp >> (5 - b)) & 1)) continue;
        int count = 0;
        const bool ok = WithPosition(s.bits, [&](const uint8_t** p, int* off) {
            if (s.vol.shortVideoHeader) return vcDecodeInterBlockH263(p, off, block, &count, quant);
            return vcDecodeInterCoefsMpeg4(p, off, block, &count, reversible ? 1 : 0, scan,
                                           s.dec.interSpec, quant);
        });
        if (!ok) return false;
        if (lumaResidual && b < 4) {
            // Field DCT blocks hold alternate lines of the macroblock.
            int16_t* at = lumaResidual + (fieldDct ? (b >> 1) * 16 : (b >> 1) * 128) + (b & 1) * 8;
            if (count != 0) InverseTransform(block, count, scan);
            StoreResidual(block, count, at, fieldDct ? 32 : 16);
            continue;
        }
        if (count == 0) {
            vcAddConstant8x8(int16_t((block[0] + 4) >> 3), dst[b], pitch[b]);
            continue;
        }
        InverseTransform(block, count, scan);
        vcAddResidual8x8(block, 16, dst[b], pitch[b]);
    }
    return true;
}

}  // namespace UMC::mpeg4
