// Warping for GMC and static sprites, the brightness change and the deringing filter, against
// the equations of ISO/IEC 14496-2 (7.8 and Annex F) written out here and against the ordinary
// half-sample prediction where a warp degenerates into a translation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

struct WarpBuffer {
    alignas(16) uint8_t bytes[kVcWarpSpecSize + 16];
};

// A padded plane: width x height samples with a border of `border` on every side.
struct Plane {
    int width, height, border, step;
    std::vector<uint8_t> data;
    Plane(int w, int h, int b, Rng& rng) : width(w), height(h), border(b), step(w + 2 * b) {
        data = rng.Bytes(size_t(step) * (h + 2 * b));
        // Replicate the edges into the border like reference padding does.
        for (int y = -b; y < h + b; ++y)
            for (int x = -b; x < w + b; ++x)
                if (x < 0 || y < 0 || x >= w || y >= h)
                    at(x, y) = at(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
    }
    uint8_t& at(int x, int y) { return data[size_t(y + border) * step + x + border]; }
    uint8_t* origin() { return &at(0, 0); }
};

int64_t FloorDiv(int64_t n, int64_t d) {
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}
int64_t NearestDiv(int64_t n, int64_t d) {  // halves away from zero
    return n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
}
int64_t HalfUpDiv(int64_t n, int64_t d) {  // nearest, halves towards plus infinity (d > 0)
    return FloorDiv(2 * n + d, 2 * d);
}

// The affine warp (1 to 3 points) of a W x H VOP at the origin, as the equations give it.
struct Affine {
    int points, s, r, W, H, Wv, Hv;
    int64_t i0p, j0p, i1pp, j1pp, i2pp, j2pp;
    Affine(const int* du, const int* dv, int n, int accuracy, int w, int h)
        : points(n), s(2 << accuracy), r(16 / (2 << accuracy)), W(w), H(h) {
        Wv = 1, Hv = 1;
        while (Wv < W) Wv *= 2;
        while (Hv < H) Hv *= 2;
        const int64_t half = s / 2;
        i0p = half * du[0];
        j0p = half * dv[0];
        const int64_t i1p = half * (2 * W + du[1] + du[0]), j1p = half * (dv[1] + dv[0]);
        const int64_t i2p = half * (du[2] + du[0]), j2p = half * (2 * H + dv[2] + dv[0]);
        i1pp = 16 * Wv + NearestDiv((W - Wv) * (r * i0p) + Wv * (r * i1p - 16 * W), W);
        j1pp = NearestDiv((W - Wv) * (r * j0p) + Wv * (r * j1p), W);
        i2pp = NearestDiv((H - Hv) * (r * i0p) + Hv * (r * i2p), H);
        j2pp = 16 * Hv + NearestDiv((H - Hv) * (r * j0p) + Hv * (r * j2p - 16 * H), H);
    }
    void Luma(int i, int j, int64_t& F, int64_t& G) const {
        if (points == 1) {
            F = i0p + int64_t(s) * i, G = j0p + int64_t(s) * j;
        } else if (points == 2) {
            F = i0p + HalfUpDiv((-r * i0p + i1pp) * i + (r * j0p - j1pp) * j, int64_t(Wv) * r);
            G = j0p + HalfUpDiv((-r * j0p + j1pp) * i + (-r * i0p + i1pp) * j, int64_t(Wv) * r);
        } else {
            F = i0p + HalfUpDiv((-r * i0p + i1pp) * Hv * i + (-r * i0p + i2pp) * Wv * j,
                                int64_t(Wv) * Hv * r);
            G = j0p + HalfUpDiv((-r * j0p + j1pp) * Hv * i + (-r * j0p + j2pp) * Wv * j,
                                int64_t(Wv) * Hv * r);
        }
    }
    void Chroma(int ic, int jc, int64_t& F, int64_t& G) const {
        const int64_t u = 4 * ic + 1, v = 4 * jc + 1;
        if (points == 1) {
            F = ((i0p >> 1) | (i0p & 1)) + int64_t(s) * ic;
            G = ((j0p >> 1) | (j0p & 1)) + int64_t(s) * jc;
        } else if (points == 2) {
            F = HalfUpDiv((-r * i0p + i1pp) * u + (r * j0p - j1pp) * v + 2 * Wv * r * i0p - 16 * Wv,
                          4 * int64_t(Wv) * r);
            G = HalfUpDiv(
                (-r * j0p + j1pp) * u + (-r * i0p + i1pp) * v + 2 * Wv * r * j0p - 16 * Wv,
                4 * int64_t(Wv) * r);
        } else {
            const int64_t WH = int64_t(Wv) * Hv;
            F = HalfUpDiv((-r * i0p + i1pp) * Hv * u + (-r * i0p + i2pp) * Wv * v +
                              2 * WH * r * i0p - 16 * WH,
                          4 * WH * r);
            G = HalfUpDiv((-r * j0p + j1pp) * Hv * u + (-r * j0p + j2pp) * Wv * v +
                              2 * WH * r * j0p - 16 * WH,
                          4 * WH * r);
        }
    }
    // Bilinear sample at (F, G) / s of a plane whose outside repeats its edge.
    int Sample(Plane& p, int64_t F, int64_t G, int rounding) const {
        const int64_t x = FloorDiv(F, s), y = FloorDiv(G, s);
        const int ri = int(F - x * s), rj = int(G - y * s);
        auto px = [&](int64_t xx, int64_t yy) {
            return int(p.at(int(std::clamp<int64_t>(xx, 0, p.width - 1)),
                            int(std::clamp<int64_t>(yy, 0, p.height - 1))));
        };
        const int sum = (s - rj) * ((s - ri) * px(x, y) + ri * px(x + 1, y)) +
                        rj * ((s - ri) * px(x, y + 1) + ri * px(x + 1, y + 1));
        return int(FloorDiv(sum + s * s / 2 - rounding, int64_t(s) * s));
    }
};

TEST(Mpeg4Warp, AffineWarpsMatchTheEquations) {
    Rng rng(0x6C3);
    const int sizes[][2] = {{176, 144}, {64, 64}, {50, 38}};
    for (const auto& size : sizes)
        for (int points = 0; points <= 3; ++points)
            for (int trial = 0; trial < 6; ++trial) {
                const int W = size[0], H = size[1], accuracy = trial & 3, rc = trial & 1;
                SCOPED_TRACE(testing::Message() << W << "x" << H << " points " << points
                                                << " accuracy " << accuracy << " trial " << trial);
                int du[4], dv[4];
                for (int n = 0; n < 4; ++n)  // no points: a copy, the warp of one still point
                    du[n] = points ? rng.Int(-60, 60) : 0, dv[n] = points ? rng.Int(-60, 60) : 0;
                Plane y(W, H, 16, rng), u(W / 2, H / 2, 8, rng), v(W / 2, H / 2, 8, rng);
                WarpBuffer spec;
                const VcRect vop{0, 0, W, H};
                ASSERT_EQ(vcWarpInit(spec.bytes + 3, du, dv, points, accuracy, vcSpriteGmc, 3, 0,
                                     rc, &vop, &vop),
                          0);
                const Affine a(du, dv, std::max(points, 1), accuracy, W, H);
                // Whole planes, and one macroblock region written at its own position.
                std::vector<uint8_t> outY(W * H), outU(W * H / 4), outV(W * H / 4);
                const VcRect all{0, 0, W, H}, allC{0, 0, W / 2, H / 2};
                ASSERT_EQ(vcWarpLuma(y.origin(), y.step, outY.data(), W, &all, spec.bytes + 3), 0);
                ASSERT_EQ(vcWarpChroma(u.origin(), v.origin(), u.step, outU.data(), outV.data(),
                                       W / 2, &allC, spec.bytes + 3),
                          0);
                for (int j = 0; j < H; ++j)
                    for (int i = 0; i < W; ++i) {
                        int64_t F, G;
                        a.Luma(i, j, F, G);
                        ASSERT_EQ(outY[j * W + i], a.Sample(y, F, G, rc)) << i << "," << j;
                    }
                for (int j = 0; j < H / 2; ++j)
                    for (int i = 0; i < W / 2; ++i) {
                        int64_t F, G;
                        a.Chroma(i, j, F, G);
                        ASSERT_EQ(outU[j * W / 2 + i], a.Sample(u, F, G, rc)) << i << "," << j;
                        ASSERT_EQ(outV[j * W / 2 + i], a.Sample(v, F, G, rc)) << i << "," << j;
                    }
                if (points == 3 && W == H) {
                    // A fourth point whose displacement is what the other three imply gives the
                    // same warp (on power-of-two sizes, where the virtual points are the real
                    // ones).
                    du[3] = dv[3] = 0;
                    WarpBuffer four;
                    ASSERT_EQ(vcWarpInit(four.bytes, du, dv, 4, accuracy, vcSpriteStatic, 3, 0, rc,
                                         &vop, &vop),
                              0);
                    std::vector<uint8_t> y4(outY.size()), u4(outU.size()), v4(outV.size());
                    ASSERT_EQ(vcWarpLuma(y.origin(), y.step, y4.data(), W, &all, four.bytes), 0);
                    ASSERT_EQ(vcWarpChroma(u.origin(), v.origin(), u.step, u4.data(), v4.data(),
                                           W / 2, &allC, four.bytes),
                              0);
                    EXPECT_TRUE(y4 == outY && u4 == outU && v4 == outV);
                }
                const VcRect mb{16, 16, 16, 16};
                uint8_t block[16 * 16];
                ASSERT_EQ(vcWarpLuma(y.origin(), y.step, block, 16, &mb, spec.bytes + 3), 0);
                for (int j = 0; j < 16; ++j)
                    for (int i = 0; i < 16; ++i)
                        ASSERT_EQ(block[j * 16 + i], outY[(16 + j) * W + 16 + i]);
            }
}

// The GMC fixtures compare ordinary representative vectors; these are the cases they never hold.
TEST(Mpeg4Warp, RepresentativeVectors) {
    WarpBuffer spec;
    const VcRect vop{0, 0, 64, 48};
    int du[3] = {100, 0, 0}, dv[3] = {-100, 0, 0};  // beyond fcode 1's range [-32, 31]
    VcMotionVector mv;
    ASSERT_EQ(vcWarpInit(spec.bytes, du, dv, 0, 2, vcSpriteGmc, 1, 1, 0, &vop, &vop), 0);
    ASSERT_EQ(vcWarpGetMotionVector(1, 1, &mv, spec.bytes), 0);
    EXPECT_TRUE(mv.dx == 0 && mv.dy == 0);  // no points
    ASSERT_EQ(vcWarpInit(spec.bytes, du, dv, 1, 0, vcSpriteGmc, 1, 0, 0, &vop, &vop), 0);
    ASSERT_EQ(vcWarpGetMotionVector(0, 0, &mv, spec.bytes), 0);
    EXPECT_EQ(mv.dx, 31);
    EXPECT_EQ(mv.dy, -32);
}

TEST(Mpeg4Warp, StaticSpriteReadsTheSpriteRectangle) {
    // A sprite larger than the VOP and offset from it: without motion the VOP shows the sprite
    // samples at its own coordinates; beyond the sprite the edge repeats.
    Rng rng(0x6C6);
    Plane sprite(96, 64, 0, rng);
    const VcRect vop{0, 0, 32, 32}, spr{-16, -8, 96, 64};
    WarpBuffer spec;
    int du[1] = {-40}, dv[1] = {0};
    ASSERT_EQ(vcWarpInit(spec.bytes, du, dv, 1, 1, vcSpriteStatic, 1, 0, 0, &vop, &spr), 0);
    uint8_t out[32 * 32];
    ASSERT_EQ(vcWarpLuma(sprite.origin(), sprite.step, out, 32, &vop, spec.bytes), 0);
    for (int j = 0; j < 32; ++j)
        for (int i = 0; i < 32; ++i) {
            const int sx = std::max(i - 20 + 16, 0), sy = j + 8;
            ASSERT_EQ(out[j * 32 + i], sprite.at(sx, sy)) << i << "," << j;
        }
}

TEST(Mpeg4Warp, BrightnessChange) {
    uint8_t p[4 * 3] = {0, 1, 3, 100, 200, 255, 10, 20, 30, 40, 50, 60};
    uint8_t q[12];
    std::copy(p, p + 12, q);
    EXPECT_EQ(vcSpriteBrightness(q, 4, 4, 3, 0), 0);
    EXPECT_EQ(0, memcmp(p, q, 12));
    EXPECT_EQ(vcSpriteBrightness(q, 4, 3, 2, 50), 0);  // + 50 %, rounded; column 3 untouched
    const uint8_t half[12] = {0, 2, 5, 100, 255, 255, 15, 20, 30, 40, 50, 60};
    EXPECT_EQ(0, memcmp(q, half, 12));
    std::copy(p, p + 12, q);
    EXPECT_EQ(vcSpriteBrightness(q, 4, 4, 3, -112), 0);  // below -100: black
    for (uint8_t v : q) EXPECT_EQ(v, 0);
}

// The deringing filter as Annex F describes it, on a block with its one-sample surround.
void DeringFormula(const uint8_t* src, int step, int quant, int thr, uint8_t* out) {
    const int maxDiff = quant / 2;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int above = 0, below = 0, sum = 0;
            const int coef[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int v = src[(y + dy) * step + x + dx];
                    (v >= thr ? above : below) += 1;
                    sum += coef[dy + 1][dx + 1] * v;
                }
            const int rec = src[y * step + x];
            int flt = rec;
            if (above == 9 || below == 9) {
                flt = (sum + 8) / 16;
                if (flt - rec > maxDiff) flt = rec + maxDiff;
                if (rec - flt > maxDiff) flt = rec - maxDiff;
            }
            out[y * 8 + x] = uint8_t(flt);
        }
}

TEST(Mpeg4Dering, FilterFollowsTheAnnex) {
    Rng rng(0xD3);
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(trial);
        std::vector<uint8_t> src(16 * 16);
        // Mostly smooth blocks with an edge, so that both filtered and kept samples occur.
        const int edge = rng.Int(0, 9), lo = rng.Int(0, 120), hi = rng.Int(130, 255);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                src[y * 16 + x] =
                    uint8_t(std::clamp((x < edge ? lo : hi) + rng.Int(-6, 6), 0, 255));
        const int quant = 1 + trial % 31, thr = trial % 5 == 0 ? 0 : (lo + hi + 1) / 2;
        uint8_t want[64];
        DeringFormula(src.data() + 17, 16, quant, thr, want);
        ForAll(k::deringBlock8x8, [&](auto* fn) {
            uint8_t out[8 * 12];
            std::fill(out, out + sizeof out, 0xAB);
            fn(src.data() + 17, 16, out, 12, quant, thr);
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) ASSERT_EQ(out[y * 12 + x], want[y * 8 + x]);
                ASSERT_EQ(out[y * 12 + 8], 0xAB);
            }
            if (quant == 1) {
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        ASSERT_EQ(out[y * 12 + x], src[17 + y * 16 + x]);
                    }
            }
        });
    }
}

TEST(Mpeg4Dering, ThresholdsPerMacroblock) {
    // Block 0 holds a strong edge (0..200); block 1 is flat (range 10) and follows block 0's
    // threshold; block 2 has range 40 and keeps its own; block 3 is flat too.
    uint8_t mb[16 * 16];
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int block = (y / 8) * 2 + x / 8;
            const int v = block == 0   ? (x < 4 ? 0 : 200)
                          : block == 1 ? 100 + (x + y) % 11
                          : block == 2 ? 60 + (x * 5 + y) % 41
                                       : 30;
            mb[y * 16 + x] = uint8_t(v);
        }
    int thr[4];
    uint8_t minMax[8], copy[16 * 20];
    ASSERT_EQ(vcDeringThreshold(mb, 16, copy, 20, minMax, 4, thr), 0);
    const int wantThr[4] = {100, 100, 80, 100};  // block 2: (60 + 100 + 1) / 2
    EXPECT_TRUE(std::equal(thr, thr + 4, wantThr));
    EXPECT_TRUE(minMax[0] == 0 && minMax[1] == 200 && minMax[4] == 60 && minMax[5] == 100);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(copy[y * 20 + x], mb[y * 16 + x]);
    // Without a range of 64 anywhere every threshold is 0.
    for (uint8_t& v : mb) v = uint8_t(v / 4);
    ASSERT_EQ(vcDeringThreshold(mb, 16, nullptr, 0, nullptr, 4, thr), 0);
    for (int t : thr) EXPECT_EQ(t, 0);
    // One block alone.
    ASSERT_EQ(vcDeringThreshold(mb, 16, nullptr, 0, nullptr, 1, thr), 0);
    EXPECT_EQ(thr[0], 0);
    for (int y = 0; y < 8; ++y) mb[y * 16] = 255;
    ASSERT_EQ(vcDeringThreshold(mb, 16, nullptr, 0, nullptr, 1, thr), 0);
    EXPECT_EQ(thr[0], 128);
}

}  // namespace
