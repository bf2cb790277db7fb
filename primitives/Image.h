// Image-processing kernels of the post-processing chain: deinterlacing and resizing.
//
// Deinterlacers work on one plane of bytes (the width is given in bytes, so packed layouts pass
// their full row). The top field (even rows) is kept; the rows of the bottom field are rebuilt
// where the method decides that the two fields disagree. Source and destination may be the same
// plane.
//
// Resizers map pixel centres (destination x + 0.5 lands on source (x + 0.5) * srcW / dstW) and
// repeat edge samples. Filter weights are 14-bit fixed point; results are rounded and clamped.
#pragma once

#include <cstdint>

#include "primitives/SpTypes.h"

inline constexpr SpStatus imStsRangeErr = -11;  // a parameter out of range

// The motion history of imDeinterlaceOtherA: the caller provides `history`, a plane of
// size.height rows of historyStep bytes (historyStep >= size.width), and sets size and
// threshold; `frames` counts the pictures seen (0: no history yet).
struct ImDeinterlaceState {
    uint8_t* history;
    int historyStep;
    SpSize size;
    int threshold;
    int frames;
};

// Comb-adaptive blend: where a bottom-field sample lies outside its two vertical neighbours by
// more than `threshold`, it moves towards their mean by weight/128 (128 replaces it). -11 for a
// weight outside 0..128 or a negative threshold.
SpStatus imDeinterlaceMethod2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                              SpSize roi, int weight, int threshold);
// Comb-adaptive edge-directed interpolation (of three directions, the one whose ends agree best).
SpStatus imDeinterlaceMethod4(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                              SpSize roi, int threshold);
// Comb-adaptive four-tap field interpolation (-1, 9, 9, -1)/16.
SpStatus imDeinterlaceMethod5(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                              SpSize roi, int threshold);
// Motion-adaptive: a bottom-field sample is kept where it and its vertical neighbours moved by at
// most state->threshold since the previous picture, else interpolated along edges. The first
// picture (or a size change) is interpolated throughout. -8 for a null state or history, -6 when
// the state's size is not the region's.
SpStatus imDeinterlaceOtherA(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                             ImDeinterlaceState* state);
// Edge-directed interpolation of every bottom-field row; horizontally adjacent samples of one
// component are sampleDistance bytes apart (1 planar, 3 RGB24, 4 YUY2 or ARGB32). -11 for 0.
SpStatus imDeinterlaceOtherB(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi,
                             uint16_t sampleDistance);

enum ImInterpolation : int { imNearest = 0, imLinear = 1, imCubic = 2, imArea = 3 };

// Bytes of work buffer that a resize from srcSize to dstSize with the method needs: the samples
// per pixel of the plane kernel (1 to 4, either sample size); 2 also serves imResizeYuy2. -11
// for another method or channel count.
SpStatus imResizeGetBufferSize(SpSize srcSize, SpSize dstSize, int method, int channels,
                               int* bytes);

// Steps in bytes. -11 for an unknown method; -8 for a null plane or work buffer.
SpStatus imResizePlane8uC1(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst,
                           int dstStep, SpSize dstSize, int method, uint8_t* work);
// Two interleaved samples per pixel (NV12's U/V plane).
SpStatus imResizePlane8uC2(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst,
                           int dstStep, SpSize dstSize, int method, uint8_t* work);
SpStatus imResizePlane8uC3(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst,
                           int dstStep, SpSize dstSize, int method, uint8_t* work);
SpStatus imResizePlane8uC4(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst,
                           int dstStep, SpSize dstSize, int method, uint8_t* work);
SpStatus imResizePlane16uC1(const uint16_t* src, int srcStep, SpSize srcSize, uint16_t* dst,
                            int dstStep, SpSize dstSize, int method, uint8_t* work);
SpStatus imResizePlane16uC3(const uint16_t* src, int srcStep, SpSize srcSize, uint16_t* dst,
                            int dstStep, SpSize dstSize, int method, uint8_t* work);
SpStatus imResizePlane16uC4(const uint16_t* src, int srcStep, SpSize srcSize, uint16_t* dst,
                            int dstStep, SpSize dstSize, int method, uint8_t* work);
// Packed YUY2: luma at full width, U and V at half width (sizes in pixels).
SpStatus imResizeYuy2(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst, int dstStep,
                      SpSize dstSize, int method, uint8_t* work);
