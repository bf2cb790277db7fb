// umc-decode --codec ac3: AC-3 to raw s16le PCM (.pcm) or WAV (.wav, with the channel mask when
// the layout needs one). Extra options: --channels stereo|coded (the two-channel fold, or every
// coded channel with the low-frequency one), --conceal silence.
#include <cstdio>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/ac3/AC3Decoder.h"
#include "tools/umc-decode/AudioJob.h"

namespace {

int RunAc3(const umcdecode::Options& options) {
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
    return umcdecode::RunAudioJob(
        options, "AC-3", [&params](std::span<const uint8_t> data, qmtool::PcmFileWriter* writer) {
            UMC::AC3Decoder decoder;
            UMC::AC3DecoderParams p = params;
            umcdecode::PcmResult r;
            r.failed = decoder.Init(&p) != UMC::STATUS_OK;
            return r.failed ? r : umcdecode::DecodeInPieces(decoder, data, 18432, writer);
        });
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
