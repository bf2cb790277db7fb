// Header parsing: the checks that refuse a VOL, VOP or short-header picture, and the fields that
// change how the rest of the layer is read.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"
#include "tests/support/Random.h"

namespace {

using namespace UMC;
using namespace UMC::mpeg4;
using qm::test::mpeg4::BitWriter;

// The fields of a hand-made VOL; `breakMarker` clears the n-th marker bit (1-based).
struct Vol {
    int verid = 0;  // 0: no is_object_layer_identifier
    int objectVerid = 1;
    int shape = 0;
    int chromaFormat = -1;  // -1: no vol_control_parameters
    int resolution = 30;
    int fixedIncrement = -1;
    int width = 64, height = 48;
    int interlaced = 0;
    int sprite = 0;
    int warpingPoints = 0;
    int brightness = 0;
    int not8Bit = 0;
    int quantType = 0;
    std::vector<int> intraMatrix;  // loaded values (0-terminated when shorter than 64)
    int dataPartitioned = 0;
    int newpred = 0;
    int reducedResolution = 0;
    int scalability = 0;
    int breakMarker = 0;
};

void WriteVol(BitWriter& w, const Vol& v) {
    int marker = 0;
    auto m = [&] { w.Put(++marker == v.breakMarker ? 0 : 1, 1); };
    w.StartCode(0x20);
    w.Put(0, 1);  // random_accessible_vol
    w.Put(1, 8);  // video_object_type_indication
    w.Put(v.verid ? 1 : 0, 1);
    if (v.verid) {
        w.Put(v.verid, 4);
        w.Put(1, 3);
    }
    w.Put(1, 4);  // aspect_ratio_info
    w.Put(v.chromaFormat >= 0 ? 1 : 0, 1);
    if (v.chromaFormat >= 0) {
        w.Put(v.chromaFormat, 2);
        w.Put(1, 1);  // low_delay
        w.Put(0, 1);  // vbv_parameters
    }
    w.Put(v.shape, 2);
    m();
    w.Put(v.resolution, 16);
    m();
    int bits = 1;
    while ((1 << bits) < v.resolution) ++bits;
    w.Put(v.fixedIncrement >= 0 ? 1 : 0, 1);
    if (v.fixedIncrement >= 0) w.Put(v.fixedIncrement, bits);
    m();
    w.Put(v.width, 13);
    m();
    w.Put(v.height, 13);
    m();
    w.Put(v.interlaced, 1);
    w.Put(1, 1);  // obmc_disable
    const bool known = v.verid == 1 || v.verid == 2 || v.verid == 4 || v.verid == 5;
    const int verid = known ? v.verid : v.objectVerid;
    w.Put(v.sprite, verid == 1 ? 1 : 2);
    if (v.sprite == 1) {
        for (int field : {64, 48, 0, 0}) {
            w.Put(field, 13);
            m();
        }
    }
    if (v.sprite) {
        w.Put(v.warpingPoints, 6);
        w.Put(0, 2);
        w.Put(v.brightness, 1);
        if (v.sprite == 1) w.Put(0, 1);
    }
    w.Put(v.not8Bit, 1);
    w.Put(v.quantType, 1);
    if (v.quantType) {
        w.Put(v.intraMatrix.empty() ? 0 : 1, 1);
        for (int x : v.intraMatrix) w.Put(x, 8);
        w.Put(0, 1);
    }
    if (verid != 1) w.Put(1, 1);  // quarter_sample
    w.Put(1, 1);                  // complexity_estimation_disable
    w.Put(0, 1);                  // resync_marker_disable
    w.Put(v.dataPartitioned, 1);
    if (v.dataPartitioned) w.Put(0, 1);
    if (verid != 1) {
        w.Put(v.newpred, 1);
        if (v.newpred) w.Put(0b111, 3);
        w.Put(v.reducedResolution, 1);
    }
    w.Put(v.scalability, 1);
    w.Stuff();
}

struct Parsed {
    int32_t result;
    std::unique_ptr<MPEG4DecoderState> s;
};

Parsed ParseVol(std::vector<uint8_t> bytes, int objectVerid = 1) {
    bytes.resize(bytes.size() + 16, 0);
    auto s = std::make_unique<MPEG4DecoderState>();
    *s = MPEG4DecoderState{};
    s->vo.verid = objectVerid;
    static std::vector<uint8_t> keep;
    keep = bytes;
    s->bits.Init(keep.data(), keep.size());
    const int32_t r = ParseVideoObjectLayer(*s);
    return {r, std::move(s)};
}

Parsed ParseVol(const Vol& v) {
    BitWriter w;
    WriteVol(w, v);
    return ParseVol(w.Bytes(), v.objectVerid);
}

TEST(Mpeg4Headers, VolRefusals) {
    EXPECT_EQ(ParseVol(Vol{}).result, PARSE_OK);
    for (int marker = 1; marker <= 5; ++marker) {
        Vol v;
        v.breakMarker = marker;
        EXPECT_EQ(ParseVol(v).result, PARSE_ERROR) << "marker " << marker;
    }
    // Each refused layer: one change to the plain one.
    const std::pair<const char*, void (*)(Vol&)> refused[] = {
        {"zero time increment resolution", [](Vol& v) { v.resolution = 0; }},
        {"zero fixed increment", [](Vol& v) { v.fixedIncrement = 0; }},
        {"zero width", [](Vol& v) { v.width = 0; }},
        {"binary shape", [](Vol& v) { v.shape = 1; }},
        {"chroma format 2", [](Vol& v) { v.chromaFormat = 2; }},
        {"not 8 bit", [](Vol& v) { v.not8Bit = 1; }},
        {"scalability", [](Vol& v) { v.scalability = 1; }},
        {"reduced resolution",
         [](Vol& v) {
             v.verid = 2;
             v.reducedResolution = 1;
         }},
        {"GMC with 4 points",
         [](Vol& v) {
             v.verid = 2;
             v.sprite = 2;
             v.warpingPoints = 4;
         }},
        {"GMC with brightness",
         [](Vol& v) {
             v.verid = 2;
             v.sprite = 2;
             v.brightness = 1;
         }},
        {"5 warping points",
         [](Vol& v) {
             v.sprite = 1;
             v.warpingPoints = 5;
         }},
    };
    for (const auto& [name, change] : refused) {
        Vol v;
        change(v);
        EXPECT_EQ(ParseVol(v).result, PARSE_ERROR) << name;
    }
    Vol sprite;
    sprite.sprite = 1;
    sprite.warpingPoints = 4;
    EXPECT_EQ(ParseVol(sprite).result, PARSE_OK);
    Vol gmc;
    gmc.verid = 2;
    gmc.sprite = 2;
    gmc.warpingPoints = 3;
    const Parsed p = ParseVol(gmc);
    ASSERT_EQ(p.result, PARSE_OK);
    EXPECT_EQ(p.s->vol.spriteEnable, MPEG4_SPRITE_GMC);
    EXPECT_EQ(p.s->vol.quarterSample, 1);
}

// A refused layer or object header changes nothing: the layer in use, and the frames sized for
// it, stay as they were however far the header got.
TEST(Mpeg4Headers, RefusedHeadersLeaveTheStateAsItWas) {
    Vol good;
    good.verid = 2;
    good.interlaced = 1;
    good.quantType = 1;
    good.intraMatrix = {9, 10, 0};
    std::vector<Vol> bad(4, Vol{});
    for (Vol& v : bad) {
        v.width = 96;
        v.height = 80;
        v.quantType = 1;
    }
    bad[0].not8Bit = 1;      // after the size
    bad[1].scalability = 1;  // the last field
    bad[2].breakMarker = 5;  // the marker after the height
    bad[3].chromaFormat = 3;
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        BitWriter w;
        WriteVol(w, good);
        WriteVol(w, bad[i]);
        w.Bytes().resize(w.Bytes().size() + 16, 0);
        MPEG4DecoderState s{};
        s.vo.verid = 1;
        s.bits.Init(w.Bytes().data(), w.Bytes().size() - 16);
        ASSERT_EQ(ParseVideoObjectLayer(s), PARSE_OK);
        const Mpeg4Vol before = s.vol;
        ASSERT_TRUE(s.bits.NextStartCode());
        s.bits.ptr -= 3;
        EXPECT_EQ(ParseVideoObjectLayer(s), PARSE_ERROR);
        EXPECT_EQ(std::memcmp(&s.vol, &before, sizeof before), 0);
    }
    // A visual object of another type after one of version 2.
    BitWriter w;
    w.Put(0b1'0010'001, 8);  // is_visual_object_identifier, verid 2, priority 1
    w.Put(1, 4);             // video
    w.Put(0, 1);
    w.Put(0b1'0001'001, 8);  // verid 1
    w.Put(2, 4);             // still texture
    w.Put(0, 8);
    w.Bytes().resize(w.Bytes().size() + 16, 0);
    MPEG4DecoderState s{};
    s.bits.Init(w.Bytes().data(), w.Bytes().size() - 16);
    ASSERT_EQ(ParseVisualObject(s), PARSE_OK);
    EXPECT_EQ(s.vo.verid, 2);
    EXPECT_EQ(ParseVisualObject(s), PARSE_UNSUPPORTED);
    EXPECT_EQ(s.vo.verid, 2);
}

TEST(Mpeg4Headers, TimeIncrementWidth) {
    for (auto [resolution, bits] : {std::pair{1, 1}, {2, 1}, {30, 5}, {30000, 15}, {65535, 16}}) {
        Vol v;
        v.resolution = resolution;
        v.fixedIncrement = 1;
        const Parsed p = ParseVol(v);
        ASSERT_EQ(p.result, PARSE_OK) << resolution;
        EXPECT_EQ(p.s->vol.timeIncrementBits, bits) << resolution;
        EXPECT_EQ(p.s->vol.width, 64);  // the fields after it were read in step
        EXPECT_EQ(p.s->vol.height, 48);
    }
}

// The layer's verid (its own when known, else the visual object's) decides the width of
// sprite_enable and whether the version 2 fields are there.
TEST(Mpeg4Headers, VeridInheritance) {
    const struct {
        int verid, objectVerid, sprite, newpred;
        int usedVerid, quarterSample;
    } cases[] = {
        {0, 2, MPEG4_SPRITE_GMC, 0, 2, 1},     // no layer identifier
        {0, 1, MPEG4_SPRITE_STATIC, 0, 1, 0},  // a one-bit sprite_enable
        {7, 2, MPEG4_SPRITE_STATIC, 0, 2, 1},  // unknown: replaced
        {2, 1, MPEG4_SPRITE_NONE, 1, 2, 1},    // newpred is read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "verid " << c.verid << " object " << c.objectVerid);
        Vol v;
        v.verid = c.verid;
        v.objectVerid = c.objectVerid;
        v.sprite = c.sprite;
        v.newpred = c.newpred;
        const Parsed p = ParseVol(v);
        ASSERT_EQ(p.result, PARSE_OK);
        EXPECT_EQ(p.s->vol.verid, c.usedVerid);
        EXPECT_EQ(p.s->vol.spriteEnable, c.sprite);
        EXPECT_EQ(p.s->vol.quarterSample, c.quarterSample);
        EXPECT_EQ(p.s->vol.newpredEnable, c.newpred);
        EXPECT_EQ(p.s->vol.requestedUpstreamMessageType, c.newpred ? 3 : 0);
        EXPECT_EQ(p.s->vol.newpredSegmentType, c.newpred);
    }
}

TEST(Mpeg4Headers, LoadedMatrixRepeatsItsLastValue) {
    Vol v;
    v.quantType = 1;
    v.intraMatrix = {8, 16, 0};
    Parsed p = ParseVol(v);
    ASSERT_EQ(p.result, PARSE_OK);
    EXPECT_EQ(p.s->vol.intraMatrix[0], 8);
    EXPECT_EQ(p.s->vol.intraMatrix[1], 16);  // zigzag position 1 is raster 1
    for (int i = 2; i < 64; ++i) EXPECT_EQ(p.s->vol.intraMatrix[i], 16) << i;
    EXPECT_EQ(p.s->vol.nonIntraMatrix[63], 33);  // the default non-intra matrix
    // A list whose first value is 0 clears everything but the first entry.
    Mpeg4BitReader r{};
    uint8_t zero[8] = {};
    r.Init(zero, sizeof zero);
    uint8_t matrix[64];
    std::memset(matrix, 5, 64);
    ParseQuantMatrix(r, matrix);
    EXPECT_EQ(matrix[0], 5);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(matrix[i], 0);
}

TEST(Mpeg4Headers, DivxUserDataSetsTheCompatibilityMode) {
    BitWriter w;
    WriteVol(w, Vol{});
    w.StartCode(0xB2);
    for (char c : std::string("DivX503b1393p")) w.Put(uint8_t(c), 8);
    Parsed p = ParseVol(w.Bytes());
    ASSERT_EQ(p.result, PARSE_OK);
    EXPECT_EQ(p.s->compatibilityMode, 2);
    EXPECT_EQ(p.s->compatibilityFlag, 1);
    BitWriter other;
    WriteVol(other, Vol{});
    other.StartCode(0xB2);
    for (char c : std::string("Lavc")) other.Put(uint8_t(c), 8);
    p = ParseVol(other.Bytes());
    EXPECT_EQ(p.s->compatibilityMode, 0);
}

std::vector<uint8_t> ShortHeaderPicture(int format, int temporalReference = 0) {
    BitWriter w;
    w.Put(0x20, 22);  // picture start code
    w.Put(temporalReference, 8);
    w.Put(1, 1);
    w.Put(0, 1);
    w.Put(0, 3);
    w.Put(format, 3);
    w.Put(0, 1);  // I
    w.Put(0, 4);
    w.Put(5, 5);
    w.Put(0, 1);
    w.Put(0, 1);  // pei
    w.Bytes().resize(w.Bytes().size() + 16, 0);
    return w.Bytes();
}

TEST(Mpeg4Headers, ShortHeaderFormats) {
    for (int format : {0, 6, 7})
        EXPECT_EQ(ParseVol(ShortHeaderPicture(format)).result, PARSE_ERROR);
    Parsed p = ParseVol(ShortHeaderPicture(2));
    ASSERT_EQ(p.result, PARSE_OK);
    EXPECT_EQ(p.s->vol.shortVideoHeader, 1);
    EXPECT_EQ(p.s->vol.width, 176);
    EXPECT_EQ(p.s->vol.height, 144);
    EXPECT_EQ(p.s->sh.gobsInVop, 9);
    EXPECT_EQ(p.s->sh.macroblocksInGob, 11);
    // The marker was not consumed: the picture header follows from 16 bits in.
    p.s->bits.Skip(16);
    ASSERT_EQ(ParseVopHeader(*p.s), PARSE_OK);
    EXPECT_EQ(p.s->vop.codingType, MPEG4_VOP_I);
    EXPECT_EQ(p.s->sh.quant, 5);
}

// Visual object and GOV headers; the VOP header's refusals.
TEST(Mpeg4Headers, ObjectGovAndVop) {
    auto state = std::make_unique<MPEG4DecoderState>();
    MPEG4DecoderState& s = *state;
    std::vector<uint8_t> bytes;
    auto load = [&](BitWriter& w) {
        bytes = w.Bytes();
        bytes.resize(bytes.size() + 16, 0);
        s.bits.Init(bytes.data(), bytes.size());
    };
    BitWriter vo;
    vo.Put(0, 1);
    vo.Put(2, 4);  // still texture
    load(vo);
    EXPECT_EQ(ParseVisualObject(s), PARSE_UNSUPPORTED);
    BitWriter gov;
    for (auto [v, n] : {std::pair{1, 5}, {2, 6}, {1, 1}, {3, 6}, {1, 1}, {0, 1}}) gov.Put(v, n);
    s.vol.timeIncrementResolution = 30;
    load(gov);
    ASSERT_EQ(ParseGroupOfVops(s), PARSE_OK);
    EXPECT_EQ(s.gov.time, ((1 * 60 + 2) * 60 + 3) * 30);
    EXPECT_EQ(s.gov.closed, 1);
    BitWriter badGov;
    badGov.Put(0, 11);
    badGov.Put(0, 1);
    load(badGov);
    EXPECT_EQ(ParseGroupOfVops(s), PARSE_ERROR);

    s.vol.timeIncrementBits = 5;
    s.vol.quantPrecision = 5;
    auto vop = [&](int type, int fcode, int coded, int marker) {
        BitWriter w;
        w.Put(type, 2);
        w.Put(0b110, 3);  // modulo_time_base 2
        w.Put(marker, 1);
        w.Put(7, 5);
        w.Put(1, 1);
        w.Put(coded, 1);
        if (type == MPEG4_VOP_P) w.Put(1, 1);  // rounding
        w.Put(2, 3);
        w.Put(9, 5);
        if (type != MPEG4_VOP_I) w.Put(fcode, 3);
        if (type == MPEG4_VOP_B) w.Put(fcode, 3);
        load(w);
        return ParseVopHeader(s);
    };
    ASSERT_EQ(vop(MPEG4_VOP_P, 2, 1, 1), PARSE_OK);
    EXPECT_EQ(s.vop.moduloTimeBase, 2);
    EXPECT_EQ(s.vop.timeIncrement, 7);
    EXPECT_EQ(s.vop.roundingType, 1);
    EXPECT_EQ(s.vop.intraDcVlcThr, 2);
    EXPECT_EQ(s.vop.quant, 9);
    EXPECT_EQ(s.vop.fcodeForward, 2);
    EXPECT_EQ(ResyncMarkerBits(s), 18);
    EXPECT_EQ(vop(MPEG4_VOP_P, 0, 1, 1), PARSE_ERROR);
    EXPECT_EQ(vop(MPEG4_VOP_I, 0, 1, 0), PARSE_ERROR);
    EXPECT_EQ(vop(MPEG4_VOP_B, 0, 0, 1), PARSE_OK);  // not coded: nothing more is read
    s.noBVops = 1;
    EXPECT_EQ(vop(MPEG4_VOP_B, 1, 1, 1), PARSE_ERROR);
}

TEST(Mpeg4Headers, SpriteCodes) {
    // brightness_change_factor: one value per code length class.
    struct Case {
        uint32_t bits;
        int length;
        int value;
    };
    for (const Case& c :
         {Case{0b0'00000, 6, -16}, Case{0b0'11111, 6, 16}, Case{0b10'000000, 8, -48},
          Case{0b10'111111, 8, 48}, Case{0b110'0000000, 10, -112}, Case{0b110'1111111, 10, 112},
          Case{0b1110'000000000, 13, 113}, Case{0b1111'1111111111, 14, 1648}}) {
        uint8_t bytes[8] = {};
        for (int i = 0; i < c.length; ++i)
            if ((c.bits >> (c.length - 1 - i)) & 1) bytes[i / 8] |= uint8_t(0x80 >> (i % 8));
        Mpeg4BitReader r{};
        r.Init(bytes, sizeof bytes);
        EXPECT_EQ(ParseBrightnessChangeFactor(r), c.value) << c.bits;
        EXPECT_EQ(int(r.Position() * 8 + r.bitOffset), c.length);
    }
    // Trajectory: du = -3 (length 2 code "011", value "00"), dv = 0, then a missing marker.
    auto state = std::make_unique<MPEG4DecoderState>();
    MPEG4DecoderState& s = *state;
    s.vol.spriteWarpingPoints = 1;
    BitWriter w;
    w.Put(0b011, 3);
    w.Put(0b00, 2);
    w.Put(1, 1);
    w.Put(0b00, 2);
    w.Put(1, 1);
    std::vector<uint8_t> bytes = w.Bytes();
    bytes.resize(bytes.size() + 8, 0);
    s.bits.Init(bytes.data(), bytes.size());
    ASSERT_EQ(ParseSpriteTrajectory(s), PARSE_OK);
    EXPECT_EQ(s.vop.du[0], -3);
    EXPECT_EQ(s.vop.dv[0], 0);
    BitWriter nine;
    nine.Put(0b111, 3);
    nine.Put(0x1FF, 9);  // nine one bits after 111
    bytes = nine.Bytes();
    bytes.resize(bytes.size() + 8, 0);
    s.bits.Init(bytes.data(), bytes.size());
    EXPECT_EQ(ParseSpriteTrajectory(s), PARSE_ERROR);
}

// VOP time: the short-header temporal reference wraps; modulo_time_base seconds accumulate.
TEST(Mpeg4Headers, VopTimeArithmetic) {
    auto state = std::make_unique<MPEG4DecoderState>();
    MPEG4DecoderState& s = *state;
    MPEG4FrameBuffer previous{};
    s.dec.current = &previous;
    s.vol.shortVideoHeader = 1;
    int64_t last = -1;
    for (int tr : {253, 254, 255, 0, 1}) {
        s.sh.temporalReference = tr;
        const int64_t t = VopTime(s);
        EXPECT_GT(t, last) << tr;
        EXPECT_EQ(t % 1001, 0);
        previous.time = last = t;
    }
    EXPECT_EQ(last, (256 + 1) * 1001);

    *state = MPEG4DecoderState{};
    s.vol.timeIncrementResolution = 30;
    s.vop.codingType = MPEG4_VOP_I;
    s.vop.timeIncrement = 10;
    EXPECT_EQ(VopTime(s), 10);
    s.vop.moduloTimeBase = 1;
    s.vop.timeIncrement = 5;
    s.vop.codingType = MPEG4_VOP_P;
    EXPECT_EQ(VopTime(s), 35);
    s.vop.codingType = MPEG4_VOP_B;  // before the base moved on for it
    s.vop.moduloTimeBase = 0;
    s.vop.timeIncrement = 20;
    EXPECT_EQ(VopTime(s), 20);
    s.vop.codingType = MPEG4_VOP_P;
    s.vop.timeIncrement = 6;
    EXPECT_EQ(VopTime(s), 36);
}

// A stream that starts with its VOL: no visual object sequence or visual object header.
TEST(Mpeg4Headers, VolWithoutVisualObject) {
    BitWriter w;
    WriteVol(w, Vol{});
    std::vector<uint8_t> bytes = w.Bytes();
    UMC::mpeg4::Mpeg4StreamDecoder decoder;
    ASSERT_EQ(decoder.Open(bytes.data(), bytes.size()), STATUS_OK);
    EXPECT_EQ(decoder.State().vol.verid, 1);
    EXPECT_EQ(decoder.State().vol.width, 64);
    const MPEG4FrameBuffer* frame = nullptr;
    int32_t result = 0;
    EXPECT_EQ(decoder.Next(&frame, &result), STATUS_SYNC_NOT_FOUND);
    // A size beyond the decoder's limit is refused as the layer is read, before any picture
    // memory is taken.
    Vol huge;
    huge.width = 8000;
    huge.height = 8000;
    BitWriter big;
    WriteVol(big, huge);
    EXPECT_EQ(decoder.Open(big.Bytes().data(), big.Bytes().size()), STATUS_INVALID_STREAM);
    // No VOL at all.
    const uint8_t junk[] = {0, 0, 1, 0xB6, 0x12, 0x34, 0, 0, 0};
    EXPECT_EQ(decoder.Open(junk, sizeof junk), STATUS_SYNC_NOT_FOUND);
}

}  // namespace

namespace {

// Access units end before the second picture start code (VOP, or a short-header picture): the
// split agrees with a byte-by-byte search wherever the codes lie, zero runs and odd offsets
// included.
size_t SecondPictureBySearch(const std::vector<uint8_t>& d, bool shortHeader) {
    int seen = 0;
    for (size_t i = 0; i + 3 < d.size(); ++i) {
        const bool picture =
            d[i] == 0 && d[i + 1] == 0 &&
            (shortHeader ? (d[i + 2] & 0xFC) == 0x80 : d[i + 2] == 1 && d[i + 3] == 0xB6);
        if (!picture) continue;
        if (seen++) return i;
        i += 2;
    }
    return d.size();
}

TEST(Mpeg4AccessUnits, SplitBeforeTheSecondPicture) {
    qm::test::Rng rng(0xAC0);
    for (int trial = 0; trial < 400; ++trial) {
        const bool shortHeader = trial & 1;
        std::vector<uint8_t> d(size_t(rng.Int(0, 60)));
        for (uint8_t& b : d) b = rng.Int(0, 3) ? uint8_t(rng.Int(1, 255)) : 0;
        for (int codes = rng.Int(0, 3); codes > 0 && d.size() >= 4; --codes) {
            const size_t at = size_t(rng.Int(0, int(d.size()) - 4));
            d[at] = d[at + 1] = 0;
            d[at + 2] = shortHeader ? uint8_t(0x80 | rng.Int(0, 3)) : 1;
            d[at + 3] = shortHeader ? uint8_t(rng.Int(0, 255)) : 0xB6;
        }
        SCOPED_TRACE(trial);
        EXPECT_EQ(Mpeg4AccessUnitLength(d.data(), d.size(), shortHeader),
                  SecondPictureBySearch(d, shortHeader));
    }
}

}  // namespace
