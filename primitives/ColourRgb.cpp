// Conversions from RGB and grey sources, Bayer demosaicing and the luma range stretch: plain
// versions, tables and entries.
#include <cstdlib>

#include "primitives/ColourEngine.h"
#include "primitives/ColourEntry.h"

namespace {

using namespace sp::colour;

template <class Reader>
void ToYuy2(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi) {
    Run(Reader{src, srcStep}, Packed422Writer{dst, dstStep, false}, roi);
}

template <class Reader>
void ToYuv420(const uint8_t* src, ptrdiff_t srcStep, uint8_t* const dst[3],
              const ptrdiff_t dstStep[3], SpSize roi) {
    Run(Reader{src, srcStep}, PlanarWriter<2, 2>{dst, dstStep}, roi);
}

template <class Reader>
void ToRgb24(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi) {
    Run(Reader{src, srcStep}, RgbWriter<Rgb::Bgr24>{dst, dstStep}, roi);
}

template <class Reader>
void ToArgb32(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, SpSize roi,
              uint8_t alpha) {
    Run(Reader{src, srcStep}, RgbWriter<Rgb::Bgra32>{dst, dstStep, alpha}, roi);
}

using Bgr24 = RgbReader<Rgb::Bgr24>;
using Bgra32 = RgbReader<Rgb::Bgra32>;
using R5G6B5 = RgbReader<Rgb::R5G6B5>;
using X1R5G5B5 = RgbReader<Rgb::X1R5G5B5>;

void Argb32ToArgb32Plain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                         SpSize roi, uint8_t alpha) {
    for (int y = 0; y < roi.height; ++y) {
        const uint8_t* p = src + y * srcStep;
        uint8_t* d = dst + y * dstStep;
        for (int x = 0; x < roi.width; ++x)
            d[4 * x] = p[4 * x], d[4 * x + 1] = p[4 * x + 1], d[4 * x + 2] = p[4 * x + 2],
                  d[4 * x + 3] = alpha;
    }
}

// Colour of each position of the 2x2 mosaic cell (0 red, 1 green, 2 blue), per layout.
constexpr int kBayerCell[4][4] = {{0, 1, 1, 2}, {1, 2, 0, 1}, {1, 0, 2, 1}, {2, 1, 1, 0}};

// Mirror about the edge; keeps the parity, so the mosaic colour of the mirrored sample matches.
int Mirror(int i, int n) {
    if (i < 0) i = -i;
    if (i >= n) i = 2 * (n - 1) - i;
    return std::clamp(i, 0, n - 1);
}

void BayerToRgb24Plain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                       SpSize roi, int layout) {
    const int* cell = kBayerCell[layout];
    const int w = roi.width, h = roi.height;
    for (int y = 0; y < h; ++y) {
        uint8_t* d = dst + y * dstStep;
        for (int x = 0; x < w; ++x) {
            int sum[3] = {0, 0, 0}, count[3] = {0, 0, 0};
            const int own = cell[(y & 1) * 2 + (x & 1)];
            for (int dy = -1; dy <= 1; ++dy) {
                const int yy = Mirror(y + dy, h);
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = Mirror(x + dx, w);
                    const int c = cell[(yy & 1) * 2 + (xx & 1)];
                    if (c == own) continue;  // the other colours: edges and corners
                    sum[c] += src[yy * srcStep + xx];
                    ++count[c];
                }
            }
            uint8_t rgb[3];
            for (int c = 0; c < 3; ++c)
                rgb[c] = c == own   ? src[y * srcStep + x]
                         : count[c] ? uint8_t((sum[c] + count[c] / 2) / count[c])
                                    : 0;
            d[3 * x] = rgb[2], d[3 * x + 1] = rgb[1], d[3 * x + 2] = rgb[0];
        }
    }
}

void LumaRangeStretchPlain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                           SpSize roi, int k) {
    uint8_t table[256];
    for (int x = 0; x < 256; ++x) table[x] = Clamp255(((x * (k + 9) - 128 * k - 1148) >> 3) + 128);
    for (int y = 0; y < roi.height; ++y) {
        const uint8_t* p = src + y * srcStep;
        uint8_t* d = dst + y * dstStep;
        for (int x = 0; x < roi.width; ++x) d[x] = table[p[x]];
    }
}

}  // namespace

namespace sp::kernels {
constinit const Kernel<PackedToPackedFn> rgb24ToYuy2{"ccRgb24ToYuy2", ToYuy2<Bgr24>};
constinit const Kernel<PackedToPlanar3Fn> rgb24ToYuv420{"ccRgb24ToYuv420", ToYuv420<Bgr24>};
constinit const Kernel<PackedToArgbFn> rgb24ToArgb32{"ccRgb24ToArgb32", ToArgb32<Bgr24>};
constinit const Kernel<PackedToPackedFn> argb32ToYuy2{"ccArgb32ToYuy2", ToYuy2<Bgra32>};
constinit const Kernel<PackedToPackedFn> argb32ToRgb24{"ccArgb32ToRgb24", ToRgb24<Bgra32>};
constinit const Kernel<PackedToArgbFn> argb32ToArgb32{"ccArgb32ToArgb32", Argb32ToArgb32Plain};
constinit const Kernel<PackedToPackedFn> rgb565ToYuy2{"ccRgb565ToYuy2", ToYuy2<R5G6B5>};
constinit const Kernel<PackedToPlanar3Fn> rgb565ToYuv420{"ccRgb565ToYuv420", ToYuv420<R5G6B5>};
constinit const Kernel<PackedToPackedFn> rgb565ToRgb24{"ccRgb565ToRgb24", ToRgb24<R5G6B5>};
constinit const Kernel<PackedToPackedFn> rgb555ToYuy2{"ccRgb555ToYuy2", ToYuy2<X1R5G5B5>};
constinit const Kernel<PackedToPlanar3Fn> rgb555ToYuv420{"ccRgb555ToYuv420", ToYuv420<X1R5G5B5>};
constinit const Kernel<PackedToPackedFn> rgb555ToRgb24{"ccRgb555ToRgb24", ToRgb24<X1R5G5B5>};
constinit const Kernel<PackedToPackedFn> gray8ToYuy2{"ccGray8ToYuy2", ToYuy2<Gray8Reader>};
constinit const Kernel<PackedToPackedFn> gray8ToRgb24{"ccGray8ToRgb24", ToRgb24<Gray8Reader>};
constinit const Kernel<PackedToArgbFn> gray8ToArgb32{"ccGray8ToArgb32", ToArgb32<Gray8Reader>};
constinit const Kernel<BayerFn> bayerToRgb24{"ccBayerToRgb24", BayerToRgb24Plain};
constinit const Kernel<LumaStretchFn> lumaRangeStretch{"ccLumaRangeStretch", LumaRangeStretchPlain};
}  // namespace sp::kernels

using namespace sp::kernels;
using namespace sp::colour;

SpStatus ccRgb24ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(rgb24ToYuy2, src, srcStep, dst, dstStep, roi);
}
SpStatus ccRgb24ToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                         const int dstStep[3], SpSize roi) {
    return PackedToPlanar(rgb24ToYuv420, src, srcStep, dst, dstStep, roi);
}
SpStatus ccRgb24ToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                         uint8_t alpha) {
    return PackedTo(rgb24ToArgb32, src, srcStep, dst, dstStep, roi, alpha);
}
SpStatus ccArgb32ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(argb32ToYuy2, src, srcStep, dst, dstStep, roi);
}
SpStatus ccArgb32ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(argb32ToRgb24, src, srcStep, dst, dstStep, roi);
}
SpStatus ccArgb32ToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                          uint8_t alpha) {
    return PackedTo(argb32ToArgb32, src, srcStep, dst, dstStep, roi, alpha);
}
SpStatus ccRgb565ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(rgb565ToYuy2, src, srcStep, dst, dstStep, roi);
}
SpStatus ccRgb565ToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return PackedToPlanar(rgb565ToYuv420, src, srcStep, dst, dstStep, roi);
}
SpStatus ccRgb565ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(rgb565ToRgb24, src, srcStep, dst, dstStep, roi);
}
SpStatus ccRgb555ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(rgb555ToYuy2, src, srcStep, dst, dstStep, roi);
}
SpStatus ccRgb555ToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi) {
    return PackedToPlanar(rgb555ToYuv420, src, srcStep, dst, dstStep, roi);
}
SpStatus ccRgb555ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(rgb555ToRgb24, src, srcStep, dst, dstStep, roi);
}
SpStatus ccGray8ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(gray8ToYuy2, src, srcStep, dst, dstStep, roi);
}
SpStatus ccGray8ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    return PackedTo(gray8ToRgb24, src, srcStep, dst, dstStep, roi);
}
SpStatus ccGray8ToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                         uint8_t alpha) {
    return PackedTo(gray8ToArgb32, src, srcStep, dst, dstStep, roi, alpha);
}
SpStatus ccBayerToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                        int layout) {
    // The destination may run bottom-up (a negative step) but must hold a row.
    const bool rowFits = dstStep != 0 && std::abs(int64_t(dstStep)) >= 3 * int64_t(roi.width);
    SpStatus check = Check(roi, Region::kWhole, Plane{src, srcStep}, Plane{dst, rowFits ? 1 : 0});
    if (check == spStsNoErr && (layout < 0 || layout > 3)) check = ccStsRangeErr;
    return sp::CallChecked(bayerToRgb24, check, src, ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep),
                           roi, layout);
}
SpStatus ccLumaRangeStretch(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                            int k) {
    SpStatus check = Check(roi, Region::kWhole, Plane{src, srcStep}, Plane{dst, dstStep});
    if (check == spStsNoErr && (k < 0 || k > 7)) check = ccStsRangeErr;
    return sp::CallChecked(lumaRangeStretch, check, src, ptrdiff_t(srcStep), dst,
                           ptrdiff_t(dstStep), roi, k);
}
