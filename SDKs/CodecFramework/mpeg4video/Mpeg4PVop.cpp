#include <algorithm>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"

namespace UMC::mpeg4 {

namespace {

constexpr uint32_t kMotionMarker = 0x1F001;  // 17 bits
constexpr int kMotionMarkerBits = 17;

struct PContext {
    MPEG4DecoderState& s;
    bool gmc;             // GMC S-VOP: mcsel, and not-coded macroblocks warped
    bool obmc;            // inter luma overlapped, predicted after the macroblock loop
    int32_t packetFirst;  // first macroblock of the current video packet (or GOB)
    bool firstInPacket;
};

bool UseDcVlc(const MPEG4DecoderState& s, int32_t runningQuant) {
    return !s.vol.shortVideoHeader && runningQuant < kIntraDcThreshold[s.vop.intraDcVlcThr & 7];
}

void Record(MPEG4DecoderState& s, int32_t index, int32_t type, const MotionVector mv[4],
            bool notCoded) {
    Mpeg4MacroblockInfo& info = s.dec.info[index];
    info = Mpeg4MacroblockInfo{};
    info.type = uint8_t(type);
    info.notCoded = notCoded ? 1 : 0;
    info.coded = 1;
    for (int b = 0; b < 4; ++b) {
        info.mv[b][0] = int16_t(mv[b].x);
        info.mv[b][1] = int16_t(mv[b].y);
    }
    if (type != MPEG4_MB_INTRA && type != MPEG4_MB_INTRA_Q) ClearIntraPredictors(s, index);
}

// A not-coded macroblock: the reference copied (or warped in a GMC S-VOP).
void SkipMacroblock(PContext& c, int32_t index) {
    MPEG4DecoderState& s = c.s;
    const int32_t column = index % s.dec.mbWidth, row = index / s.dec.mbWidth;
    MotionVector mv[4] = {};
    if (c.gmc) {
        PredictGmcMacroblock(s, column, row);
        mv[0] = mv[1] = mv[2] = mv[3] = GmcVector(s, column, row);
    } else {
        CopyMacroblock(s, *s.dec.forward, column, row);
        // Inter with vector 0: overlapped like any other.
        if (c.obmc) DeferLuma(s, index, 0);
    }
    s.dec.quant[index] = uint8_t(s.dec.runningQuant);
    // A warped macroblock is a prediction of its own: B-VOPs do not skip with it.
    Record(s, index, MPEG4_MB_INTER, mv, !c.gmc);
}

// The vectors of an inter macroblock: one, or four with inter4v.
bool ReadVectors(PContext& c, int32_t index, int32_t type, MotionVector mv[4]) {
    MPEG4DecoderState& s = c.s;
    const int32_t fcode = s.vol.shortVideoHeader ? 1 : s.vop.fcodeForward;
    if (type == MPEG4_MB_INTER4V) {
        for (int b = 0; b < 4; ++b)
            if (!ReadVector(s.bits, fcode, PredictVector(s, index, b, c.packetFirst, mv), mv[b]))
                return false;
        return true;
    }
    if (!ReadVector(s.bits, fcode, PredictVector(s, index, 0, c.packetFirst, mv), mv[0]))
        return false;
    mv[1] = mv[2] = mv[3] = mv[0];
    return true;
}

// Prediction of an inter macroblock whose vectors are known (mcsel: the warped reference).
void PredictInter(PContext& c, int32_t index, int32_t type, bool mcsel, MotionVector mv[4]) {
    MPEG4DecoderState& s = c.s;
    const int32_t column = index % s.dec.mbWidth, row = index / s.dec.mbWidth;
    if (mcsel) {
        PredictGmcMacroblock(s, column, row);
        mv[0] = mv[1] = mv[2] = mv[3] = GmcVector(s, column, row);
        return;
    }
    if (c.obmc)
        PredictMacroblockChroma(s, *s.dec.forward, column, row, mv, type == MPEG4_MB_INTER4V,
                                s.vop.roundingType, Blend::Replace);
    else
        PredictMacroblock(s, *s.dec.forward, column, row, mv, type == MPEG4_MB_INTER4V,
                          s.vop.roundingType, Blend::Replace);
}

bool DecodeIntra(PContext& c, int32_t index, int32_t type, int32_t cbp, int32_t quant,
                 bool useDcVlc, bool acPred, bool fieldDct, const int16_t* dc,
                 IntraTexture texture) {
    MPEG4DecoderState& s = c.s;
    IntraMacroblock mb{};
    mb.index = index;
    mb.cbp = cbp;
    mb.quant = quant;
    mb.useDcVlc = useDcVlc;
    mb.acPred = acPred;
    if (dc) std::copy(dc, dc + 6, mb.dc);
    uint8_t* dst[6];
    int32_t pitch[6];
    BlockDestinations(*s.dec.current, index % s.dec.mbWidth, index / s.dec.mbWidth, fieldDct, dst,
                      pitch);
    if (DecodeIntraMacroblockTexture(s, mb, dst, pitch, texture) != PARSE_OK) return false;
    const MotionVector zero[4] = {};
    s.dec.quant[index] = uint8_t(quant);
    Record(s, index, type, zero, false);
    return true;
}

// One macroblock in combined motion-texture mode (and the short header); false on an error.
bool DecodeCombinedMacroblock(PContext& c, int32_t index) {
    MPEG4DecoderState& s = c.s;
    Mpeg4BitReader& r = s.bits;
    Mpeg4VopState& d = s.dec;
    PrefetchAhead(d, index, false);
    int32_t type = 0, cbpc = 0;
    for (;;) {
        if (r.PastEnd()) return false;
        if (r.Get1()) {
            SkipMacroblock(c, index);
            return true;
        }
        if (!ReadMcbpcInter(r, type, cbpc)) return false;
        if (type != kMacroblockStuffing) break;
    }
    if (s.vol.shortVideoHeader && type == MPEG4_MB_INTER4V) return false;
    const bool intra = type == MPEG4_MB_INTRA || type == MPEG4_MB_INTRA_Q;
    const bool mcsel = c.gmc && (type == MPEG4_MB_INTER || type == MPEG4_MB_INTER_Q) && r.Get1();
    const bool acPred = intra && !s.vol.shortVideoHeader && r.Get1();
    int32_t cbpy = 0;
    if (!ReadCbpy(r, cbpy)) return false;
    if (!intra) cbpy = 15 - cbpy;
    const int32_t before = d.runningQuant;
    if (type == MPEG4_MB_INTER_Q || type == MPEG4_MB_INTRA_Q)
        d.runningQuant = AddQuant(s, d.runningQuant, ReadDquant(r));
    const int32_t cbp = (cbpy << 2) | cbpc;
    bool fieldDct = false, fieldPrediction = false;
    int32_t select[2] = {0, 0};
    if (s.vol.interlaced) {
        fieldDct = (intra || cbp) && r.Get1();
        if (!intra && type != MPEG4_MB_INTER4V && !mcsel) {
            fieldPrediction = r.Get1() != 0;
            if (fieldPrediction) {
                select[0] = int32_t(r.Get1());
                select[1] = int32_t(r.Get1());
            }
        }
    }
    if (intra)
        return DecodeIntra(
            c, index, type, cbp, d.runningQuant,
            UseDcVlc(s, c.firstInPacket ? d.runningQuant : before), acPred, fieldDct, nullptr,
            s.vol.shortVideoHeader ? IntraTexture::ShortHeader : IntraTexture::Combined);
    MotionVector mv[4] = {};
    MotionVector field[2] = {};
    const int32_t column = index % d.mbWidth, row = index / d.mbWidth;
    if (fieldPrediction) {
        if (!ReadFieldVectors(s.bits, s.vop.fcodeForward,
                              PredictVector(s, index, 0, c.packetFirst, mv), field))
            return false;
        PredictFieldMacroblock(s, *d.forward, column, row, field, select, s.vop.roundingType,
                               Blend::Replace);
        mv[0] = mv[1] = mv[2] = mv[3] = FieldAverage(field);
    } else {
        if (!mcsel && !ReadVectors(c, index, type, mv)) return false;
        PredictInter(c, index, type, mcsel, mv);
    }
    int16_t* lumaResidual = c.obmc && !fieldPrediction ? DeferLuma(s, index, cbp) : nullptr;
    if (!DecodeInterTexture(s, column, row, cbp, d.runningQuant, fieldDct, false, lumaResidual))
        return false;
    d.quant[index] = uint8_t(d.runningQuant);
    Record(s, index, type, mv, false);
    if (fieldPrediction) {
        d.info[index].field = uint8_t(1 | select[0] << 1 | select[1] << 2);
        if (d.fieldVectors)
            for (int f = 0; f < 2; ++f) {
                d.fieldVectors[index].mv[f][0] = int16_t(field[f].x);
                d.fieldVectors[index].mv[f][1] = int16_t(field[f].y);
            }
    }
    return true;
}

void SkipTrailingStuffing(Mpeg4BitReader& r) {
    while (!r.PastEnd() && r.Show(10) == 1) r.Skip(10);  // not_coded 0 + stuffing mcbpc
}

int32_t DecodeCombined(PContext& c) {
    MPEG4DecoderState& s = c.s;
    Mpeg4VopState& d = s.dec;
    int32_t index = 0;
    c.packetFirst = 0;
    c.firstInPacket = true;
    while (index < d.mbCount) {
        if (index > 0 && !s.vol.resyncMarkerDisable && VideoPacketAhead(s)) {
            int32_t first = 0;
            if (ReadVideoPacketHeader(s, &first) != PARSE_OK || first < index) {
                index = RecoverFromError(s, index);
                c.packetFirst = index;
                c.firstInPacket = true;
                continue;
            }
            if (first > index) {
                d.error = kMpeg4VopConcealed;
                ConcealMacroblocks(s, index, first);
                index = first;
            }
            c.packetFirst = index;
            c.firstInPacket = true;
        }
        if (!DecodeCombinedMacroblock(c, index)) {
            index = RecoverFromError(s, index);
            c.packetFirst = index;
            c.firstInPacket = true;
            continue;
        }
        c.firstInPacket = false;
        ++d.packetMacroblocks;
        ++index;
    }
    SkipTrailingStuffing(s.bits);
    return d.error;
}

// A short-header P picture: macroblocks in GOBs; a GOB header ends vector prediction from above.
int32_t DecodeShortHeader(PContext& c) {
    MPEG4DecoderState& s = c.s;
    Mpeg4VopState& d = s.dec;
    int32_t index = 0;
    c.packetFirst = 0;
    while (index < d.mbCount) {
        bool recovered = false, header = false;
        index = StartGob(s, index, recovered, header);
        if (recovered || header) c.packetFirst = index;
        if (recovered) continue;
        if (index >= d.mbCount) break;
        if (!DecodeCombinedMacroblock(c, index)) {
            index = RecoverFromError(s, index);
            continue;
        }
        ++index;
    }
    SkipTrailingStuffing(s.bits);
    return d.error;
}

// One data-partitioned packet from macroblock `first`: the next macroblock, or -1 after an error.
int32_t DecodePartitionedPacket(PContext& c, int32_t first) {
    MPEG4DecoderState& s = c.s;
    Mpeg4BitReader& r = s.bits;
    Mpeg4VopState& d = s.dec;
    c.packetFirst = first;
    int32_t n = 0;
    // Motion partition: not_coded, mcbpc, mcsel and vectors; the prediction is made at once.
    while (r.Show(kMotionMarkerBits) != kMotionMarker) {
        const int32_t index = first + n;
        if (index >= d.mbCount || r.PastEnd()) return -1;
        Mpeg4PartitionEntry& e = d.partition[index];
        e = Mpeg4PartitionEntry{};
        if (r.Get1()) {
            SkipMacroblock(c, index);
            e.type = kMacroblockStuffing;  // marks not coded for the later partitions
            ++n;
            continue;
        }
        int32_t type = 0, cbpc = 0;
        if (!ReadMcbpcInter(r, type, cbpc)) return -1;
        if (type == kMacroblockStuffing) continue;
        e.type = uint8_t(type);
        e.cbp = uint8_t(cbpc);
        const bool intra = type == MPEG4_MB_INTRA || type == MPEG4_MB_INTRA_Q;
        if (!intra) {
            const bool mcsel = c.gmc && type != MPEG4_MB_INTER4V && r.Get1();
            MotionVector mv[4] = {};
            if (!mcsel && !ReadVectors(c, index, type, mv)) return -1;
            PredictInter(c, index, type, mcsel, mv);
            Record(s, index, type, mv, false);
        } else {
            const MotionVector zero[4] = {};
            Record(s, index, type, zero, false);
        }
        ++n;
    }
    r.Skip(kMotionMarkerBits);
    // Second partition: ac_pred_flag, cbpy, dquant and the intra DC values.
    for (int32_t k = 0; k < n; ++k) {
        const int32_t index = first + k;
        Mpeg4PartitionEntry& e = d.partition[index];
        if (e.type == kMacroblockStuffing) continue;
        const bool intra = e.type == MPEG4_MB_INTRA || e.type == MPEG4_MB_INTRA_Q;
        if (intra) e.acPred = uint8_t(r.Get1());
        int32_t cbpy = 0;
        if (!ReadCbpy(r, cbpy)) return -1;
        if (!intra) cbpy = 15 - cbpy;
        e.cbp = uint8_t(e.cbp | (cbpy << 2));
        const int32_t before = d.runningQuant;
        if (e.type == MPEG4_MB_INTER_Q || e.type == MPEG4_MB_INTRA_Q)
            d.runningQuant = AddQuant(s, d.runningQuant, ReadDquant(r));
        e.quant = uint8_t(d.runningQuant);
        if (intra) {
            e.useDcVlc = UseDcVlc(s, k == 0 ? d.runningQuant : before) ? 1 : 0;
            if (e.useDcVlc)
                for (int b = 0; b < 6; ++b)
                    if (!WithPosition(r, [&](const uint8_t** p, int* off) {
                            return vcDecodeIntraDcMpeg4(p, off, &e.dc[b], b >= 4);
                        }))
                        return -1;
        }
    }
    if (r.PastEnd()) return -1;
    // Texture.
    for (int32_t k = 0; k < n; ++k) {
        const int32_t index = first + k;
        const Mpeg4PartitionEntry& e = d.partition[index];
        if (e.type == kMacroblockStuffing) continue;
        if (e.type == MPEG4_MB_INTRA || e.type == MPEG4_MB_INTRA_Q) {
            if (!DecodeIntra(c, index, e.type, e.cbp, e.quant, e.useDcVlc, e.acPred, false, e.dc,
                             IntraTexture::Partitioned))
                return -1;
        } else {
            int16_t* lumaResidual = c.obmc ? DeferLuma(s, index, e.cbp) : nullptr;
            if (!DecodeInterTexture(s, index % d.mbWidth, index / d.mbWidth, e.cbp, e.quant, false,
                                    s.vol.reversibleVlc != 0, lumaResidual))
                return -1;
            d.quant[index] = e.quant;
        }
    }
    d.packetMacroblocks = n;
    return first + n;
}

int32_t DecodePartitioned(PContext& c) {
    MPEG4DecoderState& s = c.s;
    Mpeg4VopState& d = s.dec;
    int32_t index = 0;
    while (index < d.mbCount) {
        const int32_t next = DecodePartitionedPacket(c, index);
        if (next < 0) {
            // The motion partition may have predicted macroblocks already: conceal the packet.
            index = RecoverFromError(s, index);
            continue;
        }
        index = next < d.mbCount ? NextPartitionedPacket(s, next) : next;
    }
    return d.error;
}

}  // namespace

int32_t DecodePredictedVop(MPEG4DecoderState& s, bool gmc) {
    Mpeg4VopState& d = s.dec;
    if (!d.current || !d.forward || !d.info || !d.predictors || d.forward == d.current)
        return PARSE_ERROR;
    d.error = 0;
    d.packetMacroblocks = 0;
    d.runningQuant = std::clamp(s.vol.shortVideoHeader ? s.sh.quant : s.vop.quant, 1, 31);
    ResetIntraPredictors(s);
    PContext c{s, gmc, !gmc && OverlappedVop(s), 0, true};
    if (c.obmc) std::fill(d.obmcPending, d.obmcPending + d.mbCount, kObmcDone);
    int32_t result = 0;
    if (s.vol.shortVideoHeader)
        result = DecodeShortHeader(c);
    else if (s.vol.dataPartitioned)
        result = DecodePartitioned(c);
    else
        result = DecodeCombined(c);
    if (c.obmc) PredictOverlappedLuma(s);
    return result;
}

int32_t DecodePVop(MPEG4DecoderState& s) {
    return DecodePredictedVop(s, false);
}

}  // namespace UMC::mpeg4
