// The graph the filter fuzz targets share: source -> decoder filter -> sink, the stream delivered
// in pieces of a chosen size with the times the target gives each sample, then end of stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/graph/FilterGraph.h"
#include "platform/graph/PushSource.h"
#include "platform/graph/Sink.h"

namespace qmfuzz {

// An audio input type with the wave format `w`.
inline CMediaType WaveType(const GUID& subtype, const WAVEFORMATEX& w) {
    CMediaType t;
    t.majortype = MEDIATYPE_Audio;
    t.subtype = subtype;
    t.formattype = FORMAT_WaveFormatEx;
    *reinterpret_cast<WAVEFORMATEX*>(t.AllocFormatBuffer(sizeof(WAVEFORMATEX))) = w;
    return t;
}

// `spec(index)` gives the times of the index-th sample.
template <class SpecOf>
void FeedFilter(HRESULT (*create)(IBaseFilter**), const CMediaType& input, const uint8_t* data,
                size_t size, size_t piece, SpecOf spec) {
    qm::graph::FilterGraph* graph = nullptr;
    qm::graph::PushSource* source = nullptr;
    qm::graph::Sink* sink = nullptr;
    IBaseFilter* filter = nullptr;
    if (SUCCEEDED(qm::graph::FilterGraph::Create(&graph)) && SUCCEEDED(create(&filter)) &&
        SUCCEEDED(
            qm::graph::PushSource::Create({input}, ALLOCATOR_PROPERTIES{2, 4096, 1, 0}, &source)) &&
        SUCCEEDED(qm::graph::Sink::Create({}, &sink))) {
        graph->AddFilter(source, TEXT("source"));
        graph->AddFilter(filter, TEXT("decoder"));
        graph->AddFilter(sink, TEXT("sink"));
        if (SUCCEEDED(graph->ConnectFilters(source, filter)) &&
            SUCCEEDED(graph->ConnectFilters(filter, sink)) && SUCCEEDED(graph->Pause()) &&
            SUCCEEDED(graph->Run())) {
            size_t index = 0;
            for (size_t offset = 0; offset < size; offset += piece, ++index) {
                const size_t n = piece < size - offset ? piece : size - offset;
                if (FAILED(source->Deliver(data + offset, n, spec(index)))) break;
            }
            source->DeliverEndOfStream();
            graph->Stop();
        }
    }
    if (sink) sink->Release();
    if (source) source->Release();
    if (filter) filter->Release();
    if (graph) graph->Release();
}

}  // namespace qmfuzz
