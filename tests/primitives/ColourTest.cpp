#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "primitives/Colour.h"
#include "primitives/ColourKernels.h"
#include "primitives/Memory.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ForEachVariant;
using qm::test::Rng;
using qm::test::SameBytes;
namespace k = sp::kernels;

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
        for (int i = 0; i < 3; ++i) {
            wide[i] = step[i] = (i ? cw : w) + pad;
            plane[i] = rng.Bytes(size_t(step[i]) * (i ? ch : h));
            ptr[i] = mut[i] = plane[i].data();
        }
    }
    void Fill(uint8_t y, uint8_t u, uint8_t v) {
        for (int i = 0; i < 3; ++i)
            std::memset(mut[i], i == 0 ? y : i == 1 ? u : v, plane[i].size());
    }
    uint8_t Y(int x, int yy) const { return plane[0][size_t(yy) * step[0] + x]; }
    uint8_t U(int x, int yy) const { return plane[1][size_t(yy / 2) * step[1] + x / 2]; }
    uint8_t V(int x, int yy) const { return plane[2][size_t(yy / 2) * step[2] + x / 2]; }
};

TEST(Colour, Yuv420ToRgbFollowsTheBt601Equations) {
    Rng rng(2);
    Yuv420 pic(38, 6, rng);
    std::vector<uint8_t> out(38 * 3 * 6);
    ASSERT_EQ(ccYuv420ToRgb24(pic.ptr, pic.step, out.data(), 38 * 3, {38, 6}), 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 38; ++x) {
            const uint8_t* got = &out[size_t(y) * 38 * 3 + 3 * x];  // B, G, R
            const double Y = 1.164 * (pic.Y(x, y) - 16), U = pic.U(x, y) - 128.0,
                         V = pic.V(x, y) - 128.0;
            const double rgb[3] = {Y + 2.017 * U, Y - 0.392 * U - 0.813 * V, Y + 1.596 * V};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(got[c], std::clamp(rgb[c], 0.0, 255.0), 1.6) << x << "," << y;
        }
    // Video black and white are exact, with the alpha asked for.
    for (auto [luma, want] : {std::pair<uint8_t, uint8_t>{16, 0}, {235, 255}}) {
        pic.Fill(luma, 128, 128);
        uint8_t rgb[12], argb[16];
        ASSERT_EQ(ccYuv420ToRgb24(pic.ptr, pic.step, rgb, 6, {2, 2}), 0);
        ASSERT_EQ(ccYuv420ToArgb32(pic.ptr, pic.step, argb, 8, {2, 2}, 77), 0);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(rgb[i], want);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(argb[i], i % 4 == 3 ? 77 : want);
    }
}

TEST(Colour, OddSizesWarnAndLeaveTheLastColumnAndRow) {
    Rng rng(3);
    Yuv420 pic(5, 3, rng);
    std::vector<uint8_t> rgb(15 * 3, 0xEE);
    EXPECT_EQ(ccYuv420ToRgb24(pic.ptr, pic.step, rgb.data(), 15, {5, 3}), 35);
    for (size_t i = 0; i < rgb.size(); ++i)  // column 4 is bytes 12-14, row 2 from 30 on
        EXPECT_TRUE((i % 15 < 12 && i < 30) || rgb[i] == 0xEE) << i;
    std::vector<uint8_t> one(15, 0xEE);  // a single row converts nothing
    EXPECT_EQ(ccYuv420ToRgb24(pic.ptr, pic.step, one.data(), 15, {4, 1}), 35);
    EXPECT_EQ(std::count(one.begin(), one.end(), 0xEE), 15);
    std::vector<uint8_t> argb(5 * 4 * 2, 0xEE), rgb565(5 * 2 * 2, 0xEE);
    EXPECT_EQ(ccYuv420ToArgb32(pic.ptr, pic.step, argb.data(), 20, {5, 2}, 255), 35);
    EXPECT_EQ(argb[16], 0xEE);
    EXPECT_EQ(ccYuv420ToRgb565(pic.ptr, pic.step, rgb565.data(), 10, {5, 2}), 35);
    EXPECT_EQ(rgb565[9], 0xEE);
    // Packed and semi-planar outputs convert the even part silently.
    Yuv420 odd(3, 3, rng);
    std::vector<uint8_t> yuy2(8 * 3, 0xEE), y(3 * 3, 0xEE), uv(4 * 2, 0xEE);
    EXPECT_EQ(ccYuv420ToYuy2(odd.ptr, odd.step, yuy2.data(), 8, {3, 3}), 0);
    const uint8_t row1[8] = {odd.Y(0, 1), odd.U(0, 0), odd.Y(1, 1), odd.V(0, 0),
                             0xEE,        0xEE,        0xEE,        0xEE};
    EXPECT_TRUE(SameBytes(yuy2.data() + 8, row1, 8));
    EXPECT_EQ(std::count(yuy2.begin() + 16, yuy2.end(), 0xEE), 8);
    EXPECT_EQ(ccYuv420ToNv12(odd.ptr, odd.step, y.data(), 3, uv.data(), 4, {3, 3}), 0);
    const uint8_t wantY[9] = {odd.Y(0, 0), odd.Y(1, 0), 0xEE, odd.Y(0, 1), odd.Y(1, 1),
                              0xEE,        0xEE,        0xEE, 0xEE};
    const uint8_t wantUv[8] = {odd.U(0, 0), odd.V(0, 0), 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_TRUE(SameBytes(y.data(), wantY, 9));
    EXPECT_TRUE(SameBytes(uv.data(), wantUv, 8));
}

TEST(Colour, Yuv420ToYuy2AndUyvyLayouts) {
    Rng rng(4);
    Yuv420 pic(4, 2, rng);
    uint8_t yuy2[16], uyvy[16];
    ASSERT_EQ(ccYuv420ToYuy2(pic.ptr, pic.step, yuy2, 8, {4, 2}), 0);
    ASSERT_EQ(ccYuv420ToUyvy(pic.ptr, pic.step, uyvy, 8, {4, 2}), 0);
    for (int y = 0; y < 2; ++y) {
        const uint8_t want[8] = {pic.Y(0, y), pic.U(0, 0), pic.Y(1, y), pic.V(0, 0),
                                 pic.Y(2, y), pic.U(2, 0), pic.Y(3, y), pic.V(2, 0)};
        const uint8_t swapped[8] = {want[1], want[0], want[3], want[2],
                                    want[5], want[4], want[7], want[6]};
        EXPECT_TRUE(SameBytes(yuy2 + 8 * y, want, 8)) << "row " << y;
        EXPECT_TRUE(SameBytes(uyvy + 8 * y, swapped, 8)) << "row " << y;
    }
}

// Calls `call(fn, destination, second destination)` for every variant and the plain version on
// aligned destinations of n bytes each (spAlloc8u); all bytes must match.
template <class Fn, class Call>
void ExpectSameOutputs(const sp::Kernel<Fn>& kernel, size_t n, Call call) {
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
}

// Random pictures of random (also odd) sizes and steps, larger aligned ones that take the
// streaming path, and a picture above the packed formats' cache-bypassing threshold with an odd
// number of pixel pairs.
TEST(Colour, Yuv420VariantsMatchPlain) {
    Rng rng(5);
    for (int trial = 0; trial < 41; ++trial) {
        const bool big = trial >= 36, huge = trial == 40;
        const int w = huge ? 2562 : big ? 720 + 2 * rng.Int(0, 20) : rng.Int(1, 130);
        const int h = huge ? 2464 : big ? 576 : rng.Int(1, 9);
        const int pad = big ? (32 - w % 32) % 32 + 32 : rng.Int(0, 9);
        SCOPED_TRACE(testing::Message() << w << "x" << h << " pad " << pad);
        Yuv420 pic(w, h, rng, pad);
        const SpSize size{w, h};
        for (auto [kernel, bytes] :
             {std::pair{&k::yuv420ToYuy2, 2}, {&k::yuv420ToUyvy, 2}, {&k::yuv420ToRgb24, 3}}) {
            if (huge && bytes == 3) continue;
            const int stride = big ? ((w * bytes + 31) & ~31) : w * bytes + 3;
            ExpectSameOutputs(*kernel, size_t(stride) * h, [&](auto* f, uint8_t* d, uint8_t*) {
                f(pic.ptr, pic.wide, d, stride, size);
            });
        }
        if (huge) {
            ASSERT_GT(int64_t(h) * (pic.step[0] + 2 * pic.step[1] + ((2 * w + 31) & ~31)),
                      k::kYuy2StreamingThreshold);
            break;
        }
        const uint8_t alpha = uint8_t(rng.Int(0, 255));
        ExpectSameOutputs(k::yuv420ToArgb32, size_t(w * 4 + 4) * h,
                          [&](auto* f, uint8_t* d, uint8_t*) {
                              f(pic.ptr, pic.wide, d, w * 4 + 4, size, alpha);
                          });
        ExpectSameOutputs(k::yuv420ToNv12, size_t(w + 5) * h,
                          [&](auto* f, uint8_t* y, uint8_t* uv) {
                              f(pic.ptr, pic.wide, y, w + 5, uv, w + 5, size);
                          });
    }
}

// Different routes to RGB must agree exactly: NV12, YUY2, UYVY and ARGB carry the same samples.
TEST(Colour, PackedAndSemiPlanarSourcesAgreeWithPlanar) {
    Rng rng(6);
    const int w = 34, h = 6;
    const SpSize size{w, h};
    Yuv420 pic(w, h, rng);
    std::vector<uint8_t> want(size_t(w) * 3 * h), got(want.size()), argb(size_t(w) * 4 * h);
    std::vector<uint8_t> ny(size_t(w) * h), nuv(size_t(w) * h / 2);
    std::vector<uint8_t> yuy2(size_t(w) * 2 * h), uyvy(yuy2.size()), back(yuy2.size());
    ASSERT_EQ(ccYuv420ToRgb24(pic.ptr, pic.step, want.data(), w * 3, size), 0);
    auto expectRgb = [&](SpStatus status) {
        ASSERT_EQ(status, 0);
        EXPECT_TRUE(SameBytes(got.data(), want.data(), want.size()));
        got.assign(got.size(), 0);
    };
    auto argbToRgb = [&] { return ccArgb32ToRgb24(argb.data(), w * 4, got.data(), w * 3, size); };
    ASSERT_EQ(ccYuv420ToNv12(pic.ptr, pic.step, ny.data(), w, nuv.data(), w, size), 0);
    expectRgb(ccNv12ToRgb24(ny.data(), w, nuv.data(), w, got.data(), w * 3, size));
    ASSERT_EQ(ccYuv420ToYuy2(pic.ptr, pic.step, yuy2.data(), w * 2, size), 0);
    expectRgb(ccYuy2ToRgb24(yuy2.data(), w * 2, got.data(), w * 3, size));
    ASSERT_EQ(ccYuy2ToUyvy(yuy2.data(), w * 2, uyvy.data(), w * 2, size), 0);
    expectRgb(ccUyvyToRgb24(uyvy.data(), w * 2, got.data(), w * 3, size));
    ASSERT_EQ(ccUyvyToYuy2(uyvy.data(), w * 2, back.data(), w * 2, size), 0);
    EXPECT_TRUE(SameBytes(back.data(), yuy2.data(), yuy2.size()));
    ASSERT_EQ(ccYuy2ToArgb32(yuy2.data(), w * 2, argb.data(), w * 4, size, 200), 0);
    EXPECT_EQ(argb[3], 200);
    expectRgb(argbToRgb());
    ASSERT_EQ(ccNv12ToArgb32(ny.data(), w, nuv.data(), w, argb.data(), w * 4, size, 7), 0);
    expectRgb(argbToRgb());
    ASSERT_EQ(ccYuv420ToArgb32(pic.ptr, pic.step, argb.data(), w * 4, size, 7), 0);
    expectRgb(argbToRgb());
}

// YUV layouts that keep the 4:2:0 samples come back unchanged.
TEST(Colour, YuvRoundTripsAreExact) {
    Rng rng(7);
    for (SpSize size : {SpSize{16, 8}, SpSize{7, 5}, SpSize{2, 2}}) {
        const int w = size.width, h = size.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        Yuv420 pic(w, h, rng), back(w, h, rng), p422(w, h, rng, 0, 2, 1);
        std::vector<uint8_t> yuy2(size_t(cw) * 4 * h), uyvy(yuy2.size());
        std::vector<uint8_t> ny(size_t(w) * h), nuv(size_t(cw) * 2 * ch);
        auto expectSame = [&](SpStatus status) {
            ASSERT_EQ(status, 0);
            for (int c = 0; c < 3; ++c) EXPECT_EQ(back.plane[c], pic.plane[c]) << "plane " << c;
            back.Fill(0, 0, 0);  // the next route must write every sample again
        };
        auto from422 = [&] {
            return ccYuv422ToYuv420(p422.ptr, p422.step, back.mut, back.step, size);
        };
        ASSERT_EQ(ccYuv420ToYuv422(pic.ptr, pic.step, p422.mut, p422.step, size), 0);
        expectSame(from422());
        ASSERT_EQ(ccYuv422ToYuy2(p422.ptr, p422.step, yuy2.data(), cw * 4, size), 0);
        expectSame(ccYuy2ToYuv420(yuy2.data(), cw * 4, back.mut, back.step, size));
        ASSERT_EQ(ccYuy2ToYuv422(yuy2.data(), cw * 4, p422.mut, p422.step, size), 0);
        expectSame(from422());
        ASSERT_EQ(ccYuy2ToNv12(yuy2.data(), cw * 4, ny.data(), w, nuv.data(), cw * 2, size), 0);
        expectSame(ccNv12ToYuv420(ny.data(), w, nuv.data(), cw * 2, back.mut, back.step, size));
        ASSERT_EQ(ccNv12ToUyvy(ny.data(), w, nuv.data(), cw * 2, uyvy.data(), cw * 4, size), 0);
        expectSame(ccUyvyToYuv420(uyvy.data(), cw * 4, back.mut, back.step, size));
        ASSERT_EQ(ccUyvyToNv12(uyvy.data(), cw * 4, ny.data(), w, nuv.data(), cw * 2, size), 0);
        ASSERT_EQ(ccNv12ToYuy2(ny.data(), w, nuv.data(), cw * 2, yuy2.data(), cw * 4, size), 0);
        ASSERT_EQ(ccYuy2ToUyvy(yuy2.data(), cw * 4, uyvy.data(), cw * 4, size), 0);
        ASSERT_EQ(ccUyvyToYuv422(uyvy.data(), cw * 4, p422.mut, p422.step, size), 0);
        expectSame(from422());
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
// chroma subsampling loses nothing: only the rounding of the two conversions remains, and the
// 16-bit packings lose the low bits of each channel.
TEST(Colour, RgbRoundTripsStayWithinRounding) {
    Rng rng(9);
    const int w = 12, h = 6;
    const SpSize size{w, h};
    std::vector<uint8_t> rgb(size_t(w) * 3 * h);
    for (int y = 0; y < h; y += 2)
        for (int x = 0; x < w; x += 2) {
            const uint8_t c[3] = {uint8_t(rng.Int(20, 235)), uint8_t(rng.Int(20, 235)),
                                  uint8_t(rng.Int(20, 235))};
            for (int j = 0; j < 4; ++j)
                std::memcpy(&rgb[size_t(y + j / 2) * w * 3 + 3 * (x + j % 2)], c, 3);
        }
    std::vector<uint8_t> got(rgb.size()), yuy2(size_t(w) * 2 * h), w16(yuy2.size());
    std::vector<uint8_t> argb(size_t(w) * 4 * h), argb2(argb.size());
    Yuv420 yuv(w, h, rng);
    auto near = [&](SpStatus status, int tolerance) {
        ASSERT_EQ(status, 0);
        int worst = 0;
        for (size_t i = 0; i < rgb.size(); ++i) worst = std::max(worst, std::abs(got[i] - rgb[i]));
        EXPECT_LE(worst, tolerance);
    };
    auto yuy2ToRgb = [&] { return ccYuy2ToRgb24(yuy2.data(), w * 2, got.data(), w * 3, size); };
    ASSERT_EQ(ccRgb24ToYuv420(rgb.data(), w * 3, yuv.mut, yuv.step, size), 0);
    near(ccYuv420ToRgb24(yuv.ptr, yuv.step, got.data(), w * 3, size), 3);
    ASSERT_EQ(ccRgb24ToYuy2(rgb.data(), w * 3, yuy2.data(), w * 2, size), 0);
    near(yuy2ToRgb(), 3);
    ASSERT_EQ(ccRgb24ToArgb32(rgb.data(), w * 3, argb.data(), w * 4, size, 9), 0);
    EXPECT_EQ(argb[3], 9);
    ASSERT_EQ(ccArgb32ToArgb32(argb.data(), w * 4, argb2.data(), w * 4, size, 255), 0);
    EXPECT_EQ(argb2[3], 255);
    ASSERT_EQ(ccArgb32ToYuy2(argb2.data(), w * 4, yuy2.data(), w * 2, size), 0);
    near(yuy2ToRgb(), 3);
    ASSERT_EQ(ccYuy2ToRgb565(yuy2.data(), w * 2, w16.data(), w * 2, size), 0);
    near(ccRgb565ToRgb24(w16.data(), w * 2, got.data(), w * 3, size), 3 + 8);
    ASSERT_EQ(ccRgb565ToYuv420(w16.data(), w * 2, yuv.mut, yuv.step, size), 0);
    ASSERT_EQ(ccRgb565ToYuy2(w16.data(), w * 2, yuy2.data(), w * 2, size), 0);
    ASSERT_EQ(ccYuy2ToRgb555(yuy2.data(), w * 2, w16.data(), w * 2, size), 0);
    near(ccRgb555ToRgb24(w16.data(), w * 2, got.data(), w * 3, size), 3 + 16);
    ASSERT_EQ(ccRgb555ToYuy2(w16.data(), w * 2, yuy2.data(), w * 2, size), 0);
    ASSERT_EQ(ccRgb555ToYuv420(w16.data(), w * 2, yuv.mut, yuv.step, size), 0);
    near(ccYuv420ToRgb24(yuv.ptr, yuv.step, got.data(), w * 3, size), 3 + 16);
}

TEST(Colour, SixteenBitPackings) {
    Rng rng(10);
    Yuv420 pic(2, 2, rng);
    pic.Fill(235, 128, 128);  // white
    uint8_t out[8];
    auto word = [&] { return out[0] | out[1] << 8; };
    ASSERT_EQ(ccYuv420ToRgb565(pic.ptr, pic.step, out, 4, {2, 2}), 0);
    EXPECT_EQ(word(), 0xFFFF);
    ASSERT_EQ(ccYuv420ToRgb555(pic.ptr, pic.step, out, 4, {2, 2}), 0);
    EXPECT_EQ(word(), 0x7FFF);
    ASSERT_EQ(ccYuv420ToRgb16Other(pic.ptr, pic.step, out, 4, {2, 2}), 0);
    EXPECT_EQ(word(), 0x0FFF);
    // Pure red through YUY2: (R, G, B) = (255, 0, 0) lands in the top bits.
    const uint8_t red[6] = {0, 0, 255, 0, 0, 255};  // B, G, R
    uint8_t yuy2[4];
    ASSERT_EQ(ccRgb24ToYuy2(red, 6, yuy2, 4, {2, 1}), 0);
    ASSERT_EQ(ccYuy2ToRgb565(yuy2, 4, out, 4, {2, 1}), 0);
    EXPECT_GE(word() >> 11, 30);
    EXPECT_LE((word() >> 5) & 63, 2);
    ASSERT_EQ(ccYuy2ToRgb16Other(yuy2, 4, out, 4, {2, 1}), 0);
    EXPECT_EQ(word() >> 8, 0xF);
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
            const uint8_t want[4] = {y[size_t(row) * w + x], u[x / 4], y[size_t(row) * w + x + 1],
                                     v[x / 4]};
            EXPECT_TRUE(SameBytes(p, want, 4)) << row << "," << x;
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
        std::vector<uint8_t> mosaic(size_t(w) * h), out(size_t(w) * 3 * h, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                mosaic[size_t(y) * w + x] = rgbValue[cells[layout][(y & 1) * 2 + (x & 1)]];
        // Bottom-up: the first source row lands in the last destination row.
        ASSERT_EQ(
            ccBayerToRgb24(mosaic.data(), w, out.data() + (h - 1) * w * 3, -w * 3, {w, h}, layout),
            0);
        for (int i = 0; i < w * h * 3; ++i)
            ASSERT_EQ(out[i], rgbValue[2 - i % 3]) << layout << " " << i;
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
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(out[x], std::clamp(((x * (k + 9) - 128 * k - 1148) >> 3) + 128, 0, 255))
                << "k " << k << " x " << x;
    }
}

}  // namespace
