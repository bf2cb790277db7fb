// Header parsing: the checks that refuse a VOL, VOP or short-header picture, and the fields that
// change how the rest of the layer is read.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"
#include "tests/support/Random.h"

namespace {

using namespace UMC;
using namespace UMC::mpeg4;
using qm::test::mpeg4::BitWriter;
using qm::test::mpeg4::VolSpec;

// A parser state over `bytes` (zero-padded), with the visual object's verid.
struct Parsed {
    std::vector<uint8_t> bytes;
    std::unique_ptr<MPEG4DecoderState> s = std::make_unique<MPEG4DecoderState>();
    Parsed(const BitWriter& w, int objectVerid = 1) : bytes(w.Padded()) {
        s->vo.verid = objectVerid;
        s->bits.Init(bytes.data(), bytes.size());
    }
};

int32_t ParseVol(const VolSpec& v, Parsed** out = nullptr) {
    static std::unique_ptr<Parsed> last;
    BitWriter w;
    qm::test::mpeg4::PutVol(w, v);
    last = std::make_unique<Parsed>(w, v.objectVerid);
    if (out) *out = last.get();
    return ParseVideoObjectLayer(*last->s);
}

// Each row one change to a plain 64x48 layer, and what the parser makes of it (-1: not checked).
// The layer's verid (its own when known, else the visual object's) decides the width of
// sprite_enable and whether the version 2 fields are there.
TEST(Mpeg4Headers, VolFields) {
    struct Want {
        int verid = -1, sprite = -1, quarterSample = -1, newpred = -1;
    };
    const struct {
        const char* name;
        VolSpec vol;
        int32_t result;
        Want want = {};
    } kRows[] = {
        {"zero time increment resolution", {.resolution = 0}, PARSE_ERROR},
        {"zero fixed increment", {.fixedIncrement = 0}, PARSE_ERROR},
        {"zero width", {.width = 0}, PARSE_ERROR},
        {"binary shape", {.shape = 1}, PARSE_ERROR},
        {"chroma format 2", {.chromaFormat = 2}, PARSE_ERROR},
        {"not 8 bit", {.not8Bit = 1}, PARSE_ERROR},
        {"scalability", {.scalability = 1}, PARSE_ERROR},
        {"reduced resolution", {.verid = 2, .reducedResolution = 1}, PARSE_ERROR},
        {"GMC with 4 points", {.verid = 2, .gmc = 1, .warpingPoints = 4}, PARSE_ERROR},
        {"GMC with brightness", {.verid = 2, .gmc = 1, .spriteBrightnessChange = 1}, PARSE_ERROR},
        {"5 warping points",
         {.spriteWidth = 64, .spriteHeight = 48, .warpingPoints = 5},
         PARSE_ERROR},
        {"4 warping points", {.spriteWidth = 64, .spriteHeight = 48, .warpingPoints = 4}, PARSE_OK},
        {"no layer verid, object 2",
         {.objectVerid = 2, .gmc = 1},
         PARSE_OK,
         {.verid = 2, .sprite = MPEG4_SPRITE_GMC, .quarterSample = 1}},
        {"no layer verid, object 1: one-bit sprite_enable",
         {.spriteWidth = 64, .spriteHeight = 48},
         PARSE_OK,
         {.sprite = MPEG4_SPRITE_STATIC, .quarterSample = 0}},
        {"unknown layer verid",
         {.verid = 7, .objectVerid = 2, .spriteWidth = 64, .spriteHeight = 48},
         PARSE_OK,
         {.verid = 2, .sprite = MPEG4_SPRITE_STATIC}},
        {"newpred", {.verid = 2, .newpred = 1}, PARSE_OK, {.verid = 2, .newpred = 1}},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        Parsed* p = nullptr;
        EXPECT_EQ(ParseVol(row.vol, &p), row.result);
        const Mpeg4Vol& vol = p->s->vol;
        const auto expect = [](int want, int got, const char* what) {
            if (want >= 0) {
                EXPECT_EQ(got, want) << what;
            }
        };
        expect(row.want.verid, vol.verid, "verid");
        expect(row.want.sprite, vol.spriteEnable, "sprite_enable");
        expect(row.want.quarterSample, vol.quarterSample, "quarter_sample");
        expect(row.want.newpred, vol.newpredEnable, "newpred_enable");
        expect(row.want.newpred * 3, vol.requestedUpstreamMessageType, "upstream message type");
        expect(row.want.newpred, vol.newpredSegmentType, "newpred segment type");
    }
    // A loaded matrix repeats its last value; the other keeps its default.
    Parsed* p = nullptr;
    ASSERT_EQ(ParseVol(VolSpec{.quantType = 1, .intraMatrix = {8, 16, 0}}, &p), PARSE_OK);
    EXPECT_EQ(p->s->vol.intraMatrix[0], 8);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(p->s->vol.intraMatrix[i], 16) << i;
    EXPECT_EQ(p->s->vol.nonIntraMatrix[63], 33);
    for (int marker = 1; marker <= 5; ++marker)
        EXPECT_EQ(ParseVol(VolSpec{.breakMarker = marker}), PARSE_ERROR) << "marker " << marker;
    // The time increment's width; the fields after it were read in step.
    for (auto [resolution, bits] : {std::pair{1, 1}, {2, 1}, {65535, 16}}) {
        Parsed* p = nullptr;
        ASSERT_EQ(ParseVol(VolSpec{.resolution = resolution, .fixedIncrement = 1}, &p), PARSE_OK);
        EXPECT_EQ(p->s->vol.timeIncrementBits, bits) << resolution;
        EXPECT_EQ(p->s->vol.height, 48);
    }
    // A list whose first value is 0 clears everything but the first entry.
    Mpeg4BitReader r{};
    uint8_t zero[8] = {}, matrix[64];
    r.Init(zero, sizeof zero);
    std::memset(matrix, 5, 64);
    ParseQuantMatrix(r, matrix);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(matrix[i], i ? 0 : 5);
}

// A refused layer or object header changes nothing: the layer in use, and the frames sized for
// it, stay as they were however far the header got.
TEST(Mpeg4Headers, RefusedHeadersLeaveTheStateAsItWas) {
    const VolSpec good{.verid = 2, .interlaced = 1, .quantType = 1, .intraMatrix = {9, 10, 0}};
    const VolSpec bad[] = {
        {.width = 96, .height = 80, .not8Bit = 1, .quantType = 1},      // after the size
        {.width = 96, .height = 80, .quantType = 1, .scalability = 1},  // the last field
        {.width = 96, .height = 80, .quantType = 1, .breakMarker = 5},  // after the height
        {.width = 96, .height = 80, .chromaFormat = 3, .quantType = 1},
    };
    for (const VolSpec& b : bad) {
        SCOPED_TRACE(&b - bad);
        BitWriter w;
        qm::test::mpeg4::PutVol(w, good);
        qm::test::mpeg4::PutVol(w, b);
        Parsed p(w);
        ASSERT_EQ(ParseVideoObjectLayer(*p.s), PARSE_OK);
        const Mpeg4Vol before = p.s->vol;
        ASSERT_TRUE(p.s->bits.NextStartCode());
        p.s->bits.ptr -= 3;
        EXPECT_EQ(ParseVideoObjectLayer(*p.s), PARSE_ERROR);
        EXPECT_EQ(std::memcmp(&p.s->vol, &before, sizeof before), 0);
    }
    // A visual object of another type after one of version 2.
    BitWriter w;
    w.Put(0b1'0010'001'0001'0, 13);  // identifier, verid 2, priority 1, video, no signal type
    w.Put(0b1'0001'001'0010, 12);    // verid 1, still texture
    Parsed p(w);
    ASSERT_EQ(ParseVisualObject(*p.s), PARSE_OK);
    EXPECT_EQ(p.s->vo.verid, 2);
    EXPECT_EQ(ParseVisualObject(*p.s), PARSE_UNSUPPORTED);
    EXPECT_EQ(p.s->vo.verid, 2);
}

TEST(Mpeg4Headers, DivxUserDataSetsTheCompatibilityMode) {
    for (const std::string text : {"DivX503b1393p", "Lavc"}) {
        BitWriter w;
        qm::test::mpeg4::PutVol(w, VolSpec{});
        w.StartCode(0xB2);
        for (char c : text) w.Put(uint8_t(c), 8);
        Parsed p(w);
        ASSERT_EQ(ParseVideoObjectLayer(*p.s), PARSE_OK);
        EXPECT_EQ(p.s->compatibilityMode, text[0] == 'D' ? 2 : 0) << text;
        EXPECT_EQ(p.s->compatibilityFlag, text[0] == 'D' ? 1 : 0) << text;
    }
}

// Formats without a picture size are refused; QCIF's GOB layout (which only concealment reads).
TEST(Mpeg4Headers, ShortHeaderFormats) {
    for (int format : {0, 6, 7, 2}) {
        BitWriter w;
        w.Put(0x20, 22);  // picture start code
        w.Put(0, 8);      // temporal reference
        w.Put(0b10'000, 5);
        w.Put(uint32_t(format), 3);
        w.Put(0b0'0000'00101'0'0, 12);  // I, quantiser 5, no pei
        Parsed p(w);
        if (format != 2) {
            EXPECT_EQ(ParseVideoObjectLayer(*p.s), PARSE_ERROR) << format;
            continue;
        }
        ASSERT_EQ(ParseVideoObjectLayer(*p.s), PARSE_OK);
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
}

// Visual object and GOV headers; the VOP header's refusals.
TEST(Mpeg4Headers, ObjectGovAndVop) {
    BitWriter vo, gov, badGov;
    vo.Put(0b0'0010, 5);  // still texture
    EXPECT_EQ(ParseVisualObject(*Parsed(vo).s), PARSE_UNSUPPORTED);
    for (auto [v, n] : {std::pair{1, 5}, {2, 6}, {1, 1}, {3, 6}, {1, 1}, {0, 1}}) gov.Put(v, n);
    Parsed g(gov);
    g.s->vol.timeIncrementResolution = 30;
    ASSERT_EQ(ParseGroupOfVops(*g.s), PARSE_OK);
    EXPECT_EQ(g.s->gov.time, ((1 * 60 + 2) * 60 + 3) * 30);
    EXPECT_EQ(g.s->gov.closed, 1);
    badGov.Put(0, 12);
    EXPECT_EQ(ParseGroupOfVops(*Parsed(badGov).s), PARSE_ERROR);

    std::unique_ptr<Parsed> p;
    auto vop = [&](int type, int fcode, int coded, int marker, int noBVops = 0) {
        BitWriter w;
        w.Put(uint32_t(type), 2);
        w.Put(0b110, 3);  // modulo_time_base 2
        w.Put(uint32_t(marker), 1);
        w.Put(0b00111'1, 6);  // time increment 7, marker
        w.Put(uint32_t(coded), 1);
        if (type == MPEG4_VOP_P) w.Put(1, 1);  // rounding
        w.Put(0b010'01001, 8);                 // intra_dc_vlc_thr 2, quantiser 9
        if (type != MPEG4_VOP_I) w.Put(uint32_t(fcode), 3);
        if (type == MPEG4_VOP_B) w.Put(uint32_t(fcode), 3);
        p = std::make_unique<Parsed>(w);
        p->s->vol.timeIncrementBits = 5;
        p->s->vol.quantPrecision = 5;
        p->s->noBVops = noBVops;
        return ParseVopHeader(*p->s);
    };
    ASSERT_EQ(vop(MPEG4_VOP_P, 2, 1, 1), PARSE_OK);
    EXPECT_EQ(vop(MPEG4_VOP_P, 0, 1, 1), PARSE_ERROR);
    EXPECT_EQ(vop(MPEG4_VOP_I, 0, 1, 0), PARSE_ERROR);
    EXPECT_EQ(vop(MPEG4_VOP_B, 0, 0, 1), PARSE_OK);  // not coded: nothing more is read
    EXPECT_EQ(vop(MPEG4_VOP_B, 1, 1, 1, 1), PARSE_ERROR);
}

// A sprite trajectory component, and a length no dmv_length code has.
TEST(Mpeg4Headers, SpriteTrajectory) {
    // Trajectory: du = -3 (length 2 code "011", value "00"), dv = 0; then nine one bits after
    // "111", a length no code has.
    BitWriter w, nine;
    w.Put(0b011'00'1'00'1, 9);
    Parsed p(w);
    p.s->vol.spriteWarpingPoints = 1;
    ASSERT_EQ(ParseSpriteTrajectory(*p.s), PARSE_OK);
    EXPECT_EQ(p.s->vop.du[0], -3);
    EXPECT_EQ(p.s->vop.dv[0], 0);
    nine.Put(0b111'111111111, 12);
    Parsed q(nine);
    q.s->vol.spriteWarpingPoints = 1;
    EXPECT_EQ(ParseSpriteTrajectory(*q.s), PARSE_ERROR);
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
    // I at 10; P one second on at 5; B before the base moved on for it; P on the new base.
    for (auto [type, modulo, increment, time] : {std::tuple{MPEG4_VOP_I, 0, 10, 10},
                                                 {MPEG4_VOP_P, 1, 5, 35},
                                                 {MPEG4_VOP_B, 0, 20, 20},
                                                 {MPEG4_VOP_P, 0, 6, 36}}) {
        s.vop.codingType = type;
        s.vop.moduloTimeBase = modulo;
        s.vop.timeIncrement = increment;
        EXPECT_EQ(VopTime(s), time) << type << " " << increment;
    }
}

// A stream that starts with its VOL (no visual object sequence or visual object header); a size
// beyond the decoder's limit, refused as the layer is read, before any picture memory is taken;
// no VOL at all.
TEST(Mpeg4Headers, StreamOpening) {
    BitWriter w, huge;
    qm::test::mpeg4::PutVol(w, VolSpec{});
    qm::test::mpeg4::PutVol(huge, VolSpec{.width = 8000, .height = 8000});
    Mpeg4StreamDecoder decoder;
    ASSERT_EQ(decoder.Open(w.Bytes().data(), w.Bytes().size()), STATUS_OK);
    EXPECT_EQ(decoder.State().vol.verid, 1);
    EXPECT_EQ(decoder.State().vol.width, 64);
    const MPEG4FrameBuffer* frame = nullptr;
    int32_t result = 0;
    EXPECT_EQ(decoder.Next(&frame, &result), STATUS_SYNC_NOT_FOUND);
    EXPECT_EQ(decoder.Open(huge.Bytes().data(), huge.Bytes().size()), STATUS_INVALID_STREAM);
    const uint8_t junk[] = {0, 0, 1, 0xB6, 0x12, 0x34, 0, 0, 0};
    EXPECT_EQ(decoder.Open(junk, sizeof junk), STATUS_SYNC_NOT_FOUND);
}

// Access units end before the second picture start code (VOP, or a short-header picture): the
// split agrees with a byte-by-byte search wherever the codes lie, zero runs and odd offsets
// included.
TEST(Mpeg4Headers, AccessUnitsSplitBeforeTheSecondPicture) {
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
        size_t expected = d.size();
        for (size_t i = 0, seen = 0; i + 3 < d.size(); ++i) {
            const bool picture =
                d[i] == 0 && d[i + 1] == 0 &&
                (shortHeader ? (d[i + 2] & 0xFC) == 0x80 : d[i + 2] == 1 && d[i + 3] == 0xB6);
            if (!picture) continue;
            if (seen++) {
                expected = i;
                break;
            }
            i += 2;
        }
        EXPECT_EQ(Mpeg4AccessUnitLength(d.data(), d.size(), shortHeader), expected) << trial;
    }
}

}  // namespace
