// One block of committed memory carved with a first-fit free list. The list holds (address,
// size) pairs sorted by address with no two pairs touching or overlapping; freeing merges with
// both neighbours, so a block whose pieces all come back is one pair again. No lock: used under
// the sample allocator's lock only.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/WinError.h"

namespace qm_DSFilters {

class MemoryBuffer {
public:
    struct FreeBlock {
        uint64_t address;
        uint64_t size;
    };

    // The block [pBuffer, pBuffer + size), all free.
    MemoryBuffer(BYTE* pBuffer, uint64_t size);

    // First fit in address order: S_OK with the address, or S_FALSE and null when no free
    // piece is large enough. Size 0 is refused (E_INVALIDARG).
    HRESULT Allocate(uint64_t size, BYTE** ppAddress);
    // Returns a piece. Addresses below the block's base give E_INVALIDARG; the caller makes sure
    // the piece lies in this block and is not free already.
    HRESULT Free(BYTE* pStartAddress, uint64_t size);

    BYTE* GetBuffer() const { return m_pBuffer; }
    uint64_t GetSize() const { return m_size; }
    uint64_t GetLargestFreeBlock() const { return m_largestFreeBlock; }
    uint64_t GetFreeBytes() const { return m_freeBytes; }
    const std::vector<FreeBlock>& GetFreeList() const { return m_freeList; }

private:
    void RecomputeLargest();

    std::vector<FreeBlock> m_freeList;
    BYTE* m_pBuffer;
    uint64_t m_size;
    uint64_t m_largestFreeBlock;
    uint64_t m_freeBytes;
};

}  // namespace qm_DSFilters
