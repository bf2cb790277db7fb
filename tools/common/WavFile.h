// WAV headers for 16-bit PCM (the plain PCM format for mono and stereo in speaker order,
// WAVE_FORMAT_EXTENSIBLE with the channel mask for anything else), and a writer that streams PCM
// to a raw or WAV file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qmtool {

// The RIFF/WAVE header for `dataBytes` of 16-bit samples. A channel mask of 0 means the default
// layout of the channel count.
std::vector<uint8_t> WavHeader(int channels, int rate, uint32_t channelMask, uint32_t dataBytes);

// Writes each frame's samples to a file as they come: raw s16le, or WAV whose header describes
// the first frame's layout and gets its sizes when the stream ends.
class PcmFileWriter {
public:
    ~PcmFileWriter();
    // WAV when the name ends in .wav, else raw.
    bool Open(const std::string& path);
    bool Write(const int16_t* samples, size_t count, int channels, int rate, uint32_t mask);
    // Fills in the WAV sizes and closes; false when anything could not be written.
    bool Finish();
    // Frames whose layout differed from the first (a WAV header describes only one).
    int LayoutChanges() const { return m_layoutChanges; }

private:
    std::FILE* m_file = nullptr;
    bool m_wav = false;
    bool m_started = false;
    bool m_ok = true;
    int m_channels = 0, m_rate = 0;
    uint32_t m_mask = 0;
    uint64_t m_bytes = 0;
    int m_layoutChanges = 0;
    std::vector<uint8_t> m_staging;  // little-endian bytes of one frame
};

}  // namespace qmtool
