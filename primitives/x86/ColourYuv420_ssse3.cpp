// SSSE3 variant of 4:2:0 to RGB24: the byte shuffle packs three pixels into every three bytes.
#include <tmmintrin.h>

#include "primitives/ColourKernels.h"
#include "primitives/x86/ColourSimd.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_SSSE3

namespace sp::x86 {
namespace {

using namespace sp::x86::colour;

__m128i Control(int k, int c) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kBgr24Shuffles.control[k][c]));
}

void StoreBgr24(const Bgr16& p, uint8_t* d) {
    for (int k = 0; k < 3; ++k) {
        const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(p.b, Control(k, 0)),
                                                    _mm_shuffle_epi8(p.g, Control(k, 1))),
                                       _mm_shuffle_epi8(p.r, Control(k, 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * k), v);
    }
}

}  // namespace

SpStatus Yuv420ToRgb24Ssse3(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                            int dstStep, SpSize roi) {
    SpStatus s = sp::colour::CheckYuv420Args(src, srcStep, dst, dstStep, dst, dstStep, roi);
    if (s != spStsNoErr) return s;
    const int pairs = roi.width / 2, rows = roi.height & ~1;
    for (int y = 0; y < rows && pairs > 0; ++y) {
        const uint8_t* py = src[0] + ptrdiff_t(y) * srcStep[0];
        const uint8_t* pu = src[1] + ptrdiff_t(y / 2) * srcStep[1];
        const uint8_t* pv = src[2] + ptrdiff_t(y / 2) * srcStep[2];
        uint8_t* d = dst + ptrdiff_t(y) * dstStep;
        int c = 0;
        for (; c + 8 <= pairs; c += 8)
            StoreBgr24(YuvToBgr16(py + 2 * c, pu + c, pv + c), d + 6 * c);
        sp::colour::Yuv420RowToBgr(py, pu, pv, d, 3, 0, c, pairs);
    }
    return ((roi.width | roi.height) & 1) ? ccStsOddSize : spStsNoErr;
}

}  // namespace sp::x86

SP_TARGET_END
