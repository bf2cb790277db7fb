// A source that lends its bytes must deliver what a copying source delivers (bytes, times,
// flags, end of stream) without the copy, and copy after all where the downstream pin's
// requirements rule lending out.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/graph/FilterGraph.h"
#include "platform/graph/PushSource.h"
#include "platform/graph/Sink.h"
#include "tests/support/VideoTypes.h"

namespace {

using namespace qm::graph;

struct Played {
    std::vector<ReceivedSample> samples;
    size_t calls = 0;
    bool lending = false;
};

// source -> sink with the sink's allocator requirements; `push` delivers while running.
template <class Push>
Played Play(SampleBytes bytes, Push push, std::optional<ALLOCATOR_PROPERTIES> needs = {}) {
    FilterGraph* graph = nullptr;
    PushSource* source = nullptr;
    Sink* sink = nullptr;
    EXPECT_EQ(FilterGraph::Create(&graph), S_OK);
    const CMediaType type = qm::test::VideoInfoType(64, 32, MEDIASUBTYPE_YV12, 4096);
    EXPECT_EQ(PushSource::Create({type}, {3, 64, 1, 0}, &source, bytes), S_OK);
    EXPECT_EQ(Sink::Create({}, &sink), S_OK);
    sink->SetAllocatorRequirements(needs);
    graph->AddFilter(source, TEXT("source"));
    graph->AddFilter(sink, TEXT("sink"));
    EXPECT_EQ(graph->ConnectFilters(source, sink), S_OK);
    EXPECT_EQ(graph->Run(), S_OK);
    push(*source, *graph);
    Played r{sink->Samples(), sink->Calls().size(), source->Lending()};
    graph->Stop();
    graph->Release();
    source->Release();
    sink->Release();
    return r;
}

auto Fields(const ReceivedSample& s) {
    return std::tie(s.data, s.timeResult, s.start, s.stop, s.mediaTimeResult, s.mediaStart,
                    s.mediaStop, s.syncPoint, s.discontinuity, s.preroll);
}

TEST(PushSourceLending, DeliversWhatACopyingSourceDeliversFromTheCallersBytes) {
    std::vector<BYTE> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = BYTE(i * 31 + (i >> 8));
    // Every other sample timed, media times on every third, the flags in turn.
    auto spec = [](size_t index, size_t offset) {
        SampleSpec s;
        if (index % 2 == 0) s.start = REFERENCE_TIME(offset) * 10;
        if (index % 4 == 0) s.stop = *s.start + 400;
        if (index % 3 == 0) s.mediaStart = LONGLONG(index), s.mediaStop = LONGLONG(index + 1);
        s.syncPoint = index % 2 == 1;
        s.discontinuity = index == 0;
        s.preroll = index == 1;
        return s;
    };
    // Pieces larger than the 64-byte buffers asked for: only the copying source refuses them.
    auto push = [&](PushSource& s, FilterGraph&) {
        EXPECT_EQ(s.DeliverStream(bytes.data(), bytes.size(), {7, 64, 1, 50}, spec), S_OK);
        EXPECT_EQ(s.Deliver(bytes.data(), 65), s.Lending() ? S_OK : VFW_E_BUFFER_OVERFLOW);
        EXPECT_EQ(s.DeliverEndOfStream(), S_OK);
    };
    const Played copied = Play(SampleBytes::Copied, push), lent = Play(SampleBytes::Lent, push);
    EXPECT_FALSE(copied.lending);
    ASSERT_TRUE(lent.lending);
    EXPECT_EQ(copied.calls + 1, lent.calls);
    ASSERT_EQ(copied.samples.size() + 1, lent.samples.size());
    size_t offset = 0;
    for (size_t i = 0; i < copied.samples.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Fields(copied.samples[i]) == Fields(lent.samples[i]));
        EXPECT_EQ(lent.samples[i].pointer, bytes.data() + offset);
        EXPECT_NE(copied.samples[i].pointer, bytes.data() + offset);
        offset += lent.samples[i].data.size();
    }
    EXPECT_EQ(offset, bytes.size());
}

TEST(PushSourceLending, CopiesWhenTheDownstreamPinNeedsAlignmentOrAPrefix) {
    const std::vector<BYTE> bytes(300, 0x3C);
    for (const ALLOCATOR_PROPERTIES needs :
         {ALLOCATOR_PROPERTIES{0, 0, 16, 0}, ALLOCATOR_PROPERTIES{0, 0, 1, 8}}) {
        const Played r = Play(
            SampleBytes::Lent,
            [&](PushSource& s, FilterGraph&) {
                EXPECT_EQ(s.DeliverStream(bytes.data(), bytes.size(), {64}), S_OK);
            },
            needs);
        EXPECT_FALSE(r.lending);
        ASSERT_EQ(r.samples.size(), 5u);
        EXPECT_NE(r.samples[1].pointer, bytes.data() + 64);
        EXPECT_EQ(r.samples[4].data, std::vector<BYTE>(44, 0x3C));
    }
}

TEST(PushSourceLending, LendsAgainAfterAStop) {
    const std::vector<BYTE> bytes = {0, 0, 1, 0xB3, 5, 6, 7};
    const Played r = Play(SampleBytes::Lent, [&](PushSource& s, FilterGraph& g) {
        EXPECT_EQ(s.Deliver(bytes.data(), 4), S_OK);
        EXPECT_EQ(g.Stop(), S_OK);
        EXPECT_EQ(g.Run(), S_OK);
        EXPECT_EQ(s.Deliver(bytes.data() + 2, 5), S_OK);
    });
    ASSERT_EQ(r.samples.size(), 2u);
    EXPECT_EQ(r.samples[1].pointer, bytes.data() + 2);
    EXPECT_EQ(r.samples[1].data, std::vector<BYTE>(bytes.begin() + 2, bytes.end()));
}

}  // namespace
