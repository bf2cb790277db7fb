// What the decoder filters share on top of CTransformFilter: their pins, the media-type copies,
// buffer sizing checks, output samples, the decode-and-deliver step with its private results,
// draining at end of stream, and Pause. Each filter adds its media types, codec and decode step.
#pragma once

#include <new>

#include "SDKs/CodecFramework/core/MediaData.h"
#include "VideoIO/MPEGDecoderFilters/DecoderPins.h"
#include "VideoIO/MPEGDecoderFilters/FilterResults.h"
#include "platform/dshow/DShow.h"

namespace qm_MPEGDecoderFilters {

class TransformDecoderFilter : public CTransformFilter {
public:
    TransformDecoderFilter(REFCLSID clsid);
    ~TransformDecoderFilter() override;

    // Pause needs the input pin; the base class clears the skip and quality flags.
    HRESULT STDMETHODCALLTYPE Pause() override;

    // An empty output sample from the downstream allocator. A sample that carries a media type
    // (a format change proposed downstream) is refused with E_UNEXPECTED.
    virtual HRESULT GetOutputSample(IMediaSample* pInputSample, IMediaSample** ppOutSample);

protected:
    // Creates the two pins; a pin whose construction fails is destroyed and hr carries why.
    template <class InputPin, class OutputPin>
    void CreatePins(HRESULT* phr) {
        CreatePin<InputPin>(phr, &m_pInput, TEXT("Decoder input pin"));
        if (FAILED(*phr) || !m_pInput) return;
        CreatePin<OutputPin>(phr, &m_pOutput, TEXT("Decoder output pin"));
    }
    // Chooses the processor class of the kernels; a failure is only reported.
    void InitProcessorDispatch(HRESULT* phr);

    // Asks pMemAlloc for cBuffers buffers of cbBuffer bytes and checks what it granted.
    HRESULT SetAllocatorProperties(IMemAllocator* pMemAlloc, ALLOCATOR_PROPERTIES* pProperties,
                                   LONG cBuffers, LONG cbBuffer);

    // Receive steps shared by the codec filters: arguments, a format change attached to the
    // sample, and the input pin's streaming state (whose result comes back unreported).
    HRESULT CheckReceive(IMediaSample* pSample);

    // One decoded unit: an output sample, the filter's DecodeIntoSample, then delivery.
    // pInput null means draining.
    HRESULT DecodeAndDeliver(UMC::MediaData* pInput);
    // Decodes into an output sample; S_OK delivers it, S_FALSE skips it, the private results
    // return as they are.
    virtual HRESULT DecodeIntoSample(UMC::MediaData* pInput, IMediaSample* pOutSample);

    // Delivers with the changed output type attached when the type changed.
    HRESULT DeliverSample(IMediaSample* pOutSample);

    // Drains a video codec at end of stream.
    HRESULT Drain();
    static constexpr int kMaxDrainSteps = 64;
    // The base EndOfStream with the result handling of every filter.
    HRESULT DeliverEndOfStreamDownstream();

    CMediaType m_outputMediaType;
    CMediaType m_inputMediaType;
    bool m_outputTypeChanged = false;
    bool m_decoderFed = false;

private:
    template <class Pin, class Base>
    void CreatePin(HRESULT* phr, Base** slot, LPCTSTR name) {
        Pin* pin = new (std::nothrow) Pin(name, this, phr);
        if (!pin) {
            *phr = QMLogOutOfMemory();
            return;
        }
        if (*phr != S_OK) {
            LogCreationFailure(*phr);
            delete pin;
            *slot = nullptr;
            return;
        }
        *slot = pin;
    }
    HRESULT QMLogOutOfMemory();
    void LogCreationFailure(HRESULT hr);
};

}  // namespace qm_MPEGDecoderFilters
