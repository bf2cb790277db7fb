// Whole-stream decoding through the codec interface, and PSNR against a reference.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "SDKs/CodecFramework/core/AudioData.h"
#include "SDKs/CodecFramework/mpegaudio/MP3Decoder.h"
#include "tests/support/Paths.h"

namespace qm::test {

inline std::vector<int16_t> ReadPcm(const std::filesystem::path& path) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    return pcm;
}

struct Decoded {
    std::vector<int16_t> pcm;
    int channels = 0;
    int rate = 0;
    int frames = 0;
    int errors = 0;  // calls that returned a failure other than "need more data"
};

// Feeds `data` in pieces of `chunk` bytes (0: all at once) and decodes every frame.
inline Decoded DecodeStream(const std::vector<uint8_t>& data, size_t chunk = 0,
                            uint32_t checkNextHeader = 0) {
    Decoded result;
    UMC::MP3Decoder decoder;
    UMC::MP3DecoderParams params;
    params.check_next_header = checkNextHeader;
    if (decoder.Init(&params) != UMC::STATUS_OK) return result;
    std::vector<uint8_t> staging;
    std::vector<uint8_t> outBuffer(1152 * 2 * 2);
    UMC::AudioData out;
    size_t fed = 0;
    if (chunk == 0) chunk = data.size() ? data.size() : 1;
    staging.reserve(data.size() + chunk + 16);
    size_t start = 0;  // first unconsumed byte of staging
    while (true) {
        bool more = fed < data.size();
        if (more) {
            size_t n = std::min(chunk, data.size() - fed);
            staging.erase(staging.begin(), staging.begin() + ptrdiff_t(start));
            start = 0;
            staging.insert(staging.end(), data.begin() + ptrdiff_t(fed),
                           data.begin() + ptrdiff_t(fed + n));
            fed += n;
        }
        UMC::MediaData in;
        while (start < staging.size()) {
            in.SetBufferPointer(staging.data() + start, staging.size() - start);
            in.SetDataSize(staging.size() - start);
            out.SetBufferPointer(outBuffer.data(), outBuffer.size());
            UMC::Status st = decoder.GetFrame(&in, &out);
            size_t used = size_t(in.GetDataPointer() - (staging.data() + start));
            start += used;
            if (st == UMC::STATUS_OK) {
                const int16_t* s = reinterpret_cast<const int16_t*>(out.GetDataPointer());
                result.pcm.insert(result.pcm.end(), s, s + out.GetDataSize() / 2);
                result.channels = out.m_iChannels;
                result.rate = out.m_iSampleFrequency;
                ++result.frames;
                continue;
            }
            if (st != UMC::STATUS_NOT_ENOUGH_DATA && st != UMC::STATUS_SYNC_NOT_FOUND)
                ++result.errors;
            if (used == 0) break;
        }
        if (!more) break;
    }
    return result;
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
