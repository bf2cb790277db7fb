// Each container fixture is parsed in random piece sizes; every stream's bytes must equal what
// ffmpeg copies out of it and its time stamps must be ones ffprobe gives its packets.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "VideoIO/MPEGSystemFilters/ContainerProbe.h"
#include "tests/support/Paths.h"
#include "tests/systemstreams/Collector.h"
#include "tests/systemstreams/ExpectedStreams.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::test::Collector;

std::filesystem::path Dir() {
    return qm::test::ContainerDir();
}

class ParserFixture : public ::testing::TestWithParam<std::pair<const char*, ContainerKind>> {};

TEST_P(ParserFixture, StreamsMatchFfmpeg) {
    const std::string file = GetParam().first;
    const std::string name = file.substr(0, file.find('.'));
    const std::vector<uint8_t> data = qm::test::ReadBytes(Dir() / file);
    ASSERT_FALSE(data.empty());
    ASSERT_EQ(ProbeContainer(data.data(), data.size()), GetParam().second);
    const std::vector<qm::test::ExpectedStream> expected = qm::test::ReadExpected(name);
    ASSERT_FALSE(expected.empty());

    for (int maxPiece : {1 << 20, 4096, 7}) {
        SCOPED_TRACE("pieces up to " + std::to_string(maxPiece));
        Collector got;
        auto parser = CreateParser(GetParam().second, &got);
        qm::test::FeedInPieces(*parser, data, uint64_t(maxPiece), maxPiece);
        EXPECT_EQ(parser->Stats().bytesSkipped, 0u);
        EXPECT_EQ(parser->Stats().damagedUnits, 0u);
        std::vector<uint32_t> keys;
        for (uint32_t key : got.order)
            if (got.streams[key].coding != StreamCoding::Subpicture) keys.push_back(key);
        ASSERT_EQ(keys.size(), expected.size());
        for (const qm::test::ExpectedStream& e : expected) {
            SCOPED_TRACE(name + " stream " + std::to_string(e.index) + " " + e.codec);
            const uint32_t key = keys[size_t(e.index)];
            const std::vector<uint8_t> bytes = got.Bytes(key);
            EXPECT_EQ(bytes.size(), e.size);
            EXPECT_EQ(qm::test::Crc32(bytes), e.crc);
            // ffmpeg splits and stamps frames itself; every stamp a packet carries is one of them,
            // the first included.
            const std::vector<int64_t> pts = got.Pts(key);
            ASSERT_FALSE(pts.empty());
            std::set<int64_t> known(e.pts.begin(), e.pts.end());
            known.erase(-1);  // packets ffprobe gives no time
            EXPECT_EQ(*std::min_element(pts.begin(), pts.end()), *known.begin());
            for (int64_t t : pts) EXPECT_TRUE(known.count(t)) << t;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Containers, ParserFixture,
    ::testing::Values(std::make_pair("dvd.vob", ContainerKind::ProgramStream),
                      std::make_pair("system.mpg", ContainerKind::ProgramStream),
                      std::make_pair("transport.ts", ContainerKind::TransportStream),
                      std::make_pair("mpeg4.avi", ContainerKind::Avi),
                      std::make_pair("bluray.m2ts", ContainerKind::TransportStream)),
    [](const auto& info) {
        std::string n = info.param.first;
        return n.substr(0, n.find('.'));
    });

}  // namespace
