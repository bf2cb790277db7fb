#include "VideoIO/MPEGSystemFilters/Psi.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qm_MPEGSystemFilters {

namespace {

std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        table[i] = c;
    }
    return table;
}

constexpr size_t kMaxSection = 4096 + 3;

// Looks through an elementary stream's descriptors for the marks of AC-3 carried under the
// private stream type: the AC-3 descriptor (tag 0x6A) or the registration "AC-3".
bool HasAc3Descriptor(const uint8_t* d, size_t size) {
    for (size_t i = 0; i + 2 <= size;) {
        const uint8_t tag = d[i], length = d[i + 1];
        if (i + 2 + length > size) break;
        if (tag == 0x6A) return true;
        if (tag == 0x05 && length >= 4 && d[i + 2] == 'A' && d[i + 3] == 'C' && d[i + 4] == '-' &&
            d[i + 5] == '3')
            return true;
        i += 2 + length;
    }
    return false;
}

// A registration descriptor (tag 0x05) naming `id` among the descriptors.
bool HasRegistration(const uint8_t* d, size_t size, const char* id) {
    for (size_t i = 0; i + 2 <= size;) {
        const uint8_t tag = d[i], length = d[i + 1];
        if (i + 2 + length > size) break;
        if (tag == 0x05 && length >= 4 && std::memcmp(d + i + 2, id, 4) == 0) return true;
        i += 2 + length;
    }
    return false;
}

StreamCoding CodingOf(uint8_t type, const uint8_t* descriptors, size_t size, bool hdmv) {
    if (type == 0x06 && HasAc3Descriptor(descriptors, size)) return StreamCoding::Ac3;
    // 0x80 is LPCM only in Blu-ray (HDMV) multiplexes; elsewhere it is private (DigiCipher II
    // video among others).
    if (type == kHdmvLpcmStreamType && (hdmv || HasRegistration(descriptors, size, "HDMV")))
        return StreamCoding::Lpcm;
    return CodingFromStreamType(type, StreamCoding::Unknown);
}

}  // namespace

uint32_t Crc32Mpeg(const uint8_t* data, size_t size) {
    static const std::array<uint32_t, 256> table = MakeCrcTable();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[(crc >> 24) ^ data[i]];
    return crc;
}

void SectionAssembler::Payload(const uint8_t* p, size_t size, bool unitStart) {
    if (unitStart) {
        if (size < 1) return;
        const size_t pointer = p[0];
        if (1 + pointer > size) {
            m_partial.clear();
            return;
        }
        // The bytes before the pointer end the section in progress.
        if (!m_partial.empty()) {
            m_partial.insert(m_partial.end(), p + 1, p + 1 + pointer);
            Sections(m_partial.data(), m_partial.size());
            m_partial.clear();
        }
        p += 1 + pointer;
        size -= 1 + pointer;
        const size_t rest = Sections(p, size);
        m_partial.assign(p + rest, p + size);
    } else if (!m_partial.empty()) {
        m_partial.insert(m_partial.end(), p, p + size);
        const size_t rest = Sections(m_partial.data(), m_partial.size());
        m_partial.erase(m_partial.begin(), m_partial.begin() + std::ptrdiff_t(rest));
    }
    if (m_partial.size() > kMaxSection) m_partial.clear();
    if (!m_partial.empty() && m_partial[0] == 0xFF) m_partial.clear();
}

size_t SectionAssembler::Sections(const uint8_t* p, size_t size) {
    size_t i = 0;
    while (i < size && p[i] != 0xFF) {
        if (size - i < 3) return i;
        const size_t length = 3 + (((size_t(p[i + 1]) & 0x0F) << 8) | p[i + 2]);
        if (size - i < length) return i;
        Deliver(p + i, length);
        i += length;
    }
    return size;  // stuffing to the end
}

void SectionAssembler::Deliver(const uint8_t* s, size_t size) {
    // Long-form sections (all that are parsed here) end with a CRC.
    if (size < 12 || (s[1] & 0x80) == 0 || Crc32Mpeg(s, size) != 0) {
        ++m_badSections;
        return;
    }
    m_onSection(s, size);
}

bool ParseSectionHeader(const uint8_t* s, size_t size, SectionHeader* h) {
    if (size < 12) return false;
    h->tableId = s[0];
    h->tableIdExtension = uint16_t((s[3] << 8) | s[4]);
    h->version = (s[5] >> 1) & 0x1F;
    h->currentNext = (s[5] & 1) != 0;
    return true;
}

bool ParsePat(const uint8_t* s, size_t size, std::vector<PatEntry>* programs) {
    programs->clear();
    if (size < 12 || s[0] != 0x00) return false;
    for (size_t i = 8; i + 4 <= size - 4; i += 4) {
        const uint16_t number = uint16_t((s[i] << 8) | s[i + 1]);
        const uint16_t pid = uint16_t(((s[i + 2] & 0x1F) << 8) | s[i + 3]);
        if (number != 0) programs->push_back({number, pid});  // 0 names the network PID
    }
    return true;
}

bool ParsePmt(const uint8_t* s, size_t size, std::vector<PmtStream>* streams) {
    streams->clear();
    if (size < 16 || s[0] != 0x02) return false;
    const size_t end = size - 4;
    const size_t programInfo = ((size_t(s[10]) & 0x0F) << 8) | s[11];
    size_t i = 12 + programInfo;
    if (i > end) return false;
    const bool hdmv = HasRegistration(s + 12, programInfo, "HDMV");
    while (i + 5 <= end) {
        const uint8_t type = s[i];
        const uint16_t pid = uint16_t(((s[i + 1] & 0x1F) << 8) | s[i + 2]);
        const size_t esInfo = ((size_t(s[i + 3]) & 0x0F) << 8) | s[i + 4];
        if (i + 5 + esInfo > end) return false;
        const bool known = std::any_of(streams->begin(), streams->end(),
                                       [pid](const PmtStream& e) { return e.pid == pid; });
        if (!known) streams->push_back({type, pid, CodingOf(type, s + i + 5, esInfo, hdmv)});
        i += 5 + esInfo;
    }
    return true;
}

bool DecodeHdmvLpcmHeader(const uint8_t* h, size_t size, StreamInfo* info) {
    if (size < 4) return false;
    static const uint16_t kChannels[16] = {0, 1, 0, 2, 3, 3, 4, 4, 5, 6, 7, 8, 0, 0, 0, 0};
    const uint16_t channels = kChannels[h[2] >> 4];
    uint32_t rate = 0;
    switch (h[2] & 0x0F) {
        case 1:
            rate = 48000;
            break;
        case 4:
            rate = 96000;
            break;
        case 5:
            rate = 192000;
            break;
        default:
            break;
    }
    static const uint16_t kBits[4] = {0, 16, 20, 24};
    const uint16_t bits = kBits[h[3] >> 6];
    if (channels == 0 || rate == 0 || bits == 0) return false;
    info->sampleRate = rate;
    info->channels = channels;
    info->bitsPerSample = bits;
    info->coding = channels == 2 && bits == 16 ? StreamCoding::Lpcm : StreamCoding::Unknown;
    return true;
}

}  // namespace qm_MPEGSystemFilters
