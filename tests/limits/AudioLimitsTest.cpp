// Frame sizes: the largest each audio decoder's syntax allows is decoded, a size code beyond it is
// refused.
#include <gtest/gtest.h>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/ac3/Ac3TestSupport.h"
#include "tests/mpegaudio/DecodeHelpers.h"

namespace {

using namespace qm::test;

TEST(AudioLimits, Ac3DecodesTheLargestFrameAndRefusesSizeCodesBeyondIt) {
    spInitProcessorDispatch();
    // 32 kHz, frmsizecod 37: 1920 words, the largest sync frame there is.
    std::vector<uint8_t> largest = WithGainWords(WithoutDither(Ac3Fixture("stereo_32k")), 3840);
    ASSERT_FALSE(largest.empty());
    const size_t frames = largest.size() / 3840;
    for (size_t f = 0; f < frames; ++f) {  // 36 and 37 give the same size: the last code
        largest[f * 3840 + 4] = uint8_t((largest[f * 3840 + 4] & 0xC0) | 37);
        UMC::ac3::WriteCrcs(largest.data() + f * 3840, 3840);
    }
    const Ac3Decoded decoded = DecodeAc3(largest, Ac3Params(2));
    EXPECT_EQ(size_t(decoded.frames), frames);
    EXPECT_EQ(decoded.errors, 0);
    for (const int code : {38, 63}) {
        std::vector<uint8_t> refused = largest;
        for (size_t f = 0; f < frames; ++f)
            refused[f * 3840 + 4] = uint8_t((refused[f * 3840 + 4] & 0xC0) | code);
        const Ac3Decoded none = DecodeAc3(refused, Ac3Params(2));
        EXPECT_EQ(none.frames, 0) << code;
        EXPECT_GT(none.errors, 0) << code;
    }
}

// Layer II frames at 384 kbit/s and 32 kHz (1728 bytes, the largest at a fixed rate) with no
// subband allocated: silence.
std::vector<uint8_t> SilentLayer2(int bitrateIndex, int count) {
    std::vector<uint8_t> out;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> frame(1728, 0);
        frame[0] = 0xFF;
        frame[1] = 0xFD;  // MPEG-1, layer II, no CRC
        frame[2] = uint8_t(bitrateIndex << 4 | 2 << 2);
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

TEST(AudioLimits, MpegAudioDecodesTheLargestFixedRateFrameAndRefusesTheForbiddenRate) {
    spInitProcessorDispatch();
    const Decoded largest = DecodeStream(SilentLayer2(14, 4));
    EXPECT_GE(largest.frames, 3);
    EXPECT_EQ(largest.pcm.size(), size_t(largest.frames) * 1152 * 2);
    for (const int16_t v : largest.pcm) ASSERT_EQ(v, 0);
    EXPECT_EQ(DecodeStream(SilentLayer2(15, 4)).frames, 0);
}

}  // namespace
