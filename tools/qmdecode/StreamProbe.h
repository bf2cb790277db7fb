// Recognises an elementary stream from its first bytes and describes it as the media type that a
// demultiplexer would give the decoder: MPEG-1/2 video (sequence header), MPEG audio (frame
// header, after an ID3v2 tag), or DVD LPCM (no sync word: only when asked for).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/dshow/DShow.h"

namespace qmdecode {

enum class StreamKind { MpegVideo, MpegAudio, Lpcm, Ac3 };

struct ProbedStream {
    StreamKind kind = StreamKind::MpegVideo;
    CMediaType inputType;
    std::string description;  // "MPEG-2 video 720x576, 25.000 fps"
    // Video.
    bool mpeg2 = false;
    int width = 0, height = 0;
    REFERENCE_TIME avgTimePerFrame = 0;
    // Audio.
    int channels = 0, sampleRate = 0, layer = 0;
};

// Parses the first bytes of a file. `forced` chooses the kind (needed for LPCM, whose rate is
// `lpcmRate`). Returns an error text on failure.
std::optional<std::string> ProbeStream(const std::vector<uint8_t>& data,
                                       std::optional<StreamKind> forced, int lpcmRate,
                                       ProbedStream* stream);

// AC-3: a sync word with a valid header confirmed by the next frame's sync word.
std::optional<std::string> ProbeAc3Stream(const std::vector<uint8_t>& data, ProbedStream* stream);

}  // namespace qmdecode
