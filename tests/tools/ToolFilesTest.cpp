// The tools' file input and output: umc-decode's sliding window and whole-file reads, the
// mapped input, and the PCM writer whose WAV header, written before the samples, must end up
// with the sizes of everything written after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/Paths.h"
#include "tests/support/Random.h"
#include "tools/common/ChunkedFile.h"
#include "tools/common/InputFile.h"
#include "tools/common/WavFile.h"

namespace {

using qm::test::ReadBytes;
using qmtool::ChunkedFile;

std::vector<uint8_t> RandomFile(const std::filesystem::path& path, size_t size) {
    const std::vector<uint8_t> content = qm::test::Rng(size).Bytes(size);
    EXPECT_TRUE(qm::test::WriteBytes(path, content));
    return content;
}

TEST(ToolFiles, ChunkedWindowFollowsTheFileThroughRefillsAndGrowth) {
    const qm::test::ScratchDir dir("chunked");
    const auto path = dir / "in.bin";
    const auto content = RandomFile(path, ChunkedFile::kChunk * 3 + 12345);
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
    ASSERT_TRUE(qm::test::WriteBytes(path, {}));
    ASSERT_TRUE(qmtool::ReadWholeFile(path.string(), bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(ChunkedFile().Open(dir("absent")));
    EXPECT_FALSE(qmtool::ReadWholeFile(dir("absent"), whole));
}

// An empty file is an empty input (no mapping of zero bytes), a missing one or a folder fails, and
// bytes from standard input are adopted.
TEST(ToolFiles, InputMapsOrReadsTheWholeFile) {
    const qm::test::ScratchDir dir("input");
    const auto content = RandomFile(dir / "in", 3 * 4096 + 7);  // a last page partly in the file
    qmtool::InputFile file;
    ASSERT_TRUE(file.Open(dir("in")));
    EXPECT_TRUE(std::vector<uint8_t>(file.Bytes().begin(), file.Bytes().end()) == content);
    ASSERT_TRUE(qm::test::WriteBytes(dir / "in", {}));
    ASSERT_TRUE(file.Open(dir("in")));  // opening again drops the first mapping
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_FALSE(file.Mapped());
    EXPECT_FALSE(file.Open(dir("absent")));
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_FALSE(file.Open(dir("")));  // a folder opens with fopen but has no size to read
    file.Adopt(std::vector<uint8_t>(content));
    EXPECT_FALSE(file.Mapped());
    EXPECT_TRUE(std::vector<uint8_t>(file.Data(), file.Data() + file.Size()) == content);
}

std::vector<uint8_t> LittleEndian(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    for (int16_t s : samples) {
        bytes.push_back(uint8_t(uint16_t(s)));
        bytes.push_back(uint8_t(uint16_t(s) >> 8));
    }
    return bytes;
}

// 5.1 needs the extensible header (40-byte format chunk), so the patch must not assume 44 bytes;
// raw output has no header and follows a layout change midway.
TEST(ToolFiles, PcmWriterWavSizesAndRawLayoutChanges) {
    const qm::test::ScratchDir dir("pcm_writer");
    std::vector<int16_t> all;
    {
        qmtool::PcmFileWriter writer;
        ASSERT_TRUE(writer.Open(dir("six.wav")));
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
    std::vector<uint8_t> want = qmtool::WavHeader(6, 48000, 0x60F, uint32_t(all.size() * 2));
    const std::vector<uint8_t> samples = LittleEndian(all);
    want.insert(want.end(), samples.begin(), samples.end());
    EXPECT_TRUE(ReadBytes(dir / "six.wav") == want);

    const std::vector<int16_t> a = {1, -1, 300, -300}, b = {32767, -32768};
    {
        qmtool::PcmFileWriter writer;
        ASSERT_TRUE(writer.Open(dir("stereo.pcm")));
        ASSERT_TRUE(writer.Write(a.data(), a.size(), 2, 44100, 0));
        ASSERT_TRUE(writer.Write(b.data(), b.size(), 1, 44100, 0));  // mono midway
        ASSERT_TRUE(writer.Finish());
        EXPECT_EQ(writer.LayoutChanges(), 1);
    }
    EXPECT_TRUE(ReadBytes(dir / "stereo.pcm") == LittleEndian({1, -1, 300, -300, 32767, -32768}));
    // An unwritable path fails at Open, and nothing after it works.
    qmtool::PcmFileWriter unopened;
    EXPECT_FALSE(unopened.Open(dir("absent/x.wav")));
    EXPECT_FALSE(unopened.Write(a.data(), a.size(), 2, 44100, 0));
    EXPECT_FALSE(unopened.Finish());
}

}  // namespace
