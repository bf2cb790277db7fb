// Constant tables of MPEG-1/MPEG-2 video and the two-level VLC lookup tables built from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "SDKs/CodecFramework/core/Status.h"

namespace UMC {

// One lookup entry. In a first-level table an entry with `sub` > 0 sends the lookup to the
// second-level table at `value` indexed by the next `sub` bits. len 0 marks an invalid code.
struct Mpeg2VlcEntry {
    int16_t value;
    uint8_t len;  // total code length including the first-level bits
    uint8_t sub;
};

// Special values of the coefficient tables (others are run | level << 6).
enum : int16_t { kVlcEndOfBlock = -2, kVlcEscape = -3 };
// Motion type and macroblock flags packed into macroblock_type values.
enum : int {
    kMbQuant = 1,
    kMbForward = 2,
    kMbBackward = 4,
    kMbPattern = 8,
    kMbIntra = 16,
};

// frame_motion_type (frame pictures) and field_motion_type (field pictures): the same two-bit
// code names field prediction (1) and dual prime (3) in both, but 2 is frame prediction in a frame
// picture and 16x8 prediction in a field picture.
enum Mpeg2MotionType : int {
    kMotionField = 1,
    kMotionFrame = 2,
    kMotion16x8 = 2,
    kMotionDualPrime = 3,
};

class Mpeg2VlcTable {
public:
    struct Code {
        const char* bits;  // '0'/'1' characters, spaces ignored
        int value;
    };
    // Builds the table; false when the codes are not a prefix code or too long.
    bool Build(const Code* codes, int count, int firstBits);
    void Clear() {
        m_entries.clear();
        m_table = nullptr;
    }
    bool Empty() const { return m_entries.empty(); }

    // Looks up the code at the top of `window`; returns the entry (len 0 = invalid).
    const Mpeg2VlcEntry& Lookup(uint32_t window) const {
        const Mpeg2VlcEntry& e = m_table[window >> (32 - m_firstBits)];
        if (!e.sub) return e;
        return m_table[size_t(e.value) + ((window << m_firstBits) >> (32 - e.sub))];
    }

private:
    std::vector<Mpeg2VlcEntry> m_entries;
    const Mpeg2VlcEntry* m_table = nullptr;  // m_entries.data(), kept for the lookups
    int m_firstBits = 0;
};

// A coefficient table as the block decoders read it: one lookup on the next kBits bits decodes
// every code that fits them together with its sign bit (run, level magnitude, sign, total length);
// end of block has run kCoefficientEnd. Escape, the longer codes and invalid bits have run
// kCoefficientSlow and are looked up in `general`.
struct Mpeg2CoefficientTable {
    static constexpr int kBits = 10;
    struct Entry {
        uint8_t run;
        uint8_t len;  // sign bit included
        uint8_t level;
        uint8_t negative;
    };
    Entry fast[1 << kBits];
    const Mpeg2VlcTable* general = nullptr;
};
enum : uint8_t { kCoefficientEnd = 64, kCoefficientSlow = 65 };

// The six decoding tables of slice decoding.
struct Mpeg2VlcTables {
    Mpeg2VlcTable addressIncrement;   // B.1 (value 34 = escape, 35 = MPEG-1 stuffing)
    Mpeg2VlcTable macroblockType[3];  // B.2-B.4 (I, P, B) flags
    Mpeg2VlcTable codedBlockPattern;  // B.9
    Mpeg2VlcTable motionCode;         // B.10 without the sign
    Mpeg2VlcTable dcSize[2];          // B.12 luma, B.13 chroma
    Mpeg2VlcTable coefficients[2];    // B.14, B.15 without the sign
    // B.14, B.15 and B.14 as the first code of a non-intra block ("1s" is run 0, level 1).
    Mpeg2CoefficientTable coefficientCodes[3];
    Status Build();
    void Clear();
};

extern const uint8_t kMpeg2ZigzagScan[64];  // scan position -> coefficient index
extern const uint8_t kMpeg2AlternateScan[64];
extern const uint8_t kMpeg2DefaultIntraMatrix[64];  // natural (row) order
extern const uint8_t kMpeg2NonLinearQuantiser[32];

}  // namespace UMC
