#include "VideoIO/DLL/ServerLocks.h"

#include <atomic>

#include "platform/com/ComBase.h"

namespace qm_MPEGDecoderFilters {
namespace {
constinit std::atomic<long> g_objects{0};
constinit std::atomic<long> g_locks{0};
}  // namespace

void AddServerObject() {
    ++g_objects;
}

void RemoveServerObject() {
    --g_objects;
}

void LockServer(bool lock) {
    // Unbalanced unlocks must not make the count negative and pin the DLL forever.
    if (lock) {
        ++g_locks;
        return;
    }
    long n = g_locks.load();
    while (n > 0 && !g_locks.compare_exchange_weak(n, n - 1)) {
    }
}

bool ServerCanUnload() {
    return g_objects.load() == 0 && g_locks.load() == 0 && CBaseObject::ObjectsActive() == 0;
}

}  // namespace qm_MPEGDecoderFilters
