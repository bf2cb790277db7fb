// Overlapped block motion compensation. No encoder at hand writes it (and neither ffmpeg nor
// libxvidcore decodes it: both ignore the VOL bit), so every P-VOP is decoded twice from the same
// reference, plainly and overlapped, and the overlapped luma is checked against the weighted sum
// computed here from the decoder's recorded vectors: the plain decode's residual (its picture
// minus the plain prediction, wherever nothing was clipped) added to the weighted predictions.
// The VOPs are the committed streams with the VOL's obmc_disable bit cleared (the syntax below
// the VOL does not depend on it), and a hand-made VOP that puts intra, not-coded and far-reaching
// neighbours around every kind of block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"
#include "primitives/MPEG4Coding.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg4;
using namespace UMC;
using namespace UMC::mpeg4;

// Clears obmc_disable in the stream's first VOL: found as the one bit whose flip changes nothing
// else that the header parser reads.
bool EnableObmc(std::vector<uint8_t>& stream) {
    size_t start = 0;
    while (start + 4 <= stream.size() &&
           !(stream[start] == 0 && stream[start + 1] == 0 && stream[start + 2] == 1 &&
             (stream[start + 3] & 0xF0) == 0x20))
        ++start;
    if (start + 4 > stream.size()) return false;
    auto parse = [start](const std::vector<uint8_t>& bytes, Mpeg4Vol& vol) {
        MPEG4DecoderState s{};
        s.vo.verid = 1;
        Mpeg4PaddedInput input;
        input.Assign(bytes.data() + start, bytes.size() - start);
        s.bits.Init(input.Data(), input.Size());
        const bool ok = ParseVideoObjectLayer(s) == PARSE_OK;
        vol = s.vol;
        return ok;
    };
    Mpeg4Vol original{};
    if (!parse(stream, original) || !original.obmcDisable) return false;
    for (size_t bit = 32; bit < 8 * 40 && start + bit / 8 < stream.size(); ++bit) {
        std::vector<uint8_t> copy = stream;
        copy[start + bit / 8] ^= uint8_t(0x80 >> (bit % 8));
        Mpeg4Vol flipped{};
        if (!parse(copy, flipped) || flipped.obmcDisable) continue;
        flipped.obmcDisable = 1;
        if (std::memcmp(&flipped, &original, sizeof flipped) == 0) {
            stream = std::move(copy);
            return true;
        }
    }
    return false;
}

// The weights of the own prediction, of the one above or below and of the one left or right.
int OwnWeight(int r, int c) {
    const bool edgeR = r == 0 || r == 7, edgeC = c == 0 || c == 7;
    if (edgeR && edgeC) return 4;
    return (r >= 2 && r <= 5 && c >= 2 && c <= 5) ? 6 : 5;
}
int VerticalWeight(int r, int c) {
    return (r == 0 || r == 7 || ((r == 1 || r == 6) && c >= 2 && c <= 5)) ? 2 : 1;
}
int HorizontalWeight(int r, int c) {
    return (c == 0 || c == 7 || ((c == 1 || c == 6) && r >= 1 && r <= 6)) ? 2 : 1;
}

// The decoded luma of a reference extended by repeating its edges without limit (as far as any
// clamped vector can reach), and the predictions of blocks from it.
class Reference {
public:
    static constexpr int kMargin = 32;

    Reference(const MPEG4FrameBuffer& f, int width, int height, bool quarter)
        : m_width(width), m_height(height), m_pitch(width + 2 * kMargin), m_quarter(quarter) {
        m_samples.resize(size_t(m_pitch) * (height + 2 * kMargin));
        for (int y = -kMargin; y < height + kMargin; ++y)
            for (int x = -kMargin; x < width + kMargin; ++x)
                At(x, y) =
                    f.y[std::clamp(y, 0, height - 1) * f.yPitch + std::clamp(x, 0, width - 1)];
    }

    // The size x size prediction (8, or 16 for the whole macroblock) at (x, y) by vector v.
    void Predict(int x, int y, MotionVector v, int size, int rounding, uint8_t* out) const {
        const int shift = m_quarter ? 2 : 1;
        // Far outside, every sample repeats the edge: the block is moved back to the margin.
        const int ix = std::clamp(x + (v.x >> shift), -kMargin + 4, m_width + 4);
        const int iy = std::clamp(y + (v.y >> shift), -kMargin + 4, m_height + 4);
        const int fx = v.x & (m_quarter ? 3 : 1), fy = v.y & (m_quarter ? 3 : 1);
        const uint8_t* src = &m_samples[size_t(iy + kMargin) * m_pitch + ix + kMargin];
        if (m_quarter) {
            if (size == 16)
                ASSERT_EQ(vcPredictQuarterPel16x16(src, m_pitch, out, size, fx + 4 * fy, rounding),
                          0);
            else
                ASSERT_EQ(
                    vcPredictQuarterPelWidth8(src, m_pitch, out, size, fx + 4 * fy, rounding, 8),
                    0);
            return;
        }
        for (int r = 0; r < size; ++r)
            for (int c = 0; c < size; ++c) {
                const int a = src[r * m_pitch + c], b = src[r * m_pitch + c + fx];
                const int d = src[(r + fy) * m_pitch + c], e = src[(r + fy) * m_pitch + c + fx];
                out[r * size + c] = uint8_t((a + b + d + e + 2 - rounding) >> 2);
            }
    }

private:
    uint8_t& At(int x, int y) { return m_samples[size_t(y + kMargin) * m_pitch + x + kMargin]; }

    int m_width, m_height, m_pitch;
    bool m_quarter;
    std::vector<uint8_t> m_samples;
};

// The vector of the block (gx, gy) on the picture's grid of 8x8 blocks, as the block of
// macroblock (column, row) with vector `own` sees it.
MotionVector Neighbour(const Mpeg4VopState& d, int column, int row, int gx, int gy,
                       MotionVector own) {
    if (gx < 0 || gy < 0 || gx >= 2 * d.mbWidth || gy > 2 * row + 1) return own;
    const Mpeg4MacroblockInfo& m = d.info[(gy / 2) * d.mbWidth + gx / 2];
    const int16_t* mv = m.mv[(gy & 1) * 2 + (gx & 1)];
    if (gx / 2 == column && gy / 2 == row) return {mv[0], mv[1]};
    if (m.type == MPEG4_MB_INTRA || m.type == MPEG4_MB_INTRA_Q) return own;
    if (m.notCoded) return {0, 0};
    return {mv[0], mv[1]};
}

struct Check {
    int overlapped = 0;  // samples checked against the weighted sum
    int kept = 0;        // samples of macroblocks predicted as without the overlap
};

// The overlapped decode `cur` of the VOP whose plain decode is `plain` (packed planes), from
// reference `ref`; s holds the VOP's records and header.
void ExpectOverlapped(const MPEG4DecoderState& s, const Reference& ref,
                      const std::vector<uint8_t>& plain, const MPEG4FrameBuffer& cur,
                      Check& check) {
    const Mpeg4VopState& d = s.dec;
    const int width = s.vol.width, height = s.vol.height;
    const int rounding = s.vop.roundingType;
    const std::vector<uint8_t> overlapped = Packed(cur, width, height);
    // Chroma is never overlapped.
    ASSERT_TRUE(std::equal(plain.begin() + width * height, plain.end(),
                           overlapped.begin() + width * height));
    for (int index = 0; index < d.mbCount; ++index) {
        const int column = index % d.mbWidth, row = index / d.mbWidth;
        const Mpeg4MacroblockInfo& m = d.info[index];
        const bool plainOnly =
            m.type == MPEG4_MB_INTRA || m.type == MPEG4_MB_INTRA_Q || (m.field & 1);
        uint8_t whole[256];
        const bool oneVector = m.type != MPEG4_MB_INTER4V;
        ref.Predict(column * 16, row * 16, {m.mv[0][0], m.mv[0][1]}, 16, rounding, whole);
        for (int b = 0; b < 4; ++b) {
            const int bx = b & 1, by = b >> 1, gx = 2 * column + bx, gy = 2 * row + by;
            const int x0 = column * 16 + bx * 8, y0 = row * 16 + by * 8;
            const MotionVector own{m.mv[b][0], m.mv[b][1]};
            const MotionVector v[5] = {own, Neighbour(d, column, row, gx, gy - 1, own),
                                       Neighbour(d, column, row, gx, gy + 1, own),
                                       Neighbour(d, column, row, gx - 1, gy, own),
                                       Neighbour(d, column, row, gx + 1, gy, own)};
            uint8_t pred[5][64];
            for (int k = 0; k < 5; ++k) ref.Predict(x0, y0, v[k], 8, rounding, pred[k]);
            for (int r = 0; r < 8; ++r)
                for (int c = 0; c < 8; ++c) {
                    const int x = x0 + c, y = y0 + r;
                    if (x >= width || y >= height) continue;
                    const int got = overlapped[y * width + x], before = plain[y * width + x];
                    if (plainOnly) {
                        ASSERT_EQ(got, before) << "macroblock " << index;
                        ++check.kept;
                        continue;
                    }
                    ASSERT_EQ(OwnWeight(r, c) + VerticalWeight(r, c) + HorizontalWeight(r, c), 8);
                    if (before == 0 || before == 255) continue;  // the residual was clipped
                    const int i = r * 8 + c;
                    const int weighted = (pred[0][i] * OwnWeight(r, c) +
                                          pred[r < 4 ? 1 : 2][i] * VerticalWeight(r, c) +
                                          pred[c < 4 ? 3 : 4][i] * HorizontalWeight(r, c) + 4) >>
                                         3;
                    const int plainPrediction =
                        oneVector ? whole[(by * 8 + r) * 16 + bx * 8 + c] : pred[0][i];
                    ASSERT_EQ(got, std::clamp(weighted + before - plainPrediction, 0, 255))
                        << "macroblock " << index << " block " << b << " at " << c << "," << r;
                    ++check.overlapped;
                }
        }
    }
}

// Decodes the P-VOP at the reader's position into s.dec.current plainly, then overlapped from the
// same reference, and checks the second against the first.
void DecodeTwiceAndCheck(MPEG4DecoderState& s, Check& check) {
    const Mpeg4BitReader start = s.bits;
    s.vol.obmcDisable = 1;
    const int32_t plainResult = DecodePVop(s);
    const std::vector<uint8_t> plain = Packed(*s.dec.current, s.vol.width, s.vol.height);
    s.bits = start;
    s.vol.obmcDisable = 0;
    ASSERT_EQ(DecodePVop(s), plainResult);
    // The decoded area is whole macroblocks; vectors reach beyond it.
    const MPEG4FrameBuffer& forward = *s.dec.forward;
    const Reference ref(forward, forward.mbWidth * 16, forward.mbHeight * 16,
                        s.vol.quarterSample != 0);
    ExpectOverlapped(s, ref, plain, *s.dec.current, check);
}

// One stream with the overlap enabled, every P-VOP decoded twice and checked.
void CheckStream(const StreamCase& c) {
    std::vector<uint8_t> stream = c.Stream();
    ASSERT_FALSE(stream.empty());
    ASSERT_TRUE(EnableObmc(stream));
    const std::vector<uint8_t> reference = c.Reference();

    MPEG4DecoderState s{};
    s.vo.verid = 1;
    Mpeg4PaddedInput input;
    input.Assign(stream.data(), stream.size());
    s.bits.Init(input.Data(), input.Size());
    ASSERT_EQ(FindHeaders(s), STATUS_OK);
    ASSERT_EQ(s.vol.obmcDisable, 0);
    Mpeg4Pictures pictures;
    ASSERT_EQ(pictures.Allocate(s, false), STATUS_OK);
    ASSERT_NE(s.dec.obmcPending, nullptr);

    Check check;
    int references = 0, predicted = 0;
    double minimum = 99.0;
    for (int guard = 0; guard < 100; ++guard) {
        if (FindNextVop(s, nullptr) != STATUS_OK) break;
        ASSERT_EQ(ParseVopHeader(s), PARSE_OK);
        const int64_t time = VopTime(s);
        if (s.vop.codingType == MPEG4_VOP_B) continue;  // never a reference
        Mpeg4Pictures::SwapCurrentForward(s);
        if (s.vop.codingType == MPEG4_VOP_I) {
            ASSERT_EQ(DecodeIVop(s), 0);
        } else {
            ASSERT_EQ(s.vop.codingType, MPEG4_VOP_P);
            DecodeTwiceAndCheck(s, check);
            if (::testing::Test::HasFatalFailure()) return;
            ++predicted;
        }
        PadReference(s, *s.dec.current);
        ++references;
        // The stream was made without the overlap: the pictures drift from ffmpeg's but stay
        // close to them. Its pictures are in display order, one per tick of 1/25 s.
        const size_t shown = size_t(time * 25 / s.vol.timeIncrementResolution);
        if ((shown + 1) * c.FrameSize() <= reference.size()) {
            const std::vector<uint8_t> picture = Packed(*s.dec.current, c.width, c.height);
            minimum = std::min(
                minimum, Psnr(picture.data(), &reference[shown * c.FrameSize()], c.FrameSize()));
        }
    }
    EXPECT_GE(predicted, 3);
    // Most samples: streams code few at 0 or 255, and few intra macroblocks.
    EXPECT_GT(check.overlapped, predicted * c.width * c.height / 2);
    EXPECT_GE(minimum, 25.0);
    std::printf("%s: %d overlapped samples checked, %d kept, at least %.2f dB from ffmpeg's\n",
                c.file, check.overlapped, check.kept, minimum);
}

TEST(Mpeg4Obmc, OverlappedPVopsAreTheWeightedSumOfTheirPredictions) {
    spInitProcessorDispatch();
    for (const StreamCase& c :
         {StreamCase{"inter_mv4.m4v", 64, 48}, StreamCase{"inter_p.m4v", 64, 48},
          StreamCase{"inter_partitioned.m4v", 64, 48}, StreamCase{"inter_odd74x42.m4v", 74, 42},
          StreamCase{"inter_qpel.m4v", 64, 48}, StreamCase{"inter_interlaced.m4v", 64, 48}}) {
        SCOPED_TRACE(c.file);
        CheckStream(c);
    }
}

// motion_code VLCs 0..7 (a sign bit follows the non-zero ones).
void PutMotionDifference(BitWriter& w, int value, int fcode) {
    static constexpr struct {
        uint32_t code;
        int bits;
    } kCodes[8] = {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {3, 6}, {5, 7}, {4, 7}, {3, 7}};
    if (value == 0) return w.Put(1, 1);
    const int scale = 1 << (fcode - 1), magnitude = std::abs(value) - 1;
    const int code = magnitude / scale + 1;
    ASSERT_LE(code, 7);
    w.Put(kCodes[code].code, kCodes[code].bits);
    w.Put(value < 0 ? 1 : 0, 1);
    if (fcode > 1) w.Put(uint32_t(magnitude % scale), fcode - 1);
}

// A hand-made P-VOP of 3 x 3 macroblocks without texture: intra and not-coded macroblocks, one-
// and four-vector ones beside each other, vectors far outside the picture.
TEST(Mpeg4Obmc, NeighbourRulesAtEdgesIntraAndNotCodedMacroblocks) {
    spInitProcessorDispatch();
    qm::test::Rng rng(46);
    for (int trial = 0; trial < 12; ++trial) {
        SCOPED_TRACE(trial);
        MPEG4DecoderState s{};
        s.vo.verid = 1;
        s.vol.width = 48;
        s.vol.height = 40;  // the last row only half visible
        s.vol.quantPrecision = 5;
        s.vol.resyncMarkerDisable = 1;
        s.vol.obmcDisable = 0;
        s.vol.quarterSample = trial & 1;
        Mpeg4Pictures pictures;
        ASSERT_EQ(pictures.Allocate(s, false), STATUS_OK);
        MPEG4FrameBuffer& f = *s.dec.forward;
        for (int y = 0; y < 40; ++y) rng.Fill(f.y + y * f.yPitch, 48, uint8_t(0), uint8_t(255));
        for (int y = 0; y < 20; ++y) {
            rng.Fill(f.u + y * f.uvPitch, 24, uint8_t(0), uint8_t(255));
            rng.Fill(f.v + y * f.uvPitch, 24, uint8_t(0), uint8_t(255));
        }
        PadReference(s, f);
        s.vop.codingType = MPEG4_VOP_P;
        s.vop.quant = 4;
        s.vop.fcodeForward = 5;  // differences up to 112 half samples with the codes above
        s.vop.roundingType = rng.Int(0, 1);

        // Macroblock kinds in raster order: 0 inter, 1 four vectors, 2 intra, 3 not coded.
        static constexpr int kLayouts[3][9] = {
            {1, 2, 0, 3, 1, 0, 0, 2, 1}, {0, 1, 3, 2, 0, 1, 1, 3, 0}, {1, 1, 1, 1, 3, 1, 1, 1, 1}};
        const int* kinds = kLayouts[trial % 3];
        BitWriter w;
        for (int mb = 0; mb < 9; ++mb) {
            switch (kinds[mb]) {
                case 3:
                    w.Put(1, 1);  // not_coded
                    break;
                case 2:
                    w.Put(0, 1);
                    w.Put(0b00011, 5);  // mcbpc: intra, cbpc 0
                    w.Put(0, 1);        // ac_pred_flag
                    w.Put(0b0011, 4);   // cbpy 0
                    for (int b = 0; b < 6; ++b) w.Put(b < 4 ? 0b011 : 0b11, b < 4 ? 3 : 2);
                    break;
                default: {
                    const bool four = kinds[mb] == 1;
                    w.Put(0, 1);
                    w.Put(four ? 0b010 : 0b1, four ? 3 : 1);  // mcbpc: cbpc 0
                    w.Put(0b11, 2);                           // cbpy: no luma coded
                    for (int k = 0; k < (four ? 8 : 2); ++k) {
                        // Now and then a difference that sends the vector far off the picture.
                        const int big = rng.Int(0, 5) == 0 ? 100 : 20;
                        PutMotionDifference(w, rng.Int(-big, big), s.vop.fcodeForward);
                    }
                }
            }
        }
        w.Bytes().resize(w.Bytes().size() + kMpeg4InputPadding, 0);
        s.bits.Init(w.Bytes().data(), w.Bytes().size() - kMpeg4InputPadding);
        Check check;
        DecodeTwiceAndCheck(s, check);
        if (HasFatalFailure()) return;
        for (int mb = 0; mb < 9; ++mb) {
            EXPECT_EQ(s.dec.info[mb].notCoded != 0, kinds[mb] == 3) << mb;
            EXPECT_EQ(s.dec.info[mb].type == MPEG4_MB_INTRA, kinds[mb] == 2) << mb;
        }
        EXPECT_GT(check.overlapped, 0);
    }
}

}  // namespace
