// Decoupling (the coupling channel scaled by each channel's coordinates and phase flags) and
// rematrixing of the 2/0 pair.
#include "SDKs/CodecFramework/ac3/Ac3State.h"

namespace UMC {
namespace ac3 {

void Decouple(State* s) {
    const BlockState& b = s->blk;
    if (!b.cplinu) return;
    const float* cpl = s->coef[kCpl];
    for (int ch = 0; ch < s->bsi.nfchans; ++ch) {
        if (!b.chincpl[ch]) continue;
        float* out = s->coef[ch];
        const bool keepDither = b.dithflag[ch] != 0;
        int bin = b.startMant[kCpl];
        int bnd = -1;
        for (int sb = 0; sb < b.ncplsubnd; ++sb) {
            if (!b.cplbndstrc[sb]) ++bnd;
            float co = b.cplco[ch][bnd];
            if (ch == 1 && s->bsi.acmod == 2 && b.phsflginu && b.phsflg[bnd]) co = -co;
            for (int i = 0; i < 12; ++i, ++bin)
                out[bin] = (keepDither || !s->cplZero[bin]) ? cpl[bin] * co : 0.0f;
        }
        for (; bin < 256; ++bin) out[bin] = 0.0f;
    }
}

void Rematrix(State* s) {
    const BlockState& b = s->blk;
    if (s->bsi.acmod != 2) return;
    static const int kEdges[5] = {13, 25, 37, 61, 253};
    int limit = b.endMant[0] < b.endMant[1] ? b.endMant[0] : b.endMant[1];
    if (b.cplinu && b.startMant[kCpl] < limit) limit = b.startMant[kCpl];
    float* l = s->coef[0];
    float* r = s->coef[1];
    for (int band = 0; band < b.nrematbnd; ++band) {
        if (!b.rematflg[band]) continue;
        const int end = kEdges[band + 1] < limit ? kEdges[band + 1] : limit;
        for (int i = kEdges[band]; i < end; ++i) {
            const float a = l[i], c = r[i];
            l[i] = a + c;
            r[i] = a - c;
        }
    }
}

}  // namespace ac3
}  // namespace UMC
