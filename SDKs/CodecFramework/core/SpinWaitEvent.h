// An auto-reset event for hand-offs on a critical path between threads that each have a core:
// the waiter spins for a short bounded time, because the other side usually signals within
// microseconds and waking a sleeping thread costs tens of them (more on a virtual machine, where
// the idle processor halts), then sleeps on a condition variable; spins that keep running out are
// left off for a while. Set takes the lock only when the waiter sleeps. One waiter at a time. The
// sleep does not use std::atomic::wait: mingw-w64's libstdc++ builds that without a futex and loses
// wake-ups.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
#include <immintrin.h>
#endif

namespace UMC {

// Spins (with the processor's pause hint) until ready() holds or `limit` has passed; true when
// ready() held.
template <class Ready>
bool SpinUntil(Ready&& ready, std::chrono::nanoseconds limit) {
    if (ready()) return true;
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        // Reading the clock costs far more than a pause: look at it every few dozen rounds.
        for (int i = 0; i < 32; ++i) {
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
            _mm_pause();
#endif
            if (ready()) return true;
        }
        if (std::chrono::steady_clock::now() >= until) return ready();
    }
}

class SpinWaitEvent {
public:
    // Long enough to cover a hand-off between two pictures, short enough that a waiter with
    // nothing coming soon gives its processor back.
    static constexpr std::chrono::microseconds kDefaultSpin{60};

    SpinWaitEvent() = default;
    SpinWaitEvent(const SpinWaitEvent&) = delete;
    SpinWaitEvent& operator=(const SpinWaitEvent&) = delete;

    void Set() {
        if (m_state.exchange(kSignalled, std::memory_order_acq_rel) != kSleeping) return;
        // The waiter announced its sleep under the lock and releases it only inside wait():
        // taking the lock here orders the notification after that.
        { std::lock_guard<std::mutex> lock(m_mutex); }
        m_wake.notify_one();
    }
    // Clears a signal nobody consumed.
    void Reset() {
        uint32_t expected = kSignalled;
        m_state.compare_exchange_strong(expected, kClear, std::memory_order_acq_rel);
    }
    // Consumes a signal if there is one, without waiting.
    bool Poll() {
        uint32_t expected = kSignalled;
        return m_state.compare_exchange_strong(expected, kClear, std::memory_order_acq_rel);
    }
    // Returns with the signal consumed. A spin that ran out makes the next waits sleep at once,
    // twice as many after each further miss (up to kMaxSkips), till a spin succeeds again: on a
    // busy machine the thread being waited for may share this one's processor, and spinning
    // would only keep it off.
    void Wait(std::chrono::nanoseconds spin = kDefaultSpin) {
        if (m_skipsLeft > 0) {
            --m_skipsLeft;
        } else if (SpinUntil(
                       [this] { return m_state.load(std::memory_order_acquire) == kSignalled; },
                       spin)) {
            m_skips = 0;
            if (Poll()) return;
        } else {
            m_skips = std::min(2 * m_skips + 1, kMaxSkips);
            m_skipsLeft = m_skips;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        uint32_t expected = kClear;
        if (!m_state.compare_exchange_strong(expected, kSleeping, std::memory_order_acq_rel)) {
            m_state.store(kClear, std::memory_order_relaxed);  // it was signalled meanwhile
            return;
        }
        m_wake.wait(lock, [this] { return m_state.load(std::memory_order_acquire) == kSignalled; });
        m_state.store(kClear, std::memory_order_relaxed);
    }

private:
    enum : uint32_t { kClear = 0, kSignalled = 1, kSleeping = 2 };
    static constexpr int kMaxSkips = 63;
    std::atomic<uint32_t> m_state{kClear};
    int m_skips = 0, m_skipsLeft = 0;  // the waiter's only
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

}  // namespace UMC
