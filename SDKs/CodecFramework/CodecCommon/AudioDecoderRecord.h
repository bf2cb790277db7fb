// What the frame-at-a-time audio decoders share around their decoding cores: the results a core
// returns, and what a decoder keeps beside its parameters.
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/CodecCommon/CodecStateBlock.h"
#include "SDKs/CodecFramework/core/AudioCodec.h"

namespace UMC {

namespace audio {
// Results of a decoding core; each decoder translates them into a Status of its own.
enum CoreResult : int {
    kFrameDecoded = 0,
    kNeedMoreData = 1,
    kBadParameter = 2,
    kOutOfMemory = 3,
    kUndecodableFrame = 4,
    kNullPointer = 5,
    kNoSyncWord = 6,
    kOutputTooSmall = 7,
};
}  // namespace audio

// The decoder's state block (its memories, locked for each call), the frames decoded, the
// descriptions of the last decoded frame and the time stamp of the next output when its input
// carries none.
template <class State>
struct AudioDecoderRecord {
    State* Lock() { return static_cast<State*>(block.Lock()); }
    void Unlock() { block.Unlock(); }

    CodecStateBlock block;
    uint32_t frameNumber = 0;
    int32_t infoValid = 0;  // in and out describe a decoded frame
    AudioStreamInfo in;
    AudioStreamInfo out;
    double nextTime = 0.0;
    int32_t initialised = 0;
};

}  // namespace UMC
