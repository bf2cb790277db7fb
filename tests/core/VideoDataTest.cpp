#include <gtest/gtest.h>

#include <vector>

#include "SDKs/CodecFramework/core/VideoData.h"

namespace {

using namespace UMC;

// Layouts at an odd size (37x23), worked out by hand from the formats: chroma planes round their
// size up, YV12's luma pitch is even so that its chroma pitch is exactly half, NV12 interleaves
// both chroma samples at full luma pitch, YUY2 packs two pixels in four bytes, RGB24 rows are
// whole 32-bit words. A 64-byte alignment pads every pitch (YV12's luma to 128). Alloc lays the
// planes out one after another in memory of its own.
TEST(VideoData, LayoutsAtAnOddSize) {
    struct Plane {
        int32_t width, height;
        size_t pitch, offset;
    };
    const struct {
        ColorFormat format;
        int32_t alignment;
        std::vector<Plane> planes;
        size_t mapping;
    } layouts[] = {
        {YV12, 1, {{37, 23, 38, 0}, {19, 12, 19, 874}, {19, 12, 19, 1102}}, 1330},
        {YV12, 64, {{37, 23, 128, 0}, {19, 12, 64, 2944}, {19, 12, 64, 3712}}, 4480},
        {YUV420, 1, {{37, 23, 37, 0}, {19, 12, 19, 851}, {19, 12, 19, 1079}}, 1307},
        {YUV422, 1, {{37, 23, 37, 0}, {19, 23, 19, 851}, {19, 23, 19, 1288}}, 1725},
        {NV12, 1, {{37, 23, 38, 0}, {37, 12, 38, 874}}, 1330},
        {YUY2, 1, {{19, 23, 76, 0}}, 1748},
        {RGB24, 1, {{37, 23, 112, 0}}, 2576},
        {RGB565, 64, {{37, 23, 128, 0}}, 2944},
    };
    for (const auto& l : layouts) {
        SCOPED_TRACE(testing::Message()
                     << GetColorFormatName(l.format) << " align " << l.alignment);
        VideoData v;
        ASSERT_EQ(v.SetAlignment(l.alignment), STATUS_OK);
        ASSERT_EQ(v.Init(37, 23, l.format), STATUS_OK);
        ASSERT_EQ(size_t(v.GetNumPlanes()), l.planes.size());
        for (size_t i = 0; i < l.planes.size(); ++i) {
            const VideoData::PlaneInfo* p = v.GetPlaneInfo(int32_t(i));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p->m_width, l.planes[i].width) << i;
            EXPECT_EQ(p->m_height, l.planes[i].height) << i;
            EXPECT_EQ(p->m_nPitch, l.planes[i].pitch) << i;
            EXPECT_EQ(p->m_nOffset, l.planes[i].offset) << i;
        }
        EXPECT_EQ(v.GetMappingSize(), l.mapping);
        ASSERT_EQ(v.Alloc(), STATUS_OK);
        EXPECT_EQ(v.GetDataSize(), l.mapping);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(v.GetPlanePointer(0)) % size_t(l.alignment), 0u);
        for (size_t i = 0; i < l.planes.size(); ++i)
            EXPECT_EQ(v.GetPlanePointer(int32_t(i)), v.GetPlanePointer(0) + l.planes[i].offset);
        // The whole mapping is ours (ASan checks the last byte).
        v.GetPlanePointer(0)[l.mapping - 1] = 0;
    }
}

TEST(VideoData, InvalidDescriptions) {
    VideoData v;
    EXPECT_EQ(v.Init(0, 10, YV12), STATUS_INVALID_STREAM);
    EXPECT_EQ(v.Init(10, -1, YV12), STATUS_INVALID_STREAM);
    EXPECT_EQ(v.Init(10, 10, ColorFormat(31)), STATUS_INVALID_STREAM);
    EXPECT_EQ(v.Init(10, 10, NONE), STATUS_INVALID_STREAM);
    EXPECT_EQ(v.Init(10, 10, 3, 7), STATUS_INVALID_STREAM);  // bit depth below 8
    EXPECT_EQ(v.Init(10, 10, 0, 8), STATUS_INVALID_STREAM);
    EXPECT_EQ(v.Alloc(), STATUS_INVALID_STREAM);  // nothing to map
    EXPECT_EQ(v.SetAlignment(3), STATUS_INVALID_PARAMS);
    EXPECT_EQ(v.SetAlignment(0x200000), STATUS_INVALID_PARAMS);
    EXPECT_EQ(v.SetSurface(nullptr, 0), STATUS_NULL_PTR);
    uint8_t byte;
    EXPECT_EQ(v.SetSurface(&byte, 0), STATUS_NOT_INITIALIZED);
    EXPECT_EQ(v.SetBufferPointer(&byte, 1), STATUS_NOT_INITIALIZED);
    EXPECT_EQ(v.GetDataSize(), 0u);
    EXPECT_EQ(v.GetPlanePointer(5), nullptr);
    EXPECT_EQ(v.SetPlanePointer(&byte, 0), STATUS_NOT_INITIALIZED);
}

TEST(VideoData, SurfaceFormatsHaveFixedMappings) {
    VideoData a, b;
    ASSERT_EQ(a.Init(64, 64, OPAQUE_SURFACE_A), STATUS_OK);
    EXPECT_EQ(a.GetMappingSize(), 256u);
    EXPECT_EQ(a.GetNumPlanes(), 0);
    for (size_t i = 0; i < 256; ++i) ASSERT_EQ(a.GetBufferPointer()[i], 0);
    ASSERT_EQ(b.Init(64, 64, OPAQUE_SURFACE_B), STATUS_OK);
    EXPECT_EQ(b.GetMappingSize(), 16u);
}

TEST(VideoData, SetBufferPointerAlignsAndChecksSize) {
    VideoData v;
    ASSERT_EQ(v.SetAlignment(16), STATUS_OK);
    ASSERT_EQ(v.Init(16, 8, YUV420), STATUS_OK);
    const size_t mapping = v.GetMappingSize();
    EXPECT_EQ(mapping, 16u * 8 + 2 * 16u * 4);  // chroma pitch rounds 8 up to 16
    std::vector<uint8_t> mem(mapping + 32);
    uint8_t* misaligned = mem.data() + 1;
    while (reinterpret_cast<uintptr_t>(misaligned) % 16 == 0) ++misaligned;
    EXPECT_EQ(v.SetBufferPointer(misaligned, mapping - 1), STATUS_NOT_ENOUGH_BUFFER);
    EXPECT_EQ(v.GetDataSize(), 0u);
    ASSERT_EQ(v.SetBufferPointer(misaligned, mapping + 16), STATUS_OK);
    uint8_t* y = v.GetPlanePointer(0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(y) % 16, 0u);
    EXPECT_EQ(v.GetDataPointer(), y);
    EXPECT_EQ(v.GetDataSize(), mapping);
    EXPECT_EQ(v.GetBufferPointer(), misaligned);
    EXPECT_EQ(v.GetPlanePointer(1), y + 128);
    EXPECT_EQ(v.GetPlanePointer(2), y + 128 + 64);
}

TEST(VideoData, SetSurfaceDerivesChromaPitches) {
    VideoData v;
    ASSERT_EQ(v.Init(100, 20, YV12), STATUS_OK);
    std::vector<uint8_t> mem(256 * 20 + 2 * 128 * 10);
    ASSERT_EQ(v.SetSurface(mem.data(), 256), STATUS_OK);
    EXPECT_EQ(v.GetPlanePitch(0), 256u);
    EXPECT_EQ(v.GetPlanePitch(1), 128u);
    EXPECT_EQ(v.GetPlanePointer(1), mem.data() + 256 * 20);
    EXPECT_EQ(v.GetPlanePointer(2), mem.data() + 256 * 20 + 128 * 10);
    EXPECT_EQ(v.GetDataSize(), mem.size());
    EXPECT_EQ(v.CalcPitchFromMappingSize(mem.size()), 256u);

    VideoData nv12;
    ASSERT_EQ(nv12.Init(100, 20, NV12), STATUS_OK);
    std::vector<uint8_t> mem2(128 * 30);
    ASSERT_EQ(nv12.SetSurface(mem2.data(), 128), STATUS_OK);
    EXPECT_EQ(nv12.GetPlanePitch(1), 128u);  // interleaved chroma rows as wide as luma rows
}

TEST(VideoData, CropMovesPlanesBySubsampledOffsets) {
    VideoData v;
    ASSERT_EQ(v.Init(64, 32, YUV420), STATUS_OK);
    ASSERT_EQ(v.Alloc(), STATUS_OK);
    uint8_t* y = v.GetPlanePointer(0);
    uint8_t* u = v.GetPlanePointer(1);
    VideoData copy(v);
    ASSERT_EQ(copy.Crop({8, 4, 40, 20}), STATUS_OK);
    EXPECT_EQ(copy.GetWidth(), 32);
    EXPECT_EQ(copy.GetHeight(), 16);
    EXPECT_EQ(copy.GetPlanePointer(0), y + 8 + 4 * 64);
    EXPECT_EQ(copy.GetPlanePointer(1), u + 4 + 2 * 32);
    EXPECT_EQ(copy.GetPlaneInfo(1)->m_width, 16);
    // Right and bottom 0 keep the right and bottom edges.
    VideoData edge(v);
    ASSERT_EQ(edge.Crop({10, 2, 0, 0}), STATUS_OK);
    EXPECT_EQ(edge.GetWidth(), 54);
    EXPECT_EQ(edge.GetHeight(), 30);
    // Outside the picture or empty: refused.
    VideoData bad(v);
    EXPECT_EQ(bad.Crop({-1, 0, 10, 10}), STATUS_INVALID_PARAMS);
    EXPECT_EQ(bad.Crop({0, 0, 65, 10}), STATUS_INVALID_PARAMS);
    EXPECT_EQ(bad.Crop({0, 0, 64, 33}), STATUS_INVALID_PARAMS);
    EXPECT_EQ(bad.Crop({10, 0, 10, 10}), STATUS_INVALID_PARAMS);
    EXPECT_EQ(bad.GetWidth(), 64);

    VideoData yuy2;
    ASSERT_EQ(yuy2.Init(16, 4, YUY2), STATUS_OK);
    ASSERT_EQ(yuy2.Alloc(), STATUS_OK);
    uint8_t* p = yuy2.GetPlanePointer(0);
    ASSERT_EQ(yuy2.Crop({4, 1, 0, 0}), STATUS_OK);
    EXPECT_EQ(yuy2.GetPlanePointer(0), p + 2 * 4 + 1 * 32);  // two pixels per 4-byte unit
}

}  // namespace

namespace {

// Laying the planes out again over the container's own picture memory must keep that memory
// (the planes still point into it) and still free it once; moving to outside memory frees it.
// ASan reports the use after free and the leak that the wrong ownership gives.
TEST(VideoData, RelayoutOverOwnMemory) {
    for (int route = 0; route < 3; ++route) {
        SCOPED_TRACE(route);
        VideoData v;
        ASSERT_EQ(v.SetAlignment(64), STATUS_OK);  // 63 spare bytes after the mapping
        ASSERT_EQ(v.Init(32, 16, UMC::YV12), STATUS_OK);
        ASSERT_EQ(v.Alloc(), STATUS_OK);
        uint8_t* own = v.GetBufferPointer();
        const size_t size = v.GetBufferSize();
        if (route == 0) {
            ASSERT_EQ(v.SetSurface(own, 0), STATUS_OK);
        }
        if (route == 1) {
            ASSERT_EQ(v.SetBufferPointer(own, size), STATUS_OK);
        }
        if (route == 2) {  // inside, not at start
            ASSERT_EQ(v.SetSurface(own + 32, 0), STATUS_OK);
        }
        volatile uint8_t* last = v.GetPlanePointer(2) + v.GetPlaneInfo(2)->m_nMemSize - 1;
        *last = 7;
        EXPECT_EQ(*last, 7);
        if (route == 1) {
            // SetBufferPointer starts the planes at the first aligned address.
            EXPECT_EQ(v.GetPlanePointer(0), v.GetDataPointer());
            EXPECT_LT(v.GetPlanePointer(0), own + 64);
        } else {
            EXPECT_EQ(v.GetPlanePointer(0), own + (route == 2 ? 32 : 0));
        }
    }
    // Outside memory: the own block goes (LeakSanitizer would see it otherwise).
    VideoData v;
    ASSERT_EQ(v.Init(32, 16, UMC::YV12), STATUS_OK);
    ASSERT_EQ(v.Alloc(), STATUS_OK);
    std::vector<uint8_t> outside(v.GetBufferSize());
    ASSERT_EQ(v.SetSurface(outside.data(), 0), STATUS_OK);
    ASSERT_EQ(v.Alloc(), STATUS_OK);
    ASSERT_EQ(v.SetBufferPointer(outside.data(), outside.size()), STATUS_OK);
    EXPECT_EQ(v.GetPlanePointer(0), outside.data());
}

}  // namespace
