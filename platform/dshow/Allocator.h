// Media samples and allocators of the base classes: CMediaSample (IMediaSample2 over memory the
// allocator owns; the last Release hands it back), CBaseAllocator (IMemAllocator state machine:
// properties, commit/decommit, the free list, waiting in GetBuffer) and CMemAllocator, the
// standard memory allocator (CLSID_MemoryAllocator), which carves its samples out of one block.
// CoCreateInstance creates CLSID_MemoryAllocator.
#pragma once

#include "platform/com/ComBase.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/WxUtil.h"

class CBaseAllocator;

class CMediaSample : public IMediaSample2 {
    friend class CBaseAllocator;

public:
    // The buffer belongs to the allocator; length is its size in bytes.
    CMediaSample(LPCTSTR pName, CBaseAllocator* pAllocator, HRESULT* phr, LPBYTE pBuffer = nullptr,
                 LONG length = 0);
    virtual ~CMediaSample();
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    // At 0 the sample forgets its type, flags and stream id and goes back to the allocator.
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT SetPointer(BYTE* ptr, LONG cBytes);

    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** ppBuffer) override;
    LONG STDMETHODCALLTYPE GetSize() override { return m_cbBuffer; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* pTimeStart,
                                      REFERENCE_TIME* pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* pTimeStart,
                                      REFERENCE_TIME* pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL bIsSyncPoint) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL bIsPreroll) override;
    LONG STDMETHODCALLTYPE GetActualDataLength() override { return m_lActual; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG lActual) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL bDiscontinuity) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE GetProperties(DWORD cbProperties, BYTE* pbProperties) override;
    HRESULT STDMETHODCALLTYPE SetProperties(DWORD cbProperties, const BYTE* pbProperties) override;

protected:
    // Internal flag bits, equal to the AM_SAMPLE_* bits.
    enum {
        Sample_SyncPoint = 0x01,
        Sample_Preroll = 0x02,
        Sample_Discontinuity = 0x04,
        Sample_TypeChanged = 0x08,
        Sample_TimeValid = 0x10,
        Sample_MediaTimeValid = 0x20,
        Sample_TimeDiscontinuity = 0x40,
        Sample_StopValid = 0x100,
        Sample_ValidFlags = 0x1FF
    };

    DWORD m_dwFlags;
    DWORD m_dwTypeSpecificFlags;
    LPBYTE m_pBuffer;
    LONG m_lActual;
    LONG m_cbBuffer;
    CBaseAllocator* m_pAllocator;
    CMediaSample* m_pNext;  // the allocator's free list
    REFERENCE_TIME m_Start;
    REFERENCE_TIME m_End;
    LONGLONG m_MediaStart;
    LONG m_MediaEnd;  // media stop - media start
    AM_MEDIA_TYPE* m_pMediaType;
    DWORD m_dwStreamId;

public:
    std::atomic<LONG> m_cRef;
};

class CBaseAllocator : public CUnknown, public IMemAllocatorCallbackTemp, public CCritSec {
    friend class CMediaSample;

public:
    // fEnableReleaseCallback exposes IMemAllocatorCallbackTemp.
    CBaseAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr, BOOL bEvent = TRUE,
                   BOOL fEnableReleaseCallback = FALSE);
    ~CBaseAllocator() override;

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Fails with VFW_E_ALREADY_COMMITTED when committed and VFW_E_BUFFERS_OUTSTANDING while
    // samples are out.
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                            ALLOCATOR_PROPERTIES* pActual) override;
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* pActual) override;
    // Commit allocates (Alloc) and holds a reference on the allocator until the decommit
    // completes, which is when the last outstanding sample is back.
    HRESULT STDMETHODCALLTYPE Commit() override;
    HRESULT STDMETHODCALLTYPE Decommit() override;
    // Waits for a free sample unless AM_GBF_NOWAIT (then VFW_E_TIMEOUT); VFW_E_NOT_COMMITTED
    // when not committed or decommitted while waiting. The sample comes with one reference.
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                                        REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* pBuffer) override;
    HRESULT STDMETHODCALLTYPE SetNotify(IMemAllocatorNotifyCallbackTemp* pNotify) override;
    HRESULT STDMETHODCALLTYPE GetFreeCount(LONG* plBuffersFree) override;

    BOOL IsCommitted() const { return m_bCommitted; }
    LONG AllocatedCount() const { return m_lAllocated; }

protected:
    // A singly linked list of free samples through CMediaSample::m_pNext.
    class CSampleList {
    public:
        CMediaSample* Head() const { return m_List; }
        int GetCount() const { return m_nOnList; }
        void Add(CMediaSample* pSample) {
            pSample->m_pNext = m_List;
            m_List = pSample;
            ++m_nOnList;
        }
        CMediaSample* RemoveHead() {
            CMediaSample* p = m_List;
            if (p) {
                m_List = p->m_pNext;
                --m_nOnList;
            }
            return p;
        }

    private:
        CMediaSample* m_List = nullptr;
        int m_nOnList = 0;
    };

    // Creates the samples; S_FALSE when nothing changed since the last Alloc.
    virtual HRESULT Alloc();
    // Called when the decommit completes with every sample back.
    virtual void Free() = 0;

    // Wakes the GetBuffer calls that wait.
    void NotifySample();
    void SetWaiting() { ++m_lWaiting; }

    CSampleList m_lFree;
    HANDLE m_hSem;
    LONG m_lWaiting;
    LONG m_lCount;
    LONG m_lAllocated;
    LONG m_lSize;
    LONG m_lAlignment;
    LONG m_lPrefix;
    BOOL m_bChanged;
    BOOL m_bCommitted;
    BOOL m_bDecommitInProgress;
    IMemAllocatorNotifyCallbackTemp* m_pNotify;
    BOOL m_fEnableReleaseCallback;
};

// The standard memory allocator. SetProperties rounds cbBuffer + cbPrefix up to cbAlign, which
// must be a power of two no larger than the allocation granularity (VFW_E_BADALIGN otherwise).
class CMemAllocator : public CBaseAllocator {
public:
    CMemAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr);
    ~CMemAllocator() override;

    static CUnknown* WINAPI CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);

    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                            ALLOCATOR_PROPERTIES* pActual) override;

protected:
    HRESULT Alloc() override;
    // Samples and memory are kept until the properties change or the allocator goes.
    void Free() override {}
    void ReallyFree();

    LPBYTE m_pBuffer;
};

#ifndef _WIN32
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
// Creates the objects this platform provides (CLSID_MemoryAllocator); other classes give
// REGDB_E_CLASSNOTREG.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
#endif
