// Audio block parsing: block switch and dither flags, dynamic range words, coupling strategy and
// coordinates, rematrixing flags, exponents, bit allocation parameters, delta bit allocation and
// the skip field. Information that a block reuses must have been sent earlier in the frame.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "SDKs/CodecFramework/ac3/Ac3State.h"

namespace UMC {
namespace ac3 {

namespace {

// Each group code split into its three differences, as running sums from the group's reference,
// with the lowest and highest of the three, so that a group is checked once.
struct ExponentGroups {
    int8_t sum[125][3];
    int8_t low[125], high[125];
    constexpr ExponentGroups() : sum(), low(), high() {
        for (int c = 0; c < 125; ++c) {
            const int d[3] = {c / 25 - 2, (c % 25) / 5 - 2, c % 5 - 2};
            int run = 0, lo = 127, hi = -128;
            for (int i = 0; i < 3; ++i) {
                run += d[i];
                sum[c][i] = int8_t(run);
                lo = run < lo ? run : lo;
                hi = run > hi ? run : hi;
            }
            low[c] = int8_t(lo);
            high[c] = int8_t(hi);
        }
    }
};
constexpr ExponentGroups kExponentGroups;

// Decodes `groups` groups of three differential exponents, each applying to `Repeat` bins from
// `bin` on, starting from `value`. False when an exponent leaves 0..24 or a group code is reserved.
template <int Repeat>
bool DecodeExponentsBy(BitReader& reader, int groups, int value, int8_t* exps, int bin) {
    // A local reader: the byte stores to exps could otherwise alias it.
    BitReader br = reader;
    // Whole groups that fit below 256 are written without a bound per bin.
    const int whole = std::min(groups, (256 - bin) / (3 * Repeat));
    const ExponentGroups& t = kExponentGroups;
    for (int g = 0; g < groups; ++g) {
        const int code = int(br.Get(7));
        if (code > 124 || value + t.low[code] < 0 || value + t.high[code] > 24) return false;
        if (g < whole) {
            for (int i = 0; i < 3; ++i)
                for (int r = 0; r < Repeat; ++r) exps[bin++] = int8_t(value + t.sum[code][i]);
        } else {
            for (int i = 0; i < 3; ++i)
                for (int r = 0; r < Repeat && bin < 256; ++r)
                    exps[bin++] = int8_t(value + t.sum[code][i]);
        }
        value += t.sum[code][2];
    }
    reader = br;
    return true;
}

bool DecodeExponents(BitReader& reader, int groups, int repeat, int value, int8_t* exps, int bin) {
    switch (repeat) {
        case 1:
            return DecodeExponentsBy<1>(reader, groups, value, exps, bin);
        case 2:
            return DecodeExponentsBy<2>(reader, groups, value, exps, bin);
        default:
            return DecodeExponentsBy<4>(reader, groups, value, exps, bin);
    }
}

bool ReadDelta(BitReader& br, DeltaAlloc& d) {
    d.segments = int32_t(br.Get(3)) + 1;
    int band = 0;
    for (int seg = 0; seg < d.segments; ++seg) {
        d.offset[seg] = uint8_t(br.Get(5));
        d.length[seg] = uint8_t(br.Get(4));
        d.ba[seg] = uint8_t(br.Get(3));
        band += d.offset[seg] + d.length[seg];
        if (band > kBands) return false;
    }
    d.active = 1;
    return true;
}

}  // namespace

void StartFrame(State* s) {
    BlockState& b = s->blk;
    b.cplStrategySeen = 0;
    b.cplinu = 0;
    std::memset(b.chincpl, 0, sizeof(b.chincpl));
    std::memset(b.cplcoSeen, 0, sizeof(b.cplcoSeen));
    std::memset(b.phsflg, 0, sizeof(b.phsflg));
    std::memset(b.rematflg, 0, sizeof(b.rematflg));
    std::memset(b.expSeen, 0, sizeof(b.expSeen));
    std::memset(b.delta, 0, sizeof(b.delta));
    b.nrematbnd = 0;
    b.baSeen = 0;
    b.snrSeen = 0;
    b.leakSeen = 0;
    for (int i = 0; i < kSlots; ++i) b.baDirty[i] = 1;
}

bool ParseAudioBlock(State* s, BitReader& br, int blk) {
    BlockState& b = s->blk;
    const Bsi& bsi = s->bsi;
    const int nf = bsi.nfchans;
    const int acmod = bsi.acmod;

    for (int ch = 0; ch < nf; ++ch) b.blksw[ch] = int32_t(br.Get1());
    for (int ch = 0; ch < nf; ++ch) b.dithflag[ch] = int32_t(br.Get1());
    for (int p = 0; p < (acmod == 0 ? 2 : 1); ++p) {
        if (br.Get1())
            b.dynrng[p] = DynamicRangeGain(s, int(br.Get(8)), false);
        else if (blk == 0)
            b.dynrng[p] = DynamicRangeGain(s, 0, false);
    }

    // coupling strategy
    if (br.Get1()) {
        const int oldInu = b.cplinu, oldBeg = b.cplbegf, oldEnd = b.cplendf;
        int oldIn[kMaxFbw];
        std::memcpy(oldIn, b.chincpl, sizeof(oldIn));
        b.cplStrategySeen = 1;
        b.cplinu = int32_t(br.Get1());
        if (b.cplinu) {
            if (nf < 2) return false;
            for (int ch = 0; ch < nf; ++ch) b.chincpl[ch] = int32_t(br.Get1());
            b.phsflginu = acmod == 2 ? int32_t(br.Get1()) : 0;
            b.cplbegf = int32_t(br.Get(4));
            b.cplendf = int32_t(br.Get(4));
            if (b.cplendf + 3 - b.cplbegf < 1) return false;
            b.ncplsubnd = b.cplendf + 3 - b.cplbegf;
            b.ncplbnd = b.ncplsubnd;
            b.cplbndstrc[0] = 0;
            for (int sb = 1; sb < b.ncplsubnd; ++sb) {
                b.cplbndstrc[sb] = uint8_t(br.Get1());
                b.ncplbnd -= b.cplbndstrc[sb];
            }
            b.startMant[kCpl] = b.cplbegf * 12 + 37;
            b.endMant[kCpl] = (b.cplendf + 3) * 12 + 37;
            std::memset(b.cplcoSeen, 0, sizeof(b.cplcoSeen));
            std::memset(b.phsflg, 0, sizeof(b.phsflg));
        } else {
            std::memset(b.chincpl, 0, sizeof(b.chincpl));
            b.phsflginu = 0;
        }
        // A change of coupling changes where the channels end: their exponents must be new.
        const bool changed =
            oldInu != b.cplinu || (b.cplinu && (oldBeg != b.cplbegf || oldEnd != b.cplendf ||
                                                std::memcmp(oldIn, b.chincpl, sizeof(oldIn))));
        if (changed)
            for (int i = 0; i < kLfe; ++i) b.expSeen[i] = 0;
    } else if (!b.cplStrategySeen) {
        return false;
    }

    // coupling coordinates
    if (b.cplinu) {
        int anyNew = 0;
        for (int ch = 0; ch < nf; ++ch) {
            if (!b.chincpl[ch]) continue;
            if (br.Get1()) {
                anyNew = 1;
                const int master = int(br.Get(2)) * 3;
                for (int bnd = 0; bnd < b.ncplbnd; ++bnd) {
                    const int e = int(br.Get(4));
                    const int m = int(br.Get(4));
                    const float mant = e == 15 ? float(m) / 16.0f : float(m + 16) / 32.0f;
                    // Coordinates run up to 8 (the channel may be louder than the coupling
                    // channel): the factor 8 is part of their definition.
                    b.cplco[ch][bnd] = mant * 8.0f / float(1u << (e + master));
                }
                b.cplcoSeen[ch] = 1;
            } else if (!b.cplcoSeen[ch]) {
                return false;
            }
        }
        if (acmod == 2 && b.phsflginu && anyNew)
            for (int bnd = 0; bnd < b.ncplbnd; ++bnd) b.phsflg[bnd] = uint8_t(br.Get1());
    }

    // rematrixing
    if (acmod == 2 && br.Get1()) {
        b.nrematbnd = (!b.cplinu || b.cplbegf > 2) ? 4 : (b.cplbegf > 0 ? 3 : 2);
        for (int i = 0; i < b.nrematbnd; ++i) b.rematflg[i] = uint8_t(br.Get1());
    }

    // exponent strategies and bandwidth
    const int cplexpstr = b.cplinu ? int(br.Get(2)) : 0;
    int chexpstr[kMaxFbw];
    for (int ch = 0; ch < nf; ++ch) chexpstr[ch] = int(br.Get(2));
    const int lfeexpstr = bsi.lfeon ? int(br.Get1()) : 0;
    for (int ch = 0; ch < nf; ++ch) {
        if (chexpstr[ch] == 0) continue;
        b.startMant[ch] = 0;
        if (b.chincpl[ch]) {
            b.endMant[ch] = b.startMant[kCpl];
        } else {
            const int bw = int(br.Get(6));
            if (bw > 60) return false;
            b.endMant[ch] = 37 + 3 * (bw + 12);
        }
    }

    // exponents
    if (b.cplinu) {
        if (cplexpstr) {
            const int groupBins = 3 << (cplexpstr - 1);
            const int groups = (b.endMant[kCpl] - b.startMant[kCpl]) / groupBins;
            const int absexp = int(br.Get(4)) << 1;
            if (!DecodeExponents(br, groups, 1 << (cplexpstr - 1), absexp, b.exps[kCpl],
                                 b.startMant[kCpl]))
                return false;
            b.expSeen[kCpl] = 1;
            b.baDirty[kCpl] = 1;
        } else if (!b.expSeen[kCpl]) {
            return false;
        }
    }
    for (int ch = 0; ch < nf; ++ch) {
        if (chexpstr[ch]) {
            const int repeat = 1 << (chexpstr[ch] - 1);
            const int groups = (b.endMant[ch] - 1 + 3 * repeat - 3) / (3 * repeat);
            const int absexp = int(br.Get(4));
            if (absexp > 24) return false;
            b.exps[ch][0] = int8_t(absexp);
            if (!DecodeExponents(br, groups, repeat, absexp, b.exps[ch], 1)) return false;
            br.Get(2);  // gainrng
            b.expSeen[ch] = 1;
            b.baDirty[ch] = 1;
        } else if (!b.expSeen[ch]) {
            return false;
        }
    }
    if (bsi.lfeon) {
        if (lfeexpstr) {
            const int absexp = int(br.Get(4));
            if (absexp > 24) return false;
            b.exps[kLfe][0] = int8_t(absexp);
            if (!DecodeExponents(br, 2, 1, absexp, b.exps[kLfe], 1)) return false;
            b.startMant[kLfe] = 0;
            b.endMant[kLfe] = 7;
            b.expSeen[kLfe] = 1;
            b.baDirty[kLfe] = 1;
        } else if (!b.expSeen[kLfe]) {
            return false;
        }
    }

    // bit allocation parameters
    // Parameters sent again unchanged need no new allocation.
    if (br.Get1()) {
        const int32_t before[5] = {b.sdcycod, b.fdcycod, b.sgaincod, b.dbpbcod, b.floorcod};
        b.sdcycod = int32_t(br.Get(2));
        b.fdcycod = int32_t(br.Get(2));
        b.sgaincod = int32_t(br.Get(2));
        b.dbpbcod = int32_t(br.Get(2));
        b.floorcod = int32_t(br.Get(3));
        const int32_t after[5] = {b.sdcycod, b.fdcycod, b.sgaincod, b.dbpbcod, b.floorcod};
        if (!b.baSeen || std::memcmp(before, after, sizeof(before)))
            for (int i = 0; i < kSlots; ++i) b.baDirty[i] = 1;
        b.baSeen = 1;
    } else if (!b.baSeen) {
        return false;
    }
    if (br.Get1()) {
        const int32_t csnr = int32_t(br.Get(6));
        const bool coarseChanged = csnr != b.csnroffst;
        b.csnroffst = csnr;
        int seen = 0;
        auto read = [&](int slot) {
            const int32_t fine = int32_t(br.Get(4)), gain = int32_t(br.Get(3));
            if (coarseChanged || !(b.snrSeen & (1 << slot)) || fine != b.fsnroffst[slot] ||
                gain != b.fgaincod[slot])
                b.baDirty[slot] = 1;
            b.fsnroffst[slot] = fine;
            b.fgaincod[slot] = gain;
            seen |= 1 << slot;
        };
        if (b.cplinu) read(kCpl);
        for (int ch = 0; ch < nf; ++ch) read(ch);
        if (bsi.lfeon) read(kLfe);
        b.snrSeen = seen;
    }
    for (int ch = 0; ch < nf; ++ch)
        if (!(b.snrSeen & (1 << ch))) return false;
    if ((b.cplinu && !(b.snrSeen & (1 << kCpl))) || (bsi.lfeon && !(b.snrSeen & (1 << kLfe))))
        return false;
    if (b.cplinu) {
        if (br.Get1()) {
            b.cplfleak = int32_t(br.Get(3));
            b.cplsleak = int32_t(br.Get(3));
            b.leakSeen = 1;
            b.baDirty[kCpl] = 1;
        } else if (!b.leakSeen) {
            return false;
        }
    }

    // delta bit allocation
    if (br.Get1()) {
        int mode[kSlots] = {2, 2, 2, 2, 2, 2, 2};
        if (b.cplinu) mode[kCpl] = int(br.Get(2));
        for (int ch = 0; ch < nf; ++ch) mode[ch] = int(br.Get(2));
        for (int slot : {int(kCpl), 0, 1, 2, 3, 4}) {
            if (slot == kCpl ? !b.cplinu : slot >= nf) continue;
            if (mode[slot] == 3) return false;
            if (mode[slot] == 1 && !ReadDelta(br, b.delta[slot])) return false;
            if (mode[slot] == 2) b.delta[slot].active = 0;
            b.baDirty[slot] = 1;
        }
    }

    // skip field
    if (br.Get1()) br.Skip(size_t(br.Get(9)) * 8);
    if (br.Overrun()) return false;

    if (b.cplinu && b.baDirty[kCpl]) ComputeBitAllocation(s, kCpl);
    for (int ch = 0; ch < nf; ++ch)
        if (b.baDirty[ch]) ComputeBitAllocation(s, ch);
    if (bsi.lfeon && b.baDirty[kLfe]) ComputeBitAllocation(s, kLfe);
    if (!UnpackMantissas(s, br)) return false;
    return !br.Overrun();
}

}  // namespace ac3
}  // namespace UMC
