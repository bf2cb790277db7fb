#include "tests/systemstreams/ExpectedStreams.h"

#include <cstdlib>
#include <fstream>

#include "tests/support/Paths.h"

namespace qm::test {

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

}  // namespace qm::test
