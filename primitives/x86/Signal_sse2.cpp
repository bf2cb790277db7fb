// SSE2 variants of the float vector utilities.
#include <immintrin.h>

#include <cmath>
#include <cstring>

#include "primitives/SignalKernels.h"

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::SSE2;
}  // namespace

#include "primitives/x86/FloatVector.inc"

#define SP_VARIANT(name) name##Sse2
#include "primitives/x86/SignalFloatOps.inc"
#undef SP_VARIANT

}  // namespace sp::x86
