// Quarter-sample prediction and overlapped block motion compensation against the equations of
// ISO/IEC 14496-2 written out directly, plus the properties that catch edge faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "primitives/MPEG4Coding.h"
#include "primitives/MPEG4CodingKernels.h"
#include "primitives/VideoCoding.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ExpectVariantsMatch;
using qm::test::ForAll;
using qm::test::Rng;
namespace k = sp::kernels;

constexpr int kStep = 48;

// The standard's quarter-sample interpolation of a w x h block: the (w + 1) x (h + 1) area is
// extended by three mirrored samples on every side, half samples use the 8-tap filter in its
// /256 form, quarter samples average a half sample with its nearest integer-stage sample; rows
// are interpolated first, then columns.
std::vector<int> QuarterPelFormula(const uint8_t* ref, int w, int h, int index, int rc) {
    const int fx = index & 3, fy = index >> 2;
    auto clip = [](int v) { return std::min(255, std::max(0, v)); };
    auto floorDiv = [](int n, int d) { return n >= 0 ? n / d : -((-n + d - 1) / d); };
    auto interpolate = [&](const std::vector<int>& line, int n, int f, int pos) {
        // line: n + 1 samples; build the mirrored extension explicitly.
        std::vector<int> ext(n + 1 + 8);
        for (int k2 = 0; k2 < int(ext.size()); ++k2) {
            const int src = k2 - 3;
            ext[k2] = src < 0 ? line[-src - 1] : src > n ? line[2 * n + 1 - src] : line[src];
        }
        auto at = [&](int c) { return ext[c + 3]; };
        if (f == 0) return at(pos);
        const int half = clip(floorDiv(
            160 * (at(pos) + at(pos + 1)) - 48 * (at(pos - 1) + at(pos + 2)) +
                24 * (at(pos - 2) + at(pos + 3)) - 8 * (at(pos - 3) + at(pos + 4)) + 128 - rc,
            256));
        if (f == 2) return half;
        return (at(f == 1 ? pos : pos + 1) + half + 1 - rc) / 2;
    };
    std::vector<std::vector<int>> rows(h + 1, std::vector<int>(w));
    for (int r = 0; r <= h; ++r) {
        std::vector<int> line(w + 1);
        for (int c = 0; c <= w; ++c) line[c] = ref[r * kStep + c];
        for (int c = 0; c < w; ++c) rows[r][c] = interpolate(line, w, fx, c);
    }
    std::vector<int> out(w * h);
    for (int c = 0; c < w; ++c) {
        std::vector<int> column(h + 1);
        for (int r = 0; r <= h; ++r) column[r] = rows[r][c];
        for (int r = 0; r < h; ++r) out[r * w + c] = interpolate(column, h, fy, r);
    }
    return out;
}

struct QpelShape {
    int width, height;
    const sp::Kernel<sp::kernels::QuarterPelWidthFn>* kernel;  // null: the 16x16 entry
};

// The prediction, or with `average` its averaging form.
SpStatus CallQpel(const QpelShape& s, const uint8_t* ref, uint8_t* dst, int index, int rc,
                  bool average) {
    if (!s.kernel)
        return (average ? vcPredictQuarterPelAverage16x16 : vcPredictQuarterPel16x16)(
            ref, kStep, dst, kStep, index, rc);
    if (s.width == 8)
        return (average ? vcPredictQuarterPelAverageWidth8 : vcPredictQuarterPelWidth8)(
            ref, kStep, dst, kStep, index, rc, s.height);
    return (average ? vcPredictQuarterPelAverageWidth16 : vcPredictQuarterPelWidth16)(
        ref, kStep, dst, kStep, index, rc, s.height);
}

const QpelShape kShapes[] = {{16, 16, nullptr},
                             {8, 8, &k::predictQuarterPelWidth8},
                             {8, 4, &k::predictQuarterPelWidth8},
                             {16, 8, &k::predictQuarterPelWidth16},
                             {16, 16, &k::predictQuarterPelWidth16}};

TEST(Mpeg4Motion, QuarterSampleMatchesTheEquations) {
    Rng rng(0x9E1);
    for (const QpelShape& s : kShapes)
        for (int trial = 0; trial < 6; ++trial)
            for (int index = 0; index < 16; ++index)
                for (int rc = 0; rc < 2; ++rc) {
                    SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " index "
                                                    << index << " rounding " << rc);
                    // Extremes make the filter clip; smooth data does not.
                    std::vector<uint8_t> ref = rng.Bytes(kStep * 24);
                    if (trial & 1)
                        for (uint8_t& v : ref) v = rng.Bool() ? 0 : 255;
                    // The averaging form rounds half up whatever the rounding control.
                    const bool average = (trial >> 1) & 1;
                    std::vector<uint8_t> dst(kStep * 24, 0xCD);
                    ASSERT_EQ(
                        CallQpel(s, ref.data() + 3 * kStep + 3, dst.data(), index, rc, average), 0);
                    const std::vector<int> want =
                        QuarterPelFormula(ref.data() + 3 * kStep + 3, s.width, s.height, index, rc);
                    for (int r = 0; r < s.height; ++r)
                        for (int c = 0; c < s.width; ++c) {
                            const int w = want[r * s.width + c];
                            ASSERT_EQ(dst[r * kStep + c], average ? (0xCD + w + 1) >> 1 : w)
                                << "at " << c << "," << r;
                        }
                    // Nothing outside the block is written.
                    for (int r = 0; r < 24; ++r)
                        for (int c = 0; c < kStep; ++c) {
                            if (r >= s.height || c >= s.width) {
                                ASSERT_EQ(dst[r * kStep + c], 0xCD);
                            }
                        }
                }
}

// Weights of the standard, typed from its matrices.
constexpr int kOwn[8][8] = {{4, 5, 5, 5, 5, 5, 5, 4}, {5, 5, 5, 5, 5, 5, 5, 5},
                            {5, 5, 6, 6, 6, 6, 5, 5}, {5, 5, 6, 6, 6, 6, 5, 5},
                            {5, 5, 6, 6, 6, 6, 5, 5}, {5, 5, 6, 6, 6, 6, 5, 5},
                            {5, 5, 5, 5, 5, 5, 5, 5}, {4, 5, 5, 5, 5, 5, 5, 4}};
constexpr int kTopBottom[8][8] = {{2, 2, 2, 2, 2, 2, 2, 2}, {1, 1, 2, 2, 2, 2, 1, 1},
                                  {1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1},
                                  {1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1},
                                  {1, 1, 2, 2, 2, 2, 1, 1}, {2, 2, 2, 2, 2, 2, 2, 2}};
constexpr int kLeftRight[8][8] = {{2, 1, 1, 1, 1, 1, 1, 2}, {2, 2, 1, 1, 1, 1, 2, 2},
                                  {2, 2, 1, 1, 1, 1, 2, 2}, {2, 2, 1, 1, 1, 1, 2, 2},
                                  {2, 2, 1, 1, 1, 1, 2, 2}, {2, 2, 1, 1, 1, 1, 2, 2},
                                  {2, 2, 1, 1, 1, 1, 2, 2}, {2, 1, 1, 1, 1, 1, 1, 2}};

TEST(Mpeg4Motion, OverlappedBlockMotionCompensation) {
    Rng rng(0x0B3C);
    constexpr int kPlane = 64;
    for (int quarter = 0; quarter < 2; ++quarter)
        for (int trial = 0; trial < 60; ++trial) {
            SCOPED_TRACE(testing::Message() << "quarter " << quarter << " trial " << trial);
            std::vector<uint8_t> ref = rng.Bytes(kPlane * kPlane);
            const uint8_t* origin = ref.data() + 24 * kPlane + 24;
            VcMotionVector v[5];
            for (VcMotionVector& m : v) m = {int16_t(rng.Int(-30, 30)), int16_t(rng.Int(-30, 30))};
            if (trial % 10 == 0)
                for (VcMotionVector& m : v) m = v[0];
            const int rc = trial & 1;
            // Each of the five predictions by the ordinary (half- or quarter-sample) kernels.
            uint8_t pred[5][16 * 8];
            for (int n = 0; n < 5; ++n) {
                if (quarter)
                    ASSERT_EQ(vcPredictQuarterPelWidth8(
                                  origin + (v[n].dy >> 2) * kPlane + (v[n].dx >> 2), kPlane,
                                  pred[n], 8, (v[n].dx & 3) + 4 * (v[n].dy & 3), rc, 8),
                              0);
                else
                    ASSERT_EQ(
                        vcPredict8x8(origin + (v[n].dy >> 1) * kPlane + (v[n].dx >> 1), kPlane,
                                     pred[n], 8, (v[n].dx & 1) + 2 * (v[n].dy & 1), rc),
                        0);
            }
            auto check = [&](auto* fn) {
                uint8_t out[8 * 16];
                std::fill(out, out + sizeof out, 0xEE);
                fn(origin, kPlane, out, 16, &v[0], &v[1], &v[2], &v[3], &v[4], rc);
                for (int r = 0; r < 8; ++r)
                    for (int c = 0; c < 8; ++c) {
                        const int vert = r < 4 ? 1 : 2, horiz = c < 4 ? 3 : 4;
                        const int want = (pred[0][r * 8 + c] * kOwn[r][c] +
                                          pred[vert][r * 8 + c] * kTopBottom[r][c] +
                                          pred[horiz][r * 8 + c] * kLeftRight[r][c] + 4) /
                                         8;
                        ASSERT_EQ(out[r * 16 + c], want) << "at " << c << "," << r;
                        ASSERT_EQ(out[r * 16 + c + 8], 0xEE);
                    }
                if (trial % 10 == 0) {
                    for (int r = 0; r < 8; ++r)
                        for (int c = 0; c < 8; ++c) {
                            ASSERT_EQ(out[r * 16 + c], pred[0][r * 8 + c]);
                        }
                }
            };
            ForAll(quarter ? k::obmcBlock8x8QuarterPel : k::obmcBlock8x8, check);
        }
}

// Every position in both rounding modes; heights from 2 (mirroring reaches past the block's far
// edge) to 16; extremes drive the filter into both clips; the averaging forms average with noise.
TEST(Mpeg4Motion, VariantsMatchReference) {
    Rng rng(0x9E3);
    for (int trial = 0; trial < 128; ++trial) {
        std::vector<uint8_t> ref = rng.Bytes(kStep * 40);
        if (trial % 3 == 0)
            for (uint8_t& v : ref) v = rng.Bool() ? 0 : 255;
        const std::vector<uint8_t> base = rng.Bytes(kStep * 40);
        const int index = trial % 16, rc = (trial >> 4) & 1, h = 2 + (trial * 7) % 15;
        const uint8_t* square = ref.data() + 5 * kStep + 5;
        for (const auto* kernel :
             {&k::predictQuarterPel16x16, &k::predictQuarterPelAverage16x16,
              &k::predictQuarterPelFour8x8, &k::predictQuarterPelAverageFour8x8})
            ExpectVariantsMatch(*kernel, base, [&](auto* fn, uint8_t* d) {
                return fn(square, kStep, d + 1, kStep, index, rc);
            });
        for (auto [kernel, step] : {std::pair{&k::predictQuarterPelWidth16, 2 * kStep},
                                    {&k::predictQuarterPelAverageWidth16, 2 * kStep},
                                    {&k::predictQuarterPelWidth8, kStep},
                                    {&k::predictQuarterPelAverageWidth8, kStep}})
            ExpectVariantsMatch(*kernel, base, [&](auto* fn, uint8_t* d) {
                return fn(square - 2, step, d, step, index, rc, h);
            });
    }
}

}  // namespace
