#include "VideoIO/MPEGSystemFilters/SystemStream.h"

#include "VideoIO/MPEGSystemFilters/ByteQueue.h"

namespace qm_MPEGSystemFilters {

const char* StreamCodingName(StreamCoding coding) {
    switch (coding) {
        case StreamCoding::MpegVideo:
            return "MPEG video";
        case StreamCoding::Mpeg4Video:
            return "MPEG-4 video";
        case StreamCoding::H264:
            return "H.264 video";
        case StreamCoding::MpegAudio:
            return "MPEG audio";
        case StreamCoding::Ac3:
            return "AC-3 audio";
        case StreamCoding::Lpcm:
            return "DVD LPCM audio";
        case StreamCoding::Pcm:
            return "PCM audio";
        case StreamCoding::Aac:
            return "AAC audio";
        case StreamCoding::Dts:
            return "DTS audio";
        case StreamCoding::Subpicture:
            return "subpicture";
        case StreamCoding::Unknown:
            break;
    }
    return "unknown";
}

bool IsVideoCoding(StreamCoding c) {
    return c == StreamCoding::MpegVideo || c == StreamCoding::Mpeg4Video || c == StreamCoding::H264;
}

bool IsAudioCoding(StreamCoding c) {
    return c == StreamCoding::MpegAudio || c == StreamCoding::Ac3 || c == StreamCoding::Lpcm ||
           c == StreamCoding::Pcm || c == StreamCoding::Aac || c == StreamCoding::Dts;
}

StreamCoding CodingFromStreamType(uint8_t type, StreamCoding fallback) {
    switch (type) {
        case 0x01:
        case 0x02:
            return StreamCoding::MpegVideo;
        case 0x03:
        case 0x04:
            return StreamCoding::MpegAudio;
        case 0x0F:
            return StreamCoding::Aac;
        case 0x10:
            return StreamCoding::Mpeg4Video;
        case 0x1B:
            return StreamCoding::H264;
        case 0x81:
            return StreamCoding::Ac3;
        default:
            return fallback;
    }
}

QueuedParser::QueuedParser(IAccessUnitSink* sink)
    : SystemStreamParser(sink), m_queue(std::make_unique<ByteQueue>()) {}

QueuedParser::~QueuedParser() = default;

void QueuedParser::Feed(const uint8_t* data, size_t size) {
    m_stats.bytesIn += size;
    m_queue->Append(data, size);
    while (ParseOne(false)) {
    }
}

void QueuedParser::Finish() {
    while (ParseOne(true)) {
    }
    m_stats.bytesSkipped += m_queue->Size();
    m_queue->Clear();
    OnFinished();
}

}  // namespace qm_MPEGSystemFilters
