// The start-code search: the reference, the kernel table and the checked entry.
#include <cstddef>

#include "primitives/VideoCoding.h"
#include "primitives/VideoCodingKernels.h"
#include "primitives/dispatch/Entry.h"

namespace {

// A prefix ends in 01 after two zeros, so a byte above 1 at i + 2 rules out prefixes at i, i + 1
// and i + 2 together: most of compressed data is passed three bytes a step.
size_t FindStartCodePlain(const uint8_t* data, size_t size) {
    size_t i = 0;
    while (i + 3 < size) {
        const uint8_t c = data[i + 2];
        if (c > 1) {
            i += 3;
        } else if (c == 1 && data[i + 1] == 0 && data[i] == 0) {
            return i;
        } else {
            ++i;
        }
    }
    return size;
}

}  // namespace

namespace sp::kernels {

#if SP_HAVE_X86_VARIANTS
constinit const Kernel<FindStartCodeFn> findStartCode{
    "vcFindStartCode",
    FindStartCodePlain,
    {{Isa::SSE2, x86::FindStartCodeSse2}, {Isa::AVX2, x86::FindStartCodeAvx2}}};
#else
constinit const Kernel<FindStartCodeFn> findStartCode{"vcFindStartCode", FindStartCodePlain};
#endif

}  // namespace sp::kernels

SpStatus vcFindStartCode(const uint8_t* src, int len, int* offset) {
    if (!src || !offset) return spStsNullPtrErr;
    if (len < 1) return spStsSizeErr;
    *offset = int(sp::kernels::findStartCode.Current()(src, size_t(len)));
    return spStsNoErr;
}
