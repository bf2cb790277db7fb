#include "VideoIO/FilterUtil/ConsumerInfo.h"

#include <cstdio>

namespace qm_DSFilters {

ConsumerInfo::ConsumerInfo(IConsumerToken* pConsumerToken)
    : m_pConsumerToken(pConsumerToken), m_number(pConsumerToken->GetConsumerNumber()) {
    m_pConsumerToken->AddRef();
}

ConsumerInfo::~ConsumerInfo() {
    m_pConsumerToken->Release();
}

std::string ConsumerInfo::StateText() const {
    switch (m_pConsumerToken->GetState()) {
        case State_Stopped:
            return "stopped";
        case State_Paused:
            return "paused";
        case State_Running:
            return "running";
    }
    return "state " + std::to_string(int(m_pConsumerToken->GetState()));
}

std::string ConsumerInfo::PositionText() const {
    std::string text = "at " + FormatReferenceTime(GetLastConsumedTime()) + ", read " +
                       std::to_string(m_readTotal);
    if (m_skippedTotal) text += ", skipped " + std::to_string(m_skippedTotal);
    return text;
}

std::string FormatReferenceTime(REFERENCE_TIME time) {
    if (time < 0) return "-";
    const int64_t ms = time / 10000;
    char rest[24];
    std::snprintf(rest, sizeof rest, ":%02d:%02d.%03d", int(ms / 60000 % 60), int(ms / 1000 % 60),
                  int(ms % 1000));
    const std::string text = std::to_string(ms / 3600000) + rest;
    return text;
}

}  // namespace qm_DSFilters
