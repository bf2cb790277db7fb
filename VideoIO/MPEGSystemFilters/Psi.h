// Program specific information of transport streams: section reassembly from packet payloads,
// the section CRC, and the program association and program map tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "VideoIO/MPEGSystemFilters/SystemStream.h"

namespace qm_MPEGSystemFilters {

// CRC-32 of ISO/IEC 13818-1 (polynomial 0x04C11DB7, MSB first, initial all ones, no final
// inversion). A section with its CRC included gives 0.
uint32_t Crc32Mpeg(const uint8_t* data, size_t size);

// Collects sections from the payloads of one PID and hands each complete section whose CRC is
// right to `onSection`.
class SectionAssembler {
public:
    using Handler = std::function<void(const uint8_t* section, size_t size)>;
    explicit SectionAssembler(Handler onSection) : m_onSection(std::move(onSection)) {}
    void Payload(const uint8_t* p, size_t size, bool unitStart);
    // After lost packets: drop a partly collected section.
    void Discard() { m_partial.clear(); }
    uint64_t BadSections() const { return m_badSections; }

private:
    // Consumes sections from the front of `p`; returns where an incomplete one starts.
    size_t Sections(const uint8_t* p, size_t size);
    void Deliver(const uint8_t* section, size_t size);

    Handler m_onSection;
    std::vector<uint8_t> m_partial;
    uint64_t m_badSections = 0;
};

struct PatEntry {
    uint16_t programNumber;
    uint16_t pmtPid;
};

struct PmtStream {
    uint8_t streamType;
    uint16_t pid;
    StreamCoding coding;
};

struct SectionHeader {
    uint8_t tableId;
    uint16_t tableIdExtension;
    uint8_t version;
    bool currentNext;
};

// Blu-ray LPCM: each PES payload starts with a 4-byte header (payload size, channel layout and
// rate, sample size) in front of big-endian samples.
constexpr uint8_t kHdmvLpcmStreamType = 0x80;
// The format of such a header. Only 16-bit stereo has the byte layout of DVD LPCM samples;
// other layouts (odd channel counts padded, 24-bit samples packed) are left untyped.
bool DecodeHdmvLpcmHeader(const uint8_t* header, size_t size, StreamInfo* info);

// Parse a whole section (CRC already checked). False when malformed.
bool ParseSectionHeader(const uint8_t* s, size_t size, SectionHeader* header);
bool ParsePat(const uint8_t* s, size_t size, std::vector<PatEntry>* programs);
// A PID named twice keeps its first entry.
bool ParsePmt(const uint8_t* s, size_t size, std::vector<PmtStream>* streams);

}  // namespace qm_MPEGSystemFilters
