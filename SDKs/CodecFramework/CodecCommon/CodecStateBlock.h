// A codec's state kept as one block in the codec's memory allocator. The allocator may move the
// block between locks, so each lock compares the address with the previous one and lets the codec
// fix the pointers the block holds into itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SDKs/CodecFramework/core/MemoryAllocator.h"

namespace UMC {

// Moves a pointer held inside a block by the block's displacement; null stays null.
template <class T>
void RebasePointer(T*& p, ptrdiff_t delta) {
    if (p) p = reinterpret_cast<T*>(reinterpret_cast<uint8_t*>(p) + delta);
}

class CodecStateBlock {
public:
    // The codec's state functions: init(nullptr, &size) asks for the size, init(memory, &size)
    // builds the state there; both return the codec's success code.
    using InitFn = int (*)(uint8_t* memory, size_t* size);
    using RebaseFn = void (*)(void* state, ptrdiff_t delta);

    CodecStateBlock() = default;
    CodecStateBlock(const CodecStateBlock&) = delete;
    CodecStateBlock& operator=(const CodecStateBlock&) = delete;

    // Gives back any previous block, then allocates and builds a new one. Returns initOk, the
    // init function's failure, or allocFailed when the allocator refuses; nothing stays
    // allocated on failure.
    int Create(MemoryAllocator* allocator, InitFn init, RebaseFn rebase, int initOk,
               int allocFailed);
    // Null when there is no block or the allocator cannot map it.
    void* Lock();
    void Unlock();
    // Unlocks if needed and gives the block back. The owner calls it while the allocator is still
    // alive; destruction alone does not free.
    void Free();
    bool Exists() const { return m_id != MID_INVALID; }

private:
    RebaseFn m_rebase = nullptr;
    MemoryAllocator* m_allocator = nullptr;
    MemID m_id = MID_INVALID;
    void* m_locked = nullptr;       // while locked
    void* m_lastAddress = nullptr;  // where the block was at the previous lock
};

}  // namespace UMC
