// AC-3 (ATSC A/52) decoder to interleaved 16-bit PCM, 1536 samples per channel per sync frame.
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/CodecCommon/AudioDecoderRecord.h"
#include "SDKs/CodecFramework/core/AudioCodec.h"
#include "SDKs/CodecFramework/core/AudioData.h"

namespace UMC {

namespace ac3 {
struct State;
}

class AC3DecoderParams : public AudioCodecParams {
    UMC_CLASS_IDENTITY(AC3DecoderParams, AudioCodecParams)
public:
    uint32_t dual_mono_mode = 0;  // 0 both, 1 first, 2 second, 3 mixed
    uint32_t output_config = 0;   // acmod coding of the output (0 = Lt/Rt stereo); 8 = as coded
    uint32_t output_lfe = 0;
    uint32_t drc_mode = 0;      // 0..3
    int32_t stereo_mode = 3;    // -1..3
    uint32_t conceal_mode = 0;  // 0 continue the overlap, 1 silence
    float drc_boost_scale = 1.0f;
    float drc_cut_scale = 1.0f;
    float output_gain = 1.0f;
};

class AC3Decoder : public AudioCodec {
    UMC_CLASS_IDENTITY(AC3Decoder, AudioCodec)
public:
    AC3Decoder() = default;
    ~AC3Decoder() override;

    Status Init(BaseCodecParams* params) override;
    // Decodes at most one sync frame from input into output.
    Status GetFrame(MediaData* input, MediaData* output) override;
    Status GetInfo(BaseCodecParams* info) override;
    Status Close() override;
    Status Reset() override;
    Status SetParams(BaseCodecParams* params) override;
    Status GetDuration(float* duration) override;

private:
    AudioDecoderRecord<ac3::State> m_record;
};

}  // namespace UMC
