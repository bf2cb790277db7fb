// AVX2 variants of the 4:2:0 conversions that the decoders run on every picture: 32 pixels of a
// row per step.
#include <immintrin.h>

#include <cstring>
#include <type_traits>

#include "primitives/ColourKernels.h"
#include "primitives/x86/ColourSimd.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::AVX2;
}  // namespace

#include "primitives/x86/ColourYuv420Ops.inc"

SP_CC_PACKED(Yuv420ToYuy2Avx2, Yuv420ToPacked<false>)
SP_CC_PACKED(Yuv420ToUyvyAvx2, Yuv420ToPacked<true>)
SP_CC_PACKED(Yuv420ToRgb24Avx2, Yuv420ToRgb24)
SP_CC_ARGB(Yuv420ToArgb32Avx2, Yuv420ToBgr<4>)

}  // namespace sp::x86

SP_TARGET_END
