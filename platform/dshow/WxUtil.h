// Lock and event wrappers of the filter base classes: CCritSec (a recursive critical section),
// CAutoLock (holds one for a scope) and CAMEvent (a Win32 event).
#pragma once

#include "platform/win32/Sync.h"
#include "platform/win32/WinError.h"

class CCritSec {
public:
    CCritSec() { InitializeCriticalSection(&m_cs); }
    ~CCritSec() { DeleteCriticalSection(&m_cs); }
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Lock() { EnterCriticalSection(&m_cs); }
    void Unlock() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class CAutoLock {
public:
    explicit CAutoLock(CCritSec* plock) : m_pLock(plock) { m_pLock->Lock(); }
    ~CAutoLock() { m_pLock->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

protected:
    CCritSec* m_pLock;
};

// Auto-reset by default; a manual-reset event stays set until Reset. phr receives
// E_OUTOFMEMORY when the event could not be created.
class CAMEvent {
public:
    explicit CAMEvent(BOOL fManualReset = FALSE, HRESULT* phr = nullptr);
    ~CAMEvent();
    CAMEvent(const CAMEvent&) = delete;
    CAMEvent& operator=(const CAMEvent&) = delete;

    operator HANDLE() const { return m_hEvent; }
    void Set() { SetEvent(m_hEvent); }
    void Reset() { ResetEvent(m_hEvent); }
    // TRUE when the event was set within the time-out (INFINITE waits without limit).
    BOOL Wait(DWORD dwTimeout = INFINITE) {
        return WaitForSingleObject(m_hEvent, dwTimeout) == WAIT_OBJECT_0;
    }
    BOOL Check() { return Wait(0); }

protected:
    HANDLE m_hEvent;
};
