#include "VideoIO/DLL/ClassFactory.h"

#include "VideoIO/DLL/ServerLocks.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {

ClassFactory::ClassFactory(const RegisteredFilter& filter) : m_filter(filter) {
    AddServerObject();
}

ClassFactory::~ClassFactory() {
    RemoveServerObject();
}

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    QMCheckCondition(ppv != 0, E_POINTER);
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() {
    return ++m_cRef;
}

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
    const ULONG n = --m_cRef;
    if (n == 0) delete this;
    return n;
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                       void** ppv) {
    QMCheckCondition(ppv != 0, E_POINTER);
    *ppv = nullptr;
    // The filters' IUnknown cannot delegate to an outer object.
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    IBaseFilter* filter = nullptr;
    QMCheckHRESULT(m_filter.create(&filter));
    const HRESULT hr = filter->QueryInterface(riid, ppv);
    filter->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL fLock) {
    qm_MPEGDecoderFilters::LockServer(fLock != FALSE);
    return S_OK;
}

}  // namespace qm_MPEGDecoderFilters
