#include "VideoIO/MPEGSystemFilters/Pes.h"

namespace qm_MPEGSystemFilters {

namespace {
constexpr int64_t kWrap = int64_t(1) << 33;
}

bool PesHasNoHeaderFields(uint8_t id) {
    // program stream map, padding, private stream 2, ECM, EMM, directory, DSM-CC, H.222.1 E
    return id == 0xBC || id == 0xBE || id == 0xBF || id == 0xF0 || id == 0xF1 || id == 0xFF ||
           id == 0xF2 || id == 0xF8;
}

int64_t ReadTimestamp(const uint8_t* p) {
    return (int64_t(p[0] & 0x0E) << 29) | (int64_t(p[1]) << 22) | (int64_t(p[2] & 0xFE) << 14) |
           (int64_t(p[3]) << 7) | (int64_t(p[4]) >> 1);
}

bool ParsePesHeader(const uint8_t* p, size_t size, PesHeader* h) {
    if (size < 6 || p[0] != 0 || p[1] != 0 || p[2] != 1) return false;
    *h = PesHeader{};
    h->streamId = p[3];
    if (PesHasNoHeaderFields(h->streamId)) {
        h->payloadOffset = 6;
        return true;
    }
    if (size < 7) return false;
    if ((p[6] & 0xC0) == 0x80) {  // MPEG-2 form
        if (size < 9) return false;
        const unsigned flags = p[7] >> 6;
        const size_t end = 9 + size_t(p[8]);
        if (end > size) return false;
        if (flags >= 2) {
            if (end < 14) return false;
            h->pts = ReadTimestamp(p + 9);
            if (flags == 3) {
                if (end < 19) return false;
                h->dts = ReadTimestamp(p + 14);
            }
        }
        h->payloadOffset = end;
        return true;
    }
    // MPEG-1 form: stuffing, optional STD buffer size, then the time stamps.
    size_t i = 6;
    for (int stuffing = 0; i < size && p[i] == 0xFF; ++i)
        if (++stuffing > 16) return false;
    if (i >= size) return false;
    if ((p[i] & 0xC0) == 0x40) i += 2;
    if (i >= size) return false;
    if ((p[i] & 0xF0) == 0x20) {
        if (i + 5 > size) return false;
        h->pts = ReadTimestamp(p + i);
        i += 5;
    } else if ((p[i] & 0xF0) == 0x30) {
        if (i + 10 > size) return false;
        h->pts = ReadTimestamp(p + i);
        h->dts = ReadTimestamp(p + i + 5);
        i += 10;
    } else if (p[i] == 0x0F) {
        i += 1;
    } else {
        return false;
    }
    h->payloadOffset = i;
    return true;
}

int64_t TimestampUnwrapper::Unwrap(int64_t ts) {
    ts &= kWrap - 1;
    if (m_last < 0) {
        m_last = ts;
        return ts;
    }
    // The nearest value with these 33 low bits to the last one.
    int64_t candidate = (m_last & ~(kWrap - 1)) | ts;
    if (candidate - m_last > kWrap / 2)
        candidate -= kWrap;
    else if (m_last - candidate > kWrap / 2)
        candidate += kWrap;
    m_last = candidate;
    return candidate;
}

}  // namespace qm_MPEGSystemFilters
