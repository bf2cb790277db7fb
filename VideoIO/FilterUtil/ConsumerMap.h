// The registered consumers of one allocator, by token, and the numbers given to new ones. Used
// under the sample map's lock; no lock of its own.
#pragma once

#include <map>
#include <memory>

#include "VideoIO/FilterUtil/ConsumerInfo.h"

namespace qm_DSFilters {

class ConsumerMap {
public:
    using Map = std::map<IConsumerToken*, std::shared_ptr<ConsumerInfo>>;

    // Numbers start at 1 and are never given twice.
    LONG NextConsumerNumber() { return ++m_lastNumber; }

    // E_INVALIDARG for a token that is there already.
    HRESULT Add(IConsumerToken* pConsumerToken);
    // S_FALSE when the token is not registered.
    HRESULT Remove(IConsumerToken* pConsumerToken);
    // Null when the token is not registered.
    std::shared_ptr<ConsumerInfo> Find(IConsumerToken* pConsumerToken) const;

    size_t size() const { return m_consumers.size(); }
    bool empty() const { return m_consumers.empty(); }
    Map::const_iterator begin() const { return m_consumers.begin(); }
    Map::const_iterator end() const { return m_consumers.end(); }
    void Clear() { m_consumers.clear(); }

private:
    Map m_consumers;
    LONG m_lastNumber = 0;
};

}  // namespace qm_DSFilters
