#include "tools/qmdecode/StreamSink.h"

#include <new>

namespace qmdecode {

class StreamSink::InputPinImpl : public CBaseInputPin {
public:
    InputPinImpl(StreamSink* sink, HRESULT* phr)
        : CBaseInputPin(NAME("Stream sink input"), sink, &sink->m_lock, phr, TEXT("Input")),
          m_sink(sink) {}

    HRESULT CheckMediaType(const CMediaType* pmt) override {
        for (const CMediaType& t : m_sink->m_accepted)
            if (IsEqualGUID(t.majortype, pmt->majortype) && IsEqualGUID(t.subtype, pmt->subtype))
                return S_OK;
        return S_FALSE;
    }

    HRESULT GetMediaType(int position, CMediaType* pmt) override {
        if (position < 0) return E_INVALIDARG;
        if (size_t(position) >= m_sink->m_accepted.size()) return VFW_S_NO_MORE_ITEMS;
        return pmt->Set(m_sink->m_accepted[size_t(position)]);
    }

    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* pSample) override {
        HRESULT hr = CBaseInputPin::Receive(pSample);
        if (hr != S_OK) return hr;
        BYTE* data = nullptr;
        hr = pSample->GetPointer(&data);
        if (FAILED(hr)) return hr;
        SinkSample s{};
        s.data = data;
        s.length = pSample->GetActualDataLength();
        s.hasTime = SUCCEEDED(pSample->GetTime(&s.start, &s.stop));
        AM_MEDIA_TYPE* changed = nullptr;
        if (pSample->GetMediaType(&changed) == S_OK && changed) {
            m_mt = *changed;
            s.newType = changed;
        }
        hr = m_sink->m_onSample(s);
        if (changed) DeleteMediaType(changed);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE EndOfStream() override {
        ++m_sink->m_endOfStream;
        m_sink->NotifyEvent(EC_COMPLETE, S_OK, 0);
        return S_OK;
    }

private:
    StreamSink* m_sink;
};

StreamSink::StreamSink(const std::vector<CMediaType>& accepted,
                       std::function<HRESULT(const SinkSample&)> onSample)
    : CBaseFilter(NAME("Stream sink"), nullptr, &m_lock, GUID_NULL),
      m_accepted(accepted),
      m_onSample(std::move(onSample)) {}

StreamSink::~StreamSink() {
    delete m_pin;
}

HRESULT StreamSink::Create(const std::vector<CMediaType>& accepted,
                           std::function<HRESULT(const SinkSample&)> onSample,
                           StreamSink** ppSink) {
    if (!ppSink) return E_POINTER;
    auto* sink = new (std::nothrow) StreamSink(accepted, std::move(onSample));
    if (!sink) return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    sink->m_pin = new (std::nothrow) InputPinImpl(sink, &hr);
    if (!sink->m_pin || FAILED(hr)) {
        const HRESULT failure = sink->m_pin ? hr : E_OUTOFMEMORY;
        delete sink;
        return failure;
    }
    sink->NonDelegatingAddRef();
    *ppSink = sink;
    return S_OK;
}

CBasePin* StreamSink::GetPin(int n) {
    return n == 0 ? m_pin : nullptr;
}

IPin* StreamSink::InputPin() {
    return m_pin;
}

#ifdef _WIN32
HRESULT StreamSink::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (IsEqualIID(riid, IID_IAMFilterMiscFlags)) return GetInterface(&m_rendererFlag, ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}
#endif

const CMediaType& StreamSink::ConnectionType() {
    return m_pin->CurrentMediaType();
}

}  // namespace qmdecode
