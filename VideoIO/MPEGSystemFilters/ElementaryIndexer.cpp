#include "VideoIO/MPEGSystemFilters/ElementaryIndexer.h"

#include <algorithm>
#include <new>

using namespace qm_MPEGUtil;

namespace qm_MPEGSystemFilters {

namespace {

constexpr uint32_t kAdtsSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                           22050, 16000, 12000, 11025, 8000,  7350};

bool IsH264UnitStartNal(int type) {
    // Access unit delimiter, SEI, sequence and picture parameter sets, and types 14 to 18 open
    // a new access unit when they follow a picture.
    return type == 6 || type == 7 || type == 8 || type == 9 || (type >= 14 && type <= 18);
}

}  // namespace

ElementaryIndexer::ElementaryIndexer(uint32_t streamKind) : m_streamKind(streamKind) {}

bool ElementaryIndexer::IsSupportedKind(uint32_t streamKind) {
    return streamKind == H264_STREAM_KIND || streamKind == RAW_AAC_STREAM_KIND ||
           streamKind == ADTS_AAC_STREAM_KIND;
}

uint32_t ElementaryIndexer::AddRef() {
    return ++m_cRef;
}

uint32_t ElementaryIndexer::Release() {
    const uint32_t count = --m_cRef;
    if (count == 0) delete this;
    return count;
}

int32_t ElementaryIndexer::IndexBuffer(const uint8_t* data, uint32_t size,
                                       const IndexedSample* samples, uint32_t count) {
    if ((size && !data) || (count && !samples)) return kIndexerInvalidArg;
    for (uint32_t i = 0; i < count; ++i)
        if (samples[i].offset > size || samples[i].length > size - samples[i].offset)
            return kIndexerInvalidArg;
    const size_t before = m_entries.size();
    if (m_streamKind == RAW_AAC_STREAM_KIND) {
        // One frame per sample.
        m_type = AAC_PURE_AUDIO_STREAM;
        for (uint32_t i = 0; i < count; ++i)
            if (samples[i].length)
                AddEntry(m_fed + samples[i].offset, m_fed + samples[i].offset + samples[i].length,
                         samples[i].start, true);
        m_fed += size;
        m_pendingStart = m_scan = m_fed;
    } else {
        for (uint32_t i = 0; i < count; ++i)
            m_marks.push_back(TimeMark{m_fed + samples[i].offset, samples[i].start});
        m_pending.insert(m_pending.end(), data, data + size);
        m_fed += size;
        if (m_streamKind == H264_STREAM_KIND)
            ScanH264(false);
        else
            ScanAdts(false);
    }
    return m_entries.size() > before ? kIndexerOk : kIndexerNoUnit;
}

int32_t ElementaryIndexer::Finish() {
    const size_t before = m_entries.size();
    if (m_streamKind == H264_STREAM_KIND) ScanH264(true);
    if (m_streamKind == ADTS_AAC_STREAM_KIND) ScanAdts(true);
    return m_entries.size() > before ? kIndexerOk : kIndexerNoUnit;
}

void ElementaryIndexer::SetStreamKind(uint32_t streamKind) {
    if (!IsSupportedKind(streamKind) || streamKind == m_streamKind) return;
    // What was pending in the old form is of no use in the new one.
    m_streamKind = streamKind;
    m_pending.clear();
    m_pendingStart = m_scan = m_fed;
    m_inUnit = m_unitHasSlice = m_unitHasIdr = false;
    m_marks.clear();
    m_type = UNKNOWN_STREAM;
}

SystemStreamType ElementaryIndexer::GetSystemStreamType() const {
    return m_streamKind == RAW_AAC_STREAM_KIND ? AAC_PURE_AUDIO_STREAM : m_type;
}

uint32_t ElementaryIndexer::GetEntryCount() const {
    return uint32_t(m_entries.size());
}

bool ElementaryIndexer::GetEntry(uint32_t index, IndexEntry* entry) const {
    if (!entry || index >= m_entries.size()) return false;
    *entry = m_entries[index];
    return true;
}

int64_t ElementaryIndexer::TakeTime(uint64_t position) {
    while (m_marks.size() >= 2 && m_marks[1].position <= position) m_marks.pop_front();
    if (m_marks.empty() || m_marks.front().position > position || m_marks.front().used)
        return kIndexerNoTime;
    m_marks.front().used = true;
    return m_marks.front().time;
}

void ElementaryIndexer::AddEntry(uint64_t position, uint64_t end, int64_t time, bool key) {
    IndexEntry entry;
    entry.position = position;
    entry.size = uint32_t(std::min<uint64_t>(end - position, UINT32_MAX));
    entry.time = time;
    entry.keyFrame = key;
    m_entries.push_back(entry);
}

void ElementaryIndexer::Consume(uint64_t position) {
    if (position <= m_pendingStart) return;
    const size_t n = size_t(std::min<uint64_t>(position - m_pendingStart, m_pending.size()));
    // Erasing from the front is linear: only worth it once a good part is parsed.
    if (n < 65536 && n < m_pending.size() / 2) return;
    m_pending.erase(m_pending.begin(), m_pending.begin() + ptrdiff_t(n));
    m_pendingStart += n;
}

void ElementaryIndexer::CompleteH264Unit(uint64_t end) {
    if (m_inUnit && m_unitHasSlice) {
        AddEntry(m_unitStart, end, TakeTime(m_unitStart), m_unitHasIdr);
        m_type = H264_PURE_VIDEO_STREAM;
    }
    m_inUnit = m_unitHasSlice = m_unitHasIdr = false;
}

void ElementaryIndexer::ScanH264(bool final) {
    auto at = [&](uint64_t position) { return m_pending[size_t(position - m_pendingStart)]; };
    while (m_scan + 3 <= m_fed) {
        const uint64_t p = m_scan;
        if (at(p) != 0 || at(p + 1) != 0 || at(p + 2) != 1) {
            // A start code cannot begin here; skip past a byte that is not zero quickly.
            m_scan += at(p + 2) > 1 ? 3 : 1;
            continue;
        }
        // The NAL header and the first byte after it (first_mb_in_slice).
        if (p + 5 > m_fed && !final) return;
        const int type = p + 3 < m_fed ? (at(p + 3) & 0x1F) : 0;
        const bool firstSlice = p + 4 < m_fed && (at(p + 4) & 0x80) != 0;
        // A four-byte start code's zero byte belongs to the unit it opens.
        const uint64_t nalStart = p > m_pendingStart && at(p - 1) == 0 ? p - 1 : p;
        const bool slice = type == 1 || type == 5;
        if (m_unitHasSlice && (IsH264UnitStartNal(type) || (slice && firstSlice)))
            CompleteH264Unit(nalStart);
        if (!m_inUnit) {
            m_inUnit = true;
            m_unitStart = nalStart;
        }
        if (slice) m_unitHasSlice = true;
        if (type == 5) m_unitHasIdr = true;
        m_scan = p + 3;
    }
    if (final) {
        CompleteH264Unit(m_fed);
        m_scan = m_fed;
    }
    // Keep the open unit's bytes before the scan point, and one more for a zero byte.
    uint64_t keep = m_inUnit ? m_unitStart : m_scan;
    Consume(keep > m_pendingStart ? keep - 1 : keep);
}

void ElementaryIndexer::ScanAdts(bool final) {
    auto at = [&](uint64_t position) { return m_pending[size_t(position - m_pendingStart)]; };
    while (m_scan + 7 <= m_fed) {
        const uint64_t p = m_scan;
        const uint8_t b1 = at(p + 1), b2 = at(p + 2);
        const uint32_t length =
            (uint32_t(at(p + 3) & 3) << 11) | (uint32_t(at(p + 4)) << 3) | (at(p + 5) >> 5);
        const uint32_t rateIndex = (b2 >> 2) & 0xF;
        const uint32_t headerSize = (b1 & 1) ? 7 : 9;
        if (at(p) != 0xFF || (b1 & 0xF6) != 0xF0 || rateIndex >= 13 || length < headerSize) {
            ++m_scan;  // resynchronise
            continue;
        }
        // The next frame's sync word confirms this one, unless the stream ends with it.
        if (p + length + 2 > m_fed) {
            if (!final) break;
            if (p + length > m_fed) {
                m_scan = m_fed;  // cut short
                break;
            }
        } else if (at(p + length) != 0xFF || (at(p + length + 1) & 0xF6) != 0xF0) {
            ++m_scan;
            continue;
        }
        int64_t time = TakeTime(p);
        if (time != kIndexerNoTime) {
            m_adtsBase = time;
            m_adtsSamplesSinceBase = 0;
        } else if (m_adtsBase != kIndexerNoTime) {
            const uint64_t rate = kAdtsSampleRates[rateIndex];
            time = m_adtsBase + int64_t((m_adtsSamplesSinceBase * 10000000 + rate / 2) / rate);
        }
        m_adtsSamplesSinceBase += 1024u * ((at(p + 6) & 3) + 1u);
        AddEntry(p, p + length, time, true);
        m_type = ADTS_AAC_PURE_AUDIO_STREAM;
        m_scan = p + length;
    }
    Consume(m_scan);
}

}  // namespace qm_MPEGSystemFilters

// The library's export, looked up by name.
extern "C" int32_t CreateMPEG2IndexerForBuffer(uint32_t streamKind, const void* pMediaType,
                                               int32_t useSampleMediaTimeAsPTS,
                                               qm_MPEGUtil::IMPEG2Indexer** ppIndexer) {
    // The caller stamps the samples with the times to use; the type adds nothing the
    // elementary streams do not say themselves.
    (void)pMediaType;
    (void)useSampleMediaTimeAsPTS;
    if (!ppIndexer) return kIndexerPointer;
    *ppIndexer = nullptr;
    if (!qm_MPEGSystemFilters::ElementaryIndexer::IsSupportedKind(streamKind))
        return kIndexerNotImplemented;
    *ppIndexer = new (std::nothrow) qm_MPEGSystemFilters::ElementaryIndexer(streamKind);
    return *ppIndexer ? kIndexerOk : kIndexerOutOfMemory;
}
