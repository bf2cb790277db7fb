// The COM object roots of the filter base classes: CBaseObject (a named object, counted while
// alive) and CUnknown (reference counting and QueryInterface with aggregation support). A class
// derives from CUnknown, puts DECLARE_IUNKNOWN in its body and overrides
// NonDelegatingQueryInterface, answering its own IIDs with GetInterface and passing the rest on.
#pragma once

#include <atomic>

#include "platform/com/Unknown.h"
#include "platform/win32/WinError.h"

// IUnknown's methods under other names, so that an aggregated object can answer its own
// identity while its IUnknown methods forward to the outer object.
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;

protected:
    ~INonDelegatingUnknown() = default;
};
typedef INonDelegatingUnknown* PNDUNKNOWN;

// A named object; counts the live objects of every class (ObjectsActive) to find leaks.
class CBaseObject {
public:
    explicit CBaseObject(LPCTSTR pName);
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
    virtual ~CBaseObject();

    static LONG ObjectsActive();
    LPCTSTR Name() const { return m_pName; }

protected:
    LPCTSTR m_pName;  // not copied: callers pass literals

private:
    static std::atomic<LONG> m_cObjects;
};

// Reference counting starts at 0: the creator takes the first reference. The object deletes
// itself when the count falls back to 0. With an outer unknown (aggregation) the IUnknown
// methods of DECLARE_IUNKNOWN forward to it.
class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    CUnknown(LPCTSTR pName, LPUNKNOWN pUnk);
    CUnknown(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr);
    ~CUnknown() override = default;

    // The object that callers' IUnknown calls go to.
    LPUNKNOWN GetOwner() const { return m_pUnknown; }

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

protected:
    std::atomic<LONG> m_cRef;

private:
    // The non-delegating IUnknown as a real IUnknown: the owner when nobody aggregates us, and
    // what an aggregator receives for IID_IUnknown.
    struct Inner final : IUnknown {
        CUnknown* self;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return self->NonDelegatingQueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return self->NonDelegatingAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return self->NonDelegatingRelease(); }
    };
    Inner m_inner;
    const LPUNKNOWN m_pUnknown;
};

// Hands out pUnk as *ppv with a reference (the usual tail of NonDelegatingQueryInterface).
HRESULT GetInterface(LPUNKNOWN pUnk, void** ppv);

// The IUnknown methods of a class deriving from CUnknown, forwarding to the owner.
#define DECLARE_IUNKNOWN                                                         \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { \
        return GetOwner()->QueryInterface(riid, ppv);                            \
    }                                                                            \
    ULONG STDMETHODCALLTYPE AddRef() override {                                  \
        return GetOwner()->AddRef();                                             \
    }                                                                            \
    ULONG STDMETHODCALLTYPE Release() override {                                 \
        return GetOwner()->Release();                                            \
    }

#define NAME(x) TEXT(x)
