#include "tests/systemstreams/Collector.h"

#include "tests/support/Random.h"

namespace qm::test {

using namespace qm_MPEGSystemFilters;

void Collector::OnStream(const StreamInfo& s) {
    if (!streams.count(s.key)) order.push_back(s.key);
    streams[s.key] = s;
}

void Collector::OnAccessUnit(const AccessUnit& u) {
    units.push_back(
        {u.key, std::vector<uint8_t>(u.data, u.data + u.size), u.pts, u.dts, u.damaged});
}

std::vector<uint8_t> Collector::Bytes(uint32_t key) const {
    std::vector<uint8_t> all;
    for (const CollectedUnit& u : units)
        if (u.key == key) all.insert(all.end(), u.bytes.begin(), u.bytes.end());
    return all;
}

std::vector<int64_t> Collector::Pts(uint32_t key) const {
    std::vector<int64_t> all;
    for (const CollectedUnit& u : units)
        if (u.key == key && u.pts >= 0) all.push_back(u.pts);
    return all;
}

void FeedInPieces(SystemStreamParser& parser, const std::vector<uint8_t>& data, uint64_t seed,
                  int maxPiece) {
    Rng rng(seed);
    for (size_t at = 0; at < data.size();) {
        const size_t n = std::min(data.size() - at, size_t(rng.Int(1, maxPiece)));
        parser.Feed(data.data() + at, n);
        at += n;
    }
    parser.Finish();
}

uint32_t Crc32(const std::vector<uint8_t>& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

}  // namespace qm::test
