#include "tests/systemstreams/SystemStreamSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

std::map<uint32_t, StreamCoding> Collector::Codings() const {
    std::map<uint32_t, StreamCoding> all;
    for (const auto& [key, info] : streams) all[key] = info.coding;
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

std::filesystem::path ContainerDir() {
    return FixtureDir() / "containers";
}

std::vector<ExpectedStream> ReadExpected(const std::string& name) {
    std::vector<ExpectedStream> all;
    std::ifstream streams(ContainerDir() / (name + ".streams"));
    ExpectedStream e;
    std::string timeBase;
    while (streams >> e.index >> e.codec >> timeBase) {
        // Packet times in the stream's time base, kept in 90 kHz ticks.
        const double num = std::atof(timeBase.c_str());
        const size_t slash = timeBase.find('/');
        const double den = slash == std::string::npos ? 1 : std::atof(timeBase.c_str() + slash + 1);
        const std::string base = name + ".s" + std::to_string(e.index);
        std::ifstream crc(ContainerDir() / (base + ".crc"));
        crc >> e.size >> std::hex >> e.crc;
        std::ifstream pts(ContainerDir() / (base + ".pts"));
        e.pts.clear();
        for (int64_t t; pts >> t;)
            e.pts.push_back(t < 0 ? -1 : int64_t(double(t) * num / den * 90000.0 + 0.5));
        all.push_back(e);
    }
    return all;
}

int64_t TimeBase(const std::vector<ExpectedStream>& streams) {
    int64_t base = -1;
    for (const ExpectedStream& s : streams)
        for (int64_t t : s.pts)
            if (t >= 0) {
                if (base < 0 || t < base) base = t;
                break;
            }
    return base;
}

int64_t ToReferenceTime(int64_t ticks) {
    const int64_t scaled = ticks * 1000;
    return scaled >= 0 ? (scaled + 4) / 9 : -((-scaled + 4) / 9);
}

std::filesystem::path IndexerFixtureDir() {
    return FixtureDir() / "indexer";
}

ProbePackets ReadProbePackets(const std::string& name) {
    ProbePackets probe;
    std::ifstream in(IndexerFixtureDir() / (name + ".packets"));
    std::string line;
    std::getline(in, line);
    long long num = 1, den = 1;
    if (std::sscanf(line.c_str(), "%lld/%lld", &num, &den) == 2) {
        probe.timeBaseNum = num;
        probe.timeBaseDen = den;
    }
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ProbePacket p;
        std::string pts, flags;
        fields >> p.pos >> p.size >> pts >> flags;
        p.pts = pts == "N/A" ? -1 : std::stoll(pts);
        p.key = !flags.empty() && flags[0] == 'K';
        probe.packets.push_back(p);
    }
    return probe;
}

}  // namespace qm::test
