// A source that lends its bytes must deliver exactly what a copying source delivers (bytes,
// times, flags, end of stream), only without the copy; and copy after all where the downstream
// pin's requirements rule lending out.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/graph/FilterGraph.h"
#include "platform/graph/PushSource.h"
#include "platform/graph/Sink.h"
#include "tests/support/VideoTypes.h"

namespace {

using qm::graph::FilterGraph;
using qm::graph::PushSource;
using qm::graph::ReceivedSample;
using qm::graph::SampleBytes;
using qm::graph::SampleSpec;
using qm::graph::Sink;
using qm::graph::SinkCall;

struct Played {
    std::vector<ReceivedSample> samples;
    std::vector<SinkCall> calls;
    bool lending = false;
    bool sinkGotSourceAllocator = false;
};

// source -> sink; `prepare` configures the sink, `push` delivers while running.
template <class Prepare, class Push>
Played Play(SampleBytes bytes, Prepare prepare, Push push) {
    FilterGraph* graph = nullptr;
    PushSource* source = nullptr;
    Sink* sink = nullptr;
    EXPECT_EQ(FilterGraph::Create(&graph), S_OK);
    const CMediaType type = qm::test::VideoInfoType(64, 32, MEDIASUBTYPE_YV12, 4096);
    EXPECT_EQ(PushSource::Create({type}, {3, 64, 1, 0}, &source, bytes), S_OK);
    EXPECT_EQ(Sink::Create({}, &sink), S_OK);
    prepare(*sink);
    graph->AddFilter(source, TEXT("source"));
    graph->AddFilter(sink, TEXT("sink"));
    Played r;
    EXPECT_EQ(graph->ConnectFilters(source, sink), S_OK);
    EXPECT_EQ(graph->Run(), S_OK);
    push(*source, *graph);
    r.samples = sink->Samples();
    r.calls = sink->Calls();
    r.lending = source->Lending();
    if (IMemAllocator* notified = sink->NotifiedAllocator()) {
        r.sinkGotSourceAllocator = notified == source->Allocator();
        notified->Release();
    }
    graph->Stop();
    graph->Release();
    source->Release();
    sink->Release();
    return r;
}

std::vector<BYTE> Stream(size_t n) {
    std::vector<BYTE> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = BYTE(i * 31 + (i >> 8));
    return v;
}

// Every other sample timed, media times on every third, the flags in turn.
SampleSpec SpecFor(size_t index, size_t offset) {
    SampleSpec s;
    if (index % 2 == 0) {
        s.start = REFERENCE_TIME(offset) * 10;
        if (index % 4 == 0) s.stop = *s.start + 400;
    }
    if (index % 3 == 0) {
        s.mediaStart = LONGLONG(index);
        s.mediaStop = LONGLONG(index + 1);
    }
    s.syncPoint = index % 2 == 1;
    s.discontinuity = index == 0;
    s.preroll = index == 1;
    return s;
}

void ExpectSameDelivery(const Played& copied, const Played& lent) {
    ASSERT_EQ(copied.calls.size(), lent.calls.size());
    for (size_t i = 0; i < copied.calls.size(); ++i)
        EXPECT_EQ(copied.calls[i].kind, lent.calls[i].kind) << "call " << i;
    ASSERT_EQ(copied.samples.size(), lent.samples.size());
    for (size_t i = 0; i < copied.samples.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "sample " << i);
        const ReceivedSample &a = copied.samples[i], &b = lent.samples[i];
        EXPECT_EQ(a.data, b.data);
        EXPECT_EQ(a.timeResult, b.timeResult);
        EXPECT_EQ(a.start, b.start);
        EXPECT_EQ(a.stop, b.stop);
        EXPECT_EQ(a.mediaTimeResult, b.mediaTimeResult);
        EXPECT_EQ(a.mediaStart, b.mediaStart);
        EXPECT_EQ(a.mediaStop, b.mediaStop);
        EXPECT_EQ(a.syncPoint, b.syncPoint);
        EXPECT_EQ(a.discontinuity, b.discontinuity);
        EXPECT_EQ(a.preroll, b.preroll);
    }
}

TEST(PushSourceLending, DeliversWhatACopyingSourceDeliversFromTheCallersBytes) {
    const std::vector<BYTE> bytes = Stream(1000);
    // Pieces larger than the 64-byte buffers asked for: only the copying source must refuse them.
    const std::vector<size_t> sizes = {7, 64, 1, 50};
    auto push = [&](PushSource& s, FilterGraph&) {
        EXPECT_EQ(s.DeliverStream(bytes.data(), bytes.size(), sizes, SpecFor), S_OK);
        EXPECT_EQ(s.DeliverEndOfStream(), S_OK);
    };
    const auto nothing = [](Sink&) {};
    const Played copied = Play(SampleBytes::Copied, nothing, push);
    const Played lent = Play(SampleBytes::Lent, nothing, push);
    EXPECT_FALSE(copied.lending);
    EXPECT_TRUE(lent.lending);
    EXPECT_TRUE(lent.sinkGotSourceAllocator);
    ExpectSameDelivery(copied, lent);

    size_t offset = 0;
    for (size_t i = 0; i < lent.samples.size(); ++i) {
        EXPECT_EQ(lent.samples[i].pointer, bytes.data() + offset) << "sample " << i;
        EXPECT_EQ(size_t(lent.samples[i].size), lent.samples[i].data.size());
        EXPECT_NE(copied.samples[i].pointer, bytes.data() + offset);
        offset += lent.samples[i].data.size();
    }
    EXPECT_EQ(offset, bytes.size());

    // One sample larger than the buffers asked for: lent whole, refused by a copying source.
    const Played big = Play(SampleBytes::Lent, nothing, [&](PushSource& s, FilterGraph&) {
        EXPECT_EQ(s.Deliver(bytes.data(), bytes.size()), S_OK);
    });
    ASSERT_EQ(big.samples.size(), 1u);
    EXPECT_EQ(big.samples[0].data, bytes);
    const Played refused = Play(SampleBytes::Copied, nothing, [&](PushSource& s, FilterGraph&) {
        EXPECT_EQ(s.Deliver(bytes.data(), bytes.size()), VFW_E_BUFFER_OVERFLOW);
    });
    EXPECT_TRUE(refused.samples.empty());
}

TEST(PushSourceLending, CopiesWhenTheDownstreamPinNeedsAlignmentOrAPrefix) {
    const std::vector<BYTE> bytes = Stream(300);
    for (const ALLOCATOR_PROPERTIES needs :
         {ALLOCATOR_PROPERTIES{0, 0, 16, 0}, ALLOCATOR_PROPERTIES{0, 0, 1, 8}}) {
        SCOPED_TRACE(testing::Message()
                     << "align " << needs.cbAlign << " prefix " << needs.cbPrefix);
        const Played r = Play(
            SampleBytes::Lent, [&](Sink& sink) { sink.SetAllocatorRequirements(needs); },
            [&](PushSource& s, FilterGraph&) {
                EXPECT_EQ(s.DeliverStream(bytes.data(), bytes.size(), {64}), S_OK);
            });
        EXPECT_FALSE(r.lending);
        ASSERT_EQ(r.samples.size(), 5u);
        for (size_t i = 0; i < r.samples.size(); ++i) {
            EXPECT_NE(r.samples[i].pointer, bytes.data() + 64 * i);
            EXPECT_TRUE(std::equal(r.samples[i].data.begin(), r.samples[i].data.end(),
                                   bytes.begin() + std::ptrdiff_t(64 * i)));
        }
    }
}

TEST(PushSourceLending, KeepsLendingAcrossStopsAndFromFiles) {
    const std::vector<BYTE> bytes = Stream(500);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "push-source-lending.bin";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    const Played r = Play(
        SampleBytes::Lent, [](Sink&) {},
        [&](PushSource& s, FilterGraph& g) {
            EXPECT_EQ(s.DeliverFile(path, {200}), S_OK);
            // Samples committed again after a stop are lent samples still.
            EXPECT_EQ(g.Stop(), S_OK);
            EXPECT_EQ(g.Run(), S_OK);
            EXPECT_EQ(s.Deliver(bytes.data() + 10, 20), S_OK);
            EXPECT_EQ(s.DeliverFile(path / "missing", {200}), E_FAIL);
        });
    std::filesystem::remove(path);
    EXPECT_TRUE(r.lending);
    ASSERT_EQ(r.samples.size(), 4u);
    std::vector<BYTE> joined;
    for (size_t i = 0; i < 3; ++i)
        joined.insert(joined.end(), r.samples[i].data.begin(), r.samples[i].data.end());
    EXPECT_EQ(joined, bytes);
    EXPECT_EQ(r.samples[3].pointer, bytes.data() + 10);
    EXPECT_EQ(r.samples[3].data, std::vector<BYTE>(bytes.begin() + 10, bytes.begin() + 30));
}

}  // namespace
