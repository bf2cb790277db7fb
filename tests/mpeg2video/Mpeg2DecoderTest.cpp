// The frame driver: set-up errors, output order, flushing, time stamps, skipping, reset, header
// changes and fuzzer findings.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "tests/mpeg2video/Mpeg2StreamWriter.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"

namespace {

using namespace qm::test::mpeg2;
using UMC::Status;
using Statuses = std::vector<Status>;

// Picture coding types in stream order.
std::vector<int> PictureTypes(const std::vector<uint8_t>& s) {
    std::vector<int> types;
    for (size_t i = 0; i + 5 < s.size(); ++i)
        if (!s[i] && !s[i + 1] && s[i + 2] == 1 && s[i + 3] == 0)
            types.push_back((s[i + 5] >> 3) & 7);
    return types;
}

// Access unit offsets of a stream, its size last.
std::vector<size_t> Units(const std::vector<uint8_t>& s) {
    std::vector<size_t> units{0};
    while (units.back() < s.size())
        units.push_back(units.back() + UMC::Mpeg2AccessUnitLength(s.data() + units.back(),
                                                                  s.size() - units.back()));
    return units;
}

// 32x32: an I picture (luma 100) followed by P pictures whose macroblocks are all skipped.
std::vector<uint8_t> IntraThenSkippedP(int pCount, bool interlacedRff = false) {
    StreamWriter w;
    w.SequenceHeader({.progressive = interlacedRff ? 0 : 1});
    w.Gop(true);
    w.FlatIntraPicture(2, 2, 100, {.repeatFirstField = interlacedRff ? 1 : 0});
    for (int k = 1; k <= pCount; ++k) {
        w.PictureHeader({.type = 2, .temporalReference = k});
        for (int row = 0; row < 2; ++row) {
            w.Slice(row, 8);
            for (int col = 0; col < 2; ++col) {
                w.AddressIncrement(1);
                w.Code(
                    "001"
                    "1"
                    "1");  // forward, not coded, zero vector
            }
        }
    }
    return w.End();
}

// 32x32 closed GOPs of intra pictures, (type, temporal reference) in decode order; the luma of
// each picture is 20 + 10 x its display index in the stream. Field pictures are pairs.
std::vector<uint8_t> IntraGops(const std::vector<std::vector<std::pair<int, int>>>& gops,
                               bool fields, bool bottomFirst = false) {
    StreamWriter w;
    w.SequenceHeader({.progressive = fields ? 0 : 1});
    int base = 0;
    for (const auto& gop : gops) {
        w.Gop(true);
        for (auto [type, tr] : gop)
            for (int f = 0; f < (fields ? 2 : 1); ++f)
                w.FlatIntraPicture(2, fields ? 1 : 2, 20 + 10 * (base + tr),
                                   {.type = type,
                                    .temporalReference = tr,
                                    .structure = !fields                   ? 3
                                                 : (f == 0) != bottomFirst ? 1
                                                                           : 2,
                                    .topFieldFirst = fields ? 0 : 1,
                                    .progressiveFrame = fields ? 0 : 1});
        base += int(gop.size());
    }
    return w.End();
}

const std::vector<std::vector<std::pair<int, int>>> kTwoGops = {
    {{1, 0}, {2, 2}, {3, 1}, {2, 4}, {3, 3}}, {{1, 0}, {2, 2}, {3, 1}}};
const std::vector<std::vector<std::pair<int, int>>> kTenPictures = {
    {{1, 0}, {2, 3}, {3, 1}, {3, 2}, {2, 6}, {3, 4}, {3, 5}}, {{1, 0}, {2, 2}, {3, 1}}};

std::vector<int> Lumas(const std::vector<Picture>& pictures) {
    std::vector<int> values;
    for (const Picture& p : pictures) values.push_back(p.planes[0]);
    return values;
}

// Pictures of IntraGops streams carry the time of their display index.
void ExpectDisplayTimes(const std::vector<Picture>& pictures, double start) {
    ASSERT_EQ(pictures.size(), 10u);
    for (const Picture& p : pictures) {
        const int display = (p.planes[0] - 20) / 10;
        EXPECT_NEAR(p.time, start + display / 25.0, 1e-9) << "picture " << display;
    }
}

struct Session {
    CaptureStage stage;
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoData out;
    Status Init(int32_t flags = UMC::FLAG_VDEC_REORDER, UMC::MediaData* initial = nullptr) {
        UMC::VideoDecoderParams params;
        params.m_pData = initial;
        params.numThreads = 1;
        params.lFlags = flags;
        params.pPostProcessing = &stage;
        return decoder.Init(&params);
    }
    // One call per access unit, the first stamped `firstTime`; the statuses.
    Statuses Feed(const std::vector<uint8_t>& stream, double firstTime = -1.0) {
        Statuses statuses;
        const std::vector<size_t> units = Units(stream);
        for (size_t u = 0; u + 1 < units.size(); ++u) {
            UMC::MediaData in;
            in.SetBufferPointer(const_cast<uint8_t*>(stream.data()) + units[u],
                                units[u + 1] - units[u]);
            in.SetDataSize(units[u + 1] - units[u]);
            in.SetTime(u == 0 ? firstTime : -1.0);
            statuses.push_back(decoder.GetFrame(&in, &out));
        }
        return statuses;
    }
    Status Flush() { return decoder.GetFrame(nullptr, &out); }
    void Drain() {
        while (Flush() == UMC::STATUS_OK) {
        }
    }
};

TEST(Mpeg2Decoder, InitAndCallErrors) {
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoData out;
    UMC::MediaData in;
    EXPECT_EQ(decoder.GetFrame(&in, &out), UMC::STATUS_NOT_INITIALIZED);
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
    EXPECT_EQ(std::tuple(info.numThreads, info.profile, info.level), std::tuple(8, 4, 8));
    uint8_t bytes[4] = {0, 0, 1, 0xB3};
    in.SetBufferPointer(bytes, sizeof bytes);
    in.SetDataSize(sizeof bytes);
    EXPECT_EQ(decoder.GetFrame(&in, nullptr), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.GetFrame(nullptr, &out), UMC::STATUS_NOT_ENOUGH_DATA);
}

TEST(Mpeg2Decoder, InputWithoutStartCodeIsNotConsumed) {
    Session s;
    ASSERT_EQ(s.Init(), UMC::STATUS_OK);
    std::vector<uint8_t> noise(1000, 0x55);
    noise[10] = noise[11] = 0;  // 00 00 without the 01
    UMC::MediaData in;
    in.SetBufferPointer(noise.data(), noise.size());
    in.SetDataSize(noise.size());
    // Before the first sequence header the decoder waits for one.
    EXPECT_EQ(s.decoder.GetFrame(&in, &s.out), UMC::STATUS_NOT_ENOUGH_DATA);
    s.Feed(IntraThenSkippedP(0));
    in.SetBufferPointer(noise.data(), noise.size());
    in.SetDataSize(noise.size());
    EXPECT_EQ(s.decoder.GetFrame(&in, &s.out), UMC::STATUS_SYNC_NOT_FOUND);
    EXPECT_EQ(in.GetDataSize(), noise.size());
}

TEST(Mpeg2Decoder, DisplayOrderHoldsEachReferenceUntilTheNext) {
    const auto stream = IntraThenSkippedP(3);
    Session s;
    ASSERT_EQ(s.Init(), UMC::STATUS_OK);
    EXPECT_EQ(s.Feed(stream), (Statuses{UMC::STATUS_NOT_ENOUGH_DATA, UMC::STATUS_OK, UMC::STATUS_OK,
                                        UMC::STATUS_OK}));
    EXPECT_EQ(s.Flush(), UMC::STATUS_OK);
    EXPECT_EQ(s.Flush(), UMC::STATUS_NOT_ENOUGH_DATA);
    ASSERT_EQ(s.stage.pictures.size(), 4u);
    for (size_t k = 0; k < 4; ++k)
        EXPECT_EQ(std::pair(s.stage.pictures[k].frameType, int(s.stage.pictures[k].planes[0])),
                  std::pair(k ? 2 : 1, 100));

    Session decodeOrder;
    ASSERT_EQ(decodeOrder.Init(0), UMC::STATUS_OK);
    EXPECT_EQ(decodeOrder.Feed(stream), Statuses(4, UMC::STATUS_OK));
    EXPECT_EQ(decodeOrder.Flush(), UMC::STATUS_NOT_ENOUGH_DATA);

    // Reset waits for the next intra picture: the P pictures alone give nothing.
    ASSERT_EQ(s.decoder.Reset(), UMC::STATUS_OK);
    EXPECT_EQ(s.Flush(), UMC::STATUS_NOT_ENOUGH_DATA);
    const size_t first = UMC::Mpeg2AccessUnitLength(stream.data(), stream.size());
    EXPECT_EQ(s.Feed(std::vector<uint8_t>(stream.begin() + long(first), stream.end())),
              Statuses(3, UMC::STATUS_NOT_ENOUGH_DATA));
    EXPECT_EQ(s.stage.pictures.size(), 4u);
}

TEST(Mpeg2Decoder, RepeatFirstFieldInAnInterlacedSequenceLastsOneAndAHalfPeriods) {
    Session s;
    ASSERT_EQ(s.Init(), UMC::STATUS_OK);
    s.Feed(IntraThenSkippedP(2, true), 1.0);
    s.Flush();
    ASSERT_EQ(s.stage.pictures.size(), 3u);
    EXPECT_DOUBLE_EQ(s.stage.pictures[0].time, 1.0);
    EXPECT_NEAR(s.stage.pictures[1].time, 1.0 + 1.5 / 25, 1e-9);
    EXPECT_NEAR(s.stage.pictures[2].time, 1.0 + 2.5 / 25, 1e-9);
}

TEST(Mpeg2Decoder, StreamStartingWithPAndBPicturesOutputsNothingBeforeTheFirstI) {
    const auto full = Fixture("mpeg2_open_gop");
    ASSERT_EQ(PictureTypes(full)[0], 1);
    // Cut the first access unit (sequence header, GOP, I picture); P and B pictures lead.
    const size_t cut = UMC::Mpeg2AccessUnitLength(full.data(), full.size());
    const uint8_t gop[4] = {0, 0, 1, 0xB8};
    const auto seqEnd = std::search(full.begin() + 4, full.end(), gop, gop + 4);
    ASSERT_NE(seqEnd, full.end());
    std::vector<uint8_t> stream(full.begin(), seqEnd);
    stream.insert(stream.end(), full.begin() + long(cut), full.end());
    const DecodeResult r = Decode(stream), all = Decode(full);
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
    const size_t bCount = size_t(std::count(types.begin(), types.end(), 3));
    const size_t iCount = size_t(std::count(types.begin(), types.end(), 1));
    ASSERT_GT(bCount, 2u);
    auto trick = [](int32_t mode) {
        return [mode](UMC::MPEG2VideoDecoder& d) {
            UMC::VideoDecoderParams params;
            params.lTrickModesFlag = mode;
            return d.SetParams(&params);
        };
    };
    const struct {
        const char* name;
        std::function<Status(UMC::MPEG2VideoDecoder&)> set;
        size_t pictures, skipped;
        bool noB;
    } rows[] = {
        {"reference only", trick(UMC::UMC_TRICK_MODES_REF_ONLY), types.size() - bCount, bCount,
         true},
        {"intra only", trick(UMC::UMC_TRICK_MODES_INTRA_ONLY), iCount, size_t(-1), true},
        // Three to skip: the first I picture takes one, then every other B picture.
        {"skip 3", [](UMC::MPEG2VideoDecoder& d) { return d.SkipVideoFrame(3); }, types.size() - 2,
         2, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Session s;
        ASSERT_EQ(s.Init(), UMC::STATUS_OK);
        ASSERT_EQ(row.set(s.decoder), UMC::STATUS_OK);
        s.Feed(stream);
        s.Drain();
        EXPECT_EQ(s.stage.pictures.size(), row.pictures);
        if (row.skipped != size_t(-1)) {
            EXPECT_EQ(s.decoder.GetNumOfSkippedFrames(), row.skipped);
        }
        for (const Picture& p : s.stage.pictures) EXPECT_TRUE(!row.noB || p.frameType != 3);
    }
}

// Skipping drops whole field pairs and counts them once. 25 pictures per second: -2 pictures
// lowers the count by 1 (steps of 3 or less count as 1), a reset by 10; of 14 the first I picture
// then takes one and two B frames go, as with 3.
TEST(Mpeg2Decoder, SkippingCountsPicturesAndSkipCountsAdd) {
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        const bool fields = row < 2;
        const auto stream = IntraGops(kTwoGops, fields, row == 1);
        ASSERT_EQ(Lumas(Decode(stream).pictures),
                  (std::vector<int>{20, 30, 40, 50, 60, 70, 80, 90}));
        const size_t first = UMC::Mpeg2AccessUnitLength(stream.data(), stream.size());
        UMC::MediaData initial;
        initial.SetBufferPointer(const_cast<uint8_t*>(stream.data()), first);
        initial.SetDataSize(first);
        Session s;
        ASSERT_EQ(s.Init(UMC::FLAG_VDEC_REORDER, fields ? nullptr : &initial), UMC::STATUS_OK);
        for (int n : fields ? std::vector<int>{3} : std::vector<int>{14, -2, 0})
            ASSERT_EQ(s.decoder.SkipVideoFrame(n), UMC::STATUS_OK);
        if (!fields) {
            ASSERT_EQ(s.decoder.ResetSkipCount(), UMC::STATUS_OK);
        }
        s.Feed(stream);
        s.Drain();
        EXPECT_EQ(Lumas(s.stage.pictures), (std::vector<int>{20, 40, 60, 70, 80, 90}));
        EXPECT_EQ(s.decoder.GetNumOfSkippedFrames(), 2u);
        for (const Picture& p : s.stage.pictures) EXPECT_EQ(p.damaged, 0);
    }
}

TEST(Mpeg2Decoder, TimeStampsFollowTheDisplayOrderInBothOutputOrders) {
    for (bool fields : {false, true})
        for (int32_t flags : {0, int32_t(UMC::FLAG_VDEC_REORDER)})
            for (double first : {-1.0, 1.0}) {
                SCOPED_TRACE(testing::Message() << "fields " << fields << " flags " << flags
                                                << " first stamp " << first);
                Session s;
                ASSERT_EQ(s.Init(flags), UMC::STATUS_OK);
                s.Feed(IntraGops(kTenPictures, fields), first);
                s.Drain();
                ExpectDisplayTimes(s.stage.pictures, first < 0 ? 0.0 : first);
            }
}

// A system layer's packet may carry several pictures; its time stamp is the first one's that
// begins in it. Fed whole, one GetFrame after another, the pictures after the first are timed by
// the clock like untimed inputs of their own, not all with the packet's stamp.
TEST(Mpeg2Decoder, SeveralPicturesInOneInputTakeItsStampOnce) {
    const auto stream = IntraGops(kTenPictures, false);
    const int display[] = {0, 3, 1, 2, 6, 4, 5, 7, 9, 8};  // of the pictures in stream order
    const std::vector<size_t> units = Units(stream);
    ASSERT_EQ(units.size(), 11u);
    for (int32_t flags : {0, int32_t(UMC::FLAG_VDEC_REORDER)})
        for (size_t perInput : {2, 3, 10}) {
            SCOPED_TRACE(testing::Message() << "flags " << flags << " pictures " << perInput);
            Session s;
            ASSERT_EQ(s.Init(flags), UMC::STATUS_OK);
            for (size_t u = 0; u < 10; u += perInput) {
                const size_t end = units[std::min<size_t>(u + perInput, 10)];
                UMC::MediaData in;
                in.SetBufferPointer(const_cast<uint8_t*>(stream.data()) + units[u], end - units[u]);
                in.SetDataSize(end - units[u]);
                in.SetTime(1.0 + display[u] / 25.0);
                for (int guard = 0; guard < 16 && in.GetDataSize() >= 4; ++guard) {
                    const size_t before = in.GetDataSize();
                    if (s.decoder.GetFrame(&in, &s.out) != UMC::STATUS_OK &&
                        in.GetDataSize() == before)
                        break;
                }
            }
            s.Drain();
            ExpectDisplayTimes(s.stage.pictures, 1.0);
        }
}

// A sequence header the decoder refuses in mid-stream: one it cannot take (a zero height) stops
// the pictures until a good one; one of the other stream type leaves the old sequence decoding.
TEST(Mpeg2Decoder, RefusedSequenceHeadersInMidStream) {
    const struct {
        const char* name;
        StreamWriter::Sequence bad;
        bool resend;
        std::vector<int> lumas;
        Status status;
    } rows[] = {
        {"zero height",
         {.width = 64, .height = 0, .chroma = 2},
         true,
         {100, 30},
         UMC::STATUS_INVALID_PARAMS},
        {"mpeg1", {.width = 64, .mpeg2 = false}, false, {100, 60, 30}, UMC::STATUS_INVALID_STREAM},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StreamWriter w;
        w.SequenceHeader({});
        w.FlatIntraPicture(2, 2, 100);
        w.SequenceHeader(row.bad);
        w.FlatIntraPicture(2, 2, 60);
        if (row.resend) w.SequenceHeader({});
        w.FlatIntraPicture(2, 2, 30, {.temporalReference = 1});
        const DecodeResult r = Decode(w.End(), 1, 0);
        EXPECT_EQ(Lumas(r.pictures), row.lumas);
        for (const Picture& p : r.pictures) EXPECT_EQ(p.width, 32);
        EXPECT_NE(std::find(r.statuses.begin(), r.statuses.end(), row.status), r.statuses.end());
    }
}

// A sequence of another picture size: the reference held back for display order goes out at its
// own size and content before the frame memory is replaced, with or without a sequence end code
// between the sequences, whether pictures come one per call or the whole stream in one input.
TEST(Mpeg2Decoder, SizeChangeOutputsTheHeldReferenceFirst) {
    for (const bool mpeg2 : {true, false})
        for (const bool endCode : {true, false})
            for (const bool oneInput : {false, true}) {
                SCOPED_TRACE(testing::Message() << "mpeg2 " << mpeg2 << " end code " << endCode
                                                << " one input " << oneInput);
                StreamWriter w;
                w.SequenceHeader({.mpeg2 = mpeg2});
                w.FlatIntraPicture(2, 2, 100, {.codingExtension = mpeg2});
                w.FlatIntraPicture(2, 2, 60,
                                   {.type = 2, .temporalReference = 1, .codingExtension = mpeg2});
                if (endCode) w.StartCode(0xB7);
                w.SequenceHeader({.width = 64, .height = 48, .mpeg2 = mpeg2});
                w.FlatIntraPicture(4, 3, 30, {.codingExtension = mpeg2});
                const std::vector<uint8_t>& stream = w.End();
                DecodeResult r;
                if (oneInput) {
                    Session s;
                    ASSERT_EQ(s.Init(), UMC::STATUS_OK);
                    UMC::MediaData in;
                    in.SetBufferPointer(const_cast<uint8_t*>(stream.data()), stream.size());
                    in.SetDataSize(stream.size());
                    for (int guard = 0; guard < 8 && in.GetDataSize() > 0; ++guard)
                        s.decoder.GetFrame(&in, &s.out);
                    s.Drain();
                    r.pictures = s.stage.pictures;
                } else {
                    r = Decode(stream);
                }
                EXPECT_EQ(Lumas(r.pictures), (std::vector<int>{100, 60, 30}));
                ASSERT_EQ(r.pictures.size(), 3u);
                EXPECT_EQ(r.pictures[1].width, 32);
                EXPECT_EQ(r.pictures[1].planes.size(), 32u * 32 * 3 / 2);
                EXPECT_EQ(r.pictures[2].width, 64);
                EXPECT_EQ(r.pictures[2].height, 48);
            }
}

// Inputs that once broke the decoder under the fuzzer; first byte = the fuzzer's mode bits.
TEST(Mpeg2Decoder, FuzzFindingsStayFixed) {
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(qm::test::FixtureDir() / "mpeg2" / "fuzz")) {
        SCOPED_TRACE(entry.path().filename().string());
        const auto bytes = ReadFile(entry.path());
        ASSERT_FALSE(bytes.empty());
        const uint8_t mode = bytes[0];
        const DecodeResult r = Decode(std::vector<uint8_t>(bytes.begin() + 1, bytes.end()),
                                      (mode & 1) ? 2 : 1, (mode & 2) ? UMC::FLAG_VDEC_REORDER : 0);
        for (const Picture& p : r.pictures)
            EXPECT_EQ(p.planes.size(), size_t(p.width) * size_t(p.height) +
                                           2 * size_t(p.chromaWidth) * size_t(p.chromaHeight));
        ++files;
    }
    EXPECT_GT(files, 0);
}

}  // namespace
