// I-VOP decoding of the committed streams against ffmpeg's decode.
#include <gtest/gtest.h>

#include <cstdio>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"

namespace {

using namespace qm::test::mpeg4;

struct StreamCase {
    const char* file;
    int width, height;
};

class Mpeg4IntraStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(Mpeg4IntraStream, EveryPictureWithin50dBOfTheReference) {
    spInitProcessorDispatch();
    const StreamCase c = GetParam();
    const std::string stem = std::string(c.file).substr(0, std::string(c.file).rfind('.'));
    const std::vector<uint8_t> stream = ReadFile(Fixture(c.file));
    const std::vector<uint8_t> reference = ReadFile(Fixture(stem + ".yuv"));
    ASSERT_FALSE(stream.empty());
    const size_t frameSize =
        size_t(c.width) * c.height + 2 * size_t((c.width + 1) / 2) * ((c.height + 1) / 2);
    ASSERT_EQ(reference.size() % frameSize, 0u);

    const Decoded d = DecodeAll(stream);
    ASSERT_EQ(d.open, UMC::STATUS_OK);
    EXPECT_EQ(d.width, c.width);
    EXPECT_EQ(d.height, c.height);
    ASSERT_EQ(d.pictures.size(), reference.size() / frameSize);
    for (size_t i = 0; i < d.pictures.size(); ++i) {
        const double psnr = Psnr(d.pictures[i].data(), reference.data() + i * frameSize, frameSize);
        std::printf("%s picture %zu: %.2f dB\n", c.file, i, psnr);
        EXPECT_GE(psnr, 50.0) << "picture " << i;
        EXPECT_EQ(d.results[i], 0) << "picture " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Mpeg4IntraStream,
    ::testing::Values(
        StreamCase{"intra_h263q.m4v", 96, 64}, StreamCase{"intra_mpegq.m4v", 96, 64},
        StreamCase{"intra_matrices.m4v", 96, 64}, StreamCase{"intra_partitioned.m4v", 96, 64},
        StreamCase{"intra_resync.m4v", 96, 64}, StreamCase{"intra_acpred.m4v", 96, 64},
        StreamCase{"intra_odd74x42.m4v", 74, 42}, StreamCase{"intra_odd98x66.m4v", 98, 66},
        StreamCase{"intra_interlaced.m4v", 96, 64}, StreamCase{"intra_q1.m4v", 96, 64},
        StreamCase{"intra_xvid.m4v", 96, 64}, StreamCase{"h263_sqcif.h263", 128, 96},
        StreamCase{"h263_gob.h263", 128, 96}, StreamCase{"h263_qcif.h263", 176, 144},
        StreamCase{"h263_cif.h263", 352, 288}),
    [](const ::testing::TestParamInfo<StreamCase>& info) {
        std::string name = info.param.file;
        for (char& ch : name)
            if (ch == '.') ch = '_';
        return name;
    });

}  // namespace
