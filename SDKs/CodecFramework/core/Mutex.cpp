#include "SDKs/CodecFramework/core/Mutex.h"

#include <new>

namespace UMC {
namespace {

// Serialises first uses of every mutex; taken once per mutex at most, so it is never contended
// in steady state.
std::mutex& FirstUseGuard() {
    static std::mutex guard;
    return guard;
}

}  // namespace

Mutex::~Mutex() {
    Delete();
}

Status Mutex::Init() {
    Delete();
    m_section = new (std::nothrow) std::recursive_mutex;
    if (!m_section) return STATUS_ALLOC_FAILED;
    m_initialized.store(1, std::memory_order_release);
    return STATUS_OK;
}

Status Mutex::Lock() {
    if (!IsInitialized()) return STATUS_NOT_INITIALIZED;
    m_section->lock();
    return STATUS_OK;
}

Status Mutex::Unlock() {
    if (!IsInitialized()) return STATUS_NOT_INITIALIZED;
    m_section->unlock();
    return STATUS_OK;
}

void Mutex::Delete() {
    if (!IsInitialized()) return;
    m_initialized.store(0, std::memory_order_relaxed);
    delete m_section;
    m_section = nullptr;
}

Status Mutex::LockOrInit() {
    if (!IsInitialized()) {
        std::lock_guard<std::mutex> guard(FirstUseGuard());
        // Another first user may have won the race while this one waited.
        if (!IsInitialized()) {
            const Status st = Init();
            if (st != STATUS_OK) return st;
        }
    }
    return Lock();
}

Status MutexInit(Mutex* mutex) {
    return mutex ? mutex->Init() : STATUS_NULL_PTR;
}
Status MutexLock(Mutex* mutex) {
    return mutex ? mutex->Lock() : STATUS_NULL_PTR;
}
Status MutexUnlock(Mutex* mutex) {
    return mutex ? mutex->Unlock() : STATUS_NULL_PTR;
}
void MutexDelete(Mutex* mutex) {
    if (mutex) mutex->Delete();
}

}  // namespace UMC
