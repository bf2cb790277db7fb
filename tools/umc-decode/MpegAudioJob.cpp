// umc-decode --codec mpa: MPEG audio (layers I to III) to raw s16le PCM (.pcm) or WAV (.wav).
// Extra option: --check-next-header (accept a frame only when the next header agrees).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/mpegaudio/MP3Decoder.h"
#include "tools/umc-decode/AudioJob.h"

namespace {

int RunMpegAudio(const umcdecode::Options& options) {
    uint32_t checkNextHeader = 0;
    for (const auto& extra : options.extra) {
        if (extra == "--check-next-header") {
            checkNextHeader = 1;
        } else {
            std::fprintf(stderr, "umc-decode: mpa does not know %s\n", extra.c_str());
            return 2;
        }
    }
    return umcdecode::RunAudioJob(
        options, "MPEG audio",
        [checkNextHeader](std::span<const uint8_t> data, qmtool::PcmFileWriter* writer) {
            UMC::MP3Decoder decoder;
            UMC::MP3DecoderParams params;
            params.check_next_header = checkNextHeader;
            umcdecode::PcmResult r;
            r.failed = decoder.Init(&params) != UMC::STATUS_OK;
            return r.failed ? r : umcdecode::DecodeInPieces(decoder, data, 1152 * 2 * 2, writer);
        });
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
