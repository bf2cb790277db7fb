#include "SDKs/CodecFramework/core/MemoryAllocator.h"

#include <cstring>

#include "primitives/Memory.h"

namespace UMC {
namespace {

uint8_t* AlignUp(uint8_t* p, uint32_t alignment) {
    const uintptr_t a = alignment;
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + a - 1) & ~(a - 1));
}

bool Holds(const DefaultMemoryAllocator::Descriptor& d, size_t size, uint32_t alignment) {
    if (!d.pMemory) return false;
    return size_t(AlignUp(d.pMemory, alignment) - d.pMemory) + size <= d.size;
}

}  // namespace

DefaultMemoryAllocator::~DefaultMemoryAllocator() {
    AutomaticMutex guard(m_guard);
    CloseLocked();
}

Status DefaultMemoryAllocator::Init(MemoryAllocatorParams*) {
    return Close();
}

Status DefaultMemoryAllocator::Close() {
    AutomaticMutex guard(m_guard);
    CloseLocked();
    return STATUS_OK;
}

void DefaultMemoryAllocator::CloseLocked() {
    for (int32_t i = 0; i < m_count; ++i) {
        Descriptor& d = m_memInfo[i];
        if (d.pMemory) {
            d.released = 1;
            d.locks = 0;
            spFree(d.pMemory);
            d.pMemory = nullptr;
            d.id = MID_INVALID;
        }
    }
    spFree(m_memInfo);
    m_memInfo = nullptr;
    m_capacity = m_count = 0;
}

DefaultMemoryAllocator::Descriptor* DefaultMemoryAllocator::Find(MemID id) {
    if (id == MID_INVALID) return nullptr;
    for (int32_t i = 0; i < m_count; ++i)
        if (m_memInfo[i].id == id) return &m_memInfo[i];
    return nullptr;
}

Status DefaultMemoryAllocator::Alloc(MemID* id, size_t size, uint32_t, uint32_t alignment) {
    if (!id) return STATUS_NULL_PTR;
    if (size == 0 || alignment == 0) return STATUS_INVALID_PARAMS;
    if ((alignment & (alignment - 1)) != 0 || alignment > 0x100000) return STATUS_INVALID_PARAMS;
    if (size > size_t(INT32_MAX) - alignment) return STATUS_ALLOC_FAILED;
    AutomaticMutex guard(m_guard);

    Descriptor* chosen = nullptr;
    Descriptor* tooSmall = nullptr;
    for (int32_t i = 0; i < m_count && !chosen; ++i) {
        Descriptor& d = m_memInfo[i];
        if (!d.pMemory) {
            chosen = &d;
        } else if (d.id == MID_INVALID) {
            if (Holds(d, size, alignment))
                chosen = &d;
            else
                tooSmall = &d;
        }
    }
    if (!chosen) {
        if (m_count < m_capacity) {
            chosen = &m_memInfo[m_count++];
            *chosen = Descriptor{};
        } else if (tooSmall) {
            spFree(tooSmall->pMemory);
            tooSmall->pMemory = nullptr;
            tooSmall->size = 0;
            chosen = tooSmall;
        } else {
            const int32_t capacity = m_capacity * 2 > 8 ? m_capacity * 2 : 8;
            auto* table = reinterpret_cast<Descriptor*>(
                spAlloc8u(int(size_t(capacity) * sizeof(Descriptor))));
            if (!table) return STATUS_ALLOC_FAILED;
            std::memset(table, 0, size_t(capacity) * sizeof(Descriptor));
            if (m_memInfo) std::memcpy(table, m_memInfo, size_t(m_count) * sizeof(Descriptor));
            spFree(m_memInfo);
            m_memInfo = table;
            m_capacity = capacity;
            chosen = &m_memInfo[m_count++];
        }
    }
    if (!Holds(*chosen, size, alignment)) {
        if (chosen->pMemory) spFree(chosen->pMemory);
        chosen->pMemory = spAlloc8u(int(size + alignment));
        chosen->size = chosen->pMemory ? size + alignment : 0;
        if (!chosen->pMemory) {
            chosen->id = MID_INVALID;
            return STATUS_ALLOC_FAILED;
        }
    }
    chosen->alignment = alignment;
    chosen->locks = 0;
    chosen->released = 0;
    chosen->id = ++m_lastId;
    *id = chosen->id;
    return STATUS_OK;
}

void* DefaultMemoryAllocator::Lock(MemID id) {
    AutomaticMutex guard(m_guard);
    Descriptor* d = Find(id);
    if (!d || !d->pMemory || d->released) return nullptr;
    ++d->locks;
    return AlignUp(d->pMemory, d->alignment);
}

Status DefaultMemoryAllocator::Unlock(MemID id) {
    AutomaticMutex guard(m_guard);
    Descriptor* d = Find(id);
    if (!d || !d->pMemory || d->locks <= 0) return STATUS_FAILED;
    if (--d->locks == 0 && d->released) d->id = MID_INVALID;
    return STATUS_OK;
}

Status DefaultMemoryAllocator::Free(MemID id) {
    AutomaticMutex guard(m_guard);
    Descriptor* d = Find(id);
    if (!d || !d->pMemory || d->released) return STATUS_FAILED;
    d->released = 1;
    if (d->locks == 0) d->id = MID_INVALID;
    return STATUS_OK;
}

Status DefaultMemoryAllocator::DeallocateMem(MemID id) {
    AutomaticMutex guard(m_guard);
    Descriptor* d = Find(id);
    if (!d || !d->pMemory) return STATUS_FAILED;
    d->released = 1;
    d->locks = 0;
    d->id = MID_INVALID;
    return STATUS_OK;
}

int32_t DefaultMemoryAllocator::GetDescriptorCount() {
    AutomaticMutex guard(m_guard);
    return m_count;
}

int32_t DefaultMemoryAllocator::GetDescriptorCapacity() {
    AutomaticMutex guard(m_guard);
    return m_capacity;
}

}  // namespace UMC
