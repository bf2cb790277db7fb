// qmdecode decodes through the filter graph, umc-decode through the codec alone: on every
// committed stream their outputs must be the same bytes (the filters add no damage).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/Paths.h"
#include "tests/support/Y4m.h"

#ifndef _WIN32

namespace {

namespace fs = std::filesystem;

int Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

bool UmcDecodeKnows(const qm::test::ScratchDir& dir, const std::string& codec) {
    std::system((std::string(UMC_DECODE_PATH) + " --help 2>" + dir("help.txt")).c_str());
    const auto text = qm::test::ReadBytes(dir / "help.txt");
    return std::string(text.begin(), text.end()).find(" " + codec) != std::string::npos;
}

// Decodes one stream with both tools and compares the outputs (the frames alone for pictures:
// the writers' headers differ).
void ExpectSameOutput(const qm::test::ScratchDir& dir, const fs::path& input) {
    SCOPED_TRACE(input.string());
    const std::string ext = input.extension().string();
    const bool mpeg4 = ext == ".m4v" || ext == ".h263";
    const bool video = mpeg4 || ext == ".m2v" || ext == ".m1v";
    const std::string a = dir(video ? "graph.y4m" : "graph.pcm");
    const std::string b = dir(video ? "codec.y4m" : "codec.pcm");
    ASSERT_EQ(Run(std::string(QMDECODE_PATH) + (video ? " --format i420 " : " ") + input.string() +
                  " " + a),
              0);
    ASSERT_EQ(Run(std::string(UMC_DECODE_PATH) +
                  (mpeg4           ? " --codec mpeg4 --format i420 --postfilter "
                   : video         ? " --codec mpeg2 --format i420 "
                   : ext == ".ac3" ? " --codec ac3 "
                                   : " --codec mpa ") +
                  input.string() + " " + b),
              0);
    const auto graph = qm::test::ReadBytes(a), codec = qm::test::ReadBytes(b);
    ASSERT_FALSE(graph.empty());
    if (!video) {
        EXPECT_TRUE(graph == codec);
        return;
    }
    const auto fg = qm::test::ParseY4m(graph).frames, fc = qm::test::ParseY4m(codec).frames;
    ASSERT_FALSE(fg.empty());
    ASSERT_EQ(fg.size(), fc.size());
    for (size_t i = 0; i < fg.size(); ++i) EXPECT_TRUE(fg[i] == fc[i]) << "frame " << i;
}

struct Job {
    const char* codec;
    std::vector<std::string> extensions;
};

class ToolsAgree : public ::testing::TestWithParam<Job> {};

TEST_P(ToolsAgree, EveryCommittedStream) {
    const Job& job = GetParam();
    const qm::test::ScratchDir dir(std::string("tools_agree_") + job.codec);
    if (!UmcDecodeKnows(dir, job.codec))
        GTEST_SKIP() << "umc-decode has no " << job.codec << " job";
    std::vector<fs::path> streams;
    const fs::path root = qm::test::SourceDir(), fixtures = qm::test::FixtureDir();
    for (const fs::path& folder : {root / "samples", fixtures / "mpa", fixtures / "mpeg2",
                                   fixtures / "ac3", fixtures / "mpeg4"})
        for (const auto& e : fs::directory_iterator(folder))
            if (std::count(job.extensions.begin(), job.extensions.end(),
                           e.path().extension().string()))
                streams.push_back(e.path());
    ASSERT_FALSE(streams.empty());
    std::sort(streams.begin(), streams.end());
    for (const auto& s : streams) ExpectSameOutput(dir, s);
}

INSTANTIATE_TEST_SUITE_P(Codecs, ToolsAgree,
                         ::testing::Values(Job{"mpa", {".mp3", ".mp2", ".mp1"}},
                                           Job{"ac3", {".ac3"}}, Job{"mpeg2", {".m2v", ".m1v"}},
                                           Job{"mpeg4", {".m4v", ".h263"}}),
                         [](const auto& info) { return std::string(info.param.codec); });

}  // namespace

#else

TEST(ToolsAgree, Windows) {
    GTEST_SKIP() << "runs qmdecode and umc-decode through a POSIX shell; under Wine qmdecode.exe "
                    "is checked against the Linux outputs by wine_qmdecode_checksums";
}

#endif
