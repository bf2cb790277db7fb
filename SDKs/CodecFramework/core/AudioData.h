// Decoded audio: the byte container plus the description of its PCM.
#pragma once

#include "SDKs/CodecFramework/core/MediaData.h"

namespace UMC {

class AudioData : public MediaData {
    UMC_CLASS_IDENTITY(AudioData, MediaData)

public:
    AudioData() = default;
    AudioData(const AudioData&) = default;
    AudioData& operator=(const AudioData&) = default;

    int32_t m_iChannels = 0;
    int32_t m_iSampleFrequency = 0;
    int32_t m_iBitPerSample = 0;
    uint32_t m_iChannelMask = 0;
};

}  // namespace UMC
