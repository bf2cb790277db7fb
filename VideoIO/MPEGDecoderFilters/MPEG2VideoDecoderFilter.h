// MPEG-1 and MPEG-2 video elementary streams to uncompressed pictures in one of 20 formats,
// time-stamped, with output type changes on interlace or aspect changes and reverse playback
// (rate -1 in NewSegment, backward sections announced through ISubSegment on the input pin).
#pragma once

#include "SDKs/CodecFramework/core/VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"
#include "VideoIO/MPEGDecoderFilters/FilterIds.h"
#include "VideoIO/MPEGDecoderFilters/PictureAssembler.h"
#include "VideoIO/MPEGDecoderFilters/SubSegment.h"
#include "VideoIO/MPEGDecoderFilters/VideoCodecFilter.h"

namespace qm_MPEGDecoderFilters {

class MPEG2VideoDecoderFilter;

class MPEG2VideoDecoderInputPin : public DecoderInputPin, public ISubSegment {
public:
    MPEG2VideoDecoderInputPin(LPCTSTR objectName, CTransformFilter* pFilter, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE NewSubSegment(REFERENCE_TIME tStart, double dRate) override;

private:
    MPEG2VideoDecoderFilter* m_pDecoderFilter;
};

class MPEG2VideoDecoderOutputPin : public DecoderOutputPin {
public:
    using DecoderOutputPin::DecoderOutputPin;
};

class MPEG2VideoDecoderFilter : public VideoCodecFilter, public IMPEG2VideoDecoder {
public:
    explicit MPEG2VideoDecoderFilter(HRESULT* phr);
    ~MPEG2VideoDecoderFilter() override;

    DECLARE_IUNKNOWN

    HRESULT CheckInputType(const CMediaType* pmtIn) override;
    HRESULT GetMediaType(int position, CMediaType* pmtOut) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT BreakConnect(PIN_DIRECTION direction) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;
    HRESULT EndFlush() override;
    HRESULT StopStreaming() override;

    // A backward-played section begins: held pictures are delivered, the decoder is reset and
    // the notice goes downstream.
    HRESULT NewSubSegment(REFERENCE_TIME tStart, double dRate);

    double Rate() const { return m_dRate; }
    const GUID& PreferredSubtype() const { return m_preferredSubtype; }
    const UMC::VideoDecoderParams& DecoderParams() const { return m_params; }

protected:
    UMC::VideoDecoder& Decoder() override { return m_decoder; }
    HRESULT DecodeIntoSample(UMC::MediaData* pInput, IMediaSample* pOutSample) override;

private:
    HRESULT SetInputMediaType(const CMediaType* pmt);
    HRESULT FollowOutputFormat(const UMC::VideoData& picture);
    // A sequence header with another picture size: held pictures go out, then the output type
    // changes to the new size when downstream takes it.
    HRESULT FollowPictureSize(const uint8_t* unit, size_t size);
    void ResetDecoder();
    // Decodes the pictures gathered so far; `final` when the input ends after them.
    HRESULT DecodePictures(bool final);

    UMC::MPEG2VideoDecoder m_decoder;
    PictureAssembler m_pictures;
    UMC::VideoDecoderParams m_params;
    DWORD m_outputInterlaceFlags = 0;
    // RGB with a positive height: rows go bottom-up in the sample (what renderers propose).
    bool m_outputBottomUp = false;
    DWORD m_outputAspectRatio[2] = {0, 0};
    LONG m_sequenceSize[2] = {0, 0};  // picture size of the last sequence header (or input type)
    GUID m_preferredSubtype = GUID_NULL;
    double m_dRate = 1.0;
};

}  // namespace qm_MPEGDecoderFilters
