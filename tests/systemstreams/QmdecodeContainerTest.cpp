// qmdecode on the container fixtures, as a user runs it: --demux gives ffmpeg's bytes for every
// stream, decoding a whole file gives what decoding its demultiplexed streams gives, and pipes
// work in both directions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/systemstreams/Collector.h"
#include "tests/systemstreams/ExpectedStreams.h"

#if defined(QMDECODE_PATH) && !defined(_WIN32)

namespace {

namespace fs = std::filesystem;

class Scratch {
public:
    Scratch() : m_dir(fs::temp_directory_path() / ("qm_containers_" + std::to_string(::getpid()))) {
        fs::create_directories(m_dir);
    }
    ~Scratch() { fs::remove_all(m_dir); }
    std::string operator()(const std::string& name) const { return (m_dir / name).string(); }

private:
    fs::path m_dir;
};

int Qmdecode(const std::string& args) {
    return std::system((std::string(QMDECODE_PATH) + " " + args + " >/dev/null 2>&1").c_str());
}

std::string Fixture(const std::string& file) {
    return (qm::test::ContainerDir() / file).string();
}

TEST(QmdecodeContainers, DemuxGivesFfmpegsBytesForEveryStream) {
    Scratch tmp;
    for (const char* file : {"dvd.vob", "system.mpg", "transport.ts", "mpeg4.avi", "bluray.m2ts"}) {
        const std::string name = std::string(file).substr(0, std::string(file).find('.'));
        for (const auto& e : qm::test::ReadExpected(name)) {
            SCOPED_TRACE(name + " stream " + std::to_string(e.index));
            const bool video = e.IsVideo();
            const std::string out = tmp(name + ".es");
            ASSERT_EQ(Qmdecode("--demux " + std::string(video ? "--video " : "--audio ") +
                               std::to_string(e.index) + " " + Fixture(file) + " " + out),
                      0);
            const auto bytes = qm::test::ReadBytes(out);
            EXPECT_EQ(bytes.size(), e.size);
            EXPECT_EQ(qm::test::Crc32(bytes), e.crc);
        }
    }
}

TEST(QmdecodeContainers, WholeFileDecodesLikeItsStreams) {
    Scratch tmp;
    struct Case {
        const char* file;
        int video, audio;
        const char* audioEs;  // the elementary stream's file name (the extension tells its kind)
    } cases[] = {
        {"dvd.vob", 0, 3, "a.mp2"}, {"system.mpg", 0, 1, "a.mp2"}, {"transport.ts", 0, 2, "a.mp2"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string in = Fixture(c.file);
        ASSERT_EQ(Qmdecode("--audio " + std::to_string(c.audio) + " " + in + " " + tmp("v.y4m") +
                           " " + tmp("a.wav")),
                  0);
        ASSERT_EQ(Qmdecode("--demux --video 0 " + in + " " + tmp("v.m2v")), 0);
        ASSERT_EQ(Qmdecode("--demux --audio " + std::to_string(c.audio) + " " + in + " " +
                           tmp(c.audioEs)),
                  0);
        ASSERT_EQ(Qmdecode(tmp("v.m2v") + " " + tmp("ve.y4m")), 0);
        ASSERT_EQ(Qmdecode(tmp(c.audioEs) + " " + tmp("ae.wav")), 0);
        const auto video = qm::test::ReadBytes(tmp("v.y4m"));
        EXPECT_GT(video.size(), 30u * 176 * 144);
        EXPECT_EQ(video, qm::test::ReadBytes(tmp("ve.y4m")));
        const auto audio = qm::test::ReadBytes(tmp("a.wav"));
        EXPECT_GT(audio.size(), 50000u);
        EXPECT_EQ(audio, qm::test::ReadBytes(tmp("ae.wav")));
    }
}

// LPCM stream `index` of `file` decoded through the graph: the samples ffmpeg decodes, which
// are big-endian.
void ExpectLpcmSamples(const std::string& file, int index) {
    Scratch tmp;
    ASSERT_EQ(Qmdecode("--audio " + std::to_string(index) + " " + Fixture(file) + " " +
                       tmp("l.pcm") + " --output-format raw"),
              0);
    auto pcm = qm::test::ReadBytes(tmp("l.pcm"));
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) std::swap(pcm[i], pcm[i + 1]);
    const auto e = qm::test::ReadExpected(file.substr(0, file.find('.')))[size_t(index)];
    EXPECT_EQ(pcm.size(), e.size);
    EXPECT_EQ(qm::test::Crc32(pcm), e.crc);
}

TEST(QmdecodeContainers, DvdLpcmDecodesToTheRecordedSamples) {
    ExpectLpcmSamples("dvd.vob", 2);
}

// Blu-ray LPCM (stream type 0x80 under the HDMV registration): 16-bit stereo goes through the
// DVD LPCM decoder to ffmpeg's samples; a 24-bit track is listed as not decoded and refused.
TEST(QmdecodeContainers, BlurayLpcm) {
    ExpectLpcmSamples("bluray.m2ts", 1);
    Scratch tmp;
    const std::string info = tmp("info.txt");
    ASSERT_EQ(std::system((std::string(QMDECODE_PATH) + " --info " + Fixture("bluray24.m2ts") +
                           " >" + info + " 2>&1")
                              .c_str()),
              0);
    const auto text = qm::test::ReadBytes(info);
    EXPECT_NE(std::string(text.begin(), text.end()).find("24 bits (not decoded"),
              std::string::npos);
    EXPECT_NE(Qmdecode("--audio 0 " + Fixture("bluray24.m2ts") + " " + tmp("c.wav")), 0);
}

TEST(QmdecodeContainers, StandardInputAndOutput) {
    Scratch tmp;
    const std::string in = Fixture("transport.ts");
    ASSERT_EQ(Qmdecode(in + " " + tmp("v.y4m")), 0);
    ASSERT_EQ(std::system(("cat " + in + " | " + QMDECODE_PATH + " - - --output-format y4m > " +
                           tmp("p.y4m") + " 2>/dev/null")
                              .c_str()),
              0);
    EXPECT_EQ(qm::test::ReadBytes(tmp("p.y4m")), qm::test::ReadBytes(tmp("v.y4m")));
    // An elementary stream through a pipe too.
    ASSERT_EQ(Qmdecode("--demux --audio 2 " + in + " " + tmp("a.mp2")), 0);
    ASSERT_EQ(Qmdecode(tmp("a.mp2") + " " + tmp("a.wav")), 0);
    ASSERT_EQ(std::system(("cat " + tmp("a.mp2") + " | " + QMDECODE_PATH + " - " + tmp("p.wav") +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_EQ(qm::test::ReadBytes(tmp("p.wav")), qm::test::ReadBytes(tmp("a.wav")));
}

// Two MP3 files joined with cat: the second, in another format, is decoded to a numbered output.
TEST(QmdecodeContainers, JoinedStreamsGoOnInANumberedOutput) {
    Scratch tmp;
    ASSERT_EQ(Qmdecode(Fixture("joined.mp3") + " " + tmp("j.wav")), 0);
    struct Format {
        uint16_t channels;
        uint32_t rate;
        size_t dataBytes;
    };
    auto format = [](const std::vector<uint8_t>& wav) {
        Format f{};
        if (wav.size() < 44) return f;
        f.channels = uint16_t(wav[22] | wav[23] << 8);
        f.rate = uint32_t(wav[24] | wav[25] << 8 | wav[26] << 16);
        f.dataBytes = wav.size() - 44;
        // Each file's header counts its own samples.
        const uint32_t riff = uint32_t(wav[4] | wav[5] << 8 | wav[6] << 16 | wav[7] << 24);
        const uint32_t data = uint32_t(wav[40] | wav[41] << 8 | wav[42] << 16 | wav[43] << 24);
        EXPECT_EQ(data, f.dataBytes);
        EXPECT_EQ(riff, f.dataBytes + 36);
        return f;
    };
    const Format first = format(qm::test::ReadBytes(tmp("j.wav")));
    const Format second = format(qm::test::ReadBytes(tmp("j.1.wav")));
    // Every frame of each part: 24 stereo frames, then 26 mono ones, 1152 samples each.
    EXPECT_EQ(first.channels, 2);
    EXPECT_EQ(first.rate, 44100u);
    EXPECT_EQ(first.dataBytes, 24u * 1152 * 4);
    EXPECT_EQ(second.channels, 1);
    EXPECT_EQ(second.rate, 48000u);
    EXPECT_EQ(second.dataBytes, 26u * 1152 * 2);
}

// Pictures in a YUV4MPEG2 file: width, height and frame count (4:2:0 frames).
struct Y4m {
    int width = 0, height = 0;
    size_t frames = 0;
};

Y4m ReadY4m(const std::vector<uint8_t>& file) {
    Y4m y;
    const std::string text(file.begin(), file.end());
    const size_t eol = text.find('\n');
    if (text.rfind("YUV4MPEG2 ", 0) != 0 || eol == std::string::npos) return y;
    const std::string header = text.substr(0, eol);
    const size_t w = header.find(" W"), h = header.find(" H");
    if (w == std::string::npos || h == std::string::npos) return y;
    y.width = std::atoi(header.c_str() + w + 2);
    y.height = std::atoi(header.c_str() + h + 2);
    const size_t frame = size_t(y.width) * size_t(y.height) * 3 / 2;
    for (size_t at = eol + 1; text.compare(at, 6, "FRAME\n") == 0; at += 6 + frame) {
        if (at + 6 + frame > text.size()) break;
        ++y.frames;
    }
    return y;
}

// Two program streams of different picture sizes joined with cat: the pictures after the change
// go to a numbered second output in their own size, none lost.
TEST(QmdecodeContainers, PictureSizeChangeGoesOnInANumberedOutput) {
    Scratch tmp;
    ASSERT_EQ(Qmdecode(Fixture("sizechange.mpg") + " " + tmp("s.y4m")), 0);
    const Y4m first = ReadY4m(qm::test::ReadBytes(tmp("s.y4m")));
    const Y4m second = ReadY4m(qm::test::ReadBytes(tmp("s.1.y4m")));
    EXPECT_EQ(first.width, 176);
    EXPECT_EQ(first.height, 144);
    EXPECT_EQ(first.frames, 10u);
    EXPECT_EQ(second.width, 128);
    EXPECT_EQ(second.height, 96);
    EXPECT_EQ(second.frames, 10u);
    EXPECT_FALSE(fs::exists(tmp("s.2.y4m")));
}

}  // namespace

#endif

#ifdef _WIN32
TEST(QmdecodeContainers, Windows) {
    GTEST_SKIP() << "runs qmdecode through a POSIX shell (cat, pipes, /dev/null); under Wine "
                    "qmdecode.exe is checked against the Linux outputs by wine_qmdecode_checksums";
}
#endif
