// SSE2 variants of the synthesis filter bank and the inverse MDCT.
#include <immintrin.h>

#include "primitives/AudioCodingKernels.h"

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::SSE2;
}  // namespace

#include "primitives/x86/FloatVector.inc"

#define SP_VARIANT(name) name##Sse2
#include "primitives/x86/AudioCodingOps.inc"
#undef SP_VARIANT

}  // namespace sp::x86
