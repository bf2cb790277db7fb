// Layer III on written frames: damaged regions and the paths that encoders seldom take.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/mpegaudio/DecodeHelpers.h"
#include "tests/mpegaudio/IntensityStreams.h"
#include "tests/mpegaudio/Layer3Writer.h"
#include "tests/support/Paths.h"

namespace {

using namespace qm::test::mpa;
using qm::test::Decoded;
using qm::test::DecodeStream;

std::vector<uint8_t> Concat(const std::vector<Layer3Frame>& frames) {
    std::vector<uint8_t> out;
    for (const Layer3Frame& f : frames) {
        const std::vector<uint8_t> bytes = WriteFrame(f);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

Layer3Frame Mono() {
    Layer3Frame f;
    f.mode = 3;
    return f;
}

TEST(Layer3Damage, BigValueRegionRunningFarLeavesZerosAfterIt) {
    // Granule 0 is loud only above line 400; granule 1 codes 300 lines of escapes (value 15, 13
    // linbits each) but claims no bits beyond its scale factors, so its big-value region runs
    // thousands of bits past its end. What it read stays; the lines after it must be zero, not
    // granule 0's.
    Layer3Frame f = Mono();
    Layer3Channel& g0 = f.gr[0][0];
    g0.globalGain = 130;
    for (int i = 400; i < 576; ++i) g0.lines[i] = i % 2 ? 15 : -15;
    Layer3Channel& g1 = f.gr[1][0];
    g1.globalGain = 170;
    g1.table = 31;
    g1.scalefacScale = true;
    g1.scalefacCompress = 15;  // 4 and 3 bits: bands 0..10 at -15, 11..20 at -7 (x 4 quarters)
    for (int sfb = 0; sfb < 21; ++sfb) g1.scfLong[sfb] = sfb < 11 ? 15 : 7;
    for (int i = 0; i < 300; ++i) g1.lines[i] = i % 3 ? 15 : -15;
    const std::vector<uint8_t> clean = Concat({f, Mono()});
    f.gr[1][0].part23Length = 11 * 4 + 10 * 3;  // the scale factors only
    const std::vector<uint8_t> damaged = Concat({f, Mono()});
    const Decoded a = DecodeStream(clean), b = DecodeStream(damaged);
    ASSERT_EQ(a.frames, 2);
    ASSERT_EQ(b.frames, 2);
    EXPECT_EQ(a.pcm, b.pcm);
}

// Intensity stereo per window of short blocks, within mixed blocks (whose two long subbands also
// take the alias butterflies), at illegal positions and in the last band, against the oracle
// decodes of the same streams.
TEST(Layer3Stereo, IntensityStreamsMatchTheReferenceDecodes) {
    for (const NamedStream& s : IntensityStreams()) {
        SCOPED_TRACE(s.name);
        ASSERT_FALSE(s.bytes.empty());
        const std::vector<int16_t> ref =
            qm::test::ReadPcm(qm::test::FixtureDir() / "mpa" / "synthetic" / (s.name + ".pcm"));
        const Decoded got = DecodeStream(s.bytes);
        ASSERT_EQ(got.pcm.size(), ref.size());
        int worst = 0;
        for (size_t i = 0; i < ref.size(); ++i)
            worst = std::max(worst, std::abs(got.pcm[i] - ref[i]));
        EXPECT_LE(worst, 1);
    }
}

}  // namespace
