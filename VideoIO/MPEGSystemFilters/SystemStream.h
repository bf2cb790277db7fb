// What every container parser gives its consumer: the elementary streams it finds and their
// access units (one per PES payload, AVI chunk or VOP), with 90 kHz time stamps. Parsers take
// bytes in pieces of any size and call the sink synchronously from Feed and Finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qm_MPEGSystemFilters {

enum class StreamCoding {
    Unknown,
    MpegVideo,   // MPEG-1 or MPEG-2 video: the sequence header tells which
    Mpeg4Video,  // MPEG-4 Part 2
    H264,
    MpegAudio,  // layers I to III
    Ac3,
    Lpcm,  // DVD linear PCM, big-endian samples without the DVD frame header
    Pcm,   // little-endian PCM (AVI)
    Aac,
    Dts,
    Subpicture,
};

const char* StreamCodingName(StreamCoding coding);
// The coding an MPEG-2 stream_type names (program stream map and PMT); `fallback` for the
// others, among them 0x06 (private data), whose descriptors tell.
StreamCoding CodingFromStreamType(uint8_t streamType, StreamCoding fallback);
bool IsVideoCoding(StreamCoding coding);
bool IsAudioCoding(StreamCoding coding);

struct StreamInfo {
    // Program/VOB streams: stream id << 8 | sub-stream id; transport streams: the PID; AVI: the
    // stream number.
    uint32_t key = 0;
    StreamCoding coding = StreamCoding::Unknown;
    uint32_t containerType = 0;  // TS/PSM stream_type, or the AVI handler FOURCC
    // Audio parameters when the container carries them (LPCM, AVI).
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint16_t bitsPerSample = 0;
    uint16_t formatTag = 0;  // AVI audio
    // AVI video.
    int32_t width = 0, height = 0;
    int64_t frameDuration = 0;  // 100-ns units, 0 when unknown
};

constexpr int64_t kNoTimestamp = -1;

struct AccessUnit {
    uint32_t key = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
    int64_t pts = kNoTimestamp;  // 90 kHz; 33 bits for MPEG containers
    int64_t dts = kNoTimestamp;
    bool damaged = false;     // bytes were lost or corrupted inside or just before this unit
    bool syncPoint = false;   // AVI key frame; MPEG: unknown (false)
    uint64_t fileOffset = 0;  // of the packet that starts the unit
};

class IAccessUnitSink {
public:
    virtual ~IAccessUnitSink() = default;
    // A stream was found or its parameters changed (an LPCM header, a new PMT).
    virtual void OnStream(const StreamInfo& stream) = 0;
    virtual void OnAccessUnit(const AccessUnit& unit) = 0;
};

struct ParserStats {
    uint64_t bytesIn = 0;
    uint64_t bytesSkipped = 0;  // outside any recognised structure (lost sync, garbage)
    uint64_t damagedUnits = 0;
    uint64_t droppedUnits = 0;  // unusable: no start seen, header cut or invalid
};

class ByteQueue;

class SystemStreamParser {
public:
    explicit SystemStreamParser(IAccessUnitSink* sink) : m_sink(sink) {}
    virtual ~SystemStreamParser() = default;
    SystemStreamParser(const SystemStreamParser&) = delete;
    SystemStreamParser& operator=(const SystemStreamParser&) = delete;

    virtual void Feed(const uint8_t* data, size_t size) = 0;
    // End of input: what is pending is given out (marked damaged when it is cut short).
    virtual void Finish() = 0;
    // Forget everything buffered (after a seek); streams stay known.
    virtual void Reset() = 0;
    const ParserStats& Stats() const { return m_stats; }

protected:
    void Emit(AccessUnit& unit) {
        if (unit.damaged) ++m_stats.damagedUnits;
        m_sink->OnAccessUnit(unit);
    }
    IAccessUnitSink* m_sink;
    ParserStats m_stats;
};

// A parser that keeps the unparsed tail of its input in a queue and takes one structure at a
// time from its front.
class QueuedParser : public SystemStreamParser {
public:
    explicit QueuedParser(IAccessUnitSink* sink);
    ~QueuedParser() override;
    void Feed(const uint8_t* data, size_t size) override;
    // Parses what is left; what no structure takes counts as skipped.
    void Finish() override;

protected:
    // One structure from the front of the queue; false when more bytes are needed (or, when
    // `final`, when nothing more can be parsed).
    virtual bool ParseOne(bool final) = 0;
    // After the last structure at the end of input.
    virtual void OnFinished() {}
    ByteQueue& Queue() { return *m_queue; }

private:
    std::unique_ptr<ByteQueue> m_queue;
};

}  // namespace qm_MPEGSystemFilters
