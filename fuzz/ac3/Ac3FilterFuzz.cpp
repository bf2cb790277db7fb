// Pushes arbitrary bytes through source -> AC-3 filter -> sink. Byte 0 picks the sample size and
// whether samples carry times (negative ones included); the rest is the stream.
#include <cstdint>
#include <vector>

#include "VideoIO/MPEGDecoderFilters/DecoderFilters.h"
#include "platform/graph/FilterGraph.h"
#include "platform/graph/PushSource.h"
#include "platform/graph/Sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = size_t(1) << (data[0] % 13);  // 1 byte to 4 KiB
    const int times = (data[0] >> 4) % 3;              // 0 stamped, 1 some negative, 2 some none
    ++data;
    --size;
    CMediaType input;
    input.majortype = MEDIATYPE_Audio;
    input.subtype = MEDIASUBTYPE_DOLBY_AC3;
    input.formattype = FORMAT_WaveFormatEx;
    auto* w = reinterpret_cast<WAVEFORMATEX*>(input.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    *w = WAVEFORMATEX{0x2000, 6, 48000, 56000, 1792, 0, 0};

    qm::graph::FilterGraph* graph = nullptr;
    qm::graph::PushSource* source = nullptr;
    qm::graph::Sink* sink = nullptr;
    IBaseFilter* filter = nullptr;
    if (SUCCEEDED(qm::graph::FilterGraph::Create(&graph)) &&
        SUCCEEDED(qm_MPEGDecoderFilters::CreateAC3AudioDecoderFilter(&filter)) &&
        SUCCEEDED(
            qm::graph::PushSource::Create({input}, ALLOCATOR_PROPERTIES{2, 4096, 1, 0}, &source)) &&
        SUCCEEDED(qm::graph::Sink::Create({}, &sink))) {
        graph->AddFilter(source, TEXT("source"));
        graph->AddFilter(filter, TEXT("decoder"));
        graph->AddFilter(sink, TEXT("sink"));
        if (SUCCEEDED(graph->ConnectFilters(source, filter)) &&
            SUCCEEDED(graph->ConnectFilters(filter, sink)) && SUCCEEDED(graph->Pause()) &&
            SUCCEEDED(graph->Run())) {
            REFERENCE_TIME t = 0;
            size_t index = 0;
            for (size_t offset = 0; offset < size; offset += piece, ++index) {
                qm::graph::SampleSpec spec;
                if (!(times == 2 && index % 3 == 1)) {
                    spec.start = (times == 1 && index % 4 == 2) ? -t - 1 : t;
                    spec.stop = *spec.start + 320000;
                }
                t += 320000;
                const size_t n = piece < size - offset ? piece : size - offset;
                if (FAILED(source->Deliver(data + offset, n, spec))) break;
            }
            source->DeliverEndOfStream();
            graph->Stop();
        }
    }
    if (sink) sink->Release();
    if (source) source->Release();
    if (filter) filter->Release();
    if (graph) graph->Release();
    return 0;
}
