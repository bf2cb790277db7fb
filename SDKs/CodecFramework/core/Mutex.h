// A lazily initialised, re-entrant lock over an operating-system critical section.
#pragma once

#include <atomic>
#include <mutex>

#include "SDKs/CodecFramework/core/Status.h"

namespace UMC {

class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    virtual ~Mutex();

    // Deletes an existing section first.
    Status Init();
    Status Lock();    // STATUS_NOT_INITIALIZED before Init
    Status Unlock();  // STATUS_NOT_INITIALIZED before Init
    void Delete();
    bool IsInitialized() const { return m_initialized.load(std::memory_order_acquire) != 0; }
    // The owners' pattern: lock, initialising first when needed. Safe when several threads make
    // the first call at once: exactly one section is created and all of them use it.
    Status LockOrInit();

private:
    std::recursive_mutex* m_section = nullptr;
    // Published after m_section, so a thread that sees it set also sees the section.
    std::atomic<int32_t> m_initialized{0};
};

// Null-pointer-checked free-function forms of the operations.
Status MutexInit(Mutex* mutex);
Status MutexLock(Mutex* mutex);
Status MutexUnlock(Mutex* mutex);
void MutexDelete(Mutex* mutex);

// Holds a mutex for a scope (initialising it when needed).
class AutomaticMutex {
public:
    explicit AutomaticMutex(Mutex& mutex) : m_mutex(mutex) {
        m_locked = m_mutex.LockOrInit() == STATUS_OK;
    }
    ~AutomaticMutex() {
        if (m_locked) m_mutex.Unlock();
    }
    AutomaticMutex(const AutomaticMutex&) = delete;
    AutomaticMutex& operator=(const AutomaticMutex&) = delete;

private:
    Mutex& m_mutex;
    bool m_locked;
};

}  // namespace UMC
