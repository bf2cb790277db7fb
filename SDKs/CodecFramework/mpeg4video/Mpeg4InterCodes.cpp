#include <array>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"

namespace UMC::mpeg4 {

namespace {

struct Code {
    uint16_t bits;
    uint8_t length;
    uint8_t value;
};

// mcbpc of P- and S-VOPs: value = type << 2 | cbpc; 0xFF stuffing.
constexpr Code kMcbpcInter[] = {
    {0b1, 1, 0 << 2 | 0},         {0b0011, 4, 0 << 2 | 1},      {0b0010, 4, 0 << 2 | 2},
    {0b000101, 6, 0 << 2 | 3},    {0b011, 3, 1 << 2 | 0},       {0b0000111, 7, 1 << 2 | 1},
    {0b0000110, 7, 1 << 2 | 2},   {0b000000101, 9, 1 << 2 | 3}, {0b010, 3, 2 << 2 | 0},
    {0b0000101, 7, 2 << 2 | 1},   {0b0000100, 7, 2 << 2 | 2},   {0b00000101, 8, 2 << 2 | 3},
    {0b00011, 5, 3 << 2 | 0},     {0b00000100, 8, 3 << 2 | 1},  {0b00000011, 8, 3 << 2 | 2},
    {0b0000011, 7, 3 << 2 | 3},   {0b000100, 6, 4 << 2 | 0},    {0b000000100, 9, 4 << 2 | 1},
    {0b000000011, 9, 4 << 2 | 2}, {0b000000010, 9, 4 << 2 | 3}, {0b000000001, 9, 0xFF},
};

// motion_code magnitudes 0..32 (a sign bit follows every non-zero one).
constexpr Code kMotionCode[] = {
    {0b1, 1, 0},
    {0b01, 2, 1},
    {0b001, 3, 2},
    {0b0001, 4, 3},
    {0b000011, 6, 4},
    {0b0000101, 7, 5},
    {0b0000100, 7, 6},
    {0b0000011, 7, 7},
    {0b000001011, 9, 8},
    {0b000001010, 9, 9},
    {0b000001001, 9, 10},
    {0b0000010001, 10, 11},
    {0b0000010000, 10, 12},
    {0b0000001111, 10, 13},
    {0b0000001110, 10, 14},
    {0b0000001101, 10, 15},
    {0b0000001100, 10, 16},
    {0b0000001011, 10, 17},
    {0b0000001010, 10, 18},
    {0b0000001001, 10, 19},
    {0b0000001000, 10, 20},
    {0b0000000111, 10, 21},
    {0b0000000110, 10, 22},
    {0b0000000101, 10, 23},
    {0b0000000100, 10, 24},
    {0b00000000111, 11, 25},
    {0b00000000110, 11, 26},
    {0b00000000101, 11, 27},
    {0b00000000100, 11, 28},
    {0b00000000011, 11, 29},
    {0b00000000010, 11, 30},
    {0b000000000011, 12, 31},
    {0b000000000010, 12, 32},
};

// Lookup by the next `Bits` bits: length << 8 | value, 0 for no code.
template <int Bits, size_t N>
constexpr std::array<uint16_t, (1 << Bits)> BuildLookup(const Code (&codes)[N]) {
    std::array<uint16_t, (1 << Bits)> table{};
    for (const Code& c : codes) {
        const int shift = Bits - c.length;
        for (uint32_t k = 0; k < (1u << shift); ++k)
            table[(uint32_t(c.bits) << shift) | k] = uint16_t(c.length << 8 | c.value);
    }
    return table;
}

constexpr auto kMcbpcLookup = BuildLookup<9>(kMcbpcInter);
constexpr auto kMotionLookup = BuildLookup<12>(kMotionCode);

}  // namespace

bool ReadMcbpcInter(Mpeg4BitReader& r, int32_t& type, int32_t& cbpc) {
    if (r.PastEnd()) return false;
    const uint16_t code = kMcbpcLookup[r.Show(9)];
    if (code == 0) return false;
    r.Skip(code >> 8);
    type = (code & 0xFF) == 0xFF ? kMacroblockStuffing : (code >> 2) & 7;
    cbpc = code & 3;
    return true;
}

bool ReadCbpy(Mpeg4BitReader& r, int32_t& cbpy) {
    const uint8_t code = CbpyIntra(r.Show(6));
    if (code == 0) return false;
    r.Skip(code >> 4);
    cbpy = code & 15;
    return true;
}

bool ReadMotionDifference(Mpeg4BitReader& r, int32_t fcode, int32_t& difference) {
    const uint16_t code = kMotionLookup[r.Show(12)];
    if (code == 0) return false;
    r.Skip(code >> 8);
    const int32_t magnitude = code & 0xFF;
    if (magnitude == 0) {
        difference = 0;
        return true;
    }
    const bool negative = r.Get1() != 0;
    int32_t value = magnitude;
    if (fcode > 1) {
        const int32_t shift = fcode - 1;
        value = ((magnitude - 1) << shift) + int32_t(r.Get(shift)) + 1;
    }
    difference = negative ? -value : value;
    return true;
}

}  // namespace UMC::mpeg4
