// Vector utilities on float, 16-bit and 32-bit element arrays, shared by the audio decoders.
//
// Every kernel checks its arguments first: -8 for a null pointer, -6 for a length below 1, then
// the kernel-specific codes noted below; 0 on success. Unless noted, source and destination may
// be the same array but must not overlap partially. Operands need no particular alignment.
#pragma once

#include <cstdint>

#include "primitives/SpTypes.h"

SpStatus spZero8u(uint8_t* dst, int n);
SpStatus spZero16s(int16_t* dst, int n);
SpStatus spZero32f(float* dst, int n);
SpStatus spCopy32f(const float* src, float* dst, int n);

// srcDst[i] *= c. c == 1 leaves the data untouched; c == 0 zeroes it (also NaN and infinities).
SpStatus spMulC32fInPlace(float c, float* srcDst, int n);
// dst[i] = src[i] * c. c == 1 copies; c == 0 zeroes.
SpStatus spMulC32f(const float* src, float c, float* dst, int n);
// dst[i] += src[i] * c.
SpStatus spAddProductC32f(const float* src, float c, float* dst, int n);
// dst[i] = a[i] * b[i].
SpStatus spMul32f(const float* a, const float* b, float* dst, int n);
// srcDst[i] *= a[i].
SpStatus spMul32fInPlace(const float* a, float* srcDst, int n);
// dst[i] = a[i] + b[i].
SpStatus spAdd32f(const float* a, const float* b, float* dst, int n);
// srcDst[i] += a[i].
SpStatus spAdd32fInPlace(const float* a, float* srcDst, int n);
// srcDst[i] -= a[i].
SpStatus spSub32fInPlace(const float* a, float* srcDst, int n);
// dst[i] += a[i] * b[i].
SpStatus spAddProduct32f(const float* a, const float* b, float* dst, int n);
// *result = sum of a[i] * b[i]. The sum is formed in eight interleaved partial sums (i modulo 8)
// that are added pairwise at the end, so every variant gives the same bits.
SpStatus spDotProduct32f(const float* a, const float* b, int n, float* result);
// dst[i] = src[n - 1 - i] on 32-bit elements; src == dst reverses in place.
SpStatus spFlip32(const float* src, float* dst, int n);

// (srcDst[i] * c) / 2^shift, rounded to nearest with ties to even, saturated to int16.
// c == 1 with shift 0 leaves the data untouched; a shift above 30 zeroes. A negative shift
// scales up by 2^-shift (saturating).
SpStatus spMulC16sScaledInPlace(int16_t c, int16_t* srcDst, int n, int shift);
SpStatus spMulC16sScaled(const int16_t* src, int16_t c, int16_t* dst, int n, int shift);
// (a[i] + b[i]) / 2^shift, rounded and saturated as above; a shift above 16 zeroes.
SpStatus spAdd16sScaled(const int16_t* a, const int16_t* b, int16_t* dst, int n, int shift);

// dst[c][i] = src[i * channels + c] for every channel c and i < n; -53 for channels < 1.
SpStatus spDeinterleave32(const float* src, int channels, int n, float* const* dst);

// dst[i * channels + c] = src[c][i] clamped to [-32768, 32767] and rounded to nearest, ties to
// even (NaN gives 0). The channels are interleaved in the order of the pointer array; -53 for
// channels < 1. Expects the processor's default rounding mode.
SpStatus spFloatToInt16Interleave(const float* const* src, int channels, int n, int16_t* dst);

// Exchanges the two bytes of each of n 16-bit words; src == dst swaps in place.
SpStatus spSwapBytes16(const uint16_t* src, uint16_t* dst, int n);
