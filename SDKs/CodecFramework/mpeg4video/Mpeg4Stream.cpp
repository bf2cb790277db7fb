#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"

#include <algorithm>
#include <cstring>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"

namespace UMC::mpeg4 {

bool LooksLikeMpeg4Video(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 3 < size && i < 4096; ++i) {
        if (data[i] == 0 && data[i + 1] == 0) {
            if (data[i + 2] == 1)
                return data[i + 3] == 0xB0 || data[i + 3] == 0xB5 ||
                       (data[i + 3] >= 0x20 && data[i + 3] <= 0x2F);
            if ((data[i + 2] & 0xFC) == 0x80) return true;
        }
        if (data[i] != 0) return false;
    }
    return false;
}

size_t Mpeg4AccessUnitLength(const uint8_t* data, size_t size, bool shortHeader) {
    bool seenPicture = false;
    for (size_t i = 0; i + 3 < size;) {
        // A non-zero second byte starts no code here nor one byte on: two steps at once.
        if (data[i + 1] != 0) {
            i += 2;
            continue;
        }
        const bool picture =
            data[i] == 0 &&
            (shortHeader ? (data[i + 2] & 0xFC) == 0x80 : data[i + 2] == 1 && data[i + 3] == 0xB6);
        if (!picture) {
            ++i;
            continue;
        }
        if (seenPicture) return i;
        seenPicture = true;
        i += 3;
    }
    return size;
}

Status FindHeaders(MPEG4DecoderState& s) {
    Mpeg4BitReader& r = s.bits;
    bool sawSequence = false, sawObject = false;
    for (;;) {
        if (!r.NextStartCodeOrShortHeader()) return STATUS_SYNC_NOT_FOUND;
        if (r.AtShortHeaderMarker()) {
            if (ParseVideoObjectLayer(s) != PARSE_OK) return STATUS_INVALID_STREAM;
            return STATUS_OK;
        }
        const uint8_t code = *r.ptr;
        if (code == 0xB0 && !sawSequence) {
            sawSequence = true;
            r.Skip(8);
            if (ParseVisualObjectSequence(s) != PARSE_OK) return STATUS_INVALID_STREAM;
        } else if (code == 0xB5 && !sawObject) {
            sawObject = true;
            r.Skip(8);
            if (ParseVisualObject(s) != PARSE_OK) return STATUS_INVALID_STREAM;
        } else if (code >= 0x20 && code <= 0x2F) {
            r.ptr -= 3;
            if (ParseVideoObjectLayer(s) != PARSE_OK) return STATUS_INVALID_STREAM;
            return STATUS_OK;
        } else {
            r.Skip(8);
        }
    }
}

Status FindNextVop(MPEG4DecoderState& s, bool* volChanged) {
    Mpeg4BitReader& r = s.bits;
    if (volChanged) *volChanged = false;
    if (s.vol.shortVideoHeader)
        return r.NextShortHeaderMarker() ? STATUS_OK : STATUS_SYNC_NOT_FOUND;
    for (;;) {
        if (!r.NextStartCode()) return STATUS_SYNC_NOT_FOUND;
        const uint8_t code = *r.ptr;
        int32_t result = PARSE_OK;
        if (code == 0xB6) {
            r.Skip(8);
            return STATUS_OK;
        }
        if (code >= 0x20 && code <= 0x2F) {
            r.ptr -= 3;
            result = ParseVideoObjectLayer(s);
            if (volChanged) *volChanged = true;
        } else {
            r.Skip(8);
            if (code == 0xB0)
                result = ParseVisualObjectSequence(s);
            else if (code == 0xB5)
                result = ParseVisualObject(s);
            else if (code == 0xB3)
                result = ParseGroupOfVops(s);
        }
        if (result != PARSE_OK) return STATUS_INVALID_STREAM;
    }
}

void Mpeg4MacroblockArrays::Allocate(MPEG4DecoderState& s, int32_t mbWidth, int32_t mbHeight,
                                     int32_t capacity) {
    Mpeg4VopState& d = s.dec;
    const int32_t mbCount = mbWidth * mbHeight;
    const size_t entries = size_t(std::max(mbCount, capacity));
    m_quant.assign(entries, 0);
    m_info.assign(entries, Mpeg4MacroblockInfo{});
    m_bInfo.assign(entries, Mpeg4MacroblockInfo{});
    m_fieldVectors.assign(entries, Mpeg4FieldVectors{});
    m_predictors.assign(entries, Mpeg4IntraPredictors{});
    m_partition.assign(entries, Mpeg4PartitionEntry{});
    m_block.assign(6 * 64 + 8, 0);
    d.mbWidth = mbWidth;
    d.mbHeight = mbHeight;
    d.mbCount = mbCount;
    d.mbCapacity = int32_t(entries);
    d.macroblockNumberBits = BitsFor(mbCount);
    d.quant = m_quant.data();
    d.info = m_info.data();
    d.bInfo = m_bInfo.data();
    d.fieldVectors = m_fieldVectors.data();
    d.predictors = m_predictors.data();
    d.partition = m_partition.data();
    const uintptr_t blockAddress =
        (reinterpret_cast<uintptr_t>(m_block.data()) + 15) & ~uintptr_t(15);
    d.block = reinterpret_cast<int16_t*>(blockAddress);
    m_obmcResidual = {};
    m_obmcPending = {};
    d.obmcResidual = nullptr;
    d.obmcPending = nullptr;
    AllocateObmc(s);
}

void Mpeg4MacroblockArrays::AllocateObmc(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    if (s.vol.obmcDisable || s.vol.shortVideoHeader || d.obmcPending || d.mbCapacity <= 0) return;
    m_obmcResidual.assign(size_t(d.mbCapacity) * 256, 0);
    m_obmcPending.assign(size_t(d.mbCapacity), kObmcDone);
    d.obmcResidual = m_obmcResidual.data();
    d.obmcPending = m_obmcPending.data();
}

void Mpeg4MacroblockArrays::Free(MPEG4DecoderState& s) {
    m_quant = {};
    m_info = {};
    m_bInfo = {};
    m_fieldVectors = {};
    m_predictors = {};
    m_partition = {};
    m_block = {};
    m_obmcResidual = {};
    m_obmcPending = {};
    Mpeg4VopState& d = s.dec;
    d.quant = nullptr;
    d.info = d.bInfo = nullptr;
    d.fieldVectors = nullptr;
    d.predictors = nullptr;
    d.partition = nullptr;
    d.block = nullptr;
    d.obmcResidual = nullptr;
    d.obmcPending = nullptr;
    d.mbWidth = d.mbHeight = d.mbCount = d.mbCapacity = 0;
}

Status Mpeg4Pictures::Allocate(MPEG4DecoderState& s, bool withBackward) {
    Mpeg4VopState& d = s.dec;
    const int32_t mbWidth = (s.vol.width + 15) / 16, mbHeight = (s.vol.height + 15) / 16;
    if (mbWidth < 1 || mbHeight < 1 || int64_t(mbWidth) * mbHeight > kMpeg4MaxMacroblocks)
        return STATUS_ALLOC_FAILED;
    const int32_t yPitch = (mbWidth + 2) * 16, uvPitch = yPitch / 2;
    const size_t ySize = size_t(yPitch) * size_t((mbHeight + 2) * 16);
    const size_t uvSize = size_t(uvPitch) * size_t((mbHeight + 2) * 8);
    const int frames = withBackward ? 3 : 2;
    for (int i = 0; i < 3; ++i) {
        MPEG4FrameBuffer& f = m_frames[i];
        f = MPEG4FrameBuffer{};
        if (i >= frames) {
            m_planes[i].clear();
            continue;
        }
        m_planes[i].assign(ySize + 2 * uvSize, 0);
        std::memset(m_planes[i].data() + ySize, 128, 2 * uvSize);
        f.yBase = m_planes[i].data();
        f.uBase = f.yBase + ySize;
        f.vBase = f.uBase + uvSize;
        f.yPitch = yPitch;
        f.uvPitch = uvPitch;
        f.y = f.yBase + 16 * yPitch + 16;
        f.u = f.uBase + 8 * uvPitch + 8;
        f.v = f.vBase + 8 * uvPitch + 8;
        f.mbWidth = mbWidth;
        f.mbHeight = mbHeight;
    }
    m_arrays.Allocate(s, mbWidth, mbHeight);
    d.current = &m_frames[0];
    d.forward = &m_frames[1];
    d.backward = withBackward ? &m_frames[2] : nullptr;
    return BuildQuantSpecs(s) == PARSE_OK ? STATUS_OK : STATUS_INVALID_STREAM;
}

void Mpeg4Pictures::SwapCurrentForward(MPEG4DecoderState& s) {
    std::swap(s.dec.current, s.dec.forward);
}

int64_t VopTime(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    if (s.vol.shortVideoHeader) {
        int64_t t = int64_t(s.sh.temporalReference) * 1001 + d.timeBase;
        if (d.current && d.current->time > t) {
            t += 256 * 1001;
            d.timeBase += 256 * 1001;
        }
        return t;
    }
    const int64_t seconds = int64_t(s.vop.moduloTimeBase) * s.vol.timeIncrementResolution;
    if (s.vop.codingType == MPEG4_VOP_B) return seconds + s.vop.timeIncrement + d.referenceTimeBase;
    d.timeBase = std::max(d.timeBase, s.gov.time);
    d.referenceTimeBase = std::max(d.referenceTimeBase, d.timeBase);
    const int64_t t = seconds + s.vop.timeIncrement + d.timeBase;
    if (s.vop.moduloTimeBase != 0) d.timeBase = t - s.vop.timeIncrement;
    return t;
}

int32_t DecodeVop(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    if (!d.current || !d.predictors) return PARSE_ERROR;
    if (!s.vop.coded) {  // the forward reference again
        if (d.forward && d.forward != d.current) ConcealMacroblocks(s, 0, d.mbCount);
        return 0;
    }
    if (s.vop.codingType != MPEG4_VOP_I) return PARSE_UNSUPPORTED;
    return DecodeIVop(s);
}

Mpeg4StreamDecoder::Mpeg4StreamDecoder() : m_state(std::make_unique<MPEG4DecoderState>()) {}

Status Mpeg4StreamDecoder::Open(const uint8_t* data, size_t size) {
    *m_state = MPEG4DecoderState{};
    m_state->vo.verid = 1;
    m_input.Assign(data, size);
    m_state->bits.Init(m_input.Data(), m_input.Size());
    if (const Status st = FindHeaders(*m_state); st != STATUS_OK) return st;
    return m_pictures.Allocate(*m_state, false);
}

Status Mpeg4StreamDecoder::Next(const MPEG4FrameBuffer** frame, int32_t* vopResult) {
    MPEG4DecoderState& s = *m_state;
    for (;;) {
        bool volChanged = false;
        const Status found = FindNextVop(s, &volChanged);
        // A VOL is taken even when no VOP follows it: the pictures must match it.
        if (volChanged) {
            // A repeated VOL keeps the pictures; a new size needs new ones.
            const bool sameSize = (s.vol.width + 15) / 16 == s.dec.mbWidth &&
                                  (s.vol.height + 15) / 16 == s.dec.mbHeight;
            const Status st =
                sameSize ? (BuildQuantSpecs(s) == PARSE_OK ? STATUS_OK : STATUS_INVALID_STREAM)
                         : m_pictures.Allocate(s, false);
            if (st != STATUS_OK) return st;
        }
        if (found != STATUS_OK) return found;
        if (ParseVopHeader(s) != PARSE_OK) continue;  // the next VOP may be intact
        const int64_t time = VopTime(s);
        // The previous picture becomes the forward reference, as the frame driver rotates them.
        Mpeg4Pictures::SwapCurrentForward(s);
        const int32_t result = DecodeVop(s);
        if (result == PARSE_UNSUPPORTED || result == PARSE_ERROR) {
            Mpeg4Pictures::SwapCurrentForward(s);
            continue;
        }
        s.dec.current->time = time;
        s.dec.current->codingType = s.vop.codingType;
        *frame = s.dec.current;
        *vopResult = result;
        return STATUS_OK;
    }
}

}  // namespace UMC::mpeg4
