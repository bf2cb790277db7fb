// MPEG video framing: whole pictures out of PES payloads, with the time stamp rule of the
// system layer and interpolated stamps for pictures that carry none.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "VideoIO/MPEGSystemFilters/ContainerProbe.h"
#include "VideoIO/MPEGSystemFilters/MpegVideoFramer.h"
#include "tests/support/Paths.h"
#include "tests/systemstreams/Collector.h"
#include "tests/systemstreams/StreamBuilder.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::test::Bytes;

struct Framed {
    std::vector<Bytes> units;
    std::vector<int64_t> pts;
    std::vector<bool> interpolated;
};

Framed Frame(const std::vector<std::tuple<Bytes, int64_t>>& packets) {
    Framed f;
    MpegVideoFramer framer([&](const MpegVideoFramer::Unit& u) {
        f.units.emplace_back(u.data, u.data + u.size);
        f.pts.push_back(u.pts);
        f.interpolated.push_back(u.interpolated);
    });
    for (const auto& [bytes, pts] : packets) framer.Push(bytes.data(), bytes.size(), pts, -1);
    framer.Flush();
    return f;
}

Bytes Code(uint8_t code, std::initializer_list<uint8_t> rest = {}) {
    Bytes b = {0, 0, 1, code};
    for (uint8_t x : rest) b.push_back(x);
    return b;
}

// A picture header with its temporal reference, and a slice of filler.
Bytes Picture(int tr) {
    Bytes b = Code(0x00, {uint8_t(tr >> 2), uint8_t((tr & 3) << 6 | 0x08), 0x00});
    qm::test::Append(b, Code(0x01, {0x12, 0x34, 0x56}));
    return b;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) qm::test::Append(all, p);
    return all;
}

TEST(MpegVideoFramer, StampGoesToThePictureThatBeginsInItsPacket) {
    // 25 fps sequence header, a GOP, I (tr 2) stamped 9000, B (tr 0) whose start code is split
    // over two packets (it begins in the first, so the second packet's stamp is not its own),
    // B (tr 1) in that second packet, which takes 99999.
    const Bytes seq = Code(0xB3, {0x0B, 0x00, 0x90, 0x13, 0xFF, 0xFF, 0xE0, 0x00});
    const Bytes first = Join({seq, Code(0xB8, {0, 0, 0, 0}), Picture(2), {0, 0}});
    const Bytes b0 = Picture(0);
    const Bytes second = Join({Bytes(b0.begin() + 2, b0.end()), Picture(1)});
    const Framed f = Frame({{first, 9000}, {second, 99999}, {Picture(5), -1}});
    ASSERT_EQ(f.units.size(), 4u);
    EXPECT_EQ(f.units[0][3], 0xB3);  // the headers go with the first picture
    EXPECT_EQ(f.pts, (std::vector<int64_t>{9000, 9000 - 2 * 3600, 99999, 99999 + 4 * 3600}));
    EXPECT_EQ(f.interpolated, (std::vector<bool>{false, true, false, true}));
    Bytes joined;
    for (const Bytes& u : f.units) qm::test::Append(joined, u);
    EXPECT_EQ(joined, Join({first, second, Picture(5)}));
}

TEST(MpegVideoFramer, ResetSkipsToTheNextHeader) {
    Framed f;
    MpegVideoFramer framer(
        [&](const MpegVideoFramer::Unit& u) { f.units.emplace_back(u.data, u.data + u.size); });
    const Bytes a = Join({Code(0xB8, {0, 0, 0, 0}), Picture(0)});
    framer.Push(a.data(), a.size(), 100, -1);
    framer.Reset();  // the rest of that picture was lost
    const Bytes tail = Join({Code(0x01, {1, 2, 3}), Picture(1), Picture(2)});
    framer.Push(tail.data(), tail.size(), -1, -1);
    framer.Flush();
    ASSERT_EQ(f.units.size(), 2u);
    EXPECT_EQ(f.units[0], Picture(1));
    EXPECT_EQ(f.units[1], Picture(2));
    EXPECT_EQ(framer.SkippedBytes(), a.size() + 7);
}

// The fixtures' video: every picture framed, with ffprobe's packet times wherever ffprobe has
// one, and one picture per frame period in all.
TEST(MpegVideoFramer, FixturePicturesAndStamps) {
    for (const char* name : {"dvd", "system", "transport"}) {
        SCOPED_TRACE(name);
        const auto dir = qm::test::FixtureDir() / "containers";
        std::string file = std::string(name) + (name[0] == 'd'   ? ".vob"
                                                : name[0] == 's' ? ".mpg"
                                                                 : ".ts");
        const Bytes data = qm::test::ReadBytes(dir / file);
        qm::test::Collector got;
        auto parser = CreateParser(ProbeContainer(data.data(), data.size()), &got);
        parser->Feed(data.data(), data.size());
        parser->Finish();
        const uint32_t video = got.order[0];
        std::vector<std::tuple<Bytes, int64_t>> packets;
        for (const auto& u : got.units)
            if (u.key == video) packets.emplace_back(u.bytes, u.pts);
        const Framed f = Frame(packets);
        ASSERT_EQ(f.units.size(), 30u);
        Bytes joined;
        for (const Bytes& u : f.units) qm::test::Append(joined, u);
        EXPECT_EQ(joined, got.Bytes(video));

        std::vector<int64_t> expected;
        std::ifstream in(dir / (std::string(name) + ".s0.pts"));
        for (int64_t t; in >> t;) expected.push_back(t);
        // ffprobe lists the pictures in the same order; where it knows a time, it is ours too.
        ASSERT_EQ(expected.size(), f.pts.size());
        std::set<int64_t> all;
        for (size_t i = 0; i < f.units.size(); ++i) {
            if (expected[i] >= 0) {
                EXPECT_EQ(f.pts[i], expected[i]) << "picture " << i;
            } else {
                EXPECT_TRUE(f.interpolated[i]) << "picture " << i;
            }
            all.insert(f.pts[i]);
        }
        ASSERT_EQ(all.size(), 30u);
        EXPECT_EQ(*all.rbegin() - *all.begin(), 29 * 3600);
    }
}

}  // namespace
