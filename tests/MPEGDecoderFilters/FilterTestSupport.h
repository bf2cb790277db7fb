// Graph plumbing shared by the decoder filter tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "VideoIO/MPEGDecoderFilters/DecoderFilters.h"
#include "platform/graph/FilterGraph.h"
#include "platform/graph/PushSource.h"
#include "platform/graph/Sink.h"
#include "tests/support/Paths.h"

namespace qm::test {

// A COM reference released at scope end.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    T** Out() {
        Reset();
        return &m_p;
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    void Reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }

private:
    T* m_p = nullptr;
};

// source -> filter -> sink, connected; members released in reverse order.
struct FilterChain {
    ComPtr<graph::FilterGraph> graph;
    ComPtr<graph::PushSource> source;
    ComPtr<IBaseFilter> filter;
    ComPtr<graph::Sink> sink;

    // `output`: the type the filter's output is connected with, as a renderer proposes its own.
    HRESULT Build(HRESULT (*create)(IBaseFilter**), const CMediaType& input,
                  const std::vector<CMediaType>& accepted, LONG bufferSize,
                  const std::optional<graph::SinkAllocatorOptions>& sinkAllocator = {},
                  const CMediaType* output = nullptr) {
        HRESULT hr = graph::FilterGraph::Create(graph.Out());
        if (FAILED(hr)) return hr;
        hr = create(filter.Out());
        if (FAILED(hr)) return hr;
        hr = graph::PushSource::Create({input}, ALLOCATOR_PROPERTIES{4, bufferSize, 1, 0},
                                       source.Out());
        if (FAILED(hr)) return hr;
        hr = graph::Sink::Create(accepted, sink.Out());
        if (FAILED(hr)) return hr;
        sink->OfferAllocator(sinkAllocator);
        graph->AddFilter(source.Get(), TEXT("source"));
        graph->AddFilter(filter.Get(), TEXT("decoder"));
        graph->AddFilter(sink.Get(), TEXT("sink"));
        hr = graph->ConnectFilters(source.Get(), filter.Get());
        if (FAILED(hr)) return hr;
        return graph->ConnectFilters(filter.Get(), sink.Get(), output);
    }
    // The type the sink's input was connected with.
    CMediaType SinkType() {
        CMediaType connected;
        ComPtr<IPin> in;
        EXPECT_EQ(sink->FindPin(TEXT("Input"), in.Out()), S_OK);
        if (in.Get()) {
            EXPECT_EQ(in->ConnectionMediaType(&connected), S_OK);
        }
        return connected;
    }
    // End of stream, then all the sink has received.
    std::vector<graph::ReceivedSample> Finish() {
        EXPECT_EQ(source->DeliverEndOfStream(), S_OK);
        return sink->Samples();
    }
    HRESULT Start() {
        HRESULT hr = graph->Pause();
        return SUCCEEDED(hr) ? graph->Run() : hr;
    }
    ~FilterChain() {
        if (graph.Get()) graph->Stop();
    }
};

inline CMediaType MajorSubtype(const GUID& major, const GUID& subtype) {
    CMediaType t;
    t.majortype = major;
    t.subtype = subtype;
    return t;
}

inline std::vector<CMediaType> PcmOnly() {
    return {MajorSubtype(MEDIATYPE_Audio, MEDIASUBTYPE_PCM)};
}

}  // namespace qm::test
