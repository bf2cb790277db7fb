// Code tables of the MPEG-4 kernels: the transform-coefficient VLCs (intra and inter/short-header),
// the intra DC size VLCs and the scans, with the lookup tables built from them.
#pragma once

#include <cstdint>

namespace sp::mpeg4 {

// One event of a TCOEF table; bits = code length without the sign bit. bits 0: no code.
struct TcoefEntry {
    uint8_t bits;
    uint8_t last;
    uint8_t run;
    uint8_t level;  // 0: the escape code
};

inline constexpr int kTcoefLookupBits = 12;

struct TcoefTable {
    TcoefEntry lookup[1 << kTcoefLookupBits];  // by the next 12 bits
    uint8_t maxLevel[2][64];                   // by last, run (0: run not in the table)
    uint8_t maxRun[2][128];                    // by last, level (255: level not in the table)
};

const TcoefTable& IntraTcoef();
const TcoefTable& InterTcoef();

// Intra DC size: by the next 13 bits, (length << 4) | size; 0 = no code.
const uint8_t* DcSizeLookup(int chroma);
inline constexpr int kDcSizeLookupBits = 13;

extern const uint8_t kZigzag[64];
extern const uint8_t kAlternateVertical[64];
extern const uint8_t kAlternateHorizontal[64];

}  // namespace sp::mpeg4
