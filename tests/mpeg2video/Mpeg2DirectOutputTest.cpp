// Through a post-processing chain that would only copy, B pictures are decoded straight into the
// caller's output: every picture must still match the one copied out of the decoder's slots, in
// either chroma plane order, at any output pitch, on any thread count, and nothing outside the
// output's planes may be written.
#include <gtest/gtest.h>

#include <algorithm>

#include "SDKs/CodecFramework/vpp/VideoProcessing.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"
#include "tests/support/Paths.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg2;

std::vector<uint8_t> Fixture(const char* name) {
    return ReadFile(qm::test::FixtureDir() / "mpeg2" / (std::string(name) + ".m2v"));
}

// The picture size of the first sequence header.
bool SequenceSize(const std::vector<uint8_t>& s, int* width, int* height) {
    for (size_t i = 0; i + 7 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xB3) {
            *width = (s[i + 4] << 4) | (s[i + 5] >> 4);
            *height = ((s[i + 5] & 15) << 8) | s[i + 6];
            return true;
        }
    return false;
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

struct OutputRun {
    std::vector<Picture> pictures;
    std::vector<UMC::Status> statuses;
    int strayWrites = 0;
};

// Decodes as the capture helper does, but through `chain` (the decoder's own when null) into
// an output of `format`.
OutputRun DecodeIntoOutput(const std::vector<uint8_t>& stream, int threads, UMC::ColorFormat format,
                           int pitchExtra, UMC::BaseCodec* chain = nullptr) {
    OutputRun run;
    int width = 0, height = 0;
    if (!SequenceSize(stream, &width, &height)) return run;
    Output out(width, height, format, pitchExtra, (height + 1) / 2);
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoDecoderParams params;
    params.numThreads = threads;
    params.lFlags = UMC::FLAG_VDEC_REORDER;
    params.pPostProcessing = chain;
    decoder.SetDirectOutput(true);
    if (decoder.Init(&params) != UMC::STATUS_OK) return run;
    uint8_t seed = 1;
    auto call = [&](UMC::MediaData* in) {
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
    };
    Feed(stream, call);
    return run;
}

void ExpectSame(const OutputRun& direct, const DecodeResult& copied, bool undamagedOnly = false) {
    EXPECT_EQ(direct.strayWrites, 0);
    EXPECT_EQ(direct.statuses, copied.statuses);
    ASSERT_EQ(direct.pictures.size(), copied.pictures.size());
    for (size_t k = 0; k < copied.pictures.size(); ++k) {
        const Picture &a = direct.pictures[k], &b = copied.pictures[k];
        EXPECT_EQ(a.damaged, b.damaged) << k;
        EXPECT_EQ(a.frameType, b.frameType) << k;
        EXPECT_EQ(a.structure, b.structure) << k;
        EXPECT_EQ(a.time, b.time) << k;
        if (!undamagedOnly || !b.damaged) {
            EXPECT_TRUE(a.planes == b.planes) << "picture " << k;
        }
    }
}

TEST(Mpeg2DirectOutput, EveryFixtureMatchesTheSlotCopyInBothPlaneOrdersAndPitches) {
    int streams = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(qm::test::FixtureDir() / "mpeg2")) {
        // 4:2:2 pictures are converted, never written straight into a 4:2:0 output.
        if (entry.path().extension() != ".m2v" || entry.path().stem() == "mpeg2_422") continue;
        const auto stream = ReadFile(entry.path());
        const DecodeResult copied = Decode(stream, 1);
        ASSERT_FALSE(copied.pictures.empty());
        ++streams;
        for (UMC::ColorFormat format : {UMC::YUV420, UMC::YV12})
            for (int threads : {1, 2, 3})
                for (int pitchExtra : {0, 40}) {
                    SCOPED_TRACE(entry.path().filename().string() + " format " +
                                 std::to_string(format) + " threads " + std::to_string(threads) +
                                 " pitch +" + std::to_string(pitchExtra));
                    ExpectSame(DecodeIntoOutput(stream, threads, format, pitchExtra), copied);
                }
    }
    EXPECT_GE(streams, 9);
}

// A damaged B picture is decoded again into its slot: the pictures without damage are exact, and
// every thread count gives the same output.
TEST(Mpeg2DirectOutput, DamagedStreamsKeepTheirUndamagedPicturesAndThreadAgreement) {
    for (const char* name : {"mpeg2_open_gop", "mpeg2_interlaced_72", "mpeg1_mpeg2enc"}) {
        const auto clean = Fixture(name);
        qm::test::Rng rng(23);
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
            auto stream = clean;
            for (int k = 0; k < 3; ++k)
                stream[size_t(rng.Int(60, int(stream.size()) - 1))] ^= uint8_t(rng.Int(1, 255));
            const OutputRun one = DecodeIntoOutput(stream, 1, UMC::YV12, 8);
            ExpectSame(one, Decode(stream, 1), true);
            for (int threads : {2, 3}) {
                const OutputRun many = DecodeIntoOutput(stream, threads, UMC::YV12, 8);
                ASSERT_EQ(many.pictures.size(), one.pictures.size());
                for (size_t k = 0; k < one.pictures.size(); ++k)
                    EXPECT_TRUE(many.pictures[k].planes == one.pictures[k].planes) << k;
            }
        }
    }
}

// The decoder asks its chain: one that deinterlaces or converts is given every picture, B
// pictures included, and yields what it makes of the slot's picture.
TEST(Mpeg2DirectOutput, AChainThatDoesMoreThanCopyGetsEveryPicture) {
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
        const size_t lumaSize = size_t(c.width) * size_t(c.height);
        const size_t chromaSize = size_t(c.chromaWidth) * size_t(c.chromaHeight);
        std::vector<uint8_t> planes = c.planes;
        uint8_t* base[3] = {planes.data(), planes.data() + lumaSize,
                            planes.data() + lumaSize + chromaSize};
        for (int p = 0; p < 3; ++p) {
            in.SetPlanePointer(base[p], p);
            in.SetPlanePitch(size_t(p ? c.chromaWidth : c.width), p);
        }
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
TEST(Mpeg2DirectOutput, OffByDefaultSoTheLastBPictureCanBeShownAgain) {
    const auto stream = Fixture("mpeg2_open_gop");
    int width = 0, height = 0;
    ASSERT_TRUE(SequenceSize(stream, &width, &height));
    Output out(width, height, UMC::YV12, 0, (height + 1) / 2);
    Output again(width, height, UMC::YV12, 0, (height + 1) / 2);
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
