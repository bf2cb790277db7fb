// The entry tables of the colour-conversion kernels (for the variant tests and benchmarks), the
// SIMD variant declarations, and the scalar row code that the plain kernels and the SIMD tails
// share.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "primitives/Colour.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::kernels {

// Source layout -> destination layout. The implementations trust the entries' checks (valid
// pointers, sizes of at least 1, positive steps, parameters in range) and return nothing.
using Steps3 = const ptrdiff_t*;  // the steps of three planes
using Planar3ToPackedFn = void(const uint8_t* const[3], Steps3, uint8_t*, ptrdiff_t, SpSize);
using Planar3ToArgbFn = void(const uint8_t* const[3], Steps3, uint8_t*, ptrdiff_t, SpSize, uint8_t);
using Planar3ToNv12Fn = void(const uint8_t* const[3], Steps3, uint8_t*, ptrdiff_t, uint8_t*,
                             ptrdiff_t, SpSize);
using Planar3ToPlanar3Fn = void(const uint8_t* const[3], Steps3, uint8_t* const[3], Steps3, SpSize);
using Nv12ToPackedFn = void(const uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, uint8_t*,
                            ptrdiff_t, SpSize);
using Nv12ToArgbFn = void(const uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t,
                          SpSize, uint8_t);
using Nv12ToPlanar3Fn = void(const uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t,
                             uint8_t* const[3], Steps3, SpSize);
using PackedToPackedFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize);
using PackedToArgbFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize, uint8_t);
using PackedToNv12Fn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t,
                            SpSize);
using PackedToPlanar3Fn = void(const uint8_t*, ptrdiff_t, uint8_t* const[3], Steps3, SpSize);
using BayerFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize, int);
using LumaStretchFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize, int);

extern const Kernel<Planar3ToPackedFn> yuv420ToRgb24;
extern const Kernel<Planar3ToArgbFn> yuv420ToArgb32;
extern const Kernel<Planar3ToPackedFn> yuv420ToRgb565;
extern const Kernel<Planar3ToPackedFn> yuv420ToRgb555;
extern const Kernel<Planar3ToPackedFn> yuv420ToRgb16Other;
extern const Kernel<Planar3ToPackedFn> yuv420ToYuy2;
extern const Kernel<Planar3ToPackedFn> yuv420ToUyvy;
extern const Kernel<Planar3ToNv12Fn> yuv420ToNv12;
extern const Kernel<Planar3ToPlanar3Fn> yuv420ToYuv422;
extern const Kernel<Planar3ToPlanar3Fn> yuv420ToYuv411;
extern const Kernel<Planar3ToPackedFn> yuv420ToY41p;

extern const Kernel<Nv12ToPackedFn> nv12ToYuy2;
extern const Kernel<Nv12ToPackedFn> nv12ToUyvy;
extern const Kernel<Nv12ToPlanar3Fn> nv12ToYuv420;
extern const Kernel<Nv12ToPackedFn> nv12ToRgb24;
extern const Kernel<Nv12ToArgbFn> nv12ToArgb32;

extern const Kernel<PackedToNv12Fn> yuy2ToNv12;
extern const Kernel<PackedToPackedFn> yuy2ToUyvy;
extern const Kernel<PackedToPlanar3Fn> yuy2ToYuv420;
extern const Kernel<PackedToPlanar3Fn> yuy2ToYuv422;
extern const Kernel<PackedToPackedFn> yuy2ToRgb24;
extern const Kernel<PackedToArgbFn> yuy2ToArgb32;
extern const Kernel<PackedToPackedFn> yuy2ToRgb565;
extern const Kernel<PackedToPackedFn> yuy2ToRgb555;
extern const Kernel<PackedToPackedFn> yuy2ToRgb16Other;
extern const Kernel<PackedToPackedFn> yuy2ToGray8;
extern const Kernel<PackedToNv12Fn> uyvyToNv12;
extern const Kernel<PackedToPackedFn> uyvyToYuy2;
extern const Kernel<PackedToPlanar3Fn> uyvyToYuv420;
extern const Kernel<PackedToPlanar3Fn> uyvyToYuv422;
extern const Kernel<PackedToPackedFn> uyvyToRgb24;
extern const Kernel<PackedToArgbFn> uyvyToArgb32;

extern const Kernel<Planar3ToPackedFn> yuv422ToYuy2;
extern const Kernel<Planar3ToPlanar3Fn> yuv422ToYuv420;
extern const Kernel<Planar3ToPlanar3Fn> yuv411ToYuv420;
extern const Kernel<PackedToPlanar3Fn> y41pToYuv420;
extern const Kernel<Planar3ToPackedFn> yuv444ToRgb24;
extern const Kernel<PackedToPlanar3Fn> y411ToYuv411;
extern const Kernel<Planar3ToPackedFn> yvu9ToYuy2;
extern const Kernel<Planar3ToPackedFn> yvu9ToUyvy;
extern const Kernel<Planar3ToPackedFn> yvu9ToRgb24;
extern const Kernel<Planar3ToArgbFn> yvu9ToArgb32;

extern const Kernel<PackedToPackedFn> rgb24ToYuy2;
extern const Kernel<PackedToPlanar3Fn> rgb24ToYuv420;
extern const Kernel<PackedToArgbFn> rgb24ToArgb32;
extern const Kernel<PackedToPackedFn> argb32ToYuy2;
extern const Kernel<PackedToPackedFn> argb32ToRgb24;
extern const Kernel<PackedToArgbFn> argb32ToArgb32;
extern const Kernel<PackedToPackedFn> rgb565ToYuy2;
extern const Kernel<PackedToPlanar3Fn> rgb565ToYuv420;
extern const Kernel<PackedToPackedFn> rgb565ToRgb24;
extern const Kernel<PackedToPackedFn> rgb555ToYuy2;
extern const Kernel<PackedToPlanar3Fn> rgb555ToYuv420;
extern const Kernel<PackedToPackedFn> rgb555ToRgb24;
extern const Kernel<PackedToPackedFn> gray8ToYuy2;
extern const Kernel<PackedToPackedFn> gray8ToRgb24;
extern const Kernel<PackedToArgbFn> gray8ToArgb32;

extern const Kernel<BayerFn> bayerToRgb24;
extern const Kernel<LumaStretchFn> lumaRangeStretch;

// ccYuv420ToYuy2 / ccYuv420ToUyvy write with stores that bypass the cache when every pointer and
// step is a multiple of 16 (32 for AVX2's stores) and height x (sum of the four steps) is above
// this: pictures larger than a last-level cache. Below it cached stores measured faster (a 1080p
// picture 10-15%), and the picture stays in the cache for whoever reads it next.
inline constexpr int64_t kYuy2StreamingThreshold = 0x1800000;

}  // namespace sp::kernels

// SIMD variants, registered where they beat the next lower set: packed 4:2:2 is bound by memory
// (SSE2 writes it with cache-bypassing stores), NV12 interleaving is as fast in plain code.
namespace sp::x86 {
kernels::Planar3ToPackedFn Yuv420ToYuy2Sse2, Yuv420ToUyvySse2, Yuv420ToYuy2Avx2, Yuv420ToUyvyAvx2,
    Yuv420ToRgb24Sse2, Yuv420ToRgb24Ssse3, Yuv420ToRgb24Avx2;
kernels::Planar3ToArgbFn Yuv420ToArgb32Sse2, Yuv420ToArgb32Avx2;
}  // namespace sp::x86

// Scalar pieces shared by the plain kernels and the tails of the SIMD variants.
namespace sp::colour {

inline uint8_t Clamp255(int v) {
    return uint8_t(std::clamp(v, 0, 255));
}

// BT.601 video range to B, G, R in the 16-bit fixed point of the 4:2:0 kernels (coefficients in
// units of 1/8192, four fraction bits kept until the final rounding).
inline void YuvToBgr(int Y, int U, int V, uint8_t* bgr) {
    const int y = ((Y - 16) * 128 * 9535) >> 16;
    const int u = (U - 128) * 128;
    const int v = (V - 128) * 128;
    const int r = y + ((v * 13074) >> 16);
    const int g = y + ((v * -6660) >> 16) + ((u * -3211) >> 16);
    const int b = y + ((u * 16523) >> 16);
    bgr[0] = Clamp255((b + 8) >> 4);
    bgr[1] = Clamp255((g + 8) >> 4);
    bgr[2] = Clamp255((r + 8) >> 4);
}

// One 4:2:0 luma row into B, G, R (bytesPerPixel 3) or B, G, R, A (4), pixel pairs c0..c1-1.
inline void Yuv420RowToBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                           int bytesPerPixel, uint8_t alpha, int c0, int c1) {
    for (int c = c0; c < c1; ++c) {
        for (int k = 0; k < 2; ++k) {
            uint8_t* p = dst + (2 * c + k) * bytesPerPixel;
            YuvToBgr(y[2 * c + k], u[c], v[c], p);
            if (bytesPerPixel == 4) p[3] = alpha;
        }
    }
}

// One luma row with its chroma row into packed 4:2:2, pixel pairs c0..c1-1. uyvy selects the
// U, Y0, V, Y1 byte order instead of Y0, U, Y1, V.
inline void Yuv420RowToPacked(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                              bool uyvy, int c0, int c1) {
    for (int c = c0; c < c1; ++c) {
        uint8_t* p = dst + 4 * c;
        if (uyvy) {
            p[0] = u[c], p[1] = y[2 * c], p[2] = v[c], p[3] = y[2 * c + 1];
        } else {
            p[0] = y[2 * c], p[1] = u[c], p[2] = y[2 * c + 1], p[3] = v[c];
        }
    }
}

inline void InterleaveUv(const uint8_t* u, const uint8_t* v, uint8_t* uv, int c0, int c1) {
    for (int c = c0; c < c1; ++c) uv[2 * c] = u[c], uv[2 * c + 1] = v[c];
}

// True when the 4:2:0 to packed 4:2:2 kernel takes its cache-bypassing path.
inline bool UseStreamingStores(const uint8_t* const src[3], const ptrdiff_t srcStep[3],
                               const uint8_t* dst, ptrdiff_t dstStep, int height) {
    auto aligned = [](const void* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; };
    if (!aligned(src[0]) || !aligned(src[1]) || !aligned(src[2]) || !aligned(dst)) return false;
    if ((srcStep[0] | srcStep[1] | srcStep[2] | dstStep) & 15) return false;
    const int64_t total = height * (srcStep[0] + srcStep[1] + srcStep[2] + dstStep);
    return total > kernels::kYuy2StreamingThreshold;
}

}  // namespace sp::colour
