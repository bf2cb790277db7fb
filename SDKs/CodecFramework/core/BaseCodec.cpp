#include "SDKs/CodecFramework/core/BaseCodec.h"

#include <new>

namespace UMC {

BaseCodec::~BaseCodec() {
    if (m_bOwnAllocator) delete m_pMemoryAllocator;
    m_pMemoryAllocator = nullptr;
    m_bOwnAllocator = false;
}

Status BaseCodec::Init(BaseCodecParams* params) {
    if (!params) return STATUS_NULL_PTR;
    if (params->lpMemoryAllocator) {
        if (m_bOwnAllocator && m_pMemoryAllocator != params->lpMemoryAllocator)
            return STATUS_INIT_FAILED;
        m_pMemoryAllocator = params->lpMemoryAllocator;
        m_bOwnAllocator = false;
        return STATUS_OK;
    }
    if (m_pMemoryAllocator) return m_bOwnAllocator ? STATUS_OK : STATUS_INIT_FAILED;
    m_pMemoryAllocator = new (std::nothrow) DefaultMemoryAllocator;
    if (!m_pMemoryAllocator) return STATUS_ALLOC_FAILED;
    m_bOwnAllocator = true;
    return STATUS_OK;
}

Status BaseCodec::GetInfo(BaseCodecParams* info) {
    if (!info) return STATUS_NULL_PTR;
    if (!m_bOwnAllocator) info->lpMemoryAllocator = m_pMemoryAllocator;
    return STATUS_OK;
}

Status BaseCodec::Close() {
    if (m_bOwnAllocator) delete m_pMemoryAllocator;
    m_pMemoryAllocator = nullptr;
    m_bOwnAllocator = false;
    return STATUS_OK;
}

Status BaseCodec::SetParams(BaseCodecParams* params) {
    return params ? STATUS_NOT_IMPLEMENTED : STATUS_NULL_PTR;
}

}  // namespace UMC
