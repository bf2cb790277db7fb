// The growing set of memory blocks behind the sample allocator, with its running totals (bytes
// in blocks, the largest free piece, free bytes). Blocks are reserved with VirtualAlloc, at
// least the chunk size each, and carved by MemoryBuffer. No lock: used under the allocator's
// lock only.
#pragma once

#include <memory>
#include <vector>

#include "VideoIO/FilterUtil/MemoryBuffer.h"

namespace qm_DSFilters {

class MemoryBufferInfo {
public:
    MemoryBufferInfo() = default;
    ~MemoryBufferInfo();
    MemoryBufferInfo(const MemoryBufferInfo&) = delete;
    MemoryBufferInfo& operator=(const MemoryBufferInfo&) = delete;

    // The minimum size of a new block; can change only while there are no blocks
    // (E_UNEXPECTED otherwise, unless the size is the same).
    HRESULT SetChunkSize(uint64_t size);
    uint64_t GetChunkSize() const { return m_chunkSize; }
    bool IsEmpty() const { return m_buffers.empty(); }
    // Some block has a free piece of at least size bytes.
    bool CanAllocate(uint64_t size) const { return size <= m_largestFreeBlock; }

    // Reserves and commits a block of max(minimumSize, chunk size) bytes; the system error is
    // reported and returned as an HRESULT when that fails.
    HRESULT AddMemoryBuffer(uint64_t minimumSize);
    // First block (in creation order) that can serve the size; S_FALSE and null when none.
    HRESULT Allocate(uint64_t size, BYTE** ppAddress);
    // Returns a piece to the block that holds its address (E_INVALIDARG when none does).
    HRESULT Free(BYTE* pAddress, uint64_t size);
    // Releases every block.
    HRESULT FreeAll();

    uint64_t GetAllocatedSize() const { return m_allocatedSize; }
    uint64_t GetLargestFreeBlock() const { return m_largestFreeBlock; }
    uint64_t GetFreeBytes() const { return m_freeBytes; }
    size_t GetBufferCount() const { return m_buffers.size(); }
    const MemoryBuffer& GetBuffer(size_t index) const { return *m_buffers[index]; }

private:
    void RecomputeLargest();

    std::vector<std::unique_ptr<MemoryBuffer>> m_buffers;
    uint64_t m_chunkSize = 0;
    uint64_t m_allocatedSize = 0;
    uint64_t m_largestFreeBlock = 0;
    uint64_t m_freeBytes = 0;
};

}  // namespace qm_DSFilters
