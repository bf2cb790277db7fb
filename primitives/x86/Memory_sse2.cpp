#include <emmintrin.h>

#include <cstring>

#include "primitives/MemoryKernels.h"

namespace sp::x86 {
namespace {

bool Overlaps(const uint8_t* a, const uint8_t* b, size_t n) {
    return a < b + n && b < a + n;
}

// Copies n bytes with non-temporal stores once the destination is 16-byte aligned.
void StreamCopy(const uint8_t* src, uint8_t* dst, size_t n) {
    size_t head = (16 - (reinterpret_cast<uintptr_t>(dst) & 15)) & 15;
    if (head > n) head = n;
    std::memcpy(dst, src, head);
    src += head;
    dst += head;
    n -= head;
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 32));
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 48));
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i), a);
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 16), b);
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 32), c);
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 48), d);
    }
    _mm_sfence();
    std::memcpy(dst + i, src + i, n - i);
}

}  // namespace

void Copy8uSse2(const uint8_t* src, uint8_t* dst, int len) {
    const size_t n = size_t(len);
    if (n > size_t(kernels::kStreamingCopyThreshold) && !Overlaps(src, dst, n))
        StreamCopy(src, dst, n);
    else
        std::memmove(dst, src, n);
}

void Set16sSse2(int16_t value, int16_t* dst, int len) {
    const __m128i v = _mm_set1_epi16(value);
    int i = 0;
    for (; i + 8 <= len; i += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
    for (; i < len; ++i) dst[i] = value;
}

void CopyRegionStores8uSse2(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                            SpSize roi, bool stream) {
    const size_t width = size_t(roi.width);
    if (srcStep == roi.width && dstStep == roi.width) {
        const size_t n = width * size_t(roi.height);
        if (stream)
            StreamCopy(src, dst, n);
        else
            std::memcpy(dst, src, n);
        return;
    }
    for (int y = 0; y < roi.height; ++y) {
        if (stream)
            StreamCopy(src + y * srcStep, dst + y * dstStep, width);
        else
            std::memcpy(dst + y * dstStep, src + y * srcStep, width);
    }
}

void CopyRegion8uSse2(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                      SpSize roi) {
    // Only a single run streams: a picture's worth of bytes that nobody reads again soon.
    const bool run = srcStep == roi.width && dstStep == roi.width;
    const bool large = int64_t(roi.width) * roi.height > kernels::kStreamingCopyThreshold;
    CopyRegionStores8uSse2(src, srcStep, dst, dstStep, roi, run && large);
}

}  // namespace sp::x86
