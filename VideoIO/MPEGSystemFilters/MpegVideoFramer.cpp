#include "VideoIO/MPEGSystemFilters/MpegVideoFramer.h"

#include <algorithm>

namespace qm_MPEGSystemFilters {

namespace {
constexpr uint8_t kPicture = 0x00, kSequence = 0xB3, kGroup = 0xB8, kSequenceEnd = 0xB7;
}

void MpegVideoFramer::Push(const uint8_t* data, size_t size, int64_t pts, int64_t dts) {
    if (size == 0) return;
    if (pts >= 0) m_stamps.push_back({m_base + m_bytes.size(), pts, dts});
    m_bytes.insert(m_bytes.end(), data, data + size);
    Scan();
    if (m_bytes.size() > kMaxUnit) Reset();
}

void MpegVideoFramer::Flush() {
    Scan();
    if (m_synced && m_inPicture) Cut(m_bytes.size());
    Reset();
}

void MpegVideoFramer::Reset() {
    m_skipped += m_bytes.size();
    m_base += m_bytes.size();
    m_bytes.clear();
    m_scanned = 0;
    m_synced = false;
    m_inPicture = false;
    m_stamps.clear();
    m_unitPts = m_unitDts = -1;
}

void MpegVideoFramer::Scan() {
    const uint8_t* p = m_bytes.data();
    size_t i = m_scanned;
    while (i + 4 <= m_bytes.size()) {
        if (p[i + 2] > 1) {
            i += 3;
            continue;
        }
        if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1) {
            ++i;
            continue;
        }
        const uint8_t code = p[i + 3];
        const bool unitStart = code == kSequence || code == kGroup || code == kPicture;
        if (!m_synced) {
            if (unitStart) {
                m_skipped += i;
                m_base += i;
                m_bytes.erase(m_bytes.begin(), m_bytes.begin() + std::ptrdiff_t(i));
                p = m_bytes.data();
                i = 0;
                m_synced = true;
            } else {
                i += 4;
                continue;
            }
        } else if (unitStart && m_inPicture) {
            Cut(i);
            p = m_bytes.data();
            i = 0;
        }
        if (code == kSequence && i + 8 <= m_bytes.size()) {
            static const int64_t kPeriods[9] = {3600, 3754, 3750, 3600, 3003,
                                                3000, 1800, 1502, 1500};
            const int rate = p[i + 7] & 0x0F;
            if (rate >= 1 && rate <= 8) m_period = kPeriods[rate];
        } else if (code == kGroup && m_anchorPts >= 0) {
            // Temporal references restart: carry the anchor over as the new group's picture 0.
            m_anchorPts += (m_groupMaxTr + 1 - m_anchorTr) * m_period;
            m_anchorTr = 0;
            m_groupMaxTr = -1;
        }
        if (code == kPicture) {
            m_unitTr = i + 6 <= m_bytes.size() ? (int(p[i + 4]) << 2) | (p[i + 5] >> 6) : -1;
            m_inPicture = true;
            m_pictureAt = i;
            // The latest packet start at or before this start code that no earlier picture
            // took.
            const uint64_t at = m_base + i;
            m_unitPts = m_unitDts = -1;
            while (!m_stamps.empty() && m_stamps.front().offset <= at) {
                m_unitPts = m_stamps.front().pts;
                m_unitDts = m_stamps.front().dts;
                m_stamps.pop_front();
            }
        } else if (code == kSequenceEnd && m_inPicture) {
            i += 4;
            Cut(i);
            p = m_bytes.data();
            i = 0;
            continue;
        }
        i += 4;
    }
    m_scanned = i;
}

void MpegVideoFramer::Cut(size_t end) {
    Unit u{m_bytes.data(), end, m_unitPts, m_unitDts, end >= 4 && m_bytes[3] == kSequence, false};
    m_groupMaxTr = std::max(m_groupMaxTr, m_unitTr);
    if (m_unitPts >= 0) {
        m_anchorPts = m_unitPts;
        m_anchorTr = m_unitTr;
    } else if (m_anchorPts >= 0 && m_unitTr >= 0) {
        u.pts = (m_anchorPts + (m_unitTr - m_anchorTr) * m_period) & ((int64_t(1) << 33) - 1);
        u.interpolated = true;
    }
    m_onUnit(u);
    m_base += end;
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + std::ptrdiff_t(end));
    m_inPicture = false;
    m_unitPts = m_unitDts = -1;
    m_scanned = 0;
}

}  // namespace qm_MPEGSystemFilters
