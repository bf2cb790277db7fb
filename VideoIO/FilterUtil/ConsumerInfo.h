// The allocator's record of one registered consumer: its token (with a reference), where it is
// in the time-ordered store and how many samples it missed since it last read.
#pragma once

#include <compare>
#include <cstdint>
#include <limits>
#include <string>

#include "VideoIO/FilterUtil/ConsumerInterfaces.h"

namespace qm_DSFilters {

// The place of a kept sample in the store: its start time, then the order of arrival, so that
// samples with equal times keep the order in which they came.
struct SampleKey {
    REFERENCE_TIME time = std::numeric_limits<REFERENCE_TIME>::min();
    uint64_t sequence = 0;
    auto operator<=>(const SampleKey&) const = default;
};

// Before every sample.
inline constexpr SampleKey kBeforeAllSamples{};

class ConsumerInfo {
public:
    // Takes a reference on pConsumerToken for its lifetime.
    explicit ConsumerInfo(IConsumerToken* pConsumerToken);
    ~ConsumerInfo();
    ConsumerInfo(const ConsumerInfo&) = delete;
    ConsumerInfo& operator=(const ConsumerInfo&) = delete;

    IConsumerToken* GetToken() const { return m_pConsumerToken; }
    LONG GetNumber() const { return m_number; }
    // A stopped consumer holds nothing back.
    bool IsActive() const { return m_pConsumerToken->GetState() != State_Stopped; }

    // The last sample read: samples up to it are passed.
    const SampleKey& GetPosition() const { return m_position; }
    bool HasPassed(const SampleKey& key) const { return key <= m_position; }
    void SetPosition(const SampleKey& key) { m_position = key; }
    REFERENCE_TIME GetLastConsumedTime() const {
        return m_position == kBeforeAllSamples ? -1 : m_position.time;
    }

    // A sample it had not read left the store.
    void NoteSkipped() {
        ++m_pendingSkipped;
        ++m_skippedTotal;
    }
    // The samples missed since the last call.
    uint32_t TakeSkipped() {
        const uint32_t n = m_pendingSkipped;
        m_pendingSkipped = 0;
        return n;
    }
    void NoteRead() { ++m_readTotal; }
    uint64_t GetReadTotal() const { return m_readTotal; }
    uint64_t GetSkippedTotal() const { return m_skippedTotal; }

    // The two texts of the consumer's statistics line: its state, and where it is.
    std::string StateText() const;
    std::string PositionText() const;

private:
    IConsumerToken* m_pConsumerToken;
    LONG m_number;
    SampleKey m_position = kBeforeAllSamples;
    uint32_t m_pendingSkipped = 0;
    uint64_t m_skippedTotal = 0;
    uint64_t m_readTotal = 0;
};

// "h:mm:ss.mmm" for a time in 100-ns units; "-" for a negative (unknown) time.
std::string FormatReferenceTime(REFERENCE_TIME time);

}  // namespace qm_DSFilters
