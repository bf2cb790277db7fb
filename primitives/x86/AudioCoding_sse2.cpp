#include <emmintrin.h>

#include "primitives/AudioCodingKernels.h"
#include "primitives/Memory.h"

namespace sp::x86 {
namespace {

using V = __m128;
constexpr int kLanes = 4;
inline V LoadU(const float* p) {
    return _mm_loadu_ps(p);
}
inline void StoreU(float* p, V v) {
    _mm_storeu_ps(p, v);
}
inline V Set1(float x) {
    return _mm_set1_ps(x);
}
inline V Zero() {
    return _mm_setzero_ps();
}
inline V Mul(V a, V b) {
    return _mm_mul_ps(a, b);
}
inline V Add(V a, V b) {
    return _mm_add_ps(a, b);
}
inline V Sub(V a, V b) {
    return _mm_sub_ps(a, b);
}
constexpr int kLanesLog2 = 2;
inline void Transpose(V (&r)[4]) {
    _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
}

}  // namespace

#define SP_VARIANT(name) name##Sse2
#include "primitives/x86/AudioCodingOps.inc"
#undef SP_VARIANT

}  // namespace sp::x86
