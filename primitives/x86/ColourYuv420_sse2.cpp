// SSE2 variants of the 4:2:0 conversions that the decoders run on every picture.
#include <emmintrin.h>

#include <cstring>

#include "primitives/ColourKernels.h"
#include "primitives/x86/ColourSimd.h"

namespace sp::x86 {
namespace {

using namespace sp::x86::colour;
using sp::colour::CheckYuv420Args;

template <bool kUyvy, bool kStream>
void PackedRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* d, int pairs) {
    int c = 0;
    for (; c + 8 <= pairs; c += 8) {
        const __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * c));
        const __m128i uv =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + c)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + c)));
        const __m128i lo = kUyvy ? _mm_unpacklo_epi8(uv, yy) : _mm_unpacklo_epi8(yy, uv);
        const __m128i hi = kUyvy ? _mm_unpackhi_epi8(uv, yy) : _mm_unpackhi_epi8(yy, uv);
        __m128i* out = reinterpret_cast<__m128i*>(d + 4 * c);
        if (kStream) {
            _mm_stream_si128(out, lo);
            _mm_stream_si128(out + 1, hi);
        } else {
            _mm_storeu_si128(out, lo);
            _mm_storeu_si128(out + 1, hi);
        }
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
    for (int y = 0; y < rows; ++y) {
        const uint8_t* py = src[0] + ptrdiff_t(y) * srcStep[0];
        const uint8_t* pu = src[1] + ptrdiff_t(y / 2) * srcStep[1];
        const uint8_t* pv = src[2] + ptrdiff_t(y / 2) * srcStep[2];
        uint8_t* d = dst + ptrdiff_t(y) * dstStep;
        if (stream)
            PackedRow<kUyvy, true>(py, pu, pv, d, pairs);
        else
            PackedRow<kUyvy, false>(py, pu, pv, d, pairs);
    }
    if (stream) _mm_sfence();
    return spStsNoErr;
}

// RGB24 without byte shuffles: the pixels go out as overlapping 4-byte words, the last one of
// each group as 3 bytes so that nothing past the group is touched.
void StoreBgr24(const Bgr16& p, uint8_t* d) {
    __m128i q[4];
    InterleaveBgra(p, _mm_setzero_si128(), q);
    alignas(16) uint8_t tmp[64];
    for (int i = 0; i < 4; ++i) _mm_store_si128(reinterpret_cast<__m128i*>(tmp + 16 * i), q[i]);
    for (int i = 0; i < 15; ++i) std::memcpy(d + 3 * i, tmp + 4 * i, 4);
    std::memcpy(d + 45, tmp + 60, 3);
}

template <int kBytesPerPixel>
SpStatus Yuv420ToBgr(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                     SpSize roi, uint8_t alpha) {
    SpStatus s = CheckYuv420Args(src, srcStep, dst, dstStep, dst, dstStep, roi);
    if (s != spStsNoErr) return s;
    const int pairs = roi.width / 2, rows = roi.height & ~1;
    const __m128i a = _mm_set1_epi8(char(alpha));
    for (int y = 0; y < rows && pairs > 0; ++y) {
        const uint8_t* py = src[0] + ptrdiff_t(y) * srcStep[0];
        const uint8_t* pu = src[1] + ptrdiff_t(y / 2) * srcStep[1];
        const uint8_t* pv = src[2] + ptrdiff_t(y / 2) * srcStep[2];
        uint8_t* d = dst + ptrdiff_t(y) * dstStep;
        int c = 0;
        for (; c + 8 <= pairs; c += 8) {
            const Bgr16 p = YuvToBgr16(py + 2 * c, pu + c, pv + c);
            if (kBytesPerPixel == 4) {
                __m128i q[4];
                InterleaveBgra(p, a, q);
                for (int i = 0; i < 4; ++i)
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8 * c + 16 * i), q[i]);
            } else {
                StoreBgr24(p, d + 6 * c);
            }
        }
        sp::colour::Yuv420RowToBgr(py, pu, pv, d, kBytesPerPixel, alpha, c, pairs);
    }
    return ((roi.width | roi.height) & 1) ? ccStsOddSize : spStsNoErr;
}

}  // namespace

SpStatus Yuv420ToYuy2Sse2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi) {
    return Yuv420ToPacked<false>(src, srcStep, dst, dstStep, roi);
}

SpStatus Yuv420ToUyvySse2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi) {
    return Yuv420ToPacked<true>(src, srcStep, dst, dstStep, roi);
}

SpStatus Yuv420ToNv12Sse2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dstY,
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
        for (; c + 16 <= pairs; c += 16) {
            const __m128i uu = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + c));
            const __m128i vv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + c));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * c), _mm_unpacklo_epi8(uu, vv));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * c + 16), _mm_unpackhi_epi8(uu, vv));
        }
        sp::colour::InterleaveUv(u, v, d, c, pairs);
    }
    return spStsNoErr;
}

SpStatus Yuv420ToRgb24Sse2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                           int dstStep, SpSize roi) {
    return Yuv420ToBgr<3>(src, srcStep, dst, dstStep, roi, 0);
}

SpStatus Yuv420ToArgb32Sse2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                            int dstStep, SpSize roi, uint8_t alpha) {
    return Yuv420ToBgr<4>(src, srcStep, dst, dstStep, roi, alpha);
}

}  // namespace sp::x86
