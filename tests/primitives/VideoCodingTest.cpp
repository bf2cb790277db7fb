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
            // The plain version follows the formula inside the block and writes nothing else.
            std::vector<uint8_t> c = base;
            p.kernel->Reference()(ref.data(), refStep, c.data() + dstStep, dstStep, type, rounding);
            const int r = rounding & 1;
            for (size_t i = 0; i < c.size(); ++i) {
                const ptrdiff_t off = ptrdiff_t(i) - dstStep;
                const int x = int(off % dstStep), y = int(off / dstStep);
                if (off < 0 || y >= p.height || x >= p.width) {
                    ASSERT_EQ(c[i], base[i]) << "byte " << i;
                    continue;
                }
                auto at = [&](int dx, int dy) { return ref[size_t(y + dy) * refStep + x + dx]; };
                const int want = (type & 3) == 0   ? at(0, 0)
                                 : (type & 3) == 1 ? (at(0, 0) + at(1, 0) + 1 - r) >> 1
                                 : (type & 3) == 2
                                     ? (at(0, 0) + at(0, 1) + 1 - r) >> 1
                                     : (at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1) + 2 - r) >> 2;
                ASSERT_EQ(c[i], p.average ? (base[i] + want + 1) >> 1 : want) << x << "," << y;
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
        // The plain versions: dst + residual or + value, saturated.
        std::vector<uint8_t> withResidual = base, withValue = base;
        k::addResidual8x8.Reference()(res.data(), resStep, withResidual.data(), dstStep);
        k::addConstant8x8.Reference()(value, withValue.data(), dstStep);
        for (int i = 0; i < 64; ++i) {
            const size_t at = size_t(i / 8) * dstStep + i % 8;
            ASSERT_EQ(withResidual[at],
                      std::clamp(base[at] + res[size_t(i / 8) * resStep / 2 + i % 8], 0, 255));
            ASSERT_EQ(withValue[at], std::clamp(base[at] + value, 0, 255));
        }
    }
}

// Coefficient blocks of the kinds a decoder produces, plus ones that saturate every stage.
std::vector<int16_t> RandomCoefficients(Rng& rng, int kind) {
    std::vector<int16_t> c(64, 0);
    if (kind == 0) return c;  // the first block is all zero
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

// The forms agree with each other: reduced = full on corner blocks whatever the rest holds, sparse
// = full on the corner plus coefficient 63, in place = out of place, pixels = clamped residuals
// for every hint, DC-only = DC / 8 truncated. (The store and add forms the decoders run are
// compared with the reference decodes of the fixture streams.)
TEST(VideoCoding, InverseDctFormsAgree) {
    Rng rng(10);
    // Runs `call(px, step)` over random bytes and checks it against clamp(residual).
    auto expectPixels = [&](const int16_t* residual, auto call) {
        uint8_t px[8 * 12];
        const std::vector<uint8_t> prediction = rng.Bytes(sizeof(px));
        std::memcpy(px, prediction.data(), sizeof(px));
        ASSERT_EQ(call(px, 12), 0);
        for (int i = 0; i < 64; ++i) {
            const int at = (i >> 3) * 12 + (i & 7);
            ASSERT_EQ(px[at], std::clamp<int>(residual[i], 0, 255)) << i;
        }
    };
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
        for (int16_t last : {int16_t(1), int16_t(-1), c[63]}) {
            std::vector<int16_t> withLast = corner, junkLast = junk;
            withLast[63] = junkLast[63] = last;
            int16_t sparseFull[64], sparse[64];
            ASSERT_EQ(vcInverseDct8x8(withLast.data(), sparseFull), 0);
            ASSERT_EQ(vcInverseDct8x8Sparse(junkLast.data(), sparse), 0);
            ASSERT_TRUE(SameBytes(sparse, sparseFull, sizeof(sparse))) << "coefficient 63 " << last;
        }
        std::vector<int16_t> inPlace = c;
        ASSERT_EQ(vcInverseDct8x8(inPlace.data(), inPlace.data()), 0);
        ASSERT_TRUE(SameBytes(inPlace.data(), full, sizeof(full)));
        inPlace = corner;
        ASSERT_EQ(vcInverseDct8x8Reduced(inPlace.data(), inPlace.data()), 0);
        ASSERT_TRUE(SameBytes(inPlace.data(), cornerFull, sizeof(full)));
        // A hint of 1 to 9 promises the 4x4 corner alone; others the whole block.
        for (int hint : {10, 63, -1, 1, 5, 9}) {
            const bool small = hint >= 1 && hint <= 9;
            expectPixels(small ? cornerFull : full, [&](uint8_t* px, int step) {
                return vcInverseDct8x8ToPixels(small ? junk.data() : c.data(), px, step, hint);
            });
        }
    }
    for (auto [dc, pixel] :
         {std::pair{1023, 127}, {1024, 128}, {2047, 255}, {15, 1}, {7, 0}, {-9, 0}, {-2048, 0}}) {
        int16_t c[64];
        for (int i = 0; i < 64; ++i) c[i] = int16_t(i == 0 ? dc : 999);  // AC is ignored
        uint8_t px[64];
        ASSERT_EQ(vcInverseDct8x8ToPixels(c, px, 8, 0), 0);
        for (uint8_t v : px) ASSERT_EQ(v, pixel) << "DC " << dc;
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
