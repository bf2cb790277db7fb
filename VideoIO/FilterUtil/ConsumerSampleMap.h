// Where the sample allocator puts the samples whose last reference was released. This map keeps
// no sample for consumers: every released sample goes to the free list that GetBuffer takes
// from, so nothing is ever reclaimable or in use by a consumer. It has its own lock, taken
// inside the allocator's lock.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/dshow/DShow.h"

namespace qm_DSFilters {

class QMMediaSample;

class ConsumerSampleMap {
public:
    // pAllocator and pAllocatorLock belong to the allocator that owns this map.
    ConsumerSampleMap(IMemAllocator* pAllocator, LPCTSTR name, CCritSec* pAllocatorLock);
    ConsumerSampleMap(const ConsumerSampleMap&) = delete;
    ConsumerSampleMap& operator=(const ConsumerSampleMap&) = delete;

    // A sample whose reference count fell to 0: into the free list unless it is there already.
    // A sample that is still referenced is refused (E_UNEXPECTED) and left alone.
    HRESULT AddReleasedSample(QMMediaSample* pQMMediaSample);

    LONG GetFreeCount() const;
    bool IsFree(const QMMediaSample* pQMMediaSample) const;
    // The most recently freed sample leaves the free list (E_UNEXPECTED when it is empty).
    HRESULT PopFreeSample(QMMediaSample** ppQMMediaSample);
    // Takes a given sample out of the free list (S_FALSE when it is not there).
    HRESULT RemoveFreeSample(QMMediaSample* pQMMediaSample);
    // The free samples, most recently freed last.
    std::vector<QMMediaSample*> GetFreeSamples() const;

    // Samples kept for consumers: this map keeps none.
    LONG GetKeptCount() const { return 0; }
    LONG GetReclaimableCount() const { return 0; }
    HRESULT ReclaimOldestSample(QMMediaSample** ppQMMediaSample);
    bool IsAnySampleInUse() const { return false; }

    // Forgets every sample (the allocator destroys them).
    void Clear();

    void Start();
    void Stop();
    bool IsStarted() const;
    // The stream kind that the allocator's media type changed to (e.g. raw AAC after ADTS).
    void SetStreamKind(uint32_t streamKind);
    uint32_t GetStreamKind() const;

    IMemAllocator* GetAllocator() const { return m_pAllocator; }
    LPCTSTR GetName() const { return m_name; }
    CCritSec* GetAllocatorLock() const { return m_pAllocatorLock; }

private:
    IMemAllocator* m_pAllocator;
    LPCTSTR m_name;
    CCritSec* m_pAllocatorLock;
    mutable CCritSec m_lock;
    std::vector<QMMediaSample*> m_freeList;
    bool m_started = false;
    uint32_t m_streamKind = 0;
};

}  // namespace qm_DSFilters
