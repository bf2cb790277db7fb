// The DLL's filters inside Wine's filter graph manager, fed by our push source: connection by
// intelligent connect, running to completion into Wine's Null Renderer, stopping and running
// again, and stopping while samples are on their way.
#include <atomic>
#include <span>
#include <thread>

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/FilterIds.h"
#include "platform/graph/Sink.h"
#include "tests/support/Paths.h"
#include "tests/windows/WineTestSupport.h"

namespace qm::wintest {
namespace {

using namespace qm_MPEGDecoderFilters;

// The system's Null Renderer (qedit.h, which mingw-w64 does not ship).
QM_DEFINE_GUID(kNullRenderer, 0xC1F400A4, 0x3F08, 0x11D3, 0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E,
               0x37);

// A graph manager with its control and event interfaces, running without a clock so that
// renderers do not wait for presentation times.
struct Graph {
    ComPtr<IGraphBuilder> builder;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;

    Graph() {
        EXPECT_EQ(Create(CLSID_FilterGraph, IID_IGraphBuilder, builder), S_OK);
        if (!builder) return;
        builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control.p));
        builder->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events.p));
        ComPtr<IMediaFilter> media;
        builder->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&media.p));
        if (media) media->SetSyncSource(nullptr);
    }
    ~Graph() {
        if (control) control->Stop();
    }
    // Runs, feeds the whole stream and waits for the graph's completion event.
    void RunToCompletion(qm::graph::PushSource* source, const Stream& stream) {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        EXPECT_EQ(PushStream(source, stream), S_OK);
        LONG code = 0;
        EXPECT_EQ(events->WaitForCompletion(10000, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
    }
};

// source -> MPEG-2 video decoder -> Null Renderer in `graph`, the decoder's input connected
// directly or through the graph manager.
void BuildToNullRenderer(Graph& graph, const Stream& stream, ComPtr<qm::graph::PushSource>& source,
                         bool direct) {
    ASSERT_EQ(CreateSource(stream, &source.p), S_OK);
    ComPtr<IBaseFilter> decoder, renderer;
    ASSERT_EQ(Create(CLSID_MPEG2VideoDecoderFilter, IID_IBaseFilter, decoder), S_OK);
    ASSERT_EQ(Create(kNullRenderer, IID_IBaseFilter, renderer), S_OK);
    ASSERT_EQ(graph.builder->AddFilter(source.p, L"source"), S_OK);
    ASSERT_EQ(graph.builder->AddFilter(decoder.p, L"decoder"), S_OK);
    ASSERT_EQ(graph.builder->AddFilter(renderer.p, L"null"), S_OK);
    ComPtr<IPin> decoderIn, decoderOut, rendererIn;
    decoderIn.p = FindPin(decoder.p, PINDIR_INPUT);
    decoderOut.p = FindPin(decoder.p, PINDIR_OUTPUT);
    rendererIn.p = FindPin(renderer.p, PINDIR_INPUT);
    ASSERT_EQ(direct ? graph.builder->ConnectDirect(source->OutputPin(), decoderIn.p, nullptr)
                     : graph.builder->Connect(source->OutputPin(), decoderIn.p),
              S_OK);
    ASSERT_EQ(graph.builder->Connect(decoderOut.p, rendererIn.p), S_OK);
}

std::filesystem::path Sample(const char* name) {
    return qm::test::SourceDir() / "samples" / name;
}

class WineGraphTest : public WineTest {};

TEST_F(WineGraphTest, DecoderToNullRendererCompletesAndRunsAgainAfterStop) {
    const Stream stream = LoadStream(Sample("sample-mpeg2.m2v"));
    Graph graph;
    ASSERT_TRUE(graph.control && graph.events);
    ComPtr<qm::graph::PushSource> source;
    BuildToNullRenderer(graph, stream, source, true);
    if (HasFatalFailure()) return;

    graph.RunToCompletion(source.p, stream);
    ASSERT_EQ(graph.control->Stop(), S_OK);
    // Started again from the beginning, as after a seek: a new segment, then the whole stream.
    EXPECT_EQ(source->DeliverNewSegment(0, MAXLONGLONG, 1.0), S_OK);
    graph.RunToCompletion(source.p, stream);
    ASSERT_EQ(graph.control->Stop(), S_OK);
}

TEST_F(WineGraphTest, IntelligentConnectInsertsTheRegisteredDecoder) {
    struct Case {
        const char* file;
        CLSID decoder;
        GUID outputMajor;
        std::span<const GUID> outputSubtypes;
    };
    const Case cases[] = {
        {"sample-mpeg2.m2v", CLSID_MPEG2VideoDecoderFilter, MEDIATYPE_Video,
         qm::UncompressedVideoSubtypes()},
        {"sample-layer2.mp2", CLSID_MPEGAudioDecoderFilter, MEDIATYPE_Audio,
         qm::PCMAudioSubtypes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Stream stream = LoadStream(Sample(c.file));
        Graph graph;
        ComPtr<qm::graph::PushSource> source;
        ASSERT_EQ(CreateSource(stream, &source.p), S_OK);
        // Decoded types only, so that the source cannot connect straight to the sink.
        std::vector<CMediaType> accepted;
        for (const GUID& subtype : c.outputSubtypes) {
            CMediaType t;
            t.majortype = c.outputMajor;
            t.subtype = subtype;
            accepted.push_back(t);
        }
        ComPtr<qm::graph::Sink> sink;
        ASSERT_EQ(qm::graph::Sink::Create(accepted, &sink.p), S_OK);
        ASSERT_EQ(graph.builder->AddFilter(source.p, L"source"), S_OK);
        ASSERT_EQ(graph.builder->AddFilter(sink.p, L"sink"), S_OK);
        ASSERT_EQ(graph.builder->Connect(source->OutputPin(), sink->InputPin()), S_OK);
        const std::vector<CLSID> classes = FilterClasses(graph.builder.p);
        EXPECT_EQ(classes.size(), 3u);
        bool inserted = false;
        for (const CLSID& clsid : classes) inserted |= IsEqualGUID(clsid, c.decoder) != 0;
        EXPECT_TRUE(inserted);

        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        EXPECT_EQ(PushStream(source.p, stream), S_OK);
        graph.control->Stop();
        EXPECT_GT(sink->SampleCount(), 10u);
        EXPECT_EQ(sink->EndOfStreamCount(), 1);
    }
}

TEST_F(WineGraphTest, StoppingWhileSamplesAreInFlightLeavesNoObjectBehind) {
    const Stream stream = LoadStream(Sample("sample-mpeg2.m2v"));
    {
        Graph graph;
        ComPtr<qm::graph::PushSource> source;
        BuildToNullRenderer(graph, stream, source, false);
        if (HasFatalFailure()) return;
        for (int round = 0; round < 3; ++round) {
            ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
            std::atomic<bool> stop{false};
            std::thread pusher([&] {
                // Pushes until the graph stops under it; the decoder then refuses samples.
                while (!stop && PushStream(source.p, stream) == S_OK) {
                }
            });
            Sleep(DWORD(50 + 40 * round));
            EXPECT_EQ(graph.control->Stop(), S_OK);
            stop = true;
            pusher.join();
        }
    }
    EXPECT_EQ(DllCanUnloadNowResult(), S_OK) << "every filter, pin and sample was released";
}

}  // namespace
}  // namespace qm::wintest
