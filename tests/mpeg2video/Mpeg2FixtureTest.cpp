// Every committed stream, clean and damaged, through every way of running the decoder: within
// 50 dB of the reference decode, the same pictures on 1 to 8 slice threads, and decoded straight
// into the caller's output (a chain that only copies lets B pictures bypass the slots) in either
// chroma plane order, at any pitch, with nothing written outside the output's planes. Run under
// the thread sanitizer by the tsan preset.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <tuple>

#include "SDKs/CodecFramework/vpp/VideoProcessing.h"
#include "tests/mpeg2video/Mpeg2StreamWriter.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg2;

const char* const kFixtures[] = {"mpeg1_bframes",
                                 "mpeg1_mpeg2enc",
                                 "mpeg2_open_gop",
                                 "mpeg2_closed_gop_matrices",
                                 "mpeg2_interlaced_tff",
                                 "mpeg2_interlaced_bff",
                                 "mpeg2_422",
                                 "mpeg2_pulldown",
                                 "mpeg2_mpeg2enc_interlaced",
                                 "mpeg2_interlaced_72"};

// The reference decode's description: "size W H", "chroma 420|422", "frames N".
struct Expected {
    int width = 0, height = 0, chroma = 420, frames = 0;
};

Expected ReadExpected(const std::string& name) {
    Expected e;
    std::ifstream in(qm::test::FixtureDir() / "mpeg2" / (name + ".txt"));
    for (std::string key; in >> key;) {
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
    for (size_t i = 0; i < n; ++i) se += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return se == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(n) / se);
}

// An output picture in memory of its own: planes `pitchExtra` bytes wider than the picture and
// guard bytes around them, all refilled with junk before every call.
class Output {
public:
    static constexpr size_t kGuard = 64;

    Output(int width, int height, UMC::ColorFormat format, int pitchExtra, int chromaHeight)
        : m_width(width), m_height(height), m_chromaHeight(chromaHeight) {
        m_pitch[0] = size_t(width + pitchExtra);
        m_pitch[1] = size_t(width / 2 + pitchExtra / 2);
        m_size[0] = m_pitch[0] * size_t(height);
        m_size[1] = m_size[2] = m_pitch[1] * size_t(chromaHeight);
        m_memory.resize(m_size[0] + m_size[1] + m_size[2] + 4 * kGuard);
        EXPECT_EQ(picture.Init(width, height, format), UMC::STATUS_OK);
        size_t at = kGuard;
        for (int p = 0; p < 3; ++p) {
            m_offset[p] = at;
            picture.SetPlanePointer(m_memory.data() + at, p);
            picture.SetPlanePitch(m_pitch[p ? 1 : 0], p);
            at += m_size[p] + kGuard;
        }
    }

    void Scribble(uint8_t seed) {
        for (size_t i = 0; i < m_memory.size(); ++i) m_memory[i] = uint8_t(seed + i * 7);
        m_seed = seed;
    }

    // Bytes past each line's width and between the planes keep their junk.
    bool OnlyPlanesWritten() const {
        auto junk = [&](size_t i) { return m_memory[i] == uint8_t(m_seed + i * 7); };
        for (size_t i = 0; i < m_offset[0]; ++i)
            if (!junk(i)) return false;
        for (int p = 0; p < 3; ++p) {
            const int w = p ? m_width / 2 : m_width, h = p ? m_chromaHeight : m_height;
            const size_t pitch = m_pitch[p ? 1 : 0];
            for (int y = 0; y < h; ++y)
                for (size_t x = size_t(w); x < pitch; ++x)
                    if (!junk(m_offset[p] + size_t(y) * pitch + x)) return false;
            for (size_t i = m_offset[p] + m_size[p]; i < m_offset[p] + m_size[p] + kGuard; ++i)
                if (!junk(i)) return false;
        }
        return true;
    }

    // Y, Cb, Cr packed, as the capture stage records them.
    std::vector<uint8_t> Planes() const {
        std::vector<uint8_t> packed;
        const bool yv12 = picture.GetColorFormat() == UMC::YV12;
        for (int p : {0, yv12 ? 2 : 1, yv12 ? 1 : 2}) {
            const int w = p ? m_width / 2 : m_width, h = p ? m_chromaHeight : m_height;
            for (int y = 0; y < h; ++y) {
                const uint8_t* row = m_memory.data() + m_offset[p] + size_t(y) * m_pitch[p ? 1 : 0];
                packed.insert(packed.end(), row, row + w);
            }
        }
        return packed;
    }

    UMC::VideoData picture;

private:
    int m_width, m_height, m_chromaHeight;
    size_t m_pitch[2] = {}, m_size[3] = {}, m_offset[3] = {};
    std::vector<uint8_t> m_memory;
    uint8_t m_seed = 0;
};

struct OutputRun : DecodeResult {
    int strayWrites = 0;
};

// Decodes as Decode does, but with the direct path allowed, through `chain` (the decoder's own
// when null) into an output of `format`.
OutputRun DecodeIntoOutput(const std::vector<uint8_t>& stream, int threads, UMC::ColorFormat format,
                           int pitchExtra, UMC::BaseCodec* chain = nullptr) {
    OutputRun run;
    const uint8_t code[4] = {0, 0, 1, 0xB3};
    const auto s = std::search(stream.begin(), stream.end(), code, code + 4);
    if (stream.end() - s < 8) return run;
    const int width = (s[4] << 4) | (s[5] >> 4), height = ((s[5] & 15) << 8) | s[6];
    Output out(width, height, format, pitchExtra, (height + 1) / 2);
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoDecoderParams params;
    params.numThreads = threads;
    params.lFlags = UMC::FLAG_VDEC_REORDER;
    params.pPostProcessing = chain;
    decoder.SetDirectOutput(true);
    if (decoder.Init(&params) != UMC::STATUS_OK) return run;
    uint8_t seed = 1;
    Feed(stream, [&](UMC::MediaData* in) {
        out.Scribble(seed += 37);
        const UMC::Status st = decoder.GetFrame(in, &out.picture);
        run.statuses.push_back(st);
        if (st == UMC::STATUS_OK) {
            if (!out.OnlyPlanesWritten()) ++run.strayWrites;
            Picture p;
            p.frameType = out.picture.GetFrameType();
            p.structure = out.picture.GetPictureStructure();
            p.damaged = out.picture.GetDamaged();
            p.time = out.picture.GetTime();
            p.planes = out.Planes();
            run.pictures.push_back(std::move(p));
        }
        return st;
    });
    return run;
}

// The same statuses and pictures (all, or those `reference` has undamaged) with the same
// description; a reference picture goes out while the next one is decoded.
void ExpectSame(const DecodeResult& got, const DecodeResult& reference,
                bool undamagedOnly = false) {
    EXPECT_EQ(got.statuses, reference.statuses);
    ASSERT_EQ(got.pictures.size(), reference.pictures.size());
    for (size_t k = 0; k < got.pictures.size(); ++k) {
        const Picture &a = got.pictures[k], &b = reference.pictures[k];
        EXPECT_EQ(std::tuple(a.damaged, a.frameType, a.structure, a.time),
                  std::tuple(b.damaged, b.frameType, b.structure, b.time))
            << "picture " << k;
        EXPECT_TRUE((undamagedOnly && b.damaged) || a.planes == b.planes) << "picture " << k;
    }
}

void ExpectSameDirect(const OutputRun& direct, const DecodeResult& reference,
                      bool undamagedOnly = false) {
    EXPECT_EQ(direct.strayWrites, 0);
    ExpectSame(direct, reference, undamagedOnly);
}

TEST(Mpeg2Fixtures, EveryWayOfDecodingGivesTheReferencePictures) {
    for (const std::string name : kFixtures) {
        SCOPED_TRACE(name);
        const auto stream = Fixture(name);
        const auto reference = ReadFile(qm::test::FixtureDir() / "mpeg2" / (name + ".yuv"));
        const Expected e = ReadExpected(name);
        ASSERT_FALSE(stream.empty());
        ASSERT_GT(e.frames, 0);
        const size_t cw = size_t(e.width + 1) / 2;
        const size_t ch = e.chroma == 422 ? size_t(e.height) : size_t(e.height + 1) / 2;
        const size_t frameSize = size_t(e.width) * size_t(e.height) + 2 * cw * ch;
        ASSERT_EQ(reference.size(), frameSize * size_t(e.frames));

        const DecodeResult one = Decode(stream, 1);
        ASSERT_EQ(int(one.pictures.size()), e.frames);
        double worst = 99.0;
        for (int f = 0; f < e.frames; ++f) {
            const Picture& p = one.pictures[size_t(f)];
            ASSERT_EQ(std::tuple(p.width, p.height, p.planes.size()),
                      std::tuple(e.width, e.height, frameSize));
            EXPECT_EQ(p.damaged, 0) << "picture " << f;
            const double psnr =
                Psnr(p.planes.data(), reference.data() + frameSize * size_t(f), frameSize);
            EXPECT_GE(psnr, 50.0) << "picture " << f;
            worst = std::min(worst, psnr);
        }
        std::printf("%s: %d pictures, lowest PSNR %.2f dB\n", name.c_str(), e.frames, worst);

        for (int threads = 2; threads <= 8; ++threads) {
            SCOPED_TRACE("threads " + std::to_string(threads));
            ExpectSame(Decode(stream, threads), one);
        }
        // 4:2:2 pictures are converted, never written straight into a 4:2:0 output.
        if (e.chroma == 422) continue;
        for (UMC::ColorFormat format : {UMC::YUV420, UMC::YV12})
            for (int threads : {1, 2, 3})
                for (int pitchExtra : {0, 40}) {
                    SCOPED_TRACE(testing::Message() << "direct, format " << format << " threads "
                                                    << threads << " pitch +" << pitchExtra);
                    ExpectSameDirect(DecodeIntoOutput(stream, threads, format, pitchExtra), one);
                }
    }
}

// Damaged and truncated streams never fail; every thread count decodes them alike, and the
// direct path keeps the undamaged pictures exact (a damaged B picture is decoded again into its
// slot).
TEST(Mpeg2Fixtures, DamagedStreamsDecodeAlikeEverywhere) {
    qm::test::Rng rng(23);
    int damagedPictures = 0;
    for (const std::string name :
         {"mpeg2_open_gop", "mpeg2_interlaced_72", "mpeg1_mpeg2enc", "mpeg2_interlaced_tff"}) {
        const auto clean = Fixture(name);
        const size_t cleanCount = Decode(clean).pictures.size();
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(name + " round " + std::to_string(round));
            auto stream = clean;
            for (int k = 0; k <= 1 + round % 6; ++k)
                stream[size_t(rng.Int(40, int(stream.size()) - 1))] ^= uint8_t(rng.Int(1, 255));
            const DecodeResult one = Decode(stream, 1);
            EXPECT_LE(one.pictures.size(), cleanCount + 2);
            for (const Picture& p : one.pictures) damagedPictures += p.damaged;
            for (int threads = 2; threads <= 4; ++threads) ExpectSame(Decode(stream, threads), one);
            const OutputRun direct = DecodeIntoOutput(stream, 1, UMC::YV12, 8);
            ExpectSameDirect(direct, one, true);
            for (int threads : {2, 3}) {
                const OutputRun many = DecodeIntoOutput(stream, threads, UMC::YV12, 8);
                ASSERT_EQ(many.pictures.size(), direct.pictures.size());
                for (size_t k = 0; k < many.pictures.size(); ++k)
                    EXPECT_TRUE(many.pictures[k].planes == direct.pictures[k].planes) << k;
            }
        }
        for (size_t len = 1; len < clean.size(); len += clean.size() / 11)
            EXPECT_LE(Decode(std::vector<uint8_t>(clean.begin(), clean.begin() + long(len)), 2)
                          .pictures.size(),
                      cleanCount);
    }
    EXPECT_GT(damagedPictures, 0);
}

// Intra pictures of 4x4 macroblocks, each macroblock its own grey, in slices given as (row,
// first column, macroblock count); MPEG-1 slices may run on into the following rows.
std::vector<uint8_t> IntraSlices(bool mpeg2, const std::vector<std::array<int, 3>>& slices) {
    StreamWriter w;
    w.SequenceHeader({.width = 64, .height = 64, .mpeg2 = mpeg2});
    w.Gop(true);
    for (int picture = 0; picture < 3; ++picture) {
        w.PictureHeader({.temporalReference = picture, .codingExtension = mpeg2});
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
    return w.End();
}

TEST(Mpeg2Fixtures, SlicesAcrossRowsAndOutOfOrderGiveTheSingleThreadPicture) {
    for (const auto& stream :
         {// MPEG-1 slices of six macroblocks: each ends in the row where the next one begins.
          IntraSlices(false, {{0, 0, 6}, {1, 2, 6}, {3, 0, 4}}),
          // Rows out of order, and a row that two slices apart both write.
          IntraSlices(false, {{0, 0, 4}, {2, 0, 4}, {1, 0, 4}, {3, 0, 4}}),
          IntraSlices(true, {{2, 0, 4}, {0, 0, 4}, {1, 0, 2}, {0, 1, 3}, {3, 0, 4}})}) {
        const DecodeResult one = Decode(stream, 1);
        ASSERT_FALSE(one.pictures.empty());
        for (int threads = 2; threads <= 4; ++threads) ExpectSame(Decode(stream, threads), one);
    }
}

// The decoder asks its chain: one that deinterlaces or converts is given every picture, B
// pictures included, and yields what it makes of the slot's picture.
TEST(Mpeg2Fixtures, AChainThatDoesMoreThanCopyGetsEveryPicture) {
    const auto stream = Fixture("mpeg2_interlaced_72");
    UMC::VideoProcessingParams params;
    params.m_iDeinterlacingMethod = 3;
    UMC::VideoProcessing chain, reference;
    ASSERT_EQ(chain.SetParams(&params), UMC::STATUS_OK);
    ASSERT_EQ(reference.SetParams(&params), UMC::STATUS_OK);
    const OutputRun run = DecodeIntoOutput(stream, 2, UMC::YV12, 0, &chain);
    const DecodeResult copied = Decode(stream, 1);
    ASSERT_EQ(run.pictures.size(), copied.pictures.size());
    for (size_t k = 0; k < copied.pictures.size(); ++k) {
        const Picture& c = copied.pictures[k];
        UMC::VideoData in;
        ASSERT_EQ(in.Init(c.width, c.height, UMC::YUV420), UMC::STATUS_OK);
        std::vector<uint8_t> planes = c.planes;
        ASSERT_EQ(in.SetSurface(planes.data(), 0), UMC::STATUS_OK);
        in.SetPictureStructure(c.structure);
        Output want(c.width, c.height, UMC::YV12, 0, c.chromaHeight);
        want.Scribble(0);
        ASSERT_EQ(reference.GetFrame(&in, &want.picture), UMC::STATUS_OK);
        EXPECT_TRUE(run.pictures[k].planes == want.Planes()) << "picture " << k;
        EXPECT_EQ(run.pictures[k].structure, UMC::PS_FRAME);
    }
}

// Unless the caller allows the direct path, every B picture reaches its slot and the last one
// decoded can be shown again.
TEST(Mpeg2Fixtures, DirectOutputIsOffByDefaultSoTheLastBPictureCanBeShownAgain) {
    const auto stream = Fixture("mpeg2_open_gop");
    const DecodeResult copied = Decode(stream);
    ASSERT_FALSE(copied.pictures.empty());
    const int width = copied.pictures[0].width, height = copied.pictures[0].height;
    Output out(width, height, UMC::YV12, 0, height / 2),
        again(width, height, UMC::YV12, 0, height / 2);
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoDecoderParams params;
    params.lFlags = UMC::FLAG_VDEC_REORDER;
    ASSERT_EQ(decoder.Init(&params), UMC::STATUS_OK);
    int shown = 0;
    Feed(stream, [&](UMC::MediaData* in) {
        const UMC::Status st = decoder.GetFrame(in, &out.picture);
        if (st == UMC::STATUS_OK && out.picture.GetFrameType() == UMC::B_PICTURE) {
            again.Scribble(3);
            EXPECT_EQ(decoder.PreviewLastFrame(&again.picture), UMC::STATUS_OK);
            EXPECT_TRUE(again.Planes() == out.Planes()) << "B picture " << shown;
            ++shown;
        }
        return st;
    });
    EXPECT_GT(shown, 0);
}

}  // namespace
