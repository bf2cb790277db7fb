// What the video codec filters (MPEG-2, MPEG-4) share on top of TransformDecoderFilter: the
// output check against the colour-format table, ten output buffers of the output type's size,
// closing the codec when the input is disconnected, and draining it at end of stream.
#pragma once

#include "SDKs/CodecFramework/core/VideoDecoder.h"
#include "VideoIO/MPEGDecoderFilters/TransformDecoderFilter.h"

namespace qm_MPEGDecoderFilters {

class VideoCodecFilter : public TransformDecoderFilter {
public:
    using TransformDecoderFilter::TransformDecoderFilter;

    HRESULT CheckTransform(const CMediaType* pmtIn, const CMediaType* pmtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* pMemAlloc, ALLOCATOR_PROPERTIES* pProperties) override;
    HRESULT BreakConnect(PIN_DIRECTION direction) override;
    HRESULT EndOfStream() override;

protected:
    virtual UMC::VideoDecoder& Decoder() = 0;
};

}  // namespace qm_MPEGDecoderFilters
