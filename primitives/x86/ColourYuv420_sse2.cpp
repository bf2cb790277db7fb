// SSE2 variants of the 4:2:0 conversions that the decoders run on every picture.
#include <immintrin.h>

#include <cstring>
#include <type_traits>

#include "primitives/ColourKernels.h"
#include "primitives/x86/ColourSimd.h"

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::SSE2;
}  // namespace

#include "primitives/x86/ColourYuv420Ops.inc"

SP_CC_PACKED(Yuv420ToYuy2Sse2, Yuv420ToPacked<false>)
SP_CC_PACKED(Yuv420ToUyvySse2, Yuv420ToPacked<true>)
SP_CC_PACKED(Yuv420ToRgb24Sse2, Yuv420ToRgb24)
SP_CC_ARGB(Yuv420ToArgb32Sse2, Yuv420ToBgr<4>)

}  // namespace sp::x86
