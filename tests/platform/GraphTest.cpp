// The host graph with the push source, a trivial pass-through transform built on
// CTransformFilter, and the recording sink.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <tuple>

#include "platform/graph/FilterGraph.h"
#include "platform/graph/PushSource.h"
#include "platform/graph/Sink.h"
#include "tests/support/VideoTypes.h"

namespace {

using qm::graph::FilterGraph;
using qm::graph::PushSource;
using qm::graph::SampleSpec;
using qm::graph::Sink;
using qm::graph::SinkAllocatorOptions;
using qm::graph::SinkCall;

CMediaType VideoType(const GUID& subtype, LONG sampleSize = 4096) {
    CMediaType mt = qm::test::VideoInfoType(64, 32, subtype, sampleSize);
    mt.SetSampleSize(ULONG(sampleSize));
    return mt;
}

// Copies each input sample to an output sample of the same type. Samples whose first byte is
// 0xFF are skipped (Transform returns S_FALSE).
class PassThrough : public CTransformFilter {
public:
    PassThrough() : CTransformFilter(NAME("PassThrough"), nullptr, GUID_NULL) {}
    HRESULT CheckInputType(const CMediaType* mtIn) override {
        return IsEqualGUID(*mtIn->Type(), MEDIATYPE_Video) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override {
        return IsEqualGUID(*mtIn->Type(), *mtOut->Type()) &&
                       IsEqualGUID(*mtIn->Subtype(), *mtOut->Subtype())
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override {
        if (iPosition < 0) return E_INVALIDARG;
        if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
        return pMediaType->Set(m_pInput->CurrentMediaType());
    }
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override {
        pProp->cBuffers = 3;
        pProp->cbBuffer = 4096;
        ALLOCATOR_PROPERTIES actual{};
        const HRESULT hr = pAlloc->SetProperties(pProp, &actual);
        if (FAILED(hr)) return hr;
        if (actual.cbBuffer < pProp->cbBuffer || actual.cBuffers != pProp->cBuffers)
            return E_UNEXPECTED;
        return S_OK;
    }
    HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override {
        BYTE *in = nullptr, *out = nullptr;
        pIn->GetPointer(&in);
        pOut->GetPointer(&out);
        const LONG n = pIn->GetActualDataLength();
        if (n > 0 && in[0] == 0xFF) return S_FALSE;
        std::memcpy(out, in, size_t(n));
        return pOut->SetActualDataLength(n);
    }
    bool SkippedFlag() const { return m_bSampleSkipped; }
};

// source -> pass-through -> sink, or source -> sink without the transform.
struct Chain {
    FilterGraph* graph = nullptr;
    PushSource* source = nullptr;
    PassThrough* transform = nullptr;
    Sink* sink = nullptr;
    explicit Chain(std::vector<CMediaType> sinkTypes = {VideoType(MEDIASUBTYPE_YV12)},
                   bool withTransform = true, ALLOCATOR_PROPERTIES sourceProps = {2, 4096, 1, 0}) {
        EXPECT_EQ(FilterGraph::Create(&graph), S_OK);
        EXPECT_EQ(PushSource::Create({VideoType(MEDIASUBTYPE_YV12)}, sourceProps, &source), S_OK);
        EXPECT_EQ(Sink::Create(sinkTypes, &sink), S_OK);
        EXPECT_EQ(graph->AddFilter(source, TEXT("source")), S_OK);
        if (withTransform) {
            transform = new PassThrough();
            transform->AddRef();
            EXPECT_EQ(graph->AddFilter(transform, TEXT("transform")), S_OK);
        }
        EXPECT_EQ(graph->AddFilter(sink, TEXT("sink")), S_OK);
    }
    ~Chain() {
        graph->Stop();
        graph->Release();
        source->Release();
        if (transform) transform->Release();
        sink->Release();
    }
    HRESULT Connect() {
        if (!transform) return graph->ConnectFilters(source, sink);
        HRESULT hr = graph->ConnectFilters(source, transform);
        if (FAILED(hr)) return hr;
        return graph->ConnectFilters(transform, sink);
    }
};

std::vector<BYTE> Bytes(size_t n, BYTE seed) {
    std::vector<BYTE> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = BYTE(seed + i * 7);
    return v;
}

TEST(Graph, PassThroughDeliversFlushesStartsASegmentAndCompletes) {
    Chain c;
    ASSERT_EQ(c.Connect(), S_OK);
    CMediaType connected;
    ASSERT_EQ(c.sink->InputPin()->ConnectionMediaType(&connected), S_OK);
    EXPECT_TRUE(IsEqualGUID(connected.subtype, MEDIASUBTYPE_YV12));
    ASSERT_EQ(c.graph->Run(), S_OK);
    const std::vector<BYTE> stream = Bytes(10000, 3);
    auto spec = [](size_t index, size_t) {
        SampleSpec s;
        s.start = REFERENCE_TIME(index) * 400000;
        s.stop = REFERENCE_TIME(index + 1) * 400000;
        s.mediaStart = LONGLONG(index);
        s.mediaStop = LONGLONG(index + 1);
        s.discontinuity = index == 0;
        return s;
    };
    ASSERT_EQ(c.source->DeliverStream(stream.data(), stream.size(), {3000, 1000}, spec), S_OK);
    ASSERT_EQ(c.source->DeliverBeginFlush(), S_OK);
    ASSERT_EQ(c.source->DeliverEndFlush(), S_OK);
    ASSERT_EQ(c.source->DeliverNewSegment(5000000, 9000000, 1.0), S_OK);
    const std::vector<BYTE> tail = Bytes(500, 9);
    SampleSpec untimed;
    ASSERT_EQ(c.source->Deliver(tail.data(), tail.size(), untimed), S_OK);
    EXPECT_EQ(c.graph->CountEvents(EC_COMPLETE), 0);
    ASSERT_EQ(c.source->DeliverEndOfStream(), S_OK);
    ASSERT_TRUE(c.graph->WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(c.graph->Events()[0].param2, LONG_PTR(static_cast<IBaseFilter*>(c.sink)));
    const auto samples = c.sink->Samples();
    ASSERT_EQ(samples.size(), 6u);  // 3000+1000+3000+1000+2000, then the tail
    std::vector<BYTE> joined;
    for (size_t i = 0; i < 5; ++i) {
        joined.insert(joined.end(), samples[i].data.begin(), samples[i].data.end());
        const auto& s = samples[i];
        EXPECT_EQ(std::tuple(s.timeResult, s.start, s.stop, s.mediaTimeResult, s.mediaStart,
                             s.mediaStop, s.discontinuity, s.syncPoint),
                  std::tuple(S_OK, REFERENCE_TIME(i) * 400000, REFERENCE_TIME(i + 1) * 400000, S_OK,
                             LONGLONG(i), LONGLONG(i + 1), i == 0, true));
    }
    EXPECT_EQ(joined, stream);
    EXPECT_EQ(std::tuple(samples[5].data, samples[5].timeResult, samples[5].mediaTimeResult),
              std::tuple(tail, VFW_E_SAMPLE_TIME_NOT_SET, VFW_E_MEDIA_TIME_NOT_SET));
    std::vector<SinkCall::Kind> kinds;
    for (const SinkCall& call : c.sink->Calls()) kinds.push_back(call.kind);
    const std::vector<SinkCall::Kind> expected = {
        SinkCall::Sample, SinkCall::Sample,     SinkCall::Sample,   SinkCall::Sample,
        SinkCall::Sample, SinkCall::BeginFlush, SinkCall::EndFlush, SinkCall::NewSegment,
        SinkCall::Sample, SinkCall::EndOfStream};
    EXPECT_EQ(kinds, expected);
    EXPECT_EQ(std::tuple(c.sink->Calls()[7].segmentStart, c.sink->Calls()[7].segmentStop),
              std::tuple(5000000, 9000000));

    // Stopped: the input refuses samples.
    ASSERT_EQ(c.graph->Stop(), S_OK);
    EXPECT_EQ(c.source->Deliver(tail.data(), tail.size()), VFW_E_NOT_COMMITTED);
}

TEST(Graph, RefusedTypesLeaveBothPinsUnconnected) {
    {
        // The sink takes only audio: the transform's video output has nowhere to go.
        CMediaType audio(&MEDIATYPE_Audio);
        Chain c({audio});
        ASSERT_EQ(c.graph->ConnectFilters(c.source, c.transform), S_OK);
        const HRESULT hr = c.graph->ConnectFilters(c.transform, c.sink);
        EXPECT_TRUE(hr == VFW_E_NO_ACCEPTABLE_TYPES || hr == VFW_E_TYPE_NOT_ACCEPTED)
            << std::hex << hr;
        IPin* other = nullptr;
        EXPECT_EQ(c.sink->InputPin()->ConnectedTo(&other), VFW_E_NOT_CONNECTED);
        EXPECT_EQ(c.transform->GetPin(1)->ConnectedTo(&other), VFW_E_NOT_CONNECTED);
        // A fully specified type is tried alone.
        CMediaType video = VideoType(MEDIASUBTYPE_YV12);
        EXPECT_EQ(c.graph->ConnectDirect(c.transform->GetPin(1), c.sink->InputPin(), &video),
                  VFW_E_TYPE_NOT_ACCEPTED);
        EXPECT_EQ(c.sink->InputPin()->QueryAccept(&video), S_FALSE);
    }
    {
        // Pins of the same direction, a connection while running, and a second connection.
        Chain c;
        EXPECT_EQ(c.graph->ConnectDirect(c.source->OutputPin(), c.transform->GetPin(1), nullptr),
                  VFW_E_INVALID_DIRECTION);
        ASSERT_EQ(c.Connect(), S_OK);
        EXPECT_EQ(c.graph->ConnectFilters(c.source, c.transform), VFW_E_NOT_FOUND);
        EXPECT_EQ(c.transform->GetPin(1)->Connect(c.sink->InputPin(), nullptr),
                  VFW_E_ALREADY_CONNECTED);
        ASSERT_EQ(c.graph->Pause(), S_OK);
        EXPECT_EQ(c.transform->GetPin(1)->Disconnect(), VFW_E_NOT_STOPPED);
        ASSERT_EQ(c.graph->Stop(), S_OK);
        EXPECT_EQ(c.graph->Reconnect(c.sink->InputPin()), S_OK);
        EXPECT_EQ(c.graph->Disconnect(c.sink->InputPin()), S_OK);
        EXPECT_EQ(c.graph->Disconnect(c.sink->InputPin()), S_FALSE);
    }
}

TEST(Graph, SinkThatRejectsAFormatChangeStopsTheStreamWithAnError) {
    Chain c({}, false, {2, 1024, 1, 0});
    ASSERT_EQ(c.Connect(), S_OK);
    FilterGraph* graph = c.graph;
    PushSource* source = c.source;
    Sink* sink = c.sink;
    sink->SetAcceptFormatChanges(false);
    sink->SetQueryAcceptAnswer(false);
    CMediaType changed = VideoType(MEDIASUBTYPE_YUY2);
    EXPECT_EQ(sink->InputPin()->QueryAccept(&changed), S_FALSE);
    ASSERT_EQ(graph->Run(), S_OK);
    const BYTE data[16] = {1, 2, 3};
    SampleSpec spec;
    spec.mediaType = &changed;
    EXPECT_EQ(source->Deliver(data, sizeof(data), spec), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(graph->CountEvents(EC_ERRORABORT), 1);
    EXPECT_EQ(graph->Events()[0].param1, LONG_PTR(VFW_E_TYPE_NOT_ACCEPTED));
    // A run-time error holds until the next flush.
    EXPECT_EQ(source->Deliver(data, sizeof(data)), VFW_E_RUNTIME_ERROR);
    source->DeliverBeginFlush();
    EXPECT_EQ(source->Deliver(data, sizeof(data)), S_FALSE);  // flushing
    source->DeliverEndFlush();
    EXPECT_EQ(source->Deliver(data, sizeof(data)), S_OK);
    EXPECT_EQ(sink->SampleCount(), 1u);

    // The same change is taken when the sink accepts format changes.
    sink->SetAcceptFormatChanges(true);
    EXPECT_EQ(source->Deliver(data, sizeof(data), spec), S_OK);
    ASSERT_EQ(sink->SampleCount(), 2u);
    EXPECT_TRUE(sink->Samples()[1].hasMediaType);
    EXPECT_TRUE(IsEqualGUID(sink->Samples()[1].mediaType.subtype, MEDIASUBTYPE_YUY2));
}

TEST(Graph, DownstreamAllocatorsAreUsedRefusedOrAttachTypes) {
    // A sink allocator that grants fewer buffers than the transform asks for is refused (the
    // transform falls back to the standard allocator); one that honours the requirements is used
    // as it is, and the source fills the transform's own input allocator.
    for (const bool honoured : {false, true}) {
        SCOPED_TRACE(honoured);
        Chain c;
        SinkAllocatorOptions options;
        if (honoured) {
            options.minBufferSize = 8192;
            c.sink->SetAllocatorRequirements(ALLOCATOR_PROPERTIES{0, 0, 16, 0});
        } else {
            options.maxBuffers = 1;
        }
        c.sink->OfferAllocator(options);
        ASSERT_EQ(c.Connect(), S_OK);
        IMemAllocator* used = c.sink->NotifiedAllocator();
        ASSERT_NE(used, nullptr);
        ALLOCATOR_PROPERTIES props{};
        used->GetProperties(&props);
        used->Release();
        EXPECT_EQ(std::tuple(props.cBuffers, props.cbBuffer, props.cbAlign),
                  honoured ? std::tuple(3, 8192, 16) : std::tuple(3, 4096, 1));
        EXPECT_EQ(c.source->ActualProperties().cBuffers, 2);
    }
    // Samples handed out with a media type carry it down to the sink.
    Chain c({}, false, {1, 256, 1, 0});
    SinkAllocatorOptions options;
    options.attachedType = VideoType(MEDIASUBTYPE_NV12);
    c.sink->OfferAllocator(options);
    ASSERT_EQ(c.Connect(), S_OK);
    ASSERT_EQ(c.graph->Run(), S_OK);
    const BYTE data[4] = {9, 9, 9, 9};
    EXPECT_EQ(c.source->Deliver(data, sizeof(data)), S_OK);
    ASSERT_EQ(c.sink->SampleCount(), 1u);
    EXPECT_TRUE(c.sink->Samples()[0].hasMediaType);
    EXPECT_TRUE(IsEqualGUID(c.sink->Samples()[0].mediaType.subtype, MEDIASUBTYPE_NV12));
    // Only one buffer: a second request without waiting times out while it is held.
    IMediaSample* held = nullptr;
    ASSERT_EQ(c.source->Allocator()->GetBuffer(&held, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(c.source->Deliver(data, sizeof(data), {}, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    held->Release();
    EXPECT_EQ(c.source->Deliver(data, 300), VFW_E_BUFFER_OVERFLOW);
}

TEST(Graph, SkippedSamplesRaiseOneQualityEventPerPause) {
    Chain c;
    ASSERT_EQ(c.Connect(), S_OK);
    ASSERT_EQ(c.graph->Run(), S_OK);
    const BYTE skip[4] = {0xFF, 1, 2, 3};
    const BYTE keep[4] = {1, 2, 3, 4};
    EXPECT_EQ(c.source->Deliver(skip, 4), S_OK);
    EXPECT_EQ(c.source->Deliver(skip, 4), S_OK);
    EXPECT_TRUE(c.transform->SkippedFlag());
    EXPECT_EQ(c.graph->CountEvents(EC_QUALITY_CHANGE), 1);
    EXPECT_EQ(c.source->Deliver(keep, 4), S_OK);
    ASSERT_EQ(c.sink->SampleCount(), 1u);
    EXPECT_TRUE(c.sink->Samples()[0].discontinuity);  // the sample after a skipped one
    EXPECT_FALSE(c.transform->SkippedFlag());
    ASSERT_EQ(c.graph->Stop(), S_OK);
    ASSERT_EQ(c.graph->Run(), S_OK);
    EXPECT_EQ(c.source->Deliver(skip, 4), S_OK);
    EXPECT_EQ(c.graph->CountEvents(EC_QUALITY_CHANGE), 2);
}

TEST(Graph, EndOfStreamWhilePausedCompletesWhenRunning) {
    Chain c;
    ASSERT_EQ(c.Connect(), S_OK);
    ASSERT_EQ(c.graph->Pause(), S_OK);
    ASSERT_EQ(c.source->DeliverEndOfStream(), S_OK);
    EXPECT_EQ(c.graph->CountEvents(EC_COMPLETE), 0);
    ASSERT_EQ(c.graph->Run(), S_OK);
    EXPECT_EQ(c.graph->CountEvents(EC_COMPLETE), 1);
    IPin* pin = nullptr;
    EXPECT_EQ(c.transform->FindPin(TEXT("XForm Out"), &pin), S_OK);
    pin->Release();
    EXPECT_EQ(c.transform->GetPin(2), nullptr);
    EXPECT_EQ(c.transform->GetPin(-1), nullptr);
}

}  // namespace
