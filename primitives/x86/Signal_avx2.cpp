// AVX2 variants of the float vector utilities, and the byte swap (the only set whose swap beats
// the plain loop).
#include <immintrin.h>

#include <cmath>
#include <cstring>

#include "primitives/SignalKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::AVX2;
}  // namespace

#include "primitives/x86/FloatVector.inc"

#define SP_VARIANT(name) name##Avx2
#include "primitives/x86/SignalFloatOps.inc"
#undef SP_VARIANT

void SwapBytes16Avx2(const uint16_t* src, uint16_t* dst, int n) {
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1,
                                          0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_shuffle_epi8(v, swap));
    }
    for (; i < n; ++i) {
        uint16_t v;
        std::memcpy(&v, src + i, 2);
        v = uint16_t((v >> 8) | (v << 8));
        std::memcpy(dst + i, &v, 2);
    }
}

}  // namespace sp::x86

SP_TARGET_END
