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

// Every waitable object shares one lock and one condition: the objects are few and lightly used.
// Never destroyed: threads may still signal while the process exits.
std::mutex& g_lock = *new std::mutex;
std::condition_variable& g_changed = *new std::condition_variable;

enum class Kind { Event, Semaphore };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    Kind kind;
    int refs = 1;
    // Event: signalled, manualReset. Semaphore: count, maximum.
    bool signalled = false;
    bool manualReset = false;
    LONG count = 0;
    LONG maximum = 0;
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
    else if (!o->manualReset)
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

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    Object* o = FromHandle(handle);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::unique_lock<std::mutex> lock(g_lock);
    auto ready = [o] {
        if (!IsSignalled(o)) return false;
        Consume(o);
        return true;
    };
    if (ready()) return WAIT_OBJECT_0;
    if (milliseconds == 0) return WAIT_TIMEOUT;
    if (milliseconds == INFINITE) {
        g_changed.wait(lock, ready);
        return WAIT_OBJECT_0;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    return g_changed.wait_until(lock, deadline, ready) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
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
