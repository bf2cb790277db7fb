// An in-process filter graph for tools and tests: holds filters, connects pins with the
// DirectShow connection protocol (ConnectDirect), changes the state of every filter (downstream
// filters first, as a graph manager does) and records the events that filters send through
// IMediaEventSink. It has no reference clock: filters run unclocked and deliver as fast as their
// source pushes. Not thread-safe for graph edits; Notify may come from any thread.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/dshow/DShow.h"

namespace qm::graph {

struct GraphEvent {
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
};

class FilterGraph : public CUnknown, public IFilterGraph, public IMediaEventSink {
public:
    // A new graph with one reference.
    static HRESULT Create(FilterGraph** ppGraph);

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFilterGraph. AddFilter takes a reference and joins the filter to the graph (a null or
    // duplicate name gets a generated one); RemoveFilter disconnects its pins first. Reconnect
    // disconnects a connected pin pair and connects it again with the same media type.
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* pFilter) override;
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* ppinOut, IPin* ppinIn,
                                            const AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE Reconnect(IPin* ppin) override;
    HRESULT STDMETHODCALLTYPE Disconnect(IPin* ppin) override;
    // The default clock of this graph is none: every filter's sync source is cleared.
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override;

    // IMediaEventSink: records the event.
    HRESULT STDMETHODCALLTYPE Notify(LONG EventCode, LONG_PTR EventParam1,
                                     LONG_PTR EventParam2) override;

    // Connects the first unconnected output pin of `upstream` to the first unconnected input
    // pin of `downstream` (VFW_E_NOT_FOUND when either has none).
    HRESULT ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream,
                           const AM_MEDIA_TYPE* pmt = nullptr);

    // State changes of every filter, downstream first. The first failure is returned after
    // every filter was asked.
    HRESULT Pause();
    HRESULT Run(REFERENCE_TIME tStart = 0);
    HRESULT Stop();
    FILTER_STATE State() const { return m_state; }

    std::vector<GraphEvent> Events() const;
    int CountEvents(LONG code) const;
    // Waits until an event with the code has been recorded (true) or the time-out passed.
    bool WaitForEvent(LONG code, DWORD timeoutMs);
    void ClearEvents();

private:
    FilterGraph();
    ~FilterGraph() override;

    // The filters ordered so that each comes before the filters upstream of it.
    std::vector<IBaseFilter*> DownstreamFirst() const;

    std::vector<IBaseFilter*> m_filters;  // each with one reference
    FILTER_STATE m_state = State_Stopped;
    mutable std::mutex m_eventLock;
    std::condition_variable m_eventArrived;
    std::vector<GraphEvent> m_events;
    int m_nameCounter = 0;
};

// The pins of a filter with the given direction, each with one reference (release them).
std::vector<IPin*> PinsOf(IBaseFilter* filter, PIN_DIRECTION dir);
// Releases every pin of the list.
void ReleasePins(std::vector<IPin*>& pins);

}  // namespace qm::graph
