// AVI built by hand: packed B-VOPs, OpenDML parts, indexes that point nowhere, empty and
// oversized chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "VideoIO/MPEGSystemFilters/AviParser.h"
#include "VideoIO/MPEGSystemFilters/ContainerProbe.h"
#include "tests/systemstreams/StreamBuilder.h"
#include "tests/systemstreams/SystemStreamSupport.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::test::Append;
using qm::test::Bytes;
using qm::test::Collector;
using qm::test::Join;

// `bytes` little-endian bytes of v.
void Put(Bytes& b, uint32_t v, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Id(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(id[i]));
}

Bytes Chunk(const char* id, const Bytes& data, uint32_t claimedSize = 0) {
    Bytes b;
    Id(b, id);
    Put(b, claimedSize ? claimedSize : uint32_t(data.size()));
    Append(b, data);
    if (data.size() & 1) b.push_back(0);
    return b;
}

Bytes List(const char* kind, const char* type, const Bytes& body) {
    Bytes b;
    Id(b, kind);
    Put(b, uint32_t(4 + body.size()));
    Id(b, type);
    Append(b, body);
    return b;
}

Bytes StreamList(bool video, const char* handler, uint32_t scale, uint32_t rate) {
    Bytes strh, strf;
    Id(strh, video ? "vids" : "auds");
    Id(strh, handler);
    // Flags, priority and language, initial frames, scale, rate, start, length, suggested buffer
    // size, quality, sample size, frame rectangle.
    for (uint32_t v : {0u, 0u, 0u, scale, rate, 0u, 0u, 0u, 0xFFFFFFFFu, 0u, 0u, 0u}) Put(strh, v);
    if (video) {
        for (uint32_t v : {40u, 176u, 144u}) Put(strf, v);
        Put(strf, 1, 2);
        Put(strf, 24, 2);
        Id(strf, handler);
        strf.resize(40, 0);
    } else {
        for (const auto& [v, bytes] : {std::pair<uint32_t, int>{0x55, 2},  // MP3
                                       {2, 2},
                                       {44100, 4},
                                       {8000, 4},
                                       {1, 2},
                                       {0, 4}})
            Put(strf, v, bytes);
    }
    Bytes body = Chunk("strh", strh);
    Append(body, Chunk("strf", strf));
    return List("LIST", "strl", body);
}

Bytes Header() {
    Bytes hdrl = Chunk("avih", Bytes(56, 0));
    Append(hdrl, StreamList(true, "XVID", 1, 25));
    Append(hdrl, StreamList(false, "\0\0\0\0", 1152, 44100));
    return List("LIST", "hdrl", hdrl);
}

// A VOP start code and its coding type (0 I, 1 P, 2 B), then filler.
Bytes Vop(int type, size_t size) {
    Bytes v = {0, 0, 1, 0xB6, uint8_t(type << 6 | 0x10)};
    for (size_t i = v.size(); i < size; ++i) v.push_back(uint8_t(0x40 + i % 50));
    return v;
}

using Units = std::vector<std::tuple<uint32_t, Bytes, int64_t>>;  // stream, bytes, time

Units Parse(const Bytes& file, uint64_t seed, ParserStats* stats) {
    Collector got;
    AviParser parser(&got);
    qm::test::FeedInPieces(parser, file, seed, 13);
    *stats = parser.Stats();
    Units units;
    for (const auto& u : got.units) units.emplace_back(u.key, u.bytes, u.pts);
    return units;
}

TEST(Avi, PackedBVopsAreSplitIntoTheirFrameSlots) {
    const Bytes first = Join({{0, 0, 1, 0x20, 0x08, 0x88}, Vop(0, 40)});  // VOL and I-VOP
    const Bytes movi = Join({Chunk("00dc", first), Chunk("00dc", Join({Vop(1, 30), Vop(2, 20)})),
                             Chunk("00dc", {0, 0, 1, 0xB6, 0x50, 0x00, 0x7F}),  // not coded
                             Chunk("00dc", Vop(1, 25))});
    const Bytes file = List("RIFF", "AVI ", Join({Header(), List("LIST", "movi", movi)}));
    ASSERT_EQ(ProbeContainer(file.data(), file.size()), ContainerKind::Avi);
    ParserStats stats;
    EXPECT_EQ(
        Parse(file, 1, &stats),
        (Units{
            {0, first, 0}, {0, Vop(1, 30), 3600}, {0, Vop(2, 20), 7200}, {0, Vop(1, 25), 10800}}));
}

// A second RIFF part continues the streams; indexes point past the file and into themselves,
// chunks are empty or claim more than any file holds: read in order, nothing followed.
TEST(Avi, OpenDmlPartsAndBadIndexesAndChunks) {
    Bytes idx1;
    for (uint32_t i = 0; i < 4; ++i) {
        Id(idx1, "00dc");
        for (uint32_t v : {0x10u, 0xFFFFFF00u - i, 0x7FFFFFFFu}) Put(idx1, v);  // past the end
    }
    const Bytes movi = Join({Chunk("00dc", Vop(0, 30)), Chunk("01wb", Bytes(100, 0x11)),
                             Chunk("00dc", {}),  // a dropped frame: it takes a frame slot
                             Chunk("ix00", Bytes(32, 0))});  // an index pointing at itself
    const Bytes movi2 =
        Join({Chunk("00dc", Vop(1, 31)), Chunk("01wb", {}),  // empty audio holds no time
              Chunk("01wb", Bytes(101, 0x22))});
    const Bytes file = Join(
        {List("RIFF", "AVI ", Join({Header(), List("LIST", "movi", movi), Chunk("idx1", idx1)})),
         List("RIFF", "AVIX", List("LIST", "movi", movi2)),
         Chunk("00dc", Bytes(16, 1), 0x7FFFFFF0u)});  // oversized, cut by the end
    ParserStats stats;
    EXPECT_EQ(Parse(file, 2, &stats),
              (Units{{0, Vop(0, 30), 0},
                     {1, Bytes(100, 0x11), 0},
                     {0, Vop(1, 31), 2 * 3600},
                     {1, Bytes(101, 0x22), 2351}}));  // one MP3 frame: 1152 / 44100 s
    EXPECT_EQ(stats.droppedUnits, 1u);
}

}  // namespace
