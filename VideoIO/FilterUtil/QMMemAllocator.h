// The sample allocator that the decoders' input pins offer upstream. Unlike the standard
// allocator it creates its samples one by one as GetBuffer needs them, carving them out of large
// virtual-memory blocks; it grows beyond the requested count while its limits allow (a sample
// count, a memory ceiling, or 1 MiB in total); released samples go through the consumer sample
// map, which may keep them. Two locks: the allocator lock, and inside it the limit lock that
// guards the growth decision and the ceiling. GetBuffer never waits holding a lock, and the
// notify callback is called outside them. Every change that may let a waiting GetBuffer
// proceed (a release, freed memory, a raised limit, a smaller buffer size, a decommit) wakes
// all waiters, each of which looks again for itself: with one wake-up per change, a waiter
// that could not use it would swallow it while another one could.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <utility>
#include <vector>

#include "VideoIO/FilterUtil/ConsumerSampleMap.h"
#include "VideoIO/FilterUtil/MemoryBufferInfo.h"
#include "VideoIO/FilterUtil/SampleInterfaces.h"
#include "platform/dshow/DShow.h"

namespace qm_DSFilters {

class QMMediaSample;

class QMMemAllocator : public CUnknown,
                       public IQMMemAllocator,
                       public IDynamicSizeAllocator,
                       public IMemAllocatorCallbackTemp {
public:
    // pmt (may be null) is the connection type of the pin that offers the allocator.
    QMMemAllocator(const AM_MEDIA_TYPE* pmt, LPCTSTR name, HRESULT* phr);
    ~QMMemAllocator() override;

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemAllocator / IMemAllocatorCallbackTemp
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                            ALLOCATOR_PROPERTIES* pActual) override;
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* pActual) override;
    HRESULT STDMETHODCALLTYPE Commit() override;
    HRESULT STDMETHODCALLTYPE Decommit() override;
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                                        REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* pSample) override;
    HRESULT STDMETHODCALLTYPE SetNotify(IMemAllocatorNotifyCallbackTemp* pNotify) override;
    HRESULT STDMETHODCALLTYPE GetFreeCount(LONG* plBuffersFree) override;

    // IQMMemAllocatorBase
    BOOL STDMETHODCALLTYPE IsCommitted() override;
    BOOL STDMETHODCALLTYPE IsMediaTypeDifferent(const AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE SetNewMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE SetRequiredNbrOfSamples(uint32_t nbrOfSamples) override;
    HRESULT STDMETHODCALLTYPE SetMemoryLimit(double megabytes) override;
    double STDMETHODCALLTYPE GetMemoryLimit() override;
    double STDMETHODCALLTYPE GetAllocatedMemory() override;
    BOOL STDMETHODCALLTYPE CanAllocateNewMemoryBuffer(int32_t size) override;

    // IQMMemAllocator
    HRESULT STDMETHODCALLTYPE RegisterConsumer(IConsumerToken** ppConsumerToken) override;
    HRESULT STDMETHODCALLTYPE UnregisterConsumer(IConsumerToken* pConsumerToken) override;
    HRESULT STDMETHODCALLTYPE Start() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    BOOL STDMETHODCALLTYPE IsRunning() override;
    HRESULT STDMETHODCALLTYPE GetNextSample(IConsumerToken* pConsumerToken, DWORD timeoutMs,
                                            IMediaSample** ppSample) override;
    HRESULT STDMETHODCALLTYPE GetNextSampleAfter(IConsumerToken* pConsumerToken,
                                                 REFERENCE_TIME time,
                                                 IMediaSample** ppSample) override;
    HRESULT STDMETHODCALLTYPE GetSampleAtOrBefore(IConsumerToken* pConsumerToken,
                                                  REFERENCE_TIME time,
                                                  IMediaSample** ppSample) override;
    HRESULT STDMETHODCALLTYPE GetKeptTimeRange(REFERENCE_TIME* pFirst,
                                               REFERENCE_TIME* pLast) override;
    HRESULT STDMETHODCALLTYPE SetLoopMode(BOOL loop, double seconds) override;
    HRESULT STDMETHODCALLTYPE GetLoopMode(BOOL* pLoop, double* pSeconds) override;
    HRESULT STDMETHODCALLTYPE GetStatistics(SampleMapStatistics* pStatistics) override;
    HRESULT STDMETHODCALLTYPE DrawStatistics(IStatisticsSurface* pSurface) override;
    HRESULT STDMETHODCALLTYPE Dump(int reportLevel) override;
    HRESULT STDMETHODCALLTYPE SetFixedMemory(BOOL fixedMemory) override;
    HRESULT STDMETHODCALLTYPE EnableIndexing(const AM_MEDIA_TYPE* pmt,
                                             BOOL useSampleMediaTimeAsPTS) override;
    HRESULT STDMETHODCALLTYPE GetMPEG2Indexer(qm_MPEGUtil::IMPEG2Indexer** ppMPEG2Indexer) override;
    HRESULT STDMETHODCALLTYPE
    GetSystemStreamType(qm_MPEGUtil::SystemStreamType* pSystemStreamType) override;

    // IDynamicSizeAllocator
    HRESULT STDMETHODCALLTYPE GetBufferOfSize(IMediaSample** ppBuffer, LONG size,
                                              DWORD timeoutMs) override;
    LONG STDMETHODCALLTYPE GetLargestSampleSize() override;

    // State for tests and diagnostics.
    LONG GetAllocatedCount();      // samples created
    uint64_t GetAllocatedBytes();  // bytes in memory blocks
    LONG GetWaitingCount();        // GetBuffer calls waiting for a sample
    uint32_t GetStreamKind();      // what the consumer sample map was told of the stream
    // The free samples, and the kept ones in store order with their start times, seen at one
    // moment.
    void GetSampleSets(std::vector<IMediaSample*>* pFree,
                       std::vector<std::pair<IMediaSample*, REFERENCE_TIME>>* pKept);

private:
    // Under the allocator lock.
    HRESULT ComputeChunkSize();
    HRESULT Validate();
    HRESULT ReleaseAllMemory();
    bool AreAllBuffersFree() const;
    bool IsDecommitComplete() const;
    bool GrowthAllowed(uint64_t size);
    HRESULT CreateSample(uint64_t sampleSize, QMMediaSample** ppSample);
    // Gives a free sample's memory back to its block and destroys the sample.
    HRESULT RetireSample(QMMediaSample* pSample);
    QMMediaSample* FindSample(IMediaSample* pSample) const;
    int64_t AlignedSize(int64_t size) const;
    // One attempt of GetBuffer for a sample of at least size bytes (S_FALSE: nothing now).
    HRESULT TryGetSample(int64_t size, bool mayRetire, QMMediaSample** ppSample);
    // The waiting loop of both GetBuffer forms.
    HRESULT WaitForSample(int64_t size, bool sized, DWORD timeoutMs, IMediaSample** ppBuffer);
    // Under the allocator lock, after a change that may let a waiter proceed.
    void WakeWaiters() {
        m_bufferAvailable.notify_all();
        m_sampleKept.notify_all();
    }
    HRESULT Lookup(IConsumerToken* pConsumerToken, ConsumerSampleMap::Lookup lookup,
                   REFERENCE_TIME time, IMediaSample** ppSample);

    CMediaType m_mt;
    // Waited on with the allocator lock; notified under it, so no wake-up falls between a
    // waiter's last look and its sleep.
    std::condition_variable_any m_bufferAvailable;
    // Consumers waiting for a sample to be kept (with the allocator lock, like GetBuffer).
    std::condition_variable_any m_sampleKept;
    LONG m_nbrOfBuffers = 0;
    LONG m_bufferSize = 0;
    LONG m_alignmentSize = 0;
    LONG m_prefixSize = 0;
    bool m_propertiesSet = false;
    bool m_propertiesChanged = false;
    bool m_bCommitted = false;
    bool m_decommitInProgress = false;
    MemoryBufferInfo m_memoryBufferInfo;
    std::vector<QMMediaSample*> m_samples;  // every sample created; m_lAllocated = its size
    CCritSec m_allocatorLock;
    bool m_running = false;
    uint32_t m_requiredNbrOfSamples = 0;
    uint64_t m_memoryLimit = 0;  // bytes; 0: none
    CCritSec m_limitLock;
    ConsumerSampleMap m_consumerSampleMap;
    IMemAllocatorNotifyCallbackTemp* m_pNotify = nullptr;
    bool m_fixedMemory = false;
    LONG m_waiting = 0;
};

// The allocator for a pin of type pmt, with one reference on *ppAllocator.
HRESULT CreateQMMemAllocator(const AM_MEDIA_TYPE* pmt, LPCTSTR name, IMemAllocator** ppAllocator);

}  // namespace qm_DSFilters
