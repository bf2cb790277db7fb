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
    for (const char* file : {"dvd.vob", "system.mpg", "transport.ts", "mpeg4.avi"}) {
        const std::string name = std::string(file).substr(0, std::string(file).find('.'));
        for (const auto& e : qm::test::ReadExpected(name)) {
            SCOPED_TRACE(name + " stream " + std::to_string(e.index));
            const bool video = e.IsVideo();
            const std::string out = tmp(name + ".es");
            ASSERT_EQ(Qmdecode("--demux " + std::string(video ? "--video " : "--audio ") +
                               std::to_string(e.index) + " " + Fixture(file) + " " + out),
                      0);
            const auto bytes = qm::test::ReadFile(out);
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
        const auto video = qm::test::ReadFile(tmp("v.y4m"));
        EXPECT_GT(video.size(), 30u * 176 * 144);
        EXPECT_EQ(video, qm::test::ReadFile(tmp("ve.y4m")));
        const auto audio = qm::test::ReadFile(tmp("a.wav"));
        EXPECT_GT(audio.size(), 50000u);
        EXPECT_EQ(audio, qm::test::ReadFile(tmp("ae.wav")));
    }
}

// DVD LPCM goes through the graph to the same samples ffmpeg decodes (byte-swapped).
TEST(QmdecodeContainers, DvdLpcmDecodesToTheRecordedSamples) {
    Scratch tmp;
    ASSERT_EQ(
        Qmdecode("--audio 2 " + Fixture("dvd.vob") + " " + tmp("l.pcm") + " --output-format raw"),
        0);
    auto pcm = qm::test::ReadFile(tmp("l.pcm"));
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) std::swap(pcm[i], pcm[i + 1]);
    const auto e = qm::test::ReadExpected("dvd")[2];
    EXPECT_EQ(pcm.size(), e.size);
    EXPECT_EQ(qm::test::Crc32(pcm), e.crc);
}

TEST(QmdecodeContainers, StandardInputAndOutput) {
    Scratch tmp;
    const std::string in = Fixture("transport.ts");
    ASSERT_EQ(Qmdecode(in + " " + tmp("v.y4m")), 0);
    ASSERT_EQ(std::system(("cat " + in + " | " + QMDECODE_PATH + " - - --output-format y4m > " +
                           tmp("p.y4m") + " 2>/dev/null")
                              .c_str()),
              0);
    EXPECT_EQ(qm::test::ReadFile(tmp("p.y4m")), qm::test::ReadFile(tmp("v.y4m")));
    // An elementary stream through a pipe too.
    ASSERT_EQ(Qmdecode("--demux --audio 2 " + in + " " + tmp("a.mp2")), 0);
    ASSERT_EQ(Qmdecode(tmp("a.mp2") + " " + tmp("a.wav")), 0);
    ASSERT_EQ(std::system(("cat " + tmp("a.mp2") + " | " + QMDECODE_PATH + " - " + tmp("p.wav") +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_EQ(qm::test::ReadFile(tmp("p.wav")), qm::test::ReadFile(tmp("a.wav")));
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
        return f;
    };
    const Format first = format(qm::test::ReadFile(tmp("j.wav")));
    const Format second = format(qm::test::ReadFile(tmp("j.1.wav")));
    EXPECT_EQ(first.channels, 2);
    EXPECT_EQ(first.rate, 44100u);
    EXPECT_GE(first.dataBytes, 4u * 44100 / 2);  // 0.6 s each
    EXPECT_EQ(second.channels, 1);
    EXPECT_EQ(second.rate, 48000u);
    EXPECT_GE(second.dataBytes, 2u * 48000 / 2);
}

}  // namespace

#endif

#ifdef _WIN32
TEST(QmdecodeContainers, Windows) {
    GTEST_SKIP() << "runs qmdecode through a POSIX shell (cat, pipes, /dev/null); under Wine "
                    "qmdecode.exe is checked against the Linux outputs by wine_qmdecode_checksums";
}
#endif
