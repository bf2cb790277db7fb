// The demultiplexer filter in a graph with recording sinks: whole streams with the right times
// and stream control on every pin, state changes from any state, and input it cannot read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "VideoIO/Demultiplexer/DemultiplexerFilter.h"
#include "platform/graph/FilterGraph.h"
#include "platform/graph/Sink.h"
#include "tests/support/Paths.h"
#include "tests/systemstreams/Collector.h"
#include "tests/systemstreams/ExpectedStreams.h"
#include "tests/systemstreams/StreamBuilder.h"

namespace {

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
        for (const auto& s : sinks[pin].p->Samples()) qm::test::Append(all, s.data);
        return all;
    }
};

class DemultiplexerFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(DemultiplexerFixture, EveryStreamWholeWithItsTimes) {
    const std::string file = GetParam();
    const std::string name = file.substr(0, file.find('.'));
    const auto expected = qm::test::ReadExpected(name);
    const int64_t base = qm::test::TimeBase(expected);
    DemuxGraph g;
    ASSERT_EQ(g.Build(qm::test::ContainerDir() / file), S_OK);
    ASSERT_TRUE(g.RunToEnd());
    EXPECT_EQ(g.demux.p->StreamingResult(), S_OK);
    for (size_t pin = 0; pin < g.sinks.size(); ++pin) {
        const qm::test::ExpectedStream& e = expected[g.streams[pin]];
        SCOPED_TRACE(name + " stream " + std::to_string(e.index) + " " + e.codec);
        const std::vector<uint8_t> bytes = g.Bytes(pin);
        EXPECT_EQ(bytes.size(), e.size);
        EXPECT_EQ(qm::test::Crc32(bytes), e.crc);

        const auto calls = g.sinks[pin].p->Calls();
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls.front().kind, qm::graph::SinkCall::NewSegment);
        EXPECT_EQ(calls.back().kind, qm::graph::SinkCall::EndOfStream);
        EXPECT_EQ(g.sinks[pin].p->EndOfStreamCount(), 1);

        const auto samples = g.sinks[pin].p->Samples();
        EXPECT_TRUE(samples.front().discontinuity);
        std::set<int64_t> times;
        for (int64_t t : e.pts)
            if (t >= 0) times.insert(qm::test::ToReferenceTime(t - base));
        const bool video = e.IsVideo();
        if (video) {
            // Packet payloads as they come, each with a time for the decoder; those with a time
            // stamp of their own carry the time stamp of a picture.
            std::set<int64_t> stamped;
            for (size_t i = 0; i < samples.size(); ++i) {
                ASSERT_TRUE(SUCCEEDED(samples[i].timeResult)) << i;
                if (samples[i].mediaTimeResult != S_OK ||
                    samples[i].mediaStart != 0x7FFFFFFFFFFFFFFFLL)
                    stamped.insert(samples[i].start);
            }
            EXPECT_FALSE(stamped.empty());
            for (int64_t t : stamped) EXPECT_TRUE(times.count(t)) << t;
        } else {
            for (const auto& s : samples) {
                if (SUCCEEDED(s.timeResult)) {
                    EXPECT_TRUE(times.count(s.start)) << s.start;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, DemultiplexerFixture,
                         ::testing::Values("dvd.vob", "system.mpg", "transport.ts", "mpeg4.avi",
                                           "bluray.m2ts"),
                         [](const auto& info) {
                             std::string n = info.param;
                             return n.substr(0, n.find('.'));
                         });

TEST(DemultiplexerFilter, StopPauseAndRunFromAnyState) {
    DemuxGraph g;
    ASSERT_EQ(g.Build(qm::test::ContainerDir() / "dvd.vob"), S_OK);
    const size_t whole = g.Bytes(0).size() + qm::test::ReadExpected("dvd")[0].size;
    EXPECT_EQ(g.graph.p->Stop(), S_OK);  // stopped already
    // Stopped in the middle of streaming, as soon as it starts, and while paused.
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(g.graph.p->Pause(), S_OK);
        if (round % 2) {
            ASSERT_EQ(g.graph.p->Run(), S_OK);
        }
        if (round >= 3) std::this_thread::sleep_for(std::chrono::milliseconds(round));
        ASSERT_EQ(g.graph.p->Stop(), S_OK);
    }
    // Run, pause, run again: the file is read once more from its start.
    for (Ref<Sink>& s : g.sinks) s.p->ClearRecords();
    ASSERT_EQ(g.graph.p->Run(), S_OK);
    ASSERT_EQ(g.graph.p->Pause(), S_OK);
    ASSERT_EQ(g.graph.p->Run(), S_OK);
    ASSERT_TRUE(g.WaitFinished());
    ASSERT_EQ(g.graph.p->Stop(), S_OK);
    EXPECT_EQ(g.Bytes(0).size(), whole);
    for (Ref<Sink>& s : g.sinks) EXPECT_EQ(s.p->EndOfStreamCount(), 1);
}

TEST(DemultiplexerFilter, RefusesWhatItCannotRead) {
    Ref<DemultiplexerFilter> demux;
    ASSERT_EQ(DemultiplexerFilter::Create(&demux.p), S_OK);
    EXPECT_EQ(demux.p->Load((qm::test::ContainerDir() / "no such file.vob").string()), E_FAIL);
    Ref<DemultiplexerFilter> elementary;
    ASSERT_EQ(DemultiplexerFilter::Create(&elementary.p), S_OK);
    EXPECT_EQ(elementary.p->Load((qm::test::FixtureDir() / "mpa" / "l2_48k.mp2").string()),
              DemultiplexerFilter::kUnknownFileType);
    Ref<DemultiplexerFilter> loaded;
    ASSERT_EQ(DemultiplexerFilter::Create(&loaded.p), S_OK);
    ASSERT_EQ(loaded.p->Load((qm::test::ContainerDir() / "system.mpg").string()), S_OK);
    EXPECT_EQ(loaded.p->SelectStreams({7}), E_INVALIDARG);
    DemuxGraph g;  // connected: the selection stays
    ASSERT_EQ(g.Build(qm::test::ContainerDir() / "system.mpg"), S_OK);
    EXPECT_EQ(g.demux.p->SelectStreams({0}), VFW_E_ALREADY_CONNECTED);
}

// A file cut in the middle of a packet: the streams end early, each with its end of stream.
TEST(DemultiplexerFilter, TruncatedFileEndsEveryStream) {
    const auto data = qm::test::ReadBytes(qm::test::ContainerDir() / "transport.ts");
    const auto path = std::filesystem::temp_directory_path() /
                      ("qm_truncated_" + std::to_string(::getpid()) + ".ts");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()),
                  std::streamsize(data.size() / 2 + 77));
    }
    {
        DemuxGraph g;
        ASSERT_EQ(g.Build(path), S_OK);
        ASSERT_TRUE(g.RunToEnd());
        ASSERT_EQ(g.sinks.size(), 3u);
        for (Ref<Sink>& s : g.sinks) {
            EXPECT_EQ(s.p->EndOfStreamCount(), 1);
            EXPECT_GT(s.p->SampleCount(), 0u);
        }
        EXPECT_LT(g.Bytes(0).size(), qm::test::ReadExpected("transport")[0].size);
    }
    // Once the graph has closed it: Windows does not remove an open file.
    std::filesystem::remove(path);
}

}  // namespace
