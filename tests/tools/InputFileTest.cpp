// The tools' whole-file input: the mapped bytes are the file's, an empty file is an empty input
// (no mapping of zero bytes), a missing one fails, and bytes from standard input are adopted.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/support/Random.h"
#include "tools/common/InputFile.h"

namespace {

namespace fs = std::filesystem;

TEST(InputFile, MapsOrReadsTheWholeFile) {
    const fs::path path = fs::temp_directory_path() / ("input-" + std::to_string(::getpid()));
    qm::test::Rng rng(3);
    std::vector<uint8_t> content(3 * 4096 + 7);  // a last page only partly in the file
    rng.Fill(content.data(), content.size(), uint8_t(0), uint8_t(255));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));

    qmtool::InputFile file;
    ASSERT_TRUE(file.Open(path.string()));
    ASSERT_EQ(file.Size(), content.size());
    EXPECT_TRUE(std::vector<uint8_t>(file.Bytes().begin(), file.Bytes().end()) == content);

    std::ofstream(path, std::ios::binary | std::ios::trunc).flush();
    ASSERT_TRUE(file.Open(path.string()));  // opening again drops the first mapping
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_FALSE(file.Mapped());
    fs::remove(path);
    EXPECT_FALSE(file.Open(path.string()));
    EXPECT_EQ(file.Size(), 0u);

    file.Adopt(std::vector<uint8_t>(content));
    EXPECT_FALSE(file.Mapped());
    EXPECT_TRUE(std::vector<uint8_t>(file.Data(), file.Data() + file.Size()) == content);
}

}  // namespace
