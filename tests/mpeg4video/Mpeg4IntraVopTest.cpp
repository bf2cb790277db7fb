// I-VOPs: hand-made ones for dquant clipping; damaged and truncated ones whose errors stay inside
// their video packet (or GOB), lost macroblocks being copies of the previous picture.
#include <gtest/gtest.h>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"

namespace {

using namespace qm::test::mpeg4;

class Mpeg4IntraVop : public ::testing::Test {
protected:
    void SetUp() override { spInitProcessorDispatch(); }
};

// dquant steps clip to 1..31: +2 at 30 gives 31, -2 at 2 gives 1 (seen through the DC scaler).
TEST_F(Mpeg4IntraVop, DquantClipping) {
    for (auto [quant, dquant] : {std::pair{30, 0b11}, std::pair{2, 0b01}}) {
        // A 32x16 VOL (two macroblocks), H.263 quantisation, no resync markers; an I-VOP at
        // intra_dc_vlc_thr 0.
        BitWriter w;
        PutVol(w, VolSpec{.width = 32, .height = 16});
        PutVopStart(w, UMC::MPEG4_VOP_I, 0, 5);
        w.Put(0, 3);
        w.Put(uint32_t(quant), 5);
        for (int mb = 0; mb < 2; ++mb) {
            w.Put(0b0001'0'0011, 9);            // intra+q, cbpc 0, ac_pred 0, cbpy 0
            w.Put(mb == 0 ? dquant : 0b10, 2);  // second macroblock: +1 (clipped again)
            // Threshold 0: a separate DC at any quantiser; +1 on block 0 ("11" "1"), 0 elsewhere.
            for (int b = 0; b < 4; ++b) w.Put(b == 0 ? 0b111 : 0b011, 3);
            for (int b = 4; b < 6; ++b) w.Put(0b11, 2);
        }
        w.Stuff();
        UMC::mpeg4::Mpeg4StreamDecoder decoder;
        ASSERT_EQ(decoder.Open(w.Bytes().data(), w.Bytes().size()), UMC::STATUS_OK);
        const UMC::MPEG4FrameBuffer* frame = nullptr;
        int32_t result = 0;
        ASSERT_EQ(decoder.Next(&frame, &result), UMC::STATUS_OK);
        EXPECT_EQ(decoder.State().dec.quant[0], quant == 30 ? 31 : 1);
        EXPECT_EQ(decoder.State().dec.quant[1], quant == 30 ? 31 : 2);
    }
}

// Resync markers (or GOB start codes) after `from`: 16 zero bits and a one, byte-aligned because
// the encoders stuff before each.
std::vector<size_t> Markers(const std::vector<uint8_t>& s, size_t from) {
    std::vector<size_t> out;
    for (size_t i = from + 4; i + 2 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && (s[i + 2] & 0x80)) out.push_back(i);
    return out;
}

// The 16x16 luma macroblocks that differ between two packed pictures.
std::vector<int> DifferingMacroblocks(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                                      int width, int height) {
    std::vector<int> out;
    const int mbw = (width + 15) / 16;
    for (int mb = 0; mb < mbw * ((height + 15) / 16); ++mb) {
        bool differ = false;
        for (int y = mb / mbw * 16; y < std::min(height, mb / mbw * 16 + 16); ++y)
            for (int x = mb % mbw * 16; x < std::min(width, mb % mbw * 16 + 16); ++x)
                differ = differ || a[size_t(y) * width + x] != b[size_t(y) * width + x];
        if (differ) out.push_back(mb);
    }
    return out;
}

// Zeros in the middle of the second picture's second packet (no code starts with nine zero bits),
// or a lost GOB (its bytes zeroed, start code included; the same picture at another quantiser
// first, so that copies show): only the damaged packet's macroblocks differ.
TEST_F(Mpeg4IntraVop, DamageStaysInsideItsPacketOrGob) {
    for (const char* file : {"intra_resync.m4v", "intra_partitioned.m4v", "h263_gob.h263"}) {
        SCOPED_TRACE(file);
        const bool gob = file[0] == 'h';
        std::vector<uint8_t> clean = ReadFile(Fixture(gob ? "h263_sqcif.h263" : file));
        const size_t second = gob ? clean.size() : StartCodes(clean)[1];
        if (gob) {
            const std::vector<uint8_t> more = ReadFile(Fixture(file));
            clean.insert(clean.end(), more.begin(), more.end());
        }
        const Decoded good = DecodeAll(clean);
        ASSERT_EQ(good.pictures.size(), 2u);
        const std::vector<size_t> markers = Markers(clean, second);
        ASSERT_GE(markers.size(), gob ? 3u : 2u);
        std::vector<uint8_t> damaged = clean;
        int first, end;  // the damaged packet's macroblocks
        if (gob) {
            std::fill(damaged.begin() + ptrdiff_t(markers[1]),
                      damaged.begin() + ptrdiff_t(markers[2]), 0);
            first = ((clean[markers[1] + 2] >> 2) & 31) * 8;  // gob_number; 8 macroblocks a GOB
            end = first + 8;
        } else {
            const size_t at = (markers[0] + markers[1]) / 2;
            damaged[at] = damaged[at + 1] = 0;
            damaged[at + 2] &= 0x7F;
            // 17 marker bits, then macroblock_number (5 bits for 24 macroblocks).
            const auto mbNumber = [&](size_t m) { return (clean[m + 2] >> 2) & 31; };
            first = mbNumber(markers[0]);
            end = mbNumber(markers[1]);
        }
        const Decoded bad = DecodeAll(damaged);
        ASSERT_EQ(bad.pictures.size(), 2u);
        EXPECT_EQ(bad.results, (std::vector<int32_t>{0, UMC::kMpeg4VopConcealed}));
        EXPECT_EQ(bad.pictures[0], good.pictures[0]);
        const std::vector<int> differ =
            DifferingMacroblocks(bad.pictures[1], good.pictures[1], good.width, good.height);
        EXPECT_FALSE(differ.empty());
        for (int mb : differ) {
            EXPECT_GE(mb, first);
            EXPECT_LT(mb, end);
        }
    }
}

TEST_F(Mpeg4IntraVop, TruncatedVopEndsInCopiesOfThePreviousPicture) {
    for (const char* file :
         {"intra_resync.m4v", "intra_h263q.m4v", "intra_partitioned.m4v", "h263_qcif.h263"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> clean = ReadFile(Fixture(file));
        // Two pictures, the second cut short: the h263 fixture has one, so repeat it.
        std::vector<uint8_t> stream = clean;
        if (file[0] == 'h') stream.insert(stream.end(), clean.begin(), clean.end());
        const Decoded good = DecodeAll(stream);
        ASSERT_EQ(good.pictures.size(), 2u);
        stream.resize(stream.size() - stream.size() / 8);
        const Decoded cut = DecodeAll(stream);
        ASSERT_EQ(cut.pictures.size(), 2u);
        EXPECT_EQ(cut.results[1], UMC::kMpeg4VopConcealed);
        // The last macroblock row is the first picture's.
        const size_t row = size_t((good.height - 1) / 16 * 16) * good.width;
        const size_t luma = size_t(good.height) * good.width;
        EXPECT_TRUE(std::equal(cut.pictures[1].begin() + ptrdiff_t(row),
                               cut.pictures[1].begin() + ptrdiff_t(luma),
                               good.pictures[0].begin() + ptrdiff_t(row)));
    }
}

}  // namespace
