// Sequence, GOP and picture headers: stream type detection, sizes, rates, aspect ratios, bit rate
// limits, user data, the header errors, and headers cut short leaving the decoder as it was.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/mpeg2video/Mpeg2StreamWriter.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"

namespace {

using namespace qm::test::mpeg2;
using UMC::Status;

struct Initialised {
    UMC::MPEG2VideoDecoder decoder;
    CaptureStage stage;
    Status status = UMC::STATUS_FAILED;
    UMC::MPEG2VideoDecoderBase* base() { return decoder.Inner(); }
};

void InitWith(Initialised& d, std::vector<uint8_t> bytes, int32_t flags = UMC::FLAG_VDEC_REORDER) {
    UMC::MediaData initial;
    initial.SetBufferPointer(bytes.data(), bytes.size());
    initial.SetDataSize(bytes.size());
    UMC::VideoDecoderParams params;
    params.m_pData = &initial;
    params.numThreads = 1;
    params.lFlags = flags;
    params.pPostProcessing = &d.stage;
    d.status = d.decoder.Init(&params);
}

std::vector<uint8_t> Sequence(const StreamWriter::Sequence& s) {
    StreamWriter w;
    w.SequenceHeader(s);
    w.StartCode(0xB8);  // something after the headers
    return w.Data();
}

TEST(Mpeg2Headers, StreamTypeFromSequenceExtensionAndConstrainedFlag) {
    StreamWriter::Sequence s;
    {
        Initialised d;
        InitWith(d, Sequence(s));
        ASSERT_EQ(d.status, UMC::STATUS_OK);
        EXPECT_EQ(d.base()->StreamInfo().stream_type, UMC::MPEG2_VIDEO);
        EXPECT_EQ(d.base()->Profile(), 4);
        EXPECT_EQ(d.base()->Level(), 8);
    }
    {
        s.mpeg2 = false;
        Initialised d;
        InitWith(d, Sequence(s));
        ASSERT_EQ(d.status, UMC::STATUS_OK);
        EXPECT_EQ(d.base()->StreamInfo().stream_type, UMC::MPEG1_VIDEO);
    }
    {
        // constrained_parameters_flag: MPEG-1 even with a sequence extension behind it.
        s.mpeg2 = true;
        s.constrained = 1;
        Initialised d;
        InitWith(d, Sequence(s));
        ASSERT_EQ(d.status, UMC::STATUS_OK);
        EXPECT_EQ(d.base()->StreamInfo().stream_type, UMC::MPEG1_VIDEO);
    }
}

TEST(Mpeg2Headers, StreamTypeMayNotChange) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.mpeg2 = false;
    w.SequenceHeader(s);
    w.StartCode(0xB8);
    Initialised d;
    InitWith(d, w.Data());
    ASSERT_EQ(d.status, UMC::STATUS_OK);
    StreamWriter second;
    s.mpeg2 = true;
    second.SequenceHeader(s);
    second.StartCode(0xB8);
    UMC::Mpeg2BitReader bs;
    bs.Init(second.Data().data(), second.Data().size());
    ASSERT_EQ(bs.FindStartCode(), 0xB3);
    bs.Skip(32);
    EXPECT_EQ(d.base()->ParseHeader(UMC::MPEG2_SEQUENCE_HEADER, bs), UMC::STATUS_INVALID_STREAM);
}

TEST(Mpeg2Headers, MacroblockSizes) {
    struct Case {
        int w, h, progressive, mbw, mbh;
    } cases[] = {{1920, 1080, 1, 120, 68}, {1920, 1080, 0, 120, 68}, {720, 576, 0, 45, 36},
                 {720, 480, 0, 45, 30},    {352, 240, 0, 22, 16},    {136, 72, 1, 9, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        StreamWriter::Sequence s;
        s.width = c.w;
        s.height = c.h;
        s.progressive = c.progressive;
        Initialised d;
        InitWith(d, Sequence(s));
        ASSERT_EQ(d.status, UMC::STATUS_OK);
        EXPECT_EQ(d.base()->MbWidth(), c.mbw);
        EXPECT_EQ(d.base()->MbHeight(), c.mbh);
        EXPECT_EQ(d.base()->StreamInfo().clip_width, c.w);
        EXPECT_EQ(d.base()->StreamInfo().clip_height, c.h);
    }
}

TEST(Mpeg2Headers, FrameRates) {
    struct Case {
        int code, n, d;
        double period;
    } cases[] = {{4, 1, 0, 1001.0 / 60000.0}, {3, 0, 0, 1.0 / 25.0},  {1, 0, 0, 1001.0 / 24000.0},
                 {0, 0, 0, 1.0 / 30.0},       {12, 0, 0, 1.0 / 30.0}, {8, 0, 1, 2.0 / 60.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        StreamWriter::Sequence s;
        s.frameRateCode = c.code;
        s.frameRateExtN = c.n;
        s.frameRateExtD = c.d;
        Initialised d;
        InitWith(d, Sequence(s));
        ASSERT_EQ(d.status, UMC::STATUS_OK);
        EXPECT_DOUBLE_EQ(d.base()->FramePeriod(), c.period);
        EXPECT_NEAR(d.base()->StreamInfo().framerate, 1.0 / c.period, 1e-9);
    }
}

TEST(Mpeg2Headers, AspectRatios) {
    struct Case {
        bool mpeg2;
        int w, h, code, sarW, sarH;
    } cases[] = {{true, 720, 576, 2, 16, 15},  {true, 720, 576, 3, 64, 45},
                 {true, 720, 480, 3, 32, 27},  {true, 720, 576, 1, 1, 1},
                 {false, 352, 288, 3, 45, 64}, {false, 352, 288, 12, 9, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        StreamWriter::Sequence s;
        s.mpeg2 = c.mpeg2;
        s.width = c.w;
        s.height = c.h;
        s.aspect = c.code;
        Initialised d;
        InitWith(d, Sequence(s));
        ASSERT_EQ(d.status, UMC::STATUS_OK);
        EXPECT_EQ(d.base()->StreamInfo().aspect_ratio_width, c.sarW);
        EXPECT_EQ(d.base()->StreamInfo().aspect_ratio_height, c.sarH);
    }
}

TEST(Mpeg2Headers, BitRates) {
    StreamWriter::Sequence s;
    s.bitRateValue = 25000;
    {
        Initialised d;
        InitWith(d, Sequence(s));
        EXPECT_EQ(d.base()->StreamInfo().bitrate, 10000000);
    }
    {
        s.bitRateExt = 1;  // 25000 + 2^18 units of 400
        Initialised d;
        InitWith(d, Sequence(s));
        EXPECT_EQ(d.base()->StreamInfo().bitrate, (25000 + 262144) * 400);
    }
    {
        s.bitRateExt = 41;  // 41 << 18 = 10747904 units: beyond 32 bits
        Initialised d;
        InitWith(d, Sequence(s));
        EXPECT_EQ(d.base()->StreamInfo().bitrate, -1);
    }
}

TEST(Mpeg2Headers, InvalidSizesAndMissingHeaders) {
    StreamWriter::Sequence s;
    s.width = 0;
    Initialised d;
    InitWith(d, Sequence(s));
    EXPECT_EQ(d.status, UMC::STATUS_INVALID_STREAM);

    Initialised none;
    InitWith(none, std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(none.status, UMC::STATUS_SYNC_NOT_FOUND);

    // The same sequence header met by GetFrame reports the size itself.
    Initialised later;
    UMC::VideoDecoderParams params;
    params.pPostProcessing = &later.stage;
    ASSERT_EQ(later.decoder.Init(&params), UMC::STATUS_OK);
    auto bytes = Sequence(s);
    UMC::MediaData in;
    in.SetBufferPointer(bytes.data(), bytes.size());
    in.SetDataSize(bytes.size());
    UMC::VideoData out;
    EXPECT_EQ(later.decoder.GetFrame(&in, &out), UMC::STATUS_INVALID_PARAMS);
}

TEST(Mpeg2Headers, PictureHeaderErrors) {
    auto run = [](const StreamWriter::Picture& p, bool mpeg2) {
        StreamWriter w;
        StreamWriter::Sequence s;
        s.mpeg2 = mpeg2;
        w.SequenceHeader(s);
        w.PictureHeader(p);
        w.Slice(0, 8);
        w.StartCode(0xB7);
        Initialised d;
        InitWith(d, {});
        UMC::MediaData in;
        auto& bytes = w.Data();
        in.SetBufferPointer(bytes.data(), bytes.size());
        in.SetDataSize(bytes.size());
        UMC::VideoData out;
        return d.decoder.GetFrame(&in, &out);
    };
    StreamWriter::Picture p;
    p.type = 0;
    EXPECT_EQ(run(p, true), UMC::STATUS_INVALID_STREAM);
    p.type = 5;
    EXPECT_EQ(run(p, true), UMC::STATUS_INVALID_STREAM);
    p.type = 1;
    p.codingExtension = false;  // MPEG-2 needs the picture coding extension
    EXPECT_EQ(run(p, true), UMC::STATUS_INVALID_STREAM);
    p.codingExtension = true;  // MPEG-1 must not have it
    EXPECT_EQ(run(p, false), UMC::STATUS_INVALID_STREAM);
    p.codingExtension = false;
    p.type = 2;
    p.fcode = 0;
    EXPECT_EQ(run(p, false), UMC::STATUS_INVALID_STREAM);
}

TEST(Mpeg2Headers, UserDataIsCollectedWithItsStartCode) {
    StreamWriter w;
    w.SequenceHeader({});
    w.UserData({'C', 'C', 1, 2, 3});
    w.Gop(true);
    w.UserData({'X'});
    w.PictureHeader({});
    w.Slice(0, 8);
    int pred[3] = {128, 128, 128};
    const int dc[6] = {100, 100, 100, 100, 128, 128};
    w.IntraMacroblockDcOnly(1, dc, 6, pred);
    w.StartCode(0xB7);
    Initialised d;
    InitWith(d, {});
    auto& bytes = w.Data();
    UMC::MediaData in;
    in.SetBufferPointer(bytes.data(), bytes.size());
    in.SetDataSize(bytes.size());
    UMC::VideoData out;
    d.decoder.GetFrame(&in, &out);
    UMC::MediaData ud;
    ASSERT_EQ(d.decoder.GetUserData(&ud), UMC::STATUS_OK);
    const std::vector<uint8_t> first(ud.GetDataPointer(), ud.GetDataPointer() + ud.GetDataSize());
    EXPECT_EQ(first, (std::vector<uint8_t>{0, 0, 1, 0xB2, 'C', 'C', 1, 2, 3}));
    ASSERT_EQ(d.decoder.GetUserData(&ud), UMC::STATUS_OK);
    const std::vector<uint8_t> second(ud.GetDataPointer(), ud.GetDataPointer() + ud.GetDataSize());
    EXPECT_EQ(second, (std::vector<uint8_t>{0, 0, 1, 0xB2, 'X'}));
    EXPECT_NE(d.decoder.GetUserData(&ud), UMC::STATUS_OK);
}

TEST(Mpeg2Headers, ParseHeaderRejectsCodesOutsideTheHeaderRange) {
    Initialised d;
    InitWith(d, Sequence({}));
    UMC::Mpeg2BitReader bs;
    uint8_t zeros[16] = {};
    bs.Init(zeros, sizeof zeros);
    EXPECT_EQ(d.base()->ParseHeader(0xFF, bs), UMC::STATUS_INVALID_STREAM);
    EXPECT_EQ(d.base()->ParseHeader(0x1B9, bs), UMC::STATUS_INVALID_STREAM);
    EXPECT_EQ(d.base()->ParseHeader(UMC::MPEG2_SEQUENCE_END, bs), UMC::STATUS_OK);
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
        StreamWriter::Sequence s;
        s.width = 720;
        s.height = 576;
        s.aspect = 3;
        w.SequenceHeader(s);
        SequenceDisplayExtension(w, 704, 576, colour);
        w.StartCode(0xB8);
        Initialised d;
        InitWith(d, w.Data());
        ASSERT_EQ(d.status, UMC::STATUS_OK);
        EXPECT_EQ(d.base()->StreamInfo().aspect_ratio_width, 16);
        EXPECT_EQ(d.base()->StreamInfo().aspect_ratio_height, 11);
        EXPECT_EQ(d.base()->StreamInfo().disp_clip_width, 704);
    }
    // A picture display extension (frame centre offsets) between the coding extension and the
    // slices changes nothing in the picture.
    auto stream = [](bool display) {
        StreamWriter w;
        StreamWriter::Sequence s;
        s.progressive = 0;
        w.SequenceHeader(s);
        if (display) SequenceDisplayExtension(w, 32, 32, true);
        StreamWriter::Picture p;
        p.progressiveFrame = 0;
        p.repeatFirstField = 1;
        w.PictureHeader(p);
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
        w.StartCode(0xB7);
        return w.Data();
    };
    const DecodeResult plain = Decode(stream(false)), shown = Decode(stream(true));
    ASSERT_EQ(plain.pictures.size(), 1u);
    ASSERT_EQ(shown.pictures.size(), 1u);
    EXPECT_EQ(shown.pictures[0].planes, plain.pictures[0].planes);
    EXPECT_EQ(shown.pictures[0].damaged, 0);
}

UMC::Status Feed(Initialised& d, const std::vector<uint8_t>& bytes) {
    UMC::MediaData in;
    in.SetBufferPointer(const_cast<uint8_t*>(bytes.data()), bytes.size());
    in.SetDataSize(bytes.size());
    UMC::VideoData out;
    return d.decoder.GetFrame(&in, &out);
}

// Bytes of everything the writer holds up to `cut` bytes into the last unit it began at `unit`.
std::vector<uint8_t> CutAt(StreamWriter& w, size_t unit, size_t cut) {
    std::vector<uint8_t> bytes = w.Data();
    bytes.resize(unit + cut);
    return bytes;
}

TEST(Mpeg2Headers, PictureCodingExtensionCutShortLeavesThePictureAsItWas) {
    StreamWriter::Sequence s;
    s.progressive = 0;
    Initialised d;
    InitWith(d, Sequence(s));
    ASSERT_EQ(d.status, UMC::STATUS_OK);
    StreamWriter first;
    StreamWriter::Picture i;
    i.temporalReference = 2;
    i.intraVlc = 1;
    first.PictureHeader(i);
    first.Slice(0, 8);
    int pred[3] = {128, 128, 128};
    const int dc[6] = {100, 100, 100, 100, 128, 128};
    first.IntraMacroblockDcOnly(1, dc, 6, pred);
    ASSERT_EQ(Feed(d, first.Data()), UMC::STATUS_NOT_ENOUGH_DATA);  // held for reordering
    const UMC::Mpeg2Picture before = d.base()->Picture();
    ASSERT_EQ(before.header.temporalReference, 2);
    ASSERT_EQ(before.coding.intraVlcFormat, 1);

    // A P field with every flag the other way, its coding extension (34 bits) cut in each byte.
    StreamWriter second;
    StreamWriter::Picture p;
    p.type = 2;
    p.temporalReference = 7;
    p.fcode = 3;
    p.dcPrecision = 2;
    p.structure = 2;
    p.topFieldFirst = 0;
    p.framePredFrameDct = 0;
    p.qScaleType = 1;
    p.alternateScan = 1;
    p.repeatFirstField = 1;
    p.progressiveFrame = 0;
    second.PictureHeader(p);
    const size_t extension = second.Data().size() - 9;  // start code and 5 bytes
    for (size_t cut = 5; cut < 9; ++cut) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(Feed(d, CutAt(second, extension, cut)), UMC::STATUS_INVALID_STREAM);
        const UMC::Mpeg2Picture& now = d.base()->Picture();
        EXPECT_EQ(now.header.temporalReference, 2);
        EXPECT_EQ(now.codingType, UMC::I_PICTURE);
        EXPECT_EQ(now.coding.structure, UMC::PS_FRAME);
        EXPECT_EQ(now.coding.intraVlcFormat, 1);
        EXPECT_FALSE(now.coding.alternateScan);
        EXPECT_EQ(now.rsize[0][0], before.rsize[0][0]);
        EXPECT_EQ(now.dcShift, 3);
    }
    // Whole, the same header is taken over field by field.
    second.Slice(0, 8);
    Feed(d, second.Data());
    const UMC::Mpeg2Picture& taken = d.base()->Picture();
    EXPECT_EQ(taken.header.temporalReference, 7);
    EXPECT_EQ(taken.codingType, UMC::P_PICTURE);
    EXPECT_EQ(taken.coding.structure, UMC::PS_BOTTOM_FIELD);
    EXPECT_EQ(taken.rsize[0][0], 2);
    EXPECT_EQ(taken.rsize[0][1], 2);
    EXPECT_EQ(taken.dcReset, 512);
    EXPECT_EQ(taken.dcShift, 1);
    EXPECT_EQ(taken.mbRows, 1);  // a field of a two-row picture
    EXPECT_FALSE(taken.coding.topFieldFirst);
    EXPECT_FALSE(taken.coding.framePredFrameDct);
    EXPECT_TRUE(taken.coding.qScaleType);
    EXPECT_EQ(taken.coding.intraVlcFormat, 0);
    EXPECT_TRUE(taken.coding.alternateScan);
    EXPECT_TRUE(taken.coding.repeatFirstField);
    EXPECT_FALSE(taken.coding.progressiveFrame);
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
    Initialised d;
    InitWith(d, Sequence({}));
    ASSERT_EQ(d.status, UMC::STATUS_OK);
    const UMC::Mpeg2QuantMatrices defaults = d.base()->Matrices();
    StreamWriter w;
    w.PictureHeader({});
    const size_t unit = w.Data().size();
    QuantMatrixExtension(w);
    // The intra matrix is whole, the non-intra one lacks its last byte.
    EXPECT_EQ(Feed(d, CutAt(w, unit, w.Data().size() - unit - 1)), UMC::STATUS_INVALID_STREAM);
    EXPECT_EQ(std::memcmp(&d.base()->Matrices(), &defaults, sizeof defaults), 0);

    w.Slice(0, 8);
    Feed(d, w.Data());
    const UMC::Mpeg2QuantMatrices& m = d.base()->Matrices();
    for (int k = 0; k < 64; ++k) {
        ASSERT_EQ(m.m[UMC::Mpeg2QuantMatrices::kIntra][k], 99);
        ASSERT_EQ(m.m[UMC::Mpeg2QuantMatrices::kChromaIntra][k], 99);  // 4:2:0: chroma follows
        ASSERT_EQ(m.m[UMC::Mpeg2QuantMatrices::kChromaNonIntra][k], 50);
    }
}

TEST(Mpeg2Headers, SequenceHeaderCutShortKeepsTheSequence) {
    Initialised d;
    StreamWriter::Sequence s;
    s.width = 720;
    s.height = 576;
    s.frameRateCode = 3;
    InitWith(d, Sequence(s));
    ASSERT_EQ(d.status, UMC::STATUS_OK);
    StreamWriter w;
    s.width = 352;
    s.height = 288;
    s.frameRateCode = 4;
    s.chroma = 2;
    w.SequenceHeader(s);
    const size_t extension = w.Data().size() - 10;  // start code and 6 bytes
    for (size_t cut = 5; cut < 10; ++cut) {
        SCOPED_TRACE(cut);
        std::vector<uint8_t> bytes = CutAt(w, extension, cut);
        UMC::Mpeg2BitReader bs;
        bs.Init(bytes.data(), bytes.size());
        bs.Skip(32);
        EXPECT_EQ(d.base()->ParseHeader(UMC::MPEG2_SEQUENCE_HEADER, bs),
                  UMC::STATUS_INVALID_STREAM);
        EXPECT_EQ(d.base()->Sequence().width, 720);
        EXPECT_EQ(d.base()->Sequence().chromaFormat, UMC::CHROMA_420);
        EXPECT_EQ(d.base()->MbWidth(), 45);
        EXPECT_EQ(d.base()->StreamInfo().clip_width, 720);
        EXPECT_DOUBLE_EQ(d.base()->FramePeriod(), 1.0 / 25.0);
    }
    w.StartCode(0xB8);
    UMC::Mpeg2BitReader bs;
    bs.Init(w.Data().data(), w.Data().size());
    bs.Skip(32);
    ASSERT_EQ(d.base()->ParseHeader(UMC::MPEG2_SEQUENCE_HEADER, bs), UMC::STATUS_OK);
    EXPECT_EQ(d.base()->Sequence().width, 352);
    EXPECT_EQ(d.base()->Sequence().chromaFormat, UMC::CHROMA_422);
    EXPECT_EQ(d.base()->StreamInfo().color_format, UMC::YUV422);
    EXPECT_EQ(d.base()->MbHeight(), 18);
}

TEST(Mpeg2Headers, ExtensionsOutsideTheirHeaderChangeOnlyTheMatrices) {
    Initialised d;
    InitWith(d, Sequence({}));
    ASSERT_EQ(d.status, UMC::STATUS_OK);
    const UMC::Mpeg2Picture picture = d.base()->Picture();
    auto parse = [&](StreamWriter& w) {
        w.StartCode(0xB8);
        UMC::Mpeg2BitReader bs;
        bs.Init(w.Data().data(), w.Data().size());
        bs.Skip(32);
        return d.base()->ParseHeader(UMC::MPEG2_EXTENSION, bs);
    };
    StreamWriter display;
    SequenceDisplayExtension(display, 16, 16, false);
    EXPECT_EQ(parse(display), UMC::STATUS_OK);
    EXPECT_EQ(d.base()->StreamInfo().disp_clip_width, 0);

    StreamWriter coding;
    StreamWriter::Picture p;
    p.structure = 1;
    p.alternateScan = 1;
    coding.PictureHeader(p);
    std::vector<uint8_t>& bytes = coding.Data();
    bytes.erase(bytes.begin(), bytes.begin() + 8);  // the picture header
    EXPECT_EQ(parse(coding), UMC::STATUS_OK);
    EXPECT_EQ(d.base()->Picture().coding.structure, picture.coding.structure);
    EXPECT_EQ(d.base()->Picture().coding.alternateScan, picture.coding.alternateScan);

    StreamWriter matrices;
    QuantMatrixExtension(matrices);
    EXPECT_EQ(parse(matrices), UMC::STATUS_OK);
    EXPECT_EQ(d.base()->Matrices().m[UMC::Mpeg2QuantMatrices::kNonIntra][0], 50);
}

TEST(Mpeg2Headers, GopHeaderCutShortKeepsTheGop) {
    Initialised d;
    InitWith(d, Sequence({}));
    StreamWriter w;
    w.Gop(true, true);
    for (size_t size : {size_t(7), w.Data().size()}) {
        std::vector<uint8_t> bytes(w.Data().begin(), w.Data().begin() + ptrdiff_t(size));
        UMC::Mpeg2BitReader bs;
        bs.Init(bytes.data(), bytes.size());
        bs.Skip(32);
        const bool whole = size == w.Data().size();
        EXPECT_EQ(d.base()->ParseHeader(UMC::MPEG2_GROUP_START, bs),
                  whole ? UMC::STATUS_OK : UMC::STATUS_INVALID_STREAM);
        EXPECT_EQ(d.base()->Gop().closedGop, whole);
        EXPECT_EQ(d.base()->Gop().brokenLink, whole);
    }
}

}  // namespace
