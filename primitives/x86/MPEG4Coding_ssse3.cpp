#include <immintrin.h>

#include "primitives/MPEG4CodingKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_SSSE3

namespace sp::x86 {

#define SP_VARIANT(name) name##Ssse3
#include "primitives/x86/MPEG4CodingQuarterPel.inc"
#undef SP_VARIANT

}  // namespace sp::x86

SP_TARGET_END
