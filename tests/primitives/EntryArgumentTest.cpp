// Bad arguments are refused at the kernels' entries, before any implementation runs: one table of
// entry calls with the status each must return. Nothing may be written by a refused call.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "primitives/AudioCoding.h"
#include "primitives/Colour.h"
#include "primitives/Image.h"
#include "primitives/MPEG4Coding.h"
#include "primitives/Memory.h"
#include "primitives/Signal.h"
#include "primitives/VideoCoding.h"

namespace {

uint8_t g_pixels[32 * 32];
int16_t g_coefficients[64];

struct EntryCase {
    const char* call;
    SpStatus (*run)();
    SpStatus expected;
};

const VcMotionVector g_mv{0, 0};
float g_floats[64];
const float* g_sources[2] = {g_floats, nullptr};
float* g_destinations[2] = {g_floats, nullptr};

float* Flt() {
    return g_floats;
}
uint16_t* Words() {
    return reinterpret_cast<uint16_t*>(g_coefficients);
}
uint8_t* Pix() {
    return g_pixels;
}
int16_t* Coef() {
    return g_coefficients;
}

// Colour operands: three planes in g_pixels, and the same with one plane or step missing or bad.
const uint8_t* const g_src[3] = {g_pixels, g_pixels + 256, g_pixels + 512};
const uint8_t* const g_srcNoU[3] = {g_pixels, nullptr, g_pixels + 512};
uint8_t* const g_dst[3] = {g_pixels, g_pixels + 256, g_pixels + 512};
uint8_t* const g_dstNoV[3] = {g_pixels, g_pixels + 256, nullptr};
const int g_steps[3] = {16, 8, 8};
const int g_zeroU[3] = {16, 0, 8};
const int g_negativeV[3] = {16, 8, -8};
constexpr SpSize k2x2{2, 2};

// A motion history for the 4x4 deinterlacing cases, and one whose history is missing.
ImDeinterlaceState g_history{g_pixels + 512, 4, {4, 4}, 0, 0};
ImDeinterlaceState g_noHistory{nullptr, 4, {4, 4}, 0, 0};
ImDeinterlaceState g_negativeThreshold{g_pixels + 512, 4, {4, 4}, -1, 0};
int g_bytes;
uint16_t* Samples() {
    return reinterpret_cast<uint16_t*>(g_pixels);
}

// Audio contexts built on first use, and memory whose tag matches no context.
AcSynthesisState* Synthesis() {
    static std::vector<uint8_t> memory(kAcSynthesisStateSize);
    static AcSynthesisState* state = nullptr;
    if (!state) acSynthesisInit(&state, memory.data());
    return state;
}
const AcHuffmanSpec* Huffman() {
    static const AcHuffmanCode codes[] = {{1, 1, 1}, {0, 1, 2}, {0, 0, 0}};
    static std::vector<uint8_t> memory;
    static AcHuffmanSpec* spec = nullptr;
    if (!spec) {
        int size = 0;
        acHuffmanGetSpecSize(codes, &size);
        memory.resize(size_t(size));
        acHuffmanInitSpec(codes, &spec, memory.data());
    }
    return spec;
}
alignas(32) uint8_t g_untagged[64];
template <class Context>
Context* Untagged() {
    return reinterpret_cast<Context*>(g_untagged);
}
const uint8_t* g_bits = g_pixels;
const uint8_t* g_noBits = nullptr;
int g_bitOffset;
const int g_decreasing[] = {0, 5, 3};
const int g_negativeFirst[] = {-1, 3};

// MPEG-4 coefficient decoding: bit offsets out of range, an output count, and dequantisation
// set-ups of either kind built on first use.
int g_offset8 = 8, g_offsetMinus1 = -1, g_count;
const void* QuantSpec(bool intra) {
    alignas(16) static uint8_t memory[2][kVcQuantMatrixSpecSize];
    static bool built[2];
    if (!built[intra]) {
        intra ? vcQuantMatrixInitIntra(nullptr, memory[1], 8)
              : vcQuantMatrixInitInter(nullptr, memory[0], 8);
        built[intra] = true;
    }
    return memory[intra];
}
const void* IntraSpec() {
    return QuantSpec(true);
}
const void* InterSpec() {
    return QuantSpec(false);
}


// Set-ups refused calls may not touch, a warping set-up built on first use and one never built.
alignas(16) uint8_t g_scratch[kVcWarpSpecSize + 16];
alignas(16) uint8_t g_unbuiltWarp[kVcWarpSpecSize];
const void* WarpSpec() {
    alignas(16) static uint8_t memory[kVcWarpSpecSize];
    static const VcRect vop{0, 0, 64, 48};
    static const int d[4] = {};
    static const bool built =
        vcWarpInit(memory, d, d, 0, 0, vcSpriteGmc, 1, 0, 0, &vop, &vop) == 0;
    return built ? memory : nullptr;
}
const VcRect g_vop{0, 0, 64, 48}, g_emptyRect{0, 0, 0, 16}, g_farRect{1 << 30, 0, 64, 48};
const int g_zeros[4] = {}, g_farPoint[1] = {20000};
VcMotionVector g_vector;
const uint8_t* MatrixWithAZero() {
    static uint8_t matrix[64];
    std::memset(matrix, 16, 64);
    matrix[40] = 0;
    return matrix;
}
const AcHuffmanCode g_noCodes[] = {{0, 0, 0}};
AcMdctSpec* g_mdct;
AcHuffmanSpec* g_huffman;

// clang-format off
const EntryCase kCases[] = {
    {"vcCopyBlock8x8 null source", [] { return vcCopyBlock8x8(nullptr, 32, Pix(), 32); }, -8},
    {"vcCopyBlock8x8 null destination", [] { return vcCopyBlock8x8(Pix(), 32, nullptr, 32); }, -8},
    {"vcCopyBlock16x16 zero source step", [] { return vcCopyBlock16x16(Pix(), 0, Pix(), 32); }, -14},
    {"vcCopyBlock16x16 negative step", [] { return vcCopyBlock16x16(Pix(), 32, Pix(), -32); }, -14},
    {"vcAddResidual8x8 null residual", [] { return vcAddResidual8x8(nullptr, 16, Pix(), 32); }, -8},
    {"vcAddResidual8x8 null destination", [] { return vcAddResidual8x8(Coef(), 15, nullptr, 32); }, -8},
    {"vcAddResidual8x8 zero residual step", [] { return vcAddResidual8x8(Coef(), 0, Pix(), 32); }, -14},
    // A residual row must start on a 16-bit value.
    {"vcAddResidual8x8 odd residual step", [] { return vcAddResidual8x8(Coef(), 15, Pix(), 32); }, -14},
    {"vcAddResidual8x8 zero step", [] { return vcAddResidual8x8(Coef(), 16, Pix(), 0); }, -14},
    {"vcAddConstant8x8 null", [] { return vcAddConstant8x8(1, nullptr, 32); }, -8},
    {"vcAddConstant8x8 zero step", [] { return vcAddConstant8x8(1, Pix(), 0); }, -14},
    {"vcPredict8x4 null reference", [] { return vcPredict8x4(nullptr, 32, Pix(), 32, 3, 0); }, -8},
    {"vcPredict8x8 null destination", [] { return vcPredict8x8(Pix(), 32, nullptr, 32, 0, 0); }, -8},
    {"vcPredict16x8 zero step", [] { return vcPredict16x8(Pix(), 0, Pix(), 32, 1, 0); }, -14},
    {"vcPredict16x16 negative step", [] { return vcPredict16x16(Pix(), 32, Pix(), -1, 2, 1); }, -14},
    {"vcPredictAverage8x4 null", [] { return vcPredictAverage8x4(nullptr, 32, Pix(), 32, 3, 0); }, -8},
    {"vcPredictAverage8x8 zero step", [] { return vcPredictAverage8x8(Pix(), 32, Pix(), 0, 3, 0); }, -14},
    {"vcPredictAverage16x8 null", [] { return vcPredictAverage16x8(Pix(), 32, nullptr, 32, 1, 1); }, -8},
    {"vcPredictAverage16x16 zero step", [] { return vcPredictAverage16x16(Pix(), 0, Pix(), 32, 0, 0); }, -14},
    {"vcInverseDct8x8 null input", [] { return vcInverseDct8x8(nullptr, Coef()); }, -8},
    {"vcInverseDct8x8 null output", [] { return vcInverseDct8x8(Coef(), nullptr); }, -8},
    {"vcInverseDct8x8Reduced null input", [] { return vcInverseDct8x8Reduced(nullptr, Coef()); }, -8},
    {"vcInverseDct8x8Reduced null output", [] { return vcInverseDct8x8Reduced(Coef(), nullptr); }, -8},
    {"vcInverseDct8x8Sparse null input", [] { return vcInverseDct8x8Sparse(nullptr, Coef()); }, -8},
    {"vcInverseDct8x8SparseStore zero step", [] { return vcInverseDct8x8SparseStore(Coef(), Pix(), 0); }, -14},
    {"vcInverseDct8x8Add null output", [] { return vcInverseDct8x8Add(Coef(), nullptr, 8); }, -8},
    {"vcInverseDct8x8SparseAdd negative step", [] { return vcInverseDct8x8SparseAdd(Coef(), Pix(), -8); }, -14},
    {"vcInverseDct8x8ToPixels null input", [] { return vcInverseDct8x8ToPixels(nullptr, Pix(), 8, 20); }, -8},
    {"vcInverseDct8x8ToPixels null output", [] { return vcInverseDct8x8ToPixels(Coef(), nullptr, 8, 0); }, -8},
    {"vcInverseDct8x8ToPixels zero step", [] { return vcInverseDct8x8ToPixels(Coef(), Pix(), 0, 5); }, -14},
    {"vcInverseDct8x8Store null input", [] { return vcInverseDct8x8Store(nullptr, Pix(), 8); }, -8},
    {"vcInverseDct8x8Store null output", [] { return vcInverseDct8x8Store(Coef(), nullptr, 8); }, -8},
    {"vcInverseDct8x8Store negative step", [] { return vcInverseDct8x8Store(Coef(), Pix(), -8); }, -14},

    {"vcPredictQuarterPel16x16 null reference", [] { return vcPredictQuarterPel16x16(nullptr, 32, Pix(), 32, 1, 0); }, -8},
    {"vcPredictQuarterPelAverage16x16 null destination", [] { return vcPredictQuarterPelAverage16x16(Pix(), 32, nullptr, 32, 5, 1); }, -8},
    {"vcPredictQuarterPelFour8x8 null reference", [] { return vcPredictQuarterPelFour8x8(nullptr, 32, Pix(), 32, 5, 0); }, -8},
    {"vcPredictQuarterPelAverageFour8x8 null destination", [] { return vcPredictQuarterPelAverageFour8x8(Pix(), 32, nullptr, 32, 5, 0); }, -8},
    {"vcPredictQuarterPelWidth8 null destination", [] { return vcPredictQuarterPelWidth8(Pix(), 32, nullptr, 32, 1, 0, 8); }, -8},
    // One row has too few neighbours to mirror the 8-tap filter into.
    {"vcPredictQuarterPelWidth8 one row", [] { return vcPredictQuarterPelWidth8(Pix(), 32, Pix() + 512, 32, 5, 0, 1); }, -6},
    {"vcPredictQuarterPelWidth16 no rows", [] { return vcPredictQuarterPelWidth16(Pix(), 32, Pix() + 512, 32, 1, 0, 0); }, -6},
    {"vcPredictQuarterPelWidth16 17 rows", [] { return vcPredictQuarterPelWidth16(Pix(), 32, Pix() + 512, 32, 1, 0, 17); }, -6},
    {"vcPredictQuarterPelAverageWidth8 one row", [] { return vcPredictQuarterPelAverageWidth8(Pix(), 32, Pix() + 512, 32, 5, 0, 1); }, -6},
    {"vcPredictQuarterPelAverageWidth16 one row", [] { return vcPredictQuarterPelAverageWidth16(Pix(), 32, Pix() + 512, 32, 5, 0, 1); }, -6},
    {"vcAverageInto8x8 null source", [] { return vcAverageInto8x8(nullptr, 32, Pix(), 32); }, -8},
    {"vcAverageInto16x16 null destination", [] { return vcAverageInto16x16(Pix(), 32, nullptr, 32); }, -8},
    {"vcObmcBlock8x8 null neighbour", [] { return vcObmcBlock8x8(Pix() + 264, 32, Pix(), 32, &g_mv, &g_mv, nullptr, &g_mv, &g_mv, 0); }, -8},
    {"vcObmcBlock8x8QuarterPel null destination", [] { return vcObmcBlock8x8QuarterPel(Pix() + 264, 32, nullptr, 32, &g_mv, &g_mv, &g_mv, &g_mv, &g_mv, 0); }, -8},
    {"vcDeringBlock8x8 null destination", [] { return vcDeringBlock8x8(Pix() + 33, 32, nullptr, 32, 4, 0); }, -8},
    {"vcDeringBlock8x8 quantiser 0", [] { return vcDeringBlock8x8(Pix() + 33, 32, Pix() + 512, 32, 0, 0); }, -192},
    {"vcDeringBlock8x8 quantiser 32", [] { return vcDeringBlock8x8(Pix() + 33, 32, Pix() + 512, 32, 32, 0); }, -192},
    {"vcDecodeIntraDcMpeg4 null position", [] { return vcDecodeIntraDcMpeg4(nullptr, &g_bitOffset, Coef(), 0); }, -8},
    {"vcDecodeIntraDcMpeg4 null offset", [] { return vcDecodeIntraDcMpeg4(&g_bits, nullptr, Coef(), 0); }, -8},
    {"vcDecodeIntraDcMpeg4 bit offset -1", [] { return vcDecodeIntraDcMpeg4(&g_bits, &g_offsetMinus1, Coef(), 1); }, -193},
    {"vcDecodeIntraDcMpeg4 null coefficient", [] { return vcDecodeIntraDcMpeg4(&g_bits, &g_bitOffset, nullptr, 0); }, -8},
    {"vcDecodeIntraCoefsMpeg4 null stream", [] { return vcDecodeIntraCoefsMpeg4(&g_noBits, &g_bitOffset, Coef(), &g_count, 0, 0, 0); }, -8},
    {"vcDecodeIntraCoefsMpeg4 bit offset 8", [] { return vcDecodeIntraCoefsMpeg4(&g_bits, &g_offset8, Coef(), &g_count, 0, 0, 0); }, -193},
    {"vcDecodeIntraCoefsMpeg4 null block", [] { return vcDecodeIntraCoefsMpeg4(&g_bits, &g_bitOffset, nullptr, &g_count, 0, 1, 0); }, -8},
    {"vcDecodeIntraCoefsMpeg4 null last index", [] { return vcDecodeIntraCoefsMpeg4(&g_bits, &g_bitOffset, Coef(), nullptr, 0, 0, 2); }, -8},
    {"vcDecodeInterCoefsMpeg4 null position", [] { return vcDecodeInterCoefsMpeg4(nullptr, &g_bitOffset, Coef(), &g_count, 0, 0, InterSpec(), 4); }, -8},
    {"vcDecodeInterCoefsMpeg4 bit offset -1", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_offsetMinus1, Coef(), &g_count, 0, 0, InterSpec(), 4); }, -193},
    {"vcDecodeInterCoefsMpeg4 null count", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_bitOffset, Coef(), nullptr, 0, 0, InterSpec(), 4); }, -8},
    {"vcDecodeInterCoefsMpeg4 null set-up", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_bitOffset, Coef(), &g_count, 0, 0, nullptr, 4); }, -8},
    {"vcDecodeInterCoefsMpeg4 intra set-up", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_bitOffset, Coef(), &g_count, 0, 0, IntraSpec(), 4); }, -17},
    {"vcDecodeInterCoefsMpeg4 quantiser 0", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_bitOffset, Coef(), &g_count, 0, 0, InterSpec(), 0); }, -192},
    {"vcDecodeInterCoefsMpeg4 quantiser 32", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_bitOffset, Coef(), &g_count, 1, 1, InterSpec(), 32); }, -192},
    {"vcDecodeIntraBlockH263 null stream", [] { return vcDecodeIntraBlockH263(&g_noBits, &g_bitOffset, Coef(), &g_count, 1, 4); }, -8},
    {"vcDecodeIntraBlockH263 null count", [] { return vcDecodeIntraBlockH263(&g_bits, &g_bitOffset, Coef(), nullptr, 1, 4); }, -8},
    {"vcDecodeIntraBlockH263 quantiser 0", [] { return vcDecodeIntraBlockH263(&g_bits, &g_bitOffset, Coef(), &g_count, 1, 0); }, -192},
    {"vcDecodeIntraBlockH263 quantiser 32", [] { return vcDecodeIntraBlockH263(&g_bits, &g_bitOffset, Coef(), &g_count, 0, 32); }, -192},
    {"vcDecodeInterBlockH263 bit offset 8", [] { return vcDecodeInterBlockH263(&g_bits, &g_offset8, Coef(), &g_count, 4); }, -193},
    {"vcDecodeInterBlockH263 null block", [] { return vcDecodeInterBlockH263(&g_bits, &g_bitOffset, nullptr, &g_count, 4); }, -8},
    {"vcDecodeInterBlockH263 quantiser 0", [] { return vcDecodeInterBlockH263(&g_bits, &g_bitOffset, Coef(), &g_count, 0); }, -192},
    {"vcDecodeInterBlockH263 quantiser 32", [] { return vcDecodeInterBlockH263(&g_bits, &g_bitOffset, Coef(), &g_count, 32); }, -192},
    {"vcDequantIntraMpeg4 null block", [] { return vcDequantIntraMpeg4(nullptr, 63, IntraSpec(), 4, 0); }, -8},
    {"vcDequantIntraMpeg4 null set-up", [] { return vcDequantIntraMpeg4(Coef(), 63, nullptr, 4, 0); }, -8},
    {"vcDequantIntraMpeg4 inter set-up", [] { return vcDequantIntraMpeg4(Coef(), 0, InterSpec(), 4, 1); }, -17},
    {"vcDequantIntraMpeg4 untagged set-up", [] { return vcDequantIntraMpeg4(Coef(), 63, g_untagged, 4, 0); }, -17},
    {"vcDequantIntraMpeg4 quantiser 0", [] { return vcDequantIntraMpeg4(Coef(), 63, IntraSpec(), 0, 0); }, -192},
    {"vcDequantIntraMpeg4 quantiser 32", [] { return vcDequantIntraMpeg4(Coef(), 0, IntraSpec(), 32, 1); }, -192},

    {"spCopy8u null source", [] { return spCopy8u(nullptr, Pix(), 4); }, -8},
    {"spCopy8u null destination", [] { return spCopy8u(Pix(), nullptr, 4); }, -8},
    {"spCopy8u zero length", [] { return spCopy8u(Pix(), Pix() + 8, 0); }, -6},
    {"spSet8u null", [] { return spSet8u(1, nullptr, 4); }, -8},
    {"spSet8u negative length", [] { return spSet8u(1, Pix(), -1); }, -6},
    {"spSet16s null", [] { return spSet16s(1, nullptr, 4); }, -8},
    {"spSet16s zero length", [] { return spSet16s(1, Coef(), 0); }, -6},
    {"spCopyRegion8u null", [] { return spCopyRegion8u(nullptr, 4, Pix(), 4, {4, 2}); }, -8},
    {"spCopyRegion8u zero width", [] { return spCopyRegion8u(Pix(), 4, Pix() + 8, 4, {0, 2}); }, -6},
    {"spCopyRegion8u zero height", [] { return spCopyRegion8u(Pix(), 4, Pix() + 8, 4, {4, 0}); }, -6},
    {"spCopyRegion8u zero source step", [] { return spCopyRegion8u(Pix(), 0, Pix() + 8, 4, {4, 2}); }, -14},
    {"spCopyRegion8u negative step", [] { return spCopyRegion8u(Pix(), 4, Pix() + 8, -4, {4, 2}); }, -14},

    {"spZero8u null", [] { return spZero8u(nullptr, 1); }, -8},
    {"spZero8u zero length", [] { return spZero8u(Pix(), 0); }, -6},
    {"spZero16s negative length", [] { return spZero16s(Coef(), -1); }, -6},
    {"spZero32f null", [] { return spZero32f(nullptr, 4); }, -8},
    {"spCopy32f null destination", [] { return spCopy32f(Flt(), nullptr, 4); }, -8},
    {"spCopy32f zero length", [] { return spCopy32f(Flt(), Flt(), 0); }, -6},
    {"spMulC32fInPlace null", [] { return spMulC32fInPlace(2.0f, nullptr, 4); }, -8},
    {"spMulC32fInPlace zero length", [] { return spMulC32fInPlace(1.0f, Flt(), 0); }, -6},
    {"spMulC32f null source", [] { return spMulC32f(nullptr, 2.0f, Flt(), 4); }, -8},
    {"spAddProductC32f zero length", [] { return spAddProductC32f(Flt(), 2.0f, Flt(), 0); }, -6},
    {"spMul32f null first", [] { return spMul32f(nullptr, Flt(), Flt(), 4); }, -8},
    {"spMul32f null second", [] { return spMul32f(Flt(), nullptr, Flt(), 4); }, -8},
    {"spMul32f null destination", [] { return spMul32f(Flt(), Flt(), nullptr, 4); }, -8},
    {"spMul32f zero length", [] { return spMul32f(Flt(), Flt(), Flt(), 0); }, -6},
    {"spMul32fInPlace null", [] { return spMul32fInPlace(nullptr, Flt(), 4); }, -8},
    {"spAdd32f zero length", [] { return spAdd32f(Flt(), Flt(), Flt(), 0); }, -6},
    {"spAdd32fInPlace null", [] { return spAdd32fInPlace(Flt(), nullptr, 4); }, -8},
    {"spSub32fInPlace null", [] { return spSub32fInPlace(nullptr, Flt(), 4); }, -8},
    {"spSub32fInPlace negative length", [] { return spSub32fInPlace(Flt(), Flt(), -3); }, -6},
    {"spAddProduct32f null", [] { return spAddProduct32f(Flt(), Flt(), nullptr, 4); }, -8},
    {"spDotProduct32f null result", [] { return spDotProduct32f(Flt(), Flt(), 4, nullptr); }, -8},
    {"spDotProduct32f zero length", [] { return spDotProduct32f(Flt(), Flt(), 0, Flt()); }, -6},
    {"spFlip32 null", [] { return spFlip32(nullptr, Flt(), 4); }, -8},
    {"spMulC16sScaled null destination", [] { return spMulC16sScaled(Coef(), 1, nullptr, 4, 0); }, -8},
    {"spMulC16sScaledInPlace zero length", [] { return spMulC16sScaledInPlace(1, Coef(), 0, 0); }, -6},
    {"spAdd16sScaled null second", [] { return spAdd16sScaled(Coef(), nullptr, Coef(), 4, 0); }, -8},
    {"spDeinterleave32 no channels", [] { return spDeinterleave32(Flt(), 0, 2, g_destinations); }, -53},
    {"spDeinterleave32 null channel", [] { return spDeinterleave32(Flt(), 2, 2, g_destinations); }, -8},
    {"spDeinterleave32 zero length", [] { return spDeinterleave32(Flt(), 1, 0, g_destinations); }, -6},
    {"spDeinterleave32 null source", [] { return spDeinterleave32(nullptr, 1, 2, g_destinations); }, -8},
    {"spFloatToInt16Interleave no channels", [] { return spFloatToInt16Interleave(g_sources, 0, 4, Coef()); }, -53},
    {"spFloatToInt16Interleave null channel", [] { return spFloatToInt16Interleave(g_sources, 2, 4, Coef()); }, -8},
    {"spFloatToInt16Interleave zero length", [] { return spFloatToInt16Interleave(g_sources, 1, 0, Coef()); }, -6},
    {"spFloatToInt16Interleave null array", [] { return spFloatToInt16Interleave(nullptr, 1, 4, Coef()); }, -8},
    {"spFloatToInt16Interleave null destination", [] { return spFloatToInt16Interleave(g_sources, 1, 4, nullptr); }, -8},
    {"spSwapBytes16 null destination", [] { return spSwapBytes16(Words(), nullptr, 4); }, -8},
    {"spSwapBytes16 zero length", [] { return spSwapBytes16(Words(), Words(), 0); }, -6},

    {"ccYuv420ToRgb24 null plane", [] { return ccYuv420ToRgb24(g_srcNoU, g_steps, Pix(), 8, k2x2); }, -8},
    {"ccYuv420ToRgb24 null planes", [] { return ccYuv420ToRgb24(nullptr, g_steps, Pix(), 8, k2x2); }, -8},
    {"ccYuv420ToRgb24 null steps", [] { return ccYuv420ToRgb24(g_src, nullptr, Pix(), 8, k2x2); }, -8},
    {"ccYuv420ToRgb24 null destination", [] { return ccYuv420ToRgb24(g_src, g_steps, nullptr, 8, k2x2); }, -8},
    {"ccYuv420ToRgb24 zero width", [] { return ccYuv420ToRgb24(g_src, g_steps, Pix(), 8, {0, 2}); }, -6},
    {"ccYuv420ToRgb24 zero step", [] { return ccYuv420ToRgb24(g_src, g_zeroU, Pix(), 8, k2x2); }, -14},
    // A size error comes before a step error, a null pointer before both.
    {"ccYuv420ToRgb24 zero step and size", [] { return ccYuv420ToRgb24(g_src, g_zeroU, Pix(), 8, {2, 0}); }, -6},
    {"ccYuv420ToRgb24 null and zero size", [] { return ccYuv420ToRgb24(g_srcNoU, g_steps, Pix(), 8, {0, 0}); }, -8},
    {"ccYuv420ToArgb32 negative height", [] { return ccYuv420ToArgb32(g_src, g_steps, Pix(), 8, {2, -3}, 255); }, -6},
    {"ccYuv420ToArgb32 negative step", [] { return ccYuv420ToArgb32(g_src, g_negativeV, Pix(), 8, k2x2, 255); }, -14},
    {"ccYuv420ToRgb565 destination step", [] { return ccYuv420ToRgb565(g_src, g_steps, Pix(), 0, k2x2); }, -14},
    {"ccYuv420ToRgb16Other null plane", [] { return ccYuv420ToRgb16Other(g_srcNoU, g_steps, Pix(), 8, k2x2); }, -8},
    {"ccYuv420ToYuy2 one column", [] { return ccYuv420ToYuy2(g_src, g_steps, Pix(), 8, {1, 3}); }, -6},
    {"ccYuv420ToYuy2 one row", [] { return ccYuv420ToYuy2(g_src, g_steps, Pix(), 8, {3, 1}); }, -6},
    {"ccYuv420ToUyvy one column", [] { return ccYuv420ToUyvy(g_src, g_steps, Pix(), 8, {1, 2}); }, -6},
    {"ccYuv420ToUyvy zero step", [] { return ccYuv420ToUyvy(g_src, g_zeroU, Pix(), 8, k2x2); }, -14},
    {"ccYuv420ToNv12 null chroma", [] { return ccYuv420ToNv12(g_src, g_steps, Pix(), 8, nullptr, 8, k2x2); }, -8},
    {"ccYuv420ToNv12 zero height", [] { return ccYuv420ToNv12(g_src, g_steps, Pix(), 8, Pix(), 8, {2, 0}); }, -6},
    {"ccYuv420ToNv12 chroma step", [] { return ccYuv420ToNv12(g_src, g_steps, Pix(), 8, Pix(), 0, k2x2); }, -14},
    {"ccYuv420ToNv12 one row", [] { return ccYuv420ToNv12(g_src, g_steps, Pix(), 8, Pix(), 8, {4, 1}); }, -6},
    {"ccYuv420ToY41p null planes", [] { return ccYuv420ToY41p(nullptr, g_steps, Pix(), 8, k2x2); }, -8},
    {"ccYuv422ToYuy2 zero step", [] { return ccYuv422ToYuy2(g_src, g_zeroU, Pix(), 8, k2x2); }, -14},
    {"ccYvu9ToRgb24 zero size", [] { return ccYvu9ToRgb24(g_src, g_steps, Pix(), 8, {0, 0}); }, -6},
    {"ccYuv420ToYuv422 null destination plane", [] { return ccYuv420ToYuv422(g_src, g_steps, g_dstNoV, g_steps, k2x2); }, -8},
    {"ccYuv420ToYuv411 null destination steps", [] { return ccYuv420ToYuv411(g_src, g_steps, g_dst, nullptr, k2x2); }, -8},
    {"ccYuv422ToYuv420 negative width", [] { return ccYuv422ToYuv420(g_src, g_steps, g_dst, g_steps, {-1, 2}); }, -6},
    {"ccYuv411ToYuv420 destination step", [] { return ccYuv411ToYuv420(g_src, g_steps, g_dst, g_negativeV, k2x2); }, -14},
    {"ccNv12ToYuy2 null chroma", [] { return ccNv12ToYuy2(Pix(), 8, nullptr, 8, Pix(), 8, k2x2); }, -8},
    {"ccNv12ToRgb24 zero width", [] { return ccNv12ToRgb24(Pix(), 8, Pix(), 8, Pix(), 8, {0, 2}); }, -6},
    {"ccNv12ToArgb32 chroma step", [] { return ccNv12ToArgb32(Pix(), 8, Pix(), 0, Pix(), 8, k2x2, 1); }, -14},
    {"ccNv12ToYuv420 null destination planes", [] { return ccNv12ToYuv420(Pix(), 8, Pix(), 8, nullptr, g_steps, k2x2); }, -8},
    {"ccNv12ToYuv420 destination step", [] { return ccNv12ToYuv420(Pix(), 8, Pix(), 8, g_dst, g_zeroU, k2x2); }, -14},
    {"ccYuy2ToUyvy null source", [] { return ccYuy2ToUyvy(nullptr, 8, Pix(), 8, k2x2); }, -8},
    {"ccYuy2ToRgb24 null destination", [] { return ccYuy2ToRgb24(Pix(), 8, nullptr, 8, k2x2); }, -8},
    {"ccUyvyToYuy2 zero height", [] { return ccUyvyToYuy2(Pix(), 8, Pix(), 8, {2, 0}); }, -6},
    {"ccRgb24ToYuy2 zero source step", [] { return ccRgb24ToYuy2(Pix(), 0, Pix(), 8, k2x2); }, -14},
    {"ccArgb32ToArgb32 destination step", [] { return ccArgb32ToArgb32(Pix(), 8, Pix(), -8, k2x2, 1); }, -14},
    {"ccRgb565ToRgb24 null source", [] { return ccRgb565ToRgb24(nullptr, 8, Pix(), 8, k2x2); }, -8},
    {"ccGray8ToYuy2 zero width", [] { return ccGray8ToYuy2(Pix(), 8, Pix(), 8, {0, 2}); }, -6},
    {"ccYuy2ToGray8 zero step", [] { return ccYuy2ToGray8(Pix(), 0, Pix(), 8, k2x2); }, -14},
    {"ccYuy2ToNv12 chroma step", [] { return ccYuy2ToNv12(Pix(), 8, Pix(), 8, Pix(), 0, k2x2); }, -14},
    {"ccUyvyToNv12 null luma", [] { return ccUyvyToNv12(Pix(), 8, nullptr, 8, Pix(), 8, k2x2); }, -8},
    {"ccYuy2ToYuv420 null destination planes", [] { return ccYuy2ToYuv420(Pix(), 8, nullptr, g_steps, k2x2); }, -8},
    {"ccRgb24ToYuv420 zero size", [] { return ccRgb24ToYuv420(Pix(), 8, g_dst, g_steps, {0, 0}); }, -6},
    {"ccY41pToYuv420 null destination plane", [] { return ccY41pToYuv420(Pix(), 12, g_dstNoV, g_steps, k2x2); }, -8},
    {"ccY411ToYuv411 destination step", [] { return ccY411ToYuv411(Pix(), 6, g_dst, g_zeroU, k2x2); }, -14},
    {"ccBayerToRgb24 zero destination step", [] { return ccBayerToRgb24(Pix(), 2, Pix(), 0, k2x2, 0); }, -14},
    // A bottom-up destination passes minus its pitch, which must still hold a row.
    {"ccBayerToRgb24 short destination row", [] { return ccBayerToRgb24(Pix(), 2, Pix() + 12, -5, k2x2, 0); }, -14},
    {"ccBayerToRgb24 null destination", [] { return ccBayerToRgb24(Pix(), 2, nullptr, 6, k2x2, 0); }, -8},
    {"ccBayerToRgb24 layout", [] { return ccBayerToRgb24(Pix(), 2, Pix(), 6, k2x2, 4); }, -11},
    {"ccBayerToRgb24 layout and size", [] { return ccBayerToRgb24(Pix(), 2, Pix(), 6, {0, 2}, 4); }, -6},
    {"ccLumaRangeStretch k above 7", [] { return ccLumaRangeStretch(Pix(), 8, Pix(), 8, k2x2, 8); }, -11},
    {"ccLumaRangeStretch negative k", [] { return ccLumaRangeStretch(Pix(), 8, Pix(), 8, k2x2, -1); }, -11},
    {"ccLumaRangeStretch null source", [] { return ccLumaRangeStretch(nullptr, 8, Pix(), 8, k2x2, 0); }, -8},

    {"imDeinterlaceMethod2 weight above 128", [] { return imDeinterlaceMethod2(Pix(), 4, Pix(), 4, {4, 4}, 129, 21); }, -11},
    {"imDeinterlaceMethod2 negative threshold", [] { return imDeinterlaceMethod2(Pix(), 4, Pix(), 4, {4, 4}, 128, -1); }, -11},
    {"imDeinterlaceMethod2 null destination", [] { return imDeinterlaceMethod2(Pix(), 4, nullptr, 4, {4, 4}, 128, 21); }, -8},
    {"imDeinterlaceMethod4 null source", [] { return imDeinterlaceMethod4(nullptr, 4, Pix(), 4, {4, 4}, 0); }, -8},
    {"imDeinterlaceMethod4 zero width", [] { return imDeinterlaceMethod4(Pix(), 4, Pix(), 4, {0, 4}, 0); }, -6},
    // A step must hold a row of the region.
    {"imDeinterlaceMethod4 short source step", [] { return imDeinterlaceMethod4(Pix(), 3, Pix(), 4, {4, 4}, 0); }, -14},
    {"imDeinterlaceMethod4 negative threshold", [] { return imDeinterlaceMethod4(Pix(), 4, Pix(), 4, {4, 4}, -1); }, -11},
    {"imDeinterlaceMethod5 short destination step", [] { return imDeinterlaceMethod5(Pix(), 4, Pix(), 3, {4, 4}, 0); }, -14},
    {"imDeinterlaceMethod5 negative threshold", [] { return imDeinterlaceMethod5(Pix(), 4, Pix(), 4, {4, 4}, -1); }, -11},
    {"imDeinterlaceOtherB zero distance", [] { return imDeinterlaceOtherB(Pix(), 4, Pix(), 4, {4, 4}, 0); }, -11},
    {"imDeinterlaceOtherB zero height", [] { return imDeinterlaceOtherB(Pix(), 4, Pix(), 4, {4, 0}, 1); }, -6},
    {"imDeinterlaceOtherA null state", [] { return imDeinterlaceOtherA(Pix(), 4, Pix(), 4, {4, 4}, nullptr); }, -8},
    {"imDeinterlaceOtherA null history", [] { return imDeinterlaceOtherA(Pix(), 4, Pix(), 4, {4, 4}, &g_noHistory); }, -8},
    {"imDeinterlaceOtherA other size", [] { return imDeinterlaceOtherA(Pix(), 4, Pix(), 4, {4, 2}, &g_history); }, -6},
    {"imDeinterlaceOtherA short step", [] { return imDeinterlaceOtherA(Pix(), 2, Pix(), 4, {4, 4}, &g_history); }, -14},
    {"imDeinterlaceOtherA negative threshold", [] { return imDeinterlaceOtherA(Pix(), 4, Pix(), 4, {4, 4}, &g_negativeThreshold); }, -11},

    {"imResizeGetBufferSize method", [] { return imResizeGetBufferSize({4, 4}, {2, 2}, 4, 1, &g_bytes); }, -11},
    {"imResizeGetBufferSize channels", [] { return imResizeGetBufferSize({4, 4}, {2, 2}, 1, 5, &g_bytes); }, -11},
    {"imResizeGetBufferSize zero width", [] { return imResizeGetBufferSize({0, 4}, {2, 2}, 1, 1, &g_bytes); }, -6},
    {"imResizeGetBufferSize null", [] { return imResizeGetBufferSize({4, 4}, {2, 2}, 1, 1, nullptr); }, -8},
    {"imResizePlane8uC1 null work", [] { return imResizePlane8uC1(Pix(), 4, {4, 4}, Pix(), 2, {2, 2}, 1, nullptr); }, -8},
    {"imResizePlane8uC1 null source", [] { return imResizePlane8uC1(nullptr, 4, {4, 4}, Pix(), 2, {2, 2}, 1, Pix()); }, -8},
    {"imResizePlane8uC1 negative height", [] { return imResizePlane8uC1(Pix(), 4, {4, 4}, Pix(), 2, {2, -2}, 1, Pix()); }, -6},
    {"imResizePlane8uC1 method", [] { return imResizePlane8uC1(Pix(), 4, {4, 4}, Pix(), 2, {2, 2}, 7, Pix()); }, -11},
    {"imResizePlane8uC1 zero step", [] { return imResizePlane8uC1(Pix(), 0, {4, 4}, Pix(), 2, {2, 2}, 1, Pix()); }, -14},
    // An unknown method is reported before a step too short for the row.
    {"imResizePlane8uC2 method and short step", [] { return imResizePlane8uC2(Pix(), 4, {4, 4}, Pix(), 4, {2, 2}, 9, Pix()); }, -11},
    {"imResizePlane8uC2 short step", [] { return imResizePlane8uC2(Pix(), 7, {4, 4}, Pix(), 4, {2, 2}, 1, Pix()); }, -14},
    {"imResizePlane8uC3 short destination step", [] { return imResizePlane8uC3(Pix(), 12, {4, 4}, Pix(), 5, {2, 2}, 1, Pix()); }, -14},
    {"imResizePlane8uC4 short source step", [] { return imResizePlane8uC4(Pix(), 15, {4, 4}, Pix(), 8, {2, 2}, 1, Pix()); }, -14},
    {"imResizePlane16uC1 short step", [] { return imResizePlane16uC1(Samples(), 7, {4, 4}, Samples(), 4, {2, 2}, 1, Pix()); }, -14},
    {"imResizePlane16uC3 null destination", [] { return imResizePlane16uC3(Samples(), 24, {4, 4}, nullptr, 12, {2, 2}, 1, Pix()); }, -8},
    {"imResizePlane16uC4 short destination step", [] { return imResizePlane16uC4(Samples(), 32, {4, 4}, Samples(), 15, {2, 2}, 1, Pix()); }, -14},
    // A YUY2 row of odd width still ends on a whole pixel pair.
    {"imResizeYuy2 short source step", [] { return imResizeYuy2(Pix(), 4, {3, 4}, Pix(), 4, {2, 2}, 1, Pix()); }, -14},
    {"imResizeYuy2 short destination step", [] { return imResizeYuy2(Pix(), 8, {4, 4}, Pix(), 7, {4, 2}, 1, Pix()); }, -14},

    {"acSynthesis32 null source", [] { return acSynthesis32(nullptr, Flt(), Synthesis(), 1); }, -8},
    {"acSynthesis32 null destination", [] { return acSynthesis32(Flt(), nullptr, Synthesis(), 1); }, -8},
    {"acSynthesis32 null state", [] { return acSynthesis32(Flt(), Flt(), nullptr, 1); }, -8},
    {"acSynthesis32 untagged state", [] { return acSynthesis32(Flt(), Flt(), Untagged<AcSynthesisState>(), 1); }, -17},
    {"acSynthesis32 mode 0", [] { return acSynthesis32(Flt(), Flt(), Synthesis(), 0); }, -5},
    {"acSynthesis32 mode 3", [] { return acSynthesis32(Flt(), Flt(), Synthesis(), 3); }, -5},
    {"acInverseMdct null source", [] { return acInverseMdct(nullptr, Flt(), Untagged<AcMdctSpec>(), Pix()); }, -8},
    {"acInverseMdct null set-up", [] { return acInverseMdct(Flt(), Flt(), nullptr, Pix()); }, -8},
    {"acInverseMdct untagged set-up", [] { return acInverseMdct(Flt(), Flt(), Untagged<AcMdctSpec>(), nullptr); }, -17},
    {"acPow43 null source", [] { return acPow43(nullptr, Flt(), 1); }, -8},
    {"acPow43 null destination", [] { return acPow43(Coef(), nullptr, 1); }, -8},
    {"acPow43 zero length", [] { return acPow43(Coef(), Flt(), 0); }, -6},
    {"acPow2QuarterStep null", [] { return acPow2QuarterStep(nullptr, 0, Flt(), 1); }, -8},
    {"acPow2QuarterStep negative length", [] { return acPow2QuarterStep(Coef(), 0, Flt(), -1); }, -6},
    {"acScaleBands decreasing bounds", [] { return acScaleBands(Flt(), Flt(), g_decreasing, 2); }, -5},
    {"acScaleBands negative bound", [] { return acScaleBands(Flt(), Flt(), g_negativeFirst, 1); }, -5},
    {"acScaleBands no bands", [] { return acScaleBands(Flt(), Flt(), g_decreasing, 0); }, -6},
    {"acScaleBands null lines", [] { return acScaleBands(nullptr, Flt(), g_decreasing, 1); }, -8},
    {"acScaleBands null bounds", [] { return acScaleBands(Flt(), Flt(), nullptr, 0); }, -8},
    {"acHuffmanDecodePairs null position", [] { return acHuffmanDecodePairs(nullptr, &g_bitOffset, Coef(), 1, Huffman()); }, -8},
    {"acHuffmanDecodePairs null stream", [] { return acHuffmanDecodePairs(&g_noBits, &g_bitOffset, Coef(), 1, Huffman()); }, -8},
    {"acHuffmanDecodePairs null offset", [] { return acHuffmanDecodePairs(&g_bits, nullptr, Coef(), 1, Huffman()); }, -8},
    {"acHuffmanDecodePairs null destination", [] { return acHuffmanDecodePairs(&g_bits, &g_bitOffset, nullptr, 1, Huffman()); }, -8},
    {"acHuffmanDecodePairs null set-up", [] { return acHuffmanDecodePairs(&g_bits, &g_bitOffset, Coef(), 1, nullptr); }, -8},
    {"acHuffmanDecodePairs untagged set-up", [] { return acHuffmanDecodePairs(&g_bits, &g_bitOffset, Coef(), 1, Untagged<AcHuffmanSpec>()); }, -17},
    {"acHuffmanDecodePairs no pairs", [] { return acHuffmanDecodePairs(&g_bits, &g_bitOffset, Coef(), 0, Huffman()); }, -6},
    {"acHuffmanDecodeQuads null destination", [] { return acHuffmanDecodeQuads(&g_bits, &g_bitOffset, nullptr, Huffman()); }, -8},
    {"acHuffmanDecodeQuads untagged set-up", [] { return acHuffmanDecodeQuads(&g_bits, &g_bitOffset, Coef(), Untagged<AcHuffmanSpec>()); }, -17},
    {"acHuffmanDecodePairsEscape no lines", [] { return acHuffmanDecodePairsEscape(&g_bits, &g_bitOffset, Huffman(), Coef(), 0, 0); }, -6},
    {"acHuffmanDecodePairsEscape 14 linbits", [] { return acHuffmanDecodePairsEscape(&g_bits, &g_bitOffset, Huffman(), Coef(), 2, 14); }, -5},
    {"acHuffmanDecodePairsEscape negative linbits", [] { return acHuffmanDecodePairsEscape(&g_bits, &g_bitOffset, Huffman(), Coef(), 2, -1); }, -5},
    {"vcQuantMatrixSpecSize null", [] { return vcQuantMatrixSpecSize(nullptr); }, -8},
    {"vcQuantMatrixInitIntra null buffer", [] { return vcQuantMatrixInitIntra(nullptr, nullptr, 8); }, -8},
    {"vcQuantMatrixInitIntra 3 bits", [] { return vcQuantMatrixInitIntra(nullptr, g_scratch + 1, 3); }, vcStsRangeErr},
    {"vcQuantMatrixInitInter 13 bits", [] { return vcQuantMatrixInitInter(nullptr, g_scratch + 3, 13); }, vcStsRangeErr},
    {"vcQuantMatrixInitIntra zero weight", [] { return vcQuantMatrixInitIntra(MatrixWithAZero(), g_scratch, 8); }, vcStsQuantErr},
    {"vcQuantMatrixInitInter zero weight", [] { return vcQuantMatrixInitInter(MatrixWithAZero(), g_scratch, 8); }, vcStsQuantErr},
    {"vcPredictAddResidual null residual", [] { return vcPredictAddResidual(nullptr, 16, Pix(), 16, Pix() + 512, 8, 0, 0); }, -8},
    {"vcDeblockHorizontalEdge quantiser 0", [] { return vcDeblockHorizontalEdge(Pix() + 128, 16, 0, 2, 6); }, vcStsQuantErr},
    {"vcDeblockVerticalEdge quantiser 32", [] { return vcDeblockVerticalEdge(Pix() + 128, 16, 32, 2, 6); }, vcStsQuantErr},
    {"vcDeblockVerticalEdge null", [] { return vcDeblockVerticalEdge(nullptr, 16, 3, 2, 6); }, -8},
    {"vcInverseDct8x8Full null", [] { return vcInverseDct8x8Full(nullptr); }, -8},
    {"vcInverseDct8x8Top2x2 null", [] { return vcInverseDct8x8Top2x2(nullptr); }, -8},
    {"vcSpriteBrightness factor -113", [] { return vcSpriteBrightness(Pix(), 4, 4, 3, -113); }, -11},
    {"vcSpriteBrightness factor 1649", [] { return vcSpriteBrightness(Pix(), 4, 4, 3, 1649); }, -11},
    {"vcSpriteBrightness null", [] { return vcSpriteBrightness(nullptr, 4, 4, 3, 5); }, -8},
    {"vcDeringThreshold null source", [] { return vcDeringThreshold(nullptr, 16, nullptr, 0, nullptr, 4, reinterpret_cast<int*>(Flt())); }, -8},
    {"vcDeringThreshold null thresholds", [] { return vcDeringThreshold(Pix(), 16, nullptr, 0, nullptr, 4, nullptr); }, -8},
    {"vcDeringThreshold two blocks", [] { return vcDeringThreshold(Pix(), 16, nullptr, 0, nullptr, 2, reinterpret_cast<int*>(Flt())); }, -11},
    {"vcWarpInit null set-up", [] { return vcWarpInit(nullptr, g_zeros, g_zeros, 1, 0, vcSpriteGmc, 1, 0, 0, &g_vop, &g_vop); }, -8},
    {"vcWarpInit null points", [] { return vcWarpInit(g_scratch, nullptr, g_zeros, 1, 0, vcSpriteGmc, 1, 0, 0, &g_vop, &g_vop); }, -8},
    {"vcWarpInit 4 points for GMC", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 4, 0, vcSpriteGmc, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit 5 points for a sprite", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 5, 0, vcSpriteStatic, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit accuracy 4", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 2, 4, vcSpriteGmc, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit mode 0", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 2, 0, 0, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit fcode 0", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 2, 0, vcSpriteGmc, 0, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit point out of range", [] { return vcWarpInit(g_scratch, g_farPoint, g_zeros, 1, 0, vcSpriteGmc, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit empty VOP", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 0, 0, vcSpriteGmc, 1, 0, 0, &g_emptyRect, &g_vop); }, -6},
    {"vcWarpInit VOP out of range", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 0, 0, vcSpriteGmc, 1, 0, 0, &g_farRect, &g_vop); }, -11},
    {"vcWarpLuma set-up never built", [] { return vcWarpLuma(Pix(), 64, Pix(), 64, &g_vop, g_unbuiltWarp); }, -17},
    {"vcWarpGetMotionVector set-up never built", [] { return vcWarpGetMotionVector(0, 0, &g_vector, g_unbuiltWarp); }, -17},
    {"vcWarpLuma empty region", [] { return vcWarpLuma(Pix(), 64, Pix(), 64, &g_emptyRect, WarpSpec()); }, -6},
    {"vcWarpLuma region out of range", [] { return vcWarpLuma(Pix(), 64, Pix(), 64, &g_farRect, WarpSpec()); }, -6},
    {"vcWarpChroma null plane", [] { return vcWarpChroma(Pix(), nullptr, 64, Pix(), Pix(), 64, &g_vop, WarpSpec()); }, -8},
    {"vcWarpGetMotionVector null", [] { return vcWarpGetMotionVector(0, 0, nullptr, WarpSpec()); }, -8},
    {"vcWarpGetMotionVector macroblock -1", [] { return vcWarpGetMotionVector(-1, 0, &g_vector, WarpSpec()); }, -11},

    {"acSynthesisGetStateSize null", [] { return acSynthesisGetStateSize(nullptr); }, -8},
    {"acSynthesisInit null", [] { return acSynthesisInit(nullptr, nullptr); }, -8},
    {"acMdctGetSizes null spec size", [] { return acMdctGetSizes(36, nullptr, &g_count, &g_count); }, -8},
    {"acMdctGetSizes null work size", [] { return acMdctGetSizes(36, &g_count, &g_count, nullptr); }, -8},
    {"acMdctInit null", [] { return acMdctInit(nullptr, 36, g_scratch, nullptr); }, -8},
    {"acMdctInit null memory", [] { return acMdctInit(&g_mdct, 36, nullptr, nullptr); }, -8},
    {"acHuffmanGetSpecSize null codes", [] { return acHuffmanGetSpecSize(nullptr, &g_count); }, -8},
    {"acHuffmanGetSpecSize null size", [] { return acHuffmanGetSpecSize(g_noCodes, nullptr); }, -8},
    {"acHuffmanInitSpec null memory", [] { return acHuffmanInitSpec(g_noCodes, &g_huffman, nullptr); }, -8},
};
// clang-format on

TEST(KernelEntries, RefuseBadArgumentsBeforeAnyWork) {
    for (const EntryCase& c : kCases) {
        std::memset(g_pixels, 0, sizeof(g_pixels));
        std::memset(g_coefficients, 0, sizeof(g_coefficients));
        std::memset(g_floats, 0, sizeof(g_floats));
        g_bits = g_pixels;
        g_bitOffset = 0;
        EXPECT_EQ(c.run(), c.expected) << c.call;
        EXPECT_TRUE(g_bits == g_pixels && g_bitOffset == 0) << c.call << " moved the bit position";
        for (uint8_t v : g_pixels) ASSERT_EQ(v, 0) << c.call << " wrote";
        for (int16_t v : g_coefficients) ASSERT_EQ(v, 0) << c.call << " wrote";
        for (float v : g_floats) ASSERT_EQ(v, 0.0f) << c.call << " wrote";
    }
}

}  // namespace
