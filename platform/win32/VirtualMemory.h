// Virtual memory (VirtualAlloc / VirtualFree) and the system information query, with the Win32
// names, flags and signatures. On Windows these are the system's own.
#pragma once

#include "platform/win32/WinTypes.h"

#ifndef _WIN32
inline constexpr DWORD MEM_COMMIT = 0x00001000;
inline constexpr DWORD MEM_RESERVE = 0x00002000;
inline constexpr DWORD MEM_DECOMMIT = 0x00004000;
inline constexpr DWORD MEM_RELEASE = 0x00008000;
inline constexpr DWORD PAGE_NOACCESS = 0x01;
inline constexpr DWORD PAGE_READONLY = 0x02;
inline constexpr DWORD PAGE_READWRITE = 0x04;

// Reserves and/or commits whole pages; committed pages read as zero. A null address asks the
// system to choose. Failure returns null with the last error set.
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
// MEM_RELEASE needs the base address returned by VirtualAlloc and size 0; MEM_DECOMMIT returns
// the pages of a range to the reserved state.
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

typedef struct _SYSTEM_INFO {
    union {
        DWORD dwOemId;
        struct {
            WORD wProcessorArchitecture;
            WORD wReserved;
        };
    };
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

inline constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
inline constexpr DWORD PROCESSOR_AMD_X8664 = 8664;

void GetSystemInfo(LPSYSTEM_INFO info);
#endif
