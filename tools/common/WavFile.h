// WAV headers for 16-bit PCM: the plain PCM format for mono and stereo in speaker order, and
// WAVE_FORMAT_EXTENSIBLE with the channel mask for anything else.
#pragma once

#include <cstdint>
#include <vector>

namespace qmtool {

// The RIFF/WAVE header for `dataBytes` of 16-bit samples. A channel mask of 0 means the default
// layout of the channel count.
std::vector<uint8_t> WavHeader(int channels, int rate, uint32_t channelMask, uint32_t dataBytes);

}  // namespace qmtool
