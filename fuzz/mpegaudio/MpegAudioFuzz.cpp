// Feeds arbitrary bytes to MP3Decoder::GetFrame. The first byte picks the options (check of the
// next header, piece size, output room, a Reset midway); the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "SDKs/CodecFramework/mpegaudio/MP3Decoder.h"
#include "fuzz/AudioCodecFeed.h"
#include "primitives/dispatch/ProcessorDispatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool dispatched = (spInitProcessorDispatch(), true);
    (void)dispatched;
    if (size < 1) return 0;
    const uint8_t options = data[0];
    ++data;
    --size;
    static const size_t kPieces[4] = {0, 13, 97, 1500};
    // Output room: enough for any frame, or one sample short of a stereo layer II frame.
    const size_t outBytes = (options & 8) ? 1152 * 4 - 2 : 1152 * 4;
    UMC::MP3Decoder decoder;
    UMC::MP3DecoderParams params;
    params.check_next_header = options & 1;
    if (decoder.Init(&params) != UMC::STATUS_OK) return 0;
    qmfuzz::FeedAudioCodec(decoder, data, size, kPieces[(options >> 1) & 3], outBytes,
                           options & 16);
    return 0;
}
