// The frame driver: time stamps, not-coded VOPs, Reset in the middle of anything, static sprites,
// skipping, B-VOPs without their references, a VOL changing the size, and the codec interface's
// refusals.
#include <gtest/gtest.h>

#include "primitives/MPEG4Coding.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"

namespace {

using namespace qm::test::mpeg4;
constexpr int32_t kReorder = UMC::FLAG_VDEC_REORDER;

class Mpeg4Decoder : public ::testing::Test {
protected:
    void SetUp() override { spInitProcessorDispatch(); }
};

void ExpectSamePictures(const DriverRun& got, const DriverRun& want) {
    ASSERT_EQ(got.pictures.size(), want.pictures.size());
    EXPECT_EQ(got.drained, want.drained);
    for (size_t i = 0; i < got.pictures.size(); ++i) {
        ASSERT_EQ(got.pictures[i].bytes, want.pictures[i].bytes) << i;
        ASSERT_EQ(got.pictures[i].time, want.pictures[i].time) << i;
        ASSERT_EQ(got.pictures[i].frameType, want.pictures[i].frameType) << i;
    }
}

TEST_F(Mpeg4Decoder, TimesFromTheFrameRateOrTheVopTimes) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("intra_resync.m4v"));
    // The sample's stamp, then one frame duration per further VOP of the same sample.
    const DriverRun stamped = Drive(stream, 0, 25.0, 2.0);
    ASSERT_EQ(stamped.pictures.size(), 2u);
    EXPECT_NEAR(stamped.pictures[0].time, 2.0, 1e-9);
    EXPECT_NEAR(stamped.pictures[1].time, 2.04, 1e-9);
    // Without a rate: VOP times over the time increment resolution.
    UMC::MPEG4VideoDecoder decoder;
    ASSERT_EQ(InitWith(decoder, stream, 0), UMC::STATUS_OK);
    const DriverRun run = DecodeThroughDriver(decoder, stream);
    ASSERT_EQ(run.pictures.size(), 2u);
    EXPECT_NEAR(run.pictures[0].time, 0.0, 1e-9);
    EXPECT_GT(run.pictures[1].time, run.pictures[0].time);
    const double ticks = run.pictures[1].time * decoder.State().vol.timeIncrementResolution;
    EXPECT_NEAR(ticks, std::round(ticks), 1e-6);
}

TEST_F(Mpeg4Decoder, NotCodedVopRepeatsTheReferenceOrIsDropped) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("intra_resync.m4v"));
    UMC::MPEG4VideoDecoder probe;
    ASSERT_EQ(InitWith(probe, stream, 0), UMC::STATUS_OK);
    const DriverRun plain = DecodeThroughDriver(probe, stream);
    ASSERT_EQ(plain.pictures.size(), 2u);
    const UMC::MPEG4DecoderState& s = probe.State();
    const auto withNotCoded = [&](int32_t increment) {
        BitWriter w;
        PutVopStart(w, UMC::MPEG4_VOP_P, increment, s.vol.timeIncrementBits, false);
        w.Stuff();
        std::vector<uint8_t> out = stream;
        out.insert(out.end(), w.Bytes().begin(), w.Bytes().end());
        return out;
    };
    // A placeholder at the time of the picture already shown: no picture.
    EXPECT_EQ(Drive(withNotCoded(s.vop.timeIncrement), 0).pictures.size(), 2u);
    // A not-coded VOP at a new time shows the previous picture again.
    const int32_t next = (s.vop.timeIncrement + 1) % s.vol.timeIncrementResolution;
    for (int32_t flags : {0, kReorder}) {
        const DriverRun run = Drive(withNotCoded(next), flags);
        ASSERT_EQ(run.pictures.size(), 3u);
        EXPECT_EQ(run.pictures[2].bytes, plain.pictures[1].bytes);
        EXPECT_EQ(run.pictures[2].frameType, UMC::P_PICTURE);
    }
}

// A seek resets the decoder in the middle of whatever it was doing: damaged VOPs, a VOL damaged
// in the middle of a stream (any one bit flipped, cut short, or a larger layer broken after its
// size), held pictures drained or not. The stream after it must come out as from a fresh decoder.
// The output keeps one size, as the filter's does: a damaged VOL that still parses may change the
// layer's size until the clean one.
TEST_F(Mpeg4Decoder, AfterResetAStreamDecodesAsInAFreshDecoder) {
    const auto expectFresh = [](const std::vector<uint8_t>& stream,
                                const std::vector<uint8_t>& before, double rate, bool perVop,
                                bool drainBefore, std::pair<int, int> size) {
        UMC::MPEG4VideoDecoder fresh, reused;
        ASSERT_EQ(InitWith(fresh, stream, kReorder, rate), UMC::STATUS_OK);
        ASSERT_EQ(InitWith(reused, stream, kReorder, rate), UMC::STATUS_OK);
        const DriverRun expected = DecodeThroughDriver(fresh, stream, 1.0, true, true, size);
        ASSERT_GT(expected.pictures.size(), 4u);
        DecodeThroughDriver(reused, before, 5.0, perVop, drainBefore, size);
        ASSERT_EQ(reused.Reset(), UMC::STATUS_OK);
        ExpectSamePictures(DecodeThroughDriver(reused, stream, 1.0, true, true, size), expected);
    };
    for (const char* file : {"inter_b2.m4v", "xvid_qpel_b.m4v", "inter_interlaced.m4v"}) {
        const std::vector<uint8_t> stream = ReadFile(Fixture(file));
        // The first two thirds, with bytes flipped in the VOPs (headers included).
        std::vector<uint8_t> damaged(stream.begin(), stream.begin() + stream.size() * 2 / 3);
        for (size_t i = 40; i < damaged.size(); i += 97) damaged[i] ^= uint8_t(0x10 + i % 7);
        for (double rate : {0.0, 25.0})
            for (bool drain : {false, true}) {
                SCOPED_TRACE(testing::Message() << file << " rate " << rate << " drain " << drain);
                expectFresh(stream, damaged, rate, true, drain, {0, 0});
            }
    }

    const std::vector<uint8_t> stream = ReadFile(Fixture("inter_p.m4v"));
    const std::vector<size_t> codes = StartCodes(stream, -1);
    size_t vol = 0;
    while (vol < codes.size() && (stream[codes[vol] + 3] & 0xF0) != 0x20) ++vol;
    ASSERT_LT(vol + 1, codes.size());
    const std::vector<uint8_t> header(stream.begin() + ptrdiff_t(codes[vol]),
                                      stream.begin() + ptrdiff_t(codes[vol + 1]));
    std::vector<std::vector<uint8_t>> damagedVols;
    for (size_t bit = 32; bit < 8 * header.size(); ++bit) {
        damagedVols.push_back(header);
        damagedVols.back()[bit / 8] ^= uint8_t(0x80 >> (bit % 8));
    }
    for (size_t n = 4; n < header.size(); ++n)
        damagedVols.emplace_back(header.begin(), header.begin() + ptrdiff_t(n));
    BitWriter larger;
    PutVol(larger, VolSpec{.width = 96, .height = 80, .not8Bit = 1});
    damagedVols.push_back(larger.Bytes());
    const size_t cut = StartCodes(stream)[3];  // the damaged VOL goes before the fourth VOP
    for (size_t i = 0; i < damagedVols.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "damaged VOL " << i);
        std::vector<uint8_t> mid(stream.begin(), stream.begin() + ptrdiff_t(cut));
        mid.insert(mid.end(), damagedVols[i].begin(), damagedVols[i].end());
        mid.insert(mid.end(), stream.begin() + ptrdiff_t(cut), stream.end());
        expectFresh(stream, mid, 0.0, i % 2 == 0, i % 3 == 0, {64, 48});
        if (HasFatalFailure()) return;
    }
}

TEST_F(Mpeg4Decoder, ResetWaitsForAnIntraVop) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("inter_b2.m4v"));
    UMC::MPEG4VideoDecoder reused;
    ASSERT_EQ(InitWith(reused, stream, kReorder), UMC::STATUS_OK);
    DecodeThroughDriver(reused, stream, -1.0, false, false);
    ASSERT_EQ(reused.Reset(), UMC::STATUS_OK);
    // Entered at its first VOP that is not intra, after which there is none: nothing to show,
    // not even at the drain.
    const std::vector<size_t> vops = StartCodes(stream);
    size_t inter = 0;
    while (inter < vops.size() && (stream[vops[inter] + 4] >> 6) == UMC::MPEG4_VOP_I) ++inter;
    ASSERT_LT(inter, vops.size());
    const std::vector<uint8_t> tail(stream.begin() + ptrdiff_t(vops[inter]), stream.end());
    EXPECT_TRUE(DecodeThroughDriver(reused, tail).pictures.empty());
    ExpectSamePictures(DecodeThroughDriver(reused, stream), Drive(stream, kReorder));
}

// One component of a sprite trajectory: dmv_length, dmv_code, marker.
void PutTrajectoryComponent(BitWriter& w, int32_t v) {
    int32_t length = 0;
    while ((std::abs(v) >> length) != 0) ++length;
    if (length == 0) {
        w.Put(0, 2);
    } else if (length <= 5) {
        w.Put(uint32_t(length + 1), 3);
    } else {
        w.Put(7, 3);
        for (int k = 6; k < length; ++k) w.Put(1, 1);
        w.Put(0, 1);
    }
    if (length) w.Put(uint32_t(v > 0 ? v : v - 1 + (1 << length)), length);
    w.Put(1, 1);
}

// A static sprite layer built around the first I-VOP of intra_h263q (96x64), which is the
// sprite; the layer shows a 64x48 window of it, moved by each S-VOP's one warping point (half-
// sample accuracy) and, when the layer says so, with a brightness change (factor 10).
TEST_F(Mpeg4Decoder, StaticSpriteVopsShowTheWarpedSprite) {
    const std::vector<uint8_t> source = ReadFile(Fixture("intra_h263q.m4v"));
    const Decoded intra = DecodeAll(source);
    ASSERT_EQ(intra.width, 96);
    UMC::MPEG4VideoDecoder probe;
    ASSERT_EQ(InitWith(probe, source, 0), UMC::STATUS_OK);
    const UMC::Mpeg4Vol& vol = probe.State().vol;
    ASSERT_TRUE(!vol.interlaced && !vol.dataPartitioned);
    const std::vector<size_t> codes = StartCodes(source, -1), vops = StartCodes(source);
    const size_t vopEnd = *std::upper_bound(codes.begin(), codes.end(), vops[0]);
    const std::pair<int, int> offsets[] = {{8, 4}, {0, 0}, {32, 16}, {2, 14}};
    for (bool brightness : {false, true}) {
        SCOPED_TRACE(brightness ? "brightness change" : "plain");
        BitWriter w;
        PutVol(w, VolSpec{.resolution = vol.timeIncrementResolution,
                          .spriteWidth = 96,
                          .spriteHeight = 64,
                          .spriteBrightnessChange = brightness,
                          .quantType = vol.quantType,
                          .resyncMarkerDisable = vol.resyncMarkerDisable});
        w.Bytes().insert(w.Bytes().end(), source.begin() + ptrdiff_t(vops[0]),
                         source.begin() + ptrdiff_t(vopEnd));
        int32_t time = 0;
        for (const auto& [dx, dy] : offsets) {
            PutVopStart(w, UMC::MPEG4_VOP_S, ++time, vol.timeIncrementBits);
            w.Put(0, 3);  // intra_dc_vlc_thr
            PutTrajectoryComponent(w, 2 * dx);
            PutTrajectoryComponent(w, 2 * dy);
            if (brightness) w.Put(25, 6);  // brightness_change_factor 10
            w.Stuff();
        }
        for (int32_t flags : {0, kReorder}) {
            const DriverRun run = Drive(w.Bytes(), flags);
            // The sprite itself is not a picture of the layer.
            ASSERT_EQ(run.pictures.size(), std::size(offsets));
            for (size_t i = 0; i < std::size(offsets); ++i) {
                // The window, chroma included (the offsets are even).
                const auto [dx, dy] = offsets[i];
                std::vector<uint8_t> want;
                const uint8_t* sprite = intra.pictures[0].data();
                for (int y = 0; y < 48; ++y)
                    want.insert(want.end(), sprite + (y + dy) * 96 + dx,
                                sprite + (y + dy) * 96 + dx + 64);
                for (int p = 0; p < 2; ++p)
                    for (int y = 0; y < 24; ++y) {
                        const uint8_t* row = sprite + 96 * 64 + p * 48 * 32 + (y + dy / 2) * 48;
                        want.insert(want.end(), row + dx / 2, row + dx / 2 + 32);
                    }
                if (brightness) vcSpriteBrightness(want.data(), 64, 64, 48, 10);
                EXPECT_EQ(run.pictures[i].bytes, want) << i;
                EXPECT_EQ(run.pictures[i].frameType, UMC::I_PICTURE);
                EXPECT_EQ(run.pictures[i].status, UMC::STATUS_OK);
            }
        }
    }
}

// Skipping takes every second B-VOP at most, until the requests are used up.
TEST_F(Mpeg4Decoder, SkipsBVopsAlternately) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("inter_b2.m4v"));
    UMC::MPEG4VideoDecoder skipping;
    ASSERT_EQ(InitWith(skipping, stream, kReorder), UMC::STATUS_OK);
    const size_t all = Drive(stream, kReorder, 0.0, -1.0, true).pictures.size();
    ASSERT_EQ(skipping.SkipVideoFrame(2), UMC::STATUS_OK);
    EXPECT_EQ(DecodeThroughDriver(skipping, stream, -1.0, true).pictures.size(), all - 2);
    EXPECT_EQ(skipping.GetNumOfSkippedFrames(), 2u);
    ASSERT_EQ(skipping.ResetSkipCount(), UMC::STATUS_OK);
    EXPECT_EQ(skipping.GetNumOfSkippedFrames(), 0u);
}

// inter_b2 in decoding order: I0 I3 B1 B2 P6 B4 B5 P9 B7 B8.
TEST_F(Mpeg4Decoder, BVopsBeforeTheirReferencesAreNotShown) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("inter_b2.m4v"));
    const std::vector<size_t> starts = StartCodes(stream);
    ASSERT_EQ(starts.size(), 10u);
    using UMC::B_PICTURE, UMC::I_PICTURE, UMC::P_PICTURE;
    const struct {
        std::vector<int> vops;
        std::vector<int32_t> shown;
    } kCases[] = {
        // Entered at the first B-VOP: no reference at all, then only one (P6, predicted from the
        // initial black picture) for B4 and B5.
        {{2, 3, 4, 5, 6, 7, 8, 9}, {P_PICTURE, B_PICTURE, B_PICTURE, P_PICTURE}},
        // I3 lost: B1 and B2 have one reference only (direct mode has no co-located picture).
        {{0, 2, 3, 4, 5, 6, 7, 8, 9},
         {I_PICTURE, B_PICTURE, B_PICTURE, P_PICTURE, B_PICTURE, B_PICTURE, P_PICTURE}},
        {{2, 3, 5, 6, 8, 9}, {}},  // only B-VOPs
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.vops.size());
        std::vector<uint8_t> s(stream.begin(), stream.begin() + ptrdiff_t(starts[0]));
        for (int k : c.vops) {
            const size_t end =
                size_t(k) + 1 < starts.size() ? starts[size_t(k) + 1] : stream.size();
            s.insert(s.end(), stream.begin() + ptrdiff_t(starts[size_t(k)]),
                     stream.begin() + ptrdiff_t(end));
        }
        UMC::MPEG4VideoDecoder decoder;
        ASSERT_EQ(InitWith(decoder, stream, kReorder), UMC::STATUS_OK);
        std::vector<int32_t> types;
        for (const Picture& p : DecodeThroughDriver(decoder, s, -1.0, true).pictures) {
            types.push_back(p.frameType);
            EXPECT_EQ(p.status, UMC::STATUS_OK);
        }
        EXPECT_EQ(types, c.shown);
    }
}

// A VOL with another size mid-stream (smaller, then larger): new frames, and the second layer's
// pictures exactly those of a fresh decoder; the first layer's held-back picture goes with its
// frames. The output keeps one size, as a filter's does (the chain writes what the picture
// covers).
TEST_F(Mpeg4Decoder, VolChangingTheSizeMidStream) {
    const std::vector<uint8_t> a = ReadFile(Fixture("inter_p.m4v"));           // 64x48
    const std::vector<uint8_t> b = ReadFile(Fixture("inter_gop_closed.m4v"));  // 48x32
    const auto decode = [](const std::vector<uint8_t>& headers, const std::vector<uint8_t>& s,
                           UMC::MPEG4VideoDecoder& decoder) {
        EXPECT_EQ(InitWith(decoder, headers, kReorder), UMC::STATUS_OK);
        return DecodeThroughDriver(decoder, s, -1.0, true, true, {64, 48});
    };
    for (const auto& [first, second] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
        UMC::MPEG4VideoDecoder d1, d2, decoder;
        const DriverRun one = decode(*first, *first, d1), two = decode(*second, *second, d2);
        std::vector<uint8_t> joined = *first;
        joined.insert(joined.end(), second->begin(), second->end());
        const DriverRun run = decode(*first, joined, decoder);
        ASSERT_EQ(run.pictures.size(), one.pictures.size() - 1 + two.pictures.size());
        for (size_t i = 0; i < run.pictures.size(); ++i) {
            const bool inFirst = i + 1 < one.pictures.size();
            const Picture& want =
                inFirst ? one.pictures[i] : two.pictures[i - (one.pictures.size() - 1)];
            ASSERT_EQ(run.pictures[i].bytes, want.bytes) << i;
        }
        EXPECT_EQ(decoder.State().vol.width, second == &a ? 64 : 48);
    }
}

TEST_F(Mpeg4Decoder, InterfaceRefusals) {
    UMC::MPEG4VideoDecoder decoder;
    UMC::VideoData out;
    UMC::VideoDecoderParams info, empty;
    UMC::BaseCodecParams plain;
    EXPECT_EQ(decoder.GetFrame(nullptr, &out), UMC::STATUS_NOT_INITIALIZED);
    EXPECT_EQ(decoder.GetFrame(nullptr, nullptr), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.Init(nullptr), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.Init(&plain), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.Init(&empty), UMC::STATUS_INIT_FAILED);  // no size and no headers

    // Headers in the parameters: size, aspect ratio and the bytes consumed.
    std::vector<uint8_t> stream = ReadFile(Fixture("intra_odd74x42.m4v"));
    UMC::MediaData initial;
    initial.SetBufferPointer(stream.data(), stream.size());
    initial.SetDataSize(stream.size());
    UMC::VideoDecoderParams params;
    params.m_pData = &initial;
    ASSERT_EQ(decoder.Init(&params), UMC::STATUS_OK);
    EXPECT_LT(initial.GetDataSize(), stream.size());
    ASSERT_EQ(decoder.GetInfo(&info), UMC::STATUS_OK);
    EXPECT_EQ(info.info.clip_width, 74);
    EXPECT_EQ(info.info.clip_height, 42);
    EXPECT_EQ(info.info.aspect_ratio_width, 1);
    EXPECT_EQ(decoder.GetInfo(&plain), UMC::STATUS_OK);

    // Garbage before any header: no frame, nothing consumed.
    UMC::MPEG4VideoDecoder fresh;
    UMC::VideoDecoderParams sized;
    sized.info.clip_width = sized.info.clip_height = 16;
    ASSERT_EQ(fresh.Init(&sized), UMC::STATUS_OK);
    std::vector<uint8_t> junk(64, 0x55);
    UMC::MediaData in;
    in.SetBufferPointer(junk.data(), junk.size());
    in.SetDataSize(junk.size());
    out.Init(16, 16, UMC::YUV420);
    out.Alloc();
    EXPECT_EQ(fresh.GetFrame(&in, &out), UMC::STATUS_NOT_ENOUGH_DATA);
    EXPECT_EQ(in.GetDataSize(), junk.size());
    EXPECT_EQ(out.GetDamaged(), 1);
}

}  // namespace
