// P- and B-VOP decoding of the committed streams against ffmpeg's decode, through a test driver
// that keeps the references and gives pictures out in display order.
#include <gtest/gtest.h>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4InterDriver.h"

namespace {

using namespace qm::test::mpeg4;

class Mpeg4InterStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(Mpeg4InterStream, EveryPictureCloseToTheReference) {
    spInitProcessorDispatch();
    const StreamCase c = GetParam();
    const std::vector<uint8_t> stream = c.Stream();
    ASSERT_FALSE(stream.empty());
    InterDriver driver;
    ExpectMatchesReference(c, driver.Run(stream));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Mpeg4InterStream,
    ::testing::Values(
        StreamCase{"inter_p.m4v", 64, 48}, StreamCase{"inter_mv4.m4v", 64, 48},
        StreamCase{"inter_partitioned.m4v", 64, 48}, StreamCase{"inter_b2.m4v", 64, 48},
        StreamCase{"inter_resync.m4v", 64, 48}, StreamCase{"inter_odd74x42.m4v", 74, 42},
        StreamCase{"inter_qpel.m4v", 64, 48}, StreamCase{"xvid_qpel_b.m4v", 64, 48},
        StreamCase{"xvid_gmc.m4v", 64, 48}, StreamCase{"xvid_gmc_zoom.m4v", 64, 48},
        StreamCase{"xvid_gmc_rotate2.m4v", 64, 48}, StreamCase{"xvid_gmc_pan1.m4v", 64, 48},
        StreamCase{"h263_p.h263", 128, 96}, StreamCase{"inter_interlaced.m4v", 64, 48},
        StreamCase{"inter_gop_open.m4v", 48, 32}, StreamCase{"inter_gop_closed.m4v", 48, 32}),
    StreamCaseName);

}  // namespace
