// Cuts an MPEG-1/2 video elementary stream, arriving in PES payloads of any size, into access
// units: one coded picture each, with the sequence and GOP headers in front of it. A PES time
// stamp belongs to the first picture whose start code begins in that packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace qm_MPEGSystemFilters {

class MpegVideoFramer {
public:
    struct Unit {
        const uint8_t* data;
        size_t size;
        int64_t pts, dts;     // dts -1 when absent
        bool sequenceHeader;  // starts with a sequence header: a point to start decoding
        // The picture had no time stamp of its own: pts comes from the last stamped picture of
        // its group and the temporal references (-1 when there is none to go from).
        bool interpolated;
    };
    using Handler = std::function<void(const Unit&)>;

    explicit MpegVideoFramer(Handler onUnit) : m_onUnit(std::move(onUnit)) {}
    // One PES payload with its time stamps (-1 when absent).
    void Push(const uint8_t* data, size_t size, int64_t pts, int64_t dts);
    // End of stream: the last unit goes out.
    void Flush();
    // Lost data: the unit in progress is dropped and bytes are skipped up to the next header.
    void Reset();
    uint64_t SkippedBytes() const { return m_skipped; }

    // Units larger than this are given up (a stream without picture start codes).
    static constexpr size_t kMaxUnit = 16u << 20;

private:
    void Scan();
    void Cut(size_t end);

    Handler m_onUnit;
    std::vector<uint8_t> m_bytes;  // the unit in progress and what follows it
    size_t m_scanned = 0;          // start codes before this offset have been looked at
    bool m_synced = false;         // m_bytes starts at a unit boundary
    bool m_inPicture = false;      // a picture start code was seen in the current unit
    size_t m_pictureAt = 0;        // offset of that picture start code
    uint64_t m_base = 0;           // stream offset of m_bytes[0]
    struct Stamp {
        uint64_t offset;
        int64_t pts, dts;
    };
    std::deque<Stamp> m_stamps;  // PES starts with time stamps, not yet given to a picture
    int64_t m_unitPts = -1, m_unitDts = -1;
    uint64_t m_skipped = 0;
    // Time stamps for pictures without one.
    int64_t m_period = 3600;   // 90 kHz ticks per frame, from the sequence header
    int m_unitTr = -1;         // temporal reference of the picture in progress
    int64_t m_anchorPts = -1;  // last stamped picture of the current group
    int m_anchorTr = 0;
    int m_groupMaxTr = -1;
};

}  // namespace qm_MPEGSystemFilters
