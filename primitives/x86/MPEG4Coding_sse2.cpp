#include <emmintrin.h>

#include "primitives/MPEG4CodingKernels.h"

namespace sp::x86 {
namespace {

using V = __m128i;
constexpr int kLanes = 8;
#define SP_MM(op) _mm_##op
#define SP_MM_SI(op) _mm_##op##_si128

inline int HorizontalSum16(V v) {
    v = _mm_add_epi16(v, _mm_srli_si128(v, 8));
    v = _mm_add_epi16(v, _mm_srli_si128(v, 4));
    v = _mm_add_epi16(v, _mm_srli_si128(v, 2));
    return int16_t(_mm_cvtsi128_si32(v));
}
inline V LoadRows(const uint8_t* p, ptrdiff_t) {
    return _mm_loadu_si128(reinterpret_cast<const V*>(p));
}
inline void StoreRows(uint8_t* p, ptrdiff_t, V v) {
    _mm_storeu_si128(reinterpret_cast<V*>(p), v);
}
inline void StoreU8(uint8_t* p, V v) {
    _mm_storel_epi64(reinterpret_cast<V*>(p), _mm_packus_epi16(v, v));
}

}  // namespace

#define SP_VARIANT(name) name##Sse2
#define SP_MPEG4_WORD_QPEL 1
#include "primitives/x86/MPEG4CodingOps.inc"
#undef SP_MPEG4_WORD_QPEL
#undef SP_VARIANT
#undef SP_MM_SI
#undef SP_MM

void QuarterPelWidth8Sse2(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                          int index, int rounding, int height) {
    QuarterPelBlockSse2<8>(ref, refStep, dst, dstStep, index, rounding, height);
}

namespace {

// The prediction through a scratch block, then averaged into dst.
template <int Width, bool Split = false>
void QuarterPelAverageSse2(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                           int index, int rounding, int height) {
    alignas(16) uint8_t prediction[16 * 16];
    QuarterPelBlockSse2<Width, Split>(ref, refStep, prediction, 16, index, rounding, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* d = dst + y * dstStep;
        const V p = _mm_load_si128(reinterpret_cast<const V*>(prediction + 16 * y));
        if (Width == 8)
            _mm_storel_epi64(reinterpret_cast<V*>(d),
                             _mm_avg_epu8(p, _mm_loadl_epi64(reinterpret_cast<const V*>(d))));
        else
            _mm_storeu_si128(reinterpret_cast<V*>(d),
                             _mm_avg_epu8(p, _mm_loadu_si128(reinterpret_cast<const V*>(d))));
    }
}

}  // namespace

void QuarterPelAverageWidth8Sse2(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst,
                                 ptrdiff_t dstStep, int index, int rounding, int height) {
    QuarterPelAverageSse2<8>(ref, refStep, dst, dstStep, index, rounding, height);
}
void QuarterPelAverageWidth16Sse2(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst,
                                  ptrdiff_t dstStep, int index, int rounding, int height) {
    QuarterPelAverageSse2<16>(ref, refStep, dst, dstStep, index, rounding, height);
}
void QuarterPelAverage16x16Sse2(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst,
                                ptrdiff_t dstStep, int index, int rounding) {
    QuarterPelAverageSse2<16>(ref, refStep, dst, dstStep, index, rounding, 16);
}

// Four 8x8 blocks with one vector: two 8-high rows of two blocks each.
void QuarterPelFour8x8Sse2(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst, ptrdiff_t dstStep,
                           int index, int rounding) {
    QuarterPelBlockSse2<16, true>(ref, refStep, dst, dstStep, index, rounding, 8);
    QuarterPelBlockSse2<16, true>(ref + 8 * refStep, refStep, dst + 8 * dstStep, dstStep, index,
                                  rounding, 8);
}
void QuarterPelAverageFour8x8Sse2(const uint8_t* ref, ptrdiff_t refStep, uint8_t* dst,
                                  ptrdiff_t dstStep, int index, int rounding) {
    QuarterPelAverageSse2<16, true>(ref, refStep, dst, dstStep, index, rounding, 8);
    QuarterPelAverageSse2<16, true>(ref + 8 * refStep, refStep, dst + 8 * dstStep, dstStep, index,
                                    rounding, 8);
}

void AverageInto8x8Sse2(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep) {
    for (int y = 0; y < 8; ++y) {
        const uint8_t* s = src + y * srcStep;
        uint8_t* d = dst + y * dstStep;
        const V a = _mm_loadl_epi64(reinterpret_cast<const V*>(s));
        const V b = _mm_loadl_epi64(reinterpret_cast<const V*>(d));
        _mm_storel_epi64(reinterpret_cast<V*>(d), _mm_avg_epu8(a, b));
    }
}

}  // namespace sp::x86
