// IEEE 1180-1990 accuracy test of the 8x8 inverse DCT: random blocks from the standard's own
// generator, transformed with a double-precision forward DCT, are inverse transformed by the
// kernel and by a double-precision reference; the error statistics must stay within the
// standard's limits. Run for the plain version and every SIMD variant.
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

// One of the six runs: random blocks in [-L, H] (times sign), forward transformed and rounded to
// coefficients, then inverse transformed by `idct` and by the double reference; the error
// statistics per position and overall must stay within the standard's limits.
void ExpectWithinLimits(int L, int H, int sign, sp::kernels::IdctFn* idct) {
    constexpr int kBlocks = 10000;
    Ieee1180Random rng;
    int64_t sum[64] = {}, sumSq[64] = {};
    int peak = 0;
    for (int b = 0; b < kBlocks; ++b) {
        double block[64], f[64], c[64], r[64];
        int16_t in[64], out[64];
        for (int i = 0; i < 64; ++i) block[i] = double(sign * rng.Next(L, H));
        Dct2d(block, f, false);
        for (int i = 0; i < 64; ++i) c[i] = in[i] = int16_t(RoundClip(f[i], -2048, 2047));
        Dct2d(c, r, true);
        idct(in, out);
        for (int i = 0; i < 64; ++i) {
            const int e = std::clamp<int>(out[i], -256, 255) - RoundClip(r[i], -256, 255);
            peak = std::max(peak, std::abs(e));
            sum[i] += e;
            sumSq[i] += e * e;
        }
    }
    int64_t total = 0, totalSq = 0;
    double worstMse = 0, worstMean = 0;
    for (int i = 0; i < 64; ++i) {
        worstMse = std::max(worstMse, double(sumSq[i]) / kBlocks);
        worstMean = std::max(worstMean, std::abs(double(sum[i]) / kBlocks));
        total += sum[i];
        totalSq += sumSq[i];
    }
    EXPECT_LE(peak, 1);
    EXPECT_LE(worstMse, 0.06);
    EXPECT_LE(double(totalSq) / (64.0 * kBlocks), 0.02);
    EXPECT_LE(worstMean, 0.015);
    EXPECT_LE(std::abs(double(total) / (64.0 * kBlocks)), 0.0015);
}

TEST(IdctAccuracy, Ieee1180RandomBlocksInEveryVariant) {
    for (auto [L, H] : {std::pair{256, 255}, {5, 5}, {300, 300}})
        for (int sign : {1, -1}) {
            SCOPED_TRACE(testing::Message() << "L=" << L << " H=" << H << " sign=" << sign);
            qm::test::ForAll(sp::kernels::inverseDct8x8, [&](sp::kernels::IdctFn* idct) {
                ExpectWithinLimits(L, H, sign, idct);
            });
        }
}

// Single coefficients across the whole input range against the double transform: catches a wrong
// weight or sign in one basis function, which random blocks only average over.
TEST(IdctAccuracy, EachBasisFunctionWithinOne) {
    for (int k = 0; k < 64; ++k) {
        for (int value : {-2048, -1000, -3, 1, 7, 512, 2047}) {
            int16_t in[64] = {}, out[64];
            double c[64] = {}, r[64];
            in[k] = int16_t(value);
            c[k] = value;
            Dct2d(c, r, true);
            ASSERT_EQ(vcInverseDct8x8(in, out), 0);
            for (int i = 0; i < 64; ++i)
                ASSERT_LE(std::abs(out[i] - r[i]), 1.0)
                    << "coefficient " << k << " = " << value << ", output " << i;
        }
    }
}

}  // namespace
