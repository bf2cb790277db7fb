// What the MPEG audio and AC-3 filters share: a frame-at-a-time audio codec decoding to 16-bit
// PCM. The PCM output types at the input's channels and rate, buffer sizing, two input buffers
// the pending bytes move between, one output sample per decoded frame stamped from the codec,
// and proposing the format found in the stream downstream. Each filter adds its input types,
// codec, codec parameters and its rules for input times.
#pragma once

#include "SDKs/CodecFramework/core/AudioCodec.h"
#include "VideoIO/MPEGDecoderFilters/TransformDecoderFilter.h"

namespace qm_MPEGDecoderFilters {

class AudioCodecFilter : public TransformDecoderFilter {
public:
    HRESULT CheckTransform(const CMediaType* pmtIn, const CMediaType* pmtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* pMemAlloc, ALLOCATOR_PROPERTIES* pProperties) override;
    HRESULT GetMediaType(int position, CMediaType* pmtOut) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT BreakConnect(PIN_DIRECTION direction) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

protected:
    struct Rules {
        // Samples without times fail: the codec stamps its frames from the input times rather
        // than running its own clock.
        bool inputTimesRequired = false;
        // Following the stream's format keeps the codec's clock and state; otherwise the codec
        // is initialised again for the new output type.
        bool keepCodecOnFormatFollow = false;
        // After end of stream an undecodable tail is passed over instead of aborting.
        bool passInvalidTailAfterEnd = false;
    };

    AudioCodecFilter(REFCLSID clsid, Rules rules);

    virtual UMC::AudioCodec& Codec() = 0;
    virtual UMC::AudioCodecParams& Params() = 0;
    // After the codec was initialised for a new input type: lets a filter adjust the
    // description the output types are offered from.
    virtual HRESULT OnInputTypeSet() { return S_OK; }

private:
    // One decoded frame into one output sample, delivered.
    HRESULT DecodeStep();
    HRESULT FollowOutputFormat();
    // Moves the pending bytes to the start of the other buffer (grown to hold `extra` more)
    // and makes it current.
    HRESULT SwitchBuffers(size_t extra);
    UMC::MediaData& Current() { return m_buffers[m_current]; }

    const Rules m_rules;
    int m_current = 0;
    UMC::MediaData m_buffers[2];
    // Set while the filter itself switches the output to the format found in the stream.
    bool m_followingStream = false;
    bool m_endOfStream = false;
};

}  // namespace qm_MPEGDecoderFilters
