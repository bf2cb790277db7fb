#include <algorithm>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"
#include "primitives/VideoCoding.h"

namespace UMC::mpeg4 {

int32_t AddQuant(const MPEG4DecoderState& s, int32_t quant, int32_t delta) {
    const int32_t maxQuant = (1 << s.vol.quantPrecision) - 1;
    return std::clamp(quant + delta, 1, maxQuant > 0 ? maxQuant : 31);
}

int32_t ReadDquant(Mpeg4BitReader& r) {
    static constexpr int32_t kSteps[4] = {-1, -2, 1, 2};
    return kSteps[r.Get(2)];
}

bool VideoPacketAhead(const MPEG4DecoderState& s) {
    const Mpeg4BitReader& r = s.bits;
    const int n = 8 - r.bitOffset;
    if (r.Show(n) != (1u << (n - 1)) - 1) return false;
    Mpeg4BitReader ahead = r;
    ahead.Skip(n);
    const int bits = ResyncMarkerBits(s);
    return ahead.BytesLeft() * 8 >= size_t(bits) && ahead.Show(bits) == 1;
}

int32_t ReadVideoPacketHeader(MPEG4DecoderState& s, int32_t* first) {
    Mpeg4BitReader& r = s.bits;
    r.Skip(8 - r.bitOffset);  // stuffing: a zero bit, then ones up to the byte boundary
    r.Skip(ResyncMarkerBits(s));
    const int32_t number = int32_t(r.Get(s.dec.macroblockNumberBits));
    if (number >= s.dec.mbCount) return PARSE_ERROR;
    const int32_t quant = int32_t(r.Get(s.vol.quantPrecision));
    if (r.Get1()) {  // header extension: the VOP fields again
        while (r.Get1() == 1)
            if (r.PastEnd()) return PARSE_ERROR;
        if (r.Get1() != 1) return PARSE_ERROR;
        r.Skip(s.vol.timeIncrementBits);
        if (r.Get1() != 1) return PARSE_ERROR;
        const int32_t type = int32_t(r.Get(2));
        r.Skip(3);  // intra_dc_vlc_thr
        if (type == MPEG4_VOP_S && s.vol.spriteEnable == MPEG4_SPRITE_GMC &&
            s.vol.spriteWarpingPoints > 0) {
            MPEG4DecoderState copy = s;  // the trajectory repeats the VOP's; only skip it
            if (ParseSpriteTrajectory(copy) != PARSE_OK) return PARSE_ERROR;
            r = copy.bits;
        }
        if (type != MPEG4_VOP_I) r.Skip(3);
        if (type == MPEG4_VOP_B) r.Skip(3);
    }
    if (r.PastEnd() || quant == 0) return PARSE_ERROR;
    *first = number;
    s.dec.runningQuant = quant;
    s.dec.packet += 1;
    s.dec.packetMacroblocks = 0;
    return PARSE_OK;
}

int32_t NextPartitionedPacket(MPEG4DecoderState& s, int32_t index) {
    int32_t first = 0;
    if (!VideoPacketAhead(s) || ReadVideoPacketHeader(s, &first) != PARSE_OK || first < index)
        return RecoverFromError(s, index);
    if (first > index) {
        s.dec.error = kMpeg4VopConcealed;
        ConcealMacroblocks(s, index, first);
    }
    return first;
}

void ConcealMacroblocks(MPEG4DecoderState& s, int32_t from, int32_t to) {
    Mpeg4VopState& d = s.dec;
    to = std::min(to, d.mbCount);
    const MPEG4FrameBuffer* ref = d.forward;
    const MPEG4FrameBuffer& cur = *d.current;
    for (int32_t i = std::max(from, 0); i < to; ++i) {
        const int32_t column = i % d.mbWidth, row = i / d.mbWidth;
        uint8_t* dst[6];
        int32_t pitch[6];
        BlockDestinations(cur, column, row, false, dst, pitch);
        if (ref && ref != d.current) {
            uint8_t* src[6];
            int32_t srcPitch[6];
            BlockDestinations(*ref, column, row, false, src, srcPitch);
            vcCopyBlock16x16(src[0], srcPitch[0], dst[0], pitch[0]);
            vcCopyBlock8x8(src[4], srcPitch[4], dst[4], pitch[4]);
            vcCopyBlock8x8(src[5], srcPitch[5], dst[5], pitch[5]);
        }
        ClearIntraPredictors(s, i);
        d.quant[i] = uint8_t(d.runningQuant);
        d.info[i] = Mpeg4MacroblockInfo{};
        d.info[i].notCoded = 1;
        if (d.obmcPending) d.obmcPending[i] = kObmcDone;
    }
}

namespace {

int32_t RecoverShortHeader(MPEG4DecoderState& s, int32_t from) {
    Mpeg4VopState& d = s.dec;
    const int32_t gobMacroblocks = d.mbWidth * s.sh.rowsPerGob;
    while (s.bits.NextGobStartCode()) {
        Mpeg4BitReader probe = s.bits;
        probe.Skip(17);
        const int32_t gob = int32_t(probe.Get(5));
        if (gob == 0) break;  // the next picture
        const int32_t first = gob * gobMacroblocks;
        if (gob > s.sh.gobsInVop || first <= from || first >= d.mbCount) {
            s.bits.Skip(1);
            continue;
        }
        // The GOB header itself is read by the macroblock loop at that GOB.
        ConcealMacroblocks(s, from, first);
        return first;
    }
    ConcealMacroblocks(s, from, d.mbCount);
    return d.mbCount;
}

}  // namespace

int32_t RecoverFromError(MPEG4DecoderState& s, int32_t from) {
    Mpeg4VopState& d = s.dec;
    d.error = kMpeg4VopConcealed;
    if (s.vol.shortVideoHeader) return RecoverShortHeader(s, from);
    if (!s.vol.resyncMarkerDisable) {
        while (s.bits.NextResyncMarker(ResyncMarkerBits(s))) {
            Mpeg4BitReader before = s.bits;
            int32_t first = 0;
            const int32_t packet = d.packet;
            if (ReadVideoPacketHeader(s, &first) == PARSE_OK && first >= from) {
                ConcealMacroblocks(s, from, first);
                return first;
            }
            d.packet = packet;
            // Search on from the byte after this marker's first byte.
            s.bits = before;
            s.bits.ptr += 2;
            s.bits.bitOffset = 0;
        }
    }
    ConcealMacroblocks(s, from, d.mbCount);
    return d.mbCount;
}

}  // namespace UMC::mpeg4
