// Layer III on written frames: damaged regions and the paths that encoders seldom take.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/mpegaudio/DecodeHelpers.h"
#include "tests/mpegaudio/IntensityStreams.h"
#include "tests/mpegaudio/Layer3Writer.h"
#include "tests/support/Paths.h"

namespace {

using namespace qm::test::mpa;
using qm::test::Decoded;
using qm::test::DecodeStream;

std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> out;
    for (const auto& f : frames) out.insert(out.end(), f.begin(), f.end());
    return out;
}

std::vector<uint8_t> Concat(const std::vector<Layer3Frame>& frames) {
    std::vector<std::vector<uint8_t>> bytes;
    for (const Layer3Frame& f : frames) bytes.push_back(WriteFrame(f));
    return Join(bytes);
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

// A mono MPEG-1 frame of random small lines in both granules.
Layer3Frame Loud(uint32_t seed) {
    StreamRng rng(seed);
    Layer3Frame f = Mono();
    for (auto& gr : f.gr)
        for (int i = 0; i < 200; ++i) gr[0].lines[i] = rng.Int(-4, 4);
    return f;
}

// The frame with a header field (bits counted from the first byte's most significant bit) set.
std::vector<uint8_t> WithBits(std::vector<uint8_t> frame, int first, int count, uint32_t value) {
    qm::test::PutBits(frame.data(), size_t(first), count, value);
    return frame;
}

TEST(MpegAudioHeaders, ReservedFieldsAndSwitchesAfterSyncAreSkipped) {
    const auto a = WriteFrame(Loud(1)), b = WriteFrame(Loud(2)), c = WriteFrame(Loud(3));
    const Decoded bc = DecodeStream(Join({b, c}));
    ASSERT_EQ(bc.frames, 2);
    struct Field {
        const char* what;
        int first, count;
        uint32_t value;
    };
    // Before synchronisation: the first frame's header is unusable, the two after it decode.
    for (const Field& f : {Field{"version 01", 11, 2, 1}, Field{"layer 0", 13, 2, 0},
                           Field{"bit rate 15", 16, 4, 15}, Field{"sampling 3", 20, 2, 3},
                           Field{"emphasis 2", 30, 2, 2}}) {
        SCOPED_TRACE(f.what);
        const Decoded got = DecodeStream(Join({WithBits(a, f.first, f.count, f.value), b, c}));
        EXPECT_EQ(got.frames, 2);
        EXPECT_EQ(got.pcm, bc.pcm);
    }
    // After it: a frame of another layer or version is no part of the stream.
    const Decoded abc = DecodeStream(Join({a, b, c}));
    ASSERT_EQ(abc.frames, 3);
    for (const Field& f : {Field{"layer II", 13, 2, 2}, Field{"MPEG-2", 12, 1, 0},
                           Field{"emphasis 2", 30, 2, 2}, Field{"bit rate 15", 16, 4, 15}}) {
        SCOPED_TRACE(f.what);
        const Decoded got = DecodeStream(Join({a, b, WithBits(c, f.first, f.count, f.value), c}));
        EXPECT_EQ(got.frames, 3);
        EXPECT_EQ(got.pcm, abc.pcm);
    }
}

TEST(MpegAudioCrc, Layer1AndLayer3FramesFailingTheirCrcAreSkipped) {
    // Layer III: the CRC covers the side information.
    std::vector<Layer3Frame> frames = {Loud(4), Loud(5), Loud(6)};
    for (Layer3Frame& f : frames) f.crc = true;
    const auto a = WriteFrame(frames[0]), b = WriteFrame(frames[1]), c = WriteFrame(frames[2]);
    EXPECT_EQ(DecodeStream(Join({a, b, c})).frames, 3);
    auto damaged = b;
    damaged[8] ^= 0x10;  // a bit of part2_3_length
    const Decoded got = DecodeStream(Join({a, damaged, c}));
    EXPECT_EQ(got.frames, 2);
    EXPECT_EQ(got.pcm, DecodeStream(Join({a, c})).pcm);

    // Layer I, mono, 32 kbit/s at 48 kHz (32 bytes): the CRC covers the bit allocation.
    auto layer1 = [](int allocation) {
        BitWriter w;
        w.Put(0xFFF, 12);
        w.Put(1, 1);
        w.Put(3, 2);  // layer I
        w.Put(0, 1);  // CRC present
        w.Put(1, 4);
        w.Put(1, 2);
        w.Put(0, 2);
        w.Put(3, 2);  // mono
        w.Put(0, 6);
        w.Put(0, 16);
        for (int sb = 0; sb < 32; ++sb) w.Put(uint32_t(sb == 0 ? allocation : 0), 4);
        if (allocation) {
            w.Put(10, 6);                                           // scale factor of subband 0
            for (int s = 0; s < 12; ++s) w.Put(3, allocation + 1);  // samples
        }
        std::vector<uint8_t> f = w.Bytes();
        const uint16_t crc = Crc16(f, 48, 128, Crc16(f, 16, 16));
        f[4] = uint8_t(crc >> 8);
        f[5] = uint8_t(crc);
        f.resize(32, 0);
        return f;
    };
    const auto quiet = layer1(0), tone = layer1(3);
    const Decoded clean = DecodeStream(Join({quiet, tone, quiet}));
    ASSERT_EQ(clean.frames, 3);
    auto bad = tone;
    bad[6] ^= 0x10;  // subband 0's allocation 3 becomes 2
    const Decoded skipped = DecodeStream(Join({quiet, bad, quiet}));
    EXPECT_EQ(skipped.frames, 2);
    EXPECT_EQ(skipped.pcm, DecodeStream(Join({quiet, quiet})).pcm);
}

TEST(Layer3Damage, Part23LengthBeyondTheReservoirGivesOneFrameOfSilence) {
    Layer3Frame broken = Loud(8);  // 2 x 4095 bits: more than the frame's 7512
    broken.gr[0][0].part23Length = broken.gr[1][0].part23Length = 4095;
    const std::vector<uint8_t> stream =
        Join({WriteFrame(Loud(7)), WriteFrame(broken), WriteFrame(Loud(9))});
    const Decoded got = DecodeStream(stream);
    ASSERT_EQ(got.frames, 3);
    ASSERT_EQ(got.pcm.size(), 3u * 1152);
    const Decoded first = DecodeStream(Join({WriteFrame(Loud(7)), WriteFrame(Loud(9))}));
    EXPECT_TRUE(std::equal(got.pcm.begin(), got.pcm.begin() + 1152, first.pcm.begin()));
    for (size_t i = 1152; i < 2 * 1152; ++i) ASSERT_EQ(got.pcm[i], 0) << i;
    EXPECT_NE(std::count(got.pcm.begin() + 2 * 1152, got.pcm.end(), int16_t(0)), 1152);
}

}  // namespace
