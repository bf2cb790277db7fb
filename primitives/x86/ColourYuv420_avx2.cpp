// AVX2 variants of the 4:2:0 conversions that the decoders run on every picture: 32 pixels of a
// row per step. Cross-lane permutes restore pixel order after the in-lane unpacks.
#include <immintrin.h>

#include <cstring>

#include "primitives/ColourKernels.h"
#include "primitives/x86/ColourSimd.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {

using namespace sp::x86::colour;
using sp::colour::CheckYuv420Args;

void Store32(uint8_t* d, __m256i v, bool stream) {
    if (stream) {
        // The destination is only known to be 16-byte aligned.
        _mm_stream_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(v));
        _mm_stream_si128(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(v, 1));
    } else {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v);
    }
}

template <bool kUyvy>
void PackedRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* d, int pairs,
               bool stream) {
    int c = 0;
    for (; c + 16 <= pairs; c += 16) {
        const __m256i yy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + 2 * c));
        const __m128i uu = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + c));
        const __m128i vv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + c));
        const __m256i uv = _mm256_set_m128i(_mm_unpackhi_epi8(uu, vv), _mm_unpacklo_epi8(uu, vv));
        const __m256i lo = kUyvy ? _mm256_unpacklo_epi8(uv, yy) : _mm256_unpacklo_epi8(yy, uv);
        const __m256i hi = kUyvy ? _mm256_unpackhi_epi8(uv, yy) : _mm256_unpackhi_epi8(yy, uv);
        Store32(d + 4 * c, _mm256_permute2x128_si256(lo, hi, 0x20), stream);
        Store32(d + 4 * c + 32, _mm256_permute2x128_si256(lo, hi, 0x31), stream);
    }
    sp::colour::Yuv420RowToPacked(y, u, v, d, kUyvy, c, pairs);
}

template <bool kUyvy>
SpStatus Yuv420ToPacked(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi) {
    SpStatus s = CheckYuv420Args(src, srcStep, dst, dstStep, dst, dstStep, roi);
    if (s != spStsNoErr) return s;
    if (roi.width < 2 || roi.height < 2) return spStsSizeErr;
    const int pairs = roi.width / 2, rows = roi.height & ~1;
    const bool stream = sp::colour::UseStreamingStores(src, srcStep, dst, dstStep, roi.height);
    for (int y = 0; y < rows; ++y)
        PackedRow<kUyvy>(src[0] + ptrdiff_t(y) * srcStep[0], src[1] + ptrdiff_t(y / 2) * srcStep[1],
                         src[2] + ptrdiff_t(y / 2) * srcStep[2], dst + ptrdiff_t(y) * dstStep,
                         pairs, stream);
    if (stream) _mm_sfence();
    return spStsNoErr;
}

__m256i LumaTerm(__m256i y16) {
    const __m256i t = _mm256_slli_epi16(_mm256_sub_epi16(y16, _mm256_set1_epi16(16)), 7);
    return _mm256_mulhi_epi16(t, _mm256_set1_epi16(9535));
}

// Chroma term c (16 chroma samples) repeated for both pixels of each pair, added to the luma
// terms of 32 pixels, rounded and packed to 32 bytes in pixel order.
__m256i Finish(__m256i yLo, __m256i yHi, __m256i c) {
    const __m256i eight = _mm256_set1_epi16(8);
    const __m256i q = _mm256_permute4x64_epi64(c, 0xD8);
    const __m256i lo = _mm256_srai_epi16(
        _mm256_add_epi16(_mm256_add_epi16(yLo, _mm256_unpacklo_epi16(q, q)), eight), 4);
    const __m256i hi = _mm256_srai_epi16(
        _mm256_add_epi16(_mm256_add_epi16(yHi, _mm256_unpackhi_epi16(q, q)), eight), 4);
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
}

struct Bgr32 {
    __m256i b, g, r;
};

Bgr32 YuvToBgr32(const uint8_t* y, const uint8_t* u, const uint8_t* v) {
    const __m256i yy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    const __m256i yLo = LumaTerm(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(yy)));
    const __m256i yHi = LumaTerm(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(yy, 1)));
    const __m256i uu = _mm256_slli_epi16(
        _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u))),
                         _mm256_set1_epi16(128)),
        7);
    const __m256i vv = _mm256_slli_epi16(
        _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v))),
                         _mm256_set1_epi16(128)),
        7);
    const __m256i cr = _mm256_mulhi_epi16(vv, _mm256_set1_epi16(13074));
    const __m256i cg = _mm256_add_epi16(_mm256_mulhi_epi16(vv, _mm256_set1_epi16(-6660)),
                                        _mm256_mulhi_epi16(uu, _mm256_set1_epi16(-3211)));
    const __m256i cb = _mm256_mulhi_epi16(uu, _mm256_set1_epi16(16523));
    return {Finish(yLo, yHi, cb), Finish(yLo, yHi, cg), Finish(yLo, yHi, cr)};
}

void StoreBgra(const Bgr32& p, __m256i a, uint8_t* d) {
    const __m256i bgLo = _mm256_unpacklo_epi8(p.b, p.g), bgHi = _mm256_unpackhi_epi8(p.b, p.g);
    const __m256i raLo = _mm256_unpacklo_epi8(p.r, a), raHi = _mm256_unpackhi_epi8(p.r, a);
    const __m256i q0 = _mm256_unpacklo_epi16(bgLo, raLo);  // pixels 0-3 | 16-19
    const __m256i q1 = _mm256_unpackhi_epi16(bgLo, raLo);  // 4-7 | 20-23
    const __m256i q2 = _mm256_unpacklo_epi16(bgHi, raHi);  // 8-11 | 24-27
    const __m256i q3 = _mm256_unpackhi_epi16(bgHi, raHi);  // 12-15 | 28-31
    __m256i* out = reinterpret_cast<__m256i*>(d);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(q0, q1, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(q2, q3, 0x20));
    _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(q0, q1, 0x31));
    _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(q2, q3, 0x31));
}

__m128i Control(int k, int c) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kBgr24Shuffles.control[k][c]));
}

void StoreBgr24Half(__m128i b, __m128i g, __m128i r, uint8_t* d) {
    for (int k = 0; k < 3; ++k) {
        const __m128i v = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(b, Control(k, 0)), _mm_shuffle_epi8(g, Control(k, 1))),
            _mm_shuffle_epi8(r, Control(k, 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * k), v);
    }
}

void StoreBgr24(const Bgr32& p, uint8_t* d) {
    StoreBgr24Half(_mm256_castsi256_si128(p.b), _mm256_castsi256_si128(p.g),
                   _mm256_castsi256_si128(p.r), d);
    StoreBgr24Half(_mm256_extracti128_si256(p.b, 1), _mm256_extracti128_si256(p.g, 1),
                   _mm256_extracti128_si256(p.r, 1), d + 48);
}

template <int kBytesPerPixel>
SpStatus Yuv420ToBgr(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                     SpSize roi, uint8_t alpha) {
    SpStatus s = CheckYuv420Args(src, srcStep, dst, dstStep, dst, dstStep, roi);
    if (s != spStsNoErr) return s;
    const int pairs = roi.width / 2, rows = roi.height & ~1;
    const __m256i a = _mm256_set1_epi8(char(alpha));
    for (int y = 0; y < rows && pairs > 0; ++y) {
        const uint8_t* py = src[0] + ptrdiff_t(y) * srcStep[0];
        const uint8_t* pu = src[1] + ptrdiff_t(y / 2) * srcStep[1];
        const uint8_t* pv = src[2] + ptrdiff_t(y / 2) * srcStep[2];
        uint8_t* d = dst + ptrdiff_t(y) * dstStep;
        int c = 0;
        for (; c + 16 <= pairs; c += 16) {
            const Bgr32 p = YuvToBgr32(py + 2 * c, pu + c, pv + c);
            if (kBytesPerPixel == 4)
                StoreBgra(p, a, d + 8 * c);
            else
                StoreBgr24(p, d + 6 * c);
        }
        sp::colour::Yuv420RowToBgr(py, pu, pv, d, kBytesPerPixel, alpha, c, pairs);
    }
    return ((roi.width | roi.height) & 1) ? ccStsOddSize : spStsNoErr;
}

}  // namespace

SpStatus Yuv420ToYuy2Avx2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi) {
    return Yuv420ToPacked<false>(src, srcStep, dst, dstStep, roi);
}

SpStatus Yuv420ToUyvyAvx2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi) {
    return Yuv420ToPacked<true>(src, srcStep, dst, dstStep, roi);
}

SpStatus Yuv420ToNv12Avx2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dstY,
                          int dstYStep, uint8_t* dstUV, int dstUVStep, SpSize roi) {
    SpStatus s = CheckYuv420Args(src, srcStep, dstY, dstYStep, dstUV, dstUVStep, roi);
    if (s != spStsNoErr) return s;
    if (roi.width < 2 || roi.height < 2) return spStsSizeErr;
    const int w = roi.width & ~1, h = roi.height & ~1, pairs = w / 2;
    for (int y = 0; y < h; ++y)
        std::memcpy(dstY + ptrdiff_t(y) * dstYStep, src[0] + ptrdiff_t(y) * srcStep[0], size_t(w));
    for (int y = 0; y < h / 2; ++y) {
        const uint8_t* u = src[1] + ptrdiff_t(y) * srcStep[1];
        const uint8_t* v = src[2] + ptrdiff_t(y) * srcStep[2];
        uint8_t* d = dstUV + ptrdiff_t(y) * dstUVStep;
        int c = 0;
        for (; c + 32 <= pairs; c += 32) {
            const __m256i uu = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(u + c));
            const __m256i vv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + c));
            const __m256i lo = _mm256_unpacklo_epi8(uu, vv), hi = _mm256_unpackhi_epi8(uu, vv);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 2 * c),
                                _mm256_permute2x128_si256(lo, hi, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 2 * c + 32),
                                _mm256_permute2x128_si256(lo, hi, 0x31));
        }
        sp::colour::InterleaveUv(u, v, d, c, pairs);
    }
    return spStsNoErr;
}

SpStatus Yuv420ToRgb24Avx2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                           int dstStep, SpSize roi) {
    return Yuv420ToBgr<3>(src, srcStep, dst, dstStep, roi, 0);
}

SpStatus Yuv420ToArgb32Avx2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                            int dstStep, SpSize roi, uint8_t alpha) {
    return Yuv420ToBgr<4>(src, srcStep, dst, dstStep, roi, alpha);
}

}  // namespace sp::x86

SP_TARGET_END
