// The inter VOP pieces the streams do not reach: vector wrap, vectors far outside the picture,
// B-VOP macroblocks skipped with their co-located ones, interlaced direct mode, and damaged inter
// VOPs decoded without reading or writing out of bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4InterDriver.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg4;
using UMC::mpeg4::MotionVector;

// Differential vectors that leave the range of their f_code wrap around it (the streams stay
// inside it; their vectors and chroma rounding are checked by the fixture decodes).
TEST(Mpeg4MotionVectors, WrapIntoTheRangeOfTheFcode) {
    for (auto [v, fcode, wrapped] :
         {std::tuple{40, 1, -24}, {-33, 1, 31}, {31, 1, 31}, {64, 2, -64}, {-64, 2, -64}})
        EXPECT_EQ(UMC::mpeg4::WrapVector(v, fcode), wrapped) << v << " at fcode " << fcode;
}

// A small VOL with frames and arrays, the forward reference random and padded.
class Mpeg4InterFrames : public ::testing::Test {
protected:
    void SetUp() override {
        spInitProcessorDispatch();
        s.vo.verid = 1;
        s.vol.width = 40;
        s.vol.height = 24;
        s.vol.quantPrecision = 5;
        s.vol.resyncMarkerDisable = 1;
        ASSERT_EQ(pictures.Allocate(s, true), UMC::STATUS_OK);
        qm::test::Rng rng(7);
        for (UMC::MPEG4FrameBuffer* f : {s.dec.forward, s.dec.backward}) {
            for (int y = 0; y < 32; ++y) {
                rng.Fill(f->y + y * f->yPitch, 48, uint8_t(0), uint8_t(255));
                if (y < 16) {
                    rng.Fill(f->u + y * f->uvPitch, 24, uint8_t(0), uint8_t(255));
                    rng.Fill(f->v + y * f->uvPitch, 24, uint8_t(0), uint8_t(255));
                }
            }
            UMC::mpeg4::PadReference(s, *f);
        }
        bInfo.assign(size_t(s.dec.mbCount), UMC::Mpeg4MacroblockInfo{});
        s.dec.bInfo = bInfo.data();
    }

    UMC::MPEG4DecoderState s{};
    UMC::mpeg4::Mpeg4Pictures pictures;
    std::vector<UMC::Mpeg4MacroblockInfo> bInfo;
};

TEST_F(Mpeg4InterFrames, VectorsFarOutsideRepeatTheEdge) {
    const UMC::MPEG4FrameBuffer& ref = *s.dec.forward;
    const UMC::MPEG4FrameBuffer& cur = *s.dec.current;
    for (bool quarter : {false, true}) {
        s.vol.quarterSample = quarter;
        const int unit = quarter ? 4 : 2;
        // 100 samples left of the picture (and half a sample down): every row is its first sample.
        MotionVector mv[4] = {{-100 * unit, 1}, {}, {}, {}};
        mv[1] = mv[2] = mv[3] = mv[0];
        UMC::mpeg4::PredictMacroblock(s, ref, 0, 0, mv, false, 0, UMC::mpeg4::Blend::Replace);
        for (int y = 0; y < 16; ++y)
            for (int x = 1; x < 16; ++x)
                ASSERT_EQ(cur.y[y * cur.yPitch + x], cur.y[y * cur.yPitch]) << y << "," << x;
        // Far below and right of the picture: the bottom-right sample everywhere.
        for (int v : {32767, 1000}) {
            mv[0] = mv[1] = mv[2] = mv[3] = {v, v};
            UMC::mpeg4::PredictMacroblock(s, ref, 2, 1, mv, true, 1, UMC::mpeg4::Blend::Average);
            UMC::mpeg4::PredictMacroblock(s, ref, 2, 1, mv, false, 1, UMC::mpeg4::Blend::Replace);
            const uint8_t corner = ref.y[31 * ref.yPitch + 47];
            for (int y = 16; y < 32; ++y)
                for (int x = 32; x < 48; ++x) ASSERT_EQ(cur.y[y * cur.yPitch + x], corner);
        }
    }
}

// The fixtures' skipped macroblocks lie where both references agree: these copy the older one.
TEST_F(Mpeg4InterFrames, BMacroblocksSkippedWithTheirColocatedOnesReadNothing) {
    for (int i = 0; i < s.dec.mbCount; ++i) s.dec.info[i].notCoded = 1;
    std::vector<uint8_t> nothing(kMpeg4InputPadding, 0);
    s.bits.Init(nothing.data(), 0);
    s.vop.codingType = UMC::MPEG4_VOP_B;
    s.vop.quant = 4;
    s.vop.fcodeForward = s.vop.fcodeBackward = 1;
    s.dec.trb = 1;
    s.dec.trd = 2;
    EXPECT_EQ(UMC::mpeg4::DecodeBVop(s), 0);
    EXPECT_EQ(s.bits.Position(), 0u);
    const auto a = Packed(*s.dec.current, 40, 24), b = Packed(*s.dec.forward, 40, 24);
    EXPECT_EQ(a, b);
    EXPECT_EQ(s.dec.info[0].notCoded, 1);  // the newer reference's records stay
}

// Interlaced direct mode from a field-predicted co-located macroblock: a picture moving right by
// three samples per field period, the references two frame periods apart and the B-VOP between.
// Whichever fields the co-located macroblock predicted from, its field vectors scaled by the
// field distances land every field of the B-VOP macroblock on the moving picture exactly.
TEST_F(Mpeg4InterFrames, FieldDirectModeFollowsTheMotionOfEachField) {
    const auto picture = [](int x, int time) {
        const int u = x - 3 * time + 1000;
        return uint8_t((u * 37 + (u * u) % 11 * 9) & 255);
    };
    s.vol.interlaced = 1;
    s.vop.codingType = UMC::MPEG4_VOP_B;
    s.vop.quant = 4;
    s.vop.fcodeForward = s.vop.fcodeBackward = 2;
    s.dec.trb = 1;
    s.dec.trd = 2;
    std::vector<UMC::Mpeg4FieldVectors> fieldVectors(size_t(s.dec.mbCount));
    s.dec.fieldVectors = fieldVectors.data();
    for (int topFirst = 0; topFirst < 2; ++topFirst)
        for (int select = 0; select < 4; ++select) {
            SCOPED_TRACE(testing::Message() << "top first " << topFirst << " select " << select);
            s.vop.topFieldFirst = topFirst;
            // Field periods from the start of frame 0 to field f of frame t.
            const auto when = [&](int t, int f) { return 2 * t + (topFirst ? f : 1 - f); };
            for (const auto& [frame, t] : {std::pair{s.dec.forward, 0}, {s.dec.backward, 2}}) {
                for (int y = 0; y < 24; ++y)
                    for (int x = 0; x < 40; ++x)
                        frame->y[y * frame->yPitch + x] = picture(x, when(t, y & 1));
                UMC::mpeg4::PadReference(s, *frame);
            }
            // Only macroblock 1 is coded in the newer reference; its fields predicted from the
            // older reference's fields `select`, by the picture's motion in half samples.
            for (int i = 0; i < s.dec.mbCount; ++i) {
                s.dec.info[i] = UMC::Mpeg4MacroblockInfo{};
                s.dec.info[i].notCoded = i != 1;
            }
            UMC::Mpeg4MacroblockInfo& co = s.dec.info[1];
            co.field = uint8_t(1 | select << 1);
            for (int f = 0; f < 2; ++f) {
                fieldVectors[1].mv[f][0] = int16_t(-6 * (when(2, f) - when(0, (select >> f) & 1)));
                fieldVectors[1].mv[f][1] = 0;
            }
            std::vector<uint8_t> bits(1 + kMpeg4InputPadding, 0);
            bits[0] = 0x80;  // modb 1: direct mode without a delta vector or texture
            s.bits.Init(bits.data(), 1);
            s.dec.framePeriod = 0;
            ASSERT_EQ(UMC::mpeg4::DecodeBVop(s), 0);
            const UMC::MPEG4FrameBuffer& cur = *s.dec.current;
            for (int y = 0; y < 16; ++y)
                for (int x = 16; x < 32; ++x)
                    ASSERT_EQ(cur.y[y * cur.yPitch + x], picture(x, when(1, y & 1)))
                        << x << "," << y;
        }
}

// Random bits as P-, B- and S-VOP data under every tool combination (overlapped motion
// compensation included): a result of 0 or a concealed error, never an access outside the frames
// (the sanitizer builds watch that).
TEST_F(Mpeg4InterFrames, RandomDataIsSurvived) {
    qm::test::Rng rng(11);
    std::vector<uint8_t> data(200 + kMpeg4InputPadding);
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(trial);
        rng.Fill(data.data(), 200, uint8_t(0), uint8_t(255));
        s.bits.Init(data.data(), size_t(rng.Int(0, 200)));
        s.vol.quarterSample = rng.Bool();
        s.vol.interlaced = rng.Bool();
        s.vol.resyncMarkerDisable = rng.Bool();
        s.vol.dataPartitioned = rng.Bool();
        s.vol.reversibleVlc = rng.Bool();
        s.vol.obmcDisable = rng.Bool();  // the arrays are there: the fixture's VOL enabled it
        s.vop.quant = rng.Int(1, 31);
        s.vop.fcodeForward = rng.Int(1, 7);
        s.vop.fcodeBackward = rng.Int(1, 7);
        s.vop.roundingType = rng.Bool();
        s.dec.trb = rng.Int(-3, 3);
        s.dec.trd = rng.Int(-3, 3);
        const int type = rng.Int(0, 2);
        int32_t result = 0;
        if (type == 0) {
            s.vop.codingType = UMC::MPEG4_VOP_P;
            result = UMC::mpeg4::DecodePVop(s);
            // No overlapped macroblock is left waiting for its luma.
            for (int i = 0; i < s.dec.mbCount; ++i) ASSERT_EQ(s.dec.obmcPending[i], 0);
        } else if (type == 1) {
            s.vop.codingType = UMC::MPEG4_VOP_B;
            result = UMC::mpeg4::DecodeBVop(s);
        } else {
            s.vop.codingType = UMC::MPEG4_VOP_S;
            s.vol.spriteEnable = UMC::MPEG4_SPRITE_GMC;
            s.vol.spriteWarpingPoints = rng.Int(0, 3);
            s.vol.spriteWarpingAccuracy = rng.Int(0, 3);
            // Warping points anywhere the trajectory codes reach (14 bits), far off the picture.
            const int reach = rng.Bool() ? 16383 : 1000;
            for (int i = 0; i < 4; ++i) {
                s.vop.du[i] = rng.Int(-reach, reach);
                s.vop.dv[i] = rng.Int(-reach, reach);
            }
            result = UMC::mpeg4::DecodeSVop(s);
            s.vol.spriteEnable = UMC::MPEG4_SPRITE_NONE;
        }
        EXPECT_TRUE(result == 0 || result == UMC::kMpeg4VopConcealed || result == UMC::PARSE_ERROR)
            << result;
    }
}

}  // namespace
