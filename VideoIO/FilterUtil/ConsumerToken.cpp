#include "VideoIO/FilterUtil/ConsumerToken.h"

#include <new>

#include "diagnostics/CheckForms.h"

namespace qm_DSFilters {

HRESULT STDMETHODCALLTYPE ConsumerToken::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConsumerToken)) {
        *ppv = static_cast<IConsumerToken*>(this);
    } else if (IsEqualIID(riid, IID_IConsumerTokenPrivate)) {
        *ppv = static_cast<IConsumerTokenPrivate*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE ConsumerToken::AddRef() {
    return ULONG(++m_cRef);
}

ULONG STDMETHODCALLTYPE ConsumerToken::Release() {
    const LONG count = --m_cRef;
    if (count == 0) delete this;
    return ULONG(count < 0 ? 0 : count);
}

HRESULT STDMETHODCALLTYPE ConsumerToken::SetState(FILTER_STATE state) {
    m_state.store(LONG(state));
    return S_OK;
}

HRESULT CreateConsumerToken(LONG number, IConsumerToken** ppConsumerToken) {
    QMCheckCondition(ppConsumerToken != 0, E_POINTER);
    *ppConsumerToken = new (std::nothrow) ConsumerToken(number);
    QMCheckCondition(*ppConsumerToken != 0, E_OUTOFMEMORY);
    return S_OK;
}

}  // namespace qm_DSFilters
