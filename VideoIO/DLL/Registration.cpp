#include "VideoIO/DLL/Registration.h"

#include <string>
#include <vector>

#include "VideoIO/DLL/RegisteredFilters.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {
namespace {

std::wstring ClsidKey(REFCLSID clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    const LONG e =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(e);
}

HRESULT WriteClassEntry(const RegisteredFilter& filter, const wchar_t* modulePath) {
    HKEY classKey = nullptr, serverKey = nullptr;
    LONG e = RegCreateKeyExW(HKEY_CLASSES_ROOT, ClsidKey(*filter.clsid).c_str(), 0, nullptr, 0,
                             KEY_WRITE, nullptr, &classKey, nullptr);
    QMCheckHRESULT(HRESULT_FROM_WIN32(e));
    HRESULT hr = SetString(classKey, nullptr, filter.name);
    if (SUCCEEDED(hr)) {
        e = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &serverKey, nullptr);
        hr = HRESULT_FROM_WIN32(e);
    }
    if (SUCCEEDED(hr)) hr = SetString(serverKey, nullptr, modulePath);
    if (SUCCEEDED(hr)) hr = SetString(serverKey, L"ThreadingModel", L"Both");
    if (serverKey) RegCloseKey(serverKey);
    RegCloseKey(classKey);
    QMCheckHRESULT(hr);
    return S_OK;
}

HRESULT RemoveClassEntry(const RegisteredFilter& filter) {
    const LONG e = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey(*filter.clsid).c_str());
    if (e == ERROR_FILE_NOT_FOUND) return S_OK;
    QMCheckHRESULT(HRESULT_FROM_WIN32(e));
    return S_OK;
}

std::vector<REGPINTYPES> PinTypes(const std::vector<PinType>& types) {
    std::vector<REGPINTYPES> pinTypes;
    for (const PinType& t : types) pinTypes.push_back({&t.major, &t.minor});
    return pinTypes;
}

HRESULT MapFilter(IFilterMapper2* mapper, const RegisteredFilter& filter) {
    const std::vector<PinType> inputs = filter.inputTypes();
    const std::vector<PinType> outputs = filter.outputTypes();
    const std::vector<REGPINTYPES> inputTypes = PinTypes(inputs);
    const std::vector<REGPINTYPES> outputTypes = PinTypes(outputs);
    REGFILTERPINS2 pins[2] = {};
    pins[0].cInstances = 1;
    pins[0].nMediaTypes = UINT(inputTypes.size());
    pins[0].lpMediaType = inputTypes.data();
    pins[1].dwFlags = REG_PINFLAG_B_OUTPUT;
    pins[1].cInstances = 1;
    pins[1].nMediaTypes = UINT(outputTypes.size());
    pins[1].lpMediaType = outputTypes.data();
    REGFILTER2 description = {};
    description.dwVersion = 2;
    description.dwMerit = kDecoderMerit;
    description.cPins2 = 2;
    description.rgPins2 = pins;
    QMCheckHRESULT(mapper->RegisterFilter(*filter.clsid, filter.name, nullptr,
                                          &CLSID_LegacyAmFilterCategory, nullptr, &description));
    return S_OK;
}

// COM for the filter mapper, in whatever apartment the caller (regsvr32, an installer) has.
class ComScope {
public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }

private:
    HRESULT m_hr;
};

template <class Step>
HRESULT ForEachFilterWithMapper(Step step) {
    ComScope com;
    IFilterMapper2* mapper = nullptr;
    QMCheckHRESULT(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IFilterMapper2, reinterpret_cast<void**>(&mapper)));
    HRESULT hr = S_OK;
    for (const RegisteredFilter& filter : RegisteredFilters()) {
        hr = step(mapper, filter);
        if (FAILED(hr)) break;
    }
    mapper->Release();
    return hr;
}

}  // namespace

HRESULT RegisterFilters(const wchar_t* modulePath) {
    QMCheckCondition(modulePath != 0, E_POINTER);
    return ForEachFilterWithMapper([modulePath](IFilterMapper2* mapper, const RegisteredFilter& f) {
        QMCheckHRESULT(WriteClassEntry(f, modulePath));
        return MapFilter(mapper, f);
    });
}

HRESULT UnregisterFilters() {
    return ForEachFilterWithMapper([](IFilterMapper2* mapper, const RegisteredFilter& f) {
        const HRESULT hr =
            mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *f.clsid);
        // Not registered (or registered only as a class): nothing to remove from the mapper.
        if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) QMLogHRESULT(hr);
        return RemoveClassEntry(f);
    });
}

}  // namespace qm_MPEGDecoderFilters
