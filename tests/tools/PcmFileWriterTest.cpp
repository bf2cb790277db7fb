// umc-decode's PCM output streamed to the file: the WAV header written before the first samples
// must end up with the sizes of everything written after it, in the first frame's layout.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/common/WavFile.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

std::vector<uint8_t> LittleEndian(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    for (int16_t s : samples) {
        bytes.push_back(uint8_t(uint16_t(s)));
        bytes.push_back(uint8_t(uint16_t(s) >> 8));
    }
    return bytes;
}

fs::path TempPath(const std::string& name) {
    return fs::temp_directory_path() / ("pcm-writer-" + std::to_string(::getpid()) + "-" + name);
}

TEST(PcmFileWriter, WavHeaderGetsTheSizesOfEverythingWritten) {
    // 5.1 needs the extensible header (40-byte format chunk), so the patch must not assume 44.
    const fs::path path = TempPath("six.wav");
    std::vector<int16_t> all;
    {
        qmtool::PcmFileWriter writer;
        ASSERT_TRUE(writer.Open(path.string()));
        for (int frame = 0; frame < 3; ++frame) {
            std::vector<int16_t> samples(6 * 256);
            for (size_t i = 0; i < samples.size(); ++i)
                samples[i] = int16_t(int(i) * 37 - 30000 + frame);
            ASSERT_TRUE(writer.Write(samples.data(), samples.size(), 6, 48000, 0x60F));
            all.insert(all.end(), samples.begin(), samples.end());
        }
        ASSERT_TRUE(writer.Finish());
        EXPECT_EQ(writer.LayoutChanges(), 0);
    }
    const auto file = ReadAll(path);
    fs::remove(path);
    const auto header = qmtool::WavHeader(6, 48000, 0x60F, uint32_t(all.size() * 2));
    ASSERT_EQ(file.size(), header.size() + all.size() * 2);
    EXPECT_TRUE(std::vector<uint8_t>(file.begin(), file.begin() + ptrdiff_t(header.size())) ==
                header);
    EXPECT_TRUE(std::vector<uint8_t>(file.begin() + ptrdiff_t(header.size()), file.end()) ==
                LittleEndian(all));
}

TEST(PcmFileWriter, RawOutputAndLayoutChanges) {
    const fs::path path = TempPath("stereo.pcm");
    const std::vector<int16_t> a = {1, -1, 300, -300}, b = {32767, -32768};
    {
        qmtool::PcmFileWriter writer;
        ASSERT_TRUE(writer.Open(path.string()));
        ASSERT_TRUE(writer.Write(a.data(), a.size(), 2, 44100, 0));
        ASSERT_TRUE(writer.Write(b.data(), b.size(), 1, 44100, 0));  // mono midway
        ASSERT_TRUE(writer.Finish());
        EXPECT_EQ(writer.LayoutChanges(), 1);
    }
    std::vector<int16_t> both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_TRUE(ReadAll(path) == LittleEndian(both));  // no header
    fs::remove(path);

    // A WAV without frames keeps no header to patch; an unwritable path fails at Open.
    qmtool::PcmFileWriter unopened;
    EXPECT_FALSE(unopened.Open((TempPath("absent") / "x.wav").string()));
    EXPECT_FALSE(unopened.Write(a.data(), a.size(), 2, 44100, 0));
    EXPECT_FALSE(unopened.Finish());
}

}  // namespace
