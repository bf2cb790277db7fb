#include "VideoIO/FilterUtil/QMMemAllocator.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/FilterUtil/QMMediaSample.h"
#include "diagnostics/CheckForms.h"

namespace qm_DSFilters {

namespace {

constexpr uint64_t kOneMiB = 1048576;
// The stream kind that the sample map is told when ADTS AAC turns into raw AAC.
constexpr uint32_t kRawAACStreamKind = 16777216;
const GUID kADTSAACSubtype = qm::MediaSubtypeFromFourCC(0x1600);
const GUID kRawAACSubtype = qm::MediaSubtypeFromFourCC(0x00FF);

// The allocator lock in the form the condition variable waits with.
struct LockableCritSec {
    CCritSec& cs;
    void lock() { cs.Lock(); }
    void unlock() { cs.Unlock(); }
};

bool IsAACPair(const GUID& a, const GUID& b) {
    return (IsEqualGUID(a, kADTSAACSubtype) || IsEqualGUID(a, kRawAACSubtype)) &&
           (IsEqualGUID(b, kADTSAACSubtype) || IsEqualGUID(b, kRawAACSubtype));
}

}  // namespace

QMMemAllocator::QMMemAllocator(const AM_MEDIA_TYPE* pmt, LPCTSTR name, HRESULT* phr)
    : CUnknown(name, nullptr),
      m_consumerSampleMap(static_cast<IMemAllocatorCallbackTemp*>(this), name, &m_allocatorLock) {
    const HRESULT hr = [&]() -> HRESULT {
        if (pmt) QMCheckHRESULT(m_mt.Set(*pmt));
        if (m_mt.IsValid() && qm::IsUncompressedVideoType(m_mt)) {
            LONG sampleSize = 0;
            QMCheckHRESULT(qm::GetSampleSize(m_mt, &sampleSize));
            if (sampleSize > 0) {
                m_bufferSize = sampleSize;
                QMCheckHRESULT(ComputeChunkSize());
            }
        }
        return S_OK;
    }();
    if (phr && FAILED(hr)) *phr = hr;
}

QMMemAllocator::~QMMemAllocator() {
    m_consumerSampleMap.Clear();
    for (QMMediaSample* s : m_samples) delete s;
    m_samples.clear();
    m_memoryBufferInfo.FreeAll();
    if (m_pNotify) m_pNotify->Release();
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    QMCheckCondition(ppv != 0, E_POINTER);
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMemAllocatorCallbackTemp) ||
        IsEqualIID(riid, IID_IMemAllocator))
        return GetInterface(static_cast<IMemAllocatorCallbackTemp*>(this), ppv);
    if (IsEqualIID(riid, IID_IQMMemAllocatorBase) || IsEqualIID(riid, IID_IQMMemAllocator))
        return GetInterface(static_cast<IQMMemAllocator*>(this), ppv);
    if (IsEqualIID(riid, IID_IDynamicSizeAllocator))
        return GetInterface(static_cast<IDynamicSizeAllocator*>(this), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// ------------------------------------------------------------------------- internal rules

int64_t QMMemAllocator::AlignedSize(int64_t size) const {
    int64_t aligned = size + m_prefixSize;
    if (m_alignmentSize > 0)
        aligned = (aligned + m_alignmentSize - 1) / m_alignmentSize * m_alignmentSize;
    return aligned;
}

HRESULT QMMemAllocator::ComputeChunkSize() {
    uint64_t ceiling = 0;
    {
        CAutoLock limitLock(&m_limitLock);
        ceiling = m_memoryLimit;
    }
    uint64_t chunk = kOneMiB;
    const int64_t aligned = AlignedSize(m_bufferSize);
    if (ceiling >= 1 && ceiling < kOneMiB) {
        chunk = ceiling;
    } else if (aligned > 0 && m_bufferSize >= int64_t(kOneMiB)) {
        chunk = uint64_t(aligned);
    } else if (aligned > 0 && m_bufferSize >= 1) {
        // The smallest multiple of a sample that is above 1 MiB.
        chunk = kOneMiB + uint64_t(aligned) - (kOneMiB % uint64_t(aligned));
    }
    return m_memoryBufferInfo.SetChunkSize(chunk);
}

bool QMMemAllocator::AreAllBuffersFree() const {
    // A kept sample that a consumer holds is out as much as one that GetBuffer handed out.
    return size_t(m_consumerSampleMap.GetFreeCount()) +
                   size_t(m_consumerSampleMap.GetKeptCount()) ==
               m_samples.size() &&
           !m_consumerSampleMap.IsAnySampleInUse();
}

bool QMMemAllocator::IsDecommitComplete() const {
    return AreAllBuffersFree();
}

HRESULT QMMemAllocator::ReleaseAllMemory() {
    QMCheckCondition(AreAllBuffersFree(), E_UNEXPECTED);
    m_consumerSampleMap.Clear();
    for (QMMediaSample* s : m_samples) delete s;
    m_samples.clear();
    QMLogHRESULT(m_memoryBufferInfo.FreeAll());
    return S_OK;
}

HRESULT QMMemAllocator::Validate() {
    QMCheckCondition((m_nbrOfBuffers > 0) && (m_bufferSize > 0) && (m_alignmentSize > 0),
                     VFW_E_SIZENOTSET);
    if (!m_propertiesChanged && LONG(m_samples.size()) == m_nbrOfBuffers) return S_FALSE;
    if (!m_memoryBufferInfo.IsEmpty()) QMCheckHRESULT(ReleaseAllMemory());
    int64_t lAlignedSize = int64_t(m_prefixSize) + m_bufferSize;
    if (m_alignmentSize > 1)
        lAlignedSize = (lAlignedSize + m_alignmentSize - 1) / m_alignmentSize * m_alignmentSize;
    QMCheckCondition((lAlignedSize % m_alignmentSize) == 0, E_UNEXPECTED);
    QMCheckCondition(m_memoryBufferInfo.IsEmpty(), E_UNEXPECTED);
    m_propertiesChanged = false;
    return S_OK;
}

bool QMMemAllocator::GrowthAllowed(uint64_t size) {
    CAutoLock limitLock(&m_limitLock);
    const uint64_t next =
        m_memoryBufferInfo.GetAllocatedSize() + std::max(size, m_memoryBufferInfo.GetChunkSize());
    if (m_memoryLimit != 0) return next <= m_memoryLimit;
    if (m_fixedMemory && !m_memoryBufferInfo.IsEmpty()) return false;
    const uint64_t countLimit = m_requiredNbrOfSamples != 0 ? m_requiredNbrOfSamples
                                : m_nbrOfBuffers > 0        ? uint64_t(m_nbrOfBuffers)
                                                            : 0;
    if (m_samples.size() < countLimit) return true;
    // Beyond the count, the allocator may grow while the total stays within 1 MiB.
    return next < kOneMiB + 1;
}

HRESULT QMMemAllocator::CreateSample(uint64_t sampleSize, QMMediaSample** ppSample) {
    *ppSample = nullptr;
    QMCheckCondition((sampleSize % m_alignmentSize) == 0, E_INVALIDARG);
    BYTE* address = nullptr;
    HRESULT hres = m_memoryBufferInfo.Allocate(sampleSize, &address);
    QMCheckHRESULT(hres);
    if (hres != S_OK) {
        QMCheckCondition(CanAllocateNewMemoryBuffer((int32_t)sampleSize), E_UNEXPECTED);
        QMCheckHRESULT(m_memoryBufferInfo.AddMemoryBuffer(sampleSize));
        hres = m_memoryBufferInfo.Allocate(sampleSize, &address);
        QMCheckCondition(hres == ((HRESULT)0L), E_UNEXPECTED);
    }
    QMMediaSample* pQMSample = new (std::nothrow)
        QMMediaSample(static_cast<IMemAllocatorCallbackTemp*>(this), address + m_prefixSize,
                      LONG(sampleSize - uint64_t(m_prefixSize)));
    if (!pQMSample) {
        QMLogHRESULT(m_memoryBufferInfo.Free(address, sampleSize));
        if (AreAllBuffersFree()) QMLogHRESULT(ReleaseAllMemory());
        QMCheckCondition(pQMSample != 0, E_UNEXPECTED);
    }
    m_samples.push_back(pQMSample);
    *ppSample = pQMSample;
    return S_OK;
}

HRESULT QMMemAllocator::RetireSample(QMMediaSample* pSample) {
    m_consumerSampleMap.RemoveFreeSample(pSample);
    const auto it = std::find(m_samples.begin(), m_samples.end(), pSample);
    QMCheckCondition(it != m_samples.end(), E_UNEXPECTED);
    m_samples.erase(it);
    const HRESULT hr =
        m_memoryBufferInfo.Free(pSample->GetBufferPointer() - m_prefixSize,
                                uint64_t(pSample->GetSize()) + uint64_t(m_prefixSize));
    delete pSample;
    // The memory may be what another waiter needs.
    WakeWaiters();
    QMCheckHRESULT(hr);
    return S_OK;
}

QMMediaSample* QMMemAllocator::FindSample(IMediaSample* pSample) const {
    // Compared by address only: asking a foreign sample for an interface would take a
    // reference on an object whose count may be 0.
    for (QMMediaSample* s : m_samples)
        if (static_cast<IMediaSample*>(static_cast<IMediaSample2*>(s)) == pSample) return s;
    return nullptr;
}

HRESULT QMMemAllocator::TryGetSample(int64_t size, bool sized, QMMediaSample** ppSample) {
    *ppSample = nullptr;
    QMCheckCondition(m_alignmentSize > 0, VFW_E_SIZENOTSET);

    // 1. A free sample that is large enough; free samples too small for the current buffer
    // size (the type grew) are of no further use.
    if (sized) {
        QMMediaSample* best = nullptr;
        for (QMMediaSample* s : m_consumerSampleMap.GetFreeSamples())
            if (s->GetSize() >= size && (!best || s->GetSize() < best->GetSize())) best = s;
        if (best) {
            m_consumerSampleMap.RemoveFreeSample(best);
            *ppSample = best;
        }
    } else {
        while (m_consumerSampleMap.GetFreeCount() > 0) {
            QMMediaSample* pQMSample = nullptr;
            QMCheckHRESULT(m_consumerSampleMap.PopFreeSample(&pQMSample));
            QMCheckCondition(pQMSample != 0, E_UNEXPECTED);
            if (pQMSample->GetSize() < size) {
                QMCheckHRESULT(RetireSample(pQMSample));
                continue;
            }
            *ppSample = pQMSample;
            break;
        }
    }
    if (*ppSample) {
        (*ppSample)->ResetForReuse();
        (*ppSample)->AddRef();
        return S_OK;
    }

    // 2. A new sample.
    const int64_t lAlignedSize = AlignedSize(size);
    QMCheckCondition(lAlignedSize - m_prefixSize <= 2147483647L, E_UNEXPECTED);
    const uint64_t aligned = uint64_t(lAlignedSize);
    bool canCreate = m_memoryBufferInfo.CanAllocate(aligned) || GrowthAllowed(aligned);
    if (!canCreate && sized) {
        // Make room: free samples give their memory back until the size fits in a block.
        for (QMMediaSample* s : m_consumerSampleMap.GetFreeSamples()) {
            QMCheckHRESULT(RetireSample(s));
            if (m_memoryBufferInfo.CanAllocate(aligned)) break;
        }
        canCreate = m_memoryBufferInfo.CanAllocate(aligned) || GrowthAllowed(aligned);
    }
    if (canCreate) {
        QMMediaSample* pQMSample = nullptr;
        QMCheckHRESULT(CreateSample(aligned, &pQMSample));
        QMCheckCondition(pQMSample != 0, E_OUTOFMEMORY);
        *ppSample = pQMSample;  // created with the caller's reference
        return S_OK;
    }

    // 3. The oldest sample that the map keeps but nobody needs any more.
    while (m_consumerSampleMap.GetReclaimableCount() > 0) {
        QMMediaSample* pQMSample = nullptr;
        QMCheckHRESULT(m_consumerSampleMap.ReclaimOldestSample(&pQMSample));
        if (!pQMSample) break;
        if (pQMSample->GetSize() < size) {
            QMCheckHRESULT(RetireSample(pQMSample));
            continue;
        }
        pQMSample->ResetForReuse();
        pQMSample->AddRef();
        *ppSample = pQMSample;
        return S_OK;
    }

    // 4. Nothing now: wait for a release, unless there is not even a block to wait on.
    // clang-format off
    QMCheckCondition(! m_memoryBufferInfo.IsEmpty(), E_OUTOFMEMORY);
    // clang-format on
    return S_FALSE;
}

HRESULT QMMemAllocator::WaitForSample(int64_t size, bool sized, DWORD timeoutMs,
                                      IMediaSample** ppBuffer) {
    using Clock = std::chrono::steady_clock;
    const bool unlimited = timeoutMs == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

    LockableCritSec lock{m_allocatorLock};
    std::unique_lock<LockableCritSec> held(lock);
    for (;;) {
        if (!m_bCommitted) return VFW_E_NOT_COMMITTED;
        QMMediaSample* pQMSample = nullptr;
        const HRESULT hr = TryGetSample(sized ? size : m_bufferSize, sized, &pQMSample);
        if (hr == S_OK) {
            *ppBuffer = static_cast<IMediaSample2*>(pQMSample);
            return S_OK;
        }
        if (FAILED(hr)) return hr;
        if (timeoutMs == 0) return VFW_E_TIMEOUT;

        ++m_waiting;
        if (unlimited) {
            m_bufferAvailable.wait(held);
        } else if (m_bufferAvailable.wait_until(held, deadline) == std::cv_status::timeout) {
            timeoutMs = 0;  // time is up: one last look, then VFW_E_TIMEOUT
        }
        --m_waiting;
    }
}

// --------------------------------------------------------------------------- IMemAllocator

HRESULT STDMETHODCALLTYPE QMMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                                        ALLOCATOR_PROPERTIES* pActual) {
    QMCheckCondition(pRequest != 0, E_INVALIDARG);
    QMCheckCondition(pActual != 0, E_POINTER);
    QMCheckCondition(pRequest->cbBuffer > 0, E_INVALIDARG);
    QMCheckCondition(pRequest->cbAlign != 0, VFW_E_BADALIGN);
    QMCheckCondition(pRequest->cbPrefix >= 0, E_INVALIDARG);

    CAutoLock lock(&m_allocatorLock);
    *pActual = ALLOCATOR_PROPERTIES{};
    if (pRequest->cBuffers == m_nbrOfBuffers && pRequest->cbBuffer == m_bufferSize &&
        pRequest->cbAlign == m_alignmentSize && pRequest->cbPrefix == m_prefixSize) {
        *pActual = *pRequest;
        return S_OK;
    }
    if (m_bCommitted) {
        if (!AreAllBuffersFree()) return VFW_E_ALREADY_COMMITTED;
        QMCheckHRESULT(ReleaseAllMemory());
        m_bufferSize = pRequest->cbBuffer;
    } else {
        QMCheckCondition(AreAllBuffersFree(), VFW_E_BUFFERS_OUTSTANDING);
        QMCheckHRESULT(ReleaseAllMemory());
        // Never smaller than the pin's own type needs, even if the request says less.
        m_bufferSize = std::max(pRequest->cbBuffer, m_bufferSize);
    }
    *pActual = *pRequest;
    m_nbrOfBuffers = pRequest->cBuffers;
    m_alignmentSize = pRequest->cbAlign;
    m_prefixSize = pRequest->cbPrefix;
    m_propertiesChanged = true;

    QMCheckHRESULT(ComputeChunkSize());
    QMCheckHRESULT(Validate());
    m_propertiesSet = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* pActual) {
    QMCheckCondition(pActual != 0, E_POINTER);
    CAutoLock lock(&m_allocatorLock);
    pActual->cBuffers = m_nbrOfBuffers;
    pActual->cbBuffer = m_bufferSize;
    pActual->cbAlign = m_alignmentSize;
    pActual->cbPrefix = m_prefixSize;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::Commit() {
    CAutoLock lock(&m_allocatorLock);
    if (m_bCommitted) return S_OK;
    m_bCommitted = true;
    if (m_decommitInProgress) {
        // The samples of the unfinished decommit stay in use, and so does the reference.
        m_decommitInProgress = false;
        return S_OK;
    }
    const HRESULT hr = Validate();
    if (FAILED(hr)) {
        m_bCommitted = false;
        return QMLogHRESULT(hr);
    }
    // Keeps the allocator alive while samples are out; dropped when the decommit completes.
    NonDelegatingAddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::Decommit() {
    bool dropSelfReference = false;
    {
        CAutoLock lock(&m_allocatorLock);
        if (!m_bCommitted && !m_decommitInProgress) return S_OK;
        m_bCommitted = false;
        WakeWaiters();  // they fail with VFW_E_NOT_COMMITTED
        if (IsDecommitComplete()) {
            m_decommitInProgress = false;
            QMCheckHRESULT(ReleaseAllMemory());
            dropSelfReference = true;
        } else {
            m_decommitInProgress = true;
        }
    }
    // Last: this may destroy the allocator.
    if (dropSelfReference) NonDelegatingRelease();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME*,
                                                    REFERENCE_TIME*, DWORD dwFlags) {
    QMCheckCondition(ppBuffer != 0, E_POINTER);
    *ppBuffer = nullptr;
    return WaitForSample(0, false, (dwFlags & AM_GBF_NOWAIT) ? 0 : INFINITE, ppBuffer);
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::ReleaseBuffer(IMediaSample* pSample) {
    QMCheckCondition(pSample != 0, E_INVALIDARG);
    bool dropSelfReference = false;
    IMemAllocatorNotifyCallbackTemp* pNotify = nullptr;
    {
        CAutoLock lock(&m_allocatorLock);
        QMMediaSample* pQMSample = FindSample(pSample);
        QMCheckCondition(pQMSample != 0, E_INVALIDARG);
        QMCheckHRESULT(m_consumerSampleMap.AddReleasedSample(pQMSample));
        WakeWaiters();
        if (m_decommitInProgress && IsDecommitComplete()) {
            m_decommitInProgress = false;
            dropSelfReference = true;
        }
        pNotify = m_pNotify;
        if (pNotify) pNotify->AddRef();
    }
    if (pNotify) {
        QMLogHRESULT(pNotify->NotifyRelease());
        pNotify->Release();
    }
    // Last: this may destroy the allocator and the sample.
    if (dropSelfReference) NonDelegatingRelease();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::SetNotify(IMemAllocatorNotifyCallbackTemp* pNotify) {
    CAutoLock lock(&m_allocatorLock);
    if (pNotify) pNotify->AddRef();
    if (m_pNotify) m_pNotify->Release();
    m_pNotify = pNotify;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetFreeCount(LONG* plBuffersFree) {
    QMCheckCondition(plBuffersFree != 0, E_POINTER);
    CAutoLock lock(&m_allocatorLock);
    *plBuffersFree = m_consumerSampleMap.GetFreeCount();
    return S_OK;
}

// --------------------------------------------------------------------- IQMMemAllocatorBase

BOOL STDMETHODCALLTYPE QMMemAllocator::IsCommitted() {
    CAutoLock lock(&m_allocatorLock);
    return m_bCommitted;
}

BOOL STDMETHODCALLTYPE QMMemAllocator::IsMediaTypeDifferent(const AM_MEDIA_TYPE* pmt) {
    CAutoLock lock(&m_allocatorLock);
    if (!pmt || !m_mt.IsValid()) return FALSE;
    if (!IsEqualGUID(pmt->majortype, m_mt.majortype)) return TRUE;
    if (IsEqualGUID(pmt->subtype, m_mt.subtype)) return FALSE;
    return !IsAACPair(pmt->subtype, m_mt.subtype);
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::SetNewMediaType(const AM_MEDIA_TYPE* pmt) {
    QMCheckCondition(pmt != 0, E_POINTER);
    CAutoLock lock(&m_allocatorLock);
    const bool adtsToRaw = m_mt.IsValid() && IsEqualGUID(pmt->majortype, m_mt.majortype) &&
                           IsEqualGUID(m_mt.subtype, kADTSAACSubtype) &&
                           IsEqualGUID(pmt->subtype, kRawAACSubtype);
    if (m_mt.IsValid() && !adtsToRaw) {
        QMCheckCondition(
            IsEqualGUID(pmt->majortype, m_mt.majortype) && IsEqualGUID(pmt->subtype, m_mt.subtype),
            VFW_E_TYPE_NOT_ACCEPTED);
    }

    LONG newBufferSize = 0;
    if (qm::IsUncompressedVideoType(*pmt)) {
        QMCheckHRESULT(qm::GetSampleSize(*pmt, &newBufferSize));
        QMCheckCondition(newBufferSize > 0, E_INVALIDARG);
    } else if (qm::IsPCMAudioType(*pmt)) {
        // The rule for PCM: a buffer keeps its number of sample frames, so its bytes follow the
        // frame size (channels x bytes per sample): 19 200 bytes of 16-bit stereo (4 800 frames)
        // become 9 600 bytes of 16-bit mono. The sampling rate does not enter, and a part frame
        // is dropped. Without a PCM type before, the buffer size stays (one frame if unset).
        LONG newFrame = 0, oldFrame = 0;
        QMCheckHRESULT(qm::GetSampleSize(*pmt, &newFrame));
        if (m_mt.IsValid() && qm::IsPCMAudioType(m_mt) &&
            SUCCEEDED(qm::GetSampleSize(m_mt, &oldFrame)) && oldFrame > 0 && m_bufferSize > 0) {
            const int64_t scaled = int64_t(m_bufferSize) / oldFrame * newFrame;
            QMCheckCondition(scaled <= 2147483647LL, E_INVALIDARG);
            newBufferSize = LONG(scaled);
        } else {
            newBufferSize = m_bufferSize > 0 ? m_bufferSize : newFrame;
        }
        QMCheckCondition(newBufferSize > 0, E_INVALIDARG);
    }

    QMCheckHRESULT(m_mt.Set(*pmt));
    if (adtsToRaw) m_consumerSampleMap.SetStreamKind(kRawAACStreamKind);
    if (newBufferSize > 0 && newBufferSize != m_bufferSize) {
        // Free samples that are now too small are dropped as GetBuffer meets them.
        m_bufferSize = newBufferSize;
        m_propertiesChanged = true;
        if (m_memoryBufferInfo.IsEmpty()) QMCheckHRESULT(ComputeChunkSize());
        // A smaller size may fit where the old one did not.
        WakeWaiters();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetMediaType(AM_MEDIA_TYPE* pmt) {
    QMCheckCondition(pmt != 0, E_POINTER);
    CAutoLock lock(&m_allocatorLock);
    QMCheckCondition(m_mt.IsValid(), E_UNEXPECTED);
    QMCheckHRESULT(CopyMediaType(pmt, &m_mt));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::SetRequiredNbrOfSamples(uint32_t nbrOfSamples) {
    CAutoLock lock(&m_allocatorLock);
    if (nbrOfSamples == m_requiredNbrOfSamples) return S_FALSE;
    // clang-format off
    QMCheckCondition(! m_bCommitted, VFW_E_NOT_COMMITTED);
    // clang-format on
    {
        CAutoLock limitLock(&m_limitLock);
        m_requiredNbrOfSamples = nbrOfSamples;
    }
    WakeWaiters();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::SetMemoryLimit(double megabytes) {
    QMCheckCondition(megabytes >= 0 && megabytes < 1.0e12, E_INVALIDARG);
    const uint64_t bytes = uint64_t(megabytes * 1000000.0);
    CAutoLock lock(&m_allocatorLock);
    // 0 lifts the ceiling, which is possible whatever is allocated.
    if (bytes != 0 && m_memoryBufferInfo.GetAllocatedSize() > bytes) return S_FALSE;
    {
        CAutoLock limitLock(&m_limitLock);
        m_memoryLimit = bytes;
    }
    WakeWaiters();  // growth may have become possible
    QMCheckHRESULT(ComputeChunkSize());
    return S_OK;
}

double STDMETHODCALLTYPE QMMemAllocator::GetMemoryLimit() {
    CAutoLock limitLock(&m_limitLock);
    return double(m_memoryLimit) / 1000000.0;
}

double STDMETHODCALLTYPE QMMemAllocator::GetAllocatedMemory() {
    CAutoLock lock(&m_allocatorLock);
    return double(m_memoryBufferInfo.GetAllocatedSize()) / 1000000.0;
}

BOOL STDMETHODCALLTYPE QMMemAllocator::CanAllocateNewMemoryBuffer(int32_t size) {
    if (size < 0) return FALSE;
    CAutoLock lock(&m_allocatorLock);
    return m_memoryBufferInfo.CanAllocate(uint64_t(size)) || GrowthAllowed(uint64_t(size));
}

// ------------------------------------------------------------------------- IQMMemAllocator

HRESULT STDMETHODCALLTYPE QMMemAllocator::RegisterConsumer(IConsumerToken** ppConsumerToken) {
    QMCheckCondition(ppConsumerToken != 0, E_POINTER);
    CAutoLock lock(&m_allocatorLock);
    QMCheckHRESULT(m_consumerSampleMap.RegisterConsumer(ppConsumerToken));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::UnregisterConsumer(IConsumerToken* pConsumerToken) {
    CAutoLock lock(&m_allocatorLock);
    QMCheckHRESULT(m_consumerSampleMap.UnregisterConsumer(pConsumerToken));
    WakeWaiters();  // samples it held back may be free now
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::Start() {
    CAutoLock lock(&m_allocatorLock);
    m_running = true;
    m_consumerSampleMap.Start();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::Stop() {
    CAutoLock lock(&m_allocatorLock);
    m_running = false;
    m_consumerSampleMap.Stop();
    WakeWaiters();
    return S_OK;
}

BOOL STDMETHODCALLTYPE QMMemAllocator::IsRunning() {
    CAutoLock lock(&m_allocatorLock);
    return m_running;
}

HRESULT QMMemAllocator::Lookup(IConsumerToken* pConsumerToken, ConsumerSampleMap::Lookup lookup,
                               REFERENCE_TIME time, IMediaSample** ppSample) {
    CAutoLock lock(&m_allocatorLock);
    const HRESULT hr = m_consumerSampleMap.LookupSample(pConsumerToken, lookup, time, ppSample);
    // A consumer that moved may let kept samples go.
    if (SUCCEEDED(hr)) WakeWaiters();
    return hr;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetNextSample(IConsumerToken* pConsumerToken,
                                                        DWORD timeoutMs, IMediaSample** ppSample) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    LockableCritSec lock{m_allocatorLock};
    std::unique_lock<LockableCritSec> held(lock);
    for (;;) {
        const HRESULT hr = m_consumerSampleMap.LookupSample(
            pConsumerToken, ConsumerSampleMap::Lookup::Next, 0, ppSample);
        if (SUCCEEDED(hr)) WakeWaiters();
        if (hr != QM_E_NO_SAMPLE || timeoutMs == 0) return hr;
        if (timeoutMs == INFINITE) {
            m_sampleKept.wait(held);
        } else if (m_sampleKept.wait_until(held, deadline) == std::cv_status::timeout) {
            timeoutMs = 0;  // one last look
        }
    }
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetNextSampleAfter(IConsumerToken* pConsumerToken,
                                                             REFERENCE_TIME time,
                                                             IMediaSample** ppSample) {
    return Lookup(pConsumerToken, ConsumerSampleMap::Lookup::NextAfter, time, ppSample);
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetSampleAtOrBefore(IConsumerToken* pConsumerToken,
                                                              REFERENCE_TIME time,
                                                              IMediaSample** ppSample) {
    return Lookup(pConsumerToken, ConsumerSampleMap::Lookup::AtOrBefore, time, ppSample);
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetKeptTimeRange(REFERENCE_TIME* pFirst,
                                                           REFERENCE_TIME* pLast) {
    CAutoLock lock(&m_allocatorLock);
    return m_consumerSampleMap.GetTimeRange(pFirst, pLast);
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::SetLoopMode(BOOL loop, double seconds) {
    QMCheckCondition(!loop || (seconds > 0 && seconds < 1.0e9), E_INVALIDARG);
    CAutoLock lock(&m_allocatorLock);
    QMCheckHRESULT(
        m_consumerSampleMap.SetLoopMode(loop != FALSE, REFERENCE_TIME(seconds * 1.0e7 + 0.5)));
    WakeWaiters();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetLoopMode(BOOL* pLoop, double* pSeconds) {
    QMCheckCondition(pLoop != 0 && pSeconds != 0, E_POINTER);
    CAutoLock lock(&m_allocatorLock);
    *pLoop = m_consumerSampleMap.IsLoopMode();
    *pSeconds = double(m_consumerSampleMap.GetLoopLength()) / 1.0e7;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetStatistics(SampleMapStatistics* pStatistics) {
    QMCheckCondition(pStatistics != 0, E_POINTER);
    CAutoLock lock(&m_allocatorLock);
    m_consumerSampleMap.GetStatistics(m_memoryBufferInfo.GetAllocatedSize(), pStatistics);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::DrawStatistics(IStatisticsSurface* pSurface) {
    CAutoLock lock(&m_allocatorLock);
    QMCheckHRESULT(
        m_consumerSampleMap.DrawStatistics(m_memoryBufferInfo.GetAllocatedSize(), pSurface));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::Dump(int reportLevel) {
    if (qm_log::get_report_level(0) < std::max(reportLevel, 1)) return S_OK;
    CAutoLock lock(&m_allocatorLock);
    const WCHAR* kind = IsEqualGUID(m_mt.majortype, MEDIATYPE_Video)   ? TEXT("Video")
                        : IsEqualGUID(m_mt.majortype, MEDIATYPE_Audio) ? TEXT("Audio")
                                                                       : TEXT("Unknown");
    qm_log::_reportW0(0, reportLevel, __FILE__, __LINE__, TEXT("Dumping QMMemAllocator"));
    qm_log::_reportW(0, reportLevel, __FILE__, __LINE__,
                     TEXT("Dump %s IsCommited %d m_nbrOfBuffers %d m_requiredNbrOfSamples %d "
                          "m_lAllocated %d m_lAllocatedSize %I64d"),
                     kind, int(m_bCommitted), int(m_nbrOfBuffers), int(m_requiredNbrOfSamples),
                     int(m_samples.size()), int64_t(m_memoryBufferInfo.GetAllocatedSize()));
    m_consumerSampleMap.Dump(m_memoryBufferInfo.GetAllocatedSize(), reportLevel);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::SetFixedMemory(BOOL fixedMemory) {
    CAutoLock lock(&m_allocatorLock);
    {
        CAutoLock limitLock(&m_limitLock);
        m_fixedMemory = fixedMemory != FALSE;
    }
    WakeWaiters();  // growth may have become possible
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QMMemAllocator::EnableIndexing(const AM_MEDIA_TYPE* pmt,
                                                         BOOL useSampleMediaTimeAsPTS) {
    CAutoLock lock(&m_allocatorLock);
    QMCheckHRESULT(m_consumerSampleMap.EnableIndexing(pmt, useSampleMediaTimeAsPTS != FALSE));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
QMMemAllocator::GetMPEG2Indexer(qm_MPEGUtil::IMPEG2Indexer** ppMPEG2Indexer) {
    CAutoLock lock(&m_allocatorLock);
    QMCheckHRESULT(m_consumerSampleMap.GetMPEG2Indexer(ppMPEG2Indexer));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
QMMemAllocator::GetSystemStreamType(qm_MPEGUtil::SystemStreamType* pSystemStreamType) {
    CAutoLock lock(&m_allocatorLock);
    QMCheckHRESULT(m_consumerSampleMap.GetSystemStreamType(pSystemStreamType));
    return S_OK;
}

// ------------------------------------------------------------------- IDynamicSizeAllocator

HRESULT STDMETHODCALLTYPE QMMemAllocator::GetBufferOfSize(IMediaSample** ppBuffer, LONG size,
                                                          DWORD timeoutMs) {
    QMCheckCondition(ppBuffer != 0, E_POINTER);
    *ppBuffer = nullptr;
    QMCheckCondition(size > 0, E_INVALIDARG);
    return WaitForSample(size, true, timeoutMs, ppBuffer);
}

LONG STDMETHODCALLTYPE QMMemAllocator::GetLargestSampleSize() {
    CAutoLock lock(&m_allocatorLock);
    LONG largest = 0;
    for (QMMediaSample* s : m_samples) largest = std::max(largest, s->GetSize());
    return largest;
}

// ------------------------------------------------------------------------------ diagnostics

LONG QMMemAllocator::GetAllocatedCount() {
    CAutoLock lock(&m_allocatorLock);
    return LONG(m_samples.size());
}

uint64_t QMMemAllocator::GetAllocatedBytes() {
    CAutoLock lock(&m_allocatorLock);
    return m_memoryBufferInfo.GetAllocatedSize();
}

uint32_t QMMemAllocator::GetStreamKind() {
    CAutoLock lock(&m_allocatorLock);
    return m_consumerSampleMap.GetStreamKind();
}

void QMMemAllocator::GetSampleSets(std::vector<IMediaSample*>* pFree,
                                   std::vector<std::pair<IMediaSample*, REFERENCE_TIME>>* pKept) {
    CAutoLock lock(&m_allocatorLock);
    pFree->clear();
    pKept->clear();
    for (QMMediaSample* s : m_consumerSampleMap.GetFreeSamples())
        pFree->push_back(static_cast<IMediaSample2*>(s));
    for (QMMediaSample* s : m_consumerSampleMap.GetKeptSamples()) {
        REFERENCE_TIME start = -1, stop = -1;
        s->GetTime(&start, &stop);
        pKept->emplace_back(static_cast<IMediaSample2*>(s), start);
    }
}

LONG QMMemAllocator::GetWaitingCount() {
    CAutoLock lock(&m_allocatorLock);
    return m_waiting;
}

HRESULT CreateQMMemAllocator(const AM_MEDIA_TYPE* pmt, LPCTSTR name, IMemAllocator** ppAllocator) {
    QMCheckCondition(ppAllocator != 0, E_POINTER);
    *ppAllocator = nullptr;
    HRESULT hr = S_OK;
    QMMemAllocator* pAllocator = new (std::nothrow) QMMemAllocator(pmt, name, &hr);
    QMCheckCondition(pAllocator != 0, E_OUTOFMEMORY);
    if (FAILED(hr)) {
        delete pAllocator;
        QMCheckHRESULT(hr);
    }
    pAllocator->NonDelegatingAddRef();
    *ppAllocator = static_cast<IMemAllocatorCallbackTemp*>(pAllocator);
    return S_OK;
}

}  // namespace qm_DSFilters
