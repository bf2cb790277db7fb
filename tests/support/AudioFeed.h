// Whole-stream decoding through an audio codec's GetFrame, as a demultiplexer would feed it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "SDKs/CodecFramework/core/AudioCodec.h"
#include "SDKs/CodecFramework/core/AudioData.h"

namespace qm::test {

// Feeds `data` in pieces of `chunk` bytes (0: all at once), calling GetFrame on what is held
// until a call consumes nothing; `frame(out)` sees each decoded frame in an output of
// `outBytes`. Returns the calls that failed other than for more data or no sync word.
template <class OnFrame>
int FeedAudio(UMC::AudioCodec& codec, const std::vector<uint8_t>& data, size_t chunk,
              size_t outBytes, OnFrame&& frame) {
    int errors = 0;
    std::vector<uint8_t> staging, outBuffer(outBytes);
    UMC::MediaData in;
    UMC::AudioData out;
    size_t fed = 0;
    if (chunk == 0) chunk = data.size() ? data.size() : 1;
    for (;;) {
        const bool more = fed < data.size();
        if (more) {
            const size_t n = std::min(chunk, data.size() - fed);
            staging.insert(staging.end(), data.begin() + ptrdiff_t(fed),
                           data.begin() + ptrdiff_t(fed + n));
            fed += n;
        }
        size_t start = 0;
        while (start < staging.size()) {
            in.SetBufferPointer(staging.data() + start, staging.size() - start);
            in.SetDataSize(staging.size() - start);
            out.SetBufferPointer(outBuffer.data(), outBuffer.size());
            const UMC::Status st = codec.GetFrame(&in, &out);
            const size_t used = size_t(in.GetDataPointer() - (staging.data() + start));
            start += used;
            if (st == UMC::STATUS_OK) {
                frame(out);
                continue;
            }
            if (st != UMC::STATUS_NOT_ENOUGH_DATA && st != UMC::STATUS_SYNC_NOT_FOUND) ++errors;
            if (used == 0) break;
        }
        staging.erase(staging.begin(), staging.begin() + ptrdiff_t(start));
        if (!more) return errors;
    }
}

// The 16-bit samples of a decoded frame, appended.
inline void AppendPcm(UMC::AudioData& out, std::vector<int16_t>& pcm) {
    const auto* p = reinterpret_cast<const int16_t*>(out.GetDataPointer());
    pcm.insert(pcm.end(), p, p + out.GetDataSize() / 2);
}

}  // namespace qm::test
