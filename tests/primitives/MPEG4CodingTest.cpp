#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "primitives/MPEG4Coding.h"
#include "primitives/MPEG4CodingKernels.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ExpectVariantsMatch;
using qm::test::ForAll;
using qm::test::Rng;
namespace k = sp::kernels;

// Bits written as text ("0101 1"), spaces ignored, followed by the decoders' zero padding.
std::vector<uint8_t> Bits(const std::string& text) {
    std::vector<uint8_t> out;
    int n = 0;
    for (char c : text) {
        if (c == ' ') continue;
        if (n % 8 == 0) out.push_back(0);
        if (c == '1') out.back() |= uint8_t(0x80 >> (n % 8));
        ++n;
    }
    out.resize(out.size() + kMpeg4InputPadding, 0);
    return out;
}

struct Spec {
    alignas(16) uint8_t bytes[kVcQuantMatrixSpecSize + 16];
};

struct DcCase {
    const char* bits;
    int chroma;
    int status;
    int value;
    int consumed;
};

TEST(Mpeg4Coding, IntraDcSizesAndDifferentials) {
    const DcCase cases[] = {
        {"011", 0, 0, 0, 3},                                 // luma size 0
        {"11 1", 0, 0, 1, 3},                                // size 1, positive
        {"11 0", 0, 0, -1, 3},                               // size 1, negative
        {"010 011", 0, 0, -4, 6},                            // size 3: 3 - 7
        {"11", 1, 0, 0, 2},                                  // chroma size 0
        {"001 101", 1, 0, 5, 6},                             // chroma size 3
        {"0000 0000 1 1001011000 1", 0, 0, 600, 20},         // size 10 with its marker
        {"0000 0000 1 1001011000 0", 0, vcStsVlcErr, 0, 0},  // marker missing
        {"0000 0000 0000 0", 0, vcStsVlcErr, 0, 0},          // no luma code
        {"0000 0000 0000 1", 1, vcStsVlcErr, 0, 0},          // beyond the chroma sizes
    };
    for (const DcCase& c : cases) {
        SCOPED_TRACE(c.bits);
        const std::vector<uint8_t> data = Bits(c.bits);
        const uint8_t* p = data.data();
        int off = 0;
        int16_t dc = 77;
        EXPECT_EQ(vcDecodeIntraDcMpeg4(&p, &off, &dc, c.chroma), c.status);
        if (c.status != 0) continue;
        EXPECT_EQ(dc, c.value);
        EXPECT_EQ((p - data.data()) * 8 + off, c.consumed);
    }
}

struct CoefCase {
    const char* bits;
    int dcRead;
    int scan;
    int status;
    int last;                                // scan index of the last coefficient
    std::vector<std::pair<int, int>> coefs;  // raster position, value
};

TEST(Mpeg4Coding, IntraEventsAndEscapes) {
    // clang-format off
    const CoefCase cases[] = {
        // (last 0, run 0, level 1), then (last 1, run 0, level 1) negative.
        {"10 0 0111 1", 0, 0, 0, 1, {{0, 1}, {1, -1}}},
        // With a separate DC the events start at scan index 1.
        {"0111 0", 1, 0, 0, 1, {{0, 42}, {1, 1}}},
        // Escape mode 1: level + the largest level of run 0 (27).
        {"0000011 0 10 0 0111 0", 1, 0, 0, 2, {{0, 42}, {1, 28}, {8, 1}}},
        // Escape mode 2: run + the largest run of (last 1, level 1), 20, + 1.
        {"0000011 10 0111 1", 1, 0, 0, 22, {{0, 42}, {41, -1}}},
        // ... and of (last 0, level 1), 14, + 1.
        {"0000011 10 10 0 0111 0", 1, 0, 0, 17, {{0, 42}, {12, 1}, {19, 1}}},
        // Escape mode 3: last 1, run 5, level -100 between marker bits.
        {"0000011 11 1 000101 1 111110011100 1", 1, 0, 0, 6, {{0, 42}, {3, -100}}},
        // The same event in the alternate scans.
        {"0000011 11 1 000101 1 111110011100 1", 1, vcScanAlternateVertical, 0, 6, {{0, 42}, {2, -100}}},
        {"0000011 11 1 000101 1 111110011100 1", 1, vcScanAlternateHorizontal, 0, 6, {{0, 42}, {16, -100}}},
        // Escape mode 3 with a failed marker.
        {"0000011 11 1 000101 0 111110011100 1", 1, 0, vcStsVlcErr, 0, {}},
        // A run past the end of the block.
        {"0000011 11 1 111111 1 000000000001 1", 1, 0, vcStsVlcErr, 0, {}},
        // Nine zeros are no code.
        {"0000 0000 0", 0, 0, vcStsVlcErr, 0, {}},
    };
    // clang-format on
    for (const CoefCase& c : cases) {
        SCOPED_TRACE(c.bits);
        const std::vector<uint8_t> data = Bits(c.bits);
        ForAll(k::decodeIntraCoefsMpeg4, [&](auto* fn) {
            int16_t block[64];
            std::fill(block, block + 64, int16_t(9));
            block[0] = 42;
            const uint8_t* p = data.data();
            int off = 0, last = -5;
            ASSERT_EQ(fn(&p, &off, block, &last, 0, c.dcRead, c.scan), c.status);
            if (c.status != 0) return;
            EXPECT_EQ(last, c.last);
            int16_t want[64] = {};
            for (auto [pos, value] : c.coefs) want[pos] = int16_t(value);
            for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], want[i]) << "position " << i;
        });
    }
}

TEST(Mpeg4Coding, ShortHeaderIntraBlocks) {
    const struct {
        const char* bits;
        int ac, quant, status, count;
        std::vector<std::pair<int, int>> coefs;  // raster position, value
    } cases[] = {
        {"0000 0000", 0, 5, vcStsIntraDcErr, 0, {}},
        {"1000 0000", 0, 5, vcStsIntraDcErr, 0, {}},
        // 255 stands for 128; an uncoded block is its DC alone.
        {"1111 1111", 0, 5, 0, 0, {{0, 1024}}},
        // DC 16, then (last 1, run 1, level 1) at QP 4: 2*4*1 + 3.
        {"0001 0000 001111 0", 1, 4, 0, 2, {{0, 128}, {8, 11}}},
        // The 8-bit escape level -2 at QP 5: -(20 + 5); level -128 is no code.
        {"0001 0000 0000011 1 000000 1111 1110", 1, 5, 0, 1, {{0, 128}, {1, -25}}},
        {"0001 0000 0000011 1 000000 1000 0000", 1, 5, vcStsVlcErr, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        const std::vector<uint8_t> data = Bits(c.bits);
        const uint8_t* p = data.data();
        int off = 0, count = -1;
        int16_t block[64] = {}, want[64] = {};
        ASSERT_EQ(vcDecodeIntraBlockH263(&p, &off, block, &count, c.ac, c.quant), c.status);
        if (c.status != 0) continue;
        for (auto [pos, value] : c.coefs) want[pos] = int16_t(value);
        EXPECT_TRUE(qm::test::SameBytes(block, want, sizeof want));
        EXPECT_EQ(count, c.count);
    }
}

TEST(Mpeg4Coding, InterEventsDequantised) {
    Spec h263, mpeg;
    ASSERT_EQ(vcQuantMatrixInitInter(nullptr, h263.bytes, 8), 0);
    uint8_t matrix[64];
    std::memset(matrix, 16, 64);
    ASSERT_EQ(vcQuantMatrixInitInter(matrix, mpeg.bytes, 8), 0);
    // (0, 0, 1) then (1, 0, 1) negative.
    const std::vector<uint8_t> data = Bits("10 0 0111 1");
    int16_t block[64];
    int count = 0;
    // H.263 style: (2*1 + 1) * 6 - 1; with the matrix (2 + 1) * 16 * 6 / 16, and as the sum 0 is
    // even, mismatch control sets coefficient 63.
    for (auto [spec, value, last] : {std::tuple{h263.bytes, 17, 1}, {mpeg.bytes, 18, 63}}) {
        const uint8_t* p = data.data();
        int off = 0;
        std::fill(block, block + 64, int16_t(99));
        ASSERT_EQ(vcDecodeInterCoefsMpeg4(&p, &off, block, &count, 0, 0, spec, 6), 0);
        int16_t want[64] = {int16_t(value), int16_t(-value)};
        want[63] = int16_t(last == 63);
        EXPECT_TRUE(qm::test::SameBytes(block, want, sizeof want)) << value;
        EXPECT_EQ(count, last);
    }
}

TEST(Mpeg4Coding, IntraDequantisation) {
    Spec h263, mpeg;
    ASSERT_EQ(vcQuantMatrixInitIntra(nullptr, h263.bytes, 8), 0);
    uint8_t matrix[64];
    for (int i = 0; i < 64; ++i) matrix[i] = uint8_t(8 + i);
    ASSERT_EQ(vcQuantMatrixInitIntra(matrix, mpeg.bytes, 8), 0);
    int16_t block[64] = {};
    block[0] = 100;  // x luma scaler 2 * 6 = 12, clipped to 2047
    block[1] = 1;
    block[2] = -1;
    block[3] = 3000;
    ASSERT_EQ(vcDequantIntraMpeg4(block, 63, h263.bytes, 6, 0), 0);
    EXPECT_EQ(block[0], 1200);
    EXPECT_EQ(block[1], 17);  // 2*6 + 5
    EXPECT_EQ(block[2], -17);
    EXPECT_EQ(block[3], 2047);
    std::fill(block, block + 64, int16_t(0));
    block[0] = 10;  // chroma scaler at QP 6: (6 + 13) / 2 = 9
    block[9] = -3;  // -(3 * 17 * 6) / 8 truncated towards zero: -38
    ASSERT_EQ(vcDequantIntraMpeg4(block, 63, mpeg.bytes, 6, 1), 0);
    EXPECT_EQ(block[0], 90);
    EXPECT_EQ(block[9], -38);
    EXPECT_EQ(block[63], 1);  // the sum 52 is even: mismatch control toggles coefficient 63
}

TEST(Mpeg4Coding, PredictionPlusResidual) {
    // Reference columns 10, 11, 12... rows add 100: half-sample positions land between them.
    uint8_t ref[9 * 16];
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x) ref[y * 16 + x] = uint8_t(10 + x + 100 * (y & 1));
    int16_t residual[64];
    for (int i = 0; i < 64; ++i) residual[i] = int16_t(i == 0 ? 300 : i == 1 ? -300 : 1);
    struct Case {
        int half, rounding, second;  // the expected second-row first sample before the residual
    };
    for (const Case& c : {Case{0, 0, 110}, Case{1, 0, 111}, Case{1, 1, 110}, Case{2, 0, 60},
                          Case{3, 0, 61}, Case{3, 1, 60}}) {
        uint8_t dst[8 * 8];
        ASSERT_EQ(vcPredictAddResidual(residual, 16, ref, 16, dst, 8, c.half, c.rounding), 0);
        EXPECT_EQ(dst[0], 255) << c.half;  // saturated
        EXPECT_EQ(dst[1], 0) << c.half;
        EXPECT_EQ(dst[8], c.second + 1) << c.half << " " << c.rounding;
    }
}

// Lines of 10 samples across an edge, filtered in both orientations: textured sides take the
// default mode (only the edge pair moves, and not across a real edge), flat sides the low-pass.
TEST(Mpeg4Coding, Deblocking) {
    struct Case {
        int line[10];
        int quant;
        int want[10];
    };
    const Case cases[] = {
        {{10, 14, 10, 14, 10, 40, 44, 40, 44, 40}, 20, {10, 14, 10, 14, 15, 35, 44, 40, 44, 40}},
        {{10, 14, 10, 14, 10, 40, 44, 40, 44, 40}, 10, {10, 14, 10, 14, 10, 40, 44, 40, 44, 40}},
        {{10, 10, 10, 10, 10, 20, 20, 20, 20, 20}, 10, {10, 11, 11, 13, 14, 16, 18, 19, 19, 20}},
        {{10, 10, 10, 10, 10, 20, 20, 20, 20, 20}, 4, {10, 10, 10, 10, 10, 20, 20, 20, 20, 20}},
        {{7, 7, 7, 7, 7, 7, 7, 7, 7, 7}, 31, {7, 7, 7, 7, 7, 7, 7, 7, 7, 7}},
    };
    for (const Case& c : cases) {
        for (bool horizontal : {true, false}) {
            SCOPED_TRACE(::testing::Message()
                         << c.quant << (horizontal ? " horizontal" : " vertical"));
            uint8_t picture[16 * 16] = {};
            // The edge lies between index 7 and 8 of the 16 samples across it.
            for (int line = 0; line < 8; ++line)
                for (int i = 0; i < 10; ++i) {
                    const int across = 3 + i, along = 4 + line;
                    picture[horizontal ? across * 16 + along : along * 16 + across] =
                        uint8_t(c.line[i]);
                }
            uint8_t* first = horizontal ? picture + 8 * 16 + 4 : picture + 4 * 16 + 8;
            ASSERT_EQ(horizontal ? vcDeblockHorizontalEdge(first, 16, c.quant, 2, 6)
                                 : vcDeblockVerticalEdge(first, 16, c.quant, 2, 6),
                      0);
            for (int line = 0; line < 8; ++line)
                for (int i = 0; i < 10; ++i) {
                    const int across = 3 + i, along = 4 + line;
                    ASSERT_EQ(picture[horizontal ? across * 16 + along : along * 16 + across],
                              c.want[i])
                        << "line " << line << " sample " << i;
                }
        }
    }
}

// The reduced transforms give the full transform's result on the blocks they are meant for.
TEST(Mpeg4Coding, ReducedInverseTransforms) {
    Rng rng(0x1DC7);
    for (int trial = 0; trial < 200; ++trial) {
        const int corner = trial & 1 ? 2 : 4;
        alignas(16) int16_t full[64] = {}, reduced[64];
        for (int y = 0; y < corner; ++y)
            for (int x = 0; x < corner; ++x) full[y * 8 + x] = int16_t(rng.Int(-2048, 2047));
        std::memcpy(reduced, full, sizeof full);
        ASSERT_EQ(vcInverseDct8x8Full(full), 0);
        ASSERT_EQ(corner == 2 ? vcInverseDct8x8Top2x2(reduced) : vcInverseDct8x8Top4x4(reduced), 0);
        ASSERT_EQ(std::memcmp(full, reduced, sizeof full), 0) << trial;
    }
}

// Every SIMD variant against the plain reference on random blocks and all quantisers.
TEST(Mpeg4Coding, VariantsMatchReference) {
    Rng rng(0x4D50);
    Spec specs[2];
    uint8_t matrix[64];
    for (uint8_t& w : matrix) w = uint8_t(rng.Int(1, 255));
    ASSERT_EQ(vcQuantMatrixInitIntra(nullptr, specs[0].bytes, 8), 0);
    ASSERT_EQ(vcQuantMatrixInitIntra(matrix, specs[1].bytes, 8), 0);
    for (int trial = 0; trial < 400; ++trial) {
        SCOPED_TRACE(trial);
        std::vector<int16_t> block(64);
        const int range = trial % 3 == 0 ? 32767 : trial % 3 == 1 ? 2048 : 20;
        for (int16_t& c : block) c = rng.Int(0, 3) ? 0 : int16_t(rng.Int(-range, range));
        if (trial % 7 == 0) block[63] = -32768;
        const int q = 1 + trial % 31, chroma = trial & 1, last = (trial % 5 == 0) ? 0 : 63;
        const sp::mpeg4::QuantSpec* spec = sp::mpeg4::AlignedSpec(specs[(trial >> 1) & 1].bytes);
        ExpectVariantsMatch(k::dequantIntraMpeg4, block,
                            [&](auto* fn, int16_t* b) { return fn(b, last, spec, q, chroma); });
    }
    for (int trial = 0; trial < 50; ++trial) {
        const std::vector<uint8_t> base = rng.Bytes(32 * 32);
        const std::vector<uint8_t> src = rng.Bytes(32 * 32);
        ExpectVariantsMatch(k::averageInto8x8, base, [&](auto* fn, uint8_t* d) {
            return fn(src.data() + 3, 32, d + 1, 32);
        });
        ExpectVariantsMatch(k::averageInto16x16, base, [&](auto* fn, uint8_t* d) {
            return fn(src.data() + 5, 32, d + 2, 32);
        });
    }
}

}  // namespace
