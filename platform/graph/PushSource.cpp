#include "platform/graph/PushSource.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <new>

namespace qm::graph {
namespace {

// Samples without memory of their own: each delivery points one at the caller's bytes.
class LendingAllocator : public CBaseAllocator {
public:
    explicit LendingAllocator(HRESULT* phr)
        : CBaseAllocator(NAME("PushSource lending allocator"), nullptr, phr) {}
    ~LendingAllocator() override {
        Decommit();
        ReleaseSamples();
    }

protected:
    HRESULT Alloc() override {
        CAutoLock lock(this);
        HRESULT hr = CBaseAllocator::Alloc();
        if (FAILED(hr)) return hr;
        if (hr == S_FALSE) return S_OK;
        ReleaseSamples();
        for (; m_lAllocated < m_lCount; ++m_lAllocated) {
            CMediaSample* sample =
                new (std::nothrow) CMediaSample(NAME("PushSource lent sample"), this, &hr);
            if (!sample) return E_OUTOFMEMORY;
            m_lFree.Add(sample);
        }
        m_bChanged = FALSE;
        return S_OK;
    }
    // The samples stay for the next commit; they own nothing.
    void Free() override {}

private:
    // Only with every sample back on the free list.
    void ReleaseSamples() {
        while (CMediaSample* sample = m_lFree.RemoveHead()) delete sample;
        m_lAllocated = 0;
    }
};

}  // namespace

class PushSource::OutputPinImpl : public CBaseOutputPin {
public:
    OutputPinImpl(PushSource* filter, HRESULT* phr)
        : CBaseOutputPin(NAME("PushSource output"), filter, &filter->m_lock, phr, TEXT("Output")),
          m_source(filter) {}

    HRESULT CheckMediaType(const CMediaType* pmt) override {
        for (const CMediaType& t : m_source->m_types)
            if (IsEqualGUID(t.majortype, pmt->majortype) && IsEqualGUID(t.subtype, pmt->subtype) &&
                IsEqualGUID(t.formattype, pmt->formattype))
                return S_OK;
        return S_FALSE;
    }

    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override {
        if (iPosition < 0) return E_INVALIDARG;
        if (size_t(iPosition) >= m_source->m_types.size()) return VFW_S_NO_MORE_ITEMS;
        return pMediaType->Set(m_source->m_types[size_t(iPosition)]);
    }

    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override {
        ALLOCATOR_PROPERTIES want = m_source->m_request;
        want.cbAlign = std::max(std::max(want.cbAlign, pRequest->cbAlign), LONG(1));
        want.cbPrefix = std::max(want.cbPrefix, pRequest->cbPrefix);
        want.cBuffers = std::max(want.cBuffers, pRequest->cBuffers);
        want.cbBuffer = std::max(want.cbBuffer, pRequest->cbBuffer);
        ALLOCATOR_PROPERTIES actual{};
        const HRESULT hr = pAlloc->SetProperties(&want, &actual);
        if (FAILED(hr)) return hr;
        if (actual.cbBuffer <= 0 || actual.cBuffers <= 0) return E_FAIL;
        m_source->m_actual = actual;
        return S_OK;
    }

    HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc) override {
        m_source->m_lending = false;
        if (m_source->m_bytes == SampleBytes::Lent && pPin && ppAlloc) {
            ALLOCATOR_PROPERTIES needs{};
            pPin->GetAllocatorRequirements(&needs);
            // Bytes at any offset of the caller's buffer have no prefix and no alignment.
            if (needs.cbPrefix <= 0 && needs.cbAlign <= 1) {
                HRESULT hr = S_OK;
                auto* lender = new (std::nothrow) LendingAllocator(&hr);
                if (!lender) return E_OUTOFMEMORY;
                lender->AddRef();
                ALLOCATOR_PROPERTIES want = m_source->m_request, actual{};
                want.cbAlign = 1;
                want.cbPrefix = 0;
                if (SUCCEEDED(hr)) hr = lender->SetProperties(&want, &actual);
                if (SUCCEEDED(hr)) hr = pPin->NotifyAllocator(lender, TRUE);
                if (SUCCEEDED(hr)) {
                    m_source->m_actual = actual;
                    m_source->m_lending = true;
                    *ppAlloc = lender;
                    return S_OK;
                }
                lender->Release();
            }
        }
        return CBaseOutputPin::DecideAllocator(pPin, ppAlloc);
    }

private:
    PushSource* m_source;
};

PushSource::PushSource(const std::vector<CMediaType>& types, const ALLOCATOR_PROPERTIES& request,
                       SampleBytes bytes)
    : CBaseFilter(NAME("PushSource"), nullptr, &m_lock, GUID_NULL),
      m_types(types),
      m_request(request),
      m_bytes(bytes) {}

PushSource::~PushSource() {
    delete m_pin;
}

HRESULT PushSource::Create(const std::vector<CMediaType>& types,
                           const ALLOCATOR_PROPERTIES& request, PushSource** ppSource,
                           SampleBytes bytes) {
    if (!ppSource) return E_POINTER;
    *ppSource = nullptr;
    if (types.empty() || request.cbBuffer <= 0 || request.cBuffers <= 0) return E_INVALIDARG;
    PushSource* source = new (std::nothrow) PushSource(types, request, bytes);
    if (!source) return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    source->m_pin = new (std::nothrow) OutputPinImpl(source, &hr);
    if (!source->m_pin || FAILED(hr)) {
        delete source;
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    }
    source->NonDelegatingAddRef();
    *ppSource = source;
    return S_OK;
}

CBasePin* PushSource::GetPin(int n) {
    return n == 0 ? m_pin : nullptr;
}

IPin* PushSource::OutputPin() {
    return m_pin;
}

IMemAllocator* PushSource::Allocator() {
    return m_pin->Allocator();
}

HRESULT PushSource::Deliver(const BYTE* data, size_t size, const SampleSpec& spec, DWORD dwFlags) {
    if (!data && size) return E_POINTER;
    if (!m_pin->IsConnected()) return VFW_E_NOT_CONNECTED;
    IMediaSample* sample = nullptr;
    REFERENCE_TIME start = spec.start.value_or(0), stop = spec.stop.value_or(0);
    HRESULT hr = m_pin->GetDeliveryBuffer(&sample, spec.start ? &start : nullptr,
                                          spec.stop ? &stop : nullptr, dwFlags);
    if (FAILED(hr)) return hr;
    if (!sample) return E_UNEXPECTED;
    if (size > size_t(m_lending ? LONG_MAX : sample->GetSize())) {
        sample->Release();
        return VFW_E_BUFFER_OVERFLOW;
    }
    if (m_lending) {
        // The sample comes from the lending allocator: it takes the bytes where they are.
        hr = static_cast<CMediaSample*>(sample)->SetPointer(const_cast<BYTE*>(data), LONG(size));
    } else {
        BYTE* p = nullptr;
        hr = sample->GetPointer(&p);
        if (SUCCEEDED(hr) && size) std::memcpy(p, data, size);
        if (SUCCEEDED(hr)) hr = sample->SetActualDataLength(LONG(size));
    }
    if (SUCCEEDED(hr)) {
        if (spec.start)
            hr = sample->SetTime(&start, spec.stop ? &stop : nullptr);
        else
            hr = sample->SetTime(nullptr, nullptr);
    }
    if (SUCCEEDED(hr)) {
        LONGLONG mediaStart = spec.mediaStart.value_or(0), mediaStop = spec.mediaStop.value_or(0);
        hr = (spec.mediaStart && spec.mediaStop) ? sample->SetMediaTime(&mediaStart, &mediaStop)
                                                 : sample->SetMediaTime(nullptr, nullptr);
    }
    if (SUCCEEDED(hr)) hr = sample->SetSyncPoint(spec.syncPoint);
    if (SUCCEEDED(hr)) hr = sample->SetDiscontinuity(spec.discontinuity);
    if (SUCCEEDED(hr)) hr = sample->SetPreroll(spec.preroll);
    if (SUCCEEDED(hr) && spec.mediaType)
        hr = sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(spec.mediaType));
    if (SUCCEEDED(hr) && spec.decorate) spec.decorate(sample);
    if (SUCCEEDED(hr)) {
        hr = m_pin->Deliver(sample);
        ++m_delivered;
    }
    sample->Release();
    return hr;
}

HRESULT PushSource::DeliverStream(const BYTE* data, size_t size, const std::vector<size_t>& sizes,
                                  const std::function<SampleSpec(size_t, size_t)>& specFor) {
    if (!data && size) return E_POINTER;
    if (sizes.empty() || std::find(sizes.begin(), sizes.end(), size_t(0)) != sizes.end())
        return E_INVALIDARG;
    size_t offset = 0;
    for (size_t index = 0; offset < size; ++index) {
        const size_t n = std::min(sizes[index % sizes.size()], size - offset);
        const SampleSpec spec = specFor ? specFor(index, offset) : SampleSpec{};
        const HRESULT hr = Deliver(data + offset, n, spec);
        if (hr != S_OK) return hr;
        offset += n;
    }
    return S_OK;
}

HRESULT PushSource::DeliverFile(const std::filesystem::path& path, const std::vector<size_t>& sizes,
                                const std::function<SampleSpec(size_t, size_t)>& specFor) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return E_FAIL;
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return E_FAIL;
    if (!m_lending) return DeliverStream(bytes.data(), bytes.size(), sizes, specFor);
    // Lent samples may still point at the last file's bytes downstream.
    m_file = std::move(bytes);
    return DeliverStream(m_file.data(), m_file.size(), sizes, specFor);
}

HRESULT PushSource::DeliverEndOfStream() {
    return m_pin->DeliverEndOfStream();
}
HRESULT PushSource::DeliverBeginFlush() {
    return m_pin->DeliverBeginFlush();
}
HRESULT PushSource::DeliverEndFlush() {
    return m_pin->DeliverEndFlush();
}
HRESULT PushSource::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    return m_pin->DeliverNewSegment(tStart, tStop, dRate);
}

}  // namespace qm::graph
