// The MPEG-4 video filter in a graph: accepted types and format blocks, offered types, the
// running output clock, draining, flushing, new segments and output type changes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

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

TEST(MPEG4VideoDecoderFilter, PicturesFromTheRunningClockAndTheDrain) {
    const Stream s = Load("intra_resync.m4v");
    for (std::optional<REFERENCE_TIME> marker :
         {std::optional<REFERENCE_TIME>{}, std::optional<REFERENCE_TIME>(-5000000)}) {
        FilterChain chain;
        ASSERT_EQ(Build(chain, s), S_OK);
        ASSERT_EQ(chain.Start(), S_OK);
        ASSERT_EQ(DeliverAll(chain, s, marker), S_OK);
        // Display order holds the last picture until end of stream.
        EXPECT_EQ(chain.sink->SampleCount(), s.units.size() - 1);
        ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
        const auto samples = chain.sink->Samples();
        ASSERT_EQ(samples.size(), s.units.size());
        // The sample allocator's samples carry a marker (0 unless set): the clock starts at its
        // negation, 400 000 apart at 25 pictures a second.
        const REFERENCE_TIME first = marker ? -*marker : 0;
        for (size_t i = 0; i < samples.size(); ++i) {
            EXPECT_EQ(samples[i].start, first + REFERENCE_TIME(i) * 400000) << i;
            EXPECT_EQ(samples[i].stop - samples[i].start, 400000);
            EXPECT_EQ(samples[i].typeSpecificFlags & AM_VIDEO_FLAG_IPB_MASK,
                      DWORD(AM_VIDEO_FLAG_I_SAMPLE));
            EXPECT_EQ(samples[i].data.size(), size_t(96 * 64 * 3 / 2));
        }
        EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
    }
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

TEST(MPEG4VideoDecoderFilter, NewSegmentRestartsTheClockAndFlushLeavesTheCodec) {
    const Stream s = Load("intra_resync.m4v");
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    ASSERT_EQ(DeliverAll(chain, s, REFERENCE_TIME(-1000000)), S_OK);
    ASSERT_EQ(chain.source->DeliverBeginFlush(), S_OK);
    EXPECT_EQ(chain.source->Deliver(s.file.data(), s.units[0].size, {}), S_FALSE);
    ASSERT_EQ(chain.source->DeliverEndFlush(), S_OK);
    ASSERT_EQ(chain.source->DeliverNewSegment(0, 0, 1.0), S_OK);
    ASSERT_EQ(DeliverAll(chain, s, REFERENCE_TIME(-3000000)), S_OK);
    ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 2 * s.units.size() - 1);
    EXPECT_EQ(samples[0].start, 1000000);
    // After the new segment the clock starts again from the next marked sample.
    EXPECT_EQ(samples[s.units.size() - 1].start, 3000000);
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

// An inter stream with B-VOPs (inter_b2: display order I B B I B B P B B P): every picture in
// display order with its I/P/B flag and the size of the output type, within 45 dB of ffmpeg's
// decode; the last reference waits for the end of stream.
TEST(MPEG4VideoDecoderFilter, InterStreamInDisplayOrder) {
    const Stream s = Load("inter_b2.m4v");
    const std::vector<uint8_t> reference = ReadBytes(FixtureDir() / "mpeg4" / "inter_b2.yuv");
    constexpr size_t kFrame = 64 * 48 * 3 / 2;
    ASSERT_EQ(reference.size(), 10 * kFrame);
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    ASSERT_EQ(DeliverAll(chain, s, REFERENCE_TIME(0)), S_OK);
    EXPECT_EQ(chain.sink->SampleCount(), 9u);
    ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 10u);
    const DWORD I = AM_VIDEO_FLAG_I_SAMPLE, P = AM_VIDEO_FLAG_P_SAMPLE, B = AM_VIDEO_FLAG_B_SAMPLE;
    const DWORD types[10] = {I, B, B, I, B, B, P, B, B, P};
    for (size_t i = 0; i < samples.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(samples[i].typeSpecificFlags & AM_VIDEO_FLAG_IPB_MASK, types[i]);
        EXPECT_EQ(samples[i].start, REFERENCE_TIME(i) * 400000);
        ASSERT_EQ(samples[i].data.size(), kFrame);
        double sum = 0;
        for (size_t k = 0; k < kFrame; ++k) {
            const double d = double(samples[i].data[k]) - reference[i * kFrame + k];
            sum += d * d;
        }
        EXPECT_TRUE(sum == 0 || 10 * std::log10(255.0 * 255.0 * kFrame / sum) >= 45.0);
    }
    EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
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

TEST(MPEG4VideoDecoderFilter, StreamingEdgeCases) {
    const Stream s = Load("inter_p.m4v");
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    qm::graph::SampleSpec spec;
    spec.start = 0;
    spec.stop = 1;
    // Four bytes or fewer: accepted, not decoded (a start code alone).
    EXPECT_EQ(chain.source->Deliver(s.file.data() + s.units[0].offset, 4, spec), S_OK);
    // End of stream before any picture: nothing to drain, end of stream goes downstream.
    ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    EXPECT_EQ(chain.sink->SampleCount(), 0u);
    EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
}

}  // namespace
