// Hand-made I-VOPs of one macroblock row: the intra DC VLC switch, DC prediction from the left
// neighbour and from 1024, and the quantiser clipping of dquant.
#include <gtest/gtest.h>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"

namespace {

using namespace qm::test::mpeg4;

// A 32x16 VOL (two macroblocks), H.263 quantisation, no resync markers, then one I-VOP whose
// macroblocks the caller writes after the header.
BitWriter Vop(int intraDcVlcThr, int quant) {
    BitWriter w;
    PutVol(w, VolSpec{.width = 32, .height = 16});
    w.StartCode(0xB6);
    w.Put(0, 2);  // I
    w.Put(0, 1);  // modulo_time_base
    w.Put(1, 1);
    w.Put(0, 5);
    w.Put(1, 1);
    w.Put(1, 1);  // coded
    w.Put(intraDcVlcThr, 3);
    w.Put(quant, 5);
    return w;
}

std::vector<uint8_t> Finish(BitWriter& w) {
    w.Stuff();
    return w.Bytes();
}

// Luma samples of the two macroblocks' first rows and the first chroma sample.
struct Result {
    std::vector<uint8_t> picture;
    int32_t vop = -1;
};
Result Decode(const std::vector<uint8_t>& stream) {
    spInitProcessorDispatch();
    const Decoded d = DecodeAll(stream);
    Result r;
    if (d.pictures.size() == 1) {
        r.picture = d.pictures[0];
        r.vop = d.results[0];
    }
    return r;
}

TEST(Mpeg4IntraVop, DcVlcSwitchAndPrediction) {
    // Macroblock 0: DC differentials +4 (size 3 "100") on block 0, 0 elsewhere; macroblock 1
    // uncoded but for its prediction from the left. mcbpc "1" (intra, cbpc 0), ac_pred 0, cbpy
    // "0011" (nothing coded).
    BitWriter separate = Vop(0, 4);  // quantiser 4 < 13: separate DC
    separate.Put(0b1, 1);
    separate.Put(0, 1);
    separate.Put(0b0011, 4);
    separate.Put(0b010, 3);  // luma size 3
    separate.Put(0b100, 3);  // +4
    for (int b = 1; b < 4; ++b) separate.Put(0b011, 3);
    for (int b = 4; b < 6; ++b) separate.Put(0b11, 2);
    separate.Put(0b1, 1);
    separate.Put(0, 1);
    separate.Put(0b0011, 4);
    for (int b = 0; b < 4; ++b) separate.Put(0b011, 3);
    for (int b = 4; b < 6; ++b) separate.Put(0b11, 2);
    const Result a = Decode(Finish(separate));
    ASSERT_EQ(a.vop, 0);
    // DC scaler 8: block 0 = (1024 / 8 + 4) * 8 / 8 = 132; block 1 predicts from block 0 (the
    // gradient rule: |A - B| = |1024 - 1024| is not below |B - C| = 0, so from the left).
    EXPECT_EQ(a.picture[0], 132);
    EXPECT_EQ(a.picture[8], 132);
    EXPECT_EQ(a.picture[16], 132);      // macroblock 1 from its left neighbour
    EXPECT_EQ(a.picture[32 * 8], 132);  // block 2 predicts from above: |A - B| < |B - C|
    const size_t chroma = 32 * 16;
    EXPECT_EQ(a.picture[chroma], 128);

    // Threshold 7: never a separate DC; the DC is the first coefficient of the block's events:
    // block 0 coded (cbpy 8, "00010"), event (last 1, run 0, +4).
    BitWriter inAc = Vop(7, 4);
    inAc.Put(0b1, 1);
    inAc.Put(0, 1);
    inAc.Put(0b00010, 5);      // cbpy 8: block 0 only
    inAc.Put(0b000010111, 9);  // intra (last 1, run 0, level 4)
    inAc.Put(0, 1);            // positive
    inAc.Put(0b1, 1);
    inAc.Put(0, 1);
    inAc.Put(0b0011, 4);
    const Result b = Decode(Finish(inAc));
    ASSERT_EQ(b.vop, 0);
    EXPECT_EQ(b.picture, a.picture);
}

// dquant steps clip to 1..31: +2 at 30 gives 31, -2 at 2 gives 1 (seen through the DC scaler).
TEST(Mpeg4IntraVop, DquantClipping) {
    for (auto [quant, dquant] : {std::pair{30, 0b11}, std::pair{2, 0b01}}) {
        BitWriter w = Vop(0, quant);
        for (int mb = 0; mb < 2; ++mb) {
            w.Put(0b0001, 4);  // intra+q, cbpc 0
            w.Put(0, 1);
            w.Put(0b0011, 4);
            w.Put(mb == 0 ? dquant : 0b10, 2);  // second macroblock: +1 (clipped again)
            // Threshold 0: a separate DC at any quantiser; +1 on block 0 ("11" "1"), 0 elsewhere.
            for (int b = 0; b < 4; ++b) w.Put(b == 0 ? 0b111 : 0b011, 3);
            for (int b = 4; b < 6; ++b) w.Put(0b11, 2);
        }
        const std::vector<uint8_t> stream = Finish(w);
        spInitProcessorDispatch();
        UMC::mpeg4::Mpeg4StreamDecoder decoder;
        ASSERT_EQ(decoder.Open(stream.data(), stream.size()), UMC::STATUS_OK);
        const UMC::MPEG4FrameBuffer* frame = nullptr;
        int32_t result = 0;
        ASSERT_EQ(decoder.Next(&frame, &result), UMC::STATUS_OK);
        EXPECT_EQ(decoder.State().dec.quant[0], quant == 30 ? 31 : 1);
        EXPECT_EQ(decoder.State().dec.quant[1], quant == 30 ? 31 : 2);
    }
}

}  // namespace
