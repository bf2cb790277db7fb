// Conversions from planar YUV sources (4:2:0, NV12, 4:2:2, 4:1:1, YVU9): plain versions, entry
// tables and entries.
#include <cstring>

#include "primitives/ColourEngine.h"
#include "primitives/ColourEntry.h"

namespace {

using namespace sp::colour;

// ---- the per-picture conversions of the decoders (SIMD variants in x86/) ------------------------

void Yuv420ToBgrPlain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dst,
                      ptrdiff_t dstStep, SpSize roi, int bytesPerPixel, uint8_t alpha) {
    const int pairs = roi.width / 2, rows = roi.height & ~1;
    for (int y = 0; y < rows && pairs > 0; ++y)
        Yuv420RowToBgr(src[0] + y * srcStep[0], src[1] + y / 2 * srcStep[1],
                       src[2] + y / 2 * srcStep[2], dst + y * dstStep, bytesPerPixel, alpha, 0,
                       pairs);
}

void Yuv420ToRgb24Plain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dst,
                        ptrdiff_t dstStep, SpSize roi) {
    Yuv420ToBgrPlain(src, srcStep, dst, dstStep, roi, 3, 0);
}

void Yuv420ToArgb32Plain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dst,
                         ptrdiff_t dstStep, SpSize roi, uint8_t alpha) {
    Yuv420ToBgrPlain(src, srcStep, dst, dstStep, roi, 4, alpha);
}

template <bool kUyvy>
void Yuv420ToPackedPlain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dst,
                         ptrdiff_t dstStep, SpSize roi) {
    const int pairs = roi.width / 2, rows = roi.height & ~1;
    for (int y = 0; y < rows; ++y)
        Yuv420RowToPacked(src[0] + y * srcStep[0], src[1] + y / 2 * srcStep[1],
                          src[2] + y / 2 * srcStep[2], dst + y * dstStep, kUyvy, 0, pairs);
}

// A w x h region of bytes, as one run when both steps are the width.
void CopyRows(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, int w,
              int h) {
    if (srcStep == w && dstStep == w) {
        std::memcpy(dst, src, size_t(w) * size_t(h));
        return;
    }
    for (int y = 0; y < h; ++y) std::memcpy(dst + y * dstStep, src + y * srcStep, size_t(w));
}

void Yuv420ToNv12Plain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dstY,
                       ptrdiff_t dstYStep, uint8_t* dstUV, ptrdiff_t dstUVStep, SpSize roi) {
    const int w = roi.width & ~1, h = roi.height & ~1;
    CopyRows(src[0], srcStep[0], dstY, dstYStep, w, h);
    for (int y = 0; y < h / 2; ++y)
        InterleaveUv(src[1] + y * srcStep[1], src[2] + y * srcStep[2], dstUV + y * dstUVStep, 0,
                     w / 2);
}

// ---- the rest, through the row engine -----------------------------------------------------------

// The 4:2:0 to RGB rule: an odd last column or row stays unconverted.
template <class Reader, class Writer>
void EvenRegionToRgb(const Reader& reader, const Writer& writer, SpSize roi) {
    const SpSize even{roi.width & ~1, roi.height & ~1};
    if (even.width > 0 && even.height > 0) Run(reader, writer, even);
}

template <Rgb kLayout>
void Yuv420ToRgb16Plain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dst,
                        ptrdiff_t dstStep, SpSize roi) {
    EvenRegionToRgb(PlanarReader{src, srcStep, 2, 2}, RgbWriter<kLayout>{dst, dstStep}, roi);
}

template <int kSx, int kSy, int kDstSx, int kDstSy>
void PlanarToPlanarPlain(const uint8_t* const src[3], const ptrdiff_t srcStep[3],
                         uint8_t* const dst[3], const ptrdiff_t dstStep[3], SpSize roi) {
    Run(PlanarReader{src, srcStep, kSx, kSy}, PlanarWriter<kDstSx, kDstSy>{dst, dstStep}, roi);
}

template <int kSx, int kSy, bool kUyvy>
void PlanarToPacked422Plain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dst,
                            ptrdiff_t dstStep, SpSize roi) {
    Run(PlanarReader{src, srcStep, kSx, kSy}, Packed422Writer{dst, dstStep, kUyvy}, roi);
}

void Yuv420ToY41pPlain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dst,
                       ptrdiff_t dstStep, SpSize roi) {
    Run(PlanarReader{src, srcStep, 2, 2}, Y41pWriter{dst, dstStep}, roi);
}

template <int kS>
void PlanarToRgb24Plain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dst,
                        ptrdiff_t dstStep, SpSize roi) {
    Run(PlanarReader{src, srcStep, kS, kS}, RgbWriter<Rgb::Bgr24>{dst, dstStep}, roi);
}

void Yvu9ToArgb32Plain(const uint8_t* const src[3], const ptrdiff_t srcStep[3], uint8_t* dst,
                       ptrdiff_t dstStep, SpSize roi, uint8_t alpha) {
    Run(PlanarReader{src, srcStep, 4, 4}, RgbWriter<Rgb::Bgra32>{dst, dstStep, alpha}, roi);
}

// NV12 sources.
template <bool kUyvy>
void Nv12ToPackedPlain(const uint8_t* srcY, ptrdiff_t srcYStep, const uint8_t* srcUV,
                       ptrdiff_t srcUVStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi) {
    Run(Nv12Reader{srcY, srcYStep, srcUV, srcUVStep}, Packed422Writer{dst, dstStep, kUyvy}, roi);
}

void Nv12ToYuv420Plain(const uint8_t* srcY, ptrdiff_t srcYStep, const uint8_t* srcUV,
                       ptrdiff_t srcUVStep, uint8_t* const dst[3], const ptrdiff_t dstStep[3],
                       SpSize roi) {
    Run(Nv12Reader{srcY, srcYStep, srcUV, srcUVStep}, PlanarWriter<2, 2>{dst, dstStep}, roi);
}

void Nv12ToRgb24Plain(const uint8_t* srcY, ptrdiff_t srcYStep, const uint8_t* srcUV,
                      ptrdiff_t srcUVStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi) {
    EvenRegionToRgb(Nv12Reader{srcY, srcYStep, srcUV, srcUVStep},
                    RgbWriter<Rgb::Bgr24>{dst, dstStep}, roi);
}

void Nv12ToArgb32Plain(const uint8_t* srcY, ptrdiff_t srcYStep, const uint8_t* srcUV,
                       ptrdiff_t srcUVStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi,
                       uint8_t alpha) {
    EvenRegionToRgb(Nv12Reader{srcY, srcYStep, srcUV, srcUVStep},
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
    "ccYuv420ToYuy2",
    Yuv420ToPackedPlain<false>,
    {{Isa::SSE2, x86::Yuv420ToYuy2Sse2}, {Isa::AVX2, x86::Yuv420ToYuy2Avx2}}};
constinit const Kernel<Planar3ToPackedFn> yuv420ToUyvy{
    "ccYuv420ToUyvy",
    Yuv420ToPackedPlain<true>,
    {{Isa::SSE2, x86::Yuv420ToUyvySse2}, {Isa::AVX2, x86::Yuv420ToUyvyAvx2}}};
#else
constinit const Kernel<Planar3ToPackedFn> yuv420ToRgb24{"ccYuv420ToRgb24", Yuv420ToRgb24Plain};
constinit const Kernel<Planar3ToArgbFn> yuv420ToArgb32{"ccYuv420ToArgb32", Yuv420ToArgb32Plain};
constinit const Kernel<Planar3ToPackedFn> yuv420ToYuy2{"ccYuv420ToYuy2",
                                                       Yuv420ToPackedPlain<false>};
constinit const Kernel<Planar3ToPackedFn> yuv420ToUyvy{"ccYuv420ToUyvy", Yuv420ToPackedPlain<true>};
#endif
// The compiler vectorises the plain interleave with the unpacks an SSE2 or AVX2 version would
// use; written by hand in either, it measured no faster (the conversion runs at memory speed).
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
constinit const Kernel<Planar3ToPackedFn> yuv444ToRgb24{"ccYuv444ToRgb24", PlanarToRgb24Plain<1>};
constinit const Kernel<Planar3ToPackedFn> yvu9ToYuy2{"ccYvu9ToYuy2",
                                                     PlanarToPacked422Plain<4, 4, false>};
constinit const Kernel<Planar3ToPackedFn> yvu9ToUyvy{"ccYvu9ToUyvy",
                                                     PlanarToPacked422Plain<4, 4, true>};
constinit const Kernel<Planar3ToPackedFn> yvu9ToRgb24{"ccYvu9ToRgb24", PlanarToRgb24Plain<4>};
constinit const Kernel<Planar3ToArgbFn> yvu9ToArgb32{"ccYvu9ToArgb32", Yvu9ToArgb32Plain};
}  // namespace sp::kernels

using namespace sp::kernels;
using sp::colour::Region;

SpStatus ccYuv420ToRgb24(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                         int dstStep, SpSize roi) {
    return PlanarTo(yuv420ToRgb24, Region::kEvenToRgb, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToArgb32(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi, uint8_t alpha) {
    return PlanarTo(yuv420ToArgb32, Region::kEvenToRgb, src, srcStep, dst, dstStep, roi, alpha);
}
SpStatus ccYuv420ToRgb565(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi) {
    return PlanarTo(yuv420ToRgb565, Region::kEvenToRgb, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToRgb555(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi) {
    return PlanarTo(yuv420ToRgb555, Region::kEvenToRgb, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToRgb16Other(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                              int dstStep, SpSize roi) {
    return PlanarTo(yuv420ToRgb16Other, Region::kEvenToRgb, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToYuy2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi) {
    return PlanarTo(yuv420ToYuy2, Region::kEven2x2, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToUyvy(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi) {
    return PlanarTo(yuv420ToUyvy, Region::kEven2x2, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToNv12(const uint8_t* const src[3], const int srcStep[3], uint8_t* dstY,
                        int dstYStep, uint8_t* dstUV, int dstUVStep, SpSize roi) {
    const sp::colour::Sources s{src, srcStep};
    return sp::RunChecked(Check(roi, Region::kEven2x2, s, sp::colour::Plane{dstY, dstYStep},
                                sp::colour::Plane{dstUV, dstUVStep}),
                          [&] {
                              yuv420ToNv12.Current()(src, s.Steps().data(), dstY, dstYStep, dstUV,
                                                     dstUVStep, roi);
                          });
}
SpStatus ccYuv420ToYuv422(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return PlanarToPlanar(yuv420ToYuv422, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToYuv411(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return PlanarToPlanar(yuv420ToYuv411, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv420ToY41p(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi) {
    return PlanarTo(yuv420ToY41p, Region::kWhole, src, srcStep, dst, dstStep, roi);
}
SpStatus ccNv12ToYuy2(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                      uint8_t* dst, int dstStep, SpSize roi) {
    return Nv12To(nv12ToYuy2, Region::kWhole, srcY, srcYStep, srcUV, srcUVStep, dst, dstStep, roi);
}
SpStatus ccNv12ToUyvy(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                      uint8_t* dst, int dstStep, SpSize roi) {
    return Nv12To(nv12ToUyvy, Region::kWhole, srcY, srcYStep, srcUV, srcUVStep, dst, dstStep, roi);
}
SpStatus ccNv12ToYuv420(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                        uint8_t* const dst[3], const int dstStep[3], SpSize roi) {
    const sp::colour::Destinations d{dst, dstStep};
    return sp::RunChecked(Check(roi, Region::kWhole, sp::colour::Plane{srcY, srcYStep},
                                sp::colour::Plane{srcUV, srcUVStep}, d),
                          [&] {
                              nv12ToYuv420.Current()(srcY, srcYStep, srcUV, srcUVStep, dst,
                                                     d.Steps().data(), roi);
                          });
}
SpStatus ccNv12ToRgb24(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                       uint8_t* dst, int dstStep, SpSize roi) {
    return Nv12To(nv12ToRgb24, Region::kEvenToRgb, srcY, srcYStep, srcUV, srcUVStep, dst, dstStep,
                  roi);
}
SpStatus ccNv12ToArgb32(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                        uint8_t* dst, int dstStep, SpSize roi, uint8_t alpha) {
    return Nv12To(nv12ToArgb32, Region::kEvenToRgb, srcY, srcYStep, srcUV, srcUVStep, dst, dstStep,
                  roi, alpha);
}
SpStatus ccYuv422ToYuy2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi) {
    return PlanarTo(yuv422ToYuy2, Region::kWhole, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv422ToYuv420(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return PlanarToPlanar(yuv422ToYuv420, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYuv411ToYuv420(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return PlanarToPlanar(yuv411ToYuv420, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYvu9ToYuy2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                      SpSize roi) {
    return PlanarTo(yvu9ToYuy2, Region::kWhole, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYvu9ToUyvy(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                      SpSize roi) {
    return PlanarTo(yvu9ToUyvy, Region::kWhole, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYvu9ToRgb24(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                       SpSize roi) {
    return PlanarTo(yvu9ToRgb24, Region::kWhole, src, srcStep, dst, dstStep, roi);
}
SpStatus ccYvu9ToArgb32(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi, uint8_t alpha) {
    return PlanarTo(yvu9ToArgb32, Region::kWhole, src, srcStep, dst, dstStep, roi, alpha);
}
SpStatus ccYuv444ToRgb24(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                         int dstStep, SpSize roi) {
    return PlanarTo(yuv444ToRgb24, Region::kWhole, src, srcStep, dst, dstStep, roi);
}
