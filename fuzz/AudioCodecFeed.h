// The feeding loop the audio codec fuzz targets share: the stream in pieces of a chosen size
// through exactly sized heap buffers, so that any read or write past them is caught, an optional
// Reset halfway, then the codec's queries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "SDKs/CodecFramework/core/AudioCodec.h"
#include "SDKs/CodecFramework/core/AudioData.h"

namespace qmfuzz {

// `piece` 0 feeds the whole stream at once.
inline void FeedAudioCodec(UMC::AudioCodec& decoder, const uint8_t* data, size_t size, size_t piece,
                           size_t outBytes, bool resetMidway) {
    if (piece == 0) piece = size + 1;
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
            const UMC::Status st = decoder.GetFrame(&in, &audio);
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
}

}  // namespace qmfuzz
