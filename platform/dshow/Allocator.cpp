#include "platform/dshow/Allocator.h"

#include <cstring>
#include <new>

#include "platform/dshow/Uuids.h"
#include "platform/win32/VirtualMemory.h"

// -------------------------------------------------------------------------------- CMediaSample

CMediaSample::CMediaSample(LPCTSTR, CBaseAllocator* pAllocator, HRESULT* phr, LPBYTE pBuffer,
                           LONG length)
    : m_dwFlags(0),
      m_dwTypeSpecificFlags(0),
      m_pBuffer(pBuffer),
      m_lActual(length),
      m_cbBuffer(length),
      m_pAllocator(pAllocator),
      m_pNext(nullptr),
      m_Start(0),
      m_End(0),
      m_MediaStart(0),
      m_MediaEnd(0),
      m_pMediaType(nullptr),
      m_dwStreamId(AM_STREAM_MEDIA),
      m_cRef(0) {
    if (length < 0 && phr) *phr = VFW_E_BUFFER_OVERFLOW;
}

CMediaSample::~CMediaSample() {
    if (m_pMediaType) DeleteMediaType(m_pMediaType);
}

HRESULT STDMETHODCALLTYPE CMediaSample::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IMediaSample) || IsEqualIID(riid, IID_IMediaSample2) ||
        IsEqualIID(riid, IID_IUnknown))
        return GetInterface(static_cast<IMediaSample2*>(this), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CMediaSample::AddRef() {
    return ULONG(++m_cRef);
}

ULONG STDMETHODCALLTYPE CMediaSample::Release() {
    const LONG count = --m_cRef;
    if (count == 0) {
        if (m_dwFlags & Sample_TypeChanged) SetMediaType(nullptr);
        m_dwFlags = 0;
        m_dwTypeSpecificFlags = 0;
        m_dwStreamId = AM_STREAM_MEDIA;
        m_pAllocator->ReleaseBuffer(this);
    }
    return ULONG(count);
}

HRESULT CMediaSample::SetPointer(BYTE* ptr, LONG cBytes) {
    if (cBytes < 0) return VFW_E_BUFFER_OVERFLOW;
    m_pBuffer = ptr;
    m_cbBuffer = cBytes;
    m_lActual = cBytes;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::GetPointer(BYTE** ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = m_pBuffer;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::GetTime(REFERENCE_TIME* pTimeStart,
                                                REFERENCE_TIME* pTimeEnd) {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!(m_dwFlags & Sample_StopValid)) {
        if (!(m_dwFlags & Sample_TimeValid)) return VFW_E_SAMPLE_TIME_NOT_SET;
        *pTimeStart = m_Start;
        *pTimeEnd = m_Start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *pTimeStart = m_Start;
    *pTimeEnd = m_End;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetTime(REFERENCE_TIME* pTimeStart,
                                                REFERENCE_TIME* pTimeEnd) {
    if (pTimeStart == nullptr) {
        if (pTimeEnd != nullptr) return E_POINTER;
        m_dwFlags &= ~DWORD(Sample_TimeValid | Sample_StopValid);
    } else if (pTimeEnd == nullptr) {
        m_Start = *pTimeStart;
        m_dwFlags |= Sample_TimeValid;
        m_dwFlags &= ~DWORD(Sample_StopValid);
    } else {
        m_Start = *pTimeStart;
        m_End = *pTimeEnd;
        m_dwFlags |= Sample_TimeValid | Sample_StopValid;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::IsSyncPoint() {
    return (m_dwFlags & Sample_SyncPoint) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetSyncPoint(BOOL bIsSyncPoint) {
    if (bIsSyncPoint)
        m_dwFlags |= Sample_SyncPoint;
    else
        m_dwFlags &= ~DWORD(Sample_SyncPoint);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::IsPreroll() {
    return (m_dwFlags & Sample_Preroll) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetPreroll(BOOL bIsPreroll) {
    if (bIsPreroll)
        m_dwFlags |= Sample_Preroll;
    else
        m_dwFlags &= ~DWORD(Sample_Preroll);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetActualDataLength(LONG lActual) {
    if (lActual > m_cbBuffer || lActual < 0) return VFW_E_BUFFER_OVERFLOW;
    m_lActual = lActual;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
    if (!ppMediaType) return E_POINTER;
    if (!(m_dwFlags & Sample_TypeChanged) || !m_pMediaType) {
        *ppMediaType = nullptr;
        return S_FALSE;
    }
    *ppMediaType = CreateMediaType(m_pMediaType);
    return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
    if (!pMediaType) {
        m_dwFlags &= ~DWORD(Sample_TypeChanged);
        return S_OK;
    }
    m_pMediaType = CreateMediaType(pMediaType);
    if (!m_pMediaType) {
        m_dwFlags &= ~DWORD(Sample_TypeChanged);
        return E_OUTOFMEMORY;
    }
    m_dwFlags |= Sample_TypeChanged;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::IsDiscontinuity() {
    return (m_dwFlags & Sample_Discontinuity) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetDiscontinuity(BOOL bDiscont) {
    if (bDiscont)
        m_dwFlags |= Sample_Discontinuity;
    else
        m_dwFlags &= ~DWORD(Sample_Discontinuity);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!(m_dwFlags & Sample_MediaTimeValid)) return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = m_MediaStart;
    *pTimeEnd = m_MediaStart + m_MediaEnd;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (pTimeStart == nullptr) {
        if (pTimeEnd != nullptr) return E_POINTER;
        m_dwFlags &= ~DWORD(Sample_MediaTimeValid);
        return S_OK;
    }
    if (pTimeEnd == nullptr) return E_POINTER;
    m_MediaStart = *pTimeStart;
    m_MediaEnd = LONG(*pTimeEnd - *pTimeStart);
    m_dwFlags |= Sample_MediaTimeValid;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::GetProperties(DWORD cbProperties, BYTE* pbProperties) {
    if (cbProperties == 0) return S_OK;
    if (!pbProperties) return E_POINTER;
    AM_SAMPLE2_PROPERTIES props{};
    props.cbData = cbProperties < sizeof(props) ? cbProperties : DWORD(sizeof(props));
    props.dwSampleFlags = m_dwFlags & ~DWORD(Sample_MediaTimeValid);
    props.dwTypeSpecificFlags = m_dwTypeSpecificFlags;
    props.pbBuffer = m_pBuffer;
    props.cbBuffer = m_cbBuffer;
    props.lActual = m_lActual;
    props.tStart = m_Start;
    props.tStop = m_End;
    props.dwStreamId = m_dwStreamId;
    props.pMediaType = (m_dwFlags & Sample_TypeChanged) ? m_pMediaType : nullptr;
    std::memcpy(pbProperties, &props, props.cbData);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetProperties(DWORD cbProperties,
                                                      const BYTE* pbProperties) {
    if (cbProperties == 0) return S_OK;
    if (!pbProperties) return E_POINTER;
    if (cbProperties < sizeof(DWORD)) return E_INVALIDARG;
    AM_SAMPLE2_PROPERTIES props{};
    std::memcpy(&props, pbProperties,
                cbProperties < sizeof(props) ? cbProperties : DWORD(sizeof(props)));
    const DWORD used = props.cbData < cbProperties ? props.cbData : cbProperties;
    if (used > sizeof(props)) return E_INVALIDARG;
    auto contains = [used](size_t offset, size_t size) { return offset + size <= used; };

    const bool hasFlags = contains(offsetof(AM_SAMPLE2_PROPERTIES, dwSampleFlags), sizeof(DWORD));
    if (hasFlags) {
        if (props.dwSampleFlags & ~DWORD(Sample_ValidFlags & ~Sample_MediaTimeValid))
            return E_INVALIDARG;
        if ((props.dwSampleFlags & Sample_TimeValid) &&
            !contains(offsetof(AM_SAMPLE2_PROPERTIES, tStart), sizeof(REFERENCE_TIME)))
            return E_INVALIDARG;
        if ((props.dwSampleFlags & Sample_StopValid) &&
            !contains(offsetof(AM_SAMPLE2_PROPERTIES, tStop), sizeof(REFERENCE_TIME)))
            return E_INVALIDARG;
        if ((props.dwSampleFlags & Sample_TypeChanged) &&
            (!contains(offsetof(AM_SAMPLE2_PROPERTIES, pMediaType), sizeof(void*)) ||
             props.pMediaType == nullptr))
            return E_INVALIDARG;
    }
    if (contains(offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer), sizeof(void*)) &&
        props.pbBuffer != nullptr && props.pbBuffer != m_pBuffer)
        return E_INVALIDARG;
    if (contains(offsetof(AM_SAMPLE2_PROPERTIES, cbBuffer), sizeof(LONG)) && props.cbBuffer != 0 &&
        props.cbBuffer != m_cbBuffer)
        return E_INVALIDARG;
    if (contains(offsetof(AM_SAMPLE2_PROPERTIES, lActual), sizeof(LONG)) &&
        (props.lActual < 0 || props.lActual > m_cbBuffer))
        return VFW_E_BUFFER_OVERFLOW;

    // Everything checked: store what was given.
    if (contains(offsetof(AM_SAMPLE2_PROPERTIES, dwTypeSpecificFlags), sizeof(DWORD)))
        m_dwTypeSpecificFlags = props.dwTypeSpecificFlags;
    if (hasFlags) {
        if (props.dwSampleFlags & Sample_TypeChanged) {
            const HRESULT hr = SetMediaType(props.pMediaType);
            if (FAILED(hr)) return hr;
        } else if (m_dwFlags & Sample_TypeChanged) {
            SetMediaType(nullptr);
        }
        m_dwFlags = (m_dwFlags & Sample_MediaTimeValid) | props.dwSampleFlags;
    }
    if (contains(offsetof(AM_SAMPLE2_PROPERTIES, lActual), sizeof(LONG))) m_lActual = props.lActual;
    if (contains(offsetof(AM_SAMPLE2_PROPERTIES, tStart), sizeof(REFERENCE_TIME)))
        m_Start = props.tStart;
    if (contains(offsetof(AM_SAMPLE2_PROPERTIES, tStop), sizeof(REFERENCE_TIME)))
        m_End = props.tStop;
    if (contains(offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId), sizeof(DWORD)))
        m_dwStreamId = props.dwStreamId;
    return S_OK;
}

// ------------------------------------------------------------------------------ CBaseAllocator

CBaseAllocator::CBaseAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr, BOOL bEvent,
                               BOOL fEnableReleaseCallback)
    : CUnknown(pName, pUnk),
      m_hSem(nullptr),
      m_lWaiting(0),
      m_lCount(0),
      m_lAllocated(0),
      m_lSize(0),
      m_lAlignment(0),
      m_lPrefix(0),
      m_bChanged(FALSE),
      m_bCommitted(FALSE),
      m_bDecommitInProgress(FALSE),
      m_pNotify(nullptr),
      m_fEnableReleaseCallback(fEnableReleaseCallback) {
    if (bEvent) {
        m_hSem = CreateSemaphore(nullptr, 0, 0x7FFFFFFF, nullptr);
        if (!m_hSem && phr) *phr = E_OUTOFMEMORY;
    }
}

CBaseAllocator::~CBaseAllocator() {
    if (m_pNotify) m_pNotify->Release();
    if (m_hSem) CloseHandle(m_hSem);
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IMemAllocator) ||
        (m_fEnableReleaseCallback && IsEqualIID(riid, IID_IMemAllocatorCallbackTemp)))
        return GetInterface(static_cast<IMemAllocatorCallbackTemp*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                                        ALLOCATOR_PROPERTIES* pActual) {
    if (!pRequest || !pActual) return E_POINTER;
    CAutoLock lock(this);
    *pActual = ALLOCATOR_PROPERTIES{};
    if (pRequest->cbBuffer <= 0 || pRequest->cBuffers < 0 || pRequest->cbPrefix < 0)
        return E_INVALIDARG;
    if (m_bCommitted) return VFW_E_ALREADY_COMMITTED;
    if (m_lAllocated != m_lFree.GetCount()) return VFW_E_BUFFERS_OUTSTANDING;
    *pActual = *pRequest;
    m_lSize = pRequest->cbBuffer;
    m_lCount = pRequest->cBuffers;
    m_lAlignment = pRequest->cbAlign;
    m_lPrefix = pRequest->cbPrefix;
    m_bChanged = TRUE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* pActual) {
    if (!pActual) return E_POINTER;
    CAutoLock lock(this);
    pActual->cbBuffer = m_lSize;
    pActual->cBuffers = m_lCount;
    pActual->cbAlign = m_lAlignment;
    pActual->cbPrefix = m_lPrefix;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::Commit() {
    CAutoLock lock(this);
    if (m_bCommitted) return S_OK;
    m_bCommitted = TRUE;
    // Samples of an unfinished decommit are still there: keep using them.
    if (m_bDecommitInProgress) {
        m_bDecommitInProgress = FALSE;
        return S_OK;
    }
    const HRESULT hr = Alloc();
    if (FAILED(hr)) {
        m_bCommitted = FALSE;
        return hr;
    }
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::Decommit() {
    bool release = false;
    {
        CAutoLock lock(this);
        if (!m_bCommitted && !m_bDecommitInProgress) return S_OK;
        m_bCommitted = FALSE;
        if (m_lFree.GetCount() < m_lAllocated) {
            m_bDecommitInProgress = TRUE;
        } else {
            m_bDecommitInProgress = FALSE;
            Free();
            release = true;
        }
        NotifySample();
    }
    if (release) Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME*,
                                                    REFERENCE_TIME*, DWORD dwFlags) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = nullptr;
    CMediaSample* sample = nullptr;
    for (;;) {
        {
            CAutoLock lock(this);
            if (!m_bCommitted) return VFW_E_NOT_COMMITTED;
            sample = m_lFree.RemoveHead();
            if (!sample) SetWaiting();
        }
        if (sample) break;
        if (dwFlags & AM_GBF_NOWAIT) {
            // We registered as a waiter; take that back so that no wake-up is lost on us.
            CAutoLock lock(this);
            if (m_lWaiting > 0) --m_lWaiting;
            return VFW_E_TIMEOUT;
        }
        if (!m_hSem) return VFW_E_TIMEOUT;
        WaitForSingleObject(m_hSem, INFINITE);
    }
    sample->m_cRef = 1;
    *ppBuffer = sample;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::ReleaseBuffer(IMediaSample* pSample) {
    if (!pSample) return E_POINTER;
    bool release = false;
    IMemAllocatorNotifyCallbackTemp* notify = nullptr;
    {
        CAutoLock lock(this);
        m_lFree.Add(static_cast<CMediaSample*>(pSample));
        if (m_lWaiting != 0) NotifySample();
        if (m_bDecommitInProgress && m_lFree.GetCount() == m_lAllocated) {
            Free();
            m_bDecommitInProgress = FALSE;
            release = true;
        }
        notify = m_pNotify;
        if (notify) notify->AddRef();
    }
    if (notify) {
        notify->NotifyRelease();
        notify->Release();
    }
    if (release) Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::SetNotify(IMemAllocatorNotifyCallbackTemp* pNotify) {
    CAutoLock lock(this);
    if (pNotify) pNotify->AddRef();
    if (m_pNotify) m_pNotify->Release();
    m_pNotify = pNotify;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::GetFreeCount(LONG* plBuffersFree) {
    if (!plBuffersFree) return E_POINTER;
    CAutoLock lock(this);
    *plBuffersFree = m_lCount - m_lAllocated + m_lFree.GetCount();
    return S_OK;
}

HRESULT CBaseAllocator::Alloc() {
    if (m_lCount <= 0 || m_lSize <= 0 || m_lAlignment <= 0) return VFW_E_SIZENOTSET;
    return m_bChanged ? S_OK : S_FALSE;
}

void CBaseAllocator::NotifySample() {
    if (m_lWaiting != 0 && m_hSem) {
        ReleaseSemaphore(m_hSem, m_lWaiting, nullptr);
        m_lWaiting = 0;
    }
}

// ------------------------------------------------------------------------------- CMemAllocator

CMemAllocator::CMemAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseAllocator(pName, pUnk, phr, TRUE, TRUE), m_pBuffer(nullptr) {}

CMemAllocator::~CMemAllocator() {
    Decommit();
    ReallyFree();
}

CUnknown* WINAPI CMemAllocator::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
    HRESULT hr = S_OK;
    CMemAllocator* allocator = new (std::nothrow) CMemAllocator(NAME("CMemAllocator"), pUnk, &hr);
    if (!allocator) hr = E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete allocator;
        allocator = nullptr;
    }
    if (phr) *phr = hr;
    return allocator;
}

HRESULT STDMETHODCALLTYPE CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                                       ALLOCATOR_PROPERTIES* pActual) {
    if (!pRequest || !pActual) return E_POINTER;
    CAutoLock lock(this);
    *pActual = ALLOCATOR_PROPERTIES{};
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const LONG align = pRequest->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0 ||
        (info.dwAllocationGranularity & DWORD(align - 1)) != 0)
        return VFW_E_BADALIGN;
    if (pRequest->cbBuffer <= 0 || pRequest->cBuffers < 0 || pRequest->cbPrefix < 0)
        return E_INVALIDARG;
    if (m_bCommitted) return VFW_E_ALREADY_COMMITTED;
    if (m_lAllocated != m_lFree.GetCount()) return VFW_E_BUFFERS_OUTSTANDING;

    int64_t size = int64_t(pRequest->cbBuffer) + pRequest->cbPrefix;
    size = (size + align - 1) / align * align;
    if (size - pRequest->cbPrefix > 0x7FFFFFFF) return E_OUTOFMEMORY;
    *pActual = *pRequest;
    pActual->cbBuffer = m_lSize = LONG(size - pRequest->cbPrefix);
    m_lCount = pRequest->cBuffers;
    m_lAlignment = align;
    m_lPrefix = pRequest->cbPrefix;
    m_bChanged = TRUE;
    return S_OK;
}

HRESULT CMemAllocator::Alloc() {
    CAutoLock lock(this);
    HRESULT hr = CBaseAllocator::Alloc();
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return S_OK;  // the samples of the last Alloc are still right
    if (m_pBuffer) ReallyFree();

    const int64_t aligned =
        (int64_t(m_lSize) + m_lPrefix + m_lAlignment - 1) / m_lAlignment * m_lAlignment;
    const int64_t total = aligned * m_lCount;
    m_pBuffer =
        static_cast<LPBYTE>(VirtualAlloc(nullptr, SIZE_T(total), MEM_COMMIT, PAGE_READWRITE));
    if (!m_pBuffer) return E_OUTOFMEMORY;

    LPBYTE next = m_pBuffer;
    for (; m_lAllocated < m_lCount; ++m_lAllocated, next += aligned) {
        CMediaSample* sample = new (std::nothrow)
            CMediaSample(NAME("Default memory media sample"), this, &hr, next + m_lPrefix, m_lSize);
        if (!sample) return E_OUTOFMEMORY;
        m_lFree.Add(sample);
    }
    m_bChanged = FALSE;
    return S_OK;
}

void CMemAllocator::ReallyFree() {
    // Only called with every sample back on the free list.
    while (CMediaSample* sample = m_lFree.RemoveHead()) delete sample;
    m_lAllocated = 0;
    if (m_pBuffer) {
        VirtualFree(m_pBuffer, 0, MEM_RELEASE);
        m_pBuffer = nullptr;
    }
}

#ifndef _WIN32
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_MemoryAllocator)) return REGDB_E_CLASSNOTREG;
    // An aggregating caller may only ask for the inner IUnknown.
    if (pUnkOuter && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    HRESULT hr = S_OK;
    CUnknown* object = CMemAllocator::CreateInstance(pUnkOuter, &hr);
    if (!object) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    object->NonDelegatingAddRef();
    hr = object->NonDelegatingQueryInterface(riid, ppv);
    object->NonDelegatingRelease();
    return hr;
}
#endif
