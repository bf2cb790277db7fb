// The indexer of the sibling library qm_MPEGSystemFilters as both sides see it: the sample
// allocator creates it through the library's export CreateMPEG2IndexerForBuffer, feeds it the
// data of its kept samples in time order and asks what it found. Standard C++ only, so that
// the library needs nothing of the filter side.
#pragma once

#include <cstdint>

namespace qm_MPEGUtil {

// What the indexer recognised in the data it was fed.
enum SystemStreamType : int32_t {
    UNKNOWN_STREAM = 0,
    MPEG1_SYSTEM_STREAM = 1,
    MPEG2_PROGRAM_STREAM = 2,
    MPEG2_TRANSPORT_STREAM = 3,
    H264_PURE_VIDEO_STREAM = 4,
    AAC_PURE_AUDIO_STREAM = 5,       // raw AAC frames, one per sample
    ADTS_AAC_PURE_AUDIO_STREAM = 6,  // AAC frames with ADTS headers
};

// The stream-kind words that say what the buffers hold.
enum StreamKind : uint32_t {
    H264_STREAM_KIND = 0x10000,
    RAW_AAC_STREAM_KIND = 0x1000000,
    ADTS_AAC_STREAM_KIND = 0x4000000,
};

// Results (HRESULT values).
inline constexpr int32_t kIndexerOk = 0;
// Fed, but no access unit was completed by it.
inline constexpr int32_t kIndexerNoUnit = int32_t(0x80040700u);
inline constexpr int32_t kIndexerInvalidArg = int32_t(0x80070057u);
inline constexpr int32_t kIndexerNotImplemented = int32_t(0x80004001u);
inline constexpr int32_t kIndexerOutOfMemory = int32_t(0x8007000Eu);
inline constexpr int32_t kIndexerPointer = int32_t(0x80004003u);

inline constexpr int64_t kIndexerNoTime = -1;

// One sample's bytes within a fed buffer, with its times (100-ns units, kIndexerNoTime when
// the sample has none).
struct IndexedSample {
    uint32_t offset = 0;
    uint32_t length = 0;
    int64_t start = kIndexerNoTime;
    int64_t stop = kIndexerNoTime;
};

// One access unit found.
struct IndexEntry {
    uint64_t position = 0;  // bytes from the start of everything fed
    uint32_t size = 0;
    int64_t time = kIndexerNoTime;  // 100-ns units
    bool keyFrame = false;          // H.264: holds an IDR picture; AAC: every frame
};

class IMPEG2Indexer {
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    // The next piece of the stream: `count` samples laid end to end in data[0, size).
    // kIndexerOk when it completed at least one access unit, kIndexerNoUnit when not.
    virtual int32_t IndexBuffer(const uint8_t* data, uint32_t size, const IndexedSample* samples,
                                uint32_t count) = 0;
    // End of the stream: what is pending becomes the last unit.
    virtual int32_t Finish() = 0;
    // The stream turned into another kind (ADTS AAC into raw AAC).
    virtual void SetStreamKind(uint32_t streamKind) = 0;
    virtual SystemStreamType GetSystemStreamType() const = 0;
    virtual uint32_t GetEntryCount() const = 0;
    virtual bool GetEntry(uint32_t index, IndexEntry* entry) const = 0;

protected:
    ~IMPEG2Indexer() = default;
};

// The export: (stream-kind word, media type (AM_MEDIA_TYPE*, may be ignored), use the
// samples' media times as presentation times, out indexer with one reference).
using CreateMPEG2IndexerForBufferFn = int32_t (*)(uint32_t streamKind, const void* pMediaType,
                                                  int32_t useSampleMediaTimeAsPTS,
                                                  IMPEG2Indexer** ppIndexer);

}  // namespace qm_MPEGUtil
