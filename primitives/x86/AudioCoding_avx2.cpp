#include <immintrin.h>

#include "primitives/AudioCodingKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {

using V = __m256;
constexpr int kLanes = 8;
inline V LoadU(const float* p) {
    return _mm256_loadu_ps(p);
}
inline void StoreU(float* p, V v) {
    _mm256_storeu_ps(p, v);
}
inline V Set1(float x) {
    return _mm256_set1_ps(x);
}
inline V Zero() {
    return _mm256_setzero_ps();
}
inline V Mul(V a, V b) {
    return _mm256_mul_ps(a, b);
}
inline V Add(V a, V b) {
    return _mm256_add_ps(a, b);
}

}  // namespace

#define SP_VARIANT(name) name##Avx2
#include "primitives/x86/AudioCodingOps.inc"
#undef SP_VARIANT

}  // namespace sp::x86

SP_TARGET_END
