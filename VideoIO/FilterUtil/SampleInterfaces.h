// The interfaces of the sample allocator and its media samples beyond the platform's: the
// allocator's control interface (IQMMemAllocatorBase / IQMMemAllocator), sized GetBuffer
// (IDynamicSizeAllocator), the sample's markers (IMediaSampleMarker), its identity
// (IQMMediaSample) and copying (ICopyMediaSample). The IIDs are fixed: other modules ask for
// them by value.
#pragma once

#include <cstdint>

#include "VideoIO/FilterUtil/ConsumerInterfaces.h"
#include "VideoIO/MPEGUtil/MPEG2Indexer.h"
#include "platform/dshow/BufferInterfaces.h"
#include "platform/dshow/Strmif.h"

QM_DEFINE_GUID(IID_IQMMemAllocatorBase, 0x069D00BD, 0xFF44, 0x45D5, 0xAA, 0x4C, 0xFA, 0xDF, 0x7B,
               0x7B, 0x70, 0x51);
QM_DEFINE_GUID(IID_IQMMemAllocator, 0xE2D64E7A, 0xC16C, 0x4933, 0x89, 0x16, 0xE2, 0x49, 0xBE, 0x86,
               0xAE, 0x08);
QM_DEFINE_GUID(IID_IDynamicSizeAllocator, 0xBE8E9257, 0x5ED2, 0x4576, 0xA9, 0xCD, 0x8E, 0x71, 0x41,
               0xDC, 0x53, 0x9B);
QM_DEFINE_GUID(IID_IMediaSampleMarker, 0x6BBB47FC, 0x76DF, 0x4CCD, 0xBD, 0xA3, 0xDB, 0xBF, 0x9F,
               0xCE, 0xAE, 0xFF);
QM_DEFINE_GUID(IID_IQMMediaSample, 0xC12CDC78, 0xADA8, 0x4E62, 0xBD, 0xEA, 0xC3, 0x7F, 0x78, 0x4E,
               0x11, 0x2A);
QM_DEFINE_GUID(IID_ICopyMediaSample, 0xDF7AC040, 0x53A9, 0x4933, 0x97, 0x37, 0x0D, 0xD3, 0x13, 0x90,
               0xF8, 0x07);

// The allocator's control operations that do not involve consumers.
struct IQMMemAllocatorBase : IUnknown {
    // Committed (GetBuffer may hand out samples).
    virtual BOOL STDMETHODCALLTYPE IsCommitted() = 0;
    // True when pmt's major type or subtype differ from the allocator's type (ADTS and raw AAC
    // count as the same). Without a valid own type nothing differs.
    virtual BOOL STDMETHODCALLTYPE IsMediaTypeDifferent(const AM_MEDIA_TYPE* pmt) = 0;
    // Takes over a new type with the same major type and subtype (VFW_E_TYPE_NOT_ACCEPTED
    // otherwise; ADTS AAC may become raw AAC). Uncompressed video and PCM types resize the
    // samples to the new sample size.
    virtual HRESULT STDMETHODCALLTYPE SetNewMediaType(const AM_MEDIA_TYPE* pmt) = 0;
    // A copy of the allocator's type into *pmt (which the caller frees with FreeMediaType).
    virtual HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE* pmt) = 0;
    // Overrides cBuffers as the sample-count limit when non-zero; only while decommitted.
    virtual HRESULT STDMETHODCALLTYPE SetRequiredNbrOfSamples(uint32_t nbrOfSamples) = 0;
    // The total the memory blocks may reach, in megabytes of 1 000 000 bytes (0: no ceiling).
    // S_FALSE when more is allocated already.
    virtual HRESULT STDMETHODCALLTYPE SetMemoryLimit(double megabytes) = 0;
    virtual double STDMETHODCALLTYPE GetMemoryLimit() = 0;
    // Bytes in memory blocks, in megabytes.
    virtual double STDMETHODCALLTYPE GetAllocatedMemory() = 0;
    // A sample of size bytes fits in a block, or a new block may be added for it.
    virtual BOOL STDMETHODCALLTYPE CanAllocateNewMemoryBuffer(int32_t size) = 0;
};

// The full control interface: the consumer operations act on the allocator's time-ordered
// store of kept samples (see ConsumerSampleMap).
struct IQMMemAllocator : IQMMemAllocatorBase {
    // A new consumer, with a reference on its token; it reads from the newest kept sample on.
    virtual HRESULT STDMETHODCALLTYPE RegisterConsumer(IConsumerToken** ppConsumerToken) = 0;
    // The consumer holds no sample back any more (the samples it holds stay valid).
    virtual HRESULT STDMETHODCALLTYPE UnregisterConsumer(IConsumerToken* pConsumerToken) = 0;
    // The running flag; released samples are kept only while running.
    virtual HRESULT STDMETHODCALLTYPE Start() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual BOOL STDMETHODCALLTYPE IsRunning() = 0;
    // Lookups by time. Each gives the sample found with a reference and makes it the
    // consumer's position; QM_E_NO_SAMPLE when none answers. A stopped token is refused.
    // The next kept sample after the consumer's position, waiting up to timeoutMs for one;
    // QM_S_SAMPLES_SKIPPED when samples it had not read were dropped meanwhile.
    virtual HRESULT STDMETHODCALLTYPE GetNextSample(IConsumerToken* pConsumerToken, DWORD timeoutMs,
                                                    IMediaSample** ppSample) = 0;
    // The first kept sample that starts after time.
    virtual HRESULT STDMETHODCALLTYPE GetNextSampleAfter(IConsumerToken* pConsumerToken,
                                                         REFERENCE_TIME time,
                                                         IMediaSample** ppSample) = 0;
    // The last kept sample that starts at or before time.
    virtual HRESULT STDMETHODCALLTYPE GetSampleAtOrBefore(IConsumerToken* pConsumerToken,
                                                          REFERENCE_TIME time,
                                                          IMediaSample** ppSample) = 0;
    // Start times of the oldest and newest kept samples.
    virtual HRESULT STDMETHODCALLTYPE GetKeptTimeRange(REFERENCE_TIME* pFirst,
                                                       REFERENCE_TIME* pLast) = 0;
    // Loop mode keeps the last `seconds` of media time whatever the consumers read.
    virtual HRESULT STDMETHODCALLTYPE SetLoopMode(BOOL loop, double seconds) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLoopMode(BOOL* pLoop, double* pSeconds) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStatistics(SampleMapStatistics* pStatistics) = 0;
    // The statistics as text: a summary line, then one line per consumer.
    virtual HRESULT STDMETHODCALLTYPE DrawStatistics(IStatisticsSurface* pSurface) = 0;
    // Reports the allocator's state when the report level is at least reportLevel.
    virtual HRESULT STDMETHODCALLTYPE Dump(int reportLevel) = 0;
    // With the flag set, the allocator stops growing by sample count once it has a block.
    virtual HRESULT STDMETHODCALLTYPE SetFixedMemory(BOOL fixedMemory) = 0;
    // Indexing of the kept samples by the indexer of qm_MPEGSystemFilters, for a media type
    // (other types: S_OK, indexing stays off). A library or export that is missing is
    // reported and returned; decoding does not depend on it.
    virtual HRESULT STDMETHODCALLTYPE EnableIndexing(const AM_MEDIA_TYPE* pmt,
                                                     BOOL useSampleMediaTimeAsPTS) = 0;
    // The indexer, with a reference (E_UNEXPECTED when none was created).
    virtual HRESULT STDMETHODCALLTYPE
    GetMPEG2Indexer(qm_MPEGUtil::IMPEG2Indexer** ppMPEG2Indexer) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetSystemStreamType(qm_MPEGUtil::SystemStreamType* pSystemStreamType) = 0;
};

// Samples of a size other than the negotiated one.
struct IDynamicSizeAllocator : IUnknown {
    // Like GetBuffer for a sample of at least size bytes. Waits at most timeoutMs (INFINITE:
    // no limit, 0: not at all) for memory, then VFW_E_TIMEOUT. Free samples that are too
    // small give their memory back to make room.
    virtual HRESULT STDMETHODCALLTYPE GetBufferOfSize(IMediaSample** ppBuffer, LONG size,
                                                      DWORD timeoutMs) = 0;
    // The largest buffer size of the samples created so far (0 without samples).
    virtual LONG STDMETHODCALLTYPE GetLargestSampleSize() = 0;
};

// Values that producers and consumers attach to a sample; the sample never interprets them.
struct IMediaSampleMarker : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetMarkerValue(uint32_t value) = 0;
    virtual uint32_t STDMETHODCALLTYPE GetMarkerValue() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMarkerTime1(REFERENCE_TIME time) = 0;
    virtual REFERENCE_TIME STDMETHODCALLTYPE GetMarkerTime1() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMarkerTime2(REFERENCE_TIME time) = 0;
    virtual REFERENCE_TIME STDMETHODCALLTYPE GetMarkerTime2() = 0;
};

// Identifies a sample of the sample allocator.
struct IQMMediaSample : IUnknown {};

struct ICopyMediaSample : IUnknown {
    // Data, length, times, media times, flags and media type into pMediaSample; markers and
    // buffer properties as well when it is one of ours.
    virtual HRESULT STDMETHODCALLTYPE CopyTo(IMediaSample* pMediaSample) = 0;
    // The bytes and length of pNSSBuffer into this sample, with the buffer properties it has.
    virtual HRESULT STDMETHODCALLTYPE CopyFrom(INSSBuffer* pNSSBuffer) = 0;
};
