#include "VideoIO/FilterUtil/MemoryBuffer.h"

#include <algorithm>

#include "diagnostics/CheckForms.h"

namespace qm_DSFilters {

MemoryBuffer::MemoryBuffer(BYTE* pBuffer, uint64_t size)
    : m_freeList{{uint64_t(reinterpret_cast<uintptr_t>(pBuffer)), size}},
      m_pBuffer(pBuffer),
      m_size(size),
      m_largestFreeBlock(size),
      m_freeBytes(size) {}

void MemoryBuffer::RecomputeLargest() {
    m_largestFreeBlock = 0;
    for (const FreeBlock& b : m_freeList) m_largestFreeBlock = std::max(m_largestFreeBlock, b.size);
}

HRESULT MemoryBuffer::Allocate(uint64_t size, BYTE** ppAddress) {
    QMCheckCondition(ppAddress != 0, E_POINTER);
    *ppAddress = nullptr;
    QMCheckCondition(size > 0, E_INVALIDARG);
    for (auto it = m_freeList.begin(); it != m_freeList.end(); ++it) {
        if (it->size < size) continue;
        *ppAddress = reinterpret_cast<BYTE*>(uintptr_t(it->address));
        if (it->size == size) {
            m_freeList.erase(it);
        } else {
            it->address += size;
            it->size -= size;
        }
        m_freeBytes -= size;
        RecomputeLargest();
        return S_OK;
    }
    return S_FALSE;
}

HRESULT MemoryBuffer::Free(BYTE* pStartAddress, uint64_t size) {
    QMCheckCondition(pStartAddress >= m_pBuffer, E_INVALIDARG);
    QMCheckCondition(size > 0, E_INVALIDARG);
    const uint64_t address = uint64_t(reinterpret_cast<uintptr_t>(pStartAddress));
    // The first pair above the address; the one before it (if any) is below.
    auto next = std::lower_bound(m_freeList.begin(), m_freeList.end(), address,
                                 [](const FreeBlock& b, uint64_t a) { return b.address < a; });
    const bool joinsPrevious =
        next != m_freeList.begin() && std::prev(next)->address + std::prev(next)->size == address;
    const bool joinsNext = next != m_freeList.end() && address + size == next->address;
    uint64_t merged;
    if (joinsPrevious && joinsNext) {
        auto previous = std::prev(next);
        previous->size += size + next->size;
        merged = previous->size;
        m_freeList.erase(next);
    } else if (joinsPrevious) {
        auto previous = std::prev(next);
        previous->size += size;
        merged = previous->size;
    } else if (joinsNext) {
        next->address = address;
        next->size += size;
        merged = next->size;
    } else {
        m_freeList.insert(next, FreeBlock{address, size});
        merged = size;
    }
    m_largestFreeBlock = std::max(m_largestFreeBlock, merged);
    m_freeBytes += size;
    return S_OK;
}

}  // namespace qm_DSFilters
