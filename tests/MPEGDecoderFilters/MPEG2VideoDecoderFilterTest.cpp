// The MPEG-2 video filter in a graph: offered types, decoding with times, rates, sub-segments,
// refused format changes, skipped frames, odd-width RGB output and the input format block.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "SDKs/CodecFramework/core/VideoData.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/FilterCreation.h"
#include "VideoIO/MPEGDecoderFilters/MPEG2VideoDecoderFilter.h"
#include "primitives/ColourKernels.h"
#include "tests/MPEGDecoderFilters/VideoStreamSupport.h"
#include "tests/support/ReportCapture.h"
#include "tests/support/VideoTypes.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;

using Stream = VideoStream;

Stream LoadSample(const char* name = "sample-mpeg2.m2v") {
    return LoadVideoStream(SourceDir() / "samples" / name);
}

HRESULT Build(FilterChain& chain, const Stream& s,
              HRESULT (*create)(IBaseFilter**) = CreateMPEG2VideoDecoderFilter) {
    return BuildVideoChain(chain, s, create);
}

// Input buffers that hold the whole file (samples cut anywhere); the output connected with
// `output` when given, as a renderer proposes its own type; running.
HRESULT StartWholeFile(FilterChain& chain, const Stream& s, const CMediaType* output = nullptr) {
    const HRESULT hr = chain.Build(
        CreateMPEG2VideoDecoderFilter, s.probe.inputType,
        output ? std::vector<CMediaType>{} : std::vector{MajorSubtype(MEDIATYPE_Video, GUID_NULL)},
        LONG(s.file.size()), {}, output);
    return FAILED(hr) ? hr : chain.Start();
}

// Built and running.
HRESULT Start(FilterChain& chain, const Stream& s,
              HRESULT (*create)(IBaseFilter**) = CreateMPEG2VideoDecoderFilter) {
    const HRESULT hr = Build(chain, s, create);
    return FAILED(hr) ? hr : chain.Start();
}

TEST(MPEG2VideoDecoderFilter, OffersTwentyTypesPreferredFirst) {
    const Stream s = LoadSample();
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    auto* filter = dynamic_cast<MPEG2VideoDecoderFilter*>(chain.filter.Get());
    ASSERT_NE(filter, nullptr);
    // The decoder gives planar 4:2:0, whose first subtype is I420: it comes first, and the
    // other nineteen rows of the subtype table follow.
    const GUID i420 = qm::MediaSubtypeFromFourCC(DWORD('I') | DWORD('4') << 8 | DWORD('2') << 16 |
                                                 DWORD('0') << 24);
    EXPECT_TRUE(IsEqualGUID(filter->PreferredSubtype(), i420));
    for (int position = 0; position < 20; ++position) {
        CMediaType t;
        ASSERT_EQ(filter->GetMediaType(position, &t), S_OK) << position;
        if (position == 0) {
            EXPECT_TRUE(IsEqualGUID(t.subtype, i420));
        }
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(t.pbFormat);
        if (qm::IsRGBVideoType(t))
            EXPECT_LT(vih->bmiHeader.biHeight, 0) << position;  // top-down RGB
        else
            EXPECT_GT(vih->bmiHeader.biHeight, 0) << position;
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
    ASSERT_EQ(DeliverUnits(chain, s, 0, 0, half), S_OK);
    for (const auto& sample : chain.sink->Samples()) EXPECT_FALSE(sample.hasMediaType);
    chain.sink->SetQueryAcceptAnswer(true);
    ASSERT_EQ(DeliverUnits(chain, s, 0, half), S_OK);
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

// A demultiplexer cuts the stream where its packets end, not where pictures do. Whatever the
// cut, the pictures, their times and their order are those of one picture per sample. A sample
// carries a time only when a picture begins in it (the first one's), as packets do.
TEST(MPEG2VideoDecoderFilter, AnySplitIntoSamplesDecodesTheSame) {
    for (const char* name : {"sample-mpeg2.m2v", "sample-mpeg1.m1v"}) {
        SCOPED_TRACE(name);
        const Stream s = LoadSample(name);
        // Where each picture's start code lies (a unit may begin with sequence headers).
        std::vector<size_t> pictures;
        for (const auto& u : s.units) {
            size_t at = u.offset;
            const uint8_t* p = s.file.data();
            while (at + 4 <= u.offset + u.size &&
                   !(p[at] == 0 && p[at + 1] == 0 && p[at + 2] == 1 && p[at + 3] == 0))
                ++at;
            pictures.push_back(at);
        }
        auto decode = [&](const std::vector<size_t>& cuts) {
            FilterChain chain;
            EXPECT_EQ(StartWholeFile(chain, s), S_OK);
            size_t unit = 0;
            for (size_t i = 0; i + 1 < cuts.size(); ++i) {
                qm::graph::SampleSpec spec;
                while (unit < s.units.size() && pictures[unit] < cuts[i]) ++unit;
                // The first picture start code at or after the cut lies in this sample.
                if (unit < s.units.size() && pictures[unit] < cuts[i + 1]) {
                    spec.start = s.units[unit].pts;
                    spec.stop = *spec.start + s.probe.avgTimePerFrame;
                } else {
                    spec.start = spec.stop = 0;
                    spec.mediaStart = spec.mediaStop = 0x7FFFFFFFFFFFFFFFLL;
                }
                EXPECT_EQ(
                    chain.source->Deliver(s.file.data() + cuts[i], cuts[i + 1] - cuts[i], spec),
                    S_OK)
                    << cuts[i];
            }
            auto samples = chain.Finish();
            EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
            return samples;
        };
        // One picture per sample: every picture with its time.
        std::vector<size_t> whole;
        for (const auto& u : s.units) whole.push_back(u.offset);
        whole.push_back(s.file.size());
        const auto expected = decode(whole);
        ASSERT_EQ(expected.size(), s.units.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(std::pair(expected[i].start, expected[i].stop),
                      std::pair(REFERENCE_TIME(i) * s.probe.avgTimePerFrame,
                                REFERENCE_TIME(i + 1) * s.probe.avgTimePerFrame));

        std::mt19937 random(20261206);
        for (size_t largest : {size_t(7), size_t(300), size_t(5000), s.file.size() / 3}) {
            SCOPED_TRACE(largest);
            std::vector<size_t> cuts{0};
            while (cuts.back() < s.file.size())
                cuts.push_back(std::min(s.file.size(), cuts.back() + 1 + random() % largest));
            const auto got = decode(cuts);
            ASSERT_EQ(got.size(), expected.size());
            for (size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].start, expected[i].start) << i;
                EXPECT_EQ(got[i].stop, expected[i].stop) << i;
                EXPECT_TRUE(got[i].data == expected[i].data) << i;
            }
        }
    }
}

HRESULT CreateSkippingFilter(IBaseFilter** pp) {
    return CreateFilter<SkippingDecoder<MPEG2VideoDecoderFilter>>(pp);
}

TEST(MPEG2VideoDecoderFilter, QualityChangeOncePerRunOfSkips) {
    const Stream s = LoadSample();
    FilterChain chain;
    ASSERT_EQ(Start(chain, s, CreateSkippingFilter), S_OK);
    const size_t third = s.units.size() / 3;
    DeliverUnits(chain, s, 0, 0, third, 1);
    EXPECT_EQ(chain.sink->SampleCount(), 0u);
    EXPECT_EQ(chain.graph->CountEvents(EC_QUALITY_CHANGE), 1);
    // Pausing clears the flag: the next run of skips reports again.
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    ASSERT_EQ(chain.graph->Run(), S_OK);
    DeliverUnits(chain, s, 0, third, 2 * third, 1);
    EXPECT_EQ(chain.graph->CountEvents(EC_QUALITY_CHANGE), 2);
}

// The picture coding type (1 I, 2 P, 3 B) of each unit, by presentation time.
std::map<REFERENCE_TIME, int> PictureTypes(const Stream& s) {
    std::map<REFERENCE_TIME, int> types;
    for (const auto& u : s.units) {
        const uint8_t* p = s.file.data() + u.offset;
        for (size_t i = 0; i + 5 < u.size; ++i)
            if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && p[i + 3] == 0) {
                types[u.pts] = (p[i + 5] >> 3) & 7;
                break;
            }
    }
    return types;
}

// A seek: the source starts ten frames before the segment start and marks those samples as
// preroll. They are decoded (the later pictures need them) but none is delivered, and every
// picture from the start on arrives once, with its time and its I/P/B flag.
TEST(MPEG2VideoDecoderFilter, SeekDeliversFromTheSegmentStartOn) {
    const Stream s = LoadSample();
    ASSERT_GT(s.units.size(), 20u);
    const REFERENCE_TIME frame = s.probe.avgTimePerFrame;
    const REFERENCE_TIME offset = -10 * frame;
    FilterChain chain;
    ASSERT_EQ(Start(chain, s), S_OK);
    ASSERT_EQ(chain.source->DeliverNewSegment(0, s.units.size() * frame + offset, 1.0), S_OK);
    for (const auto& u : s.units) {
        qm::graph::SampleSpec spec;
        spec.start = u.pts + offset;
        spec.stop = *spec.start + frame;
        spec.preroll = *spec.start < 0;
        EXPECT_EQ(chain.source->Deliver(s.file.data() + u.offset, u.size, spec), S_OK);
    }
    const auto samples = chain.Finish();
    ASSERT_EQ(samples.size(), s.units.size() - 10);
    const auto types = PictureTypes(s);
    const DWORD flagOf[] = {0, AM_VIDEO_FLAG_I_SAMPLE, AM_VIDEO_FLAG_P_SAMPLE,
                            AM_VIDEO_FLAG_B_SAMPLE};
    std::set<int> seen;
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].start, REFERENCE_TIME(i) * frame) << i;
        EXPECT_EQ(samples[i].stop, REFERENCE_TIME(i + 1) * frame) << i;
        const auto type = types.find(samples[i].start - offset);
        ASSERT_NE(type, types.end()) << i;
        ASSERT_TRUE(type->second >= 1 && type->second <= 3);
        seen.insert(type->second);
        EXPECT_EQ(samples[i].typeSpecificFlags & AM_VIDEO_FLAG_IPB_MASK, flagOf[type->second]) << i;
    }
    EXPECT_EQ(seen.size(), 3u);  // the stream has I, P and B pictures
}

// Reverse playback: each sub-segment first delivers what the decoder still holds, then resets it.
// Held pictures from before the start (stop below 1) are dropped without ending the drain. A
// backward section at twice the speed: stream times run forward and are halved.
TEST(MPEG2VideoDecoderFilter, ReverseSubSegmentsDrainBeforeTheJump) {
    ReportCapture capture;
    const Stream s = LoadSample();
    const REFERENCE_TIME frame = s.probe.avgTimePerFrame;
    FilterChain chain;
    ASSERT_EQ(Start(chain, s), S_OK);
    EXPECT_EQ(chain.source->DeliverNewSegment(0, 0, 2.0), E_NOTIMPL);
    EXPECT_TRUE(capture.Contains("(dRate == 1.0) || (dRate == -1.0)"));
    ASSERT_EQ(chain.source->DeliverNewSegment(0, 0, -1.0), S_OK);
    ComPtr<IPin> in;
    ASSERT_EQ(chain.filter->FindPin(TEXT("in0"), in.Out()), S_OK);
    ComPtr<ISubSegment> sub;
    ASSERT_EQ(in->QueryInterface(IID_ISubSegment, reinterpret_cast<void**>(sub.Out())), S_OK);
    EXPECT_EQ(sub->NewSubSegment(0, 0.0), E_INVALIDARG);
    EXPECT_EQ(sub->NewSubSegment(0, 1.0), E_INVALIDARG);

    const size_t gop = s.units.size() / 2;
    ASSERT_EQ(DeliverUnits(chain, s, -REFERENCE_TIME(s.units.size()) * frame, 0, gop), S_OK);
    EXPECT_EQ(sub->NewSubSegment(0, -1.0), S_OK);
    EXPECT_EQ(chain.sink->SampleCount(), 0u);
    ASSERT_EQ(DeliverUnits(chain, s, 0, 0, gop), S_OK);
    ASSERT_EQ(sub->NewSubSegment(0, -2.0), S_OK);
    EXPECT_EQ(chain.sink->SampleCount(), gop);
    ASSERT_EQ(DeliverUnits(chain, s, 0, 0, gop), S_OK);
    const auto samples = chain.Finish();
    ASSERT_EQ(samples.size(), 2 * gop);
    for (size_t i = 0; i < gop; ++i) {
        EXPECT_EQ(samples[i].stop - samples[i].start, frame) << i;
        EXPECT_EQ(std::pair(samples[gop + i].start, samples[gop + i].stop),
                  std::pair(samples[i].start / 2, samples[i].stop / 2))
            << i;
        EXPECT_TRUE(samples[i].data == samples[gop + i].data) << i;
    }
}

// What downstream answers: S_FALSE ends the sample's decoding and comes back upstream; a
// rejected sample is passed over and decoding goes on with the same input sample.
TEST(MPEG2VideoDecoderFilter, DownstreamRefusals) {
    const Stream s = LoadSample();
    std::vector<size_t> counts;
    size_t received = 0;
    for (HRESULT answer : {S_FALSE, S_OK, VFW_E_SAMPLE_REJECTED}) {
        SCOPED_TRACE(answer);
        FilterChain chain;
        ASSERT_EQ(StartWholeFile(chain, s), S_OK);
        chain.sink->SetReceiveResult(answer);
        // Three pictures per input sample (they lie one after another in the file).
        received = 0;
        int falses = 0;
        for (size_t i = 0; i + 3 <= s.units.size(); i += 3) {
            const size_t size = s.units[i + 2].offset + s.units[i + 2].size - s.units[i].offset;
            qm::graph::SampleSpec spec;
            spec.start = s.units[i].pts;
            spec.stop = *spec.start + s.probe.avgTimePerFrame;
            const size_t before = chain.sink->SampleCount();
            const HRESULT hr = chain.source->Deliver(s.file.data() + s.units[i].offset, size, spec);
            const size_t delivered = chain.sink->SampleCount() - before;
            received += 3;
            if (answer == S_FALSE) {
                EXPECT_LE(delivered, 1u) << i;  // nothing after the first refusal
                EXPECT_EQ(hr, delivered ? S_FALSE : S_OK) << i;
                falses += hr == S_FALSE;
            } else {
                EXPECT_EQ(hr, S_OK) << i;
            }
        }
        chain.sink->SetReceiveResult(S_OK);
        ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
        if (answer == S_FALSE) {
            EXPECT_GT(falses, 2);
        } else {
            counts.push_back(chain.sink->SampleCount());
        }
    }
    // Rejected pictures cost nothing else: as many arrive as when all are accepted.
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[1], counts[0]);
    EXPECT_GT(counts[0], received / 2);
}

// Output types: a VIDEOINFOHEADER connection cannot carry interlace flags or an aspect ratio,
// so no picture carries a type; an input ratio that is not in lowest terms is no change; a real
// change is proposed once, reduced.
TEST(MPEG2VideoDecoderFilter, OutputTypeChangesOnlyWhenSomethingChanged) {
    const Stream base = LoadSample();
    LONG streamX = 0, streamY = 0;
    ASSERT_EQ(qm::GetPictureAspectRatio(base.probe.inputType, &streamX, &streamY), S_OK);
    int32_t rx = streamX, ry = streamY;
    qm::ReduceRatio(&rx, &ry);
    // The sample stream has square pixels: 352:288 as the demultiplexer gives it, 11:9 reduced.
    ASSERT_TRUE(rx == 11 && ry == 9) << streamX << ":" << streamY;

    enum Case { VideoInfoOutput, RatioNotReduced, RatioChanged };
    for (Case c : {VideoInfoOutput, RatioNotReduced, RatioChanged}) {
        SCOPED_TRACE(int(c));
        Stream s = LoadSample();
        auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(s.probe.inputType.pbFormat);
        if (c == RatioNotReduced) {
            info->hdr.dwPictAspectRatioX = DWORD(2 * rx);
            info->hdr.dwPictAspectRatioY = DWORD(2 * ry);
        }
        if (c == RatioChanged) {
            info->hdr.dwPictAspectRatioX = 32;
            info->hdr.dwPictAspectRatioY = 18;
        }
        LONG width = 0, height = 0;
        ASSERT_EQ(qm::GetPictureSize(s.probe.inputType, &width, &height), S_OK);
        CMediaType output;
        const GUID yuy2 = MEDIASUBTYPE_YUY2;
        if (c == VideoInfoOutput) {
            output = VideoInfoType(width, height, yuy2, width * height * 2);
            auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(output.pbFormat);
            vih->bmiHeader.biBitCount = 16;
            vih->bmiHeader.biCompression = yuy2.Data1;
            vih->AvgTimePerFrame = s.probe.avgTimePerFrame;
            output.SetSampleSize(ULONG(width * height * 2));
        } else {
            // The stream's own interlace flags: only the ratio is under test.
            ASSERT_EQ(qm::CreateVideoInfoHeader2Type(
                          &output, width, height, LONG(info->hdr.dwPictAspectRatioX),
                          LONG(info->hdr.dwPictAspectRatioY), info->hdr.dwInterlaceFlags, &yuy2,
                          s.probe.avgTimePerFrame, 0),
                      S_OK);
        }
        FilterChain chain;
        ASSERT_EQ(StartWholeFile(chain, s, &output), S_OK);
        ASSERT_EQ(DeliverUnits(chain, s), S_OK);
        const auto samples = chain.Finish();
        ASSERT_EQ(samples.size(), s.units.size());
        size_t attached = 0;
        for (const auto& sample : samples) attached += sample.hasMediaType ? 1 : 0;
        EXPECT_EQ(attached, c == RatioChanged ? 1u : 0u);
        if (c == RatioChanged) {
            ASSERT_TRUE(samples[0].hasMediaType);
            LONG x = 0, y = 0;
            ASSERT_EQ(qm::GetPictureAspectRatio(samples[0].mediaType, &x, &y), S_OK);
            EXPECT_EQ(x, rx);
            EXPECT_EQ(y, ry);
        }
    }
}

// The first `pictures` pictures of `s` decoded into a VIDEOINFOHEADER2 type of the subtype (a
// negative height: top-down rows).
std::vector<qm::graph::ReceivedSample> DecodeInto(const Stream& s, const GUID& subtype, LONG width,
                                                  LONG height, size_t pictures) {
    CMediaType type;
    EXPECT_EQ(qm::CreateVideoInfoHeader2Type(&type, width, height, 4, 3, 0, &subtype,
                                             s.probe.avgTimePerFrame, 0),
              S_OK);
    FilterChain chain;
    EXPECT_EQ(StartWholeFile(chain, s, &type), S_OK);
    EXPECT_EQ(DeliverUnits(chain, s, 0, 0, pictures), S_OK);
    return chain.Finish();
}

// At an odd width RGB rows are DIB rows, padded to whole 32-bit words as the type's biSizeImage
// counts them: each RGB layout holds the planar output converted by the plain kernel. A
// renderer's RGB type with a positive height asks for bottom-up rows: the same rows reversed.
TEST(MPEG2VideoDecoderFilter, OddWidthRgbRowsArePaddedToWholeWords) {
    Stream s = LoadSample();
    // One column less: the same macroblocks, an odd picture width.
    for (size_t i = 0; i + 6 < s.file.size(); ++i) {
        uint8_t* p = &s.file[i];
        if (p[0] != 0 || p[1] != 0 || p[2] != 1 || p[3] != 0xB3) continue;
        const int width = ((p[4] << 4) | (p[5] >> 4)) - 1;
        p[4] = uint8_t(width >> 4);
        p[5] = uint8_t(((width & 15) << 4) | (p[5] & 15));
    }
    ASSERT_FALSE(qmdecode::ProbeStream(s.file, std::nullopt, 48000, &s.probe));
    LONG width = 0, height = 0;
    ASSERT_EQ(qm::GetPictureSize(s.probe.inputType, &width, &height), S_OK);
    ASSERT_EQ(width % 2, 1);
    auto planar = DecodeInto(s, MEDIASUBTYPE_YV12, width, height, 3);
    ASSERT_EQ(planar.size(), 3u);
    namespace k = sp::kernels;
    const struct {
        GUID subtype;
        WORD bits;
        const sp::Kernel<k::Planar3ToPackedFn>* kernel;
        bool bottomUp;
    } layouts[] = {{MEDIASUBTYPE_RGB565, 16, &k::yuv420ToRgb565, false},
                   {MEDIASUBTYPE_RGB555, 16, &k::yuv420ToRgb555, false},
                   {MEDIASUBTYPE_RGB24, 24, &k::yuv420ToRgb24, false},
                   {MEDIASUBTYPE_RGB24, 24, &k::yuv420ToRgb24, true}};
    for (const auto& layout : layouts) {
        const auto rgb =
            DecodeInto(s, layout.subtype, width, layout.bottomUp ? height : -height, 3);
        ASSERT_EQ(rgb.size(), planar.size());
        const size_t row = size_t(qm::DibRowBytes(layout.bits, width));
        const size_t converted = size_t(width - 1) * layout.bits / 8;  // the odd column is not
        for (size_t i = 0; i < rgb.size(); ++i) {
            ASSERT_EQ(rgb[i].data.size(), row * size_t(height)) << layout.bits << " bits";
            UMC::VideoData yuv;
            ASSERT_EQ(yuv.Init(width, height, UMC::YV12, 0), UMC::STATUS_OK);
            ASSERT_EQ(yuv.SetSurface(planar[i].data.data(), 0), UMC::STATUS_OK);
            const uint8_t* planes[3];
            ptrdiff_t steps[3];
            for (int c = 0; c < 3; ++c) {  // YV12 holds V before U
                const int plane = c == 0 ? 0 : 3 - c;
                planes[c] = yuv.GetPlanePointer(plane);
                steps[c] = ptrdiff_t(yuv.GetPlanePitch(plane));
            }
            std::vector<uint8_t> expected(rgb[i].data.size());
            layout.kernel->Reference()(planes, steps, expected.data(), ptrdiff_t(row),
                                       {width, height});
            for (size_t y = 0; y < size_t(height); ++y) {
                const size_t out = layout.bottomUp ? size_t(height) - 1 - y : y;
                ASSERT_TRUE(std::equal(expected.begin() + y * row,
                                       expected.begin() + y * row + converted,
                                       rgb[i].data.begin() + out * row))
                    << layout.bits << " bits, bottom-up " << layout.bottomUp << ", picture " << i
                    << ", row " << y;
            }
        }
    }
}

// How the input format block reaches the decoder parameters: interlace order and stream type.
TEST(MPEG2VideoDecoderFilter, InputFormatFillsTheDecoderParameters) {
    const Stream s = LoadSample("sample-mpeg1.m1v");
    ASSERT_TRUE(IsEqualGUID(s.probe.inputType.formattype, FORMAT_MPEGVideo));
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(CreateMPEG2VideoDecoderFilter(filter.Out()), S_OK);
    auto* decoder = dynamic_cast<MPEG2VideoDecoderFilter*>(filter.Get());
    ASSERT_NE(decoder, nullptr);
    ASSERT_EQ(decoder->SetMediaType(PINDIR_INPUT, &s.probe.inputType), S_OK);
    EXPECT_EQ(decoder->DecoderParams().info.stream_type, UMC::MPEG1_VIDEO);
    // Without a sequence header the decoder has only the filter's word for the stream type.
    CMediaType bare(s.probe.inputType);
    reinterpret_cast<MPEG1VIDEOINFO*>(bare.pbFormat)->cbSequenceHeader = 0;
    ASSERT_EQ(decoder->SetMediaType(PINDIR_INPUT, &bare), S_OK);
    EXPECT_EQ(decoder->DecoderParams().info.stream_type, UMC::MPEG1_VIDEO);

    const Stream s2 = LoadSample();
    const struct {
        DWORD flags;
        int32_t interlaceType;
    } cases[] = {{AMINTERLACE_IsInterlaced | AMINTERLACE_Field1First, 2},
                 {AMINTERLACE_IsInterlaced, 3},
                 {AMINTERLACE_Field1First, 0},
                 {0, 0}};
    for (const auto& c : cases) {
        CMediaType t(s2.probe.inputType);
        reinterpret_cast<MPEG2VIDEOINFO*>(t.pbFormat)->hdr.dwInterlaceFlags = c.flags;
        ASSERT_EQ(decoder->SetMediaType(PINDIR_INPUT, &t), S_OK);
        EXPECT_EQ(decoder->DecoderParams().info.interlace_type, c.interlaceType) << c.flags;
        EXPECT_EQ(decoder->DecoderParams().info.stream_type, UMC::MPEG2_VIDEO);
    }
}

}  // namespace
