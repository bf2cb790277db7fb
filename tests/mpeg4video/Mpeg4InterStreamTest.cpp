// P- and B-VOP decoding of the committed streams against ffmpeg's decode, through a test driver
// that keeps the references and gives pictures out in display order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4InterDriver.h"

namespace {

using namespace qm::test::mpeg4;

struct StreamCase {
    const char* file;
    int width, height;
};

class Mpeg4InterStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(Mpeg4InterStream, EveryPictureWithin50dBOfTheReference) {
    spInitProcessorDispatch();
    const StreamCase c = GetParam();
    const std::string stem = std::string(c.file).substr(0, std::string(c.file).rfind('.'));
    const std::vector<uint8_t> stream = ReadFile(Fixture(c.file));
    const std::vector<uint8_t> reference = ReadFile(Fixture(stem + ".yuv"));
    ASSERT_FALSE(stream.empty());
    const size_t frameSize =
        size_t(c.width) * c.height + 2 * size_t((c.width + 1) / 2) * ((c.height + 1) / 2);
    ASSERT_EQ(reference.size() % frameSize, 0u);

    InterDriver driver;
    const Decoded d = driver.Run(stream);
    ASSERT_EQ(d.open, UMC::STATUS_OK);
    EXPECT_EQ(d.width, c.width);
    EXPECT_EQ(d.height, c.height);
    ASSERT_EQ(d.pictures.size(), reference.size() / frameSize);
    double minimum = 99.0, sum = 0;
    for (size_t i = 0; i < d.pictures.size(); ++i) {
        const double psnr = Psnr(d.pictures[i].data(), reference.data() + i * frameSize, frameSize);
        minimum = std::min(minimum, psnr);
        sum += psnr;
        EXPECT_GE(psnr, 50.0) << "picture " << i;
        EXPECT_EQ(d.results[i], 0) << "picture " << i;
    }
    std::printf("%s: %zu pictures, min %.2f dB, mean %.2f dB\n", c.file, d.pictures.size(), minimum,
                sum / double(d.pictures.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Mpeg4InterStream,
    ::testing::Values(StreamCase{"inter_p.m4v", 64, 48}, StreamCase{"inter_mv4.m4v", 64, 48},
                      StreamCase{"inter_partitioned.m4v", 64, 48},
                      StreamCase{"inter_b2.m4v", 64, 48}, StreamCase{"inter_resync.m4v", 64, 48},
                      StreamCase{"inter_odd74x42.m4v", 74, 42},
                      StreamCase{"inter_qpel.m4v", 64, 48}, StreamCase{"xvid_qpel_b.m4v", 64, 48},
                      StreamCase{"xvid_gmc.m4v", 64, 48}, StreamCase{"h263_p.h263", 128, 96}),
    [](const ::testing::TestParamInfo<StreamCase>& info) {
        std::string name = info.param.file;
        for (char& ch : name)
            if (ch == '.') ch = '_';
        return name;
    });

}  // namespace
