// SSSE3 video coding kernels: the shared prediction and inverse DCT bodies.
#include <immintrin.h>

#include <cstddef>
#include <type_traits>

#include "primitives/VideoCodingIdct.h"
#include "primitives/VideoCodingKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_SSSE3

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::SSSE3;
}  // namespace

#define SP_VARIANT(name) name##Ssse3
#include "primitives/x86/VideoCodingOps.inc"
#undef SP_VC_PREDICT
#undef SP_VARIANT

}  // namespace sp::x86

SP_TARGET_END
