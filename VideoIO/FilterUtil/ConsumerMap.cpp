#include "VideoIO/FilterUtil/ConsumerMap.h"

#include <new>

#include "diagnostics/CheckForms.h"

namespace qm_DSFilters {

HRESULT ConsumerMap::Add(IConsumerToken* pConsumerToken) {
    QMCheckCondition(pConsumerToken != 0, E_POINTER);
    QMCheckCondition(m_consumers.find(pConsumerToken) == m_consumers.end(), E_INVALIDARG);
    std::shared_ptr<ConsumerInfo> info(new (std::nothrow) ConsumerInfo(pConsumerToken));
    QMCheckCondition(info != 0, E_OUTOFMEMORY);
    m_consumers.emplace(pConsumerToken, std::move(info));
    return S_OK;
}

HRESULT ConsumerMap::Remove(IConsumerToken* pConsumerToken) {
    return m_consumers.erase(pConsumerToken) ? S_OK : S_FALSE;
}

std::shared_ptr<ConsumerInfo> ConsumerMap::Find(IConsumerToken* pConsumerToken) const {
    const auto it = m_consumers.find(pConsumerToken);
    return it == m_consumers.end() ? nullptr : it->second;
}

}  // namespace qm_DSFilters
