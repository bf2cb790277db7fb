// The coefficient loop shared by intra and non-intra blocks: escape-coded levels of both
// standards, the forbidden levels, the short first code of non-intra blocks, saturation and
// positions past the end of the block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "SDKs/CodecFramework/mpeg2video/Mpeg2Blocks.h"
#include "tests/mpeg2video/Mpeg2StreamWriter.h"

namespace {

using qm::test::mpeg2::StreamWriter;
using UMC::Mpeg2BitCache;
using UMC::Mpeg2BitReader;
using UMC::Mpeg2BlockEnd;

struct Coefficients {
    bool ok = false;
    Mpeg2BlockEnd end;
    int16_t blk[64] = {};
};

class Mpeg2Blocks : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_vlc.Build(), UMC::STATUS_OK); }

    // Decodes the bits of w as one block with a flat matrix of 16 and quantiser scale q.
    template <bool kMpeg1, bool kIntra>
    Coefficients Decode(StreamWriter& w, int q, int16_t dc = 0) {
        m_data = w.Data();
        m_data.resize(m_data.size() + 8, 0);
        Mpeg2BitReader reader;
        reader.Init(m_data.data(), m_data.size());
        Mpeg2BitCache bits(reader);
        Coefficients c;
        c.blk[0] = dc;
        uint8_t flat[64];
        std::memset(flat, 16, sizeof flat);
        const UMC::Mpeg2CoefficientTable& table = m_vlc.coefficientCodes[0];
        c.ok = UMC::DecodeCoefficients<kMpeg1, kIntra>(
            bits, kIntra ? table : m_vlc.coefficientCodes[2], table, UMC::kMpeg2ZigzagScan, flat, q,
            c.blk, c.end);
        return c;
    }
    int16_t At(const Coefficients& c, int scanPosition) const {
        return c.blk[UMC::kMpeg2ZigzagScan[scanPosition]];
    }

    UMC::Mpeg2VlcTables m_vlc;
    std::vector<uint8_t> m_data;
};

constexpr const char* kEscape = "000001";
constexpr const char* kEndOfBlock = "10";

TEST_F(Mpeg2Blocks, Mpeg2EscapeLevelsAreTwelveBitsTwoComplement) {
    StreamWriter w;
    w.Code(kEscape);
    w.Put(5, 6);       // run
    w.Put(0xFFF, 12);  // level -1
    w.Code(kEscape);
    w.Put(0, 6);
    w.Put(0x7FF, 12);  // level 2047
    w.Code(kEndOfBlock);
    // Non-intra: ((2 * level + sign) * 16 * q) / 32, saturated.
    const Coefficients c = Decode<false, false>(w, 2);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(At(c, 5), -3);
    EXPECT_EQ(At(c, 6), 2047);
    EXPECT_EQ(c.end.last, 6);
    EXPECT_EQ(c.end.parity, (-3 + 2047) & 1);
}

TEST_F(Mpeg2Blocks, ForbiddenEscapeLevelsEndTheBlock) {
    for (uint32_t level : {0x000u, 0x800u}) {
        StreamWriter w;
        w.Code(kEscape);
        w.Put(0, 6);
        w.Put(level, 12);
        w.Code(kEndOfBlock);
        EXPECT_FALSE((Decode<false, false>(w, 2).ok)) << level;
    }
    StreamWriter w;
    w.Code(kEscape);
    w.Put(0, 6);
    w.Put(0, 8);
    w.Put(0, 8);  // MPEG-1: a zero level in the long form
    w.Code(kEndOfBlock);
    EXPECT_FALSE((Decode<true, false>(w, 2).ok));
}

TEST_F(Mpeg2Blocks, Mpeg1EscapeLevelsTakeEightOrSixteenBits) {
    StreamWriter w;
    w.Code(kEscape);
    w.Put(0, 6);
    w.Put(0x00, 8);
    w.Put(0x90, 8);  // 144
    w.Code(kEscape);
    w.Put(0, 6);
    w.Put(0x80, 8);
    w.Put(0x70, 8);  // 0x70 - 256 = -144
    w.Code(kEscape);
    w.Put(0, 6);
    w.Put(0xFF, 8);  // -1
    w.Code(kEndOfBlock);
    // Intra MPEG-1: (level * q * 16) / 8, then an even result moves toward zero.
    const Coefficients c = Decode<true, true>(w, 1, 64);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(At(c, 1), 287);
    EXPECT_EQ(At(c, 2), -287);
    EXPECT_EQ(At(c, 3), -1);
    EXPECT_EQ(c.end.last, 3);
    EXPECT_EQ(c.end.parity, (64 + 287 - 287 - 1) & 1);
}

TEST_F(Mpeg2Blocks, ShortFirstCodeOnlyOpensANonIntraBlock) {
    StreamWriter w;
    w.Code("11");   // first coefficient: run 0, level -1
    w.Code("110");  // afterwards "11s" is run 0, level +1
    w.Code(kEndOfBlock);
    const Coefficients inter = Decode<false, false>(w, 2);
    ASSERT_TRUE(inter.ok);
    EXPECT_EQ(At(inter, 0), -3);
    EXPECT_EQ(At(inter, 1), 3);
    EXPECT_EQ(inter.end.last, 1);
}

TEST_F(Mpeg2Blocks, APositionPastTheBlockEndsIt) {
    StreamWriter w;
    w.Code(kEscape);
    w.Put(63, 6);  // after the intra DC: position 64
    w.Put(1, 12);
    w.Code(kEndOfBlock);
    EXPECT_FALSE((Decode<false, true>(w, 2).ok));
    StreamWriter inter;
    inter.Code(kEscape);
    inter.Put(63, 6);  // a non-intra block starts before position 0: 63 is its last
    inter.Put(1, 12);
    inter.Code(kEndOfBlock);
    const Coefficients c = Decode<false, false>(inter, 2);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.end.last, 63);
}

// The one-lookup coefficient tables against the general ones: every short code with either sign,
// end of block, and the rest left to the general table; the first-code table of non-intra blocks
// reads "1s" as run 0, level 1.
TEST_F(Mpeg2Blocks, OneLookupTablesDecodeWhatTheGeneralTablesDo) {
    constexpr int kBits = UMC::Mpeg2CoefficientTable::kBits;
    for (int t = 0; t < 3; ++t) {
        const UMC::Mpeg2CoefficientTable& table = m_vlc.coefficientCodes[t];
        const UMC::Mpeg2VlcTable& general = m_vlc.coefficients[t == 1 ? 1 : 0];
        ASSERT_EQ(table.general, &general);
        for (uint32_t index = 0; index < (1u << kBits); ++index) {
            const auto e = table.fast[index];
            const uint32_t window = index << (32 - kBits);
            if (t == 2 && (index >> (kBits - 1))) {
                EXPECT_EQ(e.run, 0) << index;
                EXPECT_EQ(e.level, 1) << index;
                EXPECT_EQ(e.len, 2) << index;
                EXPECT_EQ(e.negative, (index >> (kBits - 2)) & 1) << index;
                continue;
            }
            const UMC::Mpeg2VlcEntry& g = general.Lookup(window);
            if (e.run == UMC::kCoefficientSlow) {
                // Escape, a code too long to decode with its sign in one lookup, or no code.
                EXPECT_TRUE(!g.len || g.value == UMC::kVlcEscape || g.len + 1 > kBits)
                    << t << " " << index;
            } else if (e.run == UMC::kCoefficientEnd) {
                EXPECT_EQ(g.value, UMC::kVlcEndOfBlock) << index;
                EXPECT_EQ(e.len, g.len) << index;
            } else {
                ASSERT_GE(g.value, 0) << t << " " << index;
                EXPECT_EQ(e.run, g.value & 63) << index;
                EXPECT_EQ(e.level, g.value >> 6) << index;
                EXPECT_EQ(e.len, g.len + 1) << index;
                EXPECT_EQ(e.negative, (window << g.len) >> 31) << index;
            }
        }
    }
}

}  // namespace
