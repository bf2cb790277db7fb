#include <immintrin.h>

#include <cstring>

#include "primitives/SignalKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_SSSE3

namespace sp::x86 {

SpStatus SwapBytes16Ssse3(const uint16_t* src, uint16_t* dst, int n) {
    if (!src || !dst) return spStsNullPtrErr;
    if (n < 1) return spStsSizeErr;
    const __m128i swap = _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_shuffle_epi8(v, swap));
    }
    for (; i < n; ++i) {
        uint16_t v;
        std::memcpy(&v, src + i, 2);
        v = uint16_t((v >> 8) | (v << 8));
        std::memcpy(dst + i, &v, 2);
    }
    return spStsNoErr;
}

}  // namespace sp::x86

SP_TARGET_END
