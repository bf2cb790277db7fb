// Mantissa unpacking: the 3-, 5- and 11-level classes in groups shared across the channels of a
// block, the other classes as single fields, scaling by the exponents, and the dither that fills
// bins without allocation.
#include <cmath>
#include <cstring>

#include "SDKs/CodecFramework/ac3/Ac3State.h"

namespace UMC {
namespace ac3 {

namespace {

// Bits of the single-field classes (allocation pointers 3 and 5 to 15).
constexpr int kFieldBits[16] = {0, 0, 0, 3, 0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16};

struct Quantizers {
    float scale[25];  // 2^-exponent
    float level3[3], level5[5], level7[7], level11[11], level15[15];
    float field[16];  // weight of the least significant bit of the single-field classes
    Quantizers() {
        for (int e = 0; e < 25; ++e) scale[e] = std::ldexp(1.0f, -e);
        for (int bap = 0; bap < 16; ++bap)
            field[bap] = kFieldBits[bap] ? std::ldexp(1.0f, 1 - kFieldBits[bap]) : 0.0f;
        auto fill = [](float* t, int levels) {
            for (int c = 0; c < levels; ++c) t[c] = float(2 * c - (levels - 1)) / float(levels);
        };
        fill(level3, 3);
        fill(level5, 5);
        fill(level7, 7);
        fill(level11, 11);
        fill(level15, 15);
    }
};
const Quantizers& Q() {
    static const Quantizers q;
    return q;
}

// Group values not yet used, shared by all channels of a block.
struct Groups {
    float v3[3], v5[3], v11[2];
    int n3 = 0, n5 = 0, n11 = 0;
};

float Dither(State* s) {
    const int16_t a = int16_t(uint16_t(int32_t(int16_t(s->dither)) * 47989));
    const int16_t b = int16_t(uint16_t(int32_t(a) * 47989));
    s->dither = uint16_t(b);
    return float(int(a) + int(b)) * 0.35355338f * (1.0f / 32768.0f);
}

// Reads bins [start, end) of a channel; zero-allocation bins take dither when `dither` is set.
// Returns false on a reserved code.
bool ReadChannel(State* s, BitReader& br, Groups& g, int slot, bool dither, uint8_t* zeroMap) {
    const Quantizers& q = Q();
    const BlockState& b = s->blk;
    const uint8_t* bap = b.bap[slot];
    const int8_t* exps = b.exps[slot];
    float* out = s->coef[slot];
    const int start = b.startMant[slot], end = b.endMant[slot];
    for (int bin = start; bin < end; ++bin) {
        float m;
        switch (bap[bin]) {
            case 0:
                if (zeroMap) zeroMap[bin] = 1;
                m = dither ? Dither(s) : 0.0f;
                break;
            case 1:
                if (g.n3 == 0) {
                    const int c = int(br.Get(5));
                    if (c > 26) return false;
                    g.v3[0] = q.level3[c / 9];
                    g.v3[1] = q.level3[(c % 9) / 3];
                    g.v3[2] = q.level3[c % 3];
                    g.n3 = 3;
                }
                m = g.v3[3 - g.n3--];
                break;
            case 2:
                if (g.n5 == 0) {
                    const int c = int(br.Get(7));
                    if (c > 124) return false;
                    g.v5[0] = q.level5[c / 25];
                    g.v5[1] = q.level5[(c % 25) / 5];
                    g.v5[2] = q.level5[c % 5];
                    g.n5 = 3;
                }
                m = g.v5[3 - g.n5--];
                break;
            case 3: {
                const int c = int(br.Get(3));
                if (c > 6) return false;
                m = q.level7[c];
                break;
            }
            case 4:
                if (g.n11 == 0) {
                    const int c = int(br.Get(7));
                    if (c > 120) return false;
                    g.v11[0] = q.level11[c / 11];
                    g.v11[1] = q.level11[c % 11];
                    g.n11 = 2;
                }
                m = g.v11[2 - g.n11--];
                break;
            case 5: {
                const int c = int(br.Get(4));
                if (c > 14) return false;
                m = q.level15[c];
                break;
            }
            default: {
                const int bits = kFieldBits[bap[bin]];
                const int32_t c = int32_t(br.Get(bits) << (32 - bits)) >> (32 - bits);
                m = float(c) * q.field[bap[bin]];
                break;
            }
        }
        out[bin] = m * q.scale[exps[bin]];
    }
    return true;
}

}  // namespace

bool UnpackMantissas(State* s, BitReader& br) {
    const BlockState& b = s->blk;
    const int nf = s->bsi.nfchans;
    Groups g;
    bool cplRead = false;
    bool cplDither = false;
    for (int ch = 0; ch < nf; ++ch) cplDither |= b.chincpl[ch] && b.dithflag[ch];
    for (int ch = 0; ch < nf; ++ch) {
        if (!ReadChannel(s, br, g, ch, b.dithflag[ch] != 0, nullptr)) return false;
        std::memset(s->coef[ch] + b.endMant[ch], 0, sizeof(float) * size_t(256 - b.endMant[ch]));
        if (b.cplinu && b.chincpl[ch] && !cplRead) {
            std::memset(s->cplZero, 0, sizeof(s->cplZero));
            if (!ReadChannel(s, br, g, kCpl, cplDither, s->cplZero)) return false;
            cplRead = true;
        }
    }
    if (s->bsi.lfeon) {
        if (!ReadChannel(s, br, g, kLfe, false, nullptr)) return false;
        std::memset(s->coef[kLfe] + 7, 0, sizeof(float) * (256 - 7));
    }
    return true;
}

}  // namespace ac3
}  // namespace UMC
