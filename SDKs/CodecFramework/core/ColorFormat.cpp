#include "SDKs/CodecFramework/core/ColorFormat.h"

namespace UMC {
namespace {

constexpr PlaneLayout P1 = {1, 1, 1, 1};
constexpr PlaneLayout P0 = {0, 0, 0, 0};

// RGB32 sits after the first three RGB rows; rows are found by value, so order only matters for
// enumeration.
constexpr ColorFormatLayout kLayouts[] = {
    {YV12, 3, 8, 1, {{1, 1, 1, 2}, {2, 2, 1, 1}, {2, 2, 1, 1}, P0}},
    {NV12, 2, 8, 2, {P1, {1, 2, 1, 1}, P0, P0}},
    {YUY2, 1, 8, 2, {{2, 1, 4, 1}, P0, P0, P0}},
    {UYVY, 1, 8, 2, {{2, 1, 4, 1}, P0, P0, P0}},
    {YUV411, 3, 8, 1, {P1, {4, 1, 1, 1}, {4, 1, 1, 1}, P0}},
    {YUV420, 3, 8, 1, {P1, {2, 2, 1, 1}, {2, 2, 1, 1}, P0}},
    {YUV422, 3, 8, 1, {P1, {2, 1, 1, 1}, {2, 1, 1, 1}, P0}},
    {YUV444, 3, 8, 1, {P1, P1, P1, P0}},
    {YUV420_ALT, 3, 8, 1, {P1, {2, 2, 1, 1}, {2, 2, 1, 1}, P0}},
    {Y411, 1, 8, 2, {{4, 1, 6, 1}, P0, P0, P0}},
    {Y41P, 1, 8, 2, {{8, 1, 12, 1}, P0, P0, P0}},
    {ARGB32, 1, 8, 1, {{1, 1, 4, 1}, P0, P0, P0}},
    {RGB24, 1, 8, 4, {{1, 1, 3, 1}, P0, P0, P0}},
    {RGB32, 1, 8, 1, {{1, 1, 4, 1}, P0, P0, P0}},
    {RGB565, 1, 16, 2, {P1, P0, P0, P0}},
    {RGB555, 1, 16, 2, {P1, P0, P0, P0}},
    {RGB16_OTHER, 1, 16, 2, {P1, P0, P0, P0}},
    {RGB8, 1, 8, 1, {P1, P0, P0, P0}},
    {YUV420A, 4, 8, 1, {P1, {2, 2, 1, 1}, {2, 2, 1, 1}, P1}},
    {YUV422A, 4, 8, 1, {P1, {2, 1, 1, 1}, {2, 1, 1, 1}, P1}},
    {YUV444A, 4, 8, 1, {P1, P1, P1, P1}},
    {YVU9, 3, 8, 1, {P1, {4, 4, 1, 1}, {4, 4, 1, 1}, P0}},
    {PLANAR2_FULL, 2, 8, 1, {P1, P1, P0, P0}},
    {OPAQUE_SURFACE_A, 0, 0, 0, {P0, P0, P0, P0}},
    {OPAQUE_SURFACE_B, 0, 0, 0, {P0, P0, P0, P0}},
    {BAYER_RG, 1, 8, 1, {P1, P0, P0, P0}},
    {BAYER_GB, 1, 8, 1, {P1, P0, P0, P0}},
    {BAYER_GR, 1, 8, 1, {P1, P0, P0, P0}},
    {BAYER_BG, 1, 8, 1, {P1, P0, P0, P0}},
    {Y800, 1, 8, 1, {P1, P0, P0, P0}},
    {P010, 2, 10, 2, {P1, {1, 2, 1, 1}, P0, P0}},
};
static_assert(sizeof(kLayouts) / sizeof(kLayouts[0]) == 31);

}  // namespace

const ColorFormatLayout* FindColorFormatLayout(ColorFormat format) {
    for (const ColorFormatLayout& row : kLayouts)
        if (row.format == format) return &row;
    return nullptr;
}

int GetColorFormatLayoutCount() {
    return int(sizeof(kLayouts) / sizeof(kLayouts[0]));
}

const ColorFormatLayout& GetColorFormatLayout(int row) {
    return kLayouts[row];
}

const char* GetColorFormatName(ColorFormat format) {
    static const char* const kNames[] = {"YV12",
                                         "NV12",
                                         "YUY2",
                                         "UYVY",
                                         "YUV411",
                                         "YUV420",
                                         "YUV422",
                                         "YUV444",
                                         "YUV420_ALT",
                                         "Y411",
                                         "Y41P",
                                         "ARGB32",
                                         "RGB24",
                                         "RGB565",
                                         "RGB555",
                                         "RGB16_OTHER",
                                         "RGB8",
                                         "YUV420A",
                                         "YUV422A",
                                         "YUV444A",
                                         "YVU9",
                                         "PLANAR2_FULL",
                                         "OPAQUE_SURFACE_A",
                                         "OPAQUE_SURFACE_B",
                                         "RGB32",
                                         "BAYER_RG",
                                         "BAYER_GB",
                                         "BAYER_GR",
                                         "BAYER_BG",
                                         "Y800",
                                         "P010"};
    if (format >= 0 && format <= P010) return kNames[format];
    return "NONE";
}

}  // namespace UMC
