// umc-decode's sliding file window: whatever the pattern of requests and consumption, the bytes
// seen are the file's, in order, and the window can grow past one chunk for a long access unit.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/support/Random.h"
#include "tools/common/ChunkedFile.h"

namespace {

namespace fs = std::filesystem;
using qmtool::ChunkedFile;

TEST(ChunkedFile, WindowFollowsTheFileThroughRefillsAndGrowth) {
    const fs::path path =
        fs::temp_directory_path() / ("chunked-" + std::to_string(::getpid()) + ".bin");
    qm::test::Rng rng(7);
    std::vector<uint8_t> content(ChunkedFile::kChunk * 3 + 12345);
    rng.Fill(content.data(), content.size(), uint8_t(0), uint8_t(255));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));

    // Small steps, steps across chunk boundaries, and one request larger than two chunks.
    for (size_t step : {size_t(1) << 10, ChunkedFile::kChunk - 3, ChunkedFile::kChunk * 2 + 5}) {
        SCOPED_TRACE(step);
        ChunkedFile file;
        ASSERT_TRUE(file.Open(path.string()));
        size_t pos = 0;
        while (file.Ensure(step) > 0) {
            const size_t visible = file.Size();
            ASSERT_TRUE(visible >= step || pos + visible == content.size());
            ASSERT_EQ(0, std::memcmp(file.Data(), content.data() + pos, visible));
            const size_t used = std::min(step, visible);
            file.Consume(used);
            pos += used;
        }
        EXPECT_EQ(pos, content.size());
        EXPECT_TRUE(file.AtEnd());
        EXPECT_FALSE(file.Failed());
    }

    std::vector<uint8_t> whole;
    ASSERT_TRUE(qmtool::ReadWholeFile(path.string(), whole));
    EXPECT_TRUE(whole == content);
    // The uninitialised form: what a reused buffer held before never shows through.
    qmtool::FileBytes bytes(content.size() + 99, uint8_t(0xA5));
    ASSERT_TRUE(qmtool::ReadWholeFile(path.string(), bytes));
    ASSERT_EQ(bytes.size(), content.size());
    EXPECT_EQ(0, std::memcmp(bytes.data(), content.data(), content.size()));
    std::ofstream(path, std::ios::binary | std::ios::trunc).close();
    ASSERT_TRUE(qmtool::ReadWholeFile(path.string(), bytes));
    EXPECT_TRUE(bytes.empty());
    fs::remove(path);
    ChunkedFile missing;
    EXPECT_FALSE(missing.Open((path.string() + ".absent")));
    EXPECT_FALSE(qmtool::ReadWholeFile(path.string() + ".absent", whole));
}

}  // namespace
