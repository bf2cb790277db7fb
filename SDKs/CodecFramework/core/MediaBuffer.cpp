#include "SDKs/CodecFramework/core/MediaBuffer.h"

#include <new>

namespace UMC {

MediaBuffer::~MediaBuffer() {
    MediaBuffer::Close();
}

Status MediaBuffer::Init(MediaReceiverParams* params) {
    auto* p = DynamicCast<MediaBufferParams>(params);
    if (!p) return STATUS_NULL_PTR;
    delete m_pAllocated;
    m_pAllocated = nullptr;
    if (p->m_pMemoryAllocator) {
        m_pMemoryAllocator = p->m_pMemoryAllocator;
        return STATUS_OK;
    }
    m_pAllocated = new (std::nothrow) DefaultMemoryAllocator;
    if (!m_pAllocated) return STATUS_ALLOC_FAILED;
    m_pMemoryAllocator = m_pAllocated;
    return STATUS_OK;
}

Status MediaBuffer::Close() {
    delete m_pAllocated;
    m_pAllocated = nullptr;
    m_pMemoryAllocator = nullptr;
    return STATUS_OK;
}

}  // namespace UMC
