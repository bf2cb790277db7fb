// Sequence, GOP and picture headers: stream type detection, sizes, rates, aspect ratios, bit rate
// limits, user data, the header errors, and headers cut short leaving the decoder as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "tests/mpeg2video/Mpeg2StreamWriter.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"

namespace {

using namespace qm::test::mpeg2;
using UMC::Status;
using Seq = StreamWriter::Sequence;
using Pic = StreamWriter::Picture;

struct Initialised {
    UMC::MPEG2VideoDecoder decoder;
    CaptureStage stage;
    Status status = UMC::STATUS_FAILED;
    UMC::MPEG2VideoDecoderBase* base() { return decoder.Inner(); }

    explicit Initialised(std::vector<uint8_t> bytes = {}) {
        UMC::MediaData initial;
        initial.SetBufferPointer(bytes.data(), bytes.size());
        initial.SetDataSize(bytes.size());
        UMC::VideoDecoderParams params;
        params.m_pData = &initial;
        params.numThreads = 1;
        params.lFlags = UMC::FLAG_VDEC_REORDER;
        params.pPostProcessing = &stage;
        status = decoder.Init(&params);
    }
    Status Feed(const std::vector<uint8_t>& bytes) {
        UMC::MediaData in;
        in.SetBufferPointer(const_cast<uint8_t*>(bytes.data()), bytes.size());
        in.SetDataSize(bytes.size());
        UMC::VideoData out;
        return decoder.GetFrame(&in, &out);
    }
    // Parses the header whose start code opens `bytes`.
    Status Parse(uint32_t code, const std::vector<uint8_t>& bytes) {
        UMC::Mpeg2BitReader bs;
        bs.Init(bytes.data(), bytes.size());
        bs.Skip(32);
        return base()->ParseHeader(code, bs);
    }
};

std::vector<uint8_t> Sequence(const Seq& s) {
    StreamWriter w;
    w.SequenceHeader(s);
    w.StartCode(0xB8);  // something after the headers
    return w.Data();
}

// What a sequence header gives the decoder at Init.
struct SequenceRow {
    const char* name;
    Seq s;
    Status status = UMC::STATUS_OK;
    UMC::VideoStreamType type = UMC::MPEG2_VIDEO;
    double period = 1.0 / 25.0;
    std::pair<int, int> sar = {1, 1};
    int bitrate = 1000 * 400;
};

TEST(Mpeg2Headers, SequenceHeadersAtInit) {
    const SequenceRow rows[] = {
        {.name = "mpeg2", .s = {}},
        {.name = "mpeg1", .s = {.mpeg2 = false}, .type = UMC::MPEG1_VIDEO},
        // constrained_parameters_flag: MPEG-1 even with a sequence extension behind it.
        {.name = "constrained", .s = {.constrained = 1}, .type = UMC::MPEG1_VIDEO},
        {.name = "59.94",
         .s = {.frameRateCode = 4, .frameRateExtN = 1},
         .period = 1001.0 / 60000.0},
        {.name = "rate 0", .s = {.frameRateCode = 0}, .period = 1.0 / 30.0},
        {.name = "rate 8 ext", .s = {.frameRateCode = 8, .frameRateExtD = 1}, .period = 2.0 / 60.0},
        {.name = "16:9", .s = {.width = 720, .height = 576, .aspect = 3}, .sar = {64, 45}},
        {.name = "mpeg1 aspect 12",
         .s = {.width = 352, .height = 288, .aspect = 12, .mpeg2 = false},
         .type = UMC::MPEG1_VIDEO,
         .sar = {9, 8}},
        // 25000 + 2^18 units of 400; 41 << 18 units do not fit 32 bits.
        {.name = "extended",
         .s = {.bitRateValue = 25000, .bitRateExt = 1},
         .bitrate = (25000 + 262144) * 400},
        {.name = "beyond 32 bits", .s = {.bitRateValue = 25000, .bitRateExt = 41}, .bitrate = -1},
        {.name = "zero width", .s = {.width = 0}, .status = UMC::STATUS_INVALID_STREAM},
    };
    for (const SequenceRow& row : rows) {
        SCOPED_TRACE(row.name);
        Initialised d(Sequence(row.s));
        ASSERT_EQ(d.status, row.status);
        if (row.status != UMC::STATUS_OK) continue;
        const UMC::VideoStreamInfo& info = d.base()->StreamInfo();
        EXPECT_EQ(info.stream_type, row.type);
        if (row.type == UMC::MPEG2_VIDEO) {
            EXPECT_EQ(std::pair(d.base()->Profile(), d.base()->Level()), std::pair(4, 8));
        }
        EXPECT_EQ(std::pair(info.clip_width, info.clip_height),
                  std::pair(row.s.width, row.s.height));
        EXPECT_DOUBLE_EQ(d.base()->FramePeriod(), row.period);
        EXPECT_NEAR(info.framerate, 1.0 / row.period, 1e-9);
        EXPECT_EQ(std::pair(info.aspect_ratio_width, info.aspect_ratio_height), row.sar);
        EXPECT_EQ(info.bitrate, row.bitrate);
    }
}

TEST(Mpeg2Headers, HeaderErrors) {
    EXPECT_EQ(Initialised({1, 2, 3, 4, 5, 6, 7, 8}).status, UMC::STATUS_SYNC_NOT_FOUND);
    // A size of zero met by GetFrame rather than Init.
    EXPECT_EQ(Initialised().Feed(Sequence({.width = 0})), UMC::STATUS_INVALID_PARAMS);
    {
        // The stream type may not change.
        Initialised d(Sequence({.mpeg2 = false}));
        ASSERT_EQ(d.status, UMC::STATUS_OK);
        EXPECT_EQ(d.Parse(UMC::MPEG2_SEQUENCE_HEADER, Sequence({})), UMC::STATUS_INVALID_STREAM);
        const std::vector<uint8_t> zeros(16);
        EXPECT_EQ(d.Parse(0xFF, zeros), UMC::STATUS_INVALID_STREAM);
        EXPECT_EQ(d.Parse(0x1B9, zeros), UMC::STATUS_INVALID_STREAM);
        EXPECT_EQ(d.Parse(UMC::MPEG2_SEQUENCE_END, zeros), UMC::STATUS_OK);
    }
    // Picture types 0 and 5, a coding extension missing in MPEG-2 or present in MPEG-1, and a
    // zero f_code.
    const std::pair<Pic, bool> pictures[] = {
        {{.type = 0}, true},
        {{.type = 5}, true},
        {{.codingExtension = false}, true},
        {{}, false},
        {{.type = 2, .fcode = 0, .codingExtension = false}, false}};
    for (const auto& [p, mpeg2] : pictures) {
        SCOPED_TRACE(p.type);
        StreamWriter w;
        w.SequenceHeader({.mpeg2 = mpeg2});
        w.PictureHeader(p);
        w.Slice(0, 8);
        EXPECT_EQ(Initialised().Feed(w.End()), UMC::STATUS_INVALID_STREAM);
    }
}

TEST(Mpeg2Headers, UserDataIsCollectedWithItsStartCode) {
    StreamWriter w;
    w.SequenceHeader({});
    w.UserData({'C', 'C', 1, 2, 3});
    w.Gop(true);
    w.UserData({'X'});
    w.FlatIntraPicture(1, 1, 100);
    Initialised d;
    d.Feed(w.End());
    for (const std::vector<uint8_t>& expected :
         {std::vector<uint8_t>{0, 0, 1, 0xB2, 'C', 'C', 1, 2, 3}, {0, 0, 1, 0xB2, 'X'}}) {
        UMC::MediaData ud;
        ASSERT_EQ(d.decoder.GetUserData(&ud), UMC::STATUS_OK);
        EXPECT_EQ(std::vector<uint8_t>(ud.GetDataPointer(), ud.GetDataPointer() + ud.GetDataSize()),
                  expected);
    }
    UMC::MediaData ud;
    EXPECT_NE(d.decoder.GetUserData(&ud), UMC::STATUS_OK);
}

// sequence_display_extension: video format, colour description, display size.
void SequenceDisplayExtension(StreamWriter& w, int width, int height, bool colour) {
    w.StartCode(0xB5);
    w.Put(2, 4);
    w.Put(5, 3);
    w.Put(colour ? 1 : 0, 1);
    if (colour) w.Put(0x010101, 24);
    w.Put(uint32_t(width), 14);
    w.Put(1, 1);
    w.Put(uint32_t(height), 14);
}

TEST(Mpeg2Headers, DisplayExtensionsGiveTheAspectAndLeaveThePicturesAlone) {
    // 16:9 shown on 704 of 720 columns: samples of 16:11.
    for (bool colour : {false, true}) {
        StreamWriter w;
        w.SequenceHeader({.width = 720, .height = 576, .aspect = 3});
        SequenceDisplayExtension(w, 704, 576, colour);
        w.StartCode(0xB8);
        Initialised d(w.Data());
        ASSERT_EQ(d.status, UMC::STATUS_OK);
        const UMC::VideoStreamInfo& info = d.base()->StreamInfo();
        EXPECT_EQ(
            std::tuple(info.aspect_ratio_width, info.aspect_ratio_height, info.disp_clip_width),
            std::tuple(16, 11, 704));
    }
    // A picture display extension (frame centre offsets) between the coding extension and the
    // slices changes nothing in the picture.
    auto stream = [](bool display) {
        StreamWriter w;
        w.SequenceHeader({.progressive = 0});
        if (display) SequenceDisplayExtension(w, 32, 32, true);
        w.PictureHeader({.repeatFirstField = 1, .progressiveFrame = 0});
        if (display) {
            w.StartCode(0xB5);
            w.Put(7, 4);
            for (int k = 0; k < 3; ++k) {  // interlaced, repeat_first_field: three offsets
                w.Put(0xFFF0, 16);
                w.Put(1, 1);
                w.Put(0x0010, 16);
                w.Put(1, 1);
            }
        }
        const int dc[6] = {90, 100, 110, 120, 60, 200};
        for (int row = 0; row < 2; ++row) {
            w.Slice(row, 8);
            int pred[3] = {128, 128, 128};
            for (int col = 0; col < 2; ++col) w.IntraMacroblockDcOnly(1, dc, 6, pred);
        }
        return w.End();
    };
    const DecodeResult plain = Decode(stream(false)), shown = Decode(stream(true));
    ASSERT_EQ(plain.pictures.size(), 1u);
    ASSERT_EQ(shown.pictures.size(), 1u);
    EXPECT_EQ(shown.pictures[0].planes, plain.pictures[0].planes);
    EXPECT_EQ(shown.pictures[0].damaged, 0);
}

// Bytes of everything the writer holds up to `cut` bytes into the last unit it began at `unit`.
std::vector<uint8_t> CutAt(StreamWriter& w, size_t unit, size_t cut) {
    std::vector<uint8_t> bytes = w.Data();
    bytes.resize(unit + cut);
    return bytes;
}

auto Fields(const UMC::Mpeg2Picture& p) {
    const auto& c = p.coding;
    return std::tuple(p.header.temporalReference, p.codingType, c.structure, c.intraVlcFormat,
                      c.alternateScan, p.rsize[0][0], p.rsize[0][1], p.dcReset, p.dcShift, p.mbRows,
                      c.topFieldFirst, c.framePredFrameDct, c.qScaleType, c.repeatFirstField,
                      c.progressiveFrame);
}

TEST(Mpeg2Headers, PictureCodingExtensionCutShortLeavesThePictureAsItWas) {
    Initialised d(Sequence({.progressive = 0}));
    ASSERT_EQ(d.status, UMC::STATUS_OK);
    StreamWriter first;
    first.FlatIntraPicture(1, 1, 100, {.temporalReference = 2, .intraVlc = 1});
    ASSERT_EQ(d.Feed(first.Data()), UMC::STATUS_NOT_ENOUGH_DATA);  // held for reordering
    const auto before = Fields(d.base()->Picture());
    ASSERT_EQ(std::get<0>(before), 2);
    ASSERT_EQ(std::get<3>(before), 1);

    // A P field with every flag the other way, its coding extension (34 bits) cut in each byte.
    StreamWriter second;
    second.PictureHeader({.type = 2,
                          .temporalReference = 7,
                          .fcode = 3,
                          .structure = 2,
                          .topFieldFirst = 0,
                          .framePredFrameDct = 0,
                          .qScaleType = 1,
                          .alternateScan = 1,
                          .repeatFirstField = 1,
                          .progressiveFrame = 0,
                          .dcPrecision = 2});
    const size_t extension = second.Data().size() - 9;  // start code and 5 bytes
    for (size_t cut = 5; cut < 9; ++cut) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(d.Feed(CutAt(second, extension, cut)), UMC::STATUS_INVALID_STREAM);
        EXPECT_EQ(Fields(d.base()->Picture()), before);
    }
    // Whole, the same header is taken over field by field (one row: a field of a two-row frame).
    second.Slice(0, 8);
    d.Feed(second.Data());
    EXPECT_EQ(Fields(d.base()->Picture()),
              std::tuple(7, UMC::P_PICTURE, UMC::PS_BOTTOM_FIELD, 0, true, 2, 2, 512, 1, 1, false,
                         false, true, true, false));
}

// quant_matrix_extension loading an intra matrix of 99s and a non-intra one of 50s.
void QuantMatrixExtension(StreamWriter& w) {
    w.StartCode(0xB5);
    w.Put(3, 4);
    w.Put(1, 1);
    for (int k = 0; k < 64; ++k) w.Put(99, 8);
    w.Put(1, 1);
    for (int k = 0; k < 64; ++k) w.Put(50, 8);
    w.Put(0, 2);
}

TEST(Mpeg2Headers, QuantMatrixExtensionCutShortLoadsNoMatrix) {
    Initialised d(Sequence({}));
    ASSERT_EQ(d.status, UMC::STATUS_OK);
    const UMC::Mpeg2QuantMatrices defaults = d.base()->Matrices();
    StreamWriter w;
    w.PictureHeader({});
    const size_t unit = w.Data().size();
    QuantMatrixExtension(w);
    // The intra matrix is whole, the non-intra one lacks its last byte.
    EXPECT_EQ(d.Feed(CutAt(w, unit, w.Data().size() - unit - 1)), UMC::STATUS_INVALID_STREAM);
    EXPECT_EQ(std::memcmp(&d.base()->Matrices(), &defaults, sizeof defaults), 0);

    w.Slice(0, 8);
    d.Feed(w.Data());
    using M = UMC::Mpeg2QuantMatrices;
    const M& m = d.base()->Matrices();
    // 4:2:0: the chroma matrices follow the luma ones.
    for (int k = 0; k < 64; ++k)
        ASSERT_EQ(
            std::tuple(m.m[M::kIntra][k], m.m[M::kChromaIntra][k], m.m[M::kChromaNonIntra][k]),
            std::tuple(99, 99, 50));
}

TEST(Mpeg2Headers, SequenceHeaderCutShortKeepsTheSequence) {
    Initialised d(Sequence({.width = 720, .height = 576, .frameRateCode = 3}));
    ASSERT_EQ(d.status, UMC::STATUS_OK);
    auto facts = [&] {
        const UMC::Mpeg2Sequence& s = d.base()->Sequence();
        return std::tuple(s.width, s.chromaFormat, d.base()->MbWidth(), d.base()->MbHeight(),
                          d.base()->StreamInfo().clip_width, d.base()->StreamInfo().color_format,
                          d.base()->FramePeriod());
    };
    const auto before = facts();
    StreamWriter w;
    w.SequenceHeader({.width = 352, .height = 288, .frameRateCode = 4, .chroma = 2});
    const size_t extension = w.Data().size() - 10;  // start code and 6 bytes
    for (size_t cut = 5; cut < 10; ++cut) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(d.Parse(UMC::MPEG2_SEQUENCE_HEADER, CutAt(w, extension, cut)),
                  UMC::STATUS_INVALID_STREAM);
        EXPECT_EQ(facts(), before);
    }
    w.StartCode(0xB8);
    ASSERT_EQ(d.Parse(UMC::MPEG2_SEQUENCE_HEADER, w.Data()), UMC::STATUS_OK);
    const auto after = facts();
    EXPECT_EQ(
        std::tuple(std::get<0>(after), std::get<1>(after), std::get<3>(after), std::get<5>(after)),
        std::tuple(352, UMC::CHROMA_422, 18, UMC::YUV422));
}

TEST(Mpeg2Headers, ExtensionsOutsideTheirHeaderChangeOnlyTheMatrices) {
    Initialised d(Sequence({}));
    ASSERT_EQ(d.status, UMC::STATUS_OK);
    const auto picture = Fields(d.base()->Picture());
    auto parse = [&](StreamWriter& w) {
        w.StartCode(0xB8);
        return d.Parse(UMC::MPEG2_EXTENSION, w.Data());
    };
    StreamWriter display;
    SequenceDisplayExtension(display, 16, 16, false);
    EXPECT_EQ(parse(display), UMC::STATUS_OK);
    EXPECT_EQ(d.base()->StreamInfo().disp_clip_width, 0);

    StreamWriter coding;
    coding.PictureHeader({.structure = 1, .alternateScan = 1});
    coding.Data().erase(coding.Data().begin(), coding.Data().begin() + 8);  // the picture header
    EXPECT_EQ(parse(coding), UMC::STATUS_OK);
    EXPECT_EQ(Fields(d.base()->Picture()), picture);

    StreamWriter matrices;
    QuantMatrixExtension(matrices);
    EXPECT_EQ(parse(matrices), UMC::STATUS_OK);
    EXPECT_EQ(d.base()->Matrices().m[UMC::Mpeg2QuantMatrices::kNonIntra][0], 50);
}

TEST(Mpeg2Headers, GopHeaderCutShortKeepsTheGop) {
    Initialised d(Sequence({}));
    StreamWriter w;
    w.Gop(true, true);
    // Cut before its flags, after a whole one that set them, and whole again.
    for (size_t size : {w.Data().size(), size_t(7), w.Data().size()}) {
        const bool whole = size == w.Data().size();
        EXPECT_EQ(
            d.Parse(UMC::MPEG2_GROUP_START,
                    std::vector<uint8_t>(w.Data().begin(), w.Data().begin() + ptrdiff_t(size))),
            whole ? UMC::STATUS_OK : UMC::STATUS_INVALID_STREAM);
        EXPECT_EQ(std::pair(d.base()->Gop().closedGop, d.base()->Gop().brokenLink),
                  std::pair(true, true));
    }
}

}  // namespace
