// MPEG-1/2/2.5 audio of layers I to III to 16-bit PCM: one output sample per decoded frame,
// stamped from the codec's running clock; format changes found in the stream are proposed
// downstream after the first frame.
#pragma once

#include "SDKs/CodecFramework/mpegaudio/MP3Decoder.h"
#include "VideoIO/MPEGDecoderFilters/AudioCodecFilter.h"
#include "VideoIO/MPEGDecoderFilters/FilterIds.h"

namespace qm_MPEGDecoderFilters {

class MPEGAudioDecoderInputPin : public DecoderInputPin {
public:
    using DecoderInputPin::DecoderInputPin;
};
class MPEGAudioDecoderOutputPin : public DecoderOutputPin {
public:
    using DecoderOutputPin::DecoderOutputPin;
};

class MPEGAudioDecoderFilter : public AudioCodecFilter, public IMPEGAudioDecoder {
public:
    explicit MPEGAudioDecoderFilter(HRESULT* phr);
    ~MPEGAudioDecoderFilter() override;

    DECLARE_IUNKNOWN

    HRESULT CheckInputType(const CMediaType* pmtIn) override;

    const UMC::MP3DecoderParams& DecoderParams() const { return m_params; }

protected:
    UMC::AudioCodec& Codec() override { return m_decoder; }
    UMC::AudioCodecParams& Params() override { return m_params; }

private:
    UMC::MP3Decoder m_decoder;
    UMC::MP3DecoderParams m_params;
};

}  // namespace qm_MPEGDecoderFilters
