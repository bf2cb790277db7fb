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

TEST_P(Ac3Conformance, EveryCodedChannelMatchesTheReferenceOnTheNoDitherCopy) {
    const Fixture& f = GetParam();
    const std::vector<uint8_t> stream = Ac3Fixture(f.name);
    ASSERT_FALSE(stream.empty());
    const std::vector<int16_t> ref = Ac3Reference(f.name);
    const Ac3Decoded d = DecodeAc3(WithoutDither(stream), Ac3Params(8), 1000);
    ASSERT_EQ(d.errors, 0);
    EXPECT_EQ(d.frames, int(FrameOffsets(stream).size()));
    EXPECT_EQ(d.channels, f.channels);
    EXPECT_EQ(d.mask, f.mask);
    EXPECT_EQ(d.rate, f.rate);
    ASSERT_EQ(d.pcm.size(), size_t(d.frames) * 1536 * size_t(f.channels));
    const size_t samples = ref.size() / size_t(f.channels);
    const int16_t* ours = d.pcm.data() + kFirstFrame * 1536 * size_t(f.channels);
    for (int ch = 0; ch < f.channels; ++ch) {
        std::vector<double> r(samples);
        for (size_t i = 0; i < samples; ++i) r[i] = ref[i * size_t(f.channels) + size_t(ch)];
        EXPECT_GE(ChannelPsnr(ours, r.data(), samples, f.channels, ch), 90.0) << "channel " << ch;
    }
}

TEST_P(Ac3Conformance, StereoFoldIsTheFixedFormulaOnTheReferenceChannels) {
    const Fixture& f = GetParam();
    const std::vector<int16_t> ref = Ac3Reference(f.name);
    const Ac3Decoded d = DecodeAc3(WithoutDither(Ac3Fixture(f.name)), Ac3Params(0));
    ASSERT_EQ(d.channels, 2);
    ASSERT_EQ(d.pcm.size(), size_t(d.frames) * 1536 * 2);
    // The reference's channels in mask-bit order; the fold in this test's own arithmetic.
    const double k = 0.70710677;
    std::vector<uint32_t> speakers;
    for (uint32_t bit = 1; bit <= 0x100; bit <<= 1)
        if (f.mask & bit) speakers.push_back(bit);
    const size_t samples = ref.size() / size_t(f.channels);
    std::vector<double> left(samples, 0.0), right(samples, 0.0);
    for (size_t i = 0; i < samples; ++i) {
        for (size_t c = 0; c < speakers.size(); ++c) {
            const double v = ref[i * size_t(f.channels) + c];
            switch (speakers[c]) {
                case 0x1:
                    left[i] += v;
                    break;
                case 0x2:
                    right[i] += v;
                    break;
                case 0x4:
                    left[i] += k * v;
                    right[i] += k * v;
                    break;
                case 0x8:
                    break;
                default:
                    left[i] -= k * v;
                    right[i] += k * v;
                    break;
            }
        }
    }
    const int16_t* ours = d.pcm.data() + kFirstFrame * 1536 * 2;
    EXPECT_GE(ChannelPsnr(ours, left.data(), samples, 2, 0), 90.0);
    EXPECT_GE(ChannelPsnr(ours, right.data(), samples, 2, 1), 90.0);
}

TEST_P(Ac3Conformance, TheOriginalStreamDiffersOnlyByDither) {
    const Fixture& f = GetParam();
    const std::vector<int16_t> ref = Ac3Reference(f.name);
    const Ac3Decoded d = DecodeAc3(Ac3Fixture(f.name), Ac3Params(8));
    ASSERT_EQ(d.channels, f.channels);
    const size_t samples = ref.size() / size_t(f.channels);
    const int16_t* ours = d.pcm.data() + kFirstFrame * 1536 * size_t(f.channels);
    for (int ch = 0; ch < f.channels; ++ch) {
        std::vector<double> r(samples);
        for (size_t i = 0; i < samples; ++i) r[i] = ref[i * size_t(f.channels) + size_t(ch)];
        const double psnr = ChannelPsnr(ours, r.data(), samples, f.channels, ch);
        EXPECT_GE(psnr, 40.0) << "channel " << ch;
        RecordProperty(std::string("psnr_dithered_ch") + std::to_string(ch), std::to_string(psnr));
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Ac3Conformance, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qm::test
