// What the audio jobs of umc-decode share: feeding a stream to an audio codec in pieces, the
// --bench loop, and writing raw PCM or WAV as the frames come.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/core/AudioCodec.h"
#include "tools/common/WavFile.h"
#include "tools/umc-decode/Job.h"

namespace umcdecode {

struct PcmResult {
    int channels = 0;
    int rate = 0;
    uint32_t mask = 0;
    int frames = 0;
    uint64_t samples = 0;       // interleaved, every channel
    uint64_t sampleFrames = 0;  // per channel
    int damaged = 0;            // calls that reported a damaged or undecodable frame
    bool failed = false;        // the codec could not be set up
    bool writeFailed = false;
};

// Feeds `data` to an initialised codec in 4096-byte pieces, as a demultiplexer would, with an
// output buffer of `pcmBytes`, and hands every frame to `writer` (none: only counted).
PcmResult DecodeInPieces(UMC::AudioCodec& decoder, std::span<const uint8_t> data, size_t pcmBytes,
                         qmtool::PcmFileWriter* writer);

// Reads the input, then either repeats `decode` (--passes times, or for at least a second) and
// prints the speed (--bench) or decodes once into the output file. `name` is the stream kind in
// messages.
int RunAudioJob(const Options& options, const char* name,
                const std::function<PcmResult(std::span<const uint8_t> data,
                                              qmtool::PcmFileWriter* writer)>& decode);

}  // namespace umcdecode
