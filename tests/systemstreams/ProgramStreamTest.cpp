// Program streams built by hand: DVD sub-streams, the stream map, damage and junk.
#include <gtest/gtest.h>

#include <tuple>

#include "VideoIO/MPEGSystemFilters/ProgramStreamParser.h"
#include "tests/systemstreams/StreamBuilder.h"
#include "tests/systemstreams/SystemStreamSupport.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::test::Append;
using qm::test::Bytes;
using qm::test::Collector;

Bytes Lpcm(uint8_t sub, uint8_t format, const Bytes& samples) {
    Bytes payload = {sub, 1, 0, 4, 0, format, 0x80};
    Append(payload, samples);
    return payload;
}

TEST(ProgramStream, DvdSubStreamsAreSeparatedAndLpcmFormatFollowed) {
    Bytes s = qm::test::PackHeader();
    Append(s, qm::test::Pes(0xBD, Lpcm(0xA0, 0x01, {1, 2, 3, 4}), 9000));  // 16 bit 48k 2 ch
    Append(s, qm::test::Pes(0xBD, {0x80, 1, 0, 1, 0x0B, 0x77}, 9000));     // AC-3
    Append(s, qm::test::Pes(0xBD, {0x88, 1, 0, 1, 0x7F, 0xFE}, 9000));     // DTS
    Append(s, qm::test::Pes(0xBD, {0x20, 0xAB}, 9000));                    // subpicture
    Append(s, qm::test::Pes(0xBE, Bytes(30, 0xFF)));                       // padding
    Append(s, qm::test::Pes(0xBF, Bytes(20, 0x00)));                       // navigation
    Append(s,
           qm::test::Pes(0xBD, Lpcm(0xA0, 0x95, {5, 6, 7, 8, 9, 10}), 12000));  // 24 bit 96k 6 ch
    Append(s, qm::test::Pes(0xBD, Lpcm(0xA1, 0xC0, {1, 2})));  // reserved sample size: dropped
    Collector got;
    ProgramStreamParser parser(&got);
    qm::test::FeedInPieces(parser, s, 1, 5);

    ASSERT_EQ(got.order, (std::vector<uint32_t>{0xBDA0, 0xBD80, 0xBD88, 0xBD20}));
    EXPECT_EQ(got.Codings(),
              (std::map<uint32_t, StreamCoding>{{0xBDA0, StreamCoding::Lpcm},
                                                {0xBD80, StreamCoding::Ac3},
                                                {0xBD88, StreamCoding::Dts},
                                                {0xBD20, StreamCoding::Subpicture}}));
    EXPECT_EQ(got.Bytes(0xBDA0), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(got.Bytes(0xBD80), (Bytes{0x0B, 0x77}));
    EXPECT_EQ(got.Pts(0xBDA0), (std::vector<int64_t>{9000, 12000}));
    const StreamInfo& lpcm = got.streams[0xBDA0];  // the latest format
    EXPECT_EQ(std::tuple(lpcm.bitsPerSample, lpcm.sampleRate, lpcm.channels),
              std::tuple(24, 96000u, 6));
    EXPECT_EQ(std::tuple(parser.Stats().droppedUnits, parser.Stats().bytesSkipped),
              std::tuple(1u, 0u));
}

TEST(ProgramStream, StreamMapNamesTheCoding) {
    Bytes map = {0,    0,    1,    0xBC, 0,    0,    0x80, 0x01, 0x00, 0x00, 0x00, 0x08,
                 0x10, 0xE0, 0x00, 0x00, 0x0F, 0xC0, 0x00, 0x00, 0,    0,    0,    0};
    map[5] = uint8_t(map.size() - 6);
    Bytes s = qm::test::PackHeader();
    Append(s, map);
    Append(s, qm::test::Pes(0xE0, {0, 0, 1, 0xB6}, 3000));
    Append(s, qm::test::Pes(0xC0, {0xFF, 0xF1}, 3000));
    Append(s, qm::test::Pes(0xE1, {0, 0, 1, 0xB3}, 3000));
    Collector got;
    ProgramStreamParser parser(&got);
    qm::test::FeedInPieces(parser, s, 2, 64);
    EXPECT_EQ(got.Codings(), (std::map<uint32_t, StreamCoding>{{0xE000, StreamCoding::Mpeg4Video},
                                                               {0xC000, StreamCoding::Aac},
                                                               {0xE100, StreamCoding::MpegVideo}}));
}

TEST(ProgramStream, JunkIsSkippedAndACutPacketEndsDamaged) {
    Bytes s = {0x12, 0x00, 0x00, 0x01, 0x00, 0x34, 0x00, 0x00};  // junk, a picture start code
    Append(s, qm::test::PackHeader());
    Append(s, qm::test::Pes(0xE0, Bytes(100, 7), 3000));
    Append(s, {0xFF, 0xFF, 0xFF});
    Bytes cut = qm::test::Pes(0xE0, Bytes(300, 8), 6000);
    cut.resize(cut.size() - 100);  // the file ends inside this packet
    Append(s, cut);
    Collector got;
    ProgramStreamParser parser(&got);
    qm::test::FeedInPieces(parser, s, 3, 17);
    ASSERT_EQ(got.units.size(), 2u);
    EXPECT_EQ(std::tuple(got.units[0].damaged, got.units[0].bytes),
              std::tuple(false, Bytes(100, 7)));
    EXPECT_EQ(std::tuple(got.units[1].damaged, got.units[1].bytes),
              std::tuple(true, Bytes(200, 8)));
    EXPECT_EQ(std::tuple(parser.Stats().bytesSkipped, parser.Stats().damagedUnits),
              std::tuple(11u, 1u));
}

}  // namespace
