#include "platform/win32/Sync.h"

#ifndef _WIN32
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "platform/win32/LastError.h"
#include "platform/win32/WinError.h"

namespace {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::storage));

std::recursive_mutex& Mutex(LPCRITICAL_SECTION cs) {
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(cs->storage));
}

// Every waitable object shares one lock and one condition: waits on several objects at once are
// then simple, and the objects are few and lightly used.
// Never destroyed: detached threads may still signal while the process exits.
std::mutex& g_lock = *new std::mutex;
std::condition_variable& g_changed = *new std::condition_variable;

enum class Kind { Event, Semaphore, Thread };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    Kind kind;
    int refs = 1;  // the handle, plus the running thread for thread objects
    // Event: signalled, manualReset. Semaphore: count, maximum. Thread: signalled when ended.
    bool signalled = false;
    bool manualReset = false;
    LONG count = 0;
    LONG maximum = 0;
    bool suspended = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD threadId = 0;
};

// Caller holds g_lock.
void Unref(Object* o) {
    if (--o->refs == 0) delete o;
}

bool IsSignalled(const Object* o) {
    return o->kind == Kind::Semaphore ? o->count > 0 : o->signalled;
}

// Caller holds g_lock; the object is signalled.
void Consume(Object* o) {
    if (o->kind == Kind::Semaphore)
        --o->count;
    else if (o->kind == Kind::Event && !o->manualReset)
        o->signalled = false;
}

Object* FromHandle(HANDLE h) {
    return static_cast<Object*>(h);
}

std::atomic<DWORD> g_nextThreadId{1};
thread_local DWORD t_threadId = 0;

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    new (cs->storage) std::recursive_mutex;
}
void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    Mutex(cs).~recursive_mutex();
}
void EnterCriticalSection(LPCRITICAL_SECTION cs) {
    Mutex(cs).lock();
}
void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    Mutex(cs).unlock();
}
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    return Mutex(cs).try_lock() ? TRUE : FALSE;
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR) {
    Object* o = new (std::nothrow) Object(Kind::Event);
    if (!o) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    o->manualReset = manualReset != FALSE;
    o->signalled = initialState != FALSE;
    return o;
}

BOOL SetEvent(HANDLE event) {
    Object* o = FromHandle(event);
    if (!o || o->kind != Kind::Event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(g_lock);
        o->signalled = true;
    }
    g_changed.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    Object* o = FromHandle(event);
    if (!o || o->kind != Kind::Event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(g_lock);
    o->signalled = false;
    return TRUE;
}

HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCWSTR) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Object* o = new (std::nothrow) Object(Kind::Semaphore);
    if (!o) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    o->count = initialCount;
    o->maximum = maximumCount;
    return o;
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount) {
    Object* o = FromHandle(semaphore);
    if (!o || o->kind != Kind::Semaphore) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (releaseCount <= 0 || releaseCount > o->maximum - o->count) {
            SetLastError(ERROR_TOO_MANY_POSTS);
            return FALSE;
        }
        if (previousCount) *previousCount = o->count;
        o->count += releaseCount;
    }
    g_changed.notify_all();
    return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD creationFlags, LPDWORD threadId) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Object* o = new (std::nothrow) Object(Kind::Thread);
    if (!o) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    o->refs = 2;
    o->suspended = (creationFlags & CREATE_SUSPENDED) != 0;
    o->threadId = g_nextThreadId++;
    if (threadId) *threadId = o->threadId;
    try {
        std::thread([o, start, parameter] {
            {
                std::unique_lock<std::mutex> lock(g_lock);
                g_changed.wait(lock, [o] { return !o->suspended; });
            }
            t_threadId = o->threadId;
            DWORD code = start(parameter);
            {
                std::lock_guard<std::mutex> lock(g_lock);
                o->exitCode = code;
                o->signalled = true;
                Unref(o);
            }
            g_changed.notify_all();
        }).detach();
    } catch (...) {
        delete o;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return o;
}

DWORD ResumeThread(HANDLE thread) {
    Object* o = FromHandle(thread);
    if (!o || o->kind != Kind::Thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return DWORD(-1);
    }
    DWORD previous;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        previous = o->suspended ? 1 : 0;
        o->suspended = false;
    }
    g_changed.notify_all();
    return previous;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    Object* o = FromHandle(thread);
    if (!o || o->kind != Kind::Thread || !exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(g_lock);
    *exitCode = o->exitCode;
    return TRUE;
}

DWORD GetCurrentThreadId() {
    if (t_threadId == 0) t_threadId = g_nextThreadId++;
    return t_threadId;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    for (DWORD i = 0; i < count; ++i)
        if (!handles[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    std::unique_lock<std::mutex> lock(g_lock);
    // Returns the index that satisfied the wait, or count when none did yet.
    auto ready = [&]() -> DWORD {
        if (waitAll) {
            for (DWORD i = 0; i < count; ++i)
                if (!IsSignalled(FromHandle(handles[i]))) return count;
            for (DWORD i = 0; i < count; ++i) Consume(FromHandle(handles[i]));
            return 0;
        }
        for (DWORD i = 0; i < count; ++i)
            if (IsSignalled(FromHandle(handles[i]))) {
                Consume(FromHandle(handles[i]));
                return i;
            }
        return count;
    };
    DWORD index = ready();
    if (index < count) return WAIT_OBJECT_0 + index;
    if (milliseconds == 0) return WAIT_TIMEOUT;
    if (milliseconds == INFINITE) {
        g_changed.wait(lock, [&] { return (index = ready()) < count; });
        return WAIT_OBJECT_0 + index;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    if (g_changed.wait_until(lock, deadline, [&] { return (index = ready()) < count; }))
        return WAIT_OBJECT_0 + index;
    return WAIT_TIMEOUT;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

BOOL CloseHandle(HANDLE handle) {
    Object* o = FromHandle(handle);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(g_lock);
    Unref(o);
    return TRUE;
}
#endif
