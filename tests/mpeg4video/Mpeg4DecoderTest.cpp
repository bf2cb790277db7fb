// The frame driver: display order and the drain, time stamps, not-coded VOPs, skipping, the
// post-filter, and the codec interface's refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg4video/MPEG4VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4FrameBuffer.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4PostFilter.h"
#include "primitives/MPEG4Coding.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4DriverSupport.h"

namespace {

using namespace qm::test::mpeg4;

// A not-coded P-VOP with the given time increment, after the stream's last VOP.
void AppendNotCodedVop(std::vector<uint8_t>& stream, int32_t timeIncrement, int32_t bits) {
    BitWriter w;
    w.StartCode(0xB6);
    w.Put(1, 2);  // P
    w.Put(0, 1);  // modulo_time_base
    w.Put(1, 1);
    w.Put(uint32_t(timeIncrement), bits);
    w.Put(1, 1);
    w.Put(0, 1);  // vop_coded
    w.Stuff();
    stream.insert(stream.end(), w.Bytes().begin(), w.Bytes().end());
}

// A fresh decoder opened on the stream's own headers, the stream through the driver.
DriverRun Drive(const std::vector<uint8_t>& stream, int32_t flags, double rate = 0.0,
                double firstStamp = -1.0, bool perVop = false) {
    UMC::MPEG4VideoDecoder decoder;
    EXPECT_EQ(InitWith(decoder, stream, flags, rate), UMC::STATUS_OK);
    return DecodeThroughDriver(decoder, stream, firstStamp, perVop);
}

class Mpeg4Decoder : public ::testing::Test {
protected:
    void SetUp() override { spInitProcessorDispatch(); }
};

TEST_F(Mpeg4Decoder, MatchesTheDecodingOrderLoopInBothOrders) {
    for (const char* file : {"intra_resync.m4v", "intra_odd74x42.m4v", "intra_interlaced.m4v",
                             "h263_qcif.h263", "h263_gob.h263"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> stream = ReadFile(Fixture(file));
        const Decoded direct = DecodeAll(stream);
        ASSERT_FALSE(direct.pictures.empty());
        for (int32_t flags : {0, int32_t(UMC::FLAG_VDEC_REORDER)}) {
            UMC::MPEG4VideoDecoder decoder;
            ASSERT_EQ(InitWith(decoder, stream, flags), UMC::STATUS_OK);
            const DriverRun run = DecodeThroughDriver(decoder, stream);
            ASSERT_EQ(run.pictures.size(), direct.pictures.size());
            // Display order holds the newest reference back until the drain (short-header
            // streams have no B-VOPs to wait for).
            const bool shortHeader = decoder.State().vol.shortVideoHeader != 0;
            EXPECT_EQ(run.drained, flags && !shortHeader ? 1 : 0);
            for (size_t i = 0; i < run.pictures.size(); ++i) {
                EXPECT_EQ(run.pictures[i].bytes, direct.pictures[i]) << "picture " << i;
                EXPECT_EQ(run.pictures[i].frameType, UMC::I_PICTURE);
            }
        }
    }
}

TEST_F(Mpeg4Decoder, TimesFromTheFrameRateOrTheVopTimes) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("intra_resync.m4v"));
    {
        const DriverRun run = Drive(stream, 0, 25.0, 2.0);
        ASSERT_EQ(run.pictures.size(), 2u);
        // The sample's stamp, then one frame duration per further VOP of the same sample.
        for (size_t i = 0; i < run.pictures.size(); ++i)
            EXPECT_NEAR(run.pictures[i].time, 2.0 + 0.04 * double(i), 1e-9) << i;
    }
    {
        // Without a rate: VOP times over the time increment resolution.
        UMC::MPEG4VideoDecoder decoder;
        ASSERT_EQ(InitWith(decoder, stream, 0), UMC::STATUS_OK);
        const DriverRun run = DecodeThroughDriver(decoder, stream);
        ASSERT_EQ(run.pictures.size(), 2u);
        const double tick = 1.0 / decoder.State().vol.timeIncrementResolution;
        EXPECT_NEAR(run.pictures[0].time, 0.0, 1e-9);
        EXPECT_GT(run.pictures[1].time, run.pictures[0].time);
        const double ticks = (run.pictures[1].time - run.pictures[0].time) / tick;
        EXPECT_NEAR(ticks, std::round(ticks), 1e-6);
    }
}

TEST_F(Mpeg4Decoder, NotCodedVopRepeatsTheReferenceOrIsDropped) {
    std::vector<uint8_t> stream = ReadFile(Fixture("intra_resync.m4v"));
    UMC::MPEG4VideoDecoder probe;
    ASSERT_EQ(InitWith(probe, stream, 0), UMC::STATUS_OK);
    const DriverRun plain = DecodeThroughDriver(probe, stream);
    ASSERT_EQ(plain.pictures.size(), 2u);
    const int32_t bits = probe.State().vol.timeIncrementBits;
    const int32_t last = probe.State().vop.timeIncrement;
    const int32_t resolution = probe.State().vol.timeIncrementResolution;

    // A placeholder at the time of the picture already shown: no picture.
    std::vector<uint8_t> placeholder = stream;
    AppendNotCodedVop(placeholder, last, bits);
    EXPECT_EQ(Drive(placeholder, 0).pictures.size(), 2u);

    // A not-coded VOP at a new time shows the previous picture again.
    std::vector<uint8_t> repeat = stream;
    AppendNotCodedVop(repeat, (last + 1) % resolution, bits);
    for (int32_t flags : {0, int32_t(UMC::FLAG_VDEC_REORDER)}) {
        const DriverRun run = Drive(repeat, flags);
        ASSERT_EQ(run.pictures.size(), 3u);
        EXPECT_EQ(run.pictures[2].bytes, plain.pictures[1].bytes);
        EXPECT_EQ(run.pictures[2].frameType, UMC::P_PICTURE);
    }
}

// A seek resets the decoder in the middle of whatever it was doing, damaged data included; the
// stream after it must come out as from a fresh decoder: the same pictures in display order, the
// same times and types, and the held picture at its own drain.
TEST_F(Mpeg4Decoder, AfterResetAStreamDecodesAsInAFreshDecoder) {
    for (const char* file : {"inter_b2.m4v", "xvid_qpel_b.m4v", "inter_interlaced.m4v"}) {
        const std::vector<uint8_t> stream = ReadFile(Fixture(file));
        // The first two thirds, with bytes flipped in the VOPs (headers included).
        std::vector<uint8_t> damaged(stream.begin(), stream.begin() + stream.size() * 2 / 3);
        for (size_t i = 40; i < damaged.size(); i += 97) damaged[i] ^= uint8_t(0x10 + i % 7);
        for (double rate : {0.0, 25.0})
            for (bool drainBefore : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << file << " rate " << rate << " drain before " << drainBefore);
                UMC::MPEG4VideoDecoder reused;
                ASSERT_EQ(InitWith(reused, stream, UMC::FLAG_VDEC_REORDER, rate), UMC::STATUS_OK);
                const DriverRun expected = Drive(stream, UMC::FLAG_VDEC_REORDER, rate, 1.0, true);
                ASSERT_GT(expected.pictures.size(), 4u);
                DecodeThroughDriver(reused, damaged, 5.0, true, drainBefore);
                ASSERT_EQ(reused.Reset(), UMC::STATUS_OK);
                const DriverRun again = DecodeThroughDriver(reused, stream, 1.0, true);
                ASSERT_EQ(again.pictures.size(), expected.pictures.size());
                EXPECT_EQ(again.drained, expected.drained);
                for (size_t i = 0; i < again.pictures.size(); ++i) {
                    EXPECT_EQ(again.pictures[i].bytes, expected.pictures[i].bytes) << i;
                    EXPECT_EQ(again.pictures[i].time, expected.pictures[i].time) << i;
                    EXPECT_EQ(again.pictures[i].frameType, expected.pictures[i].frameType) << i;
                }
            }
    }
}

// A VOL damaged in the middle of a stream (any one bit flipped, cut short, or a larger layer
// broken after its size): the decoder survives whatever follows it, and after a new segment the
// clean stream decodes exactly as in a fresh decoder. The output keeps the stream's size, as the
// filter's does: a damaged VOL that still parses may change the layer's size until the clean one.
TEST_F(Mpeg4Decoder, DamagedVolMidStreamThenNewSegment) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("inter_p.m4v"));
    const uint8_t prefix[] = {0, 0, 1};
    auto vol = stream.begin();
    while (vol + 3 < stream.end() &&
           !(vol[0] == 0 && vol[1] == 0 && vol[2] == 1 && vol[3] >= 0x20 && vol[3] <= 0x2F))
        ++vol;
    ASSERT_LT(vol + 3, stream.end());
    const auto volEnd = std::search(vol + 4, stream.end(), std::begin(prefix), std::end(prefix));
    const std::vector<uint8_t> header(vol, volEnd);
    // The damaged VOL goes before the fourth VOP.
    auto cut = stream.begin();
    for (int n = 0; n < 4; ++n)
        cut =
            std::search(cut + 1, stream.end(), std::begin(kVopStartCode), std::end(kVopStartCode));
    ASSERT_LT(cut, stream.end());

    std::vector<std::vector<uint8_t>> damaged;
    for (size_t bit = 32; bit < 8 * header.size(); ++bit) {
        damaged.push_back(header);
        damaged.back()[bit / 8] ^= uint8_t(0x80 >> (bit % 8));
    }
    for (size_t n = 4; n < header.size(); ++n)
        damaged.emplace_back(header.begin(), header.begin() + ptrdiff_t(n));
    BitWriter larger;
    PutVol(larger, VolSpec{.width = 96, .height = 80});
    larger.Bytes()[101 / 8] |= uint8_t(0x80 >> (101 % 8));  // not_8_bit, just after the size
    damaged.push_back(larger.Bytes());

    const DriverRun expected = Drive(stream, UMC::FLAG_VDEC_REORDER, 0.0, 1.0, true);
    ASSERT_EQ(expected.pictures.size(), 10u);
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "damage " << i);
        std::vector<uint8_t> mid(stream.begin(), cut);
        mid.insert(mid.end(), damaged[i].begin(), damaged[i].end());
        mid.insert(mid.end(), cut, stream.end());
        UMC::MPEG4VideoDecoder reused;
        ASSERT_EQ(InitWith(reused, stream, UMC::FLAG_VDEC_REORDER), UMC::STATUS_OK);
        DecodeThroughDriver(reused, mid, 5.0, i % 2 == 0, i % 3 == 0, {64, 48});
        ASSERT_EQ(reused.Reset(), UMC::STATUS_OK);
        const DriverRun again = DecodeThroughDriver(reused, stream, 1.0, true, true, {64, 48});
        ASSERT_EQ(again.pictures.size(), expected.pictures.size());
        for (size_t k = 0; k < again.pictures.size(); ++k) {
            ASSERT_EQ(again.pictures[k].bytes, expected.pictures[k].bytes) << k;
            ASSERT_EQ(again.pictures[k].time, expected.pictures[k].time) << k;
        }
    }
}

TEST_F(Mpeg4Decoder, ResetWaitsForAnIntraVop) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("inter_b2.m4v"));
    UMC::MPEG4VideoDecoder reused;
    ASSERT_EQ(InitWith(reused, stream, UMC::FLAG_VDEC_REORDER), UMC::STATUS_OK);
    const DriverRun expected = Drive(stream, UMC::FLAG_VDEC_REORDER);
    DecodeThroughDriver(reused, stream, -1.0, false, false);
    ASSERT_EQ(reused.Reset(), UMC::STATUS_OK);
    // Entered at its first VOP that is not intra, after which there is none: nothing to show,
    // not even at the drain.
    auto inter = stream.begin();
    do
        inter = std::search(inter + 1, stream.end(), std::begin(kVopStartCode),
                            std::end(kVopStartCode));
    while (inter + 4 < stream.end() && (inter[4] >> 6) == UMC::MPEG4_VOP_I);
    ASSERT_LT(inter + 4, stream.end());
    EXPECT_TRUE(
        DecodeThroughDriver(reused, std::vector<uint8_t>(inter, stream.end())).pictures.empty());
    const DriverRun whole = DecodeThroughDriver(reused, stream);
    ASSERT_EQ(whole.pictures.size(), expected.pictures.size());
    for (size_t i = 0; i < whole.pictures.size(); ++i)
        EXPECT_EQ(whole.pictures[i].bytes, expected.pictures[i].bytes) << i;
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

// A static sprite layer built around the first I-VOP of a committed stream: that VOP, 96x64, is
// the sprite; the layer shows a 64x48 window of it, moved by each S-VOP's one warping point
// (half-sample accuracy) and, when the layer says so, with a brightness change.
std::vector<uint8_t> SpriteStream(const std::vector<uint8_t>& source, const UMC::Mpeg4Vol& vol,
                                  bool brightness, const std::vector<std::pair<int, int>>& offsets,
                                  int32_t factor) {
    BitWriter w;
    const int32_t resolution = vol.timeIncrementResolution;
    PutVol(w, VolSpec{.width = 64,
                      .height = 48,
                      .resolution = resolution,
                      .quantType = vol.quantType,
                      .resyncMarkerDisable = vol.resyncMarkerDisable,
                      .spriteWidth = 96,
                      .spriteHeight = 64,
                      .spriteBrightnessChange = brightness});
    std::vector<uint8_t> out = w.Bytes();
    // The source's first VOP up to the next start code.
    const auto vop = std::search(source.begin(), source.end(), std::begin(kVopStartCode),
                                 std::end(kVopStartCode));
    const uint8_t prefix[] = {0, 0, 1};
    const auto end = std::search(vop + 4, source.end(), std::begin(prefix), std::end(prefix));
    out.insert(out.end(), vop, end);
    int32_t bits = 0;
    while ((resolution - 1) >> bits) ++bits;
    bits = std::max(bits, 1);
    int32_t time = 0;
    for (const auto& [dx, dy] : offsets) {
        BitWriter v;
        v.StartCode(0xB6);
        v.Put(3, 2);  // S
        v.Put(0, 1);  // modulo_time_base
        v.Put(1, 1);
        v.Put(uint32_t(++time), bits);
        v.Put(1, 1);
        v.Put(1, 1);  // vop_coded
        v.Put(0, 3);  // intra_dc_vlc_thr
        PutTrajectoryComponent(v, 2 * dx);
        PutTrajectoryComponent(v, 2 * dy);
        if (brightness) {
            EXPECT_GE(factor, 1);
            EXPECT_LE(factor, 16);
            v.Put(0, 1);
            v.Put(uint32_t(factor + 15), 5);
        }
        v.Stuff();
        out.insert(out.end(), v.Bytes().begin(), v.Bytes().end());
    }
    return out;
}

TEST_F(Mpeg4Decoder, StaticSpriteVopsShowTheWarpedSprite) {
    const std::vector<uint8_t> source = ReadFile(Fixture("intra_h263q.m4v"));
    const Decoded intra = DecodeAll(source);
    ASSERT_EQ(intra.width, 96);
    ASSERT_EQ(intra.height, 64);
    UMC::MPEG4VideoDecoder probe;
    ASSERT_EQ(InitWith(probe, source, 0), UMC::STATUS_OK);
    const UMC::Mpeg4Vol& vol = probe.State().vol;
    ASSERT_TRUE(!vol.interlaced && !vol.dataPartitioned);
    const std::vector<std::pair<int, int>> offsets = {{8, 4}, {0, 0}, {32, 16}, {2, 14}};
    // The sprite's window at (dx, dy), as the expected picture (even offsets: chroma samples too).
    const auto window = [&](int dx, int dy) {
        std::vector<uint8_t> out;
        const uint8_t* sprite = intra.pictures[0].data();
        for (int y = 0; y < 48; ++y)
            out.insert(out.end(), sprite + (y + dy) * 96 + dx, sprite + (y + dy) * 96 + dx + 64);
        for (int p = 0; p < 2; ++p) {
            const uint8_t* plane = sprite + 96 * 64 + p * 48 * 32;
            for (int y = 0; y < 24; ++y)
                out.insert(out.end(), plane + (y + dy / 2) * 48 + dx / 2,
                           plane + (y + dy / 2) * 48 + dx / 2 + 32);
        }
        return out;
    };
    for (bool brightness : {false, true}) {
        SCOPED_TRACE(brightness ? "brightness change" : "plain");
        const std::vector<uint8_t> stream = SpriteStream(source, vol, brightness, offsets, 10);
        for (int32_t flags : {0, int32_t(UMC::FLAG_VDEC_REORDER)}) {
            const DriverRun run = Drive(stream, flags);
            // The sprite itself is not a picture of the layer.
            ASSERT_EQ(run.pictures.size(), offsets.size());
            for (size_t i = 0; i < offsets.size(); ++i) {
                std::vector<uint8_t> expected = window(offsets[i].first, offsets[i].second);
                if (brightness) vcSpriteBrightness(expected.data(), 64, 64, 48, 10);
                EXPECT_EQ(run.pictures[i].bytes, expected) << i;
                EXPECT_EQ(run.pictures[i].frameType, UMC::I_PICTURE);
                EXPECT_EQ(run.pictures[i].status, UMC::STATUS_OK);
            }
        }
    }
}

TEST_F(Mpeg4Decoder, InterfaceRefusals) {
    UMC::MPEG4VideoDecoder decoder;
    UMC::VideoData out;
    EXPECT_EQ(decoder.GetFrame(nullptr, &out), UMC::STATUS_NOT_INITIALIZED);
    EXPECT_EQ(decoder.GetFrame(nullptr, nullptr), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.Reset(), UMC::STATUS_NOT_INITIALIZED);
    EXPECT_EQ(decoder.SkipVideoFrame(1), UMC::STATUS_NOT_INITIALIZED);
    UMC::VideoDecoderParams info;
    EXPECT_EQ(decoder.GetInfo(&info), UMC::STATUS_NOT_INITIALIZED);
    EXPECT_EQ(decoder.Init(nullptr), UMC::STATUS_NULL_PTR);
    UMC::BaseCodecParams plain;
    EXPECT_EQ(decoder.Init(&plain), UMC::STATUS_NULL_PTR);

    // No size and no headers.
    UMC::VideoDecoderParams empty;
    EXPECT_EQ(decoder.Init(&empty), UMC::STATUS_INIT_FAILED);

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
    UMC::BaseCodecParams profile;
    EXPECT_EQ(decoder.GetInfo(&profile), UMC::STATUS_OK);

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

TEST_F(Mpeg4Decoder, OutputFormatsOfTheChain) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("intra_odd98x66.m4v"));
    for (UMC::ColorFormat format : {UMC::YV12, UMC::NV12, UMC::YUY2, UMC::RGB32}) {
        UMC::MPEG4VideoDecoder decoder;
        ASSERT_EQ(InitWith(decoder, stream, 0), UMC::STATUS_OK);
        std::vector<uint8_t> copy = stream;
        UMC::MediaData in;
        in.SetBufferPointer(copy.data(), copy.size());
        in.SetDataSize(copy.size());
        UMC::VideoData out;
        // The size comes from the VOL at the first call; the output follows it.
        out.Init(98, 66, format);
        out.Alloc();
        EXPECT_EQ(decoder.GetFrame(&in, &out), UMC::STATUS_OK) << int(format);
        EXPECT_EQ(out.GetDamaged(), 0);
    }
}

// A 32x32 picture (chroma 16x16) whose rows all follow one profile of the column, so only the
// vertical block edges have anything to filter.
struct ProfilePicture {
    UMC::mpeg4::Mpeg4FrameMemory src, dst;
    UMC::DefaultMemoryAllocator allocator;
    template <class Profile>
    explicit ProfilePicture(Profile profile) {
        allocator.Init(nullptr);
        UMC::mpeg4::AllocateFrame(allocator, 2, 2, src);
        UMC::mpeg4::AllocateFrame(allocator, 2, 2, dst);
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < Size(p); ++y)
                for (int x = 0; x < Size(p); ++x) At(src.frame, p, x, y) = profile(x, y);
        UMC::MPEG4DecoderState s{};
        s.vol.width = s.vol.height = 32;
        UMC::mpeg4::PadReference(s, src.frame);  // the deringing filter reads around each block
    }
    ~ProfilePicture() {
        UMC::mpeg4::FreeFrame(allocator, src);
        UMC::mpeg4::FreeFrame(allocator, dst);
    }
    static int Size(int p) { return p ? 16 : 32; }
    static uint8_t& At(const UMC::MPEG4FrameBuffer& f, int p, int x, int y) {
        return p == 0 ? f.y[y * f.yPitch + x] : (p == 1 ? f.u : f.v)[y * f.uvPitch + x];
    }
    // Whether plane p changed in any of the columns (all when none are given).
    bool Changed(int p, std::initializer_list<int> columns = {}) const {
        for (int y = 0; y < Size(p); ++y)
            for (int x = 0; x < Size(p); ++x)
                if ((columns.size() == 0 ||
                     std::find(columns.begin(), columns.end(), x) != columns.end()) &&
                    At(src.frame, p, x, y) != At(dst.frame, p, x, y))
                    return true;
        return false;
    }
};

std::unique_ptr<ProfilePicture> Deblocked(std::function<uint8_t(int, int)> profile, int quant,
                                          const UMC::mpeg4::Mpeg4PostFilterSettings& settings) {
    auto picture = std::make_unique<ProfilePicture>(profile);
    UMC::mpeg4::DeblockFrame(picture->src.frame, picture->dst.frame, 32, 32, settings, quant);
    return picture;
}

// The deblocking mode decision at its thresholds, on the luma edge at column 8: s0..s9 are the
// columns 3..12. The DC offset mode (at least THR2 of the nine steps within THR1, and s1..s8
// within less than twice the quantiser) smooths s1..s8; the default mode touches s4 and s5
// (columns 7 and 8) only, so a change in columns 4-6 or 9-11 tells the DC offset mode.
TEST_F(Mpeg4Decoder, DeblockingModeThresholds) {
    const std::initializer_list<int> inner = {4, 5, 6, 9, 10, 11};
    UMC::mpeg4::Mpeg4PostFilterSettings settings;  // THR1 2, THR2 6 as the filter sets them
    settings.deblock[0] = 1;
    // Steps of THR1 everywhere: nine flat steps; one more and none is flat, unless THR1 says so.
    for (int step : {2, 3}) {
        SCOPED_TRACE(step);
        auto zigzag = [step](int x, int) { return uint8_t(100 + (x & 1) * step); };
        EXPECT_EQ(Deblocked(zigzag, 4, settings)->Changed(0, inner), step == 2);
        UMC::mpeg4::Mpeg4PostFilterSettings wider = settings;
        wider.thr1 = 3;
        EXPECT_TRUE(Deblocked(zigzag, 4, wider)->Changed(0, inner));
    }
    // Exactly THR2 flat steps, and one fewer (the others of 3); columns beyond repeat the ends.
    const uint8_t six[10] = {0, 0, 0, 3, 3, 3, 0, 0, 3, 3};
    const uint8_t five[10] = {0, 3, 3, 3, 0, 0, 3, 3, 0, 0};
    for (const uint8_t* across : {six, five}) {
        auto profile = [across](int x, int) {
            return uint8_t(100 + across[std::clamp(x - 3, 0, 9)]);
        };
        EXPECT_EQ(Deblocked(profile, 4, settings)->Changed(0, inner), across == six);
        UMC::mpeg4::Mpeg4PostFilterSettings stricter = settings;
        stricter.thr2 = 7;
        EXPECT_FALSE(Deblocked(profile, 4, stricter)->Changed(0, inner));
    }
    // A flat step at the edge is smoothed below twice the quantiser and kept at it.
    for (int quant : {4, 9})
        for (int step : {2 * quant - 1, 2 * quant}) {
            SCOPED_TRACE(testing::Message() << "quant " << quant << " step " << step);
            auto edge = [step](int x, int) { return uint8_t(x < 8 ? 100 : 100 + step); };
            const auto picture = Deblocked(edge, quant, settings);
            EXPECT_EQ(picture->Changed(0, inner), step < 2 * quant);
            EXPECT_EQ(picture->Changed(0), step < 2 * quant);
        }
}

// Each plane is deblocked and deringed only when its switch is on; the others are copied.
TEST_F(Mpeg4Decoder, PostFilterPlaneSwitches) {
    auto zigzag = [](int x, int) { return uint8_t(100 + (x & 1) * 2); };
    // Two levels per block with a little noise: the deringing filter smooths inside each level.
    auto levels = [](int x, int y) {
        return uint8_t((x % 8 < 4 ? 60 : 140) + (x * 7 + y * 3) % 3);
    };
    for (int mask = 0; mask < 8; ++mask) {
        SCOPED_TRACE(mask);
        UMC::mpeg4::Mpeg4PostFilterSettings settings;
        for (int p = 0; p < 3; ++p) settings.deblock[p] = (mask >> p) & 1;
        const auto deblocked = Deblocked(zigzag, 4, settings);
        UMC::mpeg4::Mpeg4PostFilterSettings dering;
        for (int p = 0; p < 3; ++p) dering.dering[p] = (mask >> p) & 1;
        ProfilePicture deringed(levels);
        UMC::mpeg4::DeringFrame(deringed.src.frame, deringed.dst.frame, 32, 32, dering, 8);
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(deblocked->Changed(p), ((mask >> p) & 1) != 0) << "deblocking plane " << p;
            EXPECT_EQ(deringed.Changed(p), ((mask >> p) & 1) != 0) << "deringing plane " << p;
        }
    }
}

TEST_F(Mpeg4Decoder, PostFilterChangesTheOutputNotTheReferences) {
    // h263_p: its P pictures predict from unfiltered references, or they would drift apart.
    std::vector<uint8_t> stream = ReadFile(Fixture("h263_p.h263"));
    UMC::MPEG4VideoDecoder plainDecoder;
    ASSERT_EQ(InitWith(plainDecoder, stream, 0), UMC::STATUS_OK);
    const DriverRun plain = DecodeThroughDriver(plainDecoder, stream);
    const size_t luma = size_t(plainDecoder.State().vol.width) * plainDecoder.State().vol.height;
    for (int mode = 0; mode < 2; ++mode) {
        SCOPED_TRACE(mode ? "deringing" : "deblocking");
        UMC::MPEG4VideoDecoder filteredDecoder;
        ASSERT_EQ(InitWith(filteredDecoder, stream, 0), UMC::STATUS_OK);
        if (mode)
            filteredDecoder.SetDeringing(1, 0, 0);
        else
            filteredDecoder.SetDeblocking(1, 0, 0, 2, 6);
        const DriverRun filtered = DecodeThroughDriver(filteredDecoder, stream);
        ASSERT_EQ(plain.pictures.size(), filtered.pictures.size());
        bool anyChange = false;
        for (size_t i = 0; i < plain.pictures.size(); ++i) {
            const auto& a = plain.pictures[i].bytes;
            const auto& b = filtered.pictures[i].bytes;
            anyChange = anyChange || !std::equal(a.begin(), a.begin() + luma, b.begin());
            // Chroma is not filtered, and the filter stays close to the decoded picture.
            EXPECT_TRUE(std::equal(a.begin() + luma, a.end(), b.begin() + luma));
            EXPECT_GT(Psnr(a.data(), b.data(), luma), 35.0);
            if (mode == 0) {
                // Deblocking reaches 4 samples either side of an edge inside the picture: the
                // 4x4 corners are out of reach of every one.
                const int w = plainDecoder.State().vol.width, h = plainDecoder.State().vol.height;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if ((x < 4 || x >= w - 4) && (y < 4 || y >= h - 4)) {
                            ASSERT_EQ(a[y * w + x], b[y * w + x]) << x << "," << y;
                        }
            }
        }
        EXPECT_TRUE(anyChange);
    }
}

}  // namespace

namespace {

// Inter streams through the driver in display order against ffmpeg's decode: the same pictures,
// each within 45 dB, B-VOPs between their references.
// What a stream carries, read by the header parsers: VOPs by coding type, not-coded VOPs, and
// GOVs with closed_gov set and clear.
struct StreamKinds {
    int vops[4] = {};
    int notCoded = 0;
    int closedGovs = 0, openGovs = 0;
};

StreamKinds KindsOf(const std::vector<uint8_t>& stream) {
    StreamKinds k;
    for (size_t i = 0; i + 6 < stream.size(); ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0xB3)
            ++((stream[i + 6] >> 5) & 1 ? k.closedGovs : k.openGovs);  // after the time code
    UMC::MPEG4DecoderState s{};
    s.vo.verid = 1;
    UMC::Mpeg4PaddedInput input;
    input.Assign(stream.data(), stream.size());
    s.bits.Init(input.Data(), input.Size());
    if (UMC::mpeg4::FindHeaders(s) != UMC::STATUS_OK) return k;
    while (UMC::mpeg4::FindNextVop(s, nullptr) == UMC::STATUS_OK) {
        if (UMC::mpeg4::ParseVopHeader(s) != UMC::PARSE_OK) continue;
        ++k.vops[s.vop.codingType & 3];
        k.notCoded += s.vop.coded ? 0 : 1;
    }
    return k;
}

// Every committed inter stream through the frame driver in display order: ffmpeg's picture
// count, every picture close to its decode, and the tools the stream is there for really
// in it (B-VOPs, S-VOPs, the packed mode's not-coded placeholders, open and closed GOVs).
TEST_F(Mpeg4Decoder, InterStreamsInDisplayOrder) {
    const struct {
        const char* file;
        int bVops, sVops, notCoded, openGovs, closedGovs;
    } kStreams[] = {
        {"inter_p.m4v", 0, 0, 0, 0, 0},         {"inter_mv4.m4v", 0, 0, 0, 0, 0},
        {"inter_b2.m4v", 6, 0, 0, 0, 0},        {"inter_partitioned.m4v", 0, 0, 0, 0, 0},
        {"inter_resync.m4v", 1, 0, 0, 0, 0},    {"inter_odd74x42.m4v", 1, 0, 0, 0, 0},
        {"inter_qpel.m4v", 1, 0, 0, 0, 0},      {"inter_interlaced.m4v", 1, 0, 0, 0, 0},
        {"inter_gop_open.m4v", 13, 0, 0, 3, 0}, {"inter_gop_closed.m4v", 13, 0, 0, 0, 3},
        {"xvid_qpel_b.m4v", 1, 0, 1, 0, 0},     {"xvid_gmc.m4v", 0, 1, 0, 0, 0},
        {"xvid_gmc_zoom.m4v", 0, 6, 0, 0, 0},   {"xvid_gmc_rotate2.m4v", 0, 4, 0, 0, 0},
        {"xvid_gmc_pan1.m4v", 0, 6, 0, 0, 0},   {"h263_p.h263", 0, 0, 0, 0, 0},
    };
    for (const auto& c : kStreams) {
        SCOPED_TRACE(c.file);
        const std::vector<uint8_t> stream = ReadFile(Fixture(c.file));
        const std::string name(c.file);
        const std::vector<uint8_t> reference =
            ReadFile(Fixture(name.substr(0, name.rfind('.')) + ".yuv"));
        const StreamKinds kinds = KindsOf(stream);
        EXPECT_GE(kinds.vops[UMC::MPEG4_VOP_B], c.bVops);
        EXPECT_GE(kinds.vops[UMC::MPEG4_VOP_S], c.sVops);
        EXPECT_GE(kinds.notCoded, c.notCoded);
        EXPECT_GE(kinds.openGovs, c.openGovs);
        EXPECT_GE(kinds.closedGovs, c.closedGovs);
        if (c.openGovs) {
            EXPECT_EQ(kinds.closedGovs, 0);
        }
        if (c.closedGovs) {
            EXPECT_EQ(kinds.openGovs, 0);
        }

        UMC::MPEG4VideoDecoder decoder;
        ASSERT_EQ(InitWith(decoder, stream, UMC::FLAG_VDEC_REORDER), UMC::STATUS_OK);
        const int w = decoder.State().vol.width, h = decoder.State().vol.height;
        const size_t frame = size_t(w) * h + 2 * size_t((w + 1) / 2) * ((h + 1) / 2);
        const DriverRun run = DecodeThroughDriver(decoder, stream);
        ASSERT_EQ(run.pictures.size() * frame, reference.size());
        int sawB = 0;
        double minimum = 99.0, sum = 0;
        for (size_t i = 0; i < run.pictures.size(); ++i) {
            const double psnr =
                Psnr(run.pictures[i].bytes.data(), reference.data() + i * frame, frame);
            EXPECT_GE(psnr, kMinimumPsnr) << i;
            EXPECT_EQ(run.pictures[i].status, UMC::STATUS_OK) << i;
            minimum = std::min(minimum, psnr);
            sum += psnr;
            sawB += run.pictures[i].frameType == UMC::B_PICTURE;
        }
        EXPECT_EQ(sawB, kinds.vops[UMC::MPEG4_VOP_B]);
        std::printf("%s through the frame driver: %zu pictures, min %.2f dB, mean %.2f dB\n",
                    c.file, run.pictures.size(), minimum, sum / double(run.pictures.size()));
    }
}

// Skipping takes every second B-VOP at most, until the requests are used up.
TEST_F(Mpeg4Decoder, SkipsBVopsAlternately) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("inter_b2.m4v"));
    UMC::MPEG4VideoDecoder skipping;
    ASSERT_EQ(InitWith(skipping, stream, UMC::FLAG_VDEC_REORDER), UMC::STATUS_OK);
    const size_t all = Drive(stream, UMC::FLAG_VDEC_REORDER, 0.0, -1.0, true).pictures.size();
    ASSERT_EQ(skipping.SkipVideoFrame(2), UMC::STATUS_OK);
    const size_t fewer = DecodeThroughDriver(skipping, stream, -1.0, true).pictures.size();
    EXPECT_EQ(skipping.GetNumOfSkippedFrames(), 2u);
    EXPECT_EQ(fewer, all - 2);
    ASSERT_EQ(skipping.ResetSkipCount(), UMC::STATUS_OK);
    EXPECT_EQ(skipping.GetNumOfSkippedFrames(), 0u);
}

}  // namespace
