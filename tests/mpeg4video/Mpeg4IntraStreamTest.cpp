// I-VOP decoding of the committed streams against ffmpeg's decode.
#include <gtest/gtest.h>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"

namespace {

using namespace qm::test::mpeg4;

class Mpeg4IntraStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(Mpeg4IntraStream, EveryPictureCloseToTheReference) {
    spInitProcessorDispatch();
    const StreamCase c = GetParam();
    const std::vector<uint8_t> stream = c.Stream();
    ASSERT_FALSE(stream.empty());
    ExpectMatchesReference(c, DecodeAll(stream));
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
    StreamCaseName);

}  // namespace
