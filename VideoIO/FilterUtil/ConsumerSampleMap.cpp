#include "VideoIO/FilterUtil/ConsumerSampleMap.h"

#include <algorithm>

#include "VideoIO/FilterUtil/QMMediaSample.h"
#include "diagnostics/CheckForms.h"

namespace qm_DSFilters {

ConsumerSampleMap::ConsumerSampleMap(IMemAllocator* pAllocator, LPCTSTR name,
                                     CCritSec* pAllocatorLock)
    : m_pAllocator(pAllocator), m_name(name), m_pAllocatorLock(pAllocatorLock) {}

HRESULT ConsumerSampleMap::AddReleasedSample(QMMediaSample* pQMMediaSample) {
    QMCheckCondition(pQMMediaSample != 0, E_POINTER);
    QMCheckCondition(pQMMediaSample->GetRefCount() == 0, E_UNEXPECTED);
    CAutoLock lock(&m_lock);
    if (std::find(m_freeList.begin(), m_freeList.end(), pQMMediaSample) == m_freeList.end())
        m_freeList.push_back(pQMMediaSample);
    return S_OK;
}

LONG ConsumerSampleMap::GetFreeCount() const {
    CAutoLock lock(&m_lock);
    return LONG(m_freeList.size());
}

bool ConsumerSampleMap::IsFree(const QMMediaSample* pQMMediaSample) const {
    CAutoLock lock(&m_lock);
    return std::find(m_freeList.begin(), m_freeList.end(), pQMMediaSample) != m_freeList.end();
}

HRESULT ConsumerSampleMap::PopFreeSample(QMMediaSample** ppQMMediaSample) {
    QMCheckCondition(ppQMMediaSample != 0, E_POINTER);
    *ppQMMediaSample = nullptr;
    CAutoLock lock(&m_lock);
    // clang-format off
    QMCheckCondition(! m_freeList.empty(), E_UNEXPECTED);
    // clang-format on
    *ppQMMediaSample = m_freeList.back();
    m_freeList.pop_back();
    return S_OK;
}

HRESULT ConsumerSampleMap::RemoveFreeSample(QMMediaSample* pQMMediaSample) {
    CAutoLock lock(&m_lock);
    const auto it = std::find(m_freeList.begin(), m_freeList.end(), pQMMediaSample);
    if (it == m_freeList.end()) return S_FALSE;
    m_freeList.erase(it);
    return S_OK;
}

std::vector<QMMediaSample*> ConsumerSampleMap::GetFreeSamples() const {
    CAutoLock lock(&m_lock);
    return m_freeList;
}

HRESULT ConsumerSampleMap::ReclaimOldestSample(QMMediaSample** ppQMMediaSample) {
    QMCheckCondition(ppQMMediaSample != 0, E_POINTER);
    *ppQMMediaSample = nullptr;
    return S_FALSE;
}

void ConsumerSampleMap::Clear() {
    CAutoLock lock(&m_lock);
    m_freeList.clear();
}

void ConsumerSampleMap::Start() {
    CAutoLock lock(&m_lock);
    m_started = true;
}

void ConsumerSampleMap::Stop() {
    CAutoLock lock(&m_lock);
    m_started = false;
}

bool ConsumerSampleMap::IsStarted() const {
    CAutoLock lock(&m_lock);
    return m_started;
}

void ConsumerSampleMap::SetStreamKind(uint32_t streamKind) {
    CAutoLock lock(&m_lock);
    m_streamKind = streamKind;
}

uint32_t ConsumerSampleMap::GetStreamKind() const {
    CAutoLock lock(&m_lock);
    return m_streamKind;
}

}  // namespace qm_DSFilters
