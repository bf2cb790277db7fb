#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "VideoIO/FilterUtil/QMMediaSample.h"
#include "VideoIO/FilterUtil/QMMemAllocator.h"
#include "tests/support/ReportCapture.h"
#include "tests/support/SampleAllocator.h"
#include "tests/support/VideoTypes.h"

using qm::test::ReportCapture;
using qm::test::VideoInfoType;
using qm_DSFilters::CreateQMMemAllocator;
using qm_DSFilters::QMMediaSample;
using qm_DSFilters::QMMemAllocator;

namespace {

constexpr LONG kOneMiB = 1048576;

using Allocator = qm::test::TestAllocator;
using qm::test::ReleaseAll;

CMediaType AacType(DWORD fourcc) {
    CMediaType mt(&MEDIATYPE_Audio);
    const GUID subtype = qm::MediaSubtypeFromFourCC(fourcc);
    mt.SetSubtype(&subtype);
    return mt;
}

TEST(QMMemAllocatorTest, CreationGivesOneReferenceAndOneObjectBehindEveryInterface) {
    const LONG before = CBaseObject::ObjectsActive();
    IMemAllocator* mem = nullptr;
    ASSERT_EQ(CreateQMMemAllocator(nullptr, TEXT("a"), &mem), S_OK);
    auto* impl = static_cast<QMMemAllocator*>(static_cast<IMemAllocatorCallbackTemp*>(mem));
    EXPECT_EQ(CBaseObject::ObjectsActive(), before + 1);

    // Each interface of the contract works on the same object: what one view sets, another
    // reads, and all of them are one COM identity.
    IUnknown* identity = nullptr;
    ASSERT_EQ(mem->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    identity->Release();
    auto sameObject = [&](IUnknown* view) {
        IUnknown* u = nullptr;
        EXPECT_EQ(view->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u)), S_OK);
        EXPECT_EQ(u, identity);
        if (u) u->Release();
    };
    const IID kControl[] = {
        {0x069D00BD, 0xFF44, 0x45D5, {0xAA, 0x4C, 0xFA, 0xDF, 0x7B, 0x7B, 0x70, 0x51}},
        {0xE2D64E7A, 0xC16C, 0x4933, {0x89, 0x16, 0xE2, 0x49, 0xBE, 0x86, 0xAE, 0x08}}};
    for (const IID& iid : kControl) {
        IQMMemAllocatorBase* control = nullptr;
        ASSERT_EQ(mem->QueryInterface(iid, reinterpret_cast<void**>(&control)), S_OK);
        sameObject(control);
        EXPECT_EQ(control->SetMemoryLimit(2.0), S_OK);
        control->Release();
        EXPECT_DOUBLE_EQ(impl->GetMemoryLimit(), 2.0);
        impl->SetMemoryLimit(0);
    }
    IMemAllocatorCallbackTemp* callback = nullptr;
    ASSERT_EQ(
        mem->QueryInterface(IID_IMemAllocatorCallbackTemp, reinterpret_cast<void**>(&callback)),
        S_OK);
    sameObject(callback);
    LONG free = -1;
    EXPECT_EQ(callback->GetFreeCount(&free), S_OK);
    EXPECT_EQ(free, 0);
    callback->Release();
    const IID kDynamic = {
        0xBE8E9257, 0x5ED2, 0x4576, {0xA9, 0xCD, 0x8E, 0x71, 0x41, 0xDC, 0x53, 0x9B}};
    IDynamicSizeAllocator* dynamic = nullptr;
    ASSERT_EQ(mem->QueryInterface(kDynamic, reinterpret_cast<void**>(&dynamic)), S_OK);
    sameObject(dynamic);
    EXPECT_EQ(dynamic->GetLargestSampleSize(), 0);
    dynamic->Release();
    void* p = mem;
    EXPECT_EQ(mem->QueryInterface(IID_IMediaSample, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);

    EXPECT_EQ(mem->Release(), 0u);
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
    EXPECT_EQ(CreateQMMemAllocator(nullptr, TEXT("a"), nullptr), E_POINTER);
}

TEST(QMMemAllocatorTest, SetPropertiesRefusesBadRequests) {
    Allocator a;
    ALLOCATOR_PROPERTIES request{2, 1000, 1, 0}, actual{};
    ReportCapture capture;
    EXPECT_EQ(a.mem->SetProperties(nullptr, &actual), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("pRequest != 0"));
    EXPECT_EQ(a.mem->SetProperties(&request, nullptr), E_POINTER);
    EXPECT_TRUE(capture.Contains("pActual != 0"));
    EXPECT_EQ(a.Set(2, 0), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("pRequest->cbBuffer > 0"));
    EXPECT_EQ(a.Set(2, 1000, 0), VFW_E_BADALIGN);
    EXPECT_TRUE(capture.Contains("pRequest->cbAlign != 0"));
    EXPECT_EQ(a.Set(2, 1000, 1, -8), E_INVALIDARG);
    // Nothing was stored, so a commit has no sizes.
    EXPECT_EQ(a.mem->Commit(), VFW_E_SIZENOTSET);
    EXPECT_TRUE(
        capture.Contains("(m_nbrOfBuffers > 0) && (m_bufferSize > 0) && (m_alignmentSize > 0)"));
    EXPECT_EQ(a.Get(0, VFW_E_NOT_COMMITTED), nullptr);
    EXPECT_EQ(a.mem->GetProperties(nullptr), E_POINTER);
}

TEST(QMMemAllocatorTest, StoredBufferSizeNeverShrinks) {
    Allocator a;
    ALLOCATOR_PROPERTIES request{2, 100000, 1, 0}, actual{};
    ASSERT_EQ(a.mem->SetProperties(&request, &actual), S_OK);
    request.cbBuffer = 50000;
    ASSERT_EQ(a.mem->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cbBuffer, 50000);  // the request is reported back...
    ALLOCATOR_PROPERTIES now{};
    ASSERT_EQ(a.mem->GetProperties(&now), S_OK);
    EXPECT_EQ(now.cbBuffer, 100000);  // ...but not taken
    ASSERT_EQ(a.mem->Commit(), S_OK);
    IMediaSample* s = a.Get();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetSize(), 100000);
    s->Release();
}

TEST(QMMemAllocatorTest, TheSameRequestTwiceFreesNothing) {
    Allocator a;
    ASSERT_EQ(a.Start(2, 100000), S_OK);
    IMediaSample* first = a.Get();
    first->Release();
    const uint64_t bytes = a.impl->GetAllocatedBytes();
    EXPECT_EQ(a.Set(2, 100000), S_OK);
    EXPECT_EQ(a.impl->GetAllocatedBytes(), bytes);
    EXPECT_EQ(a.impl->GetAllocatedCount(), 1);
    IMediaSample* again = a.Get();
    EXPECT_EQ(again, first);
    again->Release();
}

TEST(QMMemAllocatorTest, GrowsBeyondTheCountWithin1MiB) {
    Allocator a;
    ASSERT_EQ(a.Start(2, 100000), S_OK);
    std::vector<IMediaSample*> samples = a.Drain();
    // One block of the smallest multiple of 100 000 above 1 MiB holds 11 samples.
    EXPECT_EQ(samples.size(), 11u);
    EXPECT_EQ(a.impl->GetAllocatedBytes(), 1100000u);
    EXPECT_DOUBLE_EQ(a.impl->GetAllocatedMemory(), 1.1);
    ReleaseAll(samples);
    EXPECT_EQ(a.Free(), 11);
    a.mem->Decommit();
    EXPECT_EQ(a.impl->GetAllocatedBytes(), 0u);
}

TEST(QMMemAllocatorTest, AThirdLargeBufferWaitsForARelease) {
    Allocator a;
    ASSERT_EQ(a.Start(2, 600000), S_OK);
    IMediaSample* s1 = a.Get();
    IMediaSample* s2 = a.Get();
    ASSERT_NE(s1, nullptr);
    ASSERT_NE(s2, nullptr);
    EXPECT_EQ(a.Get(AM_GBF_NOWAIT, VFW_E_TIMEOUT), nullptr);

    IMediaSample* third = nullptr;
    HRESULT hr = E_FAIL;
    std::thread waiter([&] { hr = a.mem->GetBuffer(&third, nullptr, nullptr, 0); });
    a.WaitForWaiters(1);
    s2->Release();
    waiter.join();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(third, s2);
    EXPECT_EQ(a.impl->GetAllocatedCount(), 2);
    third->Release();
    s1->Release();
}

TEST(QMMemAllocatorTest, DecommitWakesEveryWaitingGetBuffer) {
    Allocator a;
    ASSERT_EQ(a.Start(1, 2000000), S_OK);
    std::vector<IMediaSample*> held = a.Drain();
    ASSERT_EQ(held.size(), 1u);
    HRESULT results[2] = {E_FAIL, E_FAIL};
    std::thread w1([&] {
        IMediaSample* s = nullptr;
        results[0] = a.mem->GetBuffer(&s, nullptr, nullptr, 0);
    });
    std::thread w2([&] {
        IMediaSample* s = nullptr;
        results[1] = a.mem->GetBuffer(&s, nullptr, nullptr, 0);
    });
    a.WaitForWaiters(2);
    EXPECT_EQ(a.mem->Decommit(), S_OK);
    w1.join();
    w2.join();
    EXPECT_EQ(results[0], VFW_E_NOT_COMMITTED);
    EXPECT_EQ(results[1], VFW_E_NOT_COMMITTED);
    // A GetBuffer after the decommit leaves the pool as it was.
    EXPECT_EQ(a.Get(0, VFW_E_NOT_COMMITTED), nullptr);
    EXPECT_EQ(a.Free(), 0);
    ReleaseAll(held);
    EXPECT_EQ(a.Free(), 1);
}

TEST(QMMemAllocatorTest, DecommitWithASampleOutEndsWhenItComesBack) {
    const LONG before = CBaseObject::ObjectsActive();
    IMemAllocator* mem = nullptr;
    ASSERT_EQ(CreateQMMemAllocator(nullptr, TEXT("a"), &mem), S_OK);
    ALLOCATOR_PROPERTIES request{2, 4096, 16, 0}, actual{};
    ASSERT_EQ(mem->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(mem->Commit(), S_OK);
    IMediaSample* s = nullptr;
    ASSERT_EQ(mem->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(mem->Decommit(), S_OK);
    // Only the commit's own reference keeps the allocator now.
    EXPECT_EQ(mem->Release(), 1u);
    EXPECT_EQ(CBaseObject::ObjectsActive(), before + 1);
    BYTE* p = nullptr;
    ASSERT_EQ(s->GetPointer(&p), S_OK);
    std::memset(p, 0x5A, 4096);  // the memory is still the sample's
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

TEST(QMMemAllocatorTest, CommitCancelsAnUnfinishedDecommit) {
    Allocator a;
    ASSERT_EQ(a.Start(2, 4096), S_OK);
    IMediaSample* s = a.Get();
    EXPECT_EQ(a.mem->Decommit(), S_OK);
    EXPECT_EQ(a.mem->Commit(), S_OK);
    s->Release();  // does not end anything: the allocator is committed again
    EXPECT_TRUE(a.impl->IsCommitted());
    IMediaSample* again = a.Get();
    EXPECT_EQ(again, s);
    again->Release();
    EXPECT_EQ(a.mem->Decommit(), S_OK);
    EXPECT_EQ(a.mem->Decommit(), S_OK);
    EXPECT_EQ(a.impl->GetAllocatedCount(), 0);
}

TEST(QMMemAllocatorTest, ChunksFollowPrefixAndAlignment) {
    Allocator a;
    ASSERT_EQ(a.Start(2, 1000, 64, 16), S_OK);
    IMediaSample* s1 = a.Get();
    IMediaSample* s2 = a.Get();
    BYTE *p1 = nullptr, *p2 = nullptr;
    s1->GetPointer(&p1);
    s2->GetPointer(&p2);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p1 - 16) % 64, 0u);
    EXPECT_EQ(p2 - p1, 1024);  // 16 + 1000 rounded up to 64
    EXPECT_EQ(s1->GetSize(), 1024 - 16);
    EXPECT_EQ(a.impl->GetAllocatedBytes(), uint64_t(kOneMiB + 1024));
    s1->Release();
    s2->Release();
    a.mem->Decommit();

    // Buffers of 1 MiB or more: one sample per block.
    Allocator big;
    ASSERT_EQ(big.Start(2, 2000000), S_OK);
    std::vector<IMediaSample*> samples = big.Drain();
    EXPECT_EQ(samples.size(), 2u);
    EXPECT_EQ(big.impl->GetAllocatedBytes(), 4000000u);
    ReleaseAll(samples);
}

TEST(QMMemAllocatorTest, MemoryCeilingReplacesTheCountLimit) {
    Allocator a;
    ASSERT_EQ(a.Set(1, 600000), S_OK);
    EXPECT_EQ(a.impl->SetMemoryLimit(3.0), S_OK);
    EXPECT_DOUBLE_EQ(a.impl->GetMemoryLimit(), 3.0);
    ASSERT_EQ(a.mem->Commit(), S_OK);
    std::vector<IMediaSample*> samples = a.Drain();
    // Blocks of 1 200 000 bytes while the total stays within 3 000 000.
    EXPECT_EQ(samples.size(), 4u);
    EXPECT_DOUBLE_EQ(a.impl->GetAllocatedMemory(), 2.4);
    EXPECT_FALSE(a.impl->CanAllocateNewMemoryBuffer(600000));
    EXPECT_EQ(a.impl->SetMemoryLimit(2.0), S_FALSE);
    EXPECT_DOUBLE_EQ(a.impl->GetMemoryLimit(), 3.0);
    EXPECT_EQ(a.impl->SetMemoryLimit(-1.0), E_INVALIDARG);
    ReleaseAll(samples);
}

TEST(QMMemAllocatorTest, ASmallCeilingIsTheChunkSize) {
    Allocator a;
    ASSERT_EQ(a.impl->SetMemoryLimit(0.5), S_OK);
    ASSERT_EQ(a.Start(2, 100000), S_OK);
    std::vector<IMediaSample*> samples = a.Drain();
    EXPECT_EQ(samples.size(), 5u);
    EXPECT_EQ(a.impl->GetAllocatedBytes(), 500000u);
    ReleaseAll(samples);
    a.mem->Decommit();

    // A sample larger than the ceiling can never be made.
    Allocator b;
    ASSERT_EQ(b.impl->SetMemoryLimit(0.5), S_OK);
    ASSERT_EQ(b.Start(2, 600000), S_OK);
    ReportCapture capture;
    EXPECT_EQ(b.Get(0, E_OUTOFMEMORY), nullptr);
    EXPECT_TRUE(capture.Contains("! m_memoryBufferInfo.IsEmpty()"));
}

TEST(QMMemAllocatorTest, RequiredSampleCountAndFixedMemory) {
    Allocator a;
    ASSERT_EQ(a.Set(1, 600000), S_OK);
    EXPECT_EQ(a.impl->SetRequiredNbrOfSamples(4), S_OK);
    EXPECT_EQ(a.impl->SetRequiredNbrOfSamples(4), S_FALSE);
    ASSERT_EQ(a.mem->Commit(), S_OK);
    {
        ReportCapture capture;
        EXPECT_EQ(a.impl->SetRequiredNbrOfSamples(5), VFW_E_NOT_COMMITTED);
        EXPECT_TRUE(capture.Contains("! m_bCommitted"));
    }
    std::vector<IMediaSample*> samples = a.Drain();
    EXPECT_EQ(samples.size(), 4u);
    ReleaseAll(samples);
    a.mem->Decommit();

    Allocator f;
    ASSERT_EQ(f.Set(4, 600000), S_OK);
    ASSERT_EQ(f.impl->SetFixedMemory(TRUE), S_OK);
    ASSERT_EQ(f.mem->Commit(), S_OK);
    samples = f.Drain();
    EXPECT_EQ(samples.size(), 2u);  // the first block only
    ReleaseAll(samples);
}

TEST(QMMemAllocatorTest, MisuseNeverCorruptsTheFreePool) {
    Allocator a;
    ASSERT_EQ(a.Start(2, 600000), S_OK);
    IMediaSample* s1 = a.Get();
    IMediaSample* s2 = a.Get();
    ReportCapture capture;

    // Released twice: the second release is refused, the pool holds it once.
    s1->Release();
    s1->Release();
    EXPECT_EQ(a.Free(), 1);
    // Handed back directly while still referenced: refused.
    EXPECT_EQ(a.mem->ReleaseBuffer(s2), E_UNEXPECTED);
    EXPECT_TRUE(capture.Contains("pQMMediaSample->GetRefCount() == 0"));
    EXPECT_EQ(a.Free(), 1);
    // Somebody else's sample.
    std::vector<BYTE> memory(16);
    QMMediaSample* foreign = new QMMediaSample(nullptr, memory.data(), 16);
    EXPECT_EQ(a.mem->ReleaseBuffer(foreign), E_INVALIDARG);
    foreign->Release();
    EXPECT_EQ(a.mem->ReleaseBuffer(nullptr), E_INVALIDARG);

    // Properties cannot change under an outstanding sample, committed or not.
    EXPECT_EQ(a.Set(3, 1000), VFW_E_ALREADY_COMMITTED);
    ASSERT_EQ(a.mem->Decommit(), S_OK);
    EXPECT_EQ(a.Set(3, 1000), VFW_E_BUFFERS_OUTSTANDING);
    EXPECT_TRUE(capture.Contains("AreAllBuffersFree()"));
    EXPECT_EQ(a.Get(0, VFW_E_NOT_COMMITTED), nullptr);
    EXPECT_EQ(a.Free(), 1);
    ALLOCATOR_PROPERTIES now{};
    a.mem->GetProperties(&now);
    EXPECT_EQ(now.cbBuffer, 600000);

    // Back in business: two distinct samples again.
    ASSERT_EQ(a.mem->Commit(), S_OK);
    s2->Release();
    EXPECT_EQ(a.Free(), 2);
    IMediaSample* x = a.Get();
    IMediaSample* y = a.Get();
    ASSERT_NE(x, nullptr);
    ASSERT_NE(y, nullptr);
    EXPECT_NE(x, y);
    EXPECT_EQ(a.Get(AM_GBF_NOWAIT, VFW_E_TIMEOUT), nullptr);
    x->Release();
    y->Release();
    ASSERT_EQ(a.mem->Decommit(), S_OK);
    EXPECT_EQ(a.Set(3, 1000), S_OK);
}

TEST(QMMemAllocatorTest, ReusedSamplesComeBackClean) {
    Allocator a;
    ASSERT_EQ(a.Start(1, 1000), S_OK);
    IMediaSample* s = a.Get();
    REFERENCE_TIME t0 = 5, t1 = 6;
    s->SetTime(&t0, &t1);
    s->SetDiscontinuity(TRUE);
    CMediaType type = VideoInfoType(16, 16);
    s->SetMediaType(&type);
    s->Release();
    s = a.Get();
    EXPECT_EQ(s->GetTime(&t0, &t1), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
    AM_MEDIA_TYPE* out = nullptr;
    EXPECT_EQ(s->GetMediaType(&out), S_FALSE);
    s->Release();
}

TEST(QMMemAllocatorTest, MediaTypeRules) {
    CMediaType video = VideoInfoType(320, 240);
    Allocator a(&video);
    ALLOCATOR_PROPERTIES props{};
    a.mem->GetProperties(&props);
    EXPECT_EQ(props.cbBuffer, 320 * 240 * 3 / 2);
    ASSERT_EQ(a.Set(2, 1000), S_OK);  // smaller than a picture: the picture size stays
    a.mem->GetProperties(&props);
    EXPECT_EQ(props.cbBuffer, 320 * 240 * 3 / 2);

    AM_MEDIA_TYPE copy{};
    ASSERT_EQ(a.impl->GetMediaType(&copy), S_OK);
    EXPECT_TRUE(IsEqualGUID(copy.subtype, MEDIASUBTYPE_YV12));
    FreeMediaType(copy);

    CMediaType other = VideoInfoType(320, 240, MEDIASUBTYPE_YUY2);
    EXPECT_TRUE(a.impl->IsMediaTypeDifferent(&other));
    CMediaType larger = VideoInfoType(640, 480);
    EXPECT_FALSE(a.impl->IsMediaTypeDifferent(&larger));
    ReportCapture capture;
    EXPECT_EQ(a.impl->SetNewMediaType(&other), VFW_E_TYPE_NOT_ACCEPTED);

    // A larger picture: the free samples of the old size give way to larger ones.
    ASSERT_EQ(a.mem->Commit(), S_OK);
    IMediaSample* small = a.Get();
    EXPECT_EQ(small->GetSize(), 320 * 240 * 3 / 2);
    small->Release();
    EXPECT_EQ(a.impl->SetNewMediaType(&larger), S_OK);
    IMediaSample* s = a.Get();
    EXPECT_EQ(s->GetSize(), 640 * 480 * 3 / 2);
    EXPECT_EQ(a.impl->GetAllocatedCount(), 1);
    EXPECT_EQ(a.impl->GetLargestSampleSize(), 640 * 480 * 3 / 2);
    s->Release();
    a.mem->Decommit();

    Allocator none;
    EXPECT_EQ(none.impl->GetMediaType(&copy), E_UNEXPECTED);
    EXPECT_TRUE(capture.Contains("m_mt.IsValid()"));
    EXPECT_FALSE(none.impl->IsMediaTypeDifferent(&other));
}

TEST(QMMemAllocatorTest, AdtsAacMayTurnIntoRawAac) {
    CMediaType adts = AacType(0x1600), raw = AacType(0x00FF), mp3 = AacType(0x0055);
    Allocator a(&adts);
    EXPECT_FALSE(a.impl->IsMediaTypeDifferent(&raw));
    EXPECT_TRUE(a.impl->IsMediaTypeDifferent(&mp3));
    EXPECT_EQ(a.impl->SetNewMediaType(&raw), S_OK);
    AM_MEDIA_TYPE now{};
    ASSERT_EQ(a.impl->GetMediaType(&now), S_OK);
    EXPECT_TRUE(IsEqualGUID(now.subtype, raw.subtype));
    FreeMediaType(now);
    // The consumer sample map learns that the stream is raw AAC now.
    EXPECT_EQ(a.impl->GetStreamKind(), 16777216u);
    // Raw back to ADTS is a different stream.
    ReportCapture capture;
    EXPECT_EQ(a.impl->SetNewMediaType(&adts), VFW_E_TYPE_NOT_ACCEPTED);
}

CMediaType PcmType(WORD channels, DWORD rate, WORD bits) {
    CMediaType mt(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = 1;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = bits;
    wfx.nBlockAlign = WORD(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx));
    return mt;
}

// A PCM type change keeps the number of sample frames per buffer; the bytes follow the frame size,
// not the sampling rate.
TEST(QMMemAllocatorTest, PcmTypeChangesKeepTheFramesPerBuffer) {
    CMediaType stereo = PcmType(2, 48000, 16);
    Allocator a(&stereo);
    ASSERT_EQ(a.Set(4, 19200), S_OK);  // 4 800 frames of 4 bytes
    const struct {
        WORD channels;
        DWORD rate;
        WORD bits;
        LONG bytes;
    } steps[] = {
        {1, 48000, 16, 9600}, {1, 22050, 16, 9600}, {6, 44100, 24, 86400}, {2, 44100, 16, 19200}};
    for (const auto& step : steps) {
        CMediaType next = PcmType(step.channels, step.rate, step.bits);
        ASSERT_EQ(a.impl->SetNewMediaType(&next), S_OK);
        ALLOCATOR_PROPERTIES props{};
        ASSERT_EQ(a.mem->GetProperties(&props), S_OK);
        EXPECT_EQ(props.cbBuffer, step.bytes) << step.channels << " x " << step.bits;
    }
    // A part frame is dropped: 10 bytes of stereo 16-bit are two frames, 4 bytes of mono.
    CMediaType again = PcmType(2, 48000, 16);
    Allocator b(&again);
    ASSERT_EQ(b.Set(1, 10), S_OK);
    CMediaType mono = PcmType(1, 48000, 16);
    ASSERT_EQ(b.impl->SetNewMediaType(&mono), S_OK);
    ALLOCATOR_PROPERTIES props{};
    ASSERT_EQ(b.mem->GetProperties(&props), S_OK);
    EXPECT_EQ(props.cbBuffer, 4);
}

TEST(QMMemAllocatorTest, DumpReportsAtItsLevel) {
    CMediaType video = VideoInfoType(16, 16);
    Allocator a(&video);
    ASSERT_EQ(a.Start(2, 100000), S_OK);
    IMediaSample* s = a.Get();
    {
        ReportCapture capture(1);
        a.impl->Dump(2);
        EXPECT_EQ(capture.Count(), 0u);
        a.impl->Dump(1);
        EXPECT_TRUE(capture.Contains("Dumping QMMemAllocator"));
        EXPECT_TRUE(
            capture.Contains("Dump Video IsCommited 1 m_nbrOfBuffers 2 m_requiredNbrOfSamples 0 "
                             "m_lAllocated 1 m_lAllocatedSize 1100000"));
    }
    s->Release();
}

TEST(QMMemAllocatorTest, NotifyIsCalledForEveryRelease) {
    struct Notify : IMemAllocatorNotifyCallbackTemp {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
        ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
        HRESULT STDMETHODCALLTYPE NotifyRelease() override {
            // Called outside the allocator's lock: another thread may use the allocator.
            LONG n = 0;
            std::thread([&] { allocator->GetFreeCount(&n); }).join();
            freeSeen.push_back(n);
            return result;
        }
        int refs = 0;
        HRESULT result = S_OK;
        IMemAllocatorCallbackTemp* allocator = nullptr;
        std::vector<LONG> freeSeen;
    } notify;
    Allocator a;
    notify.allocator = a.impl;
    ASSERT_EQ(a.impl->SetNotify(&notify), S_OK);
    EXPECT_EQ(notify.refs, 1);
    ASSERT_EQ(a.Start(2, 1000), S_OK);
    IMediaSample* s1 = a.Get();
    IMediaSample* s2 = a.Get();
    s1->Release();
    notify.result = E_FAIL;
    ReportCapture capture;
    EXPECT_EQ(s2->Release(), 0u);
    EXPECT_TRUE(capture.Contains("QMLogHRESULT: "));
    EXPECT_EQ(notify.freeSeen, (std::vector<LONG>{1, 2}));
    a.mem->Decommit();
    ASSERT_EQ(a.impl->SetNotify(nullptr), S_OK);
    EXPECT_EQ(notify.refs, 0);
}

TEST(QMMemAllocatorTest, DynamicSizeMakesRoomFromFreeSamples) {
    Allocator a;
    ASSERT_EQ(a.Set(2, 100000), S_OK);
    ASSERT_EQ(a.impl->SetMemoryLimit(1.2), S_OK);
    ASSERT_EQ(a.mem->Commit(), S_OK);
    std::vector<IMediaSample*> samples = a.Drain();
    ASSERT_EQ(samples.size(), 11u);
    ReleaseAll(samples);

    IDynamicSizeAllocator* dyn = a.impl;
    IMediaSample* big = nullptr;
    ASSERT_EQ(dyn->GetBufferOfSize(&big, 600000, 0), S_OK);
    EXPECT_GE(big->GetSize(), 600000);
    EXPECT_EQ(a.impl->GetAllocatedBytes(), 1100000u);  // made from freed samples, no new block
    EXPECT_EQ(dyn->GetLargestSampleSize(), big->GetSize());
    EXPECT_LT(a.Free(), 11);

    IMediaSample* other = nullptr;
    EXPECT_EQ(dyn->GetBufferOfSize(&other, 600000, 0), VFW_E_TIMEOUT);
    EXPECT_EQ(other, nullptr);
    // A small request is served from what is left.
    IMediaSample* small = nullptr;
    ASSERT_EQ(dyn->GetBufferOfSize(&small, 50000, 0), S_OK);
    EXPECT_GE(small->GetSize(), 50000);
    EXPECT_EQ(dyn->GetBufferOfSize(&other, 0, 0), E_INVALIDARG);

    // The large sample comes back and serves the next large request.
    big->Release();
    ASSERT_EQ(dyn->GetBufferOfSize(&other, 600000, 0), S_OK);
    EXPECT_EQ(other, big);
    other->Release();
    small->Release();
}

}  // namespace
