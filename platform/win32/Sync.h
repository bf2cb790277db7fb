// Critical sections, events, semaphores and waits with the Win32 names and signatures. On Windows
// these are the system's own.
#pragma once

#include "platform/win32/WinTypes.h"

#ifndef _WIN32

// Recursive lock; the storage holds the implementation (constructed by Initialize...).
typedef struct _RTL_CRITICAL_SECTION {
    alignas(8) unsigned char storage[64];
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);

typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Events: manual-reset events stay signalled until reset; auto-reset events release one waiter.
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCWSTR name);
#define CreateEvent CreateEventW
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount,
                        LPCWSTR name);
#define CreateSemaphore CreateSemaphoreW
BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount);

DWORD GetCurrentThreadId();
void Sleep(DWORD milliseconds);

// Waits on an event or a semaphore. A wait that succeeds consumes an auto-reset event or one
// semaphore count.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);

#endif
