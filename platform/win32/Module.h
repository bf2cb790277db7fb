// Run-time loading of a library and lookup of its exports (LoadLibraryW, GetProcAddress,
// FreeLibrary). Elsewhere than Windows, "name.dll" is looked up as given, then as "name.so"
// and as "libname.so".
#pragma once

#include "platform/win32/WinTypes.h"

#ifndef _WIN32
HMODULE LoadLibraryW(LPCWSTR fileName);
#define LoadLibrary LoadLibraryW
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
#endif
