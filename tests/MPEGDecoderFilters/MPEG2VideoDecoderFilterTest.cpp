// The MPEG-2 video filter in a graph: offered types, decoding with times, rates, sub-segments,
// refused format changes, skipped frames and the edge cases of the streaming path.
#include <gtest/gtest.h>

#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/FilterCreation.h"
#include "VideoIO/MPEGDecoderFilters/MPEG2VideoDecoderFilter.h"
#include "tests/MPEGDecoderFilters/FilterTestSupport.h"
#include "tests/support/ReportCapture.h"
#include "tools/qmdecode/StreamProbe.h"
#include "tools/qmdecode/VideoUnits.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;

struct Stream {
    std::vector<uint8_t> file;
    qmdecode::ProbedStream probe;
    std::vector<qmdecode::VideoUnit> units;
};

Stream LoadSample(const char* name = "sample-mpeg2.m2v") {
    Stream s;
    s.file = ReadFile(SourceDir() / "samples" / name);
    EXPECT_FALSE(s.file.empty());
    EXPECT_FALSE(qmdecode::ProbeStream(s.file, std::nullopt, 48000, &s.probe));
    s.units = qmdecode::SplitVideoUnits(s.file.data(), s.file.size(), s.probe.avgTimePerFrame);
    return s;
}

// source -> filter -> any video, input buffers large enough for every picture.
HRESULT Build(FilterChain& chain, const Stream& s,
              HRESULT (*create)(IBaseFilter**) = CreateMPEG2VideoDecoderFilter) {
    size_t largest = 0;
    for (const auto& u : s.units) largest = std::max(largest, u.size);
    return chain.Build(create, s.probe.inputType, {MajorSubtype(MEDIATYPE_Video, GUID_NULL)},
                       LONG(largest));
}

// Delivers pictures [from, to) with their presentation times shifted by `offset`, each lasting
// `length` (0: a frame); returns the first result that is not S_OK.
HRESULT DeliverPictures(FilterChain& chain, const Stream& s, REFERENCE_TIME offset = 0,
                        size_t from = 0, size_t to = SIZE_MAX, REFERENCE_TIME length = 0) {
    HRESULT result = S_OK;
    for (size_t i = from; i < std::min(to, s.units.size()); ++i) {
        qm::graph::SampleSpec spec;
        spec.start = s.units[i].pts + offset;
        spec.stop = spec.start.value() + (length ? length : s.probe.avgTimePerFrame);
        const HRESULT hr =
            chain.source->Deliver(s.file.data() + s.units[i].offset, s.units[i].size, spec);
        if (result == S_OK) result = hr;
    }
    return result;
}

TEST(MPEG2VideoDecoderFilter, DecodesEveryPictureWithItsTime) {
    for (const char* name : {"sample-mpeg2.m2v", "sample-mpeg1.m1v"}) {
        SCOPED_TRACE(name);
        const Stream s = LoadSample(name);
        FilterChain chain;
        ASSERT_EQ(Build(chain, s), S_OK);
        ASSERT_EQ(chain.Start(), S_OK);
        ASSERT_EQ(DeliverPictures(chain, s), S_OK);
        ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
        const auto samples = chain.sink->Samples();
        ASSERT_EQ(samples.size(), s.units.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            EXPECT_EQ(samples[i].start, REFERENCE_TIME(i) * s.probe.avgTimePerFrame) << i;
            EXPECT_EQ(samples[i].stop - samples[i].start, s.probe.avgTimePerFrame);
        }
        EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
    }
}

TEST(MPEG2VideoDecoderFilter, OffersTwentyTypesPreferredFirst) {
    const Stream s = LoadSample();
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    auto* filter = dynamic_cast<MPEG2VideoDecoderFilter*>(chain.filter.Get());
    ASSERT_NE(filter, nullptr);
    const GUID preferred = filter->PreferredSubtype();
    int preferredRow = -1;
    for (int i = 0; i < qm::GetSubtypeColorFormatCount(); ++i)
        if (preferredRow < 0 && IsEqualGUID(qm::GetSubtypeColorFormat(i).subtype, preferred))
            preferredRow = i;
    ASSERT_GE(preferredRow, 0);
    for (int position = 0; position < 20; ++position) {
        CMediaType t;
        ASSERT_EQ(filter->GetMediaType(position, &t), S_OK) << position;
        const int row = position == 0              ? preferredRow
                        : position <= preferredRow ? position - 1
                                                   : position;
        EXPECT_TRUE(IsEqualGUID(t.subtype, qm::GetSubtypeColorFormat(row).subtype)) << position;
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(t.pbFormat);
        if (qm::IsRGBVideoType(t))
            EXPECT_LT(vih->bmiHeader.biHeight, 0) << position;  // top-down RGB
        else
            EXPECT_GT(vih->bmiHeader.biHeight, 0) << position;
    }
    CMediaType t;
    EXPECT_EQ(filter->GetMediaType(20, &t), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(filter->GetMediaType(0, nullptr), E_INVALIDARG);
}

TEST(MPEG2VideoDecoderFilter, RatesAndSubSegments) {
    ReportCapture capture;
    const Stream s = LoadSample();
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    EXPECT_EQ(chain.source->DeliverNewSegment(0, 0, 2.0), E_NOTIMPL);
    EXPECT_TRUE(capture.Contains("(dRate == 1.0) || (dRate == -1.0)"));
    EXPECT_EQ(chain.source->DeliverNewSegment(0, 0, -1.0), S_OK);

    ComPtr<IPin> in;
    ASSERT_EQ(chain.filter->FindPin(TEXT("in0"), in.Out()), S_OK);
    ComPtr<ISubSegment> sub;
    ASSERT_EQ(in->QueryInterface(IID_ISubSegment, reinterpret_cast<void**>(sub.Out())), S_OK);
    EXPECT_EQ(sub->NewSubSegment(0, 0.0), E_INVALIDARG);
    EXPECT_EQ(sub->NewSubSegment(0, 1.0), E_INVALIDARG);
    ASSERT_EQ(sub->NewSubSegment(0, -2.0), S_OK);

    // A backward section with negative stream times: output times are divided by the rate.
    const REFERENCE_TIME offset = -100000000;  // ten seconds before the segment start
    ASSERT_EQ(DeliverPictures(chain, s, offset), S_OK);
    ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), s.units.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const REFERENCE_TIME start = REFERENCE_TIME(i) * s.probe.avgTimePerFrame + offset;
        EXPECT_EQ(samples[i].start, REFERENCE_TIME(double(start) / -2.0)) << i;
    }
}

TEST(MPEG2VideoDecoderFilter, RefusedInterlaceChangeIsRetried) {
    Stream s = LoadSample();
    // Claim bottom field first: the pictures say top field first, so the filter asks to change.
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(s.probe.inputType.pbFormat);
    info->hdr.dwInterlaceFlags = AMINTERLACE_IsInterlaced;
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    chain.sink->SetQueryAcceptAnswer(false);
    ASSERT_EQ(chain.Start(), S_OK);
    const size_t half = s.units.size() / 2;
    ASSERT_EQ(DeliverPictures(chain, s, 0, 0, half), S_OK);
    for (const auto& sample : chain.sink->Samples()) EXPECT_FALSE(sample.hasMediaType);
    chain.sink->SetQueryAcceptAnswer(true);
    ASSERT_EQ(DeliverPictures(chain, s, 0, half), S_OK);
    const auto samples = chain.sink->Samples();
    size_t changed = 0;
    for (const auto& sample : samples) {
        if (!sample.hasMediaType) continue;
        ++changed;
        DWORD flags = 0;
        ASSERT_EQ(qm::GetInterlaceFlags(sample.mediaType, &flags), S_OK);
        EXPECT_EQ(flags, DWORD(AMINTERLACE_IsInterlaced | AMINTERLACE_Field1First));
    }
    EXPECT_EQ(changed, 1u);  // attached once, to the first sample after the change
}

TEST(MPEG2VideoDecoderFilter, StreamingEdgeCases) {
    const Stream s = LoadSample();
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    qm::graph::SampleSpec spec;
    spec.start = 0;
    spec.stop = 1;
    // Fewer than 4 bytes: accepted, not decoded.
    EXPECT_EQ(chain.source->Deliver(s.file.data(), 3, spec), S_OK);
    // A sample without times is refused.
    EXPECT_TRUE(FAILED(chain.source->Deliver(s.file.data(), s.units[0].size)));
    // While flushing, Receive answers S_FALSE and leaves the codec alone.
    ASSERT_EQ(chain.source->DeliverBeginFlush(), S_OK);
    EXPECT_EQ(chain.source->Deliver(s.file.data(), s.units[0].size, spec), S_FALSE);
    ASSERT_EQ(chain.source->DeliverEndFlush(), S_OK);
    // End of stream before any picture: nothing to drain, end of stream goes downstream.
    ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    EXPECT_EQ(chain.sink->SampleCount(), 0u);
    EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
}

// Skips every picture, to see the quality event of the delivery step.
class SkippingFilter : public MPEG2VideoDecoderFilter {
public:
    using MPEG2VideoDecoderFilter::MPEG2VideoDecoderFilter;

protected:
    HRESULT DecodeIntoSample(UMC::MediaData* pInput, IMediaSample* pOutSample) override {
        const HRESULT hr = MPEG2VideoDecoderFilter::DecodeIntoSample(pInput, pOutSample);
        return hr == S_OK ? S_FALSE : hr;
    }
};

HRESULT CreateSkippingFilter(IBaseFilter** pp) {
    return CreateFilter<SkippingFilter>(pp);
}

TEST(MPEG2VideoDecoderFilter, QualityChangeOncePerRunOfSkips) {
    const Stream s = LoadSample();
    FilterChain chain;
    ASSERT_EQ(Build(chain, s, CreateSkippingFilter), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    const size_t third = s.units.size() / 3;
    DeliverPictures(chain, s, 0, 0, third, 1);
    EXPECT_EQ(chain.sink->SampleCount(), 0u);
    EXPECT_EQ(chain.graph->CountEvents(EC_QUALITY_CHANGE), 1);
    // Pausing clears the flag: the next run of skips reports again.
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    ASSERT_EQ(chain.graph->Run(), S_OK);
    DeliverPictures(chain, s, 0, third, 2 * third, 1);
    EXPECT_EQ(chain.graph->CountEvents(EC_QUALITY_CHANGE), 2);
}

}  // namespace
