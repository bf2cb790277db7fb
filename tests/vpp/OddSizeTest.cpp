// Pictures of odd width or height through the chain into every 4:2:0 output: the last column and
// row are converted like those of the picture with its edge repeated to an even size, in
// buffers laid out exactly as a filter's sample is, with nothing written past them.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "SDKs/CodecFramework/vpp/VideoProcessing.h"

namespace {

using namespace UMC;

constexpr uint8_t kGuard = 0xA5;

// A picture described over its own vector, as the filters lay one over a sample (pitch 0: the
// layout's own), with guard bytes after the mapping.
struct Surface {
    VideoData v;
    std::vector<uint8_t> bytes;
    size_t mapping = 0;

    Status Make(int w, int h, ColorFormat format) {
        Status st = v.Init(w, h, format);
        if (st != STATUS_OK) return st;
        mapping = v.GetMappingSize();
        bytes.assign(mapping + 64, kGuard);
        return v.SetSurface(bytes.data(), 0);
    }
    bool GuardIntact() const {
        for (size_t i = mapping; i < bytes.size(); ++i)
            if (bytes[i] != kGuard) return false;
        return true;
    }
};

// A 4:2:0 picture with a different value at every sample, and its copy with the last column and
// row repeated to an even size.
void Fill(VideoData& v, int seed) {
    for (int i = 0; i < 3; ++i) {
        const VideoData::PlaneInfo* p = v.GetPlaneInfo(i);
        for (int y = 0; y < p->m_height; ++y)
            for (int x = 0; x < p->m_width; ++x)
                p->m_pPlane[size_t(y) * p->m_nPitch + size_t(x)] =
                    uint8_t(16 + (x * 7 + y * 13 + i * 71 + seed) % 220);
    }
}

void Extend(const VideoData& odd, VideoData& even) {
    for (int i = 0; i < 3; ++i) {
        const VideoData::PlaneInfo* s = odd.GetPlaneInfo(i);
        const VideoData::PlaneInfo* d = even.GetPlaneInfo(i);
        for (int y = 0; y < d->m_height; ++y)
            for (int x = 0; x < d->m_width; ++x)
                d->m_pPlane[size_t(y) * d->m_nPitch + size_t(x)] =
                    s->m_pPlane[size_t(std::min(y, s->m_height - 1)) * s->m_nPitch +
                                size_t(std::min(x, s->m_width - 1))];
    }
}

// The bytes of each plane that lie inside a w x h picture, row by row; a packed pair or an NV12
// chroma pair counts whole.
std::vector<uint8_t> Inside(const VideoData& v, int w, int h) {
    std::vector<uint8_t> out;
    const ColorFormat f = v.GetColorFormat();
    for (int i = 0; i < v.GetNumPlanes(); ++i) {
        const VideoData::PlaneInfo* p = v.GetPlaneInfo(i);
        const int sx = p->m_iWidthDiv, sy = p->m_iHeightDiv;
        size_t rowBytes = size_t((w + sx - 1) / sx) * p->m_iSamples * p->m_iSampleSize;
        if (f == NV12 && i == 1) rowBytes = size_t((w + 1) / 2) * 2;
        for (int y = 0; y < (h + sy - 1) / sy; ++y) {
            const uint8_t* row = p->m_pPlane + size_t(y) * p->m_nPitch;
            out.insert(out.end(), row, row + rowBytes);
        }
    }
    return out;
}

TEST(OddSizePictures, EveryOutputConvertsTheLastColumnAndRow) {
    const ColorFormat outputs[] = {YUV420, YV12,  NV12,   YUY2,   UYVY,       RGB32,
                                   ARGB32, RGB24, RGB565, RGB555, RGB16_OTHER};
    const struct {
        int w, h;
    } sizes[] = {{351, 239}, {75, 43}, {74, 43}, {75, 42}, {1, 1},
                 {3, 1},     {1, 77},  {77, 1},  {33, 67}};
    for (const auto& [w, h] : sizes) {
        Surface in;
        ASSERT_EQ(in.Make(w, h, YUV420), STATUS_OK);
        Fill(in.v, w + h);
        VideoData even;
        ASSERT_EQ(even.Init((w + 1) & ~1, (h + 1) & ~1, YUV420), STATUS_OK);
        ASSERT_EQ(even.Alloc(), STATUS_OK);
        Extend(in.v, even);
        for (ColorFormat f : outputs) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << " into " << GetColorFormatName(f));
            Surface out;
            ASSERT_EQ(out.Make(w, h, f), STATUS_OK);
            VideoProcessing chain;
            ASSERT_EQ(chain.GetFrame(&in.v, &out.v), STATUS_OK);
            EXPECT_TRUE(out.GuardIntact());

            VideoData expected;
            ASSERT_EQ(expected.Init(even.GetWidth(), even.GetHeight(), f), STATUS_OK);
            ASSERT_EQ(expected.Alloc(), STATUS_OK);
            VideoProcessing reference;
            ASSERT_EQ(reference.GetFrame(&even, &expected), STATUS_OK);
            EXPECT_EQ(Inside(out.v, w, h), Inside(expected, w, h));
        }
    }
}

// Through the field-by-field conversion: an interlaced picture into YUY2 whose fields have an
// odd number of rows (or the frame an odd one) still gets every luma sample of every row.
TEST(OddSizePictures, InterlacedPackedOutputFillsEveryRow) {
    for (const int h : {239, 238, 5}) {
        SCOPED_TRACE(h);
        const int w = 75;
        Surface in;
        ASSERT_EQ(in.Make(w, h, YUV420), STATUS_OK);
        Fill(in.v, 3);
        in.v.SetPictureStructure(PS_TOP_FIELD_FIRST);
        Surface out;
        ASSERT_EQ(out.Make(w, h, YUY2), STATUS_OK);
        VideoProcessing chain;
        ASSERT_EQ(chain.GetFrame(&in.v, &out.v), STATUS_OK);
        EXPECT_TRUE(out.GuardIntact());
        const uint8_t* y = in.v.GetPlanePointer(0);
        const size_t yPitch = in.v.GetPlanePitch(0);
        const size_t pitch = out.v.GetPlanePitch(0);
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(out.bytes[size_t(row) * pitch + 2 * size_t(x)], y[row * yPitch + x])
                    << row << "," << x;
    }
}

}  // namespace
