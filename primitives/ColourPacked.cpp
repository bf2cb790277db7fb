// Conversions from packed YUV sources (YUY2, UYVY, Y41P): plain versions, tables and entries.
#include "primitives/ColourEngine.h"
#include "primitives/ColourEntry.h"

namespace {

using namespace sp::colour;

template <bool kUyvy>
void ToNv12(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dstY, ptrdiff_t dstYStep,
            uint8_t* dstUV, ptrdiff_t dstUVStep, SpSize roi) {
    Run(Packed422Reader{src, srcStep, kUyvy}, Nv12Writer{dstY, dstYStep, dstUV, dstUVStep}, roi);
}

template <bool kUyvy>
void ToOtherPacked(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                   SpSize roi) {
    Run(Packed422Reader{src, srcStep, kUyvy}, Packed422Writer{dst, dstStep, !kUyvy}, roi);
}

template <bool kUyvy, int kSy>
void ToPlanar(const uint8_t* src, ptrdiff_t srcStep, uint8_t* const dst[3],
              const ptrdiff_t dstStep[3], SpSize roi) {
    Run(Packed422Reader{src, srcStep, kUyvy}, PlanarWriter<2, kSy>{dst, dstStep}, roi);
}

template <bool kUyvy, Rgb kLayout>
void ToRgb(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi) {
    Run(Packed422Reader{src, srcStep, kUyvy}, RgbWriter<kLayout>{dst, dstStep}, roi);
}

template <bool kUyvy>
void ToArgb(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi,
            uint8_t alpha) {
    Run(Packed422Reader{src, srcStep, kUyvy}, RgbWriter<Rgb::Bgra32>{dst, dstStep, alpha}, roi);
}

void Yuy2ToGray8Plain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                      SpSize roi) {
    for (int y = 0; y < roi.height; ++y) {
        const uint8_t* p = src + y * srcStep;
        uint8_t* d = dst + y * dstStep;
        for (int x = 0; x < roi.width; ++x) d[x] = p[2 * x];
    }
}

void Y41pToYuv420Plain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* const dst[3],
                       const ptrdiff_t dstStep[3], SpSize roi) {
    Run(Y41pReader{src, srcStep}, PlanarWriter<2, 2>{dst, dstStep}, roi);
}

void Y411ToYuv411Plain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* const dst[3],
                       const ptrdiff_t dstStep[3], SpSize roi) {
    Run(Y411Reader{src, srcStep}, PlanarWriter<4, 1>{dst, dstStep}, roi);
}

}  // namespace

namespace sp::kernels {
constinit const Kernel<PackedToNv12Fn> yuy2ToNv12{"ccYuy2ToNv12", ToNv12<false>};
constinit const Kernel<PackedToPackedFn> yuy2ToUyvy{"ccYuy2ToUyvy", ToOtherPacked<false>};
constinit const Kernel<PackedToPlanar3Fn> yuy2ToYuv420{"ccYuy2ToYuv420", ToPlanar<false, 2>};
constinit const Kernel<PackedToPlanar3Fn> yuy2ToYuv422{"ccYuy2ToYuv422", ToPlanar<false, 1>};
constinit const Kernel<PackedToPackedFn> yuy2ToRgb24{"ccYuy2ToRgb24", ToRgb<false, Rgb::Bgr24>};
constinit const Kernel<PackedToArgbFn> yuy2ToArgb32{"ccYuy2ToArgb32", ToArgb<false>};
constinit const Kernel<PackedToPackedFn> yuy2ToRgb565{"ccYuy2ToRgb565", ToRgb<false, Rgb::R5G6B5>};
constinit const Kernel<PackedToPackedFn> yuy2ToRgb555{"ccYuy2ToRgb555",
                                                      ToRgb<false, Rgb::X1R5G5B5>};
constinit const Kernel<PackedToPackedFn> yuy2ToRgb16Other{"ccYuy2ToRgb16Other",
                                                          ToRgb<false, Rgb::X4R4G4B4>};
constinit const Kernel<PackedToPackedFn> yuy2ToGray8{"ccYuy2ToGray8", Yuy2ToGray8Plain};
constinit const Kernel<PackedToNv12Fn> uyvyToNv12{"ccUyvyToNv12", ToNv12<true>};
constinit const Kernel<PackedToPackedFn> uyvyToYuy2{"ccUyvyToYuy2", ToOtherPacked<true>};
constinit const Kernel<PackedToPlanar3Fn> uyvyToYuv420{"ccUyvyToYuv420", ToPlanar<true, 2>};
constinit const Kernel<PackedToPlanar3Fn> uyvyToYuv422{"ccUyvyToYuv422", ToPlanar<true, 1>};
constinit const Kernel<PackedToPackedFn> uyvyToRgb24{"ccUyvyToRgb24", ToRgb<true, Rgb::Bgr24>};
constinit const Kernel<PackedToArgbFn> uyvyToArgb32{"ccUyvyToArgb32", ToArgb<true>};
constinit const Kernel<PackedToPlanar3Fn> y41pToYuv420{"ccY41pToYuv420", Y41pToYuv420Plain};
constinit const Kernel<PackedToPlanar3Fn> y411ToYuv411{"ccY411ToYuv411", Y411ToYuv411Plain};
}  // namespace sp::kernels

using namespace sp::kernels;
using namespace sp::colour;

SpStatus ccYuy2ToNv12(const uint8_t* src, int srcStep, uint8_t* dstY, int dstYStep, uint8_t* dstUV,
                      int dstUVStep, SpSize roi) {
    return PackedToNv12(yuy2ToNv12, src, srcStep, dstY, dstYStep, dstUV, dstUVStep, roi);
}
SpStatus ccYuy2ToUyvy(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(yuy2ToUyvy, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuy2ToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi) {
    return PackedToPlanar(yuy2ToYuv420, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuy2ToYuv422(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi) {
    return PackedToPlanar(yuy2ToYuv422, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuy2ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(yuy2ToRgb24, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuy2ToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                        uint8_t alpha) {
    return PackedTo(yuy2ToArgb32, src, srcStep, dst, dstStep, roi, alpha);
}
SpStatus ccYuy2ToRgb565(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(yuy2ToRgb565, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuy2ToRgb555(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(yuy2ToRgb555, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuy2ToRgb16Other(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                            SpSize roi) {
    return PackedTo(yuy2ToRgb16Other, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuy2ToGray8(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(yuy2ToGray8, src, srcStep, dst, dstStep, roi);
}
SpStatus ccUyvyToNv12(const uint8_t* src, int srcStep, uint8_t* dstY, int dstYStep, uint8_t* dstUV,
                      int dstUVStep, SpSize roi) {
    return PackedToNv12(uyvyToNv12, src, srcStep, dstY, dstYStep, dstUV, dstUVStep, roi);
}
SpStatus ccUyvyToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(uyvyToYuy2, src, srcStep, dst, dstStep, roi);
}
SpStatus ccUyvyToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi) {
    return PackedToPlanar(uyvyToYuv420, src, srcStep, dst, dstStep, roi);
}
SpStatus ccUyvyToYuv422(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi) {
    return PackedToPlanar(uyvyToYuv422, src, srcStep, dst, dstStep, roi);
}
SpStatus ccUyvyToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(uyvyToRgb24, src, srcStep, dst, dstStep, roi);
}
SpStatus ccUyvyToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                        uint8_t alpha) {
    return PackedTo(uyvyToArgb32, src, srcStep, dst, dstStep, roi, alpha);
}
SpStatus ccY41pToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi) {
    return PackedToPlanar(y41pToYuv420, src, srcStep, dst, dstStep, roi);
}
SpStatus ccY411ToYuv411(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi) {
    return PackedToPlanar(y411ToYuv411, src, srcStep, dst, dstStep, roi);
}
