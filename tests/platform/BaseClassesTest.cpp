#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "platform/dshow/DShow.h"
#include "tests/support/Wine.h"

namespace {

IMemAllocator* NewMemAllocator() {
    IMemAllocator* a = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMemAllocator, reinterpret_cast<void**>(&a)),
              S_OK);
    return a;
}

TEST(MediaType, CopiesOwnFormatBlocksAndMatchPartially) {
    CMediaType a(&MEDIATYPE_Video);
    a.SetSubtype(&MEDIASUBTYPE_YV12);
    a.SetFormatType(&FORMAT_VideoInfo);
    BYTE format[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(a.SetFormat(format, sizeof(format)));
    CMediaType b(a);
    EXPECT_NE(b.Format(), a.Format());
    EXPECT_TRUE(a == b);
    b.Format()[7] = 9;
    EXPECT_TRUE(a != b);
    CMediaType partial(&MEDIATYPE_Video);
    EXPECT_TRUE(partial.IsPartiallySpecified());
    EXPECT_TRUE(a.MatchesPartial(&partial));
    partial.SetSubtype(&MEDIASUBTYPE_YUY2);
    EXPECT_FALSE(a.MatchesPartial(&partial));
    AM_MEDIA_TYPE* copy = CreateMediaType(&a);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->cbFormat, 8u);
    EXPECT_EQ(copy->pbFormat[3], 4);
    DeleteMediaType(copy);
    EXPECT_FALSE(CMediaType().IsValid());
    a.ResetFormatBuffer();
    EXPECT_EQ(a.FormatLength(), 0u);
}

// An object that aggregates a memory allocator: the inner object's interfaces answer for the
// outer one and its reference counting goes to the outer object.
struct Outer : IUnknown {
    std::atomic<LONG> refs{1};
    IUnknown* inner = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
};

TEST(Unknown, AggregatedObjectDelegatesToItsOwner) {
    if (qm::test::UnderWine())
        GTEST_SKIP() << "Wine's standard memory allocator refuses aggregation with other codes "
                        "than Windows'";
    Outer outer;
    EXPECT_EQ(CoCreateInstance(CLSID_MemoryAllocator, &outer, CLSCTX_INPROC_SERVER,
                               IID_IMemAllocator, reinterpret_cast<void**>(&outer.inner)),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    IMemAllocator* alloc = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(&alloc)), S_OK);
    EXPECT_EQ(outer.refs.load(), 2);  // the allocator's AddRef went to the outer object
    IUnknown* identity = nullptr;
    ASSERT_EQ(alloc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    alloc->Release();
    EXPECT_EQ(outer.refs.load(), 1);
    EXPECT_EQ(outer.inner->Release(), 0u);
    void* p = nullptr;
    EXPECT_EQ(CoCreateInstance(IID_IPin, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
              REGDB_E_CLASSNOTREG);
}

TEST(MemAllocator, PropertiesAlignmentAndCommitRules) {
    if (qm::test::UnderWine())
        GTEST_SKIP() << "Wine's standard memory allocator accepts any alignment and keeps the "
                        "requested buffer size";
    IMemAllocator* a = NewMemAllocator();
    ALLOCATOR_PROPERTIES req{2, 1000, 3, 0}, act{};
    EXPECT_EQ(a->SetProperties(&req, &act), VFW_E_BADALIGN);
    req.cbAlign = 0;
    EXPECT_EQ(a->SetProperties(&req, &act), VFW_E_BADALIGN);
    req = {2, 1000, 16, 8};
    ASSERT_EQ(a->SetProperties(&req, &act), S_OK);
    EXPECT_EQ(act.cbBuffer, 1000);  // 1000 + 8 rounded to 16 is 1008, less the prefix
    req = {2, 1001, 16, 8};
    ASSERT_EQ(a->SetProperties(&req, &act), S_OK);
    EXPECT_EQ(act.cbBuffer, 1016);
    IMediaSample* s = nullptr;
    EXPECT_EQ(a->GetBuffer(&s, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(a->Commit(), S_OK);
    EXPECT_EQ(a->SetProperties(&req, &act), VFW_E_ALREADY_COMMITTED);
    IMediaSample* s1 = nullptr;
    IMediaSample* s2 = nullptr;
    ASSERT_EQ(a->GetBuffer(&s1, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(a->GetBuffer(&s2, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(s1->GetSize(), 1016);
    BYTE* p1 = nullptr;
    s1->GetPointer(&p1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p1 - 8) % 16, 0u);  // the prefix is before the data
    EXPECT_EQ(a->GetBuffer(&s, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    IMemAllocatorCallbackTemp* cb = nullptr;
    ASSERT_EQ(a->QueryInterface(IID_IMemAllocatorCallbackTemp, reinterpret_cast<void**>(&cb)),
              S_OK);
    LONG free = -1;
    cb->GetFreeCount(&free);
    EXPECT_EQ(free, 0);
    s1->Release();
    cb->GetFreeCount(&free);
    EXPECT_EQ(free, 1);
    cb->Release();

    // A decommit with a sample out completes when it comes back; the allocator stays alive
    // until then through the reference Commit took.
    EXPECT_EQ(a->Decommit(), S_OK);
    EXPECT_EQ(a->GetBuffer(&s, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    EXPECT_EQ(a->Release(), 1u);
    EXPECT_EQ(s2->Release(), 0u);  // the last reference on the allocator went with it
}

TEST(MemAllocator, DecommitWakesAWaitingGetBuffer) {
    IMemAllocator* a = NewMemAllocator();
    ALLOCATOR_PROPERTIES req{1, 64, 1, 0}, act{};
    ASSERT_EQ(a->SetProperties(&req, &act), S_OK);
    ASSERT_EQ(a->Commit(), S_OK);
    IMediaSample* held = nullptr;
    ASSERT_EQ(a->GetBuffer(&held, nullptr, nullptr, 0), S_OK);
    HRESULT waited = S_OK;
    std::thread waiter([&] {
        IMediaSample* s = nullptr;
        waited = a->GetBuffer(&s, nullptr, nullptr, 0);
    });
    // Whichever runs first, the waiting call ends with VFW_E_NOT_COMMITTED.
    a->Decommit();
    waiter.join();
    EXPECT_EQ(waited, VFW_E_NOT_COMMITTED);
    held->Release();
    a->Release();
}

TEST(MediaSample, TimesFlagsTypeAndProperties) {
    if (qm::test::UnderWine())
        GTEST_SKIP() << "Wine's standard media samples report types and check sample properties "
                        "otherwise than Windows'";
    IMemAllocator* a = NewMemAllocator();
    ALLOCATOR_PROPERTIES req{1, 100, 1, 0}, act{};
    ASSERT_EQ(a->SetProperties(&req, &act), S_OK);
    ASSERT_EQ(a->Commit(), S_OK);
    IMediaSample* s = nullptr;
    ASSERT_EQ(a->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    // Times, media times, flags and an attached type as the graph tests deliver them; what they
    // do not: a start without a stop, the length limit and the properties block.
    REFERENCE_TIME t0 = 0, t1 = 0, start = 100, stop = 250;
    LONGLONG m0 = 0, m1 = 0, ms = 5, me = 9;
    s->SetTime(&start, nullptr);
    EXPECT_EQ((std::tuple{s->GetTime(&t0, &t1), t1}), std::tuple(VFW_S_NO_STOP_TIME, 101));
    s->SetTime(&start, &stop);
    s->SetMediaTime(&ms, &me);
    EXPECT_EQ(s->SetActualDataLength(101), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(s->SetActualDataLength(50), S_OK);
    s->SetSyncPoint(TRUE);
    s->SetDiscontinuity(TRUE);
    CMediaType mt(&MEDIATYPE_Audio);
    AM_MEDIA_TYPE* got = nullptr;
    ASSERT_EQ(s->SetMediaType(&mt), S_OK);
    IMediaSample2* s2 = nullptr;
    ASSERT_EQ(s->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&s2)), S_OK);
    AM_SAMPLE2_PROPERTIES props{};
    ASSERT_EQ(s2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)), S_OK);
    EXPECT_EQ(std::tuple(props.cbData, props.lActual, props.dwSampleFlags),
              std::tuple(DWORD(sizeof(props)), 50,
                         DWORD(AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_DATADISCONTINUITY |
                               AM_SAMPLE_TYPECHANGED | AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID)));
    EXPECT_NE(props.pMediaType, nullptr);
    props.dwSampleFlags = AM_SAMPLE_PREROLL;
    props.lActual = 7;
    ASSERT_EQ(s2->SetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)), S_OK);
    EXPECT_EQ(std::tuple(s->IsPreroll(), s->IsSyncPoint(), s->GetActualDataLength(),
                         s->GetMediaType(&got)),
              std::tuple(S_OK, S_FALSE, 7, S_FALSE));
    EXPECT_EQ(s->GetMediaTime(&m0, &m1), S_OK);  // media times are not part of the properties
    props.dwSampleFlags = 0x400;
    EXPECT_EQ(s2->SetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)), E_INVALIDARG);
    s2->Release();

    // Back in the pool the sample forgets its flags and type.
    s->SetMediaType(&mt);
    s->Release();
    ASSERT_EQ(a->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(std::tuple(s->GetMediaType(&got), s->IsPreroll()), std::tuple(S_FALSE, S_FALSE));
    s->Release();
    a->Decommit();
    a->Release();
}

TEST(WxUtil, EventWaitsAndLocks) {
    CAMEvent manual(TRUE);
    EXPECT_FALSE(manual.Check());
    manual.Set();
    EXPECT_EQ(std::tuple(manual.Wait(0), manual.Check()), std::tuple(TRUE, TRUE));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(1));
    CCritSec cs;
    int counter = 0;
    std::thread other([&] {
        for (int i = 0; i < 10000; ++i) {
            CAutoLock lock(&cs);
            ++counter;
        }
    });
    for (int i = 0; i < 10000; ++i) {
        CAutoLock lock(&cs);
        ++counter;
    }
    other.join();
    EXPECT_EQ(counter, 20000);
}

}  // namespace
