// Written streams of chosen macroblock syntax against ffmpeg's and libmpeg2's decodes: every
// picture bit for bit, with 1, 2 and 3 slice threads.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/mpeg2video/Mpeg2SyntaxStreams.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"
#include "tests/support/Paths.h"

namespace {

using namespace qm::test::mpeg2;

struct Expected {
    std::map<std::string, std::vector<std::string>> byTool;  // "refused" when the tool refused
};

std::map<std::string, Expected> ReadChecksums() {
    std::ifstream in(qm::test::FixtureDir() / "mpeg2" / "syntax_checksums.txt");
    std::map<std::string, Expected> all;
    std::string line, current;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "stream") {
            words >> current;
            continue;
        }
        std::vector<std::string>& sums = all[current].byTool[first];
        for (std::string w; words >> w;) sums.push_back(w);
    }
    return all;
}

std::string Hex(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

TEST(Mpeg2Syntax, EveryPictureMatchesTheReferenceDecoders) {
    const auto expected = ReadChecksums();
    const auto streams = SyntaxStreams();
    ASSERT_EQ(expected.size(), streams.size());
    for (const SyntaxStream& s : streams) {
        SCOPED_TRACE(s.name);
        ASSERT_TRUE(expected.count(s.name));
        const auto& tools = expected.at(s.name).byTool;
        for (int threads = 1; threads <= 3; ++threads) {
            SCOPED_TRACE(threads);
            const DecodeResult r = Decode(s.bytes, threads);
            std::vector<std::string> ours;
            for (const Picture& p : r.pictures) {
                EXPECT_EQ(p.damaged, 0);
                ours.push_back(Hex(Fnv64(p.planes)));
            }
            for (const auto& [tool, sums] : tools) {
                if (sums == std::vector<std::string>{"refused"}) continue;
                EXPECT_EQ(ours, sums) << tool;
            }
        }
    }
}

}  // namespace
