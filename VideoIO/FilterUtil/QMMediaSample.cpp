#include "VideoIO/FilterUtil/QMMediaSample.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <tuple>

#include "diagnostics/CheckForms.h"

namespace qm_DSFilters {

namespace {

// The flag bits a caller may set through SetProperties: every sample flag but the media-time
// bit, which only SetMediaTime controls.
constexpr DWORD kSettableSampleFlags = 0x1DF;
constexpr DWORD kMediaTimeValid = 0x20;
constexpr DWORD kTimeFlags = AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;

HRESULT CheckReleasable(LONG count) {
    QMCheckCondition(count > 0, E_UNEXPECTED);
    return S_OK;
}

// The ReleaseBuffer result of the last Release, which has no HRESULT to return it through.
void LogReleaseBuffer(HRESULT hr) {
    [](HRESULT hres) -> HRESULT {
        QMCheckHRESULT(hres);
        return S_OK;
    }(hr);
}

}  // namespace

bool GuidLess::operator()(const GUID& a, const GUID& b) const {
    return std::tie(a.Data1, a.Data2, a.Data3) < std::tie(b.Data1, b.Data2, b.Data3) ||
           (std::tie(a.Data1, a.Data2, a.Data3) == std::tie(b.Data1, b.Data2, b.Data3) &&
            std::memcmp(a.Data4, b.Data4, sizeof(a.Data4)) < 0);
}

void QMMediaSample::MediaTypePtr::Reset(AM_MEDIA_TYPE* pmt) {
    if (m_pmt) DeleteMediaType(m_pmt);
    m_pmt = pmt;
}

QMMediaSample::QMMediaSample(IMemAllocator* pAllocator, BYTE* pBuffer, LONG size,
                             ISampleOwner* pOwner)
    : m_cRef(1),
      m_pAllocator(pAllocator),
      m_pOwner(pOwner),
      m_pBuffer(pBuffer),
      m_lActual(size),
      m_cbBuffer(size) {}

QMMediaSample::~QMMediaSample() = default;

// ------------------------------------------------------------------------------------ IUnknown

HRESULT STDMETHODCALLTYPE QMMediaSample::QueryInterface(REFIID riid, void** ppv) {
    QMCheckCondition(ppv != 0, E_POINTER);
    IUnknown* part = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMediaSample) ||
        IsEqualIID(riid, IID_IMediaSample2))
        part = static_cast<IMediaSample2*>(this);
    else if (IsEqualIID(riid, IID_IMediaSampleMarker))
        part = static_cast<IMediaSampleMarker*>(this);
    else if (IsEqualIID(riid, IID_IQMMediaSample))
        part = static_cast<IQMMediaSample*>(this);
    else if (IsEqualIID(riid, IID_ICopyMediaSample))
        part = static_cast<ICopyMediaSample*>(this);
    else if (IsEqualIID(riid, IID_INSSBuffer) || IsEqualIID(riid, IID_INSSBuffer2) ||
             IsEqualIID(riid, IID_INSSBuffer3) || IsEqualIID(riid, IID_INSSBuffer4))
        part = static_cast<INSSBuffer4*>(this);
    else if (IsEqualIID(riid, IID_IMediaBuffer))
        part = static_cast<IMediaBuffer*>(this);
    else if (IsEqualIID(riid, IID_IMFMediaBuffer))
        part = static_cast<IMFMediaBuffer*>(this);
    if (!part) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *ppv = part;
    return S_OK;
}

ULONG STDMETHODCALLTYPE QMMediaSample::AddRef() {
    return ULONG(++m_cRef);
}

ULONG STDMETHODCALLTYPE QMMediaSample::Release() {
    // A Release too many must not hand the sample back twice: the count never goes below 0.
    LONG count = m_cRef.load();
    do {
        if (FAILED(CheckReleasable(count))) return 0;
    } while (!m_cRef.compare_exchange_weak(count, count - 1));
    --count;
    if (count != 0) return ULONG(count);

    if (m_pAllocator) {
        // The allocator may destroy this sample before ReleaseBuffer returns: touch nothing of
        // it afterwards.
        LogReleaseBuffer(m_pAllocator->ReleaseBuffer(static_cast<IMediaSample2*>(this)));
    } else if (!(m_pOwner && m_pOwner->TakeSample(this))) {
        delete this;
    }
    return 0;
}

// ------------------------------------------------------------------------------- IMediaSample2

HRESULT STDMETHODCALLTYPE QMMediaSample::GetPointer(BYTE** ppBuffer) {
    QMCheckCondition(ppBuffer != 0, E_POINTER);
    QMCheckCondition(m_pBuffer != 0, E_UNEXPECTED);
    *ppBuffer = m_pBuffer;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetTime(REFERENCE_TIME* pTimeStart,
                                                 REFERENCE_TIME* pTimeEnd) {
    QMCheckCondition(pTimeStart != 0, E_POINTER);
    QMCheckCondition(pTimeEnd != 0, E_POINTER);
    if (m_dwFlags & AM_SAMPLE_STOPVALID) {
        *pTimeStart = m_start;
        *pTimeEnd = m_stop;
        return S_OK;
    }
    if (!(m_dwFlags & AM_SAMPLE_TIMEVALID)) return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = m_start;
    *pTimeEnd = m_start + 1;
    return VFW_S_NO_STOP_TIME;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetTime(REFERENCE_TIME* pTimeStart,
                                                 REFERENCE_TIME* pTimeEnd) {
    if (pTimeStart == nullptr) {
        QMCheckCondition(pTimeEnd == 0, E_INVALIDARG);
        m_dwFlags &= ~kTimeFlags;
        m_start = -1;
        m_stop = -1;
        return S_OK;
    }
    if (pTimeEnd == nullptr) {
        m_start = *pTimeStart;
        m_stop = -1;
        m_dwFlags = (m_dwFlags | AM_SAMPLE_TIMEVALID) & ~DWORD(AM_SAMPLE_STOPVALID);
        return S_OK;
    }
    QMCheckCondition(*pTimeEnd >= *pTimeStart, E_INVALIDARG);
    m_start = *pTimeStart;
    m_stop = *pTimeEnd;
    m_dwFlags |= kTimeFlags;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::IsSyncPoint() {
    return (m_dwFlags & AM_SAMPLE_SPLICEPOINT) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetSyncPoint(BOOL bIsSyncPoint) {
    m_dwFlags = bIsSyncPoint ? (m_dwFlags | AM_SAMPLE_SPLICEPOINT)
                             : (m_dwFlags & ~DWORD(AM_SAMPLE_SPLICEPOINT));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::IsPreroll() {
    return (m_dwFlags & AM_SAMPLE_PREROLL) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetPreroll(BOOL bIsPreroll) {
    m_dwFlags =
        bIsPreroll ? (m_dwFlags | AM_SAMPLE_PREROLL) : (m_dwFlags & ~DWORD(AM_SAMPLE_PREROLL));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::IsDiscontinuity() {
    return (m_dwFlags & AM_SAMPLE_DATADISCONTINUITY) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetDiscontinuity(BOOL bDiscontinuity) {
    m_dwFlags = bDiscontinuity ? (m_dwFlags | AM_SAMPLE_DATADISCONTINUITY)
                               : (m_dwFlags & ~DWORD(AM_SAMPLE_DATADISCONTINUITY));
    return S_OK;
}

HRESULT QMMediaSample::SetLengthChecked(int64_t lActual) {
    QMCheckCondition(lActual <= m_cbBuffer, VFW_E_BUFFER_OVERFLOW);
    QMCheckCondition(lActual >= 0, E_INVALIDARG);
    m_lActual = LONG(lActual);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetActualDataLength(LONG lActual) {
    return SetLengthChecked(lActual);
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
    QMCheckCondition(ppMediaType != 0, E_POINTER);
    *ppMediaType = nullptr;
    CAutoLock lock(&m_lock);
    if (m_dwFlags & AM_SAMPLE_TYPECHANGED) {
        // clang-format off
        QMCheckCondition(! m_mediaTypePtr.IsNull(), E_UNEXPECTED);
        // clang-format on
        *ppMediaType = CreateMediaType(m_mediaTypePtr.Get());
        QMCheckCondition(*ppMediaType != 0, E_OUTOFMEMORY);
        return S_OK;
    }
    QMCheckCondition(m_mediaTypePtr.IsNull(), E_UNEXPECTED);
    return S_FALSE;
}

HRESULT QMMediaSample::SetMediaTypeLocked(const AM_MEDIA_TYPE* pMediaType) {
    if (!pMediaType) {
        m_mediaTypePtr.Reset(nullptr);
        m_dwFlags &= ~DWORD(AM_SAMPLE_TYPECHANGED);
        return S_OK;
    }
    // Copy before freeing: the caller may hand back the very type that GetProperties gave out.
    AM_MEDIA_TYPE* copy = CreateMediaType(pMediaType);
    if (!copy) {
        m_mediaTypePtr.Reset(nullptr);
        m_dwFlags &= ~DWORD(AM_SAMPLE_TYPECHANGED);
        QMCheckCondition(copy != 0, E_OUTOFMEMORY);
    }
    m_mediaTypePtr.Reset(copy);
    m_dwFlags |= AM_SAMPLE_TYPECHANGED;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
    CAutoLock lock(&m_lock);
    return SetMediaTypeLocked(pMediaType);
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    QMCheckCondition(pTimeStart != 0, E_POINTER);
    QMCheckCondition(pTimeEnd != 0, E_POINTER);
    if (!(m_dwFlags & kMediaTimeValid)) return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = m_mediaStart;
    *pTimeEnd = m_mediaStart + m_mediaDelta;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (pTimeStart == nullptr) {
        QMCheckCondition(pTimeEnd == 0, E_INVALIDARG);
        m_dwFlags &= ~kMediaTimeValid;
        return S_OK;
    }
    QMCheckCondition(pTimeEnd != 0, E_INVALIDARG);
    QMCheckCondition(*pTimeEnd >= *pTimeStart, E_UNEXPECTED);
    m_mediaStart = *pTimeStart;
    m_mediaDelta = LONG(*pTimeEnd - *pTimeStart);
    m_dwFlags |= kMediaTimeValid;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetProperties(DWORD cbProperties, BYTE* pbProperties) {
    if (cbProperties == 0) return S_OK;
    QMCheckCondition(pbProperties != 0, E_POINTER);
    AM_SAMPLE2_PROPERTIES props{};
    props.cbData = std::min<DWORD>(cbProperties, sizeof(props));
    props.dwTypeSpecificFlags = m_dwTypeSpecificFlags;
    props.dwSampleFlags = m_dwFlags & ~kMediaTimeValid;
    props.lActual = m_lActual;
    props.tStart = m_start;
    props.tStop = m_stop;
    props.dwStreamId = m_dwStreamId;
    {
        CAutoLock lock(&m_lock);
        props.pMediaType = (m_dwFlags & AM_SAMPLE_TYPECHANGED) ? m_mediaTypePtr.Get() : nullptr;
    }
    props.pbBuffer = m_pBuffer;
    props.cbBuffer = m_cbBuffer;
    std::memcpy(pbProperties, &props, props.cbData);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetProperties(DWORD cbProperties,
                                                       const BYTE* pbProperties) {
    if (cbProperties < sizeof(DWORD)) return S_OK;
    QMCheckCondition(pbProperties != 0, E_POINTER);
    AM_SAMPLE2_PROPERTIES given{};
    std::memcpy(&given, pbProperties, std::min<DWORD>(cbProperties, sizeof(given)));
    const DWORD used = std::min(given.cbData, cbProperties);
    QMCheckCondition(used <= sizeof(AM_SAMPLE2_PROPERTIES), E_INVALIDARG);
    const AM_SAMPLE2_PROPERTIES* pProps = &given;
    auto has = [used](size_t offset, size_t size) { return offset + size <= used; };
    const bool hasTypeFlags = has(offsetof(AM_SAMPLE2_PROPERTIES, dwTypeSpecificFlags), 4);
    const bool hasFlags = has(offsetof(AM_SAMPLE2_PROPERTIES, dwSampleFlags), 4);
    const bool hasActual = has(offsetof(AM_SAMPLE2_PROPERTIES, lActual), 4);
    const bool hasStart = has(offsetof(AM_SAMPLE2_PROPERTIES, tStart), 8);
    const bool hasStop = has(offsetof(AM_SAMPLE2_PROPERTIES, tStop), 8);
    const bool hasStreamId = has(offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId), 4);
    const bool hasType = has(offsetof(AM_SAMPLE2_PROPERTIES, pMediaType), sizeof(void*));
    const bool hasBuffer = has(offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer), sizeof(void*));

    CAutoLock lock(&m_lock);
    bool takeType = false;
    if (hasFlags) {
        if (pProps->dwSampleFlags & ~kSettableSampleFlags) return QMLogHRESULT(E_INVALIDARG);
        // A time flag that is set now needs its time in the data.
        const DWORD newTimeFlags = pProps->dwSampleFlags & kTimeFlags & ~m_dwFlags;
        if (newTimeFlags && !hasStop) return QMLogHRESULT(E_INVALIDARG);
        if (pProps->dwSampleFlags & AM_SAMPLE_TYPECHANGED) {
            // Without the pointer in the data a type already attached stays.
            if (hasType || !(m_dwFlags & AM_SAMPLE_TYPECHANGED)) {
                QMCheckCondition(pProps->pMediaType != 0, E_INVALIDARG);
                takeType = pProps->pMediaType != m_mediaTypePtr.Get();
            }
        }
    }
    if (hasBuffer && given.pbBuffer != nullptr && given.pbBuffer != m_pBuffer)
        return QMLogHRESULT(E_INVALIDARG);
    if (hasActual) {
        QMCheckCondition(pProps->lActual <= m_cbBuffer, VFW_E_BUFFER_OVERFLOW);
        QMCheckCondition(pProps->lActual >= 0, E_INVALIDARG);
    }

    // Everything checked: store what was given.
    if (hasFlags) {
        if (takeType) {
            QMCheckHRESULT(SetMediaTypeLocked(pProps->pMediaType));
        } else if (!(pProps->dwSampleFlags & AM_SAMPLE_TYPECHANGED)) {
            m_mediaTypePtr.Reset(nullptr);
        }
        m_dwFlags = pProps->dwSampleFlags | (m_dwFlags & kMediaTimeValid);
    }
    if (hasTypeFlags) m_dwTypeSpecificFlags = pProps->dwTypeSpecificFlags;
    if (hasActual) m_lActual = pProps->lActual;
    if (hasStart) m_start = pProps->tStart;
    if (hasStop) m_stop = pProps->tStop;
    if (hasStreamId) m_dwStreamId = pProps->dwStreamId;
    return S_OK;
}

// -------------------------------------------------------------------------- IMediaSampleMarker

HRESULT STDMETHODCALLTYPE QMMediaSample::SetMarkerValue(uint32_t value) {
    m_markerValue = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetMarkerTime1(REFERENCE_TIME time) {
    m_markerTime1 = time;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetMarkerTime2(REFERENCE_TIME time) {
    m_markerTime2 = time;
    return S_OK;
}

// ---------------------------------------------------------------------------- ICopyMediaSample

void QMMediaSample::CopyMarkersAndPropertiesTo(QMMediaSample* pTarget) {
    pTarget->m_markerValue = m_markerValue;
    pTarget->m_markerTime1 = m_markerTime1;
    pTarget->m_markerTime2 = m_markerTime2;
    std::map<GUID, std::vector<BYTE>, GuidLess> properties;
    {
        CAutoLock lock(&m_lock);
        properties = m_propertyMap;
    }
    CAutoLock lock(&pTarget->m_lock);
    pTarget->m_propertyMap = std::move(properties);
}

HRESULT STDMETHODCALLTYPE QMMediaSample::CopyTo(IMediaSample* pMediaSample) {
    QMCheckCondition(pMediaSample != 0, E_INVALIDARG);
    if (pMediaSample == static_cast<IMediaSample2*>(this)) return S_OK;
    QMCheckCondition(pMediaSample->GetSize() >= m_lActual, VFW_E_BUFFER_OVERFLOW);

    BYTE* target = nullptr;
    QMCheckHRESULT(pMediaSample->GetPointer(&target));
    if (m_lActual > 0) std::memcpy(target, m_pBuffer, size_t(m_lActual));
    QMCheckHRESULT(pMediaSample->SetActualDataLength(m_lActual));

    AM_MEDIA_TYPE* type = nullptr;
    {
        CAutoLock lock(&m_lock);
        if ((m_dwFlags & AM_SAMPLE_TYPECHANGED) && !m_mediaTypePtr.IsNull()) {
            type = CreateMediaType(m_mediaTypePtr.Get());
            QMCheckCondition(type != 0, E_OUTOFMEMORY);
        }
    }
    const HRESULT typeResult = pMediaSample->SetMediaType(type);
    if (type) DeleteMediaType(type);
    QMCheckHRESULT(typeResult);

    if (m_dwFlags & kMediaTimeValid) {
        LONGLONG mediaStart = m_mediaStart, mediaStop = m_mediaStart + m_mediaDelta;
        QMCheckHRESULT(pMediaSample->SetMediaTime(&mediaStart, &mediaStop));
    } else {
        QMCheckHRESULT(pMediaSample->SetMediaTime(nullptr, nullptr));
    }

    IMediaSample2* pSample2 = nullptr;
    if (SUCCEEDED(
            pMediaSample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&pSample2)))) {
        // Every flag, the type-specific flags and the stream id go through the properties.
        AM_SAMPLE2_PROPERTIES props{};
        HRESULT hr = pSample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props));
        if (SUCCEEDED(hr)) {
            props.cbData = sizeof(props);
            props.dwTypeSpecificFlags = m_dwTypeSpecificFlags;
            props.dwSampleFlags = m_dwFlags & ~kMediaTimeValid;
            props.lActual = m_lActual;
            props.tStart = m_start;
            props.tStop = m_stop;
            props.dwStreamId = m_dwStreamId;
            // Our own type: the target copies it (its own pointer would be freed first).
            props.pMediaType = (m_dwFlags & AM_SAMPLE_TYPECHANGED) ? m_mediaTypePtr.Get() : nullptr;
            hr = pSample2->SetProperties(sizeof(props), reinterpret_cast<const BYTE*>(&props));
        }
        pSample2->Release();
        QMCheckHRESULT(hr);
    } else {
        REFERENCE_TIME start = m_start, stop = m_stop;
        if (m_dwFlags & AM_SAMPLE_STOPVALID)
            QMCheckHRESULT(pMediaSample->SetTime(&start, &stop));
        else if (m_dwFlags & AM_SAMPLE_TIMEVALID)
            QMCheckHRESULT(pMediaSample->SetTime(&start, nullptr));
        else
            QMCheckHRESULT(pMediaSample->SetTime(nullptr, nullptr));
        QMCheckHRESULT(pMediaSample->SetSyncPoint(IsSyncPoint() == S_OK));
        QMCheckHRESULT(pMediaSample->SetPreroll(IsPreroll() == S_OK));
        QMCheckHRESULT(pMediaSample->SetDiscontinuity(IsDiscontinuity() == S_OK));
    }

    IQMMediaSample* pQMSample = nullptr;
    if (SUCCEEDED(pMediaSample->QueryInterface(IID_IQMMediaSample,
                                               reinterpret_cast<void**>(&pQMSample)))) {
        CopyMarkersAndPropertiesTo(static_cast<QMMediaSample*>(pQMSample));
        pQMSample->Release();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::CopyFrom(INSSBuffer* pNSSBuffer) {
    QMCheckCondition(pNSSBuffer != 0, E_INVALIDARG);
    BYTE* source = nullptr;
    DWORD dwLength = 0;
    QMCheckHRESULT(pNSSBuffer->GetBufferAndLength(&source, &dwLength));
    QMCheckCondition(int(dwLength) <= m_cbBuffer, VFW_E_BUFFER_OVERFLOW);
    QMCheckCondition(int(dwLength) >= 0, VFW_E_BUFFER_OVERFLOW);
    if (static_cast<INSSBuffer4*>(this) == pNSSBuffer) return S_OK;
    if (dwLength > 0) {
        QMCheckCondition(source != 0, E_UNEXPECTED);
        std::memmove(m_pBuffer, source, dwLength);
    }
    m_lActual = LONG(dwLength);

    // One of our samples: its sample properties (times, flags, type) come along, over our
    // own buffer.
    IQMMediaSample* pQMSample = nullptr;
    if (SUCCEEDED(
            pNSSBuffer->QueryInterface(IID_IQMMediaSample, reinterpret_cast<void**>(&pQMSample)))) {
        QMMediaSample* pSource = static_cast<QMMediaSample*>(pQMSample);
        AM_SAMPLE2_PROPERTIES props{};
        HRESULT hr = pSource->GetSampleProperties(sizeof(props), reinterpret_cast<BYTE*>(&props));
        if (SUCCEEDED(hr)) {
            props.pbBuffer = nullptr;
            props.cbBuffer = m_cbBuffer;
            props.lActual = m_lActual;
            hr = SetSampleProperties(sizeof(props), reinterpret_cast<BYTE*>(&props));
        }
        pQMSample->Release();
        QMCheckHRESULT(hr);
    }

    // Buffer properties of any INSSBuffer4.
    INSSBuffer4* pBuffer4 = nullptr;
    if (SUCCEEDED(
            pNSSBuffer->QueryInterface(IID_INSSBuffer4, reinterpret_cast<void**>(&pBuffer4)))) {
        HRESULT hr = S_OK;
        DWORD count = 0;
        if (SUCCEEDED(pBuffer4->GetPropertyCount(&count))) {
            std::vector<BYTE> value;
            for (DWORD i = 0; i < count && SUCCEEDED(hr); ++i) {
                GUID guid{};
                DWORD size = 0;
                hr = pBuffer4->GetPropertyByIndex(i, &guid, nullptr, &size);
                if (FAILED(hr)) break;
                value.resize(size);
                hr = pBuffer4->GetPropertyByIndex(i, &guid, value.data(), &size);
                if (SUCCEEDED(hr)) hr = SetProperty(guid, value.data(), size);
            }
        }
        pBuffer4->Release();
        QMCheckHRESULT(hr);
    }
    return S_OK;
}

// --------------------------------------------------------------------------------- INSSBuffer4

HRESULT STDMETHODCALLTYPE QMMediaSample::GetLength(DWORD* pdwLength) {
    QMCheckCondition(pdwLength != 0, E_POINTER);
    *pdwLength = DWORD(m_lActual);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetLength(DWORD dwLength) {
    return SetLengthChecked(int64_t(dwLength));
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetMaxLength(DWORD* pdwMaxLength) {
    QMCheckCondition(pdwMaxLength != 0, E_POINTER);
    *pdwMaxLength = DWORD(m_cbBuffer);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetBuffer(BYTE** ppBuffer) {
    QMCheckCondition(ppBuffer != 0, E_POINTER);
    *ppBuffer = m_pBuffer;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetBufferAndLength(BYTE** ppBuffer, DWORD* pdwLength) {
    QMCheckCondition(ppBuffer != 0 || pdwLength != 0, E_POINTER);
    if (ppBuffer) *ppBuffer = m_pBuffer;
    if (pdwLength) *pdwLength = DWORD(m_lActual);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetSampleProperties(DWORD cbProperties,
                                                             BYTE* pbProperties) {
    return GetProperties(cbProperties, pbProperties);
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetSampleProperties(DWORD cbProperties,
                                                             BYTE* pbProperties) {
    return SetProperties(cbProperties, pbProperties);
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetProperty(GUID guidBufferProperty,
                                                     void* pvBufferProperty,
                                                     DWORD dwBufferPropertySize) {
    QMCheckCondition(pvBufferProperty != 0 || dwBufferPropertySize == 0, E_POINTER);
    const BYTE* bytes = static_cast<const BYTE*>(pvBufferProperty);
    CAutoLock lock(&m_lock);
    m_propertyMap[guidBufferProperty].assign(bytes, bytes + dwBufferPropertySize);
    return S_OK;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
HRESULT STDMETHODCALLTYPE QMMediaSample::GetProperty(GUID guidBufferProperty,
                                                     void* pvBufferProperty,
                                                     DWORD* pdwBufferPropertySize) {
    QMCheckCondition(pdwBufferPropertySize != 0, E_POINTER);
    CAutoLock lock(&m_lock);
    const auto it = m_propertyMap.find(guidBufferProperty);
    QMCheckCondition(it != m_propertyMap.end(), E_INVALIDARG);
    if (pvBufferProperty == nullptr) {
        *pdwBufferPropertySize = DWORD(it->second.size());
        return S_OK;
    }
    // A negative int here is a buffer of 2 GiB or more, which holds any value.
    QMCheckCondition(int(*pdwBufferPropertySize) >= it->second.size(), E_INVALIDARG);
    if (!it->second.empty()) std::memcpy(pvBufferProperty, it->second.data(), it->second.size());
    *pdwBufferPropertySize = DWORD(it->second.size());
    return S_OK;
}
#pragma GCC diagnostic pop

HRESULT STDMETHODCALLTYPE QMMediaSample::GetPropertyCount(DWORD* pcBufferProperties) {
    QMCheckCondition(pcBufferProperties != 0, E_POINTER);
    CAutoLock lock(&m_lock);
    *pcBufferProperties = DWORD(m_propertyMap.size());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetPropertyByIndex(DWORD dwBufferPropertyIndex,
                                                            GUID* pguidBufferProperty,
                                                            void* pvBufferProperty,
                                                            DWORD* pdwBufferPropertySize) {
    QMCheckCondition(pguidBufferProperty != 0, E_POINTER);
    QMCheckCondition(pdwBufferPropertySize != 0, E_POINTER);
    CAutoLock lock(&m_lock);
    QMCheckCondition(dwBufferPropertyIndex < DWORD(m_propertyMap.size()), E_INVALIDARG);
    auto it = m_propertyMap.begin();
    for (DWORD i = 0; i < dwBufferPropertyIndex && it != m_propertyMap.end(); ++i) ++it;
    QMCheckCondition(it != m_propertyMap.end(), E_UNEXPECTED);
    *pguidBufferProperty = it->first;
    if (pvBufferProperty == nullptr) {
        *pdwBufferPropertySize = DWORD(it->second.size());
        return S_OK;
    }
    QMCheckCondition(*pdwBufferPropertySize >= it->second.size(), E_INVALIDARG);
    if (!it->second.empty()) std::memcpy(pvBufferProperty, it->second.data(), it->second.size());
    *pdwBufferPropertySize = DWORD(it->second.size());
    return S_OK;
}

// ------------------------------------------------------------------------------ IMFMediaBuffer

HRESULT STDMETHODCALLTYPE QMMediaSample::Lock(BYTE** ppbBuffer, DWORD* pcbMaxLength,
                                              DWORD* pcbCurrentLength) {
    QMCheckCondition(ppbBuffer != 0, E_POINTER);
    *ppbBuffer = m_pBuffer;
    if (pcbMaxLength) *pcbMaxLength = DWORD(m_cbBuffer);
    if (pcbCurrentLength) *pcbCurrentLength = DWORD(m_lActual);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::GetCurrentLength(DWORD* pcbCurrentLength) {
    QMCheckCondition(pcbCurrentLength != 0, E_POINTER);
    *pcbCurrentLength = DWORD(m_lActual);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMediaSample::SetCurrentLength(DWORD cbCurrentLength) {
    return SetLengthChecked(int64_t(cbCurrentLength));
}

// ----------------------------------------------------------------------------------- Reuse

void QMMediaSample::ResetForReuse() {
    m_dwFlags = 0;
    m_dwTypeSpecificFlags = 0;
    m_dwStreamId = 0;
    {
        CAutoLock lock(&m_lock);
        m_mediaTypePtr.Reset(nullptr);
    }
    m_markerValue = 0;
    m_markerTime1 = 0;
    m_markerTime2 = 0;
    m_start = -1;
    m_stop = -1;
    m_mediaStart = -1;
    m_mediaDelta = 0;
}

}  // namespace qm_DSFilters
