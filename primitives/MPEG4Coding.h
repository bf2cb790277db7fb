// MPEG-4 Part 2 kernels: dequantisation set-ups, intra DC and coefficient decoding (MPEG-4
// and short-header forms), intra dequantisation, the inverse DCT entry points of the decoder and
// bidirectional averaging.
//
// Coefficient decoders take the decoder's bit position as two values: a pointer to the current
// byte pointer and a pointer to the bit offset (0..7, most significant bit first), and advance
// both. They read up to 8 bytes past the bits they consume and never check an end: the caller
// keeps kMpeg4InputPadding zero bytes after its data (zeros never form a valid code, so decoding
// stops there). Blocks are 64 signed 16-bit values in raster order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "primitives/SpTypes.h"

// Zero bytes a caller keeps after the coded data it hands to the decoding kernels.
inline constexpr size_t kMpeg4InputPadding = 64;

enum : SpStatus {
    vcStsRangeErr = -11,       // bits per pixel or another parameter outside its range
    vcStsVlcErr = -190,        // a bit pattern that is no code of the table (or a failed marker)
    vcStsIntraDcErr = -191,    // short-header intra DC code 0 or 128
    vcStsQuantErr = -192,      // quantiser outside 1..31 (or the bit depth's range), zero weight
    vcStsBitOffsetErr = -193,  // bit offset outside 0..7
};

// Scans of the coefficient decoders.
enum : int {
    vcScanZigzag = 0,
    vcScanAlternateVertical = 1,
    vcScanAlternateHorizontal = 2,
};

// Size of the caller buffer of a dequantisation set-up (it is used from its first
// 16-byte-aligned address).
inline constexpr int kVcQuantMatrixSpecSize = 156;

// Build an intra (inter) dequantisation set-up in buffer. matrix: 64 weights in raster
// order, or null for the H.263 method. bitsPerPixel 4..12.
SpStatus vcQuantMatrixInitIntra(const uint8_t* matrix, void* buffer, int bitsPerPixel);
SpStatus vcQuantMatrixInitInter(const uint8_t* matrix, void* buffer, int bitsPerPixel);
SpStatus vcQuantMatrixSpecSize(int* size);
// Size of the decoder's kernel work buffer.
SpStatus vcDecoderStateSize(int* size);

// dct_dc_size (luma or chroma table) and dct_dc_differential into *dc.
SpStatus vcDecodeIntraDcMpeg4(const uint8_t** bits, int* bitOffset, int16_t* dc, int chroma);

// Clears the block (keeping block[0] when dcRead), then decodes intra TCOEF events into it in the
// given scan, starting at scan index 1 when dcRead. *lastIndex: the scan index of the last
// coefficient written, -1 when none. Quantised values are clipped to -2048..2047.
SpStatus vcDecodeIntraCoefsMpeg4(const uint8_t** bits, int* bitOffset, int16_t* block,
                                 int* lastIndex, int reversible, int dcRead, int scan);

// Inter TCOEF events dequantised with the non-intra set-up. *count: the scan index of the
// last non-zero coefficient (0 when only the DC position was coded; 63 when mismatch control
// changed coefficient 63).
SpStatus vcDecodeInterCoefsMpeg4(const uint8_t** bits, int* bitOffset, int16_t* block, int* count,
                                 int reversible, int scan, const void* spec, int quant);

// Short-header intra block: 8-bit INTRADC, then (when coded) AC events of the short-header table,
// dequantised by the H.263 method. *count: the scan index of the last coefficient (0: DC only).
SpStatus vcDecodeIntraBlockH263(const uint8_t** bits, int* bitOffset, int16_t* block, int* count,
                                int coded, int quant);
// Short-header inter block, dequantised.
SpStatus vcDecodeInterBlockH263(const uint8_t** bits, int* bitOffset, int16_t* block, int* count,
                                int quant);

// Intra dequantisation in place: DC by the DC scaler, AC by the set-up's method, with
// mismatch control for the MPEG method. lastIndex 0 means only the DC may be non-zero.
SpStatus vcDequantIntraMpeg4(int16_t* block, int lastIndex, const void* spec, int quant,
                             int chroma);

// 8x8 inverse DCT in place (residuals out). Top2x2 / Top4x4 give the same result when only the
// top-left 2x2 / 4x4 coefficients can be non-zero.
SpStatus vcInverseDct8x8Full(int16_t* block);
SpStatus vcInverseDct8x8Top2x2(int16_t* block);
SpStatus vcInverseDct8x8Top4x4(int16_t* block);

// dst = (dst + src + 1) >> 1 per sample over an 8x8 (16x16) block.
SpStatus vcAverageInto8x8(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep);
SpStatus vcAverageInto16x16(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep);

// Half-sample prediction of an 8x8 block from ref (interpolation type halfIndex & 3 with
// rounding & 1, as vcPredict8x8) plus a 16-bit residual (residualStep in bytes), saturated into
// dst.
SpStatus vcPredictAddResidual(const int16_t* residual, int residualStep, const uint8_t* ref,
                              int refStep, uint8_t* dst, int dstStep, int halfIndex, int rounding);

// Post-processing deblocking across one 8-sample block edge, over the 8 lines that cross it.
// first: the first sample after the edge (the edge lies between first[-1] and first[0] across the
// lines); Horizontal filters a horizontal edge (samples along a column, lines side by side),
// Vertical a vertical edge. thr1: the flatness threshold of a sample step, thr2: the number of flat
// steps (of 9) from which the stronger smoothing mode is chosen.
SpStatus vcDeblockHorizontalEdge(uint8_t* first, int step, int quant, int thr1, int thr2);
SpStatus vcDeblockVerticalEdge(uint8_t* first, int step, int quant, int thr1, int thr2);

// The DC scaler of ISO/IEC 14496-2 for quantiser 1..31 (luma or chroma); 8 otherwise.
int vcDcScaler(int quant, int chroma);

// The scan tables (scan index -> raster position) by scan number.
const uint8_t* vcScanTable(int scan);

// ---- Motion compensation beyond half-sample prediction ----
//
// The prediction kernels read the reference around ref without bounds checks: the caller clamps
// its vectors so that the referenced area lies inside the padded reference.

// A motion vector (half-sample units, or quarter-sample units for the quarter-sample kernels).
struct VcMotionVector {
    int16_t dx, dy;
};

// Quarter-sample prediction: index (mv.x & 3) + 4 x (mv.y & 3), ref at the integer position
// (mv >> 2). The 8-tap filter only sees the (width + 1) x (height + 1) reference samples of the
// block and mirrors them at its edges, so the block size is part of the result: 16x16 for a
// macroblock, 8 wide for inter4v blocks, 16 wide and 8 high for field prediction (the caller
// doubles both steps); height 2 to 16. rounding: vop_rounding_type. Index 0 copies.
SpStatus vcPredictQuarterPel16x16(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                                  int index, int rounding);
SpStatus vcPredictQuarterPelWidth8(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                                   int index, int rounding, int height);
SpStatus vcPredictQuarterPelWidth16(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                                    int index, int rounding, int height);
// The same predictions averaged into dst: dst = (dst + prediction + 1) >> 1 (the second
// direction of an interpolated or direct B-VOP macroblock).
SpStatus vcPredictQuarterPelAverage16x16(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                                         int index, int rounding);
SpStatus vcPredictQuarterPelAverageWidth8(const uint8_t* ref, int refStep, uint8_t* dst,
                                          int dstStep, int index, int rounding, int height);
SpStatus vcPredictQuarterPelAverageWidth16(const uint8_t* ref, int refStep, uint8_t* dst,
                                           int dstStep, int index, int rounding, int height);

// Four 8x8 blocks with one vector (a direct-mode macroblock whose co-located vectors agree): the
// same result as vcPredictQuarterPelWidth8 (height 8) on each block of the 16x16 area, and the
// averaging form as vcPredictQuarterPelAverageWidth8.
SpStatus vcPredictQuarterPelFour8x8(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                                    int index, int rounding);
SpStatus vcPredictQuarterPelAverageFour8x8(const uint8_t* ref, int refStep, uint8_t* dst,
                                           int dstStep, int index, int rounding);

// Overlapped block motion compensation of one 8x8 luma block: ref is the co-located block of the
// reference (vector 0); each prediction is taken at its vector, and the three of every sample
// (own, above or below, left or right by the sample's half of the block) are weighted by the
// standard's matrices. The caller substitutes the own vector for missing or intra neighbours.
SpStatus vcObmcBlock8x8(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                        const VcMotionVector* own, const VcMotionVector* above,
                        const VcMotionVector* below, const VcMotionVector* left,
                        const VcMotionVector* right, int rounding);
// The same with quarter-sample vectors (each prediction an 8x8 quarter-sample block).
SpStatus vcObmcBlock8x8QuarterPel(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                                  const VcMotionVector* own, const VcMotionVector* above,
                                  const VcMotionVector* below, const VcMotionVector* left,
                                  const VcMotionVector* right, int rounding);

// ---- Global motion compensation and static sprites ----

struct VcRect {
    int x, y, width, height;
};

enum : int {
    vcSpriteStatic = 1,
    vcSpriteGmc = 2,
};

// Size of the caller buffer of a warping set-up (used from its first 16-byte-aligned address).
inline constexpr int kVcWarpSpecSize = 384;

// Build a warping set-up. du/dv: the VOP's warping-point differentials as coded (half-sample
// units), numPoints of them (0..3; 4 only for a static sprite); accuracy: sprite_warping_accuracy
// 0..3; mode: vcSpriteStatic or vcSpriteGmc; fcode 1..7 bounds the representative vector;
// quarterSample: representative vectors in quarter-sample units; rounding: vop_rounding_type.
// vop: the VOP rectangle whose corners are the warping points (GMC: 0, 0, VOL width, height).
// ref: the rectangle the reference plane covers (GMC: the VOP; static sprite: the sprite's left,
// top, width and height). Samples outside ref repeat its edge.
SpStatus vcWarpInit(void* buffer, const int* du, const int* dv, int numPoints, int accuracy,
                    int mode, int fcode, int quarterSample, int rounding, const VcRect* vop,
                    const VcRect* ref);
// Warped luma of region (VOP luma coordinates) into dst (the region's first sample). ref: the
// sample at the reference rectangle's top-left corner.
SpStatus vcWarpLuma(const uint8_t* ref, int refStep, uint8_t* dst, int dstStep,
                    const VcRect* region, const void* spec);
// The same for both chroma planes; region in chroma coordinates, references at the chroma
// corner of the reference rectangle (its coordinates halved).
SpStatus vcWarpChroma(const uint8_t* refU, const uint8_t* refV, int refStep, uint8_t* dstU,
                      uint8_t* dstV, int dstStep, const VcRect* region, const void* spec);
// Representative vector of the GMC macroblock (mbX, mbY) for vector prediction: the average
// warped displacement of its 256 luma samples in half-sample (quarter-sample) units, within the
// fcode range; 0 without warping points. mbX, mbY 0..512.
SpStatus vcWarpGetMotionVector(int mbX, int mbY, VcMotionVector* mv, const void* spec);
// Brightness change of a warped sprite region: Y' = Y + Y x factor / 100 rounded, clamped.
// factor: brightness_change_factor -112..1648; 0 leaves the region alone.
SpStatus vcSpriteBrightness(uint8_t* plane, int step, int width, int height, int factor);

// ---- Deringing post-filter ----

// Deringing thresholds of count blocks (4: the luma blocks of a macroblock at src, in raster
// order; 1: one block). Each block's threshold is the mid-grey of its extremes; within a
// macroblock a flat block (range < 32) takes the threshold of the block with the largest range
// when that range is at least 64, and all thresholds are 0 when it is below 64. dst (may be null)
// receives a copy of the blocks; minMax (may be null) their minimum and maximum, two per block.
SpStatus vcDeringThreshold(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                           uint8_t* minMax, int count, int* thresholds);
// Deringing of one 8x8 block from src into dst (not the same samples): a sample whose 3x3
// neighbourhood lies entirely on one side of threshold is smoothed with the (1 2 1) x (1 2 1)
// kernel, the change limited to quant / 2; others are copied. Reads one sample around the block.
SpStatus vcDeringBlock8x8(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, int quant,
                          int threshold);
