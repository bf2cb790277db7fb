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
    float level7[7], level15[15];
    float field[16];  // weight of the least significant bit of the single-field classes
    // Every group code already split into its levels, so that a group costs one lookup.
    float group3[27][3], group5[125][3], group11[121][2];
    Quantizers() {
        for (int e = 0; e < 25; ++e) scale[e] = std::ldexp(1.0f, -e);
        for (int bap = 0; bap < 16; ++bap)
            field[bap] = kFieldBits[bap] ? std::ldexp(1.0f, 1 - kFieldBits[bap]) : 0.0f;
        auto level = [](int c, int levels) { return float(2 * c - (levels - 1)) / float(levels); };
        for (int c = 0; c < 7; ++c) level7[c] = level(c, 7);
        for (int c = 0; c < 15; ++c) level15[c] = level(c, 15);
        for (int c = 0; c < 27; ++c)
            for (int i = 0, d = 9; i < 3; ++i, d /= 3) group3[c][i] = level(c / d % 3, 3);
        for (int c = 0; c < 125; ++c)
            for (int i = 0, d = 25; i < 3; ++i, d /= 5) group5[c][i] = level(c / d % 5, 5);
        for (int c = 0; c < 121; ++c)
            for (int i = 0, d = 11; i < 2; ++i, d /= 11) group11[c][i] = level(c / d % 11, 11);
    }
};
const Quantizers& Q() {
    static const Quantizers q;
    return q;
}

// Group values not yet used, shared by all channels of a block: the group's levels and how many
// remain.
struct Groups {
    const float* v3 = nullptr;
    const float* v5 = nullptr;
    const float* v11 = nullptr;
    int n3 = 0, n5 = 0, n11 = 0;
};

// Reads bins [start, end) of a channel; zero-allocation bins take dither when `dither` is set.
// Returns false on a reserved code.
bool ReadChannel(State* s, BitReader& reader, Groups& groups, int slot, bool dither,
                 uint8_t* zeroMap) {
    // Local copies: the byte stores to zeroMap could otherwise alias the reader and the groups,
    // which would then go through memory on every bin.
    BitReader br = reader;
    Groups g = groups;
    uint32_t noise = s->dither;
    auto finish = [&](bool ok) {
        reader = br;
        groups = g;
        s->dither = uint16_t(noise);
        return ok;
    };
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
                m = dither ? DitherValue(noise) : 0.0f;
                break;
            case 1:
                if (g.n3 == 0) {
                    const uint32_t c = br.Get(5);
                    if (c > 26) return finish(false);
                    g.v3 = q.group3[c];
                    g.n3 = 3;
                }
                m = g.v3[3 - g.n3--];
                break;
            case 2:
                if (g.n5 == 0) {
                    const uint32_t c = br.Get(7);
                    if (c > 124) return finish(false);
                    g.v5 = q.group5[c];
                    g.n5 = 3;
                }
                m = g.v5[3 - g.n5--];
                break;
            case 3: {
                const int c = int(br.Get(3));
                if (c > 6) return finish(false);
                m = q.level7[c];
                break;
            }
            case 4:
                if (g.n11 == 0) {
                    const uint32_t c = br.Get(7);
                    if (c > 120) return finish(false);
                    g.v11 = q.group11[c];
                    g.n11 = 2;
                }
                m = g.v11[2 - g.n11--];
                break;
            case 5: {
                const int c = int(br.Get(4));
                if (c > 14) return finish(false);
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
    return finish(true);
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
