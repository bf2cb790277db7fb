#include <algorithm>
#include <bit>
#include <cstring>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"
#include "primitives/VideoCoding.h"

namespace UMC::mpeg4 {

namespace {

int16_t Clip2048(int32_t v) {
    return int16_t(std::clamp(v, -2048, 2047));
}

// Neighbour of block b: the macroblock (index, or -1 outside the VOP) and its block number.
struct Neighbour {
    int32_t mb;
    int32_t block;
};

// A (left), B (above-left), C (above) of each block.
void Neighbours(const Mpeg4VopState& d, int32_t index, int b, Neighbour& a, Neighbour& bl,
                Neighbour& c) {
    const int32_t column = index % d.mbWidth;
    const int32_t left = column > 0 ? index - 1 : -1;
    const int32_t above = index >= d.mbWidth ? index - d.mbWidth : -1;
    const int32_t aboveLeft = (column > 0 && above >= 0) ? above - 1 : -1;
    switch (b) {
        case 0:
            a = {left, 1};
            bl = {aboveLeft, 3};
            c = {above, 2};
            break;
        case 1:
            a = {index, 0};
            bl = {above, 2};
            c = {above, 3};
            break;
        case 2:
            a = {left, 3};
            bl = {left, 1};
            c = {index, 0};
            break;
        case 3:
            a = {index, 2};
            bl = {index, 0};
            c = {index, 1};
            break;
        default:
            a = {left, b};
            bl = {aboveLeft, b};
            c = {above, b};
            break;
    }
}

bool Available(const Mpeg4VopState& d, const Neighbour& n) {
    if (n.mb < 0) return false;
    const Mpeg4IntraPredictors& p = d.predictors[n.mb];
    return p.packet == d.packet && p.dc[n.block] >= 0;
}

// Whether any coefficient but the DC is non-zero (one pass over the block as 64-bit words).
bool AnyAc(const int16_t* block) {
    uint64_t words[16];
    std::memcpy(words, block, sizeof words);
    constexpr uint64_t kNotDc =
        std::endian::native == std::endian::little ? ~uint64_t(0xFFFF) : uint64_t(0xFFFFFFFFFFFF);
    uint64_t any = words[0] & kNotDc;
    for (int i = 1; i < 16; ++i) any |= words[i];
    return any != 0;
}

void FillBlock(uint8_t* dst, int32_t pitch, int value) {
    const uint8_t v = uint8_t(std::clamp(value, 0, 255));
    for (int y = 0; y < 8; ++y) std::memset(dst + ptrdiff_t(y) * pitch, v, 8);
}

int32_t DecodeShortHeaderTexture(MPEG4DecoderState& s, const IntraMacroblock& mb,
                                 uint8_t* const dst[6], const int32_t pitch[6]) {
    int16_t* block = s.dec.block;
    for (int b = 0; b < 6; ++b) {
        int count = 0;
        const int coded = (mb.cbp >> (5 - b)) & 1;
        if (!WithPosition(s.bits, [&](const uint8_t** p, int* off) {
                return vcDecodeIntraBlockH263(p, off, block, &count, coded, mb.quant);
            }))
            return PARSE_ERROR;
        if (count == 0)
            FillBlock(dst[b], pitch[b], (block[0] + 4) >> 3);
        else
            vcInverseDct8x8Store(block, dst[b], pitch[b]);
    }
    return PARSE_OK;
}

}  // namespace

void BlockDestinations(const MPEG4FrameBuffer& f, int32_t column, int32_t row, bool fieldDct,
                       uint8_t* dst[6], int32_t pitch[6]) {
    uint8_t* y = f.y + ptrdiff_t(row) * 16 * f.yPitch + column * 16;
    const int32_t step = fieldDct ? 2 * f.yPitch : f.yPitch;
    const ptrdiff_t lower = fieldDct ? f.yPitch : ptrdiff_t(8) * f.yPitch;
    dst[0] = y;
    dst[1] = y + 8;
    dst[2] = y + lower;
    dst[3] = y + lower + 8;
    dst[4] = f.u + ptrdiff_t(row) * 8 * f.uvPitch + column * 8;
    dst[5] = f.v + ptrdiff_t(row) * 8 * f.uvPitch + column * 8;
    for (int b = 0; b < 4; ++b) pitch[b] = step;
    pitch[4] = pitch[5] = f.uvPitch;
}

void ResetIntraPredictors(MPEG4DecoderState& s) {
    for (int32_t i = 0; i < s.dec.mbCount; ++i) ClearIntraPredictors(s, i);
    s.dec.packet = 0;
}

void ClearIntraPredictors(MPEG4DecoderState& s, int32_t index) {
    Mpeg4IntraPredictors& p = s.dec.predictors[index];
    for (int b = 0; b < 6; ++b) p.dc[b] = -1;
    p.packet = -1;
}

int32_t DecodeIntraMacroblockTexture(MPEG4DecoderState& s, const IntraMacroblock& mb,
                                     uint8_t* const dst[6], const int32_t pitch[6],
                                     IntraTexture texture) {
    if (texture == IntraTexture::ShortHeader) return DecodeShortHeaderTexture(s, mb, dst, pitch);
    Mpeg4VopState& d = s.dec;
    Mpeg4IntraPredictors& cur = d.predictors[mb.index];
    for (int b = 0; b < 6; ++b) cur.dc[b] = -1;
    cur.packet = d.packet;
    cur.quant = int16_t(mb.quant);
    const bool reversible = texture == IntraTexture::Partitioned && s.vol.reversibleVlc;
    int16_t* block = d.block;
    for (int b = 0; b < 6; ++b) {
        const int chroma = b >= 4;
        Neighbour na, nb, nc;
        Neighbours(d, mb.index, b, na, nb, nc);
        const bool haveA = Available(d, na), haveB = Available(d, nb), haveC = Available(d, nc);
        const int32_t dcA = haveA ? d.predictors[na.mb].dc[na.block] : 1024;
        const int32_t dcB = haveB ? d.predictors[nb.mb].dc[nb.block] : 1024;
        const int32_t dcC = haveC ? d.predictors[nc.mb].dc[nc.block] : 1024;
        const bool fromAbove = std::abs(dcA - dcB) < std::abs(dcB - dcC);
        int scan = vcScanZigzag;
        if (s.vop.alternateVerticalScan)
            scan = vcScanAlternateVertical;
        else if (mb.acPred)
            scan = fromAbove ? vcScanAlternateHorizontal : vcScanAlternateVertical;

        block[0] = 0;
        if (mb.useDcVlc) {
            if (texture == IntraTexture::Partitioned) {
                block[0] = mb.dc[b];
            } else if (!WithPosition(s.bits, [&](const uint8_t** p, int* off) {
                           return vcDecodeIntraDcMpeg4(p, off, block, chroma);
                       })) {
                return PARSE_ERROR;
            }
        }
        if ((mb.cbp >> (5 - b)) & 1) {
            int last = -1;
            if (!WithPosition(s.bits, [&](const uint8_t** p, int* off) {
                    return vcDecodeIntraCoefsMpeg4(p, off, block, &last, reversible ? 1 : 0,
                                                   mb.useDcVlc, scan);
                }))
                return PARSE_ERROR;
        } else {
            const int16_t dc = block[0];
            std::memset(block, 0, 64 * sizeof(int16_t));
            block[0] = dc;
        }

        const int32_t scaler = vcDcScaler(mb.quant, chroma);
        block[0] = Clip2048(block[0] + DivideByReciprocal(fromAbove ? dcC : dcA, scaler));

        const Neighbour& from = fromAbove ? nc : na;
        if (mb.acPred && (fromAbove ? haveC : haveA)) {
            const Mpeg4IntraPredictors& n = d.predictors[from.mb];
            const bool scale = from.mb != mb.index && n.quant != mb.quant;
            const int16_t* values = fromAbove ? n.row[from.block] : n.column[from.block];
            for (int k = 1; k < 8; ++k) {
                int32_t v = values[k - 1];
                if (scale) v = DivideByReciprocal(v * n.quant, mb.quant);
                int16_t& target = block[fromAbove ? k : 8 * k];
                target = Clip2048(target + v);
            }
        }
        for (int k = 1; k < 8; ++k) {
            cur.row[b][k - 1] = block[k];
            cur.column[b][k - 1] = block[8 * k];
        }
        const bool anyAc = AnyAc(block);

        if (anyAc || s.vol.quantType) {
            vcDequantIntraMpeg4(block, anyAc ? 63 : 0, d.intraSpec, mb.quant, chroma);
            cur.dc[b] = block[0];
            vcInverseDct8x8Store(block, dst[b], pitch[b]);
        } else {
            const int32_t dc = Clip2048(block[0] * scaler);
            cur.dc[b] = int16_t(dc);
            FillBlock(dst[b], pitch[b], (dc + 4) >> 3);
        }
    }
    return PARSE_OK;
}

}  // namespace UMC::mpeg4
