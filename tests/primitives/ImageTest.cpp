#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "primitives/Image.h"
#include "primitives/ImageKernels.h"
#include "tests/support/KernelCheck.h"
#include "tests/support/Random.h"

namespace {

using qm::test::Rng;
using qm::test::SameBytes;

// Top field `top`, bottom field `bottom`: the worst combing there is.
std::vector<uint8_t> Combed(int w, int h, uint8_t top, uint8_t bottom) {
    std::vector<uint8_t> p(size_t(w) * h);
    for (int y = 0; y < h; ++y) std::memset(&p[size_t(y) * w], (y & 1) ? bottom : top, size_t(w));
    return p;
}

using Deinterlace = std::function<SpStatus(const uint8_t*, int, uint8_t*, int, SpSize)>;
Deinterlace Method2(int weight, int threshold) {
    return [=](auto... a) { return imDeinterlaceMethod2(a..., weight, threshold); };
}
Deinterlace Method4(int threshold) {
    return [=](auto... a) { return imDeinterlaceMethod4(a..., threshold); };
}
Deinterlace Method5(int threshold) {
    return [=](auto... a) { return imDeinterlaceMethod5(a..., threshold); };
}
Deinterlace OtherB(int distance) {
    return [=](auto... a) { return imDeinterlaceOtherB(a..., distance); };
}

// Strong combing is rebuilt from the top field (half weight moves the bottom field half way:
// 200 + ((50 - 200) * 64 + 64) >> 7); combing below the threshold and pictures without combing
// are kept; the four-tap interpolator repeats the edge rows; the edge-directed one follows a
// diagonal edge at x = 10 + y where a vertical average would blur it, also on every second byte.
TEST(Deinterlace, MethodsRebuildCombingAndKeepTheRest) {
    const std::vector<uint8_t> combed = Combed(8, 7, 50, 200), faint = Combed(6, 9, 100, 110);
    std::vector<uint8_t> ramp(6 * 9), edge(32 * 9), packed(64 * 9, 128);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(20 * (i / 6));
    for (size_t i = 0; i < edge.size(); ++i) edge[i] = i % 32 >= 10 + i / 32 ? 255 : 0;
    for (size_t i = 0; i < edge.size(); ++i) packed[2 * i] = edge[i];
    auto comb = [](std::vector<uint8_t> p, int w, int step, uint8_t v) {
        for (size_t i = w; i < p.size(); i += size_t(2 * w))
            for (int x = 0; x < w; x += step) p[i + x] = v;
        return p;
    };
    const struct {
        const char* name;
        const std::vector<uint8_t>& src;
        int w;
        Deinterlace call;
        std::vector<uint8_t> want;
    } rows[] = {
        {"combed, method 2", combed, 8, Method2(128, 21), Combed(8, 7, 50, 50)},
        {"combed, method 4", combed, 8, Method4(0), Combed(8, 7, 50, 50)},
        {"combed, method 5", combed, 8, Method5(6), Combed(8, 7, 50, 50)},
        {"combed, other B", combed, 8, OtherB(1), Combed(8, 7, 50, 50)},
        {"combed, half weight", combed, 8, Method2(64, 21), Combed(8, 7, 50, 125)},
        {"faint, method 2 threshold 21", faint, 6, Method2(128, 21), faint},
        {"faint, method 5 threshold 17", faint, 6, Method5(17), faint},
        {"faint, method 4 threshold 9", faint, 6, Method4(9), Combed(6, 9, 100, 100)},
        {"ramp, method 2", ramp, 6, Method2(128, 0), ramp},
        {"ramp, method 2 threshold 6", ramp, 6, Method2(128, 6), ramp},
        {"ramp, method 4", ramp, 6, Method4(0), ramp},
        {"ramp, method 4 threshold 6", ramp, 6, Method4(6), ramp},
        {"ramp, method 5", ramp, 6, Method5(0), ramp},
        {"ramp, method 5 threshold 6", ramp, 6, Method5(6), ramp},
        {"ramp, other B", ramp, 6, OtherB(1), ramp},
        {"four taps",
         std::vector<uint8_t>{0, 255, 100, 255, 100, 255, 0},
         1,
         Method5(0),
         {0, 50, 100, 113, 100, 50, 0}},
        {"diagonal edge", comb(edge, 32, 1, 77), 32, OtherB(1), edge},
        {"diagonal edge, distance 2", comb(packed, 64, 2, 3), 64, OtherB(2), packed},
    };
    for (const auto& row : rows) {
        const int h = int(row.src.size()) / row.w;
        std::vector<uint8_t> out(row.src.size()), inPlace = row.src;
        ASSERT_EQ(row.call(row.src.data(), row.w, out.data(), row.w, {row.w, h}), 0) << row.name;
        EXPECT_EQ(out, row.want) << row.name;
        if (row.call.target_type() == OtherB(1).target_type()) {
            ASSERT_EQ(row.call(inPlace.data(), row.w, inPlace.data(), row.w, {row.w, h}), 0);
            EXPECT_EQ(inPlace, row.want) << row.name << " in place";
        }
    }
}

TEST(Deinterlace, MotionAdaptiveWeavesStillPicturesAndInterpolatesMotion) {
    const int w = 16, h = 8;
    Rng rng(1);
    std::vector<uint8_t> history(size_t(w) * h);
    ImDeinterlaceState state{history.data(), w, {w, h}, 17, 0};
    const std::vector<uint8_t> pic = rng.Bytes(size_t(w) * h);
    std::vector<uint8_t> out(pic.size()), spatial(pic.size());
    ASSERT_EQ(imDeinterlaceOtherB(pic.data(), w, spatial.data(), w, {w, h}, 1), 0);
    // First picture: no history, interpolated like the spatial method.
    ASSERT_EQ(imDeinterlaceOtherA(pic.data(), w, out.data(), w, {w, h}, &state), 0);
    EXPECT_TRUE(SameBytes(out.data(), spatial.data(), out.size()));
    EXPECT_EQ(state.frames, 1);
    // The same picture again: nothing moved, both fields are kept.
    ASSERT_EQ(imDeinterlaceOtherA(pic.data(), w, out.data(), w, {w, h}, &state), 0);
    EXPECT_TRUE(SameBytes(out.data(), pic.data(), out.size()));
    // Motion in the left half only: the right half is woven, the left interpolated.
    std::vector<uint8_t> moved = pic;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w / 2; ++x) moved[size_t(y) * w + x] ^= 0x80;
    std::vector<uint8_t> movedSpatial(pic.size());
    ASSERT_EQ(imDeinterlaceOtherB(moved.data(), w, movedSpatial.data(), w, {w, h}, 1), 0);
    std::vector<uint8_t> inPlace = moved;
    ASSERT_EQ(imDeinterlaceOtherA(inPlace.data(), w, inPlace.data(), w, {w, h}, &state), 0);
    for (int y = 1; y < h; y += 2) {
        EXPECT_EQ(inPlace[size_t(y) * w + 2], movedSpatial[size_t(y) * w + 2]) << y;
        EXPECT_EQ(inPlace[size_t(y) * w + w - 1], moved[size_t(y) * w + w - 1]) << y;
    }
    // The history holds the source as it came, so the next identical picture is woven.
    ASSERT_EQ(imDeinterlaceOtherA(moved.data(), w, out.data(), w, {w, h}, &state), 0);
    EXPECT_TRUE(SameBytes(out.data(), moved.data(), out.size()));
}

// ---- resizing -------------------------------------------------------------------------------

std::vector<uint8_t> Work(SpSize s, SpSize d, int method, int channels) {
    int bytes = 0;
    EXPECT_EQ(imResizeGetBufferSize(s, d, method, channels, &bytes), 0);
    EXPECT_GT(bytes, 0);
    return std::vector<uint8_t>(size_t(bytes));
}

TEST(Resize, SameSizeIsIdentityForEveryMethodAndLayout) {
    Rng rng(2);
    const SpSize size{13, 7};
    for (int method = 0; method < 4; ++method) {
        SCOPED_TRACE(method);
        for (int c : {1, 2, 3, 4}) {
            const std::vector<uint8_t> src = rng.Bytes(size_t(13 * c) * 7);
            std::vector<uint8_t> dst(src.size());
            std::vector<uint8_t> work = Work(size, size, method, c);
            const auto& k = c == 1   ? sp::kernels::resize8uC1
                            : c == 2 ? sp::kernels::resize8uC2
                            : c == 3 ? sp::kernels::resize8uC3
                                     : sp::kernels::resize8uC4;
            k.Reference()(src.data(), 13 * c, size, dst.data(), 13 * c, size, method, work.data());
            EXPECT_TRUE(SameBytes(dst.data(), src.data(), src.size()));
        }
        std::vector<uint16_t> src16(13 * 7), dst16(src16.size());
        for (auto& v : src16) v = uint16_t(rng.Int(0, 65535));
        std::vector<uint8_t> work = Work(size, size, method, 1);
        ASSERT_EQ(
            imResizePlane16uC1(src16.data(), 26, size, dst16.data(), 26, size, method, work.data()),
            0);
        EXPECT_TRUE(SameBytes(dst16.data(), src16.data(), src16.size() * 2));
    }
}

TEST(Resize, AreaHalvingAveragesBlocksAndLinearInterpolates) {
    Rng rng(3);
    const std::vector<uint8_t> src = rng.Bytes(8 * 6);
    std::vector<uint8_t> dst(4 * 3);
    std::vector<uint8_t> work = Work({8, 6}, {4, 3}, imArea, 1);
    ASSERT_EQ(imResizePlane8uC1(src.data(), 8, {8, 6}, dst.data(), 4, {4, 3}, imArea, work.data()),
              0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const int sum = src[(2 * y) * 8 + 2 * x] + src[(2 * y) * 8 + 2 * x + 1] +
                            src[(2 * y + 1) * 8 + 2 * x] + src[(2 * y + 1) * 8 + 2 * x + 1];
            EXPECT_EQ(dst[y * 4 + x], (sum + 2) / 4) << x << "," << y;
        }
    // Linear doubling of (0, 100): centres at -0.25, 0.25, 0.75, 1.25.
    const uint8_t two[2] = {0, 100};
    uint8_t four[4];
    work = Work({2, 1}, {4, 1}, imLinear, 1);
    ASSERT_EQ(imResizePlane8uC1(two, 2, {2, 1}, four, 4, {4, 1}, imLinear, work.data()), 0);
    const uint8_t linear[4] = {0, 25, 75, 100};
    EXPECT_TRUE(SameBytes(four, linear, 4));
    // Nearest tripling repeats.
    uint8_t six[6];
    work = Work({2, 1}, {6, 1}, imNearest, 1);
    ASSERT_EQ(imResizePlane8uC1(two, 2, {2, 1}, six, 6, {6, 1}, imNearest, work.data()), 0);
    const uint8_t want[6] = {0, 0, 0, 100, 100, 100};
    EXPECT_TRUE(SameBytes(six, want, 6));
}

TEST(Resize, FlatPicturesStayFlatAndCubicOvershootClamps) {
    for (int method = 0; method < 4; ++method) {
        for (SpSize d : {SpSize{5, 3}, SpSize{40, 17}, SpSize{1, 1}}) {
            std::vector<uint8_t> src(size_t(12 * 4) * 9, 0), dst(size_t(d.width * 4) * d.height);
            for (size_t i = 0; i < src.size(); i += 4)
                src[i] = 10, src[i + 1] = 200, src[i + 3] = 255;
            std::vector<uint8_t> work = Work({12, 9}, d, method, 4);
            ASSERT_EQ(imResizePlane8uC4(src.data(), 48, {12, 9}, dst.data(), d.width * 4, d, method,
                                        work.data()),
                      0);
            for (size_t i = 0; i < dst.size(); i += 4)
                ASSERT_TRUE(SameBytes(&dst[i], src.data(), 4));
        }
    }
    // A hard step: cubic overshoots past both ends and must clamp, not wrap.
    const uint16_t step[4] = {0, 0, 65535, 65535};
    uint16_t out[16];
    std::vector<uint8_t> work = Work({4, 1}, {16, 1}, imCubic, 1);
    ASSERT_EQ(imResizePlane16uC1(step, 8, {4, 1}, out, 32, {16, 1}, imCubic, work.data()), 0);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[15], 65535);
    for (int i = 1; i < 16; ++i) EXPECT_GE(out[i], out[i - 1]) << i;  // monotone after clamping
    uint8_t step8[4] = {0, 0, 255, 255}, out8[16];
    ASSERT_EQ(imResizePlane8uC1(step8, 4, {4, 1}, out8, 16, {16, 1}, imCubic, work.data()), 0);
    EXPECT_EQ(out8[15], 255);
}

// One component of a packed picture: `width` samples `step` bytes apart from `offset` in each row.
std::vector<uint8_t> Component(const std::vector<uint8_t>& packed, size_t rowBytes, int width,
                               int offset, int step) {
    std::vector<uint8_t> c;
    for (size_t row = 0; row < packed.size() / rowBytes; ++row)
        for (int x = 0; x < width; ++x) c.push_back(packed[row * rowBytes + offset + x * step]);
    return c;
}

// Packed YUY2 resizes as its luma plane and its two half-width chroma planes would.
TEST(Resize, Yuy2MatchesItsPlanes) {
    Rng rng(4);
    const SpSize s{10, 6}, d{7, 9}, sc{5, 6}, dc{4, 9};  // chroma 5 and 4 wide
    const std::vector<uint8_t> src = rng.Bytes(size_t(sc.width * 4) * s.height);
    std::vector<uint8_t> dst(size_t(dc.width * 4) * d.height, 0xEE);
    for (int method = 0; method < 4; ++method) {
        SCOPED_TRACE(method);
        std::vector<uint8_t> work = Work(s, d, method, 2), planeWork = Work(s, d, method, 1);
        ASSERT_EQ(imResizeYuy2(src.data(), sc.width * 4, s, dst.data(), dc.width * 4, d, method,
                               work.data()),
                  0);
        const struct {
            int offset, step;
            SpSize from, to;
        } parts[] = {{0, 2, s, d}, {1, 4, sc, dc}, {3, 4, sc, dc}};
        for (const auto& c : parts) {
            const std::vector<uint8_t> plane = Component(src, 20, c.from.width, c.offset, c.step);
            std::vector<uint8_t> want(size_t(c.to.width) * c.to.height);
            ASSERT_EQ(imResizePlane8uC1(plane.data(), c.from.width, c.from, want.data(), c.to.width,
                                        c.to, method, planeWork.data()),
                      0);
            EXPECT_EQ(Component(dst, 16, c.to.width, c.offset, c.step), want) << c.offset;
        }
    }
}

}  // namespace
