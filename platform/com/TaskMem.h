// The COM task allocator (CoTaskMemAlloc / CoTaskMemFree): media types and strings handed across
// interfaces are allocated with it so that the receiver can free them.
#pragma once

#include "platform/win32/WinTypes.h"

#ifdef _WIN32
#include <objbase.h>
#else
LPVOID CoTaskMemAlloc(SIZE_T size);
void CoTaskMemFree(LPVOID p);
LPVOID CoTaskMemRealloc(LPVOID p, SIZE_T size);
#endif
