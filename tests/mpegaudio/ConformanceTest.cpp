// ISO/IEC 11172-4 and 13818-4 audio conformance streams from the shared folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "tests/mpegaudio/DecodeHelpers.h"
#include "tests/support/Paths.h"

namespace {

using qm::test::SharedDir;

std::filesystem::path ConformanceDir() {
    return SharedDir() / "conformance" / "mpeg-audio";
}

// How each reference ends. The references come from decoders with different end-of-stream
// habits: some hold back the final frame until a following header shows it complete (matched by
// check_next_header = 1), and the layer I and II ones are padded with the synthesis filter's
// tail and zeros to a power-of-two size.
struct Stream {
    const char* name;
    uint32_t checkNextHeader;
    bool paddedReference;
};

class Conformance : public ::testing::TestWithParam<Stream> {};

TEST_P(Conformance, MatchesReference) {
    const Stream stream = GetParam();
    const std::string name = stream.name;
    const auto bit = ConformanceDir() / (name + ".bit");
    const auto ref = ConformanceDir() / (name + ".pcm");
    if (!std::filesystem::exists(bit) || !std::filesystem::exists(ref))
        GTEST_SKIP() << name << " is not in " << ConformanceDir();
    std::vector<int16_t> expected = qm::test::ReadPcm(ref);
    qm::test::Decoded got =
        qm::test::DecodeStream(qm::test::ReadBytes(bit), 0, stream.checkNextHeader);
    ASSERT_GT(got.channels, 0);
    double psnr = qm::test::Psnr(got.pcm, expected);
    std::printf("[ PSNR     ] %-28s %8.2f dB  %zu/%zu samples\n", name.c_str(), psnr,
                got.pcm.size(), expected.size());
    EXPECT_GE(psnr, 96.0);
    EXPECT_EQ(got.errors, 0);
    if (!stream.paddedReference) {
        EXPECT_EQ(got.pcm.size(), expected.size());
        return;
    }
    // Past our last frame the reference holds at most the filter bank's 512-sample tail per
    // channel, then zeros.
    ASSERT_LT(got.pcm.size(), expected.size());
    const size_t tailEnd = got.pcm.size() + 512 * size_t(got.channels);
    for (size_t i = tailEnd; i < expected.size(); ++i) ASSERT_EQ(expected[i], 0) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Conformance,
    ::testing::Values(
        Stream{"l1-fl1", 0, true}, Stream{"l1-fl2", 0, true}, Stream{"l1-fl3", 0, true},
        Stream{"l1-fl4", 0, true}, Stream{"l1-fl5", 0, true}, Stream{"l1-fl7", 0, true},
        Stream{"l2-fl10", 0, true}, Stream{"l2-fl11", 0, true}, Stream{"l2-fl12", 0, true},
        Stream{"l2-fl13", 0, true}, Stream{"l2-fl15", 0, true}, Stream{"l2-fl16", 0, true},
        Stream{"l2-nonstandard-free_format", 0, false}, Stream{"l2-test32", 0, false},
        Stream{"l3-compl", 0, false}, Stream{"l3-he_32khz", 1, false},
        Stream{"l3-he_44khz", 1, false}, Stream{"l3-he_48khz", 1, false},
        Stream{"l3-hecommon", 0, false}, Stream{"l3-si", 1, false}, Stream{"l3-si_block", 1, false},
        Stream{"l3-si_huff", 1, false}, Stream{"l3-sin1k0db", 0, false},
        Stream{"l3-test45", 0, false}, Stream{"M2L3_bitrate_16_all", 0, false},
        Stream{"M2L3_bitrate_22_all", 0, false}, Stream{"M2L3_bitrate_24_all", 0, false},
        Stream{"M2L3_compl24", 0, false}),
    [](const auto& info) {
        std::string n = info.param.name;
        std::replace_if(
            n.begin(), n.end(), [](char c) { return !std::isalnum(c); }, '_');
        return n;
    });

// Damaged streams: decoding must end without a crash, and every frame it returns is whole.
class IllegalStreams : public ::testing::Test {};

TEST_F(IllegalStreams, DecodeWithoutFailure) {
    if (!std::filesystem::exists(ConformanceDir())) GTEST_SKIP() << "no conformance folder";
    int streams = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ConformanceDir())) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("ILL", 0) != 0 || entry.path().extension() != ".bit") continue;
        SCOPED_TRACE(file);
        std::vector<uint8_t> data = qm::test::ReadBytes(entry.path());
        for (size_t chunk : {size_t(0), size_t(1), size_t(97)}) {
            for (uint32_t check : {0u, 1u}) {
                qm::test::Decoded got = qm::test::DecodeStream(data, chunk, check);
                if (got.channels) {
                    EXPECT_EQ(got.pcm.size() % size_t(got.channels), 0u);
                }
            }
        }
        ++streams;
    }
    EXPECT_GT(streams, 0);
}

}  // namespace
