// Damaged and truncated I-VOPs: errors stay inside their video packet (or GOB), lost macroblocks
// are copies of the previous picture, and no damage makes the decoder read or write out of bounds.
#include <gtest/gtest.h>

#include <algorithm>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg4;

// Byte offsets of the VOP start codes and, after `vopStart`, of the resync markers (stuffing
// ends on a byte boundary, so each marker starts a byte: 16 zero bits and a one).
std::vector<size_t> VopStarts(const std::vector<uint8_t>& s) {
    std::vector<size_t> out;
    for (size_t i = 0; i + 3 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xB6) out.push_back(i);
    return out;
}
std::vector<size_t> Markers(const std::vector<uint8_t>& s, size_t from, size_t to) {
    std::vector<size_t> out;
    for (size_t i = from + 4; i + 2 < to; ++i)
        if (s[i] == 0 && s[i + 1] == 0 && (s[i + 2] & 0x80)) out.push_back(i);
    return out;
}

// Rows of 16x16 luma macroblocks that differ between two packed pictures.
std::vector<int> DifferingMacroblocks(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                                      int width, int height) {
    std::vector<int> out;
    const int mbw = (width + 15) / 16, mbh = (height + 15) / 16;
    for (int my = 0; my < mbh; ++my)
        for (int mx = 0; mx < mbw; ++mx) {
            bool differ = false;
            for (int y = my * 16; y < std::min(height, my * 16 + 16) && !differ; ++y)
                for (int x = mx * 16; x < std::min(width, mx * 16 + 16); ++x)
                    if (a[size_t(y) * width + x] != b[size_t(y) * width + x]) differ = true;
            if (differ) out.push_back(my * mbw + mx);
        }
    return out;
}

class Mpeg4Concealment : public ::testing::Test {
protected:
    void SetUp() override { spInitProcessorDispatch(); }
};

TEST_F(Mpeg4Concealment, DamagedPacketStaysInsideItsPacket) {
    for (const char* file : {"intra_resync.m4v", "intra_partitioned.m4v"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> clean = ReadFile(Fixture(file));
        const Decoded good = DecodeAll(clean);
        ASSERT_EQ(good.pictures.size(), 2u);
        const std::vector<size_t> vops = VopStarts(clean);
        ASSERT_EQ(vops.size(), 2u);
        const std::vector<size_t> markers = Markers(clean, vops[1], clean.size());
        ASSERT_GE(markers.size(), 2u);
        // Zeros in the middle of the second packet: no code starts with nine zero bits.
        std::vector<uint8_t> damaged = clean;
        const size_t at = (markers[0] + markers[1]) / 2;
        damaged[at] = damaged[at + 1] = 0;
        damaged[at + 2] &= 0x7F;
        const Decoded bad = DecodeAll(damaged);
        ASSERT_EQ(bad.pictures.size(), 2u);
        EXPECT_EQ(bad.results[0], 0);
        EXPECT_EQ(bad.results[1], UMC::kMpeg4VopConcealed);
        EXPECT_EQ(bad.pictures[0], good.pictures[0]);
        // Only macroblocks of the damaged packet differ: the packet header after it names the
        // first macroblock that must still match.
        auto mbNumberAt = [&](size_t marker) {
            // 17 marker bits, then macroblock_number (5 bits for 24 macroblocks).
            const uint32_t w = (uint32_t(clean[marker + 2]) << 16) |
                               (uint32_t(clean[marker + 3]) << 8) | clean[marker + 4];
            return int((w >> (24 - 1 - 5)) & 31);
        };
        const int firstAfter = mbNumberAt(markers[1]);
        const int firstDamaged = mbNumberAt(markers[0]);
        const std::vector<int> differ =
            DifferingMacroblocks(bad.pictures[1], good.pictures[1], good.width, good.height);
        EXPECT_FALSE(differ.empty());
        for (int mb : differ) {
            EXPECT_GE(mb, firstDamaged);
            EXPECT_LT(mb, firstAfter);
        }
    }
}

TEST_F(Mpeg4Concealment, TruncatedVopEndsInCopiesOfThePreviousPicture) {
    for (const char* file :
         {"intra_resync.m4v", "intra_h263q.m4v", "intra_partitioned.m4v", "h263_qcif.h263"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> clean = ReadFile(Fixture(file));
        // Two pictures, the second cut short: the h263 fixture has one, so repeat it.
        std::vector<uint8_t> stream = clean;
        if (VopStarts(clean).empty()) stream.insert(stream.end(), clean.begin(), clean.end());
        const Decoded good = DecodeAll(stream);
        ASSERT_EQ(good.pictures.size(), 2u);
        stream.resize(stream.size() - stream.size() / 8);
        const Decoded cut = DecodeAll(stream);
        ASSERT_EQ(cut.pictures.size(), 2u);
        EXPECT_EQ(cut.results[1], UMC::kMpeg4VopConcealed);
        // The last macroblock row is the first picture's.
        const int w = good.width, h = good.height;
        for (int y = (h - 1) / 16 * 16; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(cut.pictures[1][size_t(y) * w + x], good.pictures[0][size_t(y) * w + x])
                    << "at " << x << "," << y;
    }
}

// A lost GOB (its bytes zeroed, start code included): the GOB header after it resumes decoding,
// and only the lost GOB's macroblock row differs (copied from the previous picture).
TEST_F(Mpeg4Concealment, LostGobIsConcealed) {
    // First the same picture coded at another quantiser, so that its copies show.
    const std::vector<uint8_t> clean = ReadFile(Fixture("h263_sqcif.h263"));
    std::vector<uint8_t> stream = clean;
    const std::vector<uint8_t> gob = ReadFile(Fixture("h263_gob.h263"));
    stream.insert(stream.end(), gob.begin(), gob.end());
    const Decoded good = DecodeAll(stream);
    ASSERT_EQ(good.pictures.size(), 2u);
    // GOB start codes of the second picture: 16 zero bits and a one at any bit position; byte-
    // aligned here because the encoder stuffs before each.
    std::vector<size_t> gobs;
    for (size_t i = clean.size() + 4; i + 2 < stream.size(); ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 && (stream[i + 2] & 0x80)) gobs.push_back(i);
    ASSERT_GE(gobs.size(), 3u);
    const int lost = (stream[gobs[1] + 2] >> 2) & 31;  // gob_number of the second GOB header
    for (size_t i = gobs[1]; i < gobs[2]; ++i) stream[i] = 0;
    const Decoded cut = DecodeAll(stream);
    ASSERT_EQ(cut.pictures.size(), 2u);
    EXPECT_EQ(cut.results[1], UMC::kMpeg4VopConcealed);
    const std::vector<int> differ =
        DifferingMacroblocks(cut.pictures[1], good.pictures[1], good.width, good.height);
    EXPECT_FALSE(differ.empty());
    for (int mb : differ) EXPECT_EQ(mb / 8, lost) << mb;  // sub-QCIF: 8 macroblocks a GOB
}

// Random damage (flipped, zeroed and cut bytes) in every fixture: the decoder reports, conceals
// and carries on; the sanitizers watch every access.
TEST_F(Mpeg4Concealment, RandomDamageIsSurvived) {
    qm::test::Rng rng(0x4D34);
    for (const char* file : {"intra_h263q.m4v", "intra_mpegq.m4v", "intra_partitioned.m4v",
                             "intra_resync.m4v", "intra_interlaced.m4v", "intra_q1.m4v",
                             "intra_xvid.m4v", "h263_sqcif.h263", "h263_gob.h263"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> clean = ReadFile(Fixture(file));
        for (int trial = 0; trial < 40; ++trial) {
            std::vector<uint8_t> s = clean;
            const int edits = rng.Int(1, 8);
            for (int e = 0; e < edits; ++e) {
                const size_t at = size_t(rng.Int(0, int(s.size()) - 1));
                switch (rng.Int(0, 2)) {
                    case 0:
                        s[at] ^= uint8_t(1 << rng.Int(0, 7));
                        break;
                    case 1:
                        s[at] = 0;
                        break;
                    default:
                        s[at] = uint8_t(rng.Int(0, 255));
                        break;
                }
            }
            if (rng.Int(0, 3) == 0) s.resize(size_t(rng.Int(1, int(s.size()))));
            const Decoded d = DecodeAll(s);
            for (int32_t r : d.results) EXPECT_TRUE(r == 0 || r == UMC::kMpeg4VopConcealed);
        }
    }
}

}  // namespace
