// Every committed stream decodes to the reference decoder's number of pictures, each within
// 50 dB PSNR of the reference picture.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "tests/mpeg2video/Mpeg2TestSupport.h"
#include "tests/support/Paths.h"

namespace {

using namespace qm::test::mpeg2;

struct Expected {
    int width = 0, height = 0, chroma = 420, frames = 0;
};

Expected ReadExpected(const std::filesystem::path& path) {
    Expected e;
    std::ifstream in(path);
    std::string key;
    while (in >> key) {
        if (key == "size")
            in >> e.width >> e.height;
        else if (key == "chroma")
            in >> e.chroma;
        else if (key == "frames")
            in >> e.frames;
        else
            break;
    }
    return e;
}

double Psnr(const uint8_t* a, const uint8_t* b, size_t n) {
    double se = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = double(a[i]) - double(b[i]);
        se += d * d;
    }
    if (se == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * double(n) / se);
}

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, MatchesReferenceDecode) {
    const auto dir = qm::test::FixtureDir() / "mpeg2";
    const std::string name = GetParam();
    const auto stream = ReadFile(dir / (name + ".m2v"));
    const auto reference = ReadFile(dir / (name + ".yuv"));
    const Expected e = ReadExpected(dir / (name + ".txt"));
    ASSERT_FALSE(stream.empty());
    ASSERT_GT(e.frames, 0);
    const size_t cw = size_t(e.width + 1) / 2;
    const size_t ch = e.chroma == 422 ? size_t(e.height) : size_t(e.height + 1) / 2;
    const size_t frameSize = size_t(e.width) * size_t(e.height) + 2 * cw * ch;
    ASSERT_EQ(reference.size(), frameSize * size_t(e.frames));

    for (int threads : {1, 3}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const DecodeResult r = Decode(stream, threads);
        if (const char* dump = std::getenv("QM_DUMP")) {
            std::ofstream o(std::string(dump) + "/" + name + ".yuv", std::ios::binary);
            for (const Picture& p : r.pictures)
                o.write(reinterpret_cast<const char*>(p.planes.data()),
                        std::streamsize(p.planes.size()));
        }
        ASSERT_EQ(int(r.pictures.size()), e.frames);
        double worst = 99.0;
        std::string perPicture;
        for (int f = 0; f < e.frames; ++f) {
            const Picture& p = r.pictures[size_t(f)];
            ASSERT_EQ(p.width, e.width);
            ASSERT_EQ(p.height, e.height);
            ASSERT_EQ(p.planes.size(), frameSize);
            EXPECT_EQ(p.damaged, 0) << "picture " << f;
            const double psnr =
                Psnr(p.planes.data(), reference.data() + frameSize * size_t(f), frameSize);
            EXPECT_GE(psnr, 50.0) << "picture " << f;
            worst = std::min(worst, psnr);
            const double luma = Psnr(p.planes.data(), reference.data() + frameSize * size_t(f),
                                     size_t(e.width) * size_t(e.height));
            char text[32];
            std::snprintf(text, sizeof text, " %.1f/%.1f", psnr, luma);
            perPicture += text;
        }
        std::printf("%s: %d pictures, lowest PSNR %.2f dB (all/luma:%s)\n", name.c_str(), e.frames,
                    worst, perPicture.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(Mpeg2Fixtures, Conformance,
                         ::testing::Values("mpeg1_bframes", "mpeg1_mpeg2enc", "mpeg2_open_gop",
                                           "mpeg2_closed_gop_matrices", "mpeg2_interlaced_tff",
                                           "mpeg2_interlaced_bff", "mpeg2_422", "mpeg2_pulldown",
                                           "mpeg2_mpeg2enc_interlaced", "mpeg2_interlaced_72"));

}  // namespace
