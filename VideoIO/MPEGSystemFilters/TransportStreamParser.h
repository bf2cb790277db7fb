// MPEG-2 transport streams of 188-byte packets, or 192-byte packets with a 4-byte prefix:
// synchronisation and resynchronisation, PAT and PMT (with version changes), PES reassembly
// across packets, continuity checks. A unit that lost bytes is given out marked damaged, never
// joined to bytes of another unit.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "VideoIO/MPEGSystemFilters/ByteQueue.h"
#include "VideoIO/MPEGSystemFilters/Psi.h"

namespace qm_MPEGSystemFilters {

class TransportStreamParser : public QueuedParser {
public:
    explicit TransportStreamParser(IAccessUnitSink* sink);
    ~TransportStreamParser() override;
    void Reset() override;

    size_t PacketSize() const { return m_packetSize; }
    uint64_t SyncLosses() const { return m_syncLosses; }
    uint64_t ContinuityErrors() const { return m_ccErrors; }

    // The largest PES packet collected before it is given up (damaged).
    static constexpr size_t kMaxPes = 16u << 20;

private:
    struct Pes;
    bool ParseOne(bool final) override;
    void OnFinished() override;
    bool FindSync(bool final);
    void OnPacket(const uint8_t* p, uint64_t offset);
    void OnSection(uint16_t pid, const uint8_t* s, size_t size);
    void EndPes(Pes& pes, bool cutShort);
    void MarkAllDamaged();

    size_t m_packetSize = 0;  // 0 until synchronised
    size_t m_prefix = 0;
    bool m_synced = false;
    uint64_t m_syncLosses = 0, m_ccErrors = 0;
    std::map<uint16_t, std::unique_ptr<SectionAssembler>> m_psi;  // PAT and PMT PIDs
    std::map<uint16_t, int> m_pmtVersion;                         // by PMT PID
    std::map<uint16_t, std::unique_ptr<Pes>> m_pes;               // by elementary PID
    std::map<uint16_t, int> m_lastCc;
};

}  // namespace qm_MPEGSystemFilters
