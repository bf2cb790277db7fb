// umc-decode --codec mpa: MPEG audio (layers I to III) to raw s16le PCM (.pcm) or WAV (.wav).
// Extra option: --check-next-header (accept a frame only when the next header agrees).
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/core/AudioData.h"
#include "SDKs/CodecFramework/mpegaudio/MP3Decoder.h"
#include "tools/common/ChunkedFile.h"
#include "tools/umc-decode/Job.h"

namespace {

struct PcmResult {
    std::vector<int16_t> samples;
    int channels = 0;
    int rate = 0;
    int frames = 0;
    int damaged = 0;  // frames or calls reported as invalid
    bool failed = false;
};

// Feeds the stream in 4096-byte pieces, as a demultiplexer would, and collects every frame.
PcmResult Decode(const std::vector<uint8_t>& data, uint32_t checkNextHeader, bool keep) {
    PcmResult result;
    UMC::MP3Decoder decoder;
    UMC::MP3DecoderParams params;
    params.check_next_header = checkNextHeader;
    if (decoder.Init(&params) != UMC::STATUS_OK) {
        result.failed = true;
        return result;
    }
    const size_t kPiece = 4096;
    std::vector<uint8_t> staging(2 * kPiece + 8192);
    std::vector<uint8_t> pcm(1152 * 2 * sizeof(int16_t));
    size_t held = 0, fed = 0;
    UMC::MediaData in;
    UMC::AudioData out;
    while (true) {
        const bool more = fed < data.size();
        if (more) {
            size_t n = std::min(kPiece, data.size() - fed);
            if (held + n > staging.size()) staging.resize(held + n);
            std::memcpy(staging.data() + held, data.data() + fed, n);
            held += n;
            fed += n;
        }
        size_t start = 0;
        while (start < held) {
            in.SetBufferPointer(staging.data() + start, held - start);
            in.SetDataSize(held - start);
            out.SetBufferPointer(pcm.data(), pcm.size());
            UMC::Status st = decoder.GetFrame(&in, &out);
            const size_t used = size_t(in.GetDataPointer() - (staging.data() + start));
            start += used;
            if (st == UMC::STATUS_OK) {
                ++result.frames;
                result.channels = out.m_iChannels;
                result.rate = out.m_iSampleFrequency;
                if (keep) {
                    const int16_t* s = reinterpret_cast<const int16_t*>(out.GetDataPointer());
                    result.samples.insert(result.samples.end(), s, s + out.GetDataSize() / 2);
                }
                continue;
            }
            if (st == UMC::STATUS_INVALID_STREAM) ++result.damaged;
            if (used == 0) break;
        }
        std::memmove(staging.data(), staging.data() + start, held - start);
        held -= start;
        if (!more) break;
    }
    return result;
}

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

bool WriteOutput(const std::string& path, const PcmResult& r) {
    std::vector<uint8_t> bytes;
    const uint32_t dataBytes = uint32_t(r.samples.size() * 2);
    const bool wav = path.size() >= 4 && path.compare(path.size() - 4, 4, ".wav") == 0;
    if (wav) {
        const uint32_t channels = uint32_t(r.channels > 0 ? r.channels : 1);
        const uint32_t rate = uint32_t(r.rate > 0 ? r.rate : 44100);
        bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
        PutLe(bytes, 36 + dataBytes, 4);
        bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        PutLe(bytes, 16, 4);
        PutLe(bytes, 1, 2);  // PCM
        PutLe(bytes, channels, 2);
        PutLe(bytes, rate, 4);
        PutLe(bytes, rate * channels * 2, 4);
        PutLe(bytes, channels * 2, 2);
        PutLe(bytes, 16, 2);
        bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
        PutLe(bytes, dataBytes, 4);
    }
    const size_t header = bytes.size();
    bytes.resize(header + dataBytes);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(bytes.data() + header, r.samples.data(), dataBytes);
    } else {
        for (size_t i = 0; i < r.samples.size(); ++i) {
            bytes[header + 2 * i] = uint8_t(uint16_t(r.samples[i]));
            bytes[header + 2 * i + 1] = uint8_t(uint16_t(r.samples[i]) >> 8);
        }
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

int RunMpegAudio(const umcdecode::Options& options) {
    std::vector<uint8_t> data;
    if (!qmtool::ReadWholeFile(options.input, data)) {
        std::fprintf(stderr, "umc-decode: cannot read '%s'\n", options.input.c_str());
        return 1;
    }
    uint32_t checkNextHeader = 0;
    for (const auto& extra : options.extra) {
        if (extra == "--check-next-header") {
            checkNextHeader = 1;
        } else {
            std::fprintf(stderr, "umc-decode: mpa does not know %s\n", extra.c_str());
            return 2;
        }
    }

    if (options.bench) {
        // Repeat whole passes for at least a second so that short files still give a figure.
        using Clock = std::chrono::steady_clock;
        PcmResult r;
        int passes = 0;
        const auto start = Clock::now();
        double elapsed = 0.0;
        do {
            r = Decode(data, checkNextHeader, false);
            ++passes;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < 1.0 && !r.failed && r.frames > 0);
        if (r.failed || r.frames == 0 || r.rate == 0) {
            std::fprintf(stderr, "umc-decode: no MPEG audio frame decoded from '%s'\n",
                         options.input.c_str());
            return 1;
        }
        // Samples per channel per frame: the stream's own, from one more pass that keeps data.
        PcmResult one = Decode(data, checkNextHeader, true);
        const double seconds = double(one.samples.size()) / double(one.channels) / double(one.rate);
        std::printf("%s: %d frames, %.3f s of audio, %d passes in %.3f s: %.1fx real time\n",
                    options.input.c_str(), one.frames, seconds, passes, elapsed,
                    seconds * passes / elapsed);
        return 0;
    }

    PcmResult r = Decode(data, checkNextHeader, true);
    if (r.failed) {
        std::fprintf(stderr, "umc-decode: the MPEG audio decoder could not be set up\n");
        return 1;
    }
    if (r.frames == 0) {
        std::fprintf(stderr, "umc-decode: no MPEG audio frame found in '%s'\n",
                     options.input.c_str());
        return 1;
    }
    if (!WriteOutput(options.output, r)) {
        std::fprintf(stderr, "umc-decode: cannot write '%s'\n", options.output.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: %d frames, %d channels, %d Hz, %zu samples%s\n",
                 options.input.c_str(), r.frames, r.channels, r.rate, r.samples.size(),
                 r.damaged ? " (damaged frames skipped or silenced)" : "");
    return 0;
}

// An ID3v2 tag, or a frame header followed by another one where its length says.
bool ProbeMpegAudio(const unsigned char* data, size_t size) {
    if (size >= 3 && std::memcmp(data, "ID3", 3) == 0) return true;
    static const int kKbps[2][3][16] = {
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}}};
    static const int kHz[3][3] = {
        {22050, 24000, 16000}, {44100, 48000, 32000}, {11025, 12000, 8000}};
    for (size_t p = 0; p + 4 <= size; ++p) {
        if (data[p] != 0xFF || (data[p + 1] & 0xE0) != 0xE0) continue;
        const int id = (data[p + 1] >> 3) & 1, v25 = !((data[p + 1] >> 4) & 1);
        const int layerBits = (data[p + 1] >> 1) & 3;
        const int bi = data[p + 2] >> 4, si = (data[p + 2] >> 2) & 3, pad = (data[p + 2] >> 1) & 1;
        if (layerBits == 0 || bi == 0 || bi == 15 || si == 3 || (id && v25)) continue;
        const int layer = 4 - layerBits;
        const int kbps = kKbps[id][layer - 1][bi], hz = kHz[v25 ? 2 : id][si];
        size_t len = layer == 1           ? size_t((12000 * kbps / hz + pad) * 4)
                     : (layer == 2 || id) ? size_t(144000 * kbps / hz + pad)
                                          : size_t(72000 * kbps / hz + pad);
        if (p + len + 2 <= size && data[p + len] == 0xFF && (data[p + len + 1] & 0xE0) == 0xE0)
            return true;
    }
    return false;
}

const umcdecode::JobRegistration kRegistration("mpa", RunMpegAudio, ProbeMpegAudio);

}  // namespace
