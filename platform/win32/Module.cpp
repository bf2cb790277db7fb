#include "platform/win32/Module.h"

#ifndef _WIN32
#include <dlfcn.h>

#include <cctype>
#include <string>

#include "platform/win32/LastError.h"
#include "platform/win32/Utf8.h"
#include "platform/win32/WinError.h"

HMODULE LoadLibraryW(LPCWSTR fileName) {
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name = qm::WideToUtf8(fileName);
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && name.size() > 4) {
        std::string lower = name.substr(name.size() - 4);
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (lower == ".dll") {
            std::string so = name.substr(0, name.size() - 4) + ".so";
            const size_t slash = so.find_last_of('/');
            // Our own libraries keep their names without the prefix.
            handle = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                so.insert(slash == std::string::npos ? 0 : slash + 1, "lib");
                handle = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
            }
        }
    }
    if (!handle) SetLastError(ERROR_MOD_NOT_FOUND);
    return handle;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (!module || !procName) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = dlsym(module, procName);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    if (!module || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
#endif
