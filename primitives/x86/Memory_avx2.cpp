#include <immintrin.h>

#include <cstring>

#include "primitives/MemoryKernels.h"
#include "primitives/x86/Target.h"

SP_TARGET_BEGIN_AVX2

namespace sp::x86 {
namespace {

bool Overlaps(const uint8_t* a, const uint8_t* b, size_t n) {
    return a < b + n && b < a + n;
}

void StreamCopy(const uint8_t* src, uint8_t* dst, size_t n) {
    size_t head = (32 - (reinterpret_cast<uintptr_t>(dst) & 31)) & 31;
    if (head > n) head = n;
    std::memcpy(dst, src, head);
    src += head;
    dst += head;
    n -= head;
    size_t i = 0;
    for (; i + 128 <= n; i += 128) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32));
        __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 64));
        __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 96));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i), a);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i + 32), b);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i + 64), c);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i + 96), d);
    }
    _mm_sfence();
    std::memcpy(dst + i, src + i, n - i);
}

}  // namespace

SpStatus Copy8uAvx2(const uint8_t* src, uint8_t* dst, int len) {
    if (!src || !dst) return spStsNullPtrErr;
    if (len < 1) return spStsSizeErr;
    const size_t n = size_t(len);
    if (n > size_t(kernels::kStreamingCopyThreshold) && !Overlaps(src, dst, n))
        StreamCopy(src, dst, n);
    else
        std::memmove(dst, src, n);
    return spStsNoErr;
}

SpStatus CopyRegion8uAvx2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    if (!src || !dst) return spStsNullPtrErr;
    if (roi.width < 1 || roi.height < 1) return spStsSizeErr;
    if (srcStep < 1 || dstStep < 1) return spStsStepErr;
    if (srcStep == roi.width && dstStep == roi.width) {
        const size_t n = size_t(roi.width) * size_t(roi.height);
        if (n > size_t(kernels::kStreamingCopyThreshold))
            StreamCopy(src, dst, n);
        else
            std::memcpy(dst, src, n);
        return spStsNoErr;
    }
    for (int y = 0; y < roi.height; ++y)
        std::memcpy(dst + ptrdiff_t(y) * dstStep, src + ptrdiff_t(y) * srcStep, size_t(roi.width));
    return spStsNoErr;
}

}  // namespace sp::x86

SP_TARGET_END
