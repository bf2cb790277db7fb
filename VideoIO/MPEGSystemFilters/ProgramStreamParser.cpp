#include "VideoIO/MPEGSystemFilters/ProgramStreamParser.h"

#include <cstring>

#include "VideoIO/MPEGSystemFilters/Pes.h"

namespace qm_MPEGSystemFilters {

namespace {

constexpr uint8_t kEndCode = 0xB9, kPackStart = 0xBA, kSystemHeader = 0xBB, kStreamMap = 0xBC,
                  kPrivate1 = 0xBD;

bool IsStartCode(const uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] >= 0xB9;
}

}  // namespace

bool DecodeDvdLpcmFormat(uint8_t format, StreamInfo* info) {
    static const uint16_t kBits[4] = {16, 20, 24, 0};
    static const uint32_t kRates[4] = {48000, 96000, 44100, 32000};
    const uint16_t bits = kBits[format >> 6];
    if (bits == 0) return false;
    info->bitsPerSample = bits;
    info->sampleRate = kRates[(format >> 4) & 3];
    info->channels = uint16_t((format & 7) + 1);
    return true;
}

ProgramStreamParser::ProgramStreamParser(IAccessUnitSink* sink) : QueuedParser(sink) {}

void ProgramStreamParser::Reset() {
    Queue().Clear();
}

bool ProgramStreamParser::ParseOne(bool final) {
    const uint8_t* p = Queue().Data();
    const size_t avail = Queue().Size();
    if (avail < 4) return false;
    if (!IsStartCode(p)) {
        // Lost: skip to the next start code of a system structure, keeping a possible prefix.
        size_t i = 1;
        while (i + 4 <= avail && !IsStartCode(p + i)) ++i;
        if (i + 4 > avail) i = avail - 3;
        m_stats.bytesSkipped += i;
        Queue().Consume(i);
        return true;
    }
    const uint8_t id = p[3];
    size_t length;
    if (id == kEndCode) {
        length = 4;
    } else if (id == kPackStart) {
        if (avail < 5) return false;
        if ((p[4] & 0xC0) == 0x40) {
            if (avail < 14) return false;
            length = 14 + (p[13] & 7);
            ++m_mpeg2Packs;
        } else if ((p[4] & 0xF0) == 0x20) {
            length = 12;
            ++m_mpeg1Packs;
        } else {
            m_stats.bytesSkipped += 4;
            Queue().Consume(4);
            return true;
        }
    } else {
        if (avail < 6) return false;
        length = 6 + ((size_t(p[4]) << 8) | p[5]);
    }
    if (avail < length) {
        if (!final) return false;
        // Cut short at the end of the input: what there is is given out as damaged.
        if (id != kEndCode && id != kPackStart && id != kSystemHeader && id != kStreamMap) {
            OnPesPacket(p, avail, Queue().Offset(), true);
        }
        Queue().Consume(avail);
        return false;
    }
    if (id == kStreamMap)
        OnProgramStreamMap(p, length);
    else if (id > kStreamMap)
        OnPesPacket(p, length, Queue().Offset(), false);
    Queue().Consume(length);
    return true;
}

void ProgramStreamParser::OnProgramStreamMap(const uint8_t* p, size_t size) {
    // 6 bytes start and length, 2 bytes flags and version, then the program stream info.
    if (size < 16) return;
    size_t i = 8;
    const size_t infoLength = (size_t(p[i]) << 8) | p[i + 1];
    i += 2 + infoLength;
    if (i + 2 > size) return;
    const size_t mapLength = (size_t(p[i]) << 8) | p[i + 1];
    i += 2;
    const size_t end = i + mapLength;
    if (end + 4 > size) return;  // the CRC follows the map
    while (i + 4 <= end) {
        const uint8_t type = p[i], streamId = p[i + 1];
        const size_t esInfo = (size_t(p[i + 2]) << 8) | p[i + 3];
        m_psmType[streamId] = type;
        i += 4 + esInfo;
    }
}

void ProgramStreamParser::Announce(const StreamInfo& info) {
    auto [it, added] = m_streams.try_emplace(info.key, info);
    if (!added) {
        if (it->second.coding == info.coding && it->second.sampleRate == info.sampleRate &&
            it->second.channels == info.channels && it->second.bitsPerSample == info.bitsPerSample)
            return;
        it->second = info;
    }
    m_sink->OnStream(info);
}

void ProgramStreamParser::OnPesPacket(const uint8_t* p, size_t size, uint64_t offset,
                                      bool damaged) {
    const uint8_t id = p[3];
    const bool video = id >= 0xE0 && id <= 0xEF, audio = id >= 0xC0 && id <= 0xDF;
    if (id != kPrivate1 && !video && !audio) return;  // padding, navigation, others
    PesHeader header;
    if (!ParsePesHeader(p, size, &header)) {
        ++m_stats.droppedUnits;
        return;
    }
    AccessUnit unit;
    unit.pts = header.pts;
    unit.dts = header.dts;
    unit.fileOffset = offset;
    unit.damaged = damaged;
    const uint8_t* payload = p + header.payloadOffset;
    const size_t payloadSize = size - header.payloadOffset;
    if (id == kPrivate1) {
        OnPrivateStream1(payload, payloadSize, unit);
        return;
    }
    StreamInfo info;
    info.key = uint32_t(id) << 8;
    info.containerType = m_psmType[id];
    info.coding = CodingFromStreamType(m_psmType[id],
                                       video ? StreamCoding::MpegVideo : StreamCoding::MpegAudio);
    Announce(info);
    if (payloadSize == 0) return;
    unit.key = info.key;
    unit.data = payload;
    unit.size = payloadSize;
    Emit(unit);
}

void ProgramStreamParser::OnPrivateStream1(const uint8_t* payload, size_t size,
                                           const AccessUnit& header) {
    if (size < 1) return;
    const uint8_t sub = payload[0];
    StreamInfo info;
    info.key = (uint32_t(kPrivate1) << 8) | sub;
    size_t skip;
    if (sub >= 0x80 && sub <= 0x87) {
        info.coding = StreamCoding::Ac3;
        skip = 4;  // sub-stream id, frame count, first access unit pointer
    } else if (sub >= 0x88 && sub <= 0x8F) {
        info.coding = StreamCoding::Dts;
        skip = 4;
    } else if (sub >= 0xA0 && sub <= 0xA7) {
        info.coding = StreamCoding::Lpcm;
        skip = 7;  // ... then emphasis and frame number, format, dynamic range
        if (size < skip || !DecodeDvdLpcmFormat(payload[5], &info)) {
            ++m_stats.droppedUnits;
            return;
        }
    } else if (sub >= 0x20 && sub <= 0x3F) {
        info.coding = StreamCoding::Subpicture;
        skip = 1;
    } else {
        return;
    }
    if (size < skip) {
        ++m_stats.droppedUnits;
        return;
    }
    Announce(info);
    if (size == skip) return;
    AccessUnit unit = header;
    unit.key = info.key;
    unit.data = payload + skip;
    unit.size = size - skip;
    Emit(unit);
}

}  // namespace qm_MPEGSystemFilters
