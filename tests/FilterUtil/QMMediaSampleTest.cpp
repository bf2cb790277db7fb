#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "VideoIO/FilterUtil/QMMediaSample.h"
#include "tests/support/ReportCapture.h"
#include "tests/support/VideoTypes.h"

using qm::test::ReportCapture;
using qm_DSFilters::ISampleOwner;
using qm_DSFilters::QMMediaSample;

namespace {

// The standard allocator, recording what comes back to it instead of pooling it.
class RecordingAllocator : public CMemAllocator {
public:
    explicit RecordingAllocator(HRESULT* phr) : CMemAllocator(NAME("recording"), nullptr, phr) {}
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* pSample) override {
        released.push_back(pSample);
        return result;
    }

    std::vector<IMediaSample*> released;
    HRESULT result = S_OK;
};

// A sample over its own memory that destroys itself at its last release.
struct OwnedSample {
    explicit OwnedSample(LONG size) : memory(size_t(size), 0) {
        sample = new QMMediaSample(nullptr, memory.data(), size);
    }
    ~OwnedSample() {
        if (sample) sample->Release();
    }
    std::vector<BYTE> memory;
    QMMediaSample* sample;
};

void SetVideoType(IMediaSample* s, LONG width) {
    const CMediaType video = qm::test::VideoInfoType(width, 16);
    AM_MEDIA_TYPE* type = CreateMediaType(&video);
    EXPECT_EQ(s->SetMediaType(type), S_OK);
    DeleteMediaType(type);  // the sample keeps its own copy
}

void SetTimes(IMediaSample* s, REFERENCE_TIME start, REFERENCE_TIME stop) {
    EXPECT_EQ(s->SetTime(&start, &stop), S_OK);
}
void SetMediaTimes(IMediaSample* s, LONGLONG start, LONGLONG stop) {
    EXPECT_EQ(s->SetMediaTime(&start, &stop), S_OK);
}

// GetTime or GetMediaTime: the result and both times.
using Times = std::tuple<HRESULT, LONGLONG, LONGLONG>;
Times TimesOf(IMediaSample* s) {
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT hr = s->GetTime(&start, &stop);
    return {hr, start, stop};
}
Times MediaTimesOf(IMediaSample* s) {
    LONGLONG start = 0, stop = 0;
    const HRESULT hr = s->GetMediaTime(&start, &stop);
    return {hr, start, stop};
}

AM_SAMPLE2_PROPERTIES Props(QMMediaSample* s, DWORD size = sizeof(AM_SAMPLE2_PROPERTIES)) {
    AM_SAMPLE2_PROPERTIES p{};
    EXPECT_EQ(s->GetProperties(size, reinterpret_cast<BYTE*>(&p)), S_OK);
    return p;
}

const GUID kPropertyKey = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};

// Every piece of state a sample carries: 20 bytes of data, times 100-150, media times 7-9, the
// sync point, time discontinuity and stream 5, a 64-wide video type, markers 11, -12 and 13, and
// one buffer property {0x55, 0x66}.
void SetEverything(OwnedSample& a) {
    for (size_t i = 0; i < a.memory.size(); ++i) a.memory[i] = BYTE(i * 3);
    a.sample->SetActualDataLength(20);
    SetTimes(a.sample, 100, 150);
    SetMediaTimes(a.sample, 7, 9);
    a.sample->SetSyncPoint(TRUE);
    AM_SAMPLE2_PROPERTIES p = Props(a.sample);
    p.dwSampleFlags |= AM_SAMPLE_TIMEDISCONTINUITY;
    p.dwStreamId = 5;
    p.pbBuffer = nullptr;
    ASSERT_EQ(a.sample->SetProperties(sizeof(p), reinterpret_cast<BYTE*>(&p)), S_OK);
    SetVideoType(a.sample, 64);
    a.sample->SetMarkerValue(11);
    a.sample->SetMarkerTime1(-12);
    a.sample->SetMarkerTime2(13);
    BYTE value[2] = {0x55, 0x66};
    a.sample->SetProperty(kPropertyKey, value, 2);
}

TEST(QMMediaSampleTest, TimesFollowTheirFlags) {
    OwnedSample s(64);
    EXPECT_EQ(std::get<0>(TimesOf(s.sample)), VFW_E_SAMPLE_TIME_NOT_SET);
    REFERENCE_TIME t100 = 100, t200 = 200, stop = 0;
    EXPECT_EQ(s.sample->SetTime(&t100, nullptr), S_OK);
    EXPECT_EQ(TimesOf(s.sample), Times(VFW_S_NO_STOP_TIME, 100, 101));

    EXPECT_EQ(s.sample->SetTime(&t100, &t200), S_OK);
    {
        ReportCapture capture;
        // A stop before the start fails and keeps the times that were there.
        EXPECT_EQ(s.sample->SetTime(&t200, &t100), E_INVALIDARG);
        EXPECT_TRUE(capture.Contains("*pTimeEnd >= *pTimeStart"));
        EXPECT_EQ(s.sample->SetTime(nullptr, &t100), E_INVALIDARG);
        EXPECT_TRUE(capture.Contains("pTimeEnd == 0"));
        EXPECT_EQ(s.sample->GetTime(nullptr, &stop), E_POINTER);
        EXPECT_TRUE(capture.Contains("pTimeStart != 0"));
    }
    EXPECT_EQ(TimesOf(s.sample), Times(S_OK, 100, 200));

    // Only a start again: the stop is gone, not left over from before.
    EXPECT_EQ(s.sample->SetTime(&t200, nullptr), S_OK);
    EXPECT_EQ(TimesOf(s.sample), Times(VFW_S_NO_STOP_TIME, 200, 201));
    EXPECT_EQ(s.sample->SetTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(std::get<0>(TimesOf(s.sample)), VFW_E_SAMPLE_TIME_NOT_SET);
}

TEST(QMMediaSampleTest, MediaTimesKeepA32BitDifference) {
    OwnedSample s(64);
    EXPECT_EQ(std::get<0>(MediaTimesOf(s.sample)), VFW_E_MEDIA_TIME_NOT_SET);
    LONGLONG a = 5'000'000'000LL, b = 5'000'000'300LL;
    EXPECT_EQ(s.sample->SetMediaTime(&a, &b), S_OK);
    EXPECT_EQ(MediaTimesOf(s.sample), Times(S_OK, a, b));
    {
        ReportCapture capture;
        EXPECT_EQ(s.sample->SetMediaTime(&b, &a), E_UNEXPECTED);
        EXPECT_EQ(s.sample->SetMediaTime(&a, nullptr), E_INVALIDARG);
        EXPECT_TRUE(capture.Contains("pTimeEnd != 0"));
        EXPECT_EQ(s.sample->SetMediaTime(nullptr, &a), E_INVALIDARG);
        EXPECT_TRUE(capture.Contains("pTimeEnd == 0"));
    }
    EXPECT_EQ(MediaTimesOf(s.sample), Times(S_OK, a, b));
    EXPECT_EQ(s.sample->SetMediaTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(std::get<0>(MediaTimesOf(s.sample)), VFW_E_MEDIA_TIME_NOT_SET);
}

TEST(QMMediaSampleTest, LengthsAreBoundedByTheBufferInEveryView) {
    OwnedSample s(100);
    ReportCapture capture;
    EXPECT_EQ(s.sample->SetActualDataLength(101), VFW_E_BUFFER_OVERFLOW);
    EXPECT_TRUE(capture.Contains("lActual <= m_cbBuffer"));
    EXPECT_EQ(s.sample->SetActualDataLength(-1), E_INVALIDARG);
    EXPECT_EQ(s.sample->SetActualDataLength(40), S_OK);

    INSSBuffer* nss = s.sample;
    IMediaBuffer* dmo = s.sample;
    IMFMediaBuffer* mf = s.sample;
    // A DWORD length that would be negative as a LONG is an overflow, not a small length.
    EXPECT_EQ(nss->SetLength(0x80000000u), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(dmo->SetLength(101), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(mf->SetCurrentLength(0xFFFFFFFFu), VFW_E_BUFFER_OVERFLOW);

    DWORD length = 0, maxLength = 0;
    BYTE* p = nullptr;
    EXPECT_EQ(nss->GetLength(&length), S_OK);
    EXPECT_EQ(length, 40u);
    EXPECT_EQ(dmo->SetLength(70), S_OK);
    EXPECT_EQ(s.sample->GetActualDataLength(), 70);
    EXPECT_EQ(dmo->GetBufferAndLength(&p, &length), S_OK);
    EXPECT_EQ(p, s.memory.data());
    EXPECT_EQ(length, 70u);
    EXPECT_EQ(mf->GetMaxLength(&maxLength), S_OK);
    EXPECT_EQ(maxLength, 100u);
    p = nullptr;
    length = 0;
    EXPECT_EQ(mf->Lock(&p, nullptr, &length), S_OK);
    EXPECT_EQ(p, s.memory.data());
    EXPECT_EQ(length, 70u);
    EXPECT_EQ(mf->Unlock(), S_OK);
    EXPECT_EQ(mf->Lock(nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(nss->GetMaxLength(nullptr), E_POINTER);
    EXPECT_TRUE(capture.Contains("pdwMaxLength != 0"));
}

TEST(QMMediaSampleTest, GetPointerRefusesASampleWithoutMemory) {
    QMMediaSample* s = new QMMediaSample(nullptr, nullptr, 0);
    ReportCapture capture;
    BYTE* p = reinterpret_cast<BYTE*>(1);
    EXPECT_EQ(s->GetPointer(&p), E_UNEXPECTED);
    EXPECT_TRUE(capture.Contains("m_pBuffer != 0"));
    EXPECT_EQ(s->GetPointer(nullptr), E_POINTER);
    s->Release();
}

TEST(QMMediaSampleTest, MediaTypeIsOwnedAndReportedThroughProperties) {
    OwnedSample s(64);
    AM_MEDIA_TYPE* out = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    EXPECT_EQ(s.sample->GetMediaType(&out), S_FALSE);
    EXPECT_EQ(out, nullptr);

    SetVideoType(s.sample, 32);

    AM_SAMPLE2_PROPERTIES p = Props(s.sample);
    EXPECT_EQ(p.cbData, 64u);
    EXPECT_TRUE(p.dwSampleFlags & AM_SAMPLE_TYPECHANGED);
    ASSERT_NE(p.pMediaType, nullptr);
    EXPECT_EQ(Props(s.sample).pMediaType, p.pMediaType);  // the stored type, not a copy
    EXPECT_EQ(p.pbBuffer, s.memory.data());
    EXPECT_EQ(p.cbBuffer, 64);

    EXPECT_EQ(s.sample->GetMediaType(&out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out, p.pMediaType);
    EXPECT_TRUE(IsEqualGUID(out->subtype, MEDIASUBTYPE_YV12));
    ASSERT_EQ(out->cbFormat, sizeof(VIDEOINFOHEADER));
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(out->pbFormat)->bmiHeader.biWidth, 32);
    DeleteMediaType(out);

    EXPECT_EQ(s.sample->SetMediaType(nullptr), S_OK);
    EXPECT_EQ(Props(s.sample).dwSampleFlags & AM_SAMPLE_TYPECHANGED, 0u);
    EXPECT_EQ(s.sample->GetMediaType(&out), S_FALSE);
}

// The type that GetProperties hands out may come straight back, through SetMediaType or a
// properties round trip; the sample must copy it before it lets go of its own (ASan sees a use
// after free otherwise).
TEST(QMMediaSampleTest, TheStoredTypeMayBeHandedBack) {
    OwnedSample s(64);
    SetVideoType(s.sample, 48);
    for (int route = 0; route < 2; ++route) {
        SCOPED_TRACE(route);
        AM_SAMPLE2_PROPERTIES p = Props(s.sample);
        ASSERT_NE(p.pMediaType, nullptr);
        if (route == 0)
            ASSERT_EQ(s.sample->SetMediaType(p.pMediaType), S_OK);
        else
            ASSERT_EQ(s.sample->SetProperties(sizeof(p), reinterpret_cast<const BYTE*>(&p)), S_OK);
        AM_MEDIA_TYPE* out = nullptr;
        ASSERT_EQ(s.sample->GetMediaType(&out), S_OK);
        ASSERT_NE(out, nullptr);
        EXPECT_TRUE(IsEqualGUID(out->subtype, MEDIASUBTYPE_YV12));
        ASSERT_EQ(out->cbFormat, sizeof(VIDEOINFOHEADER));
        EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(out->pbFormat)->bmiHeader.biWidth, 48);
        DeleteMediaType(out);
    }
}

TEST(QMMediaSampleTest, GetPropertiesFillsOnlyTheAskedBytes) {
    OwnedSample s(64);
    SetMediaTimes(s.sample, 1, 2);
    s.sample->SetSyncPoint(TRUE);
    BYTE raw[80];
    std::memset(raw, 0xAB, sizeof(raw));
    EXPECT_EQ(s.sample->GetProperties(12, raw), S_OK);
    AM_SAMPLE2_PROPERTIES p{};
    std::memcpy(&p, raw, 12);
    EXPECT_EQ(p.cbData, 12u);
    // The media-time bit is internal.
    EXPECT_EQ(p.dwSampleFlags, DWORD(AM_SAMPLE_SPLICEPOINT));
    EXPECT_EQ(raw[12], 0xAB);
    EXPECT_EQ(s.sample->GetProperties(80, raw), S_OK);
    std::memcpy(&p, raw, sizeof(p));
    EXPECT_EQ(p.cbData, 64u);
    EXPECT_EQ(raw[64], 0xAB);
    EXPECT_EQ(s.sample->GetProperties(0, nullptr), S_OK);
    EXPECT_EQ(s.sample->GetProperties(4, nullptr), E_POINTER);
}

TEST(QMMediaSampleTest, SetPropertiesChecksBeforeItStores) {
    OwnedSample s(64);
    AM_SAMPLE2_PROPERTIES p = Props(s.sample);
    auto set = [&](DWORD size) {
        return s.sample->SetProperties(size, reinterpret_cast<const BYTE*>(&p));
    };
    EXPECT_EQ(set(3), S_OK);  // too short to say anything
    EXPECT_EQ(s.sample->SetProperties(8, nullptr), E_POINTER);

    ReportCapture capture;
    p.dwSampleFlags = 0x20;  // the media-time bit is not for callers
    EXPECT_EQ(set(64), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("QMLogHRESULT: "));
    p.dwSampleFlags = 0x200;
    EXPECT_EQ(set(64), E_INVALIDARG);

    // A time flag set newly without its times in the data.
    p.cbData = 12;
    p.dwSampleFlags = AM_SAMPLE_TIMEVALID;
    EXPECT_EQ(set(64), E_INVALIDARG);

    p = Props(s.sample);
    BYTE other[4];
    p.pbBuffer = other;
    EXPECT_EQ(set(64), E_INVALIDARG);
    p.pbBuffer = nullptr;
    p.dwSampleFlags = AM_SAMPLE_TYPECHANGED;
    EXPECT_EQ(set(64), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("pProps->pMediaType != 0"));
    p.dwSampleFlags = 0;
    p.lActual = 65;
    EXPECT_EQ(set(64), VFW_E_BUFFER_OVERFLOW);
    p.cbData = 65;
    p.lActual = 10;
    EXPECT_EQ(set(80), E_INVALIDARG);

    // Nothing of the refused requests was stored.
    AM_SAMPLE2_PROPERTIES now = Props(s.sample);
    EXPECT_EQ(now.dwSampleFlags, 0u);
    EXPECT_EQ(now.lActual, 64);

    // The used size is the smaller of cbData and the byte count: fields beyond it stay.
    p = Props(s.sample);
    p.cbData = 16;
    p.dwTypeSpecificFlags = 7;
    p.dwSampleFlags = AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_PREROLL;
    p.lActual = 12;
    p.tStart = 999;
    EXPECT_EQ(set(64), S_OK);
    now = Props(s.sample);
    EXPECT_EQ(now.dwTypeSpecificFlags, 7u);
    EXPECT_EQ(now.dwSampleFlags, DWORD(AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_PREROLL));
    EXPECT_EQ(now.lActual, 12);
    EXPECT_EQ(now.tStart, -1);
    EXPECT_EQ(s.sample->IsPreroll(), S_OK);
}

TEST(QMMediaSampleTest, PropertiesRoundTripThroughAnotherSample) {
    OwnedSample a(64), b(64);
    SetEverything(a);
    AM_SAMPLE2_PROPERTIES p = Props(a.sample);
    p.pbBuffer = nullptr;
    EXPECT_EQ(b.sample->SetProperties(sizeof(p), reinterpret_cast<const BYTE*>(&p)), S_OK);
    AM_SAMPLE2_PROPERTIES q = Props(b.sample);
    EXPECT_EQ(q.dwSampleFlags, p.dwSampleFlags);
    EXPECT_EQ(q.tStart, 100);
    EXPECT_EQ(q.tStop, 150);
    ASSERT_NE(q.pMediaType, nullptr);
    EXPECT_NE(q.pMediaType, p.pMediaType);  // b owns a copy
    EXPECT_EQ(q.pbBuffer, b.memory.data());
    // Media times are not part of the properties.
    EXPECT_EQ(std::get<0>(MediaTimesOf(b.sample)), VFW_E_MEDIA_TIME_NOT_SET);

    // The same block written back into its own sample changes nothing.
    q = Props(a.sample);
    EXPECT_EQ(a.sample->SetSampleProperties(sizeof(q), reinterpret_cast<BYTE*>(&q)), S_OK);
    EXPECT_EQ(Props(a.sample).pMediaType, q.pMediaType);
    EXPECT_EQ(std::get<0>(MediaTimesOf(a.sample)), S_OK);
}

// A DWORD read through a view's own method.
template <class View, HRESULT (STDMETHODCALLTYPE View::*Get)(DWORD*)>
DWORD ReadVia(void* view) {
    DWORD d = 0;
    EXPECT_EQ((static_cast<View*>(view)->*Get)(&d), S_OK);
    return d;
}

// Every view that QueryInterface hands out is the same object (COM identity), costs one
// reference and, used through its own methods, shows the same sample: 16 bytes, 5 of them used.
TEST(QMMediaSampleTest, EveryViewIsTheSameSample) {
    OwnedSample s(16);
    QMMediaSample* q = s.sample;
    ASSERT_EQ(q->SetActualDataLength(5), S_OK);
    q->SetMarkerValue(7);
    IUnknown* identity = nullptr;
    ASSERT_EQ(q->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    identity->Release();

    using Read = DWORD (*)(void*);
    const Read length = [](void* v) {
        return DWORD(static_cast<IMediaSample*>(v)->GetActualDataLength());
    };
    const Read marker = [](void* v) {
        return DWORD(static_cast<IMediaSampleMarker*>(v)->GetMarkerValue());
    };
    const Read nssMax = ReadVia<INSSBuffer, &INSSBuffer::GetMaxLength>;
    const Read nssLength = ReadVia<INSSBuffer, &INSSBuffer::GetLength>;
    const Read dmoMax = ReadVia<IMediaBuffer, &IMediaBuffer::GetMaxLength>;
    const Read mfLength = ReadVia<IMFMediaBuffer, &IMFMediaBuffer::GetCurrentLength>;
    const struct {
        const IID* iid;
        Read read;
        DWORD expected;
    } views[] = {{&IID_IMediaSample, length, 5},       {&IID_IMediaSample2, length, 5},
                 {&IID_INSSBuffer, nssMax, 16},        {&IID_INSSBuffer2, nssLength, 5},
                 {&IID_INSSBuffer3, nssMax, 16},       {&IID_INSSBuffer4, nssLength, 5},
                 {&IID_IMediaBuffer, dmoMax, 16},      {&IID_IMFMediaBuffer, mfLength, 5},
                 {&IID_IMediaSampleMarker, marker, 7}, {&IID_IQMMediaSample, nullptr, 0},
                 {&IID_ICopyMediaSample, nullptr, 0}};
    for (const auto& view : views) {
        SCOPED_TRACE(testing::Message() << "view " << (&view - views));
        void* v = nullptr;
        ASSERT_EQ(q->QueryInterface(*view.iid, &v), S_OK);
        EXPECT_EQ(q->GetRefCount(), 2);
        IUnknown* u = nullptr;
        EXPECT_EQ(
            static_cast<IUnknown*>(v)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u)),
            S_OK);
        EXPECT_EQ(u, identity);
        if (u) u->Release();
        if (view.read) {
            EXPECT_EQ(view.read(v), view.expected);
        }
        static_cast<IUnknown*>(v)->Release();
    }
    void* p = q;
    EXPECT_EQ(q->QueryInterface(IID_IMemAllocator, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(q->GetRefCount(), 1);
}

TEST(QMMediaSampleTest, LastReleaseHandsTheSampleToItsAllocatorOnce) {
    HRESULT hr = S_OK;
    RecordingAllocator allocator(&hr);
    std::vector<BYTE> memory(32);
    QMMediaSample* s = new QMMediaSample(&allocator, memory.data(), 32);
    s->AddRef();
    EXPECT_EQ(s->Release(), 1u);
    EXPECT_TRUE(allocator.released.empty());
    EXPECT_EQ(s->Release(), 0u);
    ASSERT_EQ(allocator.released.size(), 1u);
    EXPECT_EQ(allocator.released[0], static_cast<IMediaSample*>(s));
    // Still alive: the allocator may hand it out again.
    EXPECT_EQ(s->GetSize(), 32);
    {
        ReportCapture capture;
        EXPECT_EQ(s->Release(), 0u);  // one Release too many
        EXPECT_EQ(allocator.released.size(), 1u);
        EXPECT_EQ(s->GetRefCount(), 0);
        EXPECT_EQ(capture.Count(), 1u);
    }
    // A failing ReleaseBuffer is reported; the count still reaches 0.
    allocator.result = E_UNEXPECTED;
    s->AddRef();
    ReportCapture capture;
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_TRUE(capture.Contains("QMCheckHRESULT: "));
    delete s;
}

TEST(QMMediaSampleTest, AnOwnerWithoutAllocatorMayKeepTheSample) {
    struct Owner : ISampleOwner {
        bool TakeSample(QMMediaSample* s) override {
            taken.push_back(s);
            return keep;
        }
        bool keep = true;
        std::vector<QMMediaSample*> taken;
    } owner;
    std::vector<BYTE> memory(16);
    QMMediaSample* s = new QMMediaSample(nullptr, memory.data(), 16, &owner);
    EXPECT_EQ(s->Release(), 0u);
    ASSERT_EQ(owner.taken.size(), 1u);
    EXPECT_EQ(s->GetSize(), 16);  // kept alive by the owner
    // When the owner declines, the sample destroys itself (the leak checker sees otherwise).
    owner.keep = false;
    s->AddRef();
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(owner.taken.size(), 2u);
}

TEST(QMMediaSampleTest, PropertyMapByGuidAndIndex) {
    OwnedSample s(16);
    INSSBuffer4* b = s.sample;
    const GUID high = {0x90000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
    const GUID low = {0x10000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    const GUID absent = {0x50000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
    BYTE v1[3] = {1, 2, 3}, v2[5] = {9, 8, 7, 6, 5};
    EXPECT_EQ(b->SetProperty(high, v1, 3), S_OK);
    EXPECT_EQ(b->SetProperty(low, v2, 5), S_OK);
    EXPECT_EQ(b->SetProperty(high, v2, 2), S_OK);  // replaces

    DWORD count = 0;
    EXPECT_EQ(b->GetPropertyCount(&count), S_OK);
    EXPECT_EQ(count, 2u);

    DWORD size = 0;
    EXPECT_EQ(b->GetProperty(high, nullptr, &size), S_OK);
    EXPECT_EQ(size, 2u);
    BYTE out[8] = {};
    ReportCapture capture;
    size = 1;
    EXPECT_EQ(b->GetProperty(low, out, &size), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("int(*pdwBufferPropertySize) >= it->second.size()"));
    size = 8;
    EXPECT_EQ(b->GetProperty(low, out, &size), S_OK);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(out, v2, 5), 0);
    EXPECT_TRUE(FAILED(b->GetProperty(absent, out, &size)));
    EXPECT_EQ(b->GetProperty(low, out, nullptr), E_POINTER);

    // Index order is GUID order, not insertion order.
    GUID g{};
    size = 8;
    EXPECT_EQ(b->GetPropertyByIndex(0, &g, out, &size), S_OK);
    EXPECT_TRUE(IsEqualGUID(g, low));
    EXPECT_EQ(size, 5u);
    size = 1;
    EXPECT_EQ(b->GetPropertyByIndex(1, &g, out, &size), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("*pdwBufferPropertySize >= it->second.size()"));
    size = 8;
    EXPECT_EQ(b->GetPropertyByIndex(1, &g, out, &size), S_OK);
    EXPECT_TRUE(IsEqualGUID(g, high));
    EXPECT_EQ(b->GetPropertyByIndex(2, &g, out, &size), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("dwBufferPropertyIndex < DWORD(m_propertyMap.size())"));
}

TEST(QMMediaSampleTest, CopyToCarriesEverythingIntoAnotherSample) {
    OwnedSample a(64), b(64), small(8);
    SetEverything(a);
    // b starts with a state of its own that must not survive.
    b.sample->SetPreroll(TRUE);

    EXPECT_EQ(a.sample->CopyTo(b.sample), S_OK);
    EXPECT_EQ(b.sample->GetActualDataLength(), 20);
    EXPECT_EQ(std::memcmp(b.memory.data(), a.memory.data(), 20), 0);
    AM_SAMPLE2_PROPERTIES pa = Props(a.sample), pb = Props(b.sample);
    EXPECT_EQ(pb.dwSampleFlags, pa.dwSampleFlags);
    EXPECT_EQ(pb.dwStreamId, 5u);
    EXPECT_EQ(pb.tStart, 100);
    EXPECT_EQ(pb.tStop, 150);
    ASSERT_NE(pb.pMediaType, nullptr);
    EXPECT_NE(pb.pMediaType, pa.pMediaType);
    EXPECT_EQ(std::get<2>(MediaTimesOf(b.sample)), 9);
    EXPECT_EQ(b.sample->GetMarkerValue(), 11u);
    EXPECT_EQ(b.sample->GetMarkerTime1(), -12);
    EXPECT_EQ(b.sample->GetMarkerTime2(), 13);
    DWORD size = 2;
    BYTE got[2] = {};
    EXPECT_EQ(b.sample->GetProperty(kPropertyKey, got, &size), S_OK);
    EXPECT_EQ(got[1], 0x66);

    ReportCapture capture;
    EXPECT_EQ(a.sample->CopyTo(small.sample), VFW_E_BUFFER_OVERFLOW);
    EXPECT_TRUE(capture.Contains("pMediaSample->GetSize() >= m_lActual"));
    EXPECT_EQ(a.sample->CopyTo(nullptr), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("pMediaSample != 0"));
}

TEST(QMMediaSampleTest, CopyFromAnNSSBufferTakesBytesAndProperties) {
    OwnedSample src(32), dst(32), small(4);
    for (int i = 0; i < 32; ++i) src.memory[size_t(i)] = BYTE(200 - i);
    src.sample->SetActualDataLength(10);
    REFERENCE_TIME t0 = 40;
    src.sample->SetTime(&t0, nullptr);
    const GUID key = {7, 7, 7, {7, 7, 7, 7, 7, 7, 7, 7}};
    BYTE value[1] = {42};
    src.sample->SetProperty(key, value, 1);

    EXPECT_EQ(dst.sample->CopyFrom(src.sample), S_OK);
    EXPECT_EQ(dst.sample->GetActualDataLength(), 10);
    EXPECT_EQ(std::memcmp(dst.memory.data(), src.memory.data(), 10), 0);
    const Times times = TimesOf(dst.sample);
    EXPECT_EQ(std::get<0>(times), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(std::get<1>(times), 40);
    DWORD count = 0;
    dst.sample->GetPropertyCount(&count);
    EXPECT_EQ(count, 1u);

    ReportCapture capture;
    EXPECT_EQ(small.sample->CopyFrom(src.sample), VFW_E_BUFFER_OVERFLOW);
    EXPECT_TRUE(capture.Contains("int(dwLength) <= m_cbBuffer"));
    EXPECT_EQ(small.sample->GetActualDataLength(), 4);
    EXPECT_EQ(dst.sample->CopyFrom(nullptr), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("pNSSBuffer != 0"));
}

TEST(QMMediaSampleTest, ResetForReuseClearsStateButKeepsBufferProperties) {
    OwnedSample s(32);
    SetEverything(s);
    s.sample->ResetForReuse();
    AM_SAMPLE2_PROPERTIES p = Props(s.sample);
    EXPECT_EQ(p.dwSampleFlags, 0u);
    EXPECT_EQ(p.pMediaType, nullptr);
    EXPECT_EQ(p.tStart, -1);
    EXPECT_EQ(p.tStop, -1);
    EXPECT_EQ(p.lActual, 20);
    EXPECT_EQ(p.dwStreamId, 0u);
    EXPECT_EQ(std::get<0>(MediaTimesOf(s.sample)), VFW_E_MEDIA_TIME_NOT_SET);
    AM_MEDIA_TYPE* out = nullptr;
    EXPECT_EQ(s.sample->GetMediaType(&out), S_FALSE);
    EXPECT_EQ(s.sample->GetMarkerValue(), 0u);
    EXPECT_EQ(s.sample->GetMarkerTime1(), 0);
    EXPECT_EQ(s.sample->GetMarkerTime2(), 0);
    DWORD count = 0;
    s.sample->GetPropertyCount(&count);
    EXPECT_EQ(count, 1u);
}

}  // namespace
