// SSE2 building blocks of the 4:2:0 conversions. Baseline instructions only, so every SIMD file
// may include them before its target switch and inline them.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace sp::x86::colour {

// The fixed-point terms of sp::colour::YuvToBgr, eight 16-bit lanes at a time. mulhi is the
// (a * b) >> 16 of the reference, flooring like the arithmetic shift.
inline __m128i LumaTerm(__m128i y16) {
    const __m128i t = _mm_slli_epi16(_mm_sub_epi16(y16, _mm_set1_epi16(16)), 7);
    return _mm_mulhi_epi16(t, _mm_set1_epi16(9535));
}

struct ChromaTerms {
    __m128i r, g, b;
};

inline ChromaTerms ChromaTerm(__m128i u16, __m128i v16) {
    const __m128i u = _mm_slli_epi16(_mm_sub_epi16(u16, _mm_set1_epi16(128)), 7);
    const __m128i v = _mm_slli_epi16(_mm_sub_epi16(v16, _mm_set1_epi16(128)), 7);
    ChromaTerms t;
    t.r = _mm_mulhi_epi16(v, _mm_set1_epi16(13074));
    t.g = _mm_add_epi16(_mm_mulhi_epi16(v, _mm_set1_epi16(-6660)),
                        _mm_mulhi_epi16(u, _mm_set1_epi16(-3211)));
    t.b = _mm_mulhi_epi16(u, _mm_set1_epi16(16523));
    return t;
}

// (luma + chroma + 8) >> 4 for 16 pixels, clamped to bytes by the saturating pack.
inline __m128i Finish(__m128i yLo, __m128i yHi, __m128i c) {
    const __m128i eight = _mm_set1_epi16(8);
    const __m128i lo =
        _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(yLo, _mm_unpacklo_epi16(c, c)), eight), 4);
    const __m128i hi =
        _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(yHi, _mm_unpackhi_epi16(c, c)), eight), 4);
    return _mm_packus_epi16(lo, hi);
}

struct Bgr16 {
    __m128i b, g, r;
};

// 16 pixels of one row from 16 luma bytes and 8 U and V bytes.
inline Bgr16 YuvToBgr16(const uint8_t* y, const uint8_t* u, const uint8_t* v) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i yLo = LumaTerm(_mm_unpacklo_epi8(yy, zero));
    const __m128i yHi = LumaTerm(_mm_unpackhi_epi8(yy, zero));
    const __m128i uu =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)), zero);
    const __m128i vv =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)), zero);
    const ChromaTerms c = ChromaTerm(uu, vv);
    return {Finish(yLo, yHi, c.b), Finish(yLo, yHi, c.g), Finish(yLo, yHi, c.r)};
}

// B, G, R, A interleaved: four vectors of four pixels.
inline void InterleaveBgra(const Bgr16& p, __m128i a, __m128i out[4]) {
    const __m128i bgLo = _mm_unpacklo_epi8(p.b, p.g), bgHi = _mm_unpackhi_epi8(p.b, p.g);
    const __m128i raLo = _mm_unpacklo_epi8(p.r, a), raHi = _mm_unpackhi_epi8(p.r, a);
    out[0] = _mm_unpacklo_epi16(bgLo, raLo);
    out[1] = _mm_unpackhi_epi16(bgLo, raLo);
    out[2] = _mm_unpacklo_epi16(bgHi, raHi);
    out[3] = _mm_unpackhi_epi16(bgHi, raHi);
}

// Byte-shuffle controls that build 48 bytes of B, G, R from three 16-pixel planes: control
// [k][c] picks plane c's bytes for output vector k (0x80 leaves a zero to be or-ed over).
struct Bgr24Shuffles {
    alignas(16) uint8_t control[3][3][16];
};

constexpr Bgr24Shuffles MakeBgr24Shuffles() {
    Bgr24Shuffles s{};
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 16; ++i) {
                const int j = 16 * k + i;
                s.control[k][c][i] = j % 3 == c ? uint8_t(j / 3) : uint8_t(0x80);
            }
    return s;
}

inline constexpr Bgr24Shuffles kBgr24Shuffles = MakeBgr24Shuffles();

}  // namespace sp::x86::colour
