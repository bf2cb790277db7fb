// The few header fields of elementary streams that a demultiplexer needs for the media types it
// offers: the MPEG video sequence header (with its extensions), the MPEG audio frame header and
// the AC-3 synchronisation information.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qm_Demultiplexer {

struct VideoSequence {
    bool mpeg2 = false;
    int width = 0, height = 0;
    int aspectCode = 0;
    int64_t frameDuration = 0;  // 100-ns units
    bool progressive = true;
    uint32_t bitRate = 0;              // bits per second, 0 when unknown
    std::vector<uint8_t> headerBytes;  // sequence header and its extensions
};

struct AudioFrame {
    int mpegVersion = 1;  // 1, 2 or 25 (MPEG-2.5)
    int layer = 0;
    int sampleRate = 0;
    int channels = 0;
    int mode = 0;       // 0 stereo, 1 joint, 2 dual, 3 mono
    int kbps = 0;       // 0 for free format
    size_t length = 0;  // frame length in bytes, 0 for free format
};

struct Ac3Frame {
    int sampleRate = 0;
    int channels = 0;  // including LFE
    int kbps = 0;
};

// The MPEG audio frame header at `p` (4 bytes needed); false when it is none.
bool ParseAudioFrameHeader(const uint8_t* p, size_t avail, AudioFrame* frame);

// Each finds the first complete header in the bytes; nullopt when there is none.
std::optional<VideoSequence> FindVideoSequence(const uint8_t* p, size_t size);
std::optional<AudioFrame> FindAudioFrame(const uint8_t* p, size_t size);
std::optional<Ac3Frame> FindAc3Frame(const uint8_t* p, size_t size);

}  // namespace qm_Demultiplexer
