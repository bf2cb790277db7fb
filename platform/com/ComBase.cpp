#include "platform/com/ComBase.h"

std::atomic<LONG> CBaseObject::m_cObjects{0};

CBaseObject::CBaseObject(LPCTSTR pName) : m_pName(pName) {
    ++m_cObjects;
}

CBaseObject::~CBaseObject() {
    --m_cObjects;
}

LONG CBaseObject::ObjectsActive() {
    return m_cObjects.load();
}

CUnknown::CUnknown(LPCTSTR pName, LPUNKNOWN pUnk)
    : CBaseObject(pName), m_cRef(0), m_pUnknown(pUnk != nullptr ? pUnk : &m_inner) {
    m_inner.self = this;
}

CUnknown::CUnknown(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT*) : CUnknown(pName, pUnk) {}

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
        // The inner IUnknown, so that an aggregator can control our lifetime.
        NonDelegatingAddRef();
        *ppv = static_cast<IUnknown*>(&m_inner);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() {
    return ULONG(++m_cRef);
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
    const LONG count = --m_cRef;
    if (count == 0) {
        // Guards against a re-entrant AddRef/Release pair in the destructor deleting us twice.
        m_cRef = 1;
        delete this;
        return 0;
    }
    return ULONG(count);
}

HRESULT GetInterface(LPUNKNOWN pUnk, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = pUnk;
    pUnk->AddRef();
    return S_OK;
}
