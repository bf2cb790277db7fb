#include "platform/graph/FilterGraph.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <string>

namespace qm::graph {

namespace {

typedef std::basic_string<WCHAR> WideName;

WideName NameOf(IBaseFilter* filter) {
    FILTER_INFO info{};
    if (FAILED(filter->QueryFilterInfo(&info))) return {};
    if (info.pGraph) info.pGraph->Release();
    return WideName(info.achName);
}

IBaseFilter* OwnerOf(IPin* pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) return nullptr;
    if (info.pFilter) info.pFilter->Release();  // the graph holds the filter
    return info.pFilter;
}

class FilterEnum : public IEnumFilters {
public:
    explicit FilterEnum(const std::vector<IBaseFilter*>& filters, size_t position = 0)
        : m_filters(filters), m_position(position) {
        for (IBaseFilter* f : m_filters) f->AddRef();
    }
    virtual ~FilterEnum() {
        for (IBaseFilter* f : m_filters) f->Release();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumFilters))
            return GetInterface(static_cast<IEnumFilters*>(this), ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = --m_refs;
        if (n == 0) delete this;
        return ULONG(n);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override {
        if (!filters) return E_POINTER;
        if (!fetched && count > 1) return E_INVALIDARG;
        ULONG n = 0;
        while (n < count && m_position < m_filters.size()) {
            filters[n] = m_filters[m_position++];
            filters[n++]->AddRef();
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        m_position = std::min(m_filters.size(), m_position + count);
        return m_position < m_filters.size() || count == 0 ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumFilters** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = new (std::nothrow) FilterEnum(m_filters, m_position);
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::vector<IBaseFilter*> m_filters;
    size_t m_position;
    std::atomic<LONG> m_refs{1};
};

}  // namespace

std::vector<IPin*> PinsOf(IBaseFilter* filter, PIN_DIRECTION dir) {
    std::vector<IPin*> pins;
    IEnumPins* e = nullptr;
    if (FAILED(filter->EnumPins(&e)) || !e) return pins;
    IPin* pin = nullptr;
    while (e->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == dir)
            pins.push_back(pin);
        else
            pin->Release();
    }
    e->Release();
    return pins;
}

void ReleasePins(std::vector<IPin*>& pins) {
    for (IPin* p : pins) p->Release();
    pins.clear();
}

FilterGraph::FilterGraph() : CUnknown(NAME("FilterGraph"), nullptr) {}

FilterGraph::~FilterGraph() {
    Stop();
    while (!m_filters.empty()) RemoveFilter(m_filters.back());
}

HRESULT FilterGraph::Create(FilterGraph** ppGraph) {
    if (!ppGraph) return E_POINTER;
    *ppGraph = new (std::nothrow) FilterGraph();
    if (!*ppGraph) return E_OUTOFMEMORY;
    (*ppGraph)->NonDelegatingAddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IFilterGraph))
        return GetInterface(static_cast<IFilterGraph*>(this), ppv);
    if (IsEqualIID(riid, IID_IMediaEventSink))
        return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT STDMETHODCALLTYPE FilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
    if (!pFilter) return E_POINTER;
    if (std::find(m_filters.begin(), m_filters.end(), pFilter) != m_filters.end())
        return VFW_E_DUPLICATE_NAME;
    WideName name = pName ? WideName(pName) : WideName();
    auto taken = [&](const WideName& n) {
        for (IBaseFilter* f : m_filters)
            if (NameOf(f) == n) return true;
        return false;
    };
    if (name.empty() || taken(name)) {
        const WideName base = name.empty() ? WideName(TEXT("Filter")) : name;
        do {
            name = base;
            name += WCHAR(' ');
            for (char digit : std::to_string(++m_nameCounter)) name += WCHAR(digit);
        } while (taken(name));
    }
    const HRESULT hr = pFilter->JoinFilterGraph(this, name.c_str());
    if (FAILED(hr)) return hr;
    pFilter->AddRef();
    m_filters.push_back(pFilter);
    return (pName && name != pName) ? VFW_S_DUPLICATE_NAME : S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::RemoveFilter(IBaseFilter* pFilter) {
    auto it = std::find(m_filters.begin(), m_filters.end(), pFilter);
    if (it == m_filters.end()) return VFW_E_NOT_FOUND;
    for (PIN_DIRECTION dir : {PINDIR_INPUT, PINDIR_OUTPUT}) {
        std::vector<IPin*> pins = PinsOf(pFilter, dir);
        for (IPin* pin : pins) Disconnect(pin);
        ReleasePins(pins);
    }
    m_filters.erase(it);
    pFilter->JoinFilterGraph(nullptr, nullptr);
    pFilter->Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::EnumFilters(IEnumFilters** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) FilterEnum(m_filters);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE FilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) {
    if (!pName || !ppFilter) return E_POINTER;
    *ppFilter = nullptr;
    for (IBaseFilter* f : m_filters) {
        if (NameOf(f) == pName) {
            *ppFilter = f;
            f->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE FilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn,
                                                     const AM_MEDIA_TYPE* pmt) {
    if (!ppinOut || !ppinIn) return E_POINTER;
    IBaseFilter* up = OwnerOf(ppinOut);
    IBaseFilter* down = OwnerOf(ppinIn);
    if (std::find(m_filters.begin(), m_filters.end(), up) == m_filters.end() ||
        std::find(m_filters.begin(), m_filters.end(), down) == m_filters.end())
        return VFW_E_NOT_IN_GRAPH;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION dir;
    if (FAILED(ppinOut->QueryDirection(&dir)) || dir != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    return ppinOut->Connect(ppinIn, pmt);
}

HRESULT STDMETHODCALLTYPE FilterGraph::Reconnect(IPin* ppin) {
    if (!ppin) return E_POINTER;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    IPin* other = nullptr;
    HRESULT hr = ppin->ConnectedTo(&other);
    if (FAILED(hr)) return hr;
    CMediaType mt;
    hr = ppin->ConnectionMediaType(&mt);
    PIN_DIRECTION dir = PINDIR_OUTPUT;
    if (SUCCEEDED(hr)) hr = ppin->QueryDirection(&dir);
    if (SUCCEEDED(hr)) {
        IPin* out = dir == PINDIR_OUTPUT ? ppin : other;
        IPin* in = dir == PINDIR_OUTPUT ? other : ppin;
        out->Disconnect();
        in->Disconnect();
        hr = out->Connect(in, &mt);
    }
    other->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Disconnect(IPin* ppin) {
    if (!ppin) return E_POINTER;
    IPin* other = nullptr;
    if (ppin->ConnectedTo(&other) != S_OK) return S_FALSE;
    // Both ends: a pin only forgets its own side.
    HRESULT hr = ppin->Disconnect();
    const HRESULT hrOther = other->Disconnect();
    other->Release();
    if (SUCCEEDED(hr) && FAILED(hrOther)) hr = hrOther;
    return hr;
}

HRESULT STDMETHODCALLTYPE FilterGraph::SetDefaultSyncSource() {
    HRESULT result = S_OK;
    for (IBaseFilter* f : m_filters) {
        const HRESULT hr = f->SetSyncSource(nullptr);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Notify(LONG EventCode, LONG_PTR EventParam1,
                                              LONG_PTR EventParam2) {
    {
        std::lock_guard<std::mutex> lock(m_eventLock);
        m_events.push_back({EventCode, EventParam1, EventParam2});
    }
    m_eventArrived.notify_all();
    return S_OK;
}

HRESULT FilterGraph::ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream,
                                    const AM_MEDIA_TYPE* pmt) {
    if (!upstream || !downstream) return E_POINTER;
    std::vector<IPin*> outs = PinsOf(upstream, PINDIR_OUTPUT);
    std::vector<IPin*> ins = PinsOf(downstream, PINDIR_INPUT);
    auto firstFree = [](const std::vector<IPin*>& pins) -> IPin* {
        for (IPin* p : pins) {
            IPin* other = nullptr;
            if (p->ConnectedTo(&other) == S_OK) {
                other->Release();
                continue;
            }
            return p;
        }
        return nullptr;
    };
    IPin* out = firstFree(outs);
    IPin* in = firstFree(ins);
    const HRESULT hr = (out && in) ? ConnectDirect(out, in, pmt) : VFW_E_NOT_FOUND;
    ReleasePins(outs);
    ReleasePins(ins);
    return hr;
}

std::vector<IBaseFilter*> FilterGraph::DownstreamFirst() const {
    std::vector<IBaseFilter*> order;
    std::vector<IBaseFilter*> pending = m_filters;
    // Repeatedly take the filters whose downstream neighbours are all placed already.
    while (!pending.empty()) {
        bool progress = false;
        for (size_t i = 0; i < pending.size();) {
            IBaseFilter* f = pending[i];
            bool ready = true;
            std::vector<IPin*> outs = PinsOf(f, PINDIR_OUTPUT);
            for (IPin* out : outs) {
                IPin* other = nullptr;
                if (out->ConnectedTo(&other) != S_OK) continue;
                IBaseFilter* next = OwnerOf(other);
                other->Release();
                if (next && std::find(pending.begin(), pending.end(), next) != pending.end())
                    ready = false;
            }
            ReleasePins(outs);
            if (ready) {
                order.push_back(f);
                pending.erase(pending.begin() + long(i));
                progress = true;
            } else {
                ++i;
            }
        }
        if (!progress) {  // a cycle: take the rest as they are
            order.insert(order.end(), pending.begin(), pending.end());
            break;
        }
    }
    return order;
}

HRESULT FilterGraph::Pause() {
    HRESULT result = S_OK;
    for (IBaseFilter* f : DownstreamFirst()) {
        const HRESULT hr = f->Pause();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    m_state = State_Paused;
    return result;
}

HRESULT FilterGraph::Run(REFERENCE_TIME tStart) {
    HRESULT result = S_OK;
    if (m_state == State_Stopped) result = Pause();
    for (IBaseFilter* f : DownstreamFirst()) {
        const HRESULT hr = f->Run(tStart);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    m_state = State_Running;
    return result;
}

HRESULT FilterGraph::Stop() {
    HRESULT result = S_OK;
    for (IBaseFilter* f : DownstreamFirst()) {
        const HRESULT hr = f->Stop();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    m_state = State_Stopped;
    return result;
}

std::vector<GraphEvent> FilterGraph::Events() const {
    std::lock_guard<std::mutex> lock(m_eventLock);
    return m_events;
}

int FilterGraph::CountEvents(LONG code) const {
    std::lock_guard<std::mutex> lock(m_eventLock);
    return int(std::count_if(m_events.begin(), m_events.end(),
                             [code](const GraphEvent& e) { return e.code == code; }));
}

bool FilterGraph::WaitForEvent(LONG code, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_eventLock);
    auto seen = [&] {
        return std::any_of(m_events.begin(), m_events.end(),
                           [code](const GraphEvent& e) { return e.code == code; });
    };
    return m_eventArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), seen);
}

void FilterGraph::ClearEvents() {
    std::lock_guard<std::mutex> lock(m_eventLock);
    m_events.clear();
}

}  // namespace qm::graph
