// Slice-parallel decoding: every thread count gives the pictures of the single-thread decode,
// also for damaged input and for slices that leave their row or come back to an earlier one
// (run under the thread sanitizer by the tsan preset).
#include <gtest/gtest.h>

#include <array>

#include "tests/mpeg2video/Mpeg2StreamWriter.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"
#include "tests/support/Paths.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg2;

std::vector<uint8_t> Fixture(const char* name) {
    return ReadFile(qm::test::FixtureDir() / "mpeg2" / (std::string(name) + ".m2v"));
}

void ExpectSamePictures(const std::vector<uint8_t>& stream, int maxThreads) {
    const DecodeResult one = Decode(stream, 1);
    ASSERT_FALSE(one.pictures.empty());
    for (int threads = 2; threads <= maxThreads; ++threads) {
        const DecodeResult many = Decode(stream, threads);
        ASSERT_EQ(many.pictures.size(), one.pictures.size()) << threads;
        EXPECT_EQ(many.statuses, one.statuses) << threads;
        for (size_t k = 0; k < one.pictures.size(); ++k) {
            EXPECT_EQ(many.pictures[k].planes, one.pictures[k].planes) << threads << " " << k;
            EXPECT_EQ(many.pictures[k].damaged, one.pictures[k].damaged) << threads << " " << k;
            // A reference picture goes out while the next one is decoded: the same description.
            EXPECT_EQ(many.pictures[k].time, one.pictures[k].time) << threads << " " << k;
            EXPECT_EQ(many.pictures[k].frameType, one.pictures[k].frameType) << threads << " " << k;
            EXPECT_EQ(many.pictures[k].structure, one.pictures[k].structure) << threads << " " << k;
        }
    }
}

TEST(Mpeg2Threads, EveryFixtureGivesTheSamePicturesOnOneToEightThreads) {
    int streams = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(qm::test::FixtureDir() / "mpeg2")) {
        if (entry.path().extension() != ".m2v") continue;
        SCOPED_TRACE(entry.path().filename().string());
        ExpectSamePictures(ReadFile(entry.path()), 8);
        ++streams;
    }
    EXPECT_GE(streams, 9);
}

TEST(Mpeg2Threads, DamagedStreamsDecodeAlikeOnEveryThreadCount) {
    const auto clean = Fixture("mpeg2_open_gop");
    qm::test::Rng rng(11);
    for (int round = 0; round < 6; ++round) {
        auto stream = clean;
        for (int k = 0; k < 4; ++k) stream[size_t(rng.Int(60, int(stream.size()) - 1))] ^= 0x21;
        ExpectSamePictures(stream, 4);
    }
}

// Intra pictures of 4x4 macroblocks, each macroblock its own grey, in slices given as (row,
// first column, macroblock count); MPEG-1 slices may run on into the following rows.
std::vector<uint8_t> IntraSlices(bool mpeg2, const std::vector<std::array<int, 3>>& slices) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.mpeg2 = mpeg2;
    s.width = s.height = 64;
    w.SequenceHeader(s);
    w.Gop(true);
    for (int picture = 0; picture < 3; ++picture) {
        StreamWriter::Picture p;
        p.temporalReference = picture;
        p.codingExtension = mpeg2;
        w.PictureHeader(p);
        int grey = 20 + picture;
        for (const auto& [row, column, count] : slices) {
            w.Slice(row, 8);
            int pred[3] = {128, 128, 128};
            for (int m = 0; m < count; ++m, grey += 7) {
                const int dc[6] = {grey, grey, grey, grey, 128, 128};
                w.IntraMacroblockDcOnly(m == 0 ? column + 1 : 1, dc, 6, pred);
            }
        }
    }
    w.StartCode(0xB7);
    return w.Data();
}

TEST(Mpeg2Threads, SlicesAcrossRowsAndOutOfOrderGiveTheSingleThreadPicture) {
    // MPEG-1 slices of six macroblocks: each ends in the row where the next one begins.
    ExpectSamePictures(IntraSlices(false, {{0, 0, 6}, {1, 2, 6}, {3, 0, 4}}), 4);
    // Rows out of order, and a row that two slices apart both write.
    ExpectSamePictures(IntraSlices(false, {{0, 0, 4}, {2, 0, 4}, {1, 0, 4}, {3, 0, 4}}), 4);
    ExpectSamePictures(IntraSlices(true, {{2, 0, 4}, {0, 0, 4}, {1, 0, 2}, {0, 1, 3}, {3, 0, 4}}),
                       4);
}

}  // namespace
