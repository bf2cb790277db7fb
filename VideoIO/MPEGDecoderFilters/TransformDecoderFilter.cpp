#include "VideoIO/MPEGDecoderFilters/TransformDecoderFilter.h"

#include <new>

#include "VideoIO/MPEGDecoderFilters/MediaTypePtr.h"
#include "diagnostics/CheckForms.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace qm_MPEGDecoderFilters {

TransformDecoderFilter::TransformDecoderFilter(REFCLSID clsid)
    : CTransformFilter(nullptr, nullptr, clsid) {}

TransformDecoderFilter::~TransformDecoderFilter() = default;

HRESULT TransformDecoderFilter::QMLogOutOfMemory() {
    return QMLogHRESULT(E_OUTOFMEMORY);
}

void TransformDecoderFilter::LogCreationFailure(HRESULT hr) {
    if (FAILED(hr)) QMLogHRESULT(hr);
}

void TransformDecoderFilter::InitProcessorDispatch(HRESULT* phr) {
    const SpStatus status = spInitProcessorDispatch();
    // Only a failure reaches the creator: a warning (a processor that is not Intel's, one
    // without SSE3) still gives working kernels, and hosts test the creation for S_OK.
    if (status < 0) {
        const HRESULT hr = QMLogHRESULTKERNELSTATUS(status);
        if (phr && *phr == S_OK) *phr = hr;
    }
}

HRESULT STDMETHODCALLTYPE TransformDecoderFilter::Pause() {
    QMCheckCondition(m_pInput != 0, E_UNEXPECTED);
    QMCheckHRESULT(CTransformFilter::Pause());
    return S_OK;
}

HRESULT TransformDecoderFilter::SetAllocatorProperties(IMemAllocator* pMemAlloc,
                                                       ALLOCATOR_PROPERTIES* pProperties,
                                                       LONG cBuffers, LONG cbBuffer) {
    QMCheckCondition(pMemAlloc != 0, E_INVALIDARG);
    QMCheckCondition(pProperties != 0, E_INVALIDARG);
    pProperties->cBuffers = cBuffers;
    pProperties->cbBuffer = cbBuffer;
    ALLOCATOR_PROPERTIES actualProperties = {};
    QMCheckHRESULT(pMemAlloc->SetProperties(pProperties, &actualProperties));
    QMCheckCondition(actualProperties.cbBuffer >= pProperties->cbBuffer, E_UNEXPECTED);
    QMCheckCondition(actualProperties.cBuffers == pProperties->cBuffers, E_UNEXPECTED);
    return S_OK;
}

HRESULT TransformDecoderFilter::CheckReceive(IMediaSample* pSample) {
    QMCheckCondition(pSample != 0, E_INVALIDARG);
    QMCheckCondition(m_pInput != 0, E_UNEXPECTED);
    QMCheckCondition(m_pOutput != 0, E_UNEXPECTED);
    {
        MediaTypePtr attached;
        if (pSample->GetMediaType(attached.Receive()) == S_OK && !attached.IsNull()) {
            CMediaType mt(*attached.Get());
            QMCheckHRESULT(CheckInputType(&mt));
            QMCheckHRESULT(m_pInput->SetMediaType(&mt));
        }
    }
    const HRESULT hr = m_pInput->CheckStreaming();
    if (hr != S_OK) return hr;
    return S_OK;
}

HRESULT TransformDecoderFilter::GetOutputSample(IMediaSample* /*pInputSample*/,
                                                IMediaSample** ppOutSample) {
    QMCheckCondition(ppOutSample != 0, E_POINTER);
    *ppOutSample = nullptr;
    IMediaSample* outSample = nullptr;
    const HRESULT hr = m_pOutput->GetDeliveryBuffer(&outSample, nullptr, nullptr, 0);
    if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) return hr;
    QMCheckHRESULT(hr);
    QMCheckCondition(outSample != 0, E_UNEXPECTED);
    MediaTypePtr mtPtr;
    outSample->GetMediaType(mtPtr.Receive());
    if (!mtPtr.IsNull()) outSample->Release();
    QMCheckCondition(mtPtr.IsNull(), E_UNEXPECTED);
    *ppOutSample = outSample;
    return S_OK;
}

HRESULT TransformDecoderFilter::DecodeIntoSample(UMC::MediaData*, IMediaSample*) {
    return E_UNEXPECTED;
}

HRESULT TransformDecoderFilter::DeliverSample(IMediaSample* pOutSample) {
    if (m_outputTypeChanged) QMCheckHRESULT(pOutSample->SetMediaType(&m_outputMediaType));
    const HRESULT hr = m_pOutput->Deliver(pOutSample);
    if (hr == S_FALSE || hr == VFW_E_SAMPLE_REJECTED || hr == VFW_E_NOT_COMMITTED ||
        hr == VFW_E_WRONG_STATE)
        return hr;
    QMCheckHRESULT(hr);
    m_outputTypeChanged = false;
    return hr;
}

HRESULT TransformDecoderFilter::DecodeAndDeliver(UMC::MediaData* pInput) {
    IMediaSample* pOutSample = nullptr;
    HRESULT hr = GetOutputSample(nullptr, &pOutSample);
    if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) return hr;
    QMCheckHRESULT(hr);

    hr = DecodeIntoSample(pInput, pOutSample);
    if (hr == HR_NO_FRAME || hr == HR_FRAME_TOO_EARLY || hr == HR_FRAME_NO_TIME ||
        hr == HR_FRAME_DROPPED) {
        pOutSample->Release();
        return hr;
    }
    if (FAILED(hr)) {
        pOutSample->Release();
        return QMLogHRESULT(hr);
    }
    if (hr == S_FALSE) {
        pOutSample->Release();
        m_bSampleSkipped = true;
        if (!m_bQualityChanged) {
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            m_bQualityChanged = true;
        }
        return S_FALSE;
    }
    hr = DeliverSample(pOutSample);
    pOutSample->Release();
    return hr;
}

HRESULT TransformDecoderFilter::Drain() {
    if (!m_decoderFed) return S_OK;
    // A decoder holds a few pictures at most; the bound keeps a misbehaving one from looping.
    for (int i = 0; i < kMaxDrainSteps; ++i) {
        const HRESULT hr = DecodeAndDeliver(nullptr);
        if (hr == HR_NO_FRAME || hr == S_FALSE || hr == VFW_E_NOT_COMMITTED ||
            hr == VFW_E_WRONG_STATE)
            return S_OK;
        if (hr == HR_FRAME_TOO_EARLY || hr == HR_FRAME_NO_TIME || hr == HR_FRAME_DROPPED) continue;
        QMCheckHRESULT(hr);
    }
    return S_OK;
}

HRESULT TransformDecoderFilter::DeliverEndOfStreamDownstream() {
    const HRESULT hr = CTransformFilter::EndOfStream();
    if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) return hr;
    QMCheckHRESULT(hr);
    return hr;
}

}  // namespace qm_MPEGDecoderFilters
