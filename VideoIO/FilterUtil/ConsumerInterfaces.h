// The interfaces through which readers of the sample allocator's time-ordered store take part:
// the consumer token they hold (IConsumerToken, with IConsumerTokenPrivate to follow their
// state), the store's mode bits and sorting methods (IBufferSink), the results of the lookups,
// the statistics record and the surface the statistics overlay is drawn on. The IIDs are fixed:
// other modules ask for them by value.
#pragma once

#include <cstdint>

#include "platform/dshow/Strmif.h"

QM_DEFINE_GUID(IID_IConsumerToken, 0xA47C0368, 0xB3DC, 0x4044, 0xA5, 0xE7, 0x69, 0x79, 0x63, 0x2A,
               0x75, 0x3F);
QM_DEFINE_GUID(IID_IConsumerTokenPrivate, 0x844C0DB2, 0xFE95, 0x4521, 0xA6, 0x8B, 0x2B, 0x53, 0xAC,
               0x8A, 0x07, 0x21);

// What a registered consumer holds; the allocator knows the consumer by it.
struct IConsumerToken : IUnknown {
    virtual LONG STDMETHODCALLTYPE GetConsumerNumber() = 0;
    // State_Stopped: the consumer holds no sample back and may not read.
    virtual FILTER_STATE STDMETHODCALLTYPE GetState() = 0;
};

// The consumer's side of the token: it tells the allocator its state.
struct IConsumerTokenPrivate : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetState(FILTER_STATE state) = 0;
};

// The store's order and mode bits.
struct IBufferSink {
    enum SortingMethod : int32_t { SortSamplesByTime = 0, SortSamplesByArrival = 1 };
    enum MapMode : uint32_t {
        // Keep the last stretch of media time whatever the consumers have read: a live
        // pause-and-rewind buffer.
        LoopMode = 0x1,
    };
};

// A lookup found a sample, but the consumer missed samples since its last read (they were
// reclaimed, or dropped while it was stopped or out of the loop window).
inline constexpr HRESULT QM_S_SAMPLES_SKIPPED = (HRESULT)0x00040720L;
// No kept sample answers the lookup (yet).
inline constexpr HRESULT QM_E_NO_SAMPLE = (HRESULT)0x80040721L;

struct SampleMapStatistics {
    uint64_t keptBytes = 0;       // data bytes of the kept samples
    uint64_t allocatedBytes = 0;  // bytes in the allocator's memory blocks
    int32_t keptCount = 0;
    int32_t inUseCount = 0;  // kept samples a consumer holds
    int32_t freeCount = 0;
    int32_t consumerCount = 0;
    double rate = 0;  // kept samples per second of media time (0 below two samples)
    REFERENCE_TIME firstTime = -1, lastTime = -1;  // of the kept samples
    uint64_t keptTotal = 0;                        // samples ever kept
    uint64_t reclaimedTotal = 0;                   // kept samples taken for new data
};

// Where the statistics overlay draws its text: one call per line, top to bottom (UTF-8).
class IStatisticsSurface {
public:
    virtual void DrawTextLine(int line, const char* text) = 0;

protected:
    ~IStatisticsSurface() = default;
};
