// Bit allocation: power spectral density from the exponents, integration into bands, excitation
// with fast and slow decay and low-frequency compensation, masking curve against the hearing
// threshold, delta bit allocation, and the allocation pointer of every bin.
#include <algorithm>
#include <cstring>

#include "SDKs/CodecFramework/ac3/Ac3BitAllocationTables.h"
#include "SDKs/CodecFramework/ac3/Ac3State.h"

namespace UMC {
namespace ac3 {

namespace {

// The log-addition increment indexed by the signed difference itself, so that the integration
// of a band (a chain from bin to bin) costs a subtraction and a load per bin. Exponents lie in
// 0..24, so a bin's power lies in 0..3072, and a band's sum, at most 23 increments of 64 above
// its largest bin, in 0..4544: the difference of a sum and a bin stays within the table.
constexpr int kLogAddBelow = 3072;
constexpr int kLogAddAbove = 4544;
struct LogAddByDifference {
    uint8_t v[kLogAddBelow + kLogAddAbove + 1];
    constexpr LogAddByDifference() : v() {
        for (int c = -kLogAddBelow; c <= kLogAddAbove; ++c)
            v[c + kLogAddBelow] = kLogAdd[size_t(std::min((c < 0 ? -c : c) >> 1, 255))];
    }
};
constexpr LogAddByDifference kLogAddWide;

int LogAdd(int a, int b) {
    return std::max(a, b) + kLogAddWide.v[a - b + kLogAddBelow];
}

int LowComp(int a, int b0, int b1, int bin) {
    if (bin < 7) {
        if (b0 + 256 == b1) return 384;
        if (b0 > b1) return std::max(0, a - 64);
    } else if (bin < 20) {
        if (b0 + 256 == b1) return 320;
        if (b0 > b1) return std::max(0, a - 64);
    } else {
        return std::max(0, a - 128);
    }
    return a;
}

}  // namespace

void ComputeBitAllocation(State* s, int slot) {
    BlockState& b = s->blk;
    b.baDirty[slot] = 0;
    uint8_t* bap = b.bap[slot];
    std::memset(bap, 0, 256);
    const int start = b.startMant[slot], end = b.endMant[slot];
    if (end <= start) return;
    const int snroffset = (((b.csnroffst - 15) << 4) + b.fsnroffst[slot]) << 2;
    if (b.csnroffst == 0 && b.fsnroffst[slot] == 0) return;  // nothing allocated

    const int8_t* exps = b.exps[slot];
    const int sdecay = kSlowDecay[b.sdcycod], fdecay = kFastDecay[b.fdcycod];
    const int sgain = kSlowGain[b.sgaincod], dbknee = kDbPerBit[b.dbpbcod];
    const int floor = kFloor[b.floorcod];
    const int fgain = kFastGain[b.fgaincod[slot]];
    int fastleak = 0, slowleak = 0;
    if (slot == kCpl) {
        fastleak = (b.cplfleak << 8) + 768;
        slowleak = (b.cplsleak << 8) + 768;
    }

    int psd[256];
    for (int bin = start; bin < end; ++bin) psd[bin] = 3072 - (int(exps[bin]) << 7);

    int bndpsd[kBands] = {};
    {
        int j = start, k = kBinBand[size_t(start)], lastbin;
        do {
            lastbin = std::min(int(kBandStart[size_t(k) + 1]), end);
            bndpsd[k] = psd[j++];
            for (; j < lastbin; ++j) bndpsd[k] = LogAdd(bndpsd[k], psd[j]);
            ++k;
        } while (end > lastbin);
    }

    const int bndstrt = kBinBand[size_t(start)];
    const int bndend = kBinBand[size_t(end - 1)] + 1;
    int excite[kBands];
    int begin;
    if (bndstrt == 0) {
        const bool lfe = bndend == 7;
        int lowcomp = LowComp(0, bndpsd[0], bndpsd[1], 0);
        excite[0] = bndpsd[0] - fgain - lowcomp;
        lowcomp = LowComp(lowcomp, bndpsd[1], bndpsd[2], 1);
        excite[1] = bndpsd[1] - fgain - lowcomp;
        begin = 7;
        for (int bin = 2; bin < 7; ++bin) {
            if (!lfe || bin != 6) lowcomp = LowComp(lowcomp, bndpsd[bin], bndpsd[bin + 1], bin);
            fastleak = bndpsd[bin] - fgain;
            slowleak = bndpsd[bin] - sgain;
            excite[bin] = fastleak - lowcomp;
            if ((!lfe || bin != 6) && bndpsd[bin] <= bndpsd[bin + 1]) {
                begin = bin + 1;
                break;
            }
        }
        for (int bin = begin; bin < std::min(bndend, 22); ++bin) {
            if (!lfe || bin != 6) lowcomp = LowComp(lowcomp, bndpsd[bin], bndpsd[bin + 1], bin);
            fastleak = std::max(fastleak - fdecay, bndpsd[bin] - fgain);
            slowleak = std::max(slowleak - sdecay, bndpsd[bin] - sgain);
            excite[bin] = std::max(fastleak - lowcomp, slowleak);
        }
        begin = 22;
    } else {
        begin = bndstrt;
    }
    for (int bin = begin; bin < bndend; ++bin) {
        fastleak = std::max(fastleak - fdecay, bndpsd[bin] - fgain);
        slowleak = std::max(slowleak - sdecay, bndpsd[bin] - sgain);
        excite[bin] = std::max(fastleak, slowleak);
    }

    int mask[kBands];
    const int16_t* hth = kHearingThreshold[s->bsi.fscod];
    for (int bin = bndstrt; bin < bndend; ++bin) {
        if (bndpsd[bin] < dbknee) excite[bin] += (dbknee - bndpsd[bin]) >> 2;
        mask[bin] = std::max(excite[bin], int(hth[bin]));
    }

    const DeltaAlloc& d = b.delta[slot];
    if (d.active) {
        int band = 0;
        for (int seg = 0; seg < d.segments; ++seg) {
            band += d.offset[seg];
            const int delta = d.ba[seg] >= 4 ? (d.ba[seg] - 3) << 7 : (d.ba[seg] - 4) << 7;
            for (int k = 0; k < d.length[seg] && band < kBands; ++k) mask[band++] += delta;
        }
    }

    int i = start, j = bndstrt, lastbin;
    do {
        lastbin = std::min(int(kBandStart[size_t(j) + 1]), end);
        int m = mask[j] - snroffset - floor;
        if (m < 0) m = 0;
        m = (m & 0x1fe0) + floor;
        for (; i < lastbin; ++i) {
            const int address = std::clamp((psd[i] - m) >> 5, 0, 63);
            bap[i] = kBapByAddress[size_t(address)];
        }
        ++j;
    } while (end > lastbin);
}

}  // namespace ac3
}  // namespace UMC
