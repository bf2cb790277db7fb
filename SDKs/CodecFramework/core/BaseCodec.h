// The codec interface that every decoder and post-processing stage implements.
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/core/MediaData.h"
#include "SDKs/CodecFramework/core/MemoryAllocator.h"

namespace UMC {

class BaseCodecParams {
    UMC_ROOT_CLASS_IDENTITY(BaseCodecParams)

public:
    BaseCodecParams() = default;
    virtual ~BaseCodecParams() = default;

    MediaData* m_pData = nullptr;                  // the first bytes of the stream, or null
    MemoryAllocator* lpMemoryAllocator = nullptr;  // null: the codec creates its own
    uint64_t m_reserved = 0;
    int32_t numThreads = 0;  // 0: the codec chooses
    int32_t profile = 0;
    int32_t level = 0;
};

class BaseCodec {
    UMC_ROOT_CLASS_IDENTITY(BaseCodec)

public:
    BaseCodec() = default;
    BaseCodec(const BaseCodec&) = delete;
    BaseCodec& operator=(const BaseCodec&) = delete;
    virtual ~BaseCodec();

    // Adopts the allocator named in params or creates (and owns) a default one.
    virtual Status Init(BaseCodecParams* params);
    virtual Status GetFrame(MediaData* input, MediaData* output) = 0;
    virtual Status GetInfo(BaseCodecParams* info);
    virtual Status Close();
    virtual Status Reset() = 0;
    virtual Status SetParams(BaseCodecParams* params);

    MemoryAllocator* GetMemoryAllocator() const { return m_pMemoryAllocator; }
    bool OwnsMemoryAllocator() const { return m_bOwnAllocator; }

protected:
    MemoryAllocator* m_pMemoryAllocator = nullptr;
    bool m_bOwnAllocator = false;
};

}  // namespace UMC
