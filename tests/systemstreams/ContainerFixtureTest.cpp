// Each container fixture four ways, against what ffmpeg makes of it: the parser fed in random
// piece sizes, the MPEG video framer on its video, the demultiplexer filter in a graph, and
// qmdecode --demux. Every stream's bytes must equal ffmpeg's copy and its times must be ones
// ffprobe gives. Then the demultiplexer filter's state changes, refusals and a cut file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

#include "VideoIO/Demultiplexer/DemultiplexerFilter.h"
#include "VideoIO/MPEGSystemFilters/ContainerProbe.h"
#include "VideoIO/MPEGSystemFilters/MpegVideoFramer.h"
#include "platform/graph/FilterGraph.h"
#include "platform/graph/Sink.h"
#include "tests/systemstreams/DemuxGraph.h"
#include "tests/systemstreams/StreamBuilder.h"
#include "tests/systemstreams/SystemStreamSupport.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::graph::Sink;
using qm::test::Collector;
using qm::test::DemuxGraph;
using qm::test::ExpectedStream;
using qm::test::Ref;
using qm_Demultiplexer::DemultiplexerFilter;

void ExpectCopy(const std::vector<uint8_t>& bytes, const ExpectedStream& e) {
    EXPECT_EQ(bytes.size(), e.size);
    EXPECT_EQ(qm::test::Crc32(bytes), e.crc);
}

// ffmpeg splits and stamps frames itself; every stamp a packet carries is one of them, the
// first included.
void ExpectParsed(const std::vector<uint8_t>& data, ContainerKind kind,
                  const std::vector<ExpectedStream>& expected) {
    for (int maxPiece : {1 << 20, 4096, 7}) {
        SCOPED_TRACE("pieces up to " + std::to_string(maxPiece));
        Collector got;
        auto parser = CreateParser(kind, &got);
        qm::test::FeedInPieces(*parser, data, uint64_t(maxPiece), maxPiece);
        EXPECT_EQ(parser->Stats().bytesSkipped, 0u);
        EXPECT_EQ(parser->Stats().damagedUnits, 0u);
        std::vector<uint32_t> keys;
        for (uint32_t key : got.order)
            if (got.streams[key].coding != StreamCoding::Subpicture) keys.push_back(key);
        ASSERT_EQ(keys.size(), expected.size());
        for (const ExpectedStream& e : expected) {
            SCOPED_TRACE("stream " + std::to_string(e.index) + " " + e.codec);
            const uint32_t key = keys[size_t(e.index)];
            ExpectCopy(got.Bytes(key), e);
            const std::vector<int64_t> pts = got.Pts(key);
            ASSERT_FALSE(pts.empty());
            std::set<int64_t> known(e.pts.begin(), e.pts.end());
            known.erase(-1);  // packets ffprobe gives no time
            EXPECT_EQ(*std::min_element(pts.begin(), pts.end()), *known.begin());
            for (int64_t t : pts) EXPECT_TRUE(known.count(t)) << t;
        }
    }
}

// MPEG video framed into whole pictures: ffprobe lists the same pictures in the same order and,
// where it knows a time, it is ours too; the others are interpolated one frame period apart.
void ExpectFramed(const std::vector<uint8_t>& data, ContainerKind kind, const ExpectedStream& e) {
    Collector got;
    auto parser = CreateParser(kind, &got);
    parser->Feed(data.data(), data.size());
    parser->Finish();
    const uint32_t video = got.order[0];
    std::vector<uint8_t> joined;
    std::vector<int64_t> pts;
    std::vector<bool> interpolated;
    MpegVideoFramer framer([&](const MpegVideoFramer::Unit& u) {
        joined.insert(joined.end(), u.data, u.data + u.size);
        pts.push_back(u.pts);
        interpolated.push_back(u.interpolated);
    });
    for (const auto& u : got.units)
        if (u.key == video) framer.Push(u.bytes.data(), u.bytes.size(), u.pts, -1);
    framer.Flush();
    EXPECT_EQ(joined, got.Bytes(video));
    ASSERT_EQ(pts.size(), e.pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
        if (e.pts[i] >= 0) {
            EXPECT_EQ(pts[i], e.pts[i]) << "picture " << i;
        } else {
            EXPECT_TRUE(interpolated[i]) << "picture " << i;
        }
    }
    const std::set<int64_t> all(pts.begin(), pts.end());
    ASSERT_EQ(all.size(), pts.size());
    EXPECT_EQ(*all.rbegin() - *all.begin(), int64_t(pts.size() - 1) * 3600);
}

// Packet payloads as they come, each stream with a new segment first and one end of stream
// last. Video samples each have a time for the decoder, and those with a time stamp of their own
// carry a picture's; audio samples with a time carry a packet's.
void ExpectDemultiplexed(const std::filesystem::path& path,
                         const std::vector<ExpectedStream>& expected) {
    const int64_t base = qm::test::TimeBase(expected);
    DemuxGraph g;
    ASSERT_EQ(g.Build(path), S_OK);
    ASSERT_TRUE(g.RunToEnd());
    EXPECT_EQ(g.demux.p->StreamingResult(), S_OK);
    for (size_t pin = 0; pin < g.sinks.size(); ++pin) {
        const ExpectedStream& e = expected[g.streams[pin]];
        SCOPED_TRACE("graph, stream " + std::to_string(e.index) + " " + e.codec);
        ExpectCopy(g.Bytes(pin), e);
        const auto calls = g.sinks[pin].p->Calls();
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls.front().kind, qm::graph::SinkCall::NewSegment);
        EXPECT_EQ(calls.back().kind, qm::graph::SinkCall::EndOfStream);
        EXPECT_EQ(g.sinks[pin].p->EndOfStreamCount(), 1);
        const auto samples = g.sinks[pin].p->Samples();
        EXPECT_TRUE(samples.front().discontinuity);
        std::set<int64_t> times, stamped;
        for (int64_t t : e.pts)
            if (t >= 0) times.insert(qm::test::ToReferenceTime(t - base));
        for (const auto& s : samples) {
            if (e.IsVideo()) {
                ASSERT_TRUE(SUCCEEDED(s.timeResult));
                if (s.mediaTimeResult == S_OK && s.mediaStart == 0x7FFFFFFFFFFFFFFFLL) continue;
            } else if (FAILED(s.timeResult)) {
                continue;
            }
            stamped.insert(s.start);
        }
        EXPECT_FALSE(stamped.empty());
        for (int64_t t : stamped) EXPECT_TRUE(times.count(t)) << t;
    }
}

#if defined(QMDECODE_PATH) && !defined(_WIN32)
void ExpectQmdecodeDemux(const std::filesystem::path& path,
                         const std::vector<ExpectedStream>& expected) {
    const qm::test::ScratchDir tmp("demux");
    for (const ExpectedStream& e : expected) {
        SCOPED_TRACE("qmdecode, stream " + std::to_string(e.index));
        const std::string command =
            std::string(QMDECODE_PATH) + " --demux " + (e.IsVideo() ? "--video " : "--audio ") +
            std::to_string(e.index) + " " + path.string() + " " + tmp("s.es") + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        ExpectCopy(qm::test::ReadBytes(tmp / "s.es"), e);
    }
}
#else
void ExpectQmdecodeDemux(const std::filesystem::path&, const std::vector<ExpectedStream>&) {}
#endif

struct Fixture {
    const char* file;
    ContainerKind kind;
    friend std::ostream& operator<<(std::ostream& out, const Fixture& f) { return out << f.file; }
};

class ContainerFixture : public ::testing::TestWithParam<Fixture> {};

TEST_P(ContainerFixture, EveryStreamAsFfmpegCopiesIt) {
    const std::string file = GetParam().file;
    const auto path = qm::test::ContainerDir() / file;
    const std::vector<uint8_t> data = qm::test::ReadBytes(path);
    ASSERT_FALSE(data.empty());
    ASSERT_EQ(ProbeContainer(data.data(), data.size()), GetParam().kind);
    const auto expected = qm::test::ReadExpected(file.substr(0, file.find('.')));
    ASSERT_FALSE(expected.empty());
    ExpectParsed(data, GetParam().kind, expected);
    if (expected[0].codec == "mpeg2video" || expected[0].codec == "mpeg1video") {
        SCOPED_TRACE("framer");
        ExpectFramed(data, GetParam().kind, expected[0]);
    }
    ExpectDemultiplexed(path, expected);
    ExpectQmdecodeDemux(path, expected);
}

INSTANTIATE_TEST_SUITE_P(Containers, ContainerFixture,
                         ::testing::Values(Fixture{"dvd.vob", ContainerKind::ProgramStream},
                                           Fixture{"system.mpg", ContainerKind::ProgramStream},
                                           Fixture{"transport.ts", ContainerKind::TransportStream},
                                           Fixture{"mpeg4.avi", ContainerKind::Avi},
                                           Fixture{"bluray.m2ts", ContainerKind::TransportStream}),
                         [](const auto& info) {
                             const std::string n = info.param.file;
                             return n.substr(0, n.find('.'));
                         });

TEST(DemultiplexerFilter, StopPauseAndRunFromAnyState) {
    DemuxGraph g;
    ASSERT_EQ(g.Build(qm::test::ContainerDir() / "dvd.vob"), S_OK);
    const size_t whole = qm::test::ReadExpected("dvd")[0].size;
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
    const struct {
        std::filesystem::path path;
        HRESULT hr;
    } loads[] = {
        {qm::test::ContainerDir() / "no such file.vob", E_FAIL},
        {qm::test::FixtureDir() / "mpa" / "l2_48k.mp2", DemultiplexerFilter::kUnknownFileType}};
    for (const auto& l : loads) {
        Ref<DemultiplexerFilter> demux;
        ASSERT_EQ(DemultiplexerFilter::Create(&demux.p), S_OK);
        EXPECT_EQ(demux.p->Load(l.path.string()), l.hr) << l.path;
    }
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
    auto data = qm::test::ReadBytes(qm::test::ContainerDir() / "transport.ts");
    data.resize(data.size() / 2 + 77);
    const qm::test::ScratchDir tmp("truncated");
    ASSERT_TRUE(qm::test::WriteBytes(tmp / "cut.ts", data));
    DemuxGraph g;  // closes the file before the folder goes (Windows keeps an open file)
    ASSERT_EQ(g.Build(tmp / "cut.ts"), S_OK);
    ASSERT_TRUE(g.RunToEnd());
    ASSERT_EQ(g.sinks.size(), 3u);
    for (Ref<Sink>& s : g.sinks) {
        EXPECT_EQ(s.p->EndOfStreamCount(), 1);
        EXPECT_GT(s.p->SampleCount(), 0u);
    }
    EXPECT_LT(g.Bytes(0).size(), qm::test::ReadExpected("transport")[0].size);
}

}  // namespace
