// Decoding AC-3 fixtures through the codec interface, no-dither copies, and PSNR.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/ac3/AC3Decoder.h"
#include "SDKs/CodecFramework/ac3/Ac3State.h"
#include "tests/support/AudioFeed.h"
#include "tests/support/Paths.h"

namespace qm::test {

inline std::vector<uint8_t> Ac3Fixture(const std::string& name) {
    return ReadBytes(FixtureDir() / "ac3" / (name + ".ac3"));
}

inline std::vector<int16_t> Ac3Reference(const std::string& name) {
    return ReadPcm(FixtureDir() / "ac3" / (name + ".ref"));
}

// Byte offsets of the sync frames of a stream.
inline std::vector<size_t> FrameOffsets(const std::vector<uint8_t>& data) {
    std::vector<size_t> offsets;
    size_t pos = 0;
    while (pos + 5 <= data.size() && data[pos] == 0x0B && data[pos + 1] == 0x77) {
        const int words = UMC::ac3::FrameWords(data[pos + 4] >> 6, data[pos + 4] & 0x3f);
        if (words == 0 || pos + size_t(words) * 2 > data.size()) break;
        offsets.push_back(pos);
        pos += size_t(words) * 2;
    }
    return offsets;
}

// A state block for the frame-editing functions.
class Ac3EditState {
public:
    Ac3EditState() {
        size_t size = 0;
        UMC::ac3::StateInit(nullptr, &size);
        m_memory.resize(size);
        m_status = UMC::ac3::StateInit(m_memory.data(), &size);
    }
    int InitStatus() const { return m_status; }
    UMC::ac3::State* operator->() { return get(); }
    UMC::ac3::State* get() { return reinterpret_cast<UMC::ac3::State*>(m_memory.data()); }

private:
    std::vector<uint8_t> m_memory;
    int m_status = -1;
};

// The stream with every dither flag cleared (CRCs rewritten).
inline std::vector<uint8_t> WithoutDither(std::vector<uint8_t> data) {
    Ac3EditState state;
    const std::vector<size_t> offsets = FrameOffsets(data);
    for (size_t i = 0; i < offsets.size(); ++i) {
        const size_t end = i + 1 < offsets.size() ? offsets[i + 1] : data.size();
        UMC::ac3::ClearDitherFlags(state.get(), data.data() + offsets[i], end - offsets[i]);
    }
    return data;
}

// Every sync frame grown to `grownBytes` with the given gain words written in (-1: none; CRCs
// rewritten); empty when a frame has no room for them.
inline std::vector<uint8_t> WithGainWords(const std::vector<uint8_t>& data, size_t grownBytes,
                                          const int dynrng[6] = nullptr, int compr = -1) {
    static const int kNone[6] = {-1, -1, -1, -1, -1, -1};
    Ac3EditState state;
    const std::vector<size_t> offsets = FrameOffsets(data);
    std::vector<uint8_t> out(offsets.size() * grownBytes);
    for (size_t i = 0; i < offsets.size(); ++i) {
        const size_t end = i + 1 < offsets.size() ? offsets[i + 1] : data.size();
        if (!UMC::ac3::WriteGainWords(state.get(), data.data() + offsets[i], end - offsets[i],
                                      dynrng ? dynrng : kNone, compr, out.data() + i * grownBytes,
                                      grownBytes))
            return {};
    }
    return out;
}

struct Ac3Decoded {
    std::vector<int16_t> pcm;
    std::vector<double> starts;  // per frame
    int channels = 0;
    int rate = 0;
    uint32_t mask = 0;
    int frames = 0;
    int errors = 0;  // calls that failed other than for more data or no sync word
};

inline UMC::AC3DecoderParams Ac3Params(uint32_t outputConfig = 8) {
    UMC::AC3DecoderParams p;
    p.output_config = outputConfig;
    return p;
}

// Feeds `data` in pieces of `chunk` bytes (0: all at once) and decodes every frame.
inline Ac3Decoded DecodeAc3(const std::vector<uint8_t>& data, UMC::AC3DecoderParams params,
                            size_t chunk = 0) {
    Ac3Decoded result;
    UMC::AC3Decoder decoder;
    if (decoder.Init(&params) != UMC::STATUS_OK) return result;
    result.errors = FeedAudio(decoder, data, chunk, 18432, [&](UMC::AudioData& out) {
        ++result.frames;
        result.channels = out.m_iChannels;
        result.rate = out.m_iSampleFrequency;
        result.mask = out.m_iChannelMask;
        double s = 0, e = 0;
        out.GetTime(s, e);
        result.starts.push_back(s);
        AppendPcm(out, result.pcm);
    });
    return result;
}

// PSNR of channel `ch` of interleaved `a` against `ref` (full scale 32767); 200 when identical.
inline double ChannelPsnr(const int16_t* a, const double* ref, size_t samples, int channels,
                          int ch) {
    double sum = 0.0;
    for (size_t i = 0; i < samples; ++i) {
        const double d = double(a[i * size_t(channels) + size_t(ch)]) - ref[i];
        sum += d * d;
    }
    if (sum == 0.0) return 200.0;
    return 10.0 * std::log10(32767.0 * 32767.0 / (sum / double(samples)));
}

}  // namespace qm::test
