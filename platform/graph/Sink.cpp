#include "platform/graph/Sink.h"

#include <algorithm>
#include <new>

namespace qm::graph {

// The standard memory allocator with the sink's restrictions applied.
class Sink::OwnAllocator : public CMemAllocator {
public:
    OwnAllocator(const SinkAllocatorOptions& options, HRESULT* phr)
        : CMemAllocator(NAME("Sink allocator"), nullptr, phr), m_options(options) {}

    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                            ALLOCATOR_PROPERTIES* pActual) override {
        if (!pRequest) return E_POINTER;
        ALLOCATOR_PROPERTIES request = *pRequest;
        if (m_options.maxBuffers)
            request.cBuffers = std::min(request.cBuffers, *m_options.maxBuffers);
        if (m_options.minBufferSize)
            request.cbBuffer = std::max(request.cbBuffer, *m_options.minBufferSize);
        return CMemAllocator::SetProperties(&request, pActual);
    }

    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStart,
                                        REFERENCE_TIME* pEnd, DWORD dwFlags) override {
        HRESULT hr = CMemAllocator::GetBuffer(ppBuffer, pStart, pEnd, dwFlags);
        if (SUCCEEDED(hr) && m_options.attachedType) {
            hr = (*ppBuffer)->SetMediaType(&*m_options.attachedType);
            if (FAILED(hr)) {
                (*ppBuffer)->Release();
                *ppBuffer = nullptr;
            }
        }
        return hr;
    }

private:
    SinkAllocatorOptions m_options;
};

class Sink::InputPinImpl : public CBaseInputPin {
public:
    InputPinImpl(Sink* sink, HRESULT* phr)
        : CBaseInputPin(NAME("Sink input"), sink, &sink->m_lock, phr, TEXT("Input")),
          m_sink(sink) {}

    HRESULT CheckMediaType(const CMediaType* pmt) override {
        // A format change on a connected pin follows its own rule.
        if (IsConnected() && *pmt != m_mt) {
            std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
            if (!m_sink->m_acceptFormatChanges) return S_FALSE;
        }
        return m_sink->Accepts(*pmt) ? S_OK : S_FALSE;
    }

    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override {
        std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
        if (iPosition < 0) return E_INVALIDARG;
        if (size_t(iPosition) >= m_sink->m_accepted.size()) return VFW_S_NO_MORE_ITEMS;
        return pMediaType->Set(m_sink->m_accepted[size_t(iPosition)]);
    }

    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* pmt) override {
        {
            std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
            if (m_sink->m_queryAcceptAnswer) return *m_sink->m_queryAcceptAnswer ? S_OK : S_FALSE;
        }
        return CBaseInputPin::QueryAccept(pmt);
    }

    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** ppAllocator) override {
        if (!ppAllocator) return E_POINTER;
        std::optional<SinkAllocatorOptions> options;
        {
            std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
            if (m_sink->m_givenAllocator) {
                *ppAllocator = m_sink->m_givenAllocator;
                m_sink->m_givenAllocator->AddRef();
                return S_OK;
            }
            options = m_sink->m_allocatorOptions;
        }
        if (!options) return CBaseInputPin::GetAllocator(ppAllocator);
        CAutoLock lock(m_pLock);
        if (!m_own) {
            HRESULT hr = S_OK;
            m_own = new (std::nothrow) OwnAllocator(*options, &hr);
            if (!m_own) return E_OUTOFMEMORY;
            m_own->NonDelegatingAddRef();
            if (FAILED(hr)) {
                m_own->NonDelegatingRelease();
                m_own = nullptr;
                return hr;
            }
        }
        return m_own->NonDelegatingQueryInterface(IID_IMemAllocator,
                                                  reinterpret_cast<void**>(ppAllocator));
    }

    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override {
        if (!pProps) return E_POINTER;
        std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
        if (!m_sink->m_requirements) return E_NOTIMPL;
        *pProps = *m_sink->m_requirements;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* pSample) override {
        HRESULT hr = CBaseInputPin::Receive(pSample);
        if (hr != S_OK) return hr;
        ReceivedSample r;
        r.sample = pSample;
        r.size = pSample->GetSize();
        BYTE* p = nullptr;
        const LONG actual = pSample->GetActualDataLength();
        if (SUCCEEDED(pSample->GetPointer(&p)) && p && actual > 0) r.data.assign(p, p + actual);
        r.pointer = p;
        r.timeResult = pSample->GetTime(&r.start, &r.stop);
        r.mediaTimeResult = pSample->GetMediaTime(&r.mediaStart, &r.mediaStop);
        r.syncPoint = pSample->IsSyncPoint() == S_OK;
        r.discontinuity = pSample->IsDiscontinuity() == S_OK;
        r.preroll = pSample->IsPreroll() == S_OK;
        IMediaSample2* sample2 = nullptr;
        if (SUCCEEDED(
                pSample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2))) &&
            sample2) {
            AM_SAMPLE2_PROPERTIES props{};
            if (SUCCEEDED(sample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props))))
                r.typeSpecificFlags = props.dwTypeSpecificFlags;
            sample2->Release();
        }
        AM_MEDIA_TYPE* mt = nullptr;
        if (pSample->GetMediaType(&mt) == S_OK && mt) {
            r.hasMediaType = true;
            r.mediaType = *mt;
            DeleteMediaType(mt);
            // The new type is the connection type from now on.
            SetMediaType(&r.mediaType);
        }
        std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
        m_sink->m_samples.push_back(std::move(r));
        SinkCall call{SinkCall::Sample};
        call.sampleIndex = m_sink->m_samples.size() - 1;
        m_sink->m_calls.push_back(call);
        return m_sink->m_receiveResult;
    }

    HRESULT STDMETHODCALLTYPE EndOfStream() override {
        bool running;
        {
            CAutoLock lock(m_pLock);
            const HRESULT hr = CheckStreaming();
            if (hr != S_OK) return hr;
            running = m_sink->m_State == State_Running;
            std::lock_guard<std::mutex> record(m_sink->m_recordLock);
            m_sink->m_calls.push_back(SinkCall{SinkCall::EndOfStream});
            if (!running) m_sink->m_eosPending = true;
        }
        if (running) m_sink->NotifyEvent(EC_COMPLETE, S_OK, 0);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE BeginFlush() override {
        const HRESULT hr = CBaseInputPin::BeginFlush();
        std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
        m_sink->m_calls.push_back(SinkCall{SinkCall::BeginFlush});
        m_sink->m_eosPending = false;
        return hr;
    }

    HRESULT STDMETHODCALLTYPE EndFlush() override {
        const HRESULT hr = CBaseInputPin::EndFlush();
        std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
        m_sink->m_calls.push_back(SinkCall{SinkCall::EndFlush});
        return hr;
    }

    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                         double dRate) override {
        CBaseInputPin::NewSegment(tStart, tStop, dRate);
        std::lock_guard<std::mutex> lock(m_sink->m_recordLock);
        SinkCall call{SinkCall::NewSegment};
        call.segmentStart = tStart;
        call.segmentStop = tStop;
        call.segmentRate = dRate;
        m_sink->m_calls.push_back(call);
        return S_OK;
    }

    ~InputPinImpl() override {
        if (m_own) m_own->NonDelegatingRelease();
    }

private:
    Sink* m_sink;
    OwnAllocator* m_own = nullptr;
};

Sink::Sink(const std::vector<CMediaType>& accepted)
    : CBaseFilter(NAME("Sink"), nullptr, &m_lock, GUID_NULL), m_accepted(accepted) {}

Sink::~Sink() {
    if (m_givenAllocator) m_givenAllocator->Release();
    delete m_pin;
}

HRESULT Sink::Create(const std::vector<CMediaType>& accepted, Sink** ppSink) {
    if (!ppSink) return E_POINTER;
    *ppSink = nullptr;
    Sink* sink = new (std::nothrow) Sink(accepted);
    if (!sink) return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    sink->m_pin = new (std::nothrow) InputPinImpl(sink, &hr);
    if (!sink->m_pin || FAILED(hr)) {
        delete sink;
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    }
    sink->NonDelegatingAddRef();
    *ppSink = sink;
    return S_OK;
}

CBasePin* Sink::GetPin(int n) {
    return n == 0 ? m_pin : nullptr;
}

IPin* Sink::InputPin() {
    return m_pin;
}

HRESULT STDMETHODCALLTYPE Sink::Run(REFERENCE_TIME tStart) {
    const HRESULT hr = CBaseFilter::Run(tStart);
    bool pending;
    {
        std::lock_guard<std::mutex> lock(m_recordLock);
        pending = m_eosPending;
        m_eosPending = false;
    }
    if (SUCCEEDED(hr) && pending) NotifyEvent(EC_COMPLETE, S_OK, 0);
    return hr;
}

bool Sink::Accepts(const AM_MEDIA_TYPE& mt) const {
    std::lock_guard<std::mutex> lock(m_recordLock);
    if (m_accepted.empty()) return true;
    for (const CMediaType& t : m_accepted) {
        const bool major =
            IsEqualGUID(t.majortype, GUID_NULL) || IsEqualGUID(t.majortype, mt.majortype);
        const bool sub = IsEqualGUID(t.subtype, GUID_NULL) || IsEqualGUID(t.subtype, mt.subtype);
        if (major && sub) return true;
    }
    return false;
}

void Sink::SetAccepted(const std::vector<CMediaType>& accepted) {
    std::lock_guard<std::mutex> lock(m_recordLock);
    m_accepted = accepted;
    m_pin->IncrementTypeVersion();
}

void Sink::SetQueryAcceptAnswer(std::optional<bool> answer) {
    std::lock_guard<std::mutex> lock(m_recordLock);
    m_queryAcceptAnswer = answer;
}

void Sink::SetAcceptFormatChanges(bool accept) {
    std::lock_guard<std::mutex> lock(m_recordLock);
    m_acceptFormatChanges = accept;
}

void Sink::SetReceiveResult(HRESULT hr) {
    std::lock_guard<std::mutex> lock(m_recordLock);
    m_receiveResult = hr;
}

void Sink::SetAllocatorRequirements(std::optional<ALLOCATOR_PROPERTIES> props) {
    std::lock_guard<std::mutex> lock(m_recordLock);
    m_requirements = props;
}

void Sink::UseAllocator(IMemAllocator* allocator) {
    std::lock_guard<std::mutex> lock(m_recordLock);
    if (allocator) allocator->AddRef();
    if (m_givenAllocator) m_givenAllocator->Release();
    m_givenAllocator = allocator;
}

void Sink::OfferAllocator(std::optional<SinkAllocatorOptions> options) {
    std::lock_guard<std::mutex> lock(m_recordLock);
    m_allocatorOptions = options;
}

std::vector<ReceivedSample> Sink::Samples() const {
    std::lock_guard<std::mutex> lock(m_recordLock);
    return m_samples;
}

std::vector<SinkCall> Sink::Calls() const {
    std::lock_guard<std::mutex> lock(m_recordLock);
    return m_calls;
}

size_t Sink::SampleCount() const {
    std::lock_guard<std::mutex> lock(m_recordLock);
    return m_samples.size();
}

int Sink::EndOfStreamCount() const {
    std::lock_guard<std::mutex> lock(m_recordLock);
    return int(std::count_if(m_calls.begin(), m_calls.end(),
                             [](const SinkCall& c) { return c.kind == SinkCall::EndOfStream; }));
}

void Sink::ClearRecords() {
    std::lock_guard<std::mutex> lock(m_recordLock);
    m_samples.clear();
    m_calls.clear();
}

IMemAllocator* Sink::NotifiedAllocator() const {
    IMemAllocator* a = m_pin->Allocator();
    if (a) a->AddRef();
    return a;
}

}  // namespace qm::graph
