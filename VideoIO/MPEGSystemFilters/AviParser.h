// AVI (RIFF AVI with the OpenDML extension: AVIX parts beyond the first gigabyte) read front to
// back: stream headers and formats from hdrl, then the data chunks of every movi list in file
// order. Indexes (idx1, indx, ix##) are skipped, never followed, so that an index pointing past
// the file or into a loop cannot mislead the parser. Time stamps come from each stream's rate
// and scale: frames for video, samples (or chunks, for variable-rate audio) for audio. MPEG-4
// chunks that pack a B-VOP behind a P-VOP (DivX "packed bitstream") are split into one unit per
// VOP; the not-coded placeholder VOP that follows such a chunk is dropped.
#pragma once

#include <string>
#include <vector>

#include "VideoIO/MPEGSystemFilters/ByteQueue.h"
#include "VideoIO/MPEGSystemFilters/SystemStream.h"

namespace qm_MPEGSystemFilters {

class AviParser : public SystemStreamParser {
public:
    explicit AviParser(IAccessUnitSink* sink);
    void Feed(const uint8_t* data, size_t size) override;
    void Finish() override;
    void Reset() override;

    // Chunks bigger than this are skipped as damaged.
    static constexpr uint32_t kMaxChunk = 32u << 20;

private:
    struct Stream {
        StreamInfo info;
        bool video = false;
        uint32_t scale = 1, rate = 0, sampleSize = 0, start = 0;
        uint16_t blockAlign = 0;
        uint64_t frames = 0;           // video frames or audio chunks so far
        uint64_t bytes = 0;            // audio bytes so far
        std::vector<uint8_t> heldVop;  // a packed B-VOP waiting for its frame slot
        bool announced = false;
    };
    bool ParseOne(bool final);
    void OnStreamHeader(const uint8_t* p, size_t size);
    void OnStreamFormat(const uint8_t* p, size_t size);
    void OnDataChunk(uint32_t id, const uint8_t* p, size_t size, uint64_t offset);
    void EmitVideo(Stream& s, const uint8_t* p, size_t size, uint64_t offset);
    int64_t FrameTime(const Stream& s, uint64_t frame) const;

    ByteQueue m_queue;
    uint64_t m_skip = 0;  // bytes of a skipped chunk still to come
    std::vector<Stream> m_streams;
    bool m_sawRiff = false;
};

}  // namespace qm_MPEGSystemFilters
