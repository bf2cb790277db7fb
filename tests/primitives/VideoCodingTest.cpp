#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "primitives/VideoCoding.h"
#include "primitives/VideoCodingKernels.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/KernelCheck.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ExpectVariantsMatch;
using qm::test::ForAll;
using qm::test::ForEachVariant;
using qm::test::Rng;
using qm::test::SameBytes;
namespace k = sp::kernels;

struct PredictKernel {
    const sp::Kernel<k::PredictFn>* kernel;
    int width, height;
    bool average;
};
const PredictKernel kPredictKernels[] = {
    {&k::predict8x4, 8, 4, false},         {&k::predict8x8, 8, 8, false},
    {&k::predict16x8, 16, 8, false},       {&k::predict16x16, 16, 16, false},
    {&k::predictAverage8x4, 8, 4, true},   {&k::predictAverage8x8, 8, 8, true},
    {&k::predictAverage16x8, 16, 8, true}, {&k::predictAverage16x16, 16, 16, true}};

// The rounding cases that tell the MPEG-2 and MPEG-4 rounding modes apart.
TEST(VideoCoding, HalfSampleRounding) {
    for (const PredictKernel& p : kPredictKernels) {
        if (p.average) continue;
        ForAll(*p.kernel, [&](auto* fn) {
            // Columns alternate 0, 1; rows are equal: a=0 b=1 c=0 d=1 everywhere.
            std::vector<uint8_t> ref(17 * 18);
            for (int y = 0; y < 18; ++y)
                for (int x = 0; x < 17; ++x) ref[y * 17 + x] = uint8_t(x & 1);
            uint8_t dst[16 * 16];
            const struct {
                int type, rounding, expected;
            } cases[] = {{3, 0, 1}, {3, 1, 0}, {1, 0, 1}, {1, 1, 0}, {2, 0, 0}, {0, 1, 0}};
            for (const auto& c : cases) {
                fn(ref.data(), 17, dst, 16, c.type, c.rounding);
                EXPECT_EQ(dst[0], c.expected) << "type " << c.type << " rounding " << c.rounding;
            }
            // Vertically: rows 0, 1 give 1 rounding up and 0 rounding down.
            for (int y = 0; y < 18; ++y)
                for (int x = 0; x < 17; ++x) ref[y * 17 + x] = uint8_t(y & 1);
            fn(ref.data(), 17, dst, 16, 2, 0);
            EXPECT_EQ(dst[0], 1);
            fn(ref.data(), 17, dst, 16, 2, 1);
            EXPECT_EQ(dst[0], 0);
        });
    }
}

TEST(VideoCoding, AveragingRoundsHalfUp) {
    ForAll(k::predictAverage8x8, [&](auto* fn) {
        uint8_t ref[9 * 9], dst[64];
        std::memset(ref, 2, sizeof(ref));
        std::memset(dst, 1, sizeof(dst));
        fn(ref, 9, dst, 8, 0, 0);
        for (uint8_t v : dst) ASSERT_EQ(v, 2);
        // Type 3 rounding down first (0,0,1,1 -> 0), then averaged with 255: 128.
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x) ref[y * 9 + x] = uint8_t(x & 1);
        std::memset(dst, 255, sizeof(dst));
        fn(ref, 9, dst, 8, 3, 1);
        for (uint8_t v : dst) ASSERT_EQ(v, 128);
    });
}

TEST(VideoCoding, ResidualAndConstantSaturate) {
    ForAll(k::addResidual8x8, [&](auto* fn) {
        uint8_t dst[8 * 10];
        int16_t res[64];
        for (int i = 0; i < 64; ++i) {
            dst[i] = (i & 1) ? 3 : 250;
            res[i] = (i & 1) ? -10 : 10;
        }
        fn(res, 16, dst, 8);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(dst[i], (i & 1) ? 0 : 255) << i;
        // The extremes of the 16-bit range saturate too.
        std::fill(res, res + 64, int16_t(-32768));
        fn(res, 16, dst, 8);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(dst[i], 0);
        std::fill(res, res + 64, int16_t(32767));
        fn(res, 16, dst, 8);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(dst[i], 255);
    });
    ForAll(k::addConstant8x8, [&](auto* fn) {
        uint8_t dst[64];
        for (int i = 0; i < 64; ++i) dst[i] = uint8_t(i * 4);
        fn(-100, dst, 8);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(dst[i], std::max(0, i * 4 - 100));
        fn(32767, dst, 8);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(dst[i], 255);
        fn(-32768, dst, 8);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(dst[i], 0);
    });
}

// The reference area lies at the very end of a heap block whose size is exactly what the
// interpolation may read, so any over-read of a variant shows up under AddressSanitizer; the
// destination sits in a guarded buffer whose bytes outside the block must stay untouched.
TEST(VideoCoding, PredictionVariantsMatchPlain) {
    Rng rng(7);
    for (const PredictKernel& p : kPredictKernels) {
        for (int iter = 0; iter < 60; ++iter) {
            const int type = iter < 8 ? iter : rng.Int(0, 7);  // bits above 1 are ignored
            const int rounding = rng.Int(0, 3);
            const int refStep = p.width + 1 + rng.Int(0, 40);
            const int dstStep = p.width + rng.Int(0, 40);
            const int readW = p.width + 1, readH = p.height + 1;
            const size_t refSize = size_t(refStep) * (readH - 1) + readW;
            std::vector<uint8_t> ref(refSize);
            // Random samples, or extremes that exercise every carry of the sums.
            const int mode = iter % 4;
            for (uint8_t& v : ref)
                v = mode == 0   ? uint8_t(rng.Int(0, 255))
                    : mode == 1 ? uint8_t(rng.Bool() ? 255 : 0)
                    : mode == 2 ? uint8_t(rng.Int(250, 255))
                                : uint8_t(rng.Int(0, 3));
            std::vector<uint8_t> base = rng.Bytes(size_t(dstStep) * (p.height + 2));
            if (mode == 1)
                for (uint8_t& v : base) v = rng.Bool() ? 255 : 0;
            SCOPED_TRACE(testing::Message() << p.kernel->Name() << " type " << type << " rounding "
                                            << rounding << " steps " << refStep << "/" << dstStep);
            ExpectVariantsMatch(*p.kernel, base, [&](auto* f, uint8_t* d) {
                return f(ref.data(), refStep, d + dstStep, dstStep, type, rounding);
            });
            // The plain version writes exactly the block.
            std::vector<uint8_t> c = base;
            p.kernel->Reference()(ref.data(), refStep, c.data() + dstStep, dstStep, type, rounding);
            for (size_t i = 0; i < c.size(); ++i) {
                const ptrdiff_t off = ptrdiff_t(i) - dstStep;
                const bool inside = off >= 0 && off / dstStep < p.height && off % dstStep < p.width;
                if (!inside) {
                    ASSERT_EQ(c[i], base[i]) << "byte " << i;
                }
            }
        }
    }
}

TEST(VideoCoding, BlockVariantsMatchPlain) {
    Rng rng(8);
    for (int iter = 0; iter < 200; ++iter) {
        const int srcStep = 16 + rng.Int(0, 40), dstStep = 16 + rng.Int(0, 40);
        std::vector<uint8_t> src = rng.Bytes(size_t(srcStep) * 15 + 16);
        std::vector<uint8_t> base = rng.Bytes(size_t(dstStep) * 16);
        if (iter % 3 == 0)
            for (uint8_t& v : base) v = rng.Bool() ? 255 : uint8_t(rng.Int(0, 2));
        for (const auto* kernel : {&k::copyBlock8x8, &k::copyBlock16x16})
            ExpectVariantsMatch(*kernel, base, [&](auto* f, uint8_t* d) {
                return f(src.data(), srcStep, d, dstStep);
            });
        // Residual rows: packed or strided, small values or the whole 16-bit range.
        const int resStep = rng.Bool() ? 16 : 16 + 2 * rng.Int(0, 20);
        std::vector<int16_t> res(size_t(resStep / 2) * 7 + 8);
        for (int16_t& v : res)
            v = int16_t(iter % 4 == 0 ? rng.Int(-32768, 32767) : rng.Int(-300, 300));
        ExpectVariantsMatch(k::addResidual8x8, base, [&](auto* f, uint8_t* d) {
            return f(res.data(), resStep, d, dstStep);
        });
        const int extremes[4] = {-32768, 32767, -255, 255};
        const int16_t value = int16_t(iter < 4 ? extremes[iter] : rng.Int(-300, 300));
        ExpectVariantsMatch(k::addConstant8x8, base,
                            [&](auto* f, uint8_t* d) { return f(value, d, dstStep); });
    }
}

// Coefficient blocks of the kinds a decoder produces, plus ones that saturate every stage.
std::vector<int16_t> RandomCoefficients(Rng& rng, int kind) {
    std::vector<int16_t> c(64, 0);
    switch (kind % 6) {
        case 0:  // dense, the dequantiser's whole range
            for (int16_t& v : c) v = int16_t(rng.Int(-2048, 2047));
            break;
        case 1:  // only the extremes
            for (int16_t& v : c) v = int16_t(rng.Bool() ? 2047 : -2048);
            break;
        case 2:  // ±2048 (and the saturated dequantiser's 2047) everywhere
            for (int16_t& v : c) v = int16_t(rng.Int(0, 2) == 0 ? 2048 : -2048);
            break;
        case 3:  // sparse, low frequencies
            for (int n = rng.Int(1, 6); n > 0; --n) c[rng.Int(0, 63)] = int16_t(rng.Int(-400, 400));
            c[0] = int16_t(rng.Int(0, 2040));
            break;
        case 4:  // any 16-bit value: intermediate saturation
            for (int16_t& v : c) v = int16_t(rng.Int(-32768, 32767));
            break;
        default:  // a bright or dark intra block: pixel clamping
            c[0] = int16_t(rng.Bool() ? 2047 : -2048);
            for (int n = rng.Int(1, 10); n > 0; --n)
                c[rng.Int(1, 63)] = int16_t(rng.Int(-200, 200));
            break;
    }
    return c;
}

TEST(VideoCoding, InverseDctVariantsMatchPlain) {
    Rng rng(9);
    for (int iter = 0; iter < 3000; ++iter) {
        const std::vector<int16_t> c = RandomCoefficients(rng, iter);
        SCOPED_TRACE(iter);
        // Reduced: only the 4x4 corner counts; the rest holds junk that must not be read.
        std::vector<int16_t> corner = c;
        for (int i = 0; i < 64; ++i)
            if ((i & 7) >= 4 || i >= 32) corner[i] = int16_t(rng.Int(-32768, 32767));
        // Sparse: the corner and coefficient 63 (often the parity bit alone, sometimes zero).
        std::vector<int16_t> sparse = corner;
        sparse[63] = int16_t(iter % 3 == 0 ? 0 : iter % 3 == 1 ? 1 : c[63]);
        // Out of place, and in place: every coefficient is read before the first output is
        // written.
        const std::pair<const sp::Kernel<k::IdctFn>*, const std::vector<int16_t>*> forms[] = {
            {&k::inverseDct8x8, &c},
            {&k::inverseDct8x8Reduced, &corner},
            {&k::inverseDct8x8Sparse, &sparse}};
        for (const auto& [kernel, in] : forms) {
            const int16_t* coefficients = in->data();
            ExpectVariantsMatch(*kernel, std::vector<int16_t>(64, 0),
                                [&](auto* f, int16_t* d) { return f(coefficients, d); });
            ExpectVariantsMatch(*kernel, *in, [](auto* f, int16_t* d) { return f(d, d); });
        }
        const int dstStep = 8 + rng.Int(0, 24);
        const std::vector<uint8_t> base = rng.Bytes(size_t(dstStep) * 8 + 8);
        const int hint = iter % 14 - 2;  // -2..11: below, inside and above every hint range
        const std::vector<int16_t>& in = (hint >= 1 && hint <= 9) ? corner : c;
        ExpectVariantsMatch(k::inverseDct8x8ToPixels, base, [&](auto* f, uint8_t* d) {
            return f(in.data(), d + 4, dstStep, hint);
        });
        ExpectVariantsMatch(k::inverseDct8x8Store, base,
                            [&](auto* f, uint8_t* d) { return f(c.data(), d + 4, dstStep); });
        ExpectVariantsMatch(k::inverseDct8x8SparseStore, base,
                            [&](auto* f, uint8_t* d) { return f(sparse.data(), d + 4, dstStep); });
        ExpectVariantsMatch(k::inverseDct8x8Add, base,
                            [&](auto* f, uint8_t* d) { return f(c.data(), d + 4, dstStep); });
        ExpectVariantsMatch(k::inverseDct8x8SparseAdd, base,
                            [&](auto* f, uint8_t* d) { return f(sparse.data(), d + 4, dstStep); });
    }
}

// The forms agree with each other: reduced = full on corner blocks, in place = out of place,
// pixels = clamped residuals, DC-only = DC / 8 truncated.
TEST(VideoCoding, InverseDctFormsAgree) {
    Rng rng(10);
    for (int iter = 0; iter < 500; ++iter) {
        std::vector<int16_t> c = RandomCoefficients(rng, iter);
        std::vector<int16_t> corner(64, 0), junk = c;
        for (int i = 0; i < 64; ++i) {
            if ((i & 7) < 4 && i < 32)
                corner[i] = c[i];
            else
                junk[i] = int16_t(rng.Int(-32768, 32767));
        }
        int16_t full[64], reduced[64], cornerFull[64];
        ASSERT_EQ(vcInverseDct8x8(c.data(), full), 0);
        ASSERT_EQ(vcInverseDct8x8(corner.data(), cornerFull), 0);
        ASSERT_EQ(vcInverseDct8x8Reduced(junk.data(), reduced), 0);
        ASSERT_TRUE(SameBytes(reduced, cornerFull, sizeof(reduced)));
        // Sparse = full on the corner plus coefficient 63, whatever the other 47 hold.
        for (int16_t last : {int16_t(1), int16_t(-1), c[63]}) {
            std::vector<int16_t> withLast = corner, junkLast = junk;
            withLast[63] = junkLast[63] = last;
            int16_t sparseFull[64], sparse[64];
            uint8_t sparsePx[8 * 10];
            ASSERT_EQ(vcInverseDct8x8(withLast.data(), sparseFull), 0);
            ASSERT_EQ(vcInverseDct8x8Sparse(junkLast.data(), sparse), 0);
            ASSERT_TRUE(SameBytes(sparse, sparseFull, sizeof(sparse))) << "coefficient 63 " << last;
            ASSERT_EQ(vcInverseDct8x8SparseStore(junkLast.data(), sparsePx, 10), 0);
            for (int i = 0; i < 64; ++i)
                ASSERT_EQ(sparsePx[(i >> 3) * 10 + (i & 7)],
                          std::clamp<int>(sparseFull[i], 0, 255));
            // Added to a prediction: the same residual, clamped after the sum.
            const std::vector<uint8_t> prediction = rng.Bytes(sizeof(sparsePx));
            std::memcpy(sparsePx, prediction.data(), sizeof(sparsePx));
            ASSERT_EQ(vcInverseDct8x8SparseAdd(junkLast.data(), sparsePx, 10), 0);
            for (int i = 0; i < 64; ++i) {
                const int at = (i >> 3) * 10 + (i & 7);
                ASSERT_EQ(sparsePx[at], std::clamp<int>(prediction[at] + sparseFull[i], 0, 255));
            }
        }
        std::vector<int16_t> inPlace = c;
        ASSERT_EQ(vcInverseDct8x8(inPlace.data(), inPlace.data()), 0);
        ASSERT_TRUE(SameBytes(inPlace.data(), full, sizeof(full)));
        inPlace = corner;
        ASSERT_EQ(vcInverseDct8x8Reduced(inPlace.data(), inPlace.data()), 0);
        ASSERT_TRUE(SameBytes(inPlace.data(), cornerFull, sizeof(full)));

        uint8_t px[8 * 12];
        ASSERT_EQ(vcInverseDct8x8Store(c.data(), px, 12), 0);
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(px[(i >> 3) * 12 + (i & 7)], std::clamp<int>(full[i], 0, 255));
        const std::vector<uint8_t> prediction = rng.Bytes(sizeof(px));
        std::memcpy(px, prediction.data(), sizeof(px));
        ASSERT_EQ(vcInverseDct8x8Add(c.data(), px, 12), 0);
        for (int i = 0; i < 64; ++i) {
            const int at = (i >> 3) * 12 + (i & 7);
            ASSERT_EQ(px[at], std::clamp<int>(prediction[at] + full[i], 0, 255));
        }
        for (int hint : {10, 63, -1}) {
            ASSERT_EQ(vcInverseDct8x8ToPixels(c.data(), px, 12, hint), 0);
            for (int i = 0; i < 64; ++i)
                ASSERT_EQ(px[(i >> 3) * 12 + (i & 7)], std::clamp<int>(full[i], 0, 255));
        }
        for (int hint = 1; hint <= 9; hint += 4) {
            ASSERT_EQ(vcInverseDct8x8ToPixels(junk.data(), px, 12, hint), 0);
            for (int i = 0; i < 64; ++i)
                ASSERT_EQ(px[(i >> 3) * 12 + (i & 7)], std::clamp<int>(cornerFull[i], 0, 255));
        }
    }
    const struct {
        int dc, pixel;
    } dcCases[] = {{1023, 127}, {1024, 128}, {2047, 255}, {15, 1}, {7, 0}, {-9, 0}, {-2048, 0}};
    for (const auto& d : dcCases) {
        int16_t c[64];
        for (int i = 0; i < 64; ++i) c[i] = int16_t(i == 0 ? d.dc : 999);  // AC is ignored
        uint8_t px[64];
        ASSERT_EQ(vcInverseDct8x8ToPixels(c, px, 8, 0), 0);
        for (uint8_t v : px) ASSERT_EQ(v, d.pixel) << "DC " << d.dc;
    }
}

// The decoders add (DC + 4) >> 3 for an inter block with only its DC coefficient instead of
// transforming it; the transform must agree wherever DC / 8 is not a tie.
TEST(VideoCoding, DcOnlyTransformMatchesTheShortcut) {
    for (int dc = -2048; dc <= 2047; ++dc) {
        if ((dc & 7) == 4) continue;
        int16_t c[64] = {}, r[64], rr[64];
        c[0] = int16_t(dc);
        ASSERT_EQ(vcInverseDct8x8(c, r), 0);
        ASSERT_EQ(vcInverseDct8x8Reduced(c, rr), 0);
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(r[i], (dc + 4) >> 3) << "DC " << dc;
            ASSERT_EQ(rr[i], (dc + 4) >> 3) << "DC " << dc;
        }
    }
}

}  // namespace
