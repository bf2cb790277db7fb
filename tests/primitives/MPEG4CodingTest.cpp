#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

// Corrupt codes the fixture streams never hold: each decoder refuses them with its status.
TEST(Mpeg4Coding, CorruptCoefficientCodesAreRefused) {
    // Escape mode 3 with a failed marker, a run past the end of the block, nine zeros.
    for (const char* bits : {"0000011 11 1 000101 0 111110011100 1",
                             "0000011 11 1 111111 1 000000000001 1", "0000 0000 0"}) {
        SCOPED_TRACE(bits);
        const std::vector<uint8_t> data = Bits(bits);
        ForAll(k::decodeIntraCoefsMpeg4, [&](auto* fn) {
            int16_t block[64] = {};
            const uint8_t* p = data.data();
            int off = 0, last = -5;
            EXPECT_EQ(fn(&p, &off, block, &last, 0, 1, 0), vcStsVlcErr);
        });
    }
    // Short header: DC 0 and 128 are no codes, nor is the escape level -128.
    const std::pair<const char*, int> shortHeader[] = {
        {"0000 0000", vcStsIntraDcErr},
        {"1000 0000", vcStsIntraDcErr},
        {"0001 0000 0000011 1 000000 1000 0000", vcStsVlcErr}};
    for (const auto& [bits, status] : shortHeader) {
        const std::vector<uint8_t> data = Bits(bits);
        const uint8_t* p = data.data();
        int off = 0, count = -1;
        int16_t block[64] = {};
        EXPECT_EQ(vcDecodeIntraBlockH263(&p, &off, block, &count, 1, 5), status) << bits;
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
