#include "SDKs/CodecFramework/CodecCommon/CodecStateBlock.h"

namespace UMC {

int CodecStateBlock::Create(MemoryAllocator* allocator, InitFn init, RebaseFn rebase, int initOk,
                            int allocFailed) {
    Free();
    if (!allocator) return allocFailed;
    size_t size = 0;
    int r = init(nullptr, &size);
    if (r != initOk) return r;
    if (allocator->Alloc(&m_id, size, 0, 16) != STATUS_OK) {
        m_id = MID_INVALID;
        return allocFailed;
    }
    m_allocator = allocator;
    m_rebase = rebase;
    m_lastAddress = nullptr;
    void* p = Lock();
    if (!p) {
        Free();
        return allocFailed;
    }
    r = init(static_cast<uint8_t*>(p), &size);
    Unlock();
    if (r != initOk) Free();
    return r;
}

void* CodecStateBlock::Lock() {
    if (!m_allocator || m_id == MID_INVALID) return nullptr;
    void* p = m_allocator->Lock(m_id);
    if (!p) return nullptr;
    if (m_lastAddress && p != m_lastAddress)
        m_rebase(p, static_cast<uint8_t*>(p) - static_cast<uint8_t*>(m_lastAddress));
    m_lastAddress = p;
    m_locked = p;
    return p;
}

void CodecStateBlock::Unlock() {
    if (m_locked) m_allocator->Unlock(m_id);
    m_locked = nullptr;
}

void CodecStateBlock::Free() {
    if (m_allocator && m_id != MID_INVALID) {
        Unlock();
        m_allocator->Free(m_id);
    }
    m_allocator = nullptr;
    m_id = MID_INVALID;
    m_locked = nullptr;
    m_lastAddress = nullptr;
}

}  // namespace UMC
