// On Windows qmdecode runs its filters in the system's filter graph manager (CLSID_FilterGraph)
// instead of the in-process graph: the same calls as qm::graph::FilterGraph, forwarded to
// IGraphBuilder, IMediaControl and IMediaEvent.
#pragma once

#ifdef _WIN32

#include <vector>

#include "platform/dshow/DShow.h"

#include <control.h>  // IMediaControl, IMediaEvent

namespace qmdecode {

class DirectShowGraph {
public:
    // Initialises COM on this thread and creates the graph manager; the graph has one reference.
    static HRESULT Create(DirectShowGraph** ppGraph);
    ULONG Release();

    HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName);
    // The first unconnected output pin of `upstream` to the first unconnected input pin of
    // `downstream`, through the graph's Connect (a direct connection first, then intelligent
    // connect through registered filters).
    HRESULT ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream);
    // Connects `pin` again to its peer with the same media type, so that the downstream filter
    // starts afresh (the graph must be stopped).
    HRESULT Reconnect(IPin* pin);
    HRESULT Pause();
    HRESULT Run();
    // Waits briefly for the completion a sink sent at end of stream, then stops the graph.
    HRESULT Stop();
    // Events drained from the graph manager so far (EC_COMPLETE included).
    int CountEvents(LONG code);

private:
    DirectShowGraph() = default;
    ~DirectShowGraph();
    void DrainEvents();

    bool m_comInitialised = false;
    IGraphBuilder* m_graph = nullptr;
    IMediaControl* m_control = nullptr;
    IMediaEvent* m_events = nullptr;
    std::vector<LONG> m_seen;
};

}  // namespace qmdecode

#endif
