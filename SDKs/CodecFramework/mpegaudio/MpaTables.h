// Constant tables of MPEG-1/2 audio (ISO/IEC 11172-3, ISO/IEC 13818-3).
#pragma once

#include <cstdint>

namespace UMC {
namespace mpa {

// Bit rates in kbit/s: row = 3 * version bit + layer - 1, column = bitrate index.
extern const int16_t kBitrates[6][16];
// Sampling frequencies: row = version bit + MPEG-2.5 flag, column = sampling index.
extern const int32_t kSampleRates[3][4];
// Samples per frame by version bit and layer - 1.
extern const int32_t kSamplesPerFrame[2][3];

// Layers I and II: 2 * 2^(-i/3), index 63 gives 1e-20.
extern const float (&kScaleFactors)[64];

// One quantisation class of layer II.
struct QuantClass {
    int32_t steps;
    int8_t bits;     // bits per code word (grouped: per group of three)
    int8_t grouped;  // three samples in one code word
    float c;
    float d;
};
extern const QuantClass kQuantClasses[17];

// A layer II allocation table: per subband the width of the allocation field and, per
// allocation value, the index into kQuantClasses (-1: no samples).
struct AllocTable {
    int sblimit;
    int8_t nbal[32];
    int8_t cls[32][16];
};
// 0..3: ISO/IEC 11172-3 tables 3-B.2a to 3-B.2d; 4: ISO/IEC 13818-3 low sampling frequencies.
const AllocTable& Layer2Table(int index);

// Layer III scale-factor band boundaries; index = sampling index + 3 * (MPEG-2) + 3 * (MPEG-2.5).
// Rows: 0..2 MPEG-1 44.1/48/32 kHz, 3..5 MPEG-2 22.05/24/16 kHz, 6..8 MPEG-2.5 11.025/12/8 kHz.
struct BandTable {
    int16_t longBounds[23];
    int16_t shortBounds[14];
};
extern const BandTable kBands[9];
extern const int8_t kPretab[22];
extern const uint8_t kSlen[2][16];
// MPEG-2 scale factor partitions: [table][block kind: 0 long, 1 short, 2 mixed][partition].
extern const uint8_t kScfPartitions[6][3][4];

// Layer III Huffman code tables (ISO/IEC 11172-3 table B.7). Entries are row-major by (x, y);
// codes are right-aligned in `codes` with their length in `lengths`.
struct HuffTable {
    int size;     // values per dimension (0: table not defined)
    int linbits;  // escape bits
    const uint16_t* codes;
    const uint8_t* lengths;
};
extern const HuffTable kHuffTables[32];
// Count1 tables A and B: 16 entries indexed by v*8 + w*4 + x*2 + y.
extern const uint8_t kQuadCodes[2][16];
extern const uint8_t kQuadLengths[2][16];

}  // namespace mpa
}  // namespace UMC
