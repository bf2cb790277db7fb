// Receivers and buffers of media samples: a producer locks input space, fills it and unlocks it
// as a sample; a consumer locks the oldest sample, consumes it and unlocks it.
#pragma once

#include "SDKs/CodecFramework/core/MediaData.h"
#include "SDKs/CodecFramework/core/MemoryAllocator.h"

namespace UMC {

class MediaReceiverParams {
    UMC_ROOT_CLASS_IDENTITY(MediaReceiverParams)

public:
    virtual ~MediaReceiverParams() = default;
};

class MediaReceiver {
    UMC_ROOT_CLASS_IDENTITY(MediaReceiver)

public:
    virtual ~MediaReceiver() = default;
    virtual Status Init(MediaReceiverParams* params) = 0;
    virtual Status Close() = 0;
    virtual Status LockInputBuffer(MediaData* in) = 0;
    virtual Status UnLockInputBuffer(MediaData* in, Status streamStatus = STATUS_OK) = 0;
    virtual Status Stop() = 0;
    virtual Status Reset() = 0;
};

class MediaBufferParams : public MediaReceiverParams {
    UMC_CLASS_IDENTITY(MediaBufferParams, MediaReceiverParams)

public:
    size_t m_prefInputBufferSize = 0;
    uint32_t m_numberOfFrames = 0;
    size_t m_prefOutputBufferSize = 0;
    MemoryAllocator* m_pMemoryAllocator = nullptr;
};

class MediaBuffer : public MediaReceiver {
    UMC_CLASS_IDENTITY(MediaBuffer, MediaReceiver)

public:
    ~MediaBuffer() override;
    // Takes the params' allocator, or creates and owns a default one.
    Status Init(MediaReceiverParams* params) override;
    Status Close() override;
    virtual Status LockOutputBuffer(MediaData* out) = 0;
    virtual Status UnLockOutputBuffer(MediaData* out) = 0;

protected:
    MemoryAllocator* m_pMemoryAllocator = nullptr;
    MemoryAllocator* m_pAllocated = nullptr;
};

}  // namespace UMC
