// The class factory DllGetClassObject hands out for one of the DLL's filters.
#pragma once

#include <atomic>

#include "VideoIO/DLL/RegisteredFilters.h"

namespace qm_MPEGDecoderFilters {

class ClassFactory final : public IClassFactory {
public:
    // Starts with one reference, owned by the caller.
    explicit ClassFactory(const RegisteredFilter& filter);
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

private:
    ~ClassFactory();

    const RegisteredFilter& m_filter;
    std::atomic<ULONG> m_cRef{1};
};

}  // namespace qm_MPEGDecoderFilters
