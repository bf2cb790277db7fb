// Recognises an elementary stream from its first bytes and describes it as the media type that a
// demultiplexer would give the decoder: MPEG-1/2 video (sequence header), MPEG audio (frame
// header, after an ID3v2 tag), or DVD LPCM (no sync word: only when asked for).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/dshow/DShow.h"
#include "tools/qmdecode/VideoUnits.h"

namespace qmdecode {

enum class StreamKind { MpegVideo, MpegAudio, Lpcm, Ac3 };

struct ProbedStream {
    StreamKind kind = StreamKind::MpegVideo;
    CMediaType inputType;
    std::string description;  // "MPEG-2 video 720x576, 25.000 fps"
    // Video.
    bool mpeg2 = false;
    bool mpeg4 = false;        // MPEG-4 Part 2 or H.263 (the MPEG-4 decoder)
    bool shortHeader = false;  // H.263
    int width = 0, height = 0;
    REFERENCE_TIME avgTimePerFrame = 0;
    // Audio.
    int channels = 0, sampleRate = 0, layer = 0;
};

// Parses the first bytes of a file. `forced` chooses the kind (needed for LPCM, whose rate is
// `lpcmRate`). Returns an error text on failure.
std::optional<std::string> ProbeStream(std::span<const uint8_t> data,
                                       std::optional<StreamKind> forced, int lpcmRate,
                                       ProbedStream* stream);

// AC-3: a sync word with a valid header confirmed by the next frame's sync word.
std::optional<std::string> ProbeAc3Stream(std::span<const uint8_t> data, ProbedStream* stream);

// MPEG-4 Part 2 and H.263: a visual object sequence, visual object or VOL start code, or a
// short-header picture start, after nothing but zeros.
bool LooksLikeMpeg4Video(std::span<const uint8_t> data);
std::optional<std::string> ProbeMpeg4Video(std::span<const uint8_t> data, ProbedStream* stream);
// One unit per VOP (with the headers before it), in decoding order, `framePeriod` apart.
std::vector<VideoUnit> SplitMpeg4Units(const uint8_t* data, size_t size, bool shortHeader,
                                       REFERENCE_TIME framePeriod);

}  // namespace qmdecode
