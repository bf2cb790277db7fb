// umc-decode --codec ac3: AC-3 to raw s16le PCM (.pcm) or WAV (.wav, with the channel mask when
// the layout needs one). Extra options: --channels stereo|coded (the two-channel fold, or every
// coded channel with the low-frequency one), --conceal silence.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/ac3/AC3Decoder.h"
#include "SDKs/CodecFramework/core/AudioData.h"
#include "tools/common/ChunkedFile.h"
#include "tools/common/WavFile.h"
#include "tools/umc-decode/Job.h"

namespace {

struct PcmResult {
    std::vector<int16_t> samples;
    int channels = 0;
    int rate = 0;
    uint32_t mask = 0;
    int frames = 0;
    int failures = 0;
    bool failed = false;
};

// Feeds the stream in 4096-byte pieces, as a demultiplexer would, and collects every frame.
PcmResult Decode(const std::vector<uint8_t>& data, const UMC::AC3DecoderParams& params, bool keep) {
    PcmResult result;
    UMC::AC3Decoder decoder;
    UMC::AC3DecoderParams p = params;
    if (decoder.Init(&p) != UMC::STATUS_OK) {
        result.failed = true;
        return result;
    }
    const size_t kPiece = 4096;
    std::vector<uint8_t> staging(2 * kPiece + 4096);
    std::vector<uint8_t> pcm(18432);
    size_t held = 0, fed = 0;
    UMC::MediaData in;
    UMC::AudioData out;
    while (true) {
        const bool more = fed < data.size();
        if (more) {
            const size_t n = std::min(kPiece, data.size() - fed);
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
            const UMC::Status st = decoder.GetFrame(&in, &out);
            const size_t used = size_t(in.GetDataPointer() - (staging.data() + start));
            start += used;
            if (st == UMC::STATUS_OK) {
                ++result.frames;
                result.channels = out.m_iChannels;
                result.rate = out.m_iSampleFrequency;
                result.mask = out.m_iChannelMask;
                if (keep) {
                    const int16_t* s = reinterpret_cast<const int16_t*>(out.GetDataPointer());
                    result.samples.insert(result.samples.end(), s, s + out.GetDataSize() / 2);
                }
                continue;
            }
            if (st != UMC::STATUS_NOT_ENOUGH_DATA && st != UMC::STATUS_SYNC_NOT_FOUND)
                ++result.failures;
            if (used == 0) break;
        }
        std::memmove(staging.data(), staging.data() + start, held - start);
        held -= start;
        if (!more) break;
    }
    return result;
}

bool WriteOutput(const std::string& path, const PcmResult& r) {
    const uint32_t dataBytes = uint32_t(r.samples.size() * 2);
    const bool wav = path.size() >= 4 && path.compare(path.size() - 4, 4, ".wav") == 0;
    std::vector<uint8_t> bytes;
    if (wav) bytes = qmtool::WavHeader(r.channels, r.rate, r.mask, dataBytes);
    const size_t header = bytes.size();
    bytes.resize(header + dataBytes);
    for (size_t i = 0; i < r.samples.size(); ++i) {
        bytes[header + 2 * i] = uint8_t(uint16_t(r.samples[i]));
        bytes[header + 2 * i + 1] = uint8_t(uint16_t(r.samples[i]) >> 8);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

int RunAc3(const umcdecode::Options& options) {
    std::vector<uint8_t> data;
    if (!qmtool::ReadWholeFile(options.input, data)) {
        std::fprintf(stderr, "umc-decode: cannot read '%s'\n", options.input.c_str());
        return 1;
    }
    UMC::AC3DecoderParams params;
    for (size_t i = 0; i < options.extra.size(); ++i) {
        const std::string& o = options.extra[i];
        const std::string value = i + 1 < options.extra.size() ? options.extra[i + 1] : "";
        if (o == "--channels" && (value == "stereo" || value == "coded")) {
            params.output_config = value == "coded" ? 8 : 0;
            ++i;
        } else if (o == "--conceal" && value == "silence") {
            params.conceal_mode = 1;
            ++i;
        } else {
            std::fprintf(stderr, "umc-decode: ac3 does not know %s %s\n", o.c_str(), value.c_str());
            return 2;
        }
    }

    if (options.bench) {
        using Clock = std::chrono::steady_clock;
        PcmResult r;
        int passes = 0;
        const auto start = Clock::now();
        double elapsed = 0.0;
        do {
            r = Decode(data, params, false);
            ++passes;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < 1.0 && !r.failed && r.frames > 0);
        if (r.failed || r.frames == 0 || r.rate == 0) {
            std::fprintf(stderr, "umc-decode: no AC-3 frame decoded from '%s'\n",
                         options.input.c_str());
            return 1;
        }
        const double seconds = double(r.frames) * 1536.0 / double(r.rate);
        std::printf("%s: %d frames, %.3f s of audio, %d passes in %.3f s: %.1fx real time\n",
                    options.input.c_str(), r.frames, seconds, passes, elapsed,
                    seconds * passes / elapsed);
        return 0;
    }

    const PcmResult r = Decode(data, params, true);
    if (r.failed) {
        std::fprintf(stderr, "umc-decode: the AC-3 decoder could not be set up\n");
        return 1;
    }
    if (r.frames == 0) {
        std::fprintf(stderr, "umc-decode: no AC-3 frame found in '%s'\n", options.input.c_str());
        return 1;
    }
    if (!WriteOutput(options.output, r)) {
        std::fprintf(stderr, "umc-decode: cannot write '%s'\n", options.output.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: %d frames, %d channels, %d Hz, %zu samples%s\n",
                 options.input.c_str(), r.frames, r.channels, r.rate, r.samples.size(),
                 r.failures ? " (undecodable frames skipped)" : "");
    return 0;
}

// A sync word with a valid header, and another sync word where the frame size says.
bool ProbeAc3(const unsigned char* data, size_t size) {
    for (size_t p = 0; p + 6 <= size; ++p) {
        if (data[p] != 0x0B || data[p + 1] != 0x77) continue;
        const int fscod = data[p + 4] >> 6, frmsizecod = data[p + 4] & 0x3f;
        if (fscod == 3 || frmsizecod > 37 || (data[p + 5] >> 3) > 8) continue;
        static const int kKbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                      192, 224, 256, 320, 384, 448, 512, 576, 640};
        static const int kRates[3] = {48000, 44100, 32000};
        const size_t words = size_t(kKbps[frmsizecod >> 1] * 1000 * 1536 / (kRates[fscod] * 16) +
                                    (fscod == 1 ? (frmsizecod & 1) : 0));
        const size_t next = p + 2 * words;
        if (next + 2 <= size && data[next] == 0x0B && data[next + 1] == 0x77) return true;
        if (next >= size && p == 0) return true;  // a single frame
    }
    return false;
}

const umcdecode::JobRegistration kRegistration("ac3", RunAc3, ProbeAc3);

}  // namespace
