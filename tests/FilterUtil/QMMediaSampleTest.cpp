#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

#include "VideoIO/FilterUtil/QMMediaSample.h"
#include "tests/FilterUtil/Steps.h"
#include "tests/support/ReportCapture.h"
#include "tests/support/VideoTypes.h"

using qm::test::ExpectSteps;
using qm::test::ReportCapture;
using qm_DSFilters::ISampleOwner;
using qm_DSFilters::QMMediaSample;
using Props2 = AM_SAMPLE2_PROPERTIES;

namespace {

// A sample over its own memory that destroys itself at its last release.
struct OwnedSample {
    explicit OwnedSample(LONG size) : memory(size_t(size), 0) {
        sample = new QMMediaSample(nullptr, memory.data(), size);
    }
    ~OwnedSample() { sample->Release(); }
    QMMediaSample* operator->() const { return sample; }
    std::vector<BYTE> memory;
    QMMediaSample* sample;
};

Props2 Props(QMMediaSample* s) {
    Props2 p{};
    EXPECT_EQ(s->GetProperties(sizeof(p), reinterpret_cast<BYTE*>(&p)), S_OK);
    return p;
}
HRESULT SetProps(QMMediaSample* s, const Props2& p, DWORD size = sizeof(Props2)) {
    return s->SetProperties(size, reinterpret_cast<const BYTE*>(&p));
}

using Times = std::tuple<HRESULT, LONGLONG, LONGLONG>;

// Everything a sample carries, its type reduced to the picture width (0: none), so that a copy
// compares equal to its original.
struct State {
    DWORD flags = 0, typeSpecific = 0, streamId = 0;
    LONG actual = 0;
    REFERENCE_TIME start = 0, stop = 0;
    Times media{};
    uint32_t marker = 0;
    REFERENCE_TIME marker1 = 0, marker2 = 0;
    DWORD properties = 0;
    LONG width = 0;
    std::vector<BYTE> data;
    bool operator==(const State&) const = default;
};
State StateOf(QMMediaSample* s) {
    const Props2 p = Props(s);
    State st;
    std::tie(st.flags, st.typeSpecific, st.streamId, st.actual, st.start, st.stop) = std::tie(
        p.dwSampleFlags, p.dwTypeSpecificFlags, p.dwStreamId, p.lActual, p.tStart, p.tStop);
    LONGLONG mediaStart = 0, mediaStop = 0;
    st.media = {s->GetMediaTime(&mediaStart, &mediaStop), mediaStart, mediaStop};
    st.marker = s->GetMarkerValue();
    st.marker1 = s->GetMarkerTime1();
    st.marker2 = s->GetMarkerTime2();
    EXPECT_EQ(s->GetPropertyCount(&st.properties), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    if (s->GetMediaType(&type) == S_OK) {
        EXPECT_EQ(type->cbFormat, sizeof(VIDEOINFOHEADER));
        st.width = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader.biWidth;
        DeleteMediaType(type);
    }
    st.data.assign(p.pbBuffer, p.pbBuffer + p.lActual);
    return st;
}

void SetVideoType(IMediaSample* s, LONG width) {
    const CMediaType video = qm::test::VideoInfoType(width, 16);
    AM_MEDIA_TYPE* type = CreateMediaType(&video);
    EXPECT_EQ(s->SetMediaType(type), S_OK);
    DeleteMediaType(type);  // the sample keeps its own copy
}

const GUID kPropertyKey = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};

// 20 bytes of data, times 100-150, media times 7-9, sync point, time discontinuity, stream 5,
// type-specific flags 3, a 64-wide video type, markers 11, -12 and 13, one buffer property.
void SetEverything(OwnedSample& a) {
    for (size_t i = 0; i < a.memory.size(); ++i) a.memory[i] = BYTE(i * 3 + 1);
    ASSERT_EQ(a->SetActualDataLength(20), S_OK);
    REFERENCE_TIME start = 100, stop = 150;
    LONGLONG mediaStart = 7, mediaStop = 9;
    ASSERT_EQ(a->SetTime(&start, &stop), S_OK);
    ASSERT_EQ(a->SetMediaTime(&mediaStart, &mediaStop), S_OK);
    a->SetSyncPoint(TRUE);
    Props2 p = Props(a.sample);
    p.dwSampleFlags |= AM_SAMPLE_TIMEDISCONTINUITY;
    p.dwStreamId = 5;
    p.dwTypeSpecificFlags = 3;
    p.pbBuffer = nullptr;
    ASSERT_EQ(SetProps(a.sample, p), S_OK);
    SetVideoType(a.sample, 64);
    a->SetMarkerValue(11);
    a->SetMarkerTime1(-12);
    a->SetMarkerTime2(13);
    BYTE value[2] = {0x55, 0x66};
    a->SetProperty(kPropertyKey, value, 2);
}

TEST(QMMediaSampleTest, TimesFollowTheirFlags) {
    OwnedSample s(64);
    auto times = [&] {
        REFERENCE_TIME start = 0, stop = 0;
        const HRESULT hr = s->GetTime(&start, &stop);
        return Times(hr, start, stop);
    };
    REFERENCE_TIME t100 = 100, t200 = 200;
    EXPECT_EQ(std::get<0>(times()), VFW_E_SAMPLE_TIME_NOT_SET);
    ASSERT_EQ(s->SetTime(&t100, nullptr), S_OK);
    EXPECT_EQ(times(), Times(VFW_S_NO_STOP_TIME, 100, 101));
    ASSERT_EQ(s->SetTime(&t100, &t200), S_OK);
    EXPECT_EQ(times(), Times(S_OK, 100, 200));
    // Only a start again: the stop is gone, not left over from before.
    ASSERT_EQ(s->SetTime(&t200, nullptr), S_OK);
    EXPECT_EQ(times(), Times(VFW_S_NO_STOP_TIME, 200, 201));
    ASSERT_EQ(s->SetTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(std::get<0>(times()), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(std::get<0>(StateOf(s.sample).media), VFW_E_MEDIA_TIME_NOT_SET);
    LONGLONG a = 5'000'000'000LL, b = a + 300;  // a 32-bit difference from a 64-bit start
    ASSERT_EQ(s->SetMediaTime(&a, &b), S_OK);
    EXPECT_EQ(StateOf(s.sample).media, Times(S_OK, a, b));
    ASSERT_EQ(s->SetMediaTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(std::get<0>(StateOf(s.sample).media), VFW_E_MEDIA_TIME_NOT_SET);
}

// Every refused call returns its status, reports its condition and stores nothing.
TEST(QMMediaSampleTest, RefusedCallsChangeNothing) {
    OwnedSample s(100), fresh(64), small(8);
    QMMediaSample* empty = new QMMediaSample(nullptr, nullptr, 0);
    REFERENCE_TIME t100 = 100, t200 = 200, stop = 0;
    LONGLONG a = 5'000'000'000LL, b = a + 300;
    ASSERT_EQ(s->SetTime(&t100, &t200), S_OK);
    ASSERT_EQ(s->SetMediaTime(&a, &b), S_OK);
    ASSERT_EQ(s->SetActualDataLength(40), S_OK);
    const GUID high = {0x90000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
    const GUID low = {0x10000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    BYTE v1[3] = {1, 2, 3}, v2[5] = {9, 8, 7, 6, 5}, out[8] = {};
    ASSERT_EQ(s->SetProperty(high, v1, 3), S_OK);
    ASSERT_EQ(s->SetProperty(low, v2, 5), S_OK);
    ASSERT_EQ(s->SetProperty(high, v2, 2), S_OK);  // replaces
    const State before = StateOf(s.sample), freshBefore = StateOf(fresh.sample);
    INSSBuffer4* nss = s.sample;
    IMFMediaBuffer* mf = s.sample;
    GUID g{};
    BYTE* pointer = nullptr;
    auto property = [&](const GUID& key, DWORD n) { return nss->GetProperty(key, out, &n); };
    auto byIndex = [&](DWORD i, DWORD n) { return nss->GetPropertyByIndex(i, &g, out, &n); };
    // The fresh sample's properties block with one field changed, of `size` bytes.
    auto props = [&](auto field, auto value, DWORD size = 64) {
        Props2 p = Props(fresh.sample);
        p.*field = value;
        return SetProps(fresh.sample, p, size);
    };
    ExpectSteps({
        {[&] { return s->SetTime(&t200, &t100); }, E_INVALIDARG, "*pTimeEnd >= *pTimeStart"},
        {[&] { return s->SetTime(nullptr, &t100); }, E_INVALIDARG, "pTimeEnd == 0"},
        {[&] { return s->GetTime(nullptr, &stop); }, E_POINTER, "pTimeStart != 0"},
        {[&] { return s->SetMediaTime(&b, &a); }, E_UNEXPECTED},
        {[&] { return s->SetMediaTime(&a, nullptr); }, E_INVALIDARG, "pTimeEnd != 0"},
        {[&] { return s->SetMediaTime(nullptr, &a); }, E_INVALIDARG, "pTimeEnd == 0"},
        {[&] { return s->SetActualDataLength(101); }, VFW_E_BUFFER_OVERFLOW,
         "lActual <= m_cbBuffer"},
        {[&] { return s->SetActualDataLength(-1); }, E_INVALIDARG},
        // A DWORD length that would be negative as a LONG is an overflow, not a small length.
        {[&] { return nss->SetLength(0x80000000u); }, VFW_E_BUFFER_OVERFLOW},
        {[&] { return mf->SetCurrentLength(0xFFFFFFFFu); }, VFW_E_BUFFER_OVERFLOW},
        {[&] { return mf->Lock(nullptr, nullptr, nullptr); }, E_POINTER},
        {[&] { return nss->GetMaxLength(nullptr); }, E_POINTER, "pdwMaxLength != 0"},
        {[&] { return empty->GetPointer(&pointer); }, E_UNEXPECTED, "m_pBuffer != 0"},
        {[&] { return s->SetProperties(8, nullptr); }, E_POINTER},
        {[&] { return property(low, 1); }, E_INVALIDARG,
         "int(*pdwBufferPropertySize) >= it->second.size()"},
        {[&] { return byIndex(1, 1); }, E_INVALIDARG,
         "*pdwBufferPropertySize >= it->second.size()"},
        {[&] { return byIndex(2, 8); }, E_INVALIDARG,
         "dwBufferPropertyIndex < DWORD(m_propertyMap.size())"},
        {[&] { return s->CopyTo(small.sample); }, VFW_E_BUFFER_OVERFLOW,
         "pMediaSample->GetSize() >= m_lActual"},
        {[&] { return s->CopyTo(nullptr); }, E_INVALIDARG, "pMediaSample != 0"},
        {[&] { return small->CopyFrom(s.sample); }, VFW_E_BUFFER_OVERFLOW,
         "int(dwLength) <= m_cbBuffer"},
        {[&] { return s->CopyFrom(nullptr); }, E_INVALIDARG, "pNSSBuffer != 0"},
        // The media-time bit is not for callers, nor are unknown bits.
        {[&] { return props(&Props2::dwSampleFlags, 0x20u); }, E_INVALIDARG, "QMLogHRESULT: "},
        // A time flag set newly without its times in the used part.
        {[&] { return props(&Props2::dwSampleFlags, DWORD(AM_SAMPLE_TIMEVALID), 12); },
         E_INVALIDARG},
        {[&] { return props(&Props2::pbBuffer, fresh.memory.data() + 1); }, E_INVALIDARG},
        {[&] { return props(&Props2::dwSampleFlags, DWORD(AM_SAMPLE_TYPECHANGED)); }, E_INVALIDARG,
         "pProps->pMediaType != 0"},
        {[&] { return props(&Props2::lActual, 65); }, VFW_E_BUFFER_OVERFLOW},
        {[&] { return props(&Props2::cbData, 65u, 80); }, E_INVALIDARG},
    });
    EXPECT_EQ(StateOf(s.sample), before);
    EXPECT_EQ(StateOf(fresh.sample), freshBefore);
    EXPECT_EQ(small->GetActualDataLength(), 8);
    empty->Release();
    // The property map: sizes on request, index order is GUID order, not insertion order.
    DWORD n = 0;
    EXPECT_EQ(nss->GetProperty(high, nullptr, &n), S_OK);
    EXPECT_EQ(n, 2u);
    for (DWORD i = 0; i < 2; ++i) {
        n = 8;
        EXPECT_EQ(nss->GetPropertyByIndex(i, &g, out, &n), S_OK);
        EXPECT_TRUE(IsEqualGUID(g, i == 0 ? low : high));
        EXPECT_EQ(std::vector<BYTE>(out, out + n), std::vector<BYTE>(v2, v2 + 5 - 3 * i));
    }
}

// Every view is the same COM object over the same bytes, and costs one reference while held.
TEST(QMMediaSampleTest, EveryViewIsTheSameSample) {
    OwnedSample s(16);
    QMMediaSample* q = s.sample;
    IUnknown* identity = nullptr;
    ASSERT_EQ(q->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    identity->Release();
    auto view = [&](const IID& iid) {
        void* v = nullptr;
        IUnknown* u = nullptr;
        EXPECT_EQ(q->QueryInterface(iid, &v), S_OK);
        EXPECT_EQ(q->GetRefCount(), 2);
        EXPECT_EQ(
            static_cast<IUnknown*>(v)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u)),
            S_OK);
        EXPECT_EQ(u, identity);
        u->Release();
        static_cast<IUnknown*>(v)->Release();
        return v;
    };
    for (const IID* iid :
         {&IID_IMediaSample, &IID_IMediaSample2, &IID_IMediaSampleMarker, &IID_INSSBuffer,
          &IID_INSSBuffer2, &IID_INSSBuffer3, &IID_IQMMediaSample, &IID_ICopyMediaSample})
        view(*iid);
    ASSERT_EQ(static_cast<IMediaBuffer*>(view(IID_IMediaBuffer))->SetLength(5), S_OK);
    DWORD nssLength = 0, mfMax = 0, mfLength = 0;
    EXPECT_EQ(static_cast<INSSBuffer4*>(view(IID_INSSBuffer4))->GetLength(&nssLength), S_OK);
    BYTE* pMf = nullptr;
    IMFMediaBuffer* mf = static_cast<IMFMediaBuffer*>(view(IID_IMFMediaBuffer));
    EXPECT_EQ(mf->Lock(&pMf, &mfMax, &mfLength), S_OK);
    EXPECT_EQ(mf->Unlock(), S_OK);
    EXPECT_EQ(std::tuple(nssLength, pMf, mfMax, mfLength),
              std::tuple(5u, s.memory.data(), 16u, 5u));
    void* none = q;
    EXPECT_EQ(q->QueryInterface(IID_IMemAllocator, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(q->GetRefCount(), 1);
}

// The type is the sample's own copy; the one GetProperties hands out may come straight back,
// through SetMediaType or a properties round trip, and must be copied before the old one goes
// (ASan sees a use after free otherwise).
TEST(QMMediaSampleTest, MediaTypeIsOwnedAndMayBeHandedBack) {
    OwnedSample s(64);
    AM_MEDIA_TYPE* out = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    EXPECT_EQ(s->GetMediaType(&out), S_FALSE);
    EXPECT_EQ(out, nullptr);
    SetEverything(s);
    const State before = StateOf(s.sample);
    EXPECT_EQ(before.width, 64);
    EXPECT_TRUE(before.flags & AM_SAMPLE_TYPECHANGED);
    for (int route = 0; route < 2; ++route) {
        SCOPED_TRACE(route);
        const Props2 p = Props(s.sample);
        ASSERT_NE(p.pMediaType, nullptr);
        EXPECT_EQ(p.pbBuffer, s.memory.data());
        EXPECT_EQ(p.cbBuffer, 64);
        if (route == 0) {
            ASSERT_EQ(s->SetMediaType(p.pMediaType), S_OK);
        } else {
            ASSERT_EQ(SetProps(s.sample, p), S_OK);
            EXPECT_EQ(Props(s.sample).pMediaType, p.pMediaType);  // the stored type, not a copy
        }
        EXPECT_EQ(StateOf(s.sample), before);
    }
    ASSERT_EQ(s->GetMediaType(&out), S_OK);
    EXPECT_NE(out, Props(s.sample).pMediaType);
    EXPECT_TRUE(IsEqualGUID(out->subtype, MEDIASUBTYPE_YV12));
    DeleteMediaType(out);
    EXPECT_EQ(s->SetMediaType(nullptr), S_OK);
    EXPECT_EQ(Props(s.sample).dwSampleFlags & AM_SAMPLE_TYPECHANGED, 0u);
    EXPECT_EQ(s->GetMediaType(&out), S_FALSE);
}

// Only the asked bytes are read or written; the media-time bit stays internal.
TEST(QMMediaSampleTest, PropertiesUseOnlyTheGivenSize) {
    OwnedSample s(64);
    LONGLONG one = 1, two = 2;
    s->SetMediaTime(&one, &two);
    s->SetSyncPoint(TRUE);
    BYTE raw[80];
    std::memset(raw, 0xAB, sizeof(raw));
    EXPECT_EQ(s->GetProperties(12, raw), S_OK);
    Props2 p{};
    std::memcpy(&p, raw, 12);
    EXPECT_EQ(std::tuple(p.cbData, p.dwSampleFlags, raw[12]),
              std::tuple(12u, DWORD(AM_SAMPLE_SPLICEPOINT), BYTE(0xAB)));
    EXPECT_EQ(s->GetProperties(80, raw), S_OK);
    std::memcpy(&p, raw, sizeof(p));
    EXPECT_EQ(std::tuple(p.cbData, raw[64]), std::tuple(64u, BYTE(0xAB)));
    EXPECT_EQ(s->GetProperties(0, nullptr), S_OK);
    EXPECT_EQ(SetProps(s.sample, p, 3), S_OK);  // too short to say anything

    // The used size is the smaller of cbData and the byte count: fields beyond it stay.
    State want = StateOf(s.sample);
    p = Props(s.sample);
    p.cbData = 16;
    p.dwTypeSpecificFlags = 7;
    p.dwSampleFlags = AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_PREROLL;
    p.lActual = 12;
    p.tStart = 999;
    EXPECT_EQ(SetProps(s.sample, p, 64), S_OK);
    want.typeSpecific = 7;
    want.flags = AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_PREROLL;
    want.actual = 12;
    want.data.resize(12);
    EXPECT_EQ(StateOf(s.sample), want);
    EXPECT_EQ(s->IsPreroll(), S_OK);
}

// What each way of copying carries: CopyTo everything; CopyFrom the bytes, the sample
// properties and the buffer properties; a properties block only its own fields; a reset keeps
// the bytes and the buffer properties.
TEST(QMMediaSampleTest, CopiesAndResetsCarryTheirShareOfTheState) {
    OwnedSample a(64), to(64), from(64), props(64);
    SetEverything(a);
    const State all = StateOf(a.sample);
    to->SetPreroll(TRUE);  // a state of its own that must not survive
    EXPECT_EQ(a->CopyTo(to.sample), S_OK);
    EXPECT_EQ(StateOf(to.sample), all);
    EXPECT_NE(Props(to.sample).pMediaType, Props(a.sample).pMediaType);  // a copy of its own
    EXPECT_EQ(a->CopyTo(a.sample), S_OK);
    EXPECT_EQ(StateOf(a.sample), all);
    State want = all;
    want.media = Times(VFW_E_MEDIA_TIME_NOT_SET, 0, 0);
    want.marker = 0;
    want.marker1 = want.marker2 = 0;
    EXPECT_EQ(from->CopyFrom(a.sample), S_OK);
    EXPECT_EQ(StateOf(from.sample), want);
    Props2 p = Props(a.sample);
    p.pbBuffer = nullptr;
    EXPECT_EQ(SetProps(props.sample, p), S_OK);
    want.properties = 0;
    want.data.assign(20, 0);
    EXPECT_EQ(StateOf(props.sample), want);
    a.sample->ResetForReuse();
    State reset;
    reset.actual = 20;
    reset.start = reset.stop = -1;
    reset.media = Times(VFW_E_MEDIA_TIME_NOT_SET, 0, 0);
    reset.properties = 1;
    reset.data = all.data;
    EXPECT_EQ(StateOf(a.sample), reset);
}

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

TEST(QMMediaSampleTest, LastReleaseGoesToTheAllocatorOrTheOwnerOnce) {
    HRESULT hr = S_OK;
    RecordingAllocator allocator(&hr);
    std::vector<BYTE> memory(32);
    QMMediaSample* s = new QMMediaSample(&allocator, memory.data(), 32);
    s->AddRef();
    EXPECT_EQ(s->Release(), 1u);
    EXPECT_TRUE(allocator.released.empty());
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(allocator.released, std::vector<IMediaSample*>{s});
    {
        ReportCapture capture;
        EXPECT_EQ(s->Release(), 0u);  // one Release too many: still alive, not handed back again
        EXPECT_EQ(allocator.released.size(), 1u);
        EXPECT_EQ(s->GetRefCount(), 0);
        EXPECT_EQ(capture.Count(), 1u);
    }
    // A failing ReleaseBuffer is reported; the count still reaches 0.
    allocator.result = E_UNEXPECTED;
    s->AddRef();
    {
        ReportCapture capture;
        EXPECT_EQ(s->Release(), 0u);
        EXPECT_TRUE(capture.Contains("QMCheckHRESULT: "));
    }
    delete s;

    // Without an allocator the owner may keep the sample; when it declines, the sample
    // destroys itself (the leak checker sees otherwise).
    struct Owner : ISampleOwner {
        bool TakeSample(QMMediaSample*) override { return ++taken == 1; }
        int taken = 0;
    } owner;
    s = new QMMediaSample(nullptr, memory.data(), 16, &owner);
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(s->GetSize(), 16);  // kept alive by the owner
    s->AddRef();
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(owner.taken, 2);
}

}  // namespace
