// MPEG-4 Part 2 video (the DivX/XviD FOURCCs, with the VOL in the format block or in the stream)
// to uncompressed pictures. Output pictures are timed by a running clock seeded from the first
// marked input sample, not by the input samples' times.
#pragma once

#include <vector>

#include "SDKs/CodecFramework/core/VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg4video/MPEG4VideoDecoder.h"
#include "VideoIO/MPEGDecoderFilters/FilterIds.h"
#include "VideoIO/MPEGDecoderFilters/VideoCodecFilter.h"

namespace qm_MPEGDecoderFilters {

class MPEG4VideoDecoderInputPin : public DecoderInputPin {
public:
    using DecoderInputPin::DecoderInputPin;
};

class MPEG4VideoDecoderOutputPin : public DecoderOutputPin {
public:
    using DecoderOutputPin::DecoderOutputPin;
};

class MPEG4VideoDecoderFilter : public VideoCodecFilter, public IMPEG4VideoDecoder {
public:
    explicit MPEG4VideoDecoderFilter(HRESULT* phr);
    ~MPEG4VideoDecoderFilter() override;

    DECLARE_IUNKNOWN

    HRESULT CheckInputType(const CMediaType* pmtIn) override;
    HRESULT GetMediaType(int position, CMediaType* pmtOut) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    const GUID& PreferredSubtype() const { return m_preferredSubtype; }
    const std::vector<GUID>& OutputSubtypes() const { return m_outputSubtypes; }
    const UMC::VideoDecoderParams& DecoderParams() const { return m_params; }
    REFERENCE_TIME NextStartTime() const { return m_nextStartTime; }

protected:
    UMC::VideoDecoder& Decoder() override { return m_decoder; }
    HRESULT DecodeIntoSample(UMC::MediaData* pInput, IMediaSample* pOutSample) override;

private:
    HRESULT SetInputMediaType(const CMediaType* pmt);
    HRESULT FollowOutputFormat();

    UMC::MPEG4VideoDecoder m_decoder;
    UMC::VideoDecoderParams m_params;
    DWORD m_outputInterlaceFlags = 0;
    DWORD m_outputAspectRatio[2] = {0, 0};
    bool m_outputBottomUp = false;
    REFERENCE_TIME m_outputFrameDuration = 0;
    REFERENCE_TIME m_nextStartTime = -1;
    GUID m_preferredSubtype = GUID_NULL;
    std::vector<GUID> m_outputSubtypes;
};

}  // namespace qm_MPEGDecoderFilters
