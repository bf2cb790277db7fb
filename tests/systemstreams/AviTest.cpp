// AVI built by hand: packed B-VOPs, OpenDML parts, indexes that point nowhere, empty and
// oversized chunks; and, when slow tests are asked for, a file over 1 GiB.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "VideoIO/MPEGSystemFilters/AviParser.h"
#include "VideoIO/MPEGSystemFilters/ContainerProbe.h"
#include "tests/systemstreams/Collector.h"
#include "tests/systemstreams/StreamBuilder.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::test::Append;
using qm::test::Bytes;
using qm::test::Collector;

void Le32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Le16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Id(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(id[i]));
}

Bytes Chunk(const char* id, const Bytes& data, uint32_t claimedSize = 0) {
    Bytes b;
    Id(b, id);
    Le32(b, claimedSize ? claimedSize : uint32_t(data.size()));
    Append(b, data);
    if (data.size() & 1) b.push_back(0);
    return b;
}

Bytes List(const char* kind, const char* type, const Bytes& body) {
    Bytes b;
    Id(b, kind);
    Le32(b, uint32_t(4 + body.size()));
    Id(b, type);
    Append(b, body);
    return b;
}

Bytes StreamList(bool video, const char* handler, uint32_t scale, uint32_t rate,
                 uint32_t sampleSize) {
    Bytes strh;
    Id(strh, video ? "vids" : "auds");
    Id(strh, handler);
    for (int i = 0; i < 3; ++i) Le32(strh, 0);  // flags, priority and language, initial frames
    Le32(strh, scale);
    Le32(strh, rate);
    Le32(strh, 0);           // start
    Le32(strh, 0);           // length
    Le32(strh, 0);           // suggested buffer size
    Le32(strh, 0xFFFFFFFF);  // quality
    Le32(strh, sampleSize);
    for (int i = 0; i < 4; ++i) Le16(strh, 0);  // frame rectangle
    Bytes strf;
    if (video) {
        Le32(strf, 40);
        Le32(strf, 176);
        Le32(strf, 144);
        Le16(strf, 1);
        Le16(strf, 24);
        Id(strf, handler);
        for (int i = 0; i < 5; ++i) Le32(strf, 0);
    } else {
        Le16(strf, 0x55);  // MP3
        Le16(strf, 2);
        Le32(strf, 44100);
        Le32(strf, 8000);
        Le16(strf, 1);
        Le16(strf, 0);
        Le16(strf, 0);
    }
    Bytes body = Chunk("strh", strh);
    Append(body, Chunk("strf", strf));
    return List("LIST", "strl", body);
}

Bytes Header() {
    Bytes hdrl = Chunk("avih", Bytes(56, 0));
    Append(hdrl, StreamList(true, "XVID", 1, 25, 0));
    Append(hdrl, StreamList(false, "\0\0\0\0", 1152, 44100, 0));
    return List("LIST", "hdrl", hdrl);
}

// A VOP start code and its coding type (0 I, 1 P, 2 B), then filler.
Bytes Vop(int type, size_t size) {
    Bytes v = {0, 0, 1, 0xB6, uint8_t(type << 6 | 0x10)};
    for (size_t i = v.size(); i < size; ++i) v.push_back(uint8_t(0x40 + i % 50));
    return v;
}

Bytes Riff(const char* type, const Bytes& body) {
    return List("RIFF", type, body);
}

struct Unit {
    uint32_t key;
    Bytes bytes;
    int64_t pts;
};

std::vector<Unit> Parse(const Bytes& file, uint64_t seed, ParserStats* stats = nullptr) {
    Collector got;
    AviParser parser(&got);
    qm::test::FeedInPieces(parser, file, seed, 13);
    if (stats) *stats = parser.Stats();
    std::vector<Unit> units;
    for (const auto& u : got.units) units.push_back({u.key, u.bytes, u.pts});
    return units;
}

TEST(Avi, PackedBVopsAreSplitIntoTheirFrameSlots) {
    Bytes vol = {0, 0, 1, 0x20, 0x08, 0x88};
    Bytes first = vol;
    Append(first, Vop(0, 40));
    Bytes packed = Vop(1, 30);
    Append(packed, Vop(2, 20));
    Bytes movi = Chunk("00dc", first);
    Append(movi, Chunk("00dc", packed));
    Append(movi, Chunk("00dc", {0, 0, 1, 0xB6, 0x50, 0x00, 0x7F}));  // not-coded placeholder
    Append(movi, Chunk("00dc", Vop(1, 25)));
    Bytes body = Header();
    Append(body, List("LIST", "movi", movi));
    const Bytes file = Riff("AVI ", body);
    ASSERT_EQ(ProbeContainer(file.data(), file.size()), ContainerKind::Avi);
    const auto units = Parse(file, 1);
    ASSERT_EQ(units.size(), 4u);
    EXPECT_EQ(units[0].bytes, first);
    EXPECT_EQ(units[1].bytes, Vop(1, 30));
    EXPECT_EQ(units[2].bytes, Vop(2, 20));
    EXPECT_EQ(units[3].bytes, Vop(1, 25));
    for (size_t i = 0; i < units.size(); ++i) EXPECT_EQ(units[i].pts, int64_t(i) * 3600);
}

// A second RIFF part continues the streams; indexes point past the file and into themselves,
// chunks are empty or claim more than any file holds: read in order, nothing followed.
TEST(Avi, OpenDmlPartsAndBadIndexesAndChunks) {
    Bytes idx1;
    for (int i = 0; i < 4; ++i) {
        Id(idx1, "00dc");
        Le32(idx1, 0x10);
        Le32(idx1, 0xFFFFFF00u - uint32_t(i));  // offsets past the end
        Le32(idx1, 0x7FFFFFFF);
    }
    Bytes indx(24, 0);  // an OpenDML index whose entry points at itself
    Le32(indx, 0);
    Le32(indx, 0);
    Bytes movi = Chunk("00dc", Vop(0, 30));
    Append(movi, Chunk("01wb", Bytes(100, 0x11)));
    Append(movi, Chunk("00dc", {}));  // a dropped frame: it takes a frame slot
    Append(movi, Chunk("ix00", indx));
    Bytes first = Header();
    Append(first, List("LIST", "movi", movi));
    Append(first, Chunk("idx1", idx1));
    Bytes file = Riff("AVI ", first);
    Bytes movi2 = Chunk("00dc", Vop(1, 31));
    Append(movi2, Chunk("01wb", {}));  // empty audio holds no time
    Append(movi2, Chunk("01wb", Bytes(101, 0x22)));
    Append(file, Riff("AVIX", List("LIST", "movi", movi2)));
    Append(file, Chunk("00dc", Bytes(16, 1), 0x7FFFFFF0u));  // oversized, cut by the end
    ParserStats stats;
    const auto units = Parse(file, 2, &stats);
    ASSERT_EQ(units.size(), 4u);
    EXPECT_EQ(units[0].pts, 0);
    EXPECT_EQ(units[1].key, 1u);
    EXPECT_EQ(units[1].pts, 0);
    EXPECT_EQ(units[2].bytes, Vop(1, 31));
    EXPECT_EQ(units[2].pts, 2 * 3600);
    EXPECT_EQ(units[3].bytes, Bytes(101, 0x22));
    EXPECT_EQ(units[3].pts, 2351);  // one MP3 frame: 1152 / 44100 s
    EXPECT_EQ(stats.droppedUnits, 1u);
}

// Over 1 GiB in an AVI and AVIX parts, written on the fly. Slow: runs only with QM_SLOW_TESTS.
TEST(Avi, SlowFileOverOneGibibyte) {
    if (!std::getenv("QM_SLOW_TESTS")) GTEST_SKIP() << "set QM_SLOW_TESTS=1 to run";
    const auto path = std::filesystem::temp_directory_path() /
                      ("qm_large_" + std::to_string(::getpid()) + ".avi");
    const size_t kFrame = 1 << 20;
    const int kFramesPerPart = 300, kParts = 4;
    {
        std::ofstream out(path, std::ios::binary);
        const Bytes frame = Chunk("00dc", Vop(0, kFrame));
        for (int part = 0; part < kParts; ++part) {
            Bytes head;
            const uint32_t moviSize = uint32_t(4 + frame.size() * kFramesPerPart);
            Bytes prefix = part == 0 ? Header() : Bytes();
            Id(head, "RIFF");
            Le32(head, uint32_t(4 + prefix.size() + 8 + moviSize));
            Id(head, part == 0 ? "AVI " : "AVIX");
            Append(head, prefix);
            Id(head, "LIST");
            Le32(head, moviSize);
            Id(head, "movi");
            out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
            for (int i = 0; i < kFramesPerPart; ++i)
                out.write(reinterpret_cast<const char*>(frame.data()),
                          std::streamsize(frame.size()));
        }
    }
    ASSERT_GT(std::filesystem::file_size(path), uint64_t(1) << 30);
    struct Counter : IAccessUnitSink {
        uint64_t units = 0;
        int64_t lastPts = -1;
        void OnStream(const StreamInfo&) override {}
        void OnAccessUnit(const AccessUnit& u) override {
            ++units;
            lastPts = u.pts;
        }
    } counter;
    AviParser parser(&counter);
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(4 << 20);
    while (in) {
        in.read(buffer.data(), std::streamsize(buffer.size()));
        parser.Feed(reinterpret_cast<const uint8_t*>(buffer.data()), size_t(in.gcount()));
    }
    parser.Finish();
    std::filesystem::remove(path);
    EXPECT_EQ(counter.units, uint64_t(kFramesPerPart) * kParts);
    EXPECT_EQ(counter.lastPts, int64_t(kFramesPerPart * kParts - 1) * 3600);
}

}  // namespace
