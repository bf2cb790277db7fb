// Every pair of the supported-conversion table converts a flat colour, and the result, brought
// back to RGB24 through the chain, shows that colour.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "SDKs/CodecFramework/vpp/VideoProcessing.h"
#include "tests/vpp/VppTestUtil.h"

namespace {

using namespace UMC;
using qm::vpptest::Flat;
using qm::vpptest::FlatColour;
using qm::vpptest::ToRgb24;

struct Pair {
    ColorFormat from;
    std::vector<ColorFormat> to;
};

const std::vector<Pair> kSupported = {
    {YUV420,
     {NV12, YUY2, UYVY, YUV411, YUV422, Y41P, ARGB32, RGB32, RGB24, RGB565, RGB555, RGB16_OTHER}},
    {YV12,
     {NV12, YUY2, UYVY, YUV411, YUV422, Y41P, ARGB32, RGB32, RGB24, RGB565, RGB555, RGB16_OTHER}},
    {NV12, {YUY2, UYVY, YUV420, ARGB32, RGB24}},
    {YUY2, {NV12, UYVY, YUV420, YUV422, ARGB32, RGB32, RGB24, RGB565, RGB555, RGB16_OTHER, RGB8}},
    {UYVY, {NV12, YUY2, YUV420, YUV422, ARGB32, RGB32, RGB24}},
    {YUV411, {YUV420}},
    {YUV422, {YUY2, YUV420, NV12, UYVY, YUV411, Y41P, ARGB32, RGB32, RGB24, RGB565, RGB555}},
    {YUV422A, {YUY2, YUV420}},
    {Y41P, {YUV420}},
    {ARGB32, {YUY2, ARGB32, RGB24}},
    {RGB32, {YUY2, ARGB32, RGB24}},
    {RGB24, {YUY2, YUV420, ARGB32, RGB32}},
    {RGB565, {YUY2, YUV420, RGB24}},
    {RGB555, {YUY2, YUV420, RGB24}},
    {RGB8, {YUY2, ARGB32, RGB24}},
    {YVU9, {YUY2, UYVY, ARGB32, RGB24}},
    {BAYER_RG, {RGB24}},
    {BAYER_GB, {RGB24}},
    {BAYER_GR, {RGB24}},
    {BAYER_BG, {RGB24}},
};

int Tolerance(ColorFormat a, ColorFormat b) {
    auto loss = [](ColorFormat f) {
        return f == RGB16_OTHER ? 17 : (f == RGB565 || f == RGB555) ? 9 : 0;
    };
    return 4 + std::max(loss(a), loss(b));
}

TEST(ColorConversionTable, EverySupportedPairConvertsAFlatColour) {
    const FlatColour colour{180, 90, 60};
    const int w = 16, h = 8;
    int pairs = 0;
    for (const Pair& pair : kSupported) {
        for (ColorFormat to : pair.to) {
            SCOPED_TRACE(testing::Message()
                         << GetColorFormatName(pair.from) << " -> " << GetColorFormatName(to));
            VideoData src, dst;
            ASSERT_EQ(Flat(src, pair.from, w, h, colour), STATUS_OK);
            ASSERT_EQ(dst.Init(w, h, to), STATUS_OK);
            ASSERT_EQ(dst.Alloc(), STATUS_OK);
            // The converter itself, without the chain's fallback: the pair has its own kernel.
            ColorSpaceConversion conversion;
            ASSERT_EQ(conversion.GetFrame(&src, &dst), STATUS_OK);
            std::vector<uint8_t> rgb;
            ASSERT_TRUE(ToRgb24(dst, rgb));
            // Grey formats keep only the luma of the colour.
            const bool grey = pair.from == RGB8 || to == RGB8;
            const FlatColour want = grey ? colour.Grey() : colour;
            const int tolerance = Tolerance(pair.from, to);
            int worst = 0;
            for (size_t i = 0; i < rgb.size(); i += 3) {
                worst = std::max(worst, std::abs(rgb[i] - want.b));
                worst = std::max(worst, std::abs(rgb[i + 1] - want.g));
                worst = std::max(worst, std::abs(rgb[i + 2] - want.r));
            }
            EXPECT_LE(worst, tolerance);
            ++pairs;
        }
    }
    EXPECT_EQ(pairs, 89);
}

TEST(ColorConversionTable, UnlistedPairsAreNotImplementedAndLargerInputsRefused) {
    const FlatColour colour{10, 200, 30};
    VideoData src, dst;
    ASSERT_EQ(Flat(src, YUV444, 8, 8, colour), STATUS_OK);
    ASSERT_EQ(dst.Init(8, 8, YUY2), STATUS_OK);
    ASSERT_EQ(dst.Alloc(), STATUS_OK);
    ColorSpaceConversion conversion;
    EXPECT_EQ(conversion.GetFrame(&src, &dst), STATUS_NOT_IMPLEMENTED);
    VideoData small;
    ASSERT_EQ(small.Init(8, 6, YUV444), STATUS_OK);
    ASSERT_EQ(small.Alloc(), STATUS_OK);
    EXPECT_EQ(conversion.GetFrame(&src, &small), STATUS_INVALID_PARAMS);
    MediaData bytes;
    EXPECT_EQ(conversion.GetFrame(&bytes, &dst), STATUS_NULL_PTR);
    EXPECT_EQ(conversion.GetFrame(&src, nullptr), STATUS_NULL_PTR);
    // An output whose planes are not set.
    VideoData unset;
    ASSERT_EQ(unset.Init(8, 8, YUY2), STATUS_OK);
    EXPECT_EQ(conversion.GetFrame(&src, &unset), STATUS_NULL_PTR);
}

// YUV420_ALT copies into YUV420, or stretches every plane when the descriptor says so.
TEST(ColorConversionTable, AltLayoutCopiesOrStretches) {
    VideoData src, dst;
    ASSERT_EQ(src.Init(4, 4, YUV420_ALT), STATUS_OK);
    ASSERT_EQ(src.Alloc(), STATUS_OK);
    for (int i = 0; i < 3; ++i)
        std::memset(src.GetPlanePointer(i), 200, src.GetPlaneInfo(i)->m_nMemSize);
    ASSERT_EQ(dst.Init(4, 4, YUV420), STATUS_OK);
    ASSERT_EQ(dst.Alloc(), STATUS_OK);
    ColorSpaceConversion conversion;
    src.SetDescriptor(-1);
    ASSERT_EQ(conversion.GetFrame(&src, &dst), STATUS_OK);
    EXPECT_EQ(dst.GetPlanePointer(0)[0], 200);
    src.SetDescriptor(3);  // ((200 * 12 - 384 - 1148) >> 3) + 128 = 236
    ASSERT_EQ(conversion.GetFrame(&src, &dst), STATUS_OK);
    EXPECT_EQ(dst.GetPlanePointer(0)[0], 236);
    EXPECT_EQ(dst.GetPlanePointer(2)[3], 236);
    src.SetDescriptor(9);
    EXPECT_EQ(conversion.GetFrame(&src, &dst), STATUS_INVALID_PARAMS);
}

}  // namespace
