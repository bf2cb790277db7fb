// qmdecode on the container fixtures, as a user runs it: decoding a whole file gives what
// decoding its demultiplexed streams gives, LPCM gives ffmpeg's samples, pipes work in both
// directions, and a stream that changes format goes on in a numbered output. (--demux is checked
// with the other readers in ContainerFixtureTest.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/Y4m.h"
#include "tests/systemstreams/SystemStreamSupport.h"

#if defined(QMDECODE_PATH) && !defined(_WIN32)

namespace {

using qm::test::ReadBytes;

// Runs qmdecode with `args`, its output to `out` ("/dev/null" by default).
int Qmdecode(const std::string& args, const std::string& out = "/dev/null") {
    return std::system((std::string(QMDECODE_PATH) + " " + args + " >" + out + " 2>&1").c_str());
}

std::string Fixture(const std::string& file) {
    return (qm::test::ContainerDir() / file).string();
}

TEST(QmdecodeContainers, WholeFileDecodesLikeItsStreams) {
    const qm::test::ScratchDir tmp("containers");
    for (const auto& [file, audio] :
         {std::pair<const char*, int>{"dvd.vob", 3}, {"system.mpg", 1}, {"transport.ts", 2}}) {
        SCOPED_TRACE(file);
        const std::string in = Fixture(file), a = " --audio " + std::to_string(audio) + " ";
        ASSERT_EQ(Qmdecode(a + in + " " + tmp("v.y4m") + " " + tmp("a.wav")), 0);
        ASSERT_EQ(Qmdecode("--demux --video 0 " + in + " " + tmp("v.m2v")), 0);
        ASSERT_EQ(Qmdecode("--demux" + a + in + " " + tmp("a.mp2")), 0);
        ASSERT_EQ(Qmdecode(tmp("v.m2v") + " " + tmp("ve.y4m")), 0);
        ASSERT_EQ(Qmdecode(tmp("a.mp2") + " " + tmp("ae.wav")), 0);
        const auto video = ReadBytes(tmp / "v.y4m"), audioPcm = ReadBytes(tmp / "a.wav");
        EXPECT_GT(video.size(), 30u * 176 * 144);
        EXPECT_EQ(video, ReadBytes(tmp / "ve.y4m"));
        EXPECT_GT(audioPcm.size(), 50000u);
        EXPECT_EQ(audioPcm, ReadBytes(tmp / "ae.wav"));
    }
}

// DVD LPCM and Blu-ray LPCM (stream type 0x80 under the HDMV registration) in 16-bit stereo
// decode to ffmpeg's samples, which are big-endian; a 24-bit Blu-ray track is listed as not
// decoded and refused.
TEST(QmdecodeContainers, LpcmDecodesToTheRecordedSamples) {
    const qm::test::ScratchDir tmp("lpcm");
    for (const auto& [name, file, index] :
         {std::tuple<const char*, const char*, int>{"dvd", "dvd.vob", 2},
          {"bluray", "bluray.m2ts", 1}}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(Qmdecode("--audio " + std::to_string(index) + " " + Fixture(file) + " " +
                           tmp("l.pcm") + " --output-format raw"),
                  0);
        auto pcm = ReadBytes(tmp / "l.pcm");
        for (size_t i = 0; i + 1 < pcm.size(); i += 2) std::swap(pcm[i], pcm[i + 1]);
        const auto e = qm::test::ReadExpected(name)[size_t(index)];
        EXPECT_EQ(pcm.size(), e.size);
        EXPECT_EQ(qm::test::Crc32(pcm), e.crc);
    }
    ASSERT_EQ(Qmdecode("--info " + Fixture("bluray24.m2ts"), tmp("info.txt")), 0);
    const auto text = ReadBytes(tmp / "info.txt");
    EXPECT_NE(std::string(text.begin(), text.end()).find("24 bits (not decoded"),
              std::string::npos);
    EXPECT_NE(Qmdecode("--audio 0 " + Fixture("bluray24.m2ts") + " " + tmp("c.wav")), 0);
}

// Output to '-' is the output alone (the summary goes to the standard error); a container and an
// elementary stream read from '-' decode as from their files.
TEST(QmdecodeContainers, StandardInputAndOutput) {
    const qm::test::ScratchDir tmp("pipes");
    const std::string in = Fixture("transport.ts");
    auto piped = [&](const std::string& input, const std::string& args, const std::string& out) {
        return std::system(
            ("cat " + input + " | " + QMDECODE_PATH + " " + args + " 2>/dev/null" + out).c_str());
    };
    ASSERT_EQ(Qmdecode(in + " " + tmp("v.y4m")), 0);
    ASSERT_EQ(piped(in, "- - --output-format y4m", " >" + tmp("p.y4m")), 0);
    EXPECT_EQ(ReadBytes(tmp / "p.y4m"), ReadBytes(tmp / "v.y4m"));
    ASSERT_EQ(Qmdecode("--demux --audio 2 " + in + " " + tmp("a.mp2")), 0);
    ASSERT_EQ(Qmdecode(tmp("a.mp2") + " " + tmp("a.pcm") + " --output-format raw"), 0);
    ASSERT_EQ(piped(tmp("a.mp2"), "- - --output-format raw", " >" + tmp("p.pcm")), 0);
    EXPECT_EQ(ReadBytes(tmp / "p.pcm"), ReadBytes(tmp / "a.pcm"));
}

// Two MP3 files joined with cat, the second in another format; two program streams of different
// picture sizes joined likewise: what follows the change goes to a numbered second output in its
// own format, none of it lost, and each WAV header counts its own samples.
TEST(QmdecodeContainers, FormatChangesGoOnInANumberedOutput) {
    const qm::test::ScratchDir tmp("numbered");
    ASSERT_EQ(Qmdecode(Fixture("joined.mp3") + " " + tmp("j.wav")), 0);
    const struct {
        const char* file;
        uint16_t channels;
        uint32_t rate, dataBytes;
    } parts[] = {{"j.wav", 2, 44100, 24 * 1152 * 4}, {"j.1.wav", 1, 48000, 26 * 1152 * 2}};
    for (const auto& part : parts) {
        SCOPED_TRACE(part.file);
        const auto wav = ReadBytes(tmp / part.file);
        ASSERT_EQ(wav.size(), 44 + part.dataBytes);
        auto le = [&](size_t at, int bytes) {
            uint32_t v = 0;
            for (int i = bytes - 1; i >= 0; --i) v = v << 8 | wav[at + size_t(i)];
            return v;
        };
        EXPECT_EQ(le(22, 2), part.channels);
        EXPECT_EQ(le(24, 4), part.rate);
        EXPECT_EQ(le(40, 4), part.dataBytes);
        EXPECT_EQ(le(4, 4), part.dataBytes + 36);
    }
    ASSERT_EQ(Qmdecode(Fixture("sizechange.mpg") + " " + tmp("s.y4m")), 0);
    const auto first = qm::test::ParseY4m(ReadBytes(tmp / "s.y4m"));
    const auto second = qm::test::ParseY4m(ReadBytes(tmp / "s.1.y4m"));
    EXPECT_EQ(std::tuple(first.width, first.height, first.frames.size()),
              std::tuple(176, 144, size_t(10)));
    EXPECT_EQ(std::tuple(second.width, second.height, second.frames.size()),
              std::tuple(128, 96, size_t(10)));
    EXPECT_FALSE(std::filesystem::exists(tmp / "s.2.y4m"));
}

}  // namespace

#endif

#ifdef _WIN32
TEST(QmdecodeContainers, Windows) {
    GTEST_SKIP() << "runs qmdecode through a POSIX shell (cat, pipes, /dev/null); under Wine "
                    "qmdecode.exe is checked against the Linux outputs by wine_qmdecode_checksums";
}
#endif
