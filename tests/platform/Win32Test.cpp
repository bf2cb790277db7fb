#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/win32/LastError.h"
#include "platform/win32/Module.h"
#include "platform/win32/Sync.h"
#include "platform/win32/VirtualMemory.h"
#include "platform/win32/WinError.h"
#include "tests/support/Wine.h"

namespace {

TEST(Win32Events, AutoResetReleasesOneWaitManualResetStays) {
    HANDLE autoEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    HANDLE manualEvent = CreateEvent(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(autoEvent, nullptr);
    ASSERT_NE(manualEvent, nullptr);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
    SetEvent(autoEvent);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);  // consumed by the first wait
    EXPECT_EQ(WaitForSingleObject(manualEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manualEvent, 0), WAIT_OBJECT_0);
    ResetEvent(manualEvent);
    EXPECT_EQ(WaitForSingleObject(manualEvent, 1), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(autoEvent));
    EXPECT_TRUE(CloseHandle(manualEvent));
}

TEST(Win32Sync, SemaphoreCountsAndCriticalSectionIsRecursive) {
    HANDLE sem = CreateSemaphore(nullptr, 1, 2, nullptr);
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_TIMEOUT);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(sem, 2, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(ReleaseSemaphore(sem, 1, nullptr));  // past the maximum
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    CloseHandle(sem);
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
}

TEST(Win32VirtualMemory, CommitReleaseDecommitAndBadArguments) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_EQ(info.dwAllocationGranularity, 65536u);
    ASSERT_GT(info.dwPageSize, 0u);
    auto* p = static_cast<BYTE*>(VirtualAlloc(nullptr, 100000, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % info.dwPageSize, 0u);
    for (int i = 0; i < 100000; ++i) ASSERT_EQ(p[i], 0);
    std::memset(p, 0xAB, 100000);
    EXPECT_TRUE(VirtualFree(p, 0, MEM_DECOMMIT));
    ASSERT_EQ(VirtualAlloc(p, 100000, MEM_COMMIT, PAGE_READWRITE), p);
    EXPECT_EQ(p[5], 0);            // decommitted pages come back zeroed
    if (!qm::test::UnderWine()) {  // Wine releases the region from any address inside it
        EXPECT_FALSE(VirtualFree(p + 1, 0, MEM_RELEASE));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));
    SetLastError(0);
    EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // Far beyond the address space.
    EXPECT_EQ(VirtualAlloc(nullptr, SIZE_T(1) << 60, MEM_COMMIT, PAGE_READWRITE), nullptr);
    // Wine calls the size an invalid parameter.
    EXPECT_EQ(GetLastError(), qm::test::UnderWine() ? DWORD(ERROR_INVALID_PARAMETER)
                                                    : DWORD(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(Win32Modules, MissingLibraryAndExportSetTheLastError) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(TEXT("qm_no_such_library.dll")), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
#ifdef _WIN32
    HMODULE libc = LoadLibraryW(TEXT("msvcrt.dll"));
#else
    HMODULE libc = LoadLibraryW(TEXT("libc.so.6"));
#endif
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(GetProcAddress(libc, "strlen"), nullptr);
    EXPECT_EQ(GetProcAddress(libc, "qm_no_such_export"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(libc));
}

}  // namespace
