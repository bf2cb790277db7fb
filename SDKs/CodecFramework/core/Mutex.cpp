#include "SDKs/CodecFramework/core/Mutex.h"

#include <new>

namespace UMC {

Mutex::~Mutex() {
    Delete();
}

Status Mutex::Init() {
    Delete();
    m_section = new (std::nothrow) std::recursive_mutex;
    if (!m_section) return STATUS_ALLOC_FAILED;
    m_initialized = 1;
    return STATUS_OK;
}

Status Mutex::Lock() {
    if (!m_initialized) return STATUS_NOT_INITIALIZED;
    m_section->lock();
    return STATUS_OK;
}

Status Mutex::Unlock() {
    if (!m_initialized) return STATUS_NOT_INITIALIZED;
    m_section->unlock();
    return STATUS_OK;
}

void Mutex::Delete() {
    if (!m_initialized) return;
    delete m_section;
    m_section = nullptr;
    m_initialized = 0;
}

Status Mutex::LockOrInit() {
    if (!m_initialized) {
        Status st = Init();
        if (st != STATUS_OK) return st;
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
