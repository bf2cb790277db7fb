// Constants of the AC-3 bit allocation: band structure, decay and gain codes, hearing threshold,
// log-addition and the allocation pointer table.
#pragma once

#include <array>
#include <cstdint>

namespace UMC {
namespace ac3 {

inline constexpr int kSlowDecay[4] = {0x0f, 0x11, 0x13, 0x15};
inline constexpr int kFastDecay[4] = {0x3f, 0x53, 0x67, 0x7b};
inline constexpr int kSlowGain[4] = {0x540, 0x4d8, 0x478, 0x410};
inline constexpr int kDbPerBit[4] = {0x000, 0x700, 0x900, 0xb00};
inline constexpr int kFloor[8] = {0x2f0, 0x2b0, 0x270, 0x230, 0x1f0, 0x170, 0x0f0, -0x800};
inline constexpr int kFastGain[8] = {0x080, 0x100, 0x180, 0x200, 0x280, 0x300, 0x380, 0x400};

// First bin of each of the 50 bands, and the end of the last.
extern const std::array<uint8_t, 51> kBandStart;
// Band of each bin.
extern const std::array<uint8_t, 256> kBinBand;
// Hearing threshold per sampling rate code and band.
extern const int16_t kHearingThreshold[3][50];
// Increment of the larger of two power values by half their difference.
inline constexpr std::array<uint8_t, 256> kLogAdd = {
    64, 63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 52, 51, 50, 49, 48, 47, 47, 46, 45, 44, 44,
    43, 42, 41, 41, 40, 39, 38, 38, 37, 36, 36, 35, 35, 34, 33, 33, 32, 32, 31, 30, 30, 29, 29, 28,
    28, 27, 27, 26, 26, 25, 25, 24, 24, 23, 23, 22, 22, 21, 21, 21, 20, 20, 19, 19, 19, 18, 18, 18,
    17, 17, 17, 16, 16, 16, 15, 15, 15, 14, 14, 14, 13, 13, 13, 13, 12, 12, 12, 12, 11, 11, 11, 11,
    10, 10, 10, 10, 10, 9,  9,  9,  9,  9,  8,  8,  8,  8,  8,  8,  7,  7,  7,  7,  7,  7,  6,  6,
    6,  6,  6,  6,  6,  6,  5,  5,  5,  5,  5,  5,  5,  5,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,
    4,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  2,  2,  2,  2,  2,  2,  2,  2,  2,
    2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,
    1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  0,  0,  0,  0,  0,  0,
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
// Allocation pointer by masked power.
extern const uint8_t kBapByAddress[64];

}  // namespace ac3
}  // namespace UMC
