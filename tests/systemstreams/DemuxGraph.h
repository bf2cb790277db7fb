// A demultiplexer filter in a graph with a recording sink on each typed stream, for the tests
// that check what it delivers.
#pragma once

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "VideoIO/Demultiplexer/DemultiplexerFilter.h"
#include "platform/graph/FilterGraph.h"
#include "platform/graph/Sink.h"
#include "tests/systemstreams/StreamBuilder.h"

namespace qm::test {

using qm::graph::FilterGraph;
using qm::graph::Sink;
using qm_Demultiplexer::DemultiplexerFilter;

template <class T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p) p->Release();
    }
};

// A demultiplexer on `path` with every stream that has a type connected to a sink of its own.
struct DemuxGraph {
    Ref<FilterGraph> graph;
    Ref<DemultiplexerFilter> demux;
    std::vector<Ref<Sink>> sinks;
    std::vector<size_t> streams;  // stream index of each pin

    HRESULT Build(const std::filesystem::path& path) {
        if (FAILED(FilterGraph::Create(&graph.p)) || FAILED(DemultiplexerFilter::Create(&demux.p)))
            return E_FAIL;
        const HRESULT hr = demux.p->Load(path.string());
        if (FAILED(hr)) return hr;
        for (size_t i = 0; i < demux.p->Streams().size(); ++i)
            if (demux.p->Streams()[i].typed) streams.push_back(i);
        if (FAILED(demux.p->SelectStreams(streams))) return E_FAIL;
        graph.p->AddFilter(demux.p, nullptr);
        sinks = std::vector<Ref<Sink>>(streams.size());
        for (Ref<Sink>& sink : sinks) {
            if (FAILED(Sink::Create({}, &sink.p))) return E_FAIL;
            graph.p->AddFilter(sink.p, nullptr);
            if (FAILED(graph.p->ConnectFilters(demux.p, sink.p))) return E_FAIL;
        }
        return S_OK;
    }
    bool WaitFinished() {
        for (int i = 0; i < 1000 && !demux.p->Finished(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return demux.p->Finished();
    }
    bool RunToEnd() {
        if (FAILED(graph.p->Run())) return false;
        const bool finished = WaitFinished();
        graph.p->Stop();
        return finished;
    }
    std::vector<uint8_t> Bytes(size_t pin) const {
        std::vector<uint8_t> all;
        for (const auto& s : sinks[pin].p->Samples()) Append(all, s.data);
        return all;
    }
};

}  // namespace qm::test
