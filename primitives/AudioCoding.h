// Audio coding kernels: polyphase synthesis, inverse MDCT, requantisation helpers and Huffman
// decoding for the MPEG audio and AC-3 decoders.
//
// Every kernel checks its arguments first: -8 for a null required pointer, -6 for a length below
// 1, then the kernel-specific codes noted below; 0 on success.
//
// Contexts (synthesis state, MDCT and Huffman specifications) live in caller memory. The size
// queries include the slack for alignment: pass any address, the kernel rounds it up. A context
// holds no pointer that the kernels depend on, so its owner may move it bitwise between calls
// (with the block that holds it) and rebase the context pointer that the init kernel returned.
#pragma once

#include <cstdint>

#include "primitives/SpTypes.h"

// ---- Polyphase synthesis filter bank (ISO/IEC 11172-3) ------------------------------------------

struct AcSynthesisState;

inline constexpr int kAcSynthesisStateSize = 2107;
inline constexpr uint32_t kAcSynthesisTag = 0x434D4167;

// *size = 2107 bytes.
SpStatus acSynthesisGetStateSize(int* size);
// Aligns memory to 16 and writes a cleared state there (tag, ring index 15, zeroed delay line of
// 512 floats); *state receives the aligned address.
SpStatus acSynthesisInit(AcSynthesisState** state, uint8_t* memory);
// One step of the filter bank: 32 subband samples in, 32 PCM samples out (same scale as the input:
// full-scale subband samples give full-scale output). mode is the output stride: 1 writes
// dst[0..31], 2 writes dst[0], dst[2], ..., dst[62] (one channel of interleaved stereo); other
// values give -5. A state whose tag does not match gives -17.
SpStatus acSynthesis32(const float* src, float* dst, AcSynthesisState* state, int mode);

// ---- Inverse MDCT -------------------------------------------------------------------------------

struct AcMdctSpec;

inline constexpr int32_t kAcMdctTag = 56;

// Sizes for a transform of length N (12, 36 or a power of two >= 32, else -6). The init buffer
// size is 0: acMdctInit needs no scratch memory and accepts a null init buffer.
SpStatus acMdctGetSizes(int n, int* specSize, int* initBufferSize, int* workSize);
// Builds the transform set-up for length N in specMemory (specSize bytes); *spec receives its
// aligned address.
SpStatus acMdctInit(AcMdctSpec** spec, int n, uint8_t* specMemory, uint8_t* initBuffer);
// N/2 inputs X[k] to N outputs
//     y[i] = 2/N * sum_k X[k] * cos(pi / (2N) * (2i + 1 + N/2) * (2k + 1)),  i = 0..N-1,
// that is, the inverse MDCT of ISO/IEC 11172-3 scaled by 2/N (1/18 for N = 36, 1/6 for N = 12):
// windows multiplied by N/2 restore the standard's scale. work is workSize bytes of scratch
// memory or null (the kernel then allocates and frees its own where it needs one; failure gives
// -9). src may equal dst. A set-up whose tag does not match gives -17.
SpStatus acInverseMdct(const float* src, float* dst, const AcMdctSpec* spec, uint8_t* work);

// ---- Requantisation helpers ---------------------------------------------------------------------

// dst[i] = sign(x) * |x|^(4/3) for x = src[i], from a table for |x| <= 8206 (15 plus 13 linbits);
// larger magnitudes are computed directly.
SpStatus acPow43(const int16_t* src, float* dst, int n);
// dst[i] = 2^((src[i] - offset) / 4), looked up in a table of 2^((k - 512) / 4) at
// k = (src[i] - offset + 512) modulo 1024.
SpStatus acPow2QuarterStep(const int16_t* src, int offset, float* dst, int n);
// Multiplies lines[bounds[b] .. bounds[b + 1] - 1] by factors[b] for b < bands. bounds must hold
// bands + 1 non-decreasing, non-negative entries (else -5).
SpStatus acScaleBands(float* lines, const float* factors, const int* bounds, int bands);

// ---- Huffman decoding ---------------------------------------------------------------------------
//
// A code list is an array of (code, length, value) entries ended by an entry of length 0. Codes
// are read most significant bit first; lengths run from 1 to 32; the codes must form a prefix
// code (an incomplete one is fine: bits that start no listed code decode as value 0 with the
// length of the longest code, so that a damaged stream still advances). Values are opaque to the
// pair and quad kernels; the escape kernel reads them as (x << 4) | y with x, y in 0..15.
//
// The bit position is a byte pointer plus a bit offset (0..7, counted from the byte's most
// significant bit) that the kernels advance. They may read up to 8 bytes beyond the last bit
// they consume, so the bit buffer needs that much readable padding.

struct AcHuffmanCode {
    uint32_t code;
    int32_t length;
    int32_t value;
};

struct AcHuffmanSpec;

// Bytes needed for the decoding table of the code list; -5 for a list that is not a
// prefix code, has a length above 32 or a value outside int16; -6 for an empty list.
SpStatus acHuffmanGetSpecSize(const AcHuffmanCode* codes, int* size);
// Builds the decoding table in memory (the size acHuffmanGetSpecSize returned); *spec receives its
// aligned address. Same checks as acHuffmanGetSpecSize.
SpStatus acHuffmanInitSpec(const AcHuffmanCode* codes, AcHuffmanSpec** spec, uint8_t* memory);
// Decodes `pairs` code words; dst[i] = value of the i-th.
SpStatus acHuffmanDecodePairs(const uint8_t** bitStream, int* bitOffset, int16_t* dst, int pairs,
                              const AcHuffmanSpec* spec);
// Decodes one code word (a count1 quadruple); *dst = its value.
SpStatus acHuffmanDecodeQuads(const uint8_t** bitStream, int* bitOffset, int16_t* dst,
                              const AcHuffmanSpec* spec);
// Decodes n lines (n / 2 pairs, rounded up; an odd n drops the last line after reading it) of a
// pair table whose values are (x << 4) | y. With linbits > 0 a magnitude of 15 is followed by
// linbits bits that are added to it; every non-zero magnitude is followed by its sign bit
// (1 = negative). linbits must be 0..13 (else -5).
SpStatus acHuffmanDecodePairsEscape(const uint8_t** bitStream, int* bitOffset,
                                    const AcHuffmanSpec* spec, int16_t* dst, int n, int linbits);
