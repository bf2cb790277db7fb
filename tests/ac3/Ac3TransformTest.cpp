// The synthesis against the transform equations written out directly: long blocks (which the
// encoder fixtures exercise) and the pair of short transforms of a switched block (which they
// do not), each with its window and the overlap into the next block.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/ac3/Ac3TestSupport.h"

namespace qm::test {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The 512 values of a block before windowing: one transform of length 512, or for a switched
// block two of length 256 (even coefficients into the first half with phase offset alpha = -1,
// odd ones into the second with alpha = +1), all at the long block's scale.
std::vector<double> Direct(const float* x, bool shortBlocks) {
    std::vector<double> y(512, 0.0);
    if (!shortBlocks) {
        for (int n = 0; n < 512; ++n)
            for (int k = 0; k < 256; ++k)
                y[size_t(n)] += x[k] * std::cos(2 * kPi / 2048 * (2 * n + 1) * (2 * k + 1) +
                                                kPi / 4 * (2 * k + 1));
    } else {
        for (int half = 0; half < 2; ++half) {
            const int alpha = half ? 1 : -1;
            for (int n = 0; n < 256; ++n)
                for (int k = 0; k < 128; ++k)
                    y[size_t(256 * half + n)] +=
                        x[2 * k + half] * std::cos(2 * kPi / 1024 * (2 * n + 1) * (2 * k + 1) +
                                                   kPi / 4 * (2 * k + 1) * (1 + alpha));
        }
    }
    for (double& v : y) v /= 256.0;
    return y;
}

TEST(Ac3Transform, LongAndSwitchedBlocksFollowTheirEquations) {
    Ac3EditState state;
    ASSERT_EQ(state.InitStatus(), 0);
    UMC::ac3::State* s = state.get();
    s->outChannels = 1;
    std::memset(s->mixMatrix, 0, sizeof(s->mixMatrix));
    s->mixMatrix[0][0] = 1.0f;

    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(-1.0f / 64, 1.0f / 64);
    for (int blksw : {0, 1}) {
        SCOPED_TRACE(blksw);
        std::memset(s->delay, 0, sizeof(s->delay));
        float coef[256];
        for (float& c : coef) c = value(rng);
        const std::vector<double> y = Direct(coef, blksw == 1);
        int16_t first[256], second[256];
        std::memcpy(s->coef[0], coef, sizeof(coef));
        s->blk.blksw[0] = blksw;
        UMC::ac3::ReconstructBlock(s, first);
        // A silent block next: its output is the windowed second half alone.
        std::memset(s->coef[0], 0, sizeof(coef));
        UMC::ac3::ReconstructBlock(s, second);
        int worst = 0;
        for (int n = 0; n < 256; ++n) {
            const double a = double(s->window[n]) * y[size_t(n)];
            const double b = double(s->window[256 + n]) * y[size_t(256 + n)];
            worst = std::max(worst, int(std::lround(std::fabs(first[n] - a))));
            worst = std::max(worst, int(std::lround(std::fabs(second[n] - b))));
            ASSERT_LT(std::fabs(a), 32000.0);
        }
        EXPECT_LE(worst, 1);
    }
}

}  // namespace
}  // namespace qm::test
