// What the five filters share: creation, identity, pins, allocator negotiation and output
// samples, seen through the graph.
#include <gtest/gtest.h>

#include <cstring>

#include "VideoIO/MPEGDecoderFilters/FilterIds.h"
#include "primitives/dispatch/Cpuid.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/MPEGDecoderFilters/FilterTestSupport.h"
#include "tests/support/ReportCapture.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;

struct Export {
    const char* name;
    HRESULT (*create)(IBaseFilter**);
    GUID clsid;
    GUID ownIid;
};

const Export kExports[] = {
    {"MPEG2Video", CreateMPEG2VideoDecoderFilter, CLSID_MPEG2VideoDecoderFilter,
     IID_IMPEG2VideoDecoder},
    {"MPEGAudio", CreateMPEGAudioDecoderFilter, CLSID_MPEGAudioDecoderFilter,
     IID_IMPEGAudioDecoder},
    {"DVDAudio", CreateDVDAudioDecoderFilter, CLSID_DVDAudioDecoderFilter, IID_IDVDAudioDecoder},
    {"AC3Audio", CreateAC3AudioDecoderFilter, CLSID_AC3AudioDecoderFilter, IID_IAC3AudioDecoder},
};

TEST(DecoderFilterCreation, ExportsIdentityAndPins) {
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.name);
        ComPtr<IBaseFilter> filter;
        ASSERT_TRUE(SUCCEEDED(e.create(filter.Out())));
        ASSERT_NE(filter.Get(), nullptr);
        // The creator holds the only reference.
        EXPECT_EQ(filter->AddRef(), 2u);
        EXPECT_EQ(filter->Release(), 1u);

        CLSID clsid;
        ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
        EXPECT_TRUE(IsEqualGUID(clsid, e.clsid));
        for (const GUID* iid :
             {&IID_IBaseFilter, &IID_IMediaFilter, &IID_IPersist, &IID_IUnknown}) {
            void* p = nullptr;
            EXPECT_EQ(filter->QueryInterface(*iid, &p), S_OK);
            if (p) static_cast<IUnknown*>(p)->Release();
        }
        void* own = reinterpret_cast<void*>(1);
        EXPECT_EQ(filter->QueryInterface(e.ownIid, &own), E_NOINTERFACE);

        auto* base = dynamic_cast<CBaseFilter*>(filter.Get());
        ASSERT_NE(base, nullptr);
        EXPECT_EQ(base->GetPinCount(), 2);
        EXPECT_EQ(base->GetPin(2), nullptr);
        EXPECT_EQ(base->GetPin(-1), nullptr);
        ComPtr<IPin> in, out;
        EXPECT_EQ(filter->FindPin(TEXT("in0"), in.Out()), S_OK);
        EXPECT_EQ(filter->FindPin(TEXT("out0"), out.Out()), S_OK);
        EXPECT_EQ(static_cast<IPin*>(base->GetPin(0)), in.Get());
        EXPECT_EQ(static_cast<IPin*>(base->GetPin(1)), out.Get());
    }
}

TEST(DecoderFilterCreation, BadArguments) {
    ReportCapture capture;
    EXPECT_EQ(CreateMPEG2VideoDecoderFilter(nullptr), E_POINTER);
    EXPECT_EQ(CreateMPEG4VideoDecoderFilter(nullptr), E_POINTER);
    EXPECT_GE(capture.Count(), 2u);
}

TEST(DecoderFilterInputPin, OffersTheSampleAllocator) {
    ComPtr<IBaseFilter> filter;
    ASSERT_TRUE(SUCCEEDED(CreateDVDAudioDecoderFilter(filter.Out())));
    ComPtr<IPin> in;
    ASSERT_EQ(filter->FindPin(TEXT("in0"), in.Out()), S_OK);
    ComPtr<IMemInputPin> memInput;
    ASSERT_EQ(in->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(memInput.Out())), S_OK);
    EXPECT_EQ(memInput->GetAllocator(nullptr), E_POINTER);
    ComPtr<IMemAllocator> a1, a2;
    ASSERT_EQ(memInput->GetAllocator(a1.Out()), S_OK);
    ASSERT_EQ(memInput->GetAllocator(a2.Out()), S_OK);
    EXPECT_EQ(a1.Get(), a2.Get());  // created once, handed out again
    // The sample allocator answers its own interface.
    void* own = nullptr;
    const GUID kIQMMemAllocator = {
        0xE2D64E7A, 0xC16C, 0x4933, {0x89, 0x16, 0xE2, 0x49, 0xBE, 0x86, 0xAE, 0x08}};
    EXPECT_EQ(a1->QueryInterface(kIQMMemAllocator, &own), S_OK);
    if (own) static_cast<IUnknown*>(own)->Release();
    EXPECT_EQ(memInput->NotifyAllocator(nullptr, FALSE), E_POINTER);
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

TEST(DecoderFilterCreation, AnotherProcessorVendorStillGivesSOk) {
    const SpCpuidSource other{OtherVendorCpuid, NoXgetbv};
    spSetCpuidSource(&other);
    ASSERT_GT(spInitProcessorDispatch(), 0);  // the warning the filters must not pass on
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.name);
        ComPtr<IBaseFilter> filter;
        EXPECT_EQ(e.create(filter.Out()), S_OK);
        EXPECT_NE(filter.Get(), nullptr);
    }
    spSetCpuidSource(nullptr);
    spInitProcessorDispatch();
}

// An unconnected filter: the arguments are checked before the output type is read.
TEST(DecoderFilterCreation, DecideBufferSizeChecksItsArgumentsFirst) {
    ReportCapture capture;
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.name);
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(e.create(filter.Out()), S_OK);
        auto* transform = dynamic_cast<CTransformFilter*>(filter.Get());
        ASSERT_NE(transform, nullptr);
        ComPtr<IMemAllocator> allocator;
        ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IMemAllocator, reinterpret_cast<void**>(allocator.Out())),
                  S_OK);
        ALLOCATOR_PROPERTIES props{};
        EXPECT_EQ(transform->DecideBufferSize(nullptr, &props), E_INVALIDARG);
        EXPECT_EQ(transform->DecideBufferSize(allocator.Get(), nullptr), E_INVALIDARG);
    }
    EXPECT_TRUE(capture.Contains("pMemAlloc != 0"));
    EXPECT_TRUE(capture.Contains("pProperties != 0"));
}

}  // namespace
