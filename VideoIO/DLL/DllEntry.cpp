// The COM server entry points of qm_MPEGDecoderFilters.dll.
#include <windows.h>

#include <new>
#include <string>

#include "VideoIO/DLL/ClassFactory.h"
#include "VideoIO/DLL/Registration.h"
#include "VideoIO/DLL/ServerLocks.h"
#include "diagnostics/CheckForms.h"

using namespace qm_MPEGDecoderFilters;

namespace {

// The full path of this DLL (what InprocServer32 must name), or an empty string.
std::wstring ModulePath() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&ModulePath), &module))
        return {};
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    QMCheckCondition(ppv != 0, E_POINTER);
    *ppv = nullptr;
    const RegisteredFilter* filter = FindRegisteredFilter(rclsid);
    if (!filter) return CLASS_E_CLASSNOTAVAILABLE;
    ClassFactory* factory = new (std::nothrow) ClassFactory(*filter);
    QMCheckCondition(factory != 0, E_OUTOFMEMORY);
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow() {
    return ServerCanUnload() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    const std::wstring path = ModulePath();
    QMCheckCondition(!path.empty(), E_FAIL);
    return RegisterFilters(path.c_str());
}

STDAPI DllUnregisterServer() {
    return UnregisterFilters();
}

}  // extern "C"
