// Records what a parser gives out, and feeds it files in seeded random piece sizes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

#include "VideoIO/MPEGSystemFilters/SystemStream.h"
#include "tests/support/Paths.h"

namespace qm::test {

struct CollectedUnit {
    uint32_t key;
    std::vector<uint8_t> bytes;
    int64_t pts, dts;
    bool damaged;
};

class Collector : public qm_MPEGSystemFilters::IAccessUnitSink {
public:
    void OnStream(const qm_MPEGSystemFilters::StreamInfo& s) override;
    void OnAccessUnit(const qm_MPEGSystemFilters::AccessUnit& u) override;

    // Streams in the order they were first announced, and their latest description.
    std::vector<uint32_t> order;
    std::map<uint32_t, qm_MPEGSystemFilters::StreamInfo> streams;
    std::vector<CollectedUnit> units;

    std::vector<uint8_t> Bytes(uint32_t key) const;
    std::vector<int64_t> Pts(uint32_t key) const;
};

// Feeds `data` in pieces of 1 to `maxPiece` bytes (seeded), then finishes.
void FeedInPieces(qm_MPEGSystemFilters::SystemStreamParser& parser,
                  const std::vector<uint8_t>& data, uint64_t seed, int maxPiece);

// zlib's CRC-32, the one the fixture script records.
uint32_t Crc32(const std::vector<uint8_t>& data);

}  // namespace qm::test
