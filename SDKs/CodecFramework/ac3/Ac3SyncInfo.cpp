// Sync frame geometry (sampling rate, bit rate, frame size), the frame CRC and the bit stream
// information.
#include <array>

#include "SDKs/CodecFramework/ac3/Ac3State.h"

namespace UMC {
namespace ac3 {

namespace {

constexpr int kRates[3] = {48000, 44100, 32000};
// Bit rates of the 19 rate codes; frmsizecod / 2 selects one.
constexpr int kKbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                           192, 224, 256, 320, 384, 448, 512, 576, 640};

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        uint16_t c = uint16_t(i << 8);
        for (int b = 0; b < 8; ++b) c = uint16_t((c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1);
        t[size_t(i)] = c;
    }
    return t;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

// kCrcSlices[k][v]: the register after byte v and k zero bytes, from a zero register. The CRC
// is linear, so eight bytes at a time are the sum of eight lookups.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeCrcSlices() {
    std::array<std::array<uint16_t, 256>, 8> t{};
    t[0] = MakeCrcTable();
    for (size_t k = 1; k < 8; ++k)
        for (size_t v = 0; v < 256; ++v) {
            const uint16_t r = t[k - 1][v];
            t[k][v] = uint16_t((r << 8) ^ t[0][r >> 8]);
        }
    return t;
}
constexpr std::array<std::array<uint16_t, 256>, 8> kCrcSlices = MakeCrcSlices();

}  // namespace

int SampleRateOf(int fscod) {
    return fscod >= 0 && fscod < 3 ? kRates[fscod] : 0;
}

int BitrateKbps(int frmsizecod) {
    return frmsizecod >= 0 && frmsizecod < 38 ? kKbps[frmsizecod >> 1] : 0;
}

int FrameWords(int fscod, int frmsizecod) {
    if (fscod < 0 || fscod > 2 || frmsizecod < 0 || frmsizecod > 37) return 0;
    // 1536 samples at the bit rate, in 16-bit words; at 44.1 kHz the odd codes carry one word
    // more so that the average rate is met.
    const int kbps = kKbps[frmsizecod >> 1];
    const int words = kbps * 1000 * 1536 / (kRates[fscod] * 16);
    return words + (fscod == 1 ? (frmsizecod & 1) : 0);
}

uint16_t Crc16(const uint8_t* data, size_t bytes) {
    uint16_t crc = 0;
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        const uint8_t* d = data + i;
        crc = uint16_t(kCrcSlices[7][d[0] ^ (crc >> 8)] ^ kCrcSlices[6][d[1] ^ (crc & 0xff)] ^
                       kCrcSlices[5][d[2]] ^ kCrcSlices[4][d[3]] ^ kCrcSlices[3][d[4]] ^
                       kCrcSlices[2][d[5]] ^ kCrcSlices[1][d[6]] ^ kCrcSlices[0][d[7]]);
    }
    for (; i < bytes; ++i) crc = uint16_t((crc << 8) ^ kCrcTable[size_t((crc >> 8) ^ data[i])]);
    return crc;
}

bool ParseSyncInfo(BitReader& br, Bsi* bsi) {
    br.Get(16);  // sync word
    br.Get(16);  // crc1
    bsi->fscod = int32_t(br.Get(2));
    bsi->frmsizecod = int32_t(br.Get(6));
    if (bsi->fscod == 3 || bsi->frmsizecod > 37) return false;
    bsi->sampleRate = kRates[bsi->fscod];
    bsi->bitrateKbps = BitrateKbps(bsi->frmsizecod);
    bsi->frameWords = FrameWords(bsi->fscod, bsi->frmsizecod);
    return true;
}

int ChannelsOf(int acmod) {
    static const int kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
    return kChannels[acmod & 7];
}

bool ParseBsi(BitReader& br, Bsi* bsi) {
    bsi->bsid = int32_t(br.Get(5));
    if (bsi->bsid > 8) return false;
    bsi->bsmod = int32_t(br.Get(3));
    bsi->acmod = int32_t(br.Get(3));
    bsi->nfchans = ChannelsOf(bsi->acmod);
    bsi->cmixlev = (bsi->acmod & 1) && bsi->acmod != 1 ? int32_t(br.Get(2)) : 0;
    bsi->surmixlev = (bsi->acmod & 4) ? int32_t(br.Get(2)) : 0;
    bsi->dsurmod = bsi->acmod == 2 ? int32_t(br.Get(2)) : 0;
    bsi->lfeon = int32_t(br.Get1());
    bsi->dialnorm = int32_t(br.Get(5));
    bsi->compre = int32_t(br.Get1());
    bsi->compr = bsi->compre ? int32_t(br.Get(8)) : 0;
    if (br.Get1()) br.Get(8);  // langcod
    if (br.Get1()) br.Get(7);  // mixlevel, roomtyp
    bsi->compr2e = 0;
    bsi->compr2 = 0;
    bsi->dialnorm2 = 0;
    if (bsi->acmod == 0) {
        bsi->dialnorm2 = int32_t(br.Get(5));
        bsi->compr2e = int32_t(br.Get1());
        bsi->compr2 = bsi->compr2e ? int32_t(br.Get(8)) : 0;
        if (br.Get1()) br.Get(8);
        if (br.Get1()) br.Get(7);
    }
    br.Get(2);                  // copyrightb, origbs
    if (br.Get1()) br.Get(14);  // timecod1 (or the first extended bsi)
    if (br.Get1()) br.Get(14);  // timecod2 (or the second extended bsi)
    if (br.Get1()) {            // addbsi
        const uint32_t length = br.Get(6) + 1;
        br.Skip(length * 8);
    }
    return !br.Overrun();
}

uint32_t ChannelMask(int acmod, int lfe) {
    static const uint32_t kMasks[8] = {0x3, 0x4, 0x3, 0x7, 0x103, 0x107, 0x33, 0x37};
    return kMasks[acmod & 7] | (lfe ? 0x8u : 0u);
}

}  // namespace ac3
}  // namespace UMC
