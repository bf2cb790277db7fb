// PES headers at the limits of their fields, the MPEG-1 form's STD buffer size, malformed
// headers, and time stamps across the 33-bit wrap.
#include <gtest/gtest.h>

#include "VideoIO/MPEGSystemFilters/Pes.h"
#include "tests/systemstreams/StreamBuilder.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::test::Bytes;

TEST(PesHeader, Mpeg2FormCarriesPtsAndDtsUpTo33Bits) {
    const int64_t kMax = (int64_t(1) << 33) - 1;
    struct Case {
        int64_t pts, dts;
    } cases[] = {{-1, -1}, {kMax, -1}, {0x123456789, 0x0FEDCBA98}};
    for (const Case& c : cases) {
        const Bytes pes = qm::test::Pes(0xE0, {1, 2, 3}, c.pts, c.dts);
        PesHeader h;
        ASSERT_TRUE(ParsePesHeader(pes.data(), pes.size(), &h));
        EXPECT_EQ(h.pts, c.pts);
        EXPECT_EQ(h.dts, c.dts);
        EXPECT_EQ(pes.size() - h.payloadOffset, 3u);
        EXPECT_EQ(pes[h.payloadOffset], 1);
    }
}

// The system fixture's packets carry no STD buffer size after their stuffing.
TEST(PesHeader, Mpeg1FormWithStuffingAndBufferSize) {
    // Stuffing, STD buffer size, PTS and DTS; then a packet with only the 0x0F marker.
    const Bytes withStamps = {0,    0,    1,    0xC0, 0,    16,   0xFF, 0xFF, 0x40, 0x20, 0x31,
                              0x00, 0x03, 0x00, 0x05, 0x11, 0x00, 0x01, 0x00, 0x01, 0xAA};
    PesHeader h;
    ASSERT_TRUE(ParsePesHeader(withStamps.data(), withStamps.size(), &h));
    EXPECT_EQ(h.pts, (1 << 15) | 2);
    EXPECT_EQ(h.dts, 0);
    EXPECT_EQ(withStamps[h.payloadOffset], 0xAA);
    const Bytes plain = {0, 0, 1, 0xE0, 0, 2, 0x0F, 0xBB};
    ASSERT_TRUE(ParsePesHeader(plain.data(), plain.size(), &h));
    EXPECT_EQ(h.pts, -1);
    EXPECT_EQ(h.payloadOffset, 7u);
}

TEST(PesHeader, MalformedHeadersAreRefused) {
    Bytes longHeader = qm::test::Pes(0xE0, {}, 1000);
    longHeader[8] = 40;  // header data length past the packet
    Bytes shortStamp = qm::test::Pes(0xE0, {}, 1000);
    shortStamp[8] = 2;         // PTS flagged but too little room for it
    Bytes stuffing(26, 0xFF);  // more stuffing than MPEG-1 allows
    stuffing[0] = stuffing[1] = stuffing[4] = 0;
    stuffing[2] = 1;
    stuffing[3] = 0xC0;
    stuffing[5] = 20;
    const Bytes badMarker = {0, 0, 1, 0xC0, 0, 2, 0x55, 0};
    const Bytes cut = {0, 0, 1, 0xE0, 0};
    for (const Bytes* b : std::initializer_list<const Bytes*>{&longHeader, &shortStamp, &stuffing,
                                                              &badMarker, &cut}) {
        PesHeader h;
        EXPECT_FALSE(ParsePesHeader(b->data(), b->size(), &h));
    }
}

TEST(TimestampUnwrapper, ContinuesAcrossTheWrapBothWays) {
    const int64_t kWrap = int64_t(1) << 33;
    TimestampUnwrapper u;
    EXPECT_EQ(u.Unwrap(kWrap - 3000), kWrap - 3000);
    EXPECT_EQ(u.Unwrap(600), kWrap + 600);          // wrapped forwards
    EXPECT_EQ(u.Unwrap(kWrap - 100), kWrap - 100);  // B-frame order reaches back over the wrap
    EXPECT_EQ(u.Unwrap(90000), kWrap + 90000);
    EXPECT_EQ(u.Unwrap(45000), kWrap + 45000);  // small backward step stays
    u.Reset();
    EXPECT_EQ(u.Unwrap(5), 5);
}

}  // namespace
