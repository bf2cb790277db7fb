// qmdecode decodes through the filter graph, umc-decode through the codec alone: on every
// committed stream their outputs must be the same bytes (the filters add no damage).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Paths.h"

#ifndef _WIN32

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

int Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// The frame payloads of a YUV4MPEG2 file (headers differ between writers).
std::vector<Bytes> Y4mFrames(const Bytes& file) {
    std::vector<Bytes> frames;
    size_t pos = 0;
    auto lineEnd = [&](size_t from) {
        while (from < file.size() && file[from] != '\n') ++from;
        return from;
    };
    const size_t header = lineEnd(0);
    const std::string h(file.begin(), file.begin() + ptrdiff_t(header));
    int w = 0, hgt = 0;
    for (size_t i = 0; i < h.size(); ++i) {
        if (h[i] == 'W' && h[i - 1] == ' ') w = std::atoi(h.c_str() + i + 1);
        if (h[i] == 'H' && h[i - 1] == ' ') hgt = std::atoi(h.c_str() + i + 1);
    }
    const bool is422 = h.find("C422") != std::string::npos;
    const size_t cw = size_t(w + 1) / 2, ch = is422 ? size_t(hgt) : size_t(hgt + 1) / 2;
    const size_t frameBytes = size_t(w) * size_t(hgt) + 2 * cw * ch;
    pos = header + 1;
    while (pos < file.size()) {
        const size_t end = lineEnd(pos);
        if (end >= file.size() || end + 1 + frameBytes > file.size()) break;
        frames.emplace_back(file.begin() + ptrdiff_t(end + 1),
                            file.begin() + ptrdiff_t(end + 1 + frameBytes));
        pos = end + 1 + frameBytes;
    }
    return frames;
}

bool UmcDecodeKnows(const std::string& codec) {
    // Test programs run in parallel: each asks into a file of its own.
    const fs::path out = fs::temp_directory_path() /
                         ("umc-decode-help-" + codec + "-" + std::to_string(::getpid()) + ".txt");
    std::system((std::string(UMC_DECODE_PATH) + " --help 2>" + out.string()).c_str());
    const auto text = qm::test::ReadBytes(out);
    fs::remove(out);
    return std::string(text.begin(), text.end()).find(" " + codec) != std::string::npos;
}

// Decodes one stream with both tools and compares the outputs.
void ExpectSameOutput(const fs::path& input) {
    SCOPED_TRACE(input.string());
    const fs::path dir = fs::temp_directory_path() / ("tools-agree-" + std::to_string(::getpid()) +
                                                      "-" + input.filename().string());
    fs::create_directories(dir);
    const bool mpeg4 = input.extension() == ".m4v" || input.extension() == ".h263";
    const bool video = mpeg4 || input.extension() == ".m2v" || input.extension() == ".m1v";
    const fs::path a = dir / (video ? "graph.y4m" : "graph.pcm");
    const fs::path b = dir / (video ? "codec.y4m" : "codec.pcm");
    ASSERT_EQ(Run(std::string(QMDECODE_PATH) + (video ? " --format i420 " : " ") + input.string() +
                  " " + a.string()),
              0);
    ASSERT_EQ(Run(std::string(UMC_DECODE_PATH) +
                  (mpeg4                         ? " --codec mpeg4 --format i420 --postfilter "
                   : video                       ? " --codec mpeg2 --format i420 "
                   : input.extension() == ".ac3" ? " --codec ac3 "
                                                 : " --codec mpa ") +
                  input.string() + " " + b.string()),
              0);
    const auto graph = qm::test::ReadBytes(a), codec = qm::test::ReadBytes(b);
    ASSERT_FALSE(graph.empty());
    if (video) {
        const auto fg = Y4mFrames(graph), fc = Y4mFrames(codec);
        ASSERT_FALSE(fg.empty());
        ASSERT_EQ(fg.size(), fc.size());
        for (size_t i = 0; i < fg.size(); ++i) EXPECT_TRUE(fg[i] == fc[i]) << "frame " << i;
    } else {
        EXPECT_EQ(graph.size(), codec.size());
        EXPECT_TRUE(graph == codec);
    }
    fs::remove_all(dir);
}

std::vector<fs::path> Streams(const std::vector<std::string>& extensions) {
    std::vector<fs::path> found;
    const fs::path root = qm::test::SourceDir();
    for (const fs::path& dir :
         {root / "samples", root / "tests" / "fixtures" / "mpa",
          root / "tests" / "fixtures" / "mpeg2", root / "tests" / "fixtures" / "ac3",
          root / "tests" / "fixtures" / "mpeg4"}) {
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir))
            for (const auto& ext : extensions)
                if (e.path().extension() == ext) found.push_back(e.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

struct Job {
    const char* codec;
    std::vector<std::string> extensions;
};

class ToolsAgree : public ::testing::TestWithParam<Job> {};

TEST_P(ToolsAgree, EveryCommittedStream) {
    const Job& job = GetParam();
    if (!UmcDecodeKnows(job.codec)) GTEST_SKIP() << "umc-decode has no " << job.codec << " job";
    const auto streams = Streams(job.extensions);
    ASSERT_FALSE(streams.empty());
    for (const auto& s : streams) ExpectSameOutput(s);
}

INSTANTIATE_TEST_SUITE_P(Codecs, ToolsAgree,
                         ::testing::Values(Job{"mpa", {".mp3", ".mp2", ".mp1"}},
                                           Job{"ac3", {".ac3"}}, Job{"mpeg2", {".m2v", ".m1v"}},
                                           Job{"mpeg4", {".m4v", ".h263"}}),
                         [](const auto& info) { return std::string(info.param.codec); });

// Output to '-' is the output alone: the summary line goes to the standard error.
TEST(ToolsAgree, StandardOutputHoldsOnlyTheDecodedBytes) {
    const fs::path input =
        qm::test::SourceDir() / "tests" / "fixtures" / "mpeg2" / "mpeg2_open_gop.m2v";
    const fs::path dir = fs::temp_directory_path() / ("tools-stdout-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string qmdecode = std::string(QMDECODE_PATH) + " --format i420 " + input.string();
    ASSERT_EQ(
        std::system((qmdecode + " - >" + (dir / "piped.y4m").string() + " 2>/dev/null").c_str()),
        0);
    ASSERT_EQ(
        std::system((qmdecode + " " + (dir / "file.y4m").string() + " >/dev/null 2>&1").c_str()),
        0);
    const auto piped = qm::test::ReadBytes(dir / "piped.y4m"),
               file = qm::test::ReadBytes(dir / "file.y4m");
    EXPECT_FALSE(file.empty());
    EXPECT_TRUE(piped == file);
    fs::remove_all(dir);
}

}  // namespace

#else

TEST(ToolsAgree, Windows) {
    GTEST_SKIP() << "runs qmdecode and umc-decode through a POSIX shell; under Wine qmdecode.exe "
                    "is checked against the Linux outputs by wine_qmdecode_checksums";
}

#endif
