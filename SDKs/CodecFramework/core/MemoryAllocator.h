// Memory by numeric identifier: Alloc hands out an identifier, Lock maps it to an aligned address.
// Identifiers only grow; released blocks keep their memory for later requests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SDKs/CodecFramework/core/ClassIdentity.h"
#include "SDKs/CodecFramework/core/Mutex.h"
#include "SDKs/CodecFramework/core/Status.h"

namespace UMC {

typedef int32_t MemID;
inline constexpr MemID MID_INVALID = 0;

class MemoryAllocatorParams {
    UMC_ROOT_CLASS_IDENTITY(MemoryAllocatorParams)

public:
    virtual ~MemoryAllocatorParams() = default;
};

class MemoryAllocator {
    UMC_ROOT_CLASS_IDENTITY(MemoryAllocator)

public:
    virtual ~MemoryAllocator() = default;
    virtual Status Init(MemoryAllocatorParams* params) = 0;
    virtual Status Close() = 0;
    virtual Status Alloc(MemID* id, size_t size, uint32_t flags, uint32_t alignment = 16) = 0;
    virtual void* Lock(MemID id) = 0;
    virtual Status Unlock(MemID id) = 0;
    virtual Status Free(MemID id) = 0;
    virtual Status DeallocateMem(MemID id) = 0;
};

class DefaultMemoryAllocator : public MemoryAllocator {
    UMC_CLASS_IDENTITY(DefaultMemoryAllocator, MemoryAllocator)

public:
    DefaultMemoryAllocator() = default;
    ~DefaultMemoryAllocator() override;
    DefaultMemoryAllocator(const DefaultMemoryAllocator&) = delete;
    DefaultMemoryAllocator& operator=(const DefaultMemoryAllocator&) = delete;

    Status Init(MemoryAllocatorParams* params) override;
    Status Close() override;
    // Alignment: a power of two up to 0x100000. Flags are not used.
    Status Alloc(MemID* id, size_t size, uint32_t flags, uint32_t alignment = 16) override;
    void* Lock(MemID id) override;
    Status Unlock(MemID id) override;
    // A locked block becomes free at its last Unlock.
    Status Free(MemID id) override;
    // Releases the block even while locked.
    Status DeallocateMem(MemID id) override;

    struct Descriptor {
        uint8_t* pMemory;  // raw memory from spAlloc8u
        size_t size;       // allocated size (request + alignment)
        MemID id;          // 0: descriptor free
        uint32_t alignment;
        int32_t locks;
        int32_t released;
    };

    // For tests: descriptors in use and the table's capacity.
    int32_t GetDescriptorCount();
    int32_t GetDescriptorCapacity();

private:
    Descriptor* Find(MemID id);
    void CloseLocked();

    Mutex m_guard;
    Descriptor* m_memInfo = nullptr;
    int32_t m_capacity = 0;
    int32_t m_count = 0;
    MemID m_lastId = 0;
};

}  // namespace UMC
