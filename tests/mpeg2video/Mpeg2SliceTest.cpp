// Macroblock-level behaviour on hand-built streams: DC-only blocks, skipped runs, address
// escapes, slice errors, tall pictures, field-picture pairs and dual-prime prediction.
#include <gtest/gtest.h>

#include "tests/mpeg2video/Mpeg2StreamWriter.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"

namespace {

using namespace qm::test::mpeg2;

constexpr int kFlat[6] = {100, 100, 100, 100, 128, 128};

// An I picture of flat macroblocks (luma `value`, chroma 128) in one slice per row.
void FlatIntraPicture(StreamWriter& w, int mbWidth, int mbRows, int value,
                      StreamWriter::Picture p = {}) {
    p.type = 1;
    w.PictureHeader(p);
    const int dc[6] = {value, value, value, value, 128, 128};
    for (int row = 0; row < mbRows; ++row) {
        w.Slice(row, 8);
        int pred[3] = {128, 128, 128};
        for (int col = 0; col < mbWidth; ++col) w.IntraMacroblockDcOnly(1, dc, 6, pred);
    }
}

// Non-intra macroblock in a P frame picture: no motion, coded block 0 only, DC level +1.
void PatternMacroblockBlock0(StreamWriter& w, int increment) {
    w.AddressIncrement(increment);
    w.Code("01");    // macroblock_type: pattern
    w.Code("1010");  // coded_block_pattern 32: block 0
    w.Code("10");    // first coefficient: run 0, level +1
    w.Code("10");    // end of block
}

uint8_t Luma(const Picture& p, int x, int y) {
    return p.planes[size_t(y) * size_t(p.width) + x];
}

bool LumaBlockIs(const Picture& p, int x0, int y0, int w, int h, int value) {
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            if (Luma(p, x, y) != value) return false;
    return true;
}

TEST(Mpeg2Slices, IntraDcOnlyBlocksAreFlat) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = 32;
    s.height = 16;
    w.SequenceHeader(s);
    w.PictureHeader({});
    w.Slice(0, 8);
    int pred[3] = {128, 128, 128};
    const int first[6] = {10, 60, 200, 255, 90, 160};
    const int second[6] = {0, 128, 129, 30, 128, 128};
    w.IntraMacroblockDcOnly(1, first, 6, pred);
    w.IntraMacroblockDcOnly(1, second, 6, pred);
    // 10-bit DC: 403 << 1 = 806, 806 / 8 = 100.75, which the transform rounds to 101.
    StreamWriter::Picture p10;
    p10.dcPrecision = 2;
    p10.temporalReference = 1;
    w.PictureHeader(p10);
    w.Slice(0, 8);
    int pred10[3] = {512, 512, 512};
    const int third[6] = {403, 403, 403, 403, 512, 512};
    w.IntraMacroblockDcOnly(1, third, 6, pred10);
    w.IntraMacroblockDcOnly(1, third, 6, pred10);
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data(), 1, 0);
    ASSERT_EQ(r.pictures.size(), 2u);
    const Picture& pic = r.pictures[0];
    EXPECT_EQ(pic.damaged, 0);
    EXPECT_TRUE(LumaBlockIs(pic, 0, 0, 8, 8, 10));
    EXPECT_TRUE(LumaBlockIs(pic, 8, 0, 8, 8, 60));
    EXPECT_TRUE(LumaBlockIs(pic, 0, 8, 8, 8, 200));
    EXPECT_TRUE(LumaBlockIs(pic, 8, 8, 8, 8, 255));
    EXPECT_TRUE(LumaBlockIs(pic, 16, 0, 8, 8, 0));
    EXPECT_TRUE(LumaBlockIs(pic, 24, 8, 8, 8, 30));
    const uint8_t* cb = pic.planes.data() + 32 * 16;
    const uint8_t* cr = cb + 16 * 8;
    EXPECT_EQ(cb[0], 90);
    EXPECT_EQ(cr[7 * 16 + 7], 160);
    EXPECT_EQ(cb[8], 128);
    EXPECT_TRUE(LumaBlockIs(r.pictures[1], 0, 0, 32, 16, 101));
}

TEST(Mpeg2Slices, SkippedRunsAndNonIntraDcOnlyBlocks) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = 64;
    s.height = 16;
    w.SequenceHeader(s);
    FlatIntraPicture(w, 4, 1, 100);
    StreamWriter::Picture p;
    p.type = 2;
    p.temporalReference = 1;
    w.PictureHeader(p);
    w.Slice(0, 8);  // quantiser scale 16: ((2 + 1) * 16 * 16) / 32 = 24, (24 + 4) >> 3 = 3
    PatternMacroblockBlock0(w, 1);
    PatternMacroblockBlock0(w, 3);  // macroblocks 1 and 2 skipped
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data(), 1, 0);
    ASSERT_EQ(r.pictures.size(), 2u);
    const Picture& pic = r.pictures[1];
    EXPECT_EQ(pic.frameType, 2);
    EXPECT_EQ(pic.damaged, 0);
    EXPECT_TRUE(LumaBlockIs(pic, 0, 0, 8, 8, 103));
    EXPECT_TRUE(LumaBlockIs(pic, 8, 0, 8, 8, 100));
    EXPECT_TRUE(LumaBlockIs(pic, 16, 0, 32, 16, 100));
    EXPECT_TRUE(LumaBlockIs(pic, 48, 0, 8, 8, 103));
    EXPECT_TRUE(LumaBlockIs(pic, 56, 0, 8, 16, 100));
}

TEST(Mpeg2Slices, AddressEscapesSkipSixtySixMacroblocks) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = 68 * 16;
    s.height = 16;
    w.SequenceHeader(s);
    FlatIntraPicture(w, 68, 1, 100);
    StreamWriter::Picture p;
    p.type = 2;
    p.temporalReference = 1;
    w.PictureHeader(p);
    w.Slice(0, 8);
    PatternMacroblockBlock0(w, 1);
    PatternMacroblockBlock0(w, 67);  // two escapes and increment 1
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data(), 1, 0);
    ASSERT_EQ(r.pictures.size(), 2u);
    const Picture& pic = r.pictures[1];
    EXPECT_EQ(pic.damaged, 0);
    EXPECT_TRUE(LumaBlockIs(pic, 0, 0, 8, 8, 103));
    EXPECT_TRUE(LumaBlockIs(pic, 16, 0, 66 * 16, 16, 100));
    EXPECT_TRUE(LumaBlockIs(pic, 67 * 16, 0, 8, 8, 103));
}

TEST(Mpeg2Slices, SkipRunPastTheRowEndStopsThereAndDamagesThePicture) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = 32;
    s.height = 32;
    w.SequenceHeader(s);
    FlatIntraPicture(w, 2, 2, 100);
    StreamWriter::Picture p;
    p.type = 2;
    p.temporalReference = 1;
    w.PictureHeader(p);
    w.Slice(1, 8);
    PatternMacroblockBlock0(w, 1);
    PatternMacroblockBlock0(w, 5);  // would pass the end of the row
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data(), 1, 0);
    ASSERT_EQ(r.pictures.size(), 2u);
    const Picture& pic = r.pictures[1];
    EXPECT_EQ(pic.damaged, 1);
    EXPECT_TRUE(LumaBlockIs(pic, 0, 16, 8, 8, 103));
    EXPECT_TRUE(LumaBlockIs(pic, 16, 16, 16, 16, 100));  // the skip up to the row end ran
}

TEST(Mpeg2Slices, ZeroQuantiserScaleCodeInvalidatesTheSlice) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = 16;
    s.height = 32;
    w.SequenceHeader(s);
    w.PictureHeader({});
    int pred[3] = {128, 128, 128};
    w.Slice(0, 8);
    w.IntraMacroblockDcOnly(1, kFlat, 6, pred);
    w.Slice(1, 0);
    w.IntraMacroblockDcOnly(1, kFlat, 6, pred);
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data(), 1, 0);
    ASSERT_EQ(r.pictures.size(), 1u);
    EXPECT_EQ(r.pictures[0].damaged, 1);
    EXPECT_TRUE(LumaBlockIs(r.pictures[0], 0, 0, 16, 16, 100));
}

TEST(Mpeg2Slices, TallPicturesReadTheVerticalPositionExtension) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = 16;
    s.height = 2816;  // 176 macroblock rows
    w.SequenceHeader(s);
    w.PictureHeader({});
    for (int row = 0; row < 176; ++row) {
        int pred[3] = {128, 128, 128};
        const int v = row;
        const int dc[6] = {v, v, v, v, 128, 128};
        w.SliceTall(row, 8);
        w.IntraMacroblockDcOnly(1, dc, 6, pred);
    }
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data(), 1, 0);
    ASSERT_EQ(r.pictures.size(), 1u);
    EXPECT_EQ(r.pictures[0].damaged, 0);
    EXPECT_TRUE(LumaBlockIs(r.pictures[0], 0, 129 * 16, 16, 16, 129));
    EXPECT_TRUE(LumaBlockIs(r.pictures[0], 0, 175 * 16, 16, 16, 175));
}

TEST(Mpeg2Slices, FieldPicturePairMakesOneFrame) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = 32;
    s.height = 32;
    s.progressive = 0;
    w.SequenceHeader(s);
    // Frame 1: I top field (luma 100) + I bottom field (luma 50).
    // Frame 2: I top field (luma 40) + P bottom field copied from the top field of its own frame.
    for (int frame = 0; frame < 2; ++frame) {
        StreamWriter::Picture top;
        top.structure = 1;
        top.progressiveFrame = 0;
        top.temporalReference = frame;
        FlatIntraPicture(w, 2, 1, frame == 0 ? 100 : 40, top);
        StreamWriter::Picture bottom = top;
        bottom.structure = 2;
        if (frame == 0) {
            FlatIntraPicture(w, 2, 1, 50, bottom);
        } else {
            bottom.type = 2;
            w.PictureHeader(bottom);
            w.Slice(0, 8);
            for (int col = 0; col < 2; ++col) {
                w.AddressIncrement(1);
                w.Code("001");  // motion forward, not coded
                w.Code("01");   // field_motion_type: field
                w.Code("0");    // motion_vertical_field_select: top field
                w.Code("1");    // motion_code 0
                w.Code("1");
            }
        }
    }
    w.StartCode(0xB7);

    // Each field is its own access unit; the first field gives nothing yet.
    CaptureStage stage;
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoDecoderParams params;
    params.numThreads = 1;
    params.pPostProcessing = &stage;
    ASSERT_EQ(decoder.Init(&params), UMC::STATUS_OK);
    auto& bytes = w.Data();
    UMC::MediaData in;
    in.SetBufferPointer(bytes.data(), bytes.size());
    in.SetDataSize(bytes.size());
    UMC::VideoData out;
    std::vector<UMC::Status> statuses;
    for (int i = 0; i < 4; ++i) statuses.push_back(decoder.GetFrame(&in, &out));
    EXPECT_EQ(statuses, (std::vector<UMC::Status>{UMC::STATUS_NOT_ENOUGH_DATA, UMC::STATUS_OK,
                                                  UMC::STATUS_NOT_ENOUGH_DATA, UMC::STATUS_OK}));
    ASSERT_EQ(stage.pictures.size(), 2u);
    const Picture& first = stage.pictures[0];
    EXPECT_EQ(first.structure, UMC::PS_TOP_FIELD_FIRST);
    for (int y = 0; y < 32; ++y) EXPECT_EQ(Luma(first, 5, y), y % 2 ? 50 : 100) << y;
    EXPECT_TRUE(LumaBlockIs(stage.pictures[1], 0, 0, 32, 32, 40));
    EXPECT_EQ(stage.pictures[1].damaged, 0);
}

TEST(Mpeg2Slices, DualPrimeAveragesSameAndOppositeParityFields) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = 32;
    s.height = 48;  // the +1/2 field line of the bottom field reads one row below the macroblock
    s.progressive = 0;
    w.SequenceHeader(s);
    // I frame with field DCT: top field lines 100, bottom field lines 50.
    StreamWriter::Picture i;
    i.framePredFrameDct = 0;
    i.progressiveFrame = 0;
    w.PictureHeader(i);
    const int dc[6] = {100, 100, 50, 50, 128, 128};
    for (int row = 0; row < 3; ++row) {
        w.Slice(row, 8);
        int pred[3] = {128, 128, 128};
        for (int col = 0; col < 2; ++col) w.IntraMacroblockDcOnly(1, dc, 6, pred, 1);
    }
    StreamWriter::Picture p = i;
    p.type = 2;
    p.temporalReference = 1;
    w.PictureHeader(p);
    w.Slice(1, 8);
    w.AddressIncrement(1);
    w.Code("001");  // motion forward, not coded
    w.Code("11");   // frame_motion_type: dual prime
    w.Code("1");    // horizontal motion_code 0
    w.Code("0");    // dmvector 0
    w.Code("1");    // vertical motion_code 0
    w.Code("0");    // dmvector 0
    w.AddressIncrement(1);
    w.Code("001");
    w.Code("10");  // frame prediction
    w.Code("1");
    w.Code("1");
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data(), 1, 0);
    ASSERT_EQ(r.pictures.size(), 2u);
    const Picture& pic = r.pictures[1];
    EXPECT_EQ(pic.damaged, 0);
    EXPECT_EQ(r.pictures[0].damaged, 0);
    for (int y = 0; y < 48; ++y) EXPECT_EQ(Luma(r.pictures[0], 3, y), y % 2 ? 50 : 100) << y;
    EXPECT_TRUE(LumaBlockIs(pic, 0, 16, 16, 16, 75));  // (100 + 50 + 1) >> 1 in both fields
    for (int y = 16; y < 32; ++y) EXPECT_EQ(Luma(pic, 20, y), y % 2 ? 50 : 100) << y;
}

TEST(Mpeg2Slices, SkippedMacroblocksOfBFieldsPredictFromTheirOwnParity) {
    // Reference frames of fields: I (top 100, bottom 50) and P of intra macroblocks (top 200,
    // bottom 150). In each B field the first macroblock predicts forward from the field of the
    // other parity and the second is skipped: it keeps the direction and the zero vector but must
    // read the field of its own parity.
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = 48;
    s.height = 32;
    s.progressive = 0;
    w.SequenceHeader(s);
    w.Gop(true);
    auto field = [&](int type, int tr, int structure) {
        StreamWriter::Picture p;
        p.type = type;
        p.temporalReference = tr;
        p.structure = structure;
        p.progressiveFrame = 0;
        w.PictureHeader(p);
        w.Slice(0, 8);
    };
    auto intraField = [&](int type, int tr, int structure, int value) {
        field(type, tr, structure);
        const int dc[6] = {value, value, value, value, 128, 128};
        int pred[3] = {128, 128, 128};
        for (int col = 0; col < 3; ++col)
            w.IntraMacroblockDcOnly(1, dc, 6, pred, -1, type == 1 ? "1" : "00011");
    };
    intraField(1, 0, 1, 100);
    intraField(1, 0, 2, 50);
    intraField(2, 2, 1, 200);
    intraField(2, 2, 2, 150);
    for (int structure : {1, 2}) {
        field(3, 1, structure);
        const int otherParity = structure == 1 ? 1 : 0;
        for (int increment : {1, 2}) {  // macroblock 0, then 2 after a skipped macroblock 1
            w.AddressIncrement(increment);
            w.Code("0010");  // forward, not coded
            w.Code("01");    // field prediction
            w.Put(uint32_t(increment == 1 ? otherParity : 1 - otherParity), 1);
            w.MotionDelta(0, 1);
            w.MotionDelta(0, 1);
        }
    }
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data());
    ASSERT_EQ(r.pictures.size(), 3u);
    const Picture& b = r.pictures[1];
    EXPECT_EQ(b.frameType, 3);
    EXPECT_EQ(b.damaged, 0);
    for (int y = 0; y < 32; ++y) {
        const bool top = y % 2 == 0;
        EXPECT_EQ(Luma(b, 0, y), top ? 50 : 100) << y;
        EXPECT_EQ(Luma(b, 16, y), top ? 100 : 50) << y;
        EXPECT_EQ(Luma(b, 32, y), top ? 100 : 50) << y;
    }
}

}  // namespace
