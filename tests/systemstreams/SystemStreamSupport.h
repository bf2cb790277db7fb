// What the system-stream tests share: a sink that records what a parser gives out, feeding in
// seeded random pieces, and what the fixture scripts recorded about the container and indexer
// fixtures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
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
    std::map<uint32_t, qm_MPEGSystemFilters::StreamCoding> Codings() const;
};

// Feeds `data` in pieces of 1 to `maxPiece` bytes (seeded), then finishes.
void FeedInPieces(qm_MPEGSystemFilters::SystemStreamParser& parser,
                  const std::vector<uint8_t>& data, uint64_t seed, int maxPiece);

// zlib's CRC-32, the one the fixture script records.
uint32_t Crc32(const std::vector<uint8_t>& data);

// Per stream of a container fixture: its codec, the size and CRC-32 of ffmpeg's copy of it, and
// ffprobe's packet times in 90 kHz ticks (-1 for a packet without one).
struct ExpectedStream {
    int index = 0;
    std::string codec;
    bool IsVideo() const { return codec.find("video") != std::string::npos || codec == "mpeg4"; }
    size_t size = 0;
    uint32_t crc = 0;
    std::vector<int64_t> pts;
};

std::filesystem::path ContainerDir();
// `name` without extension ("dvd").
std::vector<ExpectedStream> ReadExpected(const std::string& name);
// The time the demultiplexer counts from: the earliest first packet time of any stream.
int64_t TimeBase(const std::vector<ExpectedStream>& streams);
// 90 kHz ticks to 100-ns units, rounded to nearest.
int64_t ToReferenceTime(int64_t ticks);

// ffprobe's packets of an elementary stream of tests/fixtures/indexer.
struct ProbePacket {
    uint64_t pos = 0;
    uint32_t size = 0;
    int64_t pts = -1;  // in the time base; -1 where ffprobe gives none
    bool key = false;
};
struct ProbePackets {
    int64_t timeBaseNum = 1, timeBaseDen = 1;
    std::vector<ProbePacket> packets;
};

std::filesystem::path IndexerFixtureDir();
// NAME.packets: the time base, then "pos size pts flags" per packet.
ProbePackets ReadProbePackets(const std::string& name);

}  // namespace qm::test
