// SSSE3 variant of 4:2:0 to RGB24: the byte shuffle packs three pixels into every three bytes.
#include <immintrin.h>

#include <cstring>
#include <type_traits>

#include "primitives/ColourKernels.h"
#include "primitives/x86/ColourSimd.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_SSSE3

namespace sp::x86 {
namespace {
constexpr Isa kIsa = Isa::SSSE3;
}  // namespace

#include "primitives/x86/ColourYuv420Ops.inc"

SP_CC_PACKED(Yuv420ToRgb24Ssse3, Yuv420ToRgb24)

}  // namespace sp::x86

SP_TARGET_END
