// Streams from lame and twolame against mpg123's decodes (tests/fixtures/mpa/make_fixtures.sh),
// whole and in pieces; then damaged (bits flipped, cut short), which must never break the decoder.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/mpegaudio/DecodeHelpers.h"
#include "tests/support/Paths.h"
#include "tests/support/Random.h"

namespace {

struct Fixture {
    std::string stream;
    int channels = 0;
    int rate = 0;
    size_t samples = 0;
    double psnr = 0.0;
};

std::vector<Fixture> ReadManifest() {
    std::vector<Fixture> list;
    std::ifstream in(qm::test::FixtureDir() / "mpa" / "fixtures.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Fixture f;
        fields >> f.stream >> f.channels >> f.rate >> f.samples >> f.psnr;
        if (fields) list.push_back(f);
    }
    return list;
}

TEST(MpegAudioFixtures, MatchMpg123AndSurviveDamage) {
    const std::vector<Fixture> fixtures = ReadManifest();
    ASSERT_GE(fixtures.size(), 14u);
    qm::test::Rng rng(11);
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.stream);
        const auto dir = qm::test::FixtureDir() / "mpa";
        std::vector<uint8_t> data = qm::test::ReadBytes(dir / f.stream);
        std::string base = f.stream.substr(0, f.stream.rfind('.'));
        std::vector<int16_t> reference = qm::test::ReadPcm(dir / (base + ".pcm"));
        ASSERT_EQ(reference.size(), f.samples);
        // Whole and in demultiplexer-sized pieces: the same samples either way.
        qm::test::Decoded whole = qm::test::DecodeStream(data);
        qm::test::Decoded pieces = qm::test::DecodeStream(data, 1000);
        EXPECT_EQ(whole.channels, f.channels);
        EXPECT_EQ(whole.rate, f.rate);
        EXPECT_EQ(whole.pcm.size(), f.samples);
        EXPECT_EQ(whole.errors, 0);
        EXPECT_EQ(pieces.pcm, whole.pcm);
        const double psnr = qm::test::Psnr(whole.pcm, reference);
        EXPECT_GE(psnr, 90.0);
        // A drop of more than a decibel from the figure recorded with the fixtures is a change
        // in the decoder's arithmetic worth a look.
        EXPECT_GE(psnr, f.psnr - 1.0);
        for (int round = 0; round < 8; ++round) {
            std::vector<uint8_t> d = data;
            for (int flips = rng.Int(1, 60); flips > 0; --flips)
                d[size_t(rng.Int(0, int(d.size()) - 1))] ^= uint8_t(1 << rng.Int(0, 7));
            d.resize(size_t(rng.Int(int(d.size()) / 2, int(d.size()))));
            const qm::test::Decoded got =
                qm::test::DecodeStream(d, size_t(rng.Int(0, 2000)), uint32_t(rng.Int(0, 1)));
            EXPECT_EQ(got.pcm.size() % size_t(std::max(got.channels, 1)), 0u);
        }
    }
}

}  // namespace
