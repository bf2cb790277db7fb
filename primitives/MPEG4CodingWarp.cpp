// Global motion compensation and static sprite warping (ISO/IEC 14496-2 7.8), the
// representative vector of GMC macroblocks and the sprite brightness change.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "primitives/MPEG4Coding.h"

namespace {

constexpr char kWarpTag[4] = {'Q', 'A', 'M', 'C'};

// The perspective transform's terms need more than 64 bits.
__extension__ typedef __int128 Wide;

struct WarpSpec {
    char tag[4];
    int32_t points, accuracy, mode, fcode, quarter, rounding;
    int32_t s, log2s;     // sample precision 1/s
    int32_t r;            // 16 / s
    int32_t alpha, beta;  // W' = 2^alpha, H' = 2^beta
    VcRect vop, ref;
    int64_t i0, j0;                    // sprite point 0 (1/s units)
    int64_t i1v, j1v, i2v, j2v;        // virtual sprite points (1/16 units)
    Wide a, b, c, d, e, f, g, h, dwh;  // perspective terms
};
static_assert(sizeof(WarpSpec) + 15 <= kVcWarpSpecSize);

WarpSpec* Aligned(void* buffer) {
    return reinterpret_cast<WarpSpec*>((reinterpret_cast<uintptr_t>(buffer) + 15) & ~uintptr_t(15));
}
const WarpSpec* Aligned(const void* buffer) {
    return Aligned(const_cast<void*>(buffer));
}

// Division rounding towards minus infinity.
template <class T>
T FloorDiv(T n, T d) {
    if (d < 0) n = -n, d = -d;
    T q = n / d;
    if (q * d != n && n < 0) --q;
    return q;
}
// Division rounding to the nearest, halves towards plus infinity (the standard's "///"): the
// rounding of every warped position.
template <class T>
T HalfUpDiv(T n, T d) {
    if (d < 0) n = -n, d = -d;
    return FloorDiv<T>(2 * n + d, 2 * d);
}
// Division rounding to the nearest, halves away from zero (the standard's "//").
int64_t RoundDiv(int64_t n, int64_t d) {
    if (d < 0) n = -n, d = -d;
    return n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
}

int Log2Ceil(int v) {
    int k = 0;
    while ((1 << k) < v) ++k;
    return k;
}

const WarpSpec* CheckSpec(const void* spec) {
    const WarpSpec* w = Aligned(spec);
    return std::memcmp(w->tag, kWarpTag, 4) == 0 ? w : nullptr;
}

// Sprite position of luma sample (i, j) in 1/s units.
void LumaPosition(const WarpSpec& w, int i, int j, int64_t& F, int64_t& G) {
    const int64_t di = i - w.vop.x, dj = j - w.vop.y, r = w.r;
    switch (w.points) {
        case 0:
        case 1:
            F = w.i0 + w.s * di;
            G = w.j0 + w.s * dj;
            return;
        case 2: {
            const int64_t wr = (int64_t(1) << w.alpha) * r;
            F = w.i0 + HalfUpDiv<int64_t>((-r * w.i0 + w.i1v) * di + (r * w.j0 - w.j1v) * dj, wr);
            G = w.j0 + HalfUpDiv<int64_t>((-r * w.j0 + w.j1v) * di + (-r * w.i0 + w.i1v) * dj, wr);
            return;
        }
        case 3: {
            const int64_t W = int64_t(1) << w.alpha, H = int64_t(1) << w.beta;
            F = w.i0 + HalfUpDiv<int64_t>(
                           (-r * w.i0 + w.i1v) * H * di + (-r * w.i0 + w.i2v) * W * dj, W * H * r);
            G = w.j0 + HalfUpDiv<int64_t>(
                           (-r * w.j0 + w.j1v) * H * di + (-r * w.j0 + w.j2v) * W * dj, W * H * r);
            return;
        }
        default: {
            const Wide den = w.g * di + w.h * dj + w.dwh;
            if (den == 0) {
                F = w.i0, G = w.j0;
                return;
            }
            F = int64_t(HalfUpDiv<Wide>(w.a * di + w.b * dj + w.c, den));
            G = int64_t(HalfUpDiv<Wide>(w.d * di + w.e * dj + w.f, den));
            return;
        }
    }
}

// Sprite position of chroma sample (ic, jc) in 1/s chroma units.
void ChromaPosition(const WarpSpec& w, int ic, int jc, int64_t& F, int64_t& G) {
    const int64_t r = w.r, s = w.s;
    const int64_t u = 4 * int64_t(ic) - 2 * w.vop.x + 1, v = 4 * int64_t(jc) - 2 * w.vop.y + 1;
    switch (w.points) {
        case 0:
        case 1:
            F = ((w.i0 >> 1) | (w.i0 & 1)) + s * (ic - w.vop.x / 2);
            G = ((w.j0 >> 1) | (w.j0 & 1)) + s * (jc - w.vop.y / 2);
            return;
        case 2: {
            const int64_t W = int64_t(1) << w.alpha;
            F = HalfUpDiv<int64_t>(
                (-r * w.i0 + w.i1v) * u + (r * w.j0 - w.j1v) * v + 2 * W * r * w.i0 - 16 * W,
                4 * W * r);
            G = HalfUpDiv<int64_t>(
                (-r * w.j0 + w.j1v) * u + (-r * w.i0 + w.i1v) * v + 2 * W * r * w.j0 - 16 * W,
                4 * W * r);
            return;
        }
        case 3: {
            const int64_t W = int64_t(1) << w.alpha, H = int64_t(1) << w.beta;
            F = HalfUpDiv<int64_t>((-r * w.i0 + w.i1v) * H * u + (-r * w.i0 + w.i2v) * W * v +
                                       2 * W * H * r * w.i0 - 16 * W * H,
                                   4 * W * H * r);
            G = HalfUpDiv<int64_t>((-r * w.j0 + w.j1v) * H * u + (-r * w.j0 + w.j2v) * W * v +
                                       2 * W * H * r * w.j0 - 16 * W * H,
                                   4 * W * H * r);
            return;
        }
        default: {
            // Luma position at (2 ic + 1/2, 2 jc + 1/2), moved to the chroma grid.
            const Wide den = w.g * u + w.h * v + 2 * w.dwh;
            if (den == 0) {
                F = w.i0 / 2, G = w.j0 / 2;
                return;
            }
            F = int64_t(HalfUpDiv<Wide>(2 * w.a * u + 2 * w.b * v + 4 * w.c - den * s, 4 * den));
            G = int64_t(HalfUpDiv<Wide>(2 * w.d * u + 2 * w.e * v + 4 * w.f - den * s, 4 * den));
            return;
        }
    }
}

// Bilinear sample of the reference at (F, G) / s; positions outside repeat the edge.
uint8_t Sample(const WarpSpec& w, const uint8_t* ref, int step, int refX, int refY, int refW,
               int refH, int64_t F, int64_t G) {
    // Far outside the reference every position reads the same edge sample.
    F = std::clamp<int64_t>(F, -(int64_t(1) << 40), int64_t(1) << 40);
    G = std::clamp<int64_t>(G, -(int64_t(1) << 40), int64_t(1) << 40);
    const int64_t x = F >> w.log2s, y = G >> w.log2s;
    const int ri = int(F - (x << w.log2s)), rj = int(G - (y << w.log2s));
    auto at = [&](int64_t xx, int64_t yy) {
        const int cx = int(std::clamp<int64_t>(xx - refX, 0, refW - 1));
        const int cy = int(std::clamp<int64_t>(yy - refY, 0, refH - 1));
        return int(ref[cy * step + cx]);
    };
    const int s = w.s;
    const int v = (s - rj) * ((s - ri) * at(x, y) + ri * at(x + 1, y)) +
                  rj * ((s - ri) * at(x, y + 1) + ri * at(x + 1, y + 1));
    return uint8_t((v + s * s / 2 - w.rounding) >> (2 * w.log2s));
}

// Regions beyond any VOL or sprite size are refused before their coordinates could overflow.
bool BadRegion(const VcRect* region) {
    return region->width < 1 || region->height < 1 || region->width > 8192 ||
           region->height > 8192 || region->x < -16384 || region->x > 16384 || region->y < -16384 ||
           region->y > 16384;
}

}  // namespace

SpStatus vcWarpInit(void* buffer, const int* du, const int* dv, int numPoints, int accuracy,
                    int mode, int fcode, int quarterSample, int rounding, const VcRect* vop,
                    const VcRect* ref) {
    if (!buffer || !vop || !ref || (numPoints > 0 && (!du || !dv))) return spStsNullPtrErr;
    if (mode != vcSpriteStatic && mode != vcSpriteGmc) return vcStsRangeErr;
    if (numPoints < 0 || numPoints > (mode == vcSpriteStatic ? 4 : 3)) return vcStsRangeErr;
    if (accuracy < 0 || accuracy > 3 || fcode < 1 || fcode > 7) return vcStsRangeErr;
    // The trajectory codes carry at most 14-bit differentials.
    for (int k = 0; k < numPoints; ++k)
        if (du[k] <= -16384 || du[k] >= 16384 || dv[k] <= -16384 || dv[k] >= 16384)
            return vcStsRangeErr;
    if (vop->width < 1 || vop->height < 1 || ref->width < 1 || ref->height < 1 ||
        vop->width > 8191 || vop->height > 8191 || ref->width > 8191 || ref->height > 8191)
        return spStsSizeErr;
    for (const VcRect* r : {vop, ref})
        if (r->x < -8192 || r->x > 8192 || r->y < -8192 || r->y > 8192) return vcStsRangeErr;
    WarpSpec w{};
    w.points = numPoints;
    w.accuracy = accuracy;
    w.mode = mode;
    w.fcode = fcode;
    w.quarter = quarterSample ? 1 : 0;
    w.rounding = rounding & 1;
    w.log2s = accuracy + 1;
    w.s = 1 << w.log2s;
    w.r = 16 / w.s;
    w.vop = *vop;
    w.ref = *ref;
    w.alpha = Log2Ceil(vop->width);
    w.beta = Log2Ceil(vop->height);

    // Warping points: the VOP corners, and their sprite positions in 1/s units from the
    // differentially coded half-sample displacements.
    int64_t d[4][2] = {};
    for (int k = 0; k < numPoints; ++k) d[k][0] = du[k], d[k][1] = dv[k];
    const int64_t i0 = vop->x, j0 = vop->y, W = vop->width, H = vop->height;
    const int64_t half = w.s / 2;
    const int64_t ip[4] = {half * (2 * i0 + d[0][0]), half * (2 * (i0 + W) + d[1][0] + d[0][0]),
                           half * (2 * i0 + d[2][0] + d[0][0]),
                           half * (2 * (i0 + W) + d[3][0] + d[2][0] + d[1][0] + d[0][0])};
    const int64_t jp[4] = {half * (2 * j0 + d[0][1]), half * (2 * j0 + d[1][1] + d[0][1]),
                           half * (2 * (j0 + H) + d[2][1] + d[0][1]),
                           half * (2 * (j0 + H) + d[3][1] + d[2][1] + d[1][1] + d[0][1])};
    w.i0 = ip[0];
    w.j0 = jp[0];
    // Virtual points at W' and H' (powers of two) keep the divisions of the warp shifts.
    const int64_t r = w.r, Wv = int64_t(1) << w.alpha, Hv = int64_t(1) << w.beta;
    w.i1v = 16 * (i0 + Wv) +
            RoundDiv((W - Wv) * (r * ip[0] - 16 * i0) + Wv * (r * ip[1] - 16 * (i0 + W)), W);
    w.j1v = 16 * j0 + RoundDiv((W - Wv) * (r * jp[0] - 16 * j0) + Wv * (r * jp[1] - 16 * j0), W);
    w.i2v = 16 * i0 + RoundDiv((H - Hv) * (r * ip[0] - 16 * i0) + Hv * (r * ip[2] - 16 * i0), H);
    w.j2v = 16 * (j0 + Hv) +
            RoundDiv((H - Hv) * (r * jp[0] - 16 * j0) + Hv * (r * jp[2] - 16 * (j0 + H)), H);
    if (numPoints == 4) {
        const Wide g = Wide(1) *
                       ((ip[0] - ip[1] - ip[2] + ip[3]) * (jp[2] - jp[3]) -
                        (ip[2] - ip[3]) * (jp[0] - jp[1] - jp[2] + jp[3])) *
                       H;
        const Wide h = Wide(1) *
                       ((ip[1] - ip[3]) * (jp[0] - jp[1] - jp[2] + jp[3]) -
                        (ip[0] - ip[1] - ip[2] + ip[3]) * (jp[1] - jp[3])) *
                       W;
        const Wide D =
            Wide(1) * (ip[1] - ip[3]) * (jp[2] - jp[3]) - (ip[2] - ip[3]) * (jp[1] - jp[3]);
        w.g = g;
        w.h = h;
        w.dwh = D * W * H;
        w.a = D * (ip[1] - ip[0]) * H + g * ip[1];
        w.b = D * (ip[2] - ip[0]) * W + h * ip[2];
        w.c = D * ip[0] * W * H;
        w.d = D * (jp[1] - jp[0]) * H + g * jp[1];
        w.e = D * (jp[2] - jp[0]) * W + h * jp[2];
        w.f = D * jp[0] * W * H;
    }
    std::memcpy(w.tag, kWarpTag, 4);
    *Aligned(buffer) = w;
    return spStsNoErr;
}

SpStatus vcWarpLuma(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                    const VcRect* region, const void* spec) {
    if (!ref || !dst || !region || !spec) return spStsNullPtrErr;
    const WarpSpec* w = CheckSpec(spec);
    if (!w) return spStsContextMatchErr;
    if (BadRegion(region)) return spStsSizeErr;
    for (int y = 0; y < region->height; ++y)
        for (int x = 0; x < region->width; ++x) {
            int64_t F, G;
            LumaPosition(*w, region->x + x, region->y + y, F, G);
            dst[y * dstStep + x] =
                Sample(*w, ref, refStep, w->ref.x, w->ref.y, w->ref.width, w->ref.height, F, G);
        }
    return spStsNoErr;
}

SpStatus vcWarpChroma(const uint8_t* refU, const uint8_t* refV, int refStep, uint8_t* dstU,
                      uint8_t* dstV, int dstStep, const VcRect* region, const void* spec) {
    if (!refU || !refV || !dstU || !dstV || !region || !spec) return spStsNullPtrErr;
    const WarpSpec* w = CheckSpec(spec);
    if (!w) return spStsContextMatchErr;
    if (BadRegion(region)) return spStsSizeErr;
    const int rx = w->ref.x / 2, ry = w->ref.y / 2;
    const int rw = std::max(1, w->ref.width / 2), rh = std::max(1, w->ref.height / 2);
    for (int y = 0; y < region->height; ++y)
        for (int x = 0; x < region->width; ++x) {
            int64_t F, G;
            ChromaPosition(*w, region->x + x, region->y + y, F, G);
            dstU[y * dstStep + x] = Sample(*w, refU, refStep, rx, ry, rw, rh, F, G);
            dstV[y * dstStep + x] = Sample(*w, refV, refStep, rx, ry, rw, rh, F, G);
        }
    return spStsNoErr;
}

SpStatus vcWarpGetMotionVector(int mbX, int mbY, VcMotionVector* mv, const void* spec) {
    if (!mv || !spec) return spStsNullPtrErr;
    const WarpSpec* w = CheckSpec(spec);
    if (!w) return spStsContextMatchErr;
    if (mbX < 0 || mbY < 0 || mbX > 512 || mbY > 512) return vcStsRangeErr;
    if (w->points == 0) {
        *mv = {0, 0};
        return spStsNoErr;
    }
    // Mean displacement over the macroblock's luma samples, in half (quarter) samples.
    int64_t sx = 0, sy = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int i = w->vop.x + mbX * 16 + x, j = w->vop.y + mbY * 16 + y;
            int64_t F, G;
            LumaPosition(*w, i, j, F, G);
            sx += F - int64_t(w->s) * i;
            sy += G - int64_t(w->s) * j;
        }
    const int64_t unit = w->quarter ? 4 : 2;
    const int64_t lo = -(int64_t(16) << w->fcode), hi = (int64_t(16) << w->fcode) - 1;
    mv->dx = int16_t(std::clamp(RoundDiv(sx * unit, int64_t(256) * w->s), lo, hi));
    mv->dy = int16_t(std::clamp(RoundDiv(sy * unit, int64_t(256) * w->s), lo, hi));
    return spStsNoErr;
}

SpStatus vcSpriteBrightness(uint8_t* plane, int step, int width, int height, int factor) {
    if (!plane) return spStsNullPtrErr;
    if (factor < -112 || factor > 1648) return vcStsRangeErr;
    if (width < 1 || height < 1) return spStsSizeErr;
    if (factor == 0) return spStsNoErr;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t& p = plane[y * step + x];
            const int v = FloorDiv(p * (100 + factor) + 50, 100);
            p = uint8_t(std::clamp(v, 0, 255));
        }
    return spStsNoErr;
}
