// Pictures whose width or chroma width is odd, from the output type's size to the samples the
// MPEG-4 filter delivers in each YUV output format.
#include <gtest/gtest.h>

#include <cmath>

#include "SDKs/CodecFramework/CodecCommon/MediaSampleGlue.h"
#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/FilterCreation.h"
#include "tests/MPEGDecoderFilters/VideoStreamSupport.h"

namespace {

using namespace qm::test;

const GUID kYuvSubtypes[] = {qm::MEDIASUBTYPE_I420, MEDIASUBTYPE_IYUV, MEDIASUBTYPE_YV12,
                             MEDIASUBTYPE_NV12,     MEDIASUBTYPE_YUY2, MEDIASUBTYPE_UYVY};

// The planes a sample of an output type is laid out in hold every sample of the picture, and the
// type's sample size covers them: odd widths keep their last chroma sample in each row.
TEST(OddSizeOutput, SampleSizeHoldsThePlanesOfEveryYuvType) {
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMemAllocator, reinterpret_cast<void**>(allocator.Out())),
              S_OK);
    for (const GUID& subtype : kYuvSubtypes)
        for (const auto& [w, h] : {std::pair{351, 239},
                                   {75, 43},
                                   {1, 1},
                                   {351, 1},
                                   {2, 3},
                                   {7, 2},
                                   {74, 42},
                                   {354, 2}}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << " " << subtype.Data1);
            CMediaType mt;
            ASSERT_EQ(qm::CreateVideoInfoHeader2Type(&mt, w, h, 1, 1, 0, &subtype, 400000, 0),
                      S_OK);
            const LONG size = LONG(mt.GetSampleSize());
            ALLOCATOR_PROPERTIES want{1, size, 1, 0}, got{};
            ASSERT_EQ(allocator->Decommit(), S_OK);
            ASSERT_EQ(allocator->SetProperties(&want, &got), S_OK);
            ASSERT_EQ(allocator->Commit(), S_OK);
            IMediaSample* sample = nullptr;
            ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
            UMC::VideoData picture;
            EXPECT_EQ(qm::InitVideoDataFromSample(mt, sample, &picture), S_OK);
            EXPECT_LE(picture.GetMappingSize(), size_t(size));
            for (int i = 0; i < picture.GetNumPlanes(); ++i) {
                const auto* p = picture.GetPlaneInfo(i);
                size_t row = size_t(p->m_width) * p->m_iSamples * p->m_iSampleSize;
                if (picture.GetColorFormat() == UMC::NV12 && i == 1) row = size_t(w + 1) & ~1u;
                EXPECT_GE(p->m_nPitch, row) << "plane " << i;
            }
            sample->Release();
        }
    ASSERT_EQ(allocator->Decommit(), S_OK);
}

// One picture of any YUV output back in planar 4:2:0 (Y, U, V), read through the layout the
// filter wrote it in.
std::vector<uint8_t> ToI420(const std::vector<BYTE>& data, const GUID& subtype, int w, int h) {
    UMC::VideoData v;
    const UMC::ColorFormat f = qm::ColorFormatFromSubtype(subtype);
    EXPECT_EQ(v.Init(w, h, f), UMC::STATUS_OK);
    EXPECT_EQ(v.SetSurface(const_cast<BYTE*>(data.data()), 0), UMC::STATUS_OK);
    EXPECT_LE(v.GetMappingSize(), data.size());
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    std::vector<uint8_t> out;
    auto at = [&](int plane, int x, int y) {
        return v.GetPlanePointer(plane)[size_t(y) * v.GetPlanePitch(plane) + size_t(x)];
    };
    for (int c = 0; c < 3; ++c) {
        const int pw = c ? cw : w, ph = c ? ch : h;
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x) {
                switch (f) {
                    case UMC::YUV420:
                        out.push_back(at(c, x, y));
                        break;
                    case UMC::YV12:
                        out.push_back(at(c ? 3 - c : 0, x, y));
                        break;
                    case UMC::NV12:
                        out.push_back(c ? at(1, 2 * x + c - 1, y) : at(0, x, y));
                        break;
                    case UMC::YUY2:
                        out.push_back(c ? at(0, 4 * x + 2 * c - 1, 2 * y) : at(0, 2 * x, y));
                        break;
                    default:  // UYVY
                        out.push_back(c ? at(0, 4 * x + 2 * c - 2, 2 * y) : at(0, 2 * x + 1, y));
                        break;
                }
            }
    }
    return out;
}

// The 74x42 inter stream (37x21 chroma) into each YUV format: the same pictures as I420, which
// are within 45 dB of ffmpeg's decode.
TEST(OddSizeOutput, Mpeg4StreamIntoEveryYuvFormat) {
    const VideoStream s = LoadVideoStream(FixtureDir() / "mpeg4" / "inter_odd74x42.m4v");
    const std::vector<uint8_t> reference = ReadBytes(FixtureDir() / "mpeg4" / "inter_odd74x42.yuv");
    constexpr int kW = 74, kH = 42;
    constexpr size_t kFrame = kW * kH + 2 * 37 * 21;
    ASSERT_EQ(reference.size(), 10 * kFrame);
    std::vector<std::vector<uint8_t>> first;
    for (const GUID& subtype : kYuvSubtypes) {
        SCOPED_TRACE(subtype.Data1);
        FilterChain chain;
        ASSERT_EQ(
            chain.Build(qm_MPEGDecoderFilters::CreateMPEG4VideoDecoderFilter, s.probe.inputType,
                        {MajorSubtype(MEDIATYPE_Video, subtype)}, LONG(s.file.size())),
            S_OK);
        ASSERT_TRUE(IsEqualGUID(chain.SinkType().subtype, subtype));
        ASSERT_EQ(chain.Start(), S_OK);
        ASSERT_EQ(DeliverUnits(chain, s), S_OK);
        const auto samples = chain.Finish();
        ASSERT_EQ(samples.size(), 10u);
        std::vector<std::vector<uint8_t>> pictures;
        for (const auto& sample : samples) pictures.push_back(ToI420(sample.data, subtype, kW, kH));
        if (first.empty()) {
            first = pictures;
            for (size_t i = 0; i < pictures.size(); ++i) {
                double sum = 0;
                for (size_t k = 0; k < kFrame; ++k) {
                    const double d = double(pictures[i][k]) - reference[i * kFrame + k];
                    sum += d * d;
                }
                EXPECT_TRUE(sum == 0 || 10 * std::log10(255.0 * 255.0 * kFrame / sum) >= 45.0) << i;
            }
        } else {
            for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(pictures[i], first[i]) << i;
        }
    }
}

}  // namespace
