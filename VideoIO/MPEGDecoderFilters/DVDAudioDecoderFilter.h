// DVD linear PCM (16-bit, two channels, big-endian words) to little-endian PCM: a byte swap in
// the base class's Transform path, with times computed from a running sample-frame count.
#pragma once

#include "SDKs/CodecFramework/core/MediaData.h"
#include "VideoIO/MPEGDecoderFilters/FilterIds.h"
#include "VideoIO/MPEGDecoderFilters/TransformDecoderFilter.h"

namespace qm_MPEGDecoderFilters {

class DVDAudioDecoderInputPin : public DecoderInputPin {
public:
    using DecoderInputPin::DecoderInputPin;
};
class DVDAudioDecoderOutputPin : public DecoderOutputPin {
public:
    using DecoderOutputPin::DecoderOutputPin;
};

class DVDAudioDecoderFilter : public TransformDecoderFilter, public IDVDAudioDecoder {
public:
    explicit DVDAudioDecoderFilter(HRESULT* phr);
    ~DVDAudioDecoderFilter() override;

    DECLARE_IUNKNOWN

    HRESULT CheckInputType(const CMediaType* pmtIn) override;
    HRESULT CheckTransform(const CMediaType* pmtIn, const CMediaType* pmtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* pMemAlloc, ALLOCATOR_PROPERTIES* pProperties) override;
    HRESULT GetMediaType(int position, CMediaType* pmtOut) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // Sample frames output since the last NewSegment.
    LONGLONG SamplePosition() const { return m_samplePosition; }

private:
    UMC::MediaData m_inputData;
    UMC::MediaData m_outputData;
    LONGLONG m_samplePosition = 0;
};

}  // namespace qm_MPEGDecoderFilters
