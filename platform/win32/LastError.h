// The calling thread's last system error (GetLastError / SetLastError).
#pragma once

#include "platform/win32/WinTypes.h"

#ifndef _WIN32
DWORD GetLastError();
void SetLastError(DWORD error);
#endif
