// The entry tables of the audio coding kernels, the context layouts and the constant tables that
// the plain and SIMD variants share.
#pragma once

#include "primitives/AudioCoding.h"
#include "primitives/dispatch/Kernel.h"

// Contexts are laid out here so that every variant reads them the same way.
struct AcSynthesisState {
    uint32_t tag;
    int32_t ring;  // slot that the next step writes; the step before sits at ring + 1
    float* delay;  // refreshed by every call; the line always follows this header
    // 16 slots of 32 matrixed values a(0..31) follow, one slot per step.
};

struct AcMdctSpec {
    int32_t tag;
    int32_t n;         // transform length N (outputs)
    int32_t workSize;  // bytes of scratch the transform needs
    int32_t stride;    // direct form: floats per matrix row; FFT form: 0
    int32_t fftSize;   // FFT form: complex points (N / 4); direct form: 0
    int32_t fftLog2;
    int32_t reserved[2];
    // Direct form (N = 12, 36): M = N / 2 rows of `stride` floats, row k holding
    // 2/N * cos(pi / (4M) * (2j + 1) * (2k + 1)) for j < M, zero padded.
    // FFT form: N/4 complex pre-twiddles (scaled by 2/N), N/4 complex post-twiddles,
    // N/8 complex FFT twiddles, N/4 bit-reversal indices (int32); then for the vector variants,
    // per butterfly stage of half-size h (1, 2, 4, ...) its h twiddles as h real parts and h
    // imaginary parts from float 2(h - 1) (N/2 floats in all), and the post-twiddles as N/4
    // real parts and N/4 imaginary parts.
};

namespace sp::ac {

// Window of the synthesis filter bank, ISO/IEC 11172-3 Table 3-B.3 (512 coefficients).
const float* SynthesisWindow();
// Matrixing a(m) = sum_k x[k] cos(pi * m * (2k + 1) / 64), m, k < 32, split twice by the
// symmetry of the cosines in k: with s[k] = x[k] + x[31 - k], d[k] = x[k] - x[31 - k] (k < 16) and
// ss[k] = s[k] + s[15 - k], sd[k] = s[k] - s[15 - k] (k < 8),
//   a(4i) = sum_k ss[k] quarter[k][i], a(4i + 2) = sum_k sd[k] quarterOdd[k][i] (i, k < 8),
//   a(2j + 1) = sum_k d[k] odd[k][j] (j, k < 16),
// a quarter of the products of the full matrix. Every sum runs as two chains, even and odd k,
// added at the end.
struct SynthesisMatrices {
    float quarter[8 * 8];     // cos(pi * i * (2k + 1) / 16)
    float quarterOdd[8 * 8];  // cos(pi * (2i + 1) * (2k + 1) / 32)
    float odd[16 * 16];       // cos(pi * (2j + 1) * (2k + 1) / 64)
};
const SynthesisMatrices& SynthesisMatrix();
// Window rearranged per step age t for the four accumulators of acSynthesis32 (see there):
// for each t, 32 floats: t even: A[0..15], B[0..15]; t odd: C[0..15], E[0..15].
const float* SynthesisWindowByAge();

inline float* DelayLine(AcSynthesisState* s) {
    return reinterpret_cast<float*>(reinterpret_cast<uint8_t*>(s) + 16);
}
inline const float* DirectMatrix(const AcMdctSpec* s) {
    return reinterpret_cast<const float*>(reinterpret_cast<const uint8_t*>(s) + 32);
}

// Shared by the SIMD variants for the parts they do not vectorise.
// |x|^(4/3) for |x| < kPow43TableSize (15 plus 13 linbits), and the direct formula beyond.
inline constexpr int kPow43TableSize = 8207;
const float* Pow43Table();
float Pow43Direct(int magnitude);

// The split-layout tables of the FFT form (see AcMdctSpec).
struct MdctSplitTables {
    float* stage;
    float* postRe;
    float* postIm;
};
inline MdctSplitTables SplitTablesOf(const AcMdctSpec* s) {
    float* base = const_cast<float*>(DirectMatrix(s)) + 6 * s->fftSize;
    return {base, base + 2 * s->fftSize, base + 3 * s->fftSize};
}

// Transform lengths whose matrix rows (stride floats) the direct form keeps on the stack.
inline constexpr int kMaxDirectStride = 24;
// The FFT form (N a power of two), shared by every variant.
void InverseMdctFft(const float* src, float* dst, const AcMdctSpec* spec, uint8_t* work);

}  // namespace sp::ac

namespace sp::kernels {

// The implementations trust the entries' checks (valid pointers, lengths of at least 1, contexts
// with their tags, parameters in range, a work buffer for the FFT form of the inverse MDCT) and
// return nothing.
using AcSynthesis32Fn = void(const float*, float*, AcSynthesisState*, int);
using AcInverseMdctFn = void(const float*, float*, const AcMdctSpec*, uint8_t*);
using AcPow43Fn = void(const int16_t*, float*, int);
using AcPow2QuarterStepFn = void(const int16_t*, int, float*, int);
using AcScaleBandsFn = void(float*, const float*, const int*, int);
using AcHuffmanDecodePairsFn = void(const uint8_t**, int*, int16_t*, int, const AcHuffmanSpec*);
using AcHuffmanDecodeQuadsFn = void(const uint8_t**, int*, int16_t*, const AcHuffmanSpec*);
using AcHuffmanDecodePairsEscapeFn = void(const uint8_t**, int*, const AcHuffmanSpec*, int16_t*,
                                          int, int);

extern const Kernel<AcSynthesis32Fn> acSynthesis32;
extern const Kernel<AcInverseMdctFn> acInverseMdct;
extern const Kernel<AcPow43Fn> acPow43;  // AVX2: gathers from the table
extern const Kernel<AcPow2QuarterStepFn> acPow2QuarterStep;
extern const Kernel<AcScaleBandsFn> acScaleBands;
extern const Kernel<AcHuffmanDecodePairsFn> acHuffmanDecodePairs;
extern const Kernel<AcHuffmanDecodeQuadsFn> acHuffmanDecodeQuads;
extern const Kernel<AcHuffmanDecodePairsEscapeFn> acHuffmanDecodePairsEscape;

}  // namespace sp::kernels

namespace sp::x86 {
kernels::AcSynthesis32Fn AcSynthesis32Sse2, AcSynthesis32Avx2;
kernels::AcInverseMdctFn AcInverseMdctSse2, AcInverseMdctAvx2;
kernels::AcPow43Fn AcPow43Avx2;
}  // namespace sp::x86
