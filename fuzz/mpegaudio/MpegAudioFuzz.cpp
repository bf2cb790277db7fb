// Feeds arbitrary bytes to MP3Decoder::GetFrame. The first byte picks the options (check of the
// next header, piece size, output room, a Reset midway); the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "SDKs/CodecFramework/core/AudioData.h"
#include "SDKs/CodecFramework/mpegaudio/MP3Decoder.h"
#include "primitives/dispatch/ProcessorDispatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool dispatched = (spInitProcessorDispatch(), true);
    (void)dispatched;
    if (size < 1) return 0;
    const uint8_t options = data[0];
    ++data;
    --size;
    static const size_t kPieces[4] = {0, 13, 97, 1500};
    const size_t piece = kPieces[(options >> 1) & 3] ? kPieces[(options >> 1) & 3] : size + 1;
    // Output room: enough for any frame, or one sample short of a stereo layer II frame.
    const size_t outBytes = (options & 8) ? 1152 * 4 - 2 : 1152 * 4;
    const bool resetMidway = options & 16;

    UMC::MP3Decoder decoder;
    UMC::MP3DecoderParams params;
    params.check_next_header = options & 1;
    if (decoder.Init(&params) != UMC::STATUS_OK) return 0;
    // Exactly sized heap buffers, so that any read or write past them is caught.
    std::vector<uint8_t> staging;
    std::vector<uint8_t> out(outBytes);
    UMC::AudioData audio;
    size_t fed = 0, start = 0;
    while (true) {
        const bool more = fed < size;
        if (more) {
            const size_t n = piece < size - fed ? piece : size - fed;
            std::vector<uint8_t> next(staging.begin() + ptrdiff_t(start), staging.end());
            next.insert(next.end(), data + fed, data + fed + n);
            staging.swap(next);
            start = 0;
            fed += n;
            if (resetMidway && fed >= size / 2 && fed - n < size / 2) decoder.Reset();
        }
        while (start < staging.size()) {
            UMC::MediaData in;
            in.SetBufferPointer(staging.data() + start, staging.size() - start);
            in.SetDataSize(staging.size() - start);
            audio.SetBufferPointer(out.data(), out.size());
            UMC::Status st = decoder.GetFrame(&in, &audio);
            const size_t used = size_t(in.GetDataPointer() - (staging.data() + start));
            if (used > staging.size() - start) __builtin_trap();
            if (st == UMC::STATUS_OK && audio.GetDataSize() > out.size()) __builtin_trap();
            start += used;
            if (st != UMC::STATUS_OK && used == 0) break;
        }
        if (!more) break;
    }
    UMC::AudioCodecParams info;
    decoder.GetInfo(&info);
    float duration;
    decoder.GetDuration(&duration);
    return 0;
}
