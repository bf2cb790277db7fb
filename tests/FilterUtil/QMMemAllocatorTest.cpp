#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "VideoIO/FilterUtil/QMMediaSample.h"
#include "VideoIO/FilterUtil/QMMemAllocator.h"
#include "tests/FilterUtil/Steps.h"
#include "tests/support/ReportCapture.h"
#include "tests/support/SampleAllocator.h"
#include "tests/support/VideoTypes.h"

using qm::test::ExpectSteps;
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
    const IID kDynamic = {
        0xBE8E9257, 0x5ED2, 0x4576, {0xA9, 0xCD, 0x8E, 0x71, 0x41, 0xDC, 0x53, 0x9B}};
    for (const IID* iid : {&IID_IMemAllocatorCallbackTemp, &kDynamic}) {
        IUnknown* view = nullptr;
        ASSERT_EQ(mem->QueryInterface(*iid, reinterpret_cast<void**>(&view)), S_OK);
        sameObject(view);
        view->Release();
    }
    void* p = mem;
    EXPECT_EQ(mem->QueryInterface(IID_IMediaSample, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(mem->Release(), 0u);
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
    EXPECT_EQ(CreateQMMemAllocator(nullptr, TEXT("a"), nullptr), E_POINTER);
}

TEST(QMMemAllocatorTest, SetPropertiesRefusesBadRequestsAndStoresNothing) {
    Allocator a;
    ALLOCATOR_PROPERTIES request{2, 1000, 1, 0}, actual{};
    IMediaSample* sample = nullptr;
    ExpectSteps({
        {[&] { return a.mem->SetProperties(nullptr, &actual); }, E_INVALIDARG, "pRequest != 0"},
        {[&] { return a.mem->SetProperties(&request, nullptr); }, E_POINTER, "pActual != 0"},
        {[&] { return a.Set(2, 0); }, E_INVALIDARG, "pRequest->cbBuffer > 0"},
        {[&] { return a.Set(2, 1000, 0); }, VFW_E_BADALIGN, "pRequest->cbAlign != 0"},
        {[&] { return a.Set(2, 1000, 1, -8); }, E_INVALIDARG},
        {[&] { return a.mem->Commit(); }, VFW_E_SIZENOTSET,
         "(m_nbrOfBuffers > 0) && (m_bufferSize > 0) && (m_alignmentSize > 0)"},
        {[&] { return a.mem->GetBuffer(&sample, nullptr, nullptr, 0); }, VFW_E_NOT_COMMITTED},
        {[&] { return a.mem->GetProperties(nullptr); }, E_POINTER},
    });
}

// How many samples a pool makes before it refuses without waiting, and in how many bytes:
// blocks of the smallest multiple of a chunk above 1 MiB (one sample per block from 1 MiB up),
// the count growing within that, a memory ceiling replacing the count, a required count, fixed
// memory keeping the first block only.
TEST(QMMemAllocatorTest, PoolShapes) {
    const struct {
        LONG count, size, align, prefix;
        double limit;
        LONG required;
        bool fixed;
        size_t samples;
        uint64_t bytes;
    } rows[] = {
        {2, 100000, 1, 0, 0, 0, false, 11, 1100000},
        {2, 1000, 64, 16, 0, 0, false, 1025, kOneMiB + 1024},  // 16 + 1000 rounded up to 64
        {2, 2000000, 1, 0, 0, 0, false, 2, 4000000},
        {1, 600000, 1, 0, 3.0, 0, false, 4, 2400000},  // blocks of 1 200 000 within 3 000 000
        {2, 100000, 1, 0, 0.5, 0, false, 5, 500000},   // a small ceiling is the block size
        {1, 600000, 1, 0, 0, 4, false, 4, 2400000},
        {4, 600000, 1, 0, 0, 0, true, 2, 1200000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.count << " x " << r.size << " limit " << r.limit);
        Allocator a;
        ASSERT_EQ(a.Set(r.count, r.size, r.align, r.prefix), S_OK);
        if (r.limit) {
            ASSERT_EQ(a.impl->SetMemoryLimit(r.limit), S_OK);
        }
        if (r.required) {
            ASSERT_EQ(a.impl->SetRequiredNbrOfSamples(r.required), S_OK);
        }
        ASSERT_EQ(a.impl->SetFixedMemory(r.fixed), S_OK);
        ASSERT_EQ(a.mem->Commit(), S_OK);
        std::vector<IMediaSample*> samples = a.Drain();
        ASSERT_EQ(samples.size(), r.samples);
        EXPECT_EQ(a.impl->GetAllocatedBytes(), r.bytes);
        if (r.limit) {  // a ceiling below what is allocated is refused
            EXPECT_EQ(a.impl->SetMemoryLimit(double(r.bytes) / 1e6 - 0.1), S_FALSE);
            EXPECT_DOUBLE_EQ(a.impl->GetMemoryLimit(), r.limit);
        }
        EXPECT_DOUBLE_EQ(a.impl->GetAllocatedMemory(), double(r.bytes) / 1e6);
        BYTE *p0 = nullptr, *p1 = nullptr;
        samples[0]->GetPointer(&p0);
        samples[1 % samples.size()]->GetPointer(&p1);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p0 - r.prefix) % r.align, 0u);
        EXPECT_GE(samples[0]->GetSize(), r.size);
        if (r.align == 64) {
            EXPECT_EQ(std::tuple(p1 - p0, samples[0]->GetSize()), std::tuple(1024, 1024 - 16));
        }
        ReleaseAll(samples);
        EXPECT_EQ(a.Free(), LONG(r.samples));
        ASSERT_EQ(a.mem->Decommit(), S_OK);
        EXPECT_EQ(a.impl->GetAllocatedBytes(), 0u);
    }
}

TEST(QMMemAllocatorTest, SizeAndCeilingRules) {
    Allocator a;
    ALLOCATOR_PROPERTIES request{2, 100000, 1, 0}, actual{}, now{};
    ASSERT_EQ(a.mem->SetProperties(&request, &actual), S_OK);
    request.cbBuffer = 50000;
    ASSERT_EQ(a.mem->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(a.mem->GetProperties(&now), S_OK);
    // The smaller request is reported back but not taken: the stored size never shrinks.
    EXPECT_EQ(std::tuple(actual.cbBuffer, now.cbBuffer), std::tuple(50000, 100000));
    ASSERT_EQ(a.impl->SetMemoryLimit(3.0), S_OK);
    EXPECT_EQ(a.impl->SetMemoryLimit(-1.0), E_INVALIDARG);
    EXPECT_DOUBLE_EQ(a.impl->GetMemoryLimit(), 3.0);
    EXPECT_EQ(a.impl->SetRequiredNbrOfSamples(4), S_OK);
    EXPECT_EQ(a.impl->SetRequiredNbrOfSamples(4), S_FALSE);
    ASSERT_EQ(a.mem->Commit(), S_OK);
    IMediaSample* first = a.Get();
    EXPECT_EQ(first->GetSize(), 100000);
    first->Release();
    const uint64_t bytes = a.impl->GetAllocatedBytes();
    // The same request again while committed is taken and frees nothing.
    ExpectSteps({
        {[&] { return a.impl->SetRequiredNbrOfSamples(5); }, VFW_E_NOT_COMMITTED, "! m_bCommitted"},
        {[&] { return a.Set(2, 100000); }, S_OK},
    });
    EXPECT_EQ(std::tuple(a.impl->GetAllocatedCount(), a.impl->GetAllocatedBytes()),
              std::tuple(1, bytes));
    IMediaSample* again = a.Get();
    EXPECT_EQ(again, first);
    again->Release();

    // A sample larger than the ceiling can never be made.
    Allocator b;
    ASSERT_EQ(b.impl->SetMemoryLimit(0.5), S_OK);
    ASSERT_EQ(b.Start(2, 600000), S_OK);
    ExpectSteps({{[&] { return b.mem->GetBuffer(&again, nullptr, nullptr, 0); }, E_OUTOFMEMORY,
                  "! m_memoryBufferInfo.IsEmpty()"}});
}

// A GetBuffer that waits is served by the next release, or ended by a decommit.
TEST(QMMemAllocatorTest, WaitingGetBufferEndsWithAReleaseOrADecommit) {
    Allocator a;
    ASSERT_EQ(a.Start(2, 600000), S_OK);
    std::vector<IMediaSample*> held = a.Drain();
    ASSERT_EQ(held.size(), 2u);
    HRESULT results[3] = {E_FAIL, E_FAIL, E_FAIL};
    IMediaSample* got[3] = {};
    auto wait = [&](int i) { results[i] = a.mem->GetBuffer(&got[i], nullptr, nullptr, 0); };
    std::thread first(wait, 0);
    a.WaitForWaiters(1);
    held[1]->Release();
    first.join();
    EXPECT_EQ(results[0], S_OK);
    EXPECT_EQ(got[0], held[1]);
    EXPECT_EQ(a.impl->GetAllocatedCount(), 2);
    std::thread second(wait, 1), third(wait, 2);
    a.WaitForWaiters(2);
    EXPECT_EQ(a.mem->Decommit(), S_OK);
    second.join();
    third.join();
    EXPECT_EQ(std::tuple(results[1], results[2]),
              std::tuple(VFW_E_NOT_COMMITTED, VFW_E_NOT_COMMITTED));
    // A GetBuffer after the decommit leaves the pool as it was.
    EXPECT_EQ(a.Get(0, VFW_E_NOT_COMMITTED), nullptr);
    EXPECT_EQ(a.Free(), 0);
    got[0]->Release();
    held[0]->Release();
    EXPECT_EQ(a.Free(), 2);
}

TEST(QMMemAllocatorTest, DecommitWithASampleOutEndsWhenItComesBack) {
    const LONG before = CBaseObject::ObjectsActive();
    IMemAllocator* mem = nullptr;
    ASSERT_EQ(CreateQMMemAllocator(nullptr, TEXT("a"), &mem), S_OK);
    ALLOCATOR_PROPERTIES request{2, 4096, 16, 0}, actual{};
    ASSERT_EQ(mem->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(mem->Commit(), S_OK);
    IMediaSample *s = nullptr, *t = nullptr;
    ASSERT_EQ(mem->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(mem->GetBuffer(&t, nullptr, nullptr, 0), S_OK);
    // A commit cancels an unfinished decommit: the release that follows ends nothing.
    EXPECT_EQ(mem->Decommit(), S_OK);
    EXPECT_EQ(mem->Commit(), S_OK);
    t->Release();
    ASSERT_EQ(mem->GetBuffer(&t, nullptr, nullptr, 0), S_OK);
    t->Release();
    EXPECT_EQ(mem->Decommit(), S_OK);
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

TEST(QMMemAllocatorTest, MisuseNeverCorruptsTheFreePool) {
    Allocator a;
    ASSERT_EQ(a.Start(2, 600000), S_OK);
    IMediaSample* s1 = a.Get();
    IMediaSample* s2 = a.Get();
    // State that must not survive the trip through the pool.
    REFERENCE_TIME t0 = 5, t1 = 6;
    CMediaType type = VideoInfoType(16, 16);
    for (IMediaSample* s : {s1, s2}) {
        s->SetTime(&t0, &t1);
        s->SetDiscontinuity(TRUE);
        s->SetMediaType(&type);
    }
    std::vector<BYTE> memory(16);
    QMMediaSample* foreign = new QMMediaSample(nullptr, memory.data(), 16);
    ReportCapture capture;
    s1->Release();
    s1->Release();  // released twice: refused, the pool holds it once
    EXPECT_EQ(a.Free(), 1);
    ExpectSteps({
        // Handed back directly while still referenced, somebody else's sample, none.
        {[&] { return a.mem->ReleaseBuffer(s2); }, E_UNEXPECTED,
         "pQMMediaSample->GetRefCount() == 0"},
        {[&] { return a.mem->ReleaseBuffer(foreign); }, E_INVALIDARG},
        {[&] { return a.mem->ReleaseBuffer(nullptr); }, E_INVALIDARG},
        // Properties cannot change under an outstanding sample, committed or not.
        {[&] { return a.Set(3, 1000); }, VFW_E_ALREADY_COMMITTED},
        {[&] { return a.mem->Decommit(); }, S_OK},
        {[&] { return a.Set(3, 1000); }, VFW_E_BUFFERS_OUTSTANDING, "AreAllBuffersFree()"},
        {[&] { return a.mem->GetBuffer(&s1, nullptr, nullptr, 0); }, VFW_E_NOT_COMMITTED},
    });
    foreign->Release();
    EXPECT_EQ(a.Free(), 1);
    ALLOCATOR_PROPERTIES now{};
    a.mem->GetProperties(&now);
    EXPECT_EQ(now.cbBuffer, 600000);
    // Back in business: two distinct clean samples again.
    ASSERT_EQ(a.mem->Commit(), S_OK);
    s2->Release();
    EXPECT_EQ(a.Free(), 2);
    std::vector<IMediaSample*> again = a.Drain();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_NE(again[0], again[1]);
    for (IMediaSample* s : again) {
        AM_MEDIA_TYPE* out = nullptr;
        EXPECT_EQ(s->GetTime(&t0, &t1), VFW_E_SAMPLE_TIME_NOT_SET);
        EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
        EXPECT_EQ(s->GetMediaType(&out), S_FALSE);
    }
    ReleaseAll(again);
    ASSERT_EQ(a.mem->Decommit(), S_OK);
    EXPECT_EQ(a.Set(3, 1000), S_OK);
}

CMediaType PcmType(WORD channels, DWORD rate, WORD bits) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = 1;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = bits;
    wfx.nBlockAlign = WORD(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    CMediaType mt(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx));
    return mt;
}

// Which type changes an allocator takes and the buffer size that follows: a picture size never
// shrinks below the picture; PCM keeps the sample frames per buffer, whole frames only, whatever
// the rate; ADTS AAC may turn into raw AAC but not back; other subtypes are other streams.
TEST(QMMemAllocatorTest, TypeChangesAndTheBufferSizeThatFollows) {
    const LONG qvga = 320 * 240 * 3 / 2, vga = 640 * 480 * 3 / 2;
    const CMediaType video = VideoInfoType(320, 240), stereo = PcmType(2, 48000, 16);
    const CMediaType adts = AacType(0x1600), raw = AacType(0x00FF);
    const struct {
        CMediaType from;
        LONG size;
        CMediaType to;
        HRESULT hr;
        LONG bytes;
        bool different = false;  // to IsMediaTypeDifferent
    } rows[] = {
        {video, 1000, VideoInfoType(320, 240, MEDIASUBTYPE_YUY2), VFW_E_TYPE_NOT_ACCEPTED, qvga,
         true},
        {video, 1000, VideoInfoType(640, 480), S_OK, vga},
        {stereo, 19200, PcmType(1, 48000, 16), S_OK, 9600},  // 4 800 frames
        {stereo, 19200, PcmType(1, 22050, 16), S_OK, 9600},
        {stereo, 19200, PcmType(6, 44100, 24), S_OK, 86400},
        {stereo, 10, PcmType(1, 48000, 16), S_OK, 4},  // two whole frames
        {adts, 1000, raw, S_OK, 1000},
        {adts, 1000, AacType(0x0055), VFW_E_TYPE_NOT_ACCEPTED, 1000, true},
        {raw, 1000, adts, VFW_E_TYPE_NOT_ACCEPTED, 1000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << (&r - rows));
        Allocator a(&r.from);
        ASSERT_EQ(a.Set(2, r.size), S_OK);
        EXPECT_EQ(a.impl->IsMediaTypeDifferent(&r.to), r.different);
        ReportCapture capture;
        EXPECT_EQ(a.impl->SetNewMediaType(&r.to), r.hr);
        ALLOCATOR_PROPERTIES props{};
        AM_MEDIA_TYPE now{};
        ASSERT_EQ(a.mem->GetProperties(&props), S_OK);
        ASSERT_EQ(a.impl->GetMediaType(&now), S_OK);
        EXPECT_EQ(props.cbBuffer, r.bytes);
        EXPECT_TRUE(IsEqualGUID(now.subtype, (r.hr == S_OK ? r.to : r.from).subtype));
        FreeMediaType(now);
    }
    // Raw AAC is a stream kind of its own for the consumer sample map.
    Allocator aac(&adts);
    ASSERT_EQ(aac.impl->SetNewMediaType(&raw), S_OK);
    EXPECT_EQ(aac.impl->GetStreamKind(), 16777216u);

    // Committed: the free samples of the old size give way to larger ones.
    Allocator a(&video);
    ASSERT_EQ(a.Start(2, 1000), S_OK);
    IMediaSample* s = a.Get();
    EXPECT_EQ(s->GetSize(), qvga);
    s->Release();
    CMediaType larger = VideoInfoType(640, 480);
    EXPECT_EQ(a.impl->SetNewMediaType(&larger), S_OK);
    s = a.Get();
    EXPECT_EQ(std::tuple(s->GetSize(), a.impl->GetAllocatedCount(), a.impl->GetLargestSampleSize()),
              std::tuple(vga, 1, vga));
    s->Release();
    Allocator none;
    AM_MEDIA_TYPE copy{};
    ExpectSteps({{[&] { return none.impl->GetMediaType(&copy); }, E_UNEXPECTED, "m_mt.IsValid()"}});
    EXPECT_FALSE(none.impl->IsMediaTypeDifferent(&video));
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
