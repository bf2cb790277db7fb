// Macroblock-level syntax the syntax streams and fixtures do not reach, on hand-built streams:
// 10-bit DC precision, address escapes, slice errors, and the statuses and structure of a
// field-picture pair.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/mpeg2video/Mpeg2StreamWriter.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"

namespace {

using namespace qm::test::mpeg2;

// Non-intra macroblock in a P frame picture: no motion, coded block 0 only, DC level +1.
void PatternMacroblockBlock0(StreamWriter& w, int increment) {
    w.AddressIncrement(increment);
    w.Code("01");    // macroblock_type: pattern
    w.Code("1010");  // coded_block_pattern 32: block 0
    w.Code("10");    // first coefficient: run 0, level +1
    w.Code("10");    // end of block
}

// An I picture of flat luma 100 `mbWidth` macroblocks wide, then a P picture of one slice on
// `row` holding block-0 macroblocks at the increments given.
void PatternAfterIntra(StreamWriter& w, int mbWidth, int rows, int row,
                       std::initializer_list<int> increments) {
    w.SequenceHeader({.width = mbWidth * 16, .height = rows * 16});
    w.FlatIntraPicture(mbWidth, rows, 100);
    w.PictureHeader({.type = 2, .temporalReference = 1});
    w.Slice(row, 8);
    for (int increment : increments) PatternMacroblockBlock0(w, increment);
}

// A rectangle of the luma of one output picture that holds `value`.
struct Region {
    size_t picture;
    int x, y, w, h;
    int value;
};

struct SliceRow {
    const char* name;
    std::function<void(StreamWriter&)> build;
    std::vector<int> types, damaged;
    std::vector<Region> regions;
};

TEST(Mpeg2Slices, HandBuiltPictures) {
    const int kFlat[6] = {100, 100, 100, 100, 128, 128};
    const SliceRow rows[] = {
        // 10-bit DC: 403 << 1 = 806, 806 / 8 = 100.75, which the transform rounds to 101.
        {"intra DC at ten bits of precision",
         [](StreamWriter& w) {
             w.SequenceHeader({.width = 32, .height = 16});
             w.PictureHeader({.dcPrecision = 2});
             w.Slice(0, 8);
             int pred[3] = {512, 512, 512};
             const int dc[6] = {403, 403, 403, 403, 512, 512};
             w.IntraMacroblockDcOnly(1, dc, 6, pred);
             w.IntraMacroblockDcOnly(1, dc, 6, pred);
         },
         {1},
         {0},
         {{0, 0, 0, 32, 16, 101}}},
        // Skipped runs of static content often look right one macroblock off: this one does not.
        {"address escapes skip sixty-six macroblocks",
         [](StreamWriter& w) {
             PatternAfterIntra(w, 68, 1, 0, {1, 67});
         },
         {1, 2},
         {0, 0},
         {{1, 0, 0, 8, 8, 103}, {1, 16, 0, 66 * 16, 16, 100}, {1, 67 * 16, 0, 8, 8, 103}}},
        // The skip up to the row end runs, the rest of the slice is lost.
        {"a skip past the row end stops there",
         [](StreamWriter& w) {
             PatternAfterIntra(w, 2, 2, 1, {1, 5});
         },
         {1, 2},
         {0, 1},
         {{1, 0, 16, 8, 8, 103}, {1, 16, 16, 16, 16, 100}}},
        {"a zero quantiser scale code invalidates the slice",
         [&](StreamWriter& w) {
             w.SequenceHeader({.width = 16, .height = 32});
             w.PictureHeader({});
             int pred[3] = {128, 128, 128};
             w.Slice(0, 8);
             w.IntraMacroblockDcOnly(1, kFlat, 6, pred);
             w.Slice(1, 0);
             w.IntraMacroblockDcOnly(1, kFlat, 6, pred);
         },
         {1},
         {1},
         {{0, 0, 0, 16, 16, 100}}},
    };
    for (const SliceRow& row : rows) {
        SCOPED_TRACE(row.name);
        StreamWriter w;
        row.build(w);
        const DecodeResult r = Decode(w.End(), 1, 0);
        std::vector<int> types, damaged;
        for (const Picture& p : r.pictures) {
            types.push_back(p.frameType);
            damaged.push_back(p.damaged);
        }
        ASSERT_EQ(types, row.types);
        EXPECT_EQ(damaged, row.damaged);
        for (const Region& g : row.regions) {
            const Picture& p = r.pictures[g.picture];
            for (int y = g.y; y < g.y + g.h; ++y)
                for (int x = g.x; x < g.x + g.w; ++x)
                    ASSERT_EQ(p.planes[size_t(y) * size_t(p.width) + size_t(x)], g.value)
                        << "picture " << g.picture << " at " << x << "," << y;
        }
    }
}

TEST(Mpeg2Slices, FieldPicturePairMakesOneFrame) {
    // Frame 1: I top field (luma 100) + I bottom field (luma 50).
    // Frame 2: I top field (luma 40) + P bottom field copied from the top field of its own frame.
    StreamWriter w;
    w.SequenceHeader({.progressive = 0});
    for (int frame = 0; frame < 2; ++frame) {
        StreamWriter::Picture top = {
            .temporalReference = frame, .structure = 1, .progressiveFrame = 0};
        w.FlatIntraPicture(2, 1, frame == 0 ? 100 : 40, top);
        StreamWriter::Picture bottom = top;
        bottom.structure = 2;
        if (frame == 0) {
            w.FlatIntraPicture(2, 1, 50, bottom);
            continue;
        }
        bottom.type = 2;
        w.PictureHeader(bottom);
        w.Slice(0, 8);
        for (int col = 0; col < 2; ++col) {
            w.AddressIncrement(1);
            // Forward, not coded; field motion from the top field; motion codes 0.
            w.Code(
                "001"
                "01"
                "0"
                "1"
                "1");
        }
    }
    // Each field is its own access unit; the first field gives nothing yet.
    CaptureStage stage;
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoDecoderParams params;
    params.numThreads = 1;
    params.pPostProcessing = &stage;
    ASSERT_EQ(decoder.Init(&params), UMC::STATUS_OK);
    auto& bytes = w.End();
    UMC::MediaData in;
    in.SetBufferPointer(bytes.data(), bytes.size());
    in.SetDataSize(bytes.size());
    UMC::VideoData out;
    std::vector<UMC::Status> statuses;
    for (int i = 0; i < 4; ++i) statuses.push_back(decoder.GetFrame(&in, &out));
    EXPECT_EQ(statuses, (std::vector<UMC::Status>{UMC::STATUS_NOT_ENOUGH_DATA, UMC::STATUS_OK,
                                                  UMC::STATUS_NOT_ENOUGH_DATA, UMC::STATUS_OK}));
    ASSERT_EQ(stage.pictures.size(), 2u);
    EXPECT_EQ(stage.pictures[0].structure, UMC::PS_TOP_FIELD_FIRST);
    for (int y = 0; y < 32; ++y)
        EXPECT_EQ(stage.pictures[0].planes[size_t(y) * 32 + 5], y % 2 ? 50 : 100) << y;
    const std::vector<uint8_t>& second = stage.pictures[1].planes;
    EXPECT_EQ(std::count(second.begin(), second.begin() + 32 * 32, 40), 32 * 32);
    EXPECT_EQ(stage.pictures[1].damaged, 0);
}

}  // namespace
