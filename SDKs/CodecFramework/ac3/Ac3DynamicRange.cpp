// Dynamic range control: the gain words of the stream, scaled for boost and cut in their
// logarithmic form and turned into linear factors.
#include <cmath>

#include "SDKs/CodecFramework/ac3/Ac3State.h"

namespace UMC {
namespace ac3 {

namespace {

// Gain words as fixed point with 20 fractional bits: the integer part is the power of two, the
// fraction the linear mantissa above the implicit leading one.
constexpr int kFraction = 20;
// The heavy compression profile sits 11 dB above the line level.
constexpr int32_t kHeavyOffset = 1922304;

int32_t FromDynrng(int word) {
    const int x = (word >> 5) >= 4 ? (word >> 5) - 8 : (word >> 5);  // signed 3 bits
    return int32_t(x) * (1 << kFraction) + int32_t(word & 0x1f) * (1 << (kFraction - 5));
}

int32_t FromCompr(int word) {
    const int x = (word >> 4) >= 8 ? (word >> 4) - 16 : (word >> 4);  // signed 4 bits
    return int32_t(x) * (1 << kFraction) + int32_t(word & 0xf) * (1 << (kFraction - 4));
}

float Linear(int32_t d) {
    const int32_t e = d >> kFraction;  // arithmetic: floor
    const int32_t m = (d & ((1 << kFraction) - 1)) | (1 << kFraction);
    return std::ldexp(float(m), int(e) - kFraction);
}

}  // namespace

float DynamicRangeGain(const State* s, int word, bool isCompr) {
    int32_t d = isCompr ? FromCompr(word) : FromDynrng(word);
    switch (s->drcMode) {
        case 3:
            if (s->bsi.compre && !isCompr)
                d = FromCompr(s->bsi.compr);
            else
                d += kHeavyOffset;
            return Linear(d);
        case 2:
            // Cuts are applied in full when the output is a downmix, where they protect against
            // overload; otherwise as for the other modes.
            if (d >= 1)
                d = int32_t(float(d) * s->drcBoostScale);
            else if (s->outChannels - s->outLfe >= ChannelsOf(s->bsi.acmod))
                d = int32_t(float(d) * s->drcCutScale);
            return Linear(d);
        default:
            d = int32_t(float(d) * (d >= 1 ? s->drcBoostScale : s->drcCutScale));
            return Linear(d);
    }
}

void ApplyDynamicRange(State* s) {
    const BlockState& b = s->blk;
    for (int ch = 0; ch < s->bsi.nfchans; ++ch) {
        const float g = b.dynrng[s->bsi.acmod == 0 && ch == 1 ? 1 : 0];
        if (g == 1.0f) continue;
        float* c = s->coef[ch];
        for (int i = 0; i < b.endMant[ch] || (b.chincpl[ch] && i < b.endMant[kCpl]); ++i) c[i] *= g;
    }
    if (s->bsi.lfeon && b.dynrng[0] != 1.0f)
        for (int i = 0; i < 7; ++i) s->coef[kLfe][i] *= b.dynrng[0];
}

}  // namespace ac3
}  // namespace UMC
