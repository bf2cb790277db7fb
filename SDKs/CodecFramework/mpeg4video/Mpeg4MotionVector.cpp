#include <algorithm>
#include <cstdlib>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"

namespace UMC::mpeg4 {

int32_t WrapVector(int32_t value, int32_t fcode) {
    const int32_t high = (16 << fcode) - 1, low = -(16 << fcode), range = 32 << fcode;
    if (value < low) value += range;
    if (value > high) value -= range;
    return value;
}

bool ReadVector(Mpeg4BitReader& r, int32_t fcode, MotionVector predictor, MotionVector& mv) {
    int32_t dx = 0, dy = 0;
    if (!ReadMotionDifference(r, fcode, dx) || !ReadMotionDifference(r, fcode, dy)) return false;
    mv.x = WrapVector(predictor.x + dx, fcode);
    mv.y = WrapVector(predictor.y + dy, fcode);
    return true;
}

namespace {

int32_t Median(int32_t a, int32_t b, int32_t c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Candidate (macroblock offset in columns and rows, block) of the left, above and above-right
// predictors of each luma block; offset (0, 0) is the current macroblock.
struct Candidate {
    int8_t dx, dy, block;
};
constexpr Candidate kCandidates[4][3] = {
    {{-1, 0, 1}, {0, -1, 2}, {1, -1, 2}},
    {{0, 0, 0}, {0, -1, 3}, {1, -1, 2}},
    {{-1, 0, 3}, {0, 0, 0}, {0, 0, 1}},
    {{0, 0, 2}, {0, 0, 0}, {0, 0, 1}},
};

}  // namespace

MotionVector PredictVector(const MPEG4DecoderState& s, int32_t index, int32_t block,
                           int32_t packetFirst, const MotionVector current[4]) {
    const Mpeg4VopState& d = s.dec;
    const int32_t column = index % d.mbWidth, row = index / d.mbWidth;
    MotionVector v[3];
    bool valid[3];
    int count = 0;
    for (int k = 0; k < 3; ++k) {
        const Candidate& c = kCandidates[block][k];
        v[k] = {0, 0};
        valid[k] = false;
        if (c.dx == 0 && c.dy == 0) {
            v[k] = current[c.block];
            valid[k] = true;
        } else {
            const int32_t x = column + c.dx, y = row + c.dy;
            const int32_t n = y * d.mbWidth + x;
            if (x >= 0 && x < d.mbWidth && y >= 0 && n >= packetFirst) {
                const Mpeg4MacroblockInfo& info = d.info[n];
                v[k] = {info.mv[c.block][0], info.mv[c.block][1]};
                valid[k] = true;
            }
        }
        count += valid[k];
    }
    if (count == 0) return {0, 0};
    if (count == 1)
        for (int k = 0; k < 3; ++k)
            if (valid[k]) return v[k];
    // Two valid candidates: the missing one counts as zero.
    return {Median(v[0].x, v[1].x, v[2].x), Median(v[0].y, v[1].y, v[2].y)};
}

namespace {

// Sixteenths of the summed luma vectors to chroma half samples.
constexpr int32_t kChromaRound16[16] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};

int32_t ChromaFromSum(int32_t sum) {
    const int32_t m = std::abs(sum);
    const int32_t c = 2 * (m / 16) + kChromaRound16[m % 16];
    return sum < 0 ? -c : c;
}

int32_t ToHalfSample(int32_t v, bool quarterSample) {
    return quarterSample ? v / 2 : v;
}

}  // namespace

MotionVector ChromaVector(MotionVector luma, bool quarterSample) {
    // A quarter or three-quarter position rounds to the chroma half sample.
    const int32_t x = ToHalfSample(luma.x, quarterSample), y = ToHalfSample(luma.y, quarterSample);
    return {(x >> 1) | (x & 1), (y >> 1) | (y & 1)};
}

MotionVector ChromaVector4(const MotionVector luma[4], bool quarterSample) {
    int32_t sx = 0, sy = 0;
    for (int b = 0; b < 4; ++b) {
        sx += ToHalfSample(luma[b].x, quarterSample);
        sy += ToHalfSample(luma[b].y, quarterSample);
    }
    return {ChromaFromSum(sx), ChromaFromSum(sy)};
}

}  // namespace UMC::mpeg4
