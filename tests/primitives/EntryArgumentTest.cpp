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
uint16_t* const g_words = reinterpret_cast<uint16_t*>(g_coefficients);
uint16_t* const g_samples = reinterpret_cast<uint16_t*>(g_pixels);

struct EntryCase {
    const char* call;
    SpStatus (*run)();
    SpStatus expected;
};

const VcMotionVector g_mv{0, 0};
float g_floats[64];
const float* g_sources[2] = {g_floats, nullptr};
float* g_destinations[2] = {g_floats, nullptr};

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
    static const bool built = vcWarpInit(memory, d, d, 0, 0, vcSpriteGmc, 1, 0, 0, &vop, &vop) == 0;
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
AcHuffmanSpec* g_huffman;

// clang-format off
const EntryCase kCases[] = {
    {"vcCopyBlock8x8 null source", [] { return vcCopyBlock8x8(nullptr, 32, g_pixels, 32); }, -8},
    {"vcCopyBlock8x8 null destination", [] { return vcCopyBlock8x8(g_pixels, 32, nullptr, 32); }, -8},
    {"vcCopyBlock16x16 zero source step", [] { return vcCopyBlock16x16(g_pixels, 0, g_pixels, 32); }, -14},
    {"vcCopyBlock16x16 negative step", [] { return vcCopyBlock16x16(g_pixels, 32, g_pixels, -32); }, -14},
    // A residual row must start on a 16-bit value.
    {"vcAddResidual8x8 odd residual step", [] { return vcAddResidual8x8(g_coefficients, 15, g_pixels, 32); }, -14},
    {"vcAddConstant8x8 zero step", [] { return vcAddConstant8x8(1, g_pixels, 0); }, -14},
    {"vcPredict16x8 zero step", [] { return vcPredict16x8(g_pixels, 0, g_pixels, 32, 1, 0); }, -14},
    {"vcInverseDct8x8 null input", [] { return vcInverseDct8x8(nullptr, g_coefficients); }, -8},
    {"vcInverseDct8x8ToPixels zero step", [] { return vcInverseDct8x8ToPixels(g_coefficients, g_pixels, 0, 5); }, -14},
    {"vcInverseDct8x8Store negative step", [] { return vcInverseDct8x8Store(g_coefficients, g_pixels, -8); }, -14},

    {"vcPredictQuarterPel16x16 null reference", [] { return vcPredictQuarterPel16x16(nullptr, 32, g_pixels, 32, 1, 0); }, -8},
    // One row has too few neighbours to mirror the 8-tap filter into.
    {"vcPredictQuarterPelWidth8 one row", [] { return vcPredictQuarterPelWidth8(g_pixels, 32, g_pixels + 512, 32, 5, 0, 1); }, -6},
    {"vcPredictQuarterPelWidth16 17 rows", [] { return vcPredictQuarterPelWidth16(g_pixels, 32, g_pixels + 512, 32, 1, 0, 17); }, -6},
    {"vcAverageInto8x8 null source", [] { return vcAverageInto8x8(nullptr, 32, g_pixels, 32); }, -8},
    {"vcObmcBlock8x8 null neighbour", [] { return vcObmcBlock8x8(g_pixels + 264, 32, g_pixels, 32, &g_mv, &g_mv, nullptr, &g_mv, &g_mv, 0); }, -8},
    {"vcDeringBlock8x8 null destination", [] { return vcDeringBlock8x8(g_pixels + 33, 32, nullptr, 32, 4, 0); }, -8},
    {"vcDeringBlock8x8 quantiser 0", [] { return vcDeringBlock8x8(g_pixels + 33, 32, g_pixels + 512, 32, 0, 0); }, -192},
    {"vcDeringBlock8x8 quantiser 32", [] { return vcDeringBlock8x8(g_pixels + 33, 32, g_pixels + 512, 32, 32, 0); }, -192},
    {"vcDecodeIntraDcMpeg4 null offset", [] { return vcDecodeIntraDcMpeg4(&g_bits, nullptr, g_coefficients, 0); }, -8},
    {"vcDecodeIntraDcMpeg4 bit offset -1", [] { return vcDecodeIntraDcMpeg4(&g_bits, &g_offsetMinus1, g_coefficients, 1); }, -193},
    {"vcDecodeIntraDcMpeg4 null coefficient", [] { return vcDecodeIntraDcMpeg4(&g_bits, &g_bitOffset, nullptr, 0); }, -8},
    {"vcDecodeIntraCoefsMpeg4 null stream", [] { return vcDecodeIntraCoefsMpeg4(&g_noBits, &g_bitOffset, g_coefficients, &g_count, 0, 0, 0); }, -8},
    {"vcDecodeIntraCoefsMpeg4 bit offset 8", [] { return vcDecodeIntraCoefsMpeg4(&g_bits, &g_offset8, g_coefficients, &g_count, 0, 0, 0); }, -193},
    {"vcDecodeIntraCoefsMpeg4 null last index", [] { return vcDecodeIntraCoefsMpeg4(&g_bits, &g_bitOffset, g_coefficients, nullptr, 0, 0, 2); }, -8},
    {"vcDecodeInterCoefsMpeg4 null set-up", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_bitOffset, g_coefficients, &g_count, 0, 0, nullptr, 4); }, -8},
    {"vcDecodeInterCoefsMpeg4 intra set-up", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_bitOffset, g_coefficients, &g_count, 0, 0, IntraSpec(), 4); }, -17},
    {"vcDecodeInterCoefsMpeg4 quantiser 0", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_bitOffset, g_coefficients, &g_count, 0, 0, InterSpec(), 0); }, -192},
    {"vcDecodeInterCoefsMpeg4 quantiser 32", [] { return vcDecodeInterCoefsMpeg4(&g_bits, &g_bitOffset, g_coefficients, &g_count, 1, 1, InterSpec(), 32); }, -192},
    {"vcDecodeIntraBlockH263 quantiser 0", [] { return vcDecodeIntraBlockH263(&g_bits, &g_bitOffset, g_coefficients, &g_count, 1, 0); }, -192},
    {"vcDecodeIntraBlockH263 quantiser 32", [] { return vcDecodeIntraBlockH263(&g_bits, &g_bitOffset, g_coefficients, &g_count, 0, 32); }, -192},
    {"vcDequantIntraMpeg4 null block", [] { return vcDequantIntraMpeg4(nullptr, 63, IntraSpec(), 4, 0); }, -8},
    {"vcDequantIntraMpeg4 untagged set-up", [] { return vcDequantIntraMpeg4(g_coefficients, 63, g_untagged, 4, 0); }, -17},

    {"spCopy8u null source", [] { return spCopy8u(nullptr, g_pixels, 4); }, -8},
    {"spCopy8u zero length", [] { return spCopy8u(g_pixels, g_pixels + 8, 0); }, -6},
    {"spSet8u negative length", [] { return spSet8u(1, g_pixels, -1); }, -6},
    {"spSet16s null", [] { return spSet16s(1, nullptr, 4); }, -8},
    {"spCopyRegion8u null", [] { return spCopyRegion8u(nullptr, 4, g_pixels, 4, {4, 2}); }, -8},
    {"spCopyRegion8u zero height", [] { return spCopyRegion8u(g_pixels, 4, g_pixels + 8, 4, {4, 0}); }, -6},
    {"spCopyRegion8u negative step", [] { return spCopyRegion8u(g_pixels, 4, g_pixels + 8, -4, {4, 2}); }, -14},

    {"spZero8u null", [] { return spZero8u(nullptr, 1); }, -8},
    {"spZero16s negative length", [] { return spZero16s(g_coefficients, -1); }, -6},
    {"spCopy32f zero length", [] { return spCopy32f(g_floats, g_floats, 0); }, -6},
    {"spMul32f null second", [] { return spMul32f(g_floats, nullptr, g_floats, 4); }, -8},
    {"spDotProduct32f null result", [] { return spDotProduct32f(g_floats, g_floats, 4, nullptr); }, -8},
    {"spMulC16sScaled null destination", [] { return spMulC16sScaled(g_coefficients, 1, nullptr, 4, 0); }, -8},
    {"spDeinterleave32 no channels", [] { return spDeinterleave32(g_floats, 0, 2, g_destinations); }, -53},
    {"spDeinterleave32 null channel", [] { return spDeinterleave32(g_floats, 2, 2, g_destinations); }, -8},
    {"spFloatToInt16Interleave no channels", [] { return spFloatToInt16Interleave(g_sources, 0, 4, g_coefficients); }, -53},
    {"spFloatToInt16Interleave null channel", [] { return spFloatToInt16Interleave(g_sources, 2, 4, g_coefficients); }, -8},
    {"spFloatToInt16Interleave null array", [] { return spFloatToInt16Interleave(nullptr, 1, 4, g_coefficients); }, -8},
    {"spSwapBytes16 zero length", [] { return spSwapBytes16(g_words, g_words, 0); }, -6},

    {"ccYuv420ToRgb24 null plane", [] { return ccYuv420ToRgb24(g_srcNoU, g_steps, g_pixels, 8, k2x2); }, -8},
    {"ccYuv420ToRgb24 zero width", [] { return ccYuv420ToRgb24(g_src, g_steps, g_pixels, 8, {0, 2}); }, -6},
    {"ccYuv420ToRgb24 zero step", [] { return ccYuv420ToRgb24(g_src, g_zeroU, g_pixels, 8, k2x2); }, -14},
    // A size error comes before a step error, a null pointer before both.
    {"ccYuv420ToRgb24 zero step and size", [] { return ccYuv420ToRgb24(g_src, g_zeroU, g_pixels, 8, {2, 0}); }, -6},
    {"ccYuv420ToRgb24 null and zero size", [] { return ccYuv420ToRgb24(g_srcNoU, g_steps, g_pixels, 8, {0, 0}); }, -8},
    {"ccYuv420ToYuy2 one column", [] { return ccYuv420ToYuy2(g_src, g_steps, g_pixels, 8, {1, 3}); }, -6},
    {"ccYuv420ToYuy2 one row", [] { return ccYuv420ToYuy2(g_src, g_steps, g_pixels, 8, {3, 1}); }, -6},
    {"ccYuv420ToNv12 chroma step", [] { return ccYuv420ToNv12(g_src, g_steps, g_pixels, 8, g_pixels, 0, k2x2); }, -14},
    {"ccYuv420ToNv12 one row", [] { return ccYuv420ToNv12(g_src, g_steps, g_pixels, 8, g_pixels, 8, {4, 1}); }, -6},
    {"ccYuv420ToYuv422 null destination plane", [] { return ccYuv420ToYuv422(g_src, g_steps, g_dstNoV, g_steps, k2x2); }, -8},
    {"ccYuv411ToYuv420 destination step", [] { return ccYuv411ToYuv420(g_src, g_steps, g_dst, g_negativeV, k2x2); }, -14},
    {"ccNv12ToArgb32 chroma step", [] { return ccNv12ToArgb32(g_pixels, 8, g_pixels, 0, g_pixels, 8, k2x2, 1); }, -14},
    {"ccNv12ToYuv420 destination step", [] { return ccNv12ToYuv420(g_pixels, 8, g_pixels, 8, g_dst, g_zeroU, k2x2); }, -14},
    {"ccYuy2ToUyvy null source", [] { return ccYuy2ToUyvy(nullptr, 8, g_pixels, 8, k2x2); }, -8},
    {"ccUyvyToYuy2 zero height", [] { return ccUyvyToYuy2(g_pixels, 8, g_pixels, 8, {2, 0}); }, -6},
    {"ccArgb32ToArgb32 destination step", [] { return ccArgb32ToArgb32(g_pixels, 8, g_pixels, -8, k2x2, 1); }, -14},
    {"ccYuy2ToNv12 chroma step", [] { return ccYuy2ToNv12(g_pixels, 8, g_pixels, 8, g_pixels, 0, k2x2); }, -14},
    {"ccY41pToYuv420 null destination plane", [] { return ccY41pToYuv420(g_pixels, 12, g_dstNoV, g_steps, k2x2); }, -8},
    {"ccY411ToYuv411 destination step", [] { return ccY411ToYuv411(g_pixels, 6, g_dst, g_zeroU, k2x2); }, -14},
    // A bottom-up destination passes minus its pitch, which must still hold a row.
    {"ccBayerToRgb24 short destination row", [] { return ccBayerToRgb24(g_pixels, 2, g_pixels + 12, -5, k2x2, 0); }, -14},
    {"ccBayerToRgb24 layout", [] { return ccBayerToRgb24(g_pixels, 2, g_pixels, 6, k2x2, 4); }, -11},
    {"ccBayerToRgb24 layout and size", [] { return ccBayerToRgb24(g_pixels, 2, g_pixels, 6, {0, 2}, 4); }, -6},
    {"ccLumaRangeStretch k above 7", [] { return ccLumaRangeStretch(g_pixels, 8, g_pixels, 8, k2x2, 8); }, -11},
    {"ccLumaRangeStretch negative k", [] { return ccLumaRangeStretch(g_pixels, 8, g_pixels, 8, k2x2, -1); }, -11},

    {"imDeinterlaceMethod2 weight above 128", [] { return imDeinterlaceMethod2(g_pixels, 4, g_pixels, 4, {4, 4}, 129, 21); }, -11},
    {"imDeinterlaceMethod2 negative threshold", [] { return imDeinterlaceMethod2(g_pixels, 4, g_pixels, 4, {4, 4}, 128, -1); }, -11},
    {"imDeinterlaceMethod4 zero width", [] { return imDeinterlaceMethod4(g_pixels, 4, g_pixels, 4, {0, 4}, 0); }, -6},
    // A step must hold a row of the region.
    {"imDeinterlaceMethod4 short source step", [] { return imDeinterlaceMethod4(g_pixels, 3, g_pixels, 4, {4, 4}, 0); }, -14},
    {"imDeinterlaceMethod5 short destination step", [] { return imDeinterlaceMethod5(g_pixels, 4, g_pixels, 3, {4, 4}, 0); }, -14},
    {"imDeinterlaceOtherB zero distance", [] { return imDeinterlaceOtherB(g_pixels, 4, g_pixels, 4, {4, 4}, 0); }, -11},
    {"imDeinterlaceOtherA null history", [] { return imDeinterlaceOtherA(g_pixels, 4, g_pixels, 4, {4, 4}, &g_noHistory); }, -8},
    {"imDeinterlaceOtherA other size", [] { return imDeinterlaceOtherA(g_pixels, 4, g_pixels, 4, {4, 2}, &g_history); }, -6},
    {"imDeinterlaceOtherA negative threshold", [] { return imDeinterlaceOtherA(g_pixels, 4, g_pixels, 4, {4, 4}, &g_negativeThreshold); }, -11},

    {"imResizeGetBufferSize method", [] { return imResizeGetBufferSize({4, 4}, {2, 2}, 4, 1, &g_bytes); }, -11},
    {"imResizeGetBufferSize channels", [] { return imResizeGetBufferSize({4, 4}, {2, 2}, 1, 5, &g_bytes); }, -11},
    {"imResizeGetBufferSize null", [] { return imResizeGetBufferSize({4, 4}, {2, 2}, 1, 1, nullptr); }, -8},
    {"imResizePlane8uC1 negative height", [] { return imResizePlane8uC1(g_pixels, 4, {4, 4}, g_pixels, 2, {2, -2}, 1, g_pixels); }, -6},
    {"imResizePlane8uC1 method", [] { return imResizePlane8uC1(g_pixels, 4, {4, 4}, g_pixels, 2, {2, 2}, 7, g_pixels); }, -11},
    {"imResizePlane8uC1 zero step", [] { return imResizePlane8uC1(g_pixels, 0, {4, 4}, g_pixels, 2, {2, 2}, 1, g_pixels); }, -14},
    // An unknown method is reported before a step too short for the row.
    {"imResizePlane8uC2 method and short step", [] { return imResizePlane8uC2(g_pixels, 4, {4, 4}, g_pixels, 4, {2, 2}, 9, g_pixels); }, -11},
    {"imResizePlane8uC2 short step", [] { return imResizePlane8uC2(g_pixels, 7, {4, 4}, g_pixels, 4, {2, 2}, 1, g_pixels); }, -14},
    {"imResizePlane16uC1 short step", [] { return imResizePlane16uC1(g_samples, 7, {4, 4}, g_samples, 4, {2, 2}, 1, g_pixels); }, -14},
    // A YUY2 row of odd width still ends on a whole pixel pair.
    {"imResizeYuy2 short source step", [] { return imResizeYuy2(g_pixels, 4, {3, 4}, g_pixels, 4, {2, 2}, 1, g_pixels); }, -14},

    {"acSynthesis32 null state", [] { return acSynthesis32(g_floats, g_floats, nullptr, 1); }, -8},
    {"acSynthesis32 untagged state", [] { return acSynthesis32(g_floats, g_floats, Untagged<AcSynthesisState>(), 1); }, -17},
    {"acSynthesis32 mode 0", [] { return acSynthesis32(g_floats, g_floats, Synthesis(), 0); }, -5},
    {"acSynthesis32 mode 3", [] { return acSynthesis32(g_floats, g_floats, Synthesis(), 3); }, -5},
    {"acInverseMdct null set-up", [] { return acInverseMdct(g_floats, g_floats, nullptr, g_pixels); }, -8},
    {"acInverseMdct untagged set-up", [] { return acInverseMdct(g_floats, g_floats, Untagged<AcMdctSpec>(), nullptr); }, -17},
    {"acPow43 zero length", [] { return acPow43(g_coefficients, g_floats, 0); }, -6},
    {"acPow2QuarterStep negative length", [] { return acPow2QuarterStep(g_coefficients, 0, g_floats, -1); }, -6},
    {"acScaleBands decreasing bounds", [] { return acScaleBands(g_floats, g_floats, g_decreasing, 2); }, -5},
    {"acScaleBands negative bound", [] { return acScaleBands(g_floats, g_floats, g_negativeFirst, 1); }, -5},
    {"acScaleBands no bands", [] { return acScaleBands(g_floats, g_floats, g_decreasing, 0); }, -6},
    {"acHuffmanDecodePairs null stream", [] { return acHuffmanDecodePairs(&g_noBits, &g_bitOffset, g_coefficients, 1, Huffman()); }, -8},
    {"acHuffmanDecodePairs untagged set-up", [] { return acHuffmanDecodePairs(&g_bits, &g_bitOffset, g_coefficients, 1, Untagged<AcHuffmanSpec>()); }, -17},
    {"acHuffmanDecodePairs no pairs", [] { return acHuffmanDecodePairs(&g_bits, &g_bitOffset, g_coefficients, 0, Huffman()); }, -6},
    {"acHuffmanDecodeQuads untagged set-up", [] { return acHuffmanDecodeQuads(&g_bits, &g_bitOffset, g_coefficients, Untagged<AcHuffmanSpec>()); }, -17},
    {"acHuffmanDecodePairsEscape 14 linbits", [] { return acHuffmanDecodePairsEscape(&g_bits, &g_bitOffset, Huffman(), g_coefficients, 2, 14); }, -5},
    {"acHuffmanDecodePairsEscape negative linbits", [] { return acHuffmanDecodePairsEscape(&g_bits, &g_bitOffset, Huffman(), g_coefficients, 2, -1); }, -5},
    {"vcQuantMatrixInitIntra null buffer", [] { return vcQuantMatrixInitIntra(nullptr, nullptr, 8); }, -8},
    {"vcQuantMatrixInitIntra 3 bits", [] { return vcQuantMatrixInitIntra(nullptr, g_scratch + 1, 3); }, vcStsRangeErr},
    {"vcQuantMatrixInitInter 13 bits", [] { return vcQuantMatrixInitInter(nullptr, g_scratch + 3, 13); }, vcStsRangeErr},
    {"vcQuantMatrixInitIntra zero weight", [] { return vcQuantMatrixInitIntra(MatrixWithAZero(), g_scratch, 8); }, vcStsQuantErr},
    {"vcPredictAddResidual null residual", [] { return vcPredictAddResidual(nullptr, 16, g_pixels, 16, g_pixels + 512, 8, 0, 0); }, -8},
    {"vcDeblockHorizontalEdge quantiser 0", [] { return vcDeblockHorizontalEdge(g_pixels + 128, 16, 0, 2, 6); }, vcStsQuantErr},
    {"vcDeblockVerticalEdge quantiser 32", [] { return vcDeblockVerticalEdge(g_pixels + 128, 16, 32, 2, 6); }, vcStsQuantErr},
    {"vcInverseDct8x8Full null", [] { return vcInverseDct8x8Full(nullptr); }, -8},
    {"vcSpriteBrightness factor -113", [] { return vcSpriteBrightness(g_pixels, 4, 4, 3, -113); }, -11},
    {"vcSpriteBrightness factor 1649", [] { return vcSpriteBrightness(g_pixels, 4, 4, 3, 1649); }, -11},
    {"vcDeringThreshold null thresholds", [] { return vcDeringThreshold(g_pixels, 16, nullptr, 0, nullptr, 4, nullptr); }, -8},
    {"vcDeringThreshold two blocks", [] { return vcDeringThreshold(g_pixels, 16, nullptr, 0, nullptr, 2, reinterpret_cast<int*>(g_floats)); }, -11},
    {"vcWarpInit null points", [] { return vcWarpInit(g_scratch, nullptr, g_zeros, 1, 0, vcSpriteGmc, 1, 0, 0, &g_vop, &g_vop); }, -8},
    {"vcWarpInit 4 points for GMC", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 4, 0, vcSpriteGmc, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit 5 points for a sprite", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 5, 0, vcSpriteStatic, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit accuracy 4", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 2, 4, vcSpriteGmc, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit mode 0", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 2, 0, 0, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit fcode 0", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 2, 0, vcSpriteGmc, 0, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit point out of range", [] { return vcWarpInit(g_scratch, g_farPoint, g_zeros, 1, 0, vcSpriteGmc, 1, 0, 0, &g_vop, &g_vop); }, -11},
    {"vcWarpInit empty VOP", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 0, 0, vcSpriteGmc, 1, 0, 0, &g_emptyRect, &g_vop); }, -6},
    {"vcWarpInit VOP out of range", [] { return vcWarpInit(g_scratch, g_zeros, g_zeros, 0, 0, vcSpriteGmc, 1, 0, 0, &g_farRect, &g_vop); }, -11},
    {"vcWarpLuma set-up never built", [] { return vcWarpLuma(g_pixels, 64, g_pixels, 64, &g_vop, g_unbuiltWarp); }, -17},
    {"vcWarpLuma empty region", [] { return vcWarpLuma(g_pixels, 64, g_pixels, 64, &g_emptyRect, WarpSpec()); }, -6},
    {"vcWarpLuma region out of range", [] { return vcWarpLuma(g_pixels, 64, g_pixels, 64, &g_farRect, WarpSpec()); }, -6},
    {"vcWarpGetMotionVector macroblock -1", [] { return vcWarpGetMotionVector(-1, 0, &g_vector, WarpSpec()); }, -11},

    {"acSynthesisInit null", [] { return acSynthesisInit(nullptr, nullptr); }, -8},
    {"acMdctGetSizes null spec size", [] { return acMdctGetSizes(36, nullptr, &g_count, &g_count); }, -8},
    {"acMdctInit null", [] { return acMdctInit(nullptr, 36, g_scratch, nullptr); }, -8},
    {"acHuffmanGetSpecSize null codes", [] { return acHuffmanGetSpecSize(nullptr, &g_count); }, -8},
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
