#include "VideoIO/MPEGSystemFilters/SystemStream.h"

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

}  // namespace qm_MPEGSystemFilters
