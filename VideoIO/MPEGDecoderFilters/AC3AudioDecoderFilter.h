// AC-3 to two-channel 16-bit PCM: one output sample per sync frame, stamped from the input
// samples' times (which are required); a change of sampling rate is proposed downstream.
#pragma once

#include "SDKs/CodecFramework/ac3/AC3Decoder.h"
#include "VideoIO/MPEGDecoderFilters/FilterIds.h"
#include "VideoIO/MPEGDecoderFilters/TransformDecoderFilter.h"

namespace qm_MPEGDecoderFilters {

class AC3AudioDecoderInputPin : public DecoderInputPin {
public:
    using DecoderInputPin::DecoderInputPin;
};
class AC3AudioDecoderOutputPin : public DecoderOutputPin {
public:
    using DecoderOutputPin::DecoderOutputPin;
};

class AC3AudioDecoderFilter : public TransformDecoderFilter, public IAC3AudioDecoder {
public:
    explicit AC3AudioDecoderFilter(HRESULT* phr);
    ~AC3AudioDecoderFilter() override;

    DECLARE_IUNKNOWN

    HRESULT CheckInputType(const CMediaType* pmtIn) override;
    HRESULT CheckTransform(const CMediaType* pmtIn, const CMediaType* pmtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* pMemAlloc, ALLOCATOR_PROPERTIES* pProperties) override;
    HRESULT GetMediaType(int position, CMediaType* pmtOut) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT BreakConnect(PIN_DIRECTION direction) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    const UMC::AC3DecoderParams& DecoderParams() const { return m_params; }

private:
    HRESULT DecodeStep();
    HRESULT FollowOutputFormat();
    // Moves the pending bytes to the start of the other buffer (grown to hold `extra` more)
    // and makes it current.
    HRESULT SwitchBuffers(size_t extra);
    UMC::MediaData& Current() { return m_buffers[m_current]; }

    UMC::AC3Decoder m_decoder;
    UMC::AC3DecoderParams m_params;
    int m_current = 0;
    UMC::MediaData m_buffers[2];
    bool m_endOfStream = false;
};

}  // namespace qm_MPEGDecoderFilters
