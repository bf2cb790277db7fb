// Streams from two encoders in every channel layout the fixtures cover, decoded as coded and
// folded to stereo, against another decoder's output on their no-dither copies.
#include <gtest/gtest.h>

#include "tests/ac3/Ac3TestSupport.h"

namespace qm::test {
namespace {

struct Fixture {
    const char* name;
    int channels;  // as coded, low-frequency channel included
    uint32_t mask;
    int rate;
};

constexpr Fixture kFixtures[] = {
    {"mono_48k", 1, 0x4, 48000},
    {"stereo_32k", 2, 0x3, 32000},
    {"stereo_44k", 2, 0x3, 44100},
    {"stereo_44k_mute", 2, 0x3, 44100},
    {"stereo_48k", 2, 0x3, 48000},
    {"stereo_cpl", 2, 0x3, 48000},
    {"c30_48k", 3, 0x7, 48000},
    {"c21_48k", 3, 0x103, 48000},
    {"c20lfe_48k", 3, 0xB, 48000},
    {"c32_48k", 5, 0x37, 48000},
    {"c32lfe_48k", 6, 0x3F, 48000},
    {"dual_mono", 2, 0x3, 48000},
    // Dynamic range words in the stream, with the default scales (applied in full).
    {"stereo_drc", 2, 0x3, 48000},
};
constexpr size_t kFirstFrame = 2;  // the references hold frames 2, 3 and 4

class Ac3Conformance : public ::testing::TestWithParam<Fixture> {};

// Channel `ch` of the reference's `channels`, as doubles.
std::vector<double> Channel(const std::vector<int16_t>& ref, int channels, int ch) {
    std::vector<double> out(ref.size() / size_t(channels));
    for (size_t i = 0; i < out.size(); ++i) out[i] = ref[i * size_t(channels) + size_t(ch)];
    return out;
}

// Every coded channel of the no-dither copy against the reference; the stereo fold against the
// fixed formula on the reference's channels (in this test's own arithmetic); the original stream,
// dither and all, near it.
TEST_P(Ac3Conformance, MatchesTheReferenceAsCodedFoldedAndDithered) {
    const Fixture& f = GetParam();
    const std::vector<uint8_t> stream = Ac3Fixture(f.name);
    const std::vector<int16_t> ref = Ac3Reference(f.name);
    ASSERT_FALSE(stream.empty());
    const size_t samples = ref.size() / size_t(f.channels);
    for (const bool dithered : {false, true}) {
        const Ac3Decoded d =
            DecodeAc3(dithered ? stream : WithoutDither(stream), Ac3Params(8), 1000);
        ASSERT_EQ(d.errors, 0);
        EXPECT_EQ(d.frames, int(FrameOffsets(stream).size()));
        EXPECT_EQ(d.channels, f.channels);
        EXPECT_EQ(d.mask, f.mask);
        EXPECT_EQ(d.rate, f.rate);
        ASSERT_EQ(d.pcm.size(), size_t(d.frames) * 1536 * size_t(f.channels));
        const int16_t* ours = d.pcm.data() + kFirstFrame * 1536 * size_t(f.channels);
        for (int ch = 0; ch < f.channels; ++ch) {
            const double psnr =
                ChannelPsnr(ours, Channel(ref, f.channels, ch).data(), samples, f.channels, ch);
            EXPECT_GE(psnr, dithered ? 40.0 : 90.0) << "channel " << ch;
            if (dithered)
                RecordProperty("psnr_dithered_ch" + std::to_string(ch), std::to_string(psnr));
        }
    }

    const Ac3Decoded d = DecodeAc3(WithoutDither(stream), Ac3Params(0));
    ASSERT_EQ(d.channels, 2);
    ASSERT_EQ(d.pcm.size(), size_t(d.frames) * 1536 * 2);
    const double k = 0.70710677;
    std::vector<double> left(samples, 0.0), right(samples, 0.0);
    for (int c = 0, bit = 1; bit <= 0x100; bit <<= 1) {
        if (!(f.mask & uint32_t(bit))) continue;
        const std::vector<double> v = Channel(ref, f.channels, c++);
        // Left, right, centre, low frequency (dropped), the surround channels.
        const double l = bit == 1 ? 1 : bit == 2 ? 0 : bit == 4 ? k : bit == 8 ? 0 : -k;
        const double r = bit == 1 ? 0 : bit == 2 ? 1 : bit == 8 ? 0 : k;
        for (size_t i = 0; i < samples; ++i) {
            left[i] += l * v[i];
            right[i] += r * v[i];
        }
    }
    const int16_t* ours = d.pcm.data() + kFirstFrame * 1536 * 2;
    EXPECT_GE(ChannelPsnr(ours, left.data(), samples, 2, 0), 90.0);
    EXPECT_GE(ChannelPsnr(ours, right.data(), samples, 2, 1), 90.0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Ac3Conformance, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qm::test
