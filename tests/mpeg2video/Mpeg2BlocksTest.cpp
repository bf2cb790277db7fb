// The coefficient loop shared by intra and non-intra blocks: escape-coded levels of both
// standards, the forbidden levels, saturation and positions past the end of the block.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "SDKs/CodecFramework/mpeg2video/Mpeg2Blocks.h"
#include "tests/mpeg2video/Mpeg2StreamWriter.h"

namespace {

using qm::test::mpeg2::StreamWriter;

class Mpeg2Blocks : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_vlc.Build(), UMC::STATUS_OK); }
    UMC::Mpeg2VlcTables m_vlc;
};

struct BlockRow {
    const char* name;
    bool mpeg1, intra;
    int q;
    int16_t dc;
    const char* bits;  // spaces for reading only; end of block follows
    bool ok;
    std::map<int, int> coefficients = {};  // by scan position; all others zero
    int last = 0;
};

// Escapes are "000001", a 6-bit run and the level: 12 bits in MPEG-2, 8 or 8 + 8 in MPEG-1.
// Each block is decoded with a flat matrix of 16.
TEST_F(Mpeg2Blocks, CoefficientsEscapesAndErrors) {
    const BlockRow rows[] = {
        // Non-intra: ((2 * level + sign) * 16 * q) / 32, saturated; levels -1 and 2047.
        {"MPEG-2 escape levels are twelve bits two's complement",
         false,
         false,
         2,
         0,
         "000001 000101 111111111111  000001 000000 011111111111",
         true,
         {{5, -3}, {6, 2047}},
         6},
        {"MPEG-2 level 0 is forbidden", false, false, 2, 0, "000001 000000 000000000000", false},
        {"MPEG-2 level -2048 is forbidden", false, false, 2, 0, "000001 000000 100000000000",
         false},
        {"MPEG-1 long level 0 is forbidden", true, false, 2, 0, "000001 000000 00000000 00000000",
         false},
        // Intra MPEG-1: (level * q * 16) / 8, then an even result moves toward zero; levels 144,
        // 0x70 - 256 = -144 and -1.
        {"MPEG-1 escape levels take eight or sixteen bits",
         true,
         true,
         1,
         64,
         "000001 000000 00000000 10010000  000001 000000 10000000 01110000  000001 000000 11111111",
         true,
         {{0, 64}, {1, 287}, {2, -287}, {3, -1}},
         3},
        {"a position past the intra block ends it", false, true, 2, 0, "000001 111111 000000000001",
         false},
        // A non-intra block starts before position 0: 63 is its last.
        {"a non-intra block may reach position 63",
         false,
         false,
         2,
         0,
         "000001 111111 000000000001",
         true,
         {{63, 3}},
         63},
    };
    uint8_t flat[64];
    std::memset(flat, 16, sizeof flat);
    for (const BlockRow& row : rows) {
        SCOPED_TRACE(row.name);
        StreamWriter w;
        for (const char* p = row.bits; *p; ++p)
            if (*p != ' ') w.Put(*p == '1', 1);
        w.Code("10");
        std::vector<uint8_t> data = w.Data();
        data.resize(data.size() + 8, 0);
        UMC::Mpeg2BitReader reader;
        reader.Init(data.data(), data.size());
        UMC::Mpeg2BitCache bits(reader);
        int16_t blk[64] = {};
        blk[0] = row.dc;
        UMC::Mpeg2BlockEnd end;
        const UMC::Mpeg2CoefficientTable& first = m_vlc.coefficientCodes[row.intra ? 0 : 2];
        const UMC::Mpeg2CoefficientTable& table = m_vlc.coefficientCodes[0];
        const auto decode = row.mpeg1 ? (row.intra ? UMC::DecodeCoefficients<true, true>
                                                   : UMC::DecodeCoefficients<true, false>)
                                      : (row.intra ? UMC::DecodeCoefficients<false, true>
                                                   : UMC::DecodeCoefficients<false, false>);
        const bool ok = decode(bits, first, table, UMC::kMpeg2ZigzagScan, flat, row.q, blk, end);
        ASSERT_EQ(ok, row.ok);
        if (!ok) continue;
        std::map<int, int> nonzero;
        int sum = 0;
        for (int k = 0; k < 64; ++k) {
            sum += blk[UMC::kMpeg2ZigzagScan[k]];
            if (blk[UMC::kMpeg2ZigzagScan[k]]) nonzero[k] = blk[UMC::kMpeg2ZigzagScan[k]];
        }
        EXPECT_EQ(nonzero, row.coefficients);
        EXPECT_EQ(end.last, row.last);
        EXPECT_TRUE((!row.mpeg1 && row.intra) || end.parity == (sum & 1)) << end.parity;
    }
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
            SCOPED_TRACE(testing::Message() << "table " << t << " index " << index);
            const auto e = table.fast[index];
            const uint32_t window = index << (32 - kBits);
            const UMC::Mpeg2VlcEntry& g = general.Lookup(window);
            if (t == 2 && (index >> (kBits - 1))) {
                EXPECT_EQ(std::tuple(int(e.run), int(e.level), int(e.len), int(e.negative)),
                          std::tuple(0, 1, 2, int((index >> (kBits - 2)) & 1)));
            } else if (e.run == UMC::kCoefficientSlow) {
                // Escape, a code too long to decode with its sign in one lookup, or no code.
                EXPECT_TRUE(!g.len || g.value == UMC::kVlcEscape || g.len + 1 > kBits);
            } else if (e.run == UMC::kCoefficientEnd) {
                EXPECT_EQ(std::pair(int(g.value), int(e.len)),
                          std::pair(int(UMC::kVlcEndOfBlock), int(g.len)));
            } else {
                ASSERT_GE(g.value, 0);
                EXPECT_EQ(std::tuple(int(e.run), int(e.level), int(e.len), uint32_t(e.negative)),
                          std::tuple(int(g.value & 63), int(g.value >> 6), int(g.len + 1),
                                     (window << g.len) >> 31));
            }
        }
    }
}

}  // namespace
