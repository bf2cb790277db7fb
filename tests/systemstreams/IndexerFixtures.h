// The elementary streams of tests/fixtures/indexer and ffprobe's packets of them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Paths.h"

namespace qm::test {

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

inline std::filesystem::path IndexerFixtureDir() {
    return FixtureDir() / "indexer";
}

// NAME.packets: the time base, then "pos size pts flags" per packet.
inline ProbePackets ReadProbePackets(const std::string& name) {
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
