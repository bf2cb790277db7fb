#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "primitives/Colour.h"
#include "primitives/ColourKernels.h"
#include "primitives/Memory.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/KernelCheck.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ForAll;
using qm::test::ForEachVariant;
using qm::test::Rng;
using qm::test::SameBytes;

// A planar picture of random samples, chroma subsampled sx times across and sy times down
// (4:2:0 by default), each plane with its own step (padding filled with noise).
struct Yuv420 {
    int w, h;
    int step[3];
    ptrdiff_t wide[3];  // the steps as the implementations take them
    std::vector<uint8_t> plane[3];
    const uint8_t* ptr[3];
    uint8_t* mut[3];
    Yuv420(int width, int height, Rng& rng, int pad = 0, int sx = 2, int sy = 2)
        : w(width), h(height) {
        const int cw = (w + sx - 1) / sx, ch = (h + sy - 1) / sy;
        step[0] = w + pad;
        step[1] = step[2] = cw + pad;
        plane[0] = rng.Bytes(size_t(step[0]) * h);
        plane[1] = rng.Bytes(size_t(step[1]) * ch);
        plane[2] = rng.Bytes(size_t(step[2]) * ch);
        for (int i = 0; i < 3; ++i) ptr[i] = mut[i] = plane[i].data(), wide[i] = step[i];
    }
    void Fill(uint8_t y, uint8_t u, uint8_t v) {
        std::memset(plane[0].data(), y, plane[0].size());
        std::memset(plane[1].data(), u, plane[1].size());
        std::memset(plane[2].data(), v, plane[2].size());
    }
    uint8_t Y(int x, int yy) const { return plane[0][size_t(yy) * step[0] + x]; }
    uint8_t U(int x, int yy) const { return plane[1][size_t(yy / 2) * step[1] + x / 2]; }
    uint8_t V(int x, int yy) const { return plane[2][size_t(yy / 2) * step[2] + x / 2]; }
};

TEST(Colour, Yuv420ToRgbBlackWhiteAndAlphaInEveryVariant) {
    Rng rng(1);
    Yuv420 pic(2, 2, rng);
    for (auto [luma, want] : {std::pair<uint8_t, uint8_t>{16, 0}, {235, 255}}) {
        pic.Fill(luma, 128, 128);
        ForAll(sp::kernels::yuv420ToRgb24, [&](auto* f) {
            uint8_t out[12];
            std::memset(out, 0x55, sizeof out);
            f(pic.ptr, pic.wide, out, 6, {2, 2});
            for (uint8_t b : out) EXPECT_EQ(b, want);
        });
        ForAll(sp::kernels::yuv420ToArgb32, [&](auto* f) {
            uint8_t out[16];
            f(pic.ptr, pic.wide, out, 8, {2, 2}, 255);
            for (int p = 0; p < 4; ++p) {
                EXPECT_EQ(out[4 * p], want);
                EXPECT_EQ(out[4 * p + 2], want);
                EXPECT_EQ(out[4 * p + 3], 255);
            }
        });
    }
}

TEST(Colour, Yuv420ToRgbFollowsTheBt601Equations) {
    Rng rng(2);
    Yuv420 pic(38, 6, rng);
    std::vector<uint8_t> out(38 * 3 * 6);
    ASSERT_EQ(ccYuv420ToRgb24(pic.ptr, pic.step, out.data(), 38 * 3, {38, 6}), 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 38; ++x) {
            // Within rounding of the real-valued equations.
            const uint8_t* got = &out[size_t(y) * 38 * 3 + 3 * x];
            const double Y = 1.164 * (pic.Y(x, y) - 16), U = pic.U(x, y) - 128.0,
                         V = pic.V(x, y) - 128.0;
            const double rgb[3] = {Y + 2.017 * U, Y - 0.392 * U - 0.813 * V, Y + 1.596 * V};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(got[c], std::clamp(rgb[c], 0.0, 255.0), 1.6)
                    << x << "," << y << " " << c;
        }
}

TEST(Colour, OddSizesToRgbWarnAndLeaveTheLastColumnAndRow) {
    Rng rng(3);
    Yuv420 pic(5, 3, rng);
    ForAll(sp::kernels::yuv420ToRgb24, [&](auto* f) {
        std::vector<uint8_t> out(15 * 3, 0xEE);
        f(pic.ptr, pic.wide, out.data(), 15, {5, 3});
        for (size_t i = 0; i < out.size(); ++i)  // column 4 is bytes 12-14, row 2 from 30 on
            EXPECT_TRUE((i % 15 < 12 && i < 30) || out[i] == 0xEE) << i;
        // H below 2 converts nothing.
        std::vector<uint8_t> one(15, 0xEE);
        f(pic.ptr, pic.wide, one.data(), 15, {5, 1});
        EXPECT_EQ(std::count(one.begin(), one.end(), 0xEE), 15);
    });
    std::vector<uint8_t> rgb(15 * 3);
    EXPECT_EQ(ccYuv420ToRgb24(pic.ptr, pic.step, rgb.data(), 15, {5, 3}), 35);
    EXPECT_EQ(ccYuv420ToRgb24(pic.ptr, pic.step, rgb.data(), 15, {4, 1}), 35);
    std::vector<uint8_t> argb(5 * 4 * 2, 0xEE);
    EXPECT_EQ(ccYuv420ToArgb32(pic.ptr, pic.step, argb.data(), 20, {5, 2}, 255), 35);
    EXPECT_EQ(argb[16], 0xEE);
    std::vector<uint8_t> rgb565(5 * 2 * 2, 0xEE);
    EXPECT_EQ(ccYuv420ToRgb565(pic.ptr, pic.step, rgb565.data(), 10, {5, 2}), 35);
    EXPECT_EQ(rgb565[9], 0xEE);
}

TEST(Colour, Yuv420ToYuy2UyvyNv12Layouts) {
    Rng rng(4);
    Yuv420 pic(4, 2, rng);
    ForAll(sp::kernels::yuv420ToYuy2, [&](auto* f) {
        uint8_t out[16];
        f(pic.ptr, pic.wide, out, 8, {4, 2});
        for (int y = 0; y < 2; ++y) {
            const uint8_t want[8] = {pic.Y(0, y), pic.U(0, 0), pic.Y(1, y), pic.V(0, 0),
                                     pic.Y(2, y), pic.U(2, 0), pic.Y(3, y), pic.V(2, 0)};
            EXPECT_TRUE(SameBytes(out + 8 * y, want, 8)) << "row " << y;
        }
    });
    ForAll(sp::kernels::yuv420ToUyvy, [&](auto* f) {
        uint8_t out[16];
        f(pic.ptr, pic.wide, out, 8, {4, 2});
        const uint8_t want[4] = {pic.U(0, 1), pic.Y(0, 1), pic.V(0, 1), pic.Y(1, 1)};
        EXPECT_TRUE(SameBytes(out + 8, want, 4));
    });
    // 3x3: converts 2x2, leaves the rest, returns 0.
    Yuv420 odd(3, 3, rng);
    std::vector<uint8_t> entryOut(8 * 3);
    EXPECT_EQ(ccYuv420ToYuy2(odd.ptr, odd.step, entryOut.data(), 8, {3, 3}), 0);
    ForAll(sp::kernels::yuv420ToYuy2, [&](auto* f) {
        std::vector<uint8_t> out(8 * 3, 0xEE);
        f(odd.ptr, odd.wide, out.data(), 8, {3, 3});
        const uint8_t row1[4] = {odd.Y(0, 1), odd.U(0, 0), odd.Y(1, 1), odd.V(0, 0)};
        EXPECT_TRUE(SameBytes(out.data() + 8, row1, 4));
        for (int i = 4; i < 8; ++i) EXPECT_EQ(out[i], 0xEE);
        for (int i = 16; i < 24; ++i) EXPECT_EQ(out[i], 0xEE);
    });
    ForAll(sp::kernels::yuv420ToNv12, [&](auto* f) {
        std::vector<uint8_t> y(3 * 3, 0xEE), uv(4 * 2, 0xEE);
        f(odd.ptr, odd.wide, y.data(), 3, uv.data(), 4, {3, 3});
        EXPECT_EQ(y[4], odd.Y(1, 1));
        EXPECT_EQ(y[2], 0xEE);
        EXPECT_EQ(y[6], 0xEE);
        EXPECT_EQ(uv[0], odd.U(0, 0));
        EXPECT_EQ(uv[1], odd.V(0, 0));
        EXPECT_EQ(uv[2], 0xEE);
        EXPECT_EQ(uv[4], 0xEE);
    });
}

// Every SIMD variant against the plain version on random pictures of random (also odd) sizes
// and steps, including larger aligned ones.
TEST(Colour, Yuv420VariantsMatchPlain) {
    Rng rng(5);
    for (int trial = 0; trial < 40; ++trial) {
        const bool big = trial >= 36;
        const int w = big ? 720 + 2 * rng.Int(0, 20) : rng.Int(1, 130);
        const int h = big ? 576 : rng.Int(1, 9);
        // Aligned steps for the large pictures so that the streaming path is taken.
        const int pad = big ? (16 - w % 16) % 16 + 16 : rng.Int(0, 9);
        SCOPED_TRACE(testing::Message() << w << "x" << h << " pad " << pad);
        Yuv420 pic(w, h, rng, pad);
        if (big) {
            ASSERT_EQ(pic.step[0] % 16, 0);
        }
        const SpSize size{w, h};
        // Two aligned destinations (spAlloc8u) per call; all bytes must match.
        auto compare = [&](const auto& kernel, int stride, auto call) {
            const size_t n = size_t(stride) * h + 64;
            ForEachVariant(kernel, [&](auto* fn, auto* ref) {
                uint8_t* out[2][2];
                for (auto& o : out)
                    for (uint8_t*& p : o) std::memset(p = spAlloc8u(int(n)), 0x33, n);
                call(fn, out[0][0], out[0][1]);
                call(ref, out[1][0], out[1][1]);
                EXPECT_TRUE(SameBytes(out[0][0], out[1][0], n));
                EXPECT_TRUE(SameBytes(out[0][1], out[1][1], n));
                for (auto& o : out)
                    for (uint8_t* p : o) spFree(p);
            });
        };
        const std::pair<const sp::Kernel<sp::kernels::Planar3ToPackedFn>*, int> packed[] = {
            {&sp::kernels::yuv420ToYuy2, 2},
            {&sp::kernels::yuv420ToUyvy, 2},
            {&sp::kernels::yuv420ToRgb24, 3}};
        for (auto [kernel, bytesPerPixel] : packed) {
            const int stride = big ? ((w * bytesPerPixel + 31) & ~31) : w * bytesPerPixel + 3;
            compare(*kernel, stride,
                    [&](auto* f, uint8_t* d, uint8_t*) { f(pic.ptr, pic.wide, d, stride, size); });
        }
        const uint8_t alpha = uint8_t(rng.Int(0, 255));
        compare(sp::kernels::yuv420ToArgb32, w * 4 + 4, [&](auto* f, uint8_t* d, uint8_t*) {
            f(pic.ptr, pic.wide, d, w * 4 + 4, size, alpha);
        });
        compare(sp::kernels::yuv420ToNv12, w + 5, [&](auto* f, uint8_t* y, uint8_t* uv) {
            f(pic.ptr, pic.wide, y, w + 5, uv, w + 5, size);
        });
    }
}

// A picture above the streaming threshold, aligned for 32-byte stores, with an odd number of
// pixel pairs: the cache-bypassing path of every packed 4:2:2 variant writes the plain bytes.
TEST(Colour, PackedStreamingStoresMatchPlain) {
    constexpr int w = 2562, h = 2464, lumaStep = 2592, chromaStep = 1312, dstStep = 5184;
    ASSERT_GT(int64_t(h) * (lumaStep + 2 * chromaStep + dstStep),
              sp::kernels::kYuy2StreamingThreshold);
    Rng rng(11);
    const int sizes[3] = {lumaStep * h, chromaStep * h / 2, chromaStep * h / 2};
    uint8_t* planes[3];
    for (int i = 0; i < 3; ++i) {
        planes[i] = spAlloc8u(sizes[i]);
        const std::vector<uint8_t> bytes = rng.Bytes(size_t(sizes[i]));
        std::memcpy(planes[i], bytes.data(), bytes.size());
    }
    const uint8_t* const src[3] = {planes[0], planes[1], planes[2]};
    const ptrdiff_t steps[3] = {lumaStep, chromaStep, chromaStep};
    const size_t n = size_t(dstStep) * h;
    for (const auto* kernel : {&sp::kernels::yuv420ToYuy2, &sp::kernels::yuv420ToUyvy}) {
        ForEachVariant(*kernel, [&](auto* fn, auto* ref) {
            uint8_t* out[2] = {spAlloc8u(int(n)), spAlloc8u(int(n))};
            for (uint8_t* p : out) std::memset(p, 0x33, n);
            fn(src, steps, out[0], dstStep, {w, h});
            ref(src, steps, out[1], dstStep, {w, h});
            EXPECT_TRUE(SameBytes(out[0], out[1], n));
            for (uint8_t* p : out) spFree(p);
        });
    }
    for (uint8_t* p : planes) spFree(p);
}

// Different routes to RGB must agree exactly: NV12, YUY2 and UYVY carry the same samples.
TEST(Colour, PackedAndSemiPlanarSourcesAgreeWithPlanar) {
    Rng rng(6);
    const int w = 34, h = 6;
    Yuv420 pic(w, h, rng);
    std::vector<uint8_t> want(size_t(w) * 3 * h), got(want.size());
    ASSERT_EQ(ccYuv420ToRgb24(pic.ptr, pic.step, want.data(), w * 3, {w, h}), 0);

    std::vector<uint8_t> ny(size_t(w) * h), nuv(size_t(w) * h / 2);
    ASSERT_EQ(ccYuv420ToNv12(pic.ptr, pic.step, ny.data(), w, nuv.data(), w, {w, h}), 0);
    ASSERT_EQ(ccNv12ToRgb24(ny.data(), w, nuv.data(), w, got.data(), w * 3, {w, h}), 0);
    EXPECT_TRUE(SameBytes(got.data(), want.data(), want.size()));

    std::vector<uint8_t> yuy2(size_t(w) * 2 * h), uyvy(yuy2.size()), back(yuy2.size());
    ASSERT_EQ(ccYuv420ToYuy2(pic.ptr, pic.step, yuy2.data(), w * 2, {w, h}), 0);
    ASSERT_EQ(ccYuy2ToRgb24(yuy2.data(), w * 2, got.data(), w * 3, {w, h}), 0);
    EXPECT_TRUE(SameBytes(got.data(), want.data(), want.size()));
    ASSERT_EQ(ccYuy2ToUyvy(yuy2.data(), w * 2, uyvy.data(), w * 2, {w, h}), 0);
    ASSERT_EQ(ccUyvyToRgb24(uyvy.data(), w * 2, got.data(), w * 3, {w, h}), 0);
    EXPECT_TRUE(SameBytes(got.data(), want.data(), want.size()));
    ASSERT_EQ(ccUyvyToYuy2(uyvy.data(), w * 2, back.data(), w * 2, {w, h}), 0);
    EXPECT_TRUE(SameBytes(back.data(), yuy2.data(), yuy2.size()));

    // ARGB32 carries the same colours as RGB24, with the alpha asked for.
    std::vector<uint8_t> argb(size_t(w) * 4 * h);
    ASSERT_EQ(ccYuy2ToArgb32(yuy2.data(), w * 2, argb.data(), w * 4, {w, h}, 200), 0);
    ASSERT_EQ(ccArgb32ToRgb24(argb.data(), w * 4, got.data(), w * 3, {w, h}), 0);
    EXPECT_TRUE(SameBytes(got.data(), want.data(), want.size()));
    EXPECT_EQ(argb[3], 200);
    ASSERT_EQ(ccNv12ToArgb32(ny.data(), w, nuv.data(), w, argb.data(), w * 4, {w, h}, 7), 0);
    ASSERT_EQ(ccArgb32ToRgb24(argb.data(), w * 4, got.data(), w * 3, {w, h}), 0);
    EXPECT_TRUE(SameBytes(got.data(), want.data(), want.size()));
}

// YUV layouts that keep the 4:2:0 samples come back unchanged.
TEST(Colour, YuvRoundTripsAreExact) {
    Rng rng(7);
    for (SpSize size : {SpSize{16, 8}, SpSize{7, 5}, SpSize{2, 2}}) {
        const int w = size.width, h = size.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        Yuv420 pic(w, h, rng), back(w, h, rng), p422(w, h, rng, 0, 2, 1);
        auto expectSame = [&] {
            for (int c = 0; c < 3; ++c) EXPECT_EQ(back.plane[c], pic.plane[c]) << "plane " << c;
            back.Fill(0, 0, 0);  // the next route must write every sample again
        };
        // 4:2:2 planar: chroma rows repeated, then averaged back.
        ASSERT_EQ(ccYuv420ToYuv422(pic.ptr, pic.step, p422.mut, p422.step, size), 0);
        ASSERT_EQ(ccYuv422ToYuv420(p422.ptr, p422.step, back.mut, back.step, size), 0);
        expectSame();
        // Packed 4:2:2 through the planar 4:2:2 path and back through YUY2.
        std::vector<uint8_t> yuy2(size_t(cw) * 4 * h), uyvy(yuy2.size());
        ASSERT_EQ(ccYuv422ToYuy2(p422.ptr, p422.step, yuy2.data(), cw * 4, size), 0);
        ASSERT_EQ(ccYuy2ToYuv420(yuy2.data(), cw * 4, back.mut, back.step, size), 0);
        expectSame();
        ASSERT_EQ(ccYuy2ToYuv422(yuy2.data(), cw * 4, p422.mut, p422.step, size), 0);
        ASSERT_EQ(ccYuv422ToYuv420(p422.ptr, p422.step, back.mut, back.step, size), 0);
        expectSame();
        // NV12.
        std::vector<uint8_t> ny(size_t(w) * h), nuv(size_t(cw) * 2 * ch);
        ASSERT_EQ(ccYuy2ToNv12(yuy2.data(), cw * 4, ny.data(), w, nuv.data(), cw * 2, size), 0);
        ASSERT_EQ(ccNv12ToYuv420(ny.data(), w, nuv.data(), cw * 2, back.mut, back.step, size), 0);
        expectSame();
        // UYVY.
        ASSERT_EQ(ccNv12ToUyvy(ny.data(), w, nuv.data(), cw * 2, uyvy.data(), cw * 4, size), 0);
        ASSERT_EQ(ccUyvyToYuv420(uyvy.data(), cw * 4, back.mut, back.step, size), 0);
        expectSame();
        ASSERT_EQ(ccUyvyToNv12(uyvy.data(), cw * 4, ny.data(), w, nuv.data(), cw * 2, size), 0);
        ASSERT_EQ(ccNv12ToYuy2(ny.data(), w, nuv.data(), cw * 2, yuy2.data(), cw * 4, size), 0);
        ASSERT_EQ(ccUyvyToYuv422(uyvy.data(), cw * 4, p422.mut, p422.step, size), 0);
        ASSERT_EQ(ccYuv422ToYuv420(p422.ptr, p422.step, back.mut, back.step, size), 0);
        expectSame();
    }
}

// 4:1:1 layouts average pairs of 4:2:0 chroma samples: equal pairs survive exactly.
TEST(Colour, FourOneOneLayoutsKeepLumaAndAverageChroma) {
    Rng rng(8);
    const int w = 16, h = 4;
    Yuv420 pic(w, h, rng), back(w, h, rng), p411(w, h, rng, 0, 4, 1);
    for (int c = 1; c < 3; ++c)
        for (int x = 0; x < 16; x += 2) pic.plane[c][x + 1] = pic.plane[c][x];
    std::vector<uint8_t> y41p(size_t(12) * 2 * h);
    ASSERT_EQ(ccYuv420ToY41p(pic.ptr, pic.step, y41p.data(), 24, {w, h}), 0);
    EXPECT_EQ(y41p[0], pic.U(0, 0));
    EXPECT_EQ(y41p[11], pic.Y(7, 0));
    ASSERT_EQ(ccY41pToYuv420(y41p.data(), 24, back.mut, back.step, {w, h}), 0);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(back.plane[c], pic.plane[c]) << "plane " << c;
    back.Fill(0, 0, 0);
    ASSERT_EQ(ccYuv420ToYuv411(pic.ptr, pic.step, p411.mut, p411.step, {w, h}), 0);
    ASSERT_EQ(ccYuv411ToYuv420(p411.ptr, p411.step, back.mut, back.step, {w, h}), 0);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(back.plane[c], pic.plane[c]) << "plane " << c;
}

// RGB -> YUV -> RGB on pictures whose colour is constant over each 2x2 block, so that the
// chroma subsampling loses nothing: only the rounding of the two conversions remains.
TEST(Colour, RgbRoundTripsStayWithinRounding) {
    Rng rng(9);
    const int w = 12, h = 6;
    std::vector<uint8_t> rgb(size_t(w) * 3 * h);
    for (int y = 0; y < h; y += 2)
        for (int x = 0; x < w; x += 2) {
            const uint8_t c[3] = {uint8_t(rng.Int(20, 235)), uint8_t(rng.Int(20, 235)),
                                  uint8_t(rng.Int(20, 235))};
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i)
                    std::memcpy(&rgb[size_t(y + j) * w * 3 + 3 * (x + i)], c, 3);
        }
    auto near = [&](const std::vector<uint8_t>& got, int tolerance) {
        int worst = 0;
        for (size_t i = 0; i < rgb.size(); ++i) worst = std::max(worst, std::abs(got[i] - rgb[i]));
        EXPECT_LE(worst, tolerance);
    };
    std::vector<uint8_t> got(rgb.size());
    Yuv420 yuv(w, h, rng);
    ASSERT_EQ(ccRgb24ToYuv420(rgb.data(), w * 3, yuv.mut, yuv.step, {w, h}), 0);
    ASSERT_EQ(ccYuv420ToRgb24(yuv.ptr, yuv.step, got.data(), w * 3, {w, h}), 0);
    near(got, 3);
    std::vector<uint8_t> yuy2(size_t(w) * 2 * h);
    ASSERT_EQ(ccRgb24ToYuy2(rgb.data(), w * 3, yuy2.data(), w * 2, {w, h}), 0);
    ASSERT_EQ(ccYuy2ToRgb24(yuy2.data(), w * 2, got.data(), w * 3, {w, h}), 0);
    near(got, 3);
    std::vector<uint8_t> argb(size_t(w) * 4 * h), argb2(argb.size());
    ASSERT_EQ(ccRgb24ToArgb32(rgb.data(), w * 3, argb.data(), w * 4, {w, h}, 9), 0);
    EXPECT_EQ(argb[3], 9);
    ASSERT_EQ(ccArgb32ToArgb32(argb.data(), w * 4, argb2.data(), w * 4, {w, h}, 255), 0);
    EXPECT_EQ(argb2[3], 255);
    ASSERT_EQ(ccArgb32ToYuy2(argb2.data(), w * 4, yuy2.data(), w * 2, {w, h}), 0);
    ASSERT_EQ(ccYuy2ToRgb24(yuy2.data(), w * 2, got.data(), w * 3, {w, h}), 0);
    near(got, 3);
    // 16-bit packings lose the low bits of each channel.
    std::vector<uint8_t> w16(size_t(w) * 2 * h);
    ASSERT_EQ(ccYuy2ToRgb565(yuy2.data(), w * 2, w16.data(), w * 2, {w, h}), 0);
    ASSERT_EQ(ccRgb565ToRgb24(w16.data(), w * 2, got.data(), w * 3, {w, h}), 0);
    near(got, 3 + 8);
    ASSERT_EQ(ccRgb565ToYuv420(w16.data(), w * 2, yuv.mut, yuv.step, {w, h}), 0);
    ASSERT_EQ(ccRgb565ToYuy2(w16.data(), w * 2, yuy2.data(), w * 2, {w, h}), 0);
    ASSERT_EQ(ccYuy2ToRgb555(yuy2.data(), w * 2, w16.data(), w * 2, {w, h}), 0);
    ASSERT_EQ(ccRgb555ToRgb24(w16.data(), w * 2, got.data(), w * 3, {w, h}), 0);
    near(got, 3 + 16);
    ASSERT_EQ(ccRgb555ToYuy2(w16.data(), w * 2, yuy2.data(), w * 2, {w, h}), 0);
    ASSERT_EQ(ccRgb555ToYuv420(w16.data(), w * 2, yuv.mut, yuv.step, {w, h}), 0);
    ASSERT_EQ(ccYuv420ToRgb24(yuv.ptr, yuv.step, got.data(), w * 3, {w, h}), 0);
    near(got, 3 + 16);
}

TEST(Colour, SixteenBitPackings) {
    Rng rng(10);
    Yuv420 pic(2, 2, rng);
    pic.Fill(235, 128, 128);  // white
    uint8_t out[8];
    ASSERT_EQ(ccYuv420ToRgb565(pic.ptr, pic.step, out, 4, {2, 2}), 0);
    EXPECT_EQ(out[0] | out[1] << 8, 0xFFFF);
    ASSERT_EQ(ccYuv420ToRgb555(pic.ptr, pic.step, out, 4, {2, 2}), 0);
    EXPECT_EQ(out[0] | out[1] << 8, 0x7FFF);
    ASSERT_EQ(ccYuv420ToRgb16Other(pic.ptr, pic.step, out, 4, {2, 2}), 0);
    EXPECT_EQ(out[0] | out[1] << 8, 0x0FFF);
    // Pure red through YUY2: (R, G, B) = (255, 0, 0) lands in the top bits.
    const uint8_t red[3] = {0, 0, 255};  // B, G, R
    uint8_t yuy2[4], w16[4];
    uint8_t rgb2[6];
    std::memcpy(rgb2, red, 3);
    std::memcpy(rgb2 + 3, red, 3);
    ASSERT_EQ(ccRgb24ToYuy2(rgb2, 6, yuy2, 4, {2, 1}), 0);
    ASSERT_EQ(ccYuy2ToRgb565(yuy2, 4, w16, 4, {2, 1}), 0);
    const int v565 = w16[0] | w16[1] << 8;
    EXPECT_GE(v565 >> 11, 30);
    EXPECT_LE((v565 >> 5) & 63, 2);
    ASSERT_EQ(ccYuy2ToRgb16Other(yuy2, 4, w16, 4, {2, 1}), 0);
    EXPECT_EQ((w16[0] | w16[1] << 8) >> 8, 0xF);
}

TEST(Colour, GreyAndYvu9Sources) {
    const uint8_t grey[4] = {16, 235, 126, 16};
    uint8_t rgb[12], yuy2[8], argb[16], back[4];
    ASSERT_EQ(ccGray8ToRgb24(grey, 4, rgb, 12, {4, 1}), 0);
    EXPECT_EQ(rgb[0], 0);
    EXPECT_EQ(rgb[3], 255);
    EXPECT_EQ(rgb[6], rgb[8]);  // neutral chroma: grey
    ASSERT_EQ(ccGray8ToArgb32(grey, 4, argb, 16, {4, 1}, 255), 0);
    EXPECT_EQ(argb[7], 255);
    ASSERT_EQ(ccGray8ToYuy2(grey, 4, yuy2, 8, {4, 1}), 0);
    EXPECT_EQ(yuy2[1], 128);
    ASSERT_EQ(ccYuy2ToGray8(yuy2, 8, back, 4, {4, 1}), 0);
    EXPECT_TRUE(SameBytes(back, grey, 4));

    // YVU9: one chroma sample per 4x4 block.
    Rng rng(11);
    const int w = 8, h = 4;
    std::vector<uint8_t> y = rng.Bytes(size_t(w) * h), u = rng.Bytes(2), v = rng.Bytes(2);
    const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
    const int steps[3] = {w, 2, 2};
    std::vector<uint8_t> packed(size_t(w) * 2 * h), uyvy(packed.size());
    ASSERT_EQ(ccYvu9ToYuy2(planes, steps, packed.data(), w * 2, {w, h}), 0);
    ASSERT_EQ(ccYvu9ToUyvy(planes, steps, uyvy.data(), w * 2, {w, h}), 0);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; x += 2) {
            const uint8_t* p = &packed[size_t(row) * w * 2 + 2 * x];
            EXPECT_EQ(p[0], y[size_t(row) * w + x]);
            EXPECT_EQ(p[1], u[x / 4]);
            EXPECT_EQ(p[3], v[x / 4]);
            EXPECT_EQ(uyvy[size_t(row) * w * 2 + 2 * x], u[x / 4]);
        }
    std::vector<uint8_t> a(size_t(w) * 3 * h), b(a.size()), c(size_t(w) * 4 * h);
    ASSERT_EQ(ccYvu9ToRgb24(planes, steps, a.data(), w * 3, {w, h}), 0);
    ASSERT_EQ(ccYuy2ToRgb24(packed.data(), w * 2, b.data(), w * 3, {w, h}), 0);
    EXPECT_TRUE(SameBytes(a.data(), b.data(), a.size()));
    ASSERT_EQ(ccYvu9ToArgb32(planes, steps, c.data(), w * 4, {w, h}, 255), 0);
    ASSERT_EQ(ccArgb32ToRgb24(c.data(), w * 4, b.data(), w * 3, {w, h}), 0);
    EXPECT_TRUE(SameBytes(a.data(), b.data(), a.size()));
}

TEST(Colour, BayerDemosaicsFlatColoursAndWritesBottomUp) {
    // A flat colour (R 200, G 100, B 50) in each mosaic gives that colour everywhere.
    const int w = 6, h = 4;
    const uint8_t rgbValue[3] = {200, 100, 50};
    const int cells[4][4] = {{0, 1, 1, 2}, {1, 2, 0, 1}, {1, 0, 2, 1}, {2, 1, 1, 0}};
    for (int layout = 0; layout < 4; ++layout) {
        std::vector<uint8_t> mosaic(size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                mosaic[size_t(y) * w + x] = rgbValue[cells[layout][(y & 1) * 2 + (x & 1)]];
        std::vector<uint8_t> out(size_t(w) * 3 * h, 0);
        // Bottom-up: the first source row lands in the last destination row.
        ASSERT_EQ(
            ccBayerToRgb24(mosaic.data(), w, out.data() + (h - 1) * w * 3, -w * 3, {w, h}, layout),
            0);
        for (int i = 0; i < w * h; ++i) {
            EXPECT_EQ(out[3 * i], 50) << layout << " " << i;
            EXPECT_EQ(out[3 * i + 1], 100);
            EXPECT_EQ(out[3 * i + 2], 200);
        }
    }
    // A lone bright red sample in an RG mosaic: its own position keeps it, the others interpolate.
    std::vector<uint8_t> mosaic(size_t(w) * h, 0), out(size_t(w) * 3 * h);
    mosaic[2 * w + 2] = 255;  // red site (even row, even column)
    ASSERT_EQ(ccBayerToRgb24(mosaic.data(), w, out.data(), w * 3, {w, h}, ccBayerRG), 0);
    EXPECT_EQ(out[(2 * w + 2) * 3 + 2], 255);
    EXPECT_EQ(out[(2 * w + 3) * 3 + 2], 128);  // green site between two red sites
    EXPECT_EQ(out[(1 * w + 1) * 3 + 2], 64);   // blue site among four red sites
}

TEST(Colour, LumaRangeStretch) {
    uint8_t in[256], out[256];
    for (int i = 0; i < 256; ++i) in[i] = uint8_t(i);
    for (int k = 0; k < 8; ++k) {
        ASSERT_EQ(ccLumaRangeStretch(in, 256, out, 256, {256, 1}, k), 0);
        for (int x = 0; x < 256; ++x) {
            const int want = std::clamp(((x * (k + 9) - 128 * k - 1148) >> 3) + 128, 0, 255);
            ASSERT_EQ(out[x], want) << "k " << k << " x " << x;
        }
    }
}

}  // namespace
