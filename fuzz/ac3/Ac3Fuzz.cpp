// Feeds arbitrary bytes to AC3Decoder::GetFrame. The first byte picks the options (output
// configuration, concealment, low-frequency output, piece size, a Reset midway); the rest is the
// stream. Half of the inputs have their frames' CRCs rewritten, so that the parser behind the
// checks sees the damage.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "SDKs/CodecFramework/ac3/AC3Decoder.h"
#include "SDKs/CodecFramework/ac3/Ac3State.h"
#include "fuzz/AudioCodecFeed.h"
#include "primitives/dispatch/ProcessorDispatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool dispatched = (spInitProcessorDispatch(), true);
    (void)dispatched;
    if (size < 2) return 0;
    const uint8_t options = data[0], more = data[1];
    data += 2;
    size -= 2;
    std::vector<uint8_t> stream(data, data + size);
    if (more & 1) {
        // Make every frame found at the sync positions pass both CRCs.
        for (size_t pos = 0; pos + 5 <= stream.size();) {
            if (stream[pos] != 0x0B || stream[pos + 1] != 0x77) {
                ++pos;
                continue;
            }
            const int words = UMC::ac3::FrameWords(stream[pos + 4] >> 6, stream[pos + 4] & 0x3f);
            if (words == 0 || pos + size_t(words) * 2 > stream.size()) break;
            UMC::ac3::WriteCrcs(stream.data() + pos, size_t(words) * 2);
            pos += size_t(words) * 2;
        }
    }
    static const size_t kPieces[4] = {0, 17, 301, 2000};
    UMC::AC3Decoder decoder;
    UMC::AC3DecoderParams params;
    params.output_config = options & 0x0f;  // 9..15 are refused and keep 0
    params.output_lfe = (more >> 1) & 1;
    params.conceal_mode = (more >> 2) & 1;
    params.dual_mono_mode = (more >> 3) & 3;
    params.stereo_mode = int32_t((more >> 5) & 7) - 2;
    params.drc_mode = options >> 7 ? 3 : 0;
    if (decoder.Init(&params) != UMC::STATUS_OK) return 0;
    // Output room for exactly six channels of one frame.
    qmfuzz::FeedAudioCodec(decoder, stream.data(), stream.size(), kPieces[(options >> 4) & 3],
                           18432, options & 0x40);
    return 0;
}
