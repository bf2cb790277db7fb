// MPEG audio streams in the tests: frame boundaries, bit fields, whole-stream decoding, PSNR.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "SDKs/CodecFramework/mpegaudio/MP3Decoder.h"
#include "SDKs/CodecFramework/mpegaudio/MpaTables.h"
#include "tests/support/AudioFeed.h"
#include "tests/support/Paths.h"

namespace qm::test {

// Frame boundaries of a fixed-rate stream without tags, from the header fields.
inline std::vector<size_t> FrameStarts(const std::vector<uint8_t>& d) {
    std::vector<size_t> starts;
    for (size_t p = 0; p + 4 <= d.size() && d[p] == 0xFF;) {
        const int id = (d[p + 1] >> 3) & 1, v25 = !((d[p + 1] >> 4) & 1);
        const int layer = 4 - ((d[p + 1] >> 1) & 3), pad = (d[p + 2] >> 1) & 1;
        const int kbps = UMC::mpa::kBitrates[3 * id + layer - 1][d[p + 2] >> 4];
        const int hz = UMC::mpa::kSampleRates[v25 ? 2 : id][(d[p + 2] >> 2) & 3];
        if (kbps == 0 || hz == 0) break;
        starts.push_back(p);
        p += layer == 1 ? size_t((12000 * kbps / hz + pad) * 4)
                        : size_t((layer == 2 || id ? 144000 : 72000) * kbps / hz + pad);
    }
    return starts;
}

// Big-endian bit fields at a bit position of a byte array.
inline uint32_t GetBits(const uint8_t* bytes, size_t pos, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i, ++pos) v = (v << 1) | ((bytes[pos / 8] >> (7 - pos % 8)) & 1u);
    return v;
}
inline void PutBits(uint8_t* bytes, size_t pos, int width, uint32_t value) {
    for (int i = width - 1; i >= 0; --i, ++pos) {
        const uint8_t mask = uint8_t(0x80u >> (pos % 8));
        bytes[pos / 8] =
            uint8_t(((value >> i) & 1u) ? bytes[pos / 8] | mask : bytes[pos / 8] & ~mask);
    }
}

struct Decoded {
    std::vector<int16_t> pcm;
    int channels = 0;
    int rate = 0;
    int frames = 0;
    int errors = 0;  // calls that returned a failure other than "need more data"
};

// Feeds `data` to the decoder in pieces of `chunk` bytes (0: all at once), decoding every frame.
inline Decoded DecodeWith(UMC::MP3Decoder& decoder, const std::vector<uint8_t>& data,
                          size_t chunk = 0) {
    Decoded result;
    result.errors = FeedAudio(decoder, data, chunk, 1152 * 2 * 2, [&](UMC::AudioData& out) {
        AppendPcm(out, result.pcm);
        result.channels = out.m_iChannels;
        result.rate = out.m_iSampleFrequency;
        ++result.frames;
    });
    return result;
}

// The same with a fresh decoder.
inline Decoded DecodeStream(const std::vector<uint8_t>& data, size_t chunk = 0,
                            uint32_t checkNextHeader = 0) {
    UMC::MP3Decoder decoder;
    UMC::MP3DecoderParams params;
    params.check_next_header = checkNextHeader;
    if (decoder.Init(&params) != UMC::STATUS_OK) return {};
    return DecodeWith(decoder, data, chunk);
}

// 10 log10(32767^2 / mean squared error); 200 for identical signals.
inline double Psnr(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    size_t n = std::min(a.size(), b.size());
    if (n == 0) return 0.0;
    double err = 0.0;
    for (size_t i = 0; i < n; ++i) {
        double d = double(a[i]) - double(b[i]);
        err += d * d;
    }
    if (err == 0.0) return 200.0;
    return 10.0 * std::log10(32767.0 * 32767.0 / (err / double(n)));
}

}  // namespace qm::test
