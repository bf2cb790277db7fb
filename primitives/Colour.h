// Colour-conversion kernels: one per supported pair of picture layouts, plus the luma range
// stretch and Bayer demosaicing.
//
// Planar sources and destinations are given as three plane pointers (Y, U, V) and three steps;
// packed pictures as one pointer and step; NV12 as a luma plane and an interleaved U/V plane.
// Sizes are in pixels. YUV <-> RGB uses ITU-R BT.601 video range (Y 16..235, U/V 16..240).
// RGB byte orders follow the Windows bitmap conventions: RGB24 is B, G, R; ARGB32/RGB32 is
// B, G, R, A; RGB565, RGB555 and the 4:4:4 "other" 16-bit layout are little-endian words with red
// in the high bits (R5G6B5, X1R5G5B5, X4R4G4B4).
//
// Odd sizes: the 4:2:0 to RGB kernels leave an odd last column or row unconverted and return the
// warning ccStsOddSize; ccYuv420ToYuy2, ccYuv420ToUyvy and ccYuv420ToNv12 need at least 2x2,
// round down to even sizes and return 0. The other kernels convert every pixel, repeating the
// last chroma sample where a subsampled block is cut by the picture edge.
#pragma once

#include <cstdint>

#include "primitives/SpTypes.h"

inline constexpr SpStatus ccStsNoMemErr = -9;   // a work buffer could not be allocated
inline constexpr SpStatus ccStsRangeErr = -11;  // a parameter out of range
inline constexpr SpStatus ccStsOddSize =
    35;  // warning: an odd last column or row was not converted

// The four Bayer mosaics, named by the colours of the first two samples of the first row.
enum CcBayerLayout : int { ccBayerRG = 0, ccBayerGB = 1, ccBayerGR = 2, ccBayerBG = 3 };

// Planar 4:2:0 sources.
SpStatus ccYuv420ToRgb24(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                         int dstStep, SpSize roi);
SpStatus ccYuv420ToArgb32(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi, uint8_t alpha);
SpStatus ccYuv420ToRgb565(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi);
SpStatus ccYuv420ToRgb555(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                          int dstStep, SpSize roi);
SpStatus ccYuv420ToRgb16Other(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                              int dstStep, SpSize roi);
SpStatus ccYuv420ToYuy2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi);
SpStatus ccYuv420ToUyvy(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi);
SpStatus ccYuv420ToNv12(const uint8_t* const src[3], const int srcStep[3], uint8_t* dstY,
                        int dstYStep, uint8_t* dstUV, int dstUVStep, SpSize roi);
SpStatus ccYuv420ToYuv422(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi);
SpStatus ccYuv420ToYuv411(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi);
// Packed 4:1:1, 12 bytes per 8 pixels: U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7.
SpStatus ccYuv420ToY41p(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi);

// NV12 sources.
SpStatus ccNv12ToYuy2(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                      uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccNv12ToUyvy(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                      uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccNv12ToYuv420(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                        uint8_t* const dst[3], const int dstStep[3], SpSize roi);
SpStatus ccNv12ToRgb24(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                       uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccNv12ToArgb32(const uint8_t* srcY, int srcYStep, const uint8_t* srcUV, int srcUVStep,
                        uint8_t* dst, int dstStep, SpSize roi, uint8_t alpha);

// Packed 4:2:2 sources.
SpStatus ccYuy2ToNv12(const uint8_t* src, int srcStep, uint8_t* dstY, int dstYStep, uint8_t* dstUV,
                      int dstUVStep, SpSize roi);
SpStatus ccYuy2ToUyvy(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccYuy2ToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi);
SpStatus ccYuy2ToYuv422(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi);
SpStatus ccYuy2ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccYuy2ToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                        uint8_t alpha);
SpStatus ccYuy2ToRgb565(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccYuy2ToRgb555(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccYuy2ToRgb16Other(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
// The luma bytes only (an 8-bit grey picture).
SpStatus ccYuy2ToGray8(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccUyvyToNv12(const uint8_t* src, int srcStep, uint8_t* dstY, int dstYStep, uint8_t* dstUV,
                      int dstUVStep, SpSize roi);
SpStatus ccUyvyToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccUyvyToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi);
SpStatus ccUyvyToYuv422(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi);
SpStatus ccUyvyToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccUyvyToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                        uint8_t alpha);

// Other planar sources.
SpStatus ccYuv422ToYuy2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi);
SpStatus ccYuv422ToYuv420(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi);
SpStatus ccYuv411ToYuv420(const uint8_t* const src[3], const int srcStep[3], uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi);
SpStatus ccY41pToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi);
SpStatus ccYuv444ToRgb24(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                         int dstStep, SpSize roi);
// Packed 4:1:1, 6 bytes per 4 pixels: U Y0 Y1 V Y2 Y3.
SpStatus ccY411ToYuv411(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                        const int dstStep[3], SpSize roi);
// YVU9: chroma subsampled 4x4; the planes are passed in Y, U, V order like every planar source.
SpStatus ccYvu9ToYuy2(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                      SpSize roi);
SpStatus ccYvu9ToUyvy(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                      SpSize roi);
SpStatus ccYvu9ToRgb24(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst, int dstStep,
                       SpSize roi);
SpStatus ccYvu9ToArgb32(const uint8_t* const src[3], const int srcStep[3], uint8_t* dst,
                        int dstStep, SpSize roi, uint8_t alpha);

// RGB sources.
SpStatus ccRgb24ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccRgb24ToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                         const int dstStep[3], SpSize roi);
SpStatus ccRgb24ToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                         uint8_t alpha);
SpStatus ccArgb32ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccArgb32ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
// Copies the colour bytes and sets every alpha byte.
SpStatus ccArgb32ToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                          uint8_t alpha);
SpStatus ccRgb565ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccRgb565ToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi);
SpStatus ccRgb565ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccRgb555ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccRgb555ToYuv420(const uint8_t* src, int srcStep, uint8_t* const dst[3],
                          const int dstStep[3], SpSize roi);
SpStatus ccRgb555ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
// 8-bit grey (video-range luma with neutral chroma).
SpStatus ccGray8ToYuy2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccGray8ToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);
SpStatus ccGray8ToArgb32(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                         uint8_t alpha);

// Bilinear demosaicing into RGB24. dstStep may be negative (a bottom-up destination is passed as
// its last row and minus its pitch). -11 for a layout outside CcBayerLayout.
SpStatus ccBayerToRgb24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                        int layout);

// Each sample x becomes clamp(((x * (k + 9) - 128 k - 1148) >> 3) + 128, 0, 255): a contrast
// stretch about mid-grey that grows with k. -11 for k outside 0..7.
SpStatus ccLumaRangeStretch(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                            int k);
