// The argument checks of the colour-conversion entries and the forms in which the entries hand
// the implementations their operands.
#pragma once

#include <array>
#include <cstddef>
#include <type_traits>

#include "primitives/ColourKernels.h"
#include "primitives/dispatch/Entry.h"

namespace sp::colour {

using kernels::Steps3;

// One plane and its step.
struct Plane {
    const void* p;
    int step;
    bool Null() const { return !p; }
    bool BadStep() const { return step < 1; }
};

// Three planes (Y, U, V) and their steps, given as arrays that may themselves be null.
template <class T>
struct Planes {
    T const* p;
    const int* step;
    bool Null() const { return !p || !step || !p[0] || !p[1] || !p[2]; }
    bool BadStep() const { return step[0] < 1 || step[1] < 1 || step[2] < 1; }
    std::array<ptrdiff_t, 3> Steps() const { return {step[0], step[1], step[2]}; }
};
using Sources = Planes<const uint8_t*>;
using Destinations = Planes<uint8_t*>;

// What a conversion does with the edges of its region.
enum class Region {
    kWhole,      // converts every pixel
    kEvenToRgb,  // 4:2:0 to RGB: an odd last column or row stays unconverted, with a warning
    kEven2x2,    // 4:2:0 to packed 4:2:2 or NV12: at least 2x2, rounded down to even sizes
};

// -8 a null pointer, -6 a size below 1, -14 a step below 1, then the region's rule.
template <class... Operands>
SpStatus Check(SpSize roi, Region region, const Operands&... operands) {
    if ((operands.Null() || ...)) return spStsNullPtrErr;
    if (roi.width < 1 || roi.height < 1) return spStsSizeErr;
    if ((operands.BadStep() || ...)) return spStsStepErr;
    if (region == Region::kEven2x2 && (roi.width < 2 || roi.height < 2)) return spStsSizeErr;
    if (region == Region::kEvenToRgb && ((roi.width | roi.height) & 1)) return ccStsOddSize;
    return spStsNoErr;
}

// The entries of each source and destination form.

template <class... Extra>
SpStatus PlanarTo(const Kernel<void(const uint8_t* const*, Steps3, uint8_t*, ptrdiff_t, SpSize,
                                    Extra...)>& kernel,
                  Region region, const uint8_t* const* src, const int* srcStep, uint8_t* dst,
                  int dstStep, SpSize roi, std::type_identity_t<Extra>... extra) {
    const Sources s{src, srcStep};
    return RunChecked(Check(roi, region, s, Plane{dst, dstStep}), [&] {
        kernel.Current()(src, s.Steps().data(), dst, dstStep, roi, extra...);
    });
}

inline SpStatus PlanarToPlanar(const Kernel<kernels::Planar3ToPlanar3Fn>& kernel,
                               const uint8_t* const* src, const int* srcStep, uint8_t* const* dst,
                               const int* dstStep, SpSize roi) {
    const Sources s{src, srcStep};
    const Destinations d{dst, dstStep};
    return RunChecked(Check(roi, Region::kWhole, s, d),
                      [&] { kernel.Current()(src, s.Steps().data(), dst, d.Steps().data(), roi); });
}

template <class... Extra>
SpStatus Nv12To(const Kernel<void(const uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, uint8_t*,
                                  ptrdiff_t, SpSize, Extra...)>& kernel,
                Region region, const uint8_t* srcY, int srcYStep, const uint8_t* srcUV,
                int srcUVStep, uint8_t* dst, int dstStep, SpSize roi,
                std::type_identity_t<Extra>... extra) {
    return RunChecked(
        Check(roi, region, Plane{srcY, srcYStep}, Plane{srcUV, srcUVStep}, Plane{dst, dstStep}),
        [&] { kernel.Current()(srcY, srcYStep, srcUV, srcUVStep, dst, dstStep, roi, extra...); });
}

template <class... Extra>
SpStatus PackedTo(
    const Kernel<void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize, Extra...)>& kernel,
    const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
    std::type_identity_t<Extra>... extra) {
    return CallChecked(kernel, Check(roi, Region::kWhole, Plane{src, srcStep}, Plane{dst, dstStep}),
                       src, ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep), roi, extra...);
}

inline SpStatus PackedToNv12(const Kernel<kernels::PackedToNv12Fn>& kernel, const uint8_t* src,
                             int srcStep, uint8_t* dstY, int dstYStep, uint8_t* dstUV,
                             int dstUVStep, SpSize roi) {
    return CallChecked(kernel,
                       Check(roi, Region::kWhole, Plane{src, srcStep}, Plane{dstY, dstYStep},
                             Plane{dstUV, dstUVStep}),
                       src, ptrdiff_t(srcStep), dstY, ptrdiff_t(dstYStep), dstUV,
                       ptrdiff_t(dstUVStep), roi);
}

inline SpStatus PackedToPlanar(const Kernel<kernels::PackedToPlanar3Fn>& kernel, const uint8_t* src,
                               int srcStep, uint8_t* const* dst, const int* dstStep, SpSize roi) {
    const Destinations d{dst, dstStep};
    return RunChecked(Check(roi, Region::kWhole, Plane{src, srcStep}, d),
                      [&] { kernel.Current()(src, srcStep, dst, d.Steps().data(), roi); });
}

}  // namespace sp::colour
