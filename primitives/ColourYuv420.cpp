// Conversions from planar YUV sources (4:2:0, NV12, 4:2:2, 4:1:1, YVU9): plain versions, entry
// tables and entries.
#include <cstring>

#include "primitives/ColourEngine.h"
#include "primitives/ColourKernels.h"

namespace {

using namespace sp::colour;

SpStatus CheckPlanar(const uint8_t* const src[3], const int srcStep[3],
                     std::initializer_list<const void*> dst, std::initializer_list<int> dstSteps,
                     SpSize roi) {
    if (!src || !srcStep) return spStsNullPtrErr;
    for (const void* p : dst)
        if (!p) return spStsNullPtrErr;
    SpStatus s = CheckArgs({src[0], src[1], src[2]}, {srcStep[0], srcStep[1], srcStep[2]}, roi);
    if (s != spStsNoErr) return s;
    for (int step : dstSteps)
        if (step < 1) return spStsStepErr;
    return spStsNoErr;
}

SpStatus CheckPlanarToPlanar(const uint8_t* const src[3], const int srcStep[3],
                             uint8_t* const dst[3], const int dstStep[3], SpSize roi) {
    if (!dst || !dstStep) return spStsNullPtrErr;
    return CheckPlanar(src, srcStep, {dst[0], dst[1], dst[2]}, {dstStep[0], dstStep[1], dstStep[2]},
                       roi);
}

// ---- the per-picture conversions of the decoders (SIMD variants in x86/) ------------------------

SpStatus Yuv420ToBgrPlain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi, int bytesPerPixel, uint8_t alpha) {
    SpStatus s = CheckYuv420Args(src, srcStep, dst, dstStep, dst, dstStep, roi);
    if (s != spStsNoErr) return s;
    const int pairs = roi.width / 2, rows = roi.height & ~1;
    for (int y = 0; y < rows && pairs > 0; ++y)
        Yuv420RowToBgr(src[0] + ptrdiff_t(y) * srcStep[0], src[1] + ptrdiff_t(y / 2) * srcStep[1],
                       src[2] + ptrdiff_t(y / 2) * srcStep[2], dst + ptrdiff_t(y) * dstStep,
                       bytesPerPixel, alpha, 0, pairs);
    return ((roi.width | roi.height) & 1) ? ccStsOddSize : spStsNoErr;
}

SpStatus Yuv420ToRgb24Plain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                            int dstStep, SpSize roi) {
    return Yuv420ToBgrPlain(src, srcStep, dst, dstStep, roi, 3, 0);
}

SpStatus Yuv420ToArgb32Plain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                             int dstStep, SpSize roi, uint8_t alpha) {
    return Yuv420ToBgrPlain(src, srcStep, dst, dstStep, roi, 4, alpha);
}

SpStatus Yuv420ToPackedPlain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                             int dstStep, SpSize roi, bool uyvy) {
    SpStatus s = CheckYuv420Args(src, srcStep, dst, dstStep, dst, dstStep, roi);
    if (s != spStsNoErr) return s;
    if (roi.width < 2 || roi.height < 2) return spStsSizeErr;
    const int pairs = roi.width / 2, rows = roi.height & ~1;
    for (int y = 0; y < rows; ++y)
        Yuv420RowToPacked(
            src[0] + ptrdiff_t(y) * srcStep[0], src[1] + ptrdiff_t(y / 2) * srcStep[1],
            src[2] + ptrdiff_t(y / 2) * srcStep[2], dst + ptrdiff_t(y) * dstStep, uyvy, 0, pairs);
    return spStsNoErr;
}

SpStatus Yuv420ToYuy2Plain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                           int dstStep, SpSize roi) {
    return Yuv420ToPackedPlain(src, srcStep, dst, dstStep, roi, false);
}

SpStatus Yuv420ToUyvyPlain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                           int dstStep, SpSize roi) {
    return Yuv420ToPackedPlain(src, srcStep, dst, dstStep, roi, true);
}

SpStatus Yuv420ToNv12Plain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dstY,
                           int dstYStep, uint8_t* dstUV, int dstUVStep, SpSize roi) {
    SpStatus s = CheckYuv420Args(src, srcStep, dstY, dstYStep, dstUV, dstUVStep, roi);
    if (s != spStsNoErr) return s;
    if (roi.width < 2 || roi.height < 2) return spStsSizeErr;
    const int w = roi.width & ~1, h = roi.height & ~1;
    for (int y = 0; y < h; ++y)
        std::memcpy(dstY + ptrdiff_t(y) * dstYStep, src[0] + ptrdiff_t(y) * srcStep[0], size_t(w));
    for (int y = 0; y < h / 2; ++y)
        InterleaveUv(src[1] + ptrdiff_t(y) * srcStep[1], src[2] + ptrdiff_t(y) * srcStep[2],
                     dstUV + ptrdiff_t(y) * dstUVStep, 0, w / 2);
    return spStsNoErr;
}

// ---- the rest, through the row engine -----------------------------------------------------------

// The 4:2:0 to RGB rule: an odd last column or row stays unconverted and gives the warning.
template <class Reader, class Writer>
SpStatus EvenRegionToRgb(const Reader& reader, const Writer& writer, SpSize roi) {
    const SpSize even{roi.width & ~1, roi.height & ~1};
    if (even.width > 0 && even.height > 0) {
        SpStatus s = Run(reader, writer, even);
        if (s < 0) return s;
    }
    return ((roi.width | roi.height) & 1) ? ccStsOddSize : spStsNoErr;
}

template <Rgb kLayout>
SpStatus Yuv420ToRgb16Plain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                            int dstStep, SpSize roi) {
    SpStatus s = CheckPlanar(src, srcStep, {dst}, {dstStep}, roi);
    if (s != spStsNoErr) return s;
    return EvenRegionToRgb(PlanarReader{src, srcStep, 2, 2}, RgbWriter<kLayout>{dst, dstStep}, roi);
}

template <int kSx, int kSy, int kDstSx, int kDstSy>
SpStatus PlanarToPlanarPlain(const uint8_t* const src[3], const int srcStep[3],
                             uint8_t* const dst[3], const int dstStep[3], SpSize roi) {
    SpStatus s = CheckPlanarToPlanar(src, srcStep, dst, dstStep, roi);
    if (s != spStsNoErr) return s;
    return Run(PlanarReader{src, srcStep, kSx, kSy}, PlanarWriter<kDstSx, kDstSy>{dst, dstStep},
               roi);
}

template <int kSx, int kSy, bool kUyvy>
SpStatus PlanarToPacked422Plain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                                int dstStep, SpSize roi) {
    SpStatus s = CheckPlanar(src, srcStep, {dst}, {dstStep}, roi);
    if (s != spStsNoErr) return s;
    return Run(PlanarReader{src, srcStep, kSx, kSy}, Packed422Writer{dst, dstStep, kUyvy}, roi);
}

SpStatus Yuv420ToY41pPlain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                           int dstStep, SpSize roi) {
    SpStatus s = CheckPlanar(src, srcStep, {dst}, {dstStep}, roi);
    if (s != spStsNoErr) return s;
    return Run(PlanarReader{src, srcStep, 2, 2}, Y41pWriter{dst, dstStep}, roi);
}

SpStatus Yvu9ToRgb24Plain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi) {
    SpStatus s = CheckPlanar(src, srcStep, {dst}, {dstStep}, roi);
    if (s != spStsNoErr) return s;
    return Run(PlanarReader{src, srcStep, 4, 4}, RgbWriter<Rgb::Bgr24>{dst, dstStep}, roi);
}

SpStatus Yuv444ToRgb24Plain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                            int dstStep, SpSize roi) {
    SpStatus s = CheckPlanar(src, srcStep, {dst}, {dstStep}, roi);
    if (s != spStsNoErr) return s;
    return Run(PlanarReader{src, srcStep, 1, 1}, RgbWriter<Rgb::Bgr24>{dst, dstStep}, roi);
}

SpStatus Yvu9ToArgb32Plain(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                           int dstStep, SpSize roi, uint8_t alpha) {
    SpStatus s = CheckPlanar(src, srcStep, {dst}, {dstStep}, roi);
    if (s != spStsNoErr) return s;
    return Run(PlanarReader{src, srcStep, 4, 4}, RgbWriter<Rgb::Bgra32>{dst, dstStep, alpha}, roi);
}

// NV12 sources.
SpStatus CheckNv12(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                   std::initializer_list<const void*> dst, std::initializer_list<int> dstSteps,
                   SpSize roi) {
    for (const void* p : dst)
        if (!p) return spStsNullPtrErr;
    SpStatus s = CheckArgs({srcY, srcUV}, {srcYStep, srcUVStep}, roi);
    if (s != spStsNoErr) return s;
    for (int step : dstSteps)
        if (step < 1) return spStsStepErr;
    return spStsNoErr;
}

template <bool kUyvy>
SpStatus Nv12ToPackedPlain(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                           uint8_t* dst, int dstStep, SpSize roi) {
    SpStatus s = CheckNv12(srcY, srcYStep, srcUV, srcUVStep, {dst}, {dstStep}, roi);
    if (s != spStsNoErr) return s;
    return Run(Nv12Reader{srcY, srcYStep, srcUV, srcUVStep}, Packed422Writer{dst, dstStep, kUyvy},
               roi);
}

SpStatus Nv12ToYuv420Plain(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                           uint8_t* const dst[3], const int dstStep[3], SpSize roi) {
    if (!dst || !dstStep) return spStsNullPtrErr;
    SpStatus s = CheckNv12(srcY, srcYStep, srcUV, srcUVStep, {dst[0], dst[1], dst[2]},
                           {dstStep[0], dstStep[1], dstStep[2]}, roi);
    if (s != spStsNoErr) return s;
    return Run(Nv12Reader{srcY, srcYStep, srcUV, srcUVStep}, PlanarWriter<2, 2>{dst, dstStep}, roi);
}

SpStatus Nv12ToRgb24Plain(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                          uint8_t* dst, int dstStep, SpSize roi) {
    SpStatus s = CheckNv12(srcY, srcYStep, srcUV, srcUVStep, {dst}, {dstStep}, roi);
    if (s != spStsNoErr) return s;
    return EvenRegionToRgb(Nv12Reader{srcY, srcYStep, srcUV, srcUVStep},
                           RgbWriter<Rgb::Bgr24>{dst, dstStep}, roi);
}

SpStatus Nv12ToArgb32Plain(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                           uint8_t* dst, int dstStep, SpSize roi, uint8_t alpha) {
    SpStatus s = CheckNv12(srcY, srcYStep, srcUV, srcUVStep, {dst}, {dstStep}, roi);
    if (s != spStsNoErr) return s;
    return EvenRegionToRgb(Nv12Reader{srcY, srcYStep, srcUV, srcUVStep},
                           RgbWriter<Rgb::Bgra32>{dst, dstStep, alpha}, roi);
}

}  // namespace

namespace sp::kernels {
#if SP_HAVE_X86_VARIANTS
constinit const Kernel<Planar3ToPackedFn> yuv420ToRgb24{"ccYuv420ToRgb24",
                                                        Yuv420ToRgb24Plain,
                                                        {{Isa::SSE2, x86::Yuv420ToRgb24Sse2},
                                                         {Isa::SSSE3, x86::Yuv420ToRgb24Ssse3},
                                                         {Isa::AVX2, x86::Yuv420ToRgb24Avx2}}};
constinit const Kernel<Planar3ToArgbFn> yuv420ToArgb32{
    "ccYuv420ToArgb32",
    Yuv420ToArgb32Plain,
    {{Isa::SSE2, x86::Yuv420ToArgb32Sse2}, {Isa::AVX2, x86::Yuv420ToArgb32Avx2}}};
constinit const Kernel<Planar3ToPackedFn> yuv420ToYuy2{
    "ccYuv420ToYuy2", Yuv420ToYuy2Plain, {{Isa::SSE2, x86::Yuv420ToYuy2Sse2}}};
constinit const Kernel<Planar3ToPackedFn> yuv420ToUyvy{
    "ccYuv420ToUyvy", Yuv420ToUyvyPlain, {{Isa::SSE2, x86::Yuv420ToUyvySse2}}};
#else
constinit const Kernel<Planar3ToPackedFn> yuv420ToRgb24{"ccYuv420ToRgb24", Yuv420ToRgb24Plain};
constinit const Kernel<Planar3ToArgbFn> yuv420ToArgb32{"ccYuv420ToArgb32", Yuv420ToArgb32Plain};
constinit const Kernel<Planar3ToPackedFn> yuv420ToYuy2{"ccYuv420ToYuy2", Yuv420ToYuy2Plain};
constinit const Kernel<Planar3ToPackedFn> yuv420ToUyvy{"ccYuv420ToUyvy", Yuv420ToUyvyPlain};
#endif
// Interleaving the chroma planes is as fast in plain code as with any SIMD set.
constinit const Kernel<Planar3ToNv12Fn> yuv420ToNv12{"ccYuv420ToNv12", Yuv420ToNv12Plain};
constinit const Kernel<Planar3ToPackedFn> yuv420ToRgb565{"ccYuv420ToRgb565",
                                                         Yuv420ToRgb16Plain<Rgb::R5G6B5>};
constinit const Kernel<Planar3ToPackedFn> yuv420ToRgb555{"ccYuv420ToRgb555",
                                                         Yuv420ToRgb16Plain<Rgb::X1R5G5B5>};
constinit const Kernel<Planar3ToPackedFn> yuv420ToRgb16Other{"ccYuv420ToRgb16Other",
                                                             Yuv420ToRgb16Plain<Rgb::X4R4G4B4>};
constinit const Kernel<Planar3ToPlanar3Fn> yuv420ToYuv422{"ccYuv420ToYuv422",
                                                          PlanarToPlanarPlain<2, 2, 2, 1>};
constinit const Kernel<Planar3ToPlanar3Fn> yuv420ToYuv411{"ccYuv420ToYuv411",
                                                          PlanarToPlanarPlain<2, 2, 4, 1>};
constinit const Kernel<Planar3ToPackedFn> yuv420ToY41p{"ccYuv420ToY41p", Yuv420ToY41pPlain};

constinit const Kernel<Nv12ToPackedFn> nv12ToYuy2{"ccNv12ToYuy2", Nv12ToPackedPlain<false>};
constinit const Kernel<Nv12ToPackedFn> nv12ToUyvy{"ccNv12ToUyvy", Nv12ToPackedPlain<true>};
constinit const Kernel<Nv12ToPlanar3Fn> nv12ToYuv420{"ccNv12ToYuv420", Nv12ToYuv420Plain};
constinit const Kernel<Nv12ToPackedFn> nv12ToRgb24{"ccNv12ToRgb24", Nv12ToRgb24Plain};
constinit const Kernel<Nv12ToArgbFn> nv12ToArgb32{"ccNv12ToArgb32", Nv12ToArgb32Plain};

constinit const Kernel<Planar3ToPackedFn> yuv422ToYuy2{"ccYuv422ToYuy2",
                                                       PlanarToPacked422Plain<2, 1, false>};
constinit const Kernel<Planar3ToPlanar3Fn> yuv422ToYuv420{"ccYuv422ToYuv420",
                                                          PlanarToPlanarPlain<2, 1, 2, 2>};
constinit const Kernel<Planar3ToPlanar3Fn> yuv411ToYuv420{"ccYuv411ToYuv420",
                                                          PlanarToPlanarPlain<4, 1, 2, 2>};
constinit const Kernel<Planar3ToPackedFn> yuv444ToRgb24{"ccYuv444ToRgb24", Yuv444ToRgb24Plain};
constinit const Kernel<Planar3ToPackedFn> yvu9ToYuy2{"ccYvu9ToYuy2",
                                                     PlanarToPacked422Plain<4, 4, false>};
constinit const Kernel<Planar3ToPackedFn> yvu9ToUyvy{"ccYvu9ToUyvy",
                                                     PlanarToPacked422Plain<4, 4, true>};
constinit const Kernel<Planar3ToPackedFn> yvu9ToRgb24{"ccYvu9ToRgb24", Yvu9ToRgb24Plain};
constinit const Kernel<Planar3ToArgbFn> yvu9ToArgb32{"ccYvu9ToArgb32", Yvu9ToArgb32Plain};
}  // namespace sp::kernels

using namespace sp::kernels;

SpStatus ccYuv420ToRgb24(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                         int dstStep, SpSize roi) {
    return yuv420ToRgb24.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToArgb32(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi, uint8_t alpha) {
    return yuv420ToArgb32.Current()(src, srcStep, dst, dstStep, roi, alpha);
}
SpStatus ccYuv420ToRgb565(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi) {
    return yuv420ToRgb565.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToRgb555(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi) {
    return yuv420ToRgb555.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToRgb16Other(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                              int dstStep, SpSize roi) {
    return yuv420ToRgb16Other.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToYuy2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi) {
    return yuv420ToYuy2.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToUyvy(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi) {
    return yuv420ToUyvy.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToNv12(const uint8_t* const src[3], const int srcStep[3], uint8_t* dstY,
                        int dstYStep, uint8_t* dstUV, int dstUVStep, SpSize roi) {
    return yuv420ToNv12.Current()(src, srcStep, dstY, dstYStep, dstUV, dstUVStep, roi);
}
SpStatus ccYuv420ToYuv422(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return yuv420ToYuv422.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToYuv411(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return yuv420ToYuv411.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToY41p(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi) {
    return yuv420ToY41p.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccNv12ToYuy2(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                      uint8_t* dst, int dstStep, SpSize roi) {
    return nv12ToYuy2.Current()(srcY, srcYStep, srcUV, srcUVStep, dst, dstStep, roi);
}
SpStatus ccNv12ToUyvy(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                      uint8_t* dst, int dstStep, SpSize roi) {
    return nv12ToUyvy.Current()(srcY, srcYStep, srcUV, srcUVStep, dst, dstStep, roi);
}
SpStatus ccNv12ToYuv420(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                        uint8_t* const dst[3], const int dstStep[3], SpSize roi) {
    return nv12ToYuv420.Current()(srcY, srcYStep, srcUV, srcUVStep, dst, dstStep, roi);
}
SpStatus ccNv12ToRgb24(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                       uint8_t* dst, int dstStep, SpSize roi) {
    return nv12ToRgb24.Current()(srcY, srcYStep, srcUV, srcUVStep, dst, dstStep, roi);
}
SpStatus ccNv12ToArgb32(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                        uint8_t* dst, int dstStep, SpSize roi, uint8_t alpha) {
    return nv12ToArgb32.Current()(srcY, srcYStep, srcUV, srcUVStep, dst, dstStep, roi, alpha);
}
SpStatus ccYuv422ToYuy2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi) {
    return yuv422ToYuy2.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv422ToYuv420(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return yuv422ToYuv420.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv411ToYuv420(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return yuv411ToYuv420.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYvu9ToYuy2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                      SpSize roi) {
    return yvu9ToYuy2.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYvu9ToUyvy(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                      SpSize roi) {
    return yvu9ToUyvy.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYvu9ToRgb24(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                       SpSize roi) {
    return yvu9ToRgb24.Current()(src, srcStep, dst, dstStep, roi);
}
SpStatus ccYvu9ToArgb32(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi, uint8_t alpha) {
    return yvu9ToArgb32.Current()(src, srcStep, dst, dstStep, roi, alpha);
}
SpStatus ccYuv444ToRgb24(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                         int dstStep, SpSize roi) {
    return yuv444ToRgb24.Current()(src, srcStep, dst, dstStep, roi);
}
