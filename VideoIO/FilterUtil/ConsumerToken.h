// The token a registered consumer of the sample allocator holds: its number, fixed at
// creation, and its state, which the consumer keeps current through IConsumerTokenPrivate.
#pragma once

#include <atomic>

#include "VideoIO/FilterUtil/ConsumerInterfaces.h"

namespace qm_DSFilters {

class ConsumerToken final : public IConsumerToken, public IConsumerTokenPrivate {
public:
    explicit ConsumerToken(LONG number) : m_number(number) {}
    ConsumerToken(const ConsumerToken&) = delete;
    ConsumerToken& operator=(const ConsumerToken&) = delete;

    // IUnknown (both bases answer through these)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IConsumerToken
    LONG STDMETHODCALLTYPE GetConsumerNumber() override { return m_number; }
    FILTER_STATE STDMETHODCALLTYPE GetState() override { return FILTER_STATE(m_state.load()); }

    // IConsumerTokenPrivate
    HRESULT STDMETHODCALLTYPE SetState(FILTER_STATE state) override;

private:
    ~ConsumerToken() = default;

    std::atomic<LONG> m_cRef{1};
    std::atomic<LONG> m_state{State_Running};
    const LONG m_number;
};

// A new token with one reference, in State_Running.
HRESULT CreateConsumerToken(LONG number, IConsumerToken** ppConsumerToken);

}  // namespace qm_DSFilters
