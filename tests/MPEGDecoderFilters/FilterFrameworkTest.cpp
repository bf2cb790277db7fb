// What the five filters share, one table over them: creation, identity, the input pin's
// allocator, buffer negotiation, offered types and the streaming edge cases, seen through the
// graph.
#include <gtest/gtest.h>

#include <cstring>

#include "VideoIO/MPEGDecoderFilters/FilterIds.h"
#include "primitives/dispatch/Cpuid.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/MPEGDecoderFilters/VideoStreamSupport.h"
#include "tests/support/ReportCapture.h"
#include "tools/qmdecode/StreamProbe.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;

struct FilterRow {
    const char* name;
    HRESULT (*create)(IBaseFilter**);
    GUID clsid, ownIid;
    const char* file;   // the input, probed; none: 16-bit stereo 48 kHz DVD LPCM
    int outputTypes;    // -1: not counted here
    bool untimedFails;  // a sample without times is refused
    size_t tiny;        // a sample this short is accepted but not decoded (0: no such rule)
};

const FilterRow kFilters[] = {
    {"MPEG2Video", CreateMPEG2VideoDecoderFilter, CLSID_MPEG2VideoDecoderFilter,
     IID_IMPEG2VideoDecoder, "samples/sample-mpeg2.m2v", 20, true, 3},
    {"MPEG4Video", CreateMPEG4VideoDecoderFilter, CLSID_MPEG4VideoDecoderFilter,
     IID_IMPEG4VideoDecoder, "tests/fixtures/mpeg4/inter_p.m4v", -1, false, 4},
    {"MPEGAudio", CreateMPEGAudioDecoderFilter, CLSID_MPEGAudioDecoderFilter, IID_IMPEGAudioDecoder,
     "samples/sample-layer3.mp3", 2, false, 0},
    {"DVDAudio", CreateDVDAudioDecoderFilter, CLSID_DVDAudioDecoderFilter, IID_IDVDAudioDecoder,
     nullptr, 2, false, 0},
    {"AC3Audio", CreateAC3AudioDecoderFilter, CLSID_AC3AudioDecoderFilter, IID_IAC3AudioDecoder,
     "tests/fixtures/ac3/stereo_48k.ac3", 2, true, 0},
};

// The row's input type and its first sample's bytes (a picture, or a few audio frames).
struct Input {
    CMediaType type;
    std::vector<uint8_t> bytes;
    std::vector<CMediaType> accepted;
};

Input InputOf(const FilterRow& row) {
    Input in;
    if (!row.file) {
        in.type = MajorSubtype(MEDIATYPE_Audio, MEDIASUBTYPE_DVD_LPCM_AUDIO);
        in.type.formattype = FORMAT_WaveFormatEx;
        auto* w = reinterpret_cast<WAVEFORMATEX*>(in.type.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
        *w = WAVEFORMATEX{0, 2, 48000, 48000 * 4, 4, 16, 0};
        in.bytes.assign(1920, 0x11);
        in.accepted = PcmOnly();
        return in;
    }
    const std::vector<uint8_t> file = ReadBytes(SourceDir() / row.file);
    qmdecode::ProbedStream probe;
    EXPECT_FALSE(qmdecode::ProbeStream(file, std::nullopt, 48000, &probe));
    in.type = probe.inputType;
    const bool video = IsEqualGUID(in.type.majortype, MEDIATYPE_Video);
    const size_t size = video ? LoadVideoStream(SourceDir() / row.file).units.at(0).size
                              : std::min<size_t>(file.size(), 4096);
    in.bytes.assign(file.begin(), file.begin() + ptrdiff_t(size));
    in.accepted = video ? std::vector{MajorSubtype(MEDIATYPE_Video, GUID_NULL)} : PcmOnly();
    return in;
}

TEST(DecoderFilters, IdentityAndAllocators) {
    ReportCapture capture;
    for (const FilterRow& row : kFilters) {
        SCOPED_TRACE(row.name);
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(row.create(filter.Out()), S_OK);
        CLSID clsid;
        ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
        EXPECT_TRUE(IsEqualGUID(clsid, row.clsid));
        void* own = reinterpret_cast<void*>(1);
        EXPECT_EQ(filter->QueryInterface(row.ownIid, &own), E_NOINTERFACE);
        ComPtr<IPin> in;
        ASSERT_EQ(filter->FindPin(TEXT("in0"), in.Out()), S_OK);

        // The input pin offers the sample allocator, created once and handed out again.
        ComPtr<IMemInputPin> memInput;
        ASSERT_EQ(in->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(memInput.Out())),
                  S_OK);
        ComPtr<IMemAllocator> a1, a2;
        ASSERT_EQ(memInput->GetAllocator(a1.Out()), S_OK);
        ASSERT_EQ(memInput->GetAllocator(a2.Out()), S_OK);
        EXPECT_EQ(a1.Get(), a2.Get());
        const GUID kIQMMemAllocator = {
            0xE2D64E7A, 0xC16C, 0x4933, {0x89, 0x16, 0xE2, 0x49, 0xBE, 0x86, 0xAE, 0x08}};
        void* qm = nullptr;
        EXPECT_EQ(a1->QueryInterface(kIQMMemAllocator, &qm), S_OK);
        if (qm) static_cast<IUnknown*>(qm)->Release();

        // Unconnected: the arguments are checked before the output type is read.
        auto* transform = dynamic_cast<CTransformFilter*>(filter.Get());
        ASSERT_NE(transform, nullptr);
        ComPtr<IMemAllocator> allocator;
        ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IMemAllocator, reinterpret_cast<void**>(allocator.Out())),
                  S_OK);
        ALLOCATOR_PROPERTIES props{};
        EXPECT_EQ(transform->DecideBufferSize(nullptr, &props), E_INVALIDARG);
        EXPECT_EQ(transform->DecideBufferSize(allocator.Get(), nullptr), E_INVALIDARG);
        const size_t reports = capture.Count();
        EXPECT_EQ(row.create(nullptr), E_POINTER);
        EXPECT_GT(capture.Count(), reports);
    }
    EXPECT_TRUE(capture.Contains("pMemAlloc != 0"));
    EXPECT_TRUE(capture.Contains("pProperties != 0"));
}

// Connected and running: the end of the offered types, a sample while flushing, end of stream
// before anything was decoded, untimed and tiny samples.
TEST(DecoderFilters, StreamingEdgeCases) {
    ReportCapture capture;
    for (const FilterRow& row : kFilters) {
        SCOPED_TRACE(row.name);
        const Input input = InputOf(row);
        ASSERT_FALSE(input.bytes.empty());
        FilterChain chain;
        ASSERT_EQ(chain.Build(row.create, input.type, input.accepted, 1 << 16), S_OK);
        auto* transform = dynamic_cast<CTransformFilter*>(chain.filter.Get());
        CMediaType t;
        if (row.outputTypes >= 0) {
            EXPECT_EQ(transform->GetMediaType(row.outputTypes - 1, &t), S_OK);
            EXPECT_EQ(transform->GetMediaType(row.outputTypes, &t), VFW_S_NO_MORE_ITEMS);
        }
        EXPECT_EQ(transform->GetMediaType(0, nullptr), E_INVALIDARG);
        ASSERT_EQ(chain.Start(), S_OK);
        qm::graph::SampleSpec timed;
        timed.start = 0;
        timed.stop = 1;
        if (row.tiny) {
            EXPECT_EQ(chain.source->Deliver(input.bytes.data(), row.tiny, timed), S_OK);
        }
        if (row.untimedFails) {
            const size_t reports = capture.Count();
            EXPECT_TRUE(FAILED(chain.source->Deliver(input.bytes.data(), input.bytes.size())));
            EXPECT_GT(capture.Count(), reports);
        }
        // While flushing, Receive answers S_FALSE and leaves the codec alone.
        ASSERT_EQ(chain.source->DeliverBeginFlush(), S_OK);
        EXPECT_EQ(chain.source->Deliver(input.bytes.data(), input.bytes.size(), timed), S_FALSE);
        ASSERT_EQ(chain.source->DeliverEndFlush(), S_OK);
        // End of stream with nothing decoded still goes downstream.
        ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
        EXPECT_EQ(chain.sink->SampleCount(), 0u);
        EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
    }
}

// A processor of another vendor with SSE3: the dispatch only warns, so creation is a plain S_OK
// (hosts compare with S_OK).
bool OtherVendorCpuid(uint32_t leaf, uint32_t, SpCpuidRegs* r) {
    *r = {};
    if (leaf == 0) {
        r->eax = 1;
        std::memcpy(&r->ebx, "Auth", 4);
        std::memcpy(&r->edx, "enti", 4);
        std::memcpy(&r->ecx, "cAMD", 4);
    } else if (leaf == 1) {
        r->eax = 0x00A00F11;
        r->ecx = 0x1;                      // SSE3
        r->edx = (1u << 25) | (1u << 26);  // SSE, SSE2
    }
    return true;
}

uint64_t NoXgetbv(uint32_t) {
    return 0;
}

TEST(DecoderFilters, AnotherProcessorVendorStillGivesSOk) {
    const SpCpuidSource other{OtherVendorCpuid, NoXgetbv};
    spSetCpuidSource(&other);
    ASSERT_GT(spInitProcessorDispatch(), 0);  // the warning the filters must not pass on
    for (const FilterRow& row : kFilters) {
        SCOPED_TRACE(row.name);
        ComPtr<IBaseFilter> filter;
        EXPECT_EQ(row.create(filter.Out()), S_OK);
        EXPECT_NE(filter.Get(), nullptr);
    }
    spSetCpuidSource(nullptr);
    spInitProcessorDispatch();
}

}  // namespace
