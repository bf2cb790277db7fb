// Whether a cross-built test runs under Wine, for the few checks of Windows' own rules where
// Wine answers differently (each says what Wine does).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace qm::test {

inline bool UnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

}  // namespace qm::test
