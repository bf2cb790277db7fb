#include <algorithm>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"

namespace UMC::mpeg4 {

namespace {

constexpr uint32_t kDcMarker = 0x6B001;  // 19 bits
constexpr int kDcMarkerBits = 19;

// mcbpc of an I-VOP, stuffing skipped: the type (MPEG4_MB_INTRA or _Q) and cbpc, or false.
bool ReadMcbpcIntra(Mpeg4BitReader& r, int32_t& type, int32_t& cbpc) {
    for (;;) {
        if (r.PastEnd()) return false;
        const uint8_t code = McbpcIntra(r.Show(9));
        if (code == 0) return false;
        if (code == kMcbpcStuffing) {
            r.Skip(9);
            continue;
        }
        r.Skip(code >> 4);
        type = (code & 4) ? MPEG4_MB_INTRA_Q : MPEG4_MB_INTRA;
        cbpc = code & 3;
        return true;
    }
}

void SkipTrailingStuffing(Mpeg4BitReader& r) {
    while (!r.PastEnd() && r.Show(9) == 1) r.Skip(9);
}

// The DC has its own VLC while the running quantiser is below the VOP's threshold.
bool UseDcVlc(const MPEG4DecoderState& s, int32_t runningQuant) {
    return runningQuant < kIntraDcThreshold[s.vop.intraDcVlcThr & 7];
}

void RecordIntra(MPEG4DecoderState& s, int32_t index, int32_t type, int32_t quant) {
    s.dec.quant[index] = uint8_t(quant);
    Mpeg4MacroblockInfo& info = s.dec.info[index];
    info = Mpeg4MacroblockInfo{};
    info.type = uint8_t(type);
    info.coded = 1;
}

// One macroblock of a combined-mode I-VOP; false on a bitstream error.
bool DecodeCombinedMacroblock(MPEG4DecoderState& s, int32_t index, bool firstInPacket) {
    Mpeg4BitReader& r = s.bits;
    Mpeg4VopState& d = s.dec;
    int32_t type = 0, cbpc = 0, cbpy = 0;
    if (!ReadMcbpcIntra(r, type, cbpc)) return false;
    const int32_t acPred = int32_t(r.Get1());
    if (!ReadCbpy(r, cbpy)) return false;
    const int32_t before = d.runningQuant;
    if (type == MPEG4_MB_INTRA_Q) d.runningQuant = AddQuant(s, d.runningQuant, ReadDquant(r));
    const bool fieldDct = s.vol.interlaced && r.Get1();
    IntraMacroblock mb{};
    mb.index = index;
    mb.cbp = cbpc | (cbpy << 2);
    mb.quant = d.runningQuant;
    mb.useDcVlc = UseDcVlc(s, firstInPacket ? d.runningQuant : before);
    mb.acPred = acPred;
    uint8_t* dst[6];
    int32_t pitch[6];
    BlockDestinations(*d.current, index % d.mbWidth, index / d.mbWidth, fieldDct, dst, pitch);
    if (DecodeIntraMacroblockTexture(s, mb, dst, pitch, IntraTexture::Combined) != PARSE_OK)
        return false;
    RecordIntra(s, index, type, mb.quant);
    return true;
}

int32_t DecodeCombined(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    int32_t index = 0;
    bool firstInPacket = true;
    while (index < d.mbCount) {
        if (index > 0 && !s.vol.resyncMarkerDisable && VideoPacketAhead(s)) {
            int32_t first = 0;
            if (ReadVideoPacketHeader(s, &first) != PARSE_OK || first < index) {
                index = RecoverFromError(s, index);
                firstInPacket = true;
                continue;
            }
            if (first > index) {  // macroblocks missing before this packet
                d.error = kMpeg4VopConcealed;
                ConcealMacroblocks(s, index, first);
                index = first;
            }
            firstInPacket = true;
        }
        if (!DecodeCombinedMacroblock(s, index, firstInPacket)) {
            index = RecoverFromError(s, index);
            firstInPacket = true;
            continue;
        }
        firstInPacket = false;
        ++d.packetMacroblocks;
        ++index;
    }
    SkipTrailingStuffing(s.bits);
    return d.error;
}

// One data-partitioned packet starting at macroblock `first`; returns the next macroblock, or -1
// after an error (with `reconstructed` the first macroblock not yet written).
int32_t DecodePartitionedPacket(MPEG4DecoderState& s, int32_t first, int32_t& reconstructed) {
    Mpeg4BitReader& r = s.bits;
    Mpeg4VopState& d = s.dec;
    reconstructed = first;
    int32_t n = 0;
    while (r.Show(kDcMarkerBits) != kDcMarker) {
        const int32_t index = first + n;
        if (index >= d.mbCount || r.PastEnd()) return -1;
        Mpeg4PartitionEntry& e = d.partition[index];
        int32_t type = 0, cbpc = 0;
        if (!ReadMcbpcIntra(r, type, cbpc)) return -1;
        const int32_t before = d.runningQuant;
        if (type == MPEG4_MB_INTRA_Q) d.runningQuant = AddQuant(s, d.runningQuant, ReadDquant(r));
        e.type = uint8_t(type);
        e.cbp = uint8_t(cbpc);
        e.quant = uint8_t(d.runningQuant);
        e.useDcVlc = UseDcVlc(s, n == 0 ? d.runningQuant : before) ? 1 : 0;
        if (e.useDcVlc) {
            for (int b = 0; b < 6; ++b) {
                if (r.PastEnd()) return -1;
                const uint8_t* p = r.ptr;
                int off = r.bitOffset;
                if (vcDecodeIntraDcMpeg4(&p, &off, &e.dc[b], b >= 4) != 0) return -1;
                r.ptr = const_cast<uint8_t*>(p);
                r.bitOffset = off;
            }
        }
        ++n;
    }
    r.Skip(kDcMarkerBits);
    for (int32_t k = 0; k < n; ++k) {
        Mpeg4PartitionEntry& e = d.partition[first + k];
        e.acPred = uint8_t(r.Get1());
        int32_t cbpy = 0;
        if (!ReadCbpy(r, cbpy)) return -1;
        e.cbp = uint8_t(e.cbp | (cbpy << 2));
        e.fieldDct = uint8_t(s.vol.interlaced ? r.Get1() : 0);
    }
    if (r.PastEnd()) return -1;
    for (int32_t k = 0; k < n; ++k) {
        const int32_t index = first + k;
        const Mpeg4PartitionEntry& e = d.partition[index];
        IntraMacroblock mb{};
        mb.index = index;
        mb.cbp = e.cbp;
        mb.quant = e.quant;
        mb.useDcVlc = e.useDcVlc;
        mb.acPred = e.acPred;
        std::copy(e.dc, e.dc + 6, mb.dc);
        uint8_t* dst[6];
        int32_t pitch[6];
        BlockDestinations(*d.current, index % d.mbWidth, index / d.mbWidth, e.fieldDct != 0, dst,
                          pitch);
        if (DecodeIntraMacroblockTexture(s, mb, dst, pitch, IntraTexture::Partitioned) != PARSE_OK)
            return -1;
        RecordIntra(s, index, e.type, e.quant);
        reconstructed = index + 1;
    }
    d.packetMacroblocks = n;
    return first + n;
}

int32_t DecodePartitioned(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    int32_t index = 0;
    while (index < d.mbCount) {
        int32_t reconstructed = index;
        const int32_t next = DecodePartitionedPacket(s, index, reconstructed);
        if (next < 0) {
            index = RecoverFromError(s, reconstructed);
            continue;
        }
        index = next;
        if (index >= d.mbCount) break;
        int32_t first = 0;
        if (!VideoPacketAhead(s) || ReadVideoPacketHeader(s, &first) != PARSE_OK || first < index) {
            index = RecoverFromError(s, index);
            continue;
        }
        if (first > index) {
            d.error = kMpeg4VopConcealed;
            ConcealMacroblocks(s, index, first);
            index = first;
        }
    }
    SkipTrailingStuffing(s.bits);
    return d.error;
}

int32_t DecodeShortHeader(MPEG4DecoderState& s) {
    Mpeg4BitReader& r = s.bits;
    Mpeg4VopState& d = s.dec;
    int32_t index = 0;
    while (index < d.mbCount) {
        bool recovered = false, header = false;
        index = StartGob(s, index, recovered, header);
        if (recovered) continue;
        if (index >= d.mbCount) break;
        int32_t type = 0, cbpc = 0, cbpy = 0;
        bool ok = ReadMcbpcIntra(r, type, cbpc) && ReadCbpy(r, cbpy);
        if (ok) {
            if (type == MPEG4_MB_INTRA_Q)
                d.runningQuant = AddQuant(s, d.runningQuant, ReadDquant(r));
            IntraMacroblock mb{};
            mb.index = index;
            mb.cbp = cbpc | (cbpy << 2);
            mb.quant = d.runningQuant;
            uint8_t* dst[6];
            int32_t pitch[6];
            BlockDestinations(*d.current, index % d.mbWidth, index / d.mbWidth, false, dst, pitch);
            ok = DecodeIntraMacroblockTexture(s, mb, dst, pitch, IntraTexture::ShortHeader) ==
                 PARSE_OK;
            if (ok) RecordIntra(s, index, type, mb.quant);
        }
        if (!ok) {
            index = RecoverFromError(s, index);
            continue;
        }
        ++index;
    }
    SkipTrailingStuffing(r);
    return d.error;
}

}  // namespace

bool ReadGobHeader(MPEG4DecoderState& s, int32_t& gob) {
    Mpeg4BitReader& r = s.bits;
    if (r.Show(17) != 1) {
        if (r.ShowAligned(17) != 1) return false;
        r.Align();
    }
    r.Skip(17);
    gob = int32_t(r.Get(5));
    r.Skip(2);  // gob_frame_id
    const int32_t quant = int32_t(r.Get(5));
    s.dec.runningQuant = quant ? quant : 1;
    return true;
}

int32_t StartGob(MPEG4DecoderState& s, int32_t index, bool& recovered, bool& header) {
    Mpeg4VopState& d = s.dec;
    const int32_t gobMacroblocks = std::max(1, d.mbWidth * s.sh.rowsPerGob);
    recovered = header = false;
    if (index == 0 || index % gobMacroblocks != 0) return index;
    const int32_t expected = index / gobMacroblocks;
    int32_t gob = 0;
    if (!ReadGobHeader(s, gob)) return index;
    header = true;
    if (gob > s.sh.gobsInVop || gob < expected) {
        recovered = true;
        return RecoverFromError(s, index);
    }
    if (gob > expected) {
        d.error = kMpeg4VopConcealed;
        const int32_t first = std::min(gob * gobMacroblocks, d.mbCount);
        ConcealMacroblocks(s, index, first);
        return first;
    }
    return index;
}

int32_t DecodeIVop(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    d.error = 0;
    d.packetMacroblocks = 0;
    d.runningQuant = std::clamp(s.vol.shortVideoHeader ? s.sh.quant : s.vop.quant, 1, 31);
    if (s.vol.spriteEnable != MPEG4_SPRITE_STATIC)
        for (int32_t i = 0; i < d.mbCount; ++i) d.info[i] = Mpeg4MacroblockInfo{};
    ResetIntraPredictors(s);
    if (s.vol.shortVideoHeader) return DecodeShortHeader(s);
    if (s.vol.dataPartitioned) return DecodePartitioned(s);
    return DecodeCombined(s);
}

}  // namespace UMC::mpeg4
