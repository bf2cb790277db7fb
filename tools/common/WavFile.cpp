#include "tools/common/WavFile.h"

namespace qmtool {

namespace {

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}

}  // namespace

std::vector<uint8_t> WavHeader(int channels, int rate, uint32_t channelMask, uint32_t dataBytes) {
    const uint32_t ch = uint32_t(channels > 0 ? channels : 1);
    const uint32_t hz = uint32_t(rate > 0 ? rate : 48000);
    // Players take plain PCM with one or two channels as centre or left/right; other layouts
    // need the mask.
    const bool extensible = ch > 2 || (channelMask != 0 && channelMask != (ch == 1 ? 0x4u : 0x3u));
    const uint32_t fmtBytes = extensible ? 40 : 16;
    std::vector<uint8_t> h;
    PutTag(h, "RIFF");
    PutLe(h, 4 + (8 + fmtBytes) + 8 + dataBytes, 4);
    PutTag(h, "WAVE");
    PutTag(h, "fmt ");
    PutLe(h, fmtBytes, 4);
    PutLe(h, extensible ? 0xFFFEu : 1u, 2);
    PutLe(h, ch, 2);
    PutLe(h, hz, 4);
    PutLe(h, hz * ch * 2, 4);
    PutLe(h, ch * 2, 2);
    PutLe(h, 16, 2);
    if (extensible) {
        PutLe(h, 22, 2);  // extension size
        PutLe(h, 16, 2);  // valid bits
        PutLe(h, channelMask, 4);
        // KSDATAFORMAT_SUBTYPE_PCM
        static const uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        for (uint8_t b : kPcmGuid) h.push_back(b);
    }
    PutTag(h, "data");
    PutLe(h, dataBytes, 4);
    return h;
}

}  // namespace qmtool
