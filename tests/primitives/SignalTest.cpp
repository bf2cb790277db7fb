#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "primitives/Signal.h"
#include "primitives/SignalKernels.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/KernelCheck.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ExpectVariantsMatch;
using qm::test::ForEachVariant;
using qm::test::Rng;
using qm::test::SameBytes;

// Lengths around the short path (below 11) and the vector widths, at unaligned offsets.
const int kLengths[] = {1, 2, 3, 7, 8, 10, 11, 12, 15, 16, 17, 31, 33, 64, 100, 257};

std::vector<float> RandomFloats(Rng& rng, size_t n) {
    std::vector<float> v(n);
    rng.Fill(v.data(), n, -1000.0f, 1000.0f);
    return v;
}

TEST(SignalFloat, ElementwiseOperationsAndVariants) {
    Rng rng(1);
    for (int n : kLengths) {
        SCOPED_TRACE(n);
        const std::vector<float> a = RandomFloats(rng, size_t(n) + 3);
        const std::vector<float> b = RandomFloats(rng, size_t(n) + 3);
        const std::vector<float> d0 = RandomFloats(rng, size_t(n) + 3);
        const float c = float(rng.Real(-3, 3));
        const float* pa = a.data() + 1;  // misaligned operands
        const float* pb = b.data() + 3;
        const float* old = d0.data() + 2;  // the destination's values before the call
        // Results against the plain formula, through the public entries; the neighbours of the
        // destination stay untouched.
        const struct {
            const char* name;
            std::function<int(float*)> call;
            std::function<float(int)> want;
        } ops[] = {
            {"mul", [&](float* d) { return spMul32f(pa, pb, d, n); },
             [&](int i) { return pa[i] * pb[i]; }},
            {"add", [&](float* d) { return spAdd32f(pa, pb, d, n); },
             [&](int i) { return pa[i] + pb[i]; }},
            {"addProduct", [&](float* d) { return spAddProduct32f(pa, pb, d, n); },
             [&](int i) { return old[i] + pa[i] * pb[i]; }},
            {"addProductC", [&](float* d) { return spAddProductC32f(pa, c, d, n); },
             [&](int i) { return old[i] + pa[i] * c; }},
            {"mulC", [&](float* d) { return spMulC32f(pa, c, d, n); },
             [&](int i) { return pa[i] * c; }},
            {"mulCInPlace", [&](float* d) { return spMulC32fInPlace(c, d, n); },
             [&](int i) { return old[i] * c; }},
            {"mulInPlace", [&](float* d) { return spMul32fInPlace(pa, d, n); },
             [&](int i) { return old[i] * pa[i]; }},
            {"addInPlace", [&](float* d) { return spAdd32fInPlace(pa, d, n); },
             [&](int i) { return old[i] + pa[i]; }},
            {"subInPlace", [&](float* d) { return spSub32fInPlace(pa, d, n); },
             [&](int i) { return old[i] - pa[i]; }},
            {"flip", [&](float* d) { return spFlip32(pa, d, n); },
             [&](int i) { return pa[n - 1 - i]; }},
            {"flipInPlace", [&](float* d) { return spFlip32(d, d, n); },
             [&](int i) { return old[n - 1 - i]; }},
            {"copy", [&](float* d) { return spCopy32f(pa, d, n); }, [&](int i) { return pa[i]; }},
            {"zero", [&](float* d) { return spZero32f(d, n); }, [&](int) { return 0.0f; }},
        };
        for (const auto& op : ops) {
            SCOPED_TRACE(op.name);
            std::vector<float> d = d0;
            ASSERT_EQ(op.call(d.data() + 2), 0);
            for (int i = 0; i < n; ++i) ASSERT_EQ(d[size_t(i) + 2], op.want(i)) << i;
            EXPECT_EQ(d[1], d0[1]);
            EXPECT_EQ(d[size_t(n) + 2], d0[size_t(n) + 2]);
        }

        // Every variant against the reference, bit for bit (also with the output aliasing an
        // input).
        auto match = [&](const auto& kernel, auto call) { ExpectVariantsMatch(kernel, d0, call); };
        match(sp::kernels::mul32f, [&](auto* f, float* d) { return f(pa, pb, d + 2, n); });
        for (auto* k : {&sp::kernels::add32f, &sp::kernels::addProduct32f}) {
            match(*k, [&](auto* f, float* d) { return f(pa, pb, d + 2, n); });
            match(*k, [&](auto* f, float* d) { return f(d + 2, pb, d + 2, n); });
        }
        for (auto* k : {&sp::kernels::mul32fInPlace, &sp::kernels::add32fInPlace,
                        &sp::kernels::sub32fInPlace})
            match(*k, [&](auto* f, float* d) { return f(pa, d + 2, n); });
        for (float cc : {c, 1.0f, 0.0f, -0.0f}) {
            match(sp::kernels::mulC32f, [&](auto* f, float* d) { return f(pa, cc, d + 2, n); });
            match(sp::kernels::mulC32fInPlace, [&](auto* f, float* d) { return f(cc, d + 2, n); });
            match(sp::kernels::addProductC32f,
                  [&](auto* f, float* d) { return f(pa, cc, d + 2, n); });
        }
        match(sp::kernels::flip32, [&](auto* f, float* d) { return f(pa, d + 2, n); });
        match(sp::kernels::flip32, [&](auto* f, float* d) { return f(d + 1, d + 1, n); });
    }
}

TEST(SignalFloat, MultiplyByOneOrZeroIsExact) {
    // c = 1 leaves the data as it was and c = 0 clears it, whatever it held.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> data(40, 2.5f);
    data[3] = nan, data[17] = inf, data[30] = -0.0f;
    ForEachVariant(sp::kernels::mulC32fInPlace, [&](auto* fn, auto*) {
        std::vector<float> x = data;
        fn(1.0f, x.data(), 40);
        EXPECT_TRUE(SameBytes(x.data(), data.data(), 160));
        fn(0.0f, x.data(), 40);
        for (float v : x) EXPECT_TRUE(v == 0.0f && !std::signbit(v));
    });
    ForEachVariant(sp::kernels::mulC32f, [&](auto* fn, auto*) {
        std::vector<float> x(40, 9.0f);
        fn(data.data(), 1.0f, x.data(), 40);
        EXPECT_TRUE(SameBytes(x.data(), data.data(), 160));
        fn(data.data(), 0.0f, x.data(), 40);
        for (float v : x) EXPECT_TRUE(v == 0.0f && !std::signbit(v));
    });
}

TEST(SignalFloat, DotProductIsTheSameInEveryVariantAndCloseToDouble) {
    Rng rng(2);
    for (int n : kLengths) {
        const std::vector<float> a = RandomFloats(rng, size_t(n) + 1);
        const std::vector<float> b = RandomFloats(rng, size_t(n));
        float r = 0;
        ASSERT_EQ(spDotProduct32f(a.data() + 1, b.data(), n, &r), 0);
        double exact = 0, magnitude = 0;
        for (int i = 0; i < n; ++i) {
            exact += double(a[size_t(i) + 1]) * b[size_t(i)];
            magnitude += std::fabs(double(a[size_t(i) + 1]) * b[size_t(i)]);
        }
        EXPECT_LE(std::fabs(r - exact), 1e-6 * magnitude) << n;
        ForEachVariant(sp::kernels::dotProduct32f, [&](auto* fn, auto* ref) {
            float x = 1, y = 2;
            fn(a.data() + 1, b.data(), n, &x);
            ref(a.data() + 1, b.data(), n, &y);
            EXPECT_TRUE(SameBytes(&x, &y, 4)) << n;
        });
    }
}

// ---- Conversion to 16-bit PCM -------------------------------------------------------------------

// Rounding to nearest even with saturation, in pointer order (not memory order) for every
// channel count: random samples, ties, and values at and beyond the limits, infinities and NaN
// (which converts to 0).
TEST(SignalConversion, InterleavesInPointerOrderForEveryChannelCount) {
    const float inf = std::numeric_limits<float>::infinity();
    const float kSpecial[] = {
        0.5f,     1.5f,     2.5f,     -0.5f, -2.5f,  0.49999997f,
        32766.5f, 32767.4f, 32767.5f, 1e20f, inf,    -32768.5f,
        -32769.f, -1e9f,    -inf,     -0.0f, 100.5f, std::numeric_limits<float>::quiet_NaN()};
    Rng rng(3);
    for (int channels = 1; channels <= 9; ++channels) {
        for (int n : {1, 7, 10, 11, 16, 23, 576, 1152}) {
            std::vector<std::vector<float>> planes(static_cast<size_t>(channels));
            std::vector<const float*> src;
            for (auto& p : planes) {
                p.resize(size_t(n) + 1);
                rng.Fill(p.data(), p.size(), -40000.0f, 40000.0f);
                for (size_t i = 0; i < p.size(); i += 5) p[i] = std::round(p[i]) + 0.5f;  // ties
                for (size_t i = 3; i < p.size(); i += 7)
                    p[i] = kSpecial[(i / 7) % std::size(kSpecial)];
                src.push_back(p.data() + 1);
            }
            std::reverse(src.begin(), src.end());  // pointer order, not memory order
            std::vector<int16_t> out(size_t(n) * size_t(channels) + 1, 0x7777);
            ASSERT_EQ(spFloatToInt16Interleave(src.data(), channels, n, out.data()), 0);
            EXPECT_EQ(out.back(), 0x7777);
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c) {
                    const float v = src[size_t(c)][i];
                    const int16_t want =
                        std::isnan(v)
                            ? 0
                            : int16_t(std::nearbyint(std::clamp(double(v), -32768.0, 32767.0)));
                    ASSERT_EQ(out[size_t(i) * size_t(channels) + size_t(c)], want)
                        << channels << " channels, n " << n << ", i " << i << ", c " << c;
                }
            SCOPED_TRACE(testing::Message() << channels << " channels, n " << n);
            ExpectVariantsMatch(sp::kernels::floatToInt16Interleave,
                                std::vector<int16_t>(out.size(), 1),
                                [&](auto* f, int16_t* d) { return f(src.data(), channels, n, d); });
        }
    }
}

TEST(SignalConversion, Deinterleave) {
    Rng rng(4);
    for (int channels : {1, 2, 3, 6}) {
        const int n = 37;
        std::vector<float> src = RandomFloats(rng, size_t(n) * size_t(channels));
        std::vector<std::vector<float>> planes(static_cast<size_t>(channels),
                                               std::vector<float>(size_t(n) + 1, -1.0f));
        std::vector<float*> dst;
        for (auto& p : planes) dst.push_back(p.data());
        ASSERT_EQ(spDeinterleave32(src.data(), channels, n, dst.data()), 0);
        for (int c = 0; c < channels; ++c) {
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(planes[size_t(c)][size_t(i)], src[size_t(i * channels + c)]);
            EXPECT_EQ(planes[size_t(c)][size_t(n)], -1.0f);
        }
    }
}

TEST(SignalConversion, SwapBytes) {
    Rng rng(5);
    for (int n : kLengths) {
        std::vector<uint8_t> bytes = rng.Bytes(size_t(n) * 2 + 3);
        // Byte-addressed data as the LPCM filter has it: an odd start address.
        const uint16_t* src = reinterpret_cast<const uint16_t*>(bytes.data() + 1);
        std::vector<uint8_t> out(size_t(n) * 2 + 4, 0xEE);
        uint16_t* dst = reinterpret_cast<uint16_t*>(out.data() + 1);
        ASSERT_EQ(spSwapBytes16(src, dst, n), 0);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(out[size_t(1 + 2 * i)], bytes[size_t(2 + 2 * i)]);
            ASSERT_EQ(out[size_t(2 + 2 * i)], bytes[size_t(1 + 2 * i)]);
        }
        EXPECT_EQ(out[0], 0xEE);
        EXPECT_EQ(out[size_t(2 * n + 1)], 0xEE);
        ExpectVariantsMatch(sp::kernels::swapBytes16, bytes, [&](auto* f, uint8_t* d) {
            auto* words = reinterpret_cast<uint16_t*>(d + 1);
            return f(words, words, n);  // in place
        });
    }
}

// ---- 16-bit scaled arithmetic -------------------------------------------------------------------

TEST(SignalInt16, ScaledArithmeticRoundsTiesToEvenAndSaturates) {
    const int16_t x[] = {1, 3, 5, 7, -1, -3, -5, 32767, -32768, 100, 0, -7};
    const int16_t a[] = {1, 2, 32767, -32768, 3, -3, 100}, b[] = {0, 1, 32767, -32768, 2, -2, 28};
    const int16_t min[] = {-32768};
    const std::vector<int16_t> same(std::begin(x), std::end(x)), zeros(12, 0);
    // Each call starts from out = x, so that the in-place forms work on x.
    const struct {
        const char* name;
        std::function<SpStatus(int16_t*)> call;
        std::vector<int16_t> want;
    } rows[] = {
        {"x / 2",
         [&](int16_t* o) { return spMulC16sScaled(x, 1, o, 12, 1); },
         {0, 2, 2, 4, 0, -2, -2, 16384, -16384, 50, 0, -4}},
        {"x * 3",
         [&](int16_t* o) { return spMulC16sScaled(x, 3, o, 12, 0); },
         {3, 9, 15, 21, -3, -9, -15, 32767, -32768, 300, 0, -21}},
        {"min * min / 2^15",
         [&](int16_t* o) { return spMulC16sScaled(min, -32768, o, 1, 15); },
         {32767}},
        {"min * min / 2^30",
         [&](int16_t* o) { return spMulC16sScaled(min, -32768, o, 1, 30); },
         {1}},
        {"shift above 30", [&](int16_t* o) { return spMulC16sScaled(min, -32768, o, 1, 31); }, {0}},
        {"shift -2", [&](int16_t* o) { return spMulC16sScaled(x, 1, o, 3, -2); }, {4, 12, 20}},
        {"shift -40",
         [&](int16_t* o) { return spMulC16sScaled(x + 7, 1, o, 2, -40); },
         {32767, -32768}},
        {"x * 1", [&](int16_t* o) { return spMulC16sScaled(x, 1, o, 12, 0); }, same},
        {"in place * 1", [&](int16_t* o) { return spMulC16sScaledInPlace(1, o, 12, 0); }, same},
        {"in place * -1",
         [&](int16_t* o) { return spMulC16sScaledInPlace(-1, o, 12, 0); },
         {-1, -3, -5, -7, 1, 3, 5, -32767, 32767, -100, 0, 7}},
        {"in place shift 33", [&](int16_t* o) { return spMulC16sScaledInPlace(5, o, 12, 33); },
         zeros},
        {"(a + b) / 2",
         [&](int16_t* o) { return spAdd16sScaled(a, b, o, 7, 1); },
         {0, 2, 32767, -32768, 2, -2, 64}},
        {"a + b",
         [&](int16_t* o) { return spAdd16sScaled(a, b, o, 7, 0); },
         {1, 3, 32767, -32768, 5, -5, 128}},
        {"(a + b) / 2^16",
         [&](int16_t* o) { return spAdd16sScaled(a, b, o, 7, 16); },
         {0, 0, 1, -1, 0, 0, 0}},
        {"add shift above 16", [&](int16_t* o) { return spAdd16sScaled(a, b, o, 7, 17); },
         std::vector<int16_t>(7, 0)},
    };
    for (const auto& row : rows) {
        std::vector<int16_t> out = same;
        ASSERT_EQ(row.call(out.data()), 0) << row.name;
        out.resize(row.want.size());
        EXPECT_EQ(out, row.want) << row.name;
    }
}

}  // namespace
