// The frame driver: set-up errors, output order, flushing, time stamps, skipping, reset, thread
// splits and damaged or truncated input.
#include <gtest/gtest.h>

#include "tests/mpeg2video/Mpeg2StreamWriter.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"
#include "tests/support/Paths.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg2;
using UMC::Status;

std::vector<uint8_t> Fixture(const char* name) {
    return ReadFile(qm::test::FixtureDir() / "mpeg2" / (std::string(name) + ".m2v"));
}

// Picture coding types in stream order.
std::vector<int> PictureTypes(const std::vector<uint8_t>& s) {
    std::vector<int> types;
    for (size_t i = 0; i + 5 < s.size(); ++i)
        if (!s[i] && !s[i + 1] && s[i + 2] == 1 && s[i + 3] == 0)
            types.push_back((s[i + 5] >> 3) & 7);
    return types;
}

// I picture followed by P pictures whose macroblocks are all skipped (copies).
std::vector<uint8_t> IntraThenSkippedP(int pCount, bool interlacedRff = false) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.progressive = interlacedRff ? 0 : 1;
    w.SequenceHeader(s);
    w.Gop(true);
    StreamWriter::Picture i;
    i.repeatFirstField = interlacedRff ? 1 : 0;
    w.PictureHeader(i);
    const int dc[6] = {100, 100, 100, 100, 128, 128};
    for (int row = 0; row < 2; ++row) {
        w.Slice(row, 8);
        int pred[3] = {128, 128, 128};
        for (int col = 0; col < 2; ++col) w.IntraMacroblockDcOnly(1, dc, 6, pred);
    }
    for (int k = 1; k <= pCount; ++k) {
        StreamWriter::Picture p;
        p.type = 2;
        p.temporalReference = k;
        w.PictureHeader(p);
        for (int row = 0; row < 2; ++row) {
            w.Slice(row, 8);
            w.AddressIncrement(1);
            w.Code("001");  // forward, zero vector
            w.Code("1");
            w.Code("1");
            w.AddressIncrement(1);
            w.Code("001");
            w.Code("1");
            w.Code("1");
        }
    }
    w.StartCode(0xB7);
    return w.Data();
}

struct Session {
    CaptureStage stage;
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoData out;
    Status Init(int32_t flags = UMC::FLAG_VDEC_REORDER, int threads = 1) {
        UMC::VideoDecoderParams params;
        params.numThreads = threads;
        params.lFlags = flags;
        params.pPostProcessing = &stage;
        return decoder.Init(&params);
    }
    // Feeds one access unit at a time; returns the statuses.
    std::vector<Status> Feed(const std::vector<uint8_t>& stream, double firstTime = -1.0) {
        std::vector<Status> statuses;
        size_t pos = 0;
        while (pos < stream.size()) {
            const size_t unit =
                UMC::Mpeg2AccessUnitLength(stream.data() + pos, stream.size() - pos);
            UMC::MediaData in;
            in.SetBufferPointer(const_cast<uint8_t*>(stream.data()) + pos, unit);
            in.SetDataSize(unit);
            in.SetTime(pos == 0 ? firstTime : -1.0);
            Status st = decoder.GetFrame(&in, &out);
            statuses.push_back(st);
            pos += unit;
        }
        return statuses;
    }
    Status Flush() { return decoder.GetFrame(nullptr, &out); }
};

TEST(Mpeg2Decoder, InitAndCallErrors) {
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoData out;
    UMC::MediaData in;
    EXPECT_EQ(decoder.GetFrame(&in, &out), UMC::STATUS_NOT_INITIALIZED);
    EXPECT_EQ(decoder.Reset(), UMC::STATUS_NOT_INITIALIZED);
    EXPECT_EQ(decoder.Init(nullptr), UMC::STATUS_INIT_FAILED);
    UMC::BaseCodecParams wrongClass;
    EXPECT_EQ(decoder.Init(&wrongClass), UMC::STATUS_INIT_FAILED);
    UMC::VideoDecoderParams params;
    params.lFlags = 0x100;
    EXPECT_EQ(decoder.Init(&params), UMC::STATUS_UNSUPPORTED);
    params.lFlags = 0;
    params.numThreads = 99;
    ASSERT_EQ(decoder.Init(&params), UMC::STATUS_OK);
    UMC::VideoDecoderParams info;
    ASSERT_EQ(decoder.GetInfo(&info), UMC::STATUS_OK);
    EXPECT_EQ(info.numThreads, 8);
    EXPECT_EQ(info.profile, 4);
    EXPECT_EQ(info.level, 8);
    uint8_t bytes[4] = {0, 0, 1, 0xB3};
    in.SetBufferPointer(bytes, sizeof bytes);
    in.SetDataSize(sizeof bytes);
    EXPECT_EQ(decoder.GetFrame(&in, nullptr), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.GetFrame(nullptr, nullptr), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.GetFrame(nullptr, &out), UMC::STATUS_NOT_ENOUGH_DATA);
    EXPECT_EQ(decoder.SetParams(nullptr), UMC::STATUS_NULL_PTR);
}

TEST(Mpeg2Decoder, InputWithoutStartCodeIsNotConsumed) {
    Session s;
    ASSERT_EQ(s.Init(), UMC::STATUS_OK);
    std::vector<uint8_t> noise(1000, 0x55);
    noise[10] = 0;
    noise[11] = 0;  // 00 00 without the 01
    UMC::MediaData in;
    in.SetBufferPointer(noise.data(), noise.size());
    in.SetDataSize(noise.size());
    // Before the first sequence header the decoder waits for one.
    EXPECT_EQ(s.decoder.GetFrame(&in, &s.out), UMC::STATUS_NOT_ENOUGH_DATA);
    auto seq = IntraThenSkippedP(0);
    s.Feed(seq);
    in.SetBufferPointer(noise.data(), noise.size());
    in.SetDataSize(noise.size());
    EXPECT_EQ(s.decoder.GetFrame(&in, &s.out), UMC::STATUS_SYNC_NOT_FOUND);
    EXPECT_EQ(in.GetDataSize(), noise.size());
}

TEST(Mpeg2Decoder, DisplayOrderHoldsEachReferenceUntilTheNext) {
    const auto stream = IntraThenSkippedP(3);
    Session s;
    ASSERT_EQ(s.Init(), UMC::STATUS_OK);
    EXPECT_EQ(s.Feed(stream), (std::vector<Status>{UMC::STATUS_NOT_ENOUGH_DATA, UMC::STATUS_OK,
                                                   UMC::STATUS_OK, UMC::STATUS_OK}));
    EXPECT_EQ(s.Flush(), UMC::STATUS_OK);
    EXPECT_EQ(s.Flush(), UMC::STATUS_NOT_ENOUGH_DATA);
    ASSERT_EQ(s.stage.pictures.size(), 4u);
    const int types[4] = {1, 2, 2, 2};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(s.stage.pictures[size_t(k)].frameType, types[k]);
        EXPECT_EQ(s.stage.pictures[size_t(k)].planes[0], 100);
    }

    Session decodeOrder;
    ASSERT_EQ(decodeOrder.Init(0), UMC::STATUS_OK);
    EXPECT_EQ(decodeOrder.Feed(stream), (std::vector<Status>(4, UMC::STATUS_OK)));
    EXPECT_EQ(decodeOrder.Flush(), UMC::STATUS_NOT_ENOUGH_DATA);
}

TEST(Mpeg2Decoder, RepeatFirstFieldInAnInterlacedSequenceLastsOneAndAHalfPeriods) {
    const auto stream = IntraThenSkippedP(2, true);
    Session s;
    ASSERT_EQ(s.Init(), UMC::STATUS_OK);
    s.Feed(stream, 1.0);
    s.Flush();
    ASSERT_EQ(s.stage.pictures.size(), 3u);
    const double period = 1.0 / 25.0;
    EXPECT_DOUBLE_EQ(s.stage.pictures[0].time, 1.0);
    EXPECT_NEAR(s.stage.pictures[1].time, 1.0 + 1.5 * period, 1e-9);
    EXPECT_NEAR(s.stage.pictures[2].time, 1.0 + 2.5 * period, 1e-9);
}

TEST(Mpeg2Decoder, StreamStartingWithPAndBPicturesOutputsNothingBeforeTheFirstI) {
    const auto full = Fixture("mpeg2_open_gop");
    const auto types = PictureTypes(full);
    ASSERT_EQ(types[0], 1);
    // Cut the first access unit (sequence header, GOP, I picture); P and B pictures lead.
    const size_t cut = UMC::Mpeg2AccessUnitLength(full.data(), full.size());
    size_t seqEnd = 0;
    for (size_t i = 4; i + 3 < full.size(); ++i)
        if (!full[i] && !full[i + 1] && full[i + 2] == 1 && full[i + 3] == 0xB8) {
            seqEnd = i;
            break;
        }
    ASSERT_GT(seqEnd, 0u);
    std::vector<uint8_t> stream(full.begin(), full.begin() + long(seqEnd));
    stream.insert(stream.end(), full.begin() + long(cut), full.end());
    const DecodeResult r = Decode(stream);
    const DecodeResult all = Decode(full);
    ASSERT_FALSE(r.pictures.empty());
    ASSERT_LT(r.pictures.size(), all.pictures.size());
    EXPECT_EQ(r.pictures[0].frameType, 1);
    // From the next I picture on the pictures are those of the whole stream.
    for (size_t k = 1; k <= r.pictures.size(); ++k)
        EXPECT_EQ(r.pictures[r.pictures.size() - k].planes,
                  all.pictures[all.pictures.size() - k].planes);
}

TEST(Mpeg2Decoder, TrickModesAndSkipping) {
    const auto stream = Fixture("mpeg2_open_gop");
    const auto types = PictureTypes(stream);
    const int bCount = int(std::count(types.begin(), types.end(), 3));
    const int iCount = int(std::count(types.begin(), types.end(), 1));
    ASSERT_GT(bCount, 2);
    {
        Session s;
        ASSERT_EQ(s.Init(), UMC::STATUS_OK);
        UMC::VideoDecoderParams trick;
        trick.lTrickModesFlag = UMC::UMC_TRICK_MODES_REF_ONLY;
        ASSERT_EQ(s.decoder.SetParams(&trick), UMC::STATUS_OK);
        s.Feed(stream);
        while (s.Flush() == UMC::STATUS_OK) {
        }
        EXPECT_EQ(int(s.stage.pictures.size()), int(types.size()) - bCount);
        EXPECT_EQ(int(s.decoder.GetNumOfSkippedFrames()), bCount);
        for (const Picture& p : s.stage.pictures) EXPECT_NE(p.frameType, 3);
    }
    {
        Session s;
        ASSERT_EQ(s.Init(), UMC::STATUS_OK);
        UMC::VideoDecoderParams trick;
        trick.lTrickModesFlag = UMC::UMC_TRICK_MODES_INTRA_ONLY;
        ASSERT_EQ(s.decoder.SetParams(&trick), UMC::STATUS_OK);
        s.Feed(stream);
        while (s.Flush() == UMC::STATUS_OK) {
        }
        EXPECT_EQ(int(s.stage.pictures.size()), iCount);
    }
    {
        // Three pictures to skip: the first I picture takes one, then every other B picture.
        Session s;
        ASSERT_EQ(s.Init(), UMC::STATUS_OK);
        ASSERT_EQ(s.decoder.SkipVideoFrame(3), UMC::STATUS_OK);
        s.Feed(stream);
        while (s.Flush() == UMC::STATUS_OK) {
        }
        EXPECT_EQ(s.decoder.GetNumOfSkippedFrames(), 2u);
        EXPECT_EQ(s.stage.pictures.size(), types.size() - 2);
    }
}

TEST(Mpeg2Decoder, ResetWaitsForTheNextIntraPicture) {
    const auto stream = IntraThenSkippedP(2);
    Session s;
    ASSERT_EQ(s.Init(), UMC::STATUS_OK);
    s.Feed(stream);
    ASSERT_EQ(s.decoder.Reset(), UMC::STATUS_OK);
    EXPECT_EQ(s.Flush(), UMC::STATUS_NOT_ENOUGH_DATA);
    // Only the P pictures again: nothing comes out.
    const size_t first = UMC::Mpeg2AccessUnitLength(stream.data(), stream.size());
    std::vector<uint8_t> tail(stream.begin() + long(first), stream.end());
    const size_t before = s.stage.pictures.size();
    for (Status st : s.Feed(tail)) EXPECT_EQ(st, UMC::STATUS_NOT_ENOUGH_DATA);
    EXPECT_EQ(s.stage.pictures.size(), before);
}

TEST(Mpeg2Decoder, DamagedAndTruncatedStreamsNeverFail) {
    const auto clean = Fixture("mpeg2_interlaced_tff");
    const size_t cleanCount = Decode(clean).pictures.size();
    qm::test::Rng rng(7);
    int damagedPictures = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        auto stream = clean;
        for (int k = 0; k < 1 + round % 8; ++k) {
            const size_t at = size_t(rng.Int(40, int(stream.size()) - 1));
            stream[at] = uint8_t(rng.Int(0, 255));
        }
        const DecodeResult r = Decode(stream, 1 + round % 3);
        EXPECT_LE(r.pictures.size(), cleanCount + 2);
        for (const Picture& p : r.pictures) damagedPictures += p.damaged;
    }
    EXPECT_GT(damagedPictures, 0);
    for (size_t len = 1; len < clean.size(); len += clean.size() / 37) {
        std::vector<uint8_t> prefix(clean.begin(), clean.begin() + long(len));
        const DecodeResult r = Decode(prefix, 2);
        EXPECT_LE(r.pictures.size(), cleanCount);
    }
}

}  // namespace

namespace {

// Inputs that once broke the decoder under the fuzzer; first byte = the fuzzer's mode bits.
TEST(Mpeg2Decoder, FuzzFindingsStayFixed) {
    const auto dir = qm::test::FixtureDir() / "mpeg2" / "fuzz";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().filename().string());
        const auto bytes = ReadFile(entry.path());
        ASSERT_FALSE(bytes.empty());
        const uint8_t mode = bytes[0];
        const std::vector<uint8_t> stream(bytes.begin() + 1, bytes.end());
        const DecodeResult r =
            Decode(stream, (mode & 1) ? 2 : 1, (mode & 2) ? UMC::FLAG_VDEC_REORDER : 0);
        for (const Picture& p : r.pictures) {
            const size_t luma = size_t(p.width) * size_t(p.height);
            EXPECT_EQ(p.planes.size(), luma + 2 * size_t(p.chromaWidth) * size_t(p.chromaHeight));
        }
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST(Mpeg2Decoder, RejectedSequenceHeaderStopsDecodingUntilAGoodOne) {
    StreamWriter w;
    StreamWriter::Sequence good;
    w.SequenceHeader(good);
    auto picture = [&](int value) {
        w.PictureHeader({});
        const int v[6] = {value, value, value, value, 128, 128};
        for (int row = 0; row < 2; ++row) {
            w.Slice(row, 8);
            int pred[3] = {128, 128, 128};
            for (int col = 0; col < 2; ++col) w.IntraMacroblockDcOnly(1, v, 6, pred);
        }
    };
    picture(100);
    StreamWriter::Sequence bad = good;  // 4:2:2 and four times the size, but a zero height
    bad.width = 64;
    bad.height = 0;
    bad.chroma = 2;
    w.SequenceHeader(bad);
    picture(60);
    w.SequenceHeader(good);
    picture(30);
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data(), 1, 0);
    ASSERT_EQ(r.pictures.size(), 2u);
    EXPECT_EQ(r.pictures[0].planes[0], 100);
    EXPECT_EQ(r.pictures[1].planes[0], 30);
    EXPECT_NE(std::find(r.statuses.begin(), r.statuses.end(), UMC::STATUS_INVALID_PARAMS),
              r.statuses.end());
}

// Pictures of intra macroblocks, flat luma `value`: 32x32, a frame picture or a field pair
// (each field its own access unit).
void IntraPicture(StreamWriter& w, int type, int tr, int value, bool fields = false,
                  bool bottomFirst = false) {
    for (int f = 0; f < (fields ? 2 : 1); ++f) {
        StreamWriter::Picture p;
        p.type = type;
        p.temporalReference = tr;
        if (fields) {
            p.structure = (f == 0) != bottomFirst ? 1 : 2;
            p.progressiveFrame = 0;
            p.topFieldFirst = 0;
        }
        w.PictureHeader(p);
        const int dc[6] = {value, value, value, value, 128, 128};
        for (int row = 0; row < (fields ? 1 : 2); ++row) {
            w.Slice(row, 8);
            int pred[3] = {128, 128, 128};
            for (int col = 0; col < 2; ++col)
                w.IntraMacroblockDcOnly(1, dc, 6, pred, -1, type == 1 ? "1" : "00011");
        }
    }
}

// Closed GOPs of (type, temporal reference) in decode order; the luma of each picture is
// 20 + 10 x its display index in the stream.
std::vector<uint8_t> IntraGops(const std::vector<std::vector<std::pair<int, int>>>& gops,
                               bool fields, bool bottomFirst = false) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.progressive = fields ? 0 : 1;
    w.SequenceHeader(s);
    int base = 0;
    for (const auto& gop : gops) {
        w.Gop(true);
        for (auto [type, tr] : gop)
            IntraPicture(w, type, tr, 20 + 10 * (base + tr), fields, bottomFirst);
        base += int(gop.size());
    }
    w.StartCode(0xB7);
    return w.Data();
}

std::vector<int> Lumas(const std::vector<Picture>& pictures) {
    std::vector<int> values;
    for (const Picture& p : pictures) values.push_back(p.planes[0]);
    return values;
}

TEST(Mpeg2Decoder, SkippingDropsWholeFieldPairsAndCountsThemOnce) {
    for (bool bottomFirst : {false, true}) {
        SCOPED_TRACE(bottomFirst);
        const auto stream =
            IntraGops({{{1, 0}, {2, 2}, {3, 1}, {2, 4}, {3, 3}}, {{1, 0}, {2, 2}, {3, 1}}}, true,
                      bottomFirst);
        const DecodeResult all = Decode(stream);
        ASSERT_EQ(Lumas(all.pictures), (std::vector<int>{20, 30, 40, 50, 60, 70, 80, 90}));
        // The first I picture takes one of the three, then each B frame one (a P frame between).
        Session s;
        ASSERT_EQ(s.Init(), UMC::STATUS_OK);
        ASSERT_EQ(s.decoder.SkipVideoFrame(3), UMC::STATUS_OK);
        s.Feed(stream);
        while (s.Flush() == UMC::STATUS_OK) {
        }
        EXPECT_EQ(Lumas(s.stage.pictures), (std::vector<int>{20, 40, 60, 70, 80, 90}));
        EXPECT_EQ(s.decoder.GetNumOfSkippedFrames(), 2u);
        for (const Picture& p : s.stage.pictures) EXPECT_EQ(p.damaged, 0);
    }
}

TEST(Mpeg2Decoder, NegativeSkipCountsAndResetSkipCountLowerTheCounter) {
    // 25 pictures per second: -2 pictures lowers by 1 (steps of 3 or less count as 1), a reset
    // by 10; of 14 the first I picture then takes one and two B frames go.
    const auto stream =
        IntraGops({{{1, 0}, {2, 2}, {3, 1}, {2, 4}, {3, 3}}, {{1, 0}, {2, 2}, {3, 1}}}, false);
    const size_t first = UMC::Mpeg2AccessUnitLength(stream.data(), stream.size());
    std::vector<uint8_t> header(stream.begin(), stream.begin() + ptrdiff_t(first));
    UMC::MediaData initial;
    initial.SetBufferPointer(header.data(), header.size());
    initial.SetDataSize(header.size());
    Session s;
    UMC::VideoDecoderParams params;
    params.m_pData = &initial;
    params.numThreads = 1;
    params.lFlags = UMC::FLAG_VDEC_REORDER;
    params.pPostProcessing = &s.stage;
    ASSERT_EQ(s.decoder.Init(&params), UMC::STATUS_OK);
    ASSERT_EQ(s.decoder.SkipVideoFrame(14), UMC::STATUS_OK);
    ASSERT_EQ(s.decoder.SkipVideoFrame(-2), UMC::STATUS_OK);
    ASSERT_EQ(s.decoder.SkipVideoFrame(0), UMC::STATUS_OK);
    ASSERT_EQ(s.decoder.ResetSkipCount(), UMC::STATUS_OK);
    s.Feed(stream);
    while (s.Flush() == UMC::STATUS_OK) {
    }
    EXPECT_EQ(Lumas(s.stage.pictures), (std::vector<int>{20, 40, 60, 70, 80, 90}));
    EXPECT_EQ(s.decoder.GetNumOfSkippedFrames(), 2u);
}

TEST(Mpeg2Decoder, TimeStampsFollowTheDisplayOrderInBothOutputOrders) {
    const double period = 1.0 / 25.0;
    for (bool fields : {false, true}) {
        const auto stream = IntraGops(
            {{{1, 0}, {2, 3}, {3, 1}, {3, 2}, {2, 6}, {3, 4}, {3, 5}}, {{1, 0}, {2, 2}, {3, 1}}},
            fields);
        for (int32_t flags : {0, int32_t(UMC::FLAG_VDEC_REORDER)}) {
            for (double first : {-1.0, 1.0}) {
                SCOPED_TRACE(testing::Message() << "fields " << fields << " flags " << flags
                                                << " first stamp " << first);
                Session s;
                ASSERT_EQ(s.Init(flags), UMC::STATUS_OK);
                s.Feed(stream, first);
                while (s.Flush() == UMC::STATUS_OK) {
                }
                ASSERT_EQ(s.stage.pictures.size(), 10u);
                const double start = first < 0 ? 0.0 : first;
                for (const Picture& p : s.stage.pictures) {
                    const int display = (p.planes[0] - 20) / 10;
                    EXPECT_NEAR(p.time, start + display * period, 1e-9) << "picture " << display;
                }
            }
        }
    }
}

// A system layer's packet may carry several pictures; its time stamp is the first one's that
// begins in it. Fed whole, one GetFrame after another, the pictures after the first are timed by
// the clock like untimed inputs of their own, not all with the packet's stamp.
TEST(Mpeg2Decoder, SeveralPicturesInOneInputTakeItsStampOnce) {
    const double period = 1.0 / 25.0, start = 1.0;
    const auto stream = IntraGops(
        {{{1, 0}, {2, 3}, {3, 1}, {3, 2}, {2, 6}, {3, 4}, {3, 5}}, {{1, 0}, {2, 2}, {3, 1}}}, false);
    const int display[] = {0, 3, 1, 2, 6, 4, 5, 7, 9, 8};  // of the pictures in stream order
    std::vector<size_t> units{0};
    while (units.back() < stream.size())
        units.push_back(units.back() + UMC::Mpeg2AccessUnitLength(stream.data() + units.back(),
                                                                  stream.size() - units.back()));
    ASSERT_EQ(units.size(), 11u);
    for (int32_t flags : {0, int32_t(UMC::FLAG_VDEC_REORDER)}) {
        for (size_t perInput : {2, 3, 10}) {
            SCOPED_TRACE(testing::Message() << "flags " << flags << " pictures " << perInput);
            Session s;
            ASSERT_EQ(s.Init(flags), UMC::STATUS_OK);
            for (size_t u = 0; u < 10; u += perInput) {
                const size_t end = units[std::min<size_t>(u + perInput, 10)];
                UMC::MediaData in;
                in.SetBufferPointer(const_cast<uint8_t*>(stream.data()) + units[u], end - units[u]);
                in.SetDataSize(end - units[u]);
                in.SetTime(start + display[u] * period);
                for (int guard = 0; guard < 16 && in.GetDataSize() >= 4; ++guard) {
                    const size_t before = in.GetDataSize();
                    if (s.decoder.GetFrame(&in, &s.out) != UMC::STATUS_OK &&
                        in.GetDataSize() == before)
                        break;
                }
            }
            while (s.Flush() == UMC::STATUS_OK) {
            }
            ASSERT_EQ(s.stage.pictures.size(), 10u);
            for (const Picture& p : s.stage.pictures) {
                const int shown = (p.planes[0] - 20) / 10;
                EXPECT_NEAR(p.time, start + shown * period, 1e-9) << "picture " << shown;
            }
        }
    }
}

TEST(Mpeg2Decoder, SequenceHeaderOfAnotherStreamTypeLeavesTheOldSequenceDecoding) {
    StreamWriter w;
    StreamWriter::Sequence mpeg2;
    w.SequenceHeader(mpeg2);
    IntraPicture(w, 1, 0, 100);
    StreamWriter::Sequence mpeg1 = mpeg2;  // no extension: an MPEG-1 header, 4x the size
    mpeg1.mpeg2 = false;
    mpeg1.width = 64;
    w.SequenceHeader(mpeg1);
    IntraPicture(w, 1, 0, 60);
    IntraPicture(w, 1, 1, 30);
    w.StartCode(0xB7);
    const DecodeResult r = Decode(w.Data(), 1, 0);
    EXPECT_EQ(Lumas(r.pictures), (std::vector<int>{100, 60, 30}));
    for (const Picture& p : r.pictures) EXPECT_EQ(p.width, 32);
    EXPECT_NE(std::find(r.statuses.begin(), r.statuses.end(), UMC::STATUS_INVALID_STREAM),
              r.statuses.end());
}

}  // namespace
