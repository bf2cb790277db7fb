// Hand-built system-stream pieces: PES packets, TS packets and PSI sections, program stream
// packs. Tests use them to make exactly the damage they need.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace qm::test {

using Bytes = std::vector<uint8_t>;

// A PES packet of the MPEG-2 form.
Bytes Pes(uint8_t streamId, const Bytes& payload, int64_t pts = -1, int64_t dts = -1);

// TS packets of `pid` carrying `data`, the first with the unit-start flag; the last is padded
// with adaptation-field stuffing. `cc` is advanced.
Bytes TsPackets(uint16_t pid, const Bytes& data, int& cc);
// PAT naming one PMT; PMT listing (stream_type, pid) pairs, each with `descriptors`.
Bytes Pat(uint16_t pmtPid);
struct PmtEntry {
    uint8_t type;
    uint16_t pid;
    Bytes descriptors;
};
Bytes Pmt(const std::vector<PmtEntry>& entries, uint8_t version = 0);
// A section in one TS packet (pointer field 0).
Bytes PsiPacket(uint16_t pid, const Bytes& section, int& cc);

// An MPEG-2 pack header (14 bytes, no stuffing).
Bytes PackHeader();

void Append(Bytes& to, const Bytes& more);
Bytes Join(std::initializer_list<Bytes> parts);

}  // namespace qm::test
