#include "VideoIO/MPEGDecoderFilters/PictureAssembler.h"

#include <algorithm>
#include <cstring>

#include "SDKs/CodecFramework/mpeg2video/Mpeg2BitReader.h"

namespace qm_MPEGDecoderFilters {
namespace {

// Zero bytes kept after the data.
constexpr size_t kPadding = 16;
constexpr size_t kInitialCapacity = size_t(1) << 20;

}  // namespace

void PictureAssembler::Append(const uint8_t* data, size_t size, bool timed, REFERENCE_TIME start,
                              REFERENCE_TIME stop) {
    Discard();
    if (!data || size == 0) return;
    if (m_begin > 0) {
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + std::ptrdiff_t(m_begin));
        m_base += m_begin;
        m_end -= m_begin;
        m_scanned = m_scanned > m_begin ? m_scanned - m_begin : 0;
        m_pictureAt = m_pictureAt > m_begin ? m_pictureAt - m_begin : 0;
        m_begin = 0;
    }
    m_stamps.push_back({m_base + m_end, timed, start, stop});
    // Room for a large picture from the start, so the buffer seldom moves to fresh memory.
    if (m_bytes.capacity() < kInitialCapacity) m_bytes.reserve(kInitialCapacity);
    m_bytes.resize(m_end + size + kPadding);
    std::memcpy(m_bytes.data() + m_end, data, size);
    m_end += size;
    std::fill(m_bytes.begin() + std::ptrdiff_t(m_end), m_bytes.end(), uint8_t(0));
}

bool PictureAssembler::Next(Unit* unit, bool final) {
    Discard();
    const uint8_t* b = m_bytes.data();
    const size_t from = std::max(m_scanned, m_begin);
    UMC::Mpeg2BitReader bs;
    bs.Init(b + from, m_end - from);
    for (int code; (code = bs.FindStartCode()) >= 0; bs.Skip(32)) {
        const size_t i = size_t(bs.ptr - b);
        if (code == 0x00) {
            if (m_inPicture) {
                m_scanned = i;  // the next picture is marked when the scan resumes here
                Cut(i, unit);
                return true;
            }
            m_inPicture = true;
            m_pictureAt = i;
        } else if ((code == 0xB3 || code == 0xB8) && m_inPicture) {
            m_scanned = i;
            Cut(i, unit);
            return true;
        } else if (code == 0xB7 && m_inPicture) {
            m_scanned = i + 4;
            Cut(i + 4, unit);
            return true;
        }
    }
    // A start code may straddle the end: its first three bytes are looked at again.
    m_scanned = std::max(from, m_end >= 3 ? m_end - 3 : 0);
    if (Pending() > 0 && (final || Pending() >= kMaxPicture)) {
        Cut(m_end, unit);
        return true;
    }
    return false;
}

void PictureAssembler::Cut(size_t end, Unit* unit) {
    const uint64_t picture = m_base + (m_inPicture ? m_pictureAt : m_begin);
    unit->timed = false;
    unit->start = unit->stop = 0;
    // The sample in which the picture begins, unless an earlier picture began there too (its
    // stamp is gone with that picture).
    while (!m_stamps.empty() && m_stamps.front().offset <= picture) {
        unit->timed = m_stamps.front().timed;
        unit->start = m_stamps.front().start;
        unit->stop = m_stamps.front().stop;
        m_stamps.pop_front();
    }
    unit->data = m_bytes.data() + m_begin;
    unit->size = end - m_begin;
    m_taken = end - m_begin;
    m_inPicture = false;
}

void PictureAssembler::Discard() {
    m_begin += m_taken;
    m_taken = 0;
}

void PictureAssembler::Clear() {
    m_bytes.clear();
    m_begin = m_end = m_taken = m_scanned = m_pictureAt = 0;
    m_inPicture = false;
    m_base = 0;
    m_stamps.clear();
}

}  // namespace qm_MPEGDecoderFilters
