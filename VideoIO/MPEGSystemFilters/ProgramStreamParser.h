// MPEG-1 system streams, MPEG-2 program streams and DVD VOBs: packs, system headers, the
// program stream map, PES packets, and the DVD sub-streams of private stream 1 (AC-3, LPCM,
// DTS, subpictures). Padding and navigation packets are skipped.
#pragma once

#include <array>
#include <map>

#include "VideoIO/MPEGSystemFilters/ByteQueue.h"
#include "VideoIO/MPEGSystemFilters/SystemStream.h"

namespace qm_MPEGSystemFilters {

class ProgramStreamParser : public QueuedParser {
public:
    explicit ProgramStreamParser(IAccessUnitSink* sink);
    void Reset() override;

    // True once a pack header of the MPEG-1 system form has been seen.
    bool IsMpeg1System() const { return m_mpeg1Packs > 0 && m_mpeg2Packs == 0; }

private:
    bool ParseOne(bool final) override;
    void OnPesPacket(const uint8_t* p, size_t size, uint64_t offset, bool damaged);
    void OnProgramStreamMap(const uint8_t* p, size_t size);
    void OnPrivateStream1(const uint8_t* payload, size_t size, const AccessUnit& unit);
    void Announce(const StreamInfo& info);

    std::array<uint8_t, 256> m_psmType{};  // stream_type by stream id, 0 = not in the map
    std::map<uint32_t, StreamInfo> m_streams;
    uint64_t m_mpeg1Packs = 0, m_mpeg2Packs = 0;
};

// The DVD LPCM frame header byte with sample size, rate and channel count; false when it names
// a reserved value.
bool DecodeDvdLpcmFormat(uint8_t format, StreamInfo* info);

}  // namespace qm_MPEGSystemFilters
