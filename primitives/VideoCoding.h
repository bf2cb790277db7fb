// Video coding kernels: block copies, motion-compensated prediction with half-sample
// interpolation, bidirectional averaging, residual and constant addition, and the 8x8 inverse DCT
// in its residual, reduced and pixel forms; the start-code search of the MPEG video streams.
//
// Pixels are 8-bit unsigned, residuals and coefficients 16-bit signed. A step is the distance in
// bytes between the starts of two rows. No pointer needs any alignment. Every kernel returns 0, or
// -8 for a null pointer, or -14 for a step below 1 (checked before any work).
#pragma once

#include <cstdint>

#include "primitives/SpTypes.h"

// Interpolation type of the prediction kernels: bit 0 = horizontal half-sample position,
// bit 1 = vertical half-sample position.
enum : int {
    vcInterpFull = 0,
    vcInterpHalfX = 1,
    vcInterpHalfY = 2,
    vcInterpHalfXY = 3,
};

// Rounding control of the prediction kernels (bit 0): halves up (MPEG-2, MPEG-4 rounding_control
// 0) or down (MPEG-4 rounding_control 1).
enum : int {
    vcRoundHalfUp = 0,
    vcRoundHalfDown = 1,
};

// Hints of vcInverseDct8x8ToPixels: 0 = DC only, 1..9 = last non-zero coefficient among the first
// ten in scan order, anything above = any block.
enum : int {
    vcIdctHintDcOnly = 0,
    vcIdctHintReducedMax = 9,
};

// Copy 8 (16) rows of 8 (16) bytes.
SpStatus vcCopyBlock8x8(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep);
SpStatus vcCopyBlock16x16(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep);

// dst = clamp(dst + residual, 0, 255) over an 8x8 block. residualStep is in bytes (16 for a
// packed block) and must be even.
SpStatus vcAddResidual8x8(const int16_t* residual, int residualStep, uint8_t* dst, int dstStep);

// dst = clamp(dst + value, 0, 255) over an 8x8 block.
SpStatus vcAddConstant8x8(int16_t value, uint8_t* dst, int dstStep);

// Prediction of a W x H block from ref into dst. With a = ref[x], b = its right neighbour,
// c = the sample below a and d = below b:
//   type 0: a;  type 1: (a + b + 1 - r) >> 1;  type 2: (a + c + 1 - r) >> 1;
//   type 3: (a + b + c + d + 2 - r) >> 2;      r = rounding & 1.
// Types 1 and 3 read one extra column, types 2 and 3 one extra row of the reference.
SpStatus vcPredict8x4(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,
                      int rounding);
SpStatus vcPredict8x8(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,
                      int rounding);
SpStatus vcPredict16x8(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,
                       int rounding);
SpStatus vcPredict16x16(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,
                        int rounding);

// The same prediction p, then dst = (dst + p + 1) >> 1 (bidirectional and dual-prime averaging).
SpStatus vcPredictAverage8x4(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,
                             int rounding);
SpStatus vcPredictAverage8x8(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,
                             int rounding);
SpStatus vcPredictAverage16x8(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,
                              int rounding);
SpStatus vcPredictAverage16x16(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep, int type,
                               int rounding);

// 8x8 inverse DCT: 64 coefficients in natural (row) order to 64 residuals, packed. out may be
// coefficients itself.
SpStatus vcInverseDct8x8(const int16_t* coefficients, int16_t* out);

// The same result for a block whose non-zero coefficients all lie in the top-left 4x4 corner
// (true whenever the last non-zero coefficient is among the first ten in zigzag or alternate
// scan); the other 48 coefficients are not read.
SpStatus vcInverseDct8x8Reduced(const int16_t* coefficients, int16_t* out);

// Inverse DCT of an intra block written as pixels clamped to 0..255. hint 0: DC only, every pixel
// = coefficients[0] / 8 (truncated toward zero, clamped); 1..9: the reduced transform; otherwise
// the full transform.
SpStatus vcInverseDct8x8ToPixels(const int16_t* coefficients, uint8_t* dst, int dstStep, int hint);

// The full transform written as pixels clamped to 0..255.
SpStatus vcInverseDct8x8Store(const int16_t* coefficients, uint8_t* dst, int dstStep);

// The full transform of a block whose non-zero coefficients all lie in the top-left 4x4 corner
// and at position 63 (the last one, whose low bit an MPEG-2 decoder toggles to make the sum odd);
// the other 47 coefficients are not read. As residuals, or as pixels clamped to 0..255.
SpStatus vcInverseDct8x8Sparse(const int16_t* coefficients, int16_t* out);
SpStatus vcInverseDct8x8SparseStore(const int16_t* coefficients, uint8_t* dst, int dstStep);

// The full and the sparse transform added to the pixels at dst: dst = clamp(dst + residual, 0,
// 255), as vcInverseDct8x8 (or vcInverseDct8x8Sparse) followed by vcAddResidual8x8.
SpStatus vcInverseDct8x8Add(const int16_t* coefficients, uint8_t* dst, int dstStep);
SpStatus vcInverseDct8x8SparseAdd(const int16_t* coefficients, uint8_t* dst, int dstStep);

// The first start code in src[0, len): *offset = the index of its 00 00 01 prefix, whose value
// byte (the one after the 01) lies inside the buffer too; len when there is none, so a prefix cut
// by the buffer's end is not found. -6 for len < 1, -8 for a null pointer.
SpStatus vcFindStartCode(const uint8_t* src, int len, int* offset);
