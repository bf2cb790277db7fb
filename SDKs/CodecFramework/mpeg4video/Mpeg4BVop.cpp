#include <algorithm>
#include <vector>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"

namespace UMC::mpeg4 {

namespace {

enum BType { kDirect, kInterpolate, kBackward, kForward };

struct BContext {
    MPEG4DecoderState& s;
    const Mpeg4MacroblockInfo* colocated;  // the newer reference's records
    int32_t trb, trd;
    // The same distances in frame periods (1 <= frames before < frames between), for the field
    // distances of interlaced direct mode.
    int32_t framesBefore, framesBetween;
    // Vector predictors per field (frame vectors set both; vertical in frame units), reset per
    // row and packet.
    MotionVector forward[2], backward[2];
};

// mb_type: 1 direct, 01 interpolate, 001 backward, 0001 forward.
bool ReadBType(Mpeg4BitReader& r, int32_t& type) {
    const uint32_t v = r.Show(4);
    if (v == 0) return false;
    int32_t length = 1;
    while (!(v & (8u >> (length - 1)))) ++length;
    r.Skip(length);
    type = length - 1;
    return true;
}

int32_t ReadDbquant(Mpeg4BitReader& r) {
    if (!r.Get1()) return 0;
    return r.Get1() ? 2 : -2;
}

// Forward and backward vectors of the four blocks in direct mode from the co-located vectors.
void DirectVectors(const BContext& c, const Mpeg4MacroblockInfo& co, MotionVector delta,
                   MotionVector forward[4], MotionVector backward[4]) {
    // 64-bit products: the distances are VOP time ticks and may be large.
    const int64_t trb = c.trb, trd = c.trd;
    for (int b = 0; b < 4; ++b) {
        const int64_t mx = co.mv[b][0], my = co.mv[b][1];
        forward[b].x = int32_t(trb * mx / trd) + delta.x;
        forward[b].y = int32_t(trb * my / trd) + delta.y;
        backward[b].x = delta.x == 0 ? int32_t((trb - trd) * mx / trd) : forward[b].x - int32_t(mx);
        backward[b].y = delta.y == 0 ? int32_t((trb - trd) * my / trd) : forward[b].y - int32_t(my);
    }
}

// Interlaced direct mode, when the co-located macroblock was field-predicted: per field of this
// macroblock the co-located field vector scaled by field distances. A field's distance to the
// older reference's field it predicted from is two per frame period, less or more one when the
// two fields are of different parity (the first field of a frame is half a frame period earlier).
// Forward predictions use the co-located fields' references, backward ones the newer
// reference's field of the same parity.
void FieldDirectVectors(const BContext& c, const Mpeg4FieldVectors& co, int32_t coSelect,
                        MotionVector delta, MotionVector forward[2], MotionVector backward[2],
                        int32_t forwardSelect[2]) {
    for (int f = 0; f < 2; ++f) {
        const int32_t select = (coSelect >> (1 + f)) & 1;
        forwardSelect[f] = select;
        const int32_t parity = c.s.vop.topFieldFirst ? f - select : select - f;
        const int64_t trb = 2 * int64_t(c.framesBefore) + parity;
        const int64_t trd = 2 * int64_t(c.framesBetween) + parity;
        const int64_t mx = co.mv[f][0], my = co.mv[f][1];
        forward[f].x = int32_t(trb * mx / trd) + delta.x;
        forward[f].y = int32_t(trb * my / trd) + delta.y;
        backward[f].x = delta.x == 0 ? int32_t((trb - trd) * mx / trd) : forward[f].x - int32_t(mx);
        backward[f].y = delta.y == 0 ? int32_t((trb - trd) * my / trd) : forward[f].y - int32_t(my);
    }
}

void ResetPredictors(BContext& c) {
    c.forward[0] = c.forward[1] = c.backward[0] = c.backward[1] = {0, 0};
}

// The vectors of one direction: one frame vector (all four blocks), or two field vectors (in
// vec[0] and vec[1], vertical in field lines). Updates the direction's predictors.
bool ReadBVectors(Mpeg4BitReader& r, int32_t fcode, bool field, MotionVector predictor[2],
                  MotionVector vec[4]) {
    if (!field) {
        if (!ReadVector(r, fcode, predictor[0], vec[0])) return false;
        vec[1] = vec[2] = vec[3] = predictor[0] = predictor[1] = vec[0];
        return true;
    }
    for (int f = 0; f < 2; ++f) {
        if (!ReadVector(r, fcode, {predictor[f].x, predictor[f].y / 2}, vec[f])) return false;
        predictor[f] = {vec[f].x, vec[f].y * 2};
    }
    return true;
}

void SkipMacroblock(BContext& c, int32_t index) {
    Mpeg4VopState& d = c.s.dec;
    CopyMacroblock(c.s, *d.forward, index % d.mbWidth, index / d.mbWidth);
    d.quant[index] = uint8_t(d.runningQuant);
}

bool DecodeMacroblock(BContext& c, int32_t index) {
    MPEG4DecoderState& s = c.s;
    Mpeg4BitReader& r = s.bits;
    Mpeg4VopState& d = s.dec;
    const int32_t column = index % d.mbWidth, row = index / d.mbWidth;
    const Mpeg4MacroblockInfo& co = c.colocated[index];
    if (co.notCoded) {  // skipped with its co-located macroblock: no bits at all
        SkipMacroblock(c, index);
        return true;
    }
    if (r.PastEnd()) return false;
    int32_t type = kDirect, cbp = 0;
    const bool deltaCoded = !r.Get1();  // modb 1: direct with a zero delta
    if (deltaCoded) {
        const bool withCbp = !r.Get1();
        if (!ReadBType(r, type)) return false;
        if (withCbp) cbp = int32_t(r.Get(6));
    }
    if (type != kDirect && cbp) d.runningQuant = AddQuant(s, d.runningQuant, ReadDbquant(r));
    bool fieldDct = false, fieldPrediction = false;
    int32_t forwardSelect[2] = {0, 0}, backwardSelect[2] = {0, 0};
    if (s.vol.interlaced) {
        fieldDct = cbp && r.Get1();
        if (type != kDirect) {
            fieldPrediction = r.Get1() != 0;
            if (fieldPrediction && type != kBackward) {
                forwardSelect[0] = int32_t(r.Get1());
                forwardSelect[1] = int32_t(r.Get1());
            }
            if (fieldPrediction && type != kForward) {
                backwardSelect[0] = int32_t(r.Get1());
                backwardSelect[1] = int32_t(r.Get1());
            }
        }
    }
    // The residual, added to the prediction made by the branch that returns it.
    const auto texture = [&] {
        if (!DecodeInterTexture(s, column, row, cbp, d.runningQuant, fieldDct, false)) return false;
        d.quant[index] = uint8_t(d.runningQuant);
        return true;
    };
    MotionVector forward[4] = {}, backward[4] = {};
    if (type == kForward || type == kInterpolate)
        if (!ReadBVectors(r, s.vop.fcodeForward, fieldPrediction, c.forward, forward)) return false;
    if (type == kBackward || type == kInterpolate)
        if (!ReadBVectors(r, s.vop.fcodeBackward, fieldPrediction, c.backward, backward))
            return false;
    if (fieldPrediction) {
        if (type != kBackward)
            PredictFieldMacroblock(s, *d.forward, column, row, forward, forwardSelect, 0,
                                   Blend::Replace);
        if (type != kForward)
            PredictFieldMacroblock(s, *d.backward, column, row, backward, backwardSelect, 0,
                                   type == kBackward ? Blend::Replace : Blend::Average);
        return texture();
    }
    if (type == kDirect) {
        MotionVector delta{};
        if (deltaCoded && !ReadVector(r, 1, MotionVector{0, 0}, delta)) return false;
        if ((co.field & 1) && d.fieldVectors) {
            static constexpr int32_t kSameParity[2] = {0, 1};
            FieldDirectVectors(c, d.fieldVectors[index], co.field, delta, forward, backward,
                               forwardSelect);
            PredictFieldMacroblock(s, *d.forward, column, row, forward, forwardSelect, 0,
                                   Blend::Replace);
            PredictFieldMacroblock(s, *d.backward, column, row, backward, kSameParity, 0,
                                   Blend::Average);
            return texture();
        }
        DirectVectors(c, co, delta, forward, backward);
    }
    const bool four = type == kDirect;
    if (type != kBackward)
        PredictMacroblock(s, *d.forward, column, row, forward, four, 0, Blend::Replace);
    if (type != kForward)
        PredictMacroblock(s, *d.backward, column, row, backward, four, 0,
                          type == kBackward ? Blend::Replace : Blend::Average);
    return texture();
}

void SkipTrailingStuffing(Mpeg4BitReader& r) {
    while (!r.PastEnd() && r.Show(9) == 1) r.Skip(9);
}

int32_t DecodeMacroblocks(BContext& c) {
    MPEG4DecoderState& s = c.s;
    Mpeg4VopState& d = s.dec;
    int32_t index = 0;
    while (index < d.mbCount) {
        bool newPacket = false;
        if (index > 0 && !s.vol.resyncMarkerDisable && VideoPacketAhead(s)) {
            int32_t first = 0;
            newPacket = true;
            if (ReadVideoPacketHeader(s, &first) != PARSE_OK || first < index) {
                index = RecoverFromError(s, index);
            } else {
                // Macroblocks skipped with their co-located ones take no bits, so a packet may
                // start after them; any other gap is lost data.
                for (; index < first && c.colocated[index].notCoded; ++index)
                    SkipMacroblock(c, index);
                if (first > index) {
                    d.error = kMpeg4VopConcealed;
                    ConcealMacroblocks(s, index, first);
                    index = first;
                }
            }
        }
        if (index >= d.mbCount) break;
        if (newPacket || index % d.mbWidth == 0) ResetPredictors(c);
        PrefetchAhead(d, index, true);
        if (!DecodeMacroblock(c, index)) {
            index = RecoverFromError(s, index);
            ResetPredictors(c);
            continue;
        }
        ++index;
    }
    SkipTrailingStuffing(s.bits);
    return d.error;
}

}  // namespace

int32_t DecodeBVop(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    if (!d.current || !d.forward || !d.backward || !d.info || d.current == d.forward ||
        d.current == d.backward)
        return PARSE_ERROR;
    d.error = 0;
    d.packetMacroblocks = 0;
    d.packet = 0;
    d.runningQuant = std::clamp(s.vop.quant, 1, 31);
    // Concealment writes the records of the macroblocks it copies: give it the B-VOP's own
    // array so that the newer reference's records stay for the next B-VOP.
    std::vector<Mpeg4MacroblockInfo> local;
    Mpeg4MacroblockInfo* const colocated = d.info;
    if (!d.bInfo) local.resize(size_t(d.mbCount));
    d.info = d.bInfo ? d.bInfo : local.data();
    // Distances outside 0 < trb < trd (no usable references) still give bounded vectors.
    const int32_t trd = std::max(d.trd, 1);
    BContext c{s, colocated, std::clamp(d.trb, 0, trd), trd, 1, 2, {}, {}};
    // One frame period: the VOL's fixed VOP increment, else the shortest distance from a B-VOP
    // to its older reference seen so far (the first B-VOP after a reference is one period on).
    if (s.vol.fixedVopRate && s.vol.fixedVopTimeIncrement > 0)
        d.framePeriod = s.vol.fixedVopTimeIncrement;
    else if (c.trb > 0 && (d.framePeriod <= 0 || c.trb < d.framePeriod))
        d.framePeriod = c.trb;
    // Whole frame periods, rounded; a B-VOP lies at least one after the older reference and one
    // before the newer.
    const int64_t period = std::max(d.framePeriod, 1);
    c.framesBefore = int32_t(std::clamp<int64_t>((c.trb + period / 2) / period, 1, 1 << 20));
    c.framesBetween =
        int32_t(std::clamp<int64_t>((trd + period / 2) / period, c.framesBefore + 1, 1 << 21));
    const int32_t result = DecodeMacroblocks(c);
    d.info = colocated;
    return result;
}

}  // namespace UMC::mpeg4
