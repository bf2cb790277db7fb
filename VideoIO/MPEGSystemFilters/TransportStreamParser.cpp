#include "VideoIO/MPEGSystemFilters/TransportStreamParser.h"

#include "VideoIO/MPEGSystemFilters/Pes.h"

namespace qm_MPEGSystemFilters {

namespace {
constexpr uint8_t kSync = 0x47;
constexpr int kConfirmations = 3;  // packets in a row with sync bytes to (re)gain sync
}  // namespace

struct TransportStreamParser::Pes {
    StreamInfo info;
    std::vector<uint8_t> bytes;
    bool active = false;
    bool damaged = false;
    size_t expected = 0;  // whole PES packet size from its length field; 0 = unbounded
    uint64_t offset = 0;
    bool hdmvLpcm = false;  // payloads start with the Blu-ray LPCM header
};

TransportStreamParser::TransportStreamParser(IAccessUnitSink* sink) : QueuedParser(sink) {
    m_psi[0] = std::make_unique<SectionAssembler>(
        [this](const uint8_t* s, size_t n) { OnSection(0, s, n); });
}

TransportStreamParser::~TransportStreamParser() = default;

void TransportStreamParser::OnFinished() {
    for (auto& [pid, pes] : m_pes)
        if (pes->active) EndPes(*pes, pes->expected != 0);
}

void TransportStreamParser::Reset() {
    Queue().Clear();
    m_synced = false;
    for (auto& [pid, pes] : m_pes) {
        pes->active = false;
        pes->bytes.clear();
    }
    for (auto& [pid, psi] : m_psi) psi->Discard();
    m_lastCc.clear();
}

// Looks for a position where kConfirmations packets in a row start with the sync byte, trying
// both packet sizes until one is settled. False when more input is needed.
bool TransportStreamParser::FindSync(bool final) {
    const uint8_t* p = Queue().Data();
    const size_t avail = Queue().Size();
    const size_t sizes[2] = {188, 192};
    for (size_t i = 0; i < avail; ++i) {
        for (size_t size : sizes) {
            if (m_packetSize != 0 && size != m_packetSize) continue;
            const size_t prefix = size - 188;
            int seen = 0;
            bool more = false;
            for (; seen < kConfirmations; ++seen) {
                const size_t at = i + size_t(seen) * size + prefix;
                if (at >= avail) {
                    more = true;
                    break;
                }
                if (p[at] != kSync) break;
            }
            if (seen == kConfirmations || (more && seen > 0 && final)) {
                m_packetSize = size;
                m_prefix = prefix;
                m_synced = true;
                m_stats.bytesSkipped += i;
                Queue().Consume(i);
                return true;
            }
            if (more && !final) {
                // Not decidable yet: keep from here on.
                m_stats.bytesSkipped += i;
                Queue().Consume(i);
                return false;
            }
        }
    }
    m_stats.bytesSkipped += avail;
    Queue().Consume(avail);
    return false;
}

bool TransportStreamParser::ParseOne(bool final) {
    if (!m_synced && !FindSync(final)) return false;
    const uint8_t* p = Queue().Data();
    if (Queue().Size() < m_packetSize) return false;
    if (p[m_prefix] != kSync) {
        ++m_syncLosses;
        m_synced = false;
        MarkAllDamaged();
        m_stats.bytesSkipped += 1;
        Queue().Consume(1);
        return true;
    }
    OnPacket(p + m_prefix, Queue().Offset());
    Queue().Consume(m_packetSize);
    return true;
}

void TransportStreamParser::MarkAllDamaged() {
    for (auto& [pid, pes] : m_pes)
        if (pes->active) pes->damaged = true;
    for (auto& [pid, psi] : m_psi) psi->Discard();
    m_lastCc.clear();
}

void TransportStreamParser::OnPacket(const uint8_t* p, uint64_t offset) {
    const bool errorIndicator = (p[1] & 0x80) != 0;
    const bool unitStart = (p[1] & 0x40) != 0;
    const uint16_t pid = uint16_t(((p[1] & 0x1F) << 8) | p[2]);
    const unsigned control = (p[3] >> 4) & 3;
    const int cc = p[3] & 0x0F;
    // A packet marked as erroneous cannot be trusted for anything, not even its PID; the
    // continuity check of the right PID notices the gap.
    if (errorIndicator || pid == 0x1FFF || control == 0) return;
    size_t start = 4;
    bool discontinuity = false;
    if (control & 2) {
        const size_t adaptation = p[4];
        if (5 + adaptation > 188) return;
        if (adaptation > 0) discontinuity = (p[5] & 0x80) != 0;
        start = 5 + adaptation;
    }
    const bool payload = (control & 1) != 0 && start < 188;

    auto pesIt = m_pes.find(pid);
    Pes* pes = pesIt != m_pes.end() ? pesIt->second.get() : nullptr;
    auto psiIt = m_psi.find(pid);
    if (!pes && psiIt == m_psi.end()) return;

    if (control & 1) {
        auto last = m_lastCc.find(pid);
        if (last != m_lastCc.end() && !discontinuity) {
            if (cc == last->second) return;  // a repeated packet
            if (cc != ((last->second + 1) & 0x0F)) {
                ++m_ccErrors;
                if (pes && pes->active) pes->damaged = true;
                if (psiIt != m_psi.end()) psiIt->second->Discard();
            }
        }
        m_lastCc[pid] = cc;
    }
    if (!payload) return;
    const uint8_t* data = p + start;
    const size_t size = 188 - start;
    if (psiIt != m_psi.end()) {
        psiIt->second->Payload(data, size, unitStart);
        return;
    }
    if (unitStart) {
        if (pes->active) EndPes(*pes, pes->expected != 0);
        pes->active = true;
        pes->damaged = false;
        pes->bytes.assign(data, data + size);
        pes->offset = offset;
        pes->expected = 0;
        if (size >= 6) {
            const size_t length = (size_t(data[4]) << 8) | data[5];
            if (length != 0) pes->expected = 6 + length;
        }
    } else {
        if (!pes->active) return;  // the start was lost: nothing to attach this to
        if (pes->bytes.size() + size > kMaxPes) {
            pes->damaged = true;
            EndPes(*pes, true);
            return;
        }
        pes->bytes.insert(pes->bytes.end(), data, data + size);
    }
    if (pes->expected != 0 && pes->bytes.size() >= pes->expected) {
        pes->bytes.resize(pes->expected);
        EndPes(*pes, false);
    }
}

void TransportStreamParser::EndPes(Pes& pes, bool cutShort) {
    pes.active = false;
    PesHeader header;
    if (!ParsePesHeader(pes.bytes.data(), pes.bytes.size(), &header)) {
        ++m_stats.droppedUnits;
        pes.bytes.clear();
        return;
    }
    AccessUnit unit;
    unit.key = pes.info.key;
    unit.data = pes.bytes.data() + header.payloadOffset;
    unit.size = pes.bytes.size() - header.payloadOffset;
    unit.pts = header.pts;
    unit.dts = header.dts;
    unit.damaged = pes.damaged || cutShort;
    unit.fileOffset = pes.offset;
    if (pes.hdmvLpcm && unit.size > 0) {
        StreamInfo info = pes.info;
        if (!DecodeHdmvLpcmHeader(unit.data, unit.size, &info)) {
            ++m_stats.droppedUnits;
            pes.bytes.clear();
            return;
        }
        if (info.coding != pes.info.coding || info.sampleRate != pes.info.sampleRate ||
            info.channels != pes.info.channels || info.bitsPerSample != pes.info.bitsPerSample) {
            pes.info = info;
            m_sink->OnStream(pes.info);
        }
        unit.data += 4;
        unit.size -= 4;
    }
    if (unit.size > 0) Emit(unit);
    pes.bytes.clear();
}

void TransportStreamParser::OnSection(uint16_t pid, const uint8_t* s, size_t size) {
    SectionHeader header;
    if (!ParseSectionHeader(s, size, &header) || !header.currentNext) return;
    if (pid == 0) {
        std::vector<PatEntry> programs;
        if (!ParsePat(s, size, &programs)) return;
        for (const PatEntry& e : programs) {
            if (e.pmtPid == 0 || m_psi.count(e.pmtPid) || m_pes.count(e.pmtPid)) continue;
            const uint16_t pmtPid = e.pmtPid;
            m_psi[pmtPid] = std::make_unique<SectionAssembler>(
                [this, pmtPid](const uint8_t* t, size_t n) { OnSection(pmtPid, t, n); });
        }
        return;
    }
    if (header.tableId != 0x02) return;
    auto version = m_pmtVersion.find(pid);
    if (version != m_pmtVersion.end() && version->second == header.version) return;
    std::vector<PmtStream> streams;
    if (!ParsePmt(s, size, &streams)) return;
    m_pmtVersion[pid] = header.version;
    for (const PmtStream& e : streams) {
        if (e.pid == 0 || m_psi.count(e.pid)) continue;  // a PSI PID cannot carry PES
        auto& pes = m_pes[e.pid];
        if (pes && pes->info.containerType == e.streamType && pes->info.coding == e.coding)
            continue;
        if (pes && pes->active) EndPes(*pes, true);
        pes = std::make_unique<Pes>();
        pes->info.key = e.pid;
        pes->info.coding = e.coding;
        pes->info.containerType = e.streamType;
        pes->hdmvLpcm = e.streamType == kHdmvLpcmStreamType && e.coding == StreamCoding::Lpcm;
        m_sink->OnStream(pes->info);
    }
}

}  // namespace qm_MPEGSystemFilters
