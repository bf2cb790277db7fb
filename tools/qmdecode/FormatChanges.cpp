#include "tools/qmdecode/FormatChanges.h"

namespace qmdecode {

namespace {

struct Header {
    int version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layer = 0, rate = 0, channels = 0;
    size_t length = 0;  // 0 for free format
    bool SameFormat(const Header& o) const {
        return layer == o.layer && rate == o.rate && channels == o.channels;
    }
};

bool ParseHeader(const uint8_t* p, size_t avail, Header* h) {
    static const int kRates[3] = {44100, 48000, 32000};
    static const int kKbps[2][3][16] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
    if (avail < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    h->version = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3, bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3;
    if (h->version == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    h->layer = 4 - layerBits;
    h->rate = kRates[rateIndex] >> (h->version == 3 ? 0 : h->version == 2 ? 1 : 2);
    h->channels = (p[3] >> 6) == 3 ? 1 : 2;
    const int kbps = kKbps[h->version == 3 ? 0 : 1][h->layer - 1][bitrateIndex];
    const int padding = (p[2] >> 1) & 1;
    if (kbps == 0)
        h->length = 0;
    else if (h->layer == 1)
        h->length = size_t((12 * kbps * 1000 / h->rate + padding) * 4);
    else if (h->layer == 3 && h->version != 3)
        h->length = size_t(72 * kbps * 1000 / h->rate + padding);
    else
        h->length = size_t(144 * kbps * 1000 / h->rate + padding);
    return true;
}

// A header at `at` whose length leads to another header (or exactly to the end).
bool Confirmed(const uint8_t* d, size_t n, size_t at, Header* h) {
    if (!ParseHeader(d + at, n - at, h) || h->length == 0) return false;
    Header next;
    return at + h->length == n || ParseHeader(d + at + h->length, n - at - h->length, &next);
}

}  // namespace

std::vector<size_t> MpegAudioFormatChanges(const uint8_t* d, size_t n) {
    std::vector<size_t> changes;
    Header current, h;
    bool have = false;
    for (size_t i = 0; i + 4 <= n;) {
        if (!Confirmed(d, n, i, &h)) {
            ++i;  // tags, junk or a damaged frame: look further
            continue;
        }
        if (have && !h.SameFormat(current)) {
            // A real change lasts: the next two frames have the new format too.
            Header a, b;
            const size_t second = i + h.length;
            const bool lasts = Confirmed(d, n, second, &a) && a.SameFormat(h) &&
                               (second + a.length == n ||
                                (Confirmed(d, n, second + a.length, &b) && b.SameFormat(h)));
            if (!lasts) {
                ++i;
                continue;
            }
            changes.push_back(i);
        }
        current = h;
        have = true;
        i += h.length;
    }
    return changes;
}

bool NeedsNewOutput(const CMediaType& current, const AM_MEDIA_TYPE& changed, bool video,
                    PictureWriter& pictures) {
    if (video) return pictures.ChangeType(CMediaType(changed)).has_value();
    if (!current.pbFormat || !changed.pbFormat || current.cbFormat < sizeof(WAVEFORMATEX) ||
        changed.cbFormat < sizeof(WAVEFORMATEX))
        return true;
    const auto* a = reinterpret_cast<const WAVEFORMATEX*>(current.pbFormat);
    const auto* b = reinterpret_cast<const WAVEFORMATEX*>(changed.pbFormat);
    return a->nChannels != b->nChannels || a->nSamplesPerSec != b->nSamplesPerSec ||
           a->wBitsPerSample != b->wBitsPerSample;
}

}  // namespace qmdecode
