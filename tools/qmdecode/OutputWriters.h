// Writers of decoded output: pictures as YUV4MPEG2 or raw frames, 24-bit BMP pictures, and PCM
// as WAV or raw. Pictures are read from the output sample's memory with the same plane layout
// that the decoder filter writes (the colour format's table layout at the type's size).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "SDKs/CodecFramework/core/ColorFormat.h"
#include "platform/dshow/DShow.h"

namespace qmdecode {

class PictureWriter {
public:
    ~PictureWriter();
    // y4m: YUV4MPEG2 (planar 4:2:0 and 4:2:2 formats, and packed 4:2:2 unpacked to planar);
    // otherwise raw frames, each plane's rows without padding.
    std::optional<std::string> Open(const std::string& path, bool y4m, const CMediaType& type,
                                    REFERENCE_TIME avgTimePerFrame);
    // Follows a format change (same size and format only change their description).
    std::optional<std::string> ChangeType(const CMediaType& type);
    std::optional<std::string> Write(const BYTE* data, LONG length);
    std::optional<std::string> Close();

private:
    std::FILE* m_file = nullptr;
    bool m_y4m = false;
    int m_width = 0, m_height = 0;
    UMC::ColorFormat m_format = UMC::NONE;
};

// Writes picture bytes of an RGB24 type (top-down when the height is negative) as a 24-bit BMP.
std::optional<std::string> WriteBmp24(const std::string& path, const CMediaType& type,
                                      const BYTE* data, LONG length);

class PcmWriter {
public:
    ~PcmWriter();
    // wav: a RIFF WAVE file whose sizes are filled in by Close; otherwise raw PCM.
    std::optional<std::string> Open(const std::string& path, bool wav, int channels, int rate,
                                    int bits);
    std::optional<std::string> Write(const BYTE* data, LONG length);
    std::optional<std::string> Close();
    uint64_t DataBytes() const { return m_bytes; }

private:
    std::FILE* m_file = nullptr;
    bool m_wav = false;
    uint64_t m_bytes = 0;
};

bool EndsWith(const std::string& text, const std::string& suffix);

}  // namespace qmdecode
