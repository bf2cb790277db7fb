// SSSE3 video coding kernels. Half-sample sums of two neighbours come from one pmaddubsw; the
// inverse DCT runs its first pass down the columns and its second along the rows, broadcasting
// coefficient pairs with pshufb, so that no transpose is needed.
#include <tmmintrin.h>

#include <cstddef>

#include "primitives/VideoCodingIdct.h"
#include "primitives/VideoCodingKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_SSSE3

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
__m128i LoadRows(const uint8_t* p, ptrdiff_t step) {
    return _mm_unpacklo_epi64(Load8(p), Load8(p + step));
}
void StoreRows(uint8_t* p, ptrdiff_t step, __m128i v) {
    Store8(p, v);
    Store8(p + step, _mm_unpackhi_epi64(v, v));
}

template <int R>
__m128i Average(__m128i a, __m128i b) {
    const __m128i up = _mm_avg_epu8(a, b);
    if constexpr (R == 0) return up;
    return _mm_sub_epi8(up, _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

// a[x] + a[x + 1] as 16-bit values: each (a, b) byte pair times (1, 1).
__m128i PairSums(__m128i interleaved) {
    return _mm_maddubs_epi16(interleaved, _mm_set1_epi8(1));
}
__m128i HorizontalSum8(const uint8_t* p) {
    return PairSums(_mm_unpacklo_epi8(Load8(p), Load8(p + 1)));
}

template <int R>
__m128i QuarterRound(__m128i h0, __m128i h1) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(h0, h1), _mm_set1_epi16(2 - R)), 2);
}

template <int H, int T, int R, bool Avg>
void Predict16(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep) {
    __m128i prevA = Load16(ref), prevLo = prevA, prevHi = prevA;
    if constexpr (T == 3) {
        const __m128i b = Load16(ref + 1);
        prevLo = PairSums(_mm_unpacklo_epi8(prevA, b));
        prevHi = PairSums(_mm_unpackhi_epi8(prevA, b));
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
            const __m128i lo = PairSums(_mm_unpacklo_epi8(c, d));
            const __m128i hi = PairSums(_mm_unpackhi_epi8(c, d));
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
    if constexpr (T == 3) prev = HorizontalSum8(ref);
    for (int y = 0; y < H; y += 2, ref += 2 * refStep, dst += 2 * dstStep) {
        __m128i p;
        if constexpr (T == 0) {
            p = LoadRows(ref, refStep);
        } else if constexpr (T == 1) {
            p = Average<R>(LoadRows(ref, refStep), LoadRows(ref + 1, refStep));
        } else if constexpr (T == 2) {
            p = Average<R>(LoadRows(ref, refStep), LoadRows(ref + refStep, refStep));
        } else {
            const __m128i h1 = HorizontalSum8(ref + refStep);
            const __m128i h2 = HorizontalSum8(ref + 2 * refStep);
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

__m128i Pair(int16_t a, int16_t b) {
    return _mm_set1_epi32(int(uint16_t(a)) | (int(b) << 16));
}

// First pass, down the eight columns (as in the SSE2 version); rows come out in place.
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
        r[x] = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(el, ol), Shift),
                               _mm_srai_epi32(_mm_add_epi32(eh, oh), Shift));
        r[7 - x] = _mm_packs_epi32(_mm_srai_epi32(_mm_sub_epi32(el, ol), Shift),
                                   _mm_srai_epi32(_mm_sub_epi32(eh, oh), Shift));
    }
}

// Byte shuffles that put the word pair (i, j) of a row into every 32-bit lane.
__m128i PairMask(int i, int j) {
    return _mm_set1_epi32((2 * i) | (2 * i + 1) << 8 | (2 * j) << 16 | (2 * j + 1) << 24);
}

// Lane x holds the weight pair of output x.
__m128i Weights(const int16_t (&w)[4][4], int i, int j) {
    return _mm_setr_epi16(w[0][i], w[0][j], w[1][i], w[1][j], w[2][i], w[2][j], w[3][i], w[3][j]);
}

// Outputs 0..3 from the lanes of e + o, outputs 7..4 from e - o.
__m128i RowResult(__m128i e, __m128i o) {
    constexpr int s = vc::kIdctShift2;
    const __m128i lo = _mm_srai_epi32(_mm_add_epi32(e, o), s);
    const __m128i hi = _mm_srai_epi32(_mm_sub_epi32(e, o), s);
    return _mm_packs_epi32(lo, _mm_shuffle_epi32(hi, _MM_SHUFFLE(0, 1, 2, 3)));
}

// Second pass along one row.
__m128i RowPass(__m128i t) {
    const __m128i rnd = _mm_set1_epi32(1 << (vc::kIdctShift2 - 1));
    const __m128i e = _mm_add_epi32(
        _mm_add_epi32(
            _mm_madd_epi16(_mm_shuffle_epi8(t, PairMask(0, 4)), Weights(kIdctEven, 0, 2)),
            _mm_madd_epi16(_mm_shuffle_epi8(t, PairMask(2, 6)), Weights(kIdctEven, 1, 3))),
        rnd);
    const __m128i o =
        _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi8(t, PairMask(1, 3)), Weights(kIdctOdd, 0, 1)),
                      _mm_madd_epi16(_mm_shuffle_epi8(t, PairMask(5, 7)), Weights(kIdctOdd, 2, 3)));
    return RowResult(e, o);
}

// Second pass along a row whose words 4..7 are zero; the row sits in words base..base+3.
template <int Base>
__m128i RowPass4(__m128i t) {
    const __m128i rnd = _mm_set1_epi32(1 << (vc::kIdctShift2 - 1));
    const __m128i e = _mm_add_epi32(
        _mm_madd_epi16(_mm_shuffle_epi8(t, PairMask(Base, Base + 2)), Weights(kIdctEven, 0, 1)),
        rnd);
    const __m128i o =
        _mm_madd_epi16(_mm_shuffle_epi8(t, PairMask(Base + 1, Base + 3)), Weights(kIdctOdd, 0, 1));
    return RowResult(e, o);
}

void Idct(const int16_t* c, __m128i r[8]) {
    for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 8 * i));
    ColumnPass<vc::kIdctShift1>(r);
    for (int i = 0; i < 8; ++i) r[i] = RowPass(r[i]);
}

// First pass over the low halves of rows 0..3; rows x and 7 - x of its result share a register.
void IdctReduced(const int16_t* c, __m128i r[8]) {
    __m128i in[4];
    for (int i = 0; i < 4; ++i)
        in[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(c + 8 * i));
    constexpr int s1 = vc::kIdctShift1;
    const __m128i rnd = _mm_set1_epi32(1 << (s1 - 1));
    const __m128i p02 = _mm_unpacklo_epi16(in[0], in[2]), p13 = _mm_unpacklo_epi16(in[1], in[3]);
    for (int x = 0; x < 4; ++x) {
        const __m128i e =
            _mm_add_epi32(_mm_madd_epi16(p02, Pair(kIdctEven[x][0], kIdctEven[x][1])), rnd);
        const __m128i o = _mm_madd_epi16(p13, Pair(kIdctOdd[x][0], kIdctOdd[x][1]));
        const __m128i t = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(e, o), s1),
                                          _mm_srai_epi32(_mm_sub_epi32(e, o), s1));
        r[x] = RowPass4<0>(t);
        r[7 - x] = RowPass4<4>(t);
    }
}

void StoreResidual(const __m128i r[8], int16_t* out) {
    for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * i), r[i]);
}

void StorePixels(const __m128i r[8], uint8_t* dst, ptrdiff_t dstStep) {
    for (int i = 0; i < 8; i += 2, dst += 2 * dstStep)
        StoreRows(dst, dstStep, _mm_packus_epi16(r[i], r[i + 1]));
}

}  // namespace

#define SP_VC_PREDICT(Name, W, H, Avg)                                                         \
    SpStatus Name##Ssse3(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type, \
                         int rounding) {                                                       \
        return Predict<W, H, Avg>(ref, refStep, dst, dstStep, type, rounding);                 \
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

SpStatus InverseDct8x8Ssse3(const int16_t* coefficients, int16_t* out) {
    if (!coefficients || !out) return spStsNullPtrErr;
    __m128i r[8];
    Idct(coefficients, r);
    StoreResidual(r, out);
    return spStsNoErr;
}

SpStatus InverseDct8x8ReducedSsse3(const int16_t* coefficients, int16_t* out) {
    if (!coefficients || !out) return spStsNullPtrErr;
    __m128i r[8];
    IdctReduced(coefficients, r);
    StoreResidual(r, out);
    return spStsNoErr;
}

SpStatus InverseDct8x8ToPixelsSsse3(const int16_t* coefficients, uint8_t* dst, int dstStep,
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

SpStatus InverseDct8x8StoreSsse3(const int16_t* coefficients, uint8_t* dst, int dstStep) {
    if (!coefficients || !dst) return spStsNullPtrErr;
    if (dstStep < 1) return spStsStepErr;
    __m128i r[8];
    Idct(coefficients, r);
    StorePixels(r, dst, dstStep);
    return spStsNoErr;
}

}  // namespace sp::x86

SP_TARGET_END
