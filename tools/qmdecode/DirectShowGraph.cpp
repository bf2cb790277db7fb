#include "tools/qmdecode/DirectShowGraph.h"

#ifdef _WIN32

#include <algorithm>
#include <new>

namespace qmdecode {
namespace {

IPin* FirstFreePin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins))) return nullptr;
    IPin* found = nullptr;
    IPin* pin = nullptr;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION dir;
        IPin* peer = nullptr;
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == wanted &&
            pin->ConnectedTo(&peer) == VFW_E_NOT_CONNECTED) {
            found = pin;
            continue;
        }
        if (peer) peer->Release();
        pin->Release();
    }
    pins->Release();
    return found;
}

}  // namespace

HRESULT DirectShowGraph::Create(DirectShowGraph** ppGraph) {
    if (!ppGraph) return E_POINTER;
    *ppGraph = nullptr;
    auto* g = new (std::nothrow) DirectShowGraph;
    if (!g) return E_OUTOFMEMORY;
    g->m_comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGraphBuilder, reinterpret_cast<void**>(&g->m_graph));
    if (SUCCEEDED(hr))
        hr = g->m_graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&g->m_control));
    if (SUCCEEDED(hr))
        hr = g->m_graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&g->m_events));
    if (FAILED(hr)) {
        g->Release();
        return hr;
    }
    *ppGraph = g;
    return S_OK;
}

DirectShowGraph::~DirectShowGraph() {
    if (m_control) m_control->Stop();
    if (m_events) m_events->Release();
    if (m_control) m_control->Release();
    if (m_graph) m_graph->Release();
    if (m_comInitialised) CoUninitialize();
}

ULONG DirectShowGraph::Release() {
    delete this;
    return 0;
}

HRESULT DirectShowGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
    return m_graph->AddFilter(pFilter, pName);
}

HRESULT DirectShowGraph::ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream) {
    IPin* out = FirstFreePin(upstream, PINDIR_OUTPUT);
    IPin* in = FirstFreePin(downstream, PINDIR_INPUT);
    const HRESULT hr = out && in ? m_graph->Connect(out, in) : VFW_E_NOT_FOUND;
    if (out) out->Release();
    if (in) in->Release();
    return hr;
}

HRESULT DirectShowGraph::Reconnect(IPin* pin) {
    if (!pin) return E_POINTER;
    IPin* other = nullptr;
    HRESULT hr = pin->ConnectedTo(&other);
    if (FAILED(hr)) return hr;
    AM_MEDIA_TYPE mt = {};
    PIN_DIRECTION dir = PINDIR_OUTPUT;
    hr = pin->ConnectionMediaType(&mt);
    if (SUCCEEDED(hr)) hr = pin->QueryDirection(&dir);
    if (SUCCEEDED(hr)) {
        IPin* out = dir == PINDIR_OUTPUT ? pin : other;
        IPin* in = dir == PINDIR_OUTPUT ? other : pin;
        m_graph->Disconnect(out);
        m_graph->Disconnect(in);
        hr = m_graph->ConnectDirect(out, in, &mt);
    }
    if (mt.pbFormat) CoTaskMemFree(mt.pbFormat);
    if (mt.pUnk) mt.pUnk->Release();
    other->Release();
    return hr;
}

HRESULT DirectShowGraph::Pause() {
    const HRESULT hr = m_control->Pause();
    if (hr != S_FALSE) return hr;
    OAFilterState state;
    return m_control->GetState(5000, &state) == S_OK ? S_OK : VFW_E_STATE_CHANGED;
}

HRESULT DirectShowGraph::Run() {
    const HRESULT hr = m_control->Run();
    return hr == S_FALSE ? S_OK : hr;
}

HRESULT DirectShowGraph::Stop() {
    LONG code = 0;
    if (m_events->WaitForCompletion(1000, &code) == S_OK) m_seen.push_back(code);
    DrainEvents();
    return m_control->Stop();
}

void DirectShowGraph::DrainEvents() {
    LONG code;
    LONG_PTR p1, p2;
    while (m_events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        m_seen.push_back(code);
        m_events->FreeEventParams(code, p1, p2);
    }
}

int DirectShowGraph::CountEvents(LONG code) {
    DrainEvents();
    return int(std::count(m_seen.begin(), m_seen.end(), code));
}

}  // namespace qmdecode

#endif
