// MPEG-1/2/2.5 audio of layers I to III to 16-bit PCM: one output sample per decoded frame,
// stamped from the codec's running clock; format changes found in the stream are proposed
// downstream after the first frame.
#pragma once

#include "SDKs/CodecFramework/mpegaudio/MP3Decoder.h"
#include "VideoIO/MPEGDecoderFilters/FilterIds.h"
#include "VideoIO/MPEGDecoderFilters/TransformDecoderFilter.h"

namespace qm_MPEGDecoderFilters {

class MPEGAudioDecoderInputPin : public DecoderInputPin {
public:
    using DecoderInputPin::DecoderInputPin;
};
class MPEGAudioDecoderOutputPin : public DecoderOutputPin {
public:
    using DecoderOutputPin::DecoderOutputPin;
};

class MPEGAudioDecoderFilter : public TransformDecoderFilter, public IMPEGAudioDecoder {
public:
    explicit MPEGAudioDecoderFilter(HRESULT* phr);
    ~MPEGAudioDecoderFilter() override;

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

    const UMC::MP3DecoderParams& DecoderParams() const { return m_params; }

private:
    // One decoded frame into one output sample, delivered.
    HRESULT DecodeStep();
    HRESULT FollowOutputFormat();
    // Moves the pending bytes to the start of the other buffer (grown to hold `extra` more)
    // and makes it current.
    HRESULT SwitchBuffers(size_t extra);
    UMC::MediaData& Current() { return m_buffers[m_current]; }

    UMC::MP3Decoder m_decoder;
    UMC::MP3DecoderParams m_params;
    int m_current = 0;
    // Set while the filter itself switches the output to the format found in the stream: the
    // codec already decodes that format and must keep its clock and state.
    bool m_followingStream = false;
    UMC::MediaData m_buffers[2];
};

}  // namespace qm_MPEGDecoderFilters
