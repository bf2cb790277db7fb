#include "tools/umc-decode/AudioJob.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "SDKs/CodecFramework/core/AudioData.h"
#include "tools/common/InputFile.h"

namespace umcdecode {

PcmResult DecodeInPieces(UMC::AudioCodec& decoder, std::span<const uint8_t> data, size_t pcmBytes,
                         qmtool::PcmFileWriter* writer) {
    PcmResult result;
    const size_t kPiece = 4096;
    std::vector<uint8_t> staging(2 * kPiece + 8192);
    std::vector<uint8_t> pcm(pcmBytes);
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
                const size_t count = out.GetDataSize() / 2;
                result.samples += count;
                if (result.channels > 0) result.sampleFrames += count / size_t(result.channels);
                if (writer && !writer->Write(reinterpret_cast<const int16_t*>(out.GetDataPointer()),
                                             count, result.channels, result.rate, result.mask)) {
                    result.writeFailed = true;
                    return result;
                }
                continue;
            }
            if (st != UMC::STATUS_NOT_ENOUGH_DATA && st != UMC::STATUS_SYNC_NOT_FOUND)
                ++result.damaged;
            if (used == 0) break;
        }
        std::memmove(staging.data(), staging.data() + start, held - start);
        held -= start;
        if (!more) break;
    }
    return result;
}

int RunAudioJob(const Options& options, const char* name,
                const std::function<PcmResult(std::span<const uint8_t> data,
                                              qmtool::PcmFileWriter* writer)>& decode) {
    // Mapped: a file read into fresh memory pays a page fault per 4 KiB, a large share of a
    // short audio decode.
    qmtool::InputFile file;
    if (!file.Open(options.input)) {
        std::fprintf(stderr, "umc-decode: cannot read '%s'\n", options.input.c_str());
        return 1;
    }
    if (options.bench) {
        // Without --passes, whole passes for at least a second, so that short files still give
        // a figure.
        using Clock = std::chrono::steady_clock;
        PcmResult r;
        int passes = 0;
        const auto start = Clock::now();
        double elapsed = 0.0;
        do {
            r = decode(file.Bytes(), nullptr);
            ++passes;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while ((options.passes > 0 ? passes < options.passes : elapsed < 1.0) && !r.failed &&
                 r.frames > 0);
        if (r.failed || r.frames == 0 || r.rate == 0) {
            std::fprintf(stderr, "umc-decode: no %s frame decoded from '%s'\n", name,
                         options.input.c_str());
            return 1;
        }
        const double seconds = double(r.sampleFrames) / double(r.rate);
        std::printf("%s: %d frames, %.3f s of audio, %d passes in %.3f s: %.1fx real time\n",
                    options.input.c_str(), r.frames, seconds, passes, elapsed,
                    seconds * passes / elapsed);
        return 0;
    }

    qmtool::PcmFileWriter writer;
    if (!writer.Open(options.output)) {
        std::fprintf(stderr, "umc-decode: cannot write '%s'\n", options.output.c_str());
        return 1;
    }
    const PcmResult r = decode(file.Bytes(), &writer);
    const bool written = writer.Finish() && !r.writeFailed;
    if (r.failed || r.frames == 0 || !written) {
        std::remove(options.output.c_str());  // nothing half-written stays behind
        if (r.failed)
            std::fprintf(stderr, "umc-decode: the %s decoder could not be set up\n", name);
        else if (r.frames == 0)
            std::fprintf(stderr, "umc-decode: no %s frame found in '%s'\n", name,
                         options.input.c_str());
        else
            std::fprintf(stderr, "umc-decode: cannot write '%s'\n", options.output.c_str());
        return 1;
    }
    if (writer.LayoutChanges() > 0)
        std::fprintf(stderr,
                     "umc-decode: %d frames differ from the first in channels or rate; the WAV "
                     "header describes the first\n",
                     writer.LayoutChanges());
    std::fprintf(stderr, "%s: %d frames, %d channels, %d Hz, %llu samples%s\n",
                 options.input.c_str(), r.frames, r.channels, r.rate,
                 static_cast<unsigned long long>(r.samples),
                 r.damaged ? " (damaged frames skipped or silenced)" : "");
    return 0;
}

}  // namespace umcdecode
