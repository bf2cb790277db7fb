#include "platform/dshow/Transform.h"

#include <atomic>
#include <new>

// ---------------------------------------------------------------------------- CTransformFilter

CTransformFilter::CTransformFilter(LPCTSTR pName, LPUNKNOWN pUnk, REFCLSID clsid)
    : CBaseFilter(pName, pUnk, &m_csFilter, clsid),
      m_bEOSDelivered(false),
      m_bSampleSkipped(false),
      m_bQualityChanged(false),
      m_pInput(nullptr),
      m_pOutput(nullptr) {}

CTransformFilter::~CTransformFilter() {
    delete m_pInput;
    delete m_pOutput;
}

CBasePin* CTransformFilter::GetPin(int n) {
    if (m_pInput == nullptr) {
        HRESULT hr = S_OK;
        m_pInput = new (std::nothrow)
            CTransformInputPin(NAME("Transform input pin"), this, &hr, TEXT("XForm In"));
        if (m_pInput == nullptr || FAILED(hr)) {
            delete m_pInput;
            m_pInput = nullptr;
            return nullptr;
        }
        m_pOutput = new (std::nothrow)
            CTransformOutputPin(NAME("Transform output pin"), this, &hr, TEXT("XForm Out"));
        if (m_pOutput == nullptr || FAILED(hr)) {
            delete m_pOutput;
            m_pOutput = nullptr;
            delete m_pInput;
            m_pInput = nullptr;
            return nullptr;
        }
    }
    if (n == 0) return m_pInput;
    if (n == 1) return m_pOutput;
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CTransformFilter::Stop() {
    CAutoLock lockFilter(&m_csFilter);
    if (m_State == State_Stopped) return S_OK;
    if (m_pInput == nullptr || !m_pInput->IsConnected() || !m_pOutput->IsConnected()) {
        std::atomic_ref<FILTER_STATE>(m_State).store(State_Stopped);
        m_bEOSDelivered = false;
        return S_OK;
    }
    // Decommit the input allocator first so that a blocked Receive returns, then stop the
    // streaming side under the receive lock.
    m_pInput->Inactive();
    CAutoLock lockReceive(&m_csReceive);
    m_pOutput->Inactive();
    HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) {
        hr = CBaseFilter::Stop();
        m_bEOSDelivered = false;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CTransformFilter::Pause() {
    CAutoLock lockFilter(&m_csFilter);
    HRESULT hr = S_OK;
    if (m_State == State_Paused) {
        // Nothing to do.
    } else if (m_pInput == nullptr || !m_pInput->IsConnected()) {
        // Nothing will come in: tell downstream at once.
        if (m_pOutput && !m_bEOSDelivered) {
            m_pOutput->DeliverEndOfStream();
            m_bEOSDelivered = true;
        }
        std::atomic_ref<FILTER_STATE>(m_State).store(State_Paused);
    } else if (!m_pOutput->IsConnected()) {
        std::atomic_ref<FILTER_STATE>(m_State).store(State_Paused);
    } else {
        if (m_State == State_Stopped) {
            CAutoLock lockReceive(&m_csReceive);
            hr = StartStreaming();
        }
        if (SUCCEEDED(hr)) hr = CBaseFilter::Pause();
    }
    m_bSampleSkipped = false;
    m_bQualityChanged = false;
    return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*) {
    return E_UNEXPECTED;
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* pSample,
                                                 IMediaSample** ppOutSample) {
    if (!pSample || !ppOutSample) return E_POINTER;
    *ppOutSample = nullptr;
    const AM_SAMPLE2_PROPERTIES* props = m_pInput->SampleProps();
    const DWORD flags = (m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0) |
                        ((props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT) ? 0 : AM_GBF_NOTASYNCPOINT);
    IMediaSample* out = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(
        &out,
        (props->dwSampleFlags & AM_SAMPLE_TIMEVALID) ? const_cast<REFERENCE_TIME*>(&props->tStart)
                                                     : nullptr,
        (props->dwSampleFlags & AM_SAMPLE_STOPVALID) ? const_cast<REFERENCE_TIME*>(&props->tStop)
                                                     : nullptr,
        flags);
    if (FAILED(hr)) return hr;
    if (!out) return E_UNEXPECTED;

    REFERENCE_TIME start = props->tStart, stop = props->tStop;
    if (props->dwSampleFlags & AM_SAMPLE_STOPVALID)
        out->SetTime(&start, &stop);
    else if (props->dwSampleFlags & AM_SAMPLE_TIMEVALID)
        out->SetTime(&start, nullptr);
    else
        out->SetTime(nullptr, nullptr);
    out->SetSyncPoint((props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT) != 0);
    // A skipped sample before this one is a break in the data for the receiver.
    out->SetDiscontinuity(m_bSampleSkipped || (props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY));
    out->SetPreroll((props->dwSampleFlags & AM_SAMPLE_PREROLL) != 0);
    LONGLONG mediaStart, mediaStop;
    if (pSample->GetMediaTime(&mediaStart, &mediaStop) == S_OK)
        out->SetMediaTime(&mediaStart, &mediaStop);
    *ppOutSample = out;
    return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* pSample) {
    const AM_SAMPLE2_PROPERTIES* props = m_pInput->SampleProps();
    if (props->dwStreamId != AM_STREAM_MEDIA) return m_pOutput->Deliver(pSample);

    IMediaSample* out = nullptr;
    HRESULT hr = InitializeOutputSample(pSample, &out);
    if (FAILED(hr)) return hr;
    hr = Transform(pSample, out);
    if (hr == S_OK) {
        hr = m_pOutput->Deliver(out);
        m_bSampleSkipped = false;
    } else if (hr == S_FALSE) {
        out->Release();
        m_bSampleSkipped = true;
        if (!m_bQualityChanged) {
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            m_bQualityChanged = true;
        }
        return S_OK;
    }
    out->Release();
    return hr;
}

HRESULT CTransformFilter::EndOfStream() {
    return m_pOutput ? m_pOutput->DeliverEndOfStream() : S_OK;
}

HRESULT CTransformFilter::BeginFlush() {
    return m_pOutput ? m_pOutput->DeliverBeginFlush() : S_OK;
}

HRESULT CTransformFilter::EndFlush() {
    return m_pOutput ? m_pOutput->DeliverEndFlush() : S_OK;
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    return m_pOutput ? m_pOutput->DeliverNewSegment(tStart, tStop, dRate) : S_OK;
}

// -------------------------------------------------------------------------- CTransformInputPin

CTransformInputPin::CTransformInputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter,
                                       HRESULT* phr, LPCWSTR pName)
    : CBaseInputPin(pObjectName, pTransformFilter, &pTransformFilter->m_csFilter, phr, pName),
      m_pTransformFilter(pTransformFilter) {}

HRESULT CTransformInputPin::CheckConnect(IPin* pPin) {
    const HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pPin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CheckConnect(pPin);
}

HRESULT CTransformInputPin::BreakConnect() {
    m_pTransformFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* pReceivePin) {
    const HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, pReceivePin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* mtIn) {
    HRESULT hr = m_pTransformFilter->CheckInputType(mtIn);
    if (hr != S_OK) return hr;
    if (m_pTransformFilter->m_pOutput && m_pTransformFilter->m_pOutput->IsConnected())
        return m_pTransformFilter->CheckTransform(
            mtIn, &m_pTransformFilter->m_pOutput->CurrentMediaType());
    return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* mt) {
    const HRESULT hr = CBasePin::SetMediaType(mt);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_INPUT, mt);
}

HRESULT CTransformInputPin::CheckStreaming() {
    if (!m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    return CBaseInputPin::CheckStreaming();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndOfStream() {
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CheckStreaming();
    if (hr == S_OK) hr = m_pTransformFilter->EndOfStream();
    return hr;
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::BeginFlush() {
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    const HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->BeginFlush();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndFlush() {
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    const HRESULT hr = m_pTransformFilter->EndFlush();
    if (FAILED(hr)) return hr;
    return CBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::NewSegment(REFERENCE_TIME tStart,
                                                         REFERENCE_TIME tStop, double dRate) {
    CBasePin::NewSegment(tStart, tStop, dRate);
    return m_pTransformFilter->NewSegment(tStart, tStop, dRate);
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::Receive(IMediaSample* pSample) {
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr == S_OK) hr = m_pTransformFilter->Receive(pSample);
    return hr;
}

// ------------------------------------------------------------------------- CTransformOutputPin

CTransformOutputPin::CTransformOutputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter,
                                         HRESULT* phr, LPCWSTR pName)
    : CBaseOutputPin(pObjectName, pTransformFilter, &pTransformFilter->m_csFilter, phr, pName),
      m_pTransformFilter(pTransformFilter) {}

HRESULT CTransformOutputPin::CheckConnect(IPin* pPin) {
    if (!m_pTransformFilter->m_pInput->IsConnected()) return E_UNEXPECTED;
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pPin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CheckConnect(pPin);
}

HRESULT CTransformOutputPin::BreakConnect() {
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* pReceivePin) {
    const HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, pReceivePin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
    return m_pTransformFilter->DecideBufferSize(pAlloc, pProp);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* mtOut) {
    if (!m_pTransformFilter->m_pInput->IsConnected()) return E_INVALIDARG;
    return m_pTransformFilter->CheckTransform(&m_pTransformFilter->m_pInput->CurrentMediaType(),
                                              mtOut);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* pmt) {
    const HRESULT hr = CBasePin::SetMediaType(pmt);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, pmt);
}

HRESULT CTransformOutputPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (m_pTransformFilter->m_pInput->IsConnected())
        return m_pTransformFilter->GetMediaType(iPosition, pMediaType);
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT STDMETHODCALLTYPE CTransformOutputPin::Notify(IBaseFilter*, Quality q) {
    const HRESULT hr = m_pTransformFilter->AlterQuality(q);
    if (hr != S_FALSE) return hr;
    return m_pTransformFilter->m_pInput->PassNotify(q);
}
