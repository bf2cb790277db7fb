#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"

namespace UMC::mpeg4 {

const uint8_t kDefaultIntraMatrix[64] = {
    8,  17, 18, 19, 21, 23, 25, 27, 17, 18, 19, 21, 23, 25, 27, 28, 20, 21, 22, 23, 24, 26,
    28, 30, 21, 22, 23, 24, 26, 28, 30, 32, 22, 23, 24, 26, 28, 30, 32, 35, 23, 24, 26, 28,
    30, 32, 35, 38, 25, 26, 28, 30, 32, 35, 38, 41, 27, 28, 30, 32, 35, 38, 41, 45};

const uint8_t kDefaultNonIntraMatrix[64] = {
    16, 17, 18, 19, 20, 21, 22, 23, 17, 18, 19, 20, 21, 22, 23, 24, 18, 19, 20, 21, 22, 23,
    24, 25, 19, 20, 21, 22, 23, 24, 26, 27, 20, 21, 22, 23, 25, 26, 27, 28, 21, 22, 23, 24,
    26, 27, 28, 30, 22, 23, 24, 26, 27, 28, 30, 31, 23, 24, 25, 27, 28, 30, 31, 33};

const ShortHeaderFormat kShortHeaderFormats[6] = {{0, 0, 0, 0, 0},       {128, 96, 6, 8, 1},
                                                  {176, 144, 9, 11, 1},  {352, 288, 18, 22, 1},
                                                  {704, 576, 18, 88, 2}, {1408, 1152, 18, 352, 4}};

const int32_t kIntraDcThreshold[8] = {512, 13, 15, 17, 19, 21, 23, 0};

uint8_t McbpcIntra(uint32_t v) {
    if (v == 1) return kMcbpcStuffing;
    if (v >= 256) return (1 << 4) | 0;                           // 1: intra, cbpc 0
    if (v >= 64) return uint8_t((3 << 4) | (v >> 6));            // 001, 010, 011: cbpc 1..3
    if (v >= 32) return (4 << 4) | (1 << 2);                     // 0001: intra+q, cbpc 0
    if (v >= 8) return uint8_t((6 << 4) | (1 << 2) | (v >> 3));  // 000001..000011
    return 0;
}

uint8_t CbpyIntra(uint32_t v) {
    struct Code {
        uint8_t bits, length, cbpy;
    };
    static constexpr Code kCodes[] = {
        {0b0011, 4, 0},  {0b00101, 5, 1},  {0b00100, 5, 2},  {0b1001, 4, 3},
        {0b00011, 5, 4}, {0b0111, 4, 5},   {0b000010, 6, 6}, {0b1011, 4, 7},
        {0b00010, 5, 8}, {0b000011, 6, 9}, {0b0101, 4, 10},  {0b1010, 4, 11},
        {0b0100, 4, 12}, {0b1000, 4, 13},  {0b0110, 4, 14},  {0b11, 2, 15}};
    for (const Code& c : kCodes)
        if ((v >> (6 - c.length)) == c.bits) return uint8_t((c.length << 4) | c.cbpy);
    return 0;
}

int32_t DivideByReciprocal(int32_t a, int32_t n) {
    if (n < 1) n = 1;
    if (n > 63) n = 63;
    const int64_t r = (int64_t(1) << 18) / n + 1;
    return int32_t((int64_t(a) * r + (int64_t(1) << 17)) >> 18);
}

int32_t BitsFor(int32_t n) {
    int32_t bits = 1;
    while (bits < 31 && (int64_t(1) << bits) < n) ++bits;
    return bits;
}

}  // namespace UMC::mpeg4
