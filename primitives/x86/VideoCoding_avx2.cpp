// AVX2 video coding kernels. 16-wide predictions hold two rows per register, one per 128-bit
// lane. The inverse DCT's first pass covers all eight columns with one pmaddwd per weight pair and
// leaves rows x and 7 - x in the two lanes of one register, which the second pass, along the
// rows, consumes lane by lane: no transpose at all.
#include <immintrin.h>

#include <cstddef>

#include "primitives/VideoCodingIdct.h"
#include "primitives/VideoCodingKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

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
void Store8High(uint8_t* p, __m128i v) {
    Store8(p, _mm_unpackhi_epi64(v, v));
}
__m128i LoadRows8(const uint8_t* p, ptrdiff_t step) {
    return _mm_unpacklo_epi64(Load8(p), Load8(p + step));
}
void StoreRows8(uint8_t* p, ptrdiff_t step, __m128i v) {
    Store8(p, v);
    Store8High(p + step, v);
}
__m256i Join(__m128i lo, __m128i hi) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}
// Two 16-byte rows, the first in the low lane.
__m256i LoadRows16(const uint8_t* p, ptrdiff_t step) {
    return Join(Load16(p), Load16(p + step));
}
void StoreRows16(uint8_t* p, ptrdiff_t step, __m256i v) {
    Store16(p, _mm256_castsi256_si128(v));
    Store16(p + step, _mm256_extracti128_si256(v, 1));
}

template <int R>
__m256i Average(__m256i a, __m256i b) {
    const __m256i up = _mm256_avg_epu8(a, b);
    if constexpr (R == 0) return up;
    return _mm256_sub_epi8(up, _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
}

// a[x] + a[x + 1] of one 16-sample row as sixteen 16-bit values.
__m256i HorizontalSum(const uint8_t* p) {
    return _mm256_add_epi16(_mm256_cvtepu8_epi16(Load16(p)), _mm256_cvtepu8_epi16(Load16(p + 1)));
}

template <int R>
__m256i QuarterRound(__m256i h0, __m256i h1) {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(h0, h1), _mm256_set1_epi16(2 - R)),
                             2);
}

template <int H, int T, int R, bool Avg>
void Predict16(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep) {
    __m128i prevRow = Load16(ref);
    __m256i prevSum = _mm256_setzero_si256();
    if constexpr (T == 3) prevSum = HorizontalSum(ref);
    for (int y = 0; y < H; y += 2, ref += 2 * refStep, dst += 2 * dstStep) {
        __m256i p;
        if constexpr (T == 0) {
            p = LoadRows16(ref, refStep);
        } else if constexpr (T == 1) {
            p = Average<R>(LoadRows16(ref, refStep), LoadRows16(ref + 1, refStep));
        } else if constexpr (T == 2) {
            const __m128i b = Load16(ref + refStep), c = Load16(ref + 2 * refStep);
            p = Average<R>(Join(prevRow, b), Join(b, c));
            prevRow = c;
        } else {
            const __m256i h1 = HorizontalSum(ref + refStep);
            const __m256i h2 = HorizontalSum(ref + 2 * refStep);
            // The pack interleaves the rows' halves per lane; the permute restores row order.
            p = _mm256_permute4x64_epi64(
                _mm256_packus_epi16(QuarterRound<R>(prevSum, h1), QuarterRound<R>(h1, h2)),
                _MM_SHUFFLE(3, 1, 2, 0));
            prevSum = h2;
        }
        if constexpr (Avg) p = _mm256_avg_epu8(p, LoadRows16(dst, dstStep));
        StoreRows16(dst, dstStep, p);
    }
}

template <int R>
__m128i Average128(__m128i a, __m128i b) {
    const __m128i up = _mm_avg_epu8(a, b);
    if constexpr (R == 0) return up;
    return _mm_sub_epi8(up, _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

// [h_y | h_y+1]: a[x] + a[x + 1] of rows y and y + 1, eight samples each, as 16-bit values.
__m256i HorizontalSums8(const uint8_t* p, ptrdiff_t step) {
    return _mm256_add_epi16(_mm256_cvtepu8_epi16(LoadRows8(p, step)),
                            _mm256_cvtepu8_epi16(LoadRows8(p + 1, step)));
}

// Eight-wide blocks, two rows per 128-bit register; the four-sample average keeps the sums of two
// rows in one 256-bit register and takes the sums of the rows below from the next pair's.
template <int H, int T, int R, bool Avg>
void Predict8(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep) {
    __m256i sums = _mm256_setzero_si256();
    if constexpr (T == 3) sums = HorizontalSums8(ref, refStep);
    for (int y = 0; y < H; y += 2, ref += 2 * refStep, dst += 2 * dstStep) {
        __m128i p;
        if constexpr (T == 0) {
            p = LoadRows8(ref, refStep);
        } else if constexpr (T == 1) {
            p = Average128<R>(LoadRows8(ref, refStep), LoadRows8(ref + 1, refStep));
        } else if constexpr (T == 2) {
            p = Average128<R>(LoadRows8(ref, refStep), LoadRows8(ref + refStep, refStep));
        } else {
            const uint8_t* next = ref + 2 * refStep;
            // The last pair has only one row below it (row H) inside the reference area.
            const __m256i nextSums =
                y + 2 < H
                    ? HorizontalSums8(next, refStep)
                    : _mm256_zextsi128_si256(_mm_add_epi16(_mm_cvtepu8_epi16(Load8(next)),
                                                           _mm_cvtepu8_epi16(Load8(next + 1))));
            const __m256i below = _mm256_permute2x128_si256(sums, nextSums, 0x21);
            const __m256i v = QuarterRound<R>(sums, below);
            p = _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
            sums = nextSums;
        }
        if constexpr (Avg) p = _mm_avg_epu8(p, LoadRows8(dst, dstStep));
        StoreRows8(dst, dstStep, p);
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

__m256i Pair(int16_t a, int16_t b) {
    return _mm256_set1_epi32(int(uint16_t(a)) | (int(b) << 16));
}

// Byte shuffle putting the word pair (i, j) of the low lane's row and (k, l) of the high lane's
// row into every 32-bit lane.
__m256i PairMask(int i, int j, int k, int l) {
    const int lo = (2 * i) | (2 * i + 1) << 8 | (2 * j) << 16 | (2 * j + 1) << 24;
    const int hi = (2 * k) | (2 * k + 1) << 8 | (2 * l) << 16 | (2 * l + 1) << 24;
    return _mm256_setr_epi32(lo, lo, lo, lo, hi, hi, hi, hi);
}

// Lane x of each half holds the weight pair of output x.
__m256i Weights(const int16_t (&w)[4][4], int i, int j) {
    return _mm256_setr_epi16(w[0][i], w[0][j], w[1][i], w[1][j], w[2][i], w[2][j], w[3][i], w[3][j],
                             w[0][i], w[0][j], w[1][i], w[1][j], w[2][i], w[2][j], w[3][i],
                             w[3][j]);
}

__m256i RowResult(__m256i e, __m256i o) {
    constexpr int s = vc::kIdctShift2;
    const __m256i lo = _mm256_srai_epi32(_mm256_add_epi32(e, o), s);
    const __m256i hi = _mm256_srai_epi32(_mm256_sub_epi32(e, o), s);
    return _mm256_packs_epi32(lo, _mm256_shuffle_epi32(hi, _MM_SHUFFLE(0, 1, 2, 3)));
}

// Second pass along the two rows of t.
__m256i RowPass(__m256i t) {
    const __m256i rnd = _mm256_set1_epi32(1 << (vc::kIdctShift2 - 1));
    const __m256i e = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi8(t, PairMask(0, 4, 0, 4)),
                                           Weights(kIdctEven, 0, 2)),
                         _mm256_madd_epi16(_mm256_shuffle_epi8(t, PairMask(2, 6, 2, 6)),
                                           Weights(kIdctEven, 1, 3))),
        rnd);
    const __m256i o = _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_shuffle_epi8(t, PairMask(1, 3, 1, 3)), Weights(kIdctOdd, 0, 1)),
        _mm256_madd_epi16(_mm256_shuffle_epi8(t, PairMask(5, 7, 5, 7)), Weights(kIdctOdd, 2, 3)));
    return RowResult(e, o);
}

// Second pass for rows whose words 4..7 are zero: the low lane's row in words 0..3, the high
// lane's in words 4..7.
__m256i RowPass4(__m256i t) {
    const __m256i rnd = _mm256_set1_epi32(1 << (vc::kIdctShift2 - 1));
    const __m256i e = _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_shuffle_epi8(t, PairMask(0, 2, 4, 6)), Weights(kIdctEven, 0, 1)),
        rnd);
    const __m256i o =
        _mm256_madd_epi16(_mm256_shuffle_epi8(t, PairMask(1, 3, 5, 7)), Weights(kIdctOdd, 0, 1));
    return RowResult(e, o);
}

// y[x] = output rows x (low lane) and 7 - x (high lane).
void Idct(const int16_t* c, __m256i y[4]) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 8 * i));
    constexpr int s1 = vc::kIdctShift1;
    const __m256i rnd = _mm256_set1_epi32(1 << (s1 - 1));
    // Word pairs of two rows for all eight columns: columns 0..3 low lane, 4..7 high lane.
    const __m256i p04 = Join(_mm_unpacklo_epi16(r[0], r[4]), _mm_unpackhi_epi16(r[0], r[4]));
    const __m256i p26 = Join(_mm_unpacklo_epi16(r[2], r[6]), _mm_unpackhi_epi16(r[2], r[6]));
    const __m256i p13 = Join(_mm_unpacklo_epi16(r[1], r[3]), _mm_unpackhi_epi16(r[1], r[3]));
    const __m256i p57 = Join(_mm_unpacklo_epi16(r[5], r[7]), _mm_unpackhi_epi16(r[5], r[7]));
    for (int x = 0; x < 4; ++x) {
        const __m256i e = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_madd_epi16(p04, Pair(kIdctEven[x][0], kIdctEven[x][2])),
                             _mm256_madd_epi16(p26, Pair(kIdctEven[x][1], kIdctEven[x][3]))),
            rnd);
        const __m256i o =
            _mm256_add_epi32(_mm256_madd_epi16(p13, Pair(kIdctOdd[x][0], kIdctOdd[x][1])),
                             _mm256_madd_epi16(p57, Pair(kIdctOdd[x][2], kIdctOdd[x][3])));
        const __m256i top = _mm256_srai_epi32(_mm256_add_epi32(e, o), s1);
        const __m256i bottom = _mm256_srai_epi32(_mm256_sub_epi32(e, o), s1);
        // Per lane the pack gives (top, bottom) halves; the permute makes whole rows.
        y[x] = RowPass(
            _mm256_permute4x64_epi64(_mm256_packs_epi32(top, bottom), _MM_SHUFFLE(3, 1, 2, 0)));
    }
}

// Only the 4x4 corner: the first pass over the low halves of rows 0..3 gives rows x and 7 - x
// (four columns each) in one register, which both lanes of the second pass share.
void IdctReduced(const int16_t* c, __m256i y[4]) {
    __m128i in[4];
    for (int i = 0; i < 4; ++i)
        in[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(c + 8 * i));
    constexpr int s1 = vc::kIdctShift1;
    const __m128i rnd = _mm_set1_epi32(1 << (s1 - 1));
    const __m128i p02 = _mm_unpacklo_epi16(in[0], in[2]), p13 = _mm_unpacklo_epi16(in[1], in[3]);
    for (int x = 0; x < 4; ++x) {
        const __m128i e = _mm_add_epi32(
            _mm_madd_epi16(p02, _mm256_castsi256_si128(Pair(kIdctEven[x][0], kIdctEven[x][1]))),
            rnd);
        const __m128i o =
            _mm_madd_epi16(p13, _mm256_castsi256_si128(Pair(kIdctOdd[x][0], kIdctOdd[x][1])));
        const __m128i t = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(e, o), s1),
                                          _mm_srai_epi32(_mm_sub_epi32(e, o), s1));
        y[x] = RowPass4(_mm256_broadcastsi128_si256(t));
    }
}

void StoreResidual(const __m256i y[4], int16_t* out) {
    for (int x = 0; x < 4; ++x) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * x), _mm256_castsi256_si128(y[x]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * (7 - x)),
                         _mm256_extracti128_si256(y[x], 1));
    }
}

void StorePixels(const __m256i y[4], uint8_t* dst, ptrdiff_t dstStep) {
    for (int x = 0; x < 4; x += 2) {
        // Low lane: rows x, x + 1; high lane: rows 7 - x, 6 - x.
        const __m256i p = _mm256_packus_epi16(y[x], y[x + 1]);
        const __m128i lo = _mm256_castsi256_si128(p), hi = _mm256_extracti128_si256(p, 1);
        StoreRows8(dst + x * dstStep, dstStep, lo);
        Store8(dst + (7 - x) * dstStep, hi);
        Store8High(dst + (6 - x) * dstStep, hi);
    }
}

}  // namespace

#define SP_VC_PREDICT(Name, W, H, Avg)                                                        \
    SpStatus Name##Avx2(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type, \
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

SpStatus AddResidual8x8Avx2(const int16_t* residual, int residualStep, uint8_t* dst, int dstStep) {
    if (!residual || !dst) return spStsNullPtrErr;
    if (residualStep < 1 || (residualStep & 1) || dstStep < 1) return spStsStepErr;
    const uint8_t* res = reinterpret_cast<const uint8_t*>(residual);
    for (int y = 0; y < 8;
         y += 2, res += 2 * ptrdiff_t(residualStep), dst += 2 * ptrdiff_t(dstStep)) {
        const __m256i d = _mm256_cvtepu8_epi16(LoadRows8(dst, dstStep));
        // Pixels are 0..255, so the saturating add only clips what the pack clamps anyway.
        const __m256i s = _mm256_adds_epi16(d, LoadRows16(res, residualStep));
        StoreRows8(dst, dstStep,
                   _mm_packus_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1)));
    }
    return spStsNoErr;
}

SpStatus InverseDct8x8Avx2(const int16_t* coefficients, int16_t* out) {
    if (!coefficients || !out) return spStsNullPtrErr;
    __m256i y[4];
    Idct(coefficients, y);
    StoreResidual(y, out);
    return spStsNoErr;
}

SpStatus InverseDct8x8ReducedAvx2(const int16_t* coefficients, int16_t* out) {
    if (!coefficients || !out) return spStsNullPtrErr;
    __m256i y[4];
    IdctReduced(coefficients, y);
    StoreResidual(y, out);
    return spStsNoErr;
}

SpStatus InverseDct8x8ToPixelsAvx2(const int16_t* coefficients, uint8_t* dst, int dstStep,
                                   int hint) {
    if (!coefficients || !dst) return spStsNullPtrErr;
    if (dstStep < 1) return spStsStepErr;
    if (hint == vcIdctHintDcOnly) {
        const int v = coefficients[0] / 8;
        const __m128i p = _mm_set1_epi8(char(v < 0 ? 0 : v > 255 ? 255 : v));
        for (int y = 0; y < 8; ++y, dst += dstStep) Store8(dst, p);
        return spStsNoErr;
    }
    __m256i y[4];
    if (hint > 0 && hint <= vcIdctHintReducedMax)
        IdctReduced(coefficients, y);
    else
        Idct(coefficients, y);
    StorePixels(y, dst, dstStep);
    return spStsNoErr;
}

SpStatus InverseDct8x8StoreAvx2(const int16_t* coefficients, uint8_t* dst, int dstStep) {
    if (!coefficients || !dst) return spStsNullPtrErr;
    if (dstStep < 1) return spStsStepErr;
    __m256i y[4];
    Idct(coefficients, y);
    StorePixels(y, dst, dstStep);
    return spStsNoErr;
}

}  // namespace sp::x86

SP_TARGET_END
