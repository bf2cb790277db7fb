// Threads against the Win32 stand-ins and the standard allocator; run under ThreadSanitizer in
// the tsan build (label "concurrency").
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dshow/DShow.h"

namespace {

TEST(PlatformConcurrency, MemAllocatorProducerAndReleaserWithDecommits) {
    IMemAllocator* alloc = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMemAllocator, reinterpret_cast<void**>(&alloc)),
              S_OK);
    ALLOCATOR_PROPERTIES req{3, 512, 16, 0}, act{};
    ASSERT_EQ(alloc->SetProperties(&req, &act), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);

    std::mutex lock;
    std::condition_variable ready;
    std::deque<IMediaSample*> queue;
    bool done = false;
    std::thread releaser([&] {
        for (;;) {
            IMediaSample* s = nullptr;
            {
                std::unique_lock<std::mutex> guard(lock);
                ready.wait(guard, [&] { return done || !queue.empty(); });
                if (queue.empty()) return;
                s = queue.front();
                queue.pop_front();
            }
            BYTE* p = nullptr;
            s->GetPointer(&p);
            EXPECT_EQ(p[0], BYTE(s->GetActualDataLength()));
            s->Release();
        }
    });
    for (int i = 0; i < 50000; ++i) {
        if (i % 2000 == 1999) {
            alloc->Decommit();
            ASSERT_EQ(alloc->Commit(), S_OK);
        }
        IMediaSample* s = nullptr;
        ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
        BYTE* p = nullptr;
        s->GetPointer(&p);
        s->SetActualDataLength(1 + i % 200);
        p[0] = BYTE(1 + i % 200);
        {
            std::lock_guard<std::mutex> guard(lock);
            queue.push_back(s);
        }
        ready.notify_one();
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        done = true;
    }
    ready.notify_one();
    releaser.join();
    alloc->Decommit();
    EXPECT_EQ(alloc->Release(), 0u);
}

TEST(PlatformConcurrency, EventsWakeWaitersAcrossThreads) {
    // A ping-pong between two threads over two auto-reset events, and a manual-reset event
    // releasing a group of waiters at once.
    HANDLE ping = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    HANDLE pong = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    constexpr int kRounds = 5000;
    int counter = 0;
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i) {
            ASSERT_EQ(WaitForSingleObject(ping, INFINITE), WAIT_OBJECT_0);
            ++counter;
            SetEvent(pong);
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        SetEvent(ping);
        ASSERT_EQ(WaitForSingleObject(pong, INFINITE), WAIT_OBJECT_0);
        ASSERT_EQ(counter, i + 1);
    }
    other.join();

    HANDLE gate = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> passed{0};
    std::vector<std::thread> group;
    for (int i = 0; i < 6; ++i)
        group.emplace_back([&] {
            if (WaitForSingleObject(gate, INFINITE) == WAIT_OBJECT_0) ++passed;
        });
    SetEvent(gate);
    for (auto& t : group) t.join();
    EXPECT_EQ(passed.load(), 6);
    CloseHandle(ping);
    CloseHandle(pong);
    CloseHandle(gate);
}

struct Shared {
    CRITICAL_SECTION cs;
    long value = 0;
};

void AddUnderLock(Shared* shared) {
    for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&shared->cs);
        EnterCriticalSection(&shared->cs);  // recursive
        ++shared->value;
        LeaveCriticalSection(&shared->cs);
        LeaveCriticalSection(&shared->cs);
    }
}

TEST(PlatformConcurrency, CriticalSectionsSerialiseThreads) {
    Shared shared;
    InitializeCriticalSection(&shared.cs);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back(AddUnderLock, &shared);
    for (auto& t : threads) t.join();
    EXPECT_EQ(shared.value, 80000);
    DeleteCriticalSection(&shared.cs);
}

}  // namespace
