#include "VideoIO/FilterUtil/MemoryBufferInfo.h"

#include <algorithm>
#include <new>

#include "diagnostics/CheckForms.h"
#include "platform/win32/VirtualMemory.h"

namespace qm_DSFilters {

MemoryBufferInfo::~MemoryBufferInfo() {
    FreeAll();
}

HRESULT MemoryBufferInfo::SetChunkSize(uint64_t size) {
    if (size == m_chunkSize) return S_OK;
    QMCheckCondition(IsEmpty(), E_UNEXPECTED);
    m_chunkSize = size;
    return S_OK;
}

void MemoryBufferInfo::RecomputeLargest() {
    m_largestFreeBlock = 0;
    for (const auto& b : m_buffers)
        m_largestFreeBlock = std::max(m_largestFreeBlock, b->GetLargestFreeBlock());
}

HRESULT MemoryBufferInfo::AddMemoryBuffer(uint64_t minimumSize) {
    const uint64_t size = std::max(minimumSize, m_chunkSize);
    QMCheckCondition(size > 0, E_INVALIDARG);
    BYTE* p = nullptr;
    if (size <= uint64_t(SIZE_T(-1)))
        p = static_cast<BYTE*>(VirtualAlloc(nullptr, SIZE_T(size), MEM_COMMIT, PAGE_READWRITE));
    else
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    if (!p) {
        const HRESULT hr = qm::HResultFromSystemError(int32_t(GetLastError()));
        const HRESULT result = FAILED(hr) ? hr : E_OUTOFMEMORY;
        if (QM_REPORTING())
            qm_log::_reportW(0, 1, __FILE__, __LINE__,
                             TEXT("Failed to allocate memory %d bytes 0x%08x (allocated size "
                                  "%I64d, number of buffers %d)"),
                             int(size), unsigned(result), int64_t(m_allocatedSize),
                             int(m_buffers.size()));
        return result;
    }
    auto buffer = std::unique_ptr<MemoryBuffer>(new (std::nothrow) MemoryBuffer(p, size));
    if (!buffer) {
        VirtualFree(p, 0, MEM_RELEASE);
        return QMLogHRESULT(E_OUTOFMEMORY);
    }
    m_buffers.push_back(std::move(buffer));
    m_allocatedSize += size;
    m_freeBytes += size;
    m_largestFreeBlock = std::max(m_largestFreeBlock, size);
    return S_OK;
}

HRESULT MemoryBufferInfo::Allocate(uint64_t size, BYTE** ppAddress) {
    QMCheckCondition(ppAddress != 0, E_POINTER);
    *ppAddress = nullptr;
    for (const auto& b : m_buffers) {
        const HRESULT hr = b->Allocate(size, ppAddress);
        if (FAILED(hr)) return hr;
        if (hr == S_OK) {
            RecomputeLargest();
            m_freeBytes -= size;
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT MemoryBufferInfo::Free(BYTE* pAddress, uint64_t size) {
    for (const auto& b : m_buffers) {
        if (pAddress >= b->GetBuffer() && pAddress < b->GetBuffer() + b->GetSize()) {
            QMCheckHRESULT(b->Free(pAddress, size));
            RecomputeLargest();
            m_freeBytes += size;
            return S_OK;
        }
    }
    return QMLogHRESULT(E_INVALIDARG);
}

HRESULT MemoryBufferInfo::FreeAll() {
    for (const auto& b : m_buffers) {
        if (!VirtualFree(b->GetBuffer(), 0, MEM_RELEASE))
            QMLogHRESULT(qm::HResultFromSystemError(int32_t(GetLastError())));
    }
    m_buffers.clear();
    m_allocatedSize = 0;
    m_largestFreeBlock = 0;
    m_freeBytes = 0;
    return S_OK;
}

}  // namespace qm_DSFilters
