// Constant tables of the MPEG-4 decoder: default quantiser matrices, short-header picture
// formats, macroblock-layer VLCs, and the arithmetic helpers that go with them.
#pragma once

#include <cstdint>

namespace UMC::mpeg4 {

extern const uint8_t kDefaultIntraMatrix[64];     // raster order
extern const uint8_t kDefaultNonIntraMatrix[64];  // raster order

struct ShortHeaderFormat {
    int32_t width, height, gobs, macroblocksInGob, rowsPerGob;
};
// By source_format 1..5 (entry 0 unused).
extern const ShortHeaderFormat kShortHeaderFormats[6];

// Quantiser below which the intra DC has its own VLC, by intra_dc_vlc_thr.
extern const int32_t kIntraDcThreshold[8];

// mcbpc of I-VOPs by the next 9 bits: (length << 4) | (type - 3) << 2 | cbpc; 0: no code;
// kMcbpcStuffing: the stuffing code.
inline constexpr uint8_t kMcbpcStuffing = 0xFF;
uint8_t McbpcIntra(uint32_t next9);
// Intra cbpy by the next 6 bits: (length << 4) | cbpy; 0: no code.
uint8_t CbpyIntra(uint32_t next6);

// a / n by the reciprocal table: (a * R[n] + 2^17) >> 18, R[n] = floor(2^18 / n) + 1.
int32_t DivideByReciprocal(int32_t a, int32_t n);

// Bits of an unsigned field that can hold values 0..n-1 (at least 1).
int32_t BitsFor(int32_t n);

}  // namespace UMC::mpeg4
