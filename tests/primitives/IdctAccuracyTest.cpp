// IEEE 1180-1990 accuracy test of the 8x8 inverse DCT: random blocks from the standard's own
// generator, transformed with a double-precision forward DCT, are inverse transformed by the
// kernel and by a double-precision reference; the error statistics must stay within the
// standard's limits. TestRun for the plain version and every SIMD variant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

#include "primitives/VideoCoding.h"
#include "primitives/VideoCodingKernels.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/KernelCheck.h"

namespace {

// The standard's generator: a 32-bit linear congruential sequence, seed 1, scaled to [-L, H].
class Ieee1180Random {
public:
    int Next(int L, int H) {
        m_x = m_x * 1103515245u + 12345u;
        const uint32_t i = m_x & 0x7FFFFFFEu;
        double x = double(i) / double(0x7FFFFFFF);
        x *= double(L + H + 1);
        return int(x) - L;
    }

private:
    uint32_t m_x = 1;
};

// cosine[k][n] = C(k)/2 * cos((2n+1)k*pi/16): orthonormal 8-point DCT basis.
struct Basis {
    double c[8][8];
    Basis() {
        for (int k = 0; k < 8; ++k)
            for (int n = 0; n < 8; ++n)
                c[k][n] = (k == 0 ? std::sqrt(0.125) : 0.5) *
                          std::cos((2 * n + 1) * k * std::numbers::pi / 16);
    }
};
const Basis kBasis;

// The separable 2-D transform in double precision: forward (basis rows as weights) or inverse.
void Dct2d(const double in[64], double out[64], bool inverse) {
    auto w = [&](int k, int n) { return inverse ? kBasis.c[n][k] : kBasis.c[k][n]; };
    double t[64];
    for (int r = 0; r < 8; ++r)
        for (int k = 0; k < 8; ++k) {
            double s = 0;
            for (int n = 0; n < 8; ++n) s += w(k, n) * in[8 * r + n];
            t[8 * r + k] = s;
        }
    for (int c = 0; c < 8; ++c)
        for (int k = 0; k < 8; ++k) {
            double s = 0;
            for (int n = 0; n < 8; ++n) s += w(k, n) * t[8 * n + c];
            out[8 * k + c] = s;
        }
}

int RoundClip(double v, int lo, int hi) {
    return std::clamp(int(std::floor(v + 0.5)), lo, hi);
}

// One of the six runs: the coefficient blocks and the reference's rounded, clipped output.
struct TestRun {
    int L, H, sign;
    std::vector<int16_t> coefficients;  // 64 per block
    std::vector<int16_t> expected;
};

constexpr int kBlocks = 10000;

TestRun MakeRun(int L, int H, int sign) {
    TestRun run{L, H, sign, {}, {}};
    run.coefficients.resize(size_t(kBlocks) * 64);
    run.expected.resize(size_t(kBlocks) * 64);
    Ieee1180Random rng;
    for (int b = 0; b < kBlocks; ++b) {
        double block[64], f[64], r[64], c[64];
        for (int i = 0; i < 64; ++i) block[i] = double(sign * rng.Next(L, H));
        Dct2d(block, f, false);
        for (int i = 0; i < 64; ++i) {
            const int q = RoundClip(f[i], -2048, 2047);
            run.coefficients[size_t(b) * 64 + i] = int16_t(q);
            c[i] = q;
        }
        Dct2d(c, r, true);
        for (int i = 0; i < 64; ++i)
            run.expected[size_t(b) * 64 + i] = int16_t(RoundClip(r[i], -256, 255));
    }
    return run;
}

struct Stats {
    int peak = 0;          // largest |error| at any position
    double worstMse = 0;   // largest per-position mean square error
    double worstMean = 0;  // largest per-position |mean error|
    double overallMse = 0;
    double overallMean = 0;
};

Stats Measure(const TestRun& run, sp::kernels::IdctFn* idct) {
    int64_t sum[64] = {}, sumSq[64] = {};
    Stats s;
    int16_t out[64];
    for (int b = 0; b < kBlocks; ++b) {
        idct(&run.coefficients[size_t(b) * 64], out);
        for (int i = 0; i < 64; ++i) {
            const int e = std::clamp<int>(out[i], -256, 255) - run.expected[size_t(b) * 64 + i];
            s.peak = std::max(s.peak, std::abs(e));
            sum[i] += e;
            sumSq[i] += e * e;
        }
    }
    int64_t total = 0, totalSq = 0;
    for (int i = 0; i < 64; ++i) {
        s.worstMse = std::max(s.worstMse, double(sumSq[i]) / kBlocks);
        s.worstMean = std::max(s.worstMean, std::abs(double(sum[i]) / kBlocks));
        total += sum[i];
        totalSq += sumSq[i];
    }
    s.overallMse = double(totalSq) / (64.0 * kBlocks);
    s.overallMean = double(total) / (64.0 * kBlocks);
    return s;
}

void ExpectWithinLimits(const TestRun& run, sp::kernels::IdctFn* idct, const char* name) {
    const Stats s = Measure(run, idct);
    std::printf(
        "[ IEEE1180 ] %-6s L=%3d H=%3d sign=%+d: peak %d, worst mse %.4f, overall mse "
        "%.5f, worst mean %.4f, overall mean %+.5f\n",
        name, run.L, run.H, run.sign, s.peak, s.worstMse, s.overallMse, s.worstMean, s.overallMean);
    EXPECT_LE(s.peak, 1);
    EXPECT_LE(s.worstMse, 0.06);
    EXPECT_LE(s.overallMse, 0.02);
    EXPECT_LE(s.worstMean, 0.015);
    EXPECT_LE(std::abs(s.overallMean), 0.0015);
}

TEST(IdctAccuracy, Ieee1180RandomBlocksInEveryVariant) {
    const auto& kernel = sp::kernels::inverseDct8x8;
    const int ranges[3][2] = {{256, 255}, {5, 5}, {300, 300}};
    for (const auto& range : ranges) {
        for (int sign : {1, -1}) {
            const TestRun run = MakeRun(range[0], range[1], sign);
            SCOPED_TRACE(testing::Message() << "L=" << run.L << " H=" << run.H << " sign=" << sign);
            ExpectWithinLimits(run, kernel.Reference(), "plain");
            for (const auto& v : kernel.Variants()) {
                if (!sp::HostRuns(v.isa)) continue;  // ForEachVariant reports these as skipped
                SCOPED_TRACE(sp::IsaName(v.isa));
                ExpectWithinLimits(run, v.fn, sp::IsaName(v.isa));
            }
        }
    }
}

TEST(IdctAccuracy, ZeroInZeroOut) {
    const int16_t zero[64] = {};
    for (const auto* kernel : {&sp::kernels::inverseDct8x8, &sp::kernels::inverseDct8x8Reduced})
        qm::test::ForAll(*kernel, [&](sp::kernels::IdctFn* idct) {
            int16_t out[64];
            std::memset(out, 0x55, sizeof(out));
            idct(zero, out);
            for (int16_t v : out) ASSERT_EQ(v, 0);
        });
}

// Single coefficients across the whole input range against the double transform: catches a wrong
// weight or sign in one basis function, which random blocks only average over.
TEST(IdctAccuracy, EachBasisFunctionWithinOne) {
    for (int k = 0; k < 64; ++k) {
        for (int value : {-2048, -1000, -3, 1, 7, 512, 2047}) {
            int16_t in[64] = {};
            in[k] = int16_t(value);
            double c[64] = {}, r[64];
            c[k] = value;
            Dct2d(c, r, true);
            int16_t out[64];
            ASSERT_EQ(vcInverseDct8x8(in, out), 0);
            for (int i = 0; i < 64; ++i)
                ASSERT_LE(std::abs(out[i] - r[i]), 1.0)
                    << "coefficient " << k << " = " << value << ", output " << i;
        }
    }
}

}  // namespace
