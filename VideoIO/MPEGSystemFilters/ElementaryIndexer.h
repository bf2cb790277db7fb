// The indexer this library exports for elementary streams kept by the sample allocator:
// H.264 Annex B access units (an IDR picture marks a key unit), ADTS AAC frames and raw AAC
// frames (one per sample), each with its position in the stream and its time. Bytes come in
// pieces of any size. A sample's time belongs to the first unit that starts in it; later ADTS
// frames go on from it by their sample counts, other units without a time of their own have
// none.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "VideoIO/MPEGUtil/MPEG2Indexer.h"

namespace qm_MPEGSystemFilters {

class ElementaryIndexer final : public qm_MPEGUtil::IMPEG2Indexer {
public:
    explicit ElementaryIndexer(uint32_t streamKind);

    uint32_t AddRef() override;
    uint32_t Release() override;
    int32_t IndexBuffer(const uint8_t* data, uint32_t size,
                        const qm_MPEGUtil::IndexedSample* samples, uint32_t count) override;
    int32_t Finish() override;
    void SetStreamKind(uint32_t streamKind) override;
    qm_MPEGUtil::SystemStreamType GetSystemStreamType() const override;
    uint32_t GetEntryCount() const override;
    bool GetEntry(uint32_t index, qm_MPEGUtil::IndexEntry* entry) const override;

    static bool IsSupportedKind(uint32_t streamKind);

private:
    ~ElementaryIndexer() = default;

    struct TimeMark {
        uint64_t position;
        int64_t time;
        bool used = false;
    };

    // The time of a unit that starts at `position` (kIndexerNoTime when its sample's time went
    // to an earlier unit, or it has none).
    int64_t TakeTime(uint64_t position);
    void AddEntry(uint64_t position, uint64_t end, int64_t time, bool key);
    void ScanH264(bool final);
    void ScanAdts(bool final);
    void CompleteH264Unit(uint64_t end);
    // Drops the bytes before `position` from the pending buffer.
    void Consume(uint64_t position);

    std::atomic<uint32_t> m_cRef{1};
    uint32_t m_streamKind;
    std::vector<qm_MPEGUtil::IndexEntry> m_entries;
    std::deque<TimeMark> m_marks;
    // Bytes not yet parsed: m_pending[0] is at stream position m_pendingStart.
    std::vector<uint8_t> m_pending;
    uint64_t m_pendingStart = 0;
    uint64_t m_fed = 0;
    qm_MPEGUtil::SystemStreamType m_type = qm_MPEGUtil::UNKNOWN_STREAM;

    // H.264: the unit being gathered and the next place to look for a start code.
    uint64_t m_scan = 0;
    bool m_inUnit = false;
    uint64_t m_unitStart = 0;
    bool m_unitHasSlice = false;
    bool m_unitHasIdr = false;
    // ADTS: the time of the last timed frame and the samples since.
    int64_t m_adtsBase = qm_MPEGUtil::kIndexerNoTime;
    uint64_t m_adtsSamplesSinceBase = 0;
};

}  // namespace qm_MPEGSystemFilters
