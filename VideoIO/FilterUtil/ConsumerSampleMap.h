// Where the sample allocator puts the samples whose last reference was released: a free list
// for GetBuffer, and a store of kept samples in presentation-time order that turns the
// allocator into a time-shift buffer for its registered consumers.
//
// Retention. While the map is started, a released sample with a start time is kept as long as
// some registered consumer that is not stopped has not read past it; each consumer steps
// through the store with its own position. A kept sample that every such consumer has passed,
// and that nobody holds, goes to the free list. When the allocator can grow no further it
// reclaims the oldest kept sample that no consumer holds; consumers that had not read it are
// told, at their next read, that they skipped. In loop mode the store instead keeps the last
// stretch of media time whatever the consumers have read, so they can step back into it.
//
// A kept sample counts as in use from the moment a lookup hands it out until its last release
// comes back through the allocator: the reference count alone could read 0 while that release
// is on its way, and the sample must not be given to anyone else in between.
//
// The map has its own lock, taken inside the allocator's lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "VideoIO/FilterUtil/ConsumerInterfaces.h"
#include "VideoIO/FilterUtil/ConsumerMap.h"
#include "VideoIO/MPEGUtil/IndexerHelpers.h"
#include "platform/dshow/DShow.h"

namespace qm_DSFilters {

class QMMediaSample;

class ConsumerSampleMap {
public:
    // pAllocator and pAllocatorLock belong to the allocator that owns this map.
    ConsumerSampleMap(IMemAllocator* pAllocator, LPCTSTR name, CCritSec* pAllocatorLock);
    ~ConsumerSampleMap();
    ConsumerSampleMap(const ConsumerSampleMap&) = delete;
    ConsumerSampleMap& operator=(const ConsumerSampleMap&) = delete;

    // A sample whose reference count fell to 0. A kept sample stays kept (and may now be
    // freed); another one is kept when a consumer will want it, else it joins the free list
    // unless it is there already. A sample that is still referenced is refused (E_UNEXPECTED)
    // and left alone.
    HRESULT AddReleasedSample(QMMediaSample* pQMMediaSample);

    LONG GetFreeCount() const;
    bool IsFree(const QMMediaSample* pQMMediaSample) const;
    // The most recently freed sample leaves the free list (E_UNEXPECTED when it is empty).
    HRESULT PopFreeSample(QMMediaSample** ppQMMediaSample);
    // Takes a given sample out of the free list (S_FALSE when it is not there).
    HRESULT RemoveFreeSample(QMMediaSample* pQMMediaSample);
    // The free samples, most recently freed last.
    std::vector<QMMediaSample*> GetFreeSamples() const;

    LONG GetKeptCount() const;
    // The kept samples in store order.
    std::vector<QMMediaSample*> GetKeptSamples() const;
    bool IsKept(const QMMediaSample* pQMMediaSample) const;
    // Kept samples that no consumer holds.
    LONG GetReclaimableCount() const;
    // The oldest kept sample that no consumer holds leaves the store for the caller (S_FALSE
    // and null when there is none).
    HRESULT ReclaimOldestSample(QMMediaSample** ppQMMediaSample);
    bool IsAnySampleInUse() const;

    // Forgets every sample (the allocator destroys them); consumers stay registered and read
    // the next samples from the start.
    void Clear();

    // Samples are kept only while started.
    void Start();
    void Stop();
    bool IsStarted() const;
    // The stream kind that the allocator's media type changed to (e.g. raw AAC after ADTS);
    // the indexer follows it.
    void SetStreamKind(uint32_t streamKind);
    uint32_t GetStreamKind() const;

    // Consumers. A new consumer starts after the newest kept sample.
    HRESULT RegisterConsumer(IConsumerToken** ppConsumerToken);
    HRESULT UnregisterConsumer(IConsumerToken* pConsumerToken);

    enum class Lookup {
        Next,        // the first kept sample after the consumer's position
        NextAfter,   // the first kept sample that starts after a time
        AtOrBefore,  // the last kept sample that starts at or before a time
    };
    // The sample found, with a reference, becomes the consumer's position. QM_E_NO_SAMPLE when
    // none answers; QM_S_SAMPLES_SKIPPED when the consumer missed samples since its last read.
    HRESULT LookupSample(IConsumerToken* pConsumerToken, Lookup lookup, REFERENCE_TIME time,
                         IMediaSample** ppSample);
    // Start times of the oldest and newest kept samples (QM_E_NO_SAMPLE when none is kept).
    HRESULT GetTimeRange(REFERENCE_TIME* pFirst, REFERENCE_TIME* pLast) const;

    // Loop mode keeps the last `length` (100-ns units, > 0) of media time.
    HRESULT SetLoopMode(bool loop, REFERENCE_TIME length);
    bool IsLoopMode() const;
    REFERENCE_TIME GetLoopLength() const;
    // Only the time order keeps samples; another method makes released samples go free.
    HRESULT SetSampleSortingMethod(IBufferSink::SortingMethod method);

    // allocatedBytes: the allocator's bytes in blocks, for the percentage.
    void GetStatistics(uint64_t allocatedBytes, SampleMapStatistics* pStatistics) const;
    // The summary line, then one line per consumer.
    HRESULT DrawStatistics(uint64_t allocatedBytes, IStatisticsSurface* pSurface) const;
    // The same lines as reports, when the report level is at least reportLevel.
    void Dump(uint64_t allocatedBytes, int reportLevel) const;

    // Indexing. Stream types of the system layer only set the flag (their indexer is created
    // with the first indexed buffer); H.264, raw and ADTS AAC load the indexer now. Every
    // sample kept afterwards is fed to it in time order. Other types leave indexing off.
    HRESULT EnableIndexing(const AM_MEDIA_TYPE* pmt, bool useSampleMediaTimeAsPTS);
    bool IsIndexingEnabled() const;
    bool IsIndexerLoaded() const;
    // Whether the indexed type's format block carries more than its header (always for raw AAC).
    bool HasIndexedFormatPayload() const;
    // The indexer, with a reference, after what is buffered for it was fed.
    HRESULT GetMPEG2Indexer(qm_MPEGUtil::IMPEG2Indexer** ppMPEG2Indexer);
    // What the indexer recognised; for AAC it must be the form the type promised once it
    // found frames.
    HRESULT GetSystemStreamType(qm_MPEGUtil::SystemStreamType* pSystemStreamType);

    IMemAllocator* GetAllocator() const { return m_pAllocator; }
    LPCTSTR GetName() const { return m_name; }
    CCritSec* GetAllocatorLock() const { return m_pAllocatorLock; }

private:
    struct KeptSample {
        QMMediaSample* sample;
        LONG bytes;  // data length when kept
        bool inUse;  // handed out, and its last release has not come back yet
    };
    using Store = std::map<SampleKey, KeptSample>;

    // Under m_lock.
    bool IsWanted(const SampleKey& key) const;
    HRESULT InsertKept(QMMediaSample* pQMMediaSample, const SampleKey& key);
    // Frees the kept samples that nobody needs any more.
    void Trim();
    // Takes an entry out of the store; consumers that had not read it skipped it.
    QMMediaSample* RemoveKept(Store::iterator it);
    void PushFree(QMMediaSample* pQMMediaSample);
    std::vector<std::string> StatisticsLines(uint64_t allocatedBytes) const;
    // Feeds the kept samples after the last one fed, in time order.
    void IndexNewSamples();
    HRESULT CreateIndexer(uint32_t streamKind, const AM_MEDIA_TYPE* pmt);
    HRESULT FlushIndexer();

    IMemAllocator* m_pAllocator;
    LPCTSTR m_name;
    CCritSec* m_pAllocatorLock;
    mutable CCritSec m_lock;
    std::vector<QMMediaSample*> m_freeList;
    Store m_samples;
    std::unordered_map<const QMMediaSample*, SampleKey> m_storedIndex;
    ConsumerMap m_consumers;
    IBufferSink::SortingMethod m_sampleSortingMethod = IBufferSink::SortSamplesByTime;
    uint32_t m_mapMode = 0;
    REFERENCE_TIME m_loopLength = 0;
    uint64_t m_nextSequence = 0;
    LONG m_inUseCount = 0;
    uint64_t m_keptBytes = 0;
    uint64_t m_keptTotal = 0;
    uint64_t m_reclaimedTotal = 0;
    bool m_started = false;
    uint32_t m_streamKind = 0;

    bool m_isIndexingEnabled = false;
    bool m_isIndexerLoaded = false;
    bool m_hasFormatPayload = false;
    bool m_useSampleMediaTimeAsPTS = false;
    uint32_t m_indexedStreamKind = 0;  // 0: a stream type of the system layer
    CMediaType m_indexedType;
    qm_MPEGUtil::IMPEG2Indexer* m_mpeg2Indexer = nullptr;
    HMODULE m_indexerModule = nullptr;
    std::unique_ptr<qm_MPEGUtil::IndexerFeeder> m_indexerFeeder;
    SampleKey m_lastIndexed = kBeforeAllSamples;
};

}  // namespace qm_DSFilters
