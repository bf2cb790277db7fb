#include "VideoIO/MPEGDecoderFilters/DecoderPins.h"

#include "VideoIO/FilterUtil/QMMemAllocator.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {

DecoderInputPin::DecoderInputPin(LPCTSTR objectName, CTransformFilter* pFilter, HRESULT* phr)
    : CTransformInputPin(objectName, pFilter, phr, TEXT("in0")) {}

HRESULT STDMETHODCALLTYPE DecoderInputPin::GetAllocator(IMemAllocator** ppAllocator) {
    QMCheckCondition(ppAllocator != 0, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_pAllocator == nullptr) {
        QMCheckHRESULT(qm_DSFilters::CreateQMMemAllocator(&m_mt, m_pName, &m_pAllocator));
        QMCheckCondition(m_pAllocator != 0, E_OUTOFMEMORY);
    }
    m_pAllocator->AddRef();
    *ppAllocator = m_pAllocator;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DecoderInputPin::NotifyAllocator(IMemAllocator* pAllocator,
                                                           BOOL bReadOnly) {
    QMCheckCondition(pAllocator != 0, E_POINTER);
    return CTransformInputPin::NotifyAllocator(pAllocator, bReadOnly);
}

DecoderOutputPin::DecoderOutputPin(LPCTSTR objectName, CTransformFilter* pFilter, HRESULT* phr)
    : CTransformOutputPin(objectName, pFilter, phr, TEXT("out0")) {}

DecoderOutputPin::~DecoderOutputPin() = default;

}  // namespace qm_MPEGDecoderFilters
