// AC-3 to two-channel 16-bit PCM: one output sample per sync frame, stamped from the input
// samples' times (which are required); a change of sampling rate is proposed downstream.
#pragma once

#include "SDKs/CodecFramework/ac3/AC3Decoder.h"
#include "VideoIO/MPEGDecoderFilters/AudioCodecFilter.h"
#include "VideoIO/MPEGDecoderFilters/FilterIds.h"

namespace qm_MPEGDecoderFilters {

class AC3AudioDecoderInputPin : public DecoderInputPin {
public:
    using DecoderInputPin::DecoderInputPin;
};
class AC3AudioDecoderOutputPin : public DecoderOutputPin {
public:
    using DecoderOutputPin::DecoderOutputPin;
};

class AC3AudioDecoderFilter : public AudioCodecFilter, public IAC3AudioDecoder {
public:
    explicit AC3AudioDecoderFilter(HRESULT* phr);
    ~AC3AudioDecoderFilter() override;

    DECLARE_IUNKNOWN

    HRESULT CheckInputType(const CMediaType* pmtIn) override;

    const UMC::AC3DecoderParams& DecoderParams() const { return m_params; }

protected:
    UMC::AudioCodec& Codec() override { return m_decoder; }
    UMC::AudioCodecParams& Params() override { return m_params; }
    HRESULT OnInputTypeSet() override;

private:
    UMC::AC3Decoder m_decoder;
    UMC::AC3DecoderParams m_params;
};

}  // namespace qm_MPEGDecoderFilters
