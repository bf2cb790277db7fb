#include "VideoIO/Demultiplexer/ElementaryHeaders.h"

namespace qm_Demultiplexer {

namespace {

class BitReader {
public:
    BitReader(const uint8_t* p, size_t size) : m_p(p), m_size(size) {}
    uint32_t Read(int count) {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i, ++m_bit) {
            const size_t byte = m_bit >> 3;
            v = (v << 1) | (byte < m_size ? (m_p[byte] >> (7 - (m_bit & 7))) & 1 : 0);
        }
        return v;
    }
    bool Overrun() const { return (m_bit + 7) / 8 > m_size; }

private:
    const uint8_t* m_p;
    size_t m_size;
    size_t m_bit = 0;
};

size_t NextStartCode(const uint8_t* p, size_t size, size_t from) {
    for (size_t i = from; i + 4 <= size; ++i)
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) return i;
    return size;
}

}  // namespace

std::optional<VideoSequence> FindVideoSequence(const uint8_t* p, size_t size) {
    static const int kPeriodNum[9] = {0, 1001, 1, 1, 1001, 1, 1, 1001, 1};
    static const int kPeriodDen[9] = {0, 24000, 24, 25, 30000, 30, 50, 60000, 60};
    size_t at = NextStartCode(p, size, 0);
    while (at < size && p[at + 3] != 0xB3) at = NextStartCode(p, size, at + 3);
    if (at + 12 > size) return std::nullopt;
    VideoSequence s;
    BitReader b(p + at + 4, size - at - 4);
    s.width = int(b.Read(12));
    s.height = int(b.Read(12));
    s.aspectCode = int(b.Read(4));
    const uint32_t rateCode = b.Read(4);
    s.bitRate = b.Read(18);
    if (s.width == 0 || s.height == 0) return std::nullopt;
    int64_t num = 1, den = 25;
    if (rateCode >= 1 && rateCode <= 8) {
        num = kPeriodNum[rateCode];
        den = kPeriodDen[rateCode];
    }
    // The header's own length: 8 bytes after the code, plus the quantiser matrices it carries.
    size_t end = at + 12;
    {
        const uint8_t flags = p[at + 11];
        size_t extra = 0;
        if (flags & 0x02) {
            extra += 64;
            if (at + 12 + 64 > size) return std::nullopt;
            if (p[at + 11 + 64] & 0x01) extra += 64;
        } else if (flags & 0x01) {
            extra += 64;
        }
        end += extra;
        if (end > size) return std::nullopt;
    }
    // Extensions that follow belong to the sequence header.
    size_t next = NextStartCode(p, size, end);
    while (next < size && p[next + 3] == 0xB5) {
        BitReader e(p + next + 4, size - next - 4);
        if (e.Read(4) == 1) {
            s.mpeg2 = true;
            e.Read(8);  // profile and level
            s.progressive = e.Read(1) != 0;
            e.Read(2);  // chroma format
            s.width |= int(e.Read(2)) << 12;
            s.height |= int(e.Read(2)) << 12;
            s.bitRate |= e.Read(12) << 18;
            e.Read(1 + 8 + 1);  // marker, buffer size extension, low delay
            const int64_t n = e.Read(2), d = e.Read(5);
            num *= d + 1;
            den *= n + 1;
        }
        next = NextStartCode(p, size, next + 4);
    }
    s.bitRate *= 400;
    s.frameDuration = (10000000 * num + den / 2) / den;
    s.headerBytes.assign(p + at, p + (next < size ? next : size));
    return s;
}

bool ParseAudioFrameHeader(const uint8_t* p, size_t avail, AudioFrame* f) {
    static const int kRates[3] = {44100, 48000, 32000};
    static const int kKbps[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    if (avail < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int versionBits = (p[1] >> 3) & 3, layerBits = (p[1] >> 1) & 3;
    const int rateIndex = (p[2] >> 2) & 3, bitrateIndex = p[2] >> 4;
    if (versionBits == 1 || layerBits == 0 || rateIndex == 3 || bitrateIndex == 15) return false;
    f->mpegVersion = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    f->layer = 4 - layerBits;
    f->sampleRate = kRates[rateIndex] / (f->mpegVersion == 1 ? 1 : f->mpegVersion == 2 ? 2 : 4);
    f->mode = p[3] >> 6;
    f->channels = f->mode == 3 ? 1 : 2;
    f->kbps = kKbps[f->mpegVersion == 1 ? 0 : 1][f->layer - 1][bitrateIndex];
    const int padding = (p[2] >> 1) & 1;
    const int bits = f->kbps * 1000;
    if (f->kbps == 0)
        f->length = 0;
    else if (f->layer == 1)
        f->length = size_t((12 * bits / f->sampleRate + padding) * 4);
    else if (f->layer == 3 && f->mpegVersion != 1)
        f->length = size_t(72 * bits / f->sampleRate + padding);
    else
        f->length = size_t(144 * bits / f->sampleRate + padding);
    return true;
}

std::optional<AudioFrame> FindAudioFrame(const uint8_t* p, size_t size) {
    AudioFrame f;
    for (size_t i = 0; i + 4 <= size; ++i)
        if (ParseAudioFrameHeader(p + i, size - i, &f)) return f;
    return std::nullopt;
}

std::optional<Ac3Frame> FindAc3Frame(const uint8_t* p, size_t size) {
    static const int kKbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                  192, 224, 256, 320, 384, 448, 512, 576, 640};
    static const int kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
    static const int kRates[3] = {48000, 44100, 32000};
    for (size_t i = 0; i + 8 <= size; ++i) {
        if (p[i] != 0x0B || p[i + 1] != 0x77) continue;
        BitReader b(p + i + 4, size - i - 4);
        const uint32_t fscod = b.Read(2), frmsizecod = b.Read(6);
        const uint32_t bsid = b.Read(5);
        b.Read(3);  // bsmod
        const uint32_t acmod = b.Read(3);
        if (fscod == 3 || frmsizecod >= 38 || bsid > 10) continue;
        if ((acmod & 1) && acmod != 1) b.Read(2);
        if (acmod & 4) b.Read(2);
        if (acmod == 2) b.Read(2);
        const uint32_t lfe = b.Read(1);
        if (b.Overrun()) return std::nullopt;
        Ac3Frame f;
        f.sampleRate = kRates[fscod];
        f.channels = kChannels[acmod] + int(lfe);
        f.kbps = kKbps[frmsizecod >> 1];
        return f;
    }
    return std::nullopt;
}

}  // namespace qm_Demultiplexer
