// The media sample of the sample allocator: IMediaSample2 over a piece of one of the
// allocator's memory blocks, also presented as INSSBuffer4, IMediaBuffer and IMFMediaBuffer,
// with markers and copying. The last Release hands the sample back to its allocator instead of
// destroying it; the allocator destroys its samples when it frees their memory.
#pragma once

#include <atomic>
#include <map>
#include <vector>

#include "VideoIO/FilterUtil/SampleInterfaces.h"
#include "platform/dshow/DShow.h"

namespace qm_DSFilters {

class QMMediaSample;

// Takes a sample of nobody's allocator at its last release (e.g. a pool of its own). A sample
// that is not taken destroys itself.
class ISampleOwner {
public:
    virtual bool TakeSample(QMMediaSample* pSample) = 0;

protected:
    ~ISampleOwner() = default;
};

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const;
};

class QMMediaSample : public IMediaSample2,
                      public IMediaSampleMarker,
                      public IQMMediaSample,
                      public ICopyMediaSample,
                      public INSSBuffer4,
                      public IMediaBuffer,
                      public IMFMediaBuffer {
public:
    // A sample over [pBuffer, pBuffer + size) with one reference. pAllocator (not counted)
    // receives it in ReleaseBuffer when the count falls to 0; without one, pOwner may take it.
    QMMediaSample(IMemAllocator* pAllocator, BYTE* pBuffer, LONG size,
                  ISampleOwner* pOwner = nullptr);
    virtual ~QMMediaSample();
    QMMediaSample(const QMMediaSample&) = delete;
    QMMediaSample& operator=(const QMMediaSample&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IMediaSample2
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

    // IMediaSampleMarker
    HRESULT STDMETHODCALLTYPE SetMarkerValue(uint32_t value) override;
    uint32_t STDMETHODCALLTYPE GetMarkerValue() override { return m_markerValue; }
    HRESULT STDMETHODCALLTYPE SetMarkerTime1(REFERENCE_TIME time) override;
    REFERENCE_TIME STDMETHODCALLTYPE GetMarkerTime1() override { return m_markerTime1; }
    HRESULT STDMETHODCALLTYPE SetMarkerTime2(REFERENCE_TIME time) override;
    REFERENCE_TIME STDMETHODCALLTYPE GetMarkerTime2() override { return m_markerTime2; }

    // ICopyMediaSample
    HRESULT STDMETHODCALLTYPE CopyTo(IMediaSample* pMediaSample) override;
    HRESULT STDMETHODCALLTYPE CopyFrom(INSSBuffer* pNSSBuffer) override;

    // INSSBuffer to INSSBuffer4; SetLength, GetMaxLength and GetBufferAndLength also serve
    // IMediaBuffer, GetMaxLength also IMFMediaBuffer. GetBufferAndLength fills the pointers
    // that are given.
    HRESULT STDMETHODCALLTYPE GetLength(DWORD* pdwLength) override;
    HRESULT STDMETHODCALLTYPE SetLength(DWORD dwLength) override;
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* pdwMaxLength) override;
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** ppBuffer) override;
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** ppBuffer, DWORD* pdwLength) override;
    // The properties block is an AM_SAMPLE2_PROPERTIES, as in IMediaSample2.
    HRESULT STDMETHODCALLTYPE GetSampleProperties(DWORD cbProperties, BYTE* pbProperties) override;
    HRESULT STDMETHODCALLTYPE SetSampleProperties(DWORD cbProperties, BYTE* pbProperties) override;
    HRESULT STDMETHODCALLTYPE SetProperty(GUID guidBufferProperty, void* pvBufferProperty,
                                          DWORD dwBufferPropertySize) override;
    HRESULT STDMETHODCALLTYPE GetProperty(GUID guidBufferProperty, void* pvBufferProperty,
                                          DWORD* pdwBufferPropertySize) override;
    HRESULT STDMETHODCALLTYPE GetPropertyCount(DWORD* pcBufferProperties) override;
    HRESULT STDMETHODCALLTYPE GetPropertyByIndex(DWORD dwBufferPropertyIndex,
                                                 GUID* pguidBufferProperty, void* pvBufferProperty,
                                                 DWORD* pdwBufferPropertySize) override;

    // IMFMediaBuffer (no locking is done: the holder owns the memory).
    HRESULT STDMETHODCALLTYPE Lock(BYTE** ppbBuffer, DWORD* pcbMaxLength,
                                   DWORD* pcbCurrentLength) override;
    HRESULT STDMETHODCALLTYPE Unlock() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurrentLength(DWORD* pcbCurrentLength) override;
    HRESULT STDMETHODCALLTYPE SetCurrentLength(DWORD cbCurrentLength) override;

    // For the allocator and the sample map.
    LONG GetRefCount() const { return m_cRef.load(); }
    BYTE* GetBufferPointer() const { return m_pBuffer; }
    // Clears flags, stream id, media type, markers and times before the sample is reused; the
    // buffer properties and the data length stay.
    void ResetForReuse();

private:
    // The media type as the sample owns it (freed with DeleteMediaType).
    class MediaTypePtr {
    public:
        MediaTypePtr() = default;
        ~MediaTypePtr() { Reset(nullptr); }
        MediaTypePtr(const MediaTypePtr&) = delete;
        MediaTypePtr& operator=(const MediaTypePtr&) = delete;
        bool IsNull() const { return m_pmt == nullptr; }
        AM_MEDIA_TYPE* Get() const { return m_pmt; }
        void Reset(AM_MEDIA_TYPE* pmt);

    private:
        AM_MEDIA_TYPE* m_pmt = nullptr;
    };

    HRESULT SetLengthChecked(int64_t lActual);
    HRESULT SetMediaTypeLocked(const AM_MEDIA_TYPE* pMediaType);
    void CopyMarkersAndPropertiesTo(QMMediaSample* pTarget);

    std::atomic<LONG> m_cRef;
    uint32_t m_markerValue = 0;
    REFERENCE_TIME m_markerTime1 = 0;
    REFERENCE_TIME m_markerTime2 = 0;
    IMemAllocator* m_pAllocator;
    ISampleOwner* m_pOwner;
    DWORD m_dwFlags = 0;
    DWORD m_dwTypeSpecificFlags = 0;
    BYTE* m_pBuffer;
    LONG m_lActual;
    LONG m_cbBuffer;
    REFERENCE_TIME m_start = -1;
    REFERENCE_TIME m_stop = -1;
    LONGLONG m_mediaStart = -1;
    LONG m_mediaDelta = 0;  // media stop - media start
    MediaTypePtr m_mediaTypePtr;
    DWORD m_dwStreamId = 0;
    CCritSec m_lock;  // the property map and the media type
    std::map<GUID, std::vector<BYTE>, GuidLess> m_propertyMap;
};

}  // namespace qm_DSFilters
