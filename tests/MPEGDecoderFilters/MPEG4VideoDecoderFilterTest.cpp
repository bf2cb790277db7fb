// The MPEG-4 video filter in a graph: accepted types and format blocks, offered types, the
// running output clock, draining, flushing, new segments, output type changes, and pictures
// whose width or chroma width is odd, from the output type's size to the samples delivered in
// each YUV output format.
#include <gtest/gtest.h>

#include <cstring>

#include "SDKs/CodecFramework/CodecCommon/MediaSampleGlue.h"
#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/FilterUtil/SampleInterfaces.h"
#include "VideoIO/MPEGDecoderFilters/FilterCreation.h"
#include "VideoIO/MPEGDecoderFilters/MPEG4VideoDecoderFilter.h"
#include "tests/MPEGDecoderFilters/VideoStreamSupport.h"
#include "tests/support/ReportCapture.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;

GUID FourCC(const char* c) {
    return qm::MediaSubtypeFromFourCC(DWORD(uint8_t(c[0])) | DWORD(uint8_t(c[1])) << 8 |
                                      DWORD(uint8_t(c[2])) << 16 | DWORD(uint8_t(c[3])) << 24);
}

using Stream = VideoStream;

Stream Load(const char* name) {
    return LoadVideoStream(FixtureDir() / "mpeg4" / name);
}

HRESULT Build(FilterChain& chain, const Stream& s, const CMediaType* input = nullptr) {
    return BuildVideoChain(chain, s, CreateMPEG4VideoDecoderFilter, input);
}

// Delivers every VOP; each sample carries marker time `marker` when it is given.
HRESULT DeliverAll(FilterChain& chain, const Stream& s, std::optional<REFERENCE_TIME> marker) {
    if (!marker) return DeliverUnits(chain, s);
    return DeliverUnits(chain, s, 0, 0, SIZE_MAX, 0, [&](IMediaSample* sample) {
        IMediaSampleMarker* m = nullptr;
        if (SUCCEEDED(
                sample->QueryInterface(IID_IMediaSampleMarker, reinterpret_cast<void**>(&m))) &&
            m) {
            m->SetMarkerTime1(*marker);
            m->Release();
        }
    });
}

TEST(MPEG4VideoDecoderFilter, AcceptedTypesAndFormatBlocks) {
    ReportCapture capture;
    HRESULT hr = S_OK;
    auto* filter = new MPEG4VideoDecoderFilter(&hr);
    ASSERT_EQ(hr, S_OK);
    filter->AddRef();
    CMediaType t;
    t.majortype = MEDIATYPE_Video;
    for (const char* accepted :
         {"divx", "DIVX", "XVID", "DX50", "MP4V", "mp4v", "M4S2", "m4s2", "DIV5"}) {
        t.subtype = FourCC(accepted);
        EXPECT_EQ(filter->CheckInputType(&t), S_OK) << accepted;
    }
    for (const char* refused : {"xvid", "H263", "MPG4"}) {
        t.subtype = FourCC(refused);
        EXPECT_EQ(filter->CheckInputType(&t), VFW_E_TYPE_NOT_ACCEPTED) << refused;
    }
    // Another format block passes the type check but not SetMediaType, without a report.
    t.subtype = FourCC("XVID");
    t.formattype = FORMAT_WaveFormatEx;
    const size_t before = capture.Count();
    EXPECT_EQ(filter->SetMediaType(PINDIR_INPUT, &t), E_FAIL);
    EXPECT_EQ(capture.Count(), before);
    filter->Release();

    // VIDEOINFOHEADER2 with the VOL after it: the size and types come from it.
    const Stream s = Load("intra_odd74x42.m4v");
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(s.probe.inputType.pbFormat);
    const size_t headers = s.probe.inputType.cbFormat - sizeof(VIDEOINFOHEADER);
    ASSERT_GT(headers, 0u);
    CMediaType v2;
    v2.majortype = MEDIATYPE_Video;
    v2.subtype = FourCC("DX50");
    v2.formattype = FORMAT_VideoInfo2;
    BYTE* block = v2.AllocFormatBuffer(ULONG(sizeof(VIDEOINFOHEADER2) + headers));
    std::memset(block, 0, sizeof(VIDEOINFOHEADER2));
    auto* vih2 = reinterpret_cast<VIDEOINFOHEADER2*>(block);
    vih2->AvgTimePerFrame = 400000;
    vih2->dwPictAspectRatioX = 74;
    vih2->dwPictAspectRatioY = 42;
    vih2->bmiHeader = vih->bmiHeader;
    std::memcpy(block + sizeof(VIDEOINFOHEADER2),
                s.probe.inputType.pbFormat + sizeof(VIDEOINFOHEADER), headers);
    FilterChain chain;
    ASSERT_EQ(Build(chain, s, &v2), S_OK);
    auto* f = dynamic_cast<MPEG4VideoDecoderFilter*>(chain.filter.Get());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->DecoderParams().info.clip_width, 74);
    EXPECT_EQ(f->DecoderParams().info.clip_height, 42);

    // The preferred subtype first, then every other row of the table; RGB heights not negated.
    const std::vector<GUID>& offered = f->OutputSubtypes();
    ASSERT_EQ(offered.size(), size_t(qm::GetSubtypeColorFormatCount()));
    EXPECT_TRUE(IsEqualGUID(offered[0], FourCC("I420")));
    for (size_t i = 0; i < offered.size(); ++i) {
        CMediaType out;
        ASSERT_EQ(f->GetMediaType(int(i), &out), S_OK);
        EXPECT_TRUE(IsEqualGUID(out.subtype, offered[i]));
        EXPECT_TRUE(IsEqualGUID(out.formattype, FORMAT_VideoInfo2));
        EXPECT_GT(reinterpret_cast<const VIDEOINFOHEADER2*>(out.pbFormat)->bmiHeader.biHeight, 0);
    }
    CMediaType out;
    EXPECT_EQ(f->GetMediaType(int(offered.size()), &out), VFW_S_NO_MORE_ITEMS);

    // A type without a frame duration is refused.
    FilterChain untimed;
    vih2->AvgTimePerFrame = 0;
    EXPECT_EQ(Build(untimed, s, &v2) != S_OK, true);
    EXPECT_TRUE(capture.Contains("avgTimePerSample > 0"));
}

// The sample allocator's samples carry a marker: the clock starts at its negation, 400 000 apart
// at 25 pictures a second, and again from the next marked sample after a new segment. Display
// order holds the last picture until end of stream; a flush drops it.
TEST(MPEG4VideoDecoderFilter, PicturesFromTheRunningClockNewSegmentsAndTheDrain) {
    const Stream s = Load("intra_resync.m4v");
    const size_t n = s.units.size();
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    ASSERT_EQ(DeliverAll(chain, s, REFERENCE_TIME(-1000000)), S_OK);
    EXPECT_EQ(chain.sink->SampleCount(), n - 1);
    ASSERT_EQ(chain.source->DeliverBeginFlush(), S_OK);
    EXPECT_EQ(chain.source->Deliver(s.file.data(), s.units[0].size, {}), S_FALSE);
    ASSERT_EQ(chain.source->DeliverEndFlush(), S_OK);
    ASSERT_EQ(chain.source->DeliverNewSegment(0, 0, 1.0), S_OK);
    ASSERT_EQ(DeliverAll(chain, s, REFERENCE_TIME(-3000000)), S_OK);
    ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 2 * n - 1);
    for (size_t i = 0; i < samples.size(); ++i) {
        const REFERENCE_TIME start = i < n - 1 ? 1000000 + REFERENCE_TIME(i) * 400000
                                               : 3000000 + REFERENCE_TIME(i - n + 1) * 400000;
        EXPECT_EQ(std::pair(samples[i].start, samples[i].stop), std::pair(start, start + 400000))
            << i;
        EXPECT_EQ(samples[i].typeSpecificFlags & AM_VIDEO_FLAG_IPB_MASK,
                  DWORD(AM_VIDEO_FLAG_I_SAMPLE));
        EXPECT_EQ(samples[i].data.size(), size_t(96 * 64 * 3 / 2));
    }
    EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
}

TEST(MPEG4VideoDecoderFilter, InterlacedStreamChangesTheOutputTypeOnce) {
    const Stream s = Load("intra_interlaced.m4v");
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    ASSERT_EQ(DeliverAll(chain, s, {}), S_OK);
    ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), s.units.size());
    size_t changed = 0;
    for (const auto& sample : samples) {
        if (!sample.hasMediaType) continue;
        ++changed;
        DWORD flags = 0;
        ASSERT_EQ(qm::GetInterlaceFlags(sample.mediaType, &flags), S_OK);
        EXPECT_NE(flags & AMINTERLACE_IsInterlaced, 0u);
    }
    EXPECT_EQ(changed, 1u);
}

TEST(MPEG4VideoDecoderFilter, BuffersForTenPicturesOfTheOutputType) {
    ReportCapture capture;
    const Stream s = Load("intra_odd74x42.m4v");
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    auto* filter = dynamic_cast<CTransformFilter*>(chain.filter.Get());
    ASSERT_NE(filter, nullptr);
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMemAllocator, reinterpret_cast<void**>(allocator.Out())),
              S_OK);
    ALLOCATOR_PROPERTIES props{0, 0, 1, 0};
    ASSERT_EQ(filter->DecideBufferSize(allocator.Get(), &props), S_OK);
    EXPECT_EQ(props.cBuffers, 10);
    CMediaType preferred;  // I420, the type the sink took
    ASSERT_EQ(filter->GetMediaType(0, &preferred), S_OK);
    EXPECT_EQ(props.cbBuffer, LONG(preferred.GetSampleSize()));
    EXPECT_GE(props.cbBuffer, 74 * 42 + 2 * 37 * 21);
}

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
        for (const auto& [w, h] : {std::pair{351, 239}, {1, 1}, {2, 3}, {354, 2}}) {
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

// Inter streams in each YUV output format: the same pictures as I420 (whose bytes the tools'
// agreement test checks against the codec's), in display order with their I/P/B flags (inter_b2:
// I B B I B B P B B P) and times from an unmarked clock at 0; the last reference waits for the
// end of stream.
TEST(MPEG4VideoDecoderFilter, InterStreamsInDisplayOrderInEveryYuvFormat) {
    const DWORD I = AM_VIDEO_FLAG_I_SAMPLE, P = AM_VIDEO_FLAG_P_SAMPLE, B = AM_VIDEO_FLAG_B_SAMPLE;
    const struct {
        const char* name;
        int w, h;
        std::vector<DWORD> types;
    } streams[] = {{"inter_b2", 64, 48, {I, B, B, I, B, B, P, B, B, P}},
                   {"inter_odd74x42", 74, 42, {}}};
    for (const auto& st : streams) {
        const Stream s = Load((std::string(st.name) + ".m4v").c_str());
        std::vector<std::vector<uint8_t>> first;
        for (const GUID& subtype : kYuvSubtypes) {
            SCOPED_TRACE(testing::Message() << st.name << " " << subtype.Data1);
            FilterChain chain;
            ASSERT_EQ(chain.Build(CreateMPEG4VideoDecoderFilter, s.probe.inputType,
                                  {MajorSubtype(MEDIATYPE_Video, subtype)}, LONG(s.file.size())),
                      S_OK);
            ASSERT_TRUE(IsEqualGUID(chain.SinkType().subtype, subtype));
            ASSERT_EQ(chain.Start(), S_OK);
            ASSERT_EQ(DeliverUnits(chain, s), S_OK);
            EXPECT_EQ(chain.sink->SampleCount(), 9u);
            const auto samples = chain.Finish();
            ASSERT_EQ(samples.size(), 10u);
            std::vector<std::vector<uint8_t>> pictures;
            for (size_t i = 0; i < samples.size(); ++i) {
                EXPECT_EQ(samples[i].start, REFERENCE_TIME(i) * 400000);
                if (!st.types.empty()) {
                    EXPECT_EQ(samples[i].typeSpecificFlags & AM_VIDEO_FLAG_IPB_MASK, st.types[i]);
                }
                pictures.push_back(ToI420(samples[i].data, subtype, st.w, st.h));
            }
            if (first.empty()) first = pictures;
            EXPECT_EQ(pictures, first);
        }
    }
}

}  // namespace
