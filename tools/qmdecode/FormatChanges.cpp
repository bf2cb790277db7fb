#include "tools/qmdecode/FormatChanges.h"

#include "VideoIO/Demultiplexer/ElementaryHeaders.h"

namespace qmdecode {

namespace {

using Header = qm_Demultiplexer::AudioFrame;

bool SameFormat(const Header& a, const Header& b) {
    return a.layer == b.layer && a.sampleRate == b.sampleRate && a.channels == b.channels;
}

bool ParseHeader(const uint8_t* p, size_t avail, Header* h) {
    return qm_Demultiplexer::ParseAudioFrameHeader(p, avail, h);
}

// A header at `at` whose length leads to another header (or exactly to the end).
bool Confirmed(const uint8_t* d, size_t n, size_t at, Header* h) {
    if (at >= n || !ParseHeader(d + at, n - at, h) || h->length == 0) return false;
    const size_t next = at + h->length;
    Header following;
    return next == n || (next < n && ParseHeader(d + next, n - next, &following));
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
        if (have && !SameFormat(h, current)) {
            // A real change lasts: the next two frames have the new format too.
            Header a, b;
            const size_t second = i + h.length;
            const bool lasts = Confirmed(d, n, second, &a) && SameFormat(a, h) &&
                               (second + a.length == n ||
                                (Confirmed(d, n, second + a.length, &b) && SameFormat(b, h)));
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
