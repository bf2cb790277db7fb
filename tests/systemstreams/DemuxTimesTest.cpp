// Faults the audio oracle sweep found in containers: AC-3 packets without a time stamp reaching
// a decoder that refuses untimed samples, and AVI audio described by WAVE_FORMAT_EXTENSIBLE.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "VideoIO/MPEGSystemFilters/AviParser.h"
#include "tests/systemstreams/DemuxGraph.h"
#include "tests/systemstreams/SystemStreamSupport.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::test::Append;
using qm::test::Bytes;
using qm::test::DemuxGraph;

constexpr int64_t kFirstPts = 90000;
constexpr int64_t kByteRate = 16000;  // 128 kbit/s

// A DVD AC-3 packet: sub-stream 0x80 header, then `payload`.
Bytes Ac3Packet(const Bytes& payload, int64_t pts) {
    Bytes body = {0x80, 1, 0, 1};
    Append(body, payload);
    return qm::test::Pes(0xBD, body, pts);
}

// An AC-3 frame header (48 kHz, 128 kbit/s, stereo) and filler.
Bytes Ac3Start(size_t size) {
    Bytes b(size, 0x5A);
    const uint8_t header[7] = {0x0B, 0x77, 0, 0, 0x10, 0x40, 0x40};
    std::copy_n(header, 7, b.begin());
    return b;
}

struct Delivered {
    Bytes bytes;
    std::vector<qm::graph::ReceivedSample> samples;
};

Delivered Demultiplex(const Bytes& packets) {
    const qm::test::ScratchDir tmp("demuxtimes");
    const auto path = tmp("s.vob");
    Bytes file = qm::test::PackHeader();
    Append(file, packets);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    DemuxGraph g;
    Delivered d;
    EXPECT_EQ(g.Build(path), S_OK);
    if (g.sinks.size() != 1) {
        ADD_FAILURE() << "streams " << g.sinks.size();
        return d;
    }
    EXPECT_TRUE(g.RunToEnd());
    EXPECT_EQ(g.demux.p->StreamingResult(), S_OK);
    d.bytes = g.Bytes(0);
    d.samples = g.sinks[0].p->Samples();
    return d;
}

// Untimed packets join the timed one before them; those before the first time stamp are
// dropped; the last is delivered at the end of the stream.
TEST(DemuxTimes, UntimedAc3PacketsJoinTheTimedOneBefore) {
    const Bytes lead(10, 0x11), first = Ac3Start(100), second(100, 0x22), third(100, 0x33),
                                last(50, 0x44);
    const Delivered d = Demultiplex(
        qm::test::Join({Ac3Packet(lead, -1), Ac3Packet(first, kFirstPts), Ac3Packet(second, -1),
                        Ac3Packet(third, kFirstPts + 2880), Ac3Packet(last, -1)}));
    EXPECT_EQ(d.bytes, qm::test::Join({first, second, third, last}));
    ASSERT_EQ(d.samples.size(), 2u);
    for (const auto& s : d.samples) EXPECT_TRUE(SUCCEEDED(s.timeResult));
    EXPECT_EQ(d.samples[0].start, 0);
    EXPECT_EQ(d.samples[0].data.size(), 200u);
    EXPECT_EQ(d.samples[1].start, 320000);  // 2880 ticks
    EXPECT_TRUE(d.samples[0].syncPoint);
}

// A long run without time stamps is cut into pieces, each timed where its bytes start at the
// stream's bit rate.
TEST(DemuxTimes, LongUntimedRunGetsTimesFromTheBitRate) {
    Bytes packets = Ac3Packet(Ac3Start(100), kFirstPts);
    for (int i = 0; i < 60; ++i) Append(packets, Ac3Packet(Bytes(2000, uint8_t(i)), -1));
    const Delivered d = Demultiplex(packets);
    EXPECT_EQ(d.bytes.size(), 100u + 60 * 2000);
    ASSERT_GE(d.samples.size(), 2u);
    int64_t at = 0;
    for (const auto& s : d.samples) {
        ASSERT_TRUE(SUCCEEDED(s.timeResult));
        const int64_t exact = at * 10000000 / kByteRate;
        EXPECT_NEAR(double(s.start), double(exact), 2000.0) << "at byte " << at;
        at += int64_t(s.data.size());
    }
}

void Put(Bytes& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

Bytes Chunk(const char* id, const Bytes& data, const char* type = nullptr) {
    Bytes b(id, id + 4);
    Put(b, uint32_t(data.size() + (type ? 4 : 0)), 4);
    if (type) b.insert(b.end(), type, type + 4);
    Append(b, data);
    return b;
}

// The coding an AVI audio stream with a WAVE_FORMAT_EXTENSIBLE format block is found to have.
StreamCoding ExtensibleCoding(uint16_t tag, uint8_t lastGuidByte) {
    Bytes strh(56, 0), strf;
    std::copy_n("auds", 4, strh.begin());
    strh[20] = 1;     // scale
    strh[24] = 0x20;  // rate
    for (const auto& [v, n] : {std::pair<uint32_t, int>{0xFFFE, 2},
                               {6, 2},
                               {48000, 4},
                               {56000, 4},
                               {1, 2},
                               {0, 2},
                               {22, 2},
                               {0, 2},
                               {0x3F, 4},
                               {tag, 4}})
        Put(strf, v, n);
    Append(strf, {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, lastGuidByte});
    const Bytes strl =
        Chunk("LIST", qm::test::Join({Chunk("strh", strh), Chunk("strf", strf)}), "strl");
    const Bytes hdrl = Chunk("LIST", qm::test::Join({Chunk("avih", Bytes(56, 0)), strl}), "hdrl");
    const Bytes file = Chunk(
        "RIFF", qm::test::Join({hdrl, Chunk("LIST", Chunk("01wb", Bytes(16, 1)), "movi")}), "AVI ");
    qm::test::Collector got;
    AviParser parser(&got);
    parser.Feed(file.data(), file.size());
    parser.Finish();
    if (got.order.size() != 1) return StreamCoding::Subpicture;  // no stream: fails every check
    return got.streams[got.order[0]].coding;
}

TEST(DemuxTimes, AviExtensibleAudioIsTypedByItsSubFormat) {
    EXPECT_EQ(ExtensibleCoding(0x2000, 0x71), StreamCoding::Ac3);
    EXPECT_EQ(ExtensibleCoding(0x0055, 0x71), StreamCoding::MpegAudio);
    EXPECT_EQ(ExtensibleCoding(0x0001, 0x71), StreamCoding::Pcm);
    // Another vendor's GUID says nothing about the tag.
    EXPECT_EQ(ExtensibleCoding(0x2000, 0x72), StreamCoding::Unknown);
}

}  // namespace
