// Frame driver behaviour: CRC failures and both concealment modes, silence, cut streams, rate
// changes, time stamps, parameters, and damaged or foreign input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "tests/ac3/Ac3TestSupport.h"

namespace qm::test {
namespace {

constexpr size_t kFrame = 1536;

// Samples [from, to) of one frame's interleaved output.
std::vector<int16_t> Slice(const Ac3Decoded& d, size_t frame, size_t firstBlock = 0,
                           size_t endBlock = 6) {
    const size_t per = 256 * size_t(d.channels);
    const size_t base = frame * kFrame * size_t(d.channels);
    return std::vector<int16_t>(d.pcm.begin() + ptrdiff_t(base + firstBlock * per),
                                d.pcm.begin() + ptrdiff_t(base + endBlock * per));
}

bool AllZero(const std::vector<int16_t>& v) {
    for (int16_t x : v)
        if (x) return false;
    return true;
}

// A decoder fed by hand: Input hands it bytes, each Next is one GetFrame into `pcm`.
struct Session {
    explicit Session(UMC::AC3DecoderParams params) {
        EXPECT_EQ(decoder.Init(&params), UMC::STATUS_OK);
    }
    void Input(const uint8_t* data, size_t size) {
        in.SetBufferPointer(const_cast<uint8_t*>(data), size);
        in.SetDataSize(size);
    }
    UMC::Status Next(size_t outBytes = 18432) {
        out.SetBufferPointer(reinterpret_cast<uint8_t*>(pcm.data()), outBytes);
        return decoder.GetFrame(&in, &out);
    }
    UMC::AC3Decoder decoder;
    std::vector<int16_t> pcm = std::vector<int16_t>(18432 / 2);
    UMC::MediaData in;
    UMC::AudioData out;
};

class Ac3Damage : public ::testing::Test {
protected:
    void SetUp() override {
        clean = WithoutDither(Ac3Fixture("stereo_48k"));
        offsets = FrameOffsets(clean);
        ASSERT_GE(offsets.size(), 6u);
        reference = DecodeAc3(clean, Ac3Params(8));
    }
    size_t FrameEnd(size_t i) const {
        return i + 1 < offsets.size() ? offsets[i + 1] : clean.size();
    }
    std::vector<uint8_t> clean;
    std::vector<size_t> offsets;
    Ac3Decoded reference;
};

// Damaged frame 3 with its CRCs as they fall: the frames before it decode as before, and each
// block of frame 3 and the next is the reference's ('r'), silent ('z'), a tail only ('t': neither
// silent nor the reference's) or not checked ('-').
TEST_F(Ac3Damage, ConcealmentBlockByBlock) {
    const auto flip = [](size_t at, uint8_t bit) {
        return [=](uint8_t* f, size_t bytes) { f[at < bytes ? at : bytes - 1] ^= bit; };
    };
    // cplbegf 15 and cplendf 0 behind the frame's new coupling strategy: a range that ends before
    // it begins.
    const auto coupling = [](uint8_t* f, size_t bytes) {
        UMC::ac3::BitReader br;
        br.Set(f, bytes);
        UMC::ac3::Bsi bsi{};
        ASSERT_TRUE(UMC::ac3::ParseSyncInfo(br, &bsi) && UMC::ac3::ParseBsi(br, &bsi));
        ASSERT_EQ(bsi.acmod, 2);
        br.Get(4);                                             // blksw, dithflag
        if (br.Get1()) br.Get(8);                              // dynrng
        ASSERT_EQ(br.Get(2), 3u);                              // a new coupling strategy, in use
        for (size_t i = 0, at = br.pos + 3; i < 8; ++i, ++at)  // behind chincpl and phsflginu
            f[at / 8] = uint8_t(i < 4 ? f[at / 8] | 0x80 >> at % 8 : f[at / 8] & ~(0x80 >> at % 8));
        UMC::ac3::WriteCrcs(f, bytes);
    };
    const struct {
        const char* name;
        std::function<void(uint8_t*, size_t)> edit;
        uint32_t concealMode;
        const char* blocks;  // frame 3, then frame 4
    } kRows[] = {
        // crc1: the whole frame; conceal_mode 0 keeps the previous block's tail in block 0, and
        // the next frame starts without the overlap.
        {"crc1, mode 0", flip(9, 0x10), 0,
         "tzzzzz"
         "trrrrr"},
        {"crc1, mode 1", flip(9, 0x10), 1,
         "zzzzzz"
         "trrrrr"},
        {"crc2", flip(SIZE_MAX, 0x01), 0,
         "rrtzzz"
         "------"},  // keeps the first two blocks
        {"coupling range", coupling, 1,
         "zzzzzz"
         "-rrrrr"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> bad = clean;
        row.edit(bad.data() + offsets[3], FrameEnd(3) - offsets[3]);
        UMC::AC3DecoderParams p = Ac3Params(8);
        p.conceal_mode = row.concealMode;
        const Ac3Decoded d = DecodeAc3(bad, p, 700);
        ASSERT_EQ(d.frames, reference.frames);
        EXPECT_EQ(d.errors, 0);
        EXPECT_EQ(Slice(d, 0, 0, 3 * 6), Slice(reference, 0, 0, 3 * 6));
        for (size_t block = 0; block < 12; ++block) {
            const char want = row.blocks[block];
            const std::vector<int16_t> got = Slice(d, 3, block, block + 1);
            const bool same = got == Slice(reference, 3, block, block + 1);
            if (want == '-') continue;
            EXPECT_EQ(want, same ? 'r' : AllZero(got) ? 'z' : 't') << block;
        }
    }
}

TEST_F(Ac3Damage, UnsupportedBsidWithAGoodCrcIsReportedAndDecodingGoesOn) {
    std::vector<uint8_t> bad = clean;
    uint8_t* f = bad.data() + offsets[2];
    f[5] = uint8_t((f[5] & 0x07) | (10 << 3));  // bsid 10
    UMC::ac3::WriteCrcs(f, FrameEnd(2) - offsets[2]);
    const Ac3Decoded d = DecodeAc3(bad, Ac3Params(8));
    EXPECT_EQ(d.errors, 1);
    EXPECT_EQ(d.frames, reference.frames - 1);
    EXPECT_EQ(Slice(d, d.frames - 1, 1, 6), Slice(reference, reference.frames - 1, 1, 6));

    // On its own: the whole frame is consumed and stands as a frame of silence.
    Session session(Ac3Params(0));
    session.Input(f, FrameEnd(2) - offsets[2]);
    session.in.SetTime(2.0, 0.0);
    std::fill(session.pcm.begin(), session.pcm.end(), int16_t(7));
    EXPECT_EQ(session.Next(kFrame * 2 * 2), UMC::STATUS_INVALID_STREAM);
    EXPECT_EQ(session.in.GetDataSize(), 0u);
    EXPECT_EQ(session.out.GetDataSize(), kFrame * 2 * 2);
    session.pcm.resize(kFrame * 2);
    EXPECT_TRUE(AllZero(session.pcm));
}

TEST_F(Ac3Damage, CutStreamsAndGarbageNeedMoreDataOrNoSync) {
    // A stream cut inside its last frame: the frames before it, and no error.
    std::vector<uint8_t> cut(clean.begin(), clean.begin() + ptrdiff_t(offsets.back() + 100));
    const Ac3Decoded d = DecodeAc3(cut, Ac3Params(8), 333);
    EXPECT_EQ(d.frames, reference.frames - 1);
    EXPECT_EQ(d.errors, 0);

    Session session(Ac3Params(8));
    const std::vector<uint8_t> garbage(1000, 0x5A);
    session.Input(garbage.data(), garbage.size());
    EXPECT_EQ(session.Next(), UMC::STATUS_SYNC_NOT_FOUND);
    EXPECT_EQ(session.in.GetDataSize(), 2u);

    // An output buffer below one frame: nothing consumed.
    session.Input(clean.data(), clean.size());
    EXPECT_EQ(session.Next(kFrame * 2 * 2 - 2), UMC::STATUS_NOT_ENOUGH_BUFFER);
}

TEST_F(Ac3Damage, RandomDamageWithValidCrcsNeverBreaksTheDecoder) {
    std::mt19937 rng(12);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> bad = clean;
        const size_t frame = size_t(rng()) % offsets.size();
        const size_t begin = offsets[frame], end = FrameEnd(frame);
        for (int k = 0; k < 1 + int(rng() % 8); ++k)
            bad[begin + 5 + size_t(rng()) % (end - begin - 5)] ^= uint8_t(1u << (rng() % 8));
        if (trial % 2) UMC::ac3::WriteCrcs(bad.data() + begin, end - begin);
        const Ac3Decoded d = DecodeAc3(bad, Ac3Params(trial % 3 == 0 ? 0 : 8), 512);
        EXPECT_EQ(d.pcm.size(), size_t(d.frames) * kFrame * size_t(d.channels));
        EXPECT_GE(d.frames, reference.frames - 1);
    }
}

TEST(Ac3Decoder, DigitalSilenceDecodesToExactZeros) {
    const Ac3Decoded d = DecodeAc3(WithoutDither(Ac3Fixture("tone_then_silence")), Ac3Params(8));
    ASSERT_GE(d.frames, 6);
    EXPECT_FALSE(AllZero(Slice(d, 1)));
    EXPECT_TRUE(AllZero(Slice(d, size_t(d.frames) - 1)));
}

TEST(Ac3Decoder, DitherFollowsItsGeneratorStepByStep) {
    // The generator as written: a 16-bit signed state, two multiplications by 47989 per value.
    int16_t state = 1;
    uint32_t carried = 1;
    for (int i = 0; i < 200000; ++i) {
        const int16_t a = int16_t(uint16_t(int32_t(state) * 47989));
        const int16_t b = int16_t(uint16_t(int32_t(a) * 47989));
        state = b;
        const float want = float(int(a) + int(b)) * 0.35355338f * (1.0f / 32768.0f);
        const float got = UMC::ac3::DitherValue(carried);
        ASSERT_EQ(std::memcmp(&want, &got, sizeof(float)), 0) << "value " << i;
        ASSERT_EQ(uint16_t(carried), uint16_t(state)) << "value " << i;
    }
}

TEST(Ac3Decoder, DitherIsTheSameOnEveryRunAndAfterReset) {
    const std::vector<uint8_t> stream = Ac3Fixture("c32lfe_48k");
    const Ac3Decoded a = DecodeAc3(stream, Ac3Params(8));
    const Ac3Decoded b = DecodeAc3(stream, Ac3Params(8), 999);
    EXPECT_EQ(a.pcm, b.pcm);

    Session session(Ac3Params(8));
    std::vector<int16_t> runs[2];
    for (auto& run : runs) {
        session.Input(stream.data(), stream.size());
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(session.Next(), UMC::STATUS_OK);
            AppendPcm(session.out, run);
        }
        ASSERT_EQ(session.decoder.Reset(), UMC::STATUS_OK);
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(std::vector<int16_t>(a.pcm.begin(), a.pcm.begin() + ptrdiff_t(runs[0].size())),
              runs[0]);
}

TEST(Ac3Decoder, RateChangeMidStreamAndTimeStamps) {
    std::vector<uint8_t> stream = Ac3Fixture("stereo_32k");
    const size_t first = FrameOffsets(stream).size();
    const std::vector<uint8_t> second = Ac3Fixture("stereo_48k");
    stream.insert(stream.end(), second.begin(), second.end());
    const Ac3Decoded d = DecodeAc3(stream, Ac3Params(0), 4096);
    ASSERT_EQ(d.frames, int(first + FrameOffsets(second).size()));
    EXPECT_EQ(d.rate, 48000);
    ASSERT_GT(d.starts.size(), first + 1);
    EXPECT_NEAR(d.starts[1] - d.starts[0], 1536.0 / 32000.0, 1e-9);
    EXPECT_NEAR(d.starts[first + 1] - d.starts[first], 1536.0 / 48000.0, 1e-9);

    // The input's own time stamp wins over the running clock.
    Session session(Ac3Params(0));
    session.Input(second.data(), second.size());
    session.in.SetTime(2.0, -1.0);
    double s = 0, e = 0;
    ASSERT_EQ(session.Next(), UMC::STATUS_OK);
    session.out.GetTime(s, e);
    EXPECT_DOUBLE_EQ(s, 2.0);
    EXPECT_DOUBLE_EQ(e, 2.032);
    ASSERT_EQ(session.Next(), UMC::STATUS_OK);
    session.out.GetTime(s, e);
    EXPECT_DOUBLE_EQ(s, 2.032);
    float duration = 0;
    ASSERT_EQ(session.decoder.GetDuration(&duration), UMC::STATUS_OK);
    EXPECT_FLOAT_EQ(duration, 0.064f);
}

TEST(Ac3Decoder, ParametersInfoAndOutputLayouts) {
    Session session(Ac3Params(8));
    UMC::AC3Decoder& decoder = session.decoder;
    UMC::AC3DecoderParams bad;
    bad.output_config = 9;  // out of range: the previous value stays
    bad.stereo_mode = 4;
    EXPECT_EQ(decoder.SetParams(&bad), UMC::STATUS_OK);
    UMC::AudioCodecParams plain;
    EXPECT_EQ(decoder.SetParams(&plain), UMC::STATUS_NULL_PTR);

    const std::vector<uint8_t> stream = Ac3Fixture("c32lfe_48k");
    session.Input(stream.data(), stream.size());
    ASSERT_EQ(session.Next(), UMC::STATUS_OK);
    EXPECT_EQ(session.out.m_iChannels, 6);
    EXPECT_EQ(session.out.m_iChannelMask, 0x3Fu);

    UMC::AudioCodecParams info;
    ASSERT_EQ(decoder.GetInfo(&info), UMC::STATUS_OK);
    EXPECT_EQ(info.m_SuggestedInputSize, 3840u);
    EXPECT_EQ(info.m_SuggestedOutputSize, 18432u);
    EXPECT_EQ(info.m_info_in.stream_type, 4);
    EXPECT_EQ(info.m_info_in.bitrate, 448000);
    EXPECT_EQ(info.m_info_in.channel_mask, 0x3Fu);
    EXPECT_EQ(info.m_info_out.channels, 6);
    EXPECT_EQ(info.m_frame_num, 1u);

    // The low-frequency channel on request from a stream that has none: silent.
    UMC::AC3DecoderParams lfe = Ac3Params(2);
    lfe.output_lfe = 1;
    const Ac3Decoded d = DecodeAc3(Ac3Fixture("stereo_48k"), lfe);
    ASSERT_EQ(d.channels, 3);
    EXPECT_EQ(d.mask, 0xBu);
    bool silent = true;
    for (size_t i = 2; i < d.pcm.size(); i += 3) silent &= d.pcm[i] == 0;
    EXPECT_TRUE(silent);
}

// Output channel o is the sum over the coded channels j of weight[o][j] times channel j as coded:
// mono folds to both sides 3 dB down; dual mono selects, mixes or spreads its programmes.
TEST(Ac3Decoder, MonoAndDualMonoFolds) {
    const double k = 0.70710677;
    const struct {
        const char* stream;
        uint32_t config, dualMonoMode;
        int channels;
        double weight[2][2];
    } kRows[] = {
        {"mono_48k", 0, 0, 2, {{k, 0}, {k, 0}}},
        {"dual_mono", 0, 0, 2, {{1, 0}, {0, 1}}},
        {"dual_mono", 0, 1, 2, {{k, 0}, {k, 0}}},
        {"dual_mono", 0, 2, 2, {{0, k}, {0, k}}},
        {"dual_mono", 0, 3, 2, {{.5, .5}, {.5, .5}}},
        {"dual_mono", 1, 0, 1, {{.5, .5}}},
        {"dual_mono", 1, 2, 1, {{0, 1}}},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(testing::Message()
                     << row.stream << " config " << row.config << " mode " << row.dualMonoMode);
        const std::vector<uint8_t> stream = WithoutDither(Ac3Fixture(row.stream));
        const Ac3Decoded coded = DecodeAc3(stream, Ac3Params(8));
        UMC::AC3DecoderParams p = Ac3Params(row.config);
        p.dual_mono_mode = row.dualMonoMode;
        const Ac3Decoded d = DecodeAc3(stream, p);
        const size_t in = size_t(coded.channels), out = size_t(row.channels);
        ASSERT_EQ(d.channels, row.channels);
        ASSERT_EQ(d.pcm.size() * in, coded.pcm.size() * out);
        for (size_t i = 0; i < coded.pcm.size() / in; ++i)
            for (size_t o = 0; o < out; ++o) {
                double want = 0;
                for (size_t j = 0; j < in; ++j) want += row.weight[o][j] * coded.pcm[i * in + j];
                ASSERT_NEAR(d.pcm[i * out + o], want, 1.5) << "sample " << i << " channel " << o;
            }
    }
}

// The word-to-gain step at the ends of the word range, which the streams below do not reach:
// three bits of signed doubling and five of linear mantissa (compression words: four and four).
TEST(Ac3Decoder, DynamicRangeWordExtremes) {
    Ac3EditState s;
    s->drcBoostScale = s->drcCutScale = 1;
    for (auto [word, gain] :
         {std::pair{0x00, 1.0f}, {0x60, 8.0f}, {0x80, 1.0f / 16}, {0x7F, 15.75f}})
        EXPECT_FLOAT_EQ(UMC::ac3::DynamicRangeGain(s.get(), word, false), gain) << word;
    EXPECT_FLOAT_EQ(UMC::ac3::DynamicRangeGain(s.get(), 0x18, true), 3.0f);
}

// The gain of a word in 1/2^20 steps: signed doublings above, linear mantissa below.
double GainOf(int64_t d) {
    const int64_t e = d >= 0 ? d / (1 << 20) : -((-d + (1 << 20) - 1) / (1 << 20));
    return std::ldexp(1.0 + double(d - e * (1 << 20)) / double(1 << 20), int(e));
}

TEST(Ac3Decoder, GainWordsInTheStreamInEveryDrcMode) {
    const std::vector<uint8_t> clean = WithoutDither(Ac3Fixture("stereo_48k"));
    struct Words {
        int dynrng, compr;
    };
    // A boost, a cut and a fraction; the word of block 0 stays through blocks 1, 2, 4 and 5,
    // which carry none. The compression word -6 dB only counts in mode 3.
    const Words words[] = {{0x20, -1}, {0xE0, -1}, {0x10, -1}, {0xE0, 0xF0}};
    struct Scales {
        float boost, cut;
    };
    const Scales scales[] = {{1, 1}, {0.5f, 0.5f}, {0, 1}, {1, 0}};
    for (uint32_t config : {8u, 1u}) {  // as coded, and the mono downmix
        UMC::AC3DecoderParams flat = Ac3Params(config);
        const Ac3Decoded reference = DecodeAc3(clean, flat);
        ASSERT_GT(reference.frames, 4);
        for (const Words& w : words) {
            const int dynrng[6] = {w.dynrng, -1, -1, w.dynrng, -1, -1};
            // 192 kbit/s frames grown to 256 kbit/s.
            const std::vector<uint8_t> stream = WithGainWords(clean, 1024, dynrng, w.compr);
            ASSERT_FALSE(stream.empty()) << "no room for the gain words";
            for (uint32_t mode = 0; mode < 4; ++mode) {
                for (const Scales& sc : scales) {
                    SCOPED_TRACE(testing::Message() << "config " << config << " word " << w.dynrng
                                                    << " compr " << w.compr << " mode " << mode
                                                    << " scales " << sc.boost << "/" << sc.cut);
                    const int64_t word = w.dynrng;
                    int64_t d = ((word >> 5) >= 4 ? (word >> 5) - 8 : (word >> 5)) * (1 << 20) +
                                (word & 0x1f) * (1 << 15);
                    if (mode == 3) {
                        d = w.compr >= 0
                                ? ((w.compr >> 4) >= 8 ? (w.compr >> 4) - 16 : (w.compr >> 4)) *
                                          (1 << 20) +
                                      (w.compr & 0xf) * (1 << 16)
                                : d + 1922304;
                    } else if (d >= 1) {
                        d = int64_t(double(d) * sc.boost);
                    } else if (mode != 2 || config == 8) {  // mode 2 cuts a downmix in full
                        d = int64_t(double(d) * sc.cut);
                    }
                    const double gain = GainOf(d);
                    UMC::AC3DecoderParams p = Ac3Params(config);
                    p.drc_mode = mode;
                    p.drc_boost_scale = sc.boost;
                    p.drc_cut_scale = sc.cut;
                    const Ac3Decoded d2 = DecodeAc3(stream, p);
                    ASSERT_EQ(d2.errors, 0);
                    ASSERT_EQ(d2.pcm.size(), reference.pcm.size());
                    size_t compared = 0;
                    for (size_t i = 0; i < d2.pcm.size(); ++i) {
                        const double want = gain * reference.pcm[i];
                        if (std::fabs(want) > 32000) continue;  // saturated
                        ++compared;
                        ASSERT_NEAR(d2.pcm[i], want, 0.5 * gain + 1.0) << "sample " << i;
                    }
                    EXPECT_GT(compared, d2.pcm.size() / 3);
                }
            }
        }
    }
}

}  // namespace
}  // namespace qm::test
