// Slice-parallel decoding: every thread count gives the pictures of the single-thread decode,
// also for damaged input (run under the thread sanitizer by the tsan preset).
#include <gtest/gtest.h>

#include "tests/mpeg2video/Mpeg2TestSupport.h"
#include "tests/support/Paths.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg2;

std::vector<uint8_t> Fixture(const char* name) {
    return ReadFile(qm::test::FixtureDir() / "mpeg2" / (std::string(name) + ".m2v"));
}

TEST(Mpeg2Threads, SliceThreadsGiveTheSamePictures) {
    for (const char* name : {"mpeg2_interlaced_tff", "mpeg2_422", "mpeg1_bframes"}) {
        SCOPED_TRACE(name);
        const auto stream = Fixture(name);
        const DecodeResult one = Decode(stream, 1);
        ASSERT_FALSE(one.pictures.empty());
        for (int threads : {2, 4, 8}) {
            const DecodeResult many = Decode(stream, threads);
            ASSERT_EQ(many.pictures.size(), one.pictures.size());
            for (size_t k = 0; k < one.pictures.size(); ++k)
                EXPECT_EQ(many.pictures[k].planes, one.pictures[k].planes) << threads << " " << k;
        }
    }
}

TEST(Mpeg2Threads, DamagedStreamsDecodeAlikeOnEveryThreadCount) {
    const auto clean = Fixture("mpeg2_open_gop");
    qm::test::Rng rng(11);
    for (int round = 0; round < 6; ++round) {
        auto stream = clean;
        for (int k = 0; k < 4; ++k) stream[size_t(rng.Int(60, int(stream.size()) - 1))] ^= 0x21;
        const DecodeResult one = Decode(stream, 1);
        const DecodeResult four = Decode(stream, 4);
        ASSERT_EQ(four.pictures.size(), one.pictures.size());
        for (size_t k = 0; k < one.pictures.size(); ++k) {
            EXPECT_EQ(four.pictures[k].planes, one.pictures[k].planes);
            EXPECT_EQ(four.pictures[k].damaged, one.pictures[k].damaged);
        }
    }
}

}  // namespace
