// MPEG-1, MPEG-2 and MPEG-2.5 audio decoder, layers I, II and III, to 16-bit PCM.
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/CodecCommon/AudioDecoderRecord.h"
#include "SDKs/CodecFramework/core/AudioCodec.h"
#include "SDKs/CodecFramework/core/AudioData.h"

namespace UMC {

namespace mpa {
struct State;
}

class MP3DecoderParams : public AudioCodecParams {
    UMC_CLASS_IDENTITY(MP3DecoderParams, AudioCodecParams)
public:
    uint32_t lfe_filter_mode = 0;    // 0 or 1; kept, no effect on the output
    uint32_t check_next_header = 0;  // 1: every frame needs an agreeing header behind it
};

class MP3Decoder : public AudioCodec {
public:
    MP3Decoder() = default;
    ~MP3Decoder() override;

    Status Init(BaseCodecParams* params) override;
    // Decodes at most one frame from input into output.
    Status GetFrame(MediaData* input, MediaData* output) override;
    Status GetInfo(BaseCodecParams* info) override;
    Status Close() override;
    Status Reset() override;
    Status SetParams(BaseCodecParams* params) override;
    Status GetDuration(float* duration) override;

private:
    AudioDecoderRecord<mpa::State> m_record;
    uint32_t m_lfeFilterMode = 0;
    uint32_t m_checkNextHeader = 0;
};

}  // namespace UMC
