// SSE2 video coding kernels. The inverse DCT runs both 1-D passes down the columns (eight columns
// per register, pmaddwd pairs) with a transpose after each.
#include <emmintrin.h>

#include <cstddef>

#include "primitives/VideoCodingIdct.h"
#include "primitives/VideoCodingKernels.h"

namespace sp::x86 {
namespace {

using vc::kIdctEven;
using vc::kIdctOdd;

__m128i Load8(const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
__m128i Load16(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
void Store8(uint8_t* p, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}
void Store16(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
// Two 8-byte rows in one register (first row low).
__m128i LoadRows(const uint8_t* p, ptrdiff_t step) {
    return _mm_unpacklo_epi64(Load8(p), Load8(p + step));
}
void StoreRows(uint8_t* p, ptrdiff_t step, __m128i v) {
    Store8(p, v);
    Store8(p + step, _mm_unpackhi_epi64(v, v));
}

// (a + b + 1 - R) >> 1 per byte.
template <int R>
__m128i Average(__m128i a, __m128i b) {
    const __m128i up = _mm_avg_epu8(a, b);
    if constexpr (R == 0) return up;
    return _mm_sub_epi8(up, _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

// a[x] + a[x + 1] of eight samples as 16-bit values.
__m128i HorizontalSum(const uint8_t* p) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_add_epi16(_mm_unpacklo_epi8(Load8(p), zero), _mm_unpacklo_epi8(Load8(p + 1), zero));
}

// (h0 + h1 + 2 - R) >> 2 for two 16-bit sums of two.
template <int R>
__m128i QuarterRound(__m128i h0, __m128i h1) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(h0, h1), _mm_set1_epi16(2 - R)), 2);
}

template <int H, int T, int R, bool Avg>
void Predict16(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep) {
    const __m128i zero = _mm_setzero_si128();
    __m128i prevA = Load16(ref), prevLo = zero, prevHi = zero;
    if constexpr (T == 3) {
        const __m128i b = Load16(ref + 1);
        prevLo = _mm_add_epi16(_mm_unpacklo_epi8(prevA, zero), _mm_unpacklo_epi8(b, zero));
        prevHi = _mm_add_epi16(_mm_unpackhi_epi8(prevA, zero), _mm_unpackhi_epi8(b, zero));
    }
    for (int y = 0; y < H; ++y, ref += refStep, dst += dstStep) {
        __m128i p;
        if constexpr (T == 0) {
            p = Load16(ref);
        } else if constexpr (T == 1) {
            p = Average<R>(Load16(ref), Load16(ref + 1));
        } else if constexpr (T == 2) {
            const __m128i c = Load16(ref + refStep);
            p = Average<R>(prevA, c);
            prevA = c;
        } else {
            const __m128i c = Load16(ref + refStep), d = Load16(ref + refStep + 1);
            const __m128i lo =
                _mm_add_epi16(_mm_unpacklo_epi8(c, zero), _mm_unpacklo_epi8(d, zero));
            const __m128i hi =
                _mm_add_epi16(_mm_unpackhi_epi8(c, zero), _mm_unpackhi_epi8(d, zero));
            p = _mm_packus_epi16(QuarterRound<R>(prevLo, lo), QuarterRound<R>(prevHi, hi));
            prevLo = lo;
            prevHi = hi;
        }
        if constexpr (Avg) p = _mm_avg_epu8(p, Load16(dst));
        Store16(dst, p);
    }
}

template <int H, int T, int R, bool Avg>
void Predict8(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep) {
    __m128i prev = _mm_setzero_si128();
    if constexpr (T == 3) prev = HorizontalSum(ref);
    for (int y = 0; y < H; y += 2, ref += 2 * refStep, dst += 2 * dstStep) {
        __m128i p;
        if constexpr (T == 0) {
            p = LoadRows(ref, refStep);
        } else if constexpr (T == 1) {
            p = Average<R>(LoadRows(ref, refStep), LoadRows(ref + 1, refStep));
        } else if constexpr (T == 2) {
            p = Average<R>(LoadRows(ref, refStep), LoadRows(ref + refStep, refStep));
        } else {
            const __m128i h1 = HorizontalSum(ref + refStep);
            const __m128i h2 = HorizontalSum(ref + 2 * refStep);
            p = _mm_packus_epi16(QuarterRound<R>(prev, h1), QuarterRound<R>(h1, h2));
            prev = h2;
        }
        if constexpr (Avg) p = _mm_avg_epu8(p, LoadRows(dst, dstStep));
        StoreRows(dst, dstStep, p);
    }
}

using Routine = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t);

template <int W, int H, int T, int R, bool Avg>
constexpr Routine* RoutineFor() {
    if constexpr (W == 16)
        return Predict16<H, T, R, Avg>;
    else
        return Predict8<H, T, R, Avg>;
}

// Indexed by (rounding & 1) + (type & 3) * 2.
template <int W, int H, bool Avg>
constexpr Routine* kRoutines[8] = {RoutineFor<W, H, 0, 0, Avg>(), RoutineFor<W, H, 0, 0, Avg>(),
                                   RoutineFor<W, H, 1, 0, Avg>(), RoutineFor<W, H, 1, 1, Avg>(),
                                   RoutineFor<W, H, 2, 0, Avg>(), RoutineFor<W, H, 2, 1, Avg>(),
                                   RoutineFor<W, H, 3, 0, Avg>(), RoutineFor<W, H, 3, 1, Avg>()};

template <int W, int H, bool Avg>
SpStatus Predict(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,
                 int rounding) {
    if (!ref || !dst) return spStsNullPtrErr;
    if (refStep < 1 || dstStep < 1) return spStsStepErr;
    kRoutines<W, H, Avg>[(rounding & 1) + (type & 3) * 2](ref, refStep, dst, dstStep);
    return spStsNoErr;
}

// ---- inverse DCT ----

// The weight pair (a, b) in every 32-bit lane, for pmaddwd against interleaved (x, y) words.
__m128i Pair(int16_t a, int16_t b) {
    return _mm_set1_epi32(int(uint16_t(a)) | (int(b) << 16));
}

void Transpose(__m128i r[8]) {
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// Rows x and 7 - x from the 32-bit even and odd sums of the low and high four lanes.
template <int Shift>
void Butterfly(__m128i el, __m128i eh, __m128i ol, __m128i oh, __m128i& top, __m128i& bottom) {
    top = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(el, ol), Shift),
                          _mm_srai_epi32(_mm_add_epi32(eh, oh), Shift));
    bottom = _mm_packs_epi32(_mm_srai_epi32(_mm_sub_epi32(el, ol), Shift),
                             _mm_srai_epi32(_mm_sub_epi32(eh, oh), Shift));
}

// One 1-D pass down the eight columns of r (in place).
template <int Shift>
void ColumnPass(__m128i r[8]) {
    const __m128i rnd = _mm_set1_epi32(1 << (Shift - 1));
    const __m128i p04l = _mm_unpacklo_epi16(r[0], r[4]), p04h = _mm_unpackhi_epi16(r[0], r[4]);
    const __m128i p26l = _mm_unpacklo_epi16(r[2], r[6]), p26h = _mm_unpackhi_epi16(r[2], r[6]);
    const __m128i p13l = _mm_unpacklo_epi16(r[1], r[3]), p13h = _mm_unpackhi_epi16(r[1], r[3]);
    const __m128i p57l = _mm_unpacklo_epi16(r[5], r[7]), p57h = _mm_unpackhi_epi16(r[5], r[7]);
    for (int x = 0; x < 4; ++x) {
        const __m128i k04 = Pair(kIdctEven[x][0], kIdctEven[x][2]);
        const __m128i k26 = Pair(kIdctEven[x][1], kIdctEven[x][3]);
        const __m128i k13 = Pair(kIdctOdd[x][0], kIdctOdd[x][1]);
        const __m128i k57 = Pair(kIdctOdd[x][2], kIdctOdd[x][3]);
        const __m128i el =
            _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(p04l, k04), _mm_madd_epi16(p26l, k26)), rnd);
        const __m128i eh =
            _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(p04h, k04), _mm_madd_epi16(p26h, k26)), rnd);
        const __m128i ol = _mm_add_epi32(_mm_madd_epi16(p13l, k13), _mm_madd_epi16(p57l, k57));
        const __m128i oh = _mm_add_epi32(_mm_madd_epi16(p13h, k13), _mm_madd_epi16(p57h, k57));
        Butterfly<Shift>(el, eh, ol, oh, r[x], r[7 - x]);
    }
}

// The same pass when only rows 0..3 can be non-zero.
template <int Shift>
void ColumnPass4(__m128i r[8]) {
    const __m128i rnd = _mm_set1_epi32(1 << (Shift - 1));
    const __m128i p02l = _mm_unpacklo_epi16(r[0], r[2]), p02h = _mm_unpackhi_epi16(r[0], r[2]);
    const __m128i p13l = _mm_unpacklo_epi16(r[1], r[3]), p13h = _mm_unpackhi_epi16(r[1], r[3]);
    for (int x = 0; x < 4; ++x) {
        const __m128i k02 = Pair(kIdctEven[x][0], kIdctEven[x][1]);
        const __m128i k13 = Pair(kIdctOdd[x][0], kIdctOdd[x][1]);
        const __m128i el = _mm_add_epi32(_mm_madd_epi16(p02l, k02), rnd);
        const __m128i eh = _mm_add_epi32(_mm_madd_epi16(p02h, k02), rnd);
        Butterfly<Shift>(el, eh, _mm_madd_epi16(p13l, k13), _mm_madd_epi16(p13h, k13), r[x],
                         r[7 - x]);
    }
}

void LoadBlock(const int16_t* c, __m128i r[8]) {
    for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 8 * i));
}

void Idct(const int16_t* c, __m128i r[8]) {
    LoadBlock(c, r);
    ColumnPass<vc::kIdctShift1>(r);
    Transpose(r);
    ColumnPass<vc::kIdctShift2>(r);
    Transpose(r);
}

// Only the 4x4 corner is read: the first pass needs the low half of rows 0..3, and its result has
// zeros in columns 4..7, so only rows 0..3 of the transpose are non-zero.
void IdctReduced(const int16_t* c, __m128i r[8]) {
    __m128i in[4];
    for (int i = 0; i < 4; ++i)
        in[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(c + 8 * i));
    const int s1 = vc::kIdctShift1;
    const __m128i rnd = _mm_set1_epi32(1 << (s1 - 1));
    const __m128i p02 = _mm_unpacklo_epi16(in[0], in[2]), p13 = _mm_unpacklo_epi16(in[1], in[3]);
    __m128i t[8];
    for (int x = 0; x < 4; ++x) {
        const __m128i e =
            _mm_add_epi32(_mm_madd_epi16(p02, Pair(kIdctEven[x][0], kIdctEven[x][1])), rnd);
        const __m128i o = _mm_madd_epi16(p13, Pair(kIdctOdd[x][0], kIdctOdd[x][1]));
        const __m128i top = _mm_srai_epi32(_mm_add_epi32(e, o), s1);
        const __m128i bottom = _mm_srai_epi32(_mm_sub_epi32(e, o), s1);
        t[x] = _mm_packs_epi32(top, top);  // four columns, in the low half
        t[7 - x] = _mm_packs_epi32(bottom, bottom);
    }
    // 8 rows x 4 columns -> 4 rows x 8 columns.
    const __m128i a0 = _mm_unpacklo_epi16(t[0], t[1]), a1 = _mm_unpacklo_epi16(t[2], t[3]);
    const __m128i a2 = _mm_unpacklo_epi16(t[4], t[5]), a3 = _mm_unpacklo_epi16(t[6], t[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a1), b1 = _mm_unpackhi_epi32(a0, a1);
    const __m128i b2 = _mm_unpacklo_epi32(a2, a3), b3 = _mm_unpackhi_epi32(a2, a3);
    r[0] = _mm_unpacklo_epi64(b0, b2);
    r[1] = _mm_unpackhi_epi64(b0, b2);
    r[2] = _mm_unpacklo_epi64(b1, b3);
    r[3] = _mm_unpackhi_epi64(b1, b3);
    ColumnPass4<vc::kIdctShift2>(r);
    Transpose(r);
}

void StoreResidual(const __m128i r[8], int16_t* out) {
    for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * i), r[i]);
}

void StorePixels(const __m128i r[8], uint8_t* dst, ptrdiff_t dstStep) {
    for (int i = 0; i < 8; i += 2, dst += 2 * dstStep)
        StoreRows(dst, dstStep, _mm_packus_epi16(r[i], r[i + 1]));
}

}  // namespace

SpStatus CopyBlock8x8Sse2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep) {
    if (!src || !dst) return spStsNullPtrErr;
    if (srcStep < 1 || dstStep < 1) return spStsStepErr;
    for (int y = 0; y < 8; ++y, src += srcStep, dst += dstStep) Store8(dst, Load8(src));
    return spStsNoErr;
}

SpStatus CopyBlock16x16Sse2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep) {
    if (!src || !dst) return spStsNullPtrErr;
    if (srcStep < 1 || dstStep < 1) return spStsStepErr;
    for (int y = 0; y < 16; ++y, src += srcStep, dst += dstStep) Store16(dst, Load16(src));
    return spStsNoErr;
}

SpStatus AddResidual8x8Sse2(const int16_t* residual, int residualStep, uint8_t* dst, int dstStep) {
    if (!residual || !dst) return spStsNullPtrErr;
    if (residualStep < 1 || (residualStep & 1) || dstStep < 1) return spStsStepErr;
    const uint8_t* res = reinterpret_cast<const uint8_t*>(residual);
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < 8;
         y += 2, res += 2 * ptrdiff_t(residualStep), dst += 2 * ptrdiff_t(dstStep)) {
        const __m128i r0 = Load16(res), r1 = Load16(res + residualStep);
        const __m128i d = LoadRows(dst, dstStep);
        // Pixels are 0..255, so the saturating add only clips what the pack clamps anyway.
        const __m128i s0 = _mm_adds_epi16(_mm_unpacklo_epi8(d, zero), r0);
        const __m128i s1 = _mm_adds_epi16(_mm_unpackhi_epi8(d, zero), r1);
        StoreRows(dst, dstStep, _mm_packus_epi16(s0, s1));
    }
    return spStsNoErr;
}

SpStatus AddConstant8x8Sse2(int16_t value, uint8_t* dst, int dstStep) {
    if (!dst) return spStsNullPtrErr;
    if (dstStep < 1) return spStsStepErr;
    const __m128i v = _mm_set1_epi16(value), zero = _mm_setzero_si128();
    for (int y = 0; y < 8; y += 2, dst += 2 * ptrdiff_t(dstStep)) {
        const __m128i d = LoadRows(dst, dstStep);
        const __m128i s0 = _mm_adds_epi16(_mm_unpacklo_epi8(d, zero), v);
        const __m128i s1 = _mm_adds_epi16(_mm_unpackhi_epi8(d, zero), v);
        StoreRows(dst, dstStep, _mm_packus_epi16(s0, s1));
    }
    return spStsNoErr;
}

#define SP_VC_PREDICT(Name, W, H, Avg)                                                        \
    SpStatus Name##Sse2(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type, \
                        int rounding) {                                                       \
        return Predict<W, H, Avg>(ref, refStep, dst, dstStep, type, rounding);                \
    }
SP_VC_PREDICT(Predict8x4, 8, 4, false)
SP_VC_PREDICT(Predict8x8, 8, 8, false)
SP_VC_PREDICT(Predict16x8, 16, 8, false)
SP_VC_PREDICT(Predict16x16, 16, 16, false)
SP_VC_PREDICT(PredictAverage8x4, 8, 4, true)
SP_VC_PREDICT(PredictAverage8x8, 8, 8, true)
SP_VC_PREDICT(PredictAverage16x8, 16, 8, true)
SP_VC_PREDICT(PredictAverage16x16, 16, 16, true)
#undef SP_VC_PREDICT

SpStatus InverseDct8x8Sse2(const int16_t* coefficients, int16_t* out) {
    if (!coefficients || !out) return spStsNullPtrErr;
    __m128i r[8];
    Idct(coefficients, r);
    StoreResidual(r, out);
    return spStsNoErr;
}

SpStatus InverseDct8x8ReducedSse2(const int16_t* coefficients, int16_t* out) {
    if (!coefficients || !out) return spStsNullPtrErr;
    __m128i r[8];
    IdctReduced(coefficients, r);
    StoreResidual(r, out);
    return spStsNoErr;
}

SpStatus InverseDct8x8ToPixelsSse2(const int16_t* coefficients, uint8_t* dst, int dstStep,
                                   int hint) {
    if (!coefficients || !dst) return spStsNullPtrErr;
    if (dstStep < 1) return spStsStepErr;
    if (hint == vcIdctHintDcOnly) {
        const int v = coefficients[0] / 8;
        const __m128i p = _mm_set1_epi8(char(v < 0 ? 0 : v > 255 ? 255 : v));
        for (int y = 0; y < 8; ++y, dst += dstStep) Store8(dst, p);
        return spStsNoErr;
    }
    __m128i r[8];
    if (hint > 0 && hint <= vcIdctHintReducedMax)
        IdctReduced(coefficients, r);
    else
        Idct(coefficients, r);
    StorePixels(r, dst, dstStep);
    return spStsNoErr;
}

SpStatus InverseDct8x8StoreSse2(const int16_t* coefficients, uint8_t* dst, int dstStep) {
    if (!coefficients || !dst) return spStsNullPtrErr;
    if (dstStep < 1) return spStsStepErr;
    __m128i r[8];
    Idct(coefficients, r);
    StorePixels(r, dst, dstStep);
    return spStsNoErr;
}

}  // namespace sp::x86
