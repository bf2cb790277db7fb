// The audio codec interface and its parameters.
#pragma once

#include "SDKs/CodecFramework/core/BaseCodec.h"

namespace UMC {

// Description of an audio stream (compressed input or PCM output).
struct AudioStreamInfo {
    int32_t channels = 0;
    int32_t sample_frequency = 0;
    int32_t bitPerSample = 0;
    int32_t bitrate = 0;        // bits per second
    uint32_t channel_mask = 0;  // speaker bits
    int32_t stream_type = 0;    // codec-specific code (MPEG audio: version bit | layer bit)
    int32_t stream_subtype = 0;
    int32_t version = 0;     // MPEG audio: 1 or 2
    int32_t layer = 0;       // MPEG audio: 1 to 3
    double duration = -1.0;  // seconds, -1 when unknown
};

class AudioCodecParams : public BaseCodecParams {
    UMC_CLASS_IDENTITY(AudioCodecParams, BaseCodecParams)

public:
    AudioStreamInfo m_info_in;
    AudioStreamInfo m_info_out;
    uint32_t m_SuggestedInputSize = 0;
    uint32_t m_SuggestedOutputSize = 0;
    uint32_t m_frame_num = 0;  // frames decoded
};

class AudioCodec : public BaseCodec {
    UMC_CLASS_IDENTITY(AudioCodec, BaseCodec)

public:
    // Seconds decoded so far; the base answers -1.0 and STATUS_NOT_IMPLEMENTED.
    virtual Status GetDuration(float* duration) {
        if (duration) *duration = -1.0f;
        return STATUS_NOT_IMPLEMENTED;
    }
};

}  // namespace UMC
