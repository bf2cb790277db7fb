// A reusable barrier for test threads on a mutex and a condition variable. std::barrier is not
// used: mingw-w64's libstdc++ builds it on an atomic wait without a futex, which loses wake-ups
// and leaves threads asleep at the barrier under Wine.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace qm::test {

class ThreadBarrier {
public:
    explicit ThreadBarrier(int count) : m_count(count) {}
    ThreadBarrier(const ThreadBarrier&) = delete;
    ThreadBarrier& operator=(const ThreadBarrier&) = delete;

    // Returns once `count` threads have arrived in this round.
    void ArriveAndWait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        const uint64_t round = m_round;
        if (++m_arrived == m_count) {
            m_arrived = 0;
            ++m_round;
            m_next.notify_all();
            return;
        }
        m_next.wait(lock, [&] { return m_round != round; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_next;
    const int m_count;
    int m_arrived = 0;
    uint64_t m_round = 0;
};

}  // namespace qm::test
