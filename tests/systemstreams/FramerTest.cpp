// MPEG video framing: whole pictures out of PES payloads, with the time stamp rule of the
// system layer and interpolated stamps for pictures that carry none (the fixtures' video is
// framed in ContainerFixtureTest).
#include <gtest/gtest.h>

#include <tuple>

#include "VideoIO/MPEGSystemFilters/MpegVideoFramer.h"
#include "tests/systemstreams/StreamBuilder.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::test::Bytes;
using qm::test::Join;

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

}  // namespace
