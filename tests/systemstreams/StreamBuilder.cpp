#include "tests/systemstreams/StreamBuilder.h"

#include <algorithm>

#include "VideoIO/MPEGSystemFilters/Psi.h"

namespace qm::test {

namespace {

void PutTimestamp(Bytes& b, unsigned prefix, int64_t t) {
    b.push_back(uint8_t((prefix << 4) | ((t >> 29) & 0x0E) | 1));
    b.push_back(uint8_t(t >> 22));
    b.push_back(uint8_t(((t >> 14) & 0xFE) | 1));
    b.push_back(uint8_t(t >> 7));
    b.push_back(uint8_t((t << 1) | 1));
}

// A long-form section with its CRC.
Bytes Section(uint8_t tableId, uint16_t extension, uint8_t version, const Bytes& body) {
    const size_t length = 5 + body.size() + 4;
    Bytes s = {tableId,
               uint8_t(0xB0 | (length >> 8)),
               uint8_t(length),
               uint8_t(extension >> 8),
               uint8_t(extension),
               uint8_t(0xC1 | (version << 1)),
               0,
               0};
    Append(s, body);
    const uint32_t crc = qm_MPEGSystemFilters::Crc32Mpeg(s.data(), s.size());
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(uint8_t(crc >> shift));
    return s;
}

}  // namespace

void Append(Bytes& to, const Bytes& more) {
    // Element by element: GCC 12 sees phantom bounds errors in an inlined range insert.
    to.reserve(to.size() + more.size());
    for (uint8_t b : more) to.push_back(b);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) Append(all, p);
    return all;
}

Bytes Pes(uint8_t streamId, const Bytes& payload, int64_t pts, int64_t dts) {
    Bytes header;
    const unsigned flags = pts < 0 ? 0 : dts < 0 ? 2 : 3;
    header.push_back(0x80);
    header.push_back(uint8_t(flags << 6));
    header.push_back(uint8_t(flags == 0 ? 0 : flags == 2 ? 5 : 10));
    if (flags >= 2) PutTimestamp(header, flags, pts);
    if (flags == 3) PutTimestamp(header, 1, dts);
    const size_t length = header.size() + payload.size();
    Bytes b = {0, 0, 1, streamId, uint8_t(length >> 8), uint8_t(length)};
    Append(b, header);
    Append(b, payload);
    return b;
}

Bytes TsPackets(uint16_t pid, const Bytes& data, int& cc) {
    Bytes out;
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(184, data.size() - at);
        Bytes p = {0x47, uint8_t((at == 0 ? 0x40 : 0) | (pid >> 8)), uint8_t(pid),
                   uint8_t(0x10 | (cc & 0x0F))};
        if (n < 184) {
            p[3] |= 0x20;
            const size_t adaptation = 183 - n;
            p.push_back(uint8_t(adaptation));
            if (adaptation > 0) {
                p.push_back(0);
                p.insert(p.end(), adaptation - 1, 0xFF);
            }
        }
        p.insert(p.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + n));
        Append(out, p);
        cc = (cc + 1) & 0x0F;
        at += n;
    } while (at < data.size());
    return out;
}

Bytes Pat(uint16_t pmtPid) {
    return Section(0x00, 1, 0, {0, 1, uint8_t(0xE0 | (pmtPid >> 8)), uint8_t(pmtPid)});
}

Bytes Pmt(const std::vector<PmtEntry>& entries, uint8_t version) {
    Bytes body = {0xE1, 0x00, 0xF0, 0x00};  // PCR PID 0x100, no program info
    for (const PmtEntry& e : entries) {
        body.push_back(e.type);
        body.push_back(uint8_t(0xE0 | (e.pid >> 8)));
        body.push_back(uint8_t(e.pid));
        body.push_back(uint8_t(0xF0 | (e.descriptors.size() >> 8)));
        body.push_back(uint8_t(e.descriptors.size()));
        Append(body, e.descriptors);
    }
    return Section(0x02, 1, version, body);
}

Bytes PsiPacket(uint16_t pid, const Bytes& section, int& cc) {
    Bytes data = {0};
    Append(data, section);
    data.resize(184, 0xFF);
    return TsPackets(pid, data, cc);
}

Bytes PackHeader() {
    // SCR 0, mux rate 0x0189C3 (10.08 Mbit/s), no stuffing.
    return {0, 0, 1, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
}

}  // namespace qm::test
