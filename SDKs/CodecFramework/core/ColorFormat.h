// Picture layouts and the constant table that lays out their planes.
#pragma once

#include <cstdint>

namespace UMC {

enum ColorFormat : int32_t {
    NONE = -1,
    YV12 = 0,
    NV12 = 1,
    YUY2 = 2,
    UYVY = 3,
    YUV411 = 4,
    YUV420 = 5,
    YUV422 = 6,
    YUV444 = 7,
    YUV420_ALT = 8,
    Y411 = 9,
    Y41P = 10,
    ARGB32 = 11,
    RGB24 = 12,
    RGB565 = 13,
    RGB555 = 14,
    RGB16_OTHER = 15,
    RGB8 = 16,
    YUV420A = 17,
    YUV422A = 18,
    YUV444A = 19,
    YVU9 = 20,
    PLANAR2_FULL = 21,
    OPAQUE_SURFACE_A = 22,
    OPAQUE_SURFACE_B = 23,
    RGB32 = 24,
    BAYER_RG = 25,
    BAYER_GB = 26,
    BAYER_GR = 27,
    BAYER_BG = 28,
    Y800 = 29,
    P010 = 30,
};

struct PlaneLayout {
    int32_t subsampleX;
    int32_t subsampleY;
    int32_t samples;          // samples per pixel unit
    int32_t pitchMultiplier;  // applied to the pitch alignment
};

struct ColorFormatLayout {
    ColorFormat format;
    int32_t planes;
    int32_t bitDepth;
    int32_t minAlignment;
    PlaneLayout plane[4];
};

// The layout row of a format, or null when the format is not in the table.
const ColorFormatLayout* FindColorFormatLayout(ColorFormat format);
// Number of rows (31) and row i, in table order.
int GetColorFormatLayoutCount();
const ColorFormatLayout& GetColorFormatLayout(int row);

// Formats that describe an opaque surface: no planes, a fixed mapping size.
inline bool IsSurfaceFormat(ColorFormat format) {
    return format == OPAQUE_SURFACE_A || format == OPAQUE_SURFACE_B;
}

const char* GetColorFormatName(ColorFormat format);

}  // namespace UMC
