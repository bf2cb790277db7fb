#include "SDKs/CodecFramework/ac3/Ac3BitAllocationTables.h"

#include <array>
#include <cstddef>

namespace UMC {
namespace ac3 {

namespace {

// Band widths: 28 single bins, then 7 of 3, 6 of 6, 4 of 12 and 5 of 24 (253 bins).
constexpr std::array<uint8_t, 51> MakeBandStart() {
    std::array<uint8_t, 51> t{};
    int bin = 0, band = 0;
    const int widths[5][2] = {{28, 1}, {7, 3}, {6, 6}, {4, 12}, {5, 24}};
    for (const auto& w : widths)
        for (int i = 0; i < w[0]; ++i, ++band) {
            t[size_t(band)] = uint8_t(bin);
            bin += w[1];
        }
    t[50] = uint8_t(bin);
    return t;
}
constexpr std::array<uint8_t, 51> kStarts = MakeBandStart();

constexpr std::array<uint8_t, 256> MakeBinBand() {
    std::array<uint8_t, 256> t{};
    for (int band = 0; band < 50; ++band)
        for (int bin = kStarts[size_t(band)]; bin < kStarts[size_t(band) + 1]; ++bin)
            t[size_t(bin)] = uint8_t(band);
    for (int bin = kStarts[50]; bin < 256; ++bin) t[size_t(bin)] = 49;
    return t;
}

}  // namespace

const std::array<uint8_t, 51> kBandStart = kStarts;

constexpr std::array<uint8_t, 256> kBinBand = MakeBinBand();

const int16_t kHearingThreshold[3][50] = {
    {0x04d0, 0x04d0, 0x0440, 0x0400, 0x03e0, 0x03c0, 0x03b0, 0x03b0, 0x03a0, 0x03a0,
     0x03a0, 0x03a0, 0x03a0, 0x0390, 0x0390, 0x0390, 0x0380, 0x0380, 0x0370, 0x0370,
     0x0360, 0x0360, 0x0350, 0x0350, 0x0340, 0x0340, 0x0330, 0x0320, 0x0310, 0x0300,
     0x02f0, 0x02f0, 0x02f0, 0x02f0, 0x0300, 0x0310, 0x0340, 0x0390, 0x03e0, 0x0420,
     0x0460, 0x0490, 0x04a0, 0x0460, 0x0440, 0x0440, 0x0520, 0x0800, 0x0840, 0x0840},
    {0x04f0, 0x04f0, 0x0460, 0x0410, 0x03e0, 0x03d0, 0x03c0, 0x03b0, 0x03b0, 0x03a0,
     0x03a0, 0x03a0, 0x03a0, 0x03a0, 0x0390, 0x0390, 0x0390, 0x0380, 0x0380, 0x0380,
     0x0370, 0x0370, 0x0360, 0x0360, 0x0350, 0x0350, 0x0340, 0x0340, 0x0320, 0x0310,
     0x0300, 0x02f0, 0x02f0, 0x02f0, 0x02f0, 0x0300, 0x0320, 0x0350, 0x0390, 0x03e0,
     0x0420, 0x0450, 0x04a0, 0x0490, 0x0460, 0x0440, 0x0480, 0x0630, 0x0840, 0x0840},
    {0x0580, 0x0580, 0x04b0, 0x0450, 0x0420, 0x03f0, 0x03e0, 0x03d0, 0x03c0, 0x03b0,
     0x03b0, 0x03b0, 0x03a0, 0x03a0, 0x03a0, 0x03a0, 0x03a0, 0x03a0, 0x03a0, 0x03a0,
     0x0390, 0x0390, 0x0390, 0x0390, 0x0380, 0x0380, 0x0380, 0x0370, 0x0360, 0x0350,
     0x0340, 0x0330, 0x0320, 0x0310, 0x0300, 0x02f0, 0x02f0, 0x02f0, 0x0300, 0x0310,
     0x0330, 0x0350, 0x03c0, 0x0410, 0x0470, 0x04a0, 0x0460, 0x0440, 0x0450, 0x04e0}};

// 128 units per 6 dB of power, truncated: floor(128 / 6 * 10 log10(1 + 10^(-i * 12 / 128 / 10))).

const uint8_t kBapByAddress[64] = {0,  1,  1,  1,  1,  1,  2,  2,  3,  3,  3,  4,  4,  5,  5,  6,
                                   6,  6,  6,  7,  7,  7,  7,  8,  8,  8,  8,  9,  9,  9,  9,  10,
                                   10, 10, 10, 11, 11, 11, 11, 12, 12, 12, 12, 13, 13, 13, 13, 14,
                                   14, 14, 14, 14, 14, 14, 14, 15, 15, 15, 15, 15, 15, 15, 15, 15};

}  // namespace ac3
}  // namespace UMC
