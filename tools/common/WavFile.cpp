#include "tools/common/WavFile.h"

#include <bit>

namespace qmtool {

namespace {

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}

bool EndsWithWav(const std::string& path) {
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".wav") == 0;
}

// The RIFF sizes stop at 32 bits.
uint32_t WavDataBytes(uint64_t bytes) {
    return bytes > 0xFFFFFFF0u ? 0xFFFFFFF0u : uint32_t(bytes);
}

}  // namespace

std::vector<uint8_t> WavHeader(int channels, int rate, uint32_t channelMask, uint32_t dataBytes) {
    const uint32_t ch = uint32_t(channels > 0 ? channels : 1);
    const uint32_t hz = uint32_t(rate > 0 ? rate : 48000);
    // Players take plain PCM with one or two channels as centre or left/right; other layouts
    // need the mask.
    const bool extensible = ch > 2 || (channelMask != 0 && channelMask != (ch == 1 ? 0x4u : 0x3u));
    const uint32_t fmtBytes = extensible ? 40 : 16;
    std::vector<uint8_t> h;
    PutTag(h, "RIFF");
    PutLe(h, 4 + (8 + fmtBytes) + 8 + dataBytes, 4);
    PutTag(h, "WAVE");
    PutTag(h, "fmt ");
    PutLe(h, fmtBytes, 4);
    PutLe(h, extensible ? 0xFFFEu : 1u, 2);
    PutLe(h, ch, 2);
    PutLe(h, hz, 4);
    PutLe(h, hz * ch * 2, 4);
    PutLe(h, ch * 2, 2);
    PutLe(h, 16, 2);
    if (extensible) {
        PutLe(h, 22, 2);  // extension size
        PutLe(h, 16, 2);  // valid bits
        PutLe(h, channelMask, 4);
        // KSDATAFORMAT_SUBTYPE_PCM
        static const uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        for (uint8_t b : kPcmGuid) h.push_back(b);
    }
    PutTag(h, "data");
    PutLe(h, dataBytes, 4);
    return h;
}

PcmFileWriter::~PcmFileWriter() {
    if (m_file) std::fclose(m_file);
}

bool PcmFileWriter::Open(const std::string& path) {
    m_file = std::fopen(path.c_str(), "wb");
    m_wav = EndsWithWav(path);
    return m_file != nullptr;
}

bool PcmFileWriter::Write(const int16_t* samples, size_t count, int channels, int rate,
                          uint32_t mask) {
    if (!m_file) return false;
    if (!m_started) {
        m_started = true;
        m_channels = channels;
        m_rate = rate;
        m_mask = mask;
        if (m_wav) {
            const auto header = WavHeader(channels, rate, mask, 0);
            m_ok &= std::fwrite(header.data(), 1, header.size(), m_file) == header.size();
        }
    } else if (channels != m_channels || rate != m_rate || mask != m_mask) {
        ++m_layoutChanges;
    }
    const size_t bytes = count * 2;
    const void* out = samples;
    if constexpr (std::endian::native != std::endian::little) {
        m_staging.resize(bytes);
        for (size_t i = 0; i < count; ++i) {
            m_staging[2 * i] = uint8_t(uint16_t(samples[i]));
            m_staging[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
        }
        out = m_staging.data();
    }
    m_ok &= std::fwrite(out, 1, bytes, m_file) == bytes;
    m_bytes += bytes;
    return m_ok;
}

bool PcmFileWriter::Finish() {
    if (!m_file) return false;
    if (m_wav && m_started) {
        // The same layout gives a header of the same length: only the sizes change.
        const auto header = WavHeader(m_channels, m_rate, m_mask, WavDataBytes(m_bytes));
        m_ok &= std::fseek(m_file, 0, SEEK_SET) == 0 &&
                std::fwrite(header.data(), 1, header.size(), m_file) == header.size();
    }
    m_ok &= std::fclose(m_file) == 0;
    m_file = nullptr;
    return m_ok;
}

}  // namespace qmtool
