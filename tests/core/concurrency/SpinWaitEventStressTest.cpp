// Two threads hand a token back and forth through a pair of spin-then-sleep events, with the
// spin long, short and absent and with pauses that make the waiter fall asleep now and then: a
// lost wake-up hangs the exchange (the test's time-out), a spurious one breaks the ping-pong order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "SDKs/CodecFramework/core/SpinWaitEvent.h"

namespace {

using namespace std::chrono_literals;

void PingPong(std::chrono::nanoseconds spin, int rounds, int pauseEvery) {
    UMC::SpinWaitEvent ping, pong;
    std::atomic<int> token{0};
    std::atomic<int> faults{0};
    std::thread partner([&] {
        for (int i = 0; i < rounds; ++i) {
            ping.Wait(spin);
            if (token.load() != 2 * i + 1) faults.fetch_add(1);
            token.store(2 * i + 2);
            pong.Set();
        }
    });
    for (int i = 0; i < rounds; ++i) {
        // Now and then the partner has time to give up spinning and sleep.
        if (pauseEvery && i % pauseEvery == 0) std::this_thread::sleep_for(200us);
        token.store(2 * i + 1);
        ping.Set();
        pong.Wait(spin);
        if (token.load() != 2 * i + 2) faults.fetch_add(1);
    }
    partner.join();
    EXPECT_EQ(faults.load(), 0);
    EXPECT_EQ(token.load(), 2 * rounds);
}

TEST(SpinWaitEventStress, PingPongSpinningSleepingAndMixed) {
    PingPong(UMC::SpinWaitEvent::kDefaultSpin, 20000, 0);
    PingPong(0ns, 20000, 0);
    PingPong(2us, 5000, 7);
    PingPong(UMC::SpinWaitEvent::kDefaultSpin, 2000, 3);
}

TEST(SpinWaitEventStress, SignalsAreKeptMergedAndConsumedOnce) {
    UMC::SpinWaitEvent event;
    EXPECT_FALSE(event.Poll());
    event.Set();
    event.Set();  // merged with the first: an auto-reset event holds one signal
    event.Wait(0ns);
    EXPECT_FALSE(event.Poll());
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Poll());
    // A signal given while the waiter sleeps wakes it.
    std::thread late([&] {
        std::this_thread::sleep_for(5ms);
        event.Set();
    });
    event.Wait(0ns);
    late.join();
    EXPECT_FALSE(event.Poll());
}

}  // namespace
