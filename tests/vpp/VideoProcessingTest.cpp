#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "SDKs/CodecFramework/vpp/VideoProcessing.h"
#include "primitives/Colour.h"
#include "tests/support/KernelCheck.h"
#include "tests/support/Random.h"
#include "tests/vpp/VppTestUtil.h"

namespace {

using namespace UMC;
using qm::test::Rng;
using qm::test::SameBytes;
using qm::vpptest::Flat;
using qm::vpptest::FlatColour;
using qm::vpptest::ToRgb24;

// A picture in its own memory, every sample `fill`, or random when an Rng is given.
void Allocated(VideoData& v, ColorFormat format, int w, int h, uint8_t fill = 0xAB,
               Rng* rng = nullptr) {
    ASSERT_EQ(v.Init(w, h, format), STATUS_OK);
    ASSERT_EQ(v.Alloc(), STATUS_OK);
    for (int i = 0; i < v.GetNumPlanes(); ++i) {
        const VideoData::PlaneInfo* p = v.GetPlaneInfo(i);
        if (rng)
            rng->Fill<uint8_t>(p->m_pPlane, p->m_nMemSize, 16, 235);
        else
            std::memset(p->m_pPlane, fill, p->m_nMemSize);
    }
}
void RandomPicture(VideoData& v, ColorFormat format, int w, int h, Rng& rng) {
    Allocated(v, format, w, h, 0, &rng);
}

// Plane 0 rows alternate between `top` (even rows) and `bottom` (odd rows): combed fields.
void Combed(VideoData& v, ColorFormat format, int w, int h, uint8_t top, uint8_t bottom) {
    Allocated(v, format, w, h, top);
    for (int y = 1; y < h; y += 2)
        std::memset(v.GetPlanePointer(0) + y * v.GetPlanePitch(0), bottom, v.GetPlanePitch(0));
}

uint8_t At(const VideoData& v, int plane, int x, int y) {
    return v.GetPlanePointer(plane)[size_t(y) * v.GetPlanePitch(plane) + x];
}

bool SamePlane(const VideoData& a, int pa, const VideoData& b, int pb, int bytes, int rows) {
    for (int y = 0; y < rows; ++y)
        if (std::memcmp(a.GetPlanePointer(pa) + size_t(y) * a.GetPlanePitch(pa),
                        b.GetPlanePointer(pb) + size_t(y) * b.GetPlanePitch(pb), size_t(bytes)))
            return false;
    return true;
}

TEST(VideoProcessing, SameFormatAndSizeCopiesAndCarriesTheDescription) {
    Rng rng(1);
    VideoData in, out;
    RandomPicture(in, YUV420, 32, 16, rng);
    Allocated(out, YUV420, 32, 16);
    in.SetFrameType(B_PICTURE);
    in.SetTime(1.5, 1.54);
    in.SetPictureStructure(PS_TOP_FIELD_FIRST);
    VideoProcessing chain;
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    EXPECT_TRUE(SamePlane(in, 0, out, 0, 32, 16));
    EXPECT_TRUE(SamePlane(in, 1, out, 1, 16, 8));
    EXPECT_TRUE(SamePlane(in, 2, out, 2, 16, 8));
    double start, end;
    out.GetTime(start, end);
    // No deinterlacing configured: the picture structure stays.
    EXPECT_EQ(std::tuple(out.GetFrameType(), start, end, out.GetPictureStructure()),
              std::tuple(int32_t(B_PICTURE), 1.5, 1.54, PS_TOP_FIELD_FIRST));
    EXPECT_EQ(std::pair(out.GetDataSize(), in.GetDataSize()),
              std::pair(out.GetMappingSize(), size_t(0)));
}

TEST(VideoProcessing, SmallerInputLandsTopLeftAndLeavesTheRest) {
    Rng rng(2);
    VideoData in, out;
    RandomPicture(in, YUV420, 16, 8, rng);
    Allocated(out, RGB32, 24, 12);
    VideoProcessing chain;
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 24 * 4; ++x) {
            const bool inside = y < 8 && x < 16 * 4;
            if (!inside) {
                ASSERT_EQ(At(out, 0, x, y), 0xAB) << x << "," << y;
            } else if (x % 4 == 3) {
                ASSERT_EQ(At(out, 0, x, y), 255);  // alpha
            }
        }
    // The same pixels as the kernel gives.
    std::vector<uint8_t> want(16 * 8 * 4);
    const uint8_t* planes[3] = {in.GetPlanePointer(0), in.GetPlanePointer(1),
                                in.GetPlanePointer(2)};
    const int steps[3] = {int(in.GetPlanePitch(0)), int(in.GetPlanePitch(1)),
                          int(in.GetPlanePitch(2))};
    ASSERT_EQ(ccYuv420ToArgb32(planes, steps, want.data(), 64, {16, 8}, 255), 0);
    for (int y = 0; y < 8; ++y)
        EXPECT_TRUE(SameBytes(out.GetPlanePointer(0) + size_t(y) * out.GetPlanePitch(0),
                              &want[size_t(y) * 64], 64));
}

TEST(VideoProcessing, DeinterlacesInterlacedFramesOnly) {
    const int w = 16, h = 8;
    VideoData in, out;
    Combed(in, YUV420, w, h, 128, 220);
    Allocated(out, YUV420, w, h);
    VideoProcessing chain;
    VideoProcessingParams params;
    params.m_iDeinterlacingMethod = 2;
    ASSERT_EQ(chain.Init(&params), STATUS_OK);
    // Progressive: untouched, picture structure kept.
    in.SetPictureStructure(PS_FRAME);
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    EXPECT_EQ(At(out, 0, 3, 1), 220);
    EXPECT_EQ(out.GetPictureStructure(), PS_FRAME);
    // Interlaced: the bottom field is rebuilt from the top, the output is a progressive frame.
    in.SetPictureStructure(PS_BOTTOM_FIELD_FIRST);
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    for (int y = 0; y < h; ++y) EXPECT_EQ(At(out, 0, 3, y), 128) << y;
    EXPECT_EQ(out.GetPictureStructure(), PS_FRAME);
    // Deinterlacing followed by a conversion: the converted picture is the deinterlaced one.
    VideoData yuy2;
    Allocated(yuy2, YUY2, w, h);
    ASSERT_EQ(chain.GetFrame(&in, &yuy2), STATUS_OK);
    for (int y = 0; y < h; ++y) EXPECT_EQ(At(yuy2, 0, 2, y), 128) << y;
    // Switching deinterlacing off again.
    params.m_iDeinterlacingMethod = 0;
    ASSERT_EQ(chain.SetParams(&params), STATUS_OK);
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    EXPECT_EQ(At(out, 0, 3, 1), 220);
    EXPECT_EQ(out.GetPictureStructure(), PS_BOTTOM_FIELD_FIRST);
}

TEST(VideoProcessing, InterlacedYuv420ToYuy2ConvertsPerField) {
    const int w = 4, h = 8;
    VideoData in, out;
    Allocated(in, YUV420, w, h, 100);
    // Chroma row k gets U = 10 + k.
    for (int k = 0; k < h / 2; ++k)
        std::memset(in.GetPlanePointer(1) + k * in.GetPlanePitch(1), 10 + k, w / 2);
    Allocated(out, YUY2, w, h);
    VideoProcessing chain;
    in.SetPictureStructure(PS_TOP_FIELD_FIRST);
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    // Top field rows 0, 2, 4, 6 use chroma rows 0, 2, 0, 2 of... each field's own rows: row 2k of
    // the frame belongs to the top field, whose chroma rows are 0 and 2.
    const int fieldChroma[8] = {10, 11, 10, 11, 12, 13, 12, 13};
    for (int y = 0; y < h; ++y) EXPECT_EQ(At(out, 0, 1, y), fieldChroma[y]) << y;
    in.SetPictureStructure(PS_FRAME);
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    for (int y = 0; y < h; ++y) EXPECT_EQ(At(out, 0, 1, y), 10 + y / 2) << y;
}

// YUV444 has no kernel to YUY2: the chain goes through RGB24.
TEST(VideoProcessing, FallbackThroughIntermediateFormats) {
    const FlatColour colour{40, 160, 220};
    VideoData in, out;
    ASSERT_EQ(Flat(in, YUV444, 16, 8, colour), STATUS_OK);
    Allocated(out, YUY2, 16, 8);
    VideoProcessing chain;
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    for (int x = 0; x < 4; ++x) {
        EXPECT_NEAR(At(out, 0, 4 * x, 3), colour.Y(), 2);
        EXPECT_NEAR(At(out, 0, 4 * x + 1, 3), colour.U(), 2);
        EXPECT_NEAR(At(out, 0, 4 * x + 3, 3), colour.V(), 2);
    }
    // Twice more: the intermediate frame is reused and gives the same result.
    std::vector<uint8_t> first(out.GetPlanePointer(0),
                               out.GetPlanePointer(0) + out.GetMappingSize());
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    EXPECT_TRUE(SameBytes(first.data(), out.GetPlanePointer(0), first.size()));
    // NV12 to RGB32 passes through YUV420 and equals the direct route.
    Rng rng(3);
    VideoData nv12, yuv, a, b;
    RandomPicture(yuv, YUV420, 16, 8, rng);
    Allocated(nv12, NV12, 16, 8);
    ASSERT_EQ(chain.GetFrame(&yuv, &nv12), STATUS_OK);
    Allocated(a, RGB32, 16, 8);
    Allocated(b, RGB32, 16, 8);
    ASSERT_EQ(chain.GetFrame(&nv12, &a), STATUS_OK);
    ASSERT_EQ(chain.GetFrame(&yuv, &b), STATUS_OK);
    EXPECT_TRUE(SamePlane(a, 0, b, 0, 64, 8));
    // A layout that no route reaches.
    VideoData bayer, y41p;
    Allocated(bayer, BAYER_GR, 16, 8);
    Allocated(y41p, Y41P, 16, 8);
    EXPECT_EQ(chain.GetFrame(&bayer, &y41p), STATUS_NOT_IMPLEMENTED);
}

TEST(VideoProcessing, Yv12AndYuv420ExchangeChromaPlanes) {
    Rng rng(4);
    VideoData in, out;
    RandomPicture(in, YUV420, 16, 8, rng);
    Allocated(out, YV12, 16, 8);
    VideoProcessing chain;
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);  // a copy with the planes exchanged
    EXPECT_TRUE(SamePlane(in, 0, out, 0, 16, 8));
    EXPECT_TRUE(SamePlane(in, 1, out, 2, 8, 4));  // YV12 plane 2 is U
    EXPECT_TRUE(SamePlane(in, 2, out, 1, 8, 4));
    // With resizing (area halving) the exchange is only a view: U still lands in plane 2.
    VideoProcessingParams params;
    params.m_iResizingMethod = 3;
    ASSERT_EQ(chain.SetParams(&params), STATUS_OK);
    VideoData half;
    Allocated(half, YV12, 8, 4);
    ASSERT_EQ(chain.GetFrame(&in, &half), STATUS_OK);
    auto mean = [&](int plane, int x, int y) {
        return (At(in, plane, 2 * x, 2 * y) + At(in, plane, 2 * x + 1, 2 * y) +
                At(in, plane, 2 * x, 2 * y + 1) + At(in, plane, 2 * x + 1, 2 * y + 1) + 2) /
               4;
    };
    EXPECT_EQ(At(half, 0, 3, 1), mean(0, 3, 1));
    EXPECT_EQ(At(half, 2, 1, 1), mean(1, 1, 1));
    EXPECT_EQ(At(half, 1, 1, 1), mean(2, 1, 1));
    // And from YV12 into YUV420 with resizing.
    VideoData back;
    Allocated(back, YUV420, 4, 2);
    ASSERT_EQ(chain.GetFrame(&half, &back), STATUS_OK);
    const int u =
        (At(half, 2, 0, 0) + At(half, 2, 1, 0) + At(half, 2, 0, 1) + At(half, 2, 1, 1) + 2) / 4;
    EXPECT_EQ(At(back, 1, 0, 0), u);
}

TEST(VideoProcessing, CropsTheInput) {
    Rng rng(5);
    VideoData in, out;
    RandomPicture(in, YUV420, 32, 16, rng);
    Allocated(out, YUV420, 16, 8);
    VideoProcessing chain;
    VideoProcessingParams params;
    params.m_cropRect = {8, 4, 24, 12};
    ASSERT_EQ(chain.SetParams(&params), STATUS_OK);
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(At(out, 0, x, y), At(in, 0, x + 8, y + 4));
    EXPECT_EQ(At(out, 1, 0, 0), At(in, 1, 4, 2));
    VideoProcessingParams info;
    ASSERT_EQ(chain.GetInfo(&info), STATUS_OK);
    EXPECT_EQ(info.m_cropRect.right, 24);
    // A crop outside the picture is refused.
    params.m_cropRect = {0, 0, 40, 0};
    ASSERT_EQ(chain.SetParams(&params), STATUS_OK);
    EXPECT_EQ(chain.GetFrame(&in, &out), STATUS_INVALID_PARAMS);
}

TEST(VideoProcessing, ResizesInTheOutputFormat) {
    // Packed and RGB layouts resize as well as planar ones: a flat colour stays flat.
    const FlatColour colour{200, 30, 90};
    for (ColorFormat f : {YUY2, RGB24, RGB32, YUV422}) {
        SCOPED_TRACE(GetColorFormatName(f));
        VideoData in, out;
        ASSERT_EQ(Flat(in, YUV420, 16, 16, colour), STATUS_OK);
        Allocated(out, f, 12, 10);
        VideoProcessing chain;
        ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
        std::vector<uint8_t> rgb;
        ASSERT_TRUE(ToRgb24(out, rgb));
        for (size_t i = 0; i < rgb.size(); i += 3) {
            ASSERT_NEAR(rgb[i], colour.b, 4);
            ASSERT_NEAR(rgb[i + 2], colour.r, 4);
        }
    }
    // NV12 keeps U and V apart while scaling the interleaved plane.
    {
        VideoData in, out;
        const FlatColour c{30, 200, 120};
        ASSERT_EQ(Flat(in, NV12, 16, 16, c), STATUS_OK);
        Allocated(out, NV12, 6, 10);
        VideoProcessing chain;
        ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 3; ++x) {
                ASSERT_EQ(At(out, 1, 2 * x, y), c.U());
                ASSERT_EQ(At(out, 1, 2 * x + 1, y), c.V());
            }
    }
    // Packed 4:1:1 has no resize kernel.
    VideoData in, out;
    Allocated(in, Y41P, 16, 16);
    Allocated(out, Y41P, 8, 8);
    VideoProcessing chain;
    EXPECT_EQ(chain.GetFrame(&in, &out), STATUS_UNSUPPORTED);
}

// A stage that counts its calls and copies through the converter.
class CountingStage : public BaseCodec {
public:
    Status GetFrame(MediaData* in, MediaData* out) override {
        ++m_calls;
        return m_copy.GetFrame(in, out);
    }
    Status Reset() override { return STATUS_OK; }
    int m_calls = 0;
    ColorSpaceConversion m_copy;
};

TEST(VideoProcessing, AddedStagesRunInTableOrder) {
    Rng rng(6);
    VideoData in, out;
    RandomPicture(in, YUV420, 16, 8, rng);
    Allocated(out, RGB24, 16, 8);
    VideoProcessing chain;
    auto* first = new CountingStage;
    auto* last = new CountingStage;
    ASSERT_EQ(chain.AddFilter(first, false), STATUS_OK);
    ASSERT_EQ(chain.AddFilter(last, true), STATUS_OK);
    EXPECT_EQ(chain.GetStageCount(), 6);
    EXPECT_EQ(chain.GetStage(0), first);
    EXPECT_NE(DynamicCast<Deinterlacing>(chain.GetStage(1)), nullptr);
    EXPECT_NE(DynamicCast<VideoResizing>(chain.GetStage(4)), nullptr);
    ASSERT_EQ(chain.GetFrame(&in, &out), STATUS_OK);
    EXPECT_EQ(first->m_calls, 1);
    EXPECT_EQ(last->m_calls, 1);
    VideoData want;
    Allocated(want, RGB24, 16, 8);
    ColorSpaceConversion direct;
    ASSERT_EQ(direct.GetFrame(&in, &want), STATUS_OK);
    EXPECT_TRUE(SamePlane(out, 0, want, 0, 48, 8));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(chain.AddFilter(new CountingStage, true), STATUS_OK);
    auto* extra = new CountingStage;
    EXPECT_EQ(chain.AddFilter(extra, true), STATUS_NOT_ENOUGH_BUFFER);
    delete extra;
    EXPECT_EQ(chain.AddFilter(nullptr, true), STATUS_NULL_PTR);
}

// A decoder writes straight into the output only when the chain says it would just copy.
TEST(VideoProcessing, CopiesOnlyWhenNothingButACopyWouldRun) {
    VideoData in, same, swapped, nv12, larger, yuy2;
    ASSERT_EQ(in.Init(32, 16, YUV420), STATUS_OK);
    ASSERT_EQ(same.Init(32, 16, YUV420), STATUS_OK);
    ASSERT_EQ(swapped.Init(32, 16, YV12), STATUS_OK);
    ASSERT_EQ(nv12.Init(32, 16, NV12), STATUS_OK);
    ASSERT_EQ(larger.Init(48, 16, YUV420), STATUS_OK);
    ASSERT_EQ(yuy2.Init(32, 16, YUY2), STATUS_OK);
    in.SetPictureStructure(PS_TOP_FIELD_FIRST);
    VideoProcessing chain;
    EXPECT_TRUE(chain.CopiesOnly(in, same));
    EXPECT_TRUE(chain.CopiesOnly(in, swapped));
    EXPECT_FALSE(chain.CopiesOnly(in, nv12));
    EXPECT_FALSE(chain.CopiesOnly(in, larger));
    EXPECT_FALSE(chain.CopiesOnly(in, yuy2));

    // Deinterlacing runs on interlaced pictures only.
    VideoProcessingParams params;
    params.m_iDeinterlacingMethod = 2;
    ASSERT_EQ(chain.SetParams(&params), STATUS_OK);
    EXPECT_FALSE(chain.CopiesOnly(in, same));
    in.SetPictureStructure(PS_FRAME);
    EXPECT_TRUE(chain.CopiesOnly(in, same));
    params.m_iDeinterlacingMethod = 0;
    params.m_cropRect = {0, 0, 16, 16};
    ASSERT_EQ(chain.SetParams(&params), STATUS_OK);
    EXPECT_FALSE(chain.CopiesOnly(in, same));

    VideoProcessing withStage;
    ASSERT_EQ(withStage.AddFilter(new CountingStage, true), STATUS_OK);
    EXPECT_FALSE(withStage.CopiesOnly(in, same));
    VideoProcessing closed;
    closed.Close();
    EXPECT_FALSE(closed.CopiesOnly(in, same));
}

TEST(VideoProcessing, BadInputAndLifecycle) {
    VideoProcessing chain;
    VideoData in, out;
    MediaData bytes;
    Allocated(out, YUY2, 8, 8);
    EXPECT_EQ(chain.GetFrame(&bytes, &out), STATUS_NULL_PTR);
    EXPECT_EQ(chain.GetFrame(nullptr, &out), STATUS_NULL_PTR);
    // No picture memory behind the input.
    ASSERT_EQ(in.Init(8, 8, YUV420), STATUS_OK);
    EXPECT_EQ(chain.GetFrame(&in, &out), STATUS_NOT_ENOUGH_DATA);
    BaseCodecParams plain;
    EXPECT_EQ(chain.SetParams(&plain), STATUS_NULL_PTR);
    EXPECT_EQ(chain.GetInfo(&plain), STATUS_NULL_PTR);
    EXPECT_EQ(chain.Init(nullptr), STATUS_NULL_PTR);
    // An unknown format on either side.
    Allocated(in, YUV420, 8, 8);
    VideoData surface;
    ASSERT_EQ(surface.Init(8, 8, OPAQUE_SURFACE_A), STATUS_OK);
    EXPECT_LT(chain.GetFrame(&in, &surface), 0);
    EXPECT_EQ(chain.Close(), STATUS_OK);
    EXPECT_EQ(chain.GetFrame(&in, &out), STATUS_NOT_INITIALIZED);
    EXPECT_EQ(chain.GetStageCount(), 0);
}

TEST(Deinterlacing, MethodsThresholdsAndLayouts) {
    Deinterlacing d;
    EXPECT_EQ(d.GetMethod(), 1);
    d.SetMethod(5);
    EXPECT_EQ(d.GetThreshold(), 6);
    d.SetMethod(6);
    EXPECT_EQ(d.GetThreshold(), 17);
    d.SetThreshold(3);
    EXPECT_EQ(d.GetThreshold(), 3);

    VideoData in, out, other;
    Combed(in, YUY2, 8, 6, 50, 200);
    Allocated(out, YUY2, 8, 6);
    Allocated(other, YUV420, 8, 6);
    EXPECT_EQ(d.GetFrame(&in, &other), STATUS_INVALID_PARAMS);
    // Edge-directed interpolation needs planar samples.
    d.SetMethod(4);
    EXPECT_EQ(d.GetFrame(&in, &out), STATUS_UNSUPPORTED);
    // Line doubling and the packed-aware interpolator handle YUY2.
    for (int method : {3, 1, 2, 5}) {
        SCOPED_TRACE(method);
        d.SetMethod(method);
        ASSERT_EQ(d.GetFrame(&in, &out), STATUS_OK);
        for (int y = 0; y < 6; ++y) EXPECT_EQ(At(out, 0, 5, y), 50) << y;
        EXPECT_EQ(out.GetPictureStructure(), PS_FRAME);
    }
    // Motion-adaptive on a planar picture: first picture interpolated, a repeat woven.
    VideoData p, q;
    Combed(p, YUV420, 8, 6, 50, 200);
    Allocated(q, YUV420, 8, 6);
    d.SetMethod(6);
    ASSERT_EQ(d.GetFrame(&p, &q), STATUS_OK);
    EXPECT_EQ(At(q, 0, 2, 1), 50);
    ASSERT_EQ(d.GetFrame(&p, &q), STATUS_OK);
    EXPECT_EQ(At(q, 0, 2, 1), 200);
    ASSERT_EQ(d.Reset(), STATUS_OK);
    ASSERT_EQ(d.GetFrame(&p, &q), STATUS_OK);
    EXPECT_EQ(At(q, 0, 2, 1), 50);
}

}  // namespace
