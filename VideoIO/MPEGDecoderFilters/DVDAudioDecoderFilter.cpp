#include "VideoIO/MPEGDecoderFilters/DVDAudioDecoderFilter.h"

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/AudioTypes.h"
#include "diagnostics/CheckForms.h"
#include "primitives/Signal.h"

namespace qm_MPEGDecoderFilters {
DVDAudioDecoderFilter::DVDAudioDecoderFilter(HRESULT* phr)
    : TransformDecoderFilter(CLSID_DVDAudioDecoderFilter) {
    CreatePins<DVDAudioDecoderInputPin, DVDAudioDecoderOutputPin>(phr);
    if (SUCCEEDED(*phr) && m_pInput && m_pOutput) InitProcessorDispatch(phr);
}

DVDAudioDecoderFilter::~DVDAudioDecoderFilter() = default;

HRESULT DVDAudioDecoderFilter::CheckInputType(const CMediaType* pmtIn) {
    QMCheckCondition(pmtIn != 0, E_INVALIDARG);
    if (!qm::IsDVDLPCMAudioType(*pmtIn)) return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX* wfx = WaveFormat(*pmtIn);
    if (!wfx || wfx->nChannels != 2 || wfx->wBitsPerSample != 16) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT DVDAudioDecoderFilter::CheckTransform(const CMediaType* pmtIn, const CMediaType* pmtOut) {
    QMCheckCondition(pmtIn != 0, E_INVALIDARG);
    QMCheckCondition(pmtOut != 0, E_INVALIDARG);
    if (!IsEqualGUID(pmtIn->majortype, MEDIATYPE_Audio) || !IsPcmOutputType(*pmtOut))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT DVDAudioDecoderFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) {
    QMCheckCondition(pmt != 0, E_INVALIDARG);
    QMCheckCondition(pmt->majortype == MEDIATYPE_Audio, E_INVALIDARG);
    if (direction == PINDIR_INPUT) {
        m_inputMediaType = *pmt;
    } else if (direction == PINDIR_OUTPUT) {
        if (!IsPcmOutputType(*pmt)) return E_FAIL;
        m_outputMediaType = *pmt;
    }
    return S_OK;
}

HRESULT DVDAudioDecoderFilter::GetMediaType(int position, CMediaType* pmtOut) {
    QMCheckCondition(pmtOut != 0, E_INVALIDARG);
    QMCheckCondition(m_pInput->CurrentMediaType().IsValid(), E_UNEXPECTED);
    if (position < 0) return E_INVALIDARG;
    if (position >= 2) return VFW_S_NO_MORE_ITEMS;
    WORD channels = 2, bits = 16;
    DWORD rate = 44100;
    if (const WAVEFORMATEX* wfx = WaveFormat(m_pInput->CurrentMediaType())) {
        channels = wfx->nChannels;
        rate = wfx->nSamplesPerSec;
        bits = wfx->wBitsPerSample;
    }
    if (position == 0)
        QMCheckHRESULT(
            qm::CreatePcmWaveFormatExType(pmtOut, WAVE_FORMAT_PCM, channels, rate, bits));
    else
        QMCheckHRESULT(
            qm::CreateWaveFormatExtensibleType(pmtOut, WAVE_FORMAT_PCM, channels, rate, bits, 0));
    return S_OK;
}

HRESULT DVDAudioDecoderFilter::DecideBufferSize(IMemAllocator* pMemAlloc,
                                                ALLOCATOR_PROPERTIES* pProperties) {
    // The arguments first: an unconnected filter has no output type to read.
    QMCheckCondition(pMemAlloc != 0, E_INVALIDARG);
    QMCheckCondition(pProperties != 0, E_INVALIDARG);
    const WAVEFORMATEX* wfx = WaveFormat(m_pOutput->CurrentMediaType());
    QMCheckCondition(wfx != 0, E_UNEXPECTED);
    return SetAllocatorProperties(pMemAlloc, pProperties, 10, LONG(wfx->nChannels) * 81920);
}

HRESULT DVDAudioDecoderFilter::Transform(IMediaSample* pIn, IMediaSample* pOut) {
    QMCheckCondition(pIn, E_INVALIDARG);
    QMCheckCondition(pOut, E_INVALIDARG);
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    QMCheckHRESULT(pIn->GetPointer(&src));
    QMCheckHRESULT(pOut->GetPointer(&dst));
    const LONG n = pIn->GetActualDataLength();
    QMCheckCondition(n <= pOut->GetSize(), E_UNEXPECTED);
    const SpStatus status = spSwapBytes16(reinterpret_cast<const uint16_t*>(src),
                                          reinterpret_cast<uint16_t*>(dst), n / 2);
    if (status != 0) QMCheckHRESULTKERNELSTATUS(status);
    QMCheckHRESULT(pOut->SetActualDataLength(n));

    const WAVEFORMATEX* wfx = WaveFormat(m_pInput->CurrentMediaType());
    QMCheckCondition(wfx != 0, E_UNEXPECTED);
    const LONGLONG rate = wfx->nSamplesPerSec;
    const LONGLONG frameBytes = LONGLONG(wfx->wBitsPerSample) * wfx->nChannels / 8;
    QMCheckCondition(rate > 0 && frameBytes > 0, E_UNEXPECTED);
    REFERENCE_TIME start = m_samplePosition * 10000000 / rate;
    m_samplePosition += n / frameBytes;
    REFERENCE_TIME stop = m_samplePosition * 10000000 / rate;
    QMCheckHRESULT(pOut->SetTime(&start, &stop));
    return S_OK;
}

HRESULT DVDAudioDecoderFilter::EndOfStream() {
    return DeliverEndOfStreamDownstream();
}

HRESULT DVDAudioDecoderFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                          double dRate) {
    m_samplePosition = 0;
    m_inputData.Reset();
    m_outputData.Reset();
    return CTransformFilter::NewSegment(tStart, tStop, dRate);
}

}  // namespace qm_MPEGDecoderFilters
