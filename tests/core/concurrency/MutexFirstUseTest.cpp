// Two threads make the first use of a fresh UMC::Mutex at the same moment: both must end up on
// one section, so their critical sections never overlap.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "SDKs/CodecFramework/core/Mutex.h"
#include "tests/support/ThreadBarrier.h"

namespace {

TEST(MutexFirstUse, RacingFirstUsersShareOneLock) {
    constexpr int kRounds = 500;
    constexpr int kThreads = 4;
    std::vector<std::unique_ptr<UMC::Mutex>> mutexes;
    for (int i = 0; i < kRounds; ++i) mutexes.push_back(std::make_unique<UMC::Mutex>());

    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    qm::test::ThreadBarrier start(kThreads);
    auto worker = [&] {
        for (int round = 0; round < kRounds; ++round) {
            start.ArriveAndWait();
            UMC::AutomaticMutex hold(*mutexes[size_t(round)]);
            if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
            // Stay inside long enough for a second holder to show up if the lock let it in.
            for (int spin = 0; spin < 2000; ++spin)
                std::atomic_signal_fence(std::memory_order_seq_cst);
            std::this_thread::yield();
            inside.fetch_sub(1);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker);
    for (auto& t : threads) t.join();
    EXPECT_EQ(overlaps.load(), 0);
}

}  // namespace
