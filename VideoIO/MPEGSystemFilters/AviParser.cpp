#include "VideoIO/MPEGSystemFilters/AviParser.h"

#include <algorithm>
#include <cstring>

namespace qm_MPEGSystemFilters {

namespace {

constexpr uint32_t FourCC(const char* s) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// A chunk id of the form "NNxx" carrying stream NN's data.
int DataStream(uint32_t id) {
    const uint8_t a = uint8_t(id), b = uint8_t(id >> 8);
    return IsDigit(a) && IsDigit(b) ? (a - '0') * 10 + (b - '0') : -1;
}

// Offsets of the VOP start codes (00 00 01 B6) in a chunk.
std::vector<size_t> VopStarts(const uint8_t* p, size_t size) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 4 <= size; ++i)
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && p[i + 3] == 0xB6) starts.push_back(i);
    return starts;
}

// A VOP whose vop_coded bit is 0 (a placeholder): coding type, modulo time base ones and a 0,
// a marker, the time increment (its width unknown here: any run of bits up to the marker that
// follows), then vop_coded. Only the short placeholders packers write are looked at.
bool IsNotCodedPlaceholder(const uint8_t* p, size_t size) {
    return size <= 16 && size >= 5 && p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0xB6;
}

StreamCoding CodingOfVideo(uint32_t handler) {
    static const char* const kMpeg4[] = {"XVID", "xvid", "DIVX", "divx", "DX50", "dx50",
                                         "FMP4", "fmp4", "MP4V", "mp4v", "DIV5", "M4S2"};
    for (const char* f : kMpeg4)
        if (handler == FourCC(f)) return StreamCoding::Mpeg4Video;
    if (handler == FourCC("mpg2") || handler == FourCC("MPG2") || handler == FourCC("mpg1"))
        return StreamCoding::MpegVideo;
    if (handler == FourCC("H264") || handler == FourCC("h264") || handler == FourCC("avc1"))
        return StreamCoding::H264;
    return StreamCoding::Unknown;
}

StreamCoding CodingOfAudio(uint16_t tag) {
    switch (tag) {
        case 0x0001:
            return StreamCoding::Pcm;
        case 0x0050:
        case 0x0055:
            return StreamCoding::MpegAudio;
        case 0x2000:
            return StreamCoding::Ac3;
        case 0x00FF:
        case 0x1600:
            return StreamCoding::Aac;
        default:
            return StreamCoding::Unknown;
    }
}

}  // namespace

AviParser::AviParser(IAccessUnitSink* sink) : SystemStreamParser(sink) {}

void AviParser::Feed(const uint8_t* data, size_t size) {
    m_stats.bytesIn += size;
    // Bytes of a skipped chunk are never buffered.
    const size_t skipped = size_t(std::min<uint64_t>(m_skip, size));
    m_skip -= skipped;
    m_queue.Append(data + skipped, size - skipped);
    while (ParseOne(false)) {
    }
}

void AviParser::Finish() {
    while (ParseOne(true)) {
    }
    m_queue.Clear();
    for (Stream& s : m_streams) {
        if (s.heldVop.empty()) continue;
        std::vector<uint8_t> held;
        held.swap(s.heldVop);
        AccessUnit u;
        u.key = s.info.key;
        u.data = held.data();
        u.size = held.size();
        u.pts = FrameTime(s, s.frames++);
        Emit(u);
    }
}

void AviParser::Reset() {
    m_queue.Clear();
    m_skip = 0;
}

bool AviParser::ParseOne(bool final) {
    if (m_skip > 0) {
        const size_t n = size_t(std::min<uint64_t>(m_skip, m_queue.Size()));
        m_queue.Consume(n);
        m_skip -= n;
        if (m_skip > 0) return false;
    }
    const uint8_t* p = m_queue.Data();
    const size_t avail = m_queue.Size();
    if (avail < 8) return false;
    const uint32_t id = Le32(p), size = Le32(p + 4);
    if (id == FourCC("RIFF") || id == FourCC("LIST")) {
        if (avail < 12) return false;
        const uint32_t type = Le32(p + 8);
        if (id == FourCC("RIFF")) m_sawRiff = true;
        const bool descend = id == FourCC("RIFF") || type == FourCC("hdrl") ||
                             type == FourCC("strl") || type == FourCC("movi") ||
                             type == FourCC("rec ");
        m_queue.Consume(12);
        if (!descend) m_skip = uint64_t(size) + (size & 1) - 4;
        return true;
    }
    const uint64_t whole = 8 + uint64_t(size) + (size & 1);
    const int stream = DataStream(id);
    const bool data = stream >= 0 && (uint8_t(id >> 16) != 'i' || uint8_t(id >> 24) != 'x');
    const bool header = id == FourCC("strh") || id == FourCC("strf");
    if (!(data || header) || size > kMaxChunk) {
        // Indexes, junk and everything else: skipped without reading. An oversized chunk is
        // damage: what it claims to hold is skipped too.
        if (size > kMaxChunk) ++m_stats.droppedUnits;
        m_queue.Consume(8);
        m_skip = whole - 8;
        return true;
    }
    if (avail < 8 + size) {
        if (!final) return false;
        // Cut short by the end of the file.
        if (data && avail > 8) {
            ++m_stats.damagedUnits;
            OnDataChunk(id, p + 8, avail - 8, m_queue.Offset());
        }
        m_queue.Consume(avail);
        return false;
    }
    if (id == FourCC("strh"))
        OnStreamHeader(p + 8, size);
    else if (id == FourCC("strf"))
        OnStreamFormat(p + 8, size);
    else
        OnDataChunk(id, p + 8, size, m_queue.Offset());
    // The pad byte of an odd-sized chunk may not have arrived yet.
    m_queue.Consume(size_t(std::min<uint64_t>(whole, avail)));
    if (whole > avail) m_skip = whole - avail;
    return true;
}

void AviParser::OnStreamHeader(const uint8_t* p, size_t size) {
    if (size < 36 || m_streams.size() >= 100) return;
    Stream s;
    s.video = Le32(p) == FourCC("vids");
    const bool audio = Le32(p) == FourCC("auds");
    s.info.key = uint32_t(m_streams.size());
    s.info.containerType = Le32(p + 4);
    s.scale = std::max<uint32_t>(1, Le32(p + 20));
    s.rate = Le32(p + 24);
    s.start = Le32(p + 28);
    s.sampleSize = size >= 48 ? Le32(p + 44) : 0;
    if (s.video) s.info.coding = CodingOfVideo(s.info.containerType);
    if (!s.video && !audio) s.info.coding = StreamCoding::Unknown;
    if (s.video && s.rate > 0)
        s.info.frameDuration = int64_t(10000000.0 * double(s.scale) / double(s.rate) + 0.5);
    m_streams.push_back(s);
}

void AviParser::OnStreamFormat(const uint8_t* p, size_t size) {
    if (m_streams.empty()) return;
    Stream& s = m_streams.back();
    if (s.announced) return;
    if (s.video && size >= 40) {
        s.info.width = int32_t(Le32(p + 4));
        s.info.height = int32_t(Le32(p + 8));
        const uint32_t compression = Le32(p + 16);
        if (s.info.coding == StreamCoding::Unknown) s.info.coding = CodingOfVideo(compression);
        if (s.info.coding == StreamCoding::Mpeg4Video) s.info.containerType = compression;
    } else if (!s.video && size >= 16) {
        s.info.formatTag = Le16(p);
        // WAVE_FORMAT_EXTENSIBLE (more than two channels) names the format in its SubFormat
        // GUID: the tag, then the fixed tail 0000-0010-8000-00AA00389B71.
        static const uint8_t kSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        if (s.info.formatTag == 0xFFFE && size >= 40 && Le16(p + 16) >= 22 && Le16(p + 26) == 0 &&
            std::memcmp(p + 28, kSubFormatTail, 12) == 0)
            s.info.formatTag = Le16(p + 24);
        s.info.channels = Le16(p + 2);
        s.info.sampleRate = Le32(p + 4);
        s.blockAlign = Le16(p + 12);
        s.info.bitsPerSample = Le16(p + 14);
        s.info.coding = CodingOfAudio(s.info.formatTag);
    }
    s.announced = true;
    m_sink->OnStream(s.info);
}

int64_t AviParser::FrameTime(const Stream& s, uint64_t units) const {
    if (s.rate == 0) return kNoTimestamp;
    const double seconds = double(units + s.start) * double(s.scale) / double(s.rate);
    return int64_t(seconds * 90000.0 + 0.5);
}

void AviParser::OnDataChunk(uint32_t id, const uint8_t* p, size_t size, uint64_t offset) {
    const int index = DataStream(id);
    if (index < 0 || size_t(index) >= m_streams.size() || !m_streams[size_t(index)].announced)
        return;
    Stream& s = m_streams[size_t(index)];
    if (s.video) {
        EmitVideo(s, p, size, offset);
        return;
    }
    AccessUnit u;
    u.key = s.info.key;
    u.data = p;
    u.size = size;
    u.syncPoint = true;
    u.fileOffset = offset;
    if (size == 0) return;  // an empty audio chunk holds no time either
    // Constant-rate audio counts samples (bytes / sample size); variable-rate, chunks.
    if (s.sampleSize > 0) {
        u.pts = FrameTime(s, s.bytes / s.sampleSize);
        s.bytes += size;
    } else {
        u.pts = FrameTime(s, s.frames);
        ++s.frames;
    }
    Emit(u);
}

void AviParser::EmitVideo(Stream& s, const uint8_t* p, size_t size, uint64_t offset) {
    AccessUnit u;
    u.key = s.info.key;
    u.fileOffset = offset;
    const uint64_t frame = s.frames++;
    if (s.info.coding == StreamCoding::Mpeg4Video) {
        if (!s.heldVop.empty()) {
            // The frame slot of the B-VOP packed into the chunk before: the placeholder that
            // stands here is dropped.
            std::vector<uint8_t> held;
            held.swap(s.heldVop);
            u.data = held.data();
            u.size = held.size();
            u.pts = FrameTime(s, frame);
            Emit(u);
            if (IsNotCodedPlaceholder(p, size)) return;
            // No placeholder: this chunk takes the next slot.
            EmitVideo(s, p, size, offset);
            return;
        }
        const std::vector<size_t> vops = VopStarts(p, size);
        if (vops.size() >= 2) {
            s.heldVop.assign(p + vops[1], p + size);
            size = vops[1];
        }
    }
    if (size == 0) return;  // a dropped frame
    u.data = p;
    u.size = size;
    u.pts = FrameTime(s, frame);
    if (s.info.coding == StreamCoding::Mpeg4Video) {
        const std::vector<size_t> vops = VopStarts(p, size);
        u.syncPoint = !vops.empty() && vops[0] + 4 < size && (p[vops[0] + 4] >> 6) == 0;
    }
    Emit(u);
}

}  // namespace qm_MPEGSystemFilters
