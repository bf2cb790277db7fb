// PES packet headers of MPEG-1 system streams and MPEG-2 program and transport streams.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm_MPEGSystemFilters {

struct PesHeader {
    uint8_t streamId = 0;
    size_t payloadOffset = 0;  // from the first byte of the start code
    int64_t pts = -1, dts = -1;
};

// Stream ids whose packets have no header extension after the length field.
bool PesHasNoHeaderFields(uint8_t streamId);

// Parses the header of a packet starting with 00 00 01 id; `size` bytes are available (the
// header must lie within them). False when it is malformed or cut.
bool ParsePesHeader(const uint8_t* p, size_t size, PesHeader* header);

// A 33-bit time stamp from the 5-byte form with marker bits.
int64_t ReadTimestamp(const uint8_t* p);

// Extends 33-bit time stamps to a continuous 64-bit count across wraps.
class TimestampUnwrapper {
public:
    int64_t Unwrap(int64_t ts33);
    void Reset() { m_last = -1; }

private:
    int64_t m_last = -1;
};

}  // namespace qm_MPEGSystemFilters
